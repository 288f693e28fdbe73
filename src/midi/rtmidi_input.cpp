#include "midi/rtmidi_input.h"

#include "midi/rtmidi_client.h"

namespace kf {

RtMidiInput::RtMidiInput() : client_(std::make_unique<RtMidiClient>(MidiDirection::In)) {}

RtMidiInput::~RtMidiInput() { close(); }

bool RtMidiInput::available() { return client_->available(); }

std::vector<std::string> RtMidiInput::ports() { return client_->ports(); }

void RtMidiInput::onFailure(Failed failed) { client_->onReceiveFailure(std::move(failed)); }

bool RtMidiInput::open(int id, const Bytes& bytes, MidiError* error) {
    close();
    if (RtMidiIn* in = client_->in()) {
        bytes_ = bytes;
        // Set before the port opens: what comes at once would otherwise wait in RtMidi's queue,
        // which nothing reads.
        in->setCallback(
            [](double, std::vector<unsigned char>* message, void* self) {
                auto* me = static_cast<RtMidiInput*>(self);
                if (message && !message->empty() && me->bytes_) me->bytes_(message->data(), message->size());
            },
            this);
        listening_ = true;
    }
    if (!client_->open(id, error)) {
        stopListening();
        return false;
    }
    client_->begin(RtMidiStage::Receive);
    return true;
}

void RtMidiInput::close() {
    client_->close();
    stopListening();
}

void RtMidiInput::stopListening() {
    if (listening_) client_->in()->cancelCallback();
    listening_ = false;
    bytes_ = nullptr;
}

}  // namespace kf
