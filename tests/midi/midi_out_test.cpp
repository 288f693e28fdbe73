#include <gtest/gtest.h>

#include "midi/midi_out.h"

namespace kf {
namespace {

struct Fixture {
    RecordingBackend* rec;
    MidiOut out;
    Fixture() : Fixture(std::make_unique<RecordingBackend>()) {}
    explicit Fixture(std::unique_ptr<RecordingBackend> r) : rec(r.get()), out(std::move(r)) {
        rec->portNames = {"A", "B", "C", "D", "E", "F"};
    }
};

TEST(MidiOut, OpenAnotherIdClosesTheOldPortFirst) {
    Fixture f;
    EXPECT_TRUE(f.out.openPort(2));
    EXPECT_TRUE(f.out.openPort(2));
    EXPECT_EQ(f.rec->opened, (std::vector<int>{2})) << "same ID twice opens once";
    f.rec->failOpen = true;
    EXPECT_FALSE(f.out.openPort(5));
    EXPECT_EQ(f.rec->closes, 1);
    EXPECT_FALSE(f.out.isOpen());
    f.out.sendShort(0x99, 36, 100);
    EXPECT_TRUE(f.rec->sent.empty());
    f.rec->failOpen = false;
    EXPECT_TRUE(f.out.openPort(5));
    EXPECT_EQ(f.rec->opened, (std::vector<int>{2, 5}));
}

TEST(MidiOut, SendsOnAClosedPortAreDropped) {
    Fixture f;
    f.out.sendShort(0xC9, 0x40, 0);
    f.out.sendLong({0xF0, 0x41, 0xF7});
    f.out.closePort();
    EXPECT_EQ(f.rec->closes, 0);
    ASSERT_TRUE(f.out.openPort(-1));
    f.out.closePort();
    f.out.sendLong({0xF0, 0x41, 0xF7});
    EXPECT_TRUE(f.rec->sent.empty());
    EXPECT_EQ(f.rec->closes, 1);
}

TEST(MidiOut, ShortMessagesCarryTheBytesTheirStatusNeeds) {
    Fixture f;
    ASSERT_TRUE(f.out.openPort(0));
    f.out.sendShort(0xC9, 0x40, 0x00);
    f.out.sendShort(0xD0, 0x10, 0x00);
    f.out.sendShort(0x99, 0x24, 0x7F);
    f.out.sendShort(0xB9, 0x78, 0x00);
    f.out.sendShort(0xEF, 0x00, 0x40);
    f.out.sendShort(0xF8, 0, 0);
    const std::vector<MidiBytes> expected{{0xC9, 0x40}, {0xD0, 0x10}, {0x99, 0x24, 0x7F},
                                          {0xB9, 0x78, 0x00}, {0xEF, 0x00, 0x40}, {0xF8}};
    EXPECT_EQ(f.rec->sent, expected);
}

TEST(MidiOut, DeviceNames) {
    Fixture f;
    EXPECT_EQ(f.out.deviceCount(), 6);
    EXPECT_EQ(f.out.deviceName(-1), "Kitforge");
    EXPECT_EQ(f.out.deviceName(0), "A");
    EXPECT_EQ(f.out.deviceName(6), "");
    EXPECT_EQ(f.out.deviceName(-2), "");
}

class RefusingBackend : public RecordingBackend {
public:
    bool send(const std::uint8_t*, std::size_t) override { return false; }
};

TEST(MidiOut, ATransportThatNeverTakesAMessageIsReportedOncePerOpen) {
    MidiOut out(std::make_unique<RefusingBackend>());
    std::vector<std::string> reports;
    out.setDropHandler([&](const std::string& port) { reports.push_back(port); });
    ASSERT_TRUE(out.openPort(0));
    out.sendLong({0xF0, 0xF7});
    out.sendLong({0xF0, 0xF7});
    EXPECT_EQ(reports, (std::vector<std::string>{"Recorder"}));
    EXPECT_EQ(out.droppedCount(), 2);
}

}  // namespace
}  // namespace kf
