#include "midi/cycle_placer.h"

#include <algorithm>
#include <cmath>

#include "midi/send_queue.h"

namespace kf {

void CyclePlacer::beginCycle(std::uint32_t cycleStart, std::uint32_t nframes) {
    cycleStart_ = cycleStart;
    nframes_ = static_cast<long>(nframes);
    offset_ = 0;
}

long CyclePlacer::offsetFor(std::size_t, bool paced, std::uint32_t due) const {
    long at = offset_;
    if (paced) {
        at = std::max(at, lineFree_);
        const long dueOffset = static_cast<std::int32_t>(due - cycleStart_);
        at = std::max(at, dueOffset);
    }
    return at < nframes_ ? at : -1;
}

void CyclePlacer::placed(long offset, std::size_t size, bool paced) {
    offset_ = offset;
    const double wire = static_cast<double>(size) * static_cast<double>(kWireTimePerByte.count()) * framesPerUs_;
    lineFree_ = paced ? offset + static_cast<long>(std::ceil(wire)) : std::max(lineFree_, offset);
}

void CyclePlacer::endCycle() { lineFree_ = std::max(0L, lineFree_ - nframes_); }

}  // namespace kf
