#include "synth/fluid_backend.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <alsa/asoundlib.h>
#endif

#include "gs/dt1.h"
#include "midi/midi_bytes.h"
#include "model/parameters.h"

namespace kf {

namespace {
constexpr int kUserProgram1 = 64;  // C9 40 and C9 41 select user drum set 1 and 2
// A GS part's effect sends at reset: reverb 40, chorus 0, delay 0 (CC 91, 93, 94).
constexpr int kPartReverb = 40;
constexpr int kMaxVoices = 256;  // FluidSynth's polyphony
constexpr int kPartChorus = 0;
constexpr int kPartDelay = 0;
constexpr int kPartVolume = 100;
constexpr int kChannels = 256;  // FluidSynth's most
using midi::kChorusSend;
using midi::kDelaySend;
using midi::kReverbSend;
using midi::kVolume;

// The FluidSynth channel of MIDI channel c (0..15): the even ones, whose sound is heard.
constexpr int partChannel(int c) { return 2 * c; }

#if defined(__linux__)
void silentAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif

// FluidSynth and the sound libraries below it talk on stderr about every driver they try;
// what matters reaches the user as the open error instead.
void quietLibraries() {
    static const bool done = [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, nullptr, nullptr);
#if defined(__linux__)
        snd_lib_error_set_handler(&silentAlsa);
#endif
#if !defined(_WIN32)
        // The JACK driver must use a running server, never start one of its own.
        ::setenv("JACK_NO_START_SERVER", "1", 0);
#endif
        return true;
    }();
    (void)done;
}
}  // namespace

FluidSynthBackend::FluidSynthBackend(SynthOptions options) : options_(std::move(options)) {
    // The names a new Kit has, space-filled as the module holds them.
    for (int set = 1; set <= kSetCount; ++set) {
        names_[static_cast<size_t>(set - 1)].fill(' ');
        const std::string name = "UserDrum" + std::to_string(set);
        std::copy(name.begin(), name.end(), names_[static_cast<size_t>(set - 1)].begin());
    }
}

FluidSynthBackend::~FluidSynthBackend() { close(); }

bool FluidSynthBackend::open(int, MidiError* error) {
    close();
    quietLibraries();
    settings_ = new_fluid_settings();
    fluid_settings_setint(settings_, "synth.midi-channels", kChannels);
    // Group 0 is heard, group 1 is the delay's input (see the header).
    fluid_settings_setint(settings_, "synth.audio-groups", 2);
    fluid_settings_setint(settings_, "synth.audio-channels", 2);
    fluid_settings_setnum(settings_, "synth.sample-rate", options_.sampleRate);
    fluid_settings_setint(settings_, "synth.reverb.active", 1);
    fluid_settings_setint(settings_, "synth.chorus.active", 1);
    fluid_settings_setint(settings_, "synth.cpu-cores", 1);
    fluid_settings_setint(settings_, "synth.polyphony", kMaxVoices);
    synth_ = new_fluid_synth(settings_);
    auto fail = [&](MidiError::Kind kind, const std::string& text) {
        if (error) *error = {kind, text};
        close();
        return false;
    };
    if (!synth_) return fail(MidiError::NoMidiSystem, "FluidSynth could not start");
    // A user note's pan replaces the pan its key has in the SoundFont (see placeNote), so CC 10
    // must add nothing on the notes' own channels.
    fluid_mod_t* pan = new_fluid_mod();
    fluid_mod_set_source1(pan, 10, FLUID_MOD_CC | FLUID_MOD_LINEAR | FLUID_MOD_BIPOLAR | FLUID_MOD_POSITIVE);
    fluid_mod_set_source2(pan, FLUID_MOD_NONE, 0);
    fluid_mod_set_dest(pan, GEN_PAN);
    fluid_mod_set_amount(pan, 0.0);
    fluid_synth_add_default_mod(synth_, pan, FLUID_SYNTH_OVERWRITE);
    delete_fluid_mod(pan);
    for (const std::string& f : options_.soundFonts) {
        const int id = fluid_synth_sfload(synth_, f.c_str(), 0);
        if (id != FLUID_FAILED) fonts_.push_back(id);
    }
    if (fonts_.empty())
        return fail(MidiError::NoSuchPort, "no SoundFont: " + (options_.soundFonts.empty() ? std::string("none given")
                                                                                          : options_.soundFonts.front()));
    for (int c = kFirstVoice; c < kChannels; ++c) fluid_synth_set_channel_type(synth_, c, CHANNEL_TYPE_DRUM);
    for (auto* b : {&dryLeft_, &dryRight_, &delayLeft_, &delayRight_}) b->assign(kChunk, 0.0f);
    delay_.length = static_cast<std::size_t>(std::lround(kDelaySeconds * options_.sampleRate));
    delay_.line.assign(delay_.length, 0.0f);
    delay_.at = 0;
    reset();
    if (!options_.offline) {
        std::vector<std::string> tries;
        if (!options_.audioDriver.empty()) tries.push_back(options_.audioDriver);
        else tries.assign(std::begin(kAudioDrivers), std::end(kAudioDrivers));
        driverSettings_ = new_fluid_settings();
        fluid_settings_setnum(driverSettings_, "synth.sample-rate", options_.sampleRate);
        // On JACK the synth's ports go to the system's playback ports, as FluidSynth's own -j
        // does: a user hears the set without patching anything.
        fluid_settings_setint(driverSettings_, "audio.jack.autoconnect", 1);
        for (const std::string& d : tries) {
            fluid_settings_setstr(driverSettings_, "audio.driver", d.c_str());
            driver_ = new_fluid_audio_driver2(driverSettings_, &FluidSynthBackend::audioCallback, this);
            if (driver_) break;
        }
        if (!driver_) {
            std::string tried;
            for (const std::string& d : tries) tried += (tried.empty() ? "" : ", ") + d;
            return fail(MidiError::PortBusy, "no audio device (" + tried + ")");
        }
    }
    return true;
}

