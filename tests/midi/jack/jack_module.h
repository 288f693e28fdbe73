// The fake module on a JACK server: a client of its own with an input port that takes the
// requests and an output port that answers, each answer leaving latency after its request (and
// after its wait in the module's input buffer, where it has one), or when the module's lossy
// line says where it is told to answer late or with noise.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>

#include "fake_module.h"

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace kf::test {

class JackModule {
public:
    JackModule(const std::string& clientName, Kit kit, std::chrono::microseconds latency);
    ~JackModule();
    bool ok() const { return in_ != nullptr && out_ != nullptr; }
    std::string inputName() const;   // where requests go
    std::string outputName() const;  // where answers come from
    // Set before the first request.
    FakeModule& module() { return module_; }
    long requests();
    // The module as it stands, taken under its lock.
    FakeModule snapshot();

private:
    static int process(unsigned nframes, void* self);
    int process(unsigned nframes);

    FakeModule module_;
    std::chrono::microseconds latency_;
    jack_client_t* client_ = nullptr;
    jack_port_t* in_ = nullptr;
    jack_port_t* out_ = nullptr;
    std::mutex m_;  // the module's state, shared with requests()
    struct Pending {
        unsigned long long due;  // frame time
        MidiBytes bytes;
    };
    std::deque<Pending> pending_;
};

}  // namespace kf::test
