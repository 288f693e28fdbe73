// The controls of the live link to the module: the preview switch and the controls that
// follow it, and the tool bar's preview button.
#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

#include "app/dialogs.h"
#include "editor/editor_controller.h"

class QAction;

namespace kf::ui {

class Preview : public QObject, public EditorObserver {
    Q_OBJECT
public:
    Preview(EditorController& controller, Dialogs& dialogs, QObject* parent = nullptr);

    // Controls that follow livePreview: checked, enabled or visible while it is on.
    void governChecked(QAction* action) { checked_.push_back(action); }
    void governEnabled(QObject* actionOrWidget) { enabled_.push_back(actionOrWidget); }
    void governVisible(QObject* actionOrWidget) { visible_.push_back(actionOrWidget); }

    void Preview1Click() { c_.preview().toggle(); }
    void Preview2MouseDown() { c_.preview().soundCurrentNote(); }
    void Preview2MouseUp() { c_.preview().noteOff(); }

    void previewChanged(bool on) override;
    // The box that says why, over the window.
    void openFailed(const MidiError& why) override;

private:
    EditorController& c_;
    Dialogs& dialogs_;
    std::vector<QPointer<QAction>> checked_;
    std::vector<QPointer<QObject>> enabled_;
    std::vector<QPointer<QObject>> visible_;
};

}  // namespace kf::ui
