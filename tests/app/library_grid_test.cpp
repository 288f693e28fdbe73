// Notes taken from a kit of the library: the kit beside the grid, read-only, its notes copied
// and pasted or dragged onto the document, as one step for Undo and sent as a paste is.
#include <gtest/gtest.h>

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QTest>
#include <QTreeView>

#include "dt1.h"
#include "app/grid.h"
#include "app/library_dock.h"
#include "app/library_grid.h"
#include "files/kit_file.h"
#include "gui_harness.h"

namespace kf::test {
namespace {

DrumNoteEntry note(const char* name, int level, int pan) {
    DrumNoteEntry e = blankEntry();
    e.used = 1;
    e.name = name;
    e.level = static_cast<std::uint8_t>(level);
    e.pan = static_cast<std::uint8_t>(pan);
    e.rxNoteOff = 1;
    e.rxNoteOn = 1;
    e.sourceNote = 40;
    return e;
}
dt1::NoteBytes bytesOf(const DrumNoteEntry& e) {
    return {e.playNote, e.level, e.assignGroup, e.pan, e.reverb, e.effectSend, e.rxNoteOff, e.rxNoteOn, 0,
            e.sourceMap, e.sourceProgram, e.sourceNote};
}
// What Harness::useNote leaves.
dt1::NoteBytes plain(int note) { return {60, 127, 0, 64, 127, 0, 0, 1, 0, 2, 0, note}; }

// Set 2 of the library kit: notes 40 and 42 used, 41 between them empty.
Kit libraryKit() {
    Kit kit;
    kit.reset();
    kit.setSetName(2, "Lib Set");
    kit.entry(2, 40) = note("Lib Kick", 100, 30);
    kit.entry(2, 42) = note("Lib Snare", 90, 100);
    return kit;
}

class LibraryNotes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        QFile f(folder.path() + "/source.kfg");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const std::string bytes = WriteKitFile(lib);
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
        f.close();
        HarnessOptions o;
        o.settings = {{"LibraryFolders", folder.path()}, {"ShowLibrary", "1"}};
        h = std::make_unique<Harness>(std::move(o));
        grid = h->parts().grid;
        libraryGrid = h->parts().libraryGrid;
        for (int n = 60; n <= 62; ++n) h->useNote(1, n, "Old");
        ui::LibraryDock* dock = h->parts().library;
        ASSERT_TRUE(QTest::qWaitFor([&] { return dock->idle() && dock->entries().size() == 1; }, 60000));
        EXPECT_FALSE(libraryGrid->isVisible());
        // One click on the row.
        QTreeView* list = dock->list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
        ASSERT_TRUE(libraryGrid->isVisible());
    }
    QPoint at(int set, int note) { return libraryGrid->visualRect(libraryGrid->cellIndex(set, note)).center(); }
    QPoint atDocument(int set, int note) {
        grid->scrollTo(grid->cellIndex(set, note));
        return grid->visualRect(grid->cellIndex(set, note)).center();
    }
    // Notes 40 to 42 of set 2, by a click and a Shift+click.
    void selectRun() {
        libraryGrid->scrollTo(libraryGrid->cellIndex(2, 42));
        QTest::mouseClick(libraryGrid->viewport(), Qt::LeftButton, {}, at(2, 40));
        QTest::mouseClick(libraryGrid->viewport(), Qt::LeftButton, Qt::ShiftModifier, at(2, 42));
        ASSERT_EQ(libraryGrid->selectedNotes(), std::make_pair(40, 42));
    }
    // The document holds the run from (set, first) on, and the module heard exactly that.
    void holdsTheRun(int set, int first, const std::vector<std::string>& sentBefore = {}) {
        for (int i = 0; i < 3; ++i) EXPECT_EQ(h->document().kit().entry(set, first + i), lib.entry(2, 40 + i)) << i;
        EXPECT_EQ(grid->cellText(set, first), "Lib Kick");
        EXPECT_EQ(grid->cellText(set, first + 1), "");
        EXPECT_EQ(grid->cellText(set, first + 2), "Lib Snare");
        EXPECT_EQ(h->takeSent(), join(join(join(sentBefore, dt1::noteAfterRx(set, first, bytesOf(lib.entry(2, 40)))),
                                           dt1::note(set, first + 1, bytesOf(lib.entry(2, 41)))),
                                      dt1::note(set, first + 2, bytesOf(lib.entry(2, 42)))));
    }

