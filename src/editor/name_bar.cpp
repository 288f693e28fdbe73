#include "editor/name_bar.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolTip>

#include "editor/edit_commands.h"
#include "editor/editor.h"
#include "editor/grid.h"
#include "editor/text.h"
#include "midi/device_commands.h"
#include "midi/sysex.h"
#include "model/sjis.h"

namespace kf::ui {

namespace {
const char* kNameHint = "ﾕｰｻﾞｰﾄﾞﾗﾑ名|液晶ﾊﾟﾈﾙに表示するﾄﾞﾗﾑ名を変更します。";
const char* kKanaRefused = "カナは入力できません。";
}  // namespace

NameBar::NameBar(Editor& editor, QWidget* parent) : QToolBar(parent), e_(editor) {
    setObjectName("ToolBar2");
    setWindowTitle(QStringLiteral("名前入力"));
    setMovable(false);
    setMinimumHeight(26);
    labelDN1_ = new QLabel(QStringLiteral("DrumName1:  "), this);
    labelDN1_->setObjectName("LabelDN1");
    labelDN1_->setFixedWidth(65);
    labelDN2_ = new QLabel(QStringLiteral("  2:"), this);
    labelDN2_->setObjectName("LabelDN2");
    int set = 1;
    for (QComboBox** box : {&editName1_, &editName2_}) {
        auto* b = new QComboBox(this);
        b->setObjectName(set == 1 ? "EditName1" : "EditName2");
        b->setEditable(true);
        b->setInsertPolicy(QComboBox::NoInsert);
        b->setFixedWidth(120);
        b->lineEdit()->setMaxLength(12);
        b->completer()->setCaseSensitivity(Qt::CaseInsensitive);
        // Suggest without typing into the box: leaving it commits exactly what the user typed.
        b->completer()->setCompletionMode(QCompleter::PopupCompletion);
        b->setProperty("helpContext", 5);
        b->setProperty("hint", QString::fromUtf8(kNameHint));
        b->setStatusTip(longHint(QString::fromUtf8(kNameHint)));
        b->setToolTip(shortHint(QString::fromUtf8(kNameHint)));
        b->lineEdit()->setStatusTip(b->statusTip());
        b->installEventFilter(this);
        b->lineEdit()->installEventFilter(this);
        b->lineEdit()->setProperty("set", set);
        b->setProperty("set", set);
        *box = b;
        ++set;
    }
    addWidget(labelDN1_);
    addWidget(editName1_);
    addWidget(labelDN2_);
    addWidget(editName2_);
    for (QWidget* w : {static_cast<QWidget*>(labelDN1_), static_cast<QWidget*>(labelDN2_),
                       static_cast<QWidget*>(this)})
        w->installEventFilter(this);
}

void NameBar::setSuggestions(const QStringList& names) {
    QStringList sorted = names;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    for (QComboBox* b : {editName1_, editName2_}) {
        const QString text = b->currentText();
        b->clear();
        b->addItems(sorted);
        b->setEditText(text);
    }
}

void NameBar::showNames() {
    editName1_->setEditText(toUnicode(e_.state.kit.setName(1)));
    editName2_->setEditText(toUnicode(e_.state.kit.setName(2)));
}

bool NameBar::EditName1KeyPress(int set, const QString& typed) {
    QComboBox* box = nameBox(set);
    for (const QChar c : typed)
        if (c.unicode() > 127) {
            box->setToolTip(QString::fromUtf8(kKanaRefused));
            if (box->isVisible()) QToolTip::showText(box->mapToGlobal(QPoint(0, box->height())), box->toolTip(), box);
            return false;
        }
    box->setToolTip(QString());
    return true;
}

void NameBar::EditName1Enter(int set) {
    if (e_.edit) e_.edit->beginTextEntry(nameBox(set));
}

void NameBar::EditName1Exit(int set) {
    EditorState& s = e_.state;
    QComboBox* box = nameBox(set);
    const std::string name(sjis::cutBeforeHighByte(fromUnicode(box->currentText())));
    box->setEditText(toUnicode(name));
    if (name != s.kit.setName(set)) {
        s.kit.setSetName(set, name);
        s.modified = true;
    }
    if (e_.grid) e_.grid->setHeader(set, toUnicode(name));
    if (s.livePreview) {
        e_.midi.sendLong(buildNameMessage(s.kit, set));
        sendSetProgramChange(e_.midi, set);
    }
}

bool NameBar::eventFilter(QObject* watched, QEvent* event) {
    const int set = watched->property("set").toInt();
    switch (event->type()) {
        case QEvent::KeyPress: {
            if (!set) break;
            const QString typed = static_cast<QKeyEvent*>(event)->text();
            if (!typed.isEmpty() && typed.at(0).isPrint() && !EditName1KeyPress(set, typed)) return true;
            break;
        }
        case QEvent::InputMethod:
            // Composed text (kana, kanji) arrives here rather than as key presses.
            if (set) {
                auto* im = static_cast<QInputMethodEvent*>(event);
                if (!im->commitString().isEmpty() && !EditName1KeyPress(set, im->commitString())) {
                    QInputMethodEvent none;
                    QCoreApplication::sendEvent(watched, &none);
                    return true;
                }
            }
            break;
        case QEvent::FocusIn:
            if (set && qobject_cast<QComboBox*>(watched)) EditName1Enter(set);
            break;
        case QEvent::FocusOut: {
            // Opening the box's own drop-down list is no loss of focus.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (set && qobject_cast<QComboBox*>(watched) && reason != Qt::PopupFocusReason) EditName1Exit(set);
            break;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton && !set && viewMenu) {
                viewMenu->popup(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
                return true;
            }
            break;
        default: break;
    }
    return QToolBar::eventFilter(watched, event);
}

}  // namespace kf::ui
