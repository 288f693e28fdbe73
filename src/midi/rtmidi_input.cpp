#include "midi/rtmidi_input.h"

#include <rtmidi/RtMidi.h>

namespace kf {

RtMidiInput::RtMidiInput() {
    try {
        in_ = std::make_unique<RtMidiIn>(RtMidi::UNSPECIFIED, "Kitforge");
        // SysEx is what the module answers with: take it; timing and sensing are not ours.
        in_->ignoreTypes(false, true, true);
        in_->setErrorCallback(
            [](RtMidiError::Type type, const std::string& text, void* self) {
                onError(static_cast<int>(type), text, self);
            },
            this);
    } catch (const RtMidiError& e) {
        error_ = {rtMidiErrorKind(e.getType(), RtMidiStage::Setup), e.getMessage()};
        in_.reset();
    } catch (...) {
        in_.reset();
    }
}

RtMidiInput::~RtMidiInput() { close(); }

void RtMidiInput::onError(int type, const std::string& text, void* self) {
    auto* me = static_cast<RtMidiInput*>(self);
    Failed failed;
    MidiError why;
    {
        std::lock_guard<std::mutex> lock(me->m_);
        why = {rtMidiErrorKind(type, me->stage_), text};
        if (why.kind == MidiError::None) return;
        if (me->stage_ != RtMidiStage::Receive) {
            // The first failure of an open says why it failed.
            if (me->error_.kind == MidiError::None) me->error_ = why;
            return;
        }
        failed = me->failed_;
    }
    if (failed) failed(why);
}

void RtMidiInput::onFailure(Failed failed) {
    std::lock_guard<std::mutex> lock(m_);
    failed_ = std::move(failed);
}

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
        if (error) *error = error_.kind != MidiError::None ? error_ : MidiError{MidiError::NoMidiSystem, "no MIDI system"};
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_);
        stage_ = RtMidiStage::Open;
        error_ = {};
    }
    bytes_ = bytes;
    in_->setCallback(
        [](double, std::vector<unsigned char>* message, void* self) {
            auto* me = static_cast<RtMidiInput*>(self);
            if (message && !message->empty() && me->bytes_) me->bytes_(message->data(), message->size());
        },
        this);
    if (id == -1) in_->openVirtualPort("Kitforge");
    else if (id >= 0 && id < static_cast<int>(in_->getPortCount())) in_->openPort(static_cast<unsigned>(id), "Kitforge");
    std::lock_guard<std::mutex> lock(m_);
    if (id < -1 || id >= static_cast<int>(in_->getPortCount())) error_ = {MidiError::NoSuchPort, "no such port"};
    else if (error_.kind == MidiError::None && id != -1 && !in_->isPortOpen()) error_ = {MidiError::Other, "port did not open"};
    if (error_.kind != MidiError::None) {
        if (error) *error = error_;
        in_->closePort();
        in_->cancelCallback();
        bytes_ = nullptr;
        return false;
    }
    stage_ = RtMidiStage::Receive;
    return true;
}

void RtMidiInput::close() {
    if (!in_) return;
    {
        // What closing may warn of is no failure of the port.
        std::lock_guard<std::mutex> lock(m_);
        stage_ = RtMidiStage::Open;
    }
    in_->closePort();
    in_->cancelCallback();
    bytes_ = nullptr;
}

}  // namespace kf
