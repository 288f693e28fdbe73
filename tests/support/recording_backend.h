// A transport for tests and benchmarks: records every message, and on request refuses,
// slows or holds them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <thread>
#include <memory>
#include <mutex>

#include "midi/midi_backend.h"
#include "midi/sender_clock.h"

namespace kf {

class RecordingBackend : public MidiBackend {
public:
    std::vector<std::string> portNames{"Recorder"};
    bool failOpen = false;
    bool builtInSynth = false;  // offers device -2
    MidiError::Kind failKind = MidiError::NoSuchPort;
    std::atomic<bool> refuseSends{false};  // a transport that never takes a message
    std::chrono::milliseconds delay{0};    // how long each send takes
    std::chrono::milliseconds openDelay{0};  // how long an open takes, as a real transport's does
    std::size_t lostOnClose = 0;           // what close() says never left
    // When set, sentAt holds the clock's time of each message.
    std::shared_ptr<SenderClock> clock;

    // Read these after MidiOut::flush() or closePort().
    std::vector<MidiBytes> sent;
    std::vector<SenderClock::time_point> sentAt;
    std::vector<std::chrono::microseconds> sentFromNow;  // what sendAt was told
    std::vector<int> opened;  // every successful open, in order
    int closes = 0;
    // Runs before send number index (0-based): a transport that is slow now and then.
    std::function<void(std::size_t index)> beforeSend;
    // Runs with each message taken: what a device on the other end hears.
    std::function<void(const MidiBytes&)> afterSend;
    // How many times MidiOut tried to send, taken or not.
    std::size_t sendAttempts() {
        std::lock_guard<std::mutex> lock(m_);
        return calls_;
    }
    // The thread of every call MidiOut made.
    std::vector<std::thread::id> callers() {
        std::lock_guard<std::mutex> lock(m_);
        return callers_;
    }

    // The send of message number index (0-based, counting every send) waits until releaseHeld().
    void holdAt(std::size_t index);

    // Waits until a send is held; false after the bound.
    bool waitHeld(std::chrono::milliseconds bound = std::chrono::seconds(30));
    void releaseHeld();

    std::chrono::microseconds leadTime{0};  // a transport with a timeline of its own

    std::vector<std::string> ports() override {
        noteCaller();
        return portNames;
    }
    bool hasBuiltInSynth() const override { return builtInSynth; }
    bool open(int id, MidiError* error) override;
    std::size_t close() override {
        noteCaller();
        ++closes;
        return lostOnClose;
    }
    bool send(const std::uint8_t* data, std::size_t size) override;
    std::chrono::microseconds lead() const override { return leadTime; }
    bool sendAt(const std::uint8_t* data, std::size_t size, std::chrono::microseconds fromNow) override;

private:
    void noteCaller() {
        std::lock_guard<std::mutex> lock(m_);
        callers_.push_back(std::this_thread::get_id());
    }
    std::vector<std::thread::id> callers_;
    std::mutex m_;
    std::condition_variable cv_;
    std::size_t calls_ = 0;
    std::size_t holdAt_ = static_cast<std::size_t>(-1);
    bool held_ = false;
};

// A clock whose waits end at once with the time moved on: a schedule runs at full speed.
class JumpClock : public SenderClock {
public:
    time_point now() override { return time_point(std::chrono::nanoseconds(now_.load())); }
    void waitUntil(std::condition_variable&, std::unique_lock<std::mutex>&, time_point t) override {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
        long long cur = now_.load();
        while (cur < ns && !now_.compare_exchange_weak(cur, ns)) {
        }
    }
    void advance(std::chrono::microseconds d) { now_ += std::chrono::duration_cast<std::chrono::nanoseconds>(d).count(); }

    // Stands still: the queue holds what it is given until the clock runs again or someone
    // waits on the queue.
    void stop(bool on) {
        std::function<void()> wake;
        {
            std::lock_guard<std::mutex> lock(m_);
            stopped_ = on;
            wake = wake_;
        }
        if (wake) wake();
    }
    bool stopped() const override {
        std::lock_guard<std::mutex> lock(m_);
        return stopped_;
    }
    void onStopChange(std::function<void()> wake) override {
        std::lock_guard<std::mutex> lock(m_);
        wake_ = std::move(wake);
    }

private:
    std::atomic<long long> now_{1'000'000'000};
    mutable std::mutex m_;
    bool stopped_ = false;
    std::function<void()> wake_;
};

}  // namespace kf
