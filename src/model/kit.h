// The Kit: the two user drum sets being edited, and the note entry record.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kf {

constexpr int kSetCount = 2;
constexpr int kNoteCount = 128;

// Clamps any integer to the 0..127 range of a MIDI data byte.
constexpr int clampMidi(long long v) { return v < 0 ? 0 : (v > 127 ? 127 : static_cast<int>(v)); }

// The part of a note that an instrument of the reference tables carries;
// entering an instrument copies it over a note as one unit.
struct DrumInstrument {
    std::uint8_t used = 0;
    std::uint8_t rxNoteOff = 0;  // any nonzero byte means on
    std::uint8_t rxNoteOn = 0;   // any nonzero byte means on
    std::string name;            // Shift-JIS bytes
    std::uint8_t playNote = 0;
    std::uint8_t level = 0;
    std::uint8_t pan = 0;
    std::uint8_t reverb = 0;
    std::uint8_t effectSend = 0;
    std::uint8_t assignGroup = 0;
    std::uint8_t effectType = 0;  // 0 chorus, 1 delay

    bool operator==(const DrumInstrument& o) const;
    bool operator!=(const DrumInstrument& o) const { return !(*this == o); }
};

struct DrumNoteEntry : DrumInstrument {
    std::uint8_t sourceMap = 0;
    std::uint8_t sourceProgram = 0;
    std::uint8_t sourceNote = 0;

    bool operator==(const DrumNoteEntry& o) const;
    bool operator!=(const DrumNoteEntry& o) const { return !(*this == o); }

    // Copies an instrument over fields 1..11, leaving the source fields alone.
    void assignInstrument(const DrumInstrument& inst) { static_cast<DrumInstrument&>(*this) = inst; }
};

// Template of an empty note: each device parameter at its blank value (parameters.h).
const DrumNoteEntry& blankEntry();

class Kit {
public:
    // A new Kit has every field zero and the default names; Reset() gives blank entries.
    Kit();

    // set 1..2, note 0..127; out-of-range arguments are a programming error.
    DrumNoteEntry& entry(int set, int note);
    const DrumNoteEntry& entry(int set, int note) const;

    const std::string& setName(int set) const;
    void setSetName(int set, std::string name);

    void reset();

    bool anyUsed(int set) const;

    static const char* defaultSetName(int set);

private:
    std::array<std::array<DrumNoteEntry, kNoteCount>, kSetCount> sets_{};
    std::array<std::string, kSetCount> names_;
};

}  // namespace kf
