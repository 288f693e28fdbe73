// MIDI output on the ALSA sequencer. Each message is written to the kernel as a direct event;
// one that a receiver cannot take yet is retried, the same event and never a second copy, for
// as long as the stall bound allows. Nothing is left behind for the next device on close.
#pragma once

#include <functional>
#include <memory>

#include "midi/alsa_sequencer.h"

namespace kf {

class AlsaBackend : public MidiBackend {
public:
    using Factory = std::function<std::unique_ptr<AlsaSequencer>()>;
    // stallBound: how long one message may wait for a receiver that takes nothing.
    explicit AlsaBackend(Factory factory = &makeSystemAlsaSequencer,
                         std::chrono::milliseconds stallBound = std::chrono::milliseconds(1000));
    ~AlsaBackend() override;

    // False when there is no sequencer to open.
    bool available();

    // Ports of other clients that take writes and subscriptions, as "client:port" names,
    // in the sequencer's order (client, then port number).
    std::vector<std::string> ports() override;
    // -1: our own readable port "Kitforge", for others to connect; else our port connected
    // to that device.
    bool open(int id, MidiError* error) override;
    std::size_t close() override;
    bool send(const std::uint8_t* data, std::size_t size) override;

private:
    struct Target {
        int client, port;
        std::string name;
    };
    std::vector<Target> targets();
    bool ensureOpen(MidiError* error);

    Factory factory_;
    std::chrono::milliseconds stallBound_;
    std::unique_ptr<AlsaSequencer> seq_;
    MidiError openFailure_;
    bool tried_ = false;
    int ownPort_ = -1;
};

}  // namespace kf
