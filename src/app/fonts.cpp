#include "app/fonts.h"

#include <QStringList>

namespace kf::ui {

namespace {
QFont make(const QStringList& families, int pixelSize, QFont::StyleHint hint) {
    QFont f;
    f.setFamilies(families);
    f.setStyleHint(hint);
    f.setPixelSize(pixelSize);
    return f;
}
}  // namespace

QFont uiFont(int pixelSize) {
    return make({QStringLiteral("ＭＳ Ｐゴシック"), "MS PGothic", "IPAPGothic", "Noto Sans CJK JP"}, pixelSize,
                QFont::SansSerif);
}

QFont fixedFont(int pixelSize) {
    QFont f = make({QStringLiteral("ＭＳ ゴシック"), "MS Gothic", "IPAGothic", "Noto Sans Mono CJK JP"}, pixelSize,
                   QFont::Monospace);
    f.setFixedPitch(true);
    return f;
}

}  // namespace kf::ui
