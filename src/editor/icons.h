// Tool bar images drawn in code, so they need no image files and scale with the screen.
#pragma once

#include <QIcon>

namespace kf::ui::icons {

QIcon cut();
QIcon copy();
QIcon paste();
QIcon undo();
QIcon speaker();

}  // namespace kf::ui::icons
