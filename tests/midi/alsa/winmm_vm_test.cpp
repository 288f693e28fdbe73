// kitforge-cli and kitforge built for Windows, under Wine inside the test VM (run_vm.sh): Wine's
// WinMM driver turns the kernel sequencer's ports into WinMM devices, so our WinMM client sends
// the whole kit through a virtual raw MIDI port byte for byte and fetches a module's sets back
// through WinMM input; the window, on an X display of the VM's own, does the same driven by keys.
//   winmm_vm_test KITFORGE_CLI_EXE WINE_PREFIX KITFORGE_EXE [gtest options]
// WINE_PREFIX is a prefix made on the host; the run gets a writable one of its own beside it.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <iostream>
#include <sstream>
#include <string>

#include "child.h"
#include "files/disk.h"
#include "files/kit_file.h"
#include "gs/device_commands.h"
#include "gs/sysex.h"
#include "raw_midi.h"
#include "recorded_out.h"
#include "sample_kit.h"
#include "switch_on.h"

namespace kf {
namespace {

namespace fs = std::filesystem;

std::string g_cli;
std::string g_window;

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
    else {
        // With WINEDEBUG asking for traces, their end shows which thread was where.
        const size_t tail = end.output.size() > 6000 ? end.output.size() - 6000 : 0;
        std::cout << "Wine's MIDI driver ended the program with signal " << end.signal << " at its exit\n"
                  << end.output.substr(tail);
    }
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

// --- The window, on a display of its own, keys pressed as a person presses them.

// Xvfb from the host's root. /tmp is the host's and read-only here: no lock file and no socket
// file, so clients reach the server on its abstract socket alone.
bool startDisplay() {
    static std::unique_ptr<test::Child> server;
    if (server) return true;
    server = std::make_unique<test::Child>(
        "/usr/bin/Xvfb", std::vector<std::string>{":5", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-nolock", "-pn"});
    setenv("DISPLAY", ":5", 1);
    return test::waitUntil([] { return test::runProgram("/usr/bin/xdpyinfo", {}, {{}, true}).status() == 0; },
                           std::chrono::seconds(60));
}

// The X tools read and write window titles and the clipboard in the locale's encoding: the VM's
// init gives none, and a title in Japanese would not match.
test::ChildEnd xTool(const std::string& program, const std::vector<std::string>& args) {
    return test::runProgram(program, args, {{{"LC_ALL", "C.UTF-8"}}, true}, std::chrono::seconds(30));
}

test::ChildEnd xdotool(const std::vector<std::string>& args) { return xTool("/usr/bin/xdotool", args); }

// The X window of a shown top-level window whose title begins so (or is so, exact), once there
// is one; empty if none came. Read off the window tree: xdotool matches no title beyond ASCII.
std::string windowTitled(const std::string& title, std::chrono::seconds bound, bool exact = false) {
    std::string id;
    test::waitUntil(
        [&] {
            std::istringstream tree(xTool("/usr/bin/xwininfo", {"-root", "-tree"}).output);
            for (std::string line; std::getline(tree, line);) {
                const size_t at = line.find("0x");
                if (at == std::string::npos) continue;
                const size_t name = line.find(" \"", at);
                const std::string wanted = " \"" + title + (exact ? "\"" : "");
                if (name == std::string::npos || line.compare(name, wanted.size(), wanted) != 0) continue;
                const std::string candidate = line.substr(at, line.find(' ', at) - at);
                if (xTool("/usr/bin/xwininfo", {"-id", candidate}).output.find("IsViewable") != std::string::npos) {
                    id = candidate;
                    return true;
                }
            }
            return false;
        },
        bound);
    return id;
}

// Keys to that window: it takes the focus first, as a click on it would give it.
void press(const std::string& window, const std::vector<std::string>& keys) {
    EXPECT_EQ(xdotool({"windowfocus", "--sync", window}).status(), 0) << "focus to " << window;
    for (const std::string& k : keys) EXPECT_EQ(xdotool({"key", "--clearmodifiers", k}).status(), 0) << k;
}

// A menu of the window's bar by its Alt key, then an item by its letter once the menu shows (a
// menu is a top-level window of its own, titled as the program): a letter pressed before would
// go to the window.
void choose(const std::string& window, const std::string& menuKey, const std::string& itemKey) {
    // A menu key that comes while the window is still taking the focus back (a box just
    // closed) is lost under Wine: pressed again until the menu shows.
    std::string menu;
    for (int attempt = 0; attempt < 3 && menu.empty(); ++attempt) {
        press(window, {menuKey});
        menu = windowTitled("Kitforge", std::chrono::seconds(20), true);
    }
    ASSERT_FALSE(menu.empty()) << menuKey << " showed no menu";
    EXPECT_EQ(xdotool({"key", itemKey}).status(), 0) << itemKey;
}

// The sequencer's clients as the kernel lists them.
std::string sequencerClients() {
    std::ifstream f("/proc/asound/seq/clients");
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// What a kit given on the command line sends once read: each set's used notes whole, its name
// and the program change that selects it.
std::vector<MidiBytes> kitTransfer(const Kit& kit) {
    test::RecordedOut w(test::RecordedOut::Open);
    for (int set = 1; set <= kSetCount; ++set) {
        for (int n = 0; n < kNoteCount; ++n)
            if (kit.entry(set, n).used) sendWholeNote(w.out, kit, set, n);
        w.out.sendLong(buildNameMessage(kit, set));
        sendSetProgramChange(w.out, set);
    }
    return w.sent();
}

TEST(WinmmVm, TheWindowSendsItsStartAndAKitThenComparesByKeysAndClosesClean) {
    ASSERT_TRUE(startDisplay()) << "no X display";
    const std::string out = portId(false), in = portId(true);
    ASSERT_FALSE(out.empty() || in.empty()) << kPort << " is not a WinMM output and input";
    // Its settings as the registry holds them: that port both ways, preview on.
    {
        std::ofstream reg("settings.reg", std::ios::binary);
        reg << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vondrel\\Kitforge]\r\n\"MidiPort\"=\"" << out
            << "\"\r\n\"MidiInPort\"=\"" << in << "\"\r\n\"Preview\"=\"1\"\r\n";
    }
    ASSERT_EQ(test::runProgram(kWine, {"regedit", "/S", "settings.reg"}, {}, std::chrono::minutes(2)).status(), 0);
    const Kit kit = test::tableKit(test::shippedTables(), 3, 7);
    writeFileAtomically("window.kfg", WriteKitFile(kit));
    const std::vector<MidiBytes> start = test::editorStartMessages(), transfer = kitTransfer(kit);

    test::RawReader raw(kDevice);
    Kit blank;
    blank.reset();
    test::RawModule module(kDevice, blank, [](test::FakeModule& m) { m.takesDataSets = true; });
    ASSERT_TRUE(raw.ok() && module.ok());
    test::ChildOptions quiet;
    quiet.captureOutput = true;
    quiet.errorsInOutput = true;
    test::Child window(kWine, {g_window, "window.kfg"}, quiet);
    const std::string main = windowTitled("Kitforge - window", std::chrono::minutes(3));
    ASSERT_FALSE(main.empty()) << "the main window did not show";
    test::waitUntil([&] { return test::parseStream(raw.bytes()).size() >= start.size() + transfer.size(); },
                    std::chrono::minutes(2));
    raw.waitQuiet(std::chrono::milliseconds(1000), std::chrono::seconds(30));
    const auto got = test::parseStream(raw.bytes());
    ASSERT_GE(got.size(), start.size());
    EXPECT_TRUE(std::equal(start.begin(), start.end(), got.begin())) << "the start, in order";
    EXPECT_NE(std::search(got.begin() + start.size(), got.end(), transfer.begin(), transfer.end()), got.end())
        << "the kit's " << transfer.size() << " messages, whole and in order, among the " << got.size() << " sent";
    const std::string connected = sequencerClients();
    EXPECT_NE(connected.find("WINE"), std::string::npos) << "Wine's MIDI driver is not a client:\n" << connected;

    // ﾂｰﾙ → ﾓｼﾞｭｰﾙと照合, from the keyboard; the box's text as Ctrl+C copies it.
    choose(main, "alt+t", "v");
    const std::string box = windowTitled("ﾓｼﾞｭｰﾙと照合", std::chrono::minutes(2));
    ASSERT_FALSE(box.empty()) << "no answer to the compare; the module had " << module.requests()
                              << " requests; the windows:\n"
                              << xTool("/usr/bin/xwininfo", {"-root", "-tree"}).output;
    press(box, {"ctrl+c"});
    std::string copied;
    test::waitUntil(
        [&] {
            copied = xTool("/usr/bin/xclip", {"-o", "-selection", "clipboard", "-t", "UTF8_STRING"}).output;
            return !copied.empty();
        },
        std::chrono::seconds(30));
    EXPECT_NE(copied.find("ﾓｼﾞｭｰﾙはｷｯﾄと同じです。"), std::string::npos) << copied;
    EXPECT_GT(module.requests(), 0);
    press(box, {"Return"});

    // ﾌｧｲﾙ → Kitforge の終了: the process ends, its client gone from the sequencer.
    choose(main, "alt+f", "x");
    const test::ChildEnd end = window.wait(std::chrono::minutes(1));
    expectItSucceeded(end);
    test::waitUntil([&] { return sequencerClients() != connected; }, std::chrono::seconds(10));
    const std::string left = sequencerClients();
    EXPECT_EQ(left.find("WINE"), std::string::npos) << "while open:\n" << connected << "after:\n" << left;
    std::cout << "kitforge.exe: " << got.size() << " messages at its start, the compare of " << module.requests()
              << " requests, closed after " << end.seconds << " s\n";
}

}  // namespace
}  // namespace kf

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 4) {
        std::cerr << "usage: winmm_vm_test KITFORGE_CLI_EXE WINE_PREFIX KITFORGE_EXE\n";
        return 2;
    }
    kf::g_cli = argv[1];
    kf::g_window = argv[3];
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
