#include "app/preview.h"

#include <QAction>
#include <QWidget>

#include "app/dialogs.h"
#include "editor/midi_texts.h"

namespace kf::ui {

namespace {
enum class Follow { Enabled, Visible };

void follow(QObject* o, Follow what, bool on) {
    if (auto* a = qobject_cast<QAction*>(o)) {
        if (what == Follow::Enabled) a->setEnabled(on);
        else a->setVisible(on);
    } else if (auto* w = qobject_cast<QWidget*>(o)) {
        if (what == Follow::Enabled) w->setEnabled(on);
        else w->setVisible(on);
    }
}
}  // namespace

Preview::Preview(EditorController& controller, Dialogs& dialogs, QObject* parent)
    : QObject(parent), c_(controller), dialogs_(dialogs) {}

void Preview::openFailed(const MidiError& why) {
    QString text = openFailureLines(why.kind);
    if (!why.text.empty()) text += "\r\n(" + QString::fromStdString(why.text) + ")";
    dialogs_.message(nullptr, QMessageBox::Warning, QStringLiteral("ﾌﾟﾚﾋﾞｭｰ機能"), text, QMessageBox::Ok);
}

void Preview::previewChanged(bool on) {
    for (auto& a : checked_)
        if (a) a->setChecked(on);
    for (auto& o : enabled_)
        if (o) follow(o, Follow::Enabled, on);
    for (auto& o : visible_)
        if (o) follow(o, Follow::Visible, on);
}

}  // namespace kf::ui
