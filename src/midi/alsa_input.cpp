#include "midi/alsa_input.h"

#include <cerrno>

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
            const int r = seq->read(&got, std::chrono::milliseconds(50));
            if (!got.empty()) bytes(got.data(), got.size());
            if (r == -ENOSPC) {
                if (failed_) failed_({MidiError::Overrun, "ALSA input overrun: events dropped"});
            } else if (r < 0) {
                // The sequencer failed for good: nothing more comes in on this port.
                if (failed_) failed_(sequencerError(r));
                break;
            }
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
