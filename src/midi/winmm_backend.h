// MIDI output on WinMM. Short messages go out at once; SysEx goes as a long message on a
// prepared header, and the send waits (on the sender's thread, never the window's) until the
// driver gives the header back, for no longer than the stall bound plus the message's time on
// the cable. A header the driver keeps is taken back with a reset before its memory goes. The
// close waits for the driver within a bound too: one that never returns is left the handle
// and every header it may still write to.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "midi/winmm_client.h"

namespace kf {

class WinMmBackend : public MidiBackend {
public:
    // How long a long message may wait, beyond its own time on the cable, for the driver to
    // give its header back.
    static constexpr std::chrono::milliseconds kStallBound{1000};
    // One byte at cable speed: 10 bits at 31,250 baud.
    static constexpr std::chrono::microseconds kByteTime{320};
    // How long closing (the reset that takes held headers back, then the close) may take.
    static constexpr std::chrono::milliseconds kCloseBound{1000};

    explicit WinMmBackend(std::shared_ptr<WinMmApi> api = makeSystemWinMm(),
                          std::chrono::milliseconds stallBound = kStallBound);
    ~WinMmBackend() override;

    std::vector<std::string> ports() override { return client_.ports(); }
    // The MIDI mapper's name, as the system gives it.
    std::string ownPortName() override;
    // -1 is the MIDI mapper: WinMM has no port of our own for others to connect.
    bool open(int id, MidiError* error) override;
    std::size_t close() override;
    bool send(const std::uint8_t* data, std::size_t size) override;
    MidiError sendError() const override { return sendError_; }
    MidiError serverError() const override { return driverError_; }

private:
    // The header of a long message, and its bytes.
    struct Long {
        MIDIHDR header{};
        std::vector<std::uint8_t> bytes;
        bool prepared = false;
        bool done = false;  // given back by the driver; under m_
    };

    static void CALLBACK callback(HMIDIOUT out, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
    bool sendLong(const std::uint8_t* data, std::size_t size);
    // Unprepares l; false when the driver still holds it.
    bool release(Long& l);
    static bool release(WinMmApi& api, HMIDIOUT out, Long& l);
    bool fail(MidiError why);

    WinMmClient client_;
    std::chrono::milliseconds stallBound_;
    HMIDIOUT out_ = nullptr;
    DWORD_PTR token_ = 0;  // what the callback gets for this open
    std::unique_ptr<Long> long_;
    // Headers the driver would not give back even after a reset: kept until close.
    std::vector<std::unique_ptr<Long>> held_;
    std::mutex m_;
    std::condition_variable given_;
    MidiError sendError_;
    MidiError driverError_;  // a close the driver never finished
};

}  // namespace kf
