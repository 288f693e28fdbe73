// MIDI output on the ALSA sequencer. Each message is written to the kernel as a direct event;
// one that a receiver cannot take yet is retried, the same event and never a second copy, for
// as long as the stall bound allows. Nothing is left behind for the next device on close.
#pragma once

#include "midi/alsa_client.h"

namespace kf {

class AlsaBackend : public MidiBackend {
public:
    using Factory = AlsaClient::Factory;
    // stallBound: how long one message may wait for a receiver that takes nothing.
    explicit AlsaBackend(Factory factory = &makeSystemAlsaSequencer,
                         std::chrono::milliseconds stallBound = std::chrono::milliseconds(1000));
    ~AlsaBackend() override;

    // False when there is no sequencer to open.
    bool available() override;

    // Ports of other clients that take writes and subscriptions, as "client:port" names.
    std::vector<std::string> ports() override;
    // -1: our own readable port "Kitforge", for others to connect; else our port connected
    // to that device.
    bool open(int id, MidiError* error) override;
    std::size_t close() override;
    bool send(const std::uint8_t* data, std::size_t size) override;
    MidiError sendError() const override { return sendError_; }

private:
    bool fail(MidiError why);

    AlsaClient client_;
    std::chrono::milliseconds stallBound_;
    int ownPort_ = -1;
    MidiError sendError_;
};

}  // namespace kf
