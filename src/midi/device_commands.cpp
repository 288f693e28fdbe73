#include "midi/device_commands.h"

#include "midi/midi_out.h"
#include "midi/sysex.h"

namespace kf {

const MidiBytes& rhythmPart11Message() {
    static const MidiBytes m{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x15, 0x02, 0x0F, 0xF7};
    return m;
}
const MidiBytes& gsResetMessage() {
    static const MidiBytes m{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
    return m;
}
const MidiBytes& systemMode1Message() {
    static const MidiBytes m{0xF0, 0x41, 0x10, 0x42, 0x12, 0x00, 0x00, 0x7F, 0x00, 0x01, 0xF7};
    return m;
}
const MidiBytes& systemMode2Message() {
    static const MidiBytes m{0xF0, 0x41, 0x10, 0x42, 0x12, 0x00, 0x00, 0x7F, 0x01, 0x00, 0xF7};
    return m;
}
const MidiBytes& allPartsProMapMessage() {
    static const MidiBytes m{0xF0, 0x41, 0x10, 0x42, 0x12, 0x00, 0x00, 0x03, 0x00, 0x7D, 0xF7};
    return m;
}

void sendSetProgramChange(MidiOut& out, int set) {
    out.sendShort(0xC9, static_cast<std::uint8_t>(0x3F + set), 0);
}

void sendSwitchOnSequence(MidiOut& out, const Kit& kit, bool wasOff, const std::function<void()>& pump) {
    out.sendLong(rhythmPart11Message());
    if (!wasOff) return;
    for (int set = 1; set <= kSetCount; ++set) {
        for (int note = 0; note < kNoteCount; ++note)
            if (kit.entry(set, note).used) sendWholeNote(out, kit, set, note);
        out.sendLong(buildNameMessage(kit, set));
        sendSetProgramChange(out, set);
        if (pump) pump();
    }
}

std::vector<MidiBytes> deviceCommandMessages(int command) {
    switch (command) {
        case kAllSoundOff: return {{0xB9, 0x78, 0x00}};
        case kGsReset: return {gsResetMessage(), rhythmPart11Message()};
        case kSystemMode1: return {systemMode1Message(), rhythmPart11Message()};
        case kSystemMode2: return {systemMode2Message(), rhythmPart11Message()};
        case kAllPartsProMap: return {allPartsProMapMessage(), {0xC0, 0x00}, systemMode1Message(), rhythmPart11Message()};
        default: return {};
    }
}

void sendDeviceCommand(MidiOut& out, bool livePreview, int command) {
    if (!livePreview) return;
    for (const MidiBytes& m : deviceCommandMessages(command)) {
        if (m[0] == 0xF0) out.sendLong(m);
        else out.sendShort(m[0], m[1], m.size() > 2 ? m[2] : 0);
    }
}

}  // namespace kf
