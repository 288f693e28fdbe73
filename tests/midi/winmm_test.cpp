// The WinMM transports' own logic against a WinMM of the test's own that behaves as a driver
// does: a long message's header comes back done (or never), a reset gives back whatever the
// driver still holds, calling back at once on the caller's thread, as Wine's drivers do, and
// a header the driver holds cannot be unprepared.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "midi/midi_in.h"
#include "midi/winmm_backend.h"
#include "midi/winmm_input.h"

namespace kf {
namespace {

using Calls = std::vector<std::string>;

class FakeWinMm : public WinMmApi {
public:
    std::vector<std::wstring> outNames{L"UM-ONE", L"Microsoft GS Wavetable Synth"};
    std::vector<std::wstring> inNames{L"UM-ONE", L"Ünit «2»"};
    std::wstring mapper;  // the MIDI mapper's name; none: there is no mapper
    Calls calls;
    MMRESULT openResult = MMSYSERR_NOERROR, shortResult = MMSYSERR_NOERROR, prepareResult = MMSYSERR_NOERROR,
             longResult = MMSYSERR_NOERROR, addResult = MMSYSERR_NOERROR;
    bool completes = true;  // whether the driver ever gives a long message's header back
    int resetsToGiveBack = 0;  // resets a header outlives, once it is not given back
    bool closeHangs = false;   // the output's close never returns

