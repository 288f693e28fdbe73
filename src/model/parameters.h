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

// The byte the module holds for that parameter; 0 for a number outside 1..12.
int parameterValue(const DrumNoteEntry& e, int deviceParameter);
int parameterValue(const Kit& kit, int set, int note, int deviceParameter);

// The device parameter a panel row edits, given the entry's effect type.
int deviceParameterOfRow(int row, int effectType);

// The entry field a panel row edits.
std::uint8_t& fieldOfRow(DrumNoteEntry& e, int row);

// Display text of a panel value (clamped first), as UTF-8 for the user interface.
std::string parameterText(int row, int value);

}  // namespace kf
