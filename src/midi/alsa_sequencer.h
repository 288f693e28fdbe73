// The few ALSA sequencer calls the ALSA transports make, behind a seam: their own logic (which
// ports, what names, retrying what the destination could not take yet, leaving nothing
// behind on close) is then testable on machines without /dev/snd/seq.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "midi/midi_backend.h"

namespace kf {

struct SeqPortInfo {
    int client = 0;
    int port = 0;
    std::string clientName;
    std::string portName;
    unsigned capability = 0;  // SND_SEQ_PORT_CAP_* bits
};

class AlsaSequencer {
public:
    // The capability bits the transports look at, as libasound numbers them.
    static constexpr unsigned kCapRead = 1u << 0;
    static constexpr unsigned kCapWrite = 1u << 1;
    static constexpr unsigned kCapSubsRead = 1u << 5;
    static constexpr unsigned kCapSubsWrite = 1u << 6;
    static constexpr int kSystemClient = 0;

    virtual ~AlsaSequencer() = default;
    // Opens the sequencer for one direction under clientName, in non-blocking mode: a send
    // never waits in the kernel, the transports bound every wait themselves.
    virtual bool open(const std::string& clientName, MidiDirection direction, MidiError* error) = 0;
    virtual int clientId() = 0;
    // Every port of every client.
    virtual std::vector<SeqPortInfo> listPorts() = 0;
    // Our own port, subscribable for the direction opened: readable for an output, writable
    // for an input. Returns its number, or -1.
    virtual int createPort(const std::string& name, MidiError* error) = 0;
    // Connects our port with a device's, from ours to it for an output and from it to ours for
    // an input: 0, or a negative errno.
    virtual int connect(int ownPort, int client, int port) = 0;
    virtual void deletePort(int ownPort) = 0;

    // An output's: one complete MIDI message from ownPort to its subscribers, written to the
    // kernel at once as a direct event: 0, or a negative errno (-EAGAIN: a receiver's input is
    // full, -ENOMEM or -ENOSPC: no room in the kernel now). On an error none of it stays behind.
    virtual int output(int ownPort, const std::uint8_t* data, std::size_t size) = 0;
    // Waits until the sequencer may take more, or for at most timeout.
    virtual void waitForRoom(std::chrono::milliseconds timeout) = 0;
    // Discards whatever the client still holds for output, so none of it reaches the next
    // device the port is connected to.
    virtual void dropOutput() = 0;

    // An input's: waits at most timeout for events; appends the MIDI bytes of what arrived to
    // bytes. 0 when something or nothing came, -ENOSPC when events were lost to an overrun
    // (reading goes on), another negative errno when the sequencer failed.
    virtual int read(std::vector<std::uint8_t>* bytes, std::chrono::milliseconds timeout) = 0;
};

// libasound's sequencer; nullptr where it is not built in.
std::unique_ptr<AlsaSequencer> makeSystemAlsaSequencer();

}  // namespace kf
