// The GS DT1 messages that carry a user drum set, and their text form.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "midi/midi_backend.h"
#include "model/kit.h"

namespace kf {

class MidiOut;

// Roland checksum over address and data bytes: (128 - sum % 128) % 128.
std::uint8_t rolandChecksum(const std::uint8_t* begin, const std::uint8_t* end);

// A GS DT1 message to device ID 10 with these address and data bytes, its checksum added.
MidiBytes gsDataSet(std::initializer_list<std::uint8_t> addressAndData);

// 11-byte per-note parameter message; the value is read from the Kit now.
MidiBytes buildParameterMessage(const Kit& kit, int set, int note, int deviceParameter);

// 22-byte set name message. For a set other than 1 or 2 it builds nothing and leaves *out alone.
bool buildNameMessage(const Kit& kit, int set, MidiBytes* out);
MidiBytes buildNameMessage(const Kit& kit, int set);

// The twelve parameter messages of a note, device parameter order 1..12.
void sendWholeNote(MidiOut& out, const Kit& kit, int set, int note);

// Device parameters one change of panel row p sends, in order, given the entry after the change.
std::vector<int> panelChangeParameters(const DrumNoteEntry& e, int row);
// The device parameter an effect-type change sends.
inline int effectTypeParameter(int newEffectType) { return 6 + 3 * (newEffectType ? 1 : 0); }

// Device parameters an export writes for a note: 1..12, leaving out the unselected
// effect while the effect send is not 0.
std::vector<int> exportedParameters(const DrumNoteEntry& e);

// "F0 41 10 42 ..." in upper-case hex, one blank between bytes.
std::string hexText(const MidiBytes& message);

}  // namespace kf
