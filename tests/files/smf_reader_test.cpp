#include "files/smf_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/song_embed.h"
#include "smf.h"

namespace kf {
namespace {

using test::smf::bytes;
using test::smf::ev;
using test::smf::vlq;

const std::string kEnd = bytes({0x00, 0xFF, 0x2F, 0x00});
const std::string kTempo = bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
const std::string kReset = bytes({0x00, 0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
const std::string kNote = bytes({0x00, 0x99, 0x24, 0x64});

// Two tracks: the conductor's chunk at 14 (19 bytes of events), the second's at 41.
std::string twoTracks() {
    return test::smf::file({kTempo + ev(0, bytes({0xFF, 0x03, 0x04})) + "Cond" + ev(0, bytes({0xFF, 0x2F, 0x00})),
                            kReset + ev(96, bytes({0x99, 0x24, 0x64})) + kEnd});
}
std::string with(std::string s, size_t at, std::initializer_list<int> replacement) {
    for (int b : replacement) s[at++] = static_cast<char>(b);
    return s;
}

std::string riff(const std::string& smf, std::uint32_t dataLength) {
    auto le = [](std::uint32_t v) {
        return bytes({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)});
    };
    const std::string body = "RMID" + ("LIST" + le(6) + "INFOab") + "data" + le(dataLength) + smf;
    return "RIFF" + le(static_cast<std::uint32_t>(body.size())) + body;
}

// Songs no embed takes: refused with the reason and the byte where it showed, nothing made.
struct Hostile {
    const char* name;
    std::string song;
    const char* why;
    std::size_t offset;
};
void PrintTo(const Hostile& row, std::ostream* os) { *os << row.name; }

std::vector<Hostile> hostileRows() {
    const std::string good = twoTracks();
    return {
        {"Empty", "", "no MIDI file header", 0},
        {"NotAMidiFile", "hello, no song here", "no MIDI file header", 0},
        {"CutInsideTheHeader", good.substr(0, 11), "cut short inside its header", 11},
        {"CutInsideTheLastTrack", good.substr(0, good.size() - 5), "a chunk runs past the end of the file", 41},
        {"CutInsideAChunkHeader", good.substr(0, 45), "ends inside a chunk header", 41},
        // The conductor's length 4 too long swallows the next chunk's type.
        {"TrackLengthTooLong", with(good, 21, {19 + 4}), "data after the end of a track", 41},
        // 4 too short leaves its end-of-track where the next chunk's type should be.
        {"TrackLengthTooShort", with(good, 21, {19 - 4}), "no chunk starts here", 37},
        {"HeaderCountsMoreTracks", with(good, 11, {3}), "the header counts 3 tracks, the file holds 2", 10},
        {"HugeTrackCount", with(good, 10, {0xFF, 0xFF}), "the header counts 65535 tracks", 10},
        {"HugeSysExLength", test::smf::file({kTempo + ev(0, bytes({0xF0, 0xFF, 0xFF, 0xFF, 0x7F})) + "ab" + kEnd}),
         "a SysEx event runs past the end of its track", 29},
        {"HugeMetaLength", test::smf::file({ev(0, bytes({0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F})) + "ab"}),
         "a meta event runs past the end of its track", 22},
        {"TimeOfFiveBytes", test::smf::file({bytes({0x80, 0x80, 0x80, 0x80, 0x00, 0x99, 0x24, 0x64}) + kEnd}),
         "an event time runs past", 22},
        {"DataByteWithoutStatus", test::smf::file({ev(0, bytes({0x3C, 0x40})) + kEnd}), "a data byte with no status",
         22},
        {"StatusInsideANote", test::smf::file({ev(0, bytes({0x90, 0x3C, 0x90})) + kEnd}), "a status byte inside", 25},
        {"NoteCutByTheTrack", test::smf::file({ev(0, bytes({0x90, 0x3C}))}), "a track ends inside an event", 22},
        {"SystemCommonInATrack", test::smf::file({ev(0, bytes({0xF2, 0x00, 0x00})) + kEnd}),
         "status byte F2 is no event", 23},
        {"Smpte", with(good, 12, {0xE7, 0x28}), "SMPTE", 12},
        {"Format2", with(good, 9, {2}), "format 2", 8},
        {"Format0WithTwoTracks", with(good, 9, {0}), "format 0 with 2 tracks", 10},
        {"DivisionZero", with(good, 12, {0, 0}), "a division of 0", 12},
        {"NoTrack", test::smf::file({}), "the song has no track", 10},
        {"TempoZero", test::smf::file({ev(0, bytes({0xFF, 0x51, 0x03, 0, 0, 0})) + kReset + kNote + kEnd}),
         "a tempo of 0", 22},
        {"TempoTooShort", test::smf::file({ev(0, bytes({0xFF, 0x51, 0x01, 7})) + kNote + kEnd}),
         "a tempo event of 1 bytes", 22},
        {"MeterOfNoBeats", test::smf::file({ev(0, bytes({0xFF, 0x58, 0x04, 0, 2, 24, 8})) + kNote + kEnd}),
         "a time signature of 0/2^2", 22},
        {"TicksBeyondTwoToThe31",
         test::smf::file({ev(0x0FFFFFFF, bytes({0xFF, 0x01, 0x00})) + ev(0x0FFFFFFF, bytes({0xFF, 0x01, 0x00})) +
                          ev(0x0FFFFFFF, bytes({0xFF, 0x01, 0x00})) + ev(0x0FFFFFFF, bytes({0xFF, 0x01, 0x00})) +
                          ev(0x0FFFFFFF, bytes({0xFF, 0x01, 0x00})) + ev(0x0FFFFFFF, bytes({0xFF, 0x01, 0x00})) +
                          ev(0x0FFFFFFF, bytes({0xFF, 0x01, 0x00})) + ev(0x0FFFFFFF, bytes({0xFF, 0x01, 0x00})) +
                          ev(0x0FFFFFFF, bytes({0xFF, 0x01, 0x00})) + kEnd}),
         "longer than 2^31 ticks", 22 + 8 * 7},
        // RIFF: "RIFF" size "RMID", a LIST of 6 at 12, data at 26, the song at 34.
        {"RiffDataPastItsEnd", riff(good, static_cast<std::uint32_t>(good.size()) + 100), "a RIFF chunk runs past", 26},
        {"RiffCutShort", riff(good, static_cast<std::uint32_t>(good.size())).substr(0, 40),
         "the RIFF file is cut short", 4},
        {"SongCutInsideRiff", riff(good.substr(0, good.size() - 5), static_cast<std::uint32_t>(good.size() - 5)),
         "a chunk runs past the end of the file", 34 + 41},
        {"RiffWithoutData", "RIFF" + bytes({4, 0, 0, 0}) + "RMID", "without a data chunk", 12},
    };
}

class RefusedSong : public ::testing::TestWithParam<Hostile> {};

TEST_P(RefusedSong, NamesTheReasonAndTheByte) {
    const Hostile& row = GetParam();
    Kit kit;
    kit.reset();
    EmbedReport r;
    r.messages = -1;
    try {
        EmbedKit(row.song, kit, {}, &r);
        FAIL() << "taken";
    } catch (const SmfError& e) {
        EXPECT_NE(e.why().find(row.why), std::string::npos) << e.what();
        EXPECT_EQ(e.offset(), row.offset) << e.what();
        EXPECT_NE(std::string(e.what()).find("at byte " + std::to_string(row.offset)), std::string::npos);
    }
    EXPECT_EQ(r.messages, -1) << "no report of a song refused";
}

INSTANTIATE_TEST_SUITE_P(Songs, RefusedSong, ::testing::ValuesIn(hostileRows()),
                         [](const auto& info) { return std::string(info.param.name); });

// A track read and written again is the same bytes, running status and all.
TEST(SmfReader, TracksWrittenAgainAreTheirBytes) {
    const std::vector<std::string> tracks = {
        kTempo + kEnd,
        // notes in running status, a program change (one data byte) among them
        kNote + ev(10, bytes({0x24, 0x00})) + ev(0, bytes({0xC9, 0x40})) + ev(5, bytes({0x41})) + kEnd,
        // running status held over a meta event and a SysEx, as many files have it
        kNote + ev(1, bytes({0xFF, 0x01, 0x01, 'x'})) + ev(1, bytes({0x26, 0x64})) + kReset +
            ev(1, bytes({0x24, 0x00})) + kEnd,
        // a split SysEx, an escape, an empty SysEx, a long delta
        ev(0, bytes({0xF0, 0x03, 0x41, 0x10, 0x42})) + ev(2, bytes({0xF7, 0x02, 0x12, 0xF7})) +
            ev(0, bytes({0xF0, 0x00})) + ev(0x0FFFFFFF, bytes({0xF7, 0x00})) + kEnd,
        // no end of track at all
        kNote,
    };
    for (const std::string& t : tracks) {
        const SmfFile f = readSmf(test::smf::file({t}));
        ASSERT_EQ(f.tracks.size(), 1u);
        EXPECT_EQ(writeTrackEvents(f.chunks[f.tracks[0]].events), t);
    }
}

TEST(SmfReader, EventsKnowTheirTicksKindsAndWire) {
    const SmfFile f = readSmf(twoTracks());
    ASSERT_EQ(f.chunks.size(), 2u);
    const auto& events = f.chunks[1].events;
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].wireBytes(), bytes({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}));
    EXPECT_EQ(events[0].offset, 49u);
    EXPECT_EQ(events[1].tick, 96u);
    EXPECT_TRUE(events[1].isChannel());
    EXPECT_TRUE(events[2].isEndOfTrack());
    EXPECT_EQ(f.division, 480);
}

// An event after one the program put in spells its status out, as a SysEx before it asks.
TEST(SmfReader, AnEventAfterAnInsertedOneSpellsOutItsStatus) {
    SmfFile f = readSmf(test::smf::file({kNote + ev(10, bytes({0x24, 0x00})) + kEnd}));
    std::vector<SmfEvent> events = f.chunks[0].events;
    SmfEvent sysex;
    sysex.tick = 5;
    sysex.status = 0xF0;
    sysex.body = bytes({0x01, 0xF7});
    sysex.inserted = true;
    events.insert(events.begin() + 1, sysex);
    EXPECT_EQ(writeTrackEvents(events),
              kNote + ev(5, bytes({0xF0, 0x01, 0xF7})) + ev(5, bytes({0x99, 0x24, 0x00})) + kEnd);
}

TEST(SmfReader, RiffKeepsItsOtherChunksAndPadsTheData) {
    const std::string smf = twoTracks() + "X";  // an odd length: a pad byte follows
    std::string file = riff(smf, static_cast<std::uint32_t>(smf.size())) + std::string(1, '\0');
    file[4] = static_cast<char>(file.size() - 8);
    ASSERT_TRUE(isRmid(file));
    const RmidFile r = readRmid(file);
    EXPECT_EQ(r.dataOffset, 34u);
    EXPECT_EQ(r.dataLength, smf.size());
    EXPECT_EQ(writeRmid(r, smf), file);
    const std::string shorter = writeRmid(r, "MThd");
    EXPECT_EQ(shorter, "RIFF" + bytes({30, 0, 0, 0}) + "RMIDLIST" + bytes({6, 0, 0, 0}) + "INFOab" + "data" +
                           bytes({4, 0, 0, 0}) + "MThd");
}

}  // namespace
}  // namespace kf
