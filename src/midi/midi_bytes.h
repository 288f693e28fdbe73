// The bytes of MIDI and of Roland's GS exclusive messages that the program sends and reads,
// named once.
#pragma once

#include <cstdint>

namespace kf::midi {

// Status bytes: the kind in the high nibble, the channel (0..15) in the low one.
constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kProgramChange = 0xC0;
constexpr std::uint8_t kChannelPressure = 0xD0;
constexpr std::uint8_t kPitchBend = 0xE0;
constexpr std::uint8_t kSysEx = 0xF0;
constexpr std::uint8_t kTimeCodeQuarterFrame = 0xF1;
constexpr std::uint8_t kSongPosition = 0xF2;
constexpr std::uint8_t kSongSelect = 0xF3;
constexpr std::uint8_t kEndOfSysEx = 0xF7;
constexpr std::uint8_t status(std::uint8_t kind, int channel) {
    return static_cast<std::uint8_t>(kind | (channel & 0x0F));
}
constexpr bool isStatus(std::uint8_t b) { return b >= 0x80; }
constexpr bool isChannelStatus(std::uint8_t b) { return isStatus(b) && b < kSysEx; }
// Timing clock, start, stop, active sensing, reset: single bytes that may fall anywhere, even
// inside another message.
constexpr std::uint8_t kFirstRealtime = 0xF8;
constexpr bool isRealtime(std::uint8_t b) { return b >= kFirstRealtime; }
// Data bytes after a channel status: one for program change and channel pressure, else two.
constexpr int channelDataBytes(std::uint8_t status) {
    const std::uint8_t kind = status & 0xF0;
    return kind == kProgramChange || kind == kChannelPressure ? 1 : 2;
}

// Standard MIDI File events that are no messages: meta events and their kinds.
constexpr std::uint8_t kMetaEvent = 0xFF;
constexpr std::uint8_t kMetaText = 0x01;
constexpr std::uint8_t kMetaTrackName = 0x03;
constexpr std::uint8_t kMetaEndOfTrack = 0x2F;

// Channel 10 plays the rhythm part the user sets are on; channel 11 is the part the data box
// sounds the preset sets on.
constexpr int kRhythmChannel = 9;
constexpr int kPresetChannel = 10;
constexpr std::uint8_t kRhythmNoteOn = status(kNoteOn, kRhythmChannel);                   // 99
constexpr std::uint8_t kRhythmControl = status(kControlChange, kRhythmChannel);           // B9
constexpr std::uint8_t kRhythmProgram = status(kProgramChange, kRhythmChannel);           // C9
constexpr std::uint8_t kPresetNoteOn = status(kNoteOn, kPresetChannel);                   // 9A
constexpr std::uint8_t kPresetControl = status(kControlChange, kPresetChannel);           // BA
constexpr std::uint8_t kPresetProgram = status(kProgramChange, kPresetChannel);           // CA
constexpr std::uint8_t kFirstPartProgram = status(kProgramChange, 0);                     // C0

// Controllers.
constexpr std::uint8_t kBankSelect = 0x00;
constexpr std::uint8_t kBankSelectLsb = 0x20;
constexpr std::uint8_t kVolume = 0x07;
// A part's effect sends: reverb, chorus and (GS) delay.
constexpr std::uint8_t kReverbSend = 0x5B;
constexpr std::uint8_t kChorusSend = 0x5D;
constexpr std::uint8_t kDelaySend = 0x5E;
constexpr std::uint8_t kAllSoundOff = 0x78;
constexpr std::uint8_t kAllNotesOff = 0x7B;

// Program number + set (1 or 2) on the rhythm channel selects a user drum set: 40 and 41.
constexpr std::uint8_t kUserSetProgramBase = 0x3F;

// GS data set (DT1): F0 41 dev 42 12 a1 a2 a3 data… checksum F7.
constexpr std::uint8_t kRolandId = 0x41;
constexpr std::uint8_t kDefaultDeviceId = 0x10;
constexpr std::uint8_t kGsModelId = 0x42;
constexpr std::uint8_t kDataSet1 = 0x12;
constexpr std::uint8_t kDataRequest1 = 0x11;  // RQ1: F0 41 dev 42 11 a1 a2 a3 s1 s2 s3 sum F7
constexpr int kDt1HeaderBytes = 5;  // F0 41 dev 42 12
// The first address byte of the two user drum sets.
constexpr std::uint8_t kUserDrumArea = 0x21;

}  // namespace kf::midi
