// Cut, copy, paste, delete and the one-level swapping undo on the edit target, their
// enabled states, and text-entry mode (edit shortcuts handed to a text box).
#pragma once

#include <QKeySequence>
#include <QObject>
#include <array>

class QAction;
class QMenu;
class QWidget;

namespace kf::ui {

struct Editor;

class EditCommands : public QObject {
    Q_OBJECT
public:
    EditCommands(Editor& editor, QWidget* window);

    // Main menu items (with shortcuts), the grid's context menu items, tool bar actions.
    QAction *Undo1, *Cut1, *Copy1, *Paste1, *Delete1, *Insert1;
    QAction *Undo2, *Cut2, *Copy2, *Paste2, *Delete2, *Insert2;
    QAction *Undo3, *Cut3, *Copy3, *Paste3;

    QMenu* editMenu(QWidget* parent);   // "編集(&E)"
    QMenu* gridMenu(QWidget* parent);   // PopGrid1

    void Undo1Click();
    void Cut1Click();
    void Copy1Click();
    void Paste1Click();
    void Delete1Click();

    // Insert and 入力 record undo like Cut and Paste do.
    void recordUndo(int set, int note);

    void SetEntryCommandsEnabled(bool on);
    void SetPasteEnabled(bool on);
    void SetUndoEnabled(bool on);
    bool entryCommandsEnabled() const { return entryEnabled_; }
    bool pasteEnabled() const { return pasteEnabled_; }
    bool undoEnabled() const { return undoEnabled_; }

    // Window set-up: everything off, shortcuts saved for text-entry mode.
    void setUp();
    // Focus entered a name box or the instrument-name box.
    void beginTextEntry(QWidget* box);
    // Focus entered any other control (the grid's enter handler serves them all).
    void Grid1Enter(QWidget* control);
    bool textEntryMode() const { return textEntry_; }

private:
    void applyEntry(bool on);
    void applyPaste(bool on);
    void showNoteIfCurrent(int set, int note);
    void showEntryCell(int set, int note);

    Editor& e_;
    bool entryEnabled_ = true, pasteEnabled_ = true, undoEnabled_ = true;
    bool textEntry_ = false;
    std::array<QAction*, 6> shortcutItems_{};
    std::array<QKeySequence, 6> savedShortcuts_;
    QKeySequence previewShortcut_;
};

}  // namespace kf::ui
