#include <gtest/gtest.h>

#include <QHeaderView>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTest>

#include "app/edit_commands.h"
#include "app/grid.h"
#include "app/panel.h"
#include "app/status_bar.h"
#include "gui_harness.h"

#include <QComboBox>
#include <QMenu>
#include <QProgressBar>
#include <QToolButton>

#include "app/controls.h"
#include "app/preview.h"
#include "app/view_options.h"

namespace kf::test {
namespace {

QPoint rowNumberAt(ui::NoteGrid* grid, int note) {
    grid->scrollTo(grid->cellIndex(1, note));
    QHeaderView* v = grid->verticalHeader();
    return {v->width() / 2, v->sectionViewportPosition(note) + v->sectionSize(note) / 2};
}

TEST(Grid, LayoutAndTexts) {
    Harness h;
    ui::NoteGrid* grid = h.parts().grid;
    EXPECT_EQ(grid->objectName(), "Grid1");
    EXPECT_EQ(grid->model()->rowCount(), 128);
    EXPECT_EQ(grid->model()->columnCount(), 2);
    EXPECT_EQ(grid->model()->headerData(0, Qt::Vertical).toString(), "   0");
    EXPECT_EQ(grid->model()->headerData(127, Qt::Vertical).toString(), " 127");
    EXPECT_EQ(grid->headerText(1), "UserDrum1");
    EXPECT_EQ(grid->columnWidth(0), 120);
    EXPECT_EQ(grid->verticalHeader()->width(), 44);
    EXPECT_EQ(grid->rowHeight(5), 21);
    EXPECT_TRUE(grid->hasFocus() || !h.window().isActiveWindow());
}

// What a widget has drawn since it was last cleared.
class Painted : public QObject {
public:
    explicit Painted(QWidget* w) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) region += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
    QRegion region;
};

// A text that changes is drawn again at once, not when something else happens to repaint it.
TEST(Grid, ANewTextIsDrawnAtOnce) {
    struct Case {
        const char* what;
        void (*change)(ui::NoteGrid*);
        QWidget* (*part)(ui::NoteGrid*);
        QRect (*where)(ui::NoteGrid*);
    };
    const Case cases[] = {
        {"a note's name", [](ui::NoteGrid* g) { g->setCellText(1, 5, "Snare"); },
         [](ui::NoteGrid* g) { return g->viewport(); },
         [](ui::NoteGrid* g) { return g->visualRect(g->cellIndex(1, 5)); }},
        {"a set's name", [](ui::NoteGrid* g) { g->setHeader(2, "Rock"); },
         [](ui::NoteGrid* g) { return g->horizontalHeader()->viewport(); },
         [](ui::NoteGrid* g) {
             QHeaderView* top = g->horizontalHeader();
             return QRect(top->sectionViewportPosition(1), 0, top->sectionSize(1), top->viewport()->height());
         }},
    };
    for (const Case& c : cases) {
        Harness h;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&h.window()));
        ui::NoteGrid* grid = h.parts().grid;
        QWidget* part = c.part(grid);
        part->repaint();
        QApplication::processEvents();
        Painted painted(part);
        c.change(grid);
        EXPECT_TRUE(QTest::qWaitFor([&] { return painted.region.contains(c.where(grid)); }, 30000)) << c.what;
    }
}

TEST(Grid, SelectionShowsTheCellInTheStatusBarAndSendsRxOfAUsedNote) {
    Harness h;
    h.useNote(1, 36);
    h.takeSent();
    h.select(2, 127);
    EXPECT_EQ(h.window().status()->cell(), "2,127");
    EXPECT_TRUE(h.takeSent().empty()) << "an empty note sends nothing";
    h.select(1, 0);
    EXPECT_EQ(h.window().status()->cell(), "1,  0");
    h.select(1, 36);
    EXPECT_EQ(h.takeSent(), (std::vector<std::string>{param(1, 36, 7, 0), param(1, 36, 8, 1)}));
    EXPECT_EQ(h.state().currentSet, 1);
    EXPECT_EQ(h.state().currentNote, 36);
    EXPECT_TRUE(h.parts().edit->entryCommandsEnabled());
}

