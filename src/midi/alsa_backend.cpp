#include "midi/alsa_backend.h"

#include <cerrno>
#include <string>

namespace kf {

AlsaBackend::AlsaBackend(Factory factory, std::chrono::milliseconds stallBound)
    : client_(std::move(factory), MidiDirection::Out), stallBound_(stallBound) {}

AlsaBackend::~AlsaBackend() { close(); }

bool AlsaBackend::available() { return client_.sequencer(nullptr) != nullptr; }

std::vector<std::string> AlsaBackend::ports() { return client_.ports(); }

bool AlsaBackend::open(int id, MidiError* error) {
    close();
    ownPort_ = client_.openPort(id, error);
    return ownPort_ >= 0;
}

std::size_t AlsaBackend::close() {
    if (ownPort_ < 0) return 0;
    // Every message went to the kernel whole or not at all, so nothing taken is still ours;
    // whatever the library might hold is dropped before the port can serve another device.
    AlsaSequencer* seq = client_.sequencer(nullptr);
    seq->dropOutput();
    seq->deletePort(ownPort_);
    ownPort_ = -1;
    return 0;
}

bool AlsaBackend::fail(MidiError why) {
    sendError_ = std::move(why);
    return false;
}

bool AlsaBackend::send(const std::uint8_t* data, std::size_t size) {
    if (ownPort_ < 0) return fail({MidiError::Other, "ALSA port not open"});
    if (size == 0) return fail({MidiError::Other, "empty message"});
    AlsaSequencer* seq = client_.sequencer(nullptr);
    const auto deadline = std::chrono::steady_clock::now() + stallBound_;
    for (;;) {
        const int r = seq->output(ownPort_, data, size);
        if (r >= 0) return true;
        // A receiver whose input is full, or a kernel short of room, takes it a little later.
        const bool notYet = r == -EAGAIN || r == -ENOMEM || r == -ENOSPC;
        if (r == -EINVAL) return fail({MidiError::Other, "not a message the sequencer carries"});
        if (!notYet) return fail(sequencerError(r));
        if (std::chrono::steady_clock::now() >= deadline)
            return fail({MidiError::Stalled, "the receiver took nothing for " + std::to_string(stallBound_.count()) + " ms"});
        seq->waitForRoom(std::chrono::milliseconds(2));
    }
}

}  // namespace kf
