#include "editor/text.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace kf::ui {

QString toUnicode(const std::string& sjis) {
    QStringDecoder decode("Shift_JIS");
    return decode(QByteArray::fromRawData(sjis.data(), static_cast<qsizetype>(sjis.size())));
}

std::string fromUnicode(const QString& text) {
    QStringEncoder encode("Shift_JIS", QStringConverter::Flag::Default);
    const QByteArray bytes = encode(text);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

bool canEncode(const QString& text) {
    QStringEncoder encode("Shift_JIS", QStringConverter::Flag::Stateless);
    (void)encode(text);
    return !encode.hasError();
}

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
