#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <vector>
#include <sstream>

#include "cli/cli.h"
#include "fake_module.h"
#include "files/disk.h"
#include "files/kit_file.h"
#include "files/smf_reader.h"
#include "files/reference_tables.h"
#include "gs/device_commands.h"
#include "gs/sysex.h"
#include "midi/midi_in.h"
#include "midi/midi_out.h"
#include "model/parameters.h"
#include "recording_backend.h"
#include "sample_kit.h"
#include "smf.h"
#include "switch_on.h"

namespace kf {
namespace {

namespace fs = std::filesystem;

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        // One of its own per process: the suites of two builds may run side by side.
        dir = fs::temp_directory_path() /
              ("kf-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
               std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        env.makeBackend = [this] {
            auto r = std::make_unique<RecordingBackend>();
            r->portNames = {"Synth"};
            recorder = r.get();
            // the recorder outlives the MidiOut in these tests through this copy
            return std::unique_ptr<MidiBackend>(new Forward(r.release(), &sent));
        };
        env.tableDirs = {KITFORGE_SOURCE_DATA_DIR};
        env.clock = clock;
    }
    void TearDown() override {
        fs::remove_all(dir);
    }

    // Keeps what was sent after the backend is gone.
    struct Forward : RecordingBackend {
        Forward(RecordingBackend* inner, std::vector<MidiBytes>* sink) : sink(sink) {
            portNames = inner->portNames;
            delete inner;
        }
        bool send(const std::uint8_t* d, std::size_t n) override {
            sink->emplace_back(d, d + n);
            return true;
        }
        std::vector<MidiBytes>* sink;
    };

    int run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        return cli::run(args, out, err, env);
    }
    std::string path(const char* name) const { return (dir / name).string(); }
    void write(const char* name, const std::string& bytes) { std::ofstream(dir / name, std::ios::binary) << bytes; }

    fs::path dir;
    cli::Environment env;
    RecordingBackend* recorder = nullptr;
    std::shared_ptr<JumpClock> clock = std::make_shared<JumpClock>();
    std::vector<MidiBytes> sent;
    std::ostringstream out, err;
};

TEST_F(Cli, ConvertPicksTheFormatByExtensionWhateverTheInputIsCalled) {
    write("kit.dat", WriteKitFile(test::fullKit()));
    for (const char* name : {"a.kfg", "a.MID", "a.Prt", "a.txt", "a.syx"})
        EXPECT_EQ(run({"convert", path("kit.dat"), path(name)}), 0) << name << err.str();
    EXPECT_EQ(readFileBytes(path("a.kfg")), WriteKitFile(test::fullKit()));
    EXPECT_EQ(readFileBytes(path("a.MID")).substr(0, 4), "MThd");
    EXPECT_EQ(readFileBytes(path("a.Prt")).substr(0, 5), "RCPPR");
    EXPECT_EQ(readFileBytes(path("a.txt")).substr(0, 8), "@NAME,0,");
    // The switch-on transfer's SysEx as it leaves, back to back; its program changes are no SysEx.
    Kit read;
    read.reset();
    ReadKitFile(readFileBytes(path("a.kfg")), read);
    std::string dump;
    for (const MidiBytes& m : test::switchOnMessages(read))
        if (m[0] == 0xF0) dump.append(m.begin(), m.end());
    EXPECT_EQ(readFileBytes(path("a.syx")), dump);
    EXPECT_EQ(run({"convert", "--no-comment", path("kit.dat"), path("b.txt")}), 0);
    EXPECT_EQ(readFileBytes(path("b.txt")).substr(0, 3), "F0 ");
}

