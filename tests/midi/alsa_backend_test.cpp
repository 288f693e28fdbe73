// The ALSA backend's own logic against a sequencer of the test's own that behaves as the
// kernel does for direct events: an event goes to the receiver at once, or, when the
// receiver's input is full, is refused with -EAGAIN and nothing of it is kept.
#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <condition_variable>
#include <thread>
#include <utility>

#include "midi/alsa_backend.h"
#include "midi/alsa_input.h"
#include "midi/midi_in.h"
#include "midi/midi_out.h"
#include "wait.h"

namespace kf {
namespace {

constexpr unsigned kRead = AlsaSequencer::kCapRead, kWrite = AlsaSequencer::kCapWrite,
                   kSubsRead = AlsaSequencer::kCapSubsRead, kSubsWrite = AlsaSequencer::kCapSubsWrite;

struct FakeLog {
    bool present = true;
    std::string clientName;
    std::vector<std::string> calls;
    int connectResult = 0;
    // The receiver: what it has read, and its input FIFO of fifoSize events.
    std::vector<MidiBytes> delivered;
    size_t fifoSize = 1000, inFifo = 0;
    int attempts = 0;
    int outputResult = 0;  // a negative errno: what every output returns instead
    std::mutex m;
};

class FakeSequencer : public AlsaSequencer {
public:
    explicit FakeSequencer(FakeLog& log) : log_(log) {}
    bool open(const std::string& clientName, MidiDirection, MidiError* error) override {
        if (!log_.present) {
            if (error) *error = {MidiError::NoMidiSystem, "no /dev/snd/seq"};
            return false;
        }
        log_.clientName = clientName;
        return true;
    }
    int clientId() override { return 129; }
    std::vector<SeqPortInfo> listPorts() override {
        return {
            {0, 0, "System", "Timer", kRead | kWrite | kSubsRead | kSubsWrite},
            {0, 1, "System", "Announce", kRead | kSubsRead},
            {14, 0, "Midi Through", "Midi Through Port-0", kRead | kWrite | kSubsRead | kSubsWrite},
            {20, 0, "UM-ONE", "UM-ONE MIDI 1", kWrite | kSubsWrite},
            {20, 1, "UM-ONE", "UM-ONE MIDI 1 in", kRead | kSubsRead},
            {128, 0, "Locked", "exclusive", kWrite},
            {129, 0, "Kitforge", "Kitforge", kRead | kSubsRead | kWrite | kSubsWrite},
            {130, 0, "FLUID Synth (1234)", "Synth input port (1234:0)", kWrite | kSubsWrite},
        };
    }
    int createPort(const std::string& name, MidiError*) override {
        log_.calls.push_back("create " + name);
        return 0;
    }
    int connect(int own, int client, int port) override {
        log_.calls.push_back("connect " + std::to_string(own) + " " + std::to_string(client) + ":" + std::to_string(port));
        return log_.connectResult;
    }
    void deletePort(int own) override { log_.calls.push_back("delete " + std::to_string(own)); }
    int output(int, const std::uint8_t* data, std::size_t size) override {
        std::lock_guard<std::mutex> lock(log_.m);
        ++log_.attempts;
        if (log_.outputResult < 0) return log_.outputResult;
        if (log_.inFifo >= log_.fifoSize) return -EAGAIN;
        ++log_.inFifo;
        log_.delivered.emplace_back(data, data + size);
        return 0;
    }
    void waitForRoom(std::chrono::milliseconds timeout) override { std::this_thread::sleep_for(timeout / 4); }
    void dropOutput() override { log_.calls.push_back("drop"); }
    int read(std::vector<std::uint8_t>*, std::chrono::milliseconds) override { return -EBADF; }

private:
    FakeLog& log_;
};

AlsaBackend::Factory fake(FakeLog& log) {
    return [&log] { return std::make_unique<FakeSequencer>(log); };
}

TEST(AlsaBackend, ListsOtherClientsPortsThatTakeWritesAndSubscriptions) {
    FakeLog log;
    AlsaBackend backend(fake(log));
    EXPECT_EQ(backend.ports(), (std::vector<std::string>{"Midi Through:Midi Through Port-0", "UM-ONE:UM-ONE MIDI 1",
                                                         "FLUID Synth (1234):Synth input port (1234:0)"}));
    EXPECT_EQ(log.clientName, "Kitforge");
}

struct OpenCase {
    int id;
    int connectResult;
    bool opens;
    MidiError::Kind kind;
    std::vector<std::string> calls;
};

class AlsaOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(AlsaOpen, OwnPortThenTheConnection) {
    FakeLog log;
    log.connectResult = GetParam().connectResult;
    AlsaBackend backend(fake(log));
    MidiError error;
    EXPECT_EQ(backend.open(GetParam().id, &error), GetParam().opens);
    EXPECT_EQ(error.kind, GetParam().kind);
    EXPECT_EQ(log.calls, GetParam().calls);
}

const std::vector<std::string> kRefused{"create Kitforge", "connect 0 14:0", "delete 0"};
INSTANTIATE_TEST_SUITE_P(
    Cases, AlsaOpen,
    ::testing::Values(OpenCase{-1, 0, true, MidiError::None, {"create Kitforge"}},
                      OpenCase{1, 0, true, MidiError::None, {"create Kitforge", "connect 0 20:0"}},
                      OpenCase{0, -EBUSY, false, MidiError::PortBusy, kRefused},
                      OpenCase{0, -EPERM, false, MidiError::PortBusy, kRefused},
                      OpenCase{0, -ENOENT, false, MidiError::NoSuchPort, kRefused},
                      OpenCase{0, -ENXIO, false, MidiError::NoSuchPort, kRefused},
                      OpenCase{0, -ENOMEM, false, MidiError::Other, kRefused},
                      OpenCase{3, 0, false, MidiError::NoSuchPort, {}},
                      OpenCase{-2, 0, false, MidiError::NoSuchPort, {}}));

TEST(AlsaBackend, NoSequencerIsNoMidiSystem) {
    FakeLog log;
    log.present = false;
    AlsaBackend backend(fake(log));
    EXPECT_FALSE(backend.available());
    EXPECT_TRUE(backend.ports().empty());
    MidiError error;
    EXPECT_FALSE(backend.open(-1, &error));
    EXPECT_EQ(error.kind, MidiError::NoMidiSystem);
    EXPECT_FALSE(backend.send(reinterpret_cast<const std::uint8_t*>("\x90\x24\x40"), 3));
    AlsaBackend none(AlsaBackend::Factory{});
    EXPECT_FALSE(none.open(-1, &error));
    EXPECT_EQ(error.kind, MidiError::NoMidiSystem);
}

TEST(AlsaBackend, AReceiverThatFallsBehindGetsEveryMessageOnceInOrder) {
    FakeLog log;
    log.fifoSize = 16;
    // A bound no loaded machine reaches: the test judges what arrives, not how fast.
    MidiOut out(std::make_unique<AlsaBackend>(fake(log), std::chrono::seconds(20)));
    out.setPacing({true, std::chrono::milliseconds(0)});
    ASSERT_TRUE(out.openPort(-1));
    std::vector<MidiBytes> expected;
    for (int i = 0; i < 1000; ++i) {
        expected.push_back({0x99, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(i / 128 + 1)});
        out.sendShort(0x99, expected.back()[1], expected.back()[2]);
    }
    // The receiver reads a few events at a time, and once stops for half a second. Bounded by
    // time, not by rounds: a sleep shorter than a millisecond may return at once (MinGW).
    std::thread receiver([&] {
        const auto giveUp = std::chrono::steady_clock::now() + test::kHang;
        for (int round = 0; std::chrono::steady_clock::now() < giveUp; ++round) {
            {
                std::lock_guard<std::mutex> lock(log.m);
                if (log.delivered.size() == 1000 && log.inFifo == 0) return;
                log.inFifo = log.inFifo > 3 ? log.inFifo - 3 : 0;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(round == 100 ? 500000 : 200));
        }
    });
    out.closePort();
    receiver.join();
    EXPECT_EQ(log.delivered, expected);
    EXPECT_EQ(out.droppedCount(), 0);
    EXPECT_GT(log.attempts, 1000) << "the receiver never filled up: nothing was tested";
    EXPECT_EQ(log.calls, (std::vector<std::string>{"create Kitforge", "drop", "delete 0"}))
        << "close leaves nothing behind for the next device";
}

TEST(AlsaBackend, AReceiverThatTakesNothingRefusesTheMessageAfterTheBound) {
    FakeLog log;
    log.fifoSize = 0;
    AlsaBackend backend(fake(log), std::chrono::milliseconds(50));
    ASSERT_TRUE(backend.open(-1, nullptr));
    const std::uint8_t note[] = {0x99, 0x24, 0x64};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(backend.send(note, 3));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_EQ(backend.sendError().kind, MidiError::Stalled);
    EXPECT_TRUE(log.delivered.empty());
    EXPECT_EQ(backend.close(), 0u);
}

struct SendFailure {
    const char* what;
    int outputResult;
    bool open;
    MidiError::Kind kind;
    int attempts;
};

class AlsaSendFailure : public ::testing::TestWithParam<SendFailure> {};

// The transport's word for a message it did not take reaches whoever watches the output.
TEST_P(AlsaSendFailure, SaysWhyAndTriesNoMoreThanItMay) {
    FakeLog log;
    log.outputResult = GetParam().outputResult;
    MidiOut out(std::make_unique<AlsaBackend>(fake(log), std::chrono::seconds(20)));
    AlsaBackend backend(fake(log), std::chrono::seconds(20));
    if (GetParam().open) {
        ASSERT_TRUE(backend.open(-1, nullptr));
        ASSERT_TRUE(out.openPort(-1));
    }
    const std::uint8_t note[] = {0x99, 0x24, 0x64};
    EXPECT_FALSE(backend.send(note, 3));
    EXPECT_EQ(backend.sendError().kind, GetParam().kind);
    EXPECT_EQ(log.attempts, GetParam().attempts);
    if (!GetParam().open) return;
    out.sendShort(0x99, 0x24, 0x64);
    out.closePort();
    EXPECT_EQ(out.droppedCount(), 1);
    EXPECT_EQ(out.lastDropError().kind, GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AlsaSendFailure,
    ::testing::Values(SendFailure{"TheDeviceWentAway", -ENODEV, true, MidiError::NoSuchPort, 1},
                      SendFailure{"TheMessageDoesNotEncode", -EINVAL, true, MidiError::Other, 1},
                      SendFailure{"NoPortOpen", 0, false, MidiError::Other, 0}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace kf

namespace kf {
namespace {

// The input side: the same clients, and the events a device sends, in the pieces the kernel
// hands them over.
struct FakeInputSequencer : AlsaSequencer {
    std::vector<std::string>* calls;
    int connectResult = 0;
    std::mutex m;
    std::deque<MidiBytes> events;
    int failWith = 0;  // a negative errno the next read returns once the events are read
    bool open(const std::string&, MidiDirection, MidiError*) override { return true; }
    int clientId() override { return 131; }
    std::vector<SeqPortInfo> listPorts() override {
        return {
            {0, 1, "System", "Announce", kRead | kSubsRead},
            {14, 0, "Midi Through", "Midi Through Port-0", kRead | kWrite | kSubsRead | kSubsWrite},
            {20, 0, "UM-ONE", "UM-ONE MIDI 1", kWrite | kSubsWrite},
            {20, 1, "UM-ONE", "UM-ONE MIDI 1 in", kRead | kSubsRead},
            {128, 0, "Locked", "exclusive", kRead},
            {129, 0, "Kitforge", "Kitforge", kRead | kSubsRead},
            {131, 0, "Kitforge", "Kitforge", kWrite | kSubsWrite},
        };
    }
    int createPort(const std::string& name, MidiError*) override {
        calls->push_back("create " + name);
        return 0;
    }
    int connect(int own, int client, int port) override {
        calls->push_back("from " + std::to_string(client) + ":" + std::to_string(port) + " to " + std::to_string(own));
        return connectResult;
    }
    void deletePort(int own) override { calls->push_back("delete " + std::to_string(own)); }
    int output(int, const std::uint8_t*, std::size_t) override { return -EBADF; }
    void waitForRoom(std::chrono::milliseconds) override {}
    void dropOutput() override {}
    int read(std::vector<std::uint8_t>* bytes, std::chrono::milliseconds timeout) override {
        std::unique_lock<std::mutex> lock(m);
        if (events.empty() && failWith < 0) return std::exchange(failWith, 0);
        if (events.empty()) {
            lock.unlock();
            std::this_thread::sleep_for(timeout / 10);
            return 0;
        }
        bytes->insert(bytes->end(), events.front().begin(), events.front().end());
        events.pop_front();
        return 0;
    }
};

TEST(AlsaInput, ListsReadableSourcesSubscribesToOneAndJoinsSplitSysEx) {
    std::vector<std::string> calls;
    FakeInputSequencer* seq = nullptr;
    auto input = std::make_unique<AlsaInput>([&] {
        auto s = std::make_unique<FakeInputSequencer>();
        s->calls = &calls;
        s->events = {{0xF0, 0x41, 0x10, 0x42, 0x12}, {0x21, 0x00, 0x00}, {0x41, 0x1E, 0xF7}, {0x99, 36, 100}};
        seq = s.get();
        return s;
    });
    // Not the system's, not the locked one, not our own output's nor our own.
    EXPECT_EQ(input->ports(), (std::vector<std::string>{"Midi Through:Midi Through Port-0", "UM-ONE:UM-ONE MIDI 1 in"}));
    MidiIn in(std::move(input));
    std::mutex m;
    std::vector<MidiBytes> got;
    in.setHandler([&](const MidiBytes& message) {
        std::lock_guard<std::mutex> lock(m);
        got.push_back(message);
    });
    ASSERT_TRUE(in.openPort(1));
    EXPECT_EQ(calls, (std::vector<std::string>{"create Kitforge", "from 20:1 to 0"}));
    for (int i = 0; i < 1000; ++i) {
        {
            std::lock_guard<std::mutex> lock(m);
            if (got.size() >= 2) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    in.closePort();
    EXPECT_EQ(got, (std::vector<MidiBytes>{{0xF0, 0x41, 0x10, 0x42, 0x12, 0x21, 0x00, 0x00, 0x41, 0x1E, 0xF7},
                                           {0x99, 36, 100}}));
    // A refused subscription says why, and leaves no port behind.
    calls.clear();
    seq->connectResult = -EPERM;
    EXPECT_FALSE(in.openPort(0));
    EXPECT_EQ(in.lastOpenError().kind, sequencerError(-EPERM).kind);
    EXPECT_EQ(calls, (std::vector<std::string>{"create Kitforge", "from 14:0 to 0", "delete 0"}));
}

struct ReadFailure {
    const char* what;
    int error;
    bool staysOpen;
    MidiError::Kind kind;
};

class AlsaReadFailure : public ::testing::TestWithParam<ReadFailure> {};

// An overrun loses messages but not the port; a sequencer that fails loses the port, and the
// input says it is closed so the next open makes a new one.
TEST_P(AlsaReadFailure, IsToldAndOnlyALossClosesThePort) {
    std::vector<std::string> calls;
    FakeInputSequencer* seq = nullptr;
    MidiIn in(std::make_unique<AlsaInput>([&] {
        auto s = std::make_unique<FakeInputSequencer>();
        s->calls = &calls;
        seq = s.get();
        return s;
    }));
    ASSERT_TRUE(in.openPort(-1));
    {
        std::lock_guard<std::mutex> lock(seq->m);
        seq->failWith = GetParam().error;
    }
    ASSERT_TRUE(test::waitUntil([&] { return in.lastError().kind != MidiError::None; }, test::kHang));
    EXPECT_EQ(in.lastError().kind, GetParam().kind);
    EXPECT_EQ(in.isOpen(), GetParam().staysOpen);
    ASSERT_TRUE(in.openPort(-1));
    EXPECT_TRUE(in.isOpen());
    EXPECT_EQ(in.lastError().kind, MidiError::None);
}

INSTANTIATE_TEST_SUITE_P(Cases, AlsaReadFailure,
                         ::testing::Values(ReadFailure{"Overrun", -ENOSPC, true, MidiError::Overrun},
                                           ReadFailure{"DeviceGone", -ENODEV, false, MidiError::NoSuchPort}),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace kf
