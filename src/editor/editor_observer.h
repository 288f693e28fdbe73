// What the views follow: every event the editor's parts tell, each after the state it reports
// has changed.
#pragma once

#include "editor/module_session.h"
#include "gs/kit_verify.h"
#include "midi/midi_backend.h"

namespace kf::ui {

class EditorObserver {
public:
    // A note's entry changed as a whole (cut, paste, undo, an instrument entered).
    virtual void noteChanged(int /*set*/, int /*note*/) {}
    // Only the name of a note changed, typed in the instrument-name box.
    virtual void instrumentNameChanged(int /*set*/, int /*note*/) {}
    // The current note moved.
    virtual void selectionChanged(int /*set*/, int /*note*/) {}
    // The whole kit is another one: every note and both set names.
    virtual void kitReplaced() {}
    virtual void setNameChanged(int /*set*/) {}
    // A slider row of the current note took a value by an operation (a default, the start values).
    virtual void panelValueChanged(int /*row*/, int /*value*/) {}
    // The current note's used state is settled: the controls that follow it catch up.
    virtual void usedStateSettled() {}
    // Which of cut/copy/delete, paste and undo apply changed.
    virtual void commandsChanged() {}
    virtual void previewChanged(bool /*on*/) {}
    // Preview was asked for and the port did not open: preview is off again.
    virtual void openFailed(const MidiError& /*why*/) {}
    // The velocity of preview notes took another value.
    virtual void velocityChanged(int /*velocity*/) {}
    // What is known to differ from the module changed: a compare ended, an edit mended a note,
    // another kit came. report: what still differs, none while nothing is known.
    virtual void differencesChanged(const VerifyReport* /*report*/) {}
    // A compare, or a sending of what differs, ended; afterTransfer: it followed a whole-kit
    // transfer by itself.
    virtual void compareEnded(const ModuleSession::Compare& /*result*/, bool /*afterTransfer*/) {}

protected:
    ~EditorObserver() = default;
};

}  // namespace kf::ui
