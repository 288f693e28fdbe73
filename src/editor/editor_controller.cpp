#include "editor/editor_controller.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>

#include "files/kit_file.h"
#include "gs/device_commands.h"
#include "gs/sysex.h"
#include "midi/midi_bytes.h"
#include "model/parameters.h"

namespace kf::ui {

EditorController::EditorController(MidiOut& midiOut, MidiIn& midiIn)
    : link_(midiOut, midiIn, [this](int note) {
          // Heard on the input's thread; the selection is the window's.
          QMetaObject::invokeMethod(this, [this, note] { keyStruck(note); }, Qt::QueuedConnection);
      }) {}

EditorController::~EditorController() = default;

void EditorController::openInput() {
    const int wanted = state_.options.midiInPort;
    QPointer<EditorController> self(this);
    link_.openInput(wanted, state_.options.midiThru, [self, wanted](int port) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, wanted, port] {
                if (self) self->settleInputPort(wanted, port);
            },
            Qt::QueuedConnection);
    });
}

void EditorController::settleInputPort(int wanted, int port) {
    if (state_.options.midiInPort == wanted) state_.options.midiInPort = port;
}

template <typename F>
void EditorController::changingCommands(F change) {
    const bool entry = entryCommandsEnabled(), paste = pasteEnabled(), undo = undoEnabled();
    change();
    if (entry != entryCommandsEnabled() || paste != pasteEnabled() || undo != undoEnabled())
        notify([](EditorObserver& o) { o.commandsChanged(); });
}

// --- The current note and the edit target.

void EditorController::Grid1SelectCell(int set, int note) {
    link_.setThruSet(set);
    changingCommands([&] {
        state_.currentSet = set;
        state_.currentNote = note;
    });
    notify([&](EditorObserver& o) { o.selectionChanged(set, note); });
    sendReceptionSwitches(set, note);
}

void EditorController::selectEditTarget(int set, int note) {
    if (set != state_.currentSet || note != state_.currentNote) Grid1SelectCell(set, note);
    state_.editSet = set;
    state_.editNote = note;
}

void EditorController::keyStruck(int note) {
    // The keyboard chooses the note of the set being edited, as a click on its cell does.
    if (state_.options.selectByInput && note != state_.currentNote) Grid1SelectCell(state_.currentSet, note);
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
    edited(set, note);
    notify([&](EditorObserver& o) { o.noteChanged(set, note); });
    if (set == state_.currentSet && note == state_.currentNote) sendReceptionSwitches(set, note);
}

void EditorController::sendReceptionSwitches(int set, int note) {
    // The module hears the note's reception switches whenever the note is shown.
    const Kit& kit = document_.kit();
    if (!kit.entry(set, note).used) return;
    link_.send(buildParameterMessage(kit, set, note, kRxNoteOff));
    link_.send(buildParameterMessage(kit, set, note, kRxNoteOn));
}

// --- The parameter panel.

void EditorController::applyPanelParameter(int value, int row) {
    const EditorState& s = state_;
    const int v = clampMidi(value);
    const bool previewNeeded = document_.setParameter(s.currentSet, s.currentNote, row, v) && row != kRowAssign;
    notify([&](EditorObserver& o) { o.panelValueChanged(row, v); });
    edited(s.currentSet, s.currentNote);
    for (int p : panelChangeParameters(currentEntry(), row))
        link_.send(buildParameterMessage(document_.kit(), s.currentSet, s.currentNote, p));
    if (previewNeeded) auditionNote();
}

void EditorController::setEffectType(int value) {
    const EditorState& s = state_;
    const int t = value ? 1 : 0;
    if (!document_.setField(s.currentSet, s.currentNote, &DrumInstrument::effectType, t)) return;
    edited(s.currentSet, s.currentNote);
    const Kit& kit = document_.kit();
    link_.send(buildParameterMessage(kit, s.currentSet, s.currentNote, effectTypeParameter(t)));
    // The module keeps the send of the effect no longer selected: it goes to 0 there, as the
    // Kit has it, or the note would sound both effects.
    link_.send(buildParameterMessage(kit, s.currentSet, s.currentNote, effectTypeParameter(1 - t)));
}

void EditorController::setRxNoteOff(int value) { setRx(&DrumNoteEntry::rxNoteOff, kRxNoteOff, value); }
void EditorController::setRxNoteOn(int value) { setRx(&DrumNoteEntry::rxNoteOn, kRxNoteOn, value); }

