#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "case_name.h"
#include "files/exports.h"
#include "files/kit_file.h"
#include "files/kit_import.h"
#include "files/kit_library.h"
#include "files/reference_tables.h"
#include "model/sjis.h"
#include "sample_kit.h"

namespace kf {
namespace {

// Set 1: Kick Drum 2 of STANDARD renamed by the user, and a snare; set 2: one note whose
// source the tables do not know, named in katakana.
Kit sampleKit() {
    Kit kit;
    kit.reset();
    kit.setSetName(1, "Rock Kit");
    kit.setSetName(2, "Two Set");
    auto use = [&kit](int set, int note, int program, int source, const char* name) {
        DrumNoteEntry& e = kit.entry(set, note);
        e.used = 1;
        e.rxNoteOn = 1;
        e.sourceMap = 1;
        e.sourceProgram = static_cast<std::uint8_t>(program);
        e.sourceNote = static_cast<std::uint8_t>(source);
        e.name = name;
    };
    use(1, 36, 0, 35, "My Boom");
    use(1, 38, 0, 38, "Snare Drum 1");
    use(2, 40, 120, 100, "\x83\x8D\x83\x62\x83\x4E");  // "ロック"
    return kit;
}

std::string joined(const std::vector<MidiBytes>& messages) {
    std::string out;
    for (const MidiBytes& m : messages) out.append(m.begin(), m.end());
    return out;
}

struct FileRow {
    const char* name;
    std::function<std::string()> bytes;
    const char* error;  // empty: read
    // A file without the notes' own names has the tables' alone.
    const char* instruments = "Kick Drum 2\nMy Boom\nSnare Drum 1\n\x83\x8D\x83\x62\x83\x4E\n";
};

const FileRow kFileRows[] = {
    {"good.kfg", [] { return WriteKitFile(sampleKit()); }, ""},
    {"Upper.KFG", [] { return WriteKitFile(sampleKit()); }, ""},
    {"song.mid", [] { return WriteMidiFile(sampleKit(), true, "song.mid"); }, ""},
    {"dump.syx", [] { return joined(kitLoadMessages(sampleKit())); }, "", "Kick Drum 2\nSnare Drum 1\n"},
    {"hex.txt", [] { return WriteTextFile(sampleKit(), true); }, ""},
    // A kit file by content under another name is read as the importer reads it: no DT1 in it.
    {"named.txt", [] { return WriteKitFile(sampleKit()); }, "ﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄのﾃﾞｰﾀがありません"},
    {"broken.kfg", [] { return std::string("\x00\x01garbage", 9); }, "Kitforge のﾌｧｲﾙではありません。"},
    {"future.kfg", [] { return std::string("@KFG FORMAT,900\r\n"); }, "このﾊﾞｰｼﾞｮﾝでは扱えないﾌｧｲﾙです。"},
    {"empty.mid", [] { return std::string(); }, "ﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄのﾃﾞｰﾀがありません"},
};

class LibraryFiles : public ::testing::TestWithParam<FileRow> {};

TEST_P(LibraryFiles, GiveARowOrTheReason) {
    const FileRow& f = GetParam();
    const InstrumentNames names(test::shippedTables());
    const LibraryEntry row = summarizeKit(std::string("/kits/") + f.name, f.name, 1234, f.bytes(), names);
    EXPECT_EQ(row.path, std::string("/kits/") + f.name);
    EXPECT_EQ(row.fileName, f.name);
    EXPECT_EQ(row.modified, 1234);
    EXPECT_EQ(row.error, f.error);
    if (!row.readable()) return;
    EXPECT_EQ(row.setNames[0], "Rock Kit");
    EXPECT_EQ(std::string(sjis::trim(row.setNames[1])), "Two Set");
    EXPECT_EQ(row.notes[0], 2);
    EXPECT_EQ(row.notes[1], 1);
    // The preset instrument and the note's own name; a name the user kept is there once.
    EXPECT_EQ(row.instruments, f.instruments);
}

INSTANTIATE_TEST_SUITE_P(Library, LibraryFiles, ::testing::ValuesIn(kFileRows), test::RowName());

TEST(Library, AFileThatCannotBeReadIsARowWithItsReason) {
    const auto missing = (std::filesystem::temp_directory_path() / "kitforge-no-such-kit.kfg").string();
    const LibraryEntry row = indexKitFile(missing, "kitforge-no-such-kit.kfg", 0, InstrumentNames());
    EXPECT_EQ(row.fileName, "kitforge-no-such-kit.kfg");
    EXPECT_EQ(row.error, "ﾌｧｲﾙを読めません");
}

TEST(Library, TheFilesOpenAndImportTake) {
    for (const char* yes : {"a.kfg", "A.KFG", "b.mid", "b.MIDI", "c.syx", "d.Txt"}) EXPECT_TRUE(isLibraryFile(yes)) << yes;
    for (const char* no : {"a.prt", "kfg", "a.kfg.bak", "notes", ".mid.x"}) EXPECT_FALSE(isLibraryFile(no)) << no;
}

struct SearchRow {
    const char* fileName;  // UTF-8
    const char* names;     // Shift-JIS; nullptr: the text has no Shift-JIS form
    std::vector<int> shown;
};

// Row 0 is the sample kit; row 1 a kit whose only name holds "ア" (83 41: a second byte that is
// an ASCII "A"); row 2 a file that could not be read.
const SearchRow kSearchRows[] = {
    {"", "", {0, 1, 2}},
    {"KICK DRUM 2", "KICK DRUM 2", {0}},       // an instrument name, in any case
    {"my boom", "my boom", {0}},               // the name a note was given
    {"rock kit", "rock kit", {0}},             // a set name
    {"\xE3\x83\xAD", "\x83\x8D", {0}},         // "ロ", in a note's name
    {"ROCK.", "ROCK.", {0}},                   // the file name
    {"BROKEN", "BROKEN", {2}},                 // an unreadable file is found by its name
    {"a", "a", {0, 1}},                        // "Snare", "dance"
    {"As", "As", {}},                          // never from the second byte of "ア"
    {"\xE3\x82\xA2s", "\x83\x41s", {1}},       // "アs"
    {"2\nMy", "2\nMy", {}},                    // never across two names
    {"\xF0\x9F\xA5\x81", nullptr, {}},         // no Shift-JIS form: file names only
    {"zzz", "zzz", {}},
};

class LibrarySearch : public ::testing::TestWithParam<SearchRow> {};

TEST_P(LibrarySearch, FindsByFileSetOrInstrumentName) {
    const InstrumentNames names(test::shippedTables());
    Kit other;
    other.reset();
    other.entry(1, 10).used = 1;
    other.entry(1, 10).name = "\x83\x41s";  // "アs"
    std::vector<LibraryEntry> rows{
        summarizeKit("rock.kfg", "rock.kfg", 0, WriteKitFile(sampleKit()), names),
        summarizeKit("dance.kfg", "dance.kfg", 0, WriteKitFile(other), names),
        summarizeKit("broken.syx", "broken.syx", 0, "junk", names),
    };
    rows[1].setNames[0] = rows[1].setNames[1] = "";
    const SearchRow& r = GetParam();
    EXPECT_EQ(searchLibrary(rows, {r.fileName, r.names ? r.names : ""}), r.shown);
}

INSTANTIATE_TEST_SUITE_P(Library, LibrarySearch, ::testing::ValuesIn(kSearchRows), test::RowName());

TEST(Library, TheSynthHoldsWhatAnImportReadsBack) {
    const Kit kit = test::tableKit(test::shippedTables(), 20, 7);
    Kit back;
    const ImportSummary s = ImportKit(joined(kitLoadMessages(kit)), back);
    EXPECT_EQ(s.notes[0], 20);
    EXPECT_EQ(s.notes[1], 20);
    EXPECT_EQ(s.names, 2);
    const auto notes = usedNotes(kit);
    ASSERT_EQ(notes.size(), 40u);
    EXPECT_EQ(notes.front().first, 1);
    EXPECT_EQ(notes.back().first, 2);
    for (const auto& [set, note] : notes) EXPECT_EQ(back.entry(set, note).playNote, kit.entry(set, note).playNote);
}

}  // namespace
}  // namespace kf
