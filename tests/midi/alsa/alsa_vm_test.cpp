// Against the real kernel sequencer, inside the test VM (run_vm.sh): the ports as the
// sequencer names them, our own port reachable, the whole kit through a virtual raw MIDI port
// and a serial MIDI interface byte for byte and never faster than a cable, a receiver that
// falls behind, a close that leaves nothing for the next device, and kitforge-cli fetch, verify
// and send --verify against a module on a virtual port, lossy, damaged, busy or silent.
#include <gtest/gtest.h>

#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "child.h"
#include "fake_module.h"
#include "files/disk.h"
#include "files/kit_file.h"
#include "files/reference_tables.h"
#include "gs/device_commands.h"
#include "gs/kit_fetch.h"
#include "midi/alsa_backend.h"
#include "midi/alsa_input.h"
#include "midi/midi_in.h"
#include "midi/midi_out.h"
#include "model/parameters.h"
#include "raw_midi.h"
#include "recording_backend.h"
#include "sample_kit.h"
#include "switch_on.h"

namespace kf {
namespace {

using Clock = std::chrono::steady_clock;

using test::parseStream;
using test::RawModule;
using test::RawReader;
using test::switchOnMessages;

size_t byteCount(const std::vector<MidiBytes>& messages) {
    size_t n = 0;
    for (const auto& m : messages) n += m.size();
    return n;
}

// A software receiver: a sequencer client of the test's own with an input port, a small
// input pool, and a reader that can be paused.
class SeqReceiver {
public:
    SeqReceiver(const std::string& name, int inputPool) : name_(name) {
        if (snd_seq_open(&seq_, "default", SND_SEQ_OPEN_INPUT, 0) < 0) return;
        snd_seq_set_client_name(seq_, name.c_str());
        snd_seq_set_client_pool_input(seq_, static_cast<size_t>(inputPool));
        port_ = snd_seq_create_simple_port(seq_, "in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                           SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
        snd_midi_event_new(4096, &decoder_);
        snd_midi_event_no_status(decoder_, 1);
        reader_ = std::thread([this] { read(); });
    }
    ~SeqReceiver() {
        stop_ = true;
        reader_.join();
        if (decoder_) snd_midi_event_free(decoder_);
        if (seq_) snd_seq_close(seq_);
    }
    bool ok() const { return port_ >= 0; }
    std::string portName() const { return name_ + ":in"; }
    bool subscribeFrom(const std::string& client, int port) {
        snd_seq_addr_t addr;
        if (snd_seq_parse_address(seq_, &addr, (client + ":" + std::to_string(port)).c_str()) < 0) return false;
        return snd_seq_connect_from(seq_, port_, addr.client, addr.port) >= 0;
    }
    void pause(bool paused) { paused_ = paused; }
    // Times the kernel said the input had overrun: it then cleared what was waiting.
    int overruns() const { return overruns_.load(); }
    std::vector<MidiBytes> messages() {
        std::lock_guard<std::mutex> lock(m_);
        return got_;
    }
    // Waits until nothing has arrived for quiet.
    void waitQuiet(std::chrono::milliseconds quiet, std::chrono::seconds total) {
        test::waitQuiet([this] { return count_.load(); }, quiet, total);
    }

private:
    void read() {
        const int n = snd_seq_poll_descriptors_count(seq_, POLLIN);
        std::vector<pollfd> fds(static_cast<size_t>(n));
        snd_seq_poll_descriptors(seq_, fds.data(), static_cast<unsigned>(n), POLLIN);
        while (!stop_) {
            if (paused_ || ::poll(fds.data(), fds.size(), 20) <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(paused_ ? 5 : 0));
                continue;
            }
            snd_seq_event_t* ev = nullptr;
            int r = 0;
            while (!paused_ && (r = snd_seq_event_input(seq_, &ev)) >= 0 && ev) {
                std::uint8_t buf[4096];
                snd_midi_event_reset_decode(decoder_);
                const long len = snd_midi_event_decode(decoder_, buf, sizeof buf, ev);
                if (len > 0) {
                    std::lock_guard<std::mutex> lock(m_);
                    got_.emplace_back(buf, buf + len);
                    ++count_;
                }
                if (snd_seq_event_input_pending(seq_, 0) <= 0) break;
            }
            if (r == -ENOSPC) ++overruns_;
        }
    }

