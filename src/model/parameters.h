// The two numberings of a note's parameters and the texts the panel shows.
#pragma once

#include <string>

#include "model/kit.h"

namespace kf {

// The module's per-note parameters; the number is the low nibble of the DT1 address.
enum DeviceParameter : int {
    kPlayNote = 1,
    kLevel = 2,
    kAssignGroup = 3,
    kPan = 4,
    kReverb = 5,
    kChorus = 6,
    kRxNoteOff = 7,
    kRxNoteOn = 8,
    kDelay = 9,
    kSourceMap = 10,
    kSourceProgram = 11,
    kSourceNote = 12,
};
constexpr int kDeviceParameterCount = 12;

// The nine slider rows of the parameter panel (the tag of their controls).
enum PanelParameter : int {
    kRowPlayNote = 1,
    kRowLevel = 2,
    kRowPan = 3,
    kRowReverb = 4,
    kRowEffect = 5,
    kRowAssign = 6,
    kRowMap = 7,
    kRowProgram = 8,
    kRowNote = 9,
};
constexpr int kPanelParameterCount = 9;

// Everything the program knows of one device parameter, in one row.
struct DeviceParameterInfo {
    int number;                          // the low nibble of its DT1 address, 1..12
    std::uint8_t DrumNoteEntry::*field;  // the entry field it reads and writes
    int effectType;                      // the send counts only under this effect type; -1: not a send
    bool onOff;                          // any nonzero byte is on, and the module is sent 1
    int panelRow;                        // the slider row that edits it, 0 for none
    int min, max;
    int blank;    // in an empty note
    int module;   // the module's own at power-on: where the panel starts and the synth begins
    int missing;  // when a kit file or table line leaves it out; kTheNoteItself: the note's number
};
constexpr int kTheNoteItself = -1;

// The row of device parameter 1..12.
const DeviceParameterInfo& deviceParameterInfo(int number);

// The byte the module holds for that parameter; 0 for a number outside 1..12.
int parameterValue(const DrumNoteEntry& e, int deviceParameter);
int parameterValue(const Kit& kit, int set, int note, int deviceParameter);

// Stores what the module holds for parameter 1..12 (not the two sends, whose field is shared)
// into the entry.
void setParameterValue(DrumNoteEntry& e, int deviceParameter, std::uint8_t value);

// The device parameter a panel row edits, given the entry's effect type.
int deviceParameterOfRow(int row, int effectType);

// The entry field a panel row edits.
std::uint8_t& fieldOfRow(DrumNoteEntry& e, int row);
inline std::uint8_t fieldOfRow(const DrumNoteEntry& e, int row) { return fieldOfRow(const_cast<DrumNoteEntry&>(e), row); }

// Display text of a panel value (clamped first), as UTF-8 for the user interface.
std::string parameterText(int row, int value);

}  // namespace kf
