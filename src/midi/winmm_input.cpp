#include "midi/winmm_input.h"

namespace kf {

WinMmInput::WinMmInput(std::shared_ptr<WinMmApi> api) : client_(std::move(api), MidiDirection::In) {}

WinMmInput::~WinMmInput() { close(); }

void CALLBACK WinMmInput::callback(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    CallbackTargets<WinMmInput>::with(instance, [&](WinMmInput& self) { self.received(message, param1); });
}

void WinMmInput::report(const MidiError& why) {
    if (failed_) failed_(why);
}

void WinMmInput::received(UINT message, DWORD_PTR param1) {
    std::lock_guard<std::mutex> lock(receiving_);
    if (closing_) return;
    switch (message) {
        case MIM_DATA: {
            std::uint8_t data[3];
            const std::size_t n = unpackShortMessage(static_cast<std::uint32_t>(param1), data);
            if (n > 0) bytes_(data, n);
            break;
        }
        case MIM_LONGDATA:
        case MIM_LONGERROR: {
            auto* header = reinterpret_cast<MIDIHDR*>(param1);
            // A broken SysEx (cut short, or with no buffer left for its rest) is lost; the
            // assembler drops what came of it once the next status byte arrives.
            if (message == MIM_LONGERROR) report({MidiError::Overrun, "WinMM input: a SysEx came in broken"});
            else if (header->dwBytesRecorded > 0)
                bytes_(reinterpret_cast<const std::uint8_t*>(header->lpData), header->dwBytesRecorded);
            // Lent again at once, from the callback: a buffer that waited for another thread
            // could leave the driver none for the rest of a long dump.
            header->dwBytesRecorded = 0;
            const MMRESULT r = client_.api().inAddBuffer(in_, header);
            if (r != MMSYSERR_NOERROR) {
                // One buffer fewer: SysEx that finds none left is lost.
                MidiError why = client_.error(r, WinMmStage::Transfer);
                if (!why.lost()) why.kind = MidiError::Overrun;
                report(why);
            }
            break;
        }
        case MIM_ERROR:  // not a MIDI message: dropped, as stray bytes are
        default: break;
    }
}

bool WinMmInput::open(int id, const Bytes& bytes, MidiError* error) {
    close();
    if (id == -1) {
        if (error) *error = {MidiError::NoSuchPort, "WinMM has no port of our own: choose an input device"};
        return false;
    }
    if (!client_.checkId(id, error)) return false;
    WinMmApi& api = client_.api();
    bytes_ = bytes;
    closing_ = false;
    HMIDIIN in = nullptr;
    token_ = CallbackTargets<WinMmInput>::add(this);
    MMRESULT r = api.inOpen(&in, static_cast<UINT>(id), reinterpret_cast<DWORD_PTR>(&callback), token_);
    if (r != MMSYSERR_NOERROR) {
        if (error) *error = client_.error(r, WinMmStage::Open);
        CallbackTargets<WinMmInput>::remove(token_);
        bytes_ = nullptr;
        return false;
    }
    in_ = in;
    for (std::size_t i = 0; i < kBuffers && r == MMSYSERR_NOERROR; ++i) {
        auto b = std::make_unique<Buffer>();
        b->bytes.resize(kBufferSize);
        b->header.lpData = b->bytes.data();
        b->header.dwBufferLength = static_cast<DWORD>(b->bytes.size());
        r = api.inPrepareHeader(in_, &b->header);
        if (r != MMSYSERR_NOERROR) break;
        b->prepared = true;
        buffers_.push_back(std::move(b));
        r = api.inAddBuffer(in_, &buffers_.back()->header);
    }
    if (r == MMSYSERR_NOERROR) r = api.inStart(in_);
    if (r != MMSYSERR_NOERROR) {
        if (error) *error = client_.error(r, WinMmStage::Open);
        closing_ = true;
        api.inReset(in_);
        freeBuffersAndClose();
        return false;
    }
    return true;
}

void WinMmInput::freeBuffersAndClose() {
    WinMmApi& api = client_.api();
    for (auto& b : buffers_) {
        // A buffer the driver still holds may yet be written: it is left to it, never freed.
        if (b->prepared && api.inUnprepareHeader(in_, &b->header) != MMSYSERR_NOERROR) b.release();
    }
    buffers_.clear();
    api.inClose(in_);
    CallbackTargets<WinMmInput>::remove(token_);
    in_ = nullptr;
    bytes_ = nullptr;
}

void WinMmInput::close() {
    if (!in_) return;
    // Closing first: the reset hands every buffer back through the callback, which must lend
    // none of them again or they could not be unprepared. Set once no message is being handed
    // on, so none is after; not held across the reset, whose callbacks may come on this thread.
    {
        std::lock_guard<std::mutex> lock(receiving_);
        closing_ = true;
    }
    client_.api().inStop(in_);
    client_.api().inReset(in_);
    freeBuffersAndClose();
}

}  // namespace kf
