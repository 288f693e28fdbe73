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
#include "files/song_embed.h"
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

// A song of `tracks` tracks at 480 ticks a quarter: a conductor with a tempo change every bar,
// a GS reset on the second track, then notes in running status on every track from the
// second bar on, about `bytes` in all.
std::string song(int tracks, size_t bytes) {
    auto vlq = [](std::string& out, std::uint32_t v) {
        char b[5];
        int n = 0;
        b[n++] = static_cast<char>(v & 0x7F);
        while (v >>= 7) b[n++] = static_cast<char>(0x80 | (v & 0x7F));
        while (n) out.push_back(b[--n]);
    };
    auto chunk = [](std::string& out, const std::string& body) {
        out += "MTrk";
        for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<char>((body.size() >> shift) & 0xFF));
        out += body;
    };
    const size_t perTrack = bytes / static_cast<size_t>(tracks);
    std::string out("MThd\0\0\0\x06\0\x01", 10);
    out.push_back(static_cast<char>(tracks >> 8));
    out.push_back(static_cast<char>(tracks & 0xFF));
    out += std::string("\x01\xE0", 2);
    std::string conductor("\x00\xFF\x58\x04\x04\x02\x18\x08", 8);
    for (std::uint32_t bar = 0; conductor.size() < perTrack; ++bar) {
        vlq(conductor, bar ? 1920 : 0);
        const std::uint32_t us = 400000 + 1000 * (bar % 200);
        conductor += std::string("\xFF\x51\x03", 3) + static_cast<char>(us >> 16) + static_cast<char>((us >> 8) & 0xFF) +
                     static_cast<char>(us & 0xFF);
    }
    chunk(out, conductor + std::string("\x00\xFF\x2F\x00", 4));
    for (int t = 1; t < tracks; ++t) {
        std::string body;
        if (t == 1) body += std::string("\x00\xF0\x0A\x41\x10\x42\x12\x40\x00\x7F\x00\x41\xF7", 13);
        vlq(body, 1920);
        body += static_cast<char>(0x90 | (t % 16));
        body += std::string("\x3C\x64", 2);
        for (int n = 0; body.size() < perTrack; ++n) {
            vlq(body, 120);
            body.push_back(static_cast<char>(36 + n % 48));
            body.push_back(static_cast<char>(n % 2 ? 0 : 100));
        }
        chunk(out, body + std::string("\x00\xFF\x2F\x00", 4));
    }
    return out;
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
    const std::string smallSong = song(8, 40'000), bigSong = song(16, 1'000'000);
    kf::EmbedReport report;

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
        // The whole kit (3,075 messages) into a song's set-up, which then moves by 38 bars.
        {"embed into a song, 8 tracks 40 kB", [&] { bytes += kf::EmbedKit(smallSong, kit, {}, &report).size(); }},
        {"embed into a song, 16 tracks 1 MB", [&] { bytes += kf::EmbedKit(bigSong, kit, {}, &report).size(); }},
    };
    std::printf("%-32s %8s %12s %12s %12s\n", "operation (full kit)", "runs", "min us", "median us", "max us");
    for (const Row& r : rows) {
        const Times t = measure(r.run);
        std::printf("%-32s %8d %12.1f %12.1f %12.1f\n", r.what, t.runs, t.min, t.median, t.max);
    }
    std::printf("\nthe 1 MB song's embed:\n");
    for (const std::string& line : kf::describeEmbed(report)) std::printf("  %s\n", line.c_str());
    fs::remove_all(dir);
    return bytes == 0;
}
