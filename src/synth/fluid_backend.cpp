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
// A GS part's effect sends at reset: reverb 40, chorus 0 (CC 91, CC 93).
constexpr int kPartReverb = 40;
constexpr int kMaxVoices = 256;  // FluidSynth's polyphony
constexpr int kPartChorus = 0;
constexpr int kPartVolume = 100;
constexpr int kVolume = 7;
constexpr int kReverbSend = 91;
constexpr int kChorusSend = 93;

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
    fluid_settings_setint(settings_, "synth.midi-channels", kFirstVoice + kVoices);
    fluid_settings_setnum(settings_, "synth.sample-rate", options_.sampleRate);
    fluid_settings_setint(settings_, "synth.reverb.active", 1);
    fluid_settings_setint(settings_, "synth.chorus.active", 1);
    fluid_settings_setint(settings_, "synth.cpu-cores", 1);
    fluid_settings_setint(settings_, "synth.polyphony", kMaxVoices);
    // On JACK the synth's ports go to the system's playback ports, as FluidSynth's own -j does:
    // a user hears the set without patching anything.
    fluid_settings_setint(settings_, "audio.jack.autoconnect", 1);
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
    for (int c = kFirstVoice; c < kFirstVoice + kVoices; ++c) fluid_synth_set_channel_type(synth_, c, CHANNEL_TYPE_DRUM);
    reset();
    if (!options_.offline) {
        std::vector<std::string> tries;
        if (!options_.audioDriver.empty()) tries.push_back(options_.audioDriver);
        else tries.assign(std::begin(kAudioDrivers), std::end(kAudioDrivers));
        for (const std::string& d : tries) {
            fluid_settings_setstr(settings_, "audio.driver", d.c_str());
            driver_ = new_fluid_audio_driver(settings_, synth_);
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
    driver_ = nullptr;
    synth_ = nullptr;
    settings_ = nullptr;
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
        fluid_synth_set_channel_type(synth_, c, c == 9 ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);
    selectDrumKit(9, 0);
    partVolume_.fill(kPartVolume);
    partReverb_.fill(kPartReverb);
    partChorus_.fill(kPartChorus);
    for (int c = 0; c < 16; ++c) {
        fluid_synth_cc(synth_, c, kReverbSend, kPartReverb);
        fluid_synth_cc(synth_, c, kChorusSend, kPartChorus);
    }
    voiceOf_.fill(0);
    ownerOf_.fill(0);
    lastUsed_.fill(0);
    fluid_synth_all_sounds_off(synth_, -1);
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
        if (address == ((0x40u << 14) | 0x7F)) {
            reset();  // GS reset, 40 00 7F
        } else if (a1 == 0x40 && (a2 & 0xF0) == 0x10 && a3 == 0x15) {
            // Use for rhythm part: 40 1x 15, x 0 for part 10, 1..9 parts 1..9, A..F parts 11..16.
            const unsigned x = a2 & 0x0F;
            const int part = x == 0 ? 10 : (x <= 9 ? static_cast<int>(x) : static_cast<int>(x) + 1);
            const int channel = part - 1;
            rhythmMap_[static_cast<size_t>(channel)] = value;
            fluid_synth_set_channel_type(synth_, channel, value ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);
            if (value) selectDrumKit(channel, program_[static_cast<size_t>(channel)]);
        }
    });
}

void FluidSynthBackend::channelMessage(const std::uint8_t* m, std::size_t n) {
    const int type = m[0] & 0xF0, channel = m[0] & 0x0F;
    const int d1 = n > 1 ? m[1] & 0x7F : 0, d2 = n > 2 ? m[2] & 0x7F : 0;
    const bool rhythm = rhythmMap_[static_cast<size_t>(channel)] != 0;
    switch (type) {
        case midi::kNoteOn:
            if (d2 == 0) noteOff(channel, d1);
            else noteOn(channel, d1, d2);
            break;
        case midi::kNoteOff: noteOff(channel, d1); break;
        case midi::kProgramChange:
            program_[static_cast<size_t>(channel)] = d1;
            if (!rhythm) fluid_synth_program_change(synth_, channel, d1);
            else if (d1 != kUserProgram1 && d1 != kUserProgram1 + 1) selectDrumKit(channel, d1);
            break;
        case midi::kControlChange:
            if (d1 == midi::kAllSoundOff || d1 == midi::kAllNotesOff) {
                // ALL SOUND OFF (and all notes off): the part and, on a rhythm part, its user notes.
                fluid_synth_all_sounds_off(synth_, channel);
                if (rhythm)
                    for (int c = kFirstVoice; c < kFirstVoice + kVoices; ++c) fluid_synth_all_sounds_off(synth_, c);
            } else if (!rhythm || (d1 != midi::kBankSelect && d1 != midi::kBankSelectLsb)) {
                // The part's sends scale its user notes' own.
                if (d1 == kVolume) partVolume_[static_cast<size_t>(channel)] = d2;
                if (d1 == kReverbSend) partReverb_[static_cast<size_t>(channel)] = d2;
                if (d1 == kChorusSend) partChorus_[static_cast<size_t>(channel)] = d2;
                // Bank select on a rhythm part picks a map: every map plays the font's kits.
                fluid_synth_cc(synth_, channel, d1, d2);
            }
            break;
        case midi::kPitchBend: fluid_synth_pitch_bend(synth_, channel, d1 | (d2 << 7)); break;
        default: break;
    }
}

