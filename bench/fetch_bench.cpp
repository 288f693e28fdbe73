// Reading both user sets back from a module over a real JACK server: the fake module answers
// every request 5 ms after it arrives; requests leave at a cable's pace. Seconds (min, median
// and max of three runs) and requests for a kit of 40 used notes per set, for a full one, and
// for the smaller one from a module that loses one request in eleven.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

#include "files/kit_file.h"
#include "files/reference_tables.h"
#include "gs/kit_fetch.h"
#include "jack_module.h"
#include "midi/jack_backend.h"
#include "midi/jack_input.h"
#include "midi/midi_in.h"
#include "midi/midi_out.h"
#include "sample_kit.h"
#include "switch_on.h"

int main() {
    using namespace kf;
    int useMap = 2;
    const ReferenceTables tables = LoadReferenceTables({KITFORGE_SOURCE_DATA_DIR}, useMap, 256);
    std::printf("%-22s %8s %8s %8s %10s %8s %s\n", "kit", "min s", "median s", "max s", "requests", "exact", "goal");
    struct Case {
        const char* name;
        int used;
        double goal;
        int loseOneIn;
    } cases[] = {{"40 used notes per set", 40, 15, 0}, {"full", 128, 30, 0}, {"40, 1 in 11 lost", 40, 60, 11}};
    for (const Case& c : cases) {
        const Kit kit = test::tableKit(tables, c.used, 21);
        std::vector<double> seconds;
        long requests = 0;
        bool exact = true;
        for (int run = 0; run < 3; ++run) {
            test::JackModule module("kfbenchmodule", kit, std::chrono::milliseconds(5));
            if (!module.ok()) {
                std::printf("no JACK server\n");
                return 1;
            }
            module.module().loseOneIn = c.loseOneIn;
            MidiOut out(std::make_unique<JackBackend>("kfbenchfetch"));
            MidiIn in(std::make_unique<JackInput>("kfbenchfetch-in", "kfbenchfetch"));
            if (!out.openPort(test::portIndex(out, module.inputName())) ||
                !in.openPort(test::portIndex(in, module.outputName()))) {
                std::printf("ports did not open\n");
                return 1;
            }
            KitFetch fetch(&tables);
            std::atomic<bool> cancel{false};
            const auto start = std::chrono::steady_clock::now();
            const KitFetch::State state = runFetch(fetch, out, in, cancel);
            seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            exact = exact && state == KitFetch::State::Done && WriteKitFile(fetch.result()) == WriteKitFile(kit);
            requests = module.requests();
        }
        std::sort(seconds.begin(), seconds.end());
        std::printf("%-22s %8.1f %8.1f %8.1f %10ld %8s under %.0f s\n", c.name, seconds.front(), seconds[1],
                    seconds.back(), requests, exact ? "yes" : "NO", c.goal);
    }
    return 0;
}
