#include "editor/note_editing.h"

#include <algorithm>

#include "gs/sysex.h"
#include "midi/midi_bytes.h"
#include "model/parameters.h"

namespace kf::ui {

void NoteEditing::noteChanged(int set, int note) {
    comparison_.noteSent(set, note);
    x_.notify([&](EditorObserver& o) { o.noteChanged(set, note); });
    if (set == x_.state.currentSet && note == x_.state.currentNote) x_.sendReceptionSwitches(set, note);
}

// --- The parameter panel.

void NoteEditing::setParameter(int value, int row) {
    const EditorState& s = x_.state;
    const int v = clampMidi(value);
    const bool previewNeeded = x_.document.setParameter(s.currentSet, s.currentNote, row, v) && row != kRowAssign;
    x_.notify([&](EditorObserver& o) { o.panelValueChanged(row, v); });
    comparison_.noteSent(s.currentSet, s.currentNote);
    for (int p : panelChangeParameters(x_.currentEntry(), row))
        x_.session.send(buildParameterMessage(x_.document.kit(), s.currentSet, s.currentNote, p));
    if (previewNeeded) auditionNote();
}

void NoteEditing::setEffectType(int value) {
    const EditorState& s = x_.state;
    const int t = value ? 1 : 0;
    if (!x_.document.setField(s.currentSet, s.currentNote, &DrumInstrument::effectType, t)) return;
    comparison_.noteSent(s.currentSet, s.currentNote);
    const Kit& kit = x_.document.kit();
    x_.session.send(buildParameterMessage(kit, s.currentSet, s.currentNote, effectTypeParameter(t)));
    // The module keeps the send of the effect no longer selected: it goes to 0 there, as the
    // Kit has it, or the note would sound both effects.
    x_.session.send(buildParameterMessage(kit, s.currentSet, s.currentNote, effectTypeParameter(1 - t)));
}

void NoteEditing::setRxNoteOff(int value) { setRx(&DrumNoteEntry::rxNoteOff, kRxNoteOff, value); }
void NoteEditing::setRxNoteOn(int value) { setRx(&DrumNoteEntry::rxNoteOn, kRxNoteOn, value); }

void NoteEditing::setRx(std::uint8_t DrumInstrument::*field, int deviceParameter, int value) {
    const EditorState& s = x_.state;
    x_.document.setField(s.currentSet, s.currentNote, field, value);
    comparison_.noteSent(s.currentSet, s.currentNote);
    // Sent whether or not it changed.
    x_.session.send(buildParameterMessage(x_.document.kit(), s.currentSet, s.currentNote, deviceParameter));
}

void NoteEditing::restoreDefault(int row) {
    if (row < 1 || row > 6) return;
    const DrumNoteEntry& entry = x_.currentEntry();
    const int key = drumSetSettingOf(entry.sourceMap, entry.sourceProgram);
    if (entry.sourceNote >= kNoteCount) return;
    for (const PresetDrumSet& set : x_.state.tables.sets) {
        if (drumSetSettingOf(set.map, set.program) != key) continue;
        const DrumInstrument& inst = set.instruments[entry.sourceNote];
        if (!inst.used) return;
        const int values[] = {inst.playNote, inst.level, inst.pan, inst.reverb, inst.effectSend, inst.assignGroup};
        setParameter(values[row - 1], row);
        return;
    }
}

void NoteEditing::renameInstrument(const std::string& name) {
    const EditorState& s = x_.state;
    x_.document.renameInstrument(s.editSet, s.editNote, name);
    x_.notify([&](EditorObserver& o) { o.instrumentNameChanged(s.editSet, s.editNote); });
}

void NoteEditing::applyStartValues() {
    EditorState& s = x_.state;
    const bool autoPreview = s.autoPreview;
    s.autoPreview = false;
    // The module's own values at power-on.
    for (int r = 1; r <= kPanelParameterCount; ++r) setParameter(deviceParameterInfo(deviceParameterOfRow(r, 0)).module, r);
    x_.notify([](EditorObserver& o) { o.usedStateSettled(); });
    s.autoPreview = autoPreview;
}

void NoteEditing::auditionNote() {
    const EditorState& s = x_.state;
    if (!s.autoPreview || !x_.currentEntry().used) return;
    x_.session.audition(s.currentSet, s.currentNote, s.velocity);
}

// --- Set names.

void NoteEditing::renameSet(int set, const std::string& name) {
    x_.document.renameSet(set, name);
    x_.notify([&](EditorObserver& o) { o.setNameChanged(set); });
    if (x_.session.preview()) x_.session.sendSetName(x_.document.kit(), set);
}

// --- Edit commands.

void NoteEditing::changeEditTarget(void (Document::*change)(int, int)) {
    const int set = x_.state.editSet, note = x_.state.editNote;
    x_.changingCommands([&] {
        (x_.document.*change)(set, note);
        noteChanged(set, note);
    });
}

void NoteEditing::cutNote() {
    if (x_.state.busy) return;
    changeEditTarget(&Document::cut);
}

void NoteEditing::copyNote() {
    const EditorState& s = x_.state;
    if (s.busy) return;
    x_.changingCommands([&] { x_.document.copy(s.editSet, s.editNote); });
}

void NoteEditing::pasteNotes() {
    if (x_.state.busy) return;
    pasteAtEditTarget(x_.document.clipboard());
}

void NoteEditing::pasteAtEditTarget(const std::vector<DrumNoteEntry>& notes) {
    const int set = x_.state.editSet, note = x_.state.editNote;
    int count = 0;
    x_.changingCommands([&] {
        count = x_.document.paste(set, note, notes);
        for (int i = 0; i < count; ++i) noteChanged(set, note + i);
    });
    for (int i = 0; i < count; ++i) x_.session.sendNote(x_.document.kit(), set, note + i);
}

void NoteEditing::copyNotes(const Kit& kit, int set, int first, int last) {
    if (x_.state.busy) return;
    std::vector<DrumNoteEntry> notes;
    bool used = false;
    for (int n = std::max(first, 0); n <= std::min(last, kNoteCount - 1); ++n) {
        notes.push_back(kit.entry(set, n));
        used = used || notes.back().used;
    }
    if (!used) return;
    x_.changingCommands([&] { x_.document.copyNotes(std::move(notes)); });
}

void NoteEditing::dropNotes(int set, int note, const std::vector<DrumNoteEntry>& notes) {
    if (x_.state.busy) return;
    selection_.selectEditTarget(set, note);
    pasteAtEditTarget(notes);
}

void NoteEditing::deleteNote() {
    // Runs even during a bulk transfer: it sends nothing.
    changeEditTarget(&Document::erase);
}

void NoteEditing::undo() {
    const EditorState& s = x_.state;
    if (s.busy || !x_.undoEnabled()) return;
    Document::Run run{1, 0, 0};
    x_.changingCommands([&] {
        run = x_.document.undo();
        for (int i = 0; i < run.count; ++i) noteChanged(run.set, run.note + i);
    });
    for (int i = 0; i < run.count; ++i) x_.session.sendNote(x_.document.kit(), run.set, run.note + i);
    // The selection goes to the first note of what came back.
    if (run.set != s.currentSet || run.note != s.currentNote) selection_.selectCell(run.set, run.note);
}

void NoteEditing::enterInstrument(int set, int note, const PresetDrumSet& preset, int k) {
    const EditorState& s = x_.state;
    x_.changingCommands([&] {
        x_.document.enterInstrument(set, note, preset, k);
        noteChanged(set, note);
    });
    if (set == s.currentSet && note == s.currentNote) x_.notify([](EditorObserver& o) { o.usedStateSettled(); });
    x_.session.sendNote(x_.document.kit(), set, note);
}

}  // namespace kf::ui
