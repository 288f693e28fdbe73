#include "midi/winmm_backend.h"

#include <string>

#include "midi/bounded_call.h"

namespace kf {

WinMmBackend::WinMmBackend(std::shared_ptr<WinMmApi> api, std::chrono::milliseconds stallBound)
    : client_(std::move(api), MidiDirection::Out), stallBound_(stallBound) {}

WinMmBackend::~WinMmBackend() { close(); }

void CALLBACK WinMmBackend::callback(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    if (message != MOM_DONE) return;
    CallbackTargets<WinMmBackend>::with(instance, [param1](WinMmBackend& self) {
        auto* l = reinterpret_cast<Long*>(reinterpret_cast<MIDIHDR*>(param1)->dwUser);
        {
            std::lock_guard<std::mutex> lock(self.m_);
            l->done = true;
        }
        self.given_.notify_all();
    });
}

std::string WinMmBackend::ownPortName() {
    const std::string name = client_.mapperName();
    return name.empty() ? "MIDI Mapper" : name;
}

bool WinMmBackend::open(int id, MidiError* error) {
    close();
    if (id != -1 && !client_.checkId(id, error)) return false;
    const UINT device = id == -1 ? MIDI_MAPPER : static_cast<UINT>(id);
    HMIDIOUT out = nullptr;
    token_ = CallbackTargets<WinMmBackend>::add(this);
    const MMRESULT r = client_.api().outOpen(&out, device, reinterpret_cast<DWORD_PTR>(&callback), token_);
    if (r != MMSYSERR_NOERROR) {
        if (error) *error = client_.error(r, WinMmStage::Open);
        CallbackTargets<WinMmBackend>::remove(token_);
        return false;
    }
    out_ = out;
    sendError_ = {};
    driverError_ = {};
    return true;
}

bool WinMmBackend::release(Long& l) { return release(client_.api(), out_, l); }

bool WinMmBackend::release(WinMmApi& api, HMIDIOUT out, Long& l) {
    if (!l.prepared) return true;
    if (api.outUnprepareHeader(out, &l.header) != MMSYSERR_NOERROR) return false;
    l.prepared = false;
    return true;
}

std::size_t WinMmBackend::close() {
    if (!out_) return 0;
    // Every send waited for its message to leave, so nothing taken is still on its way. Only a
    // header the driver held on to needs the reset that gives it back: a reset also sends what
    // the driver thinks silences a device (Wine's sends controllers 120 and 121 on all sixteen
    // channels), which nobody asked the module for.
    struct Closing {
        std::shared_ptr<WinMmApi> api;
        HMIDIOUT out;
        std::unique_ptr<Long> last;
        std::vector<std::unique_ptr<Long>> held;
    };
    auto c = std::make_shared<Closing>(Closing{client_.sharedApi(), out_, std::move(long_), std::move(held_)});
    held_.clear();
    const bool closed = runBounded(
        [c] {
            if (!c->held.empty() || (c->last && c->last->prepared)) c->api->outReset(c->out);
            if (c->last) release(*c->api, c->out, *c->last);
            for (auto& l : c->held) release(*c->api, c->out, *l);
            c->api->outClose(c->out);
        },
        kCloseBound);
    // A late callback finds no one, whether the driver closed or not.
    CallbackTargets<WinMmBackend>::remove(token_);
    out_ = nullptr;
    if (!closed) driverError_ = {MidiError::ServerGone, "the MIDI driver does not answer"};
    return 0;
}

bool WinMmBackend::fail(MidiError why) {
    sendError_ = std::move(why);
    return false;
}

bool WinMmBackend::send(const std::uint8_t* data, std::size_t size) {
    if (!out_) return fail({MidiError::Other, "WinMM device not open"});
    if (size == 0) return fail({MidiError::Other, "empty message"});
    std::uint32_t packed = 0;
    if (!packShortMessage(data, size, &packed)) return sendLong(data, size);
    const MMRESULT r = client_.api().outShortMsg(out_, packed);
    if (r != MMSYSERR_NOERROR) return fail(client_.error(r, WinMmStage::Transfer));
    return true;
}

bool WinMmBackend::sendLong(const std::uint8_t* data, std::size_t size) {
    WinMmApi& api = client_.api();
    if (!long_) long_ = std::make_unique<Long>();
    Long& l = *long_;
    l.bytes.assign(data, data + size);
    l.header = MIDIHDR{};
    l.header.lpData = reinterpret_cast<LPSTR>(l.bytes.data());
    l.header.dwBufferLength = static_cast<DWORD>(size);
    l.header.dwBytesRecorded = static_cast<DWORD>(size);
    l.header.dwUser = reinterpret_cast<DWORD_PTR>(&l);
    MMRESULT r = api.outPrepareHeader(out_, &l.header);
    if (r != MMSYSERR_NOERROR) return fail(client_.error(r, WinMmStage::Transfer));
    l.prepared = true;
    {
        std::lock_guard<std::mutex> lock(m_);
        l.done = false;
    }
    r = api.outLongMsg(out_, &l.header);
    if (r != MMSYSERR_NOERROR) {
        release(l);
        return fail(client_.error(r, WinMmStage::Transfer));
    }
    const auto bound = stallBound_ + std::chrono::duration_cast<std::chrono::milliseconds>(kByteTime * size);
    bool done;
    {
        std::unique_lock<std::mutex> lock(m_);
        done = given_.wait_for(lock, bound, [&] { return l.done; });
    }
    if (!done) {
        // The reset ends the message and gives its header back, so its memory is ours again.
        api.outReset(out_);
        if (!release(l)) held_.push_back(std::move(long_));
        return fail({MidiError::Stalled, "the device took no SysEx for " + std::to_string(bound.count()) + " ms"});
    }
    if (!release(l)) {
        held_.push_back(std::move(long_));
        return fail({MidiError::Other, "the driver kept a finished SysEx"});
    }
    return true;
}

}  // namespace kf