std::size_t FluidSynthBackend::close() {
    if (driver_) delete_fluid_audio_driver(driver_);
    if (synth_) delete_fluid_synth(synth_);
    if (settings_) delete_fluid_settings(settings_);
    if (driverSettings_) delete_fluid_settings(driverSettings_);
    driver_ = nullptr;
    synth_ = nullptr;
    settings_ = nullptr;
    driverSettings_ = nullptr;
    fonts_.clear();
    return 0;
}

void FluidSynthBackend::reset() {
    // GS reset: part 10 is the rhythm part with drum map 1, every program 0. The user drum
    // sets keep their contents, as the module's do.
    rhythmMap_.fill(0);
    rhythmMap_[9] = 1;
    program_.fill(0);
    fluid_synth_program_reset(synth_);
    for (int c = 0; c < 16; ++c)
        fluid_synth_set_channel_type(synth_, partChannel(c), c == 9 ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);
    selectDrumKit(partChannel(9), 0);
    partVolume_.fill(kPartVolume);
    partReverb_.fill(kPartReverb);
    partChorus_.fill(kPartChorus);
    partDelay_.fill(kPartDelay);
    for (int c = 0; c < 16; ++c) {
        fluid_synth_cc(synth_, partChannel(c), kReverbSend, kPartReverb);
        fluid_synth_cc(synth_, partChannel(c), kChorusSend, kPartChorus);
        fluid_synth_cc(synth_, partChannel(c), kDelaySend, kPartDelay);
    }
    voiceOf_.fill(0);
    ownerOf_.fill(0);
    lastUsed_.fill(0);
    fluid_synth_all_sounds_off(synth_, -1);
    delay_.clear();
    for (auto& set : sounding_)
        for (auto& g : set) g.clear();
}

void FluidSynthBackend::selectDrumKit(int channel, int program) {
    for (int font : fonts_)
        if (fluid_synth_program_select(synth_, channel, font, 128, program) == FLUID_OK) return;
    // A kit no font has: the standard kit, as a module falls back.
    if (!fonts_.empty()) fluid_synth_program_select(synth_, channel, fonts_.front(), 128, 0);
}

bool FluidSynthBackend::send(const std::uint8_t* data, std::size_t size) {
    std::lock_guard<std::mutex> lock(m_);
    if (!synth_ || size == 0) return false;
    if (data[0] == midi::kSysEx) sysex(data, size);
    else if (midi::isStatus(data[0]) && data[0] < midi::kSysEx) channelMessage(data, size);
    return true;
}

std::uint8_t FluidSynthBackend::userValue(int set, int note, int parameter) const {
    const UserNote& u = user_[static_cast<size_t>(128 * (set - 1) + note)];
    if (u.received) return u.p[static_cast<size_t>(parameter)];
    // The module's own values until set; the source note is the note itself.
    return static_cast<std::uint8_t>(parameter == kSourceNote ? note : deviceParameterInfo(parameter).module);
}

