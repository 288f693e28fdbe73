#include "midi/system_backend.h"

#if defined(__linux__)
#include "midi/alsa_backend.h"
#else
#include "midi/rtmidi_backend.h"
#endif

namespace kf {

SystemBackend::SystemBackend()
    : platform_(std::make_unique<PlatformBackend>()), jack_(std::make_unique<JackBackend>()) {}

SystemBackend::~SystemBackend() { close(); }

std::vector<std::string> SystemBackend::jackPorts() {
    auto names = jack_->ports();
    // A bridge shows the platform's ports on JACK too; list them once.
    if (platform_->available()) {
        std::vector<std::string> own;
        for (auto& n : names)
            if (n.rfind("a2j:", 0) != 0) own.push_back(std::move(n));
        names.swap(own);
    }
    return names;
}

std::vector<std::string> SystemBackend::ports() {
    auto names = platform_->ports();
    for (auto& n : jackPorts()) names.push_back(std::move(n));
    return names;
}

bool SystemBackend::open(int id, MidiError* error) {
    close();
    if (id == -2) {
        if (!makeSynth_) {
            if (error) *error = {MidiError::NoSuchPort, "no built-in synth"};
            return false;
        }
        synth_ = makeSynth_();
        if (!synth_ || !synth_->open(id, error)) {
            synth_.reset();
            return false;
        }
        active_ = synth_.get();
        return true;
    }
    if (id == -1) {
        MidiBackend* b = platform_->available() ? static_cast<MidiBackend*>(platform_.get()) : jack_.get();
        if (!b->open(-1, error)) return false;
        active_ = b;
        return true;
    }
    const int platformCount = static_cast<int>(platform_->ports().size());
    if (id >= 0 && id < platformCount) {
        if (!platform_->open(id, error)) return false;
        active_ = platform_.get();
        return true;
    }
    const auto names = jackPorts();
    const int j = id - platformCount;
    if (j < 0 || j >= static_cast<int>(names.size())) {
        if (error) *error = {platformCount == 0 && names.empty() ? MidiError::NoMidiSystem : MidiError::NoSuchPort,
                             "no such port"};
        return false;
    }
    if (!jack_->openTarget(names[static_cast<size_t>(j)], error)) return false;
    active_ = jack_.get();
    return true;
}

std::size_t SystemBackend::close() {
    const std::size_t lost = active_ ? active_->close() : 0;
    active_ = nullptr;
    return lost;
}

bool SystemBackend::send(const std::uint8_t* data, std::size_t size) { return active_ && active_->send(data, size); }

bool SystemBackend::wantsPacing() const { return !active_ || active_->wantsPacing(); }

std::chrono::microseconds SystemBackend::lead() const {
    return active_ ? active_->lead() : std::chrono::microseconds(0);
}

bool SystemBackend::sendAt(const std::uint8_t* data, std::size_t size, std::chrono::microseconds fromNow) {
    return active_ && active_->sendAt(data, size, fromNow);
}

}  // namespace kf