void EditorController::setRx(std::uint8_t DrumInstrument::*field, int deviceParameter, int value) {
    const EditorState& s = state_;
    document_.setField(s.currentSet, s.currentNote, field, value);
    edited(s.currentSet, s.currentNote);
    // Sent whether or not it changed.
    link_.send(buildParameterMessage(document_.kit(), s.currentSet, s.currentNote, deviceParameter));
}

void EditorController::defClick(int row) {
    if (row < 1 || row > 6) return;
    const DrumNoteEntry& entry = currentEntry();
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
    const EditorState& s = state_;
    document_.renameInstrument(s.editSet, s.editNote, name);
    notify([&](EditorObserver& o) { o.instrumentNameChanged(s.editSet, s.editNote); });
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
    const PartSends before = partSends();
    state_.options = options;
    // New sends are heard at once; before the port opens they go with its set-up instead.
    if (link_.preview() && link_.outputOpen())
        for (const MidiBytes& m : partSendChanges(before, partSends())) link_.sendShort(m);
    link_.setPacing({options.unlimitedSpeed, std::chrono::milliseconds(options.sysexPauseMs)});
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
void EditorController::setModified(bool on) { document_.setModified(on); }
void EditorController::nameDocument(const QString& folder, const QString& name) { document_.setFile(folder, name); }
void EditorController::untitleDocument() { document_.setUntitled(); }
void EditorController::renameDocument(const QString& name) { document_.setName(name); }
void EditorController::setDocumentFolder(const QString& folder) { document_.setFolder(folder); }
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
    document_.renameSet(set, name);
    notify([&](EditorObserver& o) { o.setNameChanged(set); });
    if (link_.preview()) {
        link_.sendSetName(document_.kit(), set);
    }
}

// --- Edit commands.

void EditorController::changeEditTarget(void (Document::*change)(int, int)) {
    const int set = state_.editSet, note = state_.editNote;
    changingCommands([&] {
        (document_.*change)(set, note);
        noteChanged(set, note);
    });
}

void EditorController::Cut1Click() {
    if (state_.busy) return;
    changeEditTarget(&Document::cut);
}

void EditorController::Copy1Click() {
    const EditorState& s = state_;
    if (s.busy) return;
    changingCommands([&] { document_.copy(s.editSet, s.editNote); });
}

void EditorController::Paste1Click() {
    if (state_.busy) return;
    pasteAtEditTarget(document_.clipboard());
}

void EditorController::pasteAtEditTarget(const std::vector<DrumNoteEntry>& notes) {
    const int set = state_.editSet, note = state_.editNote;
    int count = 0;
    changingCommands([&] {
        count = document_.paste(set, note, notes);
        for (int i = 0; i < count; ++i) noteChanged(set, note + i);
    });
    for (int i = 0; i < count; ++i) link_.sendNote(document_.kit(), set, note + i);
}

void EditorController::copyNotes(const Kit& kit, int set, int first, int last) {
    if (state_.busy) return;
    std::vector<DrumNoteEntry> notes;
    bool used = false;
    for (int n = std::max(first, 0); n <= std::min(last, kNoteCount - 1); ++n) {
        notes.push_back(kit.entry(set, n));
        used = used || notes.back().used;
    }
    if (!used) return;
    changingCommands([&] { document_.copyNotes(std::move(notes)); });
}

void EditorController::dropNotes(int set, int note, const std::vector<DrumNoteEntry>& notes) {
    if (state_.busy) return;
    selectEditTarget(set, note);
    pasteAtEditTarget(notes);
}

void EditorController::Delete1Click() {
    // Runs even during a bulk transfer: it sends nothing.
    changeEditTarget(&Document::erase);
}

void EditorController::Undo1Click() {
    const EditorState& s = state_;
    if (s.busy || !undoEnabled()) return;
    Document::Run run{1, 0, 0};
    changingCommands([&] {
        run = document_.undo();
        for (int i = 0; i < run.count; ++i) noteChanged(run.set, run.note + i);
    });
    for (int i = 0; i < run.count; ++i) link_.sendNote(document_.kit(), run.set, run.note + i);
    // The selection goes to the first note of what came back.
    if (run.set != s.currentSet || run.note != s.currentNote) Grid1SelectCell(run.set, run.note);
}

void EditorController::enterInstrument(int set, int note, const PresetDrumSet& preset, int k) {
    const EditorState& s = state_;
    changingCommands([&] {
        document_.enterInstrument(set, note, preset, k);
        noteChanged(set, note);
    });
    if (set == s.currentSet && note == s.currentNote) notify([](EditorObserver& o) { o.usedStateSettled(); });
    link_.sendNote(document_.kit(), set, note);
}

// --- The document.

