#include "editor/module_session.h"

#include <algorithm>
#include <thread>

#include "gs/device_commands.h"
#include "gs/sysex.h"
#include "midi/midi_bytes.h"

namespace kf::ui {

ModuleSession::ModuleSession(ModuleLine line, std::function<void(int note)> keyStruck)
    : out_(std::move(line.output), std::move(line.clock)), in_(std::move(line.input)), keyStruck_(std::move(keyStruck)) {
    in_.setHandler([this](const MidiBytes& message) { received(message); });
}

ModuleSession::~ModuleSession() { in_.setHandler({}); }

namespace {
// Opens the input on wanted unless it is open there already; *port: the port it took. Lists
// and opens, so it runs on the input's owner thread.
bool openInputOn(MidiIn& input, int wanted, int* port) {
    *port = wanted;
    if (input.isOpen() && input.port() == wanted) return true;
    *port = portToOpen(input, wanted);
    return input.openPort(*port);
}
}  // namespace

void ModuleSession::openInput(int wanted, bool thru, std::function<void(int port)> taken) {
    thru_ = thru;
    MidiIn& in = in_;
    in.later([&in, wanted, taken = std::move(taken)] {
        int port = wanted;
        openInputOn(in, wanted, &port);
        if (taken) taken(port);
    });
}

void ModuleSession::sendNote(const Kit& kit, int set, int note) { sendWholeNote(out_, kit, set, note); }

void ModuleSession::sendSetName(const Kit& kit, int set) {
    out_.sendLong(buildNameMessage(kit, set));
    sendSetProgramChange(out_, set);
}

void ModuleSession::sendSwitchOn(const Kit& kit, bool wasOff, const std::function<void()>& pump, const PartSends& sends) {
    sendSwitchOnSequence(out_, kit, wasOff, pump, sends);
}

void ModuleSession::openOutputLater(int wanted, bool on, std::vector<MidiBytes> first,
                                 std::function<void(int port, bool ok)> opened) {
    MidiOut& out = out_;
    if (on) out.expectOpen();
    out.later([&out, wanted, on, first = std::move(first), opened = std::move(opened)] {
        // The built-in synth stays chosen whatever ports come and go, where there is one.
        const int port = portToOpen(out, wanted);
        opened(port, on && out.openPort(port, first));
    });
}

void ModuleSession::watchQueue(std::function<void()> observer, std::function<void(const std::string&)> drop) {
    out_.setObserver(std::move(observer));
    out_.setDropHandler(std::move(drop));
}

void ModuleSession::closePorts() {
    out_.closePort();
    MidiIn& in = in_;
    in.later([&in] { in.closePort(); });
}

void ModuleSession::received(const MidiBytes& m) {
    {
        std::lock_guard<std::mutex> lock(inputMutex_);
        if (fetchSink_) {
            fetchSink_(m);
            return;
        }
    }
    if (m.size() != 3) return;
    const std::uint8_t kind = m[0] & 0xF0;
    if (kind != midi::kNoteOn && kind != midi::kNoteOff) return;
    // A note-on of velocity 0 is a note-off.
    const bool struck = kind == midi::kNoteOn && m[2] != 0;
    if (struck && keyStruck_) keyStruck_(m[1]);
    if (!thru_) return;
    // A keyboard plays the set being edited: its notes, any channel, on the rhythm channel.
    if (struck) sendSetProgramChange(out_, thruSet_);
    out_.sendShort(midi::status(kind, midi::kRhythmChannel), m[1], m[2]);
}

bool ModuleSession::read(KitFetch& job, int wantedInput, bool thru, TransferWatch* watch, const char* label,
                      std::optional<MidiError>* inputError, int* inputPort) {
    thru_ = thru;
    std::atomic<bool> cancel{false}, finished{false};
    std::atomic<int> done{0}, planned{job.planned()};
    // A wait on the queue lets it go; the requests must leave as they are made.
    out_.flush(std::chrono::milliseconds(0));
    bool opened = false;
    std::thread worker([&] {
        // The input opens here, off the window's thread: its transport may keep it waiting.
        in_.run([&] { opened = openInputOn(in_, wantedInput, inputPort); });
        if (!opened) {
            *inputError = in_.lastOpenError();
            finished = true;
            return;
        }
        runFetch(
            job, out_,
            [this](std::function<void(const MidiBytes&)> take) {
                std::lock_guard<std::mutex> lock(inputMutex_);
                fetchSink_ = std::move(take);
            },
            cancel,
            [&](int d, int p) {
                done = d;
                planned = p;
            });
        finished = true;
    });
    if (watch) {
        TransferWatch::Work work;
        work.progress = [&] { return std::make_pair(done.load(), planned.load()); };
        work.finished = [&] { return finished.load(); };
        work.cancel = [&] { cancel = true; };
        work.label = label;
        watch->waitFor(work);
    }
    worker.join();
    return opened;
}

ModuleSession::Fetch ModuleSession::fetch(const ReferenceTables* tables, bool oneByOne, int wantedInput, bool thru,
                                    TransferWatch* watch) {
    Fetch result;
    FetchSettings settings;
    settings.oneByOne = oneByOne;
    KitFetch job(tables, settings);
    if (!read(job, wantedInput, thru, watch, "読み込み中", &result.inputError, &result.inputPort)) return result;
    result.state = job.state();
    result.kit = job.result(&result.summary);
    return result;
}

ModuleSession::Compare ModuleSession::compare(const Kit& kit, bool oneByOne, int wantedInput, bool thru,
                                        TransferWatch* watch) {
    Compare result;
    FetchSettings settings;
    settings.oneByOne = oneByOne;
    result.report = runCompare(kit, settings, [&](KitFetch& job) {
        return read(job, wantedInput, thru, watch, "照合中", &result.inputError, &result.inputPort)
                   ? job.state()
                   : KitFetch::State::NoAnswer;
    });
    return result;
}

bool ModuleSession::sendPaced(const std::vector<MidiBytes>& messages, TransferWatch* watch) {
    const Pacing before = out_.pacing();
    Pacing repair = before;
    repair.unlimited = false;
    repair.sysexPause = std::max(repair.sysexPause, std::chrono::milliseconds(kRepairPauseMs));
    out_.setPacing(repair);
    for (const MidiBytes& m : messages) out_.sendLong(m);
    const bool sent = watch ? watch->waitUntilSent() : out_.flush(std::chrono::hours(1));
    out_.setPacing(before);
    return sent;
}

ModuleSession::Compare ModuleSession::repair(const Kit& kit, VerifyReport start, bool oneByOne, int wantedInput, bool thru,
                                       TransferWatch* watch) {
    Compare result;
    FetchSettings settings;
    settings.oneByOne = oneByOne;
    const auto compare = [&](KitFetch& job) {
        return read(job, wantedInput, thru, watch, "照合中", &result.inputError, &result.inputPort)
                   ? job.state()
                   : KitFetch::State::NoAnswer;
    };
    result.report = repairRounds(kit, std::move(start), settings, compare,
                                 [&](const std::vector<MidiBytes>& messages) { return sendPaced(messages, watch); })
                        .last;
    return result;
}

void ModuleSession::noteOn(int set, int note, int velocity) {
    if (!preview_) return;
    lastSoundedNote_ = static_cast<std::uint8_t>(note);
    sendSetProgramChange(out_, set);
    out_.sendShort(midi::kRhythmNoteOn, static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(velocity));
}

void ModuleSession::noteOff() {
    if (!preview_) return;
    out_.sendShort(midi::kRhythmNoteOn, lastSoundedNote_, 0);
}

void ModuleSession::presetNoteOn(int map, int program, int note, int velocity) {
    out_.sendShort(midi::kPresetControl, midi::kBankSelect, 0x00);
    out_.sendShort(midi::kPresetControl, midi::kBankSelectLsb, static_cast<std::uint8_t>(map));
    out_.sendShort(midi::kPresetProgram, static_cast<std::uint8_t>(program), 0);
    out_.sendShort(midi::kPresetNoteOn, static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(velocity));
}

void ModuleSession::presetNoteOff(int note) { out_.sendShort(midi::kPresetNoteOn, static_cast<std::uint8_t>(note), 0); }

void ModuleSession::holdPresetNote(int map, int program, int note, int velocity) {
    lastSoundedNote_ = static_cast<std::uint8_t>(note);
    presetNoteOn(map, program, note, velocity);
}

void ModuleSession::audition(int set, int note, int velocity) {
    if (!preview_) return;
    sendSetProgramChange(out_, set);
    out_.sendShort(midi::kRhythmNoteOn, static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(velocity));
    out_.sendShort(midi::kRhythmNoteOn, static_cast<std::uint8_t>(note), 0);
}

void ModuleSession::sendDeviceCommand(int command, const PartSends& sends) {
    kf::sendDeviceCommand(out_, preview_, command, sends);
}

}  // namespace kf::ui
