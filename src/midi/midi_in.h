// MIDI input: a transport hands over bytes as they come, in whatever pieces it has; one
// handler gets complete messages, in order, on a thread of the input's own, so a slow
// handler never holds up the transport. As with the output, one owner thread is the only one
// that touches the transport: listing, opening and closing run there, and a caller that must
// not wait on the transport hands them over with later().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "midi/midi_backend.h"

namespace kf {

// What MidiIn needs from a transport.
class MidiInBackend {
public:
    using Bytes = std::function<void(const std::uint8_t* data, std::size_t size)>;
    virtual ~MidiInBackend() = default;

    // Ports that can be listened to; the index is the ID, stable between calls. -1 is the
    // program's own input port "Kitforge", left for the user to connect.
    virtual std::vector<std::string> ports() = 0;
    // Whether the transport's MIDI system is there at all (a sequencer, a server that answers).
    virtual bool available() { return true; }
    // What device -1 is called; empty where the transport has none (WinMM).
    virtual std::string ownPortName() { return "Kitforge"; }
    // bytes is called on the transport's own thread with raw MIDI bytes, whole messages or
    // pieces of one, until close() returns; it never blocks.
    virtual bool open(int id, const Bytes& bytes, MidiError* error) = 0;
    virtual void close() = 0;
    // failed is called, on any thread, while a port is open and the transport loses its
    // connection (MidiError::lost()) or messages (Overrun). Set once, before any open.
    using Failed = std::function<void(const MidiError& why)>;
    virtual void onFailure(Failed failed) { (void)failed; }
    // Device -2: the answers of a synth of the program's own.
    virtual bool hasBuiltInSynth() const { return false; }
    // As MidiBackend::serverError and release.
    virtual MidiError serverError() const { return {}; }
    virtual void release() { close(); }
};

// An input whose bytes come from inside the program: what the built-in synth answers. The
// synth calls deliver() from its own thread; nothing arrives while the input is closed.
class LoopbackInput : public MidiInBackend {
public:
    std::vector<std::string> ports() override { return {}; }
    bool open(int id, const Bytes& bytes, MidiError* error) override;
    void close() override;
    void deliver(const std::uint8_t* data, std::size_t size);

private:
    std::mutex m_;
    Bytes bytes_;
};

// Joins a byte stream into complete messages: running status applied, SysEx gathered across
// pieces (at most kMaxSysEx bytes, else dropped), realtime bytes (F8..FF) left out wherever
// they fall, stray data bytes and unfinished messages dropped.
class MessageAssembler {
public:
    static constexpr std::size_t kMaxSysEx = 1 << 16;
    void feed(const std::uint8_t* data, std::size_t size, const std::function<void(const MidiBytes&)>& message);

private:
    MidiBytes current_;
    std::uint8_t running_ = 0;
    std::size_t need_ = 0;  // bytes of the channel or system common message in current_
    bool inSysEx_ = false;
    bool oversized_ = false;
};

class MidiIn {
public:
    static constexpr int kBuiltInSynth = -2;

    // At most queueLimit messages wait for the handler; more are dropped and counted.
    explicit MidiIn(std::unique_ptr<MidiInBackend> backend, std::size_t queueLimit = 4096);
    ~MidiIn();
    MidiIn(const MidiIn&) = delete;
    MidiIn& operator=(const MidiIn&) = delete;

    int deviceCount();
    std::string deviceName(int id);  // the transport's own port for -1: "Kitforge", or none
    // True when the port is open on id afterwards.
    bool openPort(int id);
    void closePort();
    // False again once the transport lost the connection: the next open makes a new one.
    bool isOpen() const;
    int port() const;
    MidiError lastOpenError() const;
    // Why the open port last failed: lost, or messages lost; None since the open otherwise.
    MidiError lastError() const;
    // As MidiOut::serverError and release.
    MidiError serverError();
    void release();
    // Runs job on the owner thread, after whatever was handed over before, without waiting for
    // it. The calls above made inside it run there at once.
    void later(std::function<void()> job);
    // Runs job on the owner thread and returns once it has run.
    void run(const std::function<void()>& job);

    // Called on the input's own thread, one message at a time; may be changed at any time.
    void setHandler(std::function<void(const MidiBytes&)> handler);
    // Messages dropped because the handler fell behind.
    long overflowCount() const;

private:
    class Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace kf
