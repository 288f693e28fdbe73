#include <gtest/gtest.h>

#include "case_name.h"

#include "files/kit_file.h"
#include "sample_kit.h"

namespace kf {
namespace {

std::string file(const std::string& body) { return "@KFG FORMAT,100\r\n" + body; }

Kit readInto(const std::string& bytes, KitReadResult* result = nullptr) {
    Kit kit;
    kit.reset();
    const KitReadResult r = ReadKitFile(bytes, kit);
    if (result) *result = r;
    return kit;
}

TEST(KitFileWrite, EmptyKitIsThreeLines) {
    Kit kit;
    kit.reset();
    EXPECT_EQ(WriteKitFile(kit), "@KFG FORMAT,100\r\n@NAME,0,UserDrum1\r\n@NAME,1,UserDrum2\r\n");
}

TEST(KitFileWrite, EntryLineAndCleanedName) {
    Kit kit;
    kit.reset();
    DrumNoteEntry& e = kit.entry(1, 36);
    e.used = 1;
    e.name = "Kick";
    e.sourceMap = 2;
    e.sourceNote = 36;
    e.reverb = 40;
    e.pan = 64;
    e.rxNoteOn = 1;
    DrumNoteEntry& f = kit.entry(2, 5);
    f.used = 1;
    f.name = " Kick, hard ";
    f.effectType = 1;
    f.rxNoteOff = 5;
    kit.setSetName(1, "AB,CD");
    EXPECT_EQ(WriteKitFile(kit),
              "@KFG FORMAT,100\r\n@NAME,0,AB,CD\r\n0,36,Kick,2,0,36,60,127,64,40,0,1,0,0,1\r\n"
              "@NAME,1,UserDrum2\r\n1,5,Kick  hard,2,0,0,60,127,0,127,0,0,0,1,0\r\n");
}

TEST(KitFileWrite, MalformedDoubleByteTailDoesNotSurviveTrimming) {
    Kit kit;
    kit.reset();
    kit.entry(1, 1).used = 1;
    kit.entry(1, 1).name = "a \xE9\x03";  // lead byte whose trail is a control character
    const std::string once = WriteKitFile(kit);
    EXPECT_NE(once.find("\r\n0,1,a,"), std::string::npos);
    Kit back;
    back.reset();
    ReadKitFile(once, back);
    EXPECT_EQ(WriteKitFile(back), once);
}

TEST(KitFileRead, ShortLineTakesDefaults) {
    const Kit kit = readInto(file("0,36,Kick\r\n"));
    DrumNoteEntry expected;
    expected.used = 1;
    expected.name = "Kick";
    expected.sourceMap = 1;
    expected.sourceNote = 36;
    expected.playNote = 60;
    expected.level = 127;
    expected.pan = 64;
    expected.reverb = 127;
    expected.rxNoteOn = 1;
    EXPECT_EQ(kit.entry(1, 36), expected);
}

struct LineCase {
    const char* line;
    int set, note;  // where the entry lands; set 0: no entry at all
};

class EntryLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(EntryLine, Lands) {
    const Kit kit = readInto(file(std::string(GetParam().line) + "\r\n"));
    int usedCount = 0;
    for (int s = 1; s <= 2; ++s)
        for (int n = 0; n < 128; ++n) usedCount += kit.entry(s, n).used ? 1 : 0;
    if (GetParam().set == 0) {
        EXPECT_EQ(usedCount, 0);
    } else {
        EXPECT_EQ(usedCount, 1);
        EXPECT_TRUE(kit.entry(GetParam().set, GetParam().note).used);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, EntryLine,
                         ::testing::Values(LineCase{"0,200,x", 1, 127}, LineCase{"0,-3,x", 1, 0},
                                           LineCase{"0,a,x", 1, 0}, LineCase{"7,1,x", 2, 1},
                                           LineCase{" 1 ,2,x", 2, 2}, LineCase{"00,3,x", 1, 3},
                                           LineCase{"1a,4,x", 0, 0}, LineCase{",5,x", 0, 0},
                                           LineCase{"-1,5,x", 0, 0}, LineCase{"@KFG FORMAT,100", 0, 0}), test::RowName());

TEST(KitFileRead, FieldRules) {
    const Kit kit = readInto(file("0,1,Name,$FFFFFFFF,300,x,+61,126,0,1,127,0,5,256,2\r\n"
                                  "0,2,N,3,4,5,6,7,8,9,10,x,12,-1,0\r\n"
                                  "0,3,abcdefghijklmnopqrstuvwxy\r\n"));
    const DrumNoteEntry& a = kit.entry(1, 1);
    EXPECT_EQ(a.sourceMap, 0);       // -1 clamped
    EXPECT_EQ(a.sourceProgram, 127);
    EXPECT_EQ(a.sourceNote, 1);      // default: the note
    EXPECT_EQ(a.playNote, 61);
    EXPECT_EQ(a.effectSend, 127);
    EXPECT_EQ(a.effectType, 1);      // field 12 of 0 is delay
    EXPECT_EQ(a.rxNoteOff, 0);       // 256: low byte 0
    EXPECT_EQ(a.rxNoteOn, 2);        // stored as read, reads as on
    const DrumNoteEntry& b = kit.entry(1, 2);
    EXPECT_EQ(b.effectType, 0);      // field 12 not a number: default 1, chorus
    EXPECT_EQ(b.rxNoteOff, 0xFF);
    EXPECT_EQ(b.rxNoteOn, 0);
    EXPECT_EQ(kit.entry(1, 3).name, "abcdefghijklmnopqrst");
}

TEST(KitFileRead, NameCutNeverSplitsAKanji) {
    // 19 letters then a two-byte character: the character does not fit whole and is dropped
    const Kit kit = readInto(file("0,1," + std::string(19, 'a') + "\x8A\xBF" + "\r\n"));
    EXPECT_EQ(kit.entry(1, 1).name, std::string(19, 'a'));
}

struct NameCase {
    std::string line;
    int set;
    std::string name;
};

class NameLine : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameLine, Reads) { EXPECT_EQ(readInto(file(GetParam().line + "\r\n")).setName(GetParam().set), GetParam().name); }

INSTANTIATE_TEST_SUITE_P(Cases, NameLine,
                         ::testing::Values(NameCase{"@NAME,1,ABCDEFGHIJKLMNO", 2, "ABCDEFGHIJKL"},
                                           NameCase{"@name,0,Rock", 1, "Rock"},
                                           NameCase{"@NAME,0,AB,CD", 1, "AB,CD"},
                                           NameCase{"@NAME,0,AB~CD", 1, "AB"},
                                           NameCase{"@NAME,0,ABCD\xB1XYZ", 1, "ABCD"},
                                           NameCase{"@NAME,0,ABCD\x88\x9F", 1, "ABCD"},
                                           NameCase{"@NAME,0,", 1, ""}, NameCase{"@NAME,x,Z", 1, "Z"},
                                           NameCase{"@NAME,5, Z ", 2, " Z "}, NameCase{"@NAME", 1, ""}), test::RowName());

struct VersionCase {
    const char* magic;
    KitReadResult::Status status;
};

class Version : public ::testing::TestWithParam<VersionCase> {};

TEST_P(Version, Decides) {
    KitReadResult r;
    Kit kit = readInto(std::string(GetParam().magic) + "\r\n0,1,x\r\n@NAME,0,Z\r\n", &r);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_EQ(kit.entry(1, 1).used != 0, GetParam().status == KitReadResult::Read);
    EXPECT_EQ(kit.setName(1) == "Z", GetParam().status == KitReadResult::Read);
}

INSTANTIATE_TEST_SUITE_P(Cases, Version,
                         ::testing::Values(VersionCase{"@kfg format,120", KitReadResult::Read},
                                           VersionCase{"@KFG FORMAT,100", KitReadResult::Read},
                                           VersionCase{"@KFG FORMAT,$64", KitReadResult::Read},
                                           VersionCase{"@KFG FORMAT,99", KitReadResult::RefusedVersion},
                                           VersionCase{"@KFG FORMAT,121", KitReadResult::RefusedVersion},
                                           VersionCase{"@KFG FORMAT", KitReadResult::RefusedVersion},
                                           VersionCase{"@KFG FORMAT ,100", KitReadResult::NotKitFile},
                                           VersionCase{"KFG FORMAT,100", KitReadResult::NotKitFile}), test::RowName());

TEST(KitFileRead, LinesBeforeTheMagicLineCountAndLaterLinesWin) {
    KitReadResult r;
    const Kit kit = readInto(std::string("1,9,early\n@KFG FORMAT,100\n1,9,late\n0,4,x") + '\0' + "0,1,after nul", &r);
    EXPECT_EQ(r.status, KitReadResult::Read);
    EXPECT_EQ(kit.entry(2, 9).name, "late");
    ASSERT_TRUE(r.firstUsed);
    EXPECT_EQ(*r.firstUsed, std::make_pair(1, 4));
    EXPECT_FALSE(kit.entry(1, 1).used);
}

TEST(KitFileRead, DoesNotResetAndReportsNoSelectionForAnEmptyKit) {
    Kit kit;
    kit.setSetName(2, "Kept");
    const KitReadResult r = ReadKitFile(file("@NAME,0,New\r\n"), kit);
    EXPECT_EQ(kit.setName(2), "Kept");
    EXPECT_EQ(kit.setName(1), "New");
    EXPECT_FALSE(r.firstUsed);
}

TEST(KitFile, FullKitRoundTrip) {
    Kit kit = test::fullKit();
    const std::string bytes = WriteKitFile(kit);
    Kit back;
    back.reset();
    int pumps = 0;
    ASSERT_EQ(ReadKitFile(bytes, back, [&] { ++pumps; }).status, KitReadResult::Read);
    EXPECT_EQ(pumps, 3 + 256);
    for (int s = 1; s <= 2; ++s) {
        EXPECT_EQ(back.setName(s), kit.setName(s));
        for (int n = 0; n < 128; ++n) {
            DrumNoteEntry want = kit.entry(s, n);
            // the writer cleans names and writes Rx as booleans
            std::string name(want.name);
            size_t b = name.find_first_not_of(' '), e = name.find_last_not_of(' ');
            name = name.substr(b, e - b + 1);
            for (char& c : name)
                if (c == ',') c = ' ';
            want.name = name;
            want.rxNoteOff = want.rxNoteOff ? 1 : 0;
            ASSERT_EQ(back.entry(s, n), want) << s << "," << n;
        }
    }
    EXPECT_EQ(WriteKitFile(back), bytes);
}

}  // namespace
}  // namespace kf
