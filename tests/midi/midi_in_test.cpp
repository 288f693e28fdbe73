#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "midi/midi_in.h"
#include "wait.h"

namespace kf {
namespace {

std::vector<MidiBytes> assemble(const std::vector<MidiBytes>& pieces) {
    MessageAssembler a;
    std::vector<MidiBytes> out;
    for (const MidiBytes& p : pieces) a.feed(p.data(), p.size(), [&](const MidiBytes& m) { out.push_back(m); });
    return out;
}

struct Stream {
    const char* what;
    std::vector<MidiBytes> pieces;
    std::vector<MidiBytes> messages;
};

class Assembler : public ::testing::TestWithParam<Stream> {};

TEST_P(Assembler, GivesCompleteMessages) { EXPECT_EQ(assemble(GetParam().pieces), GetParam().messages) << GetParam().what; }

INSTANTIATE_TEST_SUITE_P(
    Streams, Assembler,
    ::testing::Values(
        Stream{"running status", {{0x99, 36, 100, 38, 90}}, {{0x99, 36, 100}, {0x99, 38, 90}}},
        Stream{"one data byte after program change", {{0xC9, 40, 41}}, {{0xC9, 40}, {0xC9, 41}}},
        Stream{"SysEx in pieces, realtime inside",
               {{0xF0, 0x41, 0x10}, {0xF8, 0x42, 0x12}, {0xFE}, {0x21, 0xF7}},
               {{0xF0, 0x41, 0x10, 0x42, 0x12, 0x21, 0xF7}}},
        Stream{"a status cuts an unfinished SysEx", {{0xF0, 0x41, 0x90, 60, 1}}, {{0x90, 60, 1}}},
        Stream{"stray data and end bytes", {{0x12, 0xF7, 0x34, 0x80, 60}, {0}}, {{0x80, 60, 0}}},
        Stream{"system common ends running status", {{0x90, 60, 1, 0xF3, 5, 61, 1}}, {{0x90, 60, 1}, {0xF3, 5}}},
        Stream{"a note split across pieces", {{0x99}, {36}, {100}}, {{0x99, 36, 100}}}),
    [](const auto& info) { return "s" + std::to_string(info.index); });

TEST(Assembler, DropsASysExLongerThanItsBound) {
    MidiBytes big(MessageAssembler::kMaxSysEx + 10, 0x01);
    big.front() = 0xF0;
    big.back() = 0xF7;
    EXPECT_EQ(assemble({big, {0x99, 1, 2}}), (std::vector<MidiBytes>{{0x99, 1, 2}}));
}

// A transport that delivers from a thread of its own, as the real ones do.
struct ThreadInput : MidiInBackend {
    std::vector<MidiBytes> toSend;
    std::vector<std::string> ports() override { return {"Keys"}; }
    bool open(int, const Bytes& bytes, MidiError*) override {
        worker = std::thread([this, bytes] {
            for (const MidiBytes& m : toSend) bytes(m.data(), m.size());
        });
        return true;
    }
    void close() override {
        if (worker.joinable()) worker.join();
    }
    std::thread worker;
};

TEST(MidiIn, HandsMessagesOnInOrderAndCountsWhatItCouldNotHold) {
    auto backend = std::make_unique<ThreadInput>();
    for (int i = 0; i < 100; ++i) backend->toSend.push_back({0x90, static_cast<std::uint8_t>(i), 1});
    MidiIn in(std::move(backend), 10);
    std::mutex m;
    std::condition_variable cv;
    std::vector<int> got;
    bool release = false;
    in.setHandler([&](const MidiBytes& msg) {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return release; });  // a handler that falls behind
        got.push_back(msg[1]);
    });
    ASSERT_TRUE(in.openPort(0));
    in.closePort();  // the transport has handed everything over
    {
        std::lock_guard<std::mutex> lock(m);
        release = true;
    }
    cv.notify_all();
    const auto handled = [&] {
        std::lock_guard<std::mutex> lock(m);
        return static_cast<long>(got.size());
    };
    test::waitUntil([&] { return handled() + in.overflowCount() >= 100; }, test::kHang);
    in.setHandler({});
    EXPECT_EQ(handled() + in.overflowCount(), 100);
    EXPECT_GT(in.overflowCount(), 0);
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end()));
    EXPECT_EQ(got.front(), 0);
}

// A transport that notes which thread calls it, and whose open holds until released.
struct WatchedInput : MidiInBackend {
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::vector<std::thread::id> callers;
    void called() {
        std::lock_guard<std::mutex> lock(m);
        callers.push_back(std::this_thread::get_id());
    }
    std::vector<std::string> ports() override { return called(), std::vector<std::string>{"Keys", "Pads"}; }
    bool open(int, const Bytes&, MidiError*) override {
        called();
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return release; });
        return true;
    }
    void close() override { called(); }
};

TEST(MidiIn, OnlyTheOwnerThreadTouchesTheTransportAndLaterNeverWaitsForIt) {
    auto backend = std::make_unique<WatchedInput>();
    WatchedInput& transport = *backend;
    MidiIn in(std::move(backend));
    in.later([&] { in.openPort(in.deviceCount() - 1); });  // returns with the open still held
    EXPECT_FALSE(in.isOpen());
    {
        std::lock_guard<std::mutex> lock(transport.m);
        transport.release = true;
    }
    transport.cv.notify_all();
    ASSERT_TRUE(test::waitUntil([&] { return in.isOpen(); }, test::kHang));
    EXPECT_EQ(in.port(), 1);
    std::thread other([&] { EXPECT_EQ(in.deviceName(0), "Keys"); });
    other.join();
    EXPECT_TRUE(in.openPort(0));
    in.closePort();
    std::lock_guard<std::mutex> lock(transport.m);
    ASSERT_EQ(transport.callers.size(), 6u);  // listed, opened, listed, closed, opened, closed
    for (const auto& id : transport.callers) {
        EXPECT_EQ(id, transport.callers.front());
        EXPECT_NE(id, std::this_thread::get_id());
    }
}

}  // namespace
}  // namespace kf