TEST_F(Cli, BadInputWritesNoOutput) {
    write("plain.txt", "hello\r\n");
    write("future.kfg", "@KFG FORMAT,121\r\n");
    struct Case {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"convert", path("plain.txt"), path("o.kfg")}, 1},
        {{"convert", path("future.kfg"), path("o.kfg")}, 1},
        {{"convert", path("missing.kfg"), path("o.kfg")}, 1},
        {{"convert", path("future.kfg"), path("o.doc")}, 2},
        {{"convert", path("future.kfg")}, 2},
        {{"convert", "--bogus", path("future.kfg"), path("o.kfg")}, 2},
        {{"send", path("future.kfg")}, 2},
        {{"command", "--port", "0", "9"}, 2},
        {{"command", "--port", "0", "5"}, 2},
        {{"command", "--port", "0", "-1"}, 2},
        {{"command", "--port", "0", "--pause", "501", "1"}, 2},
        {{"command", "--port", "0", "--pause", "-1", "1"}, 2},
        {{"command", "--port", "0", "--pause"}, 2},
        {{"command", "--port", "x", "1"}, 2},
        {{"send", "--port", "0", "--verify", path("future.kfg")}, 2},
        {{"send", "--port", "0", "--in", "0", path("future.kfg")}, 2},
        {{"send", "--port", "0", "--verify", "--in", path("future.kfg")}, 2},
        {{"send", "--port", "0", "--verify", "--in", "0", path("future.kfg")}, 1},
        {{"command", "--port", "0", "--verify", "--in", "0", "1"}, 2},
        {{"verify", "--port", "0", path("future.kfg")}, 2},
        {{"verify", "--in", "0", path("future.kfg")}, 2},
        {{"verify", "--port", "0", "--in", "0"}, 2},
        {{"verify", "--port", "0", "--in", "0", path("future.kfg"), path("o.kfg")}, 2},
        {{"verify", "--port", "0", "--in", "x", path("future.kfg")}, 2},
        {{"verify", "--port", "0", "--in", "0", "--device-id", "32", path("future.kfg")}, 2},
        {{"verify", "--port", "0", "--in", "0", "--device-id", "-1", path("future.kfg")}, 2},
        {{"verify", "--port", "0", "--in", "0", "--partial", path("future.kfg")}, 2},
        {{"verify", "--port", "0", "--in", "0", path("future.kfg")}, 1},
        {{"frobnicate"}, 2},
        {{}, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), c.status) << (c.args.empty() ? "" : c.args[0]) << " " << err.str();
        EXPECT_FALSE(err.str().empty());
    }
    EXPECT_FALSE(fs::exists(path("o.kfg")));
    EXPECT_FALSE(fs::exists(path("o.doc")));
    run({"convert", path("plain.txt"), path("o.kfg")});
    EXPECT_NE(err.str().find(kNotKitFileText), std::string::npos);
}

// Three tracks at 480 ticks a quarter, 120 beats a minute: the conductor, a set-up track with a
// GS reset and a part's SysEx, and drums from tick 240 on, in running status.
std::string threeTrackSong() {
    const std::string conductor("\x00\xFF\x51\x03\x07\xA1\x20\x00\xFF\x58\x04\x04\x02\x18\x08\x00\xFF\x2F\x00", 19);
    const std::string setup = std::string("\x00\xFF\x03\x05Setup", 9) +
                              std::string("\x00\xF0\x0A\x41\x10\x42\x12\x40\x00\x7F\x00\x41\xF7", 13) +
                              std::string("\x18\xF0\x0A\x41\x10\x42\x12\x40\x11\x15\x00\x1A\xF7", 13) +
                              std::string("\x00\xFF\x2F\x00", 4);
    const std::string drums = std::string("\x81\x70\x99\x24\x64\x3C\x26\x64\x3C\x24\x00\x00\x26\x00", 14) +
                              std::string("\x00\xFF\x2F\x00", 4);
    return test::smf::file({conductor, setup, drums});
}

