// Notes on their way from one grid to another by drag and drop, in a format of our own.
#pragma once

#include <QByteArray>
#include <vector>

#include "model/kit.h"

namespace kf::ui {

inline constexpr char kNotesMimeType[] = "application/x-kitforge-notes";

QByteArray encodeNotes(const std::vector<DrumNoteEntry>& notes);
// Every value clamped as it enters a Kit; empty when the bytes hold no notes of ours.
std::vector<DrumNoteEntry> decodeNotes(const QByteArray& bytes);

}  // namespace kf::ui