    UINT outCount() override { return static_cast<UINT>(outNames.size()); }
    MMRESULT outCaps(UINT id, MIDIOUTCAPSW* caps) override {
        if (id == MIDI_MAPPER && !mapper.empty()) return name({mapper}, 0, caps->szPname);
        return name(outNames, id, caps->szPname);
    }
    MMRESULT outOpen(HMIDIOUT* out, UINT id, DWORD_PTR callback, DWORD_PTR instance) override {
        calls.push_back("open " + (id == MIDI_MAPPER ? std::string("mapper") : std::to_string(id)));
        if (openResult != MMSYSERR_NOERROR) return openResult;
        *out = reinterpret_cast<HMIDIOUT>(0x10);
        outCallback_ = reinterpret_cast<decltype(outCallback_)>(callback);
        instance_ = instance;
        return MMSYSERR_NOERROR;
    }
    MMRESULT outShortMsg(HMIDIOUT, DWORD message) override {
        char text[16];
        std::snprintf(text, sizeof text, "short %06lx", static_cast<unsigned long>(message));
        calls.push_back(text);
        return shortResult;
    }
    MMRESULT outPrepareHeader(HMIDIOUT, MIDIHDR* h) override {
        calls.push_back("prepare " + std::to_string(h->dwBufferLength));
        if (prepareResult != MMSYSERR_NOERROR) return prepareResult;
        h->dwFlags |= MHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }
    MMRESULT outUnprepareHeader(HMIDIOUT, MIDIHDR* h) override { return unprepare(h); }
    MMRESULT outLongMsg(HMIDIOUT out, MIDIHDR* h) override {
        calls.push_back("long " + std::to_string(h->dwBufferLength));
        if (longResult != MMSYSERR_NOERROR) return longResult;
        if (!(h->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
        held_.push_back(h);
        if (completes) giveBack(out, h);
        return MMSYSERR_NOERROR;
    }
    MMRESULT outReset(HMIDIOUT out) override {
        calls.push_back("reset");
        if (resetsToGiveBack > 0 && resetsToGiveBack--) return MMSYSERR_NOERROR;
        while (!held_.empty()) giveBack(out, held_.front());
        return MMSYSERR_NOERROR;
    }
    MMRESULT outClose(HMIDIOUT) override {
        if (closeHangs)
            for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
        return calls.push_back("close"), MMSYSERR_NOERROR;
    }

    UINT inCount() override { return static_cast<UINT>(inNames.size()); }
    MMRESULT inCaps(UINT id, MIDIINCAPSW* caps) override { return name(inNames, id, caps->szPname); }
    MMRESULT inOpen(HMIDIIN* in, UINT id, DWORD_PTR callback, DWORD_PTR instance) override {
        calls.push_back("open " + std::to_string(id));
        if (openResult != MMSYSERR_NOERROR) return openResult;
        *in = reinterpret_cast<HMIDIIN>(0x20);
        inCallback_ = reinterpret_cast<decltype(inCallback_)>(callback);
        instance_ = instance;
        return MMSYSERR_NOERROR;
    }
    MMRESULT inPrepareHeader(HMIDIIN, MIDIHDR* h) override {
        calls.push_back("prepare");
        h->dwFlags |= MHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }
    MMRESULT inUnprepareHeader(HMIDIIN, MIDIHDR* h) override { return unprepare(h); }
    MMRESULT inAddBuffer(HMIDIIN, MIDIHDR* h) override {
        calls.push_back("add");
        if (addResult != MMSYSERR_NOERROR) return addResult;
        h->dwFlags &= ~static_cast<DWORD>(MHDR_DONE);
        held_.push_back(h);
        return MMSYSERR_NOERROR;
    }
    MMRESULT inStart(HMIDIIN) override { return calls.push_back("start"), MMSYSERR_NOERROR; }
    MMRESULT inStop(HMIDIIN) override { return calls.push_back("stop"), MMSYSERR_NOERROR; }
    MMRESULT inReset(HMIDIIN) override {
        calls.push_back("reset");
        // What it holds now comes back; a buffer lent during the reset stays lent.
        for (std::size_t n = held_.size(); n > 0; --n) returnBuffer(MIM_LONGDATA, {});
        return MMSYSERR_NOERROR;
    }
    MMRESULT inClose(HMIDIIN) override { return calls.push_back("close"), MMSYSERR_NOERROR; }
    std::string errorText(MMRESULT result) override { return "result " + std::to_string(result); }

    // What the device sends in: a short message, or SysEx bytes into the first buffer lent.
    void shortIn(DWORD packed) { shortIn(instance_, packed); }
    // As Wine's driver may: a message handed over with what an earlier open gave it.
    void shortIn(DWORD_PTR instance, DWORD packed) {
        inCallback_(reinterpret_cast<HMIDIIN>(0x20), MIM_DATA, instance, packed, 0);
    }
    DWORD_PTR instance() const { return instance_; }
    void sysExIn(const MidiBytes& bytes) { returnBuffer(MIM_LONGDATA, bytes); }
    void brokenSysExIn() { returnBuffer(MIM_LONGERROR, {}); }

private:
    static MMRESULT name(const std::vector<std::wstring>& names, UINT id, WCHAR* field) {
        if (id >= names.size()) return MMSYSERR_BADDEVICEID;
        std::wcsncpy(field, names[id].c_str(), MAXPNAMELEN);
        return MMSYSERR_NOERROR;
    }
    MMRESULT unprepare(MIDIHDR* h) {
        if (std::find(held_.begin(), held_.end(), h) != held_.end()) {
            calls.push_back("unprepare refused: still held");
            return MIDIERR_STILLPLAYING;
        }
        calls.push_back("unprepare");
        h->dwFlags &= ~static_cast<DWORD>(MHDR_PREPARED);
        return MMSYSERR_NOERROR;
    }
    void giveBack(HMIDIOUT out, MIDIHDR* h) {
        held_.erase(std::find(held_.begin(), held_.end(), h));
        h->dwFlags |= MHDR_DONE;
        outCallback_(out, MOM_DONE, instance_, reinterpret_cast<DWORD_PTR>(h), 0);
    }
    void returnBuffer(UINT message, const MidiBytes& bytes) {
        ASSERT_FALSE(held_.empty()) << "no buffer lent";
        MIDIHDR* h = held_.front();
        held_.pop_front();
        ASSERT_LE(bytes.size(), h->dwBufferLength);
        std::copy(bytes.begin(), bytes.end(), h->lpData);
        h->dwBytesRecorded = static_cast<DWORD>(bytes.size());
        h->dwFlags |= MHDR_DONE;
        inCallback_(reinterpret_cast<HMIDIIN>(0x20), message, instance_, reinterpret_cast<DWORD_PTR>(h), 0);
    }

    void(CALLBACK* outCallback_)(HMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) = nullptr;
    void(CALLBACK* inCallback_)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) = nullptr;
    DWORD_PTR instance_ = 0;
    std::deque<MIDIHDR*> held_;  // headers and buffers the driver has and has not given back
};

Calls joined(std::initializer_list<Calls> parts) {
    Calls all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(WinMmClient, ListsEachDirectionsDevicesByTheirNamesInUtf8) {
    auto fake = std::make_shared<FakeWinMm>();
    EXPECT_EQ(WinMmBackend(fake).ports(), (std::vector<std::string>{"UM-ONE", "Microsoft GS Wavetable Synth"}));
    EXPECT_EQ(WinMmInput(fake).ports(), (std::vector<std::string>{"UM-ONE", "\xC3\x9Cnit \xC2\xAB" "2\xC2\xBB"}));
    // Device -1: the output's mapper, by its own name where it gives one; no input.
    EXPECT_EQ(WinMmBackend(fake).ownPortName(), "MIDI Mapper");
    fake->mapper = L"Microsoft MIDI Mapper";
    EXPECT_EQ(WinMmBackend(fake).ownPortName(), "Microsoft MIDI Mapper");
    EXPECT_EQ(WinMmInput(fake).ownPortName(), "");
}

// Output: an open, the sends, a close; every WinMM call they make, in order.
struct OutCase {
    const char* what;
    std::function<void(FakeWinMm&)> setUp;
    int id;
    std::vector<MidiBytes> sends;
    Calls calls;
    MidiError::Kind openKind;  // why the open failed; None: it opened
    MidiError::Kind sendKind;  // why the last send failed; None: all went
};

const MidiBytes kSysEx{0xF0, 0x41, 0x10, 0x42, 0x12, 0xF7};
// No reset when nothing is held: it would send the device what the driver sees fit.
const Calls kClose{"close"};

class WinMmOut : public ::testing::TestWithParam<OutCase> {};

TEST_P(WinMmOut, MakesTheCallsADriverNeeds) {
    const OutCase& c = GetParam();
    auto fake = std::make_shared<FakeWinMm>();
    if (c.setUp) c.setUp(*fake);
    // A driver that never gives a header back is given up on soon: the bound is the test's.
    WinMmBackend out(fake, std::chrono::milliseconds(20));
    MidiError openError;
    const bool opened = out.open(c.id, &openError);
    EXPECT_EQ(openError.kind, c.openKind);
    EXPECT_EQ(opened, c.openKind == MidiError::None);
    bool allWent = true;
    for (const auto& m : c.sends) allWent = out.send(m.data(), m.size());
    EXPECT_EQ(allWent, c.sendKind == MidiError::None);
    EXPECT_EQ(out.sendError().kind, c.sendKind);
    EXPECT_EQ(out.close(), 0u);
    EXPECT_EQ(fake->calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WinMmOut,
    ::testing::Values(
        OutCase{"ShortMessagesGoPacked", nullptr, 1, {{0x99, 0x24, 0x7F}, {0xC9, 0x10}},
                joined({{"open 1", "short 7f2499", "short 0010c9"}, kClose}), MidiError::None, MidiError::None},
        OutCase{"MinusOneIsTheMapper", nullptr, -1, {{0xFE}}, joined({{"open mapper", "short 0000fe"}, kClose}),
                MidiError::None, MidiError::None},
        // The header is unprepared only once the driver gave it back, each time.
        OutCase{"SysExOnAPreparedHeader", nullptr, 0, {kSysEx, kSysEx},
                joined({{"open 0", "prepare 6", "long 6", "unprepare", "prepare 6", "long 6", "unprepare"}, kClose}),
                MidiError::None, MidiError::None},
        // Given up on after the bound: the reset takes the header back before it is unprepared.
        OutCase{"SysExNeverGivenBackStalls", [](FakeWinMm& f) { f.completes = false; }, 0, {kSysEx},
                joined({{"open 0", "prepare 6", "long 6", "reset", "unprepare"}, kClose}), MidiError::None,
                MidiError::Stalled},
        // Kept even through that reset: the close asks for it again.
        OutCase{"SysExKeptThroughTheResetIsAskedForAtClose",
                [](FakeWinMm& f) { f.completes = false, f.resetsToGiveBack = 1; }, 0, {kSysEx},
                {"open 0", "prepare 6", "long 6", "reset", "unprepare refused: still held", "reset", "unprepare",
                 "close"},
                MidiError::None, MidiError::Stalled},
        OutCase{"LongMessageRefused", [](FakeWinMm& f) { f.longResult = MIDIERR_NOTREADY; }, 0, {kSysEx},
                joined({{"open 0", "prepare 6", "long 6", "unprepare"}, kClose}), MidiError::None, MidiError::Stalled},
        OutCase{"HeaderNotPrepared", [](FakeWinMm& f) { f.prepareResult = MMSYSERR_NOMEM; }, 0, {kSysEx},
                joined({{"open 0", "prepare 6"}, kClose}), MidiError::None, MidiError::Other},
        OutCase{"DeviceUnpluggedWhileOpen", [](FakeWinMm& f) { f.shortResult = MMSYSERR_NODRIVER; }, 0,
                {{0xB9, 0x07, 0x64}}, joined({{"open 0", "short 6407b9"}, kClose}), MidiError::None,
                MidiError::NoSuchPort},
        OutCase{"TakenByAnotherProgram", [](FakeWinMm& f) { f.openResult = MMSYSERR_ALLOCATED; }, 1, {},
                {"open 1"}, MidiError::PortBusy, MidiError::None},
        OutCase{"GoneSinceListed", [](FakeWinMm& f) { f.openResult = MMSYSERR_BADDEVICEID; }, 1, {}, {"open 1"},
                MidiError::NoSuchPort, MidiError::None},
        OutCase{"PastTheList", nullptr, 2, {}, {}, MidiError::NoSuchPort, MidiError::None}),
    [](const auto& info) { return std::string(info.param.what); });

// A driver whose close never returns keeps the handle; the program goes on, told why.
TEST(WinMmOutClose, ADriverThatNeverClosesIsLeftTheHandle) {
    auto fake = std::make_shared<FakeWinMm>();
    fake->closeHangs = true;
    WinMmBackend out(fake);
    ASSERT_TRUE(out.open(1, nullptr));
    EXPECT_EQ(out.close(), 0u);
    EXPECT_EQ(out.serverError().kind, MidiError::ServerGone);
    fake->closeHangs = false;
    ASSERT_TRUE(out.open(0, nullptr));
    EXPECT_EQ(out.serverError().kind, MidiError::None) << "a driver that opens again answers";
}

// Input: an open, what the device sends in, a close; the calls, the bytes handed on and the
// failures told.
struct InCase {
    const char* what;
    std::function<void(FakeWinMm&)> setUp;
    int id;
    std::function<void(FakeWinMm&)> device;
    std::vector<MidiBytes> messages;  // as MidiIn's assembler joins the bytes handed on
    Calls calls;
    MidiError::Kind openKind;
    std::vector<MidiError::Kind> failures;
};

const Calls kOpened{"open 1", "prepare", "add", "prepare", "add", "prepare", "add", "prepare", "add", "start"};
// Stopped and reset first; the buffers the reset gives back stay with us to be unprepared.
const Calls kClosed{"stop", "reset", "unprepare", "unprepare", "unprepare", "unprepare", "close"};

class WinMmIn : public ::testing::TestWithParam<InCase> {};

TEST_P(WinMmIn, HandsOnWhatComesInAndLendsItsBuffersAgain) {
    const InCase& c = GetParam();
    auto fake = std::make_shared<FakeWinMm>();
    if (c.setUp) c.setUp(*fake);
    WinMmInput in(fake);
    std::vector<MidiError::Kind> failures;
    in.onFailure([&](const MidiError& why) { failures.push_back(why.kind); });
    MessageAssembler assembler;
    std::vector<MidiBytes> messages;
    MidiError openError;
    const bool opened = in.open(
        c.id,
        [&](const std::uint8_t* data, std::size_t size) {
            assembler.feed(data, size, [&](const MidiBytes& m) { messages.push_back(m); });
        },
        &openError);
    EXPECT_EQ(openError.kind, c.openKind);
    EXPECT_EQ(opened, c.openKind == MidiError::None);
    if (opened && c.device) c.device(*fake);
    in.close();
    EXPECT_EQ(messages, c.messages);
    EXPECT_EQ(fake->calls, c.calls);
    EXPECT_EQ(failures, c.failures);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WinMmIn,
    ::testing::Values(
        InCase{"ShortMessagesUnpacked", nullptr, 1,
               [](FakeWinMm& f) {
                   f.shortIn(0x7F2499);
                   f.shortIn(0xFE);
                   f.shortIn(0x10C9);
               },
               {{0x99, 0x24, 0x7F}, {0xC9, 0x10}}, joined({kOpened, kClosed}), MidiError::None, {}},
        InCase{"SysExAcrossTwoBuffersJoined", nullptr, 1,
               [](FakeWinMm& f) {
                   f.sysExIn({0xF0, 0x41, 0x10, 0x42});
                   f.sysExIn({0x12, 0x00, 0xF7});
                   f.shortIn(0x10C9);
               },
               {{0xF0, 0x41, 0x10, 0x42, 0x12, 0x00, 0xF7}, {0xC9, 0x10}}, joined({kOpened, {"add", "add"}, kClosed}),
               MidiError::None, {}},
        // More SysEx than there are buffers: each comes back and is lent again in turn.
        InCase{"EveryBufferLentAgain", nullptr, 1,
               [](FakeWinMm& f) {
                   for (int i = 0; i < 6; ++i) f.sysExIn({0xF0, 0x7E, static_cast<std::uint8_t>(i), 0xF7});
               },
               {{0xF0, 0x7E, 0, 0xF7}, {0xF0, 0x7E, 1, 0xF7}, {0xF0, 0x7E, 2, 0xF7}, {0xF0, 0x7E, 3, 0xF7},
                {0xF0, 0x7E, 4, 0xF7}, {0xF0, 0x7E, 5, 0xF7}},
               joined({kOpened, {"add", "add", "add", "add", "add", "add"}, kClosed}), MidiError::None, {}},
        InCase{"BrokenSysExToldAndItsBufferLentAgain", nullptr, 1, [](FakeWinMm& f) { f.brokenSysExIn(); }, {},
               joined({kOpened, {"add"}, kClosed}), MidiError::None, {MidiError::Overrun}},
        InCase{"BufferNotLentAgainToldAsLoss", nullptr, 1,
               [](FakeWinMm& f) {
                   f.addResult = MMSYSERR_NOMEM;
                   f.sysExIn({0xF0, 0x7E, 0x00, 0xF7});
               },
               {{0xF0, 0x7E, 0x00, 0xF7}}, joined({kOpened, {"add"}, kClosed}),
               MidiError::None, {MidiError::Overrun}},
        InCase{"TakenByAnotherProgram", [](FakeWinMm& f) { f.openResult = MMSYSERR_ALLOCATED; }, 1, nullptr, {},
               {"open 1"}, MidiError::PortBusy, {}},
        // WinMM has no port of ours that others could connect to.
        InCase{"NoOwnPort", nullptr, -1, nullptr, {}, {}, MidiError::NoSuchPort, {}},
        InCase{"PastTheList", nullptr, 2, nullptr, {}, {}, MidiError::NoSuchPort, {}}),
    [](const auto& info) { return std::string(info.param.what); });

// The driver's thread may be handing a message on as the close begins: the close waits for it,
// or the handler it calls would go from under it.
TEST(WinMmInClose, WaitsForAMessageBeingHandedOn) {
    auto fake = std::make_shared<FakeWinMm>();
    WinMmInput in(fake);
    std::atomic<bool> entered{false}, release{false}, closed{false};
    std::atomic<int> order{0}, handlerEnd{0}, closeEnd{0};
    ASSERT_TRUE(in.open(
        1,
        [&](const std::uint8_t*, std::size_t) {
            entered = true;
            while (!release) std::this_thread::yield();
            handlerEnd = ++order;
        },
        nullptr));
    std::thread driver([&] { fake->shortIn(0x7F2499); });
    while (!entered) std::this_thread::yield();
    std::thread closer([&] {
        in.close();
        closeEnd = ++order;
        closed = true;
    });
    // A close that does not wait ends while the handler is still held; one that waits cannot
    // end before the handler is let go, whatever this bound.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (!closed && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    release = true;
    driver.join();
    closer.join();
    EXPECT_LT(handlerEnd, closeEnd);
}

// Wine's driver hands messages over from a thread of its own, and one may come after the close
// returned: it reaches neither the input open anew nor one that is gone.
TEST(WinMmInClose, AMessageHandedOverAfterTheCloseReachesNoOne) {
    auto fake = std::make_shared<FakeWinMm>();
    std::vector<MidiBytes> got;
    const auto keep = [&](const std::uint8_t* b, std::size_t n) { got.emplace_back(b, b + n); };
    DWORD_PTR first = 0;
    {
        WinMmInput in(fake);
        ASSERT_TRUE(in.open(1, keep, nullptr));
        first = fake->instance();
        in.close();
        ASSERT_TRUE(in.open(1, keep, nullptr));
        fake->shortIn(first, 0x7F2499);
        EXPECT_TRUE(got.empty()) << "a message of the first open taken as the second's";
        fake->shortIn(0x7F2499);
        EXPECT_EQ(got, (std::vector<MidiBytes>{{0x99, 0x24, 0x7F}}));
        first = fake->instance();
    }
    fake->shortIn(first, 0x7F2499);
    EXPECT_EQ(got.size(), 1u);
}

}  // namespace
}  // namespace kf
