#include "midi/alsa_backend.h"

#include <cerrno>
#include <thread>

namespace kf {

AlsaBackend::AlsaBackend(Factory factory, std::chrono::milliseconds sendTimeout)
    : factory_(std::move(factory)), sendTimeout_(sendTimeout) {}

AlsaBackend::~AlsaBackend() { close(); }

bool AlsaBackend::ensureOpen(MidiError* error) {
    std::lock_guard<std::mutex> lock(m_);
    if (!tried_) {
        tried_ = true;
        auto seq = factory_ ? factory_() : nullptr;
        if (!seq) openFailure_ = {MidiError::NoMidiSystem, "no ALSA sequencer"};
        else if (seq->open("Kitforge", true, &openFailure_)) seq_ = std::move(seq);
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
    if (target.client >= 0 && !seq_->connectTo(port, target.client, target.port, error)) {
        seq_->deletePort(port);
        return false;
    }
    ownPort_ = port;
    return true;
}

std::size_t AlsaBackend::close() {
    if (ownPort_ < 0) return 0;
    // Everything written waits in the client's buffer or the kernel's pool until delivered.
    seq_->drainOutput();
    seq_->deletePort(ownPort_);
    ownPort_ = -1;
    return 0;
}

bool AlsaBackend::send(const std::uint8_t* data, std::size_t size) {
    if (ownPort_ < 0 || size == 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + sendTimeout_;
    for (;;) {
        const int r = seq_->output(ownPort_, data, size);
        if (r >= 0) return true;
        // Blocking mode waits inside; a sequencer that still says "no room" gets its bound.
        if (r != -EAGAIN || std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace kf
