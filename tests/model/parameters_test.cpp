#include <gtest/gtest.h>

#include "case_name.h"

#include "model/parameters.h"

namespace kf {
namespace {

DrumNoteEntry sample() {
    DrumNoteEntry e;
    e.used = 1;
    e.playNote = 61;
    e.level = 100;
    e.assignGroup = 3;
    e.pan = 20;
    e.reverb = 40;
    e.effectSend = 90;
    e.effectType = 0;
    e.rxNoteOff = 200;
    e.rxNoteOn = 0;
    e.sourceMap = 3;
    e.sourceProgram = 16;
    e.sourceNote = 36;
    return e;
}

TEST(ParameterValue, EveryDeviceParameter) {
    DrumNoteEntry e = sample();
    const int expected[] = {0, 61, 100, 3, 20, 40, 90, 1, 0, 0, 3, 16, 36, 0};
    for (int p = 0; p <= 13; ++p) EXPECT_EQ(parameterValue(e, p), expected[p]) << "parameter " << p;
    e.effectType = 1;
    EXPECT_EQ(parameterValue(e, kChorus), 0);
    EXPECT_EQ(parameterValue(e, kDelay), 90);
    e.rxNoteOn = 5;
    EXPECT_EQ(parameterValue(e, kRxNoteOn), 1);
    EXPECT_EQ(parameterValue(e, -1), 0);
}

TEST(ParameterValue, RowsMapToDeviceParameters) {
    const int chorus[] = {0, 1, 2, 4, 5, 6, 3, 10, 11, 12};
    for (int row = 1; row <= 9; ++row) EXPECT_EQ(deviceParameterOfRow(row, 0), chorus[row]);
    EXPECT_EQ(deviceParameterOfRow(kRowEffect, 1), kDelay);
    DrumNoteEntry e;
    for (int row = 1; row <= 9; ++row) fieldOfRow(e, row) = static_cast<std::uint8_t>(row * 10);
    for (int row = 1; row <= 9; ++row)
        EXPECT_EQ(parameterValue(e, deviceParameterOfRow(row, 0)), row * 10) << "row " << row;
}

struct TextCase {
    int row;
    int value;
    const char* text;
};

class ParameterText : public ::testing::TestWithParam<TextCase> {};

TEST_P(ParameterText, Shows) { EXPECT_EQ(parameterText(GetParam().row, GetParam().value), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Cases, ParameterText,
                         ::testing::Values(TextCase{kRowPlayNote, 60, "60"}, TextCase{kRowLevel, 0, "0"},
                                           TextCase{kRowLevel, 300, "127"}, TextCase{kRowReverb, -4, "0"},
                                           TextCase{kRowPan, 0, "Rnd"}, TextCase{kRowPan, 1, "L63"},
                                           TextCase{kRowPan, 63, "L 1"}, TextCase{kRowPan, 64, "0"},
                                           TextCase{kRowPan, 65, "R 1"}, TextCase{kRowPan, 127, "R63"},
                                           TextCase{kRowAssign, 0, "なし"}, TextCase{kRowAssign, 5, "5"},
                                           TextCase{kRowMap, 1, "55"}, TextCase{kRowMap, 2, "88"},
                                           TextCase{kRowMap, 3, "Pro"}, TextCase{kRowMap, 0, "#  0 "},
                                           TextCase{kRowMap, 4, "#  4 "}, TextCase{kRowMap, 127, "#127 "},
                                           TextCase{kRowProgram, 127, "127"}, TextCase{kRowNote, 36, "36"}), test::RowName());

}  // namespace
}  // namespace kf
