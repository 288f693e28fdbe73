// The program's single MIDI output connection. Sends on a closed port are dropped,
// so no caller tests the port before sending.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "midi/midi_backend.h"

namespace kf {

class MidiOut {
public:
    explicit MidiOut(std::unique_ptr<MidiBackend> backend);
    ~MidiOut();

    MidiOut(const MidiOut&) = delete;
    MidiOut& operator=(const MidiOut&) = delete;

    int deviceCount();
    // Empty for an ID that does not exist; -1 is the own virtual port "Kitforge".
    std::string deviceName(int id);

    // True when the port is open on id afterwards. Another ID closes the old port first;
    // the same ID again opens nothing new.
    bool openPort(int id);
    void closePort();
    bool isOpen() const { return open_; }
    // Why the last open failed, when the transport said.
    const std::string& lastOpenError() const { return openError_; }

    // One channel or system message; its length on the wire follows from the status byte.
    void sendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    // A complete F0 .. F7 message; returns when the transport has taken it.
    void sendLong(const MidiBytes& message);

    // Called once per opened port when the transport drops a message it never took.
    void setDropHandler(std::function<void(const std::string&)> handler) { onDrop_ = std::move(handler); }
    // Messages dropped by the transport since start.
    long droppedCount() const { return dropped_; }

    MidiBackend& backend() { return *backend_; }

    static constexpr const char* kVirtualPortName = "Kitforge";

private:
    void send(const std::uint8_t* data, std::size_t size);

    std::unique_ptr<MidiBackend> backend_;
    bool open_ = false;
    int lastId_ = 0;
    std::string openError_;
    std::function<void(const std::string&)> onDrop_;
    bool dropReported_ = false;
    long dropped_ = 0;
};

// Bytes on the wire for a message that starts with this status byte (1 to 3).
int shortMessageLength(std::uint8_t status);

}  // namespace kf
