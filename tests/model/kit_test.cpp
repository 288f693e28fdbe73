#include <gtest/gtest.h>

#include "case_name.h"

#include "model/kit.h"
#include "model/sjis.h"

namespace kf {
namespace {

TEST(Kit, NewKitIsAllZeroWithDefaultNames) {
    Kit kit;
    EXPECT_EQ(kit.setName(1), "UserDrum1");
    EXPECT_EQ(kit.setName(2), "UserDrum2");
    for (int s = 1; s <= 2; ++s)
        for (int n = 0; n < 128; ++n) ASSERT_EQ(kit.entry(s, n), DrumNoteEntry{}) << s << "," << n;
}

TEST(Kit, ResetGivesBlankEntriesAndDefaultNames) {
    Kit kit;
    kit.entry(2, 127).used = 1;
    kit.entry(2, 127).name = "Kick";
    kit.setSetName(1, "Rock");
    kit.reset();
    const DrumNoteEntry& e = kit.entry(2, 127);
    EXPECT_EQ(e, blankEntry());
    EXPECT_EQ(e.pan, 0);
    EXPECT_EQ(e.playNote, 60);
    EXPECT_EQ(e.level, 127);
    EXPECT_EQ(e.reverb, 127);
    EXPECT_EQ(e.sourceMap, 2);
    EXPECT_EQ(e.used, 0);
    EXPECT_TRUE(e.name.empty());
    EXPECT_EQ(kit.setName(1), "UserDrum1");
}

TEST(Kit, AssignInstrumentKeepsSourceFields) {
    DrumNoteEntry e;
    e.sourceMap = 3;
    e.sourceProgram = 9;
    e.sourceNote = 40;
    DrumInstrument inst;
    inst.used = 1;
    inst.name = "Snare";
    inst.level = 100;
    e.assignInstrument(inst);
    EXPECT_EQ(e.name, "Snare");
    EXPECT_EQ(e.level, 100);
    EXPECT_EQ(e.sourceMap, 3);
    EXPECT_EQ(e.sourceNote, 40);
}

TEST(Kit, ClampMidi) {
    EXPECT_EQ(clampMidi(-5), 0);
    EXPECT_EQ(clampMidi(0), 0);
    EXPECT_EQ(clampMidi(127), 127);
    EXPECT_EQ(clampMidi(128), 127);
    EXPECT_EQ(clampMidi(1LL << 40), 127);
}

struct CutCase {
    std::string in;
    size_t max;
    std::string out;
};

class SjisCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(SjisCut, NeverSplitsADoubleByteCharacter) {
    EXPECT_EQ(sjis::cut(GetParam().in, GetParam().max), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SjisCut,
    ::testing::Values(CutCase{"ABCDEFGHIJKLMNOPQRSTUVWXY", 20, "ABCDEFGHIJKLMNOPQRST"},
                      CutCase{"short", 20, "short"},
                      // 19 single bytes, then a kanji (88 9F) that would straddle the cut
                      CutCase{std::string(19, 'a') + "\x88\x9F" + "b", 20, std::string(19, 'a')},
                      CutCase{std::string(18, 'a') + "\x88\x9F" + "b", 20, std::string(18, 'a') + "\x88\x9F"},
                      // half-width katakana are single bytes
                      CutCase{std::string(19, 'a') + "\xB1\xB2", 20, std::string(19, 'a') + "\xB1"},
                      // E0..FC lead bytes too
                      CutCase{"abc\xE0\x40", 4, "abc"},
                      // a lead byte with its trail missing is dropped
                      CutCase{"ab\x81", 20, "ab"},
                      // the ends of both lead-byte ranges: 9F and FC lead, A0 and FD do not
                      CutCase{"abc\x9F\x40", 4, "abc"}, CutCase{"abc\xFC\x40", 4, "abc"},
                      CutCase{"abc\xA0\x40", 4, "abc\xA0"}, CutCase{"abc\xFD\x40", 4, "abc\xFD"},
                      CutCase{"abc\x80\x40", 4, "abc\x80"}), test::RowName());

TEST(Kit, AnyUsedSeesEveryNoteOfTheSet) {
    for (int set = 1; set <= kSetCount; ++set) {
        for (int note : {0, 1, 64, 126, 127}) {
            Kit kit;
            kit.reset();
            EXPECT_FALSE(kit.anyUsed(set));
            kit.entry(set, note).used = 1;
            EXPECT_TRUE(kit.anyUsed(set)) << set << "," << note;
            EXPECT_FALSE(kit.anyUsed(3 - set)) << "the other set stays empty";
        }
    }
}

TEST(Sjis, TrimAndHighByteCut) {
    EXPECT_EQ(sjis::trim(" \t Kick, hard \r"), "Kick, hard");
    EXPECT_EQ(sjis::trim("   "), "");
    EXPECT_EQ(sjis::cutBeforeHighByte("AB~CD"), "AB");
    EXPECT_EQ(sjis::cutBeforeHighByte("ABCD\xB1"), "ABCD");
    EXPECT_EQ(sjis::cutBeforeHighByte("ABC}"), "ABC}");
    EXPECT_EQ(sjis::upper("@kfg Format"), "@KFG FORMAT");
}

}  // namespace
}  // namespace kf
