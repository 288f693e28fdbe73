// Reading both user drum sets back from the module: GS data requests (RQ1) out, the module's
// DT1 answers in. The module answers nothing to a request it does not take, so every request
// has a deadline; a few wait for their answers at a time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "midi/midi_backend.h"
#include "model/kit.h"

namespace kf {

class MidiIn;
class MidiOut;
struct ReferenceTables;

// F0 41 dev 42 11 a1 a2 a3 s1 s2 s3 sum F7; address and size as 7-bit byte triples.
MidiBytes gsDataRequest(unsigned address, unsigned size, std::uint8_t deviceId);

// One read of the user drum area: a note's device parameter 1..12, or (parameter 0) a set's name.
struct UserDrumRead {
    int set = 1;
    int parameter = 0;
    int note = 0;
};

// Requests awaiting an answer at once: 12 are 156 bytes, which an input buffer of 256 bytes (the
// tests' module has one so small) holds with room to spare while the module works through them at
// its own pace, however slow; many more would be lost there before it looks. Fewer leave the
// line idle while late answers come.
constexpr int kFetchWindow = 12;

struct FetchSettings {
    std::uint8_t deviceId = 0x10;
    bool oneByOne = false;  // for a module that takes one request at a time
    int window = kFetchWindow;
    // The first wait for an answer; once answers flow it is taken from their round trips,
    // never longer than this and never under half of it.
    std::chrono::milliseconds timeout{200};
};

// A note some of whose parameters never came: it is left out of the kit rather than filled in.
struct IncompleteNote {
    int set = 1;
    int note = 0;
    std::vector<int> missing;  // device parameters 1..12; the source alone while it is unknown
};

struct FetchSummary {
    int notes[kSetCount] = {0, 0};  // used notes per set
    int names = 0;                  // set names answered
    int unanswered = 0;             // requests that never got an answer
    long ignored = 0;               // answers of another model, device, address or a bad sum
    long otherDevice = 0;           // of those: another device or model
    long otherAddress = 0;          //           nothing asked there, or asked and answered already
    long badChecksum = 0;           //           a sum that does not add up
    std::vector<IncompleteNote> incomplete;  // by set, then note
    bool complete() const { return incomplete.empty() && names == kSetCount; }
};

class KitFetch {
public:
    using Clock = std::chrono::steady_clock;
    enum class State { Running, Done, NoAnswer, StoppedAnswering, Cancelled };
    static constexpr int kWindow = kFetchWindow;
    // A request is asked this often, each time waiting longer, before the module counts as
    // having stopped answering. One missing while later ones are answered is lost on the way
    // and asked again beside the others; one missing with nothing after it answered either
    // is asked alone until answers flow again.
    static constexpr int kTries = 5;

    // Set names and each note's source first; the other parameters only of notes whose
    // source instrument the tables know (tables may be null: none is known).
    explicit KitFetch(const ReferenceTables* tables, FetchSettings settings = {});
    // Exactly these reads and nothing that follows from the answers: what a compare needs.
    explicit KitFetch(const std::vector<UserDrumRead>& reads, FetchSettings settings = {});

    // The requests to send now, and the deadlines that have passed.
    std::vector<MidiBytes> take(Clock::time_point now);
    void received(const MidiBytes& message);
    // The same, at when it arrived: its round trip then shortens the wait for lost answers.
    void received(const MidiBytes& message, Clock::time_point at);
    void cancel() { state_ = State::Cancelled; }
    // When take() next has something to do.
    Clock::time_point nextDeadline(Clock::time_point now) const;

    State state() const { return state_; }
    int done() const { return done_; }
    int planned() const { return planned_; }
    // What has been fetched: the notes whose source the tables know and all of whose
    // parameters came, with the names that came whole. The others are named in the summary.
    Kit result(FetchSummary* summary = nullptr) const;
    // What the module answered for one parameter, or for a whole set name (12 bytes, as sent).
    std::optional<std::uint8_t> answered(int set, int note, int parameter) const;
    std::optional<std::string> answeredName(int set) const;

private:
    struct Request {
        unsigned address;
        unsigned size;
        int tries = 0;
        Clock::time_point deadline{};
        Clock::time_point sent{};  // when it went on the line, last asked
        long order = 0;            // when it was last asked, counted in requests
    };
    void plan(unsigned address, unsigned size);
    // Marks the request holding address; false for none.
    bool answer(unsigned address, std::optional<Clock::time_point> at);
    void received(const MidiBytes& message, std::optional<Clock::time_point> when);
    std::size_t base() const;
    static constexpr int kTrustedTrips = 16;
    Clock::duration wait() const;  // for an answer to a first try
    void store(unsigned address, std::uint8_t value);
    const DrumInstrument* known(int set, int note) const;

    const ReferenceTables* tables_;
    FetchSettings settings_;
    std::deque<Request> waiting_;
    std::vector<Request> out_;
    State state_ = State::Running;
    int done_ = 0, planned_ = 0, asked_ = 0;
    std::size_t window_ = kWindow;
    bool anyAnswer_ = false;
    long sentCount_ = 0, lastAnswered_ = -1;  // the order of the last request answered
    Clock::duration slowest_{};               // the longest round trip of a first try
    int trips_ = 0;                           // round trips seen
    long otherDevice_ = 0, otherAddress_ = 0, badChecksum_ = 0;
    // What arrived: per set, per note, device parameters 1..12; and the names.
    std::uint8_t value_[kSetCount][kNoteCount][13] = {};
    bool have_[kSetCount][kNoteCount][13] = {};
    char name_[kSetCount][12] = {};
    bool nameHave_[kSetCount][12] = {};
    bool planned2_[kSetCount][kNoteCount] = {};
};

// Runs a fetch to its end: sends the requests through out (paced as everything else), takes
// the answers listen hands in from any thread, and returns the state it ended in. listen gets
// the function that takes the answers at the start, and an empty one at the end. cancel may be
// set from any thread; progress(done, planned) follows every step.
using Listen = std::function<void(std::function<void(const MidiBytes&)>)>;
KitFetch::State runFetch(KitFetch& fetch, MidiOut& out, const Listen& listen, const std::atomic<bool>& cancel,
                         const std::function<void(int done, int planned)>& progress = {});
// The same, listening to the whole of in.
KitFetch::State runFetch(KitFetch& fetch, MidiOut& out, MidiIn& in, const std::atomic<bool>& cancel,
                         const std::function<void(int done, int planned)>& progress = {});

}  // namespace kf
