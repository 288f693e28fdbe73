#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "files/kit_import.h"
#include "files/reference_tables.h"
#include "files/smf_reader.h"
#include "files/song_embed.h"
#include "sample_kit.h"
#include "smf.h"
#include "switch_on.h"

namespace kf {
namespace {

using test::smf::AnyEvent;
using test::smf::bytes;
using test::smf::ev;
using test::smf::vlq;

// Songs written byte by byte, as other programs write them.
std::string tempo(std::uint32_t delta, std::uint32_t us) {
    return ev(delta, bytes({0xFF, 0x51, 0x03, int(us >> 16), int((us >> 8) & 0xFF), int(us & 0xFF)}));
}
std::string meter(std::uint32_t delta, int nn, int dd) { return ev(delta, bytes({0xFF, 0x58, 0x04, nn, dd, 0x18, 0x08})); }
std::string meta(std::uint32_t delta, int type, const std::string& text) {
    return ev(delta, bytes({0xFF, type}) + vlq(static_cast<std::uint32_t>(text.size())) + text);
}
std::string name(std::uint32_t delta, const std::string& text) { return meta(delta, 0x03, text); }
std::string note(std::uint32_t delta, int status, int key, int velocity) { return ev(delta, bytes({status, key, velocity})); }
std::string running(std::uint32_t delta, int key, int velocity) { return ev(delta, bytes({key, velocity})); }
std::string sx(std::uint32_t delta, const MidiBytes& m) {
    return ev(delta, std::string(1, '\xF0') + vlq(static_cast<std::uint32_t>(m.size() - 1)) +
                         std::string(m.begin() + 1, m.end()));
}
std::string end(std::uint32_t delta = 0) { return ev(delta, bytes({0xFF, 0x2F, 0x00})); }

// The tests' own bytes of the messages a song may carry.
const MidiBytes kGsReset{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
const MidiBytes kGmOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
MidiBytes dataSet(std::vector<int> addressAndData) {
    MidiBytes m{0xF0, 0x41, 0x10, 0x42, 0x12};
    int sum = 0;
    for (int b : addressAndData) m.push_back(static_cast<std::uint8_t>(b)), sum += b;
    m.push_back(static_cast<std::uint8_t>((128 - sum % 128) % 128));
    m.push_back(0xF7);
    return m;
}
const MidiBytes kRhythmPart = dataSet({0x40, 0x1A, 0x15, 0x02});
MidiBytes setName(int set, const char* text) {
    std::vector<int> d{0x21, 16 * (set - 1), 0x00};
    std::string padded(text);
    padded.resize(12, ' ');
    for (char c : padded) d.push_back(static_cast<std::uint8_t>(c));
    return dataSet(d);
}

std::string conductor(std::uint32_t us = 500000, int nn = 4, int dd = 2) { return tempo(0, us) + meter(0, nn, dd); }

std::string riff(const std::string& smf) {
    auto le = [](std::uint32_t v) { return bytes({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)}); };
    const std::string info = "LIST" + le(5) + "INFOx" + std::string(1, '\0');
    std::string data = "data" + le(static_cast<std::uint32_t>(smf.size())) + smf;
    if (smf.size() & 1) data += '\0';
    const std::string body = "RMID" + info + data;
    return "RIFF" + le(static_cast<std::uint32_t>(body.size())) + body;
}

// A song in GS format 1: the conductor, then a piano track whose first note comes at tick 1920.
std::string resetSong(const MidiBytes& reset = kGsReset, const std::string& extraConductor = {}) {
    return test::smf::file({conductor() + extraConductor + name(0, "Conductor") + end(),
                            name(0, "Piano") + sx(0, reset) + note(1920, 0x90, 60, 100) + note(240, 0x90, 60, 0) + end()});
}

// Embeds of the empty kit: the rhythm-part message and the two set names, three messages.
struct SongRow {
    const char* name;
    std::string song;
    EmbedOptions options;
    int track;                         // where the set-up goes
    std::vector<std::uint64_t> ticks;  // of the added messages
    std::uint64_t moved;               // ticks the song moved
    std::uint64_t movedMeasures;
    long userDrum;        // user drum set messages found in the song
    EmbedReport::Reset reset;  // the message the set-up follows
    std::string verbatim;  // bytes the written song must hold as they stand
    std::uint64_t step = 1920;  // the fewest whole measures that make whole ticks, in ticks
    // Events (their bytes as readAll spells them) that must stand at these ticks.
    std::vector<std::pair<std::string, std::uint64_t>> placed = {};
};
void PrintTo(const SongRow& row, std::ostream* os) { *os << row.name; }

EmbedOptions gap(int ms) {
    EmbedOptions o;
    o.gapMs = ms;
    return o;
}
EmbedOptions withReset() {
    EmbedOptions o;
    o.addReset = true;
    return o;
}
EmbedOptions keeping() {
    EmbedOptions o;
    o.keepUserDrum = true;
    return o;
}

// An earlier embed's set-up at ticks 52 to 112 after the reset.
std::string earlierEmbed() {
    return test::smf::file({conductor() + end(),
                            sx(0, kGsReset) + sx(52, kRhythmPart) + sx(20, setName(1, "Old")) + sx(20, setName(2, "Old2")) +
                                sx(20, dataSet({0x21, 0x02, 0x24, 0x50})) + note(1808, 0x99, 36, 100) + end()});
}

const std::string kPart2 = std::string(1, '\xF0') + "\x0A" + bytes({0x41, 0x10, 0x42, 0x12, 0x40, 0x11, 0x15, 0x00, 0x1A, 0xF7});

// Every tick below was worked out apart from the program, in fractions of a microsecond: at
// 480 ticks a quarter and 120 beats a minute a tick is 1041 2/3 microseconds, so 20 ms is 19.2
// ticks and rounds up to the next tick from wherever the message before fell.
std::vector<SongRow> songRows() {
    return {
        {"Format0NoResetAtTheStart",
         test::smf::file({conductor() + note(1920, 0x99, 36, 100) + note(240, 0x99, 36, 0) + end()}, 0), {}, 0,
         {0, 20, 40}, 0, 0, 0, EmbedReport::None, {}},
        {"Format1AfterTheGsResetWithRoom", resetSong(), {}, 1, {52, 72, 92}, 0, 0, 0, EmbedReport::GsReset, {}},
        {"AfterGmSystemOn", resetSong(kGmOn), {}, 1, {50, 70, 90}, 0, 0, 0, EmbedReport::GmSystemOn, {}},
        // 60 beats a minute from tick 60: a tick is 2083 1/3 microseconds from there.
        {"TempoChangeInsideTheSetUp", resetSong(kGsReset, tempo(60, 1000000)), {}, 1, {52, 66, 76}, 0, 0, 0, EmbedReport::GsReset,
         {}},
        // 240 beats a minute from tick 24, and the reset at 48 (37.5 ms).
        {"TempoChangeBeforeTheReset",
         test::smf::file({conductor() + tempo(24, 250000) + end(),
                          sx(48, kGsReset) + note(1872, 0x90, 60, 100) + note(240, 0x90, 60, 0) + end()}),
         {}, 1, {151, 190, 229}, 0, 0, 0, EmbedReport::GsReset, {}},
        // The first note comes 24 ticks after the reset: one bar of 3/4 (1440 ticks) later.
        {"NoRoomMovesAWholeMeasure",
         test::smf::file({conductor(500000, 3, 2) + end(),
                          sx(0, kGsReset) + note(24, 0x99, 36, 100) + running(24, 38, 100) + running(24, 36, 0) +
                              running(0, 38, 0) + end()}),
         {}, 1, {52, 72, 92}, 1440, 1, 0, EmbedReport::GsReset,
         // the notes' running status as it was
         bytes({0x99, 36, 100, 24, 38, 100, 24, 36, 0, 0, 38, 0}), 1440},
        // 5/16 at 6 ticks a quarter: a bar is 7.5 ticks, so the song moves by two.
        {"BarOfHalfTicksMovesTwoMeasures",
         test::smf::file({tempo(0, 500000) + meter(0, 5, 4) + sx(0, kGsReset) + note(1, 0x99, 36, 100) + end(6)}, 0, 6),
         {}, 0, {1, 2, 3}, 15, 2, 0, EmbedReport::GsReset, {}, 15},
        // The song's own part set-up at 96 and 120 goes first.
        {"AfterTheSongsOwnSetUp",
         test::smf::file({conductor() + end(), sx(0, kGsReset) + ev(96, kPart2) + sx(24, dataSet({0x40, 0x12, 0x15, 0x00})) +
                                                   note(1800, 0x90, 60, 100) + end()}),
         {}, 1, {140, 160, 180}, 0, 0, 0, EmbedReport::GsReset, {}},
        {"AnEarlierEmbedIsReplaced", earlierEmbed(), {}, 1, {52, 72, 92}, 0, 0, 4, EmbedReport::GsReset, {}},
        {"AnEarlierEmbedIsKept", earlierEmbed(), keeping(), 1, {132, 152, 172}, 0, 0, 4, EmbedReport::GsReset, {}},
        // An escape that sends a byte at 10, an empty SysEx at 40, an escape of nothing at 45.
        {"EscapesAndEmptySysex",
         test::smf::file({conductor() + end(), sx(0, kGsReset) + ev(10, bytes({0xF7, 0x01, 0xFE})) +
                                                   ev(30, bytes({0xF0, 0x00})) + ev(5, bytes({0xF7, 0x00})) +
                                                   note(1875, 0x90, 60, 100) + end()}),
         {}, 1, {60, 80, 100}, 0, 0, 0, EmbedReport::GsReset, {}},
        {"RiffMidi", riff(resetSong()), {}, 1, {52, 72, 92}, 0, 0, 0, EmbedReport::GsReset, "LIST" + bytes({5, 0, 0, 0}) + "INFOx"},
        {"ResetAddedWhenAsked",
         test::smf::file({conductor() + note(1920, 0x99, 36, 100) + note(240, 0x99, 36, 0) + end()}, 0), withReset(), 0,
         {0, 52, 72, 92}, 0, 0, 0, EmbedReport::GsReset, {}},
        {"ResetAskedOfASongThatHasOne", resetSong(), withReset(), 1, {52, 72, 92}, 0, 0, 0, EmbedReport::GsReset, {}},
        // No note at all: the track's end follows the set-up.
        {"NoChannelEvents", test::smf::file({conductor() + sx(0, kGsReset) + end()}, 0), {}, 0, {52, 72, 92}, 0, 0, 0,
         EmbedReport::GsReset, {}},
        {"ConductorTrackWhenNoTrackHasSysex",
         test::smf::file({conductor() + end(), name(0, "Bass") + note(960, 0x91, 40, 90) + note(10, 0x81, 40, 0) + end()}),
         {}, 0, {0, 20, 40}, 0, 0, 0, EmbedReport::None, {}},
        // No margin: each message as soon as the one before has left the cable (3.52 and 7.04 ms).
        {"NoGapButTheWireTime", resetSong(), gap(0), 1, {52, 56, 63}, 0, 0, 0, EmbedReport::GsReset, {}},
        {"UnknownChunkKept", test::smf::file({conductor() + end()}) + "XFKM" + bytes({0, 0, 0, 3}) + "abc", {}, 0,
         {0, 20, 40}, 0, 0, 0, EmbedReport::None, "XFKM" + bytes({0, 0, 0, 3}) + "abc"},
        // A note at the reset's own tick: the song moves a bar; the tempo change at 1920 with it,
        // the names and signatures at 0 stay, a marker at 0 moves with the music.
        {"MovesWithATempoChangeAndAMarker",
         test::smf::file({conductor() + tempo(1920, 400000) + end(),
                          sx(0, kGsReset) + note(0, 0x99, 36, 100) + note(120, 0x99, 36, 0) + end(),
                          name(0, "Drums") + meta(0, 0x06, "Intro") + note(0, 0x99, 38, 100) + end(60)}),
         {}, 1, {52, 72, 92}, 1920, 1, 0, EmbedReport::GsReset, {}, 1920,
         {{bytes({0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80}), 3840},
          {bytes({0xFF, 0x58, 0x04, 4, 2, 0x18, 0x08}), 0},
          {bytes({0xFF, 0x03, 0x05}) + "Drums", 0},
          {bytes({0xFF, 0x06, 0x05}) + "Intro", 1920},
          {bytes({0x99, 38, 100}), 1920}}},
        {"FirstTrackWithSysexIsTheThird",
         test::smf::file({conductor() + end(), name(0, "Bass") + note(1920, 0x91, 40, 90) + end(),
                          name(0, "Setup") + sx(0, kGsReset) + end()}),
         {}, 2, {52, 72, 92}, 0, 0, 0, EmbedReport::GsReset, {}},
    };
}

std::vector<AnyEvent> flat(const std::vector<std::vector<AnyEvent>>& tracks) {
    std::vector<AnyEvent> all;
    for (const auto& t : tracks) all.insert(all.end(), t.begin(), t.end());
    return all;
}

// The song's inner SMF, unwrapped from RIFF.
std::string smfOf(const std::string& file) {
    if (!isRmid(file)) return file;
    const RmidFile r = readRmid(file);
    return file.substr(r.dataOffset, r.dataLength);
}

// Milliseconds at a tick through the file's own tempo map, in long double: the tests' own
// arithmetic, not the program's.
struct Clock {
    int division;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> tempos;  // tick, microseconds a quarter
    explicit Clock(const std::string& smf) : division(static_cast<std::uint8_t>(smf[12]) << 8 | static_cast<std::uint8_t>(smf[13])) {
        for (const AnyEvent& e : flat(test::smf::readAll(smf)))
            if (e.bytes.size() >= 6 && e.bytes.compare(0, 3, "\xFF\x51\x03") == 0)
                tempos.emplace_back(e.time, std::uint32_t(std::uint8_t(e.bytes[3])) << 16 |
                                                std::uint32_t(std::uint8_t(e.bytes[4])) << 8 | std::uint8_t(e.bytes[5]));
        std::stable_sort(tempos.begin(), tempos.end(), [](auto& a, auto& b) { return a.first < b.first; });
    }
    long double ms(std::uint64_t tick) const {
        long double t = 0;
        std::uint64_t at = 0;
        std::uint32_t us = 500000;
        for (const auto& [when, value] : tempos) {
            if (when >= tick) break;
            t += static_cast<long double>(when - at) * us / division;
            at = when;
            us = value;
        }
        return (t + static_cast<long double>(tick - at) * us / division) / 1000;
    }
};

// The messages the set-up must carry: the switch-on transfer less its program changes.
std::vector<std::string> expectedMessages(const Kit& kit, bool reset) {
    std::vector<std::string> m;
    if (reset) m.emplace_back(kGsReset.begin(), kGsReset.end());
    for (const MidiBytes& b : test::switchOnMessages(kit))
        if (b[0] == 0xF0) m.emplace_back(b.begin(), b.end());
    return m;
}

std::string wire(const AnyEvent& e) {
    // F0, its length, the rest: what goes on the line is F0 and the rest.
    size_t at = 1;
    while (static_cast<std::uint8_t>(e.bytes[at]) & 0x80) ++at;
    return "\xF0" + e.bytes.substr(at + 1);
}

// What is the same of every row whatever the kit: the set-up is exactly the transfer's SysEx in
// order, in the track the row names; every event of the song is still there in its order and
// content, at its tick or later by exactly the ticks reported (channel events always by them),
// tempo and time signatures at 0 stay at 0; each message comes as soon as the gap (never less
// than its wire time) and a reset's 50 ms allow, and not a tick sooner; the song's next event
// comes no sooner than that after the last.
void checkEmbed(const SongRow& row, const Kit& kit, const EmbedReport& r, const std::string& out,
                std::vector<std::uint64_t>* added) {
    const std::string in = smfOf(row.song), got = smfOf(out);
    const auto before = test::smf::readAll(in);
    const auto after = test::smf::readAll(got);
    ASSERT_EQ(after.size(), before.size());
    const std::vector<std::string> messages = expectedMessages(kit, r.resetAdded);
    ASSERT_EQ(r.messages, static_cast<int>(messages.size()));
    const Clock clock(got);
    std::vector<std::uint64_t> ticks;
    for (size_t t = 0; t < before.size(); ++t) {
        std::vector<AnyEvent> theirs = before[t];
        std::vector<AnyEvent> rest;
        // Ours from the end: a kept earlier set-up may hold the same messages before them.
        size_t left = static_cast<int>(t) == row.track ? messages.size() : 0;
        for (auto e = after[t].rbegin(); e != after[t].rend(); ++e) {
            if (left && e->bytes[0] == '\xF0' && wire(*e) == messages[left - 1]) {
                ticks.insert(ticks.begin(), e->time);
                --left;
            } else {
                rest.insert(rest.begin(), *e);
            }
        }
        ASSERT_EQ(left, 0u) << "set-up incomplete in track " << t;
        // Taken out: what the row says the song carried, unless kept.
        if (!row.options.keepUserDrum)
            theirs.erase(std::remove_if(theirs.begin(), theirs.end(),
                                        [](const AnyEvent& e) {
                                            return e.bytes[0] == '\xF0' && e.bytes.size() > 6 &&
                                                   (e.bytes.compare(2, 5, "\x41\x10\x42\x12\x21") == 0 ||
                                                    e.bytes.compare(2, 8, "\x41\x10\x42\x12\x40\x1A\x15\x02") == 0);
                                        }),
                         theirs.end());
        ASSERT_EQ(rest.size(), theirs.size()) << "track " << t;
        for (size_t i = 0; i < rest.size(); ++i) {
            const AnyEvent &was = theirs[i], &now = rest[i];
            EXPECT_EQ(now.bytes, was.bytes) << "track " << t << " event " << i;
            const bool trackEnd = was.bytes.compare(0, 2, "\xFF\x2F") == 0;
            if (trackEnd && static_cast<int>(t) == row.track && now.time == ticks.back()) continue;
            EXPECT_TRUE(now.time == was.time || now.time == was.time + r.movedTicks) << "track " << t << " event " << i;
            const bool channel = static_cast<std::uint8_t>(was.bytes[0]) < 0xF0;
            if (channel) {
                EXPECT_EQ(now.time, was.time + r.movedTicks) << "track " << t << " event " << i;
            }
            if (was.time == 0 && (was.bytes.compare(0, 2, "\xFF\x51") == 0 || was.bytes.compare(0, 2, "\xFF\x58") == 0)) {
                EXPECT_EQ(now.time, 0u);
            }
        }
    }
    ASSERT_EQ(ticks.size(), messages.size());
    EXPECT_EQ(r.first.tick, ticks[r.resetAdded ? 1 : 0]);
    EXPECT_EQ(r.last.tick, ticks.back());

    const long double gapMs = row.options.gapMs;
    auto spacing = [&](size_t bytes) { return std::max<long double>(gapMs, bytes * 0.32L); };
    constexpr long double kSlack = 1e-9L;
    for (size_t i = 1; i < ticks.size(); ++i) {
        const long double need =
            i == 1 && r.resetAdded ? std::max<long double>(gapMs, 50 + 11 * 0.32L) : spacing(messages[i - 1].size());
        EXPECT_GE(clock.ms(ticks[i]) - clock.ms(ticks[i - 1]), need - kSlack) << "message " << i;
        EXPECT_LT(clock.ms(ticks[i] - 1) - clock.ms(ticks[i - 1]), need) << "message " << i << " could be a tick sooner";
    }
    if (r.reset != EmbedReport::None) {
        EXPECT_GE(r.resetGapMs, 50 + 0.32 * 6);
    }
    // The song's first event after the set-up.
    std::uint64_t firstSong = UINT64_MAX;
    for (size_t t = 0; t < before.size(); ++t)
        for (const AnyEvent& e : before[t])
            if (static_cast<std::uint8_t>(e.bytes[0]) < 0xF0) firstSong = std::min<std::uint64_t>(firstSong, e.time);
    EXPECT_EQ(r.movedTicks % row.step, 0u);
    if (firstSong != UINT64_MAX) {
        const std::uint64_t at = firstSong + r.movedTicks;
        EXPECT_GE(clock.ms(at) - clock.ms(ticks.back()), spacing(messages.back().size()) - kSlack);
        if (r.movedTicks) {
            EXPECT_LT(clock.ms(at - row.step) - clock.ms(ticks.back()), spacing(messages.back().size()))
                << "moved a measure more than needed";
        }
        EXPECT_NEAR(r.gapToSongMs, static_cast<double>(clock.ms(at) - clock.ms(ticks.back())), 1e-6);
    }
    EXPECT_NEAR(r.smallestGapMs, static_cast<double>([&] {
                    long double m = 1e30L;
                    for (size_t i = (r.resetAdded ? 2 : 1); i < ticks.size(); ++i)
                        m = std::min(m, clock.ms(ticks[i]) - clock.ms(ticks[i - 1]));
                    return m;
                }()),
                1e-6);
    if (added) *added = ticks;
}

class EmbedSong : public ::testing::TestWithParam<SongRow> {};

TEST_P(EmbedSong, PutsTheSetUpAtTheExactTicksAndKeepsTheSong) {
    const SongRow& row = GetParam();
    Kit kit;
    kit.reset();
    EmbedReport r;
    const std::string out = EmbedKit(row.song, kit, row.options, &r);
    std::vector<std::uint64_t> ticks;
    ASSERT_NO_FATAL_FAILURE(checkEmbed(row, kit, r, out, &ticks));
    EXPECT_EQ(ticks, row.ticks);
    EXPECT_EQ(r.track, row.track);
    EXPECT_EQ(r.movedTicks, row.moved);
    EXPECT_EQ(r.movedMeasures, row.movedMeasures);
    EXPECT_EQ(r.userDrumFound, row.userDrum);
    EXPECT_EQ(r.reset, row.reset);
    EXPECT_EQ(r.rmid, isRmid(row.song));
    EXPECT_EQ(isRmid(out), isRmid(row.song));
    const auto events = flat(test::smf::readAll(smfOf(out)));
    for (const auto& place : row.placed)
        EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                                [&](const AnyEvent& e) { return e.bytes == place.first && e.time == place.second; }))
            << "not at " << place.second;
    if (!row.verbatim.empty()) {
        EXPECT_NE(out.find(row.verbatim), std::string::npos) << "lost: bytes as they stood";
    }
}

