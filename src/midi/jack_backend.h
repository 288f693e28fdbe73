// MIDI output on a running JACK server that loses nothing: sends wait while the ring
// buffer is full, and the process callback moves no more into a cycle than the port takes.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "midi/midi_backend.h"

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;
#include <jack/ringbuffer.h>

namespace kf {

class JackBackend : public MidiBackend {
public:
    // Never starts a server. sendTimeout bounds how long one message may wait for room.
    explicit JackBackend(std::string clientName = "Kitforge",
                         std::chrono::milliseconds sendTimeout = std::chrono::milliseconds(1000));
    ~JackBackend() override;

    // True when a server answers.
    bool available();

    // MIDI input ports of other clients, sorted by full name.
    std::vector<std::string> ports() override;
    // -1 registers our output port "Kitforge" and leaves it for the user to connect.
    bool open(int id, std::string* error) override;
    bool openTarget(const std::string& target, std::string* error);
    void close() override;
    bool send(const std::uint8_t* data, std::size_t size) override;

private:
    bool connectClient(std::string* error);
    void dropClient();
    static int process(unsigned nframes, void* self);
    static void shutdown(void* self);
    int process(unsigned nframes);

    std::string clientName_;
    std::chrono::milliseconds sendTimeout_;
    jack_client_t* client_ = nullptr;
    std::atomic<jack_port_t*> port_{nullptr};
    jack_ringbuffer_t* ring_ = nullptr;
    std::atomic<bool> serverGone_{false};
    std::atomic<unsigned long long> cycles_{0};
    std::vector<std::uint8_t> frame_;
};

}  // namespace kf
