// What the boxes say of a MIDI port that did not open.
#pragma once

#include <QString>

#include "midi/midi_backend.h"

namespace kf::ui {

// The cause of a port that did not open, kind and text on one line.
QString openFailureText(const MidiError& error);
// The preview box's two lines for a port that did not open, by what went wrong.
QString openFailureLines(MidiError::Kind kind);

}  // namespace kf::ui
