#include "midi/rtmidi_input.h"

#include <rtmidi/RtMidi.h>

namespace kf {

RtMidiInput::RtMidiInput() {
    try {
        in_ = std::make_unique<RtMidiIn>(RtMidi::UNSPECIFIED, "Kitforge");
        // SysEx is what the module answers with: take it; timing and sensing are not ours.
        in_->ignoreTypes(false, true, true);
        in_->setErrorCallback([](RtMidiError::Type, const std::string&, void*) {}, nullptr);
    } catch (...) {
        in_.reset();
    }
}

RtMidiInput::~RtMidiInput() { close(); }

std::vector<std::string> RtMidiInput::ports() {
    std::vector<std::string> names;
    if (!in_) return names;
    const unsigned count = in_->getPortCount();
    for (unsigned i = 0; i < count; ++i) names.push_back(in_->getPortName(i));
    return names;
}

bool RtMidiInput::open(int id, const Bytes& bytes, MidiError* error) {
    close();
    if (!in_) {
        if (error) *error = {MidiError::NoMidiSystem, "no MIDI system"};
        return false;
    }
    bytes_ = bytes;
    in_->setCallback(
        [](double, std::vector<unsigned char>* message, void* self) {
            auto* me = static_cast<RtMidiInput*>(self);
            if (message && !message->empty() && me->bytes_) me->bytes_(message->data(), message->size());
        },
        this);
    try {
        if (id == -1) in_->openVirtualPort("Kitforge");
        else if (id >= 0 && id < static_cast<int>(in_->getPortCount())) in_->openPort(static_cast<unsigned>(id), "Kitforge");
        else throw RtMidiError("no such port", RtMidiError::INVALID_PARAMETER);
    } catch (const RtMidiError& e) {
        if (error) *error = {MidiError::NoSuchPort, e.getMessage()};
        in_->cancelCallback();
        bytes_ = nullptr;
        return false;
    }
    return true;
}

void RtMidiInput::close() {
    if (!in_) return;
    in_->closePort();
    in_->cancelCallback();
    bytes_ = nullptr;
}

}  // namespace kf
