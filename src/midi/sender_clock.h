// The time the sender paces by. Tests inject a clock of their own so that a schedule
// can be checked without sleeping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace kf {

class SenderClock {
public:
    using time_point = std::chrono::steady_clock::time_point;
    virtual ~SenderClock() = default;
    virtual time_point now() = 0;
    // Waits on cv, whose mutex lock holds, until t or until cv is notified.
    virtual void waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, time_point t) = 0;

    // A test's clock may stand still: nothing leaves while it does, so a batch queued meanwhile
    // is merged as a whole before its first message goes. Whoever waits on the queue (a flush,
    // a close) lets it go until the clock stops again. The sender hands in wake, to be called
    // whenever stopped() changes, and an empty function when it ends.
    virtual bool stopped() const { return false; }
    virtual void onStopChange(std::function<void()> /*wake*/) {}
};

class SteadySenderClock : public SenderClock {
public:
    time_point now() override { return std::chrono::steady_clock::now(); }
    void waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, time_point t) override {
        cv.wait_until(lock, t);
    }
};

}  // namespace kf
