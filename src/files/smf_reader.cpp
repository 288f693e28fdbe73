#include "files/smf_reader.h"

#include <algorithm>

#include "midi/midi_bytes.h"

namespace kf {

namespace {

// Ticks beyond this are refused: they keep the time arithmetic of a song far from overflow,
// and no song comes near (2^31 ticks are over two million quarter notes at 960 a quarter).
constexpr std::uint64_t kMaxTick = std::uint64_t(1) << 31;
// What a variable-length quantity of four bytes holds.
constexpr std::uint64_t kMaxQuantity = 0x0FFFFFFF;

std::uint32_t be32(std::string_view b, std::size_t at) {
    return (std::uint32_t(std::uint8_t(b[at])) << 24) | (std::uint32_t(std::uint8_t(b[at + 1])) << 16) |
           (std::uint32_t(std::uint8_t(b[at + 2])) << 8) | std::uint8_t(b[at + 3]);
}
unsigned be16(std::string_view b, std::size_t at) {
    return (unsigned(std::uint8_t(b[at])) << 8) | std::uint8_t(b[at + 1]);
}
std::uint32_t le32(std::string_view b, std::size_t at) {
    return std::uint8_t(b[at]) | (std::uint32_t(std::uint8_t(b[at + 1])) << 8) |
           (std::uint32_t(std::uint8_t(b[at + 2])) << 16) | (std::uint32_t(std::uint8_t(b[at + 3])) << 24);
}
void putLe32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void putBe32(std::string& out, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void putVlq(std::string& out, std::uint64_t v) {
    char bytes[5];
    int n = 0;
    bytes[n++] = static_cast<char>(v & 0x7F);
    while (v >>= 7) bytes[n++] = static_cast<char>(0x80 | (v & 0x7F));
    while (n) out.push_back(bytes[--n]);
}

// A quantity of at most four bytes from b at *at, which moves past it; false when it runs past
// end or goes on beyond four bytes.
bool quantity(std::string_view b, std::size_t* at, std::size_t end, std::uint32_t* v) {
    *v = 0;
    for (int i = 0; i < 4; ++i) {
        if (*at >= end) return false;
        const std::uint8_t c = static_cast<std::uint8_t>(b[(*at)++]);
        *v = (*v << 7) | (c & 0x7F);
        if (!(c & 0x80)) return true;
    }
    return false;
}

bool printableType(std::string_view type) {
    return std::all_of(type.begin(), type.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

std::string hexByte(std::uint8_t b) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string{digits[b >> 4], digits[b & 15]};
}

// One MTrk chunk's events. begin and end bound its data in bytes; base is added to offsets.
std::vector<SmfEvent> readEvents(std::string_view b, std::size_t begin, std::size_t end, std::size_t base) {
    std::vector<SmfEvent> events;
    std::uint64_t tick = 0;
    std::uint8_t running = 0;
    std::size_t at = begin;
    while (at < end) {
        SmfEvent e;
        e.offset = base + at;
        std::uint32_t delta;
        if (!quantity(b, &at, end, &delta))
            throw SmfError("an event time runs past the end of its track or beyond four bytes", e.offset);
        tick += delta;
        if (tick > kMaxTick) throw SmfError("the song is longer than 2^31 ticks", e.offset);
        e.tick = tick;
        if (at >= end) throw SmfError("a track ends inside an event", e.offset);
        const std::uint8_t first = static_cast<std::uint8_t>(b[at]);
        const std::size_t bodyAt = at + (first >= 0x80 ? 1 : 0);
        std::size_t bodyEnd;
        if (first == midi::kMetaEvent || first == midi::kSysEx || first == midi::kEndOfSysEx) {
            e.status = first;
            std::size_t p = bodyAt;
            if (first == midi::kMetaEvent) {
                if (p >= end) throw SmfError("a meta event runs past the end of its track", e.offset);
                ++p;
            }
            std::uint32_t length;
            if (!quantity(b, &p, end, &length) || length > end - p)
                throw SmfError(std::string(first == midi::kMetaEvent ? "a meta" : "a SysEx") +
                                   " event runs past the end of its track (its length may be wrong)",
                               e.offset);
            bodyEnd = p + length;
        } else if (midi::isChannelStatus(first) || first < 0x80) {
            if (first >= 0x80)
                running = first;
            else if (!running)
                throw SmfError("a data byte with no status before it", e.offset);
            e.status = running;
            e.running = first < 0x80;
            bodyEnd = bodyAt + static_cast<std::size_t>(midi::channelDataBytes(running));
            if (bodyEnd > end) throw SmfError("a track ends inside an event", e.offset);
            for (std::size_t k = bodyAt; k < bodyEnd; ++k)
                if (static_cast<std::uint8_t>(b[k]) >= 0x80)
                    throw SmfError("a status byte inside a channel message", base + k);
        } else {
            throw SmfError("status byte " + hexByte(first) + " is no event a MIDI file holds", base + at);
        }
        e.body.assign(b.data() + bodyAt, bodyEnd - bodyAt);
        at = bodyEnd;
        const bool last = e.isEndOfTrack();
        events.push_back(std::move(e));
        if (last) {
            if (at != end) throw SmfError("data after the end of a track (the track's length may be wrong)", base + at);
            break;
        }
    }
    return events;
}

}  // namespace

SmfError::SmfError(const std::string& why, std::size_t offset)
    : std::runtime_error(why + " (at byte " + std::to_string(offset) + ")"), why_(why), offset_(offset) {}

std::string_view SmfEvent::data() const {
    std::size_t at = isMeta() ? 1 : 0;
    std::uint32_t length = 0;
    quantity(body, &at, body.size(), &length);
    return std::string_view(body).substr(at, length);
}

std::string SmfEvent::wireBytes() const {
    const std::string_view d = data();
    return status == midi::kSysEx ? std::string(1, '\xF0') + std::string(d) : std::string(d);
}

SmfFile readSmf(std::string_view b, std::size_t base) {
    if (b.size() < 8 || b.substr(0, 4) != "MThd") throw SmfError("no MIDI file header (MThd)", base);
    const std::uint32_t headerLength = be32(b, 4);
    if (headerLength < 6) throw SmfError("a MIDI file header of " + std::to_string(headerLength) + " bytes", base + 4);
    if (headerLength > b.size() - 8) throw SmfError("the file is cut short inside its header", base + b.size());
    SmfFile f;
    f.header = std::string(b.substr(0, 8 + headerLength));
    f.format = static_cast<int>(be16(b, 8));
    const unsigned declared = be16(b, 10);
    const unsigned division = be16(b, 12);
    if (f.format > 1)
        throw SmfError("a MIDI file of format " + std::to_string(f.format) + " (only formats 0 and 1 hold one song)",
                       base + 8);
    if (division & 0x8000)
        throw SmfError(
            "the song counts time in SMPTE frames, not in ticks per quarter note; save it with "
            "ticks per quarter note first",
            base + 12);
    if (division == 0) throw SmfError("a division of 0 ticks per quarter note", base + 12);
    if (f.format == 0 && declared != 1)
        throw SmfError("a MIDI file of format 0 with " + std::to_string(declared) + " tracks", base + 10);
    f.division = static_cast<int>(division);

    std::size_t at = 8 + headerLength;
    while (at < b.size()) {
        if (b.size() - at < 8) throw SmfError("the file ends inside a chunk header (it may be cut short)", base + at);
        const std::string_view type = b.substr(at, 4);
        if (!printableType(type))
            throw SmfError("no chunk starts here (the length of the chunk before may be wrong)", base + at);
        const std::uint32_t length = be32(b, at + 4);
        if (length > b.size() - at - 8)
            throw SmfError("a chunk runs past the end of the file (the file is cut short, or its length is wrong)",
                           base + at);
        SmfChunk c;
        c.type = std::string(type);
        c.offset = base + at;
        c.raw = std::string(b.substr(at, 8 + length));
        if (c.type == "MTrk") {
            c.events = readEvents(b, at + 8, at + 8 + length, base);
            f.tracks.push_back(f.chunks.size());
        }
        f.chunks.push_back(std::move(c));
        at += 8 + length;
    }
    if (f.tracks.size() != declared)
        throw SmfError("the header counts " + std::to_string(declared) + " tracks, the file holds " +
                           std::to_string(f.tracks.size()),
                       base + 10);
    return f;
}

std::string writeTrackEvents(const std::vector<SmfEvent>& events) {
    std::string out;
    std::uint64_t last = 0;
    std::uint8_t running = 0;
    for (const SmfEvent& e : events) {
        if (e.tick < last) throw std::logic_error("track events out of order");
        // What this reader refuses is never written either.
        if (e.tick > kMaxTick) throw SmfError("the song would be longer than 2^31 ticks", e.offset);
        if (e.tick - last > kMaxQuantity)
            throw SmfError("a time between two events beyond what a MIDI file holds", e.offset);
        putVlq(out, e.tick - last);
        last = e.tick;
        if (!e.isChannel() || !e.running || running != e.status) out.push_back(static_cast<char>(e.status));
        if (e.isChannel()) running = e.status;
        if (e.inserted) running = 0;
        out += e.body;
    }
    return out;
}

std::string writeTrack(const std::vector<SmfEvent>& events) {
    const std::string body = writeTrackEvents(events);
    std::string out = "MTrk";
    putBe32(out, static_cast<std::uint32_t>(body.size()));
    return out + body;
}

bool isRmid(std::string_view b) { return b.size() >= 12 && b.substr(0, 4) == "RIFF" && b.substr(8, 4) == "RMID"; }

RmidFile readRmid(std::string_view b) {
    if (!isRmid(b)) throw SmfError("no RIFF MIDI header", 0);
    const std::uint32_t size = le32(b, 4);
    if (size < 4 || size > b.size() - 8) throw SmfError("the RIFF file is cut short (or its length is wrong)", 4);
    const std::size_t end = 8 + static_cast<std::size_t>(size);
    RmidFile r;
    r.trailing = std::string(b.substr(end));
    bool found = false;
    std::size_t at = 12;
    while (at < end) {
        if (end - at < 8) throw SmfError("the RIFF file ends inside a chunk header", at);
        const std::string_view id = b.substr(at, 4);
        if (!printableType(id)) throw SmfError("no RIFF chunk starts here", at);
        const std::uint32_t length = le32(b, at + 4);
        if (length > end - at - 8) throw SmfError("a RIFF chunk runs past the end of the file", at);
        // The pad byte after an odd length; a last chunk may come without it.
        const std::size_t whole = std::min<std::size_t>(8 + length + (length & 1), end - at);
        if (id == "data" && !found) {
            found = true;
            r.dataChunk = r.chunks.size();
            r.dataOffset = at + 8;
            r.dataLength = length;
        }
        r.chunks.emplace_back(b.substr(at, whole));
        at += whole;
    }
    if (!found) throw SmfError("a RIFF MIDI file without a data chunk", 12);
    return r;
}

std::string writeRmid(const RmidFile& rmid, std::string_view smf) {
    std::string body = "RMID";
    for (std::size_t i = 0; i < rmid.chunks.size(); ++i) {
        if (i != rmid.dataChunk) {
            body += rmid.chunks[i];
            continue;
        }
        body += "data";
        putLe32(body, static_cast<std::uint32_t>(smf.size()));
        body += smf;
        if (smf.size() & 1) body.push_back('\0');
    }
    std::string out = "RIFF";
    putLe32(out, static_cast<std::uint32_t>(body.size()));
    return out + body + rmid.trailing;
}

}  // namespace kf
