// Small helpers the window's parts share: a command's action, the hourglass, repainting
// during long work.
#pragma once

#include <QKeySequence>
#include <QString>

class QAction;
class QObject;

namespace kf::ui {

// A command's action: objectName, caption, hint "short|long" (status bar: long; tool tip: short).
QAction* makeAction(QObject* parent, const char* name, const QString& caption, const char* hint,
                    const QKeySequence& shortcut = {});

// Hourglass for the length of a scope.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Lets the window repaint during long work.
void pumpEvents();

}  // namespace kf::ui