TEST_F(Cli, EmbedPutsTheKitIntoTheSongAndSaysWhatItDid) {
    const Kit kit = test::tableKit(test::shippedTables(), 3, 7);
    write("kit.kfg", WriteKitFile(kit));
    write("song.mid", threeTrackSong());
    ASSERT_EQ(run({"embed", path("kit.kfg"), path("song.mid"), path("out.mid")}), 0) << err.str();
    // 75 messages 20 ticks (20.8 ms) apart from tick 52 to 1532: the drums at 240 move a bar.
    EXPECT_EQ(out.str(),
              "song: format 1, 3 track(s), 480 ticks a quarter note\n"
              "added 75 message(s) to track 2: from measure 1 (54.2 ms) to measure 1 (1595.8 ms)\n"
              "after the song's GS reset at measure 1 (0.0 ms), 54.2 ms later\n"
              "messages at least 20.83 ms apart\n"
              "the song moved 1 measure(s) later (1920 ticks, 2000.0 ms)\n"
              "the set-up lasts 1.56 s at the song's tempo\n");
    const std::string once = readFileBytes(path("out.mid"));
    const auto tracks = test::smf::readAll(once);
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[2][0].time, 240u + 1920u);
    EXPECT_EQ(readFileBytes(path("song.mid")), threeTrackSong());

    // The song named as OUT too: written over, and an embed of the same kit again replaces
    // what the first put there, to the byte.
    write("again.mid", once);
    ASSERT_EQ(run({"embed", path("kit.kfg"), path("again.mid"), path("again.mid")}), 0) << err.str();
    EXPECT_NE(out.str().find("replaced 75 user drum set message(s) the song carried\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("the song did not move"), std::string::npos) << out.str();
    EXPECT_EQ(readFileBytes(path("again.mid")), once);
    write("once.mid", once);
    ASSERT_EQ(run({"embed", "--keep", "--gap", "40", path("kit.kfg"), path("once.mid"), path("kept.mid")}), 0);
    EXPECT_NE(out.str().find("kept 75 user drum set message(s)"), std::string::npos) << out.str();

    // RIFF in, RIFF out, the same song inside.
    const std::string smf = threeTrackSong();
    std::string rmi = "RIFF____RMIDdata";
    for (int i = 0; i < 4; ++i) rmi += static_cast<char>((smf.size() >> (8 * i)) & 0xFF);
    rmi += smf;
    const auto size = static_cast<std::uint32_t>(rmi.size() - 8);
    for (int i = 0; i < 4; ++i) rmi[4 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    write("song.rmi", rmi);
    ASSERT_EQ(run({"embed", path("kit.kfg"), path("song.rmi"), path("out.rmi")}), 0) << err.str();
    const std::string riff = readFileBytes(path("out.rmi"));
    ASSERT_TRUE(isRmid(riff));
    const RmidFile r = readRmid(riff);
    EXPECT_EQ(riff.substr(r.dataOffset, r.dataLength), once);
}

TEST_F(Cli, EmbedRefusesBadSongsAndArgumentsWritingNothing) {
    write("kit.kfg", WriteKitFile(test::fullKit()));
    write("plain.txt", "hello\r\n");
    write("cut.mid", threeTrackSong().substr(0, 70));
    write("song.mid", threeTrackSong());
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {{"embed", path("kit.kfg"), path("cut.mid"), path("o.mid")}, 1,
         "cut.mid: a chunk runs past the end of the file (the file is cut short, or its length is wrong) (at byte 41); "
         "nothing written"},
        {{"embed", path("kit.kfg"), path("plain.txt"), path("o.mid")}, 1, "no MIDI file header (MThd) (at byte 0)"},
        {{"embed", path("missing.kfg"), path("song.mid"), path("o.mid")}, 1, "missing.kfg"},
        {{"embed", path("plain.txt"), path("song.mid"), path("o.mid")}, 1, kNotKitFileText},
        {{"embed", path("kit.kfg"), path("missing.mid"), path("o.mid")}, 1, "missing.mid"},
        {{"embed", path("kit.kfg"), path("song.mid")}, 2, "embed takes KIT, SONG and OUT"},
        {{"embed", "--gap", "1001", path("kit.kfg"), path("song.mid"), path("o.mid")}, 2, "--gap takes 0 to 1000"},
        {{"embed", "--gap", "-1", path("kit.kfg"), path("song.mid"), path("o.mid")}, 2, "--gap takes 0 to 1000"},
        {{"embed", "--gap", "x", path("kit.kfg"), path("song.mid"), path("o.mid")}, 2, "bad arguments for embed"},
        {{"embed", "--frob", path("kit.kfg"), path("song.mid"), path("o.mid")}, 2, "unknown option --frob"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), c.status) << c.args[1] << " " << err.str();
        EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
        EXPECT_TRUE(out.str().empty());
    }
    EXPECT_FALSE(fs::exists(path("o.mid")));
}

