#include "midi/alsa_backend.h"

#include <cerrno>
#include <cstring>

namespace kf {

MidiError connectError(int negativeErrno) {
    MidiError::Kind kind = MidiError::Other;
    switch (-negativeErrno) {
        case EBUSY:
        case EPERM: kind = MidiError::PortBusy; break;  // taken, or kept exclusive by its owner
        case ENOENT:
        case ENXIO:
        case EINVAL: kind = MidiError::NoSuchPort; break;  // gone since it was listed
        default: break;
    }
    return {kind, std::strerror(-negativeErrno)};
}

AlsaBackend::AlsaBackend(Factory factory, std::chrono::milliseconds stallBound)
    : factory_(std::move(factory)), stallBound_(stallBound) {}

AlsaBackend::~AlsaBackend() { close(); }

bool AlsaBackend::ensureOpen(MidiError* error) {
    if (!tried_) {
        tried_ = true;
        auto seq = factory_ ? factory_() : nullptr;
        if (!seq) openFailure_ = {MidiError::NoMidiSystem, "no ALSA sequencer"};
        else if (seq->open("Kitforge", &openFailure_)) seq_ = std::move(seq);
    }
    if (!seq_ && error) *error = openFailure_;
    return seq_ != nullptr;
}

bool AlsaBackend::available() { return ensureOpen(nullptr); }

std::vector<AlsaBackend::Target> AlsaBackend::targets() {
    std::vector<Target> found;
    if (!ensureOpen(nullptr)) return found;
    const int own = seq_->clientId();
    constexpr unsigned need = AlsaSequencer::kCapWrite | AlsaSequencer::kCapSubsWrite;
    for (const auto& p : seq_->listPorts()) {
        // The system client's timer and announce ports take no MIDI.
        if (p.client == own || p.client == AlsaSequencer::kSystemClient || (p.capability & need) != need) continue;
        found.push_back({p.client, p.port, p.clientName + ":" + p.portName});
    }
    return found;
}

std::vector<std::string> AlsaBackend::ports() {
    std::vector<std::string> names;
    for (auto& t : targets()) names.push_back(std::move(t.name));
    return names;
}

bool AlsaBackend::open(int id, MidiError* error) {
    close();
    if (!ensureOpen(error)) return false;
    Target target{-1, -1, {}};
    if (id != -1) {
        const auto all = targets();
        if (id < 0 || id >= static_cast<int>(all.size())) {
            if (error) *error = {MidiError::NoSuchPort, "no such ALSA port"};
            return false;
        }
        target = all[static_cast<size_t>(id)];
    }
    const int port = seq_->createPort("Kitforge", error);
    if (port < 0) return false;
    if (target.client >= 0) {
        const int r = seq_->connectTo(port, target.client, target.port);
        if (r < 0) {
            if (error) *error = connectError(r);
            seq_->deletePort(port);
            return false;
        }
    }
    ownPort_ = port;
    return true;
}

std::size_t AlsaBackend::close() {
    if (ownPort_ < 0) return 0;
    // Every message went to the kernel whole or not at all, so nothing taken is still ours;
    // whatever the library might hold is dropped before the port can serve another device.
    seq_->dropOutput();
    seq_->deletePort(ownPort_);
    ownPort_ = -1;
    return 0;
}

bool AlsaBackend::send(const std::uint8_t* data, std::size_t size) {
    if (ownPort_ < 0 || size == 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + stallBound_;
    for (;;) {
        const int r = seq_->output(ownPort_, data, size);
        if (r >= 0) return true;
        // A receiver whose input is full, or a kernel short of room, takes it a little later.
        const bool notYet = r == -EAGAIN || r == -ENOMEM || r == -ENOSPC;
        const auto now = std::chrono::steady_clock::now();
        if (!notYet || now >= deadline) return false;
        seq_->waitForRoom(std::chrono::milliseconds(2));
    }
}

}  // namespace kf
