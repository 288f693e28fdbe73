#include "gs/device_commands.h"

#include <algorithm>

#include "gs/sysex.h"
#include "midi/midi_bytes.h"
#include "midi/midi_out.h"
#include "model/parameters.h"

namespace kf {

// GS addresses: part 11's rhythm mode (40 1A 15), GS reset (40 00 7F), the system mode
// (00 00 7F) and the drum map of all parts (00 00 03).
const MidiBytes& rhythmPart11Message() {
    static const MidiBytes m = gsDataSet({0x40, 0x1A, 0x15, 0x02});  // drum map 2
    return m;
}
const MidiBytes& gsResetMessage() {
    static const MidiBytes m = gsDataSet({0x40, 0x00, 0x7F, 0x00});
    return m;
}
const MidiBytes& systemMode1Message() {
    static const MidiBytes m = gsDataSet({0x00, 0x00, 0x7F, 0x00});
    return m;
}
const MidiBytes& systemMode2Message() {
    static const MidiBytes m = gsDataSet({0x00, 0x00, 0x7F, 0x01});
    return m;
}
const MidiBytes& allPartsProMapMessage() {
    static const MidiBytes m = gsDataSet({0x00, 0x00, 0x03, 0x00});
    return m;
}

std::vector<MidiBytes> partSendChanges(const PartSends& before, const PartSends& now) {
    std::vector<MidiBytes> m;
    for (const std::uint8_t control : {midi::kRhythmControl, midi::kPresetControl}) {
        const auto change = [&](std::uint8_t controller, int from, int to) {
            if (from != to) m.push_back({control, controller, static_cast<std::uint8_t>(std::clamp(to, 0, 127))});
        };
        change(midi::kReverbSend, before.reverb, now.reverb);
        change(midi::kChorusSend, before.chorus, now.chorus);
        change(midi::kDelaySend, before.delay, now.delay);
    }
    return m;
}

namespace {
void send(MidiOut& out, const MidiBytes& m) {
    if (m[0] == midi::kSysEx) out.sendLong(m);
    else out.sendShort(m[0], m[1], m.size() > 2 ? m[2] : 0);
}
}  // namespace

void sendSetProgramChange(MidiOut& out, int set) {
    out.sendShort(midi::kRhythmProgram, static_cast<std::uint8_t>(midi::kUserSetProgramBase + set), 0);
}

std::vector<MidiBytes> setTransferMessages(const Kit& kit, int set) {
    std::vector<MidiBytes> messages;
    for (int note = 0; note < kNoteCount; ++note) {
        if (!kit.entry(set, note).used) continue;
        for (int p = 1; p <= kDeviceParameterCount; ++p) messages.push_back(buildParameterMessage(kit, set, note, p));
    }
    messages.push_back(buildNameMessage(kit, set));
    return messages;
}

void sendKitTransfer(MidiOut& out, const Kit& kit, const std::function<void()>& pump) {
    for (int set = 1; set <= kSetCount; ++set) {
        for (const MidiBytes& m : setTransferMessages(kit, set)) out.sendLong(m);
        sendSetProgramChange(out, set);
        if (pump) pump();
    }
}

void sendSwitchOnSequence(MidiOut& out, const Kit& kit, bool wasOff, const std::function<void()>& pump,
                          const PartSends& sends) {
    out.sendLong(rhythmPart11Message());
    for (const MidiBytes& m : partSendMessages(sends)) send(out, m);
    if (wasOff) sendKitTransfer(out, kit, pump);
}

std::vector<MidiBytes> deviceCommandMessages(int command, const PartSends& sends) {
    std::vector<MidiBytes> m;
    switch (command) {
        case kAllSoundOff: return {{midi::kRhythmControl, midi::kAllSoundOff, 0x00}};
        case kGsReset: m = {gsResetMessage(), rhythmPart11Message()}; break;
        case kSystemMode1: m = {systemMode1Message(), rhythmPart11Message()}; break;
        case kSystemMode2: m = {systemMode2Message(), rhythmPart11Message()}; break;
        case kAllPartsProMap:
            m = {allPartsProMapMessage(), {midi::kFirstPartProgram, 0x00}, systemMode1Message(), rhythmPart11Message()};
            break;
        default: return {};
    }
    for (MidiBytes& s : partSendMessages(sends)) m.push_back(std::move(s));
    return m;
}

void sendDeviceCommand(MidiOut& out, bool livePreview, int command, const PartSends& sends) {
    if (!livePreview) return;
    for (const MidiBytes& m : deviceCommandMessages(command, sends)) send(out, m);
}

}  // namespace kf
