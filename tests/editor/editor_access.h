// The tests' one way past the editor's parts: a document, flags and the line set up without the
// operation that would bring them about.
#pragma once

#include "editor/editor_controller.h"

namespace kf::ui {
class EditorTestAccess {
public:
    static Kit& kit(EditorController& c) { return c.x_.document.kit_; }
    static void setModified(EditorController& c, bool on) { c.x_.document.setModified(on); }
    static void setBusy(EditorController& c, bool on) { c.x_.state.busy = on; }
    static MidiOut& output(EditorController& c) { return c.x_.session.out_; }
    static MidiIn& input(EditorController& c) { return c.x_.session.in_; }
};
}  // namespace kf::ui
