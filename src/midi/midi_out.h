// The program's single MIDI output connection. Sends go onto one ordered queue and return
// at once; a sender thread of its own hands them to the transport, paced to the speed of a
// MIDI cable. Sends on a closed port are dropped, so no caller tests the port before sending.
// The sender thread is the only one that ever touches the transport: listing, opening and
// closing run there too, between two messages, so a transport never changes under a send.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
    // the same ID again opens nothing new. first goes out ahead of anything sent after the
    // open, from whatever thread.
    bool openPort(int id, const std::vector<MidiBytes>& first = {});
    // Messages sent from now until the next open has answered wait for it instead of being
    // dropped: they follow that open's first messages, or count as lost when it fails. For a
    // caller that opens with later() and goes on sending meanwhile.
    void expectOpen();
    // Lets the queue drain for as long as the transport keeps taking messages, then releases
    // the port. A transport that takes nothing for its stall bound refuses the message, and
    // the rest is dropped and reported; a sender stuck past kStuck gives up all the same.
    void closePort();
    bool isOpen() const;
    // Why the last open failed.
    MidiError lastOpenError() const;
    // Why the transport gave its MIDI server up for not answering; None while it answers.
    MidiError serverError();
    // closePort(), then lets the transport's MIDI system go altogether: a program's last
    // step, after which serverError() also tells of what did not answer while letting go.
    void release();
    // Runs f with the transport on the sender thread and returns once it has run.
    void configure(const std::function<void(MidiBackend&)>& f);
    // Runs job on the sender thread before the next message, without waiting for it. The
    // calls above made inside it run there at once: a caller that must not wait on the
    // transport (the window at start) opens the port this way.
    void later(std::function<void()> job);

    // One channel or system message; its length on the wire follows from the status byte.
    void sendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    // A complete F0 .. F7 message.
    void sendLong(const MidiBytes& message);

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
    long droppedCount() const;
    // Why messages were last lost: the transport's word for the one it did not take, or how
    // the rest came to be dropped. None while nothing was.
    MidiError lastDropError() const;
    // Messages dropped by cancel() since start.
    long cancelledCount() const;

    // How long the transports let one message wait before they count as stopped.
    static constexpr std::chrono::milliseconds kStall{1000};
    // Past every transport's own bound: nothing moved for this long is a stuck sender.
    static constexpr std::chrono::milliseconds kStuck{10 * kStall};
    static constexpr const char* kVirtualPortName = "Kitforge";
    static constexpr int kBuiltInSynth = -2;
    static constexpr const char* kBuiltInSynthName = "内蔵音源 (FluidSynth)";

private:
    class Impl;
    std::unique_ptr<Impl> d_;
};

// Bytes on the wire for a message that starts with this status byte (1 to 3).
int shortMessageLength(std::uint8_t status);

}  // namespace kf