TEST(Grid, RowNumberClickSoundsAUsedNoteAndTheReleaseTurnsItOff) {
    Harness h;
    h.useNote(1, 36);
    h.select(1, 10);
    h.takeSent();
    ui::NoteGrid* grid = h.parts().grid;
    const QPoint at = rowNumberAt(grid, 36);
    QTest::mousePress(grid->verticalHeader()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(h.takeSent(), (std::vector<std::string>{"C9 40", "99 24 7F", param(1, 36, 7, 0), param(1, 36, 8, 1)}));
    EXPECT_EQ(grid->selectedNote(), 36);
    QTest::mouseRelease(grid->verticalHeader()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(h.takeSent(), (std::vector<std::string>{"99 24 00"}));
    // an empty note only moves the selection; the release still ends the last sounded note
    const QPoint empty = rowNumberAt(grid, 50);
    QTest::mousePress(grid->verticalHeader()->viewport(), Qt::LeftButton, {}, empty);
    EXPECT_TRUE(h.takeSent().empty());
    EXPECT_EQ(grid->selectedNote(), 50);
    QTest::mouseRelease(grid->verticalHeader()->viewport(), Qt::LeftButton, {}, empty);
    EXPECT_EQ(h.takeSent(), (std::vector<std::string>{"99 24 00"}));
}

TEST(Grid, HeadersChangeTheSetAndTheCornerSendsAllSoundOff) {
    Harness h;
    h.select(1, 20);
    h.takeSent();
    ui::NoteGrid* grid = h.parts().grid;
    grid->Grid1MouseDown(Qt::LeftButton, 2, 0);
    EXPECT_EQ(grid->selectedSet(), 2);
    EXPECT_EQ(grid->selectedNote(), 20);
    grid->Grid1MouseDown(Qt::LeftButton, 0, 0);
    EXPECT_EQ(h.takeSent(), (std::vector<std::string>{"B9 78 00"}));
    EXPECT_EQ(grid->selectedSet(), 2);
    h.editor().preview().setPreview(false);
    grid->Grid1MouseDown(Qt::LeftButton, 0, 0);
    EXPECT_TRUE(h.takeSent().empty());
}

TEST(Grid, RightClickOnTheOtherSetMovesTheEditTargetAtOnce) {
    Harness h;
    h.select(1, 5);
    ui::NoteGrid* grid = h.parts().grid;
    grid->PopGrid1->setProperty("test", true);
    grid->Grid1MouseUp(Qt::RightButton, 2, 41, QPoint(10, 10));
    grid->PopGrid1->close();
    EXPECT_EQ(h.state().editSet, 2);
    EXPECT_EQ(h.state().editNote, 40);
    EXPECT_EQ(h.state().currentNote, 40);
    // a right click on a fixed cell leaves the selection alone
    grid->Grid1MouseUp(Qt::RightButton, 0, 3, QPoint(10, 10));
    grid->PopGrid1->close();
    EXPECT_EQ(grid->selectedNote(), 40);
}

TEST(Grid, IdleStepCatchesTheEditTargetUp) {
    Harness h;
    h.parts().grid->selectCell(2, 9);
    EXPECT_EQ(h.state().editNote, 0);
    h.idle();
    EXPECT_EQ(h.state().editSet, 2);
    EXPECT_EQ(h.state().editNote, 9);
}

TEST(Grid, NarrowWindowNarrowsTheLeftPanel) {
    Harness h;
    h.window().resize(900, 600);
    QApplication::processEvents();
    h.window().resize(300, 600);
    QApplication::processEvents();
    EXPECT_LE(h.window().leftPanel()->width(), h.window().centralWidget()->width() - 4);
}

QPoint cellAt(ui::NoteGrid* grid, int set, int note) {
    return grid->visualRect(grid->cellIndex(set, note)).center();
}

TEST(Grid, ADragKeepsTheHighlightAndTheCurrentCellOnThePressedCell) {
    Harness h;
    h.useNote(1, 10, "Ten");
    h.useNote(1, 13, "Thirteen");
    ui::NoteGrid* grid = h.parts().grid;
    QWidget* vp = grid->viewport();
    const QPoint from = cellAt(grid, 1, 10), to = cellAt(grid, 1, 13);
    QTest::mousePress(vp, Qt::LeftButton, {}, from);
    for (const QPoint& p : {from + QPoint(0, 10), to}) {
        QMouseEvent move(QEvent::MouseMove, p, vp->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
    }
    QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
    h.idle();
    ASSERT_EQ(grid->selectionModel()->selectedIndexes().size(), 1);
    EXPECT_EQ(grid->selectionModel()->selectedIndexes()[0].row(), 10) << "the highlight";
    EXPECT_EQ(grid->selectedNote(), 10) << "the current cell";
    EXPECT_EQ(h.window().status()->cell(), "1, 10");
    QTest::keyClick(grid, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(h.document().kit().entry(1, 10).used, 0) << "Cut acts on the highlighted cell";
    EXPECT_EQ(h.document().kit().entry(1, 13).used, 1);
}

TEST(Grid, AClickOnAVisibleRowNeverScrolls) {
    Harness h;
    ui::NoteGrid* grid = h.parts().grid;
    h.useNote(1, 0);
    QHeaderView* v = grid->verticalHeader();
    // The lowest row that is wholly in view.
    int lowest = grid->rowAt(grid->viewport()->height() - 1);
    if (v->sectionViewportPosition(lowest) + v->sectionSize(lowest) > grid->viewport()->height()) --lowest;
    ASSERT_GT(lowest, 5);
    const int scrolled = grid->verticalScrollBar()->value();
    const QPoint at(v->width() / 2, v->sectionViewportPosition(lowest) + v->sectionSize(lowest) / 2);
    for (int click = 0; click < 2; ++click) {
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(grid->selectedNote(), lowest) << "click " << click;
        EXPECT_EQ(grid->verticalScrollBar()->value(), scrolled);
    }
    // A move by program to a row out of view scrolls only as far as needed.
    grid->selectCell(1, lowest + 1);
    EXPECT_EQ(grid->verticalScrollBar()->value(), scrolled + 1);
}

TEST(Grid, ADoubleClickOnARowNumberSoundsTwiceAndShowsTheDataBox) {
    Harness h;
    h.useNote(1, 36);
    h.select(1, 36);
    h.parts().view->SetDataBoxVisible(false);
    h.takeSent();
    ui::NoteGrid* grid = h.parts().grid;
    QWidget* numbers = grid->verticalHeader()->viewport();
    const QPoint at = rowNumberAt(grid, 36);
    // As the window system delivers it to widgets: press, release, double click, release.
    QTest::mouseClick(numbers, Qt::LeftButton, {}, at);
    QTest::mouseDClick(numbers, Qt::LeftButton, {}, at);
    QTest::mouseRelease(numbers, Qt::LeftButton, {}, at);
    EXPECT_EQ(h.takeSent(), (std::vector<std::string>{"C9 40", "99 24 7F", "99 24 00", "C9 40", "99 24 7F", "99 24 00"}));
    EXPECT_TRUE(h.parts().view->dataBoxVisible());
}

TEST(Grid, OnlyTheLeftButtonActsOnAPress) {
    Harness h;
    h.select(1, 5);
    ui::NoteGrid* grid = h.parts().grid;
    for (Qt::MouseButton b : {Qt::MiddleButton, Qt::RightButton}) {
        QTest::mousePress(grid->viewport(), b, {}, cellAt(grid, 2, 8));
        EXPECT_EQ(grid->selectedSet(), 1);
        EXPECT_EQ(grid->selectedNote(), 5);
        QTest::mouseRelease(grid->viewport(), b, {}, cellAt(grid, 2, 8));
        grid->PopGrid1->close();
        if (b == Qt::MiddleButton) {
            EXPECT_EQ(grid->selectedNote(), 5) << "a middle click does nothing";
        }
    }
    EXPECT_EQ(grid->selectedSet(), 2) << "the right release moves the selection";
    EXPECT_EQ(grid->selectedNote(), 8);
    QTest::mouseDClick(grid->viewport(), Qt::MiddleButton, {}, cellAt(grid, 1, 9));
    EXPECT_EQ(grid->selectedNote(), 8);
}

}  // namespace
}  // namespace kf::test

namespace kf::test {
namespace {

TEST(Grid, ADoubleClickOnAPartlyShownRowNumberActsOnThatRowTwice) {
    Harness h;
    ui::NoteGrid* grid = h.parts().grid;
    QWidget* numbers = grid->verticalHeader()->viewport();
    // The row cut by the bottom of the grid.
    const int bottom = numbers->height() - 2;
    const int row = grid->verticalHeader()->logicalIndexAt(bottom);
    ASSERT_GT(row, 0);
    ASSERT_GT(grid->verticalHeader()->sectionViewportPosition(row) + grid->rowHeight(row), numbers->height())
        << "the grid's height leaves the last row partly shown";
    for (int n = row; n < row + 3; ++n) h.useNote(1, n);
    h.takeSent();
    // As a double click arrives: press, release, the second press as a double click, release.
    const QPoint at(10, bottom);
    QTest::mousePress(numbers, Qt::LeftButton, {}, at);
    QTest::mouseRelease(numbers, Qt::LeftButton, {}, at);
    QTest::mouseDClick(numbers, Qt::LeftButton, {}, at);
    QTest::mouseRelease(numbers, Qt::LeftButton, {}, at);
    std::vector<std::string> noteOns;
    for (const std::string& m : h.takeSent())
        if (m.rfind("99 ", 0) == 0 && m.substr(m.size() - 2) != "00") noteOns.push_back(m.substr(3, 2));
    const std::string hexRow = hex({static_cast<std::uint8_t>(row)});
    EXPECT_EQ(noteOns, (std::vector<std::string>{hexRow, hexRow})) << "both presses sound the row pressed";
    EXPECT_EQ(grid->selectedNote(), row);
}

}  // namespace
}  // namespace kf::test
