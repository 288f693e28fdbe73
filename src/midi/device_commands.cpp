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

void sendDeviceCommand(MidiOut& out, bool livePreview, int command) {
    if (!livePreview) return;
    switch (command) {
        case kAllSoundOff: out.sendShort(0xB9, 0x78, 0x00); return;
        case kGsReset: out.sendLong(gsResetMessage()); break;
        case kSystemMode1: out.sendLong(systemMode1Message()); break;
        case kSystemMode2: out.sendLong(systemMode2Message()); break;
        case kAllPartsProMap:
            out.sendLong(allPartsProMapMessage());
            out.sendShort(0xC0, 0x00, 0x00);
            out.sendLong(systemMode1Message());
            break;
        default: return;
    }
    out.sendLong(rhythmPart11Message());
}

}  // namespace kf
