// MIDI input from a running JACK server: our own input port "Kitforge", left for the user to
// connect, or connected from an output port of another client. The process callback only
// copies events into a ring; a thread of the backend's own hands them on.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "midi/jack_client.h"
#include "midi/midi_in.h"

namespace kf {

class JackInput : public MidiInBackend {
public:
    // Never starts a server. The ports of outputClient (our own output's client) are not
    // listed: they would only loop back, and their coming and going would move the IDs.
    explicit JackInput(std::string clientName = "Kitforge-in", std::string outputClient = "Kitforge");
    ~JackInput() override;

    bool available() override;
    // MIDI output ports of other clients, sorted by full name.
    std::vector<std::string> ports() override;
    bool open(int id, const Bytes& bytes, MidiError* error) override;
    void close() override;
    void onFailure(Failed failed) override { failed_ = std::move(failed); }
    MidiError serverError() const override { return client_.serverError(); }
    void release() override {
        close();
        client_.drop();
    }

    // Events the ring had no room for.
    unsigned long long overflowCount() const;

    struct Shared;

private:
    Shared* shared() const;

    JackClient client_;
    Failed failed_;
};

}  // namespace kf
