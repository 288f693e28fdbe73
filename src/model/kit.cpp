#include "model/kit.h"

#include "model/parameters.h"

#include <cassert>
#include <tuple>

namespace kf {

namespace {
auto tie(const DrumInstrument& i) {
    return std::tie(i.used, i.rxNoteOff, i.rxNoteOn, i.name, i.playNote, i.level, i.pan, i.reverb,
                    i.effectSend, i.assignGroup, i.effectType);
}
}  // namespace

bool DrumInstrument::operator==(const DrumInstrument& o) const { return tie(*this) == tie(o); }

bool DrumNoteEntry::operator==(const DrumNoteEntry& o) const {
    return static_cast<const DrumInstrument&>(*this) == o && sourceMap == o.sourceMap &&
           sourceProgram == o.sourceProgram && sourceNote == o.sourceNote;
}

const DrumNoteEntry& blankEntry() {
    static const DrumNoteEntry blank = [] {
        DrumNoteEntry e;
        for (int p = 1; p <= kDeviceParameterCount; ++p) {
            const DeviceParameterInfo& info = deviceParameterInfo(p);
            e.*info.field = static_cast<std::uint8_t>(info.blank);
        }
        return e;
    }();
    return blank;
}

Kit::Kit() : names_{defaultSetName(1), defaultSetName(2)} {}

const char* Kit::defaultSetName(int set) { return set == 1 ? "UserDrum1" : "UserDrum2"; }

DrumNoteEntry& Kit::entry(int set, int note) {
    assert(set >= 1 && set <= kSetCount && note >= 0 && note < kNoteCount);
    return sets_[static_cast<size_t>(set - 1)][static_cast<size_t>(note)];
}

const DrumNoteEntry& Kit::entry(int set, int note) const {
    return const_cast<Kit*>(this)->entry(set, note);
}

const std::string& Kit::setName(int set) const {
    assert(set >= 1 && set <= kSetCount);
    return names_[static_cast<size_t>(set - 1)];
}

void Kit::setSetName(int set, std::string name) {
    assert(set >= 1 && set <= kSetCount);
    names_[static_cast<size_t>(set - 1)] = std::move(name);
}

void Kit::reset() {
    for (auto& set : sets_) set.fill(blankEntry());
    names_ = {defaultSetName(1), defaultSetName(2)};
}

bool Kit::anyUsed(int set) const {
    for (int n = 0; n < kNoteCount; ++n)
        if (entry(set, n).used) return true;
    return false;
}

}  // namespace kf
