// MIDI input on the ALSA sequencer: our own writable port "Kitforge" for others to connect to,
// or our port subscribed to a device's readable port. A thread of the backend's own reads the
// events and hands their bytes on; SysEx that the kernel splits into several events arrives as
// one stream of bytes, which the input's assembler joins.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "midi/alsa_sequencer.h"
#include "midi/midi_in.h"

namespace kf {

// The sequencer calls the input makes, behind a seam like the output's.
class AlsaInputSequencer {
public:
    static constexpr unsigned kCapRead = 1u << 0;
    static constexpr unsigned kCapSubsRead = 1u << 5;

    virtual ~AlsaInputSequencer() = default;
    virtual bool open(const std::string& clientName, MidiError* error) = 0;
    virtual int clientId() = 0;
    virtual std::vector<SeqPortInfo> listPorts() = 0;
    // Our own port: writable and subscribable. Its number, or -1.
    virtual int createPort(const std::string& name, MidiError* error) = 0;
    // Subscribes our port to a device's: 0, or a negative errno.
    virtual int connectFrom(int ownPort, int client, int port) = 0;
    virtual void deletePort(int ownPort) = 0;
    // Waits at most timeout for events; appends the MIDI bytes of what arrived to bytes.
    // 0 when something or nothing came, a negative errno when the sequencer failed.
    virtual int read(std::vector<std::uint8_t>* bytes, std::chrono::milliseconds timeout) = 0;
};

std::unique_ptr<AlsaInputSequencer> makeSystemAlsaInputSequencer();

class AlsaInput : public MidiInBackend {
public:
    using Factory = std::function<std::unique_ptr<AlsaInputSequencer>()>;
    // The ports of outputClient (our own output) are not listed: they would only loop back.
    explicit AlsaInput(Factory factory = &makeSystemAlsaInputSequencer, std::string outputClient = "Kitforge");
    ~AlsaInput() override;

    // Readable, subscribable ports of other clients, as "client:port" names.
    std::vector<std::string> ports() override;
    bool open(int id, const Bytes& bytes, MidiError* error) override;
    void close() override;

private:
    struct Source {
        int client, port;
        std::string name;
    };
    std::vector<Source> sources();
    bool ensureOpen(MidiError* error);

    Factory factory_;
    std::string outputClient_;
    std::unique_ptr<AlsaInputSequencer> seq_;
    bool tried_ = false;
    MidiError openFailure_;
    int ownPort_ = -1;
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

}  // namespace kf
