#include "model/parameters.h"

#include <cassert>
#include <cstdio>

namespace kf {

int parameterValue(const DrumNoteEntry& e, int p) {
    switch (p) {
        case kPlayNote: return e.playNote;
        case kLevel: return e.level;
        case kAssignGroup: return e.assignGroup;
        case kPan: return e.pan;
        case kReverb: return e.reverb;
        case kChorus: return e.effectType == 0 ? e.effectSend : 0;
        case kRxNoteOff: return e.rxNoteOff ? 1 : 0;
        case kRxNoteOn: return e.rxNoteOn ? 1 : 0;
        case kDelay: return e.effectType == 1 ? e.effectSend : 0;
        case kSourceMap: return e.sourceMap;
        case kSourceProgram: return e.sourceProgram;
        case kSourceNote: return e.sourceNote;
        default: return 0;
    }
}

int parameterValue(const Kit& kit, int set, int note, int p) {
    return parameterValue(kit.entry(set, note), p);
}

int deviceParameterOfRow(int row, int effectType) {
    static const int map[] = {0, kPlayNote, kLevel, kPan, kReverb, kChorus, kAssignGroup,
                              kSourceMap, kSourceProgram, kSourceNote};
    assert(row >= 1 && row <= kPanelParameterCount);
    if (row == kRowEffect) return kChorus + 3 * (effectType ? 1 : 0);
    return map[row];
}

std::uint8_t& fieldOfRow(DrumNoteEntry& e, int row) {
    switch (row) {
        case kRowPlayNote: return e.playNote;
        case kRowLevel: return e.level;
        case kRowPan: return e.pan;
        case kRowReverb: return e.reverb;
        case kRowEffect: return e.effectSend;
        case kRowAssign: return e.assignGroup;
        case kRowMap: return e.sourceMap;
        case kRowProgram: return e.sourceProgram;
        default: assert(row == kRowNote); return e.sourceNote;
    }
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
