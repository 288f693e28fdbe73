// A MidiOut on the recording backend and a clock that jumps: a paced schedule runs at full
// speed, and what was sent is there to read once flushed. The recorder lists six ports, A to
// F, so that a test can open one, another, and one that is not there.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gs/sysex.h"
#include "midi/midi_out.h"
#include "recording_backend.h"

namespace kf::test {

struct RecordedOut {
    enum Port { Closed, Open };  // Open: on port 0

    std::shared_ptr<JumpClock> clock = std::make_shared<JumpClock>();
    RecordingBackend* rec;
    MidiOut out;

    explicit RecordedOut(Port port = Closed, std::unique_ptr<RecordingBackend> r = std::make_unique<RecordingBackend>())
        : rec(r.get()), out(std::move(r), clock) {
        rec->portNames = {"A", "B", "C", "D", "E", "F"};
        rec->clock = clock;
        if (port == Open) out.openPort(0);
    }
    const std::vector<MidiBytes>& sent() {
        out.flush();
        return rec->sent;
    }
    std::vector<std::string> hex() {
        std::vector<std::string> v;
        for (const auto& m : sent()) v.push_back(hexText(m));
        return v;
    }
};

}  // namespace kf::test