void EditorController::newKit() {
    changingCommands([&] { document_.reset(); });
    forgetDifferences();
    notify([](EditorObserver& o) { o.kitReplaced(); });
    if (state_.currentSet != 1 || state_.currentNote != 0) Grid1SelectCell(1, 0);
    else notify([](EditorObserver& o) { o.selectionChanged(1, 0); });
}

void EditorController::replaceKit(Kit kit) {
    changingCommands([&] { document_.replace(std::move(kit)); });
    RefreshFromKit();
    if (const auto first = firstUsedEntry(document_.kit()))
        if (first->first != state_.currentSet || first->second != state_.currentNote)
            Grid1SelectCell(first->first, first->second);
}

void EditorController::RefreshFromKit() {
    const Kit& kit = document_.kit();
    forgetDifferences();
    if (link_.preview()) link_.sendKit(kit, [this] { keepResponsive(); });
    notify([](EditorObserver& o) { o.kitReplaced(); });
    sendReceptionSwitches(state_.currentSet, state_.currentNote);
    if (link_.preview()) verifyTransfer();
}

void EditorController::adoptKit(Kit kit) {
    changingCommands([&] { document_.replace(std::move(kit)); });
    forgetDifferences();
    notify([](EditorObserver& o) { o.kitReplaced(); });
    if (const auto first = firstUsedEntry(document_.kit()))
        if (first->first != state_.currentSet || first->second != state_.currentNote)
            Grid1SelectCell(first->first, first->second);
}

EditorController::Fetched EditorController::fetchFromModule() {
    EditorState& s = state_;
    const int wanted = s.options.midiInPort;
    s.busy = true;
    Fetched result = link_.fetch(s.tables.empty() ? nullptr : &s.tables, s.options.fetchOneByOne, wanted,
                                 s.options.midiThru, transfer_);
    s.busy = false;
    settleInputPort(wanted, result.inputPort);
    return result;
}

// --- Comparing with the module.

void EditorController::edited(int set, int note) {
    if (!compared_) return;
    auto& d = compared_->differences;
    const auto ofNote = [set, note](const Difference& x) { return x.parameter != 0 && x.set == set && x.note == note; };
    const auto end = std::remove_if(d.begin(), d.end(), ofNote);
    if (end == d.end()) return;
    d.erase(end, d.end());
    marked_.erase({set, note});
    notify([this](EditorObserver& o) { o.differencesChanged(&*compared_); });
}

void EditorController::forgetDifferences() {
    if (!compared_) return;
    compared_.reset();
    marked_.clear();
    notify([](EditorObserver& o) { o.differencesChanged(nullptr); });
}

void EditorController::takeCompare(const Compared& result) {
    const KitFetch::State state = result.report.state;
    if (state == KitFetch::State::Cancelled || state == KitFetch::State::NoAnswer) return;
    compared_ = result.report;
    marked_.clear();
    for (const Difference& d : compared_->differences)
        if (d.parameter != 0) marked_.emplace(d.set, d.note);
    notify([this](EditorObserver& o) { o.differencesChanged(&*compared_); });
}

EditorController::Compared EditorController::compareWithModule() {
    EditorState& s = state_;
    const int wanted = s.options.midiInPort;
    // It may run inside a file command's busy time (an open that sent the kit): left as found.
    const bool wasBusy = s.busy;
    s.busy = true;
    // The reads must find what was sent: whatever is still queued goes first, as the user
    // watches; stopped, it is compared as far as it went.
    if (transfer_ && transfer_->active()) transfer_->waitUntilSent();
    Compared result = link_.compare(document_.kit(), s.options.fetchOneByOne, wanted, s.options.midiThru, transfer_);
    s.busy = wasBusy;
    settleInputPort(wanted, result.inputPort);
    takeCompare(result);
    return result;
}

EditorController::Compared EditorController::sendDifferences() {
    if (!compared_) {
        Compared first = compareWithModule();
        if (!compared_ || compared_->same()) return first;
    }
    EditorState& s = state_;
    const int wanted = s.options.midiInPort;
    const bool wasBusy = s.busy;
    s.busy = true;
    Compared result = link_.repair(document_.kit(), *compared_, s.options.fetchOneByOne, wanted, s.options.midiThru,
                                   transfer_);
    s.busy = wasBusy;
    settleInputPort(wanted, result.inputPort);
    takeCompare(result);
    return result;
}

void EditorController::verifyTransfer() {
    if (!state_.options.verifyAfterSend || !link_.preview()) return;
    Compared result = compareWithModule();
    if (compared_ && !compared_->same() && result.report.state == KitFetch::State::Done) result = sendDifferences();
    notify([&result](EditorObserver& o) { o.compareEnded(result, true); });
}

