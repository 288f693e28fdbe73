// Comparing the Kit with a module over a real JACK server, the fake module answering every
// request 5 ms after it arrives, requests at a cable's pace: seconds (min, median and max of
// three runs) for a kit of 40 used notes per set and for a full one; then the repair of a module
// that holds other values in every parameter of a tenth of the 40-note kit's notes: the resend,
// 40 ms after each message, and the compare that follows it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

#include "files/reference_tables.h"
#include "gs/kit_fetch.h"
#include "gs/kit_verify.h"
#include "jack_module.h"
#include "midi/jack_backend.h"
#include "midi/jack_input.h"
#include "midi/midi_in.h"
#include "midi/midi_out.h"
#include "model/parameters.h"
#include "sample_kit.h"
#include "switch_on.h"

int main() {
    using namespace kf;
    using Clock = std::chrono::steady_clock;
    int useMap = 2;
    const ReferenceTables tables = LoadReferenceTables({KITFORGE_SOURCE_DATA_DIR}, useMap, 256);
    std::printf("%-30s %8s %8s %8s %9s %8s %s\n", "compare", "min s", "median s", "max s", "requests", "result", "goal");
    struct Case {
        const char* name;
        int used;
        double goal;
        bool repair;
    } cases[] = {{"40 used notes per set", 40, 6, false},
                 {"full", 128, 20, false},
                 {"resend 10 % of 40 per set", 40, 0, true}};
    for (const Case& c : cases) {
        const Kit kit = test::tableKit(tables, c.used, 21);
        std::vector<double> seconds;
        long requests = 0;
        bool right = true;
        int sent = 0;
        for (int run = 0; run < 3; ++run) {
            test::JackModule module("kfbenchmodule", kit, std::chrono::milliseconds(5));
            if (!module.ok()) {
                std::printf("no JACK server\n");
                return 1;
            }
            if (c.repair) {
                module.module().takesDataSets = true;
                int used = 0;
                for (int set = 1; set <= kSetCount; ++set)
                    for (int note = 0; note < kNoteCount; ++note)
                        if (kit.entry(set, note).used && used++ % 10 == 0)
                            for (int p = 1; p <= kDeviceParameterCount; ++p)
                                module.module().hold(set, note, p, static_cast<std::uint8_t>((module.module().held(set, note, p) + 1) % 128));
            }
            MidiOut out(std::make_unique<JackBackend>("kfbenchverify"));
            MidiIn in(std::make_unique<JackInput>("kfbenchverify-in", "kfbenchverify"));
            if (!out.openPort(test::portIndex(out, module.inputName())) ||
                !in.openPort(test::portIndex(in, module.outputName()))) {
                std::printf("ports did not open\n");
                return 1;
            }
            std::atomic<bool> cancel{false};
            const auto compare = [&](KitFetch& reads) { return runFetch(reads, out, in, cancel); };
            const FetchSettings settings;
            auto begin = Clock::now();
            VerifyReport report = runCompare(kit, settings, compare);
            if (c.repair) {
                // Timed from the differences found to the compare that finds none.
                begin = Clock::now();
                const RepairOutcome outcome =
                    repairRounds(kit, std::move(report), settings, compare, [&](const std::vector<MidiBytes>& messages) {
                        out.setPacing({false, std::chrono::milliseconds(kRepairPauseMs)});
                        for (const MidiBytes& m : messages) out.sendLong(m);
                        out.flush(std::chrono::minutes(5));
                        out.setPacing({});
                        return true;
                    });
                report = outcome.last;
                sent = outcome.sent;
            }
            seconds.push_back(std::chrono::duration<double>(Clock::now() - begin).count());
            right = right && report.same();
            requests = module.requests();
        }
        std::sort(seconds.begin(), seconds.end());
        char goal[32] = "";
        if (c.goal > 0) std::snprintf(goal, sizeof goal, "under %.0f s", c.goal);
        else std::snprintf(goal, sizeof goal, "%d sent", sent);
        std::printf("%-30s %8.1f %8.1f %8.1f %9ld %8s %s\n", c.name, seconds.front(), seconds[1], seconds.back(),
                    requests, right ? "same" : "DIFFERS", goal);
    }
    return 0;
}
