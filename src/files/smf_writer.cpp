#include <cstdio>

#include "files/exports.h"
#include "gs/sysex.h"
#include "midi/midi_bytes.h"

namespace kf {

namespace {

void putVlq(std::string& out, std::uint32_t v) {
    char bytes[5];
    int n = 0;
    bytes[n++] = static_cast<char>(v & 0x7F);
    while (v >>= 7) bytes[n++] = static_cast<char>(0x80 | (v & 0x7F));
    while (n) out.push_back(bytes[--n]);
}

void putBigEndian32(std::string& out, size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
}

// Lengths of 128 bytes or more take a full variable-length quantity, so long names stay valid.
void putMeta(std::string& out, std::uint32_t delta, std::uint8_t type, std::string_view data) {
    putVlq(out, delta);
    out.push_back(static_cast<char>(midi::kMetaEvent));
    out.push_back(static_cast<char>(type));
    putVlq(out, static_cast<std::uint32_t>(data.size()));
    out.append(data);
}

void putSysEx(std::string& out, std::uint32_t delta, const MidiBytes& message) {
    putVlq(out, delta);
    out.push_back(static_cast<char>(midi::kSysEx));
    putVlq(out, static_cast<std::uint32_t>(message.size() - 1));
    out.append(message.begin() + 1, message.end());
}

class Track {
public:
    explicit Track(std::string& out) : out_(out), lengthAt_(out.size() + 4) { out_ += std::string("MTrk\0\0\0\0", 8); }
    void finish() {
        putBigEndian32(out_, lengthAt_, static_cast<std::uint32_t>(out_.size() - lengthAt_ - 4));
    }

private:
    std::string& out_;
    size_t lengthAt_;
};

// Track 2's timing: a pending delta written before the next event, and the elapsed ticks.
struct Timing {
    std::uint32_t pending = 0;
    std::uint32_t elapsed = 0;
    std::uint32_t take() {
        const std::uint32_t d = pending;
        elapsed += d;
        return d;
    }
};

}  // namespace

std::string WriteMidiFile(const Kit& kit, bool comment, std::string_view path) {
    std::string out("MThd\0\0\0\x06\0\x01\0\x02\0\x30", 14);

    Track conductor(out);
    out.append("\x00\xFF\x51\x03\x07\xA1\x20", 7);
    out.append("\x00\xFF\x58\x04\x04\x02\x18\x08", 8);
    out.append("\x00\xFF\x59\x02\x00\x00", 6);
    const std::string& name1 = kit.setName(1);
    putMeta(out, 0, midi::kMetaTrackName, !name1.empty() ? std::string_view(name1) : path.substr(0, path.size() < 4 ? 0 : path.size() - 4));
    out.append("\x00\xFF\x2F\x00", 4);
    conductor.finish();

    Track exclusive(out);
    putMeta(out, 0, midi::kMetaTrackName, "UserDrum Exclusive");
    Timing t;
    char text[64];
    for (int set = 1; set <= kSetCount; ++set) {
        if (!kit.anyUsed(set)) continue;
        if (comment) {
            std::snprintf(text, sizeof text, "<<%d:%-12s>>", set, kit.setName(set).c_str());
            putMeta(out, t.take(), midi::kMetaText, text);
            t.pending = 0;
        }
        putSysEx(out, t.take(), buildNameMessage(kit, set));
        t.pending += 12;
        for (int note = 0; note < kNoteCount; ++note) {
            const DrumNoteEntry& e = kit.entry(set, note);
            if (!e.used) continue;
            if (comment) {
                putMeta(out, t.take(), midi::kMetaText, e.name);
                t.pending = 0;
            }
            for (int p : exportedParameters(e)) {
                putSysEx(out, t.take(), buildParameterMessage(kit, set, note, p));
                // A note of eleven messages still takes twelve ticks.
                t.pending = (t.elapsed % 12 == 10 && p == 12) ? 2 : 1;
            }
        }
    }
    putVlq(out, 48 - t.elapsed % 48);
    out.append("\xFF\x2F\x00", 3);
    exclusive.finish();
    return out;
}

}  // namespace kf
