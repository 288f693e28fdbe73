#include "midi/rtmidi_backend.h"

#include <rtmidi/RtMidi.h>

namespace kf {

static_assert(RtMidiError::WARNING == rtmidi_type::kWarning && RtMidiError::DEBUG_WARNING == rtmidi_type::kDebugWarning &&
                  RtMidiError::UNSPECIFIED == rtmidi_type::kUnspecified &&
                  RtMidiError::NO_DEVICES_FOUND == rtmidi_type::kNoDevicesFound &&
                  RtMidiError::INVALID_DEVICE == rtmidi_type::kInvalidDevice &&
                  RtMidiError::MEMORY_ERROR == rtmidi_type::kMemoryError &&
                  RtMidiError::INVALID_PARAMETER == rtmidi_type::kInvalidParameter &&
                  RtMidiError::INVALID_USE == rtmidi_type::kInvalidUse &&
                  RtMidiError::DRIVER_ERROR == rtmidi_type::kDriverError &&
                  RtMidiError::SYSTEM_ERROR == rtmidi_type::kSystemError &&
                  RtMidiError::THREAD_ERROR == rtmidi_type::kThreadError,
              "RtMidi numbers its error types otherwise: rtmidi_error.h must follow");

RtMidiBackend::RtMidiBackend() {
    try {
        out_ = std::make_unique<RtMidiOut>(RtMidi::UNSPECIFIED, "Kitforge");
        out_->setErrorCallback(
            [](RtMidiError::Type type, const std::string& text, void* self) {
                onError(static_cast<int>(type), text, self);
            },
            this);
    } catch (const RtMidiError& e) {
        error_ = {rtMidiErrorKind(e.getType(), RtMidiStage::Setup), e.getMessage()};
        out_.reset();
    } catch (...) {
        out_.reset();
    }
}

RtMidiBackend::~RtMidiBackend() = default;

void RtMidiBackend::onError(int type, const std::string& text, void* self) {
    auto* me = static_cast<RtMidiBackend*>(self);
    const MidiError::Kind kind = rtMidiErrorKind(type, me->stage_);
    // The first failure of a stage says why; a debug note is none.
    if (kind != MidiError::None && me->error_.kind == MidiError::None) me->error_ = {kind, text};
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
        if (error) *error = error_.kind != MidiError::None ? error_ : MidiError{MidiError::NoMidiSystem, "no MIDI system"};
        return false;
    }
    close();
    stage_ = RtMidiStage::Open;
    error_ = {};
    if (id == -1) out_->openVirtualPort("Kitforge");
    else if (id >= 0 && id < static_cast<int>(out_->getPortCount())) out_->openPort(static_cast<unsigned>(id), "Kitforge");
    else error_ = {MidiError::NoSuchPort, "no such port"};
    if (error_.kind != MidiError::None || (id != -1 && !out_->isPortOpen())) {
        if (error) *error = error_.kind != MidiError::None ? error_ : MidiError{MidiError::Other, "port did not open"};
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
    stage_ = RtMidiStage::Send;
    error_ = {};
    out_->sendMessage(data, size);
    return error_.kind == MidiError::None;
}

}  // namespace kf
