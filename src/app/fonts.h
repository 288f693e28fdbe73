// The interface fonts, with fallbacks where the Japanese Windows fonts are missing.
#pragma once

#include <QFont>

namespace kf::ui {

// Proportional interface font ("ＭＳ Ｐゴシック", then IPAPGothic, then Noto CJK).
QFont uiFont(int pixelSize = 12);
// Fixed-pitch font for the grid and lists ("ＭＳ ゴシック", then IPAGothic, then Noto CJK mono).
QFont fixedFont(int pixelSize = 15);

}  // namespace kf::ui
