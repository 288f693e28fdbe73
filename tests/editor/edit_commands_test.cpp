#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QCheckBox>
#include <QRadioButton>
#include <QTest>

#include "editor/controls.h"
#include "editor/data_box.h"
#include "editor/edit_commands.h"
#include "editor/grid.h"
#include "editor/name_bar.h"
#include "editor/panel.h"
#include "editor/view_options.h"
#include "gui_harness.h"
#include "midi/sysex.h"

namespace kf::test {
namespace {

std::vector<std::string> wholeNote(const Kit& kit, int set, int note) {
    std::vector<std::string> v;
    for (int p = 1; p <= 12; ++p) v.push_back(hex(buildParameterMessage(kit, set, note, p)));
    return v;
}

// The panel's Rx messages, then the whole note: while both wait in the queue the whole
// note's Rx messages take the places of the first ones.
std::vector<std::string> rxThenWholeNote(const Kit& kit, int set, int note) {
    std::vector<std::string> v;
    for (int p : {7, 8, 1, 2, 3, 4, 5, 6, 9, 10, 11, 12}) v.push_back(hex(buildParameterMessage(kit, set, note, p)));
    return v;
}

class Editing : public ::testing::Test {
protected:
    void SetUp() override {
        h = std::make_unique<Harness>();
        edit = h->parts().edit;
        grid = h->parts().grid;
    }
    std::unique_ptr<Harness> h;
    ui::EditCommands* edit = nullptr;
    ui::NoteGrid* grid = nullptr;
};

TEST_F(Editing, CutThenPasteElsewhere) {
    h->useNote(1, 36, "Kick");
    h->state().kit.entry(1, 36).level = 99;
    const DrumNoteEntry cut = h->state().kit.entry(1, 36);
    h->select(1, 36);
    h->takeSent();
    EXPECT_FALSE(edit->Paste1->isEnabled()) << "nothing to paste yet";
    edit->Cut1->trigger();
    EXPECT_TRUE(h->takeSent().empty()) << "a cut sends nothing";
    EXPECT_EQ(h->state().kit.entry(1, 36), blankEntry());
    EXPECT_TRUE(grid->cellText(1, 36).isEmpty());
    EXPECT_FALSE(edit->Cut1->isEnabled());
    EXPECT_TRUE(edit->Paste1->isEnabled());
    h->select(2, 38);
    EXPECT_TRUE(h->takeSent().empty());
    edit->Paste1->trigger();
    EXPECT_EQ(h->state().kit.entry(2, 38), cut);
    EXPECT_EQ(grid->cellText(2, 38), "Kick");
    EXPECT_EQ(h->takeSent(), rxThenWholeNote(h->state().kit, 2, 38));
    EXPECT_TRUE(h->state().modified);

    // undo gives the cell its previous (empty) content back and sends it; a second undo redoes
    edit->Undo1->trigger();
    EXPECT_EQ(h->state().kit.entry(2, 38).used, 0);
    EXPECT_TRUE(grid->cellText(2, 38).isEmpty());
    EXPECT_EQ(h->takeSent(), wholeNote(h->state().kit, 2, 38));
    edit->Undo1->trigger();
    EXPECT_EQ(h->state().kit.entry(2, 38), cut);
    EXPECT_EQ(grid->cellText(2, 38), "Kick");
    EXPECT_EQ(h->takeSent(), rxThenWholeNote(h->state().kit, 2, 38));
    // the clipboard stays: paste again into another cell
    h->select(1, 1);
    edit->Paste1->trigger();
    EXPECT_EQ(h->state().kit.entry(1, 1), cut);
}

TEST_F(Editing, UndoWhileAnotherCellIsSelectedMovesTheSelectionThere) {
    h->useNote(1, 10);
    h->useNote(2, 20, "Other");
    h->select(1, 10);
    edit->Delete1->trigger();
    h->select(2, 20);
    const DrumNoteEntry other = h->state().kit.entry(2, 20);
    edit->Undo1->trigger();
    EXPECT_EQ(grid->selectedSet(), 1);
    EXPECT_EQ(grid->selectedNote(), 10);
    EXPECT_EQ(h->state().kit.entry(1, 10).used, 1);
    EXPECT_EQ(h->parts().panel->editInst()->text(), "Inst");
    EXPECT_EQ(h->state().kit.entry(2, 20), other);
}

TEST_F(Editing, UndoOfAnInputIntoACellEmptiedByDeleteSendsTheBlankEntry) {
    h->useNote(1, 40);
    h->select(1, 40);
    edit->Delete1->trigger();
    h->parts().dataBox->Button1Click();
    h->takeSent();
    edit->Undo1->trigger();
    Kit blank;
    blank.entry(1, 40) = blankEntry();
    EXPECT_EQ(h->takeSent(), wholeNote(blank, 1, 40));
    // a cell never used since start-up holds zeros, and sends them
    h->select(2, 90);
    h->parts().dataBox->Button1Click();
    h->takeSent();
    edit->Undo1->trigger();
    Kit zero;
    EXPECT_EQ(h->takeSent(), wholeNote(zero, 2, 90));
}

TEST_F(Editing, CutThenUndoBringsTheNoteBackAndSendsIt) {
    h->useNote(1, 50, "Snare");
    h->state().kit.entry(1, 50).level = 77;
    const DrumNoteEntry before = h->state().kit.entry(1, 50);
    h->select(1, 50);
    h->takeSent();
    QTest::keyClick(grid, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(h->state().kit.entry(1, 50).used, 0);
    EXPECT_FALSE(edit->Copy1->isEnabled()) << "nothing left to cut or copy";
    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(h->state().kit.entry(1, 50), before);
    EXPECT_EQ(grid->cellText(1, 50), "Snare");
    EXPECT_TRUE(edit->Cut1->isEnabled()) << "the note is back, and so are its commands";
    EXPECT_TRUE(edit->Delete1->isEnabled());
    EXPECT_EQ(h->takeSent(), rxThenWholeNote(h->state().kit, 1, 50));
    // Undo once more empties the cell again: the entry commands follow.
    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(h->state().kit.entry(1, 50).used, 0);
    EXPECT_FALSE(edit->Cut1->isEnabled());
    EXPECT_FALSE(edit->Copy3->isEnabled());
    EXPECT_FALSE(edit->Delete2->isEnabled());
    EXPECT_TRUE(edit->Paste1->isEnabled()) << "the clipboard holds the cut note";
}

TEST_F(Editing, EntryCommandsFollowTheSelectedNote) {
    h->useNote(1, 3);
    h->select(1, 4);
    EXPECT_FALSE(edit->Cut1->isEnabled());
    EXPECT_FALSE(edit->Copy3->isEnabled());
    h->editor().Cut1Click();  // a disabled command's handler run anyway must not touch a used note
    h->select(1, 3);
    EXPECT_TRUE(edit->Cut1->isEnabled());
    EXPECT_TRUE(edit->Delete2->isEnabled());
    h->state().kit.entry(1, 3).name.clear();  // a used entry with no name still counts
    h->select(1, 4);
    h->select(1, 3);
    EXPECT_TRUE(edit->Copy1->isEnabled());
}

TEST_F(Editing, BusyBlocksAllButDelete) {
    h->useNote(1, 5);
    h->select(1, 5);
    edit->Copy1->trigger();
    h->state().busy = true;
    h->editor().Cut1Click();
    h->editor().Paste1Click();
    EXPECT_EQ(h->state().kit.entry(1, 5).used, 1);
    h->editor().Delete1Click();
    EXPECT_EQ(h->state().kit.entry(1, 5).used, 0);
    h->state().busy = false;
}

TEST_F(Editing, PasteWhileBusyLeavesAnEmptyCellEmptyAndSendsNothing) {
    h->useNote(1, 5);
    h->select(1, 5);
    edit->Copy1->trigger();
    h->select(1, 6);
    h->takeSent();
    h->state().busy = true;
    QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(h->state().kit.entry(1, 6).used, 0);
    EXPECT_TRUE(h->takeSent().empty());
    h->state().busy = false;
}

TEST_F(Editing, DeletingAUsedNoteDisablesCutCopyAndDelete) {
    h->useNote(1, 9);
    h->select(1, 9);
    ASSERT_TRUE(edit->Delete1->isEnabled());
    QTest::keyClick(grid, Qt::Key_Delete);
    EXPECT_EQ(h->state().kit.entry(1, 9).used, 0);
    for (QAction* a : {edit->Cut1, edit->Copy1, edit->Delete1}) EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
}

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
    EXPECT_EQ(h->state().kit.entry(1, 7).used, 1) << "and not the note";
    grid->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(edit->textEntryMode());
    EXPECT_TRUE(edit->Cut1->isEnabled());
    EXPECT_EQ(edit->Cut1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    edit->Cut1->trigger();
    EXPECT_EQ(h->state().kit.entry(1, 7).used, 0);
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
    box->mapList()->setCurrentIndex(0);
    box->ListMap1Change();
    EXPECT_EQ(box->mapList()->currentText(), "  55 STANDARD");
    EXPECT_EQ(box->selectedInstrumentNote(), 50);
    h->select(1, 127);
    box->ListMap1Change();
    EXPECT_EQ(box->instrumentList()->currentIndex(), box->instrumentList()->count() - 1) << "all lie below";
}

TEST_F(DataInput, EnteringIntoAnEmptyCell) {
    h->select(1, 36);
    box->ListMap1Change();
    h->takeSent();
    box->Button1Click();
    const DrumNoteEntry& e = h->state().kit.entry(1, 36);
    EXPECT_EQ(e.used, 1);
    EXPECT_EQ(e.sourceMap, 2);
    EXPECT_EQ(e.sourceProgram, 0);
    EXPECT_EQ(e.sourceNote, 36);
    EXPECT_EQ(grid->cellText(1, 36), QString::fromStdString(e.name));
    EXPECT_TRUE(edit->Cut1->isEnabled());
    EXPECT_TRUE(edit->Undo1->isEnabled());
    EXPECT_TRUE(h->parts().panel->trackBar(1)->isEnabled());
    EXPECT_EQ(h->takeSent(), rxThenWholeNote(h->state().kit, 1, 36));
}

TEST_F(DataInput, AutoIncrementAtNote40AndAt127) {
    h->state().options.increment = true;
    h->select(1, 40);
    box->ListMap1Change();
    box->Button1Click();
    EXPECT_EQ(grid->selectedNote(), 41);
    EXPECT_EQ(h->state().editNote, 41);
    EXPECT_GE(box->selectedInstrumentNote(), 41);
    const QString before = box->instrumentList()->itemText(box->instrumentList()->currentIndex() - 1);
    EXPECT_LT(before.left(4).trimmed().toInt(), 41);
    h->select(1, 127);
    box->mapList()->setCurrentIndex(0);  // SC-55 STANDARD ends below 127
    box->ListMap1Change();
    box->Button1Click();
    EXPECT_EQ(grid->selectedNote(), 127);
    EXPECT_EQ(box->instrumentList()->currentIndex(), -1) << "nothing at or above 127";
    // with no instrument selected, 入力 leaves the cell alone
    const DrumNoteEntry now = h->state().kit.entry(1, 127);
    h->takeSent();
    box->Button1Click();
    EXPECT_EQ(h->state().kit.entry(1, 127), now);
    EXPECT_TRUE(h->takeSent().empty());
}

TEST_F(DataInput, InsertActsOnTheEditTargetAndAdvancesTheList) {
    h->state().options.increment = true;
    h->select(2, 60);
    const int before = box->instrumentList()->currentIndex();
    edit->Insert1->trigger();
    EXPECT_EQ(h->state().kit.entry(2, 60).used, 1);
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
    EXPECT_EQ(h->state().kit.entry(1, 50).used, 0);
}

TEST_F(DataInput, ChoosingAnInstrumentAuditionsOnChannel11) {
    h->takeSent();
    box->instrumentList()->setCurrentIndex(3);
    box->ListInst1Click();
    const int k = box->selectedInstrumentNote();
    char on[16], off[16];
    std::snprintf(on, sizeof on, "9A %02X 7F", k);
    std::snprintf(off, sizeof off, "9A %02X 00", k);
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{"BA 00 00", "BA 20 02", "CA 00", on, off}));
    EXPECT_EQ(h->state().lastSoundedNote, 0) << "the last sounded note does not change";
}

TEST_F(DataInput, EnterOrSpaceInTheListEnters) {
    h->select(1, 30);
    box->instrumentList()->setFocus();
    QTest::keyClick(box->instrumentList(), Qt::Key_Return);
    EXPECT_EQ(h->state().kit.entry(1, 30).used, 1);
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

class Names : public Editing {
protected:
    void commit(int set, const QString& text) {
        QComboBox* box = h->parts().nameBar->nameBox(set);
        h->window().activateWindow();
        box->setFocus();
        QApplication::processEvents();
        box->setEditText(text);
        grid->setFocus();
        QApplication::processEvents();
    }
};

TEST_F(Names, ATildeCutsTheNameEverywhere) {
    h->takeSent();
    commit(1, "Roc~k");
    EXPECT_EQ(h->state().kit.setName(1), "Roc");
    EXPECT_EQ(h->parts().nameBar->nameBox(1)->currentText(), "Roc");
    EXPECT_EQ(grid->headerText(1), "Roc");
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{hex(buildNameMessage(h->state().kit, 1)), "C9 40"}));
    EXPECT_TRUE(h->state().modified);
}

TEST_F(Names, LeavingUnchangedStillSendsButIsNoChange) {
    h->takeSent();
    commit(2, "UserDrum2");
    EXPECT_FALSE(h->state().modified);
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{hex(buildNameMessage(h->state().kit, 2)), "C9 41"}));
}

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
