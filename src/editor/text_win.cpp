// Shift-JIS through Windows' code page 932: Qt built without ICU has no Shift-JIS codec.
#include "editor/text.h"

#include <windows.h>

namespace kf::ui {

namespace {

constexpr UINT kShiftJis = 932;

const wchar_t* wide(const QChar* c) { return reinterpret_cast<const wchar_t*>(c); }

// One character's Shift-JIS bytes, appended; false when it has none (then nothing is appended).
// One character at a time, so that a character with no form is one '?' whatever its length, and
// no near form (a best fit) is ever taken for it.
bool appendCharacter(const QChar* c, int units, std::string& out) {
    char bytes[4];
    BOOL usedDefault = FALSE;
    const int n = ::WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, wide(c), units, bytes, sizeof bytes, "?",
                                        &usedDefault);
    if (n == 0 || usedDefault) return false;
    out.append(bytes, static_cast<size_t>(n));
    return true;
}

int unitsAt(const QString& text, qsizetype at) {
    return text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate() ? 2 : 1;
}

}  // namespace

QString toUnicode(const std::string& sjis) {
    QString out;
    out.reserve(static_cast<qsizetype>(sjis.size()));
    for (size_t at = 0; at < sjis.size();) {
        const size_t n = ::IsDBCSLeadByteEx(kShiftJis, static_cast<BYTE>(sjis[at])) && at + 1 < sjis.size() ? 2 : 1;
        wchar_t units[2];
        const int got =
            ::MultiByteToWideChar(kShiftJis, MB_ERR_INVALID_CHARS, sjis.data() + at, static_cast<int>(n), units, 2);
        if (got == 0) {
            // As Qt's decoder does: the byte that starts no character is marked and skipped.
            out.append(QChar::ReplacementCharacter);
            ++at;
            continue;
        }
        out.append(reinterpret_cast<const QChar*>(units), got);
        at += n;
    }
    return out;
}

std::string fromUnicode(const QString& text) {
    std::string out;
    for (qsizetype at = 0; at < text.size();) {
        const int units = unitsAt(text, at);
        if (!appendCharacter(text.constData() + at, units, out)) out.push_back('?');
        at += units;
    }
    return out;
}

bool canEncode(const QString& text) {
    std::string scratch;
    for (qsizetype at = 0; at < text.size();) {
        const int units = unitsAt(text, at);
        if (!appendCharacter(text.constData() + at, units, scratch)) return false;
        at += units;
    }
    return true;
}

}  // namespace kf::ui
