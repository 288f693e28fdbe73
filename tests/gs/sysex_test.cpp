#include <gtest/gtest.h>

#include "case_name.h"

#include "gs/sysex.h"
#include "midi/midi_out.h"
#include "model/parameters.h"
#include "recorded_out.h"

namespace kf {
namespace {

struct ParamCase {
    int set, note, param, value;
    const char* bytes;
};

class ParameterMessage : public ::testing::TestWithParam<ParamCase> {};

TEST_P(ParameterMessage, Bytes) {
    const auto& c = GetParam();
    Kit kit;
    DrumNoteEntry& e = kit.entry(c.set, c.note);
    e.used = 1;
    // put the value into whichever field the parameter reads
    switch (c.param) {
        case kPlayNote: e.playNote = static_cast<std::uint8_t>(c.value); break;
        case kSourceNote: e.sourceNote = static_cast<std::uint8_t>(c.value); break;
        case kDelay: e.effectType = 1; e.effectSend = static_cast<std::uint8_t>(c.value); break;
        case kRxNoteOff: e.rxNoteOff = static_cast<std::uint8_t>(c.value); break;
        default: FAIL();
    }
    EXPECT_EQ(hexText(buildParameterMessage(kit, c.set, c.note, c.param)), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParameterMessage,
    ::testing::Values(ParamCase{1, 36, kPlayNote, 60, "F0 41 10 42 12 21 01 24 3C 7E F7"},
                      ParamCase{2, 127, kSourceNote, 127, "F0 41 10 42 12 21 1C 7F 7F 45 F7"},
                      // 21 + 01 + 2E + 30 = 80 hex: checksum 00, never 80
                      ParamCase{1, 46, kPlayNote, 48, "F0 41 10 42 12 21 01 2E 30 00 F7"},
                      ParamCase{2, 0, kDelay, 50, "F0 41 10 42 12 21 19 00 32 14 F7"},
                      ParamCase{1, 5, kRxNoteOff, 200, "F0 41 10 42 12 21 07 05 01 52 F7"}), test::RowName());

TEST(NameMessage, Bytes) {
    Kit kit;
    EXPECT_EQ(hexText(buildNameMessage(kit, 1)), "F0 41 10 42 12 21 00 00 55 73 65 72 44 72 75 6D 31 20 20 20 17 F7");
    EXPECT_EQ(hexText(buildNameMessage(kit, 2)), "F0 41 10 42 12 21 10 00 55 73 65 72 44 72 75 6D 32 20 20 20 06 F7");
    kit.setSetName(1, "");
    const MidiBytes empty = buildNameMessage(kit, 1);
    ASSERT_EQ(empty.size(), 22u);
    for (int i = 8; i < 20; ++i) EXPECT_EQ(empty[static_cast<size_t>(i)], 0x20);
    kit.setSetName(1, "ABCDEFGHIJKLMNO");
    const MidiBytes cut = buildNameMessage(kit, 1);
    ASSERT_EQ(cut.size(), 22u);
    EXPECT_EQ(std::string(cut.begin() + 8, cut.begin() + 20), "ABCDEFGHIJKL");
    EXPECT_EQ(cut[20], rolandChecksum(cut.data() + 5, cut.data() + 20));
}

TEST(NameMessage, OtherSetBuildsNothing) {
    Kit kit;
    MidiBytes buffer{1, 2, 3};
    EXPECT_FALSE(buildNameMessage(kit, 3, &buffer));
    EXPECT_FALSE(buildNameMessage(kit, 0, &buffer));
    EXPECT_EQ(buffer, (MidiBytes{1, 2, 3}));
}

TEST(HexText, UpperCaseSingleBlanks) {
    EXPECT_EQ(hexText({0xF0, 0xab, 0x0c, 0xF7}), "F0 AB 0C F7");
    EXPECT_EQ(hexText({}), "");
}

TEST(WholeNote, TwelveMessagesAndTheUnselectedEffectAtZero) {
    test::RecordedOut w;
    Kit kit;
    DrumNoteEntry& e = kit.entry(1, 36);
    e.used = 1;
    e.effectType = 1;
    e.effectSend = 50;
    sendWholeNote(w.out, kit, 1, 36);
    EXPECT_TRUE(w.sent().empty()) << "closed port sends nothing";
    ASSERT_TRUE(w.out.openPort(0));
    sendWholeNote(w.out, kit, 1, 36);
    const auto& sent = w.sent();
    ASSERT_EQ(sent.size(), 12u);
    for (int p = 1; p <= 12; ++p) {
        EXPECT_EQ(sent[static_cast<size_t>(p - 1)], buildParameterMessage(kit, 1, 36, p));
        EXPECT_EQ(sent[static_cast<size_t>(p - 1)][6], p);
    }
    EXPECT_EQ(sent[5][8], 0x00);  // chorus
    EXPECT_EQ(sent[8][8], 0x32);  // delay
}

struct PanelCase {
    int row, effectType, effectSend;
    std::vector<int> params;
};

class PanelChange : public ::testing::TestWithParam<PanelCase> {};

TEST_P(PanelChange, SendsTheseParameters) {
    DrumNoteEntry e;
    e.effectType = static_cast<std::uint8_t>(GetParam().effectType);
    e.effectSend = static_cast<std::uint8_t>(GetParam().effectSend);
    EXPECT_EQ(panelChangeParameters(e, GetParam().row), GetParam().params);
}

INSTANTIATE_TEST_SUITE_P(Cases, PanelChange,
                         ::testing::Values(PanelCase{kRowPlayNote, 0, 0, {1}}, PanelCase{kRowLevel, 0, 0, {2}},
                                           PanelCase{kRowPan, 0, 0, {4}}, PanelCase{kRowReverb, 0, 0, {5}},
                                           PanelCase{kRowEffect, 0, 10, {6}}, PanelCase{kRowEffect, 1, 10, {9}},
                                           PanelCase{kRowEffect, 0, 0, {6, 9}}, PanelCase{kRowEffect, 1, 0, {9, 6}},
                                           PanelCase{kRowAssign, 0, 0, {3}}, PanelCase{kRowMap, 0, 0, {10}},
                                           PanelCase{kRowProgram, 0, 0, {11}}, PanelCase{kRowNote, 0, 0, {12}}), test::RowName());

TEST(ExportedParameters, LeavesOutTheUnselectedEffectOnlyWhenSendIsNotZero) {
    DrumNoteEntry e;
    EXPECT_EQ(exportedParameters(e).size(), 12u);
    e.effectSend = 40;
    EXPECT_EQ(exportedParameters(e), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12}));
    e.effectType = 1;
    EXPECT_EQ(exportedParameters(e), (std::vector<int>{1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(effectTypeParameter(0), 6);
    EXPECT_EQ(effectTypeParameter(1), 9);
}

}  // namespace
}  // namespace kf
