// kitforge-cli built for Windows, under Wine inside the test VM (run_vm.sh): Wine's WinMM
// driver turns the kernel sequencer's ports into WinMM devices, so our WinMM client sends the
// whole kit through a virtual raw MIDI port byte for byte and fetches a module's sets back
// through WinMM input.
//   winmm_vm_test KITFORGE_CLI_EXE WINE_PREFIX [gtest options]
// WINE_PREFIX is a prefix made on the host; the run gets a writable one of its own beside it.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "child.h"
#include "files/disk.h"
#include "files/kit_file.h"
#include "gs/sysex.h"
#include "raw_midi.h"
#include "sample_kit.h"
#include "switch_on.h"

namespace kf {
namespace {

namespace fs = std::filesystem;

std::string g_cli;

// The port both cases use; the other virtual ports belong to the sequencer's own tests.
const char* const kDevice = "/dev/snd/midiC0D3";
const char* const kPort = "VirMIDI 0-3";
const char* const kWine = "/usr/bin/wine";

// A prefix of the run's own in the work folder: the registry and the drive letters copied,
// the Windows folder and the programs linked to the host's prefix, which Wine only reads.
void makePrefix(const fs::path& host, const fs::path& own) {
    fs::create_directories(own / "drive_c");
    fs::create_directories(own / "dosdevices");
    for (const char* f : {"system.reg", "user.reg", "userdef.reg", ".update-timestamp"}) fs::copy_file(host / f, own / f);
    fs::create_directory_symlink("../drive_c", own / "dosdevices" / "c:");
    fs::create_directory_symlink("/", own / "dosdevices" / "z:");
    for (const auto& e : fs::directory_iterator(host / "drive_c")) {
        if (e.path().filename() == "users") fs::copy(e.path(), own / "drive_c" / "users", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        else fs::create_directory_symlink(e.path(), own / "drive_c" / e.path().filename());
    }
}

// Its errors are caught with its output: on a console it would draw its progress there.
test::ChildEnd cli(const std::vector<std::string>& args) {
    std::vector<std::string> all{g_cli};
    all.insert(all.end(), args.begin(), args.end());
    test::ChildOptions options;
    options.captureOutput = true;
    options.errorsInOutput = true;
    // Emulated, Wine takes seconds to start and the kit twice its time on the wire.
    return test::runProgram(kWine, all, options, std::chrono::minutes(5));
}

// Each run of the program costs seconds: the list is asked once a direction.
std::string portId(bool input) {
    static std::string ids[2];
    static bool asked[2] = {false, false};
    if (asked[input]) return ids[input];
    asked[input] = true;
    std::vector<std::string> args{"ports"};
    if (input) args.push_back("--in");
    const test::ChildEnd listed = cli(args);
    std::cout << "kitforge-cli.exe " << (input ? "ports --in" : "ports") << " (" << listed.seconds << " s):\n"
              << listed.output;
    std::istringstream lines(listed.output);
    for (std::string l; std::getline(lines, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        const size_t tab = l.find('\t');
        if (tab != std::string::npos && l.compare(tab + 1, std::string::npos, kPort) == 0) ids[input] = l.substr(0, tab);
    }
    return ids[input];
}

// Wine 8.0's ALSA MIDI driver can fault in a thread of its own as the process ends, after the
// program's last call; the process then dies of that signal, not with its status. Its work is
// judged by what arrived and what it wrote all the same; a signal is told, not failed.
void expectItSucceeded(const test::ChildEnd& end) {
    ASSERT_FALSE(end.hung) << end.output;
    if (end.exited()) EXPECT_EQ(end.exitCode, 0) << end.output;
    else std::cout << "Wine's MIDI driver ended kitforge-cli.exe with signal " << end.signal << " at its exit\n";
}

TEST(WinmmVm, SendDeliversTheWholeKitByteForByte) {
    const std::string file = "kit.kfg";
    writeFileAtomically(file, WriteKitFile(test::fullKit()));
    Kit read;
    read.reset();
    ReadKitFile(WriteKitFile(test::fullKit()), read);
    const auto expected = test::switchOnMessages(read);
    const std::string id = portId(false);
    ASSERT_FALSE(id.empty()) << kPort << " is not a WinMM output";
    test::RawReader raw(kDevice);
    ASSERT_TRUE(raw.ok());
    const test::ChildEnd sent = cli({"send", "--port", id, file});
    expectItSucceeded(sent);
    raw.waitQuiet(std::chrono::milliseconds(500), std::chrono::seconds(30));
    const auto got = test::parseStream(raw.bytes());
    const auto differ = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
    EXPECT_TRUE(differ.first == got.end() && differ.second == expected.end())
        << got.size() << " of " << expected.size() << " messages arrived; the first to differ is number "
        << differ.second - expected.begin() << ": " << hexText(differ.second == expected.end() ? MidiBytes{} : *differ.second)
        << " was sent, " << hexText(differ.first == got.end() ? MidiBytes{} : *differ.first) << " arrived";
    std::cout << "kitforge-cli.exe send: " << expected.size() << " messages in " << sent.seconds << " s\n";
}

TEST(WinmmVm, FetchReadsTheModulesSetsThroughWinmmInput) {
    const Kit kit = test::tableKit(test::shippedTables(), 3, 4);
    const std::string out = portId(false), in = portId(true);
    ASSERT_FALSE(out.empty() || in.empty()) << kPort << " is not a WinMM output and input";
    test::RawModule module(kDevice, kit);
    ASSERT_TRUE(module.ok());
    const test::ChildEnd fetched = cli({"fetch", "--port", out, "--in", in, "fetched.kfg"});
    expectItSucceeded(fetched);
    EXPECT_EQ(readFileBytes("fetched.kfg"), WriteKitFile(kit));
    std::cout << "kitforge-cli.exe fetch: " << module.requests() << " requests in " << fetched.seconds << " s\n";
}

}  // namespace
}  // namespace kf

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        std::cerr << "usage: winmm_vm_test KITFORGE_CLI_EXE WINE_PREFIX\n";
        return 2;
    }
    kf::g_cli = argv[1];
    const kf::fs::path own = kf::fs::current_path() / "wine";
    kf::makePrefix(argv[2], own);
    // Wine keeps its server's socket under TMPDIR, which must not be the 9p share: /dev/shm
    // is the VM's own memory.
    setenv("WINEPREFIX", own.c_str(), 1);
    setenv("WINEDEBUG", "-all", 0);  // unless the run asks for Wine's traces
    setenv("TMPDIR", "/dev/shm", 1);
    setenv("HOME", kf::fs::current_path().c_str(), 1);
    // No devices but MIDI here: Wine's bus for game controllers and the like only costs its
    // start-up minute.
    setenv("WINEDLLOVERRIDES", "winebus.sys=d", 0);
    // One server for the whole run: each program would otherwise start Wine's services anew.
    kf::test::runProgram("/usr/bin/wineserver", {"-p"});
    const int status = RUN_ALL_TESTS();
    kf::test::runProgram("/usr/bin/wineserver", {"-k"});
    return status;
}
