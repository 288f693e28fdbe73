// What MidiOut needs from a transport: list, open, close, send.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kf {

using MidiBytes = std::vector<std::uint8_t>;

class MidiBackend {
public:
    virtual ~MidiBackend() = default;

    // Output ports; the index is the device ID. The order must be stable between calls.
    virtual std::vector<std::string> ports() = 0;

    // id -1 is the program's own virtual output port. On failure, *error may say why.
    virtual bool open(int id, std::string* error) = 0;

    // Lets what is queued go out (bounded), then releases the port.
    virtual void close() = 0;

    // Returns once the transport has taken the whole message. A transport that stays full
    // past its bound drops the message and returns false.
    virtual bool send(const std::uint8_t* data, std::size_t size) = 0;
};

// Records every message; tests and benchmarks inject it in place of a real transport.
class RecordingBackend : public MidiBackend {
public:
    std::vector<std::string> portNames{"Recorder"};
    bool failOpen = false;
    bool refuseSends = false;  // a transport that never takes a message
    std::vector<MidiBytes> sent;
    std::vector<int> opened;  // every successful open, in order
    int closes = 0;

    std::vector<std::string> ports() override { return portNames; }
    bool open(int id, std::string* error) override;
    void close() override { ++closes; }
    bool send(const std::uint8_t* data, std::size_t size) override {
        if (refuseSends) return false;
        sent.emplace_back(data, data + size);
        return true;
    }
};

}  // namespace kf