bool FluidSynthBackend::request(const std::uint8_t* m, std::size_t n) {
    // F0 41 dev 42 11 a1 a2 a3 s1 s2 s3 sum F7
    if (n != 13 || m[1] != midi::kRolandId || m[3] != midi::kGsModelId || m[4] != midi::kDataRequest1) return false;
    unsigned sum = 0;
    for (std::size_t i = 5; i < 11; ++i) sum += m[i];
    if ((sum + m[11]) % 128 != 0 || !options_.answer) return true;
    const unsigned address = (unsigned{m[5]} << 14) | (unsigned{m[6]} << 7) | m[7];
    const unsigned size = (unsigned{m[8]} << 14) | (unsigned{m[9]} << 7) | m[10];
    const auto at = userDrumAt(address);
    // As on the module: a request must start where the map starts an entry, with its size.
    if (!at || (at->parameter == 0 && (at->index != 0 || size != 12)) || (at->parameter != 0 && size != 1)) return true;
    MidiBytes reply{midi::kSysEx, midi::kRolandId, m[2], midi::kGsModelId, midi::kDataSet1, m[5], m[6], m[7]};
    if (at->parameter == 0) {
        for (std::uint8_t b : names_[static_cast<size_t>(at->set - 1)]) reply.push_back(b);
    } else {
        reply.push_back(userValue(at->set, at->index, at->parameter));
    }
    unsigned replySum = 0;
    for (std::size_t i = 5; i < reply.size(); ++i) replySum += reply[i];
    reply.push_back(static_cast<std::uint8_t>((128 - replySum % 128) % 128));
    reply.push_back(midi::kEndOfSysEx);
    options_.answer(reply);
    return true;
}

void FluidSynthBackend::sysex(const std::uint8_t* m, std::size_t n) {
    if (request(m, n)) return;
    forEachDt1Byte(m, n, [this](unsigned address, std::uint8_t value) {
        if (const auto at = userDrumAt(address)) {
            if (at->parameter == 0) {
                // Set names: shown on the module, not heard, but told when asked.
                names_[static_cast<size_t>(at->set - 1)][static_cast<size_t>(at->index)] = value;
                return;
            }
            UserNote& u = user_[static_cast<size_t>(128 * (at->set - 1) + at->index)];
            if (!u.received) {
                // The module's own values until set; the source note is the note itself.
                for (int q = 1; q <= kDeviceParameterCount; ++q)
                    u.p[static_cast<size_t>(q)] = static_cast<std::uint8_t>(deviceParameterInfo(q).module);
                u.p[kSourceNote] = static_cast<std::uint8_t>(at->index);
                u.received = true;
            }
            u.p[static_cast<size_t>(at->parameter)] = value;
            return;
        }
        const unsigned a1 = address >> 14, a2 = (address >> 7) & 0x7F, a3 = address & 0x7F;
        if (address == ((0x40u << 14) | 0x7F) || address == 0x7F) {
            reset();  // GS reset, 40 00 7F; a system mode set, 00 00 7F, resets the module too
        } else if (a1 == 0x40 && (a2 & 0xF0) == 0x10 && a3 == 0x15) {
            // Use for rhythm part: 40 1x 15, x 0 for part 10, 1..9 parts 1..9, A..F parts 11..16.
            const unsigned x = a2 & 0x0F;
            const int part = x == 0 ? 10 : (x <= 9 ? static_cast<int>(x) : static_cast<int>(x) + 1);
            const int channel = part - 1;
            rhythmMap_[static_cast<size_t>(channel)] = value;
            fluid_synth_set_channel_type(synth_, partChannel(channel), value ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);
            if (value) selectDrumKit(partChannel(channel), program_[static_cast<size_t>(channel)]);
        }
    });
}

