#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "case_name.h"
#ifndef _WIN32
#include "child.h"
#endif
#include "files/exports.h"
#include "files/kit_import.h"
#include "files/reference_tables.h"
#include "gs/device_commands.h"
#include "gs/sysex.h"
#include "model/sjis.h"
#include "sample_kit.h"
#include "smf.h"

namespace kf {
namespace {

enum class Carrier { Smf, Text, Dump };

// What an export keeps of a Kit: a note whose both sends are 0 comes back as chorus; the
// text export's comments lose the blanks around names, a dump has none; set names lose
// trailing blanks.
Kit exported(Kit kit, Carrier carrier) {
    const bool text = carrier == Carrier::Text;
    for (int s = 1; s <= kSetCount; ++s) {
        std::string name = kit.setName(s);
        name.erase(name.find_last_not_of(' ') + 1);
        kit.setSetName(s, name);
        for (int n = 0; n < kNoteCount; ++n) {
            DrumNoteEntry& e = kit.entry(s, n);
            if (!e.used) {
                e = blankEntry();
                continue;
            }
            if (e.effectSend == 0) e.effectType = 0;
            e.rxNoteOff = e.rxNoteOff ? 1 : 0;
            e.rxNoteOn = e.rxNoteOn ? 1 : 0;
            if (text) e.name = std::string(sjis::trim(e.name));
            if (carrier == Carrier::Dump) e.name.clear();
        }
        // A set with no used note sends no name, but in the switch-on transfer: it comes back
        // with the default name.
        if (!kit.anyUsed(s) && carrier != Carrier::Dump) kit.setSetName(s, s == 1 ? "UserDrum1" : "UserDrum2");
    }
    return kit;
}

::testing::AssertionResult sameKit(const Kit& got, const Kit& want) {
    for (int s = 1; s <= kSetCount; ++s) {
        if (got.setName(s) != want.setName(s))
            return ::testing::AssertionFailure() << "set " << s << " name '" << got.setName(s) << "' for '"
                                                 << want.setName(s) << "'";
        for (int n = 0; n < kNoteCount; ++n)
            if (got.entry(s, n) != want.entry(s, n))
                return ::testing::AssertionFailure() << "set " << s << " note " << n << " ('" << got.entry(s, n).name
                                                     << "' for '" << want.entry(s, n).name << "')";
    }
    return ::testing::AssertionSuccess();
}

Kit randomKit(std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 127), pick(0, 9);
    const std::string pieces[] = {"Kick", ",", "Sn", "\x83\x68\x83\x89\x83\x80", "\x8E\x9F", "x", "Hat", " ", "9"};
    Kit kit;
    kit.reset();
    for (int s = 1; s <= kSetCount; ++s) {
        std::string name;
        while (name.size() < 8 && pick(rng) > 1) name += static_cast<char>('A' + byte(rng) % 26);
        kit.setSetName(s, name);
        const int density = pick(rng);
        for (int n = 0; n < kNoteCount; ++n) {
            if (pick(rng) >= density) continue;
            DrumNoteEntry& e = kit.entry(s, n);
            e.used = 1;
            std::string inst;
            while (inst.size() < 14 && pick(rng) > 2) inst += pieces[static_cast<size_t>(pick(rng)) % 9];
            e.name = std::string(sjis::trim(sjis::cut(inst, 20)));
            for (std::uint8_t* f : {&e.playNote, &e.level, &e.pan, &e.reverb, &e.assignGroup, &e.sourceMap,
                                    &e.sourceProgram, &e.sourceNote})
                *f = static_cast<std::uint8_t>(byte(rng));
            e.effectSend = static_cast<std::uint8_t>(pick(rng) < 3 ? 0 : byte(rng));
            e.effectType = static_cast<std::uint8_t>(byte(rng) % 2);
            e.rxNoteOff = static_cast<std::uint8_t>(byte(rng) % 2);
            e.rxNoteOn = static_cast<std::uint8_t>(byte(rng) % 2);
        }
    }
    return kit;
}

std::vector<Kit> edgeKits() {
    std::vector<Kit> kits;
    Kit k;
    k.reset();
    k.entry(2, 40).used = 1;
    k.entry(2, 40).name = "set 2 only";
    kits.push_back(k);
    k.reset();
    k.entry(1, 127).used = 1;
    k.entry(1, 127).name = "\x91\xBE\x8C\xDB, last";
    kits.push_back(k);
    k.reset();
    k.entry(1, 0).used = 1;
    k.entry(1, 0).effectType = 1;  // with send 0: comes back as chorus
    k.entry(1, 1).used = 1;
    k.entry(1, 1).effectType = 1;
    k.entry(1, 1).effectSend = 1;
    k.setSetName(1, "   Lead");
    kits.push_back(k);
    kits.push_back(test::fullKit());
    return kits;
}

TEST(KitImport, RoundTripsThroughTheExports) {
    std::mt19937 rng(20261208);
    std::vector<Kit> kits = edgeKits();
    for (int i = 0; i < 300; ++i) kits.push_back(randomKit(rng));
    int identical = 0;
    for (const Kit& kit : kits) {
        struct Way {
            const char* what;
            std::string bytes;
            Carrier carrier;
            ImportSummary::Kind kind;
            long skipped;
        } ways[] = {
            {"SMF", WriteMidiFile(kit, true, "C:\\kits\\a.mid"), Carrier::Smf, ImportSummary::StandardMidiFile, 0},
            {"text", WriteTextFile(kit, true), Carrier::Text, ImportSummary::HexText, 0},
            {"SysEx", WriteSysexFile(kit), Carrier::Dump, ImportSummary::SysexDump, 1},  // the rhythm-part set-up
        };
        bool all = true;
        for (const Way& w : ways) {
            Kit back;
            const ImportSummary s = ImportKit(w.bytes, back);
            if (!w.bytes.empty()) {
                EXPECT_EQ(s.kind, w.kind);
            }
            EXPECT_EQ(s.skipped, w.skipped) << w.what;
            EXPECT_TRUE(s.damage.empty()) << s.damage;
            const auto r = sameKit(back, exported(kit, w.carrier));
            if (!r) {
                ADD_FAILURE() << w.what << ": " << r.message();
                all = false;
            }
        }
        identical += all;
    }
    std::cerr << identical << " of " << kits.size() << " kits came back identical through SMF, text and SysEx\n";
    EXPECT_EQ(identical, static_cast<int>(kits.size()));
}

TEST(KitImport, TheSwitchOnTransferAsADumpIsTheKit) {
    // The bytes a module receives, concatenated with noise between them: a SysEx dump.
    const Kit kit = test::fullKit();
    std::string dump = "junk";
    dump += std::string(reinterpret_cast<const char*>(rhythmPart11Message().data()), rhythmPart11Message().size());
    for (int s = 1; s <= kSetCount; ++s) {
        for (int n = 0; n < kNoteCount; ++n)
            for (int p = 1; p <= 12; ++p) {
                const MidiBytes m = buildParameterMessage(kit, s, n, p);
                dump.append(reinterpret_cast<const char*>(m.data()), m.size());
                if (n % 9 == 0) dump += "\x12\x7F noise ";
            }
        const MidiBytes name = buildNameMessage(kit, s);
        dump.append(reinterpret_cast<const char*>(name.data()), name.size());
    }
    Kit back;
    const ImportSummary s = ImportKit(dump, back);
    EXPECT_EQ(s.kind, ImportSummary::SysexDump);
    EXPECT_EQ(s.taken, 2 * 128 * 12 + 2);
    EXPECT_EQ(s.skipped, 1) << "the rhythm-part set-up";
    EXPECT_TRUE(sameKit(back, exported(kit, Carrier::Dump)));
    EXPECT_EQ(s.notes[0], 128);
    EXPECT_EQ(s.notes[1], 128);
    EXPECT_EQ(s.names, 2);
}

MidiBytes dt1(std::vector<std::uint8_t> body, std::uint8_t device = 0x10) {
    MidiBytes m{0xF0, 0x41, device, 0x42, 0x12};
    for (std::uint8_t b : body) m.push_back(b);
    m.push_back(rolandChecksum(m.data() + 5, m.data() + m.size()));
    m.push_back(0xF7);
    return m;
}

std::string asText(const std::vector<MidiBytes>& messages) {
    std::string t;
    for (const auto& m : messages) t += hexText(m) + "\r\n";
    return t;
}

struct TakeCase {
    const char* what;
    std::vector<MidiBytes> messages;
    long taken, skipped, bad;
};

class WhatIsTaken : public ::testing::TestWithParam<TakeCase> {};

TEST_P(WhatIsTaken, CountsEveryMessage) {
    Kit kit;
    const ImportSummary s = ImportKit(asText(GetParam().messages), kit);
    EXPECT_EQ(s.taken, GetParam().taken);
    EXPECT_EQ(s.skipped, GetParam().skipped);
    EXPECT_EQ(s.badChecksum, GetParam().bad);
}

MidiBytes badSum() {
    MidiBytes m = dt1({0x21, 0x02, 0x24, 0x40});
    m[9] ^= 1;
    return m;
}
MidiBytes otherModel() {
    MidiBytes m = dt1({0x21, 0x02, 0x24, 0x40});
    m[3] = 0x45;
    return m;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WhatIsTaken,
    ::testing::Values(TakeCase{"a parameter", {dt1({0x21, 0x02, 0x24, 0x40})}, 1, 0, 0},
                      TakeCase{"any device ID", {dt1({0x21, 0x02, 0x24, 0x40}, 0x7F)}, 1, 0, 0},
                      TakeCase{"bad checksum", {badSum()}, 0, 1, 1},
                      TakeCase{"another model", {otherModel()}, 0, 1, 0},
                      TakeCase{"GS reset", {gsResetMessage()}, 0, 1, 0},
                      TakeCase{"parameter 13, beside the area", {dt1({0x21, 0x0D, 0x24, 0x40})}, 0, 1, 0},
                      TakeCase{"set 3, beside the area", {dt1({0x21, 0x22, 0x24, 0x40})}, 0, 1, 0},
                      TakeCase{"22 xx xx, beside the area", {dt1({0x22, 0x02, 0x24, 0x40})}, 0, 1, 0},
                      TakeCase{"a note-on line", {dt1({0x21, 0x02, 0x24, 0x40}), {0x99, 0x24, 0x40}}, 1, 1, 0}),
    test::RowName());

TEST(KitImport, ADt1ThatSpansSeveralAddressesIsTakenAddressByAddress) {
    Kit kit;
    // Note 127's level, then on across the 7-bit carry into the next parameter's note 0.
    const ImportSummary s = ImportKit(asText({dt1({0x21, 0x02, 0x7F, 0x11, 0x22}), dt1({0x21, 0x00, 0x0A, 'Z', 'Y', 'X'})}), kit);
    EXPECT_EQ(s.taken, 2);
    EXPECT_EQ(kit.entry(1, 127).level, 0x11);
    EXPECT_EQ(kit.entry(1, 0).assignGroup, 0x22);
    EXPECT_EQ(kit.entry(1, 0).used, 1);
    EXPECT_EQ(kit.entry(1, 0).playNote, 60) << "its other parameters keep their blank values";
    EXPECT_EQ(kit.setName(1), "UserDrum1 ZY") << "bytes 10 and 11 of the name; X falls beside the area";
}

TEST(KitImport, StandardMidiFilesNotWrittenByUs) {
    const MidiBytes level = dt1({0x21, 0x02, 0x24, 0x55});
    // Split into an F0 packet and two F7 continuations, with a note between them on another
    // track's time; running status for the notes; a long delta of four bytes.
    std::string split("\x00\xF0\x04\x41\x10\x42\x12", 7);
    split += std::string("\x83\x80\x80\x00\xF7\x03\x21\x02\x24", 9);
    split += std::string("\x00\xF7\x03", 3) + static_cast<char>(0x55) + static_cast<char>(level[9]) + '\xF7';
    const std::string notes("\x00\x99\x24\x64\x10\x26\x64\x00\x24\x00", 10);
    const std::string end("\x00\xFF\x2F\x00", 4);
    const std::string text = std::string("\x00\xFF\x01\x04Kick", 8);
    for (std::uint16_t format : {0, 1}) {
        Kit kit;
        const std::string file =
            test::smf::file({notes + text + split + notes + end, test::smf::sysex(gsResetMessage()) + end}, format);
        const ImportSummary s = ImportKit(file, kit);
        EXPECT_EQ(s.kind, ImportSummary::StandardMidiFile);
        EXPECT_TRUE(s.damage.empty()) << s.damage;
        EXPECT_EQ(s.taken, 1);
        EXPECT_EQ(s.skipped, 3 + 3 + 1) << "six notes and the GS reset";
        EXPECT_EQ(kit.entry(1, 36).level, 0x55);
        EXPECT_EQ(kit.entry(1, 36).name, "Kick") << "the text directly before the note's messages";
    }
}

TEST(KitImport, ACutFileIsReadAsFarAsItIsSoundAndNeverPastItsEnd) {
    const Kit kit0 = test::fullKit();
    const std::string whole = WriteMidiFile(kit0, true, "x.mid");
    for (size_t cut : {size_t(10), size_t(22), whole.size() / 3, whole.size() / 2, whole.size() - 1}) {
        Kit kit;
        // A copy of exactly the cut length, so a read past it is a sanitizer error.
        const std::string part = whole.substr(0, cut);
        const ImportSummary s = ImportKit(part, kit);
        EXPECT_FALSE(s.damage.empty()) << cut;
        EXPECT_LE(s.notes[0] + s.notes[1], 256);
    }
    // A chunk length past the end: what is there is still read.
    std::string lying = whole;
    lying[whole.find("MTrk", 20) + 4] = '\x7F';
    Kit kit;
    const ImportSummary s = ImportKit(lying, kit);
    EXPECT_EQ(s.notes[0], 128);
    EXPECT_EQ(s.notes[1], 128);
    EXPECT_EQ(s.damage, "a chunk runs past the end of the file");
}

TEST(KitImport, NamesFromTheTablesWhenTheFileHasNone) {
    int useMap = 2;
    const ReferenceTables t = LoadReferenceTables({KITFORGE_SOURCE_DATA_DIR}, useMap, 256);
    const PresetDrumSet* standard = nullptr;
    for (const auto& s : t.sets)
        if (s.hasInstruments && s.instruments[36].used) {
            standard = &s;
            break;
        }
    ASSERT_NE(standard, nullptr);
    Kit kit;
    kit.reset();
    DrumNoteEntry& e = kit.entry(1, 36);
    e.used = 1;
    e.sourceMap = static_cast<std::uint8_t>(standard->map);
    e.sourceProgram = static_cast<std::uint8_t>(standard->program);
    e.sourceNote = 36;
    Kit back;
    ImportKit(WriteTextFile(kit, false), back, &t);
    EXPECT_EQ(back.entry(1, 36).name, standard->instruments[36].name);
    ImportKit(WriteTextFile(kit, false), back);
    EXPECT_EQ(back.entry(1, 36).name, "") << "no tables, no name";
}

TEST(KitImport, NothingUsable) {
    for (const std::string& in : {std::string(), std::string("hello\r\nworld"), std::string("MThd"),
                                  asText({gsResetMessage()})}) {
        Kit kit;
        EXPECT_FALSE(ImportKit(in, kit).usable());
    }
}

TEST(KitImport, ARunOfUnfinishedSysExEndsLongBeforeAScanOfItsSquareWould) {
    // 10 MB read in linear time take a fraction of a second, even on a loaded machine; a scan
    // from every F0 to the end would take hours. The figures themselves are the benchmark's.
    const std::string bytes = std::string(10'000'000, '\xF0') + '\xF7';
    Kit kit;
    const auto start = std::chrono::steady_clock::now();
    ImportKit(bytes, kit);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

#ifndef _WIN32
// The most memory a child process held while it imported bytes, in MiB.
long importPeakMiB(const std::string& bytes) {
    test::Child child([&] {
        Kit kit;
        ImportKit(bytes, kit);
        rusage use{};
        ::getrusage(RUSAGE_SELF, &use);
        return static_cast<int>(std::min<long>(255, use.ru_maxrss / 1024));
    });
    return child.wait().status();
}
#endif

TEST(KitImport, OneLongTextBeforeADataSetOfEveryNoteTakesNoMoreThanTheFile) {
    // A 4 MB text event, then one DT1 from 21 01 00 over 17 × 128 bytes: parameter 1 to 12 of
    // set 1, set 2's name and its play notes, so all 256 notes take the text as their name.
    std::vector<std::uint8_t> body{0x21, 0x01, 0x00};
    body.resize(3 + 17 * 128, 0x40);
    const std::string track = std::string("\x00\xFF\x01", 3) + test::smf::vlq(4'000'000) + std::string(4'000'000, 'x') +
                              test::smf::sysex(dt1(body)) + std::string("\x00\xFF\x2F\x00", 4);
    const std::string file = test::smf::file({track});
    Kit kit;
    const ImportSummary s = ImportKit(file, kit);
    ASSERT_EQ(s.notes[0] + s.notes[1], 256);
    EXPECT_EQ(kit.entry(2, 5).name, std::string(20, 'x'));
#ifdef _WIN32
    GTEST_SKIP() << "the peak memory is measured in a child process, on POSIX only";
#else
    const long peak = importPeakMiB(file);
    std::printf("peak memory importing a 4 MB text before a DT1 of every note: %ld MiB\n", peak);
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, 64) << "not one copy of the text per note";
#endif
}

}  // namespace
}  // namespace kf
