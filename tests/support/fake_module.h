// A module for tests: holds two user drum sets and answers GS data requests (RQ1) of the user
// drum area with the exact DT1 the module sends, or, as told, with nothing, with every k-th
// answer left out, or with a wrong checksum. Lossy, it also loses every n-th request, answers
// late and puts on the line around its answers what a crowded cable carries. Requests can wait
// in an input buffer of a few bytes, lost when it is full. It takes the DT1 messages of the
// user drum area into what it holds, unless they come too fast for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "midi/midi_backend.h"
#include "model/kit.h"

namespace kf::test {

class FakeModule {
public:
    explicit FakeModule(const Kit& kit);
    bool silent = false;
    long silentAfter = -1;   // answers this many requests, then no more
    int dropEvery = 0;       // 0: none left out; a request asked again is answered
    int dropTimes = 1;       // how often in all a request left out is left out when asked again
    bool badChecksum = false;
    int neverParameter = 0;  // a note parameter (1..12) whose requests it never answers
    std::uint8_t deviceId = 0x10;

    // The lossy line of replies(): every loseOneIn-th request, asked again or not, is lost;
    // answers come between lateMin and lateMax after the request; noise puts active sensing,
    // another device's DT1, a copy with a bad sum and a DT1 of another address around them.
    int loseOneIn = 0;
    std::chrono::milliseconds lateMin{0}, lateMax{0};
    bool noise = false;

    // Whether DT1 messages of the user drum area are taken into what it holds; else it holds
    // the kit it was made with whatever comes.
    bool takesDataSets = false;
    // As a busy module's input buffer: a DT1 is taken only when the last one taken ended at
    // least this long before it began; the rest are lost, as on the module.
    std::chrono::microseconds busyAfterDt1{0};

    // As a module's input buffer: requests come in at the cable's pace and wait there, this many
    // bytes at most, until the module has worked through the ones before them, each taking it
    // workPerRequest; a request that does not fit is lost. 0: it keeps up with anything.
    std::size_t inputBytes = 0;
    std::chrono::microseconds workPerRequest{0};

    // The answer to a message, if it gets one; a DT1 is taken (or lost) instead. at: when the
    // message began on the line; queued: how long it waited in the input buffer and was worked on.
    std::optional<MidiBytes> answer(const MidiBytes& request, std::chrono::microseconds at = {},
                                    std::chrono::microseconds* queued = nullptr);
    struct Reply {
        std::chrono::milliseconds after;  // from the request
        MidiBytes bytes;
    };
    // Everything the module puts on the line after a message, lossy as told.
    std::vector<Reply> replies(const MidiBytes& request, std::chrono::microseconds at = {});

    long requests() const { return requests_; }
    long dropped() const { return static_cast<long>(dropped_.size()); }  // requests left out
    long lost() const { return lost_; }                                   // times they were
    long overflowed() const { return overflowed_; }  // of those: for want of room in the buffer
    long dt1Taken() const { return dt1Taken_; }
    long dt1Lost() const { return dt1Lost_; }
    // What it holds: a note's device parameter 1..12, a set's name as 12 bytes.
    std::uint8_t held(int set, int note, int parameter) const { return memory_[set - 1][note][parameter]; }
    std::string heldName(int set) const;
    // Changes what it holds, as a module edited from its panel would.
    void hold(int set, int note, int parameter, std::uint8_t value) { memory_[set - 1][note][parameter] = value; }
    void holdName(int set, const std::string& name);  // padded with blanks to 12

private:
    void take(const MidiBytes& dt1, std::chrono::microseconds at);

    std::uint8_t memory_[kSetCount][kNoteCount][13] = {};
    std::uint8_t names_[kSetCount][12] = {};
    long requests_ = 0, lost_ = 0, overflowed_ = 0, dt1Taken_ = 0, dt1Lost_ = 0;
    struct Buffered {
        std::chrono::microseconds done;  // worked through: it leaves the buffer
        std::size_t bytes;
    };
    std::deque<Buffered> buffer_;
    std::optional<std::chrono::microseconds> lastEnd_;  // of the last DT1 taken
    unsigned noiseTurn_ = 0;
    std::map<MidiBytes, int> dropped_;
};

// Hands replies on at their time from a thread of its own, as a cable into an input would.
class LateLine {
public:
    explicit LateLine(std::function<void(const MidiBytes&)> deliver);
    ~LateLine();
    void post(const std::vector<FakeModule::Reply>& replies);

private:
    using Clock = std::chrono::steady_clock;
    std::function<void(const MidiBytes&)> deliver_;
    std::mutex m_;
    std::condition_variable cv_;
    std::multimap<Clock::time_point, MidiBytes> due_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace kf::test
