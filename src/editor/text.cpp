#include "editor/text.h"

namespace kf::ui {

int sjisLength(const QString& text) { return static_cast<int>(fromUnicode(text).size()); }

QString longHint(const QString& hint) {
    const int bar = hint.indexOf('|');
    return bar < 0 ? hint : hint.mid(bar + 1);
}

QString shortHint(const QString& hint) {
    const int bar = hint.indexOf('|');
    return bar < 0 ? hint : hint.left(bar);
}

}  // namespace kf::ui
