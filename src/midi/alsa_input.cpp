#include "midi/alsa_input.h"

namespace kf {

AlsaInput::AlsaInput(Factory factory, std::string outputClient)
    : client_(std::move(factory), MidiDirection::In, std::move(outputClient)) {}

AlsaInput::~AlsaInput() { close(); }

bool AlsaInput::available() { return client_.sequencer(nullptr) != nullptr; }

std::vector<std::string> AlsaInput::ports() { return client_.ports(); }

bool AlsaInput::open(int id, const Bytes& bytes, MidiError* error) {
    close();
    ownPort_ = client_.openPort(id, error);
    if (ownPort_ < 0) return false;
    stop_ = false;
    AlsaSequencer* seq = client_.sequencer(nullptr);
    reader_ = std::thread([this, seq, bytes] {
        std::vector<std::uint8_t> got;
        while (!stop_) {
            got.clear();
            if (seq->read(&got, std::chrono::milliseconds(50)) < 0) break;
            if (!got.empty()) bytes(got.data(), got.size());
        }
    });
    return true;
}

void AlsaInput::close() {
    if (ownPort_ < 0) return;
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    client_.sequencer(nullptr)->deletePort(ownPort_);
    ownPort_ = -1;
}

}  // namespace kf
