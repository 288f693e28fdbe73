// One ALSA sequencer client of the program's own, for either direction: opened on first use
// (a machine without a sequencer is told once and not asked again), the other clients' ports
// this direction can use, and our port "Kitforge" made and connected.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "midi/alsa_sequencer.h"

namespace kf {

// What a failed sequencer call (a connect, a send, a read) means to the user.
MidiError sequencerError(int negativeErrno);

class AlsaClient {
public:
    using Factory = std::function<std::unique_ptr<AlsaSequencer>()>;
    // The ports of skipClient (our own client of the other direction) are not listed: they
    // would only loop back.
    AlsaClient(Factory factory, MidiDirection direction, std::string skipClient = {});

    // The open sequencer; null, with *error, when there is none to open.
    AlsaSequencer* sequencer(MidiError* error);

    // Ports of other clients this direction can subscribe to (an output's take writes, an
    // input's give reads), as "client:port" names, in the sequencer's order (client, then
    // port number).
    std::vector<std::string> ports();
    // Our port "Kitforge", connected with the port listed at id (none for -1): its number, or
    // -1, with *error, when either fails; a port that did not connect is not left behind.
    int openPort(int id, MidiError* error);

private:
    struct Peer {
        int client, port;
        std::string name;
    };
    std::vector<Peer> peers();

    Factory factory_;
    MidiDirection direction_;
    std::string skipClient_;
    std::unique_ptr<AlsaSequencer> seq_;
    MidiError openFailure_;
    bool tried_ = false;
};

}  // namespace kf