void FluidSynthBackend::channelMessage(const std::uint8_t* m, std::size_t n) {
    const int type = m[0] & 0xF0, channel = m[0] & 0x0F;
    const int d1 = n > 1 ? m[1] & 0x7F : 0, d2 = n > 2 ? m[2] & 0x7F : 0;
    const bool rhythm = rhythmMap_[static_cast<size_t>(channel)] != 0;
    const int fc = partChannel(channel);
    switch (type) {
        case midi::kNoteOn:
            if (d2 == 0) noteOff(channel, d1);
            else noteOn(channel, d1, d2);
            break;
        case midi::kNoteOff: noteOff(channel, d1); break;
        case midi::kProgramChange:
            program_[static_cast<size_t>(channel)] = d1;
            if (!rhythm) fluid_synth_program_change(synth_, fc, d1);
            else if (d1 != kUserProgram1 && d1 != kUserProgram1 + 1) selectDrumKit(fc, d1);
            break;
        case midi::kControlChange:
            if (d1 == midi::kAllSoundOff || d1 == midi::kAllNotesOff) {
                // ALL SOUND OFF (and all notes off): the part and, on a rhythm part, its user notes.
                fluid_synth_all_sounds_off(synth_, fc);
                if (rhythm)
                    for (int c = kFirstVoice; c < kChannels; ++c) fluid_synth_all_sounds_off(synth_, c);
            } else if (!rhythm || (d1 != midi::kBankSelect && d1 != midi::kBankSelectLsb)) {
                // The part's sends scale its user notes' own.
                if (d1 == kVolume) partVolume_[static_cast<size_t>(channel)] = d2;
                if (d1 == kReverbSend) partReverb_[static_cast<size_t>(channel)] = d2;
                if (d1 == kChorusSend) partChorus_[static_cast<size_t>(channel)] = d2;
                if (d1 == kDelaySend) partDelay_[static_cast<size_t>(channel)] = d2;
                // Bank select on a rhythm part picks a map: every map plays the font's kits.
                fluid_synth_cc(synth_, fc, d1, d2);
            }
            break;
        case midi::kPitchBend: fluid_synth_pitch_bend(synth_, fc, d1 | (d2 << 7)); break;
        default: break;
    }
}

void FluidSynthBackend::noteOn(int channel, int key, int velocity) {
    const int program = program_[static_cast<size_t>(channel)];
    const bool rhythm = rhythmMap_[static_cast<size_t>(channel)] != 0;
    if (!rhythm || (program != kUserProgram1 && program != kUserProgram1 + 1)) {
        fluid_synth_noteon(synth_, partChannel(channel), key, velocity);
        return;
    }
    const int set = program - kUserProgram1 + 1;
    const UserNote& u = user_[static_cast<size_t>(128 * (set - 1) + key)];
    if (!u.received || u.p[kRxNoteOn] == 0) return;
    const int vc = voiceChannel(128 * (set - 1) + key);
    selectDrumKit(vc, u.p[kSourceProgram]);
    // A drum instrument's level and sends scale the part's, as on a GS module: reverb 127 on a
    // part at its default 40 sends 40, and level 127 on a part at volume 100 sounds as the
    // preset instrument does there. CC 7's curve is 40·log10(value/127), so the product of the
    // two values is the sum of their levels in dB.
    const auto part = static_cast<size_t>(channel);
    const int volume = partVolume_[part] * u.p[kLevel] / 127;
    fluid_synth_cc(synth_, vc, kVolume, volume);
    const double reverb = partReverb_[part] * u.p[kReverb] / 127.0;
    const double chorus = partChorus_[part] * u.p[kChorus] / 127.0;
    // The delay send is a gain, as GS sends are: 127 on both the part and the note feed the
    // delay the note as loud as it sounds.
    const double delay = partDelay_[part] * u.p[kDelay] / (127.0 * 127.0);
    fluid_synth_cc(synth_, vc, kReverbSend, static_cast<int>(std::lround(reverb)));
    fluid_synth_cc(synth_, vc, kChorusSend, static_cast<int>(std::lround(chorus)));
    // The play note is the pitch the note sounds at, any distance from its source: a whole
    // number of semitones of coarse tune, exact where a pitch bend is scaled and clamped.
    const auto shift = static_cast<float>(static_cast<int>(u.p[kPlayNote]) - static_cast<int>(u.p[kSourceNote]));
    fluid_synth_set_gen(synth_, vc, GEN_COARSETUNE, shift);
    // The assign group is an exclusive class: a note cuts the sounding notes of its group.
    if (const int group = u.p[kAssignGroup]) {
        auto& sounding = sounding_[set - 1][group];
        for (const auto& [c, k] : sounding) {
            fluid_synth_all_sounds_off(synth_, c);
            fluid_synth_all_sounds_off(synth_, c + 1);
        }
        sounding.clear();
        sounding.emplace_back(vc, u.p[kSourceNote]);
    }
    const int pan = u.p[kPan] == 0 ? std::uniform_int_distribution<int>(1, 127)(random_) : u.p[kPan];
    fluid_synth_noteon(synth_, vc, u.p[kSourceNote], velocity);
    placeNewestVoices(vc, pan);
    if (delay > 0) {
        // The same instrument again, as loud as the note, on the partner channel: what the
        // delay hears.
        const int dc = vc + 1;
        selectDrumKit(dc, u.p[kSourceProgram]);
        fluid_synth_cc(synth_, dc, kVolume, volume);
        fluid_synth_set_gen(synth_, dc, GEN_COARSETUNE, shift);
        fluid_synth_noteon(synth_, dc, u.p[kSourceNote], velocity);
        placeNewestVoices(dc, pan, delay);
    }
}

