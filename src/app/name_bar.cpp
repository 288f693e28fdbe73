#include "app/name_bar.h"

#include <QAbstractItemView>
#include <algorithm>
#include <QCoreApplication>
#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStringListModel>
#include <QToolTip>

#include "editor/text.h"
#include "model/sjis.h"

namespace kf::ui {

namespace {
const char* kNameHint = "ﾕｰｻﾞｰﾄﾞﾗﾑ名|液晶ﾊﾟﾈﾙに表示するﾄﾞﾗﾑ名を変更します。";
const char* kKanaRefused = "カナは入力できません。";
}  // namespace

NameBar::NameBar(EditorController& controller, QWidget* parent) : QToolBar(parent), c_(controller) {
    setObjectName("ToolBar2");
    setWindowTitle(QStringLiteral("名前入力"));
    setMovable(false);
    setMinimumHeight(26);
    labelDN1_ = new QLabel(QStringLiteral("DrumName1:  "), this);
    labelDN1_->setObjectName("LabelDN1");
    // Sized by its text in whatever font the window gives it.
    labelDN1_->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    labelDN2_ = new QLabel(QStringLiteral("  2:"), this);
    labelDN2_->setObjectName("LabelDN2");
    names_ = new QStringListModel(this);
    int set = 1;
    for (QComboBox** box : {&editName1_, &editName2_}) {
        auto* b = new QComboBox(this);
        b->setObjectName(set == 1 ? "EditName1" : "EditName2");
        b->setEditable(true);
        b->setInsertPolicy(QComboBox::NoInsert);
        b->lineEdit()->setMaxLength(12);
        // Wide enough for twelve of the widest letters and the arrow: a name is never cut short.
        const int text = b->lineEdit()->fontMetrics().horizontalAdvance(QString(12, QLatin1Char('W')));
        b->setFixedWidth(std::max(120, text + 56));
        // No completer of the box's own: it would rewrite typed text to the case of a
        // suggestion (on Enter too). Ours only suggests; picking one is what replaces the text.
        b->setCompleter(nullptr);
        auto* c = new QCompleter(names_, this);
        c->setCaseSensitivity(Qt::CaseInsensitive);
        c->setCompletionMode(QCompleter::PopupCompletion);
        c->setWidget(b->lineEdit());
        c->popup()->setObjectName(set == 1 ? "Suggest1" : "Suggest2");
        c->popup()->installEventFilter(this);
        c->popup()->setProperty("suggestFor", set);
        (set == 1 ? suggest1_ : suggest2_) = c;
        connect(c, qOverload<const QString&>(&QCompleter::activated), b,
                [b](const QString& picked) { b->setEditText(picked); });
        connect(b->lineEdit(), &QLineEdit::textEdited, this, [this, set](const QString& t) { suggest(set, t); });
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
    connect(qApp, &QApplication::focusChanged, this, &NameBar::focusMoved);
}

int NameBar::setOf(const QObject* o) const {
    for (int set = 1; set <= 2; ++set) {
        const QComboBox* box = nameBox(set);
        if (o && (o == box || o == box->lineEdit() || o == box->view() || o == suggestions(set)->popup())) return set;
    }
    return 0;
}

void NameBar::focusMoved(QWidget* old, QWidget* now) {
    if (const int leaving = setOf(old); leaving && leaving != setOf(now)) pending_ = leaving;
    if (!pending_ || !now) return;
    if (setOf(now) == pending_) {
        pending_ = 0;  // back in the box: nothing was left
        return;
    }
    // A menu, a pop-up list or a dialog is no other control of the window.
    if (now->window() != window() || qobject_cast<QMenuBar*>(now) || qobject_cast<QMenu*>(now)) return;
    const int set = pending_;
    pending_ = 0;
    EditName1Exit(set);
}

void NameBar::suggest(int set, const QString& typed) {
    QCompleter* c = suggestions(set);
    if (typed.isEmpty()) {
        c->popup()->hide();
        return;
    }
    c->setCompletionPrefix(typed);
    if (c->completionCount() > 0) c->complete();
    else c->popup()->hide();
}

void NameBar::setSuggestions(const QStringList& names) {
    QStringList sorted = names;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    names_->setStringList(sorted);
    for (QComboBox* b : {editName1_, editName2_}) {
        const QString text = b->currentText();
        b->clear();
        b->addItems(sorted);
        b->setEditText(text);
    }
}

void NameBar::showNames() {
    editName1_->setEditText(toUnicode(c_.document().kit().setName(1)));
    editName2_->setEditText(toUnicode(c_.document().kit().setName(2)));
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
    QToolTip::hideText();
    return true;
}

void NameBar::EditName1Enter(int set) {
    emit textEntryBegun(nameBox(set));
}

void NameBar::EditName1Exit(int set) {
    QComboBox* box = nameBox(set);
    const std::string name(sjis::cutBeforeHighByte(fromUnicode(box->currentText())));
    box->setEditText(toUnicode(name));
    c_.editing().renameSet(set, name);
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
        case QEvent::MouseButtonPress:
            // A click beside the suggestions closes them and still does its own work (a
            // click into the grid selects there), as if they had not been open.
            if (const int s = watched->property("suggestFor").toInt()) {
                auto* popup = static_cast<QWidget*>(watched);
                auto* me = static_cast<QMouseEvent*>(event);
                const QPoint global = me->globalPosition().toPoint();
                if (popup->rect().contains(popup->mapFromGlobal(global))) break;
                popup->hide();
                QWidget* target = QApplication::widgetAt(global);
                if (target && target->window() == window()) {
                    QWidget* focusTaker = target;
                    while (focusTaker && !(focusTaker->focusPolicy() & Qt::ClickFocus)) focusTaker = focusTaker->parentWidget();
                    if (focusTaker) focusTaker->setFocus(Qt::MouseFocusReason);
                    QMouseEvent replay(QEvent::MouseButtonPress, target->mapFromGlobal(global), global, me->button(),
                                       me->buttons(), me->modifiers());
                    QApplication::sendEvent(target, &replay);
                }
                (void)s;
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton && !set && popViewMenu) {
                popViewMenu(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
                return true;
            }
            break;
        default: break;
    }
    return QToolBar::eventFilter(watched, event);
}

}  // namespace kf::ui
