#include "smf.h"

#include <stdexcept>

namespace kf::test::smf {

std::string bytes(std::initializer_list<int> v) {
    std::string s;
    for (int b : v) s += static_cast<char>(b);
    return s;
}

namespace {

[[noreturn]] void refuse(const std::string& why, size_t at) {
    throw std::runtime_error("not a sound SMF: " + why + " at byte " + std::to_string(at));
}

std::uint8_t byteAt(const std::string& s, size_t at, size_t end) {
    if (at >= end) refuse("an event runs past its track", at);
    return static_cast<std::uint8_t>(s[at]);
}

std::uint32_t readVlq(const std::string& s, size_t& i, size_t end) {
    std::uint32_t v = 0;
    for (int n = 0; n < 4; ++n) {
        const std::uint8_t b = byteAt(s, i++, end);
        v = (v << 7) | (b & 0x7F);
        if (!(b & 0x80)) return v;
    }
    refuse("a number longer than four bytes", i);
}

}  // namespace

std::string vlq(std::uint32_t v) {
    std::string out(1, static_cast<char>(v & 0x7F));
    while (v >>= 7) out.insert(out.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    return out;
}

std::uint32_t be32(const std::string& s, size_t at) {
    std::uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k) v = (v << 8) | static_cast<std::uint8_t>(s.at(at + k));
    return v;
}

std::string file(std::initializer_list<std::string> tracks, std::uint16_t format, std::uint16_t division) {
    std::string f = std::string("MThd\0\0\0\x06\0", 9) + static_cast<char>(format) + '\0' +
                    static_cast<char>(tracks.size()) + static_cast<char>(division >> 8) + static_cast<char>(division & 0xFF);
    for (const std::string& t : tracks) {
        const auto n = static_cast<std::uint32_t>(t.size());
        f += "MTrk";
        for (int shift : {24, 16, 8, 0}) f += static_cast<char>((n >> shift) & 0xFF);
        f += t;
    }
    return f;
}

std::string sysex(const MidiBytes& m) {
    std::string e = std::string("\x00\xF0", 2) + vlq(static_cast<std::uint32_t>(m.size() - 1));
    e.append(reinterpret_cast<const char*>(m.data()) + 1, m.size() - 1);
    return e;
}

std::vector<std::vector<Event>> read(const std::string& smf) {
    if (smf.size() < 14 || smf.compare(0, 4, "MThd") != 0 || be32(smf, 4) != 6) refuse("no header", 0);
    const size_t count = static_cast<std::uint8_t>(smf[10]) << 8 | static_cast<std::uint8_t>(smf[11]);
    std::vector<std::vector<Event>> tracks;
    size_t at = 14;
    while (at < smf.size()) {
        if (smf.size() - at < 8 || smf.compare(at, 4, "MTrk") != 0) refuse("no track chunk", at);
        const size_t end = at + 8 + be32(smf, at + 4);
        if (end > smf.size()) refuse("a chunk runs past the end of the file", at);
        std::vector<Event> events;
        std::uint32_t time = 0;
        for (size_t i = at + 8; i < end;) {
            time += readVlq(smf, i, end);
            Event e{time, byteAt(smf, i, end), 0, {}};
            ++i;
            if (e.status == 0xFF) e.type = byteAt(smf, i++, end);
            else if (e.status != 0xF0 && e.status != 0xF7) refuse("an event the export does not write", i - 1);
            const std::uint32_t n = readVlq(smf, i, end);
            if (n > end - i) refuse("an event runs past its track", i);
            e.data = smf.substr(i, n);
            i += n;
            events.push_back(std::move(e));
        }
        tracks.push_back(std::move(events));
        at = end;
    }
    if (tracks.size() != count) refuse("the header counts " + std::to_string(count) + " tracks", 10);
    return tracks;
}

std::vector<std::vector<AnyEvent>> readAll(const std::string& smf) {
    if (smf.size() < 14 || smf.compare(0, 4, "MThd") != 0 || be32(smf, 4) != 6) refuse("no header", 0);
    const size_t count = static_cast<std::uint8_t>(smf[10]) << 8 | static_cast<std::uint8_t>(smf[11]);
    std::vector<std::vector<AnyEvent>> tracks;
    size_t at = 14;
    while (at < smf.size()) {
        if (smf.size() - at < 8) refuse("no chunk", at);
        const size_t end = at + 8 + be32(smf, at + 4);
        if (end > smf.size()) refuse("a chunk runs past the end of the file", at);
        if (smf.compare(at, 4, "MTrk") != 0) {  // a chunk of another kind, which a player passes over
            at = end;
            continue;
        }
        std::vector<AnyEvent> events;
        std::uint32_t time = 0;
        std::uint8_t running = 0;
        for (size_t i = at + 8; i < end;) {
            time += readVlq(smf, i, end);
            std::uint8_t status = byteAt(smf, i, end);
            if (status >= 0x80) ++i;
            else if (!running) refuse("a data byte with no status before it", i);
            else status = running;
            AnyEvent e{time, std::string(1, static_cast<char>(status))};
            if (status == 0xFF || status == 0xF0 || status == 0xF7) {
                const size_t from = i;
                if (status == 0xFF) byteAt(smf, i++, end);
                const std::uint32_t n = readVlq(smf, i, end);
                if (n > end - i) refuse("an event runs past its track", i);
                i += n;
                e.bytes += smf.substr(from, i - from);
            } else if (status < 0xF0) {
                running = status;
                const size_t n = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
                for (size_t k = 0; k < n; ++k) {
                    const std::uint8_t d = byteAt(smf, i++, end);
                    if (d >= 0x80) refuse("a status byte inside a channel message", i - 1);
                    e.bytes += static_cast<char>(d);
                }
            } else {
                refuse("an event no MIDI file holds", i - 1);
            }
            events.push_back(std::move(e));
        }
        tracks.push_back(std::move(events));
        at = end;
    }
    if (tracks.size() != count) refuse("the header counts " + std::to_string(count) + " tracks", 10);
    return tracks;
}

}  // namespace kf::test::smf
