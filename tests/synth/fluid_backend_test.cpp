// The built-in synth rendered offline and measured: pan, level, pitch, the effect sends, the
// delay, Rx Note Off, assign groups, the state a module keeps, and kitforge-cli render.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "files/kit_file.h"
#include "files/reference_tables.h"
#include "gs/device_commands.h"
#include "gs/kit_fetch.h"
#include "gs/sysex.h"
#include "midi/midi_in.h"
#include "midi/midi_out.h"
#include "model/kit.h"
#include "sample_kit.h"
#include "switch_on.h"
#include "synth/fluid_backend.h"

namespace kf {
namespace {

constexpr int kRate = 44100;

struct Stereo {
    std::vector<float> left, right;
    double energy(const std::vector<float>& v, double from, double to) const {
        double e = 0;
        for (size_t i = static_cast<size_t>(from * kRate); i < std::min(v.size(), size_t(to * kRate)); ++i) e += v[i] * v[i];
        return e;
    }
    double rms(double from, double to) const {
        const double n = std::max(1.0, (to - from) * kRate * 2);
        return std::sqrt((energy(left, from, to) + energy(right, from, to)) / n);
    }
};

// The SoundFonts the figures below were measured with: Debian's, whatever the system's default
// (under Wine they are reached through its Z: drive).
const std::vector<std::string> kMeasuredFonts{"/usr/share/sounds/sf2/FluidR3_GM.sf2",
                                              "/usr/share/sounds/sf2/FluidR3_GS.sf2"};

class Synth {
public:
    Synth() {
        SynthOptions o;
        o.soundFonts = kMeasuredFonts;
        o.offline = true;
        backend.reset(new FluidSynthBackend(o));
        MidiError error;
        ok = backend->open(-2, &error);
        why = error.text;
    }
    void send(const MidiBytes& m) { backend->send(m.data(), m.size()); }
    void send(std::initializer_list<std::uint8_t> m) { send(MidiBytes(m)); }
    void render(double seconds, Stereo& into) {
        std::vector<float> buf(static_cast<size_t>(seconds * kRate) * 2);
        backend->renderFloat(buf.data(), static_cast<int>(buf.size() / 2));
        for (size_t i = 0; i < buf.size(); i += 2) {
            into.left.push_back(buf[i]);
            into.right.push_back(buf[i + 1]);
        }
    }
    // The note's messages as the editor sends them, then program change and the note.
    void load(const Kit& kit, int set, int note) {
        for (int p = 1; p <= 12; ++p) send(buildParameterMessage(kit, set, note, p));
    }
    Stereo play(int set, int note, double seconds = 0.6, int velocity = 100) {
        Stereo s;
        send({0xC9, static_cast<std::uint8_t>(0x3F + set)});
        send({0x99, static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(velocity)});
        render(0.4, s);
        send({0x99, static_cast<std::uint8_t>(note), 0});
        render(seconds - 0.4, s);
        return s;
    }
    std::unique_ptr<FluidSynthBackend> backend;
    bool ok = false;
    std::string why;
};

DrumNoteEntry note(int sourceNote, int playNote = -1) {
    DrumNoteEntry e = blankEntry();
    e.used = 1;
    e.rxNoteOn = 1;
    e.rxNoteOff = 1;
    e.pan = 64;
    e.reverb = 0;
    e.sourceProgram = 0;
    e.sourceNote = static_cast<std::uint8_t>(sourceNote);
    e.playNote = static_cast<std::uint8_t>(playNote < 0 ? sourceNote : playNote);
    return e;
}

Stereo playEntry(const DrumNoteEntry& e, int at = 36, double seconds = 0.6) {
    Synth s;
    EXPECT_TRUE(s.ok) << s.why;
    Kit kit;
    kit.reset();
    kit.entry(1, at) = e;
    s.load(kit, 1, at);
    return s.play(1, at, seconds);
}

// Energy balance in dB, positive to the left.
double balance(const Stereo& s) { return 10 * std::log10(s.energy(s.left, 0, 0.6) / s.energy(s.right, 0, 0.6)); }

TEST(Synth, PanReplacesTheKeysOwnOnEveryKeyOfTheStandardSet) {
    EXPECT_GT(balance(playEntry([] { auto e = note(36); e.pan = 1; return e; }())), 30) << "pan 1: hard left";
    EXPECT_LT(balance(playEntry([] { auto e = note(36); e.pan = 127; return e; }())), -30) << "pan 127: hard right";
    // Pan 64 is the middle whatever pan the SoundFont gives the key.
    Synth s;
    ASSERT_TRUE(s.ok) << s.why;
    Kit kit;
    kit.reset();
    double worst = 0;
    int worstKey = 0, keys = 0;
    for (int key = 27; key <= 87; ++key) {
        kit.entry(1, key) = note(key);
        s.load(kit, 1, key);
        const Stereo out = s.play(1, key);
        s.send({0xB9, 120, 0});  // all sound off before the next key
        Stereo rest;
        s.render(0.05, rest);
        if (out.rms(0, 0.6) < 1e-4) continue;  // no sample on this key
        ++keys;
        if (std::fabs(balance(out)) > std::fabs(worst)) worst = balance(out), worstKey = key;
    }
    std::fprintf(stderr, "pan 64 on %d keys of the standard set: largest imbalance %.3f dB (key %d)\n", keys, worst,
                 worstKey);
    EXPECT_GT(keys, 40);
    EXPECT_LT(std::fabs(worst), 0.5);
}

TEST(Synth, LevelFollowsTheDocumentedCurveAndZeroIsSilent) {
    auto at = [](int level, int rxOn) {
        auto e = note(36);
        e.level = static_cast<std::uint8_t>(level);
        e.rxNoteOn = static_cast<std::uint8_t>(rxOn);
        return playEntry(e).rms(0, 0.6);
    };
    const double full = at(127, 1), half = at(64, 1);
    const double measured = 20 * std::log10(half / full), documented = 40 * std::log10(64.0 / 127.0);
    std::fprintf(stderr, "level 64 vs 127: %.2f dB (documented %.2f dB)\n", measured, documented);
    EXPECT_NEAR(measured, documented, 1.0);
    EXPECT_LT(at(0, 1), full * 1e-4) << "level 0";
    EXPECT_LT(at(127, 0), full * 1e-4) << "Rx Note On off";
}


// The play note sounds its own pitch at any distance from its source: the same partial, found
// in the same stretch of the (time-scaled) sound, at exactly 2^(shift/12) times the frequency.
class PlayNote : public ::testing::TestWithParam<int> {};

TEST_P(PlayNote, SoundsExactlyThatManySemitonesFromTheSource) {
    const int source = 56, shift = GetParam();  // cowbell: a clear pitch
    const double ratio = std::pow(2.0, shift / 12.0);
    auto render = [&](int playNote) {
        Synth s;
        EXPECT_TRUE(s.ok) << s.why;
        Kit kit;
        kit.reset();
        kit.entry(1, source) = note(source, playNote);
        s.load(kit, 1, source);
        Stereo out;
        s.send({0xC9, 0x40});
        s.send({0x99, static_cast<std::uint8_t>(source), 100});
        s.render(1.5, out);
        return out;
    };
    const Stereo direct = render(source), moved = render(source + shift);
    // The moved sound is the direct one played faster by the ratio: find the ratio that lines
    // them up best over the first 0.2 s of the direct sound.
    auto at = [&](double t) {
        const size_t i = static_cast<size_t>(t);
        return i + 1 < moved.left.size() ? moved.left[i] + (t - i) * (moved.left[i + 1] - moved.left[i]) : 0.0;
    };
    double best = -2, cents = 0;
    for (double c = -20; c <= 20; c += 0.05) {
        const double r = ratio * std::pow(2.0, c / 1200);
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = 100; i < static_cast<size_t>(0.2 * kRate); ++i) {
            const double x = direct.left[i], y = at(i / r);
            xy += x * y, xx += x * x, yy += y * y;
        }
        if (const double corr = xy / std::sqrt(xx * yy + 1e-30); corr > best) best = corr, cents = c;
    }
    std::fprintf(stderr, "play note %+d: %+.2f cents off (correlation %.3f)\n", shift, cents, best);
    EXPECT_NEAR(cents, 0.0, 2.0);
}

INSTANTIATE_TEST_SUITE_P(Shifts, PlayNote, ::testing::Values(12, -12, 30, -30),
                         [](const auto& info) { return (info.param < 0 ? "Down" : "Up") + std::to_string(std::abs(info.param)); });

// A note's send through its part: the effect alone is what the part's send adds to the same
// note at a part send of 0. A user note at 127 is as wet, against its dry sound, as the preset
// instrument it came from on the same part.
struct SendCase {
    const char* name;
    std::uint8_t controller;  // the part's send
    int partSend;
    std::uint8_t DrumNoteEntry::*field;
    double toleranceDb;
};

class PartSend : public ::testing::TestWithParam<SendCase> {};

TEST_P(PartSend, ScalesTheNotesSendAsAPresetInstrumentIsScaled) {
    const SendCase& c = GetParam();
    const int key = 56;  // cowbell: one voice, as a module's instruments are
    auto render = [&](bool user, int partSend) {
        Synth s;
        EXPECT_TRUE(s.ok) << s.why;
        Kit kit;
        kit.reset();
        kit.entry(1, key) = note(key);
        kit.entry(1, key).*c.field = 127;
        s.load(kit, 1, key);
        s.send({0xB9, c.controller, static_cast<std::uint8_t>(partSend)});
        s.send({0xC9, static_cast<std::uint8_t>(user ? 0x40 : 0x00)});
        s.send({0x99, static_cast<std::uint8_t>(key), 100});
        Stereo out;
        s.render(0.2, out);
        s.send({0x99, static_cast<std::uint8_t>(key), 0});
        s.render(1.3, out);
        return out;
    };
    // The dry sound's energy and the effect's, in dB.
    auto levels = [&](bool user) {
        const Stereo dry = render(user, 0), wet = render(user, c.partSend);
        double effect = 0, direct = 0;
        for (size_t i = 0; i < dry.left.size(); ++i) {
            effect += std::pow(wet.left[i] - dry.left[i], 2) + std::pow(wet.right[i] - dry.right[i], 2);
            direct += std::pow(dry.left[i], 2) + std::pow(dry.right[i], 2);
        }
        return std::make_pair(10 * std::log10(direct), 10 * std::log10(effect));
    };
    const auto preset = levels(false), userNote = levels(true);
    std::fprintf(stderr, "%s: user note at level 127, send 127 against the preset instrument on a part at %d: "
                 "dry %+.2f dB, effect %+.2f dB\n", c.name, c.partSend, userNote.first - preset.first,
                 userNote.second - preset.second);
    EXPECT_NEAR(userNote.first - preset.first, 0.0, 1.0) << "as loud as the part plays the instrument";
    EXPECT_NEAR(userNote.second - preset.second, 0.0, c.toleranceDb);
}

INSTANTIATE_TEST_SUITE_P(Sends, PartSend,
                         ::testing::Values(SendCase{"Reverb", 91, 40, &DrumNoteEntry::reverb, 1.0},
                                           SendCase{"Chorus", 93, 127, &DrumNoteEntry::effectSend, 2.0}),
                         [](const auto& info) { return std::string(info.param.name); });

// The delay: a note's delay send through its part's (CC 94) is heard as a repeat at the delay's
// time; at a GS reset's part sends (chorus 0, delay 0) a note's chorus and delay are not heard.
struct DelayCase {
    const char* name;
    int partSend;  // CC 93 and 94 on channel 10; -1 none, as a reset leaves them
    int effectType, send;  // the note's chorus (0) or delay (1) send
    bool repeat;
};

class DelaySend : public ::testing::TestWithParam<DelayCase> {};

TEST_P(DelaySend, RepeatsTheNoteAtTheDelayTime) {
    const DelayCase& c = GetParam();
    const int key = 75;  // claves: short, so a repeat stands out
    auto render = [&](int send) {
        Synth s;
        EXPECT_TRUE(s.ok) << s.why;
        Kit kit;
        kit.reset();
        kit.entry(1, key) = note(key);
        kit.entry(1, key).effectType = static_cast<std::uint8_t>(c.effectType);
        kit.entry(1, key).effectSend = static_cast<std::uint8_t>(send);
        s.load(kit, 1, key);
        if (c.partSend >= 0)
            for (std::uint8_t cc : {93, 94}) s.send({0xB9, cc, static_cast<std::uint8_t>(c.partSend)});
        return s.play(1, key, 1.2);
    };
    const Stereo out = render(c.send), dry = render(0);
    // The energy envelope in 1 ms steps, in dB.
    const size_t step = kRate / 1000;
    std::vector<double> db;
    for (size_t i = 0; i + step <= out.left.size(); i += step) {
        double e = 1e-20;
        for (size_t j = i; j < i + step; ++j) e += out.left[j] * out.left[j] + out.right[j] * out.right[j];
        db.push_back(10 * std::log10(e));
    }
    const size_t first = static_cast<size_t>(std::max_element(db.begin(), db.begin() + 100) - db.begin());
    // A repeat: the loudest millisecond well after the note, risen more than 10 dB in the 20 ms before it.
    const size_t second = static_cast<size_t>(std::max_element(db.begin() + first + 150, db.begin() + first + 550) - db.begin());
    const double rise = db[second] - *std::min_element(db.begin() + second - 20, db.begin() + second);
    double wet = 0, direct = 0;
    for (size_t i = 0; i < out.left.size(); ++i) {
        wet += std::pow(out.left[i] - dry.left[i], 2) + std::pow(out.right[i] - dry.right[i], 2);
        direct += std::pow(dry.left[i], 2) + std::pow(dry.right[i], 2);
    }
    std::fprintf(stderr, "%s: second peak %zu ms after the first, risen %.1f dB, %.1f dB below it; "
                 "effect %.1f dB against the dry sound\n", c.name, second - first, rise, db[first] - db[second],
                 10 * std::log10(wet / direct + 1e-30));
    if (c.repeat) {
        EXPECT_GT(rise, 10.0);
        EXPECT_NEAR(static_cast<double>(second - first), FluidSynthBackend::kDelaySeconds * 1000, 5.0);
        // Delay 1's level, 64 of 127, on the note as loud as it sounds.
        EXPECT_NEAR(db[first] - db[second], -20 * std::log10(FluidSynthBackend::kDelayLevel), 1.5);
    } else {
        EXPECT_LT(wet, direct * 1e-8) << "no repeat, nothing of either effect";
    }
}

INSTANTIATE_TEST_SUITE_P(Sends, DelaySend,
                         ::testing::Values(DelayCase{"Delay127", 127, 1, 127, true},
                                           DelayCase{"Delay0", 127, 1, 0, false},
                                           DelayCase{"GsDefaultsChorus", -1, 0, 127, false},
                                           DelayCase{"GsDefaultsDelay", -1, 1, 127, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Rx Note Off on: a note-off ends the cymbal within a short release, where the SoundFont's own
// would let it ring; off, it rings as the instrument does.
class RxNoteOff : public ::testing::TestWithParam<int> {};

TEST_P(RxNoteOff, CutsTheCymbalAfterTheNoteOff) {
    const int key = GetParam();
    auto tail = [&](int rxNoteOff) {
        auto e = note(key);
        e.rxNoteOff = static_cast<std::uint8_t>(rxNoteOff);
        const Stereo out = playEntry(e, key, 0.7);
        return out.energy(out.left, 0.6, 0.65) + out.energy(out.right, 0.6, 0.65);  // 200 ms after the note-off
    };
    const double on = tail(1), off = tail(0);
    ASSERT_GT(off, 1e-6) << "rings 200 ms after the note-off";
    const double below = 10 * std::log10(off / std::max(on, 1e-30));
    std::fprintf(stderr, "key %d: with Rx Note Off the tail is %.1f dB below the render without\n", key, below);
    EXPECT_GE(below, 30.0);
}

INSTANTIATE_TEST_SUITE_P(Cymbals, RxNoteOff, ::testing::Values(49, 51, 52, 55, 57),
                         [](const auto& info) { return "Key" + std::to_string(info.param); });

TEST(Synth, ANoteOfAnAssignGroupCutsTheSoundingOnes) {
    for (int secondGroup : {1, 2}) {
        Synth s;
        ASSERT_TRUE(s.ok) << s.why;
        Kit kit;
        kit.reset();
        kit.entry(1, 46) = note(46);  // open hi-hat, long: hard left
        kit.entry(1, 46).pan = 1;
        kit.entry(1, 46).assignGroup = 1;
        kit.entry(1, 49) = note(49);  // crash: hard right and all but silent, so only the cut shows
        kit.entry(1, 49).pan = 127;
        kit.entry(1, 49).level = 1;
        kit.entry(1, 49).assignGroup = static_cast<std::uint8_t>(secondGroup);
        s.load(kit, 1, 46);
        s.load(kit, 1, 49);
        Stereo out;
        s.send({0xC9, 0x40});
        s.send({0x99, 46, 100});
        s.render(0.3, out);
        s.send({0x99, 49, 100});
        s.render(0.3, out);
        const double before = out.energy(out.left, 0.2, 0.3), after = out.energy(out.left, 0.35, 0.45);
        std::fprintf(stderr, "group %d: first note's energy %.3g before, %.3g 50 ms after\n", secondGroup, before, after);
        // What is left is the reverb's tail, not the note: more than 20 dB down.
        if (secondGroup == 1) EXPECT_LT(after, before * 1e-2) << "cut within 50 ms";
        else EXPECT_GT(after, before * 0.05) << "another group: both sound";
    }
}

TEST(Synth, TheModulesStateAfterAWholeKitAndAfterAGsReset) {
    const Kit kit = test::fullKit();
    const int n = 38;
    // Through the switch-on transfer, as MidiOut hands it over.
    Synth whole;
    ASSERT_TRUE(whole.ok) << whole.why;
    for (const auto& m : test::switchOnMessages(kit)) whole.send(m);
    const Stereo a = whole.play(2, n);
    Synth direct;
    direct.load(kit, 2, n);
    const Stereo b = direct.play(2, n);
    ASSERT_GT(a.rms(0, 0.6), 1e-4);
    double diff = 0;
    for (size_t i = 0; i < a.left.size(); ++i) diff = std::max(diff, double(std::fabs(a.left[i] - b.left[i])));
    EXPECT_LT(diff, 1e-3) << "the same note as the same kit loaded directly";
    // A GS reset leaves the user sets as they were.
    whole.send(gsResetMessage());
    const Stereo c = whole.play(2, n);
    EXPECT_NEAR(c.rms(0, 0.6), b.rms(0, 0.6), b.rms(0, 0.6) * 0.05);
    // C9 19 is the preset TR-808 kit, not the user set.
    Synth preset;
    preset.send({0xC9, 0x19});
    preset.send({0x99, 36, 100});
    Stereo tr808, standard;
    preset.render(0.4, tr808);
    preset.send({0xC9, 0x00});
    preset.send({0x99, 36, 100});
    preset.render(0.4, standard);
    EXPECT_GT(tr808.rms(0, 0.4), 1e-3);
    double d = 0;
    for (size_t i = 0; i < tr808.left.size(); ++i) d += std::fabs(tr808.left[i] - standard.left[i]);
    EXPECT_GT(d / tr808.left.size(), 1e-4) << "the 808 kick is not the standard kick";
}

TEST(Synth, AnswersDataRequestsSoAFetchGivesBackTheKitItWasSent) {
    const ReferenceTables& tables = test::shippedTables();
    const Kit kit = test::tableKit(tables, 128, 11);
    auto answers = std::make_shared<LoopbackInput>();
    auto answered = std::make_shared<std::atomic<int>>(0);
    SynthOptions o;
    o.soundFonts = kMeasuredFonts;
    o.offline = true;
    o.answer = [answers, answered](const MidiBytes& m) {
        ++*answered;
        answers->deliver(m.data(), m.size());
    };
    MidiOut out(std::make_unique<FluidSynthBackend>(o));
    ASSERT_TRUE(out.openPort(MidiOut::kBuiltInSynth)) << out.lastOpenError().text;
    struct Answers : MidiInBackend {
        std::shared_ptr<LoopbackInput> loop;
        std::vector<std::string> ports() override { return {}; }
        bool open(int id, const Bytes& b, MidiError* e) override { return loop->open(id, b, e); }
        void close() override { loop->close(); }
    };
    auto input = std::make_unique<Answers>();
    input->loop = answers;
    MidiIn in(std::move(input));
    ASSERT_TRUE(in.openPort(MidiIn::kBuiltInSynth));
    sendSwitchOnSequence(out, kit, true);
    KitFetch fetch(&tables);
    std::atomic<bool> cancel{false};
    EXPECT_EQ(runFetch(fetch, out, in, cancel), KitFetch::State::Done);
    EXPECT_EQ(WriteKitFile(fetch.result()), WriteKitFile(kit));
    // What the map does not hold, or starts in the middle of an entry, gets no answer.
    const int before = *answered;
    for (const MidiBytes& q : {gsDataRequest(0x21u << 14 | 1, 12, 0x10), gsDataRequest(0x40u << 14 | 0x7F, 1, 0x10),
                               gsDataRequest(0x21u << 14 | 1u << 7 | 5, 2, 0x10)})
        out.sendLong(q);
    out.flush();
    EXPECT_EQ(*answered, before);
}

TEST(Synth, RenderPlaysEveryUsedNoteIntoAWav) {
    Kit kit;
    kit.reset();
    for (int n : {37, 39, 42, 75}) kit.entry(n == 75 ? 2 : 1, n) = note(n);
    const std::string dir = ::testing::TempDir();
    const std::string in = dir + "/kitforge-render.kfg", out = dir + "/kitforge-render.wav";
    std::ofstream(in, std::ios::binary) << WriteKitFile(kit);
    ASSERT_EQ(std::system((std::string(KITFORGE_CLI) + " render " + in + " " + out).c_str()), 0);
    std::ifstream f(out, std::ios::binary);
    const std::string wav((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    const std::size_t frames = (wav.size() - 44) / 4;
    EXPECT_EQ(frames, 4u * kRate / 2) << "four notes, half a second each";
    auto rms = [&](double from, double to) {
        double e = 0;
        const size_t a = static_cast<size_t>(from * kRate), b = static_cast<size_t>(to * kRate);
        for (size_t i = a; i < b; ++i)
            for (int ch = 0; ch < 2; ++ch) {
                const auto lo = static_cast<unsigned char>(wav[44 + 4 * i + 2 * ch]);
                const auto hi = static_cast<signed char>(wav[44 + 4 * i + 2 * ch + 1]);
                const double v = (hi * 256 + lo) / 32768.0;
                e += v * v;
            }
        return std::sqrt(e / (2.0 * (b - a)));
    };
    for (int slot = 0; slot < 4; ++slot) {
        const double sound = rms(slot * 0.5, slot * 0.5 + 0.1), between = rms(slot * 0.5 + 0.45, slot * 0.5 + 0.5);
        std::fprintf(stderr, "note %d: %.4f where it plays, %.5f before the next\n", slot, sound, between);
        EXPECT_GT(sound, 0.003) << slot;
        EXPECT_LT(between, sound * 0.1) << slot;
    }
}

}  // namespace
}  // namespace kf
