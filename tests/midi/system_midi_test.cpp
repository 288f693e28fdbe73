// Every system API as one list, the same for both directions: which API serves an ID, under
// which ID there, and which of JACK's ports show beside the platform's.
#include <gtest/gtest.h>

#include "midi/system_midi.h"

namespace kf {
namespace {

struct Api {
    bool there = true;  // its MIDI system is there
    std::vector<std::string> names;
    int opened = -99;
};

struct FakeOut : MidiBackend {
    explicit FakeOut(Api& a) : api(a) {}
    Api& api;
    std::vector<std::string> ports() override { return api.there ? api.names : std::vector<std::string>{}; }
    bool available() override { return api.there; }
    bool open(int id, MidiError*) override { return api.opened = id, true; }
    std::size_t close() override { return 0; }
    bool send(const std::uint8_t*, std::size_t) override { return true; }
};

struct FakeIn : MidiInBackend {
    explicit FakeIn(Api& a) : api(a) {}
    Api& api;
    std::vector<std::string> ports() override { return api.there ? api.names : std::vector<std::string>{}; }
    bool available() override { return api.there; }
    bool open(int id, const Bytes&, MidiError*) override { return api.opened = id, true; }
    void close() override {}
};

struct Case {
    const char* what;
    bool platformThere;
    std::vector<std::string> jackPorts;
    std::vector<std::string> listed;
    int id;
    const char* servedBy;  // "platform", "jack" or nullptr
    int local;             // the ID there
    MidiError::Kind kind;  // when nobody serves it
    bool jackBuilt = true;
};

const std::vector<std::string> kPlatform{"UM-ONE:UM-ONE MIDI 1"};
const std::vector<std::string> kJack{"a2j:UM-ONE [20] (capture): UM-ONE MIDI 1", "fluidsynth:midi_00", "kfrecv:in"};
const std::vector<std::string> kAllShown{"UM-ONE:UM-ONE MIDI 1", "fluidsynth:midi_00", "kfrecv:in"};

class SystemApisCase : public ::testing::TestWithParam<Case> {};

template <class Direction, class Fake>
void check(const Case& c) {
    Api platform{c.platformThere, kPlatform};
    Api jack{true, c.jackPorts};
    auto platformApi = std::make_unique<Fake>(platform);
    auto jackApi = c.jackBuilt ? std::make_unique<Fake>(jack) : nullptr;
    const Direction* platformAt = platformApi.get();
    const Direction* jackAt = jackApi.get();
    SystemApis<Direction> apis(std::move(platformApi), std::move(jackApi));
    EXPECT_EQ(apis.ports(), c.listed);
    int local = -99;
    MidiError error;
    const Direction* served = apis.find(c.id, &local, &error);
    const std::string by = c.servedBy ? c.servedBy : "";
    EXPECT_EQ(served, by == "platform" ? platformAt : by == "jack" ? jackAt : nullptr);
    if (served) EXPECT_EQ(local, c.local);
    else EXPECT_EQ(error.kind, c.kind);
}

TEST_P(SystemApisCase, BothDirectionsListAndResolveAlike) {
    check<MidiBackend, FakeOut>(GetParam());
    check<MidiInBackend, FakeIn>(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SystemApisCase,
    ::testing::Values(
        // The bridge's copy of a platform port is left out while the platform lists it itself.
        Case{"OwnPortOnThePlatform", true, kJack, kAllShown, -1, "platform", -1, MidiError::None},
        Case{"APlatformPort", true, kJack, kAllShown, 0, "platform", 0, MidiError::None},
        Case{"AJackPortPastTheBridgedOne", true, kJack, kAllShown, 1, "jack", 1, MidiError::None},
        Case{"TheLastJackPort", true, kJack, kAllShown, 2, "jack", 2, MidiError::None},
        Case{"PastTheList", true, kJack, kAllShown, 3, nullptr, 0, MidiError::NoSuchPort},
        Case{"NeitherOwnNorSynth", true, kJack, kAllShown, -3, nullptr, 0, MidiError::NoSuchPort},
        // Without the platform's system the bridge is the only way to its devices.
        Case{"OwnPortOnJackWithoutThePlatform", false, kJack, kJack, -1, "jack", -1, MidiError::None},
        Case{"TheBridgedPortWithoutThePlatform", false, kJack, kJack, 0, "jack", 0, MidiError::None},
        Case{"NoSystemAtAll", false, {}, {}, 0, nullptr, 0, MidiError::NoMidiSystem},
        // A build without JACK (Windows) has the platform's ports alone.
        Case{"OwnPortWithoutJack", true, {}, kPlatform, -1, "platform", -1, MidiError::None, false},
        Case{"PastThePlatformWithoutJack", true, {}, kPlatform, 1, nullptr, 0, MidiError::NoSuchPort, false},
        Case{"NoSystemWithoutJack", false, {}, {}, -1, nullptr, 0, MidiError::NoMidiSystem, false}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace kf
