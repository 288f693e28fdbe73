#include "editor/editor_controller.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>
#include <thread>

#include "files/kit_file.h"
#include "gs/device_commands.h"
#include "gs/sysex.h"
#include "midi/midi_bytes.h"
#include "model/parameters.h"

namespace kf::ui {

EditorController::EditorController(MidiOut& midiOut, MidiIn& midiIn, Dialogs& dialogBox)
    : midi(midiOut), input(midiIn), dialogs(dialogBox) {
    input.setHandler([this](const MidiBytes& message) { received(message); });
}

EditorController::~EditorController() { input.setHandler({}); }

bool EditorController::openInput() {
    thru_ = state_.options.midiThru;
    if (input.isOpen() && input.port() == state_.options.midiInPort) return true;
    int port = state_.options.midiInPort;
    // Checked against the ports there are, as the output is. The default port needs no list:
    // making one can cost as much as the open itself (a client of the JACK server).
    if ((port >= 0 && port >= input.deviceCount()) || port < MidiIn::kBuiltInSynth ||
        (port == MidiIn::kBuiltInSynth && input.deviceName(port).empty()))
        port = -1;
    state_.options.midiInPort = port;
    return input.openPort(port);
}

void EditorController::received(const MidiBytes& m) {
    {
        std::lock_guard<std::mutex> lock(inputMutex_);
        if (fetchSink_) {
            fetchSink_(m);
            return;
        }
    }
    if (!thru_ || m.size() != 3) return;
    // A keyboard plays the set being edited: its notes, any channel, on the rhythm channel.
    const std::uint8_t kind = m[0] & 0xF0;
    if (kind != midi::kNoteOn && kind != midi::kNoteOff) return;
    if (kind == midi::kNoteOn && m[2] != 0) sendSetProgramChange(midi, thruSet_);
    midi.sendShort(midi::status(kind, midi::kRhythmChannel), m[1], m[2]);
}

// --- The current note and the edit target.

void EditorController::Grid1SelectCell(int set, int note) {
    thruSet_ = set;
    state_.currentSet = set;
    state_.currentNote = note;
    notify([&](EditorObserver& o) { o.selectionChanged(set, note); });
    sendReceptionSwitches(set, note);
    SetEntryCommandsEnabled(state_.kit.entry(set, note).used != 0);
}

void EditorController::selectEditTarget(int set, int note) {
    if (set != state_.currentSet || note != state_.currentNote) Grid1SelectCell(set, note);
    state_.editSet = set;
    state_.editNote = note;
}

void EditorController::SyncEditCell() {
    EditorState& s = state_;
    if (s.editSet == s.currentSet && s.editNote == s.currentNote) {
        notify([](EditorObserver& o) { o.usedStateSettled(); });
    } else {
        s.editSet = s.currentSet;
        s.editNote = s.currentNote;
    }
}

void EditorController::noteChanged(int set, int note) {
    notify([&](EditorObserver& o) { o.noteChanged(set, note); });
    if (set == state_.currentSet && note == state_.currentNote) sendReceptionSwitches(set, note);
}

void EditorController::sendReceptionSwitches(int set, int note) {
    // The module hears the note's reception switches whenever the note is shown.
    if (!state_.kit.entry(set, note).used) return;
    midi.sendLong(buildParameterMessage(state_.kit, set, note, kRxNoteOff));
    midi.sendLong(buildParameterMessage(state_.kit, set, note, kRxNoteOn));
}

// --- The parameter panel.

void EditorController::applyPanelParameter(int value, int row) {
    EditorState& s = state_;
    bool previewNeeded = false;
    const int v = clampMidi(value);
    notify([&](EditorObserver& o) { o.panelValueChanged(row, v); });
    DrumNoteEntry& entry = s.currentEntry();
    std::uint8_t& field = fieldOfRow(entry, row);
    if (field != v) {
        field = static_cast<std::uint8_t>(v);
        s.modified = true;
        previewNeeded = row != kRowAssign;
    }
    for (int p : panelChangeParameters(entry, row))
        midi.sendLong(buildParameterMessage(s.kit, s.currentSet, s.currentNote, p));
    if (previewNeeded) auditionNote();
}

void EditorController::setEffectType(int value) {
    EditorState& s = state_;
    const int t = value ? 1 : 0;
    DrumNoteEntry& entry = s.currentEntry();
    if (entry.effectType == t) return;
    entry.effectType = static_cast<std::uint8_t>(t);
    midi.sendLong(buildParameterMessage(s.kit, s.currentSet, s.currentNote, effectTypeParameter(t)));
    // The module keeps the send of the effect no longer selected: it goes to 0 there, as the
    // Kit has it, or the note would sound both effects.
    midi.sendLong(buildParameterMessage(s.kit, s.currentSet, s.currentNote, effectTypeParameter(1 - t)));
    s.modified = true;
}

void EditorController::setRxNoteOff(int value) { setRx(&DrumNoteEntry::rxNoteOff, kRxNoteOff, value); }
void EditorController::setRxNoteOn(int value) { setRx(&DrumNoteEntry::rxNoteOn, kRxNoteOn, value); }

void EditorController::setRx(std::uint8_t DrumInstrument::*field, int deviceParameter, int value) {
    EditorState& s = state_;
    DrumNoteEntry& entry = s.currentEntry();
    if (entry.*field != value) {
        entry.*field = static_cast<std::uint8_t>(value);
        s.modified = true;
    }
    // Sent whether or not it changed.
    midi.sendLong(buildParameterMessage(s.kit, s.currentSet, s.currentNote, deviceParameter));
}

void EditorController::defClick(int row) {
    if (row < 1 || row > 6) return;
    const DrumNoteEntry& entry = state_.currentEntry();
    const int key = drumSetSettingOf(entry.sourceMap, entry.sourceProgram);
    if (entry.sourceNote >= kNoteCount) return;
    for (const PresetDrumSet& set : state_.tables.sets) {
        if (drumSetSettingOf(set.map, set.program) != key) continue;
        const DrumInstrument& inst = set.instruments[entry.sourceNote];
        if (!inst.used) return;
        const int values[] = {inst.playNote, inst.level, inst.pan, inst.reverb, inst.effectSend, inst.assignGroup};
        applyPanelParameter(values[row - 1], row);
        return;
    }
}

void EditorController::renameInstrument(const std::string& name) {
    EditorState& s = state_;
    s.editEntry().name = name;
    notify([&](EditorObserver& o) { o.instrumentNameChanged(s.editSet, s.editNote); });
    s.modified = true;
}

void EditorController::applyStartValues() {
    EditorState& s = state_;
    const bool autoPreview = s.autoPreview;
    s.autoPreview = false;
    // The module's own values at power-on.
    for (int r = 1; r <= kPanelParameterCount; ++r)
        applyPanelParameter(deviceParameterInfo(deviceParameterOfRow(r, 0)).module, r);
    notify([](EditorObserver& o) { o.usedStateSettled(); });
    s.autoPreview = autoPreview;
}

void EditorController::toggleAutoPreview() { state_.autoPreview = !state_.autoPreview; }

// --- Options and flags.

void EditorController::setOptions(const Options& options) {
    const bool synthChanged = !synthConfigured_ || options.soundFont != state_.options.soundFont ||
                              options.audioDriver != state_.options.audioDriver;
    state_.options = options;
    midi.setPacing({options.unlimitedSpeed, std::chrono::milliseconds(options.sysexPauseMs)});
    if (synthChanged && configureSynth) {
        configureSynth(options.soundFont, options.audioDriver);
        synthConfigured_ = true;
    }
}

void EditorController::setFileType(int type) { state_.options.fileType = type; }

void EditorController::setTables(ReferenceTables tables, int useMap) {
    state_.tables = std::move(tables);
    state_.options.useMap = useMap;
}

void EditorController::rememberDrumSet(int setting) { state_.options.drumSet = setting; }
void EditorController::setBusy(bool on) { state_.busy = on; }
void EditorController::setModified(bool on) { state_.modified = on; }
void EditorController::setAutoPreview(bool on) { state_.autoPreview = on; }

void EditorController::setVelocity(int velocity) {
    const int v = std::clamp(velocity, 0, 127);
    if (v == state_.velocity) return;
    state_.velocity = v;
    notify([v](EditorObserver& o) { o.velocityChanged(v); });
}

void EditorController::homeSelection() {
    state_.currentSet = state_.editSet = 1;
    state_.currentNote = state_.editNote = 0;
}

// --- Set names.

void EditorController::renameSet(int set, const std::string& name) {
    EditorState& s = state_;
    if (name != s.kit.setName(set)) {
        s.kit.setSetName(set, name);
        s.modified = true;
    }
    notify([&](EditorObserver& o) { o.setNameChanged(set); });
    if (s.livePreview) {
        midi.sendLong(buildNameMessage(s.kit, set));
        sendSetProgramChange(midi, set);
    }
}

// --- Edit commands.

void EditorController::SetEntryCommandsEnabled(bool on) {
    if (entryEnabled_ == on) return;
    entryEnabled_ = on;
    notify([](EditorObserver& o) { o.commandsChanged(); });
}

void EditorController::takeIntoClipboard(const DrumNoteEntry& entry) {
    const bool before = pasteEnabled();
    state_.clipboard = entry;
    if (pasteEnabled() != before) notify([](EditorObserver& o) { o.commandsChanged(); });
}


void EditorController::SetUndoEnabled(bool on) {
    if (undoEnabled_ == on) return;
    undoEnabled_ = on;
    notify([](EditorObserver& o) { o.commandsChanged(); });
}

void EditorController::recordUndo(int set, int note) {
    EditorState& s = state_;
    s.undoEntry = s.kit.entry(set, note);
    s.undoSet = set;
    s.undoNote = note;
    SetUndoEnabled(true);
}

void EditorController::Cut1Click() {
    EditorState& s = state_;
    if (s.busy) return;
    const int set = s.editSet, note = s.editNote;
    recordUndo(set, note);
    const DrumNoteEntry cut = s.kit.entry(set, note);
    s.kit.entry(set, note) = blankEntry();
    noteChanged(set, note);
    SetEntryCommandsEnabled(false);
    takeIntoClipboard(cut);
    s.modified = true;
}

void EditorController::Copy1Click() {
    EditorState& s = state_;
    if (s.busy) return;
    takeIntoClipboard(s.editEntry());
}

void EditorController::Paste1Click() {
    EditorState& s = state_;
    if (s.busy) return;
    const int set = s.editSet, note = s.editNote;
    recordUndo(set, note);
    SetEntryCommandsEnabled(true);
    s.kit.entry(set, note) = s.clipboard;
    noteChanged(set, note);
    sendWholeNote(midi, s.kit, set, note);
    s.modified = true;
}

void EditorController::Delete1Click() {
    // Runs even during a bulk transfer: it sends nothing.
    EditorState& s = state_;
    const int set = s.editSet, note = s.editNote;
    recordUndo(set, note);
    SetEntryCommandsEnabled(false);
    s.kit.entry(set, note) = blankEntry();
    noteChanged(set, note);
    s.modified = true;
}

void EditorController::Undo1Click() {
    EditorState& s = state_;
    if (s.busy || !undoEnabled_) return;
    const int set = s.undoSet, note = s.undoNote;
    std::swap(s.kit.entry(set, note), s.undoEntry);
    noteChanged(set, note);
    sendWholeNote(midi, s.kit, set, note);
    if (set != s.currentSet || note != s.currentNote) Grid1SelectCell(set, note);
    SetEntryCommandsEnabled(s.kit.entry(set, note).used != 0);
    s.modified = true;
}

void EditorController::enterInstrument(int set, int note, const PresetDrumSet& preset, int k) {
    EditorState& s = state_;
    recordUndo(set, note);
    DrumNoteEntry& entry = s.kit.entry(set, note);
    entry.assignInstrument(preset.instruments[static_cast<size_t>(k)]);
    entry.sourceMap = static_cast<std::uint8_t>(preset.map);
    entry.sourceProgram = static_cast<std::uint8_t>(preset.program);
    entry.sourceNote = static_cast<std::uint8_t>(k);
    noteChanged(set, note);
    if (set == s.currentSet && note == s.currentNote) notify([](EditorObserver& o) { o.usedStateSettled(); });
    sendWholeNote(midi, s.kit, set, note);
    SetEntryCommandsEnabled(true);
    s.modified = true;
}

// --- The document.

void EditorController::newKit() {
    EditorState& s = state_;
    s.kit.reset();
    notify([](EditorObserver& o) { o.kitReplaced(); });
    if (s.currentSet != 1 || s.currentNote != 0) Grid1SelectCell(1, 0);
    else notify([](EditorObserver& o) { o.selectionChanged(1, 0); });
    SetUndoEnabled(false);
    SetEntryCommandsEnabled(false);
    s.modified = false;
}

void EditorController::replaceKit(Kit kit) {
    EditorState& s = state_;
    s.kit = std::move(kit);
    RefreshFromKit();
    if (const auto first = firstUsedEntry(s.kit))
        if (first->first != s.currentSet || first->second != s.currentNote) Grid1SelectCell(first->first, first->second);
    SetUndoEnabled(false);
}

void EditorController::RefreshFromKit() {
    EditorState& s = state_;
    if (s.livePreview) {
        for (int set = 1; set <= kSetCount; ++set) {
            for (int n = 0; n < kNoteCount; ++n) {
                if (!s.kit.entry(set, n).used) continue;
                sendWholeNote(midi, s.kit, set, n);
                keepResponsive();
            }
            midi.sendLong(buildNameMessage(s.kit, set));
            sendSetProgramChange(midi, set);
        }
    }
    notify([](EditorObserver& o) { o.kitReplaced(); });
    const bool used = s.currentEntry().used != 0;
    SetEntryCommandsEnabled(used);
    sendReceptionSwitches(s.currentSet, s.currentNote);
}

void EditorController::adoptKit(Kit kit) {
    EditorState& s = state_;
    s.kit = std::move(kit);
    notify([](EditorObserver& o) { o.kitReplaced(); });
    SetEntryCommandsEnabled(s.currentEntry().used != 0);
    if (const auto first = firstUsedEntry(s.kit))
        if (first->first != s.currentSet || first->second != s.currentNote) Grid1SelectCell(first->first, first->second);
    SetUndoEnabled(false);
}

EditorController::Fetched EditorController::fetchFromModule() {
    Fetched result;
    EditorState& s = state_;
    if (!openInput()) {
        result.inputError = input.lastOpenError();
        return result;
    }
    FetchSettings settings;
    settings.oneByOne = s.options.fetchOneByOne;
    KitFetch job(s.tables.empty() ? nullptr : &s.tables, settings);
    std::atomic<bool> cancel{false}, finished{false};
    std::atomic<int> done{0}, planned{job.planned()};
    s.busy = true;
    // A wait on the queue lets it go; the requests must leave as they are made.
    midi.flush(std::chrono::milliseconds(0));
    std::thread worker([&] {
        runFetch(
            job, midi,
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
    if (transfer_) {
        TransferWatch::Work work;
        work.progress = [&] { return std::make_pair(done.load(), planned.load()); };
        work.finished = [&] { return finished.load(); };
        work.cancel = [&] { cancel = true; };
        transfer_->waitFor(work);
    }
    worker.join();
    s.busy = false;
    result.state = job.state();
    result.kit = job.result(&result.summary);
    return result;
}

// --- The live link.

void EditorController::settle() {
    if (starting_ && transfer_) transfer_->waitUntil([this] { return !starting_; });
}

void EditorController::startPreview(bool on, int initCommand) {
    starting_ = true;
    const int wanted = state_.options.midiPort;
    QPointer<EditorController> self(this);
    const bool command = initCommand >= kGsReset && initCommand <= kAllPartsProMap;
    // At start the state counts as on, so the switch-on is the rhythm-part message alone. It
    // and the start command go with the open, ahead of whatever the window sends once the
    // port is open.
    std::vector<MidiBytes> first{rhythmPart11Message()};
    if (command)
        for (auto& m : deviceCommandMessages(initCommand)) first.push_back(std::move(m));
    MidiOut& out = midi;
    // The window goes on setting up while the port opens; what it sends meanwhile waits.
    if (on) out.expectOpen();
    out.later([&out, wanted, on, self, first = std::move(first), command] {
        int port = wanted;
        // Only a numbered port is checked against the list; the default port needs none.
        if (port >= 0 && out.deviceCount() <= port) port = -1;
        // The built-in synth stays chosen whatever ports come and go, where there is one.
        if (port < -1 && (port != MidiOut::kBuiltInSynth || out.deviceName(port).empty())) port = -1;
        const bool ok = on && out.openPort(port, first);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, port, on, ok, command] {
                if (!self) return;
                Options& o = self->state_.options;
                o.midiPort = port;
                self->starting_ = false;
                if (on) self->opened(ok, true);
                else self->SetPreview(false);
                if (ok && !command) o.initCommand = 0;
            },
            Qt::QueuedConnection);
    });
}

void EditorController::SetPreview(bool on) {
    settle();
    EditorState& s = state_;
    if (on != s.livePreview) notify([on](EditorObserver& o) { o.previewChanged(on); });
    if (!on) {
        // Off means quiet now: what was still queued for the module is dropped.
        if (transfer_ && transfer_->active()) transfer_->TransferCancelClick();
        midi.closePort();
        input.closePort();
        s.livePreview = false;
        return;
    }
    // Another port: what the old one still has to send goes out first, as the user watches.
    if (transfer_ && midi.isOpen() && transfer_->active()) transfer_->waitUntilSent();
    opened(midi.openPort(s.options.midiPort), false);
}

void EditorController::opened(bool ok, bool greeted) {
    EditorState& s = state_;
    if (ok != s.livePreview) notify([ok](EditorObserver& o) { o.previewChanged(ok); });
    if (ok) openInput();
    if (ok && greeted) {
        s.livePreview = true;
        return;
    }
    if (ok) {
        const bool wasOff = !s.livePreview;
        s.busy = true;
        showBusy(true);
        sendSwitchOnSequence(midi, s.kit, wasOff, [this] { keepResponsive(); });
        showBusy(false);
        s.busy = false;
        s.livePreview = true;
        return;
    }
    const MidiError why = midi.lastOpenError();
    notify([](EditorObserver& o) { o.previewChanged(false); });
    midi.closePort();
    input.closePort();
    s.livePreview = false;
    notify([&why](EditorObserver& o) { o.openFailed(why); });
}

void EditorController::sendDeviceCommand(int command) { kf::sendDeviceCommand(midi, state_.livePreview, command); }

// --- Notes sounded by hand.

void EditorController::gridNoteOn(int set, int note) {
    if (!state_.livePreview) return;
    state_.lastSoundedNote = static_cast<std::uint8_t>(note);
    sendSetProgramChange(midi, set);
    midi.sendShort(midi::kRhythmNoteOn, static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(state_.velocity));
}

void EditorController::gridNoteOff() {
    if (!state_.livePreview) return;
    midi.sendShort(midi::kRhythmNoteOn, state_.lastSoundedNote, 0);
}

void EditorController::soundGridNote(int set, int note) {
    if (state_.livePreview && state_.kit.entry(set, note).used) gridNoteOn(set, note);
}

void EditorController::soundCurrentNote() {
    if (state_.currentEntry().used) gridNoteOn(state_.currentSet, state_.currentNote);
}

void EditorController::dataBoxNoteOn(int map, int program, int note) {
    midi.sendShort(midi::kPresetControl, midi::kBankSelect, 0x00);
    midi.sendShort(midi::kPresetControl, midi::kBankSelectLsb, static_cast<std::uint8_t>(map));
    midi.sendShort(midi::kPresetProgram, static_cast<std::uint8_t>(program), 0);
    midi.sendShort(midi::kPresetNoteOn, static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(state_.velocity));
}

void EditorController::dataBoxNoteOff(int note) { midi.sendShort(midi::kPresetNoteOn, static_cast<std::uint8_t>(note), 0); }

void EditorController::holdDataBoxNote(int map, int program, int note) {
    state_.lastSoundedNote = static_cast<std::uint8_t>(note);
    dataBoxNoteOn(map, program, note);
}

void EditorController::releaseDataBoxNote() { dataBoxNoteOff(state_.lastSoundedNote); }

void EditorController::auditionNote() {
    const EditorState& s = state_;
    if (!s.livePreview || !s.autoPreview || !s.kit.entry(s.currentSet, s.currentNote).used) return;
    sendSetProgramChange(midi, s.currentSet);
    midi.sendShort(midi::kRhythmNoteOn, static_cast<std::uint8_t>(s.currentNote), static_cast<std::uint8_t>(state_.velocity));
    midi.sendShort(midi::kRhythmNoteOn, static_cast<std::uint8_t>(s.currentNote), 0);
}

}  // namespace kf::ui
