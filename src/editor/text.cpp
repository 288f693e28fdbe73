#include "editor/text.h"

#include <QByteArray>
#include <QStringEncoder>

#include "platform/shift_jis.h"

namespace kf::ui {

namespace {

// U+FFFD, as a QString shows a byte that starts no character.
constexpr char kUnreadable[] = "\xEF\xBF\xBD";

// The encoder writes a lone surrogate as U+FFFD, which Shift-JIS has no form for; toUtf8() would
// write '?', which it has.
std::string utf8(const QString& text) {
    QStringEncoder encode(QStringConverter::Utf8);
    const QByteArray bytes = encode(text);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace

QString toUnicode(const std::string& sjis) { return QString::fromStdString(fromShiftJis(sjis, kUnreadable)); }

std::string fromUnicode(const QString& text) { return toShiftJis(utf8(text)); }

bool canEncode(const QString& text) { return canEncodeShiftJis(utf8(text)); }

int sjisLength(const QString& text) { return static_cast<int>(shiftJisLength(utf8(text))); }

QString longHint(const QString& hint) {
    const int bar = hint.indexOf('|');
    return bar < 0 ? hint : hint.mid(bar + 1);
}

QString shortHint(const QString& hint) {
    const int bar = hint.indexOf('|');
    return bar < 0 ? hint : hint.left(bar);
}

}  // namespace kf::ui
