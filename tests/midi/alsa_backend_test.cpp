// The ALSA backend's own logic against a sequencer of the test's own: which ports, their
// names, waiting for room instead of dropping, draining on close, no sequencer at all.
#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <thread>

#include "midi/alsa_backend.h"
#include "midi/midi_out.h"

namespace kf {
namespace {

constexpr unsigned kRead = 1u << 0, kWrite = AlsaSequencer::kCapWrite, kSubsRead = 1u << 5,
                   kSubsWrite = AlsaSequencer::kCapSubsWrite;

struct FakeLog {
    bool present = true;
    bool blocking = false;
    std::string clientName;
    std::vector<std::string> calls;
    std::vector<MidiBytes> delivered;
    // The output pool: output() waits (blocking) or says -EAGAIN while it holds pool events.
    size_t pool = 1000, inPool = 0;
    int eagainTimes = 0;
    std::mutex m;
    std::condition_variable cv;
};

class FakeSequencer : public AlsaSequencer {
public:
    explicit FakeSequencer(FakeLog& log) : log_(log) {}
    bool open(const std::string& clientName, bool blocking, MidiError* error) override {
        if (!log_.present) {
            if (error) *error = {MidiError::NoMidiSystem, "no /dev/snd/seq"};
            return false;
        }
        log_.clientName = clientName;
        log_.blocking = blocking;
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
    bool connectTo(int own, int client, int port, MidiError* error) override {
        log_.calls.push_back("connect " + std::to_string(own) + " " + std::to_string(client) + ":" + std::to_string(port));
        if (client == 14) {
            if (error) *error = {MidiError::PortBusy, "Device or resource busy"};
            return false;
        }
        return true;
    }
    void deletePort(int own) override { log_.calls.push_back("delete " + std::to_string(own)); }
    int output(int, const std::uint8_t* data, std::size_t size) override {
        std::unique_lock<std::mutex> lock(log_.m);
        if (log_.eagainTimes > 0) {
            --log_.eagainTimes;
            return -EAGAIN;
        }
        if (log_.inPool >= log_.pool) {
            if (!log_.blocking) return -EAGAIN;
            log_.cv.wait(lock, [this] { return log_.inPool < log_.pool; });
        }
        ++log_.inPool;
        log_.delivered.emplace_back(data, data + size);
        return 0;
    }
    int drainOutput() override {
        log_.calls.push_back("drain");
        return 0;
    }

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
    EXPECT_TRUE(log.blocking) << "a full pool must make a send wait, not fail";
    EXPECT_EQ(log.clientName, "Kitforge");
}

struct OpenCase {
    int id;
    bool opens;
    MidiError::Kind kind;
    std::vector<std::string> calls;
};

class AlsaOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(AlsaOpen, OwnPortThenTheConnection) {
    FakeLog log;
    AlsaBackend backend(fake(log));
    MidiError error;
    EXPECT_EQ(backend.open(GetParam().id, &error), GetParam().opens);
    EXPECT_EQ(error.kind, GetParam().kind);
    EXPECT_EQ(log.calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AlsaOpen,
    ::testing::Values(OpenCase{-1, true, MidiError::None, {"create Kitforge"}},
                      OpenCase{1, true, MidiError::None, {"create Kitforge", "connect 0 20:0"}},
                      OpenCase{0, false, MidiError::PortBusy, {"create Kitforge", "connect 0 14:0", "delete 0"}},
                      OpenCase{3, false, MidiError::NoSuchPort, {}}, OpenCase{-2, false, MidiError::NoSuchPort, {}}));

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

TEST(AlsaBackend, AFullPoolMakesTheSendWaitAndNothingIsLost) {
    FakeLog log;
    log.pool = 200;
    auto backend = std::make_unique<AlsaBackend>(fake(log));
    AlsaBackend* alsa = backend.get();
    MidiOut out(std::move(backend));
    out.setPacing({true, std::chrono::milliseconds(0)});
    ASSERT_TRUE(out.openPort(-1));
    for (int i = 0; i < 1000; ++i) out.sendShort(0x99, static_cast<std::uint8_t>(i % 128), 100);
    // The kernel delivers, a few events at a time.
    std::thread kernel([&] {
        for (int i = 0; i < 2000; ++i) {
            {
                std::lock_guard<std::mutex> lock(log.m);
                if (log.delivered.size() == 1000 && log.inPool == 0) return;
                log.inPool = log.inPool > 5 ? log.inPool - 5 : 0;
            }
            log.cv.notify_all();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    ASSERT_TRUE(out.flush(std::chrono::seconds(20)));
    kernel.join();
    out.closePort();
    EXPECT_EQ(log.delivered.size(), 1000u);
    EXPECT_EQ(out.droppedCount(), 0);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"create Kitforge", "drain", "delete 0"}))
        << "close drains before it lets the port go";
    (void)alsa;
}

TEST(AlsaBackend, NoRoomYetIsRetriedWithinTheBoundThenRefused) {
    FakeLog log;
    AlsaBackend backend(fake(log), std::chrono::milliseconds(50));
    ASSERT_TRUE(backend.open(-1, nullptr));
    const std::uint8_t note[] = {0x99, 0x24, 0x64};
    log.eagainTimes = 3;
    EXPECT_TRUE(backend.send(note, 3));
    EXPECT_EQ(log.delivered.size(), 1u);
    log.eagainTimes = 1 << 30;
    EXPECT_FALSE(backend.send(note, 3));
    EXPECT_EQ(backend.close(), 0u);
}

}  // namespace
}  // namespace kf
