#include <gtest/gtest.h>

#include "case_name.h"

#include "files/exports.h"
#include "gs/sysex.h"
#include "sample_kit.h"
#include "smf.h"

namespace kf {
namespace {

Kit emptyKit() {
    Kit k;
    k.reset();
    return k;
}

DrumNoteEntry& use(Kit& kit, int set, int note, int effectSend = 0, int effectType = 0) {
    DrumNoteEntry& e = kit.entry(set, note);
    e.used = 1;
    e.name = "Inst";
    e.effectSend = static_cast<std::uint8_t>(effectSend);
    e.effectType = static_cast<std::uint8_t>(effectType);
    return e;
}

using test::smf::be32;
using test::smf::Event;

std::vector<std::uint32_t> sysexTimes(const std::vector<Event>& track) {
    std::vector<std::uint32_t> t;
    for (const auto& e : track)
        if (e.status == 0xF0) t.push_back(e.time);
    return t;
}

TEST(MidiFile, EmptyKitIs94Bytes) {
    const std::string smf = WriteMidiFile(emptyKit(), true, "/x/y.mid");
    ASSERT_EQ(smf.size(), 94u);
    EXPECT_EQ(smf.substr(0, 14), std::string("MThd\0\0\0\x06\0\x01\0\x02\0\x30", 14));
    EXPECT_EQ(be32(smf, 18), 38u);
    EXPECT_EQ(smf.substr(22, 21), std::string("\x00\xFF\x51\x03\x07\xA1\x20\x00\xFF\x58\x04\x04\x02\x18\x08\x00\xFF\x59\x02\x00\x00", 21));
    EXPECT_EQ(smf.substr(43, 13), std::string("\x00\xFF\x03\x09UserDrum1", 13));
    EXPECT_EQ(be32(smf, 64), 26u);
    EXPECT_EQ(smf.substr(68), std::string("\x00\xFF\x03\x12UserDrum Exclusive\x30\xFF\x2F\x00", 26));
}

TEST(MidiFile, TrackNameFallsBackToThePathLessItsExtension) {
    Kit kit = emptyKit();
    kit.setSetName(1, "");
    const auto tracks = test::smf::read(WriteMidiFile(kit, false, "C:\\kits\\rock.MID"));
    EXPECT_EQ(tracks[0][3].data, "C:\\kits\\rock");
    // a path of 128 bytes or more gets a multi-byte length and the file stays readable
    const std::string longPath = "/" + std::string(300, 'd') + ".mid";
    const auto longTracks = test::smf::read(WriteMidiFile(kit, false, longPath));
    EXPECT_EQ(longTracks[0][3].data, longPath.substr(0, longPath.size() - 4));
    EXPECT_EQ(longTracks[0].size(), 5u);
}

struct TimingCase {
    const char* what;
    bool comment;
    std::vector<std::pair<int, int>> notes;  // (set, effect send)
    std::vector<std::uint32_t> sysex;        // times of the sysex events
    std::uint32_t end;                       // time of end of track
};

class MidiTiming : public ::testing::TestWithParam<TimingCase> {};

std::vector<std::uint32_t> range(std::uint32_t from, int count, std::uint32_t step = 1) {
    std::vector<std::uint32_t> v;
    for (int i = 0; i < count; ++i) v.push_back(from + static_cast<std::uint32_t>(i) * step);
    return v;
}

std::vector<std::uint32_t> join(std::initializer_list<std::vector<std::uint32_t>> parts) {
    std::vector<std::uint32_t> v;
    for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
}

TEST_P(MidiTiming, Times) {
    const auto& c = GetParam();
    Kit kit = emptyKit();
    int note = 36;
    for (auto [set, send] : c.notes) use(kit, set, note++, send);
    const auto tracks = test::smf::read(WriteMidiFile(kit, c.comment, "k.mid"));
    EXPECT_EQ(sysexTimes(tracks[1]), c.sysex) << c.what;
    EXPECT_EQ(tracks[1].back().time, c.end) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MidiTiming,
    ::testing::Values(
        TimingCase{"one note", false, {{1, 0}}, join({{0}, range(12, 12)}), 48},
        TimingCase{"eleven messages", false, {{1, 40}, {1, 0}}, join({{0}, range(12, 11), range(24, 12)}), 48},
        TimingCase{"one note per set", false, {{1, 0}, {2, 0}}, join({{0}, range(12, 12), {24}, range(37, 12)}), 96},
        TimingCase{"one note per set, comments", true, {{1, 0}, {2, 0}},
                   join({{0}, range(12, 12), {24}, range(36, 12)}), 48}), test::RowName());

TEST(MidiFile, CommentEventsAndTheirTimes) {
    Kit kit = emptyKit();
    kit.setSetName(1, "Kit A");
    use(kit, 1, 36).name = "Kick";
    use(kit, 2, 40).name = std::string(200, 'n');  // a long reference name: multi-byte length
    const auto tracks = test::smf::read(WriteMidiFile(kit, true, "k.mid"));
    std::vector<std::pair<std::uint32_t, std::string>> texts;
    for (const auto& e : tracks[1])
        if (e.status == 0xFF && e.type == 0x01) texts.emplace_back(e.time, e.data);
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], std::make_pair(0u, std::string("<<1:Kit A       >>")));
    EXPECT_EQ(texts[1], std::make_pair(12u, std::string("Kick")));
    EXPECT_EQ(texts[2], std::make_pair(24u, std::string("<<2:UserDrum2   >>")));
    EXPECT_EQ(texts[3], std::make_pair(36u, std::string(200, 'n')));
}

