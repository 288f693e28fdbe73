// The live link to the module: the preview switch, the controls it governs, and the
// short messages that sound notes.
#pragma once

#include <QObject>
#include <QPointer>
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

    Editor& e_;
    std::vector<QPointer<QAction>> checked_;
    std::vector<QPointer<QObject>> enabled_;
    std::vector<QPointer<QObject>> visible_;
};

}  // namespace kf::ui
