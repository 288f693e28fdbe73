// The built-in synth: a MidiBackend on FluidSynth that keeps the state a GS module keeps
// (rhythm parts, their programs, the two user drum sets) and plays a user drum note as its
// source instrument with the note's parameters applied.
//
// A user note plays on a FluidSynth channel of its own (112 of them, handed out to the notes as
// they sound, the longest unused taken back first), so level, sends and the pitch shift are
// controls of that channel (CC 7, CC 91, CC 93, coarse tune) and never disturb another note;
// its pan is set on the voices the note starts.
// Level follows FluidSynth's CC 7 curve: 40·log10(level/127) dB, so 64 is 11.9 dB below 127.
// Level and the sends scale the part's volume and sends, as on a GS module; the play note is a
// coarse tuning of the note's channel, exact in semitones; the note's pan and sends replace
// those its key has in the SoundFont.
//
// FluidSynth gives a voice two sends, reverb and chorus; GS has a third, delay. A note with a
// delay send starts a second voice on its channel's partner, which FluidSynth mixes into an
// audio group of its own: that group is the delay's input, never heard dry. The synth renders
// through a callback of its own that runs the delay ("Delay 1", as a GS reset leaves it) on that
// group and adds it to the rest. Channels alternate between the two groups (FluidSynth puts
// channel c in group c % 2), so the parts' channels are the even ones.
#pragma once

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "midi/midi_backend.h"
#include "platform/sound_fonts.h"

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

    // GS "Delay 1": the center tap at 340 ms and level 127, the side taps silent, feedback +16
    // of ±64, output level 64 of 127.
    static constexpr double kDelaySeconds = 0.340;
    static constexpr float kDelayFeedback = 16.0f / 64.0f, kDelayLevel = 64.0f / 127.0f;
    // How long a note takes to fall silent after a note-off it receives (Rx Note Off on): 96 dB
    // over this time, unless its own release is shorter.
    static constexpr double kNoteOffRelease = 0.3;

private:
    // The delay line: a mono sum of its group in, the center tap out to both sides.
    struct Delay {
        std::vector<float> line;
        std::size_t at = 0, length = 0;
        void clear() { std::fill(line.begin(), line.end(), 0.0f); }
        void run(const float* inLeft, const float* inRight, float* left, float* right, int frames);
    };
    // The frames FluidSynth renders at a time, into buffers made when the synth opens.
    static constexpr int kChunk = 1024;
    static int audioCallback(void* self, int len, int nfx, float* fx[], int nout, float* out[]);
    // Both groups rendered, the delay run on the second and added to the first (m_ held).
    void render(float* left, float* right, int frames);
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
    // Ends a user note's voices on its channel and partner within kNoteOffRelease.
    void releaseUserNote(int voiceChannel, int key);
    void selectDrumKit(int fluidChannel, int program);
    // The channel of a user note (0..255), taking one back from the longest unused when needed.
    int voiceChannel(int userNote);
    // The voices the last note-on on channel started, placed at pan; how many there were. A
    // delay voice (gain > 0) is quieter by that gain and sends nothing to reverb or chorus.
    int placeNewestVoices(int channel, int pan, double delayGain = 0);

    SynthOptions options_;
    fluid_settings_t* settings_ = nullptr;
    // The audio driver's own: FluidSynth's drivers read the synth's channel count from theirs
    // and would open a device of four channels for the two groups.
    fluid_settings_t* driverSettings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    fluid_audio_driver_t* driver_ = nullptr;
    std::vector<int> fonts_;
    std::mutex m_;
    // The module's state.
    std::array<UserNote, 256> user_{};
    std::array<std::array<std::uint8_t, 12>, 2> names_{};
    std::array<int, 16> rhythmMap_{};  // 0 normal part, 1 or 2 drum map
    std::array<int, 16> program_{};
    std::array<int, 16> partVolume_{}, partReverb_{}, partChorus_{}, partDelay_{};  // CC 7, 91, 93, 94
    // Part p plays on channel 2p; a user note on an even channel from kFirstVoice on, its delay
    // voice on the odd one after it.
    static constexpr int kFirstVoice = 32, kVoices = 112;
    std::array<int, 256> voiceOf_{};        // user note -> channel, 0 for none
    std::array<int, kVoices> ownerOf_{};    // (channel - kFirstVoice) / 2 -> user note + 1, 0 for none
    std::array<unsigned long, kVoices> lastUsed_{};
    unsigned long clock_ = 0;
    // Sounding user notes per set and assign group: (voice channel, key).
    std::vector<std::pair<int, int>> sounding_[2][128];
    std::mt19937 random_{12345};
    Delay delay_;
    std::vector<float> dryLeft_, dryRight_, delayLeft_, delayRight_;
};

}  // namespace kf
