// The actions of cut, copy, paste, delete, undo and insert, enabled as the controller says,
// and text-entry mode (edit shortcuts handed to a text box).
#pragma once

#include <QKeySequence>
#include <QObject>
#include <array>
#include <functional>

#include "editor/editor_controller.h"

class QAction;
class QMenu;
class QWidget;

namespace kf::ui {

class EditCommands : public QObject, public EditorObserver {
    Q_OBJECT
public:
    EditCommands(EditorController& controller, QWidget* window);

    // Main menu items (with shortcuts), the grid's context menu items, tool bar actions.
    QAction *Undo1, *Cut1, *Copy1, *Paste1, *Delete1, *Insert1;
    QAction *Undo2, *Cut2, *Copy2, *Paste2, *Delete2, *Insert2;
    QAction *Undo3, *Cut3, *Copy3, *Paste3;

    QMenu* editMenu(QWidget* parent);   // "編集(&E)"
    // What the grid's pop-up (PopGrid1) holds, in order; a null entry is a separator.
    QList<QAction*> gridMenuActions() const;

    bool entryCommandsEnabled() const { return c_.entryCommandsEnabled(); }
    bool pasteEnabled() const { return c_.pasteEnabled(); }
    bool undoEnabled() const { return c_.undoEnabled(); }

    // Window set-up: everything off, shortcuts saved for text-entry mode.
    void setUp();
    // Focus entered a name box or the instrument-name box.
    void beginTextEntry(QWidget* box);
    // Focus entered any other control (the grid's enter handler serves them all).
    void Grid1Enter(QWidget* control);
    bool textEntryMode() const { return textEntry_; }

    // Status bar panel 0.
    std::function<void(const QString&)> showHint;

    void commandsChanged() override;

private:
    void applyEntry(bool on);
    void applyPaste(bool on);

    EditorController& c_;
    // What the actions show, which lags behind the controller in text-entry mode.
    bool entryEnabled_ = true, pasteEnabled_ = true, undoEnabled_ = true;
    bool textEntry_ = false;
    std::array<QAction*, 6> shortcutItems_{};
    std::array<QKeySequence, 6> savedShortcuts_;
    QKeySequence previewShortcut_;
};

}  // namespace kf::ui
