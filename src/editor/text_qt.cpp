// Shift-JIS through Qt's own codec, where Qt is built with one (ICU or iconv).
#include "editor/text.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace kf::ui {

namespace {

// One character's Shift-JIS bytes, appended; false when it has none. ICU writes its substitution
// bytes (FC FC) for a character Shift-JIS lacks and a near form for some others, and calls
// neither an error: only a character that reads back as itself has a form of its own. Fresh
// converters each time: after an error ICU's keep failing, whatever resetState() says.
bool appendCharacter(QStringView c, std::string& out) {
    QStringEncoder encode("Shift_JIS", QStringConverter::Flag::Stateless);
    const QByteArray bytes = encode(c);
    if (encode.hasError() || bytes.isEmpty()) return false;
    QStringDecoder decode("Shift_JIS", QStringConverter::Flag::Stateless);
    const QString back = decode(bytes);
    if (decode.hasError() || back != c) return false;
    out.append(bytes.constData(), static_cast<size_t>(bytes.size()));
    return true;
}

qsizetype unitsAt(const QString& text, qsizetype at) {
    return text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate() ? 2 : 1;
}

}  // namespace

QString toUnicode(const std::string& sjis) {
    QStringDecoder decode("Shift_JIS");
    return decode(QByteArray::fromRawData(sjis.data(), static_cast<qsizetype>(sjis.size())));
}

// One character at a time, so that a character with no form is one '?' whatever its length.
std::string fromUnicode(const QString& text) {
    std::string out;
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype units = unitsAt(text, at);
        if (!appendCharacter(QStringView(text).mid(at, units), out)) out.push_back('?');
        at += units;
    }
    return out;
}

bool canEncode(const QString& text) {
    std::string scratch;
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype units = unitsAt(text, at);
        if (!appendCharacter(QStringView(text).mid(at, units), scratch)) return false;
        at += units;
    }
    return true;
}

}  // namespace kf::ui
