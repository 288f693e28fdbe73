#include "app/edit_commands.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include "app/actions.h"
#include "editor/text.h"

namespace kf::ui {


EditCommands::EditCommands(EditorController& controller, QWidget* window) : QObject(window), c_(controller) {
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
    for (QAction* a : {Undo1, Undo2, Undo3}) connect(a, &QAction::triggered, this, [this] { c_.editing().undo(); });
    for (QAction* a : {Cut1, Cut2, Cut3}) connect(a, &QAction::triggered, this, [this] { c_.editing().cutNote(); });
    for (QAction* a : {Copy1, Copy2, Copy3}) connect(a, &QAction::triggered, this, [this] { c_.editing().copyNote(); });
    for (QAction* a : {Paste1, Paste2, Paste3}) connect(a, &QAction::triggered, this, [this] { c_.editing().pasteNotes(); });
    for (QAction* a : {Delete1, Delete2}) connect(a, &QAction::triggered, this, [this] { c_.editing().deleteNote(); });
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

QList<QAction*> EditCommands::gridMenuActions() const {
    return {Undo2, nullptr, Cut2, Copy2, Paste2, Delete2, nullptr, Insert2};
}

void EditCommands::setUp() {
    commandsChanged();
    for (size_t i = 0; i < shortcutItems_.size(); ++i) savedShortcuts_[i] = shortcutItems_[i]->shortcut();
}

void EditCommands::applyEntry(bool on) {
    entryEnabled_ = on;
    for (QAction* a : {Cut1, Cut2, Cut3, Copy1, Copy2, Copy3, Delete1, Delete2}) a->setEnabled(on);
}

void EditCommands::applyPaste(bool on) {
    pasteEnabled_ = on;
    for (QAction* a : {Paste1, Paste2, Paste3}) a->setEnabled(on);
}

void EditCommands::commandsChanged() {
    // Only what changed: in text-entry mode the box's own shortcuts stay in charge.
    if (entryEnabled_ != c_.entryCommandsEnabled()) applyEntry(c_.entryCommandsEnabled());
    if (pasteEnabled_ != c_.pasteEnabled()) applyPaste(c_.pasteEnabled());
    if (undoEnabled_ != c_.undoEnabled()) {
        undoEnabled_ = c_.undoEnabled();
        for (QAction* a : {Undo1, Undo2, Undo3}) a->setEnabled(undoEnabled_);
    }
}

void EditCommands::beginTextEntry(QWidget* box) {
    for (QAction* a : {Cut1, Copy1, Delete1, Paste1}) a->setEnabled(false);
    for (QAction* a : shortcutItems_) a->setShortcut(previewShortcut_);
    textEntry_ = true;
    if (showHint) showHint(longHint(box->statusTip()));
}

void EditCommands::Grid1Enter(QWidget* control) {
    if (textEntry_) {
        applyEntry(c_.entryCommandsEnabled());
        applyPaste(c_.pasteEnabled());
        for (size_t i = 0; i < shortcutItems_.size(); ++i) shortcutItems_[i]->setShortcut(savedShortcuts_[i]);
        textEntry_ = false;
    }
    if (showHint && control) showHint(longHint(control->statusTip()));
}

}  // namespace kf::ui
