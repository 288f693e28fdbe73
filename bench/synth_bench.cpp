// Offline rendering through the built-in synth: the whole standard set, note after note as
// kitforge-cli render plays it, without the delay and with every note sent to it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gs/device_commands.h"
#include "gs/sysex.h"
#include "midi/midi_bytes.h"
#include "model/kit.h"
#include "synth/fluid_backend.h"

namespace {

using namespace kf;

constexpr int kRate = 44100, kOn = kRate * 4 / 10, kOff = kRate / 10;
constexpr int kFirstKey = 27, kLastKey = 87;  // the standard set's instruments

// Seconds of sound per second of work, for one render of the set.
double render(bool delay) {
    SynthOptions o;
    o.offline = true;
    FluidSynthBackend synth(o);
    MidiError error;
    if (!synth.open(-2, &error)) {
        std::fprintf(stderr, "the synth did not start: %s\n", error.text.c_str());
        return 0;
    }
    auto send = [&synth](const MidiBytes& m) { synth.send(m.data(), m.size()); };
    Kit kit;
    kit.reset();
    for (int key = kFirstKey; key <= kLastKey; ++key) {
        DrumNoteEntry& e = kit.entry(1, key);
        e = blankEntry();
        e.used = e.rxNoteOn = e.rxNoteOff = 1;
        e.sourceNote = e.playNote = static_cast<std::uint8_t>(key);
        e.pan = 64;
        e.effectType = delay ? 1 : 0;
        e.effectSend = delay ? 127 : 0;
    }
    send(rhythmPart11Message());
    for (const MidiBytes& m : partSendMessages({40, 0, delay ? 127 : 0})) send(m);
    for (int key = kFirstKey; key <= kLastKey; ++key)
        for (int p = 1; p <= 12; ++p) send(buildParameterMessage(kit, 1, key, p));
    send({midi::kRhythmProgram, 0x40});
    std::vector<float> frames(static_cast<size_t>(kOn) * 2);
    const auto start = std::chrono::steady_clock::now();
    for (int key = kFirstKey; key <= kLastKey; ++key) {
        send({midi::kRhythmNoteOn, static_cast<std::uint8_t>(key), 100});
        synth.renderFloat(frames.data(), kOn);
        send({midi::kRhythmNoteOn, static_cast<std::uint8_t>(key), 0});
        synth.renderFloat(frames.data(), kOff);
    }
    const double work = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double sound = (kLastKey - kFirstKey + 1) * static_cast<double>(kOn + kOff) / kRate;
    return sound / work;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::printf("offline render of the standard set (%d notes, %.1f s of sound), %d runs\n", kLastKey - kFirstKey + 1,
                (kLastKey - kFirstKey + 1) * static_cast<double>(kOn + kOff) / kRate, runs);
    std::printf("%-28s %10s %10s %10s\n", "", "min", "median", "max");
    for (const bool delay : {false, true}) {
        std::vector<double> x;
        for (int i = 0; i < runs; ++i) x.push_back(render(delay));
        std::sort(x.begin(), x.end());
        std::printf("%-28s %9.1fx %9.1fx %9.1fx\n", delay ? "delay send 127 on every note" : "no delay", x.front(),
                    x[x.size() / 2], x.back());
    }
}