int FluidSynthBackend::placeNewestVoices(int channel, int pan, double delayGain) {
    // The note's pan replaces its key's own: 1 hard left, 64 centre, 127 hard right, whatever
    // pan the SoundFont gives the key. A stereo pair goes to the one place as a module's mono
    // instrument does (keeping its width would leave an uneven pair off centre). The voices of
    // one note-on share an ID, the highest on the channel.
    const float place = static_cast<float>(pan - 64) * 500.0f / 63.0f;
    fluid_voice_t* voices[kMaxVoices + 1] = {};
    fluid_synth_get_voicelist(synth_, voices, kMaxVoices, -1);
    std::vector<fluid_voice_t*> started;
    unsigned newest = 0;
    for (fluid_voice_t* v : voices) {
        if (!v) break;
        if (fluid_voice_get_channel(v) != channel) continue;
        if (started.empty() || fluid_voice_get_id(v) > newest) {
            newest = fluid_voice_get_id(v);
            started.clear();
        }
        if (fluid_voice_get_id(v) == newest) started.push_back(v);
    }
    // Alike halves in one place add up: as loud as the pair was, not louder. A delay voice is
    // quieter by its send's gain (centibels: -200·log10 of the gain).
    float quieter = 100.0f * std::log10(static_cast<float>(started.size()));
    if (delayGain > 0) quieter -= 200.0f * static_cast<float>(std::log10(delayGain));
    for (fluid_voice_t* v : started) {
        fluid_voice_gen_set(v, GEN_PAN, place);
        fluid_voice_update_param(v, GEN_PAN);
        if (quieter != 0) {
            fluid_voice_gen_set(v, GEN_ATTENUATION, fluid_voice_gen_get(v, GEN_ATTENUATION) + quieter);
            fluid_voice_update_param(v, GEN_ATTENUATION);
        }
        // The note's sends replace the instrument's own, as on the module: what the SoundFont
        // gives the key goes, and the channel's CC alone is left. A delay voice sends nothing.
        for (int send : {GEN_REVERBSEND, GEN_CHORUSSEND}) {
            fluid_voice_gen_set(v, send, 0);
            fluid_voice_update_param(v, send);
        }
    }
    // Each half of a pair brought together is quieter, so its sends rise by as much and the
    // effects hear the note as before. A send is the generator plus what the channel's CC adds
    // through FluidSynth's default modulator (200 per mille at 128), so the generator takes the
    // rise; a CC could not rise past 127.
    if (started.size() > 1 && delayGain <= 0) {
        const float louder = std::sqrt(static_cast<float>(started.size()));
        for (const auto& [gen, cc] : {std::make_pair(GEN_REVERBSEND, kReverbSend), std::make_pair(GEN_CHORUSSEND, kChorusSend)}) {
            int value = 0;
            fluid_synth_get_cc(synth_, channel, cc, &value);
            const float byCc = 200.0f * static_cast<float>(value) / 128.0f;
            for (fluid_voice_t* v : started) {
                fluid_voice_gen_set(v, gen, (louder - 1) * byCc);
                fluid_voice_update_param(v, gen);
            }
        }
    }
    // A voice's new parameters wait in FluidSynth's queue until a call into the synth commits
    // them: any call will do.
    int committed = 0;
    fluid_synth_get_cc(synth_, channel, 10, &committed);
    return static_cast<int>(started.size());
}

void FluidSynthBackend::noteOff(int channel, int key) {
    const int program = program_[static_cast<size_t>(channel)];
    const bool rhythm = rhythmMap_[static_cast<size_t>(channel)] != 0;
    if (!rhythm || (program != kUserProgram1 && program != kUserProgram1 + 1)) {
        fluid_synth_noteoff(synth_, partChannel(channel), key);
        return;
    }
    const int set = program - kUserProgram1 + 1;
    const UserNote& u = user_[static_cast<size_t>(128 * (set - 1) + key)];
    if (!u.received || u.p[kRxNoteOff] == 0) return;  // Rx Note Off off: the note rings out
    const int vc = voiceOf_[static_cast<size_t>(128 * (set - 1) + key)];
    if (vc) releaseUserNote(vc, u.p[kSourceNote]);
}

