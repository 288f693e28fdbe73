// Fixed set-up messages: the switch-on transfer and the Send menu's device commands.
#pragma once

#include <functional>
#include <vector>

#include "midi/midi_backend.h"
#include "model/kit.h"

namespace kf {

class MidiOut;

// GS: part 11 becomes a rhythm part with drum map 2.
const MidiBytes& rhythmPart11Message();
const MidiBytes& gsResetMessage();
const MidiBytes& systemMode1Message();
const MidiBytes& systemMode2Message();
const MidiBytes& allPartsProMapMessage();

// The effect sends (CC 91, 93, 94) of the rhythm parts on channels 10 and 11, where a reset
// leaves a GS module's parts at reverb 40, chorus 0 and delay 0.
struct PartSends {
    int reverb = 40, chorus = 0, delay = 0;
    bool operator==(const PartSends& o) const { return reverb == o.reverb && chorus == o.chorus && delay == o.delay; }
    bool operator!=(const PartSends& o) const { return !(*this == o); }
};
// The control changes that take both parts from `before` to `now`: channel 10's, then 11's.
std::vector<MidiBytes> partSendChanges(const PartSends& before, const PartSends& now);
// What a reset module needs to hear for `sends`: nothing where they are a reset's own.
inline std::vector<MidiBytes> partSendMessages(const PartSends& sends) { return partSendChanges({}, sends); }

// Program change on channel 10 that selects user drum set 1 or 2 (C9 40 / C9 41).
void sendSetProgramChange(MidiOut& out, int set);

// The DT1 messages of one set in the switch-on transfer: the twelve parameters of every used
// note, then the set's name. A .syx export is these too, so both carry the same bytes.
std::vector<MidiBytes> setTransferMessages(const Kit& kit, int set);

// The whole Kit as the module takes it: each set's transfer messages, then its program change
// (so the module plays the set under its new name). pump runs once per set so the window can
// repaint. What switching preview on and a kit replaced in the window both send.
void sendKitTransfer(MidiOut& out, const Kit& kit, const std::function<void()>& pump = {});

// After the port has opened: the rhythm-part message with the part sends and, only on a real
// off-to-on change, the whole Kit.
void sendSwitchOnSequence(MidiOut& out, const Kit& kit, bool wasOff, const std::function<void()>& pump = {},
                          const PartSends& sends = {});

enum DeviceCommand : int { kAllSoundOff = 0, kGsReset = 1, kSystemMode1 = 2, kSystemMode2 = 3, kAllPartsProMap = 4 };
constexpr int kDeviceCommandCount = 5;

// What command 0..4 sends, in order; nothing for other numbers. Every command but ALL SOUND
// OFF resets the module, so the rhythm parts are set up again after it, their sends included.
std::vector<MidiBytes> deviceCommandMessages(int command, const PartSends& sends = {});
// Command 0..4 while preview is on; other numbers and preview off send nothing.
void sendDeviceCommand(MidiOut& out, bool livePreview, int command, const PartSends& sends = {});

}  // namespace kf