    std::string name_;
    snd_seq_t* seq_ = nullptr;
    snd_midi_event_t* decoder_ = nullptr;
    int port_ = -1;
    std::thread reader_;
    std::atomic<bool> stop_{false}, paused_{false};
    std::atomic<size_t> count_{0};
    std::atomic<int> overruns_{0};
    std::mutex m_;
    std::vector<MidiBytes> got_;
};

const Kit& kit() {
    static const Kit k = test::fullKit();
    return k;
}

TEST(AlsaVm, PortsAreListedAsTheSequencerNamesThem) {
    MidiOut out(std::make_unique<AlsaBackend>());
    std::vector<std::string> names;
    for (int i = 0; i < out.deviceCount(); ++i) names.push_back(out.deviceName(i));
    EXPECT_EQ(names, (std::vector<std::string>{"Midi Through:Midi Through Port-0", "Virtual Raw MIDI 0-0:VirMIDI 0-0",
                                               "Virtual Raw MIDI 0-1:VirMIDI 0-1", "Virtual Raw MIDI 0-2:VirMIDI 0-2",
                                               "Virtual Raw MIDI 0-3:VirMIDI 0-3",
                                               "Serial MIDI (UART16550A):Serial MIDI 1"}));
}

TEST(AlsaVm, OurOwnPortReachesASubscriber) {
    SeqReceiver receiver("kfsubscriber", 200);
    ASSERT_TRUE(receiver.ok());
    MidiOut out(std::make_unique<AlsaBackend>());
    ASSERT_TRUE(out.openPort(-1)) << out.lastOpenError().text;
    ASSERT_TRUE(receiver.subscribeFrom("Kitforge", 0));
    const std::vector<MidiBytes> sent{rhythmPart11Message(), {0xC9, 0x40}, {0x99, 0x24, 0x64}, {0x99, 0x24, 0x00}};
    out.sendLong(sent[0]);
    out.sendShort(0xC9, 0x40, 0);
    out.sendShort(0x99, 0x24, 0x64);
    out.sendShort(0x99, 0x24, 0x00);
    out.closePort();
    receiver.waitQuiet(std::chrono::milliseconds(300), std::chrono::seconds(10));
    EXPECT_EQ(receiver.messages(), sent);
    EXPECT_EQ(out.droppedCount(), 0);
}

// The whole kit at cable speed to the port of that name; the seconds it took, or -1 when the
// port did not open. Nothing may be lost.
double sendWholeKit(const std::string& port) {
    MidiOut out(std::make_unique<AlsaBackend>());
    const int id = test::portIndex(out, port);
    if (id < 0 || !out.openPort(id)) return -1;
    const auto start = Clock::now();
    sendSwitchOnSequence(out, kit(), true);
    out.closePort();
    EXPECT_EQ(out.droppedCount(), 0);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(AlsaVm, WholeKitThroughAVirtualRawPortArrivesWholeAndNeverFasterThanACable) {
    const auto expected = switchOnMessages(kit());
    RawReader raw("/dev/snd/midiC0D0");
    ASSERT_TRUE(raw.ok()) << "no /dev/snd/midiC0D0";
    const double took = sendWholeKit("Virtual Raw MIDI 0-0:VirMIDI 0-0");
    ASSERT_GE(took, 0);
    raw.waitQuiet(std::chrono::milliseconds(500), std::chrono::seconds(30));
    const auto bytes = raw.bytes();
    EXPECT_EQ(parseStream(bytes), expected);
    // By any read, no more bytes than a cable carries since the first one, give or take the
    // largest message and the first read.
    const auto reads = raw.reads();
    ASSERT_FALSE(reads.empty());
    size_t largest = 0;
    for (const auto& m : expected) largest = std::max(largest, m.size());
    size_t tooFast = 0;
    for (const auto& [t, n] : reads)
        if (static_cast<double>(n) > t / 320e-6 + static_cast<double>(largest + reads.front().second)) ++tooFast;
    EXPECT_EQ(tooFast, 0u);
    std::cout << "virtual raw MIDI: " << expected.size() << " messages, " << byteCount(expected) << " bytes ("
              << bytes.size() << " on the wire) in " << took << " s; the cable needs " << byteCount(expected) * 320e-6
              << " s; " << reads.size() << " reads\n";
}

TEST(AlsaVm, WholeKitThroughASerialMidiInterfaceArrivesByteForByte) {
    const auto expected = switchOnMessages(kit());
    const std::string file = "serial.bin";  // the second UART's output, in the work folder
    const auto fromTheUart = [&](size_t skip) {
        std::ifstream in(file, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        bytes.erase(bytes.begin(), bytes.begin() + static_cast<long>(std::min(skip, bytes.size())));
        return bytes;
    };
    // Interfaces with several outputs put F5 nn (select output nn) before a change of output.
    const auto withoutSelects = [](const std::vector<std::uint8_t>& bytes) {
        std::vector<std::uint8_t> plain;
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == 0xF5 && i + 1 < bytes.size()) ++i;
            else plain.push_back(bytes[i]);
        }
        return plain;
    };
    const size_t before = fromTheUart(0).size();
    const double took = sendWholeKit("Serial MIDI (UART16550A):Serial MIDI 1");
    ASSERT_GE(took, 0);
    // The guest's UART drains at its own pace: wait for the last message, not for a quiet spell.
    for (int i = 0; i < 600 && parseStream(withoutSelects(fromTheUart(before))).size() < expected.size(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto bytes = fromTheUart(before);
    const auto plain = withoutSelects(bytes);
    EXPECT_EQ(parseStream(plain), expected);
    std::cout << "serial MIDI: " << expected.size() << " messages, " << byteCount(expected) << " bytes ("
              << bytes.size() << " from the UART) in " << took << " s\n";
}

// What a user runs: kitforge-cli send at cable speed to a virtual raw MIDI port, which a slow
// machine once cut short when the close's bound ran out while the transfer still moved.
TEST(AlsaVm, CommandLineSendDeliversTheWholeKitAndSucceeds) {
    const std::string file = "kit.kfg";  // in the work folder
    writeFileAtomically(file, WriteKitFile(kit()));
    Kit read;
    read.reset();
    ReadKitFile(WriteKitFile(kit()), read);
    const auto expected = switchOnMessages(read);
    const std::string id = test::cliPortId(KITFORGE_CLI, "Virtual Raw MIDI 0-1:VirMIDI 0-1");
    ASSERT_FALSE(id.empty()) << "not listed by kitforge-cli ports";
    RawReader raw("/dev/snd/midiC0D1");
    ASSERT_TRUE(raw.ok());
    // Its progress line is dropped: the VM's console is a terminal. Emulated, the send may take
    // several times its 10.8 s on the wire.
    const test::ChildEnd sent =
        test::runProgram(KITFORGE_CLI, {"send", "--port", id, file}, {}, std::chrono::minutes(5));
    EXPECT_EQ(sent.status(), 0);
    const double took = sent.seconds;
    raw.waitQuiet(std::chrono::milliseconds(500), std::chrono::seconds(30));
    EXPECT_EQ(parseStream(raw.bytes()), expected);
    std::cout << "kitforge-cli send: " << expected.size() << " messages in " << took << " s\n";
}

// The kernel refuses an event that does not fit into a receiver's input, and we retry that
// event; but it also marks the input as overrun and clears it at the receiver's next read.
// What the receiver had not read then is lost to it, and it is told so (-ENOSPC): the
// sequencer gives a sender no way to see a receiver's room before it is gone.
TEST(AlsaVm, AReceiverThatStopsReadingForAWhileGetsTheRestOnceAndInOrder) {
    const auto expected = switchOnMessages(kit());
    SeqReceiver receiver("kfslow", 16);
    ASSERT_TRUE(receiver.ok());
    MidiOut out(std::make_unique<AlsaBackend>());
    out.setPacing({true, std::chrono::milliseconds(0)});
    const int id = test::portIndex(out, receiver.portName());
    ASSERT_GE(id, 0);
    ASSERT_TRUE(out.openPort(id));
    receiver.pause(true);
    sendSwitchOnSequence(out, kit(), true);
    // Half a second with a full input, well within the bound a transport is given.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const bool stillQueued = !out.progress().idle();
    receiver.pause(false);
    out.closePort();
    receiver.waitQuiet(std::chrono::milliseconds(500), std::chrono::seconds(30));
    EXPECT_TRUE(stillQueued) << "the sends did not wait for the receiver: nothing was tested";
    EXPECT_EQ(out.droppedCount(), 0) << "the refused event is retried, never given up";
    const auto got = receiver.messages();
    // In order and never twice: what arrived is expected with gaps, and the transfer went on
    // to its end.
    size_t at = 0;
    for (const auto& m : got) {
        while (at < expected.size() && expected[at] != m) ++at;
        ASSERT_LT(at, expected.size()) << "repeated or reordered messages";
        ++at;
    }
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), expected.back());
    // Each overrun cleared at most what the input holds; a loss without one would be ours.
    const size_t lost = expected.size() - got.size();
    EXPECT_LE(lost, 16u * static_cast<size_t>(receiver.overruns()));
    std::cout << "receiver stopped for 0.5 s: " << got.size() << " of " << expected.size() << " arrived, " << lost
              << " cleared by the kernel in " << receiver.overruns() << " overrun(s)\n";
}

TEST(AlsaVm, WhatAStoppedReceiverRefusedNeverReachesTheNextDevice) {
    SeqReceiver stuck("kfstuck", 8);
    SeqReceiver next("kfnext", 200);
    ASSERT_TRUE(stuck.ok() && next.ok());
    stuck.pause(true);
    MidiOut out(std::make_unique<AlsaBackend>());
    out.setPacing({true, std::chrono::milliseconds(0)});
    ASSERT_TRUE(out.openPort(test::portIndex(out, stuck.portName())));
    std::vector<MidiBytes> sent;
    for (int i = 0; i < 200; ++i) {
        sent.push_back({0x99, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(1 + i / 128)});
        out.sendShort(0x99, sent.back()[1], sent.back()[2]);
    }
    out.closePort();
    EXPECT_GT(out.droppedCount(), 0) << "a receiver that takes nothing must be reported";
    ASSERT_TRUE(out.openPort(test::portIndex(out, next.portName())));
    out.sendShort(0xC9, 0x41, 0);
    out.closePort();
    next.waitQuiet(std::chrono::milliseconds(300), std::chrono::seconds(10));
    EXPECT_EQ(next.messages(), (std::vector<MidiBytes>{{0xC9, 0x41}}));
    stuck.pause(false);
    stuck.waitQuiet(std::chrono::milliseconds(300), std::chrono::seconds(10));
    const auto got = stuck.messages();
    ASSERT_LE(got.size(), sent.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), sent.begin())) << "what was taken arrives once, in order";
}