TEST_F(Cli, SendIsTheSwitchOnTransfer) {
    const Kit kit = test::fullKit();
    write("kit.kfg", WriteKitFile(kit));
    ASSERT_EQ(run({"send", "--port", "0", path("kit.kfg")}), 0) << err.str();
    Kit read;
    read.reset();
    ReadKitFile(WriteKitFile(kit), read);
    auto rec = std::make_unique<RecordingBackend>();
    auto* r = rec.get();
    MidiOut expected(std::move(rec), clock);
    expected.openPort(0);
    sendSwitchOnSequence(expected, read, true);
    expected.flush();
    EXPECT_EQ(sent, r->sent);
    EXPECT_EQ(sent.size(), 3077u);
    EXPECT_EQ(run({"send", "--port", "3", path("kit.kfg")}), 1);
}

TEST_F(Cli, SendTakesThePacingOptions) {
    write("kit.kfg", WriteKitFile(test::fullKit()));
    const auto start = clock->now();
    ASSERT_EQ(run({"send", "--port", "0", path("kit.kfg")}), 0) << err.str();
    const auto cable = clock->now() - start;
    EXPECT_GE(cable, std::chrono::microseconds(320 * 33851 - 320 * 22)) << "cable speed by default";
    const auto before = clock->now();
    ASSERT_EQ(run({"send", "--unlimited", "--port", "0", path("kit.kfg")}), 0) << err.str();
    EXPECT_EQ(clock->now(), before);
    ASSERT_EQ(run({"command", "--port", "0", "--pause", "500", "1"}), 0) << err.str();
    EXPECT_GE(clock->now() - before, std::chrono::milliseconds(500));
}

// Faults of the disk and the surroundings end in exit 1 with a message, nothing written.
int eioOnSecondRead(int fd, void* buffer, std::size_t size) {
    static int calls = 0;
    if (++calls % 2 == 0) {
        errno = EIO;
        return -1;
    }
    return static_cast<int>(::read(fd, buffer, std::min<std::size_t>(size, 4096)));
}
int notWritable(const char*, int) {
    errno = EACCES;
    return -1;
}

TEST_F(Cli, FaultsAreFailuresAndWriteNothing) {
    write("kit.kfg", WriteKitFile(test::fullKit()));
    env.disk.read = [](int fd, void* b, std::size_t n) -> ssize_t { return eioOnSecondRead(fd, b, n); };
    EXPECT_EQ(run({"convert", path("kit.kfg"), path("out.kfg")}), 1);
    EXPECT_NE(err.str().find("Input/output error"), std::string::npos) << err.str();
    env.disk = systemDiskCalls();
    EXPECT_FALSE(fs::exists(path("out.kfg"))) << "a read that failed halfway is no shorter kit";

    ASSERT_EQ(::mkfifo(path("fifo.kfg").c_str(), 0600), 0);
    EXPECT_EQ(run({"convert", path("fifo.kfg"), path("out.kfg")}), 1);
    EXPECT_NE(err.str().find("not a regular file"), std::string::npos);

    write("target.txt", "keep me");
    env.disk.access = &notWritable;
    EXPECT_EQ(run({"convert", path("kit.kfg"), path("target.txt")}), 1);
    env.disk = systemDiskCalls();
    EXPECT_EQ(readFileBytes(path("target.txt")), "keep me");

    fs::create_symlink("loop-b.txt", dir / "loop-a.txt");
    fs::create_symlink("loop-a.txt", dir / "loop-b.txt");
    EXPECT_EQ(run({"convert", path("kit.kfg"), path("loop-a.txt")}), 1);
    EXPECT_TRUE(fs::is_symlink(dir / "loop-a.txt"));
}

TEST_F(Cli, AWorkingDirectoryThatWasRemovedIsAFailureNotAnAbort) {
    write("kit.kfg", WriteKitFile(test::fullKit()));
    const fs::path gone = dir / "gone";
    fs::create_directories(gone);
    const fs::path before = fs::current_path();
    fs::current_path(gone);
    fs::remove(gone);
    const int status = run({"convert", path("kit.kfg"), "relative.mid"});
    fs::current_path(before);
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(err.str().empty());
}

