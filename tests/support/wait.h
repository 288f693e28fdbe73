// Waiting on another thread or process: for a condition, never for a fixed time; the bound
// only ends a hang.
#pragma once

#include <chrono>
#include <thread>

namespace kf::test {

// Long enough for anything on a loaded machine: what is still waited for then is hung.
constexpr std::chrono::seconds kHang{60};

// True once done() holds; false when bound passed first.
template <class Done>
bool waitUntil(Done done, std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Until count() has not changed for quiet (or bound passed): the end of a stream that
// nowhere says it ended.
template <class Count>
void waitQuiet(Count count, std::chrono::milliseconds quiet, std::chrono::milliseconds bound) {
    auto last = count();
    auto since = std::chrono::steady_clock::now();
    waitUntil(
        [&] {
            const auto now = count();
            if (now != last) last = now, since = std::chrono::steady_clock::now();
            return std::chrono::steady_clock::now() - since > quiet;
        },
        bound);
}

}  // namespace kf::test
