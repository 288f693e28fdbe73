// A song that carries its kit: the switch-on transfer's SysEx put into the opening of an
// existing Standard MIDI File (format 0 or 1, or its RIFF form), timed by the song's own tempo
// map so that a sequencer playing the song loads the user drum sets before the first note.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files/smf_reader.h"
#include "model/kit.h"

namespace kf {

struct EmbedOptions {
    // From one message's start to the next one's; never less than the message's own time on
    // a cable.
    int gapMs = 20;
    // A GS reset at the start of a song that has none (a song's own reset is always kept).
    bool addReset = false;
    // Keeps the user drum set messages the song carries instead of taking them out.
    bool keepUserDrum = false;
};
constexpr int kMaxEmbedGapMs = 1000;

// Where one moment of the song falls: its tick, its measure (from 1) and its time.
struct SongPlace {
    std::uint64_t tick = 0;
    std::uint64_t measure = 1;
    double ms = 0;
};

struct EmbedReport {
    bool rmid = false;
    int format = 0;
    int tracks = 0;
    int division = 0;
    int track = 0;     // the track (from 0) the set-up went into
    int messages = 0;  // added, the reset included
    bool resetAdded = false;
    // The message that reinitialises the module which the set-up follows, and where it is.
    enum Reset { None, GsReset, GmSystemOn, Gm2SystemOn, SystemMode, AllPartsMap };
    Reset reset = None;
    SongPlace resetAt;
    SongPlace first, last;         // the set-up's first and last message
    std::uint64_t movedTicks = 0;  // how much later the song now plays, in ticks and measures
    std::uint64_t movedMeasures = 0;
    double movedMs = 0;
    long userDrumFound = 0;  // user drum set messages the song carried
    bool userDrumKept = false;
    double seconds = 0;  // from the first message until the song may go on
    // The gaps as the song's tempo map times them, start to start: after the reset (from its
    // start), the smallest between two added messages, and from the last one to the song's
    // next message (negative when none follows).
    double resetGapMs = -1;
    double smallestGapMs = -1;
    double gapToSongMs = -1;
};

// The song with the kit's set-up in it, in the form it came in (RMID stays RMID). Throws
// SmfError, naming the byte, for a song it cannot take; nothing is half done.
std::string EmbedKit(std::string_view song, const Kit& kit, const EmbedOptions& options, EmbedReport* report);

// "GS reset", "GM system on" and so on.
const char* resetName(EmbedReport::Reset reset);

// The report as lines of English for the command line.
std::vector<std::string> describeEmbed(const EmbedReport& r);

}  // namespace kf
