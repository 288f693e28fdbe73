// The editor's operations without a window: each takes the controller from a known kit to
// exact wire messages and exact observer events. Expected bytes come from the tests' own
// DT1 builder.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dt1.h"
#include "editor/editor_controller.h"
#include "editor_access.h"
#include "gs/sysex.h"
#include "midi/midi_in.h"
#include "model/parameters.h"
#include "recording_backend.h"

namespace kf::test {
namespace {

using Strings = std::vector<std::string>;

// What the views hear, one line an event.
struct EventLog : ui::EditorObserver {
    Strings events;
    const ui::EditorController* core = nullptr;  // the state an event must already show
    void add(std::string e) { events.push_back(std::move(e)); }
    void noteChanged(int set, int note) override { add("note " + std::to_string(set) + " " + std::to_string(note)); }
    void instrumentNameChanged(int set, int note) override {
        add("name " + std::to_string(set) + " " + std::to_string(note));
    }
    void selectionChanged(int set, int note) override {
        add("select " + std::to_string(set) + " " + std::to_string(note));
    }
    void kitReplaced() override { add("kit"); }
    void setNameChanged(int set) override { add("set name " + std::to_string(set)); }
    void panelValueChanged(int row, int value) override {
        const bool shown = !core || fieldOfRow(core->document().kit().entry(1, 36), row) == value;
        add("row " + std::to_string(row) + " " + std::to_string(value) + (shown ? "" : " before the change"));
    }
    void usedStateSettled() override { add("settled"); }
    void commandsChanged() override { add("commands"); }
    void previewChanged(bool on) override { add(on ? "preview on" : "preview off"); }
    void velocityChanged(int v) override { add("velocity " + std::to_string(v)); }
};

// Set 1, note 36: a used note on chorus; every other note unused.
constexpr dt1::NoteBytes kNote36{40, 100, 0, 64, 20, 30, 1, 1, 0, 1, 0, 36};

Kit startKit() {
    Kit kit;
    kit.reset();
    DrumNoteEntry& e = kit.entry(1, 36);
    e.used = 1;
    e.name = "Kick";
    e.playNote = 40, e.level = 100, e.assignGroup = 0, e.pan = 64, e.reverb = 20, e.effectSend = 30;
    e.effectType = 0, e.rxNoteOff = 1, e.rxNoteOn = 1, e.sourceMap = 1, e.sourceProgram = 0, e.sourceNote = 36;
    return kit;
}

// Another kit: set 1, note 10 and 12 used, 11 between them empty.
DrumNoteEntry plainEntry(const char* name, int level) {
    DrumNoteEntry e = blankEntry();
    e.used = 1, e.name = name, e.level = static_cast<std::uint8_t>(level), e.pan = 64, e.rxNoteOn = 1;
    return e;
}
dt1::NoteBytes plainBytes(int level) { return {60, level, 0, 64, 127, 0, 0, 1, 0, 2, 0, 0}; }
const dt1::NoteBytes kBlank{60, 127, 0, 0, 127, 0, 0, 0, 0, 2, 0, 0};
Kit otherKit() {
    Kit kit;
    kit.reset();
    kit.entry(1, 10) = plainEntry("Tom", 90);
    kit.entry(1, 12) = plainEntry("Hat", 70);
    return kit;
}
Strings operator+(Strings a, const Strings& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Core {
    std::shared_ptr<JumpClock> clock = std::make_shared<JumpClock>();
    RecordingBackend* rec = nullptr;
    ui::EditorController c{line()};
    EventLog log;

    // The recorder on a clock that jumps, so a paced schedule runs at full speed.
    ui::ModuleLine line() {
        auto r = std::make_unique<RecordingBackend>();
        r->portNames = {"A", "B"};
        r->clock = clock;
        rec = r.get();
        ui::ModuleLine l;
        l.output = std::move(r);
        l.input = std::make_unique<LoopbackInput>();
        l.clock = clock;
        return l;
    }

    Core() {
        ui::EditorTestAccess::output(c).openPort(0);
        clock->stop(true);
        c.file().importKit(startKit());
        c.selection().selectEditTarget(1, 36);
        take();
        log.core = &c;
        c.addObserver(&log);
    }
    // Everything sent since the last call; the queue holds again afterwards, so what one
    // step queues merges the same way every run.
    Strings take() {
        ui::EditorTestAccess::output(c).flush();
        Strings v;
        for (const MidiBytes& m : rec->sent) v.push_back(hexText(m));
        rec->sent.clear();
        clock->stop(true);
        return v;
    }
};

using Step = std::function<void(ui::EditorController&)>;

struct CoreCase {
    const char* name;
    Step before;  // not recorded
    Step op;
    Strings sent;
    Strings events;
};

const Step nothing = [](ui::EditorController&) {};
std::string p(int note, int parameter, int value) { return dt1::noteParameter(1, note, parameter, value); }

const CoreCase kCases[] = {
    {"ALevelIsSentAndAuditioned", nothing, [](ui::EditorController& c) { c.editing().setParameter(90, kRowLevel); },
     {p(36, 2, 90), "C9 40", "99 24 7F", "99 24 00"},
     {"row 2 90"}},
    {"AValueAboveTheRangeIsClamped", nothing, [](ui::EditorController& c) { c.editing().setParameter(300, kRowPan); },
     {p(36, 4, 127), "C9 40", "99 24 7F", "99 24 00"},
     {"row 3 127"}},
    {"TheAssignGroupIsNotAuditioned", nothing, [](ui::EditorController& c) { c.editing().setParameter(2, kRowAssign); },
     {p(36, 3, 2)},
     {"row 6 2"}},
    {"AnUnchangedValueIsSentButNotAuditioned", nothing,
     [](ui::EditorController& c) { c.editing().setParameter(100, kRowLevel); },
     {p(36, 2, 100)},
     {"row 2 100"}},
    {"TheEffectTypeSendsTheNewSendThenZeroesTheOld", nothing, [](ui::EditorController& c) { c.editing().setEffectType(1); },
     {p(36, 9, 30), p(36, 6, 0)},
     {}},
    {"AnRxSwitchIsSentEvenUnchanged", nothing, [](ui::EditorController& c) { c.editing().setRxNoteOff(1); }, {p(36, 7, 1)}, {}},
    {"ASetNameGoesWithItsProgramChange", nothing, [](ui::EditorController& c) { c.editing().renameSet(2, "Abc"); },
     {dt1::setName(2, "Abc"), "C9 41"},
     {"set name 2"}},
    {"CutSendsNothing", nothing, [](ui::EditorController& c) { c.editing().cutNote(); }, {},
     {"note 1 36", "commands"}},
    {"PasteSendsTheWholeNote",
     [](ui::EditorController& c) {
         c.editing().copyNote();
         c.selection().selectEditTarget(1, 40);
     },
     [](ui::EditorController& c) { c.editing().pasteNotes(); },
     dt1::noteAfterRx(1, 40, kNote36),
     {"note 1 40", "commands"}},
    {"APasteOverAUsedNoteMakesUndoApply", [](ui::EditorController& c) { c.editing().copyNote(); },
     [](ui::EditorController& c) { c.editing().pasteNotes(); },
     dt1::noteAfterRx(1, 36, kNote36),
     {"note 1 36", "commands"}},
    {"UndoOfACutSendsTheNoteBack", [](ui::EditorController& c) { c.editing().cutNote(); },
     [](ui::EditorController& c) { c.editing().undo(); },
     dt1::noteAfterRx(1, 36, kNote36),
     {"note 1 36", "commands"}},
    {"BusyRefusesPaste",
     [](ui::EditorController& c) {
         c.editing().copyNote();
         ui::EditorTestAccess::setBusy(c, true);
     },
     [](ui::EditorController& c) { c.editing().pasteNotes(); },
     {},
     {}},
    // Notes of another kit: a run of one set, pasted from the edit target on as one step.
    {"NotesOfAnotherKitPasteAsARunEmptyOnesToo", [](ui::EditorController& c) { c.editing().copyNotes(otherKit(), 1, 10, 12); },
     [](ui::EditorController& c) { c.editing().pasteNotes(); },
     dt1::noteAfterRx(1, 36, plainBytes(90)) + dt1::note(1, 37, kBlank) + dt1::note(1, 38, plainBytes(70)),
     {"note 1 36", "note 1 37", "note 1 38", "commands"}},
    {"OneUndoTakesTheWholeRunBackAndSelectsItsFirstNote",
     [](ui::EditorController& c) {
         c.editing().copyNotes(otherKit(), 1, 10, 12);
         c.selection().selectEditTarget(1, 40);
         c.editing().pasteNotes();
         c.selection().selectEditTarget(2, 5);
     },
     [](ui::EditorController& c) { c.editing().undo(); },
     dt1::note(1, 40, kBlank) + dt1::note(1, 41, kBlank) + dt1::note(1, 42, kBlank),
     {"note 1 40", "note 1 41", "note 1 42", "select 1 40"}},
    {"ADropSelectsItsNoteAndTheRunEndsAtNote127", nothing,
     [](ui::EditorController& c) {
         const Kit other = otherKit();
         c.editing().dropNotes(2, 126, {other.entry(1, 10), other.entry(1, 11), other.entry(1, 12)});
     },
     dt1::noteAfterRx(2, 126, plainBytes(90)) + dt1::note(2, 127, kBlank),
     {"commands", "select 2 126", "note 2 126", "note 2 127", "commands"}},
    {"ARunWithoutAUsedNoteCopiesNothing", nothing,
     [](ui::EditorController& c) {
         c.editing().copyNotes(otherKit(), 1, 0, 9);
         c.editing().pasteNotes();
     },
     {},
     {}},
    {"AUsedNoteSelectedSendsItsReceptionSwitches", [](ui::EditorController& c) { c.selection().selectCell(1, 10); },
     [](ui::EditorController& c) { c.selection().selectCell(1, 36); },
     {p(36, 7, 1), p(36, 8, 1)},
     {"commands", "select 1 36"}},
    {"BusyRefusesADrop", [](ui::EditorController& c) { ui::EditorTestAccess::setBusy(c, true); },
     [](ui::EditorController& c) { c.editing().dropNotes(1, 36, {otherKit().entry(1, 10)}); },
     {},
     {}},
    {"AGridNoteSelectsItsSet", nothing,
     [](ui::EditorController& c) {
         c.preview().noteOn(2, 40);
         c.preview().noteOff();
     },
     {"C9 41", "99 28 7F", "99 28 00"},
     {}},
    {"TheVelocityIsState", nothing,
     [](ui::EditorController& c) {
         c.setVelocity(64);
         c.preview().soundCurrentNote();
         c.preview().noteOff();
     },
     {"C9 40", "99 24 40", "99 24 00"},
     {"velocity 64"}},
    {"TheDataBoxSoundsAPresetOnItsOwnPart", nothing,
     [](ui::EditorController& c) {
         c.preview().holdPresetNote(2, 16, 38);
         c.preview().releasePresetNote();
     },
     {"BA 00 00", "BA 20 02", "CA 10", "9A 26 7F", "9A 26 00"},
     {}},
    {"AGsResetFromTheSendMenuSetsUpTheRhythmPartAgain", nothing,
     [](ui::EditorController& c) { c.preview().sendDeviceCommand(1); },
     {"F0 41 10 42 12 40 00 7F 00 41 F7", "F0 41 10 42 12 40 1A 15 02 0F F7"},
     {}},
    {"PreviewOffSilencesEverySound", nothing,
     [](ui::EditorController& c) {
         c.preview().setPreview(false);
         c.preview().noteOn(1, 36);
         c.preview().sendDeviceCommand(1);
         c.editing().renameSet(1, "Quiet");
     },
     {},
     {"preview off", "set name 1"}},
};

void PrintTo(const CoreCase& c, std::ostream* os) { *os << c.name; }

class CoreOps : public ::testing::TestWithParam<CoreCase> {};

TEST_P(CoreOps, SendExactlyTheseMessagesAndTellTheViews) {
    Core core;
    GetParam().before(core.c);
    core.take();
    core.log.events.clear();
    GetParam().op(core.c);
    EXPECT_EQ(core.take(), GetParam().sent);
    EXPECT_EQ(core.log.events, GetParam().events);
}

// A step that runs inside another's busy time (a compare after an open that sent the kit)
// leaves it busy; the outer step's end ends it.
TEST(Busy, NestedStepsLeaveItAsTheyFoundIt) {
    Core core;
    {
        const ui::BusyTime outer = core.c.file().busyTime();
        { const ui::BusyTime inner = core.c.file().busyTime(); }
        EXPECT_TRUE(core.c.state().busy);
        core.c.editing().cutNote();
        EXPECT_TRUE(core.c.currentEntry().used) << "a cut while busy";
    }
    EXPECT_FALSE(core.c.state().busy);
}

INSTANTIATE_TEST_SUITE_P(Editor, CoreOps, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kf::test