TEST(AlsaVm, AFetchThroughAVirtualPortGivesTheModulesSets) {
    const ReferenceTables& tables = test::shippedTables();
    const Kit kit = test::tableKit(tables, 3, 9);
    RawModule module("/dev/snd/midiC0D2", kit);
    ASSERT_TRUE(module.ok()) << "no /dev/snd/midiC0D2";
    const std::string port = "Virtual Raw MIDI 0-2:VirMIDI 0-2";
    MidiOut out(std::make_unique<AlsaBackend>());
    MidiIn in(std::make_unique<AlsaInput>());
    const int source = test::portIndex(in, port);
    ASSERT_GE(source, 0) << "not listed as a source";
    ASSERT_TRUE(out.openPort(test::portIndex(out, port))) << out.lastOpenError().text;
    ASSERT_TRUE(in.openPort(source)) << in.lastOpenError().text;
    KitFetch fetch(&tables);
    std::atomic<bool> cancel{false};
    EXPECT_EQ(runFetch(fetch, out, in, cancel), KitFetch::State::Done);
    EXPECT_EQ(WriteKitFile(fetch.result()), WriteKitFile(kit));
    std::cout << "fetch through the sequencer: " << module.requests() << " requests\n";
}

// A virtual raw MIDI port's reader with the kernel's time of every byte: when the sequencer
// handed it to the port, whenever the reader thread got round to reading it.
class StampedRawReader {
public:
    explicit StampedRawReader(const char* name) {
        if (snd_rawmidi_open(&in_, nullptr, name, SND_RAWMIDI_NONBLOCK) < 0) return;
        snd_rawmidi_params_t* params;
        snd_rawmidi_params_alloca(&params);
        snd_rawmidi_params_current(in_, params);
        if (snd_rawmidi_params_set_read_mode(in_, params, SND_RAWMIDI_READ_TSTAMP) < 0 ||
            snd_rawmidi_params_set_clock_type(in_, params, SND_RAWMIDI_CLOCK_MONOTONIC) < 0 ||
            snd_rawmidi_params(in_, params) < 0) {
            snd_rawmidi_close(in_);
            in_ = nullptr;
            return;
        }
        thread_ = std::thread([this] { run(); });
    }
    ~StampedRawReader() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (in_) snd_rawmidi_close(in_);
    }
    bool ok() const { return in_ != nullptr; }
    size_t size() {
        std::lock_guard<std::mutex> lock(m_);
        return bytes_.size();
    }
    // Every byte, and the kernel's time of each in seconds.
    std::vector<std::uint8_t> bytes() {
        std::lock_guard<std::mutex> lock(m_);
        return bytes_;
    }
    std::vector<double> times() {
        std::lock_guard<std::mutex> lock(m_);
        return times_;
    }

