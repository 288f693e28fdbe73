// One RtMidi client of the program's own, for either direction: made on the platform's own API,
// the ports it lists, our port "Kitforge" opened on one of them (or as a virtual port), and what
// RtMidi reports meaning to the user at the stage under way. Defined inline: only the two
// RtMidi directions include it, and they are the files a build with RtMidi compiles.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <rtmidi/RtMidi.h>

#include "midi/midi_backend.h"
#include "midi/rtmidi_error.h"

namespace kf {

static_assert(RtMidiError::WARNING == rtmidi_type::kWarning && RtMidiError::DEBUG_WARNING == rtmidi_type::kDebugWarning &&
                  RtMidiError::UNSPECIFIED == rtmidi_type::kUnspecified &&
                  RtMidiError::NO_DEVICES_FOUND == rtmidi_type::kNoDevicesFound &&
                  RtMidiError::INVALID_DEVICE == rtmidi_type::kInvalidDevice &&
                  RtMidiError::MEMORY_ERROR == rtmidi_type::kMemoryError &&
                  RtMidiError::INVALID_PARAMETER == rtmidi_type::kInvalidParameter &&
                  RtMidiError::INVALID_USE == rtmidi_type::kInvalidUse &&
                  RtMidiError::DRIVER_ERROR == rtmidi_type::kDriverError &&
                  RtMidiError::SYSTEM_ERROR == rtmidi_type::kSystemError &&
                  RtMidiError::THREAD_ERROR == rtmidi_type::kThreadError,
              "RtMidi numbers its error types otherwise: rtmidi_error.h must follow");

class RtMidiClient {
public:
    using Failed = std::function<void(const MidiError& why)>;

    explicit RtMidiClient(MidiDirection direction) {
        try {
            if (direction == MidiDirection::In) {
                in_ = std::make_unique<RtMidiIn>(platformApi(), kName);
                // SysEx is what the module answers with: take it; timing and sensing are not ours.
                in_->ignoreTypes(false, true, true);
                midi_ = in_.get();
            } else {
                out_ = std::make_unique<RtMidiOut>(platformApi(), kName);
                midi_ = out_.get();
            }
            midi_->setErrorCallback(&RtMidiClient::onError, this);
        } catch (const RtMidiError& e) {
            error_ = {rtMidiErrorKind(e.getType(), RtMidiStage::Setup), e.getMessage()};
            drop();
        } catch (...) {
            drop();
        }
    }
    // RtMidi calls back with this client's address.
    RtMidiClient(const RtMidiClient&) = delete;
    RtMidiClient& operator=(const RtMidiClient&) = delete;

    // False when the platform API could not be opened.
    bool available() const { return midi_ != nullptr; }
    // The direction's own calls; null for the other direction or when unavailable.
    RtMidiIn* in() { return in_.get(); }
    RtMidiOut* out() { return out_.get(); }

    std::vector<std::string> ports() {
        std::vector<std::string> names;
        if (!midi_) return names;
        const unsigned count = midi_->getPortCount();
        for (unsigned i = 0; i < count; ++i) names.push_back(midi_->getPortName(i));
        return names;
    }

    // Our port on the port listed at id, or a virtual port for -1 where the API has them; false,
    // with *error, when it did not open, and then nothing is left open.
    bool open(int id, MidiError* error) {
        if (!midi_) {
            if (error) *error = error_.kind != MidiError::None ? error_ : MidiError{MidiError::NoMidiSystem, "no MIDI system"};
            return false;
        }
        begin(RtMidiStage::Open);
        bool listed = true;
        if (id == -1) midi_->openVirtualPort(kName);
        else if (id >= 0 && id < static_cast<int>(midi_->getPortCount())) midi_->openPort(static_cast<unsigned>(id), kName);
        else listed = false;
        // A virtual port is open with no connection, which isPortOpen() would deny.
        const bool connected = id == -1 || (listed && midi_->isPortOpen());
        MidiError why = this->error();
        if (!listed) why = {MidiError::NoSuchPort, "no such port"};
        else if (why.kind == MidiError::None && !connected) why = {MidiError::Other, "port did not open"};
        if (why.kind == MidiError::None) return true;
        if (error) *error = why;
        midi_->closePort();
        return false;
    }

    void close() {
        if (!midi_) return;
        // What closing may warn of is no failure of the port.
        begin(RtMidiStage::Open);
        midi_->closePort();
    }

    // What RtMidi reports from now on is of stage, and the first failure of it is error().
    void begin(RtMidiStage stage) {
        std::lock_guard<std::mutex> lock(m_);
        stage_ = stage;
        error_ = {};
    }
    // The first failure of the stage under way; why the client could not be made, when it
    // could not.
    MidiError error() const {
        std::lock_guard<std::mutex> lock(m_);
        return error_;
    }
    // Told of a failure while receiving, on RtMidi's thread; the other stages keep theirs for
    // error().
    void onReceiveFailure(Failed failed) {
        std::lock_guard<std::mutex> lock(m_);
        failed_ = std::move(failed);
    }

private:
    static constexpr const char* kName = "Kitforge";

    // The same for both directions. Left to choose, RtMidi takes for each direction the first
    // API it was built with that has ports: that can be JACK, which has transports of its own
    // here, and the two directions can land on different APIs.
    static RtMidi::Api platformApi() {
#if defined(__APPLE__)
        return RtMidi::MACOSX_CORE;
#else
        return RtMidi::UNSPECIFIED;
#endif
    }

    static void onError(RtMidiError::Type type, const std::string& text, void* self) {
        auto* me = static_cast<RtMidiClient*>(self);
        Failed failed;
        MidiError why;
        {
            std::lock_guard<std::mutex> lock(me->m_);
            why = {rtMidiErrorKind(static_cast<int>(type), me->stage_), text};
            // A debug note is no failure.
            if (why.kind == MidiError::None) return;
            if (me->stage_ != RtMidiStage::Receive) {
                if (me->error_.kind == MidiError::None) me->error_ = why;
                return;
            }
            failed = me->failed_;
        }
        if (failed) failed(why);
    }

    void drop() {
        midi_ = nullptr;
        in_.reset();
        out_.reset();
    }

    std::unique_ptr<RtMidiIn> in_;
    std::unique_ptr<RtMidiOut> out_;
    RtMidi* midi_ = nullptr;  // whichever of the two there is
    // Never held over an RtMidi call: RtMidi reports from inside its calls, through onError.
    mutable std::mutex m_;
    RtMidiStage stage_ = RtMidiStage::Setup;
    MidiError error_;
    Failed failed_;
};

}  // namespace kf
