// The live link to the module: the preview switch, the controls it governs, and the
// short messages that sound notes.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

class QAction;
class QWidget;

#include "midi/midi_backend.h"

namespace kf::ui {

struct Editor;

// The cause of a port that did not open, as the failure box's third line says it.
QString openFailureText(const MidiError& error);

class Preview : public QObject {
    Q_OBJECT
public:
    explicit Preview(Editor& editor, QObject* parent = nullptr);

    // Controls that follow livePreview: checked, enabled or visible while it is on.
    void governChecked(QAction* action) { checked_.push_back(action); }
    void governEnabled(QObject* actionOrWidget) { enabled_.push_back(actionOrWidget); }
    void governVisible(QObject* actionOrWidget) { visible_.push_back(actionOrWidget); }

    void SetPreview(bool on);
    void Preview1Click();
    // SetPreview at start: the port is checked and opened on the sender thread, so the window
    // shows without waiting for the MIDI system. A port the transport no longer lists falls
    // back to -1. The device command initCommand (1 to 4) follows the switch-on; any other
    // number becomes 0 once preview is on.
    void startPreview(bool on, int initCommand);
    bool starting() const { return starting_; }
    // Lets a start that is still opening end first.
    void settle();

    // Velocity of preview notes: the tool bar's velocity up-down.
    std::function<int()> velocity;

    void gridNoteOn(int set, int note);
    void gridNoteOff();
    void dataBoxNoteOn(int map, int program, int note);
    void dataBoxNoteOff(int note);
    void auditionNote();

    void Preview2MouseDown();
    void Preview2MouseUp();

private:
    void setGovernedControls(bool on);
    // The rest of SetPreview(true) once the port has opened, or not; greeted: the switch-on
    // went out with the open.
    void opened(bool ok, bool greeted);

    Editor& e_;
    std::vector<QPointer<QAction>> checked_;
    std::vector<QPointer<QObject>> enabled_;
    std::vector<QPointer<QObject>> visible_;
    bool starting_ = false;
};

}  // namespace kf::ui
