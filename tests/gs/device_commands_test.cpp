#include <gtest/gtest.h>

#include "case_name.h"

#include "dt1.h"
#include "gs/device_commands.h"
#include "midi/midi_out.h"
#include "recorded_out.h"

namespace kf {
namespace {

// Every command goes out on an open port.
struct Wire : test::RecordedOut {
    Wire() : RecordedOut(Open) {}
};

const char* kRhythm = "F0 41 10 42 12 40 1A 15 02 0F F7";

struct CommandCase {
    int command;
    std::vector<std::string> wire;
    // How long the module needs after each message but the last before it takes the next.
    std::vector<int> settleMs;
};

class DeviceCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(DeviceCommandTest, SendsExactly) {
    Wire w;
    sendDeviceCommand(w.out, true, GetParam().command);
    EXPECT_EQ(w.hex(), GetParam().wire);
    Wire off;
    sendDeviceCommand(off.out, false, GetParam().command);
    EXPECT_TRUE(off.sent().empty());
}

// A module reinitialising after a reset loses what comes meanwhile: the next message waits,
// counted from the reset's last byte on the line, at the cable's pace and unlimited alike. The
// reset starts when the transport took it, however long it took over it (WinMM's waits for
// the driver to finish).
TEST_P(DeviceCommandTest, WaitsWhileTheModuleReinitialises) {
    for (const bool unlimited : {false, true}) {
        for (const int takesMs : {0, 10}) {
            Wire w;
            w.out.setPacing({unlimited, {}});
            w.rec->beforeSend = [&](std::size_t) { w.clock->advance(std::chrono::milliseconds(takesMs)); };
            sendDeviceCommand(w.out, true, GetParam().command);
            const auto& wire = GetParam().wire;
            ASSERT_EQ(w.sent().size(), wire.size());
            for (size_t i = 1; i < wire.size(); ++i) {
                const long bytes = static_cast<long>(wire[i - 1].size() + 1) / 3;
                const int settleMs = GetParam().settleMs[i - 1];
                const std::chrono::microseconds expected =
                    std::chrono::milliseconds(settleMs + takesMs) +
                    std::chrono::microseconds(unlimited && settleMs == 0 ? 0 : bytes * 320);
                EXPECT_EQ(w.rec->sentAt[i] - w.rec->sentAt[i - 1], expected)
                    << "after message " << i - 1 << (unlimited ? ", unlimited" : ", at cable speed") << ", taken in "
                    << takesMs << " ms";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceCommandTest,
    ::testing::Values(CommandCase{0, {"B9 78 00"}, {}},
                      CommandCase{1, {"F0 41 10 42 12 40 00 7F 00 41 F7", kRhythm}, {50}},
                      CommandCase{2, {"F0 41 10 42 12 00 00 7F 00 01 F7", kRhythm}, {200}},
                      CommandCase{3, {"F0 41 10 42 12 00 00 7F 01 00 F7", kRhythm}, {200}},
                      CommandCase{4,
                                  {"F0 41 10 42 12 00 00 03 00 7D F7", "C0 00", "F0 41 10 42 12 00 00 7F 00 01 F7",
                                   kRhythm},
                                  {200, 0, 200}},
                      CommandCase{5, {}, {}}, CommandCase{-1, {}, {}}), test::RowName());

// Only what differs from a reset module's sends, channel 10's then 11's: the defaults add nothing.
struct SendsCase {
    const char* name;
    PartSends sends;
    std::vector<std::string> wire;
};

class PartSendsTest : public ::testing::TestWithParam<SendsCase> {};

TEST_P(PartSendsTest, FollowTheRhythmPartAndEveryReset) {
    const auto& wire = GetParam().wire;
    Wire on;
    sendSwitchOnSequence(on.out, Kit{}, false, {}, GetParam().sends);
    std::vector<std::string> expected{kRhythm};
    expected.insert(expected.end(), wire.begin(), wire.end());
    EXPECT_EQ(on.hex(), expected);
    for (int command : {1, 4}) {
        Wire w;
        sendDeviceCommand(w.out, true, command, GetParam().sends);
        const auto sent = w.hex();
        ASSERT_GE(sent.size(), wire.size() + 1);
        EXPECT_EQ(std::vector<std::string>(sent.end() - static_cast<long>(wire.size()) - 1, sent.end()), expected)
            << "command " << command;
    }
    Wire off;
    sendDeviceCommand(off.out, true, kAllSoundOff, GetParam().sends);
    EXPECT_EQ(off.hex(), (std::vector<std::string>{"B9 78 00"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PartSendsTest,
    ::testing::Values(SendsCase{"Defaults", {}, {}},
                      SendsCase{"ChorusAndDelay", {40, 64, 127}, {"B9 5D 40", "B9 5E 7F", "BA 5D 40", "BA 5E 7F"}},
                      SendsCase{"ReverbOff", {0, 0, 0}, {"B9 5B 00", "BA 5B 00"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PartSends, AChangeSendsOnlyWhatChangedEvenBackToADefault) {
    EXPECT_EQ(partSendChanges({40, 64, 10}, {40, 0, 10}), (std::vector<MidiBytes>{{0xB9, 93, 0}, {0xBA, 93, 0}}));
    EXPECT_TRUE(partSendChanges({1, 2, 3}, {1, 2, 3}).empty());
}

TEST(SwitchOn, EmptyKitSendsRhythmPartThenNameAndProgramPerSet) {
    Kit kit;
    Wire w;
    int pumps = 0;
    sendSwitchOnSequence(w.out, kit, true, [&] { ++pumps; });
    EXPECT_EQ(w.hex(), (std::vector<std::string>{kRhythm, test::dt1::setName(1, "UserDrum1"), "C9 40",
                                                 test::dt1::setName(2, "UserDrum2"), "C9 41"}));
    EXPECT_EQ(pumps, 2);
}

TEST(SwitchOn, AlreadyOnSendsOnlyTheRhythmPart) {
    Kit kit;
    kit.entry(1, 36).used = 1;
    Wire w;
    sendSwitchOnSequence(w.out, kit, false);
    EXPECT_EQ(w.hex(), (std::vector<std::string>{kRhythm}));
}

TEST(SwitchOn, UsedNotesInAscendingOrderBeforeEachName) {
    Kit kit;
    kit.entry(1, 40).used = 1;
    kit.entry(1, 40).level = 100;
    kit.entry(1, 3).used = 1;
    kit.entry(1, 3).playNote = 61;
    kit.entry(2, 127).used = 1;
    kit.entry(2, 127).pan = 5;
    kit.entry(2, 0).rxNoteOn = 1;  // not used: skipped whatever it holds
    Wire w;
    sendSwitchOnSequence(w.out, kit, true);
    namespace dt1 = test::dt1;
    std::vector<std::string> expected{kRhythm};
    for (const auto& m : dt1::note(1, 3, {61, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})) expected.push_back(m);
    for (const auto& m : dt1::note(1, 40, {0, 100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})) expected.push_back(m);
    expected.push_back(dt1::setName(1, "UserDrum1"));
    expected.push_back("C9 40");
    for (const auto& m : dt1::note(2, 127, {0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0})) expected.push_back(m);
    expected.push_back(dt1::setName(2, "UserDrum2"));
    expected.push_back("C9 41");
    EXPECT_EQ(w.hex(), expected);
}

}  // namespace
}  // namespace kf
