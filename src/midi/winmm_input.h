// MIDI input on WinMM. The driver calls back on a thread of its own: short messages arrive
// unpacked to their bytes, SysEx in the buffers we lend it, a long one across several. Each
// buffer is lent again as soon as it comes back, except while the device closes.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "midi/midi_in.h"
#include "midi/winmm_client.h"

namespace kf {

class WinMmInput : public MidiInBackend {
public:
    // Buffers lent to the driver for SysEx, and the size of each: a dump longer than all of
    // them together arrives whole as long as we lend each back before the others fill.
    static constexpr std::size_t kBuffers = 4;
    static constexpr std::size_t kBufferSize = 4096;

    explicit WinMmInput(std::shared_ptr<WinMmApi> api = makeSystemWinMm());
    ~WinMmInput() override;

    std::vector<std::string> ports() override { return client_.ports(); }
    std::string ownPortName() override { return {}; }
    // WinMM has no port of our own for others to connect to: -1 opens nothing.
    bool open(int id, const Bytes& bytes, MidiError* error) override;
    void close() override;
    void onFailure(Failed failed) override { failed_ = std::move(failed); }

private:
    struct Buffer {
        MIDIHDR header{};
        std::vector<char> bytes;
        bool prepared = false;
    };

    static void CALLBACK callback(HMIDIIN in, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
    void received(UINT message, DWORD_PTR param1);
    void report(const MidiError& why);
    // Unprepares the buffers and closes the device.
    void freeBuffersAndClose();

    WinMmClient client_;
    Failed failed_;
    Bytes bytes_;
    HMIDIIN in_ = nullptr;
    DWORD_PTR token_ = 0;  // what the callback gets for this open
    std::vector<std::unique_ptr<Buffer>> buffers_;
    // Set before the device is stopped: buffers that come back then stay with us.
    std::atomic<bool> closing_{false};
    // Held while the driver's thread hands a message on: the close waits for that to end
    // before it lets the handler and the buffers go.
    std::mutex receiving_;
};

}  // namespace kf
