#include "midi/rtmidi_backend.h"

#include <rtmidi/RtMidi.h>

#if defined(__linux__)
#include <alsa/asoundlib.h>
#include <unistd.h>
#endif

namespace kf {

namespace {
#if defined(__linux__)
void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}
#endif

RtMidi::Api platformApi() {
#if defined(__linux__)
    return RtMidi::LINUX_ALSA;
#else
    return RtMidi::UNSPECIFIED;
#endif
}
}  // namespace

RtMidiBackend::RtMidiBackend() {
#if defined(__linux__)
    // A machine without a sequencer is normal (JACK may serve): then stay quiet about it.
    snd_lib_error_set_handler(&silentAlsaError);
    if (::access("/dev/snd/seq", F_OK) != 0) return;
#endif
    try {
        out_ = std::make_unique<RtMidiOut>(platformApi(), "Kitforge");
        out_->setErrorCallback(
            [](RtMidiError::Type type, const std::string& text, void* self) {
                onError(static_cast<int>(type), text, self);
            },
            this);
    } catch (...) {
        out_.reset();
    }
}

RtMidiBackend::~RtMidiBackend() = default;

void RtMidiBackend::onError(int, const std::string& text, void* self) {
    auto* me = static_cast<RtMidiBackend*>(self);
    me->failed_ = true;
    me->lastError_ = text;
}

std::vector<std::string> RtMidiBackend::ports() {
    std::vector<std::string> names;
    if (!out_) return names;
    const unsigned count = out_->getPortCount();
    for (unsigned i = 0; i < count; ++i) names.push_back(out_->getPortName(i));
    return names;
}

bool RtMidiBackend::open(int id, MidiError* error) {
    if (!out_) {
        if (error) *error = {MidiError::NoMidiSystem, "no MIDI system"};
        return false;
    }
    close();
    failed_ = false;
    if (id == -1) out_->openVirtualPort("Kitforge");
    else if (id >= 0 && id < static_cast<int>(out_->getPortCount())) out_->openPort(static_cast<unsigned>(id), "Kitforge");
    else failed_ = true, lastError_ = "no such port";
    if (failed_ || (id != -1 && !out_->isPortOpen())) {
        if (error) *error = {MidiError::NoSuchPort, lastError_};
        out_->closePort();
        return false;
    }
    return true;
}

std::size_t RtMidiBackend::close() {
    if (out_) out_->closePort();
    return 0;
}

bool RtMidiBackend::send(const std::uint8_t* data, std::size_t size) {
    if (!out_) return false;
    failed_ = false;
    out_->sendMessage(data, size);
    return !failed_;
}

}  // namespace kf
