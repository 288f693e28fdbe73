// The current note, which the panel shows, and the edit target, which the edit commands act on
// and which catches up with the current note at the window's next idle moment.
#pragma once

#include "editor/editor_context.h"

namespace kf::ui {

class Selection {
public:
    explicit Selection(EditorContext& x) : x_(x) {}

    // The note becomes current: the views follow, the module hears its reception switches, a
    // keyboard played through plays its set.
    void selectCell(int set, int note);
    // The note becomes current and the edit target at once (a right click, 入力 moving on).
    void selectEditTarget(int set, int note);
    // At idle: the edit target catches up with the current note.
    void syncEditCell();
    // Both go to set 1, note 0, as the window starts: no view hears of it, each part shows
    // itself from the state as it is set up.
    void home();
    // A note-on came in from the input: with the option on, that note of the current set.
    void followKey(int note);
    // The first used note of the kit, if there is one, as a kit that comes in is shown.
    void selectFirstUsed();

private:
    EditorContext& x_;
};

}  // namespace kf::ui
