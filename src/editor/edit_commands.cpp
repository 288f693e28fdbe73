#include "editor/edit_commands.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include "editor/data_box.h"
#include "editor/editor.h"
#include "editor/grid.h"
#include "editor/panel.h"
#include "editor/text.h"
#include "midi/sysex.h"

namespace kf::ui {


EditCommands::EditCommands(Editor& editor, QWidget* window) : QObject(window), e_(editor) {
    const char* undoHint = "直前の操作を元に戻します。";
    const char* cutHint = "選択範囲を切り取ってｸﾘｯﾌﾟﾎﾞｰﾄﾞに移動します。";
    const char* copyHint = "選択範囲をｸﾘｯﾌﾟﾎﾞｰﾄﾞにｺﾋﾟｰします。";
    const char* pasteHint = "ｸﾘｯﾌﾟﾎﾞｰﾄﾞのﾃﾞｰﾀを指定個所に貼り付けます。";
    const char* deleteHint = "選択範囲を削除します。";
    Undo1 = makeAction(window, "Undo1", QString::fromUtf8("元に戻す(&U)"), undoHint, QKeySequence(Qt::CTRL | Qt::Key_Z));
    Cut1 = makeAction(window, "Cut1", QString::fromUtf8("切り取り(&T)"), cutHint, QKeySequence(Qt::CTRL | Qt::Key_X));
    Copy1 = makeAction(window, "Copy1", QString::fromUtf8("ｺﾋﾟｰ(&C)"), copyHint, QKeySequence(Qt::CTRL | Qt::Key_C));
    Paste1 = makeAction(window, "Paste1", QString::fromUtf8("貼り付け(&P)"), pasteHint, QKeySequence(Qt::CTRL | Qt::Key_V));
    Delete1 = makeAction(window, "Delete1", QString::fromUtf8("削除(&D)"), deleteHint, QKeySequence(Qt::Key_Delete));
    Insert1 = makeAction(window, "Insert1", QString::fromUtf8("挿入(&I)"), "指定されたｾﾙにﾃﾞｰﾀ入力ﾎﾞｯｸｽの内容を挿入します。",
                   QKeySequence(Qt::CTRL | Qt::Key_I));
    Undo2 = makeAction(window, "Undo2", QString::fromUtf8("元に戻す(&U)"), undoHint);
    Cut2 = makeAction(window, "Cut2", QString::fromUtf8("切り取り(&T)"), cutHint);
    Copy2 = makeAction(window, "Copy2", QString::fromUtf8("ｺﾋﾟｰ(&C)"), copyHint);
    Paste2 = makeAction(window, "Paste2", QString::fromUtf8("貼り付け(&P)"), pasteHint);
    Delete2 = makeAction(window, "Delete2", QString::fromUtf8("削除(&D)"), deleteHint);
    Insert2 = makeAction(window, "Insert2", QString::fromUtf8("挿入(&I)..."), "ｾﾙにﾃﾞｰﾀ入力ﾎﾞｯｸｽの内容を挿入します。");
    Undo3 = makeAction(window, "Undo3", QString::fromUtf8("元に戻す"), "元に戻す|直前の操作を元に戻します。");
    Cut3 = makeAction(window, "Cut3", QString::fromUtf8("切り取り"), "切り取り|選択範囲を切り取ってｸﾘｯﾌﾟﾎﾞｰﾄﾞに移動します。");
    Copy3 = makeAction(window, "Copy3", QString::fromUtf8("ｺﾋﾟｰ"), "ｺﾋﾟｰ|選択範囲をｸﾘｯﾌﾟﾎﾞｰﾄﾞにｺﾋﾟｰします。");
    Paste3 = makeAction(window, "Paste3", QString::fromUtf8("貼り付け"), "貼り付け|ｸﾘｯﾌﾟﾎﾞｰﾄﾞのﾃﾞｰﾀを指定個所に貼り付けます。");
    for (QAction* a : {Undo1, Cut1, Copy1, Paste1, Delete1, Insert1}) window->addAction(a);
    for (QAction* a : {Undo1, Undo2, Undo3}) connect(a, &QAction::triggered, this, &EditCommands::Undo1Click);
    for (QAction* a : {Cut1, Cut2, Cut3}) connect(a, &QAction::triggered, this, &EditCommands::Cut1Click);
    for (QAction* a : {Copy1, Copy2, Copy3}) connect(a, &QAction::triggered, this, &EditCommands::Copy1Click);
    for (QAction* a : {Paste1, Paste2, Paste3}) connect(a, &QAction::triggered, this, &EditCommands::Paste1Click);
    for (QAction* a : {Delete1, Delete2}) connect(a, &QAction::triggered, this, &EditCommands::Delete1Click);
    for (QAction* a : {Insert1, Insert2})
        connect(a, &QAction::triggered, this, [this] {
            if (e_.dataBox) e_.dataBox->Insert1Click();
        });
    shortcutItems_ = {Undo1, Cut1, Copy1, Paste1, Delete1, Insert1};
}

QMenu* EditCommands::editMenu(QWidget* parent) {
    auto* m = new QMenu(QStringLiteral("編集(&E)"), parent);
    m->setObjectName("Edit1");
    m->menuAction()->setStatusTip(QStringLiteral("元に戻す、削除、ｺﾋﾟｰ、挿入などを行います。"));
    m->setProperty("helpContext", 11);
    m->addAction(Undo1);
    m->addSeparator();
    m->addActions({Cut1, Copy1, Paste1, Delete1});
    m->addSeparator();
    m->addAction(Insert1);
    return m;
}

QMenu* EditCommands::gridMenu(QWidget* parent) {
    auto* m = new QMenu(parent);
    m->setObjectName("PopGrid1");
    m->setProperty("helpContext", 52);
    m->addAction(Undo2);
    m->addSeparator();
    m->addActions({Cut2, Copy2, Paste2, Delete2});
    m->addSeparator();
    m->addAction(Insert2);
    return m;
}

void EditCommands::setUp() {
    SetEntryCommandsEnabled(false);
    SetPasteEnabled(false);
    SetUndoEnabled(false);
    for (size_t i = 0; i < shortcutItems_.size(); ++i) savedShortcuts_[i] = shortcutItems_[i]->shortcut();
}

void EditCommands::applyEntry(bool on) {
    for (QAction* a : {Cut1, Cut2, Cut3, Copy1, Copy2, Copy3, Delete1, Delete2}) a->setEnabled(on);
}

void EditCommands::applyPaste(bool on) {
    for (QAction* a : {Paste1, Paste2, Paste3}) a->setEnabled(on);
}

void EditCommands::SetEntryCommandsEnabled(bool on) {
    if (entryEnabled_ == on) return;
    entryEnabled_ = on;
    applyEntry(on);
}

void EditCommands::SetPasteEnabled(bool on) {
    if (pasteEnabled_ == on) return;
    pasteEnabled_ = on;
    applyPaste(on);
}

void EditCommands::SetUndoEnabled(bool on) {
    if (undoEnabled_ == on) return;
    undoEnabled_ = on;
    for (QAction* a : {Undo1, Undo2, Undo3}) a->setEnabled(on);
}

void EditCommands::recordUndo(int set, int note) {
    EditorState& s = e_.state;
    s.undoEntry = s.kit.entry(set, note);
    s.undoSet = set;
    s.undoNote = note;
    SetUndoEnabled(true);
}

void EditCommands::showNoteIfCurrent(int set, int note) {
    if (set == e_.state.currentSet && note == e_.state.currentNote && e_.panel) e_.panel->showNote(set, note);
}

void EditCommands::showEntryCell(int set, int note) {
    const DrumNoteEntry& entry = e_.state.kit.entry(set, note);
    if (e_.grid) e_.grid->setCellText(set, note, entry.used ? toUnicode(entry.name) : QString());
}

void EditCommands::Cut1Click() {
    EditorState& s = e_.state;
    if (s.busy) return;
    const int set = s.editSet, note = s.editNote;
    recordUndo(set, note);
    s.clipboard = s.kit.entry(set, note);
    s.kit.entry(set, note) = blankEntry();
    if (e_.grid) e_.grid->setCellText(set, note, QString());
    showNoteIfCurrent(set, note);
    SetEntryCommandsEnabled(false);
    SetPasteEnabled(true);
    s.modified = true;
}

void EditCommands::Copy1Click() {
    EditorState& s = e_.state;
    if (s.busy) return;
    s.clipboard = s.editEntry();
    SetPasteEnabled(true);
}

void EditCommands::Paste1Click() {
    EditorState& s = e_.state;
    if (s.busy) return;
    const int set = s.editSet, note = s.editNote;
    recordUndo(set, note);
    SetEntryCommandsEnabled(true);
    s.kit.entry(set, note) = s.clipboard;
    if (e_.grid) e_.grid->setCellText(set, note, toUnicode(s.clipboard.name));
    showNoteIfCurrent(set, note);
    sendWholeNote(e_.midi, s.kit, set, note);
    s.modified = true;
}

void EditCommands::Delete1Click() {
    // Runs even during a bulk transfer: it sends nothing.
    EditorState& s = e_.state;
    const int set = s.editSet, note = s.editNote;
    recordUndo(set, note);
    SetEntryCommandsEnabled(false);
    s.kit.entry(set, note) = blankEntry();
    if (e_.grid) e_.grid->setCellText(set, note, QString());
    showNoteIfCurrent(set, note);
    s.modified = true;
}

void EditCommands::Undo1Click() {
    EditorState& s = e_.state;
    if (s.busy || !undoEnabled_) return;
    const int set = s.undoSet, note = s.undoNote;
    std::swap(s.kit.entry(set, note), s.undoEntry);
    showEntryCell(set, note);
    showNoteIfCurrent(set, note);
    sendWholeNote(e_.midi, s.kit, set, note);
    if (e_.grid) {
        e_.grid->setCurrentGridRow(note);
        e_.grid->setCurrentGridColumn(set);
    }
    SetEntryCommandsEnabled(s.kit.entry(set, note).used != 0);
    s.modified = true;
}

void EditCommands::beginTextEntry(QWidget* box) {
    for (QAction* a : {Cut1, Copy1, Delete1, Paste1}) a->setEnabled(false);
    for (QAction* a : shortcutItems_) a->setShortcut(previewShortcut_);
    textEntry_ = true;
    if (e_.showHint) e_.showHint(longHint(box->statusTip()));
}

void EditCommands::Grid1Enter(QWidget* control) {
    EditorState& s = e_.state;
    if (textEntry_) {
        entryEnabled_ = s.currentEntry().used != 0;
        pasteEnabled_ = s.clipboard.used != 0;
        applyEntry(entryEnabled_);
        applyPaste(pasteEnabled_);
        for (size_t i = 0; i < shortcutItems_.size(); ++i) shortcutItems_[i]->setShortcut(savedShortcuts_[i]);
        textEntry_ = false;
    }
    if (e_.showHint && control) e_.showHint(longHint(control->statusTip()));
}

}  // namespace kf::ui
