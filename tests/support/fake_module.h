// A module for tests: holds two user drum sets and answers GS data requests (RQ1) of the user
// drum area with the exact DT1 the module sends, or, as told, with nothing, with every k-th
// answer left out, or with a wrong checksum.
#pragma once

#include <optional>
#include <set>

#include "midi/midi_backend.h"
#include "model/kit.h"

namespace kf::test {

class FakeModule {
public:
    explicit FakeModule(Kit kit) : kit_(std::move(kit)) {}
    bool silent = false;
    long silentAfter = -1;   // answers this many requests, then no more
    int dropEvery = 0;       // 0: none left out; a request asked again is answered
    bool badChecksum = false;
    std::uint8_t deviceId = 0x10;

    // The answer to a message, if it gets one.
    std::optional<MidiBytes> answer(const MidiBytes& request);
    long requests() const { return requests_; }
    long dropped() const { return static_cast<long>(dropped_.size()); }

private:
    Kit kit_;
    long requests_ = 0;
    std::set<MidiBytes> dropped_;
};

}  // namespace kf::test
