// A call into a MIDI system that may never return (a stuck server, a driver that hangs): run
// on a thread of its own, waited for no longer than a bound, and left to itself after that.
#pragma once

#include <chrono>
#include <functional>

namespace kf {

// Runs f on a thread of its own; false when it did not finish within bound. f must own
// whatever it touches: it may outlive the caller.
bool runBounded(std::function<void()> f, std::chrono::milliseconds bound);

}  // namespace kf
