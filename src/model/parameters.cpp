#include "model/parameters.h"

#include <cassert>
#include <cstdio>

namespace kf {

namespace {
// The twelve device parameters of a user drum note.
const DeviceParameterInfo kParameters[kDeviceParameterCount] = {
    // number          field                          type onOff row           min max blank module missing
    {kPlayNote, &DrumNoteEntry::playNote, -1, false, kRowPlayNote, 0, 127, 60, 60, 60},
    {kLevel, &DrumNoteEntry::level, -1, false, kRowLevel, 0, 127, 127, 127, 127},
    {kAssignGroup, &DrumNoteEntry::assignGroup, -1, false, kRowAssign, 0, 127, 0, 0, 0},
    {kPan, &DrumNoteEntry::pan, -1, false, kRowPan, 0, 127, 0, 64, 64},
    {kReverb, &DrumNoteEntry::reverb, -1, false, kRowReverb, 0, 127, 127, 127, 127},
    {kChorus, &DrumNoteEntry::effectSend, 0, false, kRowEffect, 0, 127, 0, 0, 0},
    {kRxNoteOff, &DrumNoteEntry::rxNoteOff, -1, true, 0, 0, 1, 0, 0, 0},
    {kRxNoteOn, &DrumNoteEntry::rxNoteOn, -1, true, 0, 0, 1, 0, 1, 1},
    {kDelay, &DrumNoteEntry::effectSend, 1, false, kRowEffect, 0, 127, 0, 0, 0},
    {kSourceMap, &DrumNoteEntry::sourceMap, -1, false, kRowMap, 0, 127, 2, 2, 1},
    {kSourceProgram, &DrumNoteEntry::sourceProgram, -1, false, kRowProgram, 0, 127, 0, 0, 0},
    {kSourceNote, &DrumNoteEntry::sourceNote, -1, false, kRowNote, 0, 127, 0, 0, kTheNoteItself},
};
}  // namespace

const DeviceParameterInfo& deviceParameterInfo(int number) {
    assert(number >= 1 && number <= kDeviceParameterCount);
    return kParameters[number - 1];
}

int parameterValue(const DrumNoteEntry& e, int p) {
    if (p < 1 || p > kDeviceParameterCount) return 0;
    const DeviceParameterInfo& info = kParameters[p - 1];
    const int v = e.*info.field;
    if (info.effectType >= 0) return e.effectType == info.effectType ? v : 0;
    if (info.onOff) return v ? 1 : 0;
    return v;
}

int parameterValue(const Kit& kit, int set, int note, int p) {
    return parameterValue(kit.entry(set, note), p);
}

void setParameterValue(DrumNoteEntry& e, int p, std::uint8_t value) {
    const DeviceParameterInfo& info = deviceParameterInfo(p);
    assert(info.effectType < 0);
    e.*info.field = info.onOff ? (value ? 1 : 0) : value;
}

int deviceParameterOfRow(int row, int effectType) {
    assert(row >= 1 && row <= kPanelParameterCount);
    if (row == kRowEffect) return kChorus + 3 * (effectType ? 1 : 0);
    for (const auto& info : kParameters)
        if (info.panelRow == row) return info.number;
    return 0;
}

std::uint8_t& fieldOfRow(DrumNoteEntry& e, int row) {
    return e.*deviceParameterInfo(deviceParameterOfRow(row, 0)).field;
}

std::string parameterText(int row, int value) {
    const int v = clampMidi(value);
    char buf[16];
    switch (row) {
        case kRowPan:
            if (v == 0) return "Rnd";
            if (v < 64) std::snprintf(buf, sizeof buf, "L%2d", 64 - v);
            else if (v == 64) return "0";
            else std::snprintf(buf, sizeof buf, "R%2d", v - 64);
            return buf;
        case kRowAssign:
            if (v == 0) return "なし";
            break;
        case kRowMap:
            if (v == 1) return "55";
            if (v == 2) return "88";
            if (v == 3) return "Pro";
            std::snprintf(buf, sizeof buf, "#%3d ", v);
            return buf;
        default: break;
    }
    return std::to_string(v);
}

}  // namespace kf