TEST_F(Cli, AFailedWriteToStandardOutputIsAFailure) {
    struct Full : std::streambuf {
        int overflow(int) override { return traits_type::eof(); }
    } full;
    std::ostream sink(&full);
    EXPECT_EQ(cli::run({"tables"}, sink, err, env), 1);
    EXPECT_NE(err.str().find("standard output"), std::string::npos);
}

TEST_F(Cli, FetchWritesTheModulesKitOnlyWhenAllOfItCame) {
    using namespace std::chrono_literals;
    struct Case {
        const char* what;
        int loseOneIn;      // with late answers and noise
        long silentAfter;   // -1: answers to the end
        bool partial;
        int status;
        bool written;
        bool incompleteListed;
    } cases[] = {
        {"lossy", 40, -1, false, 0, true, false},
        {"stops partway", 0, 300, false, 1, false, true},
        {"stops partway, --partial", 0, 300, true, 0, true, true},
        {"silent", 0, 0, false, 1, false, false},
    };
    const Kit kit = test::tableKit(test::shippedTables(), 4, 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(path("got.kfg"));
        test::FakeModule module(kit);
        module.loseOneIn = c.loseOneIn;
        module.silentAfter = c.silentAfter;
        if (c.loseOneIn) {
            module.lateMin = 1ms;
            module.lateMax = 5ms;
            module.noise = true;
        }
        auto loop = std::make_shared<LoopbackInput>();
        std::mutex moduleMutex;
        test::LateLine line([loop](const MidiBytes& m) { loop->deliver(m.data(), m.size()); });
        env.makeBackend = [&] {
            auto r = std::make_unique<RecordingBackend>();
            r->portNames = {"Synth"};
            r->afterSend = [&](const MidiBytes& m) {
                std::lock_guard<std::mutex> lock(moduleMutex);
                line.post(module.replies(m));
            };
            return std::unique_ptr<MidiBackend>(std::move(r));
        };
        struct OnePort : MidiInBackend {
            std::shared_ptr<LoopbackInput> loop;
            std::vector<std::string> ports() override { return {"Module"}; }
            bool open(int id, const Bytes& bytes, MidiError* e) override { return loop->open(id, bytes, e); }
            void close() override { loop->close(); }
        };
        env.makeInput = [loop] {
            auto port = std::make_unique<OnePort>();
            port->loop = loop;
            return std::unique_ptr<MidiInBackend>(std::move(port));
        };
        std::vector<std::string> args{"fetch", "--port", "0", "--in", "0"};
        if (c.partial) args.push_back("--partial");
        args.push_back(path("got.kfg"));
        EXPECT_EQ(run(args), c.status) << err.str();
        EXPECT_EQ(fs::exists(path("got.kfg")), c.written);
        EXPECT_EQ(err.str().find("incomplete: set ") != std::string::npos, c.incompleteListed) << err.str();
        if (!c.written) continue;
        Kit got;
        got.reset();
        ASSERT_EQ(ReadKitFile(readFileBytes(path("got.kfg")), got).status, KitReadResult::Read);
        if (!c.incompleteListed) {
            EXPECT_EQ(WriteKitFile(got), WriteKitFile(kit));
            continue;
        }
        // Only what came whole: every note written is the module's own, and some are not written.
        int used = 0;
        for (int set = 1; set <= kSetCount; ++set)
            for (int note = 0; note < kNoteCount; ++note) {
                if (!got.entry(set, note).used) continue;
                ++used;
                for (int p = 1; p <= kDeviceParameterCount; ++p)
                    EXPECT_EQ(parameterValue(got, set, note, p), parameterValue(kit, set, note, p)) << set << "/" << note;
            }
        EXPECT_LT(used, 8);
    }
}

