#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QCheckBox>
#include <QRadioButton>
#include <QTest>

#include <functional>

#include "dt1.h"
#include "app/controls.h"
#include "app/data_box.h"
#include "app/edit_commands.h"
#include "app/grid.h"
#include "app/name_bar.h"
#include "app/panel.h"
#include "app/view_options.h"
#include "gui_harness.h"

namespace kf::test {
namespace {

using Wire = std::vector<std::string>;
using Step = std::function<void(Harness&)>;

// A cell never used since start-up holds zeros; an emptied one the blank values.
const dt1::NoteBytes kZeros{};
const dt1::NoteBytes kBlank{60, 127, 0, 0, 127, 0, 0, 0, 0, 2, 0, 0};
// What Harness::useNote leaves, with this level.
dt1::NoteBytes plain(int note, int level = 127) { return {60, level, 0, 64, 127, 0, 0, 1, 0, 2, 0, note}; }
// The shipped SC-88 STANDARD 1 kick (map 2, program 0, note 36).
const dt1::NoteBytes kStandard1Kick{36, 127, 0, 64, 127, 0, 0, 1, 0, 2, 0, 36};

void ctrl(Harness& h, Qt::Key key) { QTest::keyClick(h.parts().grid, key, Qt::ControlModifier); }
void clickEnter(Harness& h) { QTest::mouseClick(h.parts().dataBox->enterButton(), Qt::LeftButton); }
// The same map again, by keys: the instrument list starts over at the edit target's note.
void rechooseMap(Harness& h) {
    QTest::keyClick(h.parts().dataBox->mapList(), Qt::Key_Down);
    QTest::keyClick(h.parts().dataBox->mapList(), Qt::Key_Up);
}
// A set name typed into its box and left for the grid.
void typeName(Harness& h, int set, const QString& text) {
    QComboBox* box = h.parts().nameBar->nameBox(set);
    h.window().activateWindow();
    box->setFocus();
    QApplication::processEvents();
    box->lineEdit()->selectAll();
    QTest::keyClicks(box->lineEdit(), text);
    h.parts().grid->setFocus();
    QApplication::processEvents();
}

Step use(int set, int note, const char* name = "Inst", int level = 127) {
    return [=](Harness& h) {
        h.useNote(set, note, name);
        h.kitUnseen().entry(set, note).level = static_cast<std::uint8_t>(level);
    };
}
Step at(int set, int note) { return [=](Harness& h) { h.select(set, note); }; }
Step withCtrl(Qt::Key key) { return [=](Harness& h) { ctrl(h, key); }; }
const Step cut = withCtrl(Qt::Key_X), copy = withCtrl(Qt::Key_C), paste = withCtrl(Qt::Key_V),
           undo = withCtrl(Qt::Key_Z), del = [](Harness& h) { QTest::keyClick(h.parts().grid, Qt::Key_Delete); };
const Step busy = [](Harness& h) { ui::EditorTestAccess::setBusy(h.editor(), true); };
const Step increment = [](Harness& h) { h.changeOptions([](ui::Options& o) { o.increment = true; }); };
// The cell holds a used note of this name, in the kit and on the grid; or nothing.
Step holds(int set, int note, const char* name) {
    return [=](Harness& h) {
        EXPECT_EQ(h.document().kit().entry(set, note).used, *name ? 1 : 0);
        EXPECT_EQ(h.document().kit().entry(set, note).name, *name ? name : "");
        EXPECT_EQ(h.parts().grid->cellText(set, note), name);
    };
}

class Editing : public ::testing::Test {
protected:
    void SetUp() override {
        h = std::make_unique<Harness>();
        edit = h->parts().edit;
        grid = h->parts().grid;
    }
    void run(const std::vector<Step>& steps) {
        for (const Step& s : steps) s(*h);
    }
    std::unique_ptr<Harness> h;
    ui::EditCommands* edit = nullptr;
    ui::NoteGrid* grid = nullptr;
};

constexpr auto byName = [](const auto& info) { return std::string(info.param.name); };

// What reaches the module for one user action, after a set-up whose messages do not count.
struct SendRow {
    const char* name;
    std::vector<Step> arrange, act;
    Wire sent;
    Step check = [](Harness&) {};
};
void PrintTo(const SendRow& row, std::ostream* os) { *os << row.name; }

class EditSends : public Editing, public ::testing::WithParamInterface<SendRow> {};

TEST_P(EditSends, ExactlyTheseMessages) {
    run(GetParam().arrange);
    h->takeSent();
    run(GetParam().act);
    EXPECT_EQ(h->takeSent(), GetParam().sent);
    GetParam().check(*h);
    ui::EditorTestAccess::setBusy(h->editor(), false);
}

const std::vector<Step> kKickCut{use(1, 36, "Kick", 99), at(1, 36), cut, at(2, 38)};
std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const SendRow kSendRows[] = {
    {"CutSendsNothingAndLeavesTheBlankEntry", {use(1, 36, "Kick"), at(1, 36)}, {cut}, {},
     [](Harness& h) { EXPECT_EQ(h.document().kit().entry(1, 36), blankEntry()), holds(1, 36, "")(h); }},
    {"SelectingAfterACutSendsNothing", {use(1, 36), at(1, 36), cut}, {at(2, 38)}, {}},
    {"PasteSendsTheNoteAfterItsRx", kKickCut, {paste}, dt1::noteAfterRx(2, 38, plain(36, 99)), holds(2, 38, "Kick")},
    {"UndoOfAPasteSendsTheZerosTheCellHeld", kKickCut + std::vector{paste}, {undo}, dt1::note(2, 38, kZeros),
     holds(2, 38, "")},
    {"ASecondUndoRedoesThePaste", kKickCut + std::vector{paste, undo}, {undo}, dt1::noteAfterRx(2, 38, plain(36, 99)),
     holds(2, 38, "Kick")},
    {"TheClipboardStaysForAnotherPaste", kKickCut + std::vector{paste, at(1, 1)}, {paste},
     dt1::noteAfterRx(1, 1, plain(36, 99)), holds(1, 1, "Kick")},
    {"UndoOfACutSendsTheNoteBack", {use(1, 50, "Snare", 77), at(1, 50), cut}, {undo},
     dt1::noteAfterRx(1, 50, plain(50, 77)), holds(1, 50, "Snare")},
    {"UndoOnceMoreEmptiesTheCellAgain", {use(1, 50, "Snare", 77), at(1, 50), cut, undo}, {undo},
     dt1::note(1, 50, kBlank), holds(1, 50, "")},
    {"UndoWhileAnotherCellIsSelectedMovesTheSelectionThere",
     {use(1, 10), use(2, 20, "Other"), at(1, 10), del, at(2, 20)}, {undo}, dt1::note(1, 10, plain(10)),
     [](Harness& h) {
         EXPECT_EQ(h.parts().grid->selectedSet() * 1000 + h.parts().grid->selectedNote(), 1010);
         EXPECT_EQ(h.parts().panel->editInst()->text(), "Inst");
         holds(1, 10, "Inst")(h), holds(2, 20, "Other")(h);
     }},
    {"UndoOfAnInputIntoADeletedCellSendsTheBlankEntry", {use(1, 40), at(1, 40), del, clickEnter}, {undo},
     dt1::note(1, 40, kBlank)},
    {"UndoOfAnInputIntoANeverUsedCellSendsZeros", {at(2, 90), clickEnter}, {undo}, dt1::note(2, 90, kZeros)},
    // The handlers guard themselves: a command can still arrive after it was disabled.
    {"ADisabledCutLeavesTheUsedNotesAlone", {use(1, 3), at(1, 4)}, {[](Harness& h) { h.editor().editing().cutNote(); }}, {},
     holds(1, 3, "Inst")},
    {"CutAndPasteWhileBusyAreRefused", {use(1, 5), at(1, 5), copy, busy},
     {[](Harness& h) { h.editor().editing().cutNote(), h.editor().editing().pasteNotes(); }}, {}, holds(1, 5, "Inst")},
    {"DeleteWhileBusyStillDeletesAndSendsNothing", {use(1, 5), at(1, 5), busy},
     {[](Harness& h) { h.editor().editing().deleteNote(); }}, {}, holds(1, 5, "")},
    {"PasteWhileBusySendsNothingAndLeavesTheCellEmpty", {use(1, 5), at(1, 5), copy, at(1, 6), busy}, {paste}, {},
     holds(1, 6, "")},
    {"EnteringIntoAnEmptyCellSendsTheTablesInstrument", {at(1, 36), rechooseMap}, {clickEnter},
     dt1::noteAfterRx(1, 36, kStandard1Kick),
     [](Harness& h) {
         holds(1, 36, "Standard 1 Kick 1")(h);
         EXPECT_TRUE(h.parts().edit->Cut1->isEnabled());
         EXPECT_TRUE(h.parts().edit->Undo1->isEnabled());
         EXPECT_TRUE(h.parts().panel->trackBar(1)->isEnabled());
     }},
    {"ReturnInTheInstrumentListEnters", {at(1, 30), rechooseMap}, {[](Harness& h) {
         QTest::keyClick(h.parts().dataBox->instrumentList(), Qt::Key_Return);
     }},
     dt1::noteAfterRx(1, 30, {30, 127, 0, 64, 127, 0, 0, 1, 0, 2, 0, 30}), holds(1, 30, "Scratch Pull")},
    // SC-55 STANDARD ends below 127: after its last instrument went into 127 none is chosen.
    {"EnteringWithNoInstrumentSendsNothing",
     {increment, at(1, 127), [](Harness& h) { QTest::keyClick(h.parts().dataBox->mapList(), Qt::Key_Home); },
      clickEnter},
     {clickEnter}, {}},
    // Bank select 0 / 2 and program 0 on channel 11, then the list's second note, 26.
    {"ChoosingAnInstrumentAuditionsOnChannel11", {},
     {[](Harness& h) { QTest::keyClick(h.parts().dataBox->instrumentList(), Qt::Key_Down); }},
     {"BA 00 00", "BA 20 02", "CA 00", "9A 1A 7F", "9A 1A 00"},
     [](Harness& h) { EXPECT_EQ(h.session().lastSoundedNote(), 0) << "the last sounded note does not change"; }},
    // The name, then the set's program change so the module plays the renamed set.
    {"ATildeCutsTheName", {}, {[](Harness& h) { typeName(h, 1, "Roc~k"); }}, {dt1::setName(1, "Roc"), "C9 40"},
     [](Harness& h) {
         EXPECT_EQ(h.document().kit().setName(1), "Roc");
         EXPECT_EQ(h.parts().nameBar->nameBox(1)->currentText(), "Roc");
         EXPECT_EQ(h.parts().grid->headerText(1), "Roc");
         EXPECT_TRUE(h.document().modified());
     }},
    {"AnUnchangedNameIsSentButIsNoChange", {}, {[](Harness& h) { typeName(h, 2, "UserDrum2"); }},
     {dt1::setName(2, "UserDrum2"), "C9 41"}, [](Harness& h) { EXPECT_FALSE(h.document().modified()); }},
};
INSTANTIATE_TEST_SUITE_P(Editing, EditSends, ::testing::ValuesIn(kSendRows), byName);

// Cut, copy, delete and paste, in every place they appear, after the user's steps.
struct EnabledRow {
    const char* name;
    std::vector<Step> steps;
    bool entry;  // cut, copy, delete
    bool paste;
};
void PrintTo(const EnabledRow& row, std::ostream* os) { *os << row.name; }

class EntryCommands : public Editing, public ::testing::WithParamInterface<EnabledRow> {};

TEST_P(EntryCommands, FollowTheSelectedNoteAndTheClipboard) {
    h->useNote(1, 3);
    run(GetParam().steps);
    for (QAction* a : {edit->Cut1, edit->Cut2, edit->Cut3, edit->Copy1, edit->Copy2, edit->Copy3, edit->Delete1,
                       edit->Delete2})
        EXPECT_EQ(a->isEnabled(), GetParam().entry) << a->objectName().toStdString();
    for (QAction* a : {edit->Paste1, edit->Paste2, edit->Paste3})
        EXPECT_EQ(a->isEnabled(), GetParam().paste) << a->objectName().toStdString();
}

const EnabledRow kEnabledRows[] = {
    {"AnEmptyCell", {at(1, 4)}, false, false},
    {"AUsedNote", {at(1, 3)}, true, false},
    {"AUsedNoteWithNoName", {[](Harness& h) { h.kitUnseen().entry(1, 3).name.clear(); }, at(1, 4), at(1, 3)}, true,
     false},
    {"AfterACopy", {at(1, 3), copy}, true, true},
    {"AfterACut", {at(1, 3), cut}, false, true},
    {"AfterACutAndItsUndo", {at(1, 3), cut, undo}, true, true},
    {"AfterACutUndoneTwice", {at(1, 3), cut, undo, undo}, false, true},
    {"AfterADelete", {at(1, 3), del}, false, false},
};
INSTANTIATE_TEST_SUITE_P(Editing, EntryCommands, ::testing::ValuesIn(kEnabledRows), byName);

TEST_F(Editing, EveryParameterControlEndsTextEntryMode) {
    h->useNote(1, 7, "Snare");
    h->select(1, 7);
    h->window().activateWindow();
    ui::ParameterPanel* panel = h->parts().panel;
    QWidget* targets[] = {panel->rxNoteOffBox(), panel->rxNoteOnBox(), panel->effectButton(0),
                          panel->effectButton(1)};
    for (QWidget* target : targets) {
        QTest::mouseClick(panel->editInst(), Qt::LeftButton);
        QTest::keyClick(panel->editInst(), Qt::Key_End);
        ASSERT_TRUE(edit->textEntryMode()) << target->objectName().toStdString();
        EXPECT_FALSE(edit->Cut1->isEnabled());
        QTest::mouseClick(target, Qt::LeftButton);
        EXPECT_FALSE(edit->textEntryMode()) << qPrintable(target->metaObject()->className());
        EXPECT_TRUE(edit->Cut1->isEnabled());
        EXPECT_EQ(edit->Cut1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    }
}

TEST_F(Editing, TextEntryModeHandsTheShortcutsToTheBoxAndBack) {
    h->useNote(1, 7, "Snare");
    h->select(1, 7);
    QComboBox* name = h->parts().nameBar->nameBox(1);
    h->window().activateWindow();
    name->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(edit->textEntryMode());
    EXPECT_FALSE(edit->Cut1->isEnabled());
    EXPECT_TRUE(edit->Cut1->shortcut().isEmpty());
    name->lineEdit()->selectAll();
    QTest::keyClick(name->lineEdit(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(name->currentText().isEmpty()) << "Ctrl+X cut the box's text";
    EXPECT_EQ(h->document().kit().entry(1, 7).used, 1) << "and not the note";
    grid->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(edit->textEntryMode());
    EXPECT_TRUE(edit->Cut1->isEnabled());
    EXPECT_EQ(edit->Cut1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    ctrl(*h, Qt::Key_X);
    EXPECT_EQ(h->document().kit().entry(1, 7).used, 0);
}

// Data input box

class DataInput : public Editing {
protected:
    void SetUp() override {
        Editing::SetUp();
        box = h->parts().dataBox;
    }
    ui::DataBox* box = nullptr;
};

TEST_F(DataInput, ListsAndSelection) {
    EXPECT_EQ(box->mapList()->currentText(), "  88 STANDARD 1");
    EXPECT_EQ(box->instrumentList()->currentText().left(5), "  25 ");
    EXPECT_EQ(box->selectedInstrumentNote(), 25);
    h->select(1, 50);
    QTest::keyClick(box->mapList(), Qt::Key_Home);
    EXPECT_EQ(box->mapList()->currentText(), "  55 STANDARD");
    EXPECT_EQ(box->selectedInstrumentNote(), 50);
    h->select(1, 127);
    rechooseMap(*h);
    EXPECT_EQ(box->instrumentList()->currentIndex(), box->instrumentList()->count() - 1) << "all lie below";
}

TEST_F(DataInput, AutoIncrementAtNote40AndAt127) {
    h->changeOptions([](ui::Options& o) { o.increment = true; });
    h->select(1, 40);
    rechooseMap(*h);
    clickEnter(*h);
    EXPECT_EQ(grid->selectedNote(), 41);
    EXPECT_EQ(h->state().editNote, 41);
    EXPECT_GE(box->selectedInstrumentNote(), 41);
    const QString before = box->instrumentList()->itemText(box->instrumentList()->currentIndex() - 1);
    EXPECT_LT(before.left(4).trimmed().toInt(), 41);
    h->select(1, 127);
    QTest::keyClick(box->mapList(), Qt::Key_Home);  // SC-55 STANDARD ends below 127
    clickEnter(*h);
    EXPECT_EQ(grid->selectedNote(), 127);
    EXPECT_EQ(box->instrumentList()->currentIndex(), -1) << "nothing at or above 127";
}

TEST_F(DataInput, InsertActsOnTheEditTargetAndAdvancesTheList) {
    h->changeOptions([](ui::Options& o) { o.increment = true; });
    h->select(2, 60);
    const int before = box->instrumentList()->currentIndex();
    edit->Insert1->trigger();
    EXPECT_EQ(h->document().kit().entry(2, 60).used, 1);
    EXPECT_EQ(grid->selectedNote(), 60);
    EXPECT_EQ(box->instrumentList()->currentIndex(), before + 1);
    box->instrumentList()->setCurrentIndex(box->instrumentList()->count() - 1);
    edit->Insert1->trigger();
    EXPECT_EQ(box->instrumentList()->currentIndex(), box->instrumentList()->count() - 1);
}

TEST_F(DataInput, InsertWithTheBoxHiddenOnlyShowsIt) {
    h->parts().view->SetDataBoxVisible(false);
    h->select(1, 50);
    edit->Insert1->trigger();
    EXPECT_TRUE(box->isVisibleTo(&h->window()));
    EXPECT_TRUE(h->parts().view->Data1->isChecked());
    EXPECT_EQ(h->document().kit().entry(1, 50).used, 0);
}

TEST_F(DataInput, NoReferenceDataDisablesTheBox) {
    QTemporaryDir empty;
    HarnessOptions o;
    o.tableDirs = {empty.path()};
    Harness bare(o);
    EXPECT_FALSE(bare.parts().dataBox->mapList()->isEnabled());
    EXPECT_FALSE(bare.parts().dataBox->enterButton()->isEnabled());
    EXPECT_FALSE(bare.parts().edit->Insert1->isEnabled());
    EXPECT_FALSE(bare.parts().edit->Insert2->isEnabled());
}

// Name bar

using Names = Editing;

TEST_F(Names, KanaIsRefusedWithAHint) {
    QComboBox* box = h->parts().nameBar->nameBox(1);
    box->setFocus();
    box->setEditText("");
    typeText(box->lineEdit(), QStringLiteral("ｱ"));
    EXPECT_TRUE(box->currentText().isEmpty());
    EXPECT_EQ(box->toolTip(), QStringLiteral("カナは入力できません。"));
    typeText(box->lineEdit(), "a");
    EXPECT_EQ(box->currentText(), "a");
    EXPECT_TRUE(box->toolTip().isEmpty());
}

TEST_F(Names, SuggestionsAreSortedAndPlain) {
    QComboBox* box = h->parts().nameBar->nameBox(1);
    ASSERT_GT(box->count(), 10);
    for (int i = 1; i < box->count(); ++i)
        EXPECT_LE(box->itemText(i - 1).compare(box->itemText(i), Qt::CaseInsensitive), 0);
    EXPECT_EQ(box->lineEdit()->maxLength(), 12);
}

}  // namespace
}  // namespace kf::test
