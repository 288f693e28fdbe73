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
    long at = std::max(offset_, settled_);
    if (paced) {
        at = std::max(at, lineFree_);
        const long dueOffset = static_cast<std::int32_t>(due - cycleStart_);
        at = std::max(at, dueOffset);
    }
    return at < nframes_ ? at : -1;
}

long CyclePlacer::frames(std::chrono::microseconds t) const {
    return static_cast<long>(std::ceil(static_cast<double>(t.count()) * framesPerUs_));
}

void CyclePlacer::placed(long offset, std::size_t size, bool paced, std::chrono::microseconds settle) {
    offset_ = offset;
    // At the line's speed even when unpaced: a module hears a message only once it is all in.
    const long lastByte = offset + frames(kWireTimePerByte * static_cast<long>(size));
    lineFree_ = paced ? lastByte : std::max(lineFree_, offset);
    if (settle.count() > 0) settled_ = std::max(settled_, lastByte + frames(settle));
}

void CyclePlacer::endCycle() {
    lineFree_ = std::max(0L, lineFree_ - nframes_);
    settled_ = std::max(0L, settled_ - nframes_);
}

}  // namespace kf