TEST(MidiFile, SysexEventsCarryTheMessagesLessTheirF0) {
    Kit kit = emptyKit();
    use(kit, 1, 36, 40, 0);
    const auto tracks = test::smf::read(WriteMidiFile(kit, false, "k.mid"));
    std::vector<std::string> sysex;
    for (const auto& e : tracks[1])
        if (e.status == 0xF0) sysex.push_back(e.data);
    ASSERT_EQ(sysex.size(), 12u);
    const MidiBytes name = buildNameMessage(kit, 1);
    EXPECT_EQ(sysex[0], std::string(name.begin() + 1, name.end()));
    const MidiBytes p12 = buildParameterMessage(kit, 1, 36, 12);
    EXPECT_EQ(sysex[11], std::string(p12.begin() + 1, p12.end()));
}

// PRT

std::vector<std::string> prtEvents(const std::string& prt) {
    std::vector<std::string> v;
    for (size_t i = 8; i + 4 <= prt.size(); i += 4) v.push_back(prt.substr(i, 4));
    return v;
}

std::string ev(int a, int b, int c, int d) {
    return {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c), static_cast<char>(d)};
}

TEST(PrtFile, EmptyKitIsTheHeaderAlone) {
    EXPECT_EQ(WritePrtFile(emptyKit(), true), std::string("RCPPR\x01\0\0", 8));
}

TEST(PrtFile, OneNoteIs160Bytes) {
    Kit kit = emptyKit();
    use(kit, 1, 36);
    const std::string prt = WritePrtFile(kit, false);
    ASSERT_EQ(prt.size(), 168u);
    EXPECT_EQ(prt.substr(6, 2), std::string("\xA0\x00", 2));
    const auto events = prtEvents(prt);
    EXPECT_EQ(events[0], ev(0xDF, 0, 0x10, 0x42));
    EXPECT_EQ(events[1], ev(0xDD, 0, 0x21, 0x00));
    EXPECT_EQ(events[2], ev(0xDE, 1, 0, 'U'));
    EXPECT_EQ(events[13], ev(0xDE, 1, 11, ' '));
    EXPECT_EQ(events[14], ev(0xDD, 0, 0x21, 0x01));
    EXPECT_EQ(events[15], ev(0xDE, 1, 36, 60));
    EXPECT_EQ(events[36], ev(0xDD, 0, 0x21, 0x0C));
    EXPECT_EQ(events[38], ev(0x3C, 168, 0, 0));
    EXPECT_EQ(events[39], ev(0xFD, 0, 0, 0));
}

