// The kit being edited and what belongs to it as a document: the file it came from, the
// one-step undo, the clipboard and whether it differs from what was saved. Nothing here
// sends or shows anything; the editor controller does both after each change.
//
// The clipboard and the undo each hold a run of neighbouring notes of one set: one note from
// this kit's own cut and copy, a range taken from another kit. A paste of a range is one
// step, and one undo takes the whole range back.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "model/kit.h"
#include "model/preset_sets.h"

namespace kf::ui {

class EditorTestAccess;

class Document {
public:
    const Kit& kit() const { return kit_; }
    const DrumNoteEntry& entry(int set, int note) const { return kit_.entry(set, note); }
    // The notes a paste writes, from the edit target on.
    const std::vector<DrumNoteEntry>& clipboard() const { return clipboard_; }
    bool modified() const { return modified_; }
    // Paste applies while the clipboard holds a used note; Undo while a change is recorded.
    bool canPaste() const;
    bool canUndo() const { return undoAvailable_; }

    // The file: its name ("無題" until it has one), its folder (ends with a separator, or
    // empty) and whether it was opened or saved under that name.
    const QString& name() const { return name_; }
    const QString& folder() const { return folder_; }
    bool named() const { return named_; }
    void setFile(const QString& folder, const QString& name);
    void setUntitled();
    void setName(const QString& name) { name_ = name; }
    void setFolder(const QString& folder) { folder_ = folder; }

    void setModified(bool on) { modified_ = on; }

    // --- Whole kits: both forget the undo.
    void reset();
    void replace(Kit kit);

    // --- One note. Each marks the document modified as a user's edit does.
    // A slider row's field (1 to kPanelParameterCount); true when the value changed.
    bool setParameter(int set, int note, int row, int value);
    // A switch field; true when it changed.
    bool setField(int set, int note, std::uint8_t DrumInstrument::*field, int value);
    void renameInstrument(int set, int note, const std::string& name);
    // True when the name changed.
    bool renameSet(int set, const std::string& name);
    // Instrument k of a preset drum set into the note, remembering where it came from.
    void enterInstrument(int set, int note, const PresetDrumSet& preset, int k);

    // --- The clipboard and the undo. Cut, paste and erase record the undo first.
    void copy(int set, int note) { clipboard_.assign(1, kit_.entry(set, note)); }
    // Notes of another kit, in order, to be pasted as they stand (unused ones too).
    void copyNotes(std::vector<DrumNoteEntry> notes) { clipboard_ = std::move(notes); }
    void cut(int set, int note);
    // Writes notes from (set, note) on, as far as note 127 goes; returns how many it wrote.
    int paste(int set, int note, const std::vector<DrumNoteEntry>& notes);
    int paste(int set, int note) { return paste(set, note, clipboard_); }
    void erase(int set, int note);
    void recordUndo(int set, int note, int count = 1);
    // Swaps the notes recorded with the entries they held, so a second undo redoes; returns
    // the run it restored.
    struct Run {
        int set, note, count;
    };
    Run undo();

private:
    friend class EditorTestAccess;

    Kit kit_;
    std::vector<DrumNoteEntry> clipboard_;
    std::vector<DrumNoteEntry> undoEntries_;
    int undoSet_ = 1, undoNote_ = 0;
    bool undoAvailable_ = false;
    bool modified_ = false;
    QString name_ = QStringLiteral("無題");
    QString folder_;
    bool named_ = false;
};

}  // namespace kf::ui
