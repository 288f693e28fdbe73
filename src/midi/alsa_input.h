// MIDI input on the ALSA sequencer: our own writable port "Kitforge" for others to connect to,
// or our port subscribed to a device's readable port. A thread of the transport's own reads
// the events and hands their bytes on; SysEx that the kernel splits into several events
// arrives as one stream of bytes, which the input's assembler joins.
#pragma once

#include <atomic>
#include <thread>

#include "midi/alsa_client.h"
#include "midi/midi_in.h"

namespace kf {

class AlsaInput : public MidiInBackend {
public:
    using Factory = AlsaClient::Factory;
    // The ports of outputClient (our own output) are not listed: they would only loop back.
    explicit AlsaInput(Factory factory = &makeSystemAlsaSequencer, std::string outputClient = "Kitforge");
    ~AlsaInput() override;

    bool available() override;
    // Readable, subscribable ports of other clients, as "client:port" names.
    std::vector<std::string> ports() override;
    bool open(int id, const Bytes& bytes, MidiError* error) override;
    void close() override;
    void onFailure(Failed failed) override { failed_ = std::move(failed); }

private:
    AlsaClient client_;
    Failed failed_;
    int ownPort_ = -1;
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

}  // namespace kf
