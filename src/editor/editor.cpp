#include "editor/editor.h"

#include <QApplication>

namespace kf::ui {

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }

void pumpEvents() { QCoreApplication::processEvents(); }

}  // namespace kf::ui
