// The one place where the core's Shift-JIS bytes meet Qt's strings: the conversion itself is
// platform/shift_jis.h, the command line's too; here only UTF-8 meets QString.
#pragma once

#include <QString>
#include <string>

namespace kf::ui {

// A byte that starts no character shows as U+FFFD.
QString toUnicode(const std::string& sjis);
// Characters Shift-JIS cannot hold become '?'; use canEncode() to refuse them first.
std::string fromUnicode(const QString& text);
bool canEncode(const QString& text);
// Bytes the text takes in Shift-JIS.
int sjisLength(const QString& text);

// Hints are "short|long"; the status bar shows the long part.
QString longHint(const QString& hint);
QString shortHint(const QString& hint);

}  // namespace kf::ui
