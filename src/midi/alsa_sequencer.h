// The few ALSA sequencer calls the ALSA backend makes, behind a seam: the backend's own
// logic (which ports, what names, retrying what the destination could not take yet, leaving
// nothing behind on close) is then testable on machines without /dev/snd/seq.
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
    // The capability bits the backend looks at, as libasound numbers them.
    static constexpr unsigned kCapWrite = 1u << 1;
    static constexpr unsigned kCapSubsWrite = 1u << 6;
    static constexpr int kSystemClient = 0;

    virtual ~AlsaSequencer() = default;
    // Opens the sequencer for output under clientName, in non-blocking mode: a send never
    // waits in the kernel, the backend bounds every wait itself.
    virtual bool open(const std::string& clientName, MidiError* error) = 0;
    virtual int clientId() = 0;
    // Every port of every client.
    virtual std::vector<SeqPortInfo> listPorts() = 0;
    // Our own port: readable and subscribable, so others can connect from it. Returns its
    // number, or -1.
    virtual int createPort(const std::string& name, MidiError* error) = 0;
    // Connects our port to a device's: 0, or a negative errno.
    virtual int connectTo(int ownPort, int client, int port) = 0;
    virtual void deletePort(int ownPort) = 0;
    // One complete MIDI message from ownPort to its subscribers, written to the kernel at once
    // as a direct event: 0, or a negative errno (-EAGAIN: a receiver's input is full, -ENOMEM
    // or -ENOSPC: no room in the kernel now). On an error none of it stays behind.
    virtual int output(int ownPort, const std::uint8_t* data, std::size_t size) = 0;
    // Waits until the sequencer may take more, or for at most timeout.
    virtual void waitForRoom(std::chrono::milliseconds timeout) = 0;
    // Discards whatever the client still holds for output, so none of it reaches the next
    // device the port is connected to.
    virtual void dropOutput() = 0;
};

// What a failed connect means to the user.
MidiError connectError(int negativeErrno);

// libasound's sequencer; nullptr where it is not built in.
std::unique_ptr<AlsaSequencer> makeSystemAlsaSequencer();

}  // namespace kf
