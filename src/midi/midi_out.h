// The program's single MIDI output connection. Sends go onto one ordered queue and return
// at once; a sender thread of its own hands them to the transport, paced to the speed of a
// MIDI cable. Sends on a closed port are dropped, so no caller tests the port before sending.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "midi/midi_backend.h"
#include "midi/send_queue.h"
#include "midi/sender_clock.h"

namespace kf {

// Where a transfer stands: messages handed to the transport since the queue was last empty,
// messages still queued, and the time they will take.
struct SendProgress {
    std::size_t sent = 0;
    std::size_t queued = 0;
    std::chrono::microseconds left{0};
    bool idle() const { return queued == 0 && left.count() == 0; }
};

class MidiOut {
public:
    explicit MidiOut(std::unique_ptr<MidiBackend> backend,
                     std::shared_ptr<SenderClock> clock = std::make_shared<SteadySenderClock>());
    ~MidiOut();

    MidiOut(const MidiOut&) = delete;
    MidiOut& operator=(const MidiOut&) = delete;

    int deviceCount();
    // Empty for an ID that does not exist; -1 is the own virtual port "Kitforge", -2 the
    // built-in synth where the transport has one.
    std::string deviceName(int id);

    // True when the port is open on id afterwards. Another ID closes the old port first;
    // the same ID again opens nothing new.
    bool openPort(int id);
    // Lets the queue drain (bounded by its own wire time plus a second; what is left then is
    // dropped and reported), then releases the port.
    void closePort();
    bool isOpen() const { return open_; }
    // Why the last open failed.
    const MidiError& lastOpenError() const { return openError_; }

    // One channel or system message; its length on the wire follows from the status byte.
    void sendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    // A complete F0 .. F7 message.
    void sendLong(const MidiBytes& message);

    // Holds the queue: nothing leaves until it is released (or the port closes), so a batch
    // queued meanwhile is merged as a whole before its first message goes.
    void setHeld(bool held);

    void setPacing(const Pacing& pacing);
    Pacing pacing() const;

    SendProgress progress() const;
    // Drops what is still queued, then sends ALL SOUND OFF on the rhythm channel.
    void cancel();
    // Waits until everything queued has been handed to the transport; false after the bound.
    bool flush(std::chrono::milliseconds bound = std::chrono::seconds(30));

    // Called once per opened port when messages are lost, with the name of that port. It may
    // run on the sender thread.
    void setDropHandler(std::function<void(const std::string&)> handler);
    // Called, on any thread, when the progress changed; again only after progress() was read.
    void setObserver(std::function<void()> observer);
    // Messages lost since start: refused by the transport, or left when a close ran out of time.
    long droppedCount() const { return dropped_.load(); }
    // Messages dropped by cancel() since start.
    long cancelledCount() const { return cancelled_.load(); }

    MidiBackend& backend() { return *backend_; }

    static constexpr const char* kVirtualPortName = "Kitforge";
    static constexpr int kBuiltInSynth = -2;
    static constexpr const char* kBuiltInSynthName = "内蔵音源 (FluidSynth)";

private:
    void enqueue(MidiBytes message);
    void run();
    // With m_ held: whether this loss is the first on the open port.
    bool countLostLocked(std::size_t n);
    void reportDrop();
    void notifyObserver();
    std::chrono::microseconds leftLocked() const;

    std::unique_ptr<MidiBackend> backend_;
    std::shared_ptr<SenderClock> clock_;
    bool open_ = false;
    int lastId_ = 0;
    MidiError openError_;

    mutable std::mutex m_;
    std::condition_variable cv_;
    SendQueue queue_;
    Pacing pacing_;
    SenderClock::time_point nextFree_{};
    bool inFlight_ = false;
    bool held_ = false;
    bool stop_ = false;
    std::size_t transferSent_ = 0;
    std::chrono::microseconds slowSend_{0};  // how long the transport itself takes a message
    std::string portName_;
    bool dropReported_ = false;
    std::function<void(const std::string&)> onDrop_;
    std::function<void()> observer_;
    mutable std::atomic<bool> observerArmed_{true};
    std::atomic<long> dropped_{0};
    std::atomic<long> cancelled_{0};
    std::thread sender_;
};

// Bytes on the wire for a message that starts with this status byte (1 to 3).
int shortMessageLength(std::uint8_t status);

}  // namespace kf
