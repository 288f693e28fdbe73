#include "midi/midi_out.h"

namespace kf {

bool RecordingBackend::open(int id, std::string* error) {
    if (failOpen || id < -1 || id >= static_cast<int>(portNames.size())) {
        if (error) *error = "no such port";
        return false;
    }
    opened.push_back(id);
    return true;
}

int shortMessageLength(std::uint8_t status) {
    if (status < 0xF0) return (status >= 0xC0 && status <= 0xDF) ? 2 : 3;
    switch (status) {
        case 0xF1:
        case 0xF3: return 2;
        case 0xF2: return 3;
        default: return 1;
    }
}

MidiOut::MidiOut(std::unique_ptr<MidiBackend> backend) : backend_(std::move(backend)) {}

MidiOut::~MidiOut() { closePort(); }

int MidiOut::deviceCount() { return static_cast<int>(backend_->ports().size()); }

std::string MidiOut::deviceName(int id) {
    if (id == -1) return kVirtualPortName;
    const auto names = backend_->ports();
    if (id < 0 || id >= static_cast<int>(names.size())) return {};
    return names[static_cast<size_t>(id)];
}

bool MidiOut::openPort(int id) {
    if (id != lastId_) closePort();
    if (open_) return true;
    openError_.clear();
    if (!backend_->open(id, &openError_)) return false;
    open_ = true;
    lastId_ = id;
    dropReported_ = false;
    return true;
}

void MidiOut::closePort() {
    if (!open_) return;
    backend_->close();
    open_ = false;
}

void MidiOut::sendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    const std::uint8_t msg[3] = {status, data1, data2};
    send(msg, static_cast<std::size_t>(shortMessageLength(status)));
}

void MidiOut::sendLong(const MidiBytes& message) { send(message.data(), message.size()); }

void MidiOut::send(const std::uint8_t* data, std::size_t size) {
    if (!open_ || size == 0) return;
    if (backend_->send(data, size)) return;
    ++dropped_;
    if (!dropReported_ && onDrop_) {
        dropReported_ = true;
        onDrop_(deviceName(lastId_));
    }
}

}  // namespace kf
