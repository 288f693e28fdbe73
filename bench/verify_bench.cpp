// Comparing the Kit with a module over a real JACK server, the fake module answering every
// request 5 ms after it arrives, requests at a cable's pace: seconds (min, median and max of
// three runs) for a kit of 40 used notes per set and for a full one; then the repair of a module
// that holds other values in every parameter of a tenth of the 40-note kit's notes: the resend,
// 40 ms after each message, and the compare that follows it. Last, what a user gets from
// kitforge-cli fetch and verify of the 40-note kit, against a clean module and against one that
// loses one request in eleven, answers 5 to 60 ms late and puts noise around its answers: exit
// status, seconds, and whether the kit came exact, with the incomplete notes named, or with
// values made up.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "child.h"
#include "files/disk.h"
#include "files/kit_file.h"

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

namespace {

using namespace kf;

int linesWith(const std::string& text, const std::string& word) {
    std::istringstream lines(text);
    int n = 0;
    for (std::string l; std::getline(lines, l);) n += l.find(word) != std::string::npos;
    return n;
}

// What a fetch wrote against what the module holds: notes missing, and notes written with a
// value the module does not hold (or not used there at all).
std::string judgeFetched(const std::string& file, const Kit& held) {
    Kit got;
    got.reset();
    if (ReadKitFile(readFileBytes(file), got).status != KitReadResult::Read) return "UNREADABLE";
    if (WriteKitFile(got) == WriteKitFile(held)) return "exact";
    int missing = 0, madeUp = 0;
    for (int set = 1; set <= kSetCount; ++set)
        for (int note = 0; note < kNoteCount; ++note) {
            if (!got.entry(set, note).used) {
                missing += held.entry(set, note).used != 0;
                continue;
            }
            bool same = held.entry(set, note).used != 0;
            for (int p = 1; p <= kDeviceParameterCount && same; ++p)
                same = parameterValue(got, set, note, p) == parameterValue(held, set, note, p);
            madeUp += !same;
        }
    return std::to_string(missing) + " missing, " + std::to_string(madeUp) + " MADE UP";
}

bool commandLine(const ReferenceTables& tables, bool lossy) {
    const Kit kit = test::tableKit(tables, 40, 21);
    const std::string work = (std::filesystem::temp_directory_path() / "kitforge-verify-bench").string();
    std::filesystem::create_directories(work);
    const std::string kitFile = work + "/kit.kfg", fetched = work + "/fetched.kfg";
    writeFileAtomically(kitFile, WriteKitFile(kit));
    std::printf("\nkitforge-cli, 40 used notes per set, %s\n",
                lossy ? "1 in 11 requests lost, 5-60 ms late, noise" : "clean, answers 5 ms after the request");
    std::printf("%-7s %4s %5s %9s %9s  %s\n", "verb", "run", "exit", "seconds", "requests", "result");
    for (const char* verb : {"fetch", "verify"}) {
        for (int run = 1; run <= 3; ++run) {
            test::JackModule module("kfbenchlossy", kit, std::chrono::milliseconds(5));
            if (!module.ok()) return false;
            test::FakeModule& m = module.module();
            if (lossy) {
                m.loseOneIn = 11;
                m.lateMin = std::chrono::milliseconds(5);
                m.lateMax = std::chrono::milliseconds(60);
                m.noise = true;
            }
            const std::string out = test::cliPortId(KITFORGE_CLI, module.inputName());
            const std::string in = test::cliPortId(KITFORGE_CLI, module.outputName(), true);
            if (out.empty() || in.empty()) {
                std::printf("the module's ports are not listed\n");
                return false;
            }
            std::filesystem::remove(fetched);
            test::ChildOptions options;
            options.captureOutput = true;
            options.errorsInOutput = true;
            const test::ChildEnd end = test::runProgram(
                KITFORGE_CLI, {verb, "--port", out, "--in", in, verb == std::string("fetch") ? fetched : kitFile}, options,
                std::chrono::minutes(10));
            std::string result;
            if (verb == std::string("verify")) {
                result = end.status() == 0 ? "the module holds the kit"
                                           : std::to_string(linesWith(end.output, ": kit ")) + " difference(s) listed";
            } else if (std::filesystem::exists(fetched)) {
                result = judgeFetched(fetched, kit) + "; " + std::to_string(linesWith(end.output, "incomplete: ")) +
                         " incomplete listed";
            } else {
                result = "nothing written, " + std::to_string(linesWith(end.output, "incomplete: ")) + " incomplete listed";
            }
            std::printf("%-7s %4d %5d %9.1f %9ld  %s\n", verb, run, end.status(), end.seconds, module.requests(),
                        result.c_str());
            if (run == 1) {
                std::istringstream lines(end.output);
                for (std::string l; std::getline(lines, l);)
                    if (l.rfind("set 1:", 0) == 0 || l.rfind("ignored", 0) == 0 || l.rfind("incomplete", 0) == 0)
                        std::printf("%20s%s\n", "", l.c_str());
            }
        }
    }
    return true;
}

}  // namespace

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
    return commandLine(tables, false) && commandLine(tables, true) ? 0 : 1;
}
