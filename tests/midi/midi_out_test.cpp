#include <gtest/gtest.h>

#include <thread>

#include "gs/device_commands.h"
#include "gs/sysex.h"
#include "midi/midi_out.h"
#include "midi/send_queue.h"
#include "model/parameters.h"
#include "recorded_out.h"
#include "sample_kit.h"
#include "switch_on.h"

namespace kf {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

using test::RecordedOut;

TEST(MidiOut, OpenAnotherIdClosesTheOldPortFirst) {
    RecordedOut f;
    EXPECT_TRUE(f.out.openPort(2));
    EXPECT_TRUE(f.out.openPort(2));
    EXPECT_EQ(f.rec->opened, (std::vector<int>{2})) << "same ID twice opens once";
    f.rec->failOpen = true;
    f.rec->failKind = MidiError::PortBusy;
    EXPECT_FALSE(f.out.openPort(5));
    EXPECT_EQ(f.out.lastOpenError().kind, MidiError::PortBusy);
    EXPECT_EQ(f.rec->closes, 1);
    EXPECT_FALSE(f.out.isOpen());
    f.out.sendShort(0x99, 36, 100);
    EXPECT_TRUE(f.sent().empty());
    f.rec->failOpen = false;
    EXPECT_TRUE(f.out.openPort(5));
    EXPECT_EQ(f.rec->opened, (std::vector<int>{2, 5}));
}

TEST(MidiOut, SendsOnAClosedPortAreDropped) {
    RecordedOut f;
    f.out.sendShort(0xC9, 0x40, 0);
    f.out.sendLong({0xF0, 0x41, 0xF7});
    f.out.closePort();
    EXPECT_EQ(f.rec->closes, 0);
    ASSERT_TRUE(f.out.openPort(-1));
    f.out.closePort();
    f.out.sendLong({0xF0, 0x41, 0xF7});
    EXPECT_TRUE(f.sent().empty());
    EXPECT_EQ(f.rec->closes, 1);
}

// An open posted to the sender while the caller goes on sending, as the window does at start.
struct OpenLaterCase {
    const char* name;
    bool fails;
};
class OpenLater : public ::testing::TestWithParam<OpenLaterCase> {};

TEST_P(OpenLater, WhatIsSentMeanwhileFollowsTheFirstMessagesOrIsCountedLost) {
    RecordedOut f;
    f.rec->failOpen = GetParam().fails;
    f.rec->openDelay = milliseconds(30);
    f.out.expectOpen();
    f.out.later([&] { f.out.openPort(1, {{0xC9, 0x3F}}); });
    f.out.sendShort(0x99, 36, 100);
    f.out.sendLong({0xF0, 0x41, 0x01, 0xF7});
    // Once the open has answered, the sends go straight to the queue again, or are dropped.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (f.rec->sendAttempts() == 0 && f.out.droppedCount() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    f.out.sendShort(0x89, 36, 0);
    if (GetParam().fails) {
        EXPECT_TRUE(f.sent().empty());
        EXPECT_EQ(f.out.droppedCount(), 2);
        return;
    }
    EXPECT_EQ(f.sent(), (std::vector<MidiBytes>{{0xC9, 0x3F}, {0x99, 36, 100}, {0xF0, 0x41, 0x01, 0xF7}, {0x89, 36, 0}}));
    EXPECT_EQ(f.out.droppedCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Ways, OpenLater, ::testing::Values(OpenLaterCase{"opens", false}, OpenLaterCase{"fails", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MidiOut, ShortMessagesCarryTheBytesTheirStatusNeeds) {
    RecordedOut f;
    ASSERT_TRUE(f.out.openPort(0));
    f.out.sendShort(0xC9, 0x40, 0x00);
    f.out.sendShort(0xD0, 0x10, 0x00);
    f.out.sendShort(0x99, 0x24, 0x7F);
    f.out.sendShort(0xB9, 0x78, 0x00);
    f.out.sendShort(0xEF, 0x00, 0x40);
    f.out.sendShort(0xF8, 0, 0);
    const std::vector<MidiBytes> expected{{0xC9, 0x40}, {0xD0, 0x10}, {0x99, 0x24, 0x7F},
                                          {0xB9, 0x78, 0x00}, {0xEF, 0x00, 0x40}, {0xF8}};
    EXPECT_EQ(f.sent(), expected);
}

TEST(MidiOut, DeviceNames) {
    RecordedOut f;
    EXPECT_EQ(f.out.deviceCount(), 6);
    EXPECT_EQ(f.out.deviceName(-1), "Kitforge");
    EXPECT_EQ(f.out.deviceName(0), "A");
    EXPECT_EQ(f.out.deviceName(6), "");
    EXPECT_EQ(f.out.deviceName(-2), "");
}

using test::switchOnMessages;

// Each message starts exactly when the one before it has left the wire.
struct ScheduleCase {
    bool unlimited;
    int pauseMs;
};

class Schedule : public ::testing::TestWithParam<ScheduleCase> {};

TEST_P(Schedule, EachMessageWaitsForTheWireTimeOfTheOneBefore) {
    const Kit kit = test::fullKit();
    const Pacing pacing{GetParam().unlimited, milliseconds(GetParam().pauseMs)};
    RecordedOut f;
    f.out.setPacing(pacing);
    ASSERT_TRUE(f.out.openPort(0));
    sendSwitchOnSequence(f.out, kit, true);
    f.out.sendShort(0x99, 36, 100);  // a channel message after the SysEx gets no pause
    f.out.sendShort(0x99, 36, 0);
    const auto& sent = f.sent();
    ASSERT_EQ(sent.size(), 3079u);
    microseconds total(0);
    for (size_t i = 1; i < sent.size(); ++i) {
        const microseconds expected = pacing.unlimited ? microseconds(0) : wireTime(sent[i - 1], pacing);
        ASSERT_EQ(std::chrono::duration_cast<microseconds>(f.rec->sentAt[i] - f.rec->sentAt[i - 1]), expected)
            << "message " << i;
        total += expected;
    }
    const microseconds span = std::chrono::duration_cast<microseconds>(f.rec->sentAt.back() - f.rec->sentAt.front());
    EXPECT_EQ(span, total);
    if (!pacing.unlimited && pacing.sysexPause.count() == 0) {
        // 33,851 bytes of switch-on transfer, then a 3-byte note-on.
        EXPECT_EQ(span, microseconds(320 * (33851 + 3)));
    }
    if (!pacing.unlimited && pacing.sysexPause.count() > 0) {
        EXPECT_EQ(span - microseconds(320 * (33851 + 3)), pacing.sysexPause * 3075);
    }
}

INSTANTIATE_TEST_SUITE_P(Pacing, Schedule,
                         ::testing::Values(ScheduleCase{false, 0}, ScheduleCase{false, 40}, ScheduleCase{true, 40}));

TEST(MidiOut, AMessageHandedOverLateStillHoldsTheLineForItsWireTime) {
    RecordedOut f;
    ASSERT_TRUE(f.out.openPort(0));
    // The transport takes 10 ms over the first message, long past the second's due time.
    f.rec->beforeSend = [&](std::size_t i) {
        if (i == 0) f.clock->advance(milliseconds(10));
    };
    for (int i = 0; i < 3; ++i) f.out.sendShort(0x99, 36, 100);
    f.out.flush();
    ASSERT_EQ(f.rec->sentAt.size(), 3u);
    EXPECT_GE(f.rec->sentAt[1] - f.rec->sentAt[0], microseconds(960));
    EXPECT_GE(f.rec->sentAt[2] - f.rec->sentAt[1], microseconds(960));
}

TEST(MidiOut, ProgressCountsWhatIsQueuedAndItsWireTime) {
    RecordedOut f;
    ASSERT_TRUE(f.out.openPort(0));
    f.rec->holdAt(1);
    for (int i = 0; i < 10; ++i) f.out.sendShort(0x99, 36, 100);
    ASSERT_TRUE(f.rec->waitHeld());
    const SendProgress p = f.out.progress();
    EXPECT_EQ(p.sent, 1u);
    EXPECT_EQ(p.queued, 9u);  // one in the transport's hands, eight waiting
    // Eight waiting messages of 3 bytes; the one in the transport's hands is already due.
    EXPECT_GE(p.left, microseconds(8 * 3 * 320));
    EXPECT_LE(p.left, microseconds(10 * 3 * 320));
    f.rec->releaseHeld();
    f.out.flush();
    EXPECT_TRUE(f.out.progress().idle());
}

// The module's wait after a reset is part of what is left, at every speed.
TEST(MidiOut, TheWaitAfterAResetCountsInTheTimeLeft) {
    for (const bool unlimited : {false, true}) {
        RecordedOut f(RecordedOut::Open);
        f.out.setPacing({unlimited, {}});
        f.rec->holdAt(0);
        f.out.sendShort(0x99, 36, 100);
        f.out.sendLong(gsResetMessage());
        f.out.sendLong(rhythmPart11Message());
        ASSERT_TRUE(f.rec->waitHeld());
        // The reset's own bytes at every speed: the module's wait starts after its last one.
        const microseconds wire = unlimited ? microseconds(11 * 320) : microseconds(22 * 320);
        EXPECT_GE(f.out.progress().left, milliseconds(50) + wire);
        EXPECT_LE(f.out.progress().left, milliseconds(50) + wire + microseconds(3 * 320));
        f.rec->releaseHeld();
        f.out.flush();
    }
}

TEST(MidiOut, AMessageThatLeftBeforeTheNextWasQueuedStillCountsInTheTransfer) {
    RecordedOut f;
    ASSERT_TRUE(f.out.openPort(0));
    f.out.sendShort(0x99, 36, 100);
    f.out.flush();  // gone, but the line is still busy with it
    f.rec->holdAt(1);
    for (int i = 0; i < 9; ++i) f.out.sendShort(0x99, 36, 100);
    ASSERT_TRUE(f.rec->waitHeld());
    EXPECT_EQ(f.out.progress().sent, 1u);
    f.rec->releaseHeld();
    f.out.flush();
    f.clock->advance(milliseconds(20));  // the line is free: the next message starts a new transfer
    f.out.sendShort(0x99, 36, 100);
    f.out.flush();
    EXPECT_EQ(f.out.progress().sent, 1u);
}

// A whole kit queued, then 127 level changes of note 127 of set 2 while the transfer runs.
struct NewestCase {
    const char* what;
    size_t holdAt;  // the transfer is held at this message while the changes arrive
    size_t delivered;
};

class NewestValueWins : public ::testing::TestWithParam<NewestCase> {};

TEST_P(NewestValueWins, WhileQueued) {
    Kit kit = test::fullKit();
    const auto plain = switchOnMessages(kit);
    const MidiBytes firstLevel = buildParameterMessage(kit, 2, 127, 2);
    const size_t levelAt = static_cast<size_t>(std::find(plain.begin(), plain.end(), firstLevel) - plain.begin());
    ASSERT_LT(levelAt, plain.size());

    RecordedOut f;
    ASSERT_TRUE(f.out.openPort(0));
    const size_t hold = GetParam().holdAt == 0 ? levelAt + 1 : GetParam().holdAt;
    f.rec->holdAt(hold);
    sendSwitchOnSequence(f.out, kit, true);
    ASSERT_TRUE(f.rec->waitHeld());
    for (int v = 0; v <= 126; ++v) {
        kit.entry(2, 127).level = static_cast<std::uint8_t>(v);
        f.out.sendLong(buildParameterMessage(kit, 2, 127, 2));
    }
    f.rec->releaseHeld();
    const auto& sent = f.sent();
    ASSERT_EQ(sent.size(), GetParam().delivered);
    const MidiBytes last = buildParameterMessage(kit, 2, 127, 2);
    if (sent.size() == plain.size()) {
        EXPECT_EQ(sent[levelAt], last) << "the newest level takes the old one's place";
        for (size_t i = 0; i < sent.size(); ++i) {
            if (i == levelAt) continue;
            EXPECT_EQ(sent[i], plain[i]) << i;
        }
    } else {
        EXPECT_EQ(sent.back(), last) << "the level had gone: one message, last";
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), sent.begin()));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, NewestValueWins,
                         ::testing::Values(NewestCase{"already sent", 0, 3077 + 1}, NewestCase{"still queued", 10, 3077}));

TEST(MidiOut, ADeviceCommandQueuedBetweenKeepsBothInOrder) {
    Kit kit;
    kit.reset();
    RecordedOut f;
    ASSERT_TRUE(f.out.openPort(0));
    f.rec->holdAt(0);
    f.out.sendShort(0xB9, 0x78, 0);
    ASSERT_TRUE(f.rec->waitHeld());
    kit.entry(1, 36).level = 10;
    const MidiBytes older = buildParameterMessage(kit, 1, 36, 2);
    f.out.sendLong(older);
    f.out.sendLong(gsResetMessage());
    kit.entry(1, 36).level = 20;
    const MidiBytes newer = buildParameterMessage(kit, 1, 36, 2);
    f.out.sendLong(newer);
    // Channel messages are never merged.
    f.out.sendShort(0x99, 36, 100);
    f.out.sendShort(0x99, 36, 100);
    kit.entry(1, 36).level = 30;
    const MidiBytes newest = buildParameterMessage(kit, 1, 36, 2);
    f.out.sendLong(newest);
    // Another address, another set, the name: each its own.
    f.out.sendLong(buildParameterMessage(kit, 2, 36, 2));
    f.out.sendLong(buildNameMessage(kit, 1));
    f.out.sendLong(buildNameMessage(kit, 1));
    f.rec->releaseHeld();
    EXPECT_EQ(f.sent(), (std::vector<MidiBytes>{{0xB9, 0x78, 0},
                                                older,
                                                gsResetMessage(),
                                                newest,
                                                {0x99, 36, 100},
                                                {0x99, 36, 100},
                                                buildParameterMessage(kit, 2, 36, 2),
                                                buildNameMessage(kit, 1)}));
}

TEST(MidiOut, CancelDropsWhatIsQueuedAndSilencesTheRhythmChannel) {
    const Kit kit = test::fullKit();
    const auto plain = switchOnMessages(kit);
    RecordedOut f;
    ASSERT_TRUE(f.out.openPort(0));
    f.rec->holdAt(100);
    sendSwitchOnSequence(f.out, kit, true);
    ASSERT_TRUE(f.rec->waitHeld());
    f.out.cancel();
    f.rec->releaseHeld();
    auto sent = f.sent();
    ASSERT_EQ(sent.size(), 102u);
    EXPECT_TRUE(std::equal(sent.begin(), sent.begin() + 101, plain.begin()));
    EXPECT_EQ(sent.back(), (MidiBytes{0xB9, 0x78, 0x00}));
    EXPECT_EQ(f.out.cancelledCount(), 3077 - 101);
    EXPECT_EQ(f.out.droppedCount(), 0) << "a cancel is no loss";
    f.out.sendShort(0xC9, 0x40, 0);
    EXPECT_EQ(f.sent().back(), (MidiBytes{0xC9, 0x40}));
}

TEST(MidiOut, ATransportThatRefusesDropsTheRestOfTheTransferAndIsReportedOncePerOpen) {
    RecordedOut f;
    std::vector<std::string> reports;
    f.out.setDropHandler([&](const std::string& port) { reports.push_back(port); });
    ASSERT_TRUE(f.out.openPort(2));
    f.rec->refuseSends = true;
    f.rec->holdAt(0);
    for (int i = 0; i < 50; ++i) f.out.sendLong({0xF0, 0x41, 0xF7});
    ASSERT_TRUE(f.rec->waitHeld());
    f.rec->releaseHeld();
    f.out.flush();
    EXPECT_EQ(f.out.droppedCount(), 50) << "one refused, the other 49 dropped at once";
    f.out.sendLong({0xF0, 0x41, 0xF7});
    f.out.flush();
    EXPECT_EQ(f.out.droppedCount(), 51);
    EXPECT_EQ(reports, (std::vector<std::string>{"C"}));
    // Closed and opened again, the port is reported again.
    f.out.closePort();
    ASSERT_TRUE(f.out.openPort(2));
    f.out.sendLong({0xF0, 0x41, 0xF7});
    f.out.flush();
    EXPECT_EQ(reports, (std::vector<std::string>{"C", "C"}));
}

TEST(MidiOut, ARefusedMessageEndsTheTransferWithoutAnotherAttempt) {
    RecordedOut f;
    ASSERT_TRUE(f.out.openPort(0));
    f.rec->refuseSends = true;
    f.clock->stop(true);
    for (int i = 0; i < 20; ++i) f.out.sendShort(0x99, 36, 100);
    f.clock->stop(false);
    f.out.flush();
    EXPECT_EQ(f.rec->sendAttempts(), 1u);
    EXPECT_EQ(f.out.droppedCount(), 20);
}

TEST(MidiOut, MessagesTheTransportNeverDeliveredCountAsLostOnClose) {
    RecordedOut f;
    std::vector<std::string> reports;
    f.out.setDropHandler([&](const std::string& port) { reports.push_back(port); });
    ASSERT_TRUE(f.out.openPort(-1));
    f.out.sendShort(0x99, 36, 100);
    f.rec->lostOnClose = 7;
    f.out.closePort();
    EXPECT_EQ(f.out.droppedCount(), 7);
    EXPECT_EQ(reports, (std::vector<std::string>{"Kitforge"}));
}

// Close lets the queue drain first, however the transport or the clock holds it up.
TEST(MidiOut, CloseDeliversEverythingQueued) {
    const struct {
        const char* what;
        int count;
        void (*holdUp)(RecordedOut&);
    } cases[] = {
        {"a slow transport", 20, [](RecordedOut& f) { f.rec->delay = milliseconds(2); }},
        // Far slower than the queue's wire time says, yet never stopped for long.
        {"a transport that stalls now and then", 200,
         [](RecordedOut& f) {
             f.rec->beforeSend = [](std::size_t i) {
                 if (i % 40 == 39) std::this_thread::sleep_for(milliseconds(300));
             };
         }},
        {"a held queue", 30, [](RecordedOut& f) { f.clock->stop(true); }},
    };
    for (const auto& c : cases) {
        RecordedOut f;
        ASSERT_TRUE(f.out.openPort(0));
        c.holdUp(f);
        for (int i = 0; i < c.count; ++i) f.out.sendShort(0x99, 36, static_cast<std::uint8_t>(i % 128));
        f.out.closePort();
        EXPECT_EQ(f.rec->sent.size(), static_cast<size_t>(c.count)) << c.what;
        EXPECT_EQ(f.out.droppedCount(), 0) << c.what;
    }
}

TEST(MidiOut, OnlyTheSenderThreadEverTouchesTheTransport) {
    RecordedOut f;
    std::thread lister([&] {
        for (int i = 0; i < 200; ++i) (void)f.out.deviceName(i % 7);
    });
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(f.out.openPort(round % 3));
        for (int i = 0; i < 10; ++i) f.out.sendShort(0x99, 36, 100);
        (void)f.out.deviceCount();
    }
    f.out.closePort();
    lister.join();
    const auto callers = f.rec->callers();
    ASSERT_FALSE(callers.empty());
    for (const auto& id : callers) {
        EXPECT_EQ(id, callers.front());
        EXPECT_NE(id, std::this_thread::get_id());
    }
}

TEST(MidiOut, ATransportWithATimelineIsHandedMessagesAheadWithTheirDueTime) {
    RecordedOut f;
    f.rec->leadTime = milliseconds(50);
    ASSERT_TRUE(f.out.openPort(0));
    for (int i = 0; i < 100; ++i) f.out.sendShort(0x99, 36, 100);
    f.out.flush();
    ASSERT_EQ(f.rec->sentFromNow.size(), 100u);
    // The first is due at once, each later one a note's wire time after the one before; none
    // is handed over more than one lead before it is due.
    for (size_t i = 0; i < 100; ++i)
        EXPECT_EQ(f.rec->sentFromNow[i], std::min(microseconds(960 * static_cast<long>(i)), microseconds(50000))) << i;
}

TEST(SendQueue, ANewerValueBehindADeviceCommandStaysReplaceableWhenTheOlderOneLeaves) {
    Kit kit;
    kit.reset();
    auto level = [&](int v) {
        kit.entry(1, 36).level = static_cast<std::uint8_t>(v);
        return buildParameterMessage(kit, 1, 36, kLevel);
    };
    SendQueue q;
    q.push(level(1));
    q.push(gsResetMessage());
    q.push(level(2));
    EXPECT_EQ(q.pop(), level(1));  // the older one is on its way
    EXPECT_TRUE(q.push(level(3))) << "replaces the one behind the reset";
    ASSERT_EQ(q.size(), 2u);
    q.pop();
    EXPECT_EQ(q.pop(), level(3));
}

TEST(SendQueue, UserDrumAddresses) {
    Kit kit;
    kit.reset();
    EXPECT_EQ(userDrumAddress(buildParameterMessage(kit, 1, 36, 2)), 0x100224);
    EXPECT_EQ(userDrumAddress(buildParameterMessage(kit, 2, 127, 12)), 0x101C7F);
    EXPECT_EQ(userDrumAddress(buildNameMessage(kit, 2)), 0x101000);
    EXPECT_EQ(userDrumAddress(gsResetMessage()), -1);
    EXPECT_EQ(userDrumAddress(rhythmPart11Message()), -1);
    MidiBytes otherModel = buildParameterMessage(kit, 1, 36, 2);
    otherModel[3] = 0x45;
    EXPECT_EQ(userDrumAddress(otherModel), -1);
    MidiBytes outside = buildParameterMessage(kit, 1, 36, 2);
    outside[6] = 0x0D;
    EXPECT_EQ(userDrumAddress(outside), -1);
    EXPECT_EQ(userDrumAddress({0x99, 36, 100}), -1);
}

}  // namespace
}  // namespace kf
