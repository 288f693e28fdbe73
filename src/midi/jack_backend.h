// MIDI output on a running JACK server that loses nothing it can avoid: sends wait while
// the ring buffer is full, the process callback moves no more into a cycle than the port
// takes, places paced messages at their due frames and holds any message while the module
// settles after a reset it really placed, and whatever never left is counted.
// Calls that wait on the server are bounded, so a server that stops answering cannot hang us.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "midi/jack_client.h"

namespace kf {

class JackBackend : public MidiBackend {
public:
    // Never starts a server. sendTimeout bounds how long one message may wait for room, and
    // how long the server may go without a cycle before it counts as stalled.
    explicit JackBackend(std::string clientName = "Kitforge",
                         std::chrono::milliseconds sendTimeout = std::chrono::milliseconds(1000));
    ~JackBackend() override;

    // True when a server answers.
    bool available() override;

    // MIDI input ports of other clients, sorted by full name.
    std::vector<std::string> ports() override;
    // -1 registers our output port "Kitforge" and leaves it for the user to connect.
    bool open(int id, MidiError* error) override;
    std::size_t close() override;
    bool send(const std::uint8_t* data, std::size_t size) override;
    std::chrono::microseconds lead() const override;
    bool sendAt(const std::uint8_t* data, std::size_t size, std::chrono::microseconds fromNow) override;
    MidiError sendError() const override { return sendError_; }
    MidiError serverError() const override { return client_.serverError(); }
    void release() override;

    struct Shared;

private:
    Shared* shared() const;
    bool put(const std::uint8_t* data, std::size_t size, bool paced, std::chrono::microseconds fromNow);
    bool fail(MidiError::Kind kind, const char* text);

    std::chrono::milliseconds sendTimeout_;
    JackClient client_;
    std::vector<std::uint8_t> frame_;
    MidiError sendError_;
};

}  // namespace kf
