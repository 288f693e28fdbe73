// Tool bar images drawn in code, so they need no image files and scale with the screen.
#pragma once

#include <QIcon>

namespace kf::ui::icons {

QIcon cut();
QIcon copy();
QIcon paste();
QIcon undo();
QIcon speaker();
// The program's own icon, in every size it ships.
QIcon program();

}  // namespace kf::ui::icons
