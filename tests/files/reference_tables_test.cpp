#include <gtest/gtest.h>

#include <filesystem>

#include "files/disk.h"
#include "files/reference_tables.h"

namespace kf {
namespace {

ReferenceTables build(const std::string& sets, const std::string& insts, int useMap = 1, int remembered = 256,
                      const LoadProgress* progress = nullptr) {
    return buildReferenceTables(sets, insts, useMap, remembered, progress);
}

TEST(ReferenceTables, UseMapDecidesTheAcceptedMaps) {
    const std::string sets = "1,0,STANDARD\n2,0,STANDARD 1\n3,0,STANDARD 1 Pro\n0,5,ZERO\n";
    const std::string insts = "1,0,36,Kick\n2,0,36,Kick\n3,0,36,Kick\n0,5,36,Kick\n";
    int useMap = 0;
    auto t = buildReferenceTables(sets, insts, useMap, 256);
    EXPECT_EQ(t.mapList, (std::vector<std::string>{"  55 STANDARD", "  88 STANDARD 1"}));
    EXPECT_EQ(useMap, 0);
    useMap = 1;
    t = buildReferenceTables(sets, insts, useMap, 256);
    EXPECT_EQ(t.mapList.size(), 3u);
    EXPECT_EQ(t.mapList[2], " Pro STANDARD 1 Pro");
    useMap = 5;
    t = buildReferenceTables(sets, insts, useMap, 256);
    EXPECT_EQ(useMap, 2);
    EXPECT_EQ(t.mapList.front(), "#  0 ZERO");
    EXPECT_EQ(t.mapList.size(), 4u);
}

TEST(ReferenceTables, OrderFirstLineWinsAndSetsWithoutInstrumentsLast) {
    const std::string sets =
        "map,program,name\n"  // header: skipped
        "2,8,ROOM\n2,0,STANDARD 1\n2,0,DUPLICATE\n1,0,STANDARD\n2,16,EMPTY\n x ,1,BAD\n 2 ,\t24\t,TRIMMED\n";
    const std::string insts = "2,8,36,Room Kick\n2,0,36,Kick\n1,0,x,no note\n2,24,40,Snare\n9,9,1,Nowhere\n";
    const auto t = build(sets, insts);
    ASSERT_EQ(t.sets.size(), 5u);
    EXPECT_EQ(t.mapList, (std::vector<std::string>{"  55 STANDARD", "  88 STANDARD 1", "  88 ROOM", "  88 TRIMMED"}));
    EXPECT_EQ(t.sets.back().name, "EMPTY");
    EXPECT_EQ(t.sets.back().map, 255);
    EXPECT_FALSE(t.sets.back().hasInstruments);
    EXPECT_TRUE(t.sets[0].hasInstruments) << "a line without a note still marks its set";
    EXPECT_FALSE(t.sets[0].instruments[0].used);
    EXPECT_EQ(t.nameSuggestions, (std::vector<std::string>{"STANDARD", "STANDARD 1", "ROOM", "TRIMMED", "EMPTY"}));
}

TEST(ReferenceTables, InstrumentColumns) {
    const auto t = build("1,0,S\n",
                         "1,0,36,Kick,61,100,20,40,40,60,3,1,0\n"
                         "1,0,37,Equal,,,,,60,60,,5,x\n"
                         "1,0,36,Second line loses\n"
                         "1,0,38,Defaults\n"
                         "1,0,300,Clamped note\n");
    const auto& kick = t.sets[0].instruments[36];
    EXPECT_EQ(kick.used, 1);
    EXPECT_EQ(kick.name, "Kick");
    EXPECT_EQ(kick.playNote, 61);
    EXPECT_EQ(kick.level, 100);
    EXPECT_EQ(kick.pan, 20);
    EXPECT_EQ(kick.reverb, 40);
    EXPECT_EQ(kick.effectSend, 60);
    EXPECT_EQ(kick.effectType, 1);
    EXPECT_EQ(kick.assignGroup, 3);
    EXPECT_EQ(kick.rxNoteOff, 1);
    EXPECT_EQ(kick.rxNoteOn, 0);
    const auto& equal = t.sets[0].instruments[37];
    EXPECT_EQ(equal.effectSend, 60);
    EXPECT_EQ(equal.effectType, 0);
    EXPECT_EQ(equal.rxNoteOff, 1);
    EXPECT_EQ(equal.rxNoteOn, 1);
    const auto& d = t.sets[0].instruments[38];
    EXPECT_EQ(d.playNote, 60);
    EXPECT_EQ(d.level, 127);
    EXPECT_EQ(d.pan, 64);
    EXPECT_EQ(d.reverb, 127);
    EXPECT_EQ(d.effectSend, 0);
    EXPECT_EQ(d.rxNoteOff, 0);
    EXPECT_EQ(d.rxNoteOn, 1);
    EXPECT_EQ(t.sets[0].instruments[127].name, "Clamped note");
}

TEST(ReferenceTables, RememberedSetAndSuggestions) {
    const std::string sets = "1,0,Standard\n2,0,STANDARD\n2,8,\xB6\xC5\n3,1,Tilde~\n3,2,std\n";
    const std::string insts = "1,0,1,a\n2,0,1,a\n2,8,1,a\n3,1,1,a\n3,2,1,a\n";
    auto t = build(sets, insts, 1, 2 * 128 + 8);
    EXPECT_EQ(t.selectedItem, 2);
    EXPECT_EQ(t.mapList[2], "  88 \xB6\xC5");
    EXPECT_EQ(t.drumSetSetting(2), 264);
    EXPECT_EQ(t.drumSetSetting(-1), 256);
    EXPECT_EQ(t.nameSuggestions, (std::vector<std::string>{"Standard", "std"}));
    t = build(sets, insts, 1, 999);
    EXPECT_EQ(t.selectedItem, 0);
    EXPECT_EQ(sortedSuggestions({"b", "A", "c"}), (std::vector<std::string>{"A", "b", "c"}));
}

TEST(ReferenceTables, AtMost256Sets) {
    std::string sets, insts;
    for (int map = 1; map <= 3; ++map)
        for (int p = 0; p < 128; ++p) {
            sets += std::to_string(map) + "," + std::to_string(p) + ",S\n";
            insts += std::to_string(map) + "," + std::to_string(p) + ",1,I\n";
        }
    const auto t = build(sets, insts);
    EXPECT_EQ(t.sets.size(), 256u);
    EXPECT_EQ(t.mapList.back(), "  88 S");
}

// A table with huge names costs what reading it costs: names are cut where they are read,
// never split inside a two-byte character.
TEST(ReferenceTables, HugeNamesAreKeptOnlyAsLongAsTheyAreShown) {
    const std::string huge(20000, 'N');
    const std::string kanji = std::string(31, 'K') + "\x88\x9F" + huge;  // the 32nd byte starts a character
    std::string sets, insts;
    for (int p = 0; p < 100; ++p) {
        sets += "2," + std::to_string(p) + "," + (p % 2 ? huge : kanji) + std::to_string(p) + "\n";
        insts += "2," + std::to_string(p) + ",36," + huge + "\n";
    }
    const auto t = build(sets, insts);
    ASSERT_EQ(t.sets.size(), 100u);
    EXPECT_EQ(t.sets[0].name, std::string(31, 'K'));
    EXPECT_EQ(t.sets[1].name, std::string(32, 'N'));
    EXPECT_EQ(t.sets[1].instruments[36].name, std::string(20, 'N'));
    EXPECT_EQ(t.mapList[1], "  88 " + std::string(32, 'N'));
    EXPECT_EQ(t.nameSuggestions, (std::vector<std::string>{std::string(31, 'K'), std::string(32, 'N')}));
}

TEST(ReferenceTables, ProgressEvery128Lines) {
    std::string insts;
    for (int i = 0; i < 300; ++i) insts += i == 5 ? "\n" : "1,0,1,x\n";
    int maximum = 0, steps = 0, finished = 0;
    LoadProgress p{[&](int m) { maximum = m; }, [&] { ++steps; }, [&] { ++finished; }};
    build("1,0,S\n", insts, 1, 256, &p);
    EXPECT_EQ(maximum, 3);
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(finished, 1);
}

TEST(ReferenceTables, EmptyFilesGiveAnEmptyTable) {
    const auto t = build("", "");
    EXPECT_TRUE(t.empty());
    EXPECT_EQ(t.selectedItem, -1);
}

TEST(ReferenceTables, ShippedDataLoadsFromTheFirstDirectoryThatHasIt) {
    int useMap = 1;
    const auto t = LoadReferenceTables({"/nonexistent", KITFORGE_SOURCE_DATA_DIR}, useMap, 256);
    EXPECT_EQ(t.mapList.size(), 49u);
    ASSERT_GE(t.selectedItem, 0);
    EXPECT_EQ(t.mapList[static_cast<size_t>(t.selectedItem)], "  88 STANDARD 1");
}

TEST(ReferenceTables, MissingFileRaisesTheOpenError) {
    int useMap = 1;
    try {
        LoadReferenceTables({"/nonexistent"}, useMap, 256);
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(e.kind(), FileError::Open);
        // The platform's separator joins folder and name.
        const std::string path = (std::filesystem::u8path("/nonexistent") / "Drum_set.csv").u8string();
        EXPECT_EQ(e.path(), path);
        EXPECT_EQ(std::string(e.what()), "ﾌｧｲﾙ " + path + " は開けません");
    }
}

}  // namespace
}  // namespace kf