TEST_F(Cli, AProgressLineOnATerminal) {
    // A slow device on the real clock: the line rewrites itself until the queue is empty.
    env.clock = nullptr;
    env.progressOnErr = true;
    env.makeBackend = [this] {
        auto r = std::make_unique<RecordingBackend>();
        r->portNames = {"Slow"};
        r->delay = std::chrono::milliseconds(150);
        recorder = r.get();
        return std::unique_ptr<MidiBackend>(std::move(r));
    };
    ASSERT_EQ(run({"command", "--unlimited", "--port", "0", "4"}), 0) << err.str();
    EXPECT_NE(err.str().find("\rsent "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find(" of 4, "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("s left"), std::string::npos);
    env.progressOnErr = false;
    ASSERT_EQ(run({"command", "--unlimited", "--port", "0", "0"}), 0);
    EXPECT_TRUE(err.str().empty()) << "nothing on a pipe";
}

TEST_F(Cli, CommandAndPorts) {
    ASSERT_EQ(run({"command", "--port", "-1", "4"}), 0);
    EXPECT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent.back(), rhythmPart11Message());
    ASSERT_EQ(run({"ports"}), 0);
    EXPECT_EQ(out.str(), "-1\tKitforge\n0\tSynth\n");
}

TEST_F(Cli, TablesAndHelp) {
    ASSERT_EQ(run({"tables", "--use-map", "0"}), 0) << err.str();
    EXPECT_EQ(out.str().substr(0, 14), "  55 STANDARD\n");
    const std::string sc55and88 = out.str();
    ASSERT_EQ(run({"tables", KITFORGE_SOURCE_DATA_DIR}), 0);
    EXPECT_GT(out.str().size(), sc55and88.size());
    EXPECT_EQ(run({"tables", path("nothing-here")}), 1);
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(out.str().find("kitforge-cli convert"), std::string::npos);
    EXPECT_NE(out.str().find("kitforge-cli --version"), std::string::npos);
    // The version alone on one line, as scripts and the package's test read it.
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_TRUE(std::regex_match(out.str(), std::regex("kitforge-cli [0-9]+\\.[0-9]+\n"))) << out.str();
    EXPECT_TRUE(err.str().empty());
    EXPECT_EQ(run({"--version", "extra"}), 2);
    EXPECT_TRUE(out.str().empty());
}

#ifdef KITFORGE_CLI_PROGRAM
// Runs a shell command; its exit status, or 128 + the signal that ended it.
int shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

// A folder that takes no new file, so a save overwrites the file in place: killed at any
// system call of the save, the file holds its old content or the new, never a mix; a content
// shorter than the file is refused, since overwriting could not keep that promise.
TEST_F(Cli, AKillAtAnySystemCallOfASaveInPlaceLeavesTheOldFileOrTheNew) {
    const std::string small = WriteKitFile(Kit()), big = WriteKitFile(test::fullKit());
    ASSERT_LT(small.size(), big.size());
    // Root may write anywhere, even into a folder of mode 555: the save then runs as nobody.
    const std::string as = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    // A checkout inside a folder only its owner may enter (mktemp -d makes one) keeps the
    // program from nobody: that says nothing about the save.
    if (!as.empty() && std::system((as + "test -x " KITFORGE_CLI_PROGRAM).c_str()) != 0)
        GTEST_SKIP() << "nobody cannot run " KITFORGE_CLI_PROGRAM " from this checkout";
    const fs::path folder = dir / "folder";
    fs::create_directories(folder);
    fs::permissions(dir, fs::perms::all);
    struct Case {
        const char* what;
        std::string old, fresh;
        int status;  // of the save the kill did not reach
    } cases[] = {{"longer", small, big, 0}, {"shorter", big, small, 1}};
    for (const Case& c : cases) {
        write("in.kfg", c.fresh);
        fs::permissions(dir / "in.kfg", fs::perms::all);
        const fs::path target = folder / "kit.kfg";
        const auto reset = [&] {
            fs::permissions(folder, fs::perms::all);
            fs::remove(target);
            std::ofstream(target, std::ios::binary) << c.old;
            fs::permissions(target, fs::perms::all);
            fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        };
        const fs::path trace = dir / "trace.txt";
        const std::string save = as + "strace -qq -s 4096 -o %s -e trace=all %s -- " KITFORGE_CLI_PROGRAM " convert " +
                                 quoted(dir / "in.kfg") + " " + quoted(target) + " 2>/dev/null";
        // A run that is not killed lists the calls. Those before the first that names the target
        // only start the program; each one from there on is killed in turn, named by its kind
        // and how many of that kind came before (strace counts each kind on its own).
        reset();
        char command[4096];
        std::snprintf(command, sizeof command, save.c_str(), quoted(trace).c_str(), "");
        ASSERT_EQ(shell(command), c.status) << c.what;
        std::ifstream lines(trace);
        std::map<std::string, int> seen;
        std::vector<std::pair<std::string, int>> calls;
        bool saving = false;
        for (std::string line; std::getline(lines, line);) {
            const auto open = line.find('(');
            if (open == std::string::npos || line.rfind("+++", 0) == 0) continue;
            const std::string kind = line.substr(0, open);
            const int count = ++seen[kind];
            saving = saving || (kind != "execve" && line.find(target.string()) != std::string::npos);
            // glibc's mkstemp asks getrandom only when its clock-made value falls in the few
            // per cent it rejects, so that call comes and goes from run to run; a kill there is
            // a kill between the calls around it, which are all tried.
            if (saving && kind != "getrandom") calls.emplace_back(kind, count);
        }
        ASSERT_GT(calls.size(), 5u) << c.what << ": the save was not found among the calls";
        for (const auto& [kind, count] : calls) {
            reset();
            const std::string inject = "-e inject=" + kind + ":signal=SIGKILL:when=" + std::to_string(count);
            std::snprintf(command, sizeof command, save.c_str(), "/dev/null", inject.c_str());
            EXPECT_EQ(shell(command), 128 + SIGKILL) << c.what << ": not killed at " << kind << " #" << count;
            const std::string now = readFileBytes(target.string());
            ASSERT_TRUE(now == c.old || now == c.fresh)
                << c.what << ": killed at " << kind << " #" << count << ", the file is neither old nor new ("
                << now.size() << " bytes)";
        }
        reset();
        std::snprintf(command, sizeof command, save.c_str(), "/dev/null", "");
        const int status = shell(command);
        EXPECT_EQ(status, c.status) << c.what;
        EXPECT_EQ(readFileBytes(target.string()), c.status == 0 ? c.fresh : c.old) << c.what;
    }
    fs::permissions(folder, fs::perms::all);
}
#endif

#ifdef KITFORGE_CLI_FAILING_NEW
// Out of memory at any allocation from the first line of main() on: the command fails with a
// message, or succeeds with the same file; it never aborts.
TEST_F(Cli, RunningOutOfMemoryAtAnyAllocationEndsWithAMessageNeverAnAbort) {
    Kit kit;  // small, so that every allocation is a run of its own
    kit.entry(1, 36).used = 1;
    kit.entry(1, 36).name = "Kick";
    kit.entry(2, 38).used = 1;
    write("in.kfg", WriteKitFile(kit));
    for (const char* out : {"out.kfg", "out.mid"}) {
        const std::string run = "KITFORGE_FAIL_ALLOCATION=%d KITFORGE_ALLOCATIONS_FILE=" + quoted(dir / "count") +
                                " " KITFORGE_CLI_FAILING_NEW " convert " + quoted(dir / "in.kfg") + " " +
                                quoted(dir / out) + " 2>" + quoted(dir / "err");
        char command[4096];
        std::snprintf(command, sizeof command, run.c_str(), 0);
        ASSERT_EQ(shell(command), 0) << out;
        const std::string whole = readFileBytes(path(out));
        const int allocations = std::stoi(readFileBytes(path("count")));
        ASSERT_GT(allocations, 5) << out;
        for (int n = 1; n <= allocations; ++n) {
            fs::remove(dir / out);
            std::snprintf(command, sizeof command, run.c_str(), n);
            const int status = shell(command);
            const std::string said = readFileBytes(path("err"));
            ASSERT_TRUE(status == 0 || status == 1) << out << ": allocation " << n << " ended it with " << status
                                                    << ": " << said;
            if (status == 1) EXPECT_EQ(said.rfind("kitforge-cli: ", 0), 0u) << out << ": allocation " << n;
            else EXPECT_EQ(readFileBytes(path(out)), whole) << out << ": allocation " << n;
        }
    }
}
#endif

}  // namespace
}  // namespace kf
