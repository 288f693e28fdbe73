// The WinMM calls the Windows transports make, behind a seam, and what both directions share:
// the devices a direction lists, by the names their drivers give, and what a failed call
// means. Tests put a WinMM of their own behind the seam to drive callbacks and failures.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>
#include <mmsystem.h>

#include "midi/midi_backend.h"
#include "midi/winmm_error.h"

namespace kf {

// A device's callback gets a number, not the object: Wine's driver hands messages over from a
// thread of its own and can hand one over after the close has returned (Windows' never does),
// when the object may be gone or open anew. A number of a closed device finds no one. The
// callback runs under the lock, so a close that forgets the number waits for one under way.
template <class T>
class CallbackTargets {
public:
    static DWORD_PTR add(T* target) {
        std::lock_guard<std::mutex> lock(m_);
        const DWORD_PTR id = next_++;
        targets_[id] = target;
        return id;
    }
    static void remove(DWORD_PTR id) {
        std::lock_guard<std::mutex> lock(m_);
        targets_.erase(id);
    }
    template <class F>
    static void with(DWORD_PTR id, F&& f) {
        std::lock_guard<std::mutex> lock(m_);
        const auto it = targets_.find(id);
        if (it != targets_.end()) f(*it->second);
    }

private:
    static inline std::mutex m_;
    static inline std::map<DWORD_PTR, T*> targets_;
    static inline DWORD_PTR next_ = 1;
};

class WinMmApi {
public:
    virtual ~WinMmApi() = default;

    virtual UINT outCount() = 0;
    virtual MMRESULT outCaps(UINT id, MIDIOUTCAPSW* caps) = 0;
    // callback is a MidiOutProc, called with instance (CALLBACK_FUNCTION).
    virtual MMRESULT outOpen(HMIDIOUT* out, UINT id, DWORD_PTR callback, DWORD_PTR instance) = 0;
    virtual MMRESULT outShortMsg(HMIDIOUT out, DWORD message) = 0;
    virtual MMRESULT outPrepareHeader(HMIDIOUT out, MIDIHDR* header) = 0;
    virtual MMRESULT outUnprepareHeader(HMIDIOUT out, MIDIHDR* header) = 0;
    virtual MMRESULT outLongMsg(HMIDIOUT out, MIDIHDR* header) = 0;
    virtual MMRESULT outReset(HMIDIOUT out) = 0;
    virtual MMRESULT outClose(HMIDIOUT out) = 0;

    virtual UINT inCount() = 0;
    virtual MMRESULT inCaps(UINT id, MIDIINCAPSW* caps) = 0;
    // callback is a MidiInProc, called with instance (CALLBACK_FUNCTION).
    virtual MMRESULT inOpen(HMIDIIN* in, UINT id, DWORD_PTR callback, DWORD_PTR instance) = 0;
    virtual MMRESULT inPrepareHeader(HMIDIIN in, MIDIHDR* header) = 0;
    virtual MMRESULT inUnprepareHeader(HMIDIIN in, MIDIHDR* header) = 0;
    virtual MMRESULT inAddBuffer(HMIDIIN in, MIDIHDR* header) = 0;
    virtual MMRESULT inStart(HMIDIIN in) = 0;
    virtual MMRESULT inStop(HMIDIIN in) = 0;
    virtual MMRESULT inReset(HMIDIIN in) = 0;
    virtual MMRESULT inClose(HMIDIIN in) = 0;

    // The system's words for a result; empty when it has none.
    virtual std::string errorText(MMRESULT result) = 0;
};

// winmm.dll.
std::shared_ptr<WinMmApi> makeSystemWinMm();

class WinMmClient {
public:
    WinMmClient(std::shared_ptr<WinMmApi> api, MidiDirection direction);

    WinMmApi& api() { return *api_; }
    // For a call that may outlive the client: one given up on a driver that does not return.
    std::shared_ptr<WinMmApi> sharedApi() const { return api_; }
    // The devices of this direction, by their drivers' names; the index is the WinMM device ID.
    std::vector<std::string> ports();
    // The output's MIDI mapper, by the name its driver gives; empty where there is none.
    std::string mapperName();
    // What a failed call at stage means, in the system's words where it has them.
    MidiError error(MMRESULT result, WinMmStage stage);
    // *error for a device ID that is not listed; false then.
    bool checkId(int id, MidiError* error);

private:
    std::shared_ptr<WinMmApi> api_;
    MidiDirection direction_;
};

}  // namespace kf