void FluidSynthBackend::releaseUserNote(int voiceChannel, int key) {
    // A drum instrument of a SoundFont often releases as slowly as it decays, so its note-off
    // changes next to nothing; the module ends the note. Its voices get a short release first.
    const float release = static_cast<float>(1200.0 * std::log2(kNoteOffRelease));  // timecents
    fluid_voice_t* voices[kMaxVoices + 1] = {};
    fluid_synth_get_voicelist(synth_, voices, kMaxVoices, -1);
    for (fluid_voice_t* v : voices) {
        if (!v) break;
        const int c = fluid_voice_get_channel(v);
        if ((c != voiceChannel && c != voiceChannel + 1) || fluid_voice_get_key(v) != key || !fluid_voice_is_on(v))
            continue;
        if (fluid_voice_gen_get(v, GEN_VOLENVRELEASE) > release) {
            fluid_voice_gen_set(v, GEN_VOLENVRELEASE, release);
            fluid_voice_update_param(v, GEN_VOLENVRELEASE);
        }
    }
    fluid_synth_noteoff(synth_, voiceChannel, key);
    fluid_synth_noteoff(synth_, voiceChannel + 1, key);
}

int FluidSynthBackend::voiceChannel(int userNote) {
    ++clock_;
    int& vc = voiceOf_[static_cast<size_t>(userNote)];
    if (!vc) {
        const auto oldest = std::min_element(lastUsed_.begin(), lastUsed_.end()) - lastUsed_.begin();
        if (const int owner = ownerOf_[static_cast<size_t>(oldest)]) voiceOf_[static_cast<size_t>(owner - 1)] = 0;
        vc = kFirstVoice + 2 * static_cast<int>(oldest);
        ownerOf_[static_cast<size_t>(oldest)] = userNote + 1;
    }
    lastUsed_[static_cast<size_t>((vc - kFirstVoice) / 2)] = clock_;
    return vc;
}

void FluidSynthBackend::Delay::run(const float* inLeft, const float* inRight, float* left, float* right,
                                    int frames) {
    for (int i = 0; i < frames; ++i) {
        const float tap = line[at];  // what went in length frames ago
        line[at] = 0.5f * (inLeft[i] + inRight[i]) + kDelayFeedback * tap;
        if (++at == length) at = 0;
        left[i] += kDelayLevel * tap;
        right[i] += kDelayLevel * tap;
    }
}

void FluidSynthBackend::render(float* left, float* right, int frames) {
    for (int done = 0; done < frames;) {
        const int n = std::min(kChunk, frames - done);
        std::fill(left + done, left + done + n, 0.0f);
        std::fill(right + done, right + done + n, 0.0f);
        std::fill_n(delayLeft_.begin(), n, 0.0f);
        std::fill_n(delayRight_.begin(), n, 0.0f);
        // Group 0 with reverb and chorus into the output, group 1 into the delay's input.
        float* out[] = {left + done, right + done, delayLeft_.data(), delayRight_.data()};
        float* fx[] = {left + done, right + done, left + done, right + done};
        fluid_synth_process(synth_, n, 4, fx, 4, out);
        delay_.run(delayLeft_.data(), delayRight_.data(), left + done, right + done, n);
        done += n;
    }
}

int FluidSynthBackend::audioCallback(void* self, int len, int, float*[], int nout, float* out[]) {
    if (nout < 2) return FLUID_FAILED;
    auto* b = static_cast<FluidSynthBackend*>(self);
    std::lock_guard<std::mutex> lock(b->m_);
    b->render(out[0], out[1], len);
    return FLUID_OK;
}

void FluidSynthBackend::renderFloat(float* interleaved, int frames) {
    std::lock_guard<std::mutex> lock(m_);
    if (!synth_) {
        std::fill(interleaved, interleaved + 2 * frames, 0.0f);
        return;
    }
    for (int done = 0; done < frames;) {
        const int n = std::min(kChunk, frames - done);
        render(dryLeft_.data(), dryRight_.data(), n);
        for (int i = 0; i < n; ++i) {
            interleaved[2 * (done + i)] = dryLeft_[static_cast<size_t>(i)];
            interleaved[2 * (done + i) + 1] = dryRight_[static_cast<size_t>(i)];
        }
        done += n;
    }
}

}  // namespace kf
