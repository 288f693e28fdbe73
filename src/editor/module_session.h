// The editor's line to the module, and its only holder: the paced queue out and the input in,
// whether preview is on, the port's opening at start and its close, reading the kit back, and
// everything the module hears (edits, names, whole kits, device commands, notes sounded). What
// goes out goes through the one paced queue; nothing here knows the document or any widget.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gs/device_commands.h"
#include "gs/kit_fetch.h"
#include "gs/kit_verify.h"
#include "midi/midi_in.h"
#include "midi/midi_out.h"

namespace kf::ui {

class EditorTestAccess;

// The queue watcher the operations wait on or cancel; the status bar's transfer monitor.
class TransferWatch {
public:
    virtual bool active() const = 0;
    virtual void TransferCancelClick() = 0;
    virtual bool waitUntilSent() = 0;
    // Lets the window run, showing done of planned, until finished() says so; 中止 calls cancel.
    struct Work {
        std::function<std::pair<int, int>()> progress;  // done, planned
        std::function<bool()> finished;
        std::function<void()> cancel;
        std::string label = "読み込み中";  // what the progress says is under way
    };
    virtual void waitFor(const Work& work) = 0;
    // Lets the window run, showing nothing, until done() says so.
    virtual void waitUntil(const std::function<bool()>& done) = 0;

protected:
    ~TransferWatch() = default;
};

// The port a direction opens for wanted: wanted itself while it is listed (or the built-in
// synth while there is one), else -1, the default. Only a numbered port is checked against the
// list: the default needs none, and making one can cost as much as the open itself (a client of
// the JACK server). Lists, so it runs on the device's owner thread.
template <class Device>
int portToOpen(Device& device, int wanted) {
    if (wanted >= 0 && wanted >= device.deviceCount()) return -1;
    if (wanted < Device::kBuiltInSynth || (wanted == Device::kBuiltInSynth && device.deviceName(wanted).empty()))
        return -1;
    return wanted;
}

// The transports the session runs its queue and its input on.
struct ModuleLine {
    std::unique_ptr<MidiBackend> output;
    std::unique_ptr<MidiInBackend> input;
    std::shared_ptr<SenderClock> clock = std::make_shared<SteadySenderClock>();
};

class ModuleSession {
public:
    // keyStruck(note) hears each note-on from the input that is no fetch's answer, on the
    // input's thread.
    explicit ModuleSession(ModuleLine line, std::function<void(int note)> keyStruck = {});
    ~ModuleSession();
    ModuleSession(const ModuleSession&) = delete;
    ModuleSession& operator=(const ModuleSession&) = delete;

    bool preview() const { return preview_; }
    // The port is still opening on the sender thread.
    bool starting() const { return starting_; }
    std::uint8_t lastSoundedNote() const { return lastSoundedNote_; }
    int outputCount() const { return out_.deviceCount(); }
    std::string outputName(int id) const { return out_.deviceName(id); }
    int inputCount() const { return in_.deviceCount(); }
    std::string inputName(int id) const { return in_.deviceName(id); }
    SendProgress progress() const { return out_.progress(); }

