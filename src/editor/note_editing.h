// Editing the notes of the document: the parameter panel's operations on the current note, the
// edit commands on the edit target (cut, copy, paste, delete, undo, over the document's
// clipboard and undo), instruments entered from the preset sets and the set names. Each edit is
// sent to the module as it is made.
#pragma once

#include <string>
#include <vector>

#include "editor/comparison.h"
#include "editor/editor_context.h"
#include "editor/selection.h"

namespace kf::ui {

class NoteEditing {
public:
    NoteEditing(EditorContext& x, Selection& selection, Comparison& comparison)
        : x_(x), selection_(selection), comparison_(comparison) {}

    // --- The parameter panel's operations on the current note.
    // A slider row takes a value (clamped to 0..127), heard at once unless it changed nothing.
    void setParameter(int value, int row);
    void setEffectType(int value);
    void setRxNoteOff(int value);
    void setRxNoteOn(int value);
    // Back to the value of the instrument the note came from (rows 1 to 6).
    void restoreDefault(int row);
    void renameInstrument(const std::string& name);
    // The module's own values at power-on, shown without auditioning.
    void applyStartValues();
    // The current note sounded once, as an edit is heard: with auto preview on, a used note.
    void auditionNote();

    // --- The set names.
    void renameSet(int set, const std::string& name);

    // --- Edit commands on the edit target; none runs while busy, except delete, which sends
    // nothing.
    void cutNote();
    void copyNote();
    void pasteNotes();
    void deleteNote();
    void undo();
    // Notes first..last of one set of another kit into the clipboard, for paste to write from
    // the edit target on. A range without a used note copies nothing, as copy does not apply
    // to an empty note.
    void copyNotes(const Kit& kit, int set, int first, int last);
    // Notes dropped on a note: it becomes the current note and the edit target, and they are
    // pasted there as paste writes the clipboard, one step for undo. The clipboard stays.
    void dropNotes(int set, int note, const std::vector<DrumNoteEntry>& notes);
    // Instrument k of a preset drum set into a note, as 入力 and 挿入 do.
    void enterInstrument(int set, int note, const PresetDrumSet& preset, int k);

private:
    // A note's entry changed: the views show it, and the module hears the reception switches
    // of the current note whenever it is shown.
    void noteChanged(int set, int note);
    void setRx(std::uint8_t DrumInstrument::*field, int deviceParameter, int value);
    // A change of the edit target's entry, shown (and its reception switches sent) at once.
    void changeEditTarget(void (Document::*change)(int, int));
    // Paste: notes from the edit target on, each shown and then sent whole.
    void pasteAtEditTarget(const std::vector<DrumNoteEntry>& notes);

    EditorContext& x_;
    Selection& selection_;
    Comparison& comparison_;
};

}  // namespace kf::ui
