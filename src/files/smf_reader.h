// Standard MIDI Files as they are found, read strictly into chunks and events, each event with
// its absolute tick and its bytes as they stand, so that a song can be written back changed only
// where it was meant to change. Also the RIFF form (RMID) Windows keeps MIDI files in.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kf {

// Why a file is refused, and the byte of the file where it showed.
class SmfError : public std::runtime_error {
public:
    SmfError(const std::string& why, std::size_t offset);
    std::size_t offset() const { return offset_; }
    const std::string& why() const { return why_; }

private:
    std::string why_;
    std::size_t offset_;
};

struct SmfEvent {
    std::uint64_t tick = 0;  // absolute
    // The channel status (written or running), F0 or F7 for SysEx, FF for a meta event.
    std::uint8_t status = 0;
    bool running = false;  // written without its status byte
    // What follows the status as it stands: the data bytes of a channel message; the type,
    // length and data of a meta event; the length and data of a SysEx event.
    std::string body;
    std::size_t offset = 0;  // of its delta time in the file
    // Not from the file: the event after it spells its status out, whatever it had.
    bool inserted = false;

    bool isChannel() const { return status >= 0x80 && status < 0xF0; }
    bool isMeta() const { return status == 0xFF; }
    bool isSysex() const { return status == 0xF0 || status == 0xF7; }
    bool isEndOfTrack() const { return isMeta() && !body.empty() && static_cast<std::uint8_t>(body[0]) == 0x2F; }
    std::uint8_t metaType() const { return static_cast<std::uint8_t>(body[0]); }
    // A meta event's or SysEx event's data, after its length.
    std::string_view data() const;
    // The bytes a SysEx event puts on the wire: F0 and its data, or an escape's data alone.
    std::string wireBytes() const;
};

struct SmfChunk {
    std::string type;  // "MTrk", or a chunk of another kind, kept as it is
    std::string raw;   // the whole chunk as found, header included
    std::size_t offset = 0;
    std::vector<SmfEvent> events;  // of an MTrk
};

struct SmfFile {
    std::string header;  // the MThd chunk as found
    int format = 0;
    int division = 0;                 // ticks per quarter note
    std::vector<SmfChunk> chunks;     // after the header, in file order
    std::vector<std::size_t> tracks;  // indexes of the MTrk chunks
};

// Reads bytes that start with "MThd". base is where those bytes start in the file, for the
// offsets the errors give. Refuses, naming the offset: a file cut short, a chunk or an event
// that runs past its end, data after a track's end, a header that does not count the tracks
// there are, a format other than 0 or 1, SMPTE time, a song longer than 2^31 ticks.
SmfFile readSmf(std::string_view bytes, std::size_t base = 0);

// A track's events as bytes, without the chunk header, in the order given: running status
// kept where the event had it and the status before still gives it.
std::string writeTrackEvents(const std::vector<SmfEvent>& events);
// The whole MTrk chunk.
std::string writeTrack(const std::vector<SmfEvent>& events);

// The RIFF form: "RIFF" size "RMID", then chunks, one of them "data" holding the SMF.
struct RmidFile {
    std::vector<std::string> chunks;  // each whole, header and pad byte included
    std::size_t dataChunk = 0;        // the index of "data"
    std::size_t dataOffset = 0;       // where its SMF starts in the file
    std::size_t dataLength = 0;
    std::string trailing;  // bytes after the RIFF's own length, kept
};
bool isRmid(std::string_view bytes);
RmidFile readRmid(std::string_view bytes);
// The same file with smf in its data chunk.
std::string writeRmid(const RmidFile& rmid, std::string_view smf);

}  // namespace kf