    // --- What the editor controller runs.
    void send(const MidiBytes& message) { out_.sendLong(message); }
    void sendShort(const MidiBytes& message) { out_.sendShort(message[0], message[1], message[2]); }
    // Every parameter of a note, in the panel's order.
    void sendNote(const Kit& kit, int set, int note);
    // A set's name, then its program change, so the module plays the set under its new name.
    void sendSetName(const Kit& kit, int set);
    // The whole kit, set by set; pump runs after each set.
    void sendKit(const Kit& kit, const std::function<void()>& pump) { sendKitTransfer(out_, kit, pump); }
    // What switching preview on sends: the rhythm part and the part sends, the whole kit when
    // preview was off; pump runs after each set.
    void sendSwitchOn(const Kit& kit, bool wasOff, const std::function<void()>& pump, const PartSends& sends);
    void setPacing(const Pacing& pacing) { out_.setPacing(pacing); }
    // Runs f on the output's transport, on its owner thread (the built-in synth's options).
    void configureOutput(const std::function<void(MidiBackend&)>& f) { out_.configure(f); }
    bool outputOpen() const { return out_.isOpen(); }
    bool openOutput(int port) { return out_.openPort(port); }
    MidiError outputOpenError() const { return out_.lastOpenError(); }
    // Opens the output on wanted (checked as portToOpen does) off the window's thread, first
    // going out ahead of anything sent meanwhile, which waits for it when on; then
    // opened(port, ok) on the sender thread.
    void openOutputLater(int wanted, bool on, std::vector<MidiBytes> first, std::function<void(int port, bool ok)> opened);
    void watchQueue(std::function<void()> observer, std::function<void(const std::string&)> drop);
    void cancelQueue() { out_.cancel(); }
    void releaseQueue() { out_.flush(std::chrono::milliseconds(0)); }
    void setPreview(bool on) { preview_ = on; }
    void setStarting(bool on) { starting_ = on; }
    // Opens the input on port wanted, checked against the ports there are as the output is:
    // one no longer listed falls back to -1. The input's owner thread lists and opens, so the
    // window never waits on its transport; taken(port) follows there. thru: a keyboard plays
    // the set being edited.
    void openInput(int wanted, bool thru, std::function<void(int port)> taken);
    // Both directions close; the input on its owner thread.
    void closePorts();
    // The output closes once what is queued has gone: the program's end.
    void closeOutput() { out_.closePort(); }
    // The set a keyboard plays.
    void setThruSet(int set) { thruSet_ = set; }

    struct Fetch {
        KitFetch::State state = KitFetch::State::NoAnswer;
        Kit kit;
        FetchSummary summary;
        std::optional<MidiError> inputError;  // why the input did not open, when it did not
        int inputPort = -1;                   // the port the input took
    };
    // Both user drum sets read back through the open output and the input on port wanted,
    // opened off the window's thread; the watch shows the progress and may cancel.
    Fetch fetch(const ReferenceTables* tables, bool oneByOne, int wantedInput, bool thru, TransferWatch* watch);

    // The module compared with kit the same way; result.kit stays empty.
    struct Compare {
        VerifyReport report;
        std::optional<MidiError> inputError;
        int inputPort = -1;
    };
    Compare compare(const Kit& kit, bool oneByOne, int wantedInput, bool thru, TransferWatch* watch);
    // Sends what differs and compares again, up to kRepairRounds times, each message
    // followed by at least kRepairPauseMs of quiet; the watch shows both and may stop them.
    Compare repair(const Kit& kit, VerifyReport start, bool oneByOne, int wantedInput, bool thru, TransferWatch* watch);

    // Notes sounded by hand, at velocity, on the rhythm part (set's program) or on the part
    // that plays presets.
    void noteOn(int set, int note, int velocity);
    void noteOff();
    void presetNoteOn(int map, int program, int note, int velocity);
    void presetNoteOff(int note);
    void holdPresetNote(int map, int program, int note, int velocity);
    void releasePresetNote() { presetNoteOff(lastSoundedNote_); }
    // A short note, on and off at once: an edit made heard.
    void audition(int set, int note, int velocity);
    void sendDeviceCommand(int command, const PartSends& sends);

private:
    // On the input's thread: answers to a fetch under way, else notes to play through and
    // to tell keyStruck_.
    void received(const MidiBytes& message);
    // Runs job's reads to their end, off the window's thread, the watch showing them as label.
    // False when the input did not open.
    bool read(KitFetch& job, int wantedInput, bool thru, TransferWatch* watch, const char* label,
              std::optional<MidiError>* inputError, int* inputPort);
    // Messages out with the pause a repair needs; false when the user stopped them.
    bool sendPaced(const std::vector<MidiBytes>& messages, TransferWatch* watch);

    friend class EditorTestAccess;

    // Mutable: listing the ports asks the transport, which changes nothing the session shows.
    mutable MidiOut out_;
    mutable MidiIn in_;
    bool preview_ = true;  // counts as on until the settings are applied
    bool starting_ = false;
    std::uint8_t lastSoundedNote_ = 0;
    // What the input's thread reads.
    std::mutex inputMutex_;
    std::function<void(const MidiBytes&)> fetchSink_;
    std::atomic<int> thruSet_{1};
    std::atomic<bool> thru_{false};
    const std::function<void(int note)> keyStruck_;
};

}  // namespace kf::ui
