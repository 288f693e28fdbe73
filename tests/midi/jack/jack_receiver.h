// A JACK client of the tests' own that records every MIDI event it receives, from its
// process callback into memory allocated up front.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace kf::test {

class JackReceiver {
public:
    // On the default server, or on serverName.
    JackReceiver(const std::string& clientName, size_t maxEvents, size_t maxBytes, const std::string& serverName = {});
    ~JackReceiver();
    bool ok() const { return port_ != nullptr; }
    std::string portName() const;
    bool connectFrom(const std::string& source);

    // Waits until no event has arrived for quietMs (or totalMs passed).
    void waitQuiet(int quietMs, int totalMs) const;
    std::vector<std::vector<std::uint8_t>> events() const;
    // The frame time at which each event arrived: its cycle's start plus its offset. A
    // callback that runs late can read the next cycle's start from jack_last_frame_time, so a
    // cycle's start is bounded by the start of the cycle after it less one period.
    std::vector<std::uint32_t> frames() const;
    // Cycles whose jack_last_frame_time was not the one before plus a period.
    int irregularCycles() const;
    unsigned sampleRate() const;
    // The steady clock's time (ns since its epoch) of the cycle each event arrived in.
    std::vector<long long> arrivals() const;
    size_t eventCount() const { return count_.load(); }
    int xruns() const { return xruns_.load(); }
    bool overflowed() const { return overflow_.load(); }

private:
    static int process(unsigned nframes, void* self);
    static int xrun(void* self);

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::pair<size_t, size_t>> index_;
    std::vector<std::uint32_t> offsets_;
    std::vector<std::uint32_t> cycleOf_;  // each event's cycle
    std::vector<std::uint32_t> cycleStart_, cycleFrames_;
    std::atomic<size_t> cycles_{0};
    std::vector<long long> arrivals_;
    std::atomic<size_t> count_{0};
    size_t used_ = 0;
    std::atomic<int> xruns_{0};
    std::atomic<bool> overflow_{false};
};

}  // namespace kf::test