TEST(PrtFile, ElevenParametersAndStepTwo) {
    Kit kit = emptyKit();
    use(kit, 2, 36, 30, 1);
    const auto events = prtEvents(WritePrtFile(kit, false));
    // device, base, 12 name bytes, 11 pairs, rest, measure end
    ASSERT_EQ(events.size(), 2u + 12 + 22 + 2);
    EXPECT_EQ(events[1], ev(0xDD, 0, 0x21, 0x10));
    for (size_t i = 14; i < 36; i += 2) EXPECT_NE(events[i], ev(0xDD, 0, 0x21, 0x16)) << "chorus left out";
    EXPECT_EQ(events[34], ev(0xDD, 0, 0x21, 0x1C));
    EXPECT_EQ(events[35][1], 2);
    EXPECT_EQ(events[36], ev(0x3C, 168, 0, 0));
}

TEST(PrtFile, MeasureEndAfterEverySixteenthBlock) {
    Kit kit = emptyKit();
    for (int n = 0; n < 15; ++n) use(kit, 1, n);  // name + 15 notes = 16 blocks of 12 ticks
    const auto events = prtEvents(WritePrtFile(kit, false));
    EXPECT_EQ(events.back(), ev(0xFD, 0, 0, 0));
    EXPECT_EQ(events[events.size() - 2], ev(0xDE, 1, 14, 0));  // no rest: already on the boundary
    int measureEnds = 0;
    for (const auto& e : events) measureEnds += e == ev(0xFD, 0, 0, 0);
    EXPECT_EQ(measureEnds, 1);
}

TEST(PrtFile, Comments) {
    Kit kit = emptyKit();
    kit.setSetName(1, "Kit A");
    use(kit, 1, 36).name = "  " + std::string(19, 'k') + "\x88\x9F" + " ";
    const auto events = prtEvents(WritePrtFile(kit, true));
    std::string first, second;
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(static_cast<std::uint8_t>(events[static_cast<size_t>(i)][0]), i ? 0xF7 : 0xF6);
        first += events[static_cast<size_t>(i)].substr(2);
    }
    EXPECT_EQ(first, "<<UD1:Kit A       >>");
    const size_t noteComment = 10 + 2 + 12;
    for (size_t i = noteComment; i < noteComment + 10; ++i) second += events[i].substr(2);
    EXPECT_EQ(second, std::string(19, 'k') + " ");  // the kanji would be split: dropped, padded
}

TEST(PrtFile, FullKitIsTheLargestFile) {
    Kit kit = emptyKit();
    for (int s = 1; s <= 2; ++s)
        for (int n = 0; n < 128; ++n) use(kit, s, n);
    EXPECT_EQ(WritePrtFile(kit, true).size(), 35088u);
}

// Text

TEST(TextFile, EmptyKitIsEmpty) {
    EXPECT_EQ(WriteTextFile(emptyKit(), true), "");
    EXPECT_EQ(WriteTextFile(emptyKit(), false), "");
}

TEST(TextFile, LinesOfOneNoteInSetTwo) {
    Kit kit = emptyKit();
    kit.setSetName(2, " Jazz ");
    use(kit, 2, 36).name = " Kick ";
    const std::string text = WriteTextFile(kit, true);
    std::string expected = "@NAME,1,Jazz\r\n" + hexText(buildNameMessage(kit, 2)) + "\r\n@1,36,Kick\r\n";
    for (int p = 1; p <= 12; ++p) expected += hexText(buildParameterMessage(kit, 2, 36, p)) + "\r\n";
    EXPECT_EQ(text, expected);
    EXPECT_EQ(WriteTextFile(kit, false).find('@'), std::string::npos);
}

TEST(TextFile, ParameterLine) {
    Kit kit = emptyKit();
    use(kit, 1, 36).playNote = 60;
    const std::string text = WriteTextFile(kit, false);
    EXPECT_NE(text.find("\r\nF0 41 10 42 12 21 01 24 3C 7E F7\r\n"), std::string::npos);
}

TEST(Exports, SameMessagesInTheSameOrder) {
    const Kit kit = test::fullKit();
    const auto tracks = test::smf::read(WriteMidiFile(kit, false, "k.mid"));
    std::string fromSmf;
    for (const auto& e : tracks[1])
        if (e.status == 0xF0) {
            MidiBytes m(e.data.size() + 1, 0xF0);
            std::copy(e.data.begin(), e.data.end(), m.begin() + 1);
            fromSmf += hexText(m) + "\r\n";
        }
    EXPECT_EQ(fromSmf, WriteTextFile(kit, false));
    EXPECT_EQ(tracks[1].back().time % 48, 0u);
}

}  // namespace
}  // namespace kf