void FluidSynthBackend::noteOn(int channel, int key, int velocity) {
    const int program = program_[static_cast<size_t>(channel)];
    const bool rhythm = rhythmMap_[static_cast<size_t>(channel)] != 0;
    if (!rhythm || (program != kUserProgram1 && program != kUserProgram1 + 1)) {
        fluid_synth_noteon(synth_, channel, key, velocity);
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
    const int part = static_cast<int>(channel);
    fluid_synth_cc(synth_, vc, kVolume, partVolume_[static_cast<size_t>(part)] * u.p[kLevel] / 127);
    const double reverb = partReverb_[static_cast<size_t>(part)] * u.p[kReverb] / 127.0;
    const double chorus = partChorus_[static_cast<size_t>(part)] * std::max(u.p[kChorus], u.p[kDelay]) / 127.0;
    const auto sends = [&](double scale) {
        fluid_synth_cc(synth_, vc, kReverbSend, std::min(127, static_cast<int>(std::lround(reverb * scale))));
        fluid_synth_cc(synth_, vc, kChorusSend, std::min(127, static_cast<int>(std::lround(chorus * scale))));
    };
    sends(1.0);
    // The play note is the pitch the note sounds at, any distance from its source: a whole
    // number of semitones of coarse tune, exact where a pitch bend is scaled and clamped.
    fluid_synth_set_gen(synth_, vc, GEN_COARSETUNE,
                        static_cast<float>(static_cast<int>(u.p[kPlayNote]) - static_cast<int>(u.p[kSourceNote])));
    // The assign group is an exclusive class: a note cuts the sounding notes of its group.
    if (const int group = u.p[kAssignGroup]) {
        auto& sounding = sounding_[set - 1][group];
        for (const auto& [c, k] : sounding) fluid_synth_all_sounds_off(synth_, c);
        sounding.clear();
        sounding.emplace_back(vc, u.p[kSourceNote]);
    }
    const int pan = u.p[kPan] == 0 ? std::uniform_int_distribution<int>(1, 127)(random_) : u.p[kPan];
    fluid_synth_noteon(synth_, vc, u.p[kSourceNote], velocity);
    // A stereo pair brought together sounds as loud as it was, so each half is quieter: its
    // sends rise by as much, and the effects hear the note as before.
    if (const int halves = placeNewestVoices(vc, pan); halves > 1) sends(std::sqrt(static_cast<double>(halves)));
}

int FluidSynthBackend::placeNewestVoices(int channel, int pan) {
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
    // Alike halves in one place add up: as loud as the pair was, not louder.
    const float together = 100.0f * std::log10(static_cast<float>(started.size()));  // centibels
    for (fluid_voice_t* v : started) {
        fluid_voice_gen_set(v, GEN_PAN, place);
        fluid_voice_update_param(v, GEN_PAN);
        if (started.size() > 1) {
            fluid_voice_gen_set(v, GEN_ATTENUATION, fluid_voice_gen_get(v, GEN_ATTENUATION) + together);
            fluid_voice_update_param(v, GEN_ATTENUATION);
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
        fluid_synth_noteoff(synth_, channel, key);
        return;
    }
    const int set = program - kUserProgram1 + 1;
    const UserNote& u = user_[static_cast<size_t>(128 * (set - 1) + key)];
    if (!u.received || u.p[kRxNoteOff] == 0) return;  // Rx Note Off off: the note rings out
    const int vc = voiceOf_[static_cast<size_t>(128 * (set - 1) + key)];
    if (vc) fluid_synth_noteoff(synth_, vc, u.p[kSourceNote]);
}

int FluidSynthBackend::voiceChannel(int userNote) {
    ++clock_;
    int& vc = voiceOf_[static_cast<size_t>(userNote)];
    if (!vc) {
        const auto oldest = std::min_element(lastUsed_.begin(), lastUsed_.end()) - lastUsed_.begin();
        if (const int owner = ownerOf_[static_cast<size_t>(oldest)]) voiceOf_[static_cast<size_t>(owner - 1)] = 0;
        vc = kFirstVoice + static_cast<int>(oldest);
        ownerOf_[static_cast<size_t>(oldest)] = userNote + 1;
    }
    lastUsed_[static_cast<size_t>(vc - kFirstVoice)] = clock_;
    return vc;
}

void FluidSynthBackend::renderFloat(float* interleaved, int frames) {
    std::lock_guard<std::mutex> lock(m_);
    if (!synth_) {
        std::fill(interleaved, interleaved + 2 * frames, 0.0f);
        return;
    }
    fluid_synth_write_float(synth_, frames, interleaved, 0, 2, interleaved, 1, 2);
}

}  // namespace kf
