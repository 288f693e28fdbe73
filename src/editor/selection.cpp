#include "editor/selection.h"

#include "files/kit_file.h"
#include "gs/sysex.h"
#include "model/parameters.h"

namespace kf::ui {

void EditorContext::sendReceptionSwitches(int set, int note) {
    const Kit& kit = document.kit();
    if (!kit.entry(set, note).used) return;
    session.send(buildParameterMessage(kit, set, note, kRxNoteOff));
    session.send(buildParameterMessage(kit, set, note, kRxNoteOn));
}

void Selection::selectCell(int set, int note) {
    x_.session.setThruSet(set);
    x_.changingCommands([&] {
        x_.state.currentSet = set;
        x_.state.currentNote = note;
    });
    x_.notify([&](EditorObserver& o) { o.selectionChanged(set, note); });
    x_.sendReceptionSwitches(set, note);
}

void Selection::selectEditTarget(int set, int note) {
    if (set != x_.state.currentSet || note != x_.state.currentNote) selectCell(set, note);
    x_.state.editSet = set;
    x_.state.editNote = note;
}

void Selection::syncEditCell() {
    EditorState& s = x_.state;
    if (s.editSet == s.currentSet && s.editNote == s.currentNote) {
        x_.notify([](EditorObserver& o) { o.usedStateSettled(); });
    } else {
        s.editSet = s.currentSet;
        s.editNote = s.currentNote;
    }
}

void Selection::home() {
    x_.state.currentSet = x_.state.editSet = 1;
    x_.state.currentNote = x_.state.editNote = 0;
}

void Selection::followKey(int note) {
    // The keyboard chooses the note of the set being edited, as a click on its cell does.
    if (x_.state.options.selectByInput && note != x_.state.currentNote) selectCell(x_.state.currentSet, note);
}

void Selection::selectFirstUsed() {
    if (const auto first = firstUsedEntry(x_.document.kit()))
        if (first->first != x_.state.currentSet || first->second != x_.state.currentNote)
            selectCell(first->first, first->second);
}

}  // namespace kf::ui