private:
    void run() {
        std::vector<pollfd> fds(static_cast<size_t>(snd_rawmidi_poll_descriptors_count(in_)));
        snd_rawmidi_poll_descriptors(in_, fds.data(), static_cast<unsigned>(fds.size()));
        while (!stop_) {
            // Read after a quiet poll too: the library keeps frames of its own that poll cannot see.
            ::poll(fds.data(), fds.size(), 20);
            for (;;) {
                std::uint8_t buf[256];
                timespec at{};
                const ssize_t n = snd_rawmidi_tread(in_, &at, buf, sizeof buf);
                if (n <= 0) break;
                std::lock_guard<std::mutex> lock(m_);
                bytes_.insert(bytes_.end(), buf, buf + n);
                times_.insert(times_.end(), static_cast<size_t>(n), static_cast<double>(at.tv_sec) + at.tv_nsec * 1e-9);
            }
        }
    }

    snd_rawmidi_t* in_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex m_;
    std::vector<std::uint8_t> bytes_;
    std::vector<double> times_;
};

// A transport without a timeline: a reset starts when the sequencer took it, so its last byte
// is its wire time later, and the next message waits the settle time from there.
class AlsaSettle : public ::testing::TestWithParam<test::SettleCase> {};

TEST_P(AlsaSettle, TheNextMessageWaitsTheSettleTimeFromTheLastByte) {
    const auto expected = deviceCommandMessages(GetParam().command);
    StampedRawReader raw("hw:0,0");
    ASSERT_TRUE(raw.ok()) << "no timestamped reads on hw:0,0";
    MidiOut out(std::make_unique<AlsaBackend>());
    out.setPacing({GetParam().unlimited, {}});
    ASSERT_TRUE(out.openPort(test::portIndex(out, "Virtual Raw MIDI 0-0:VirMIDI 0-0"))) << out.lastOpenError().text;
    sendDeviceCommand(out, true, GetParam().command);
    out.closePort();
    const size_t total = byteCount(expected);
    ASSERT_TRUE(test::waitUntil([&] { return raw.size() >= total; }, test::kHang))
        << raw.size() << " of " << total << " bytes; dropped " << out.droppedCount();
    ASSERT_EQ(parseStream(raw.bytes()), expected);
    const auto times = raw.times();
    // Only downward: an emulated sender's wake-up comes late on a busy machine by more than any
    // fault would add (the exact wait is judged through JACK's frames and the recorder's clock).
    size_t at = 0;
    for (size_t i = 0; i + 1 < expected.size(); at += expected[i].size(), ++i) {
        const double settle = static_cast<double>(settleTime(expected[i]).count()) * 1e-6;
        if (settle == 0) continue;
        const double gap = times[at + expected[i].size()] - times[at] - static_cast<double>(expected[i].size()) * 320e-6;
        std::cout << GetParam().name << ": " << gap * 1000 << " ms after message " << i << "'s last byte (settle "
                  << settle * 1000 << " ms)\n";
        EXPECT_GE(gap, settle) << "after message " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, AlsaSettle, ::testing::ValuesIn(test::settleCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// What a user runs to trust the module, kitforge-cli fetch, verify and send --verify, through
// one virtual raw MIDI port after another against a module as a case makes it. Small kits:
// everything here is emulated.
struct CliCase {
    const char* name;
    std::vector<std::string> verb;  // before the ports and the file
    bool lossy = false;    // loses 1 request in 11, answers 5 to 60 ms late, noise around
    bool damaged = false;  // holds other values in two notes and another name for set 2
    bool busy = false;     // holds another kit and loses a DT1 right behind another
    bool silent = false;
    int status = 0;        // -1: 0 or 1
};

void PrintTo(const CliCase& c, std::ostream* os) { *os << c.name; }

const CliCase kCliCases[] = {
    {"FetchLossy", {"fetch"}, true, false, false, false, -1},
    {"VerifyIdentical", {"verify"}},
    {"VerifyLossy", {"verify"}, true},
    {"VerifyDamaged", {"verify"}, false, true, false, false, 1},
    {"SendVerifyRepairsABusyModule", {"send", "--verify"}, false, false, true},
    {"VerifySilent", {"verify"}, false, false, false, true, 1},
};

class CommandLineAgainstAModule : public ::testing::TestWithParam<CliCase> {};

TEST_P(CommandLineAgainstAModule, TellsWhatTheModuleHolds) {
    using namespace std::chrono_literals;
    const CliCase& c = GetParam();
    const ReferenceTables& tables = test::shippedTables();
    const Kit kit = test::tableKit(tables, 3, 11);
    const std::string file = std::string(c.name) + ".kfg";  // in the work folder
    Kit sent;
    sent.reset();
    ASSERT_EQ(ReadKitFile(WriteKitFile(kit), sent).status, KitReadResult::Read);
    if (c.verb[0] != "fetch") writeFileAtomically(file, WriteKitFile(kit));
    std::vector<int> used[kSetCount];
    for (int set = 1; set <= kSetCount; ++set)
        for (int note = 0; note < kNoteCount; ++note)
            if (sent.entry(set, note).used) used[set - 1].push_back(note);
    ASSERT_FALSE(used[0].empty() || used[1].empty());

    std::vector<std::string> expected;  // the lines a compare prints
    RawModule module("/dev/snd/midiC0D3", c.busy ? test::tableKit(tables, 3, 12) : kit, [&](test::FakeModule& m) {
        m.silent = c.silent;
        m.takesDataSets = true;
        if (c.busy) m.busyAfterDt1 = 2ms;
        if (c.lossy) {
            m.loseOneIn = 11;
            m.lateMin = 5ms;
            m.lateMax = 60ms;
            m.noise = true;
        }
        if (!c.damaged) return;
        m.holdName(2, "Damaged");
        expected.push_back(R"(set 2 name: kit "Other Set", module "Damaged")");
        const struct {
            int set, note, parameter;
            const char* word;
        } damage[] = {{1, used[0].front(), 2, "level"}, {2, used[1].back(), 8, "rx note on"}};
        for (const auto& d : damage) {
            const int was = m.held(d.set, d.note, d.parameter);
            expected.push_back("set " + std::to_string(d.set) + " note " + std::to_string(d.note) + " " + d.word +
                               ": kit " + std::to_string(was) + ", module " + std::to_string(was ^ 1));
            m.hold(d.set, d.note, d.parameter, static_cast<std::uint8_t>(was ^ 1));
        }
        expected.push_back("2 note(s) and 1 name(s) differ");
    });
    ASSERT_TRUE(module.ok()) << "no /dev/snd/midiC0D3";
    static const std::string port = "Virtual Raw MIDI 0-3:VirMIDI 0-3";
    // Looked up once: each run of the program is seconds here.
    static const std::string out = test::cliPortId(KITFORGE_CLI, port), in = test::cliPortId(KITFORGE_CLI, port, true);
    ASSERT_FALSE(out.empty() || in.empty()) << "not listed by kitforge-cli ports";
    std::vector<std::string> args = c.verb;
    for (const std::string& a : {std::string("--port"), out, std::string("--in"), in, file}) args.push_back(a);
    test::ChildOptions options;
    options.captureOutput = true;
    options.errorsInOutput = true;
    const test::ChildEnd end = test::runProgram(KITFORGE_CLI, args, options, std::chrono::minutes(3));
    ASSERT_TRUE(end.exited()) << (end.hung ? "hung" : "killed");
    std::cout << c.name << ": exit " << end.status() << " in " << end.seconds << " s, " << module.requests()
              << " requests\n";
    if (c.verb[0] == "fetch") std::cout << end.output;
    if (c.status >= 0) EXPECT_EQ(end.status(), c.status) << end.output;
    else EXPECT_TRUE(end.status() == 0 || end.status() == 1) << end.output;

    if (c.silent) {
        EXPECT_NE(end.output.find("the module does not answer (output " + port + ", input " + port + ")"),
                  std::string::npos)
            << end.output;
        return;
    }
    if (c.verb[0] == "fetch") {
        // Exact, or the incomplete notes named and nothing written: never a made-up value.
        if (end.status() != 0) {
            EXPECT_NE(end.output.find("incomplete: "), std::string::npos) << end.output;
            EXPECT_FALSE(std::ifstream(file).good()) << "written although incomplete";
            return;
        }
        EXPECT_EQ(readFileBytes(file), WriteKitFile(kit)) << end.output;
        return;
    }
    const test::FakeModule held = module.snapshot();
    if (c.busy) {
        EXPECT_GT(held.dt1Lost(), 0) << "the transfer left no holes to find";
        EXPECT_NE(end.output.find("sent again: "), std::string::npos) << "the first compare found nothing\n" << end.output;
    } else {
        if (!c.damaged) expected.push_back("the module holds the kit");
        std::string lines;
        for (const std::string& l : expected) lines += l + "\n";
        EXPECT_EQ(end.output, lines);
    }
    if (c.status != 0) return;
    const test::FakeModule wanted(sent);
    for (int set = 1; set <= kSetCount; ++set) {
        EXPECT_EQ(held.heldName(set), wanted.heldName(set)) << "set " << set;
        for (const int note : used[set - 1])
            for (int p = 1; p <= kDeviceParameterCount; ++p)
                EXPECT_EQ(held.held(set, note, p), wanted.held(set, note, p))
                    << "set " << set << " note " << note << " parameter " << p;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineAgainstAModule, ::testing::ValuesIn(kCliCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kf