    Kit lib = libraryKit();
    QTemporaryDir folder;
    std::unique_ptr<Harness> h;
    ui::NoteGrid* grid = nullptr;
    ui::LibraryGrid* libraryGrid = nullptr;
};

TEST_F(LibraryNotes, OneClickShowsTheKitBesideTheGridReadOnly) {
    EXPECT_EQ(h->window().findChild<QLabel*>("LibraryGridTitle")->text(), "source.kfg");
    EXPECT_EQ(libraryGrid->model()->headerData(1, Qt::Horizontal).toString(), "Lib Set");
    EXPECT_EQ(libraryGrid->cellText(2, 40), "Lib Kick");
    EXPECT_EQ(libraryGrid->cellText(2, 41), "");
    const QRect mine(libraryGrid->mapTo(&h->window(), QPoint()), libraryGrid->size());
    const QRect document(grid->mapTo(&h->window(), QPoint()), grid->size());
    EXPECT_GE(mine.left(), document.right()) << "beside the grid";
    EXPECT_LT(mine.top(), document.center().y());
    // Keys that would change a note do nothing there, and nothing reaches the document.
    h->takeSent();
    QTest::mouseClick(libraryGrid->viewport(), Qt::LeftButton, {}, at(1, 0));
    QTest::keyClick(libraryGrid, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(libraryGrid->selectedNotes(), std::make_pair(0, 1));
    for (const auto& [key, mods] : {std::pair{Qt::Key_Delete, Qt::NoModifier}, {Qt::Key_X, Qt::ControlModifier},
                                    {Qt::Key_V, Qt::ControlModifier}})
        QTest::keyClick(libraryGrid, key, mods);
    EXPECT_FALSE(h->document().modified());
    EXPECT_TRUE(h->takeSent().empty());
}

TEST_F(LibraryNotes, CtrlCThereAndCtrlVInTheGridPasteTheRunAsOneUndoableStep) {
    selectRun();
    QTest::keyClick(libraryGrid, Qt::Key_C, Qt::ControlModifier);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, atDocument(1, 60));
    h->idle();
    h->idle();
    h->takeSent();
    QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
    holdsTheRun(1, 60);
    EXPECT_EQ(h->document().kit().entry(1, 63).used, 0) << "nothing beyond the run";

    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
    for (int n = 60; n <= 62; ++n) EXPECT_EQ(grid->cellText(1, n), "Old") << n;
    EXPECT_EQ(h->takeSent(), join(join(dt1::noteAfterRx(1, 60, plain(60)), dt1::note(1, 61, plain(61))),
                                  dt1::note(1, 62, plain(62))));
}

TEST_F(LibraryNotes, DraggingTheRunOntoACellPastesItThere) {
    selectRun();
    h->takeSent();
    // Pressed inside the run, the whole run goes.
    QTest::mousePress(libraryGrid->viewport(), Qt::LeftButton, {}, at(2, 41));
    QTest::mouseMove(libraryGrid->viewport(), at(2, 41) + QPoint(30, 0));
    // The offscreen platform ends a drag at once, dropping nothing: the drop the window system
    // would make is made here, from what the drag carries.
    auto* drag = libraryGrid->findChild<QDrag*>();
    ASSERT_NE(drag, nullptr) << "a drag started";
    QMimeData carried;
    for (const QString& format : drag->mimeData()->formats()) carried.setData(format, drag->mimeData()->data(format));
    const QPoint target = atDocument(2, 100);
    QTest::mouseMove(grid->viewport(), target);
    QDragEnterEvent enter(target, Qt::CopyAction, &carried, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDragMoveEvent move(target, Qt::CopyAction, &carried, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &move);
    ASSERT_TRUE(move.isAccepted());
    QDropEvent drop(QPointF(target), Qt::CopyAction, &carried, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &drop);
    QTest::mouseRelease(libraryGrid->viewport(), Qt::LeftButton, {}, at(2, 41));
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(grid->selectedSet() * 1000 + grid->selectedNote(), 2100) << "the cell dropped on is selected";
    holdsTheRun(2, 100);

    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
    const dt1::NoteBytes zeros{};
    EXPECT_EQ(h->takeSent(), join(join(dt1::note(2, 100, zeros), dt1::note(2, 101, zeros)), dt1::note(2, 102, zeros)));
    for (int n = 100; n <= 102; ++n) EXPECT_EQ(h->document().kit().entry(2, n).used, 0) << n;
}

}  // namespace
}  // namespace kf::test