// The same songs with a kit of table instruments (75 messages): every row's checks hold, the
// written song imports as exactly that kit, and the song moved no more whole measures than it
// must.
TEST_P(EmbedSong, AKitOfSeventyFiveMessagesComesBackWholeThroughTheImport) {
    const SongRow& row = GetParam();
    const Kit kit = test::tableKit(test::shippedTables(), 3, 7);
    EmbedReport r;
    const std::string out = EmbedKit(row.song, kit, row.options, &r);
    ASSERT_NO_FATAL_FAILURE(checkEmbed(row, kit, r, out, nullptr));
    Kit back;
    const ImportSummary s = ImportKit(out, back, &test::shippedTables());
    EXPECT_EQ(s.kind, ImportSummary::StandardMidiFile);
    EXPECT_TRUE(s.damage.empty()) << s.damage;
    // What a song kept of its own comes along, and is not the kit.
    if (row.options.keepUserDrum) return;
    EXPECT_EQ(expectedMessages(back, false), expectedMessages(kit, false));
    for (int set = 1; set <= kSetCount; ++set)
        for (int n = 0; n < kNoteCount; ++n)
            if (kit.entry(set, n).used) {
                EXPECT_EQ(back.entry(set, n).name, kit.entry(set, n).name) << set << " " << n;
            }
}

INSTANTIATE_TEST_SUITE_P(Songs, EmbedSong, ::testing::ValuesIn(songRows()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kf
