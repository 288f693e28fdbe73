#include "midi/winmm_client.h"

#include <cwchar>

#include "platform/utf16.h"

namespace kf {

static_assert(winmm_result::kNoError == MMSYSERR_NOERROR && winmm_result::kError == MMSYSERR_ERROR &&
              winmm_result::kBadDeviceId == MMSYSERR_BADDEVICEID && winmm_result::kNotEnabled == MMSYSERR_NOTENABLED &&
              winmm_result::kAllocated == MMSYSERR_ALLOCATED && winmm_result::kInvalHandle == MMSYSERR_INVALHANDLE &&
              winmm_result::kNoDriver == MMSYSERR_NODRIVER && winmm_result::kNoMem == MMSYSERR_NOMEM &&
              winmm_result::kNotSupported == MMSYSERR_NOTSUPPORTED && winmm_result::kInvalFlag == MMSYSERR_INVALFLAG &&
              winmm_result::kInvalParam == MMSYSERR_INVALPARAM && winmm_result::kHandleBusy == MMSYSERR_HANDLEBUSY &&
              winmm_result::kUnprepared == MIDIERR_UNPREPARED && winmm_result::kStillPlaying == MIDIERR_STILLPLAYING &&
              winmm_result::kNoMap == MIDIERR_NOMAP && winmm_result::kNotReady == MIDIERR_NOTREADY &&
              winmm_result::kNoDevice == MIDIERR_NODEVICE && winmm_result::kInvalidSetup == MIDIERR_INVALIDSETUP &&
              winmm_result::kBadOpenMode == MIDIERR_BADOPENMODE,
              "winmm_error.h numbers the results as mmsystem.h does");

namespace {

class SystemWinMm : public WinMmApi {
public:
    UINT outCount() override { return ::midiOutGetNumDevs(); }
    MMRESULT outCaps(UINT id, MIDIOUTCAPSW* caps) override { return ::midiOutGetDevCapsW(id, caps, sizeof *caps); }
    MMRESULT outOpen(HMIDIOUT* out, UINT id, DWORD_PTR callback, DWORD_PTR instance) override {
        return ::midiOutOpen(out, id, callback, instance, CALLBACK_FUNCTION);
    }
    MMRESULT outShortMsg(HMIDIOUT out, DWORD message) override { return ::midiOutShortMsg(out, message); }
    MMRESULT outPrepareHeader(HMIDIOUT out, MIDIHDR* h) override { return ::midiOutPrepareHeader(out, h, sizeof *h); }
    MMRESULT outUnprepareHeader(HMIDIOUT out, MIDIHDR* h) override {
        return ::midiOutUnprepareHeader(out, h, sizeof *h);
    }
    MMRESULT outLongMsg(HMIDIOUT out, MIDIHDR* h) override { return ::midiOutLongMsg(out, h, sizeof *h); }
    MMRESULT outReset(HMIDIOUT out) override { return ::midiOutReset(out); }
    MMRESULT outClose(HMIDIOUT out) override { return ::midiOutClose(out); }

    UINT inCount() override { return ::midiInGetNumDevs(); }
    MMRESULT inCaps(UINT id, MIDIINCAPSW* caps) override { return ::midiInGetDevCapsW(id, caps, sizeof *caps); }
    MMRESULT inOpen(HMIDIIN* in, UINT id, DWORD_PTR callback, DWORD_PTR instance) override {
        return ::midiInOpen(in, id, callback, instance, CALLBACK_FUNCTION);
    }
    MMRESULT inPrepareHeader(HMIDIIN in, MIDIHDR* h) override { return ::midiInPrepareHeader(in, h, sizeof *h); }
    MMRESULT inUnprepareHeader(HMIDIIN in, MIDIHDR* h) override { return ::midiInUnprepareHeader(in, h, sizeof *h); }
    MMRESULT inAddBuffer(HMIDIIN in, MIDIHDR* h) override { return ::midiInAddBuffer(in, h, sizeof *h); }
    MMRESULT inStart(HMIDIIN in) override { return ::midiInStart(in); }
    MMRESULT inStop(HMIDIIN in) override { return ::midiInStop(in); }
    MMRESULT inReset(HMIDIIN in) override { return ::midiInReset(in); }
    MMRESULT inClose(HMIDIIN in) override { return ::midiInClose(in); }

    std::string errorText(MMRESULT result) override {
        wchar_t text[MAXERRORLENGTH] = {};
        if (::midiOutGetErrorTextW(result, text, MAXERRORLENGTH) != MMSYSERR_NOERROR) return {};
        return fromUtf16(text);
    }
};

// A driver's name fills the field to its end without a terminator.
template <std::size_t N>
std::string nameOf(const WCHAR (&name)[N]) {
    return fromUtf16(std::wstring_view(name, ::wcsnlen(name, N)));
}

}  // namespace

std::shared_ptr<WinMmApi> makeSystemWinMm() { return std::make_shared<SystemWinMm>(); }

WinMmClient::WinMmClient(std::shared_ptr<WinMmApi> api, MidiDirection direction)
    : api_(std::move(api)), direction_(direction) {}

std::vector<std::string> WinMmClient::ports() {
    std::vector<std::string> names;
    // A device whose driver does not answer keeps its place: the index is its ID.
    if (direction_ == MidiDirection::Out) {
        const UINT n = api_->outCount();
        for (UINT id = 0; id < n; ++id) {
            MIDIOUTCAPSW caps{};
            names.push_back(api_->outCaps(id, &caps) == MMSYSERR_NOERROR ? nameOf(caps.szPname) : std::string());
        }
    } else {
        const UINT n = api_->inCount();
        for (UINT id = 0; id < n; ++id) {
            MIDIINCAPSW caps{};
            names.push_back(api_->inCaps(id, &caps) == MMSYSERR_NOERROR ? nameOf(caps.szPname) : std::string());
        }
    }
    return names;
}

std::string WinMmClient::mapperName() {
    MIDIOUTCAPSW caps{};
    return api_->outCaps(MIDI_MAPPER, &caps) == MMSYSERR_NOERROR ? nameOf(caps.szPname) : std::string();
}

MidiError WinMmClient::error(MMRESULT result, WinMmStage stage) {
    std::string text = api_->errorText(result);
    if (text.empty()) text = "WinMM error " + std::to_string(result);
    return {winMmErrorKind(result, stage), std::move(text)};
}

bool WinMmClient::checkId(int id, MidiError* error) {
    const UINT count = direction_ == MidiDirection::Out ? api_->outCount() : api_->inCount();
    if (id >= 0 && static_cast<UINT>(id) < count) return true;
    if (error) *error = {MidiError::NoSuchPort, "no such WinMM device"};
    return false;
}

}  // namespace kf
