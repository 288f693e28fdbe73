#include "midi/alsa_client.h"

#include <cerrno>
#include <cstring>

namespace kf {

namespace {
const char* kOwnName = "Kitforge";
}  // namespace

MidiError sequencerError(int negativeErrno) {
    MidiError::Kind kind = MidiError::Other;
    switch (-negativeErrno) {
        case EBUSY:
        case EPERM: kind = MidiError::PortBusy; break;  // taken, or kept exclusive by its owner
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case EINVAL: kind = MidiError::NoSuchPort; break;  // gone since it was listed
        default: break;
    }
    return {kind, std::strerror(-negativeErrno)};
}

AlsaClient::AlsaClient(Factory factory, MidiDirection direction, std::string skipClient)
    : factory_(std::move(factory)), direction_(direction), skipClient_(std::move(skipClient)) {}

AlsaSequencer* AlsaClient::sequencer(MidiError* error) {
    if (!tried_) {
        tried_ = true;
        auto seq = factory_ ? factory_() : nullptr;
        if (!seq) openFailure_ = {MidiError::NoMidiSystem, "no ALSA sequencer"};
        else if (seq->open(kOwnName, direction_, &openFailure_)) seq_ = std::move(seq);
    }
    if (!seq_ && error) *error = openFailure_;
    return seq_.get();
}

std::vector<AlsaClient::Peer> AlsaClient::peers() {
    std::vector<Peer> found;
    if (!sequencer(nullptr)) return found;
    const int own = seq_->clientId();
    const unsigned need = direction_ == MidiDirection::Out ? AlsaSequencer::kCapWrite | AlsaSequencer::kCapSubsWrite
                                                           : AlsaSequencer::kCapRead | AlsaSequencer::kCapSubsRead;
    for (const auto& p : seq_->listPorts()) {
        // The system client's timer and announce ports carry no MIDI.
        if (p.client == own || p.client == AlsaSequencer::kSystemClient ||
            (!skipClient_.empty() && p.clientName == skipClient_) || (p.capability & need) != need)
            continue;
        found.push_back({p.client, p.port, p.clientName + ":" + p.portName});
    }
    return found;
}

std::vector<std::string> AlsaClient::ports() {
    std::vector<std::string> names;
    for (auto& p : peers()) names.push_back(std::move(p.name));
    return names;
}

int AlsaClient::openPort(int id, MidiError* error) {
    if (!sequencer(error)) return -1;
    Peer peer{-1, -1, {}};
    if (id != -1) {
        const auto all = peers();
        if (id < 0 || id >= static_cast<int>(all.size())) {
            if (error) *error = {MidiError::NoSuchPort, "no such ALSA port"};
            return -1;
        }
        peer = all[static_cast<size_t>(id)];
    }
    const int port = seq_->createPort(kOwnName, error);
    if (port < 0 || peer.client < 0) return port;
    const int r = seq_->connect(port, peer.client, peer.port);
    if (r < 0) {
        if (error) *error = sequencerError(r);
        seq_->deletePort(port);
        return -1;
    }
    return port;
}

}  // namespace kf
