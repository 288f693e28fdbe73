#include "midi/rtmidi_backend.h"

#include "midi/rtmidi_client.h"

namespace kf {

RtMidiBackend::RtMidiBackend() : client_(std::make_unique<RtMidiClient>(MidiDirection::Out)) {}

RtMidiBackend::~RtMidiBackend() = default;

bool RtMidiBackend::available() { return client_->available(); }

std::vector<std::string> RtMidiBackend::ports() { return client_->ports(); }

bool RtMidiBackend::open(int id, MidiError* error) {
    close();
    return client_->open(id, error);
}

std::size_t RtMidiBackend::close() {
    client_->close();
    return 0;
}

bool RtMidiBackend::send(const std::uint8_t* data, std::size_t size) {
    RtMidiOut* out = client_->out();
    if (!out) return false;
    client_->begin(RtMidiStage::Send);
    out->sendMessage(data, size);
    return client_->error().kind == MidiError::None;
}

MidiError RtMidiBackend::sendError() const { return client_->error(); }

}  // namespace kf
