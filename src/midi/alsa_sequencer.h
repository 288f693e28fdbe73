// The few ALSA sequencer calls the ALSA backend makes, behind a seam: the backend's own
// logic (which ports, what names, waiting for room, draining on close) is then testable on
// machines without /dev/snd/seq.
#pragma once

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
    // Opens the sequencer for output under clientName; blocking: a full output pool makes
    // a send wait instead of failing with -EAGAIN.
    virtual bool open(const std::string& clientName, bool blocking, MidiError* error) = 0;
    virtual int clientId() = 0;
    // Every port of every client. May be called while another thread sends.
    virtual std::vector<SeqPortInfo> listPorts() = 0;
    // Our own port: readable and subscribable, so others can connect from it. Returns its
    // number, or -1.
    virtual int createPort(const std::string& name, MidiError* error) = 0;
    virtual bool connectTo(int ownPort, int client, int port, MidiError* error) = 0;
    virtual void deletePort(int ownPort) = 0;
    // One complete MIDI message from ownPort to its subscribers, delivered directly.
    // 0, or a negative errno (-EAGAIN: no room in the output pool).
    virtual int output(int ownPort, const std::uint8_t* data, std::size_t size) = 0;
    // snd_seq_drain_output, then snd_seq_sync_output_queue: returns once the kernel has
    // delivered what we wrote. 0 or a negative errno.
    virtual int drainOutput() = 0;
};

// libasound's sequencer; nullptr where it is not built in.
std::unique_ptr<AlsaSequencer> makeSystemAlsaSequencer();

}  // namespace kf
