#include <cstdio>

#include "files/exports.h"
#include "gs/sysex.h"
#include "midi/midi_bytes.h"
#include "model/parameters.h"
#include "model/sjis.h"

namespace kf {

namespace {

constexpr int kMeasure = 192;

// The sequencer's own event codes.
constexpr int kComment = 0xF6;           // two text bytes, the first of a comment
constexpr int kCommentMore = 0xF7;       // two more text bytes
constexpr int kMeasureEnd = 0xFD;
constexpr int kRolandBase = 0xDF;        // device ID and model ID of the events below
constexpr int kRolandAddress = 0xDD;     // the first two address bytes
constexpr int kRolandData = 0xDE;        // the last address byte and the data: one DT1
constexpr int kRestNote = 0x3C;          // a note of no velocity holds the time it steps

struct PrtBuilder {
    std::string out{"RCPPR\x01\0\0", 8};
    int ticks = 0;

    void event(int a, int b, int c, int d) {
        for (int v : {a, b, c, d}) out.push_back(static_cast<char>(v & 0xFF));
    }
    // Comments are always 20 bytes: a start event and nine continuations of two bytes each.
    void comment(const std::string& text20) {
        for (int i = 0; i < 10; ++i)
            event(i == 0 ? kComment : kCommentMore, 0, static_cast<unsigned char>(text20[static_cast<size_t>(2 * i)]),
                  static_cast<unsigned char>(text20[static_cast<size_t>(2 * i + 1)]));
    }
    void measureEndOnBoundary() {
        if (ticks % kMeasure == 0) event(kMeasureEnd, 0, 0, 0);
    }
};

std::string padded(std::string s, size_t width) {
    s.resize(width, ' ');
    return s;
}

}  // namespace

std::string WritePrtFile(const Kit& kit, bool comment) {
    PrtBuilder b;
    char text[64];
    for (int set = 1; set <= kSetCount; ++set) {
        if (!kit.anyUsed(set)) continue;
        const int base = (set - 1) * 16;
        if (comment) {
            std::snprintf(text, sizeof text, "<<UD%d:%-12s>>", set, kit.setName(set).c_str());
            b.comment(padded(sjis::cut(text, 20), 20));
        }
        b.event(kRolandBase, 0, midi::kDefaultDeviceId, midi::kGsModelId);
        b.event(kRolandAddress, 0, midi::kUserDrumArea, base);
        const std::string name = padded(kit.setName(set).substr(0, 12), 12);
        for (int k = 0; k < 12; ++k) b.event(kRolandData, 1, k, static_cast<unsigned char>(name[static_cast<size_t>(k)]));
        b.ticks += 12;
        b.measureEndOnBoundary();
        for (int note = 0; note < kNoteCount; ++note) {
            const DrumNoteEntry& e = kit.entry(set, note);
            if (!e.used) continue;
            if (comment) b.comment(padded(sjis::cut(sjis::trim(e.name), 20), 20));
            for (int p : exportedParameters(e)) {
                const int step = (p == 12 && b.ticks % 12 == 10) ? 2 : 1;
                b.event(kRolandAddress, 0, midi::kUserDrumArea, base + p);
                b.event(kRolandData, step, note, parameterValue(e, p));
                b.ticks += step;
            }
            b.measureEndOnBoundary();
        }
    }
    if (const int r = b.ticks % kMeasure) {
        b.event(kRestNote, kMeasure - r, 0, 0);
        b.event(kMeasureEnd, 0, 0, 0);
    }
    const size_t count = b.out.size() - 8;
    b.out[6] = static_cast<char>(count & 0xFF);
    b.out[7] = static_cast<char>((count >> 8) & 0xFF);
    return b.out;
}

}  // namespace kf