// --- The live link.

void EditorController::settle() {
    if (link_.starting() && transfer_) transfer_->waitUntil([this] { return !link_.starting(); });
}

void EditorController::startPreview(bool on, int initCommand) {
    link_.setStarting(true);
    const int wanted = state_.options.midiPort;
    QPointer<EditorController> self(this);
    const bool command = initCommand >= kGsReset && initCommand <= kAllPartsProMap;
    // At start the state counts as on, so the switch-on is the rhythm-part message alone. It
    // and the start command go with the open, ahead of whatever the window sends once the
    // port is open.
    std::vector<MidiBytes> first{rhythmPart11Message()};
    for (auto& m : partSendMessages(partSends())) first.push_back(std::move(m));
    if (command)
        for (auto& m : deviceCommandMessages(initCommand, partSends())) first.push_back(std::move(m));
    // The window goes on setting up while the port opens; what it sends meanwhile waits.
    link_.openOutputLater(wanted, on, std::move(first), [self, on, command](int port, bool ok) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, port, on, ok, command] {
                if (!self) return;
                Options& o = self->state_.options;
                o.midiPort = port;
                self->link_.setStarting(false);
                if (on) self->opened(ok, true);
                else self->SetPreview(false);
                if (ok && !command) o.initCommand = 0;
            },
            Qt::QueuedConnection);
    });
}

void EditorController::SetPreview(bool on) {
    settle();
    if (on != link_.preview()) notify([on](EditorObserver& o) { o.previewChanged(on); });
    if (!on) {
        // Off means quiet now: what was still queued for the module is dropped.
        if (transfer_ && transfer_->active()) transfer_->TransferCancelClick();
        link_.closePorts();
        link_.setPreview(false);
        return;
    }
    // Another port: what the old one still has to send goes out first, as the user watches.
    if (transfer_ && link_.outputOpen() && transfer_->active()) transfer_->waitUntilSent();
    opened(link_.openOutput(state_.options.midiPort), false);
}

void EditorController::opened(bool ok, bool greeted) {
    EditorState& s = state_;
    if (ok != link_.preview()) notify([ok](EditorObserver& o) { o.previewChanged(ok); });
    if (ok) openInput();
    if (ok && greeted) {
        link_.setPreview(true);
        return;
    }
    if (ok) {
        const bool wasOff = !link_.preview();
        s.busy = true;
        showBusy(true);
        link_.sendSwitchOn(document_.kit(), wasOff, [this] { keepResponsive(); }, partSends());
        showBusy(false);
        s.busy = false;
        link_.setPreview(true);
        verifyTransfer();
        return;
    }
    const MidiError why = link_.outputOpenError();
    notify([](EditorObserver& o) { o.previewChanged(false); });
    link_.closePorts();
    link_.setPreview(false);
    notify([&why](EditorObserver& o) { o.openFailed(why); });
}

void EditorController::sendDeviceCommand(int command) { link_.sendDeviceCommand(command, partSends()); }

PartSends EditorController::partSends() const {
    const Options& o = state_.options;
    return {o.partReverb, o.partChorus, o.partDelay};
}

void EditorController::watchQueue(std::function<void()> observer, std::function<void(const std::string&)> drop) {
    link_.watchQueue(std::move(observer), std::move(drop));
}

void EditorController::cancelQueue() { link_.cancelQueue(); }

void EditorController::releaseQueue() { link_.releaseQueue(); }

// --- Notes sounded by hand.

void EditorController::gridNoteOn(int set, int note) { link_.noteOn(set, note, state_.velocity); }

void EditorController::gridNoteOff() { link_.noteOff(); }

void EditorController::soundGridNote(int set, int note) {
    if (document_.entry(set, note).used) gridNoteOn(set, note);
}

void EditorController::soundCurrentNote() {
    if (currentEntry().used) gridNoteOn(state_.currentSet, state_.currentNote);
}

void EditorController::dataBoxNoteOn(int map, int program, int note) {
    link_.presetNoteOn(map, program, note, state_.velocity);
}

void EditorController::dataBoxNoteOff(int note) { link_.presetNoteOff(note); }

void EditorController::holdDataBoxNote(int map, int program, int note) {
    link_.holdPresetNote(map, program, note, state_.velocity);
}

void EditorController::releaseDataBoxNote() { link_.releasePresetNote(); }

void EditorController::auditionNote() {
    const EditorState& s = state_;
    if (!s.autoPreview || !currentEntry().used) return;
    link_.audition(s.currentSet, s.currentNote, s.velocity);
}

}  // namespace kf::ui
