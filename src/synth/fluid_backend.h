// The built-in synth: a MidiBackend on FluidSynth that keeps the state a GS module keeps
// (rhythm parts, their programs, the two user drum sets) and plays a user drum note as its
// source instrument with the note's parameters applied.
//
// A user note plays on a FluidSynth channel of its own (channels 16 to 255, 240 of them, handed
// out to the notes as they sound, the longest unused taken back first), so level, sends and the
// pitch shift are controls of that channel (CC 7, CC 91, CC 93, coarse tune) and never disturb
// another note; its pan is set on the voices the note starts.
// Level follows FluidSynth's CC 7 curve: 40·log10(level/127) dB, so 64 is 11.9 dB below 127.
// Level and the sends scale the part's volume and sends, as on a GS module; the play note is a
// coarse tuning of the note's channel, exact in semitones; the note's pan replaces the pan its
// key has in the SoundFont. The delay send has no FluidSynth effect: it is approximated by the
// chorus send (the larger of the two is used).
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "midi/midi_backend.h"
#include "synth/sound_fonts.h"

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_audio_driver_t fluid_audio_driver_t;

namespace kf {

// FluidSynth's audio drivers on this system, in the order tried when none is chosen.
#if defined(_WIN32)
inline constexpr const char* kAudioDrivers[] = {"wasapi", "dsound", "waveout"};
#else
inline constexpr const char* kAudioDrivers[] = {"pipewire", "pulseaudio", "jack", "alsa"};
#endif

struct SynthOptions {
    // SoundFonts, the first that has a preset wins.
    std::vector<std::string> soundFonts = defaultSoundFonts();
    // FluidSynth's audio driver; empty: the first of kAudioDrivers that opens.
    std::string audioDriver;
    // No audio driver at all: the caller renders with renderFloat().
    bool offline = false;
    double sampleRate = 44100;
    // Where the synth's answers to data requests (RQ1) go, as a module's go to its MIDI out;
    // none: requests are not answered.
    std::function<void(const MidiBytes&)> answer;
};

class FluidSynthBackend : public MidiBackend {
public:
    explicit FluidSynthBackend(SynthOptions options = {});
    ~FluidSynthBackend() override;

    static constexpr const char* kName = "内蔵音源 (FluidSynth)";

    std::vector<std::string> ports() override { return {}; }
    // Any id opens the synth: a missing SoundFont or audio device is the error's text.
    bool open(int id, MidiError* error) override;
    std::size_t close() override;
    bool send(const std::uint8_t* data, std::size_t size) override;
    bool wantsPacing() const override { return false; }

    // Offline: the next frames of stereo sound, interleaved left, right.
    void renderFloat(float* interleaved, int frames);

private:
    struct UserNote {
        bool received = false;
        std::array<std::uint8_t, 13> p{};  // device parameters 1..12
    };
    void reset();
    void channelMessage(const std::uint8_t* m, std::size_t n);
    void sysex(const std::uint8_t* m, std::size_t n);
    // A data request of the user drum area, answered from the state kept; false for any other message.
    bool request(const std::uint8_t* m, std::size_t n);
    std::uint8_t userValue(int set, int note, int parameter) const;
    void noteOn(int channel, int key, int velocity);
    void noteOff(int channel, int key);
    void selectDrumKit(int fluidChannel, int program);
    // The channel of a user note (0..255), taking one back from the longest unused when needed.
    int voiceChannel(int userNote);
    // The voices the last note-on on channel started, placed at pan; how many there were.
    int placeNewestVoices(int channel, int pan);

    SynthOptions options_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    fluid_audio_driver_t* driver_ = nullptr;
    std::vector<int> fonts_;
    std::mutex m_;
    // The module's state.
    std::array<UserNote, 256> user_{};
    std::array<std::array<std::uint8_t, 12>, 2> names_{};
    std::array<int, 16> rhythmMap_{};  // 0 normal part, 1 or 2 drum map
    std::array<int, 16> program_{};
    std::array<int, 16> partVolume_{}, partReverb_{}, partChorus_{};  // CC 7, 91 and 93 of each part
    static constexpr int kFirstVoice = 16, kVoices = 240;
    std::array<int, 256> voiceOf_{};        // user note -> channel, 0 for none
    std::array<int, kVoices> ownerOf_{};    // channel - kFirstVoice -> user note + 1, 0 for none
    std::array<unsigned long, kVoices> lastUsed_{};
    unsigned long clock_ = 0;
    // Sounding user notes per set and assign group: (voice channel, key).
    std::vector<std::pair<int, int>> sounding_[2][128];
    std::mt19937 random_{12345};
};

}  // namespace kf
