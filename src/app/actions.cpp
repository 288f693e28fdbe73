#include "app/actions.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>

#include "editor/text.h"

namespace kf::ui {

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }

void pumpEvents() {
    // Often enough to repaint, seldom enough that a long file is not read at the event loop's pace.
    static QElapsedTimer since;
    if (since.isValid() && since.elapsed() < 15) return;
    since.start();
    QCoreApplication::processEvents();
}

QAction* makeAction(QObject* parent, const char* name, const QString& caption, const char* hint,
                    const QKeySequence& shortcut) {
    auto* a = new QAction(caption, parent);
    a->setObjectName(name);
    a->setStatusTip(longHint(QString::fromUtf8(hint)));
    a->setToolTip(shortHint(QString::fromUtf8(hint)));
    a->setShortcut(shortcut);
    return a;
}

}  // namespace kf::ui
