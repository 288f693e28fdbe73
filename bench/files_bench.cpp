// Time of the file work on a full kit (256 used notes) and of loading the shipped tables.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "files/disk.h"
#include "files/exports.h"
#include "files/kit_file.h"
#include "files/kit_import.h"
#include "files/reference_tables.h"
#include "sample_kit.h"

namespace {

struct Times {
    double min, median, max;  // microseconds per run
    int runs;
};

// Runs f until at least 0.3 s have passed, timing each run.
Times measure(const std::function<void()>& f) {
    using Clock = std::chrono::steady_clock;
    f();  // warm up
    std::vector<double> us;
    const auto t0 = Clock::now();
    do {
        const auto start = Clock::now();
        f();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    } while (Clock::now() - t0 < std::chrono::milliseconds(300));
    std::sort(us.begin(), us.end());
    return {us.front(), us[us.size() / 2], us.back(), static_cast<int>(us.size())};
}

// A run of unfinished SysEx, the worst case of the importer's scan.
size_t importRun(size_t n) {
    static std::string bytes;
    bytes.assign(n, '\xF0');
    bytes += '\xF7';
    kf::Kit k;
    return kf::ImportKit(bytes, k).skipped + 1;
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const kf::Kit kit = kf::test::fullKit();
    const std::string kfg = kf::WriteKitFile(kit);
    const fs::path dir = fs::temp_directory_path() / "kitforge-bench";
    fs::create_directories(dir);
    const std::string path = (dir / "full.kfg").string();
    size_t bytes = 0;

    struct Row {
        const char* what;
        std::function<void()> run;
    } rows[] = {
        {"load shipped reference tables",
         [&] {
             int useMap = 1;
             bytes = kf::LoadReferenceTables({KITFORGE_SOURCE_DATA_DIR}, useMap, 256).sets.size();
         }},
        {"build kit file bytes", [&] { bytes = kf::WriteKitFile(kit).size(); }},
        {"write kit file to disk", [&] { kf::writeFileAtomically(path, kfg); bytes = kfg.size(); }},
        {"read kit file from disk",
         [&] {
             kf::Kit k;
             k.reset();
             bytes = kf::ReadKitFile(kf::readFileBytes(path), k).status;
         }},
        {"parse kit file bytes",
         [&] {
             kf::Kit k;
             k.reset();
             bytes = kf::ReadKitFile(kfg, k).status;
         }},
        {"export Standard MIDI File", [&] { bytes = kf::WriteMidiFile(kit, true, "/tmp/full.mid").size(); }},
        {"export PRT", [&] { bytes = kf::WritePrtFile(kit, true).size(); }},
        {"export text", [&] { bytes = kf::WriteTextFile(kit, true).size(); }},
        // Ten times the bytes should take about ten times as long, not a hundred.
        {"import F0 x 100 kB, then F7", [&] { bytes += importRun(100'000); }},
        {"import F0 x 1 MB, then F7", [&] { bytes += importRun(1'000'000); }},
    };
    std::printf("%-32s %8s %12s %12s %12s\n", "operation (full kit)", "runs", "min us", "median us", "max us");
    for (const Row& r : rows) {
        const Times t = measure(r.run);
        std::printf("%-32s %8d %12.1f %12.1f %12.1f\n", r.what, t.runs, t.min, t.median, t.max);
    }
    fs::remove_all(dir);
    return bytes == 0;
}
