#include "midi/system_midi.h"

#if defined(__linux__)
#include "midi/alsa_backend.h"
#include "midi/alsa_input.h"
#elif defined(_WIN32)
#include "midi/winmm_backend.h"
#include "midi/winmm_input.h"
#else
#include "midi/rtmidi_backend.h"
#include "midi/rtmidi_input.h"
#endif
#if !defined(_WIN32)
#include "midi/jack_backend.h"
#include "midi/jack_input.h"
#endif

namespace kf {

std::unique_ptr<MidiBackend> platformOutput() {
#if defined(__linux__)
    return std::make_unique<AlsaBackend>();
#elif defined(_WIN32)
    return std::make_unique<WinMmBackend>();
#else
    return std::make_unique<RtMidiBackend>();
#endif
}

std::unique_ptr<MidiInBackend> platformInput() {
#if defined(__linux__)
    return std::make_unique<AlsaInput>();
#elif defined(_WIN32)
    return std::make_unique<WinMmInput>();
#else
    return std::make_unique<RtMidiInput>();
#endif
}

std::unique_ptr<MidiBackend> jackOutput() {
#if defined(_WIN32)
    return nullptr;
#else
    return std::make_unique<JackBackend>();
#endif
}

std::unique_ptr<MidiInBackend> jackInput() {
#if defined(_WIN32)
    return nullptr;
#else
    return std::make_unique<JackInput>();
#endif
}

SystemBackend::SystemBackend() : SystemBackend(platformOutput(), jackOutput()) {}

SystemBackend::SystemBackend(std::unique_ptr<MidiBackend> platform, std::unique_ptr<MidiBackend> jack)
    : apis_(std::move(platform), std::move(jack)) {}

SystemBackend::~SystemBackend() { close(); }

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
    int local = id;
    MidiBackend* b = apis_.find(id, &local, error);
    if (!b || !b->open(local, error)) return false;
    active_ = b;
    return true;
}

std::size_t SystemBackend::close() {
    const std::size_t lost = active_ ? active_->close() : 0;
    active_ = nullptr;
    return lost;
}

void SystemBackend::release() {
    close();
    synth_.reset();
    apis_.each([](MidiBackend& api) { api.release(); });
}

bool SystemBackend::send(const std::uint8_t* data, std::size_t size) { return active_ && active_->send(data, size); }

bool SystemBackend::wantsPacing() const { return !active_ || active_->wantsPacing(); }

std::chrono::microseconds SystemBackend::lead() const {
    return active_ ? active_->lead() : std::chrono::microseconds(0);
}

MidiError SystemBackend::sendError() const {
    if (!active_) return {MidiError::Other, "no port open"};
    return active_->sendError();
}

bool SystemBackend::sendAt(const std::uint8_t* data, std::size_t size, std::chrono::microseconds fromNow) {
    return active_ && active_->sendAt(data, size, fromNow);
}

SystemInput::SystemInput(std::unique_ptr<MidiInBackend> platform)
    : SystemInput(std::move(platform), jackInput()) {}

SystemInput::SystemInput(std::unique_ptr<MidiInBackend> platform, std::unique_ptr<MidiInBackend> jack)
    : apis_(std::move(platform), std::move(jack)) {}

SystemInput::~SystemInput() { close(); }

bool SystemInput::open(int id, const Bytes& bytes, MidiError* error) {
    close();
    int local = id;
    MidiInBackend* b = nullptr;
    if (id == -2) {
        b = synth_.get();
        if (!b && error) *error = {MidiError::NoSuchPort, "no built-in synth"};
    } else {
        b = apis_.find(id, &local, error);
    }
    if (!b || !b->open(local, bytes, error)) return false;
    active_ = b;
    return true;
}

void SystemInput::onFailure(Failed failed) {
    apis_.each([&](MidiInBackend& api) { api.onFailure(failed); });
}

void SystemInput::release() {
    close();
    apis_.each([](MidiInBackend& api) { api.release(); });
}

void SystemInput::close() {
    if (active_) active_->close();
    active_ = nullptr;
}

}  // namespace kf
