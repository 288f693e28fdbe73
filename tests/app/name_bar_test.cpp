// The name bar and the hold-to-sound buttons as a user meets them: typed text stays as typed,
// a name is committed once, when the focus goes to another control, and a held button sounds
// one note.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <qpa/qwindowsysteminterface.h>

#include "app/about_box.h"
#include "dt1.h"
#include "app/data_box.h"
#include "app/grid.h"
#include "app/name_bar.h"
#include "gs/sysex.h"
#include "gui_harness.h"

namespace kf::test {
namespace {

class NameBox : public ::testing::Test {
protected:
    void SetUp() override {
        h = std::make_unique<Harness>();
        bar = h->parts().nameBar;
        grid = h->parts().grid;
        h->window().activateWindow();
        QApplication::processEvents();
    }
    QLineEdit* edit(int set) { return bar->nameBox(set)->lineEdit(); }
    // Clicks into the box and types over its text.
    void typeInto(int set, const QString& text) {
        QTest::mouseClick(edit(set), Qt::LeftButton);
        edit(set)->selectAll();
        QTest::keyClicks(edit(set), text);
    }
    QPoint cell(int set, int note) { return grid->visualRect(grid->cellIndex(set, note)).center(); }
    void clickGrid(int set, int note) { QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell(set, note)); }
    // The name message and program change, then the clicked cell's release note-off.
    std::vector<std::string> nameSent(int set) {
        return {dt1::setName(set, h->document().kit().setName(set)), set == 1 ? "C9 40" : "C9 41", "99 00 00"};
    }
    std::unique_ptr<Harness> h;
    ui::NameBar* bar = nullptr;
    ui::NoteGrid* grid = nullptr;
};

TEST_F(NameBox, WhatWasTypedIsWhatIsShownAndCommittedLetterForLetter) {
    for (const QString& typed : {QStringLiteral("jazz"), QStringLiteral("standard")}) {
        typeInto(1, typed);
        EXPECT_TRUE(bar->suggestions(1)->popup()->isVisible()) << "suggestions appear";
        QTest::keyClick(edit(1), Qt::Key_Return);
        EXPECT_EQ(edit(1)->text(), typed) << "Enter keeps the typed letters";
        h->takeSent();
        clickGrid(1, 20);
        EXPECT_EQ(h->document().kit().setName(1), typed.toStdString());
        EXPECT_EQ(bar->nameBox(1)->currentText(), typed);
        EXPECT_EQ(h->takeSent(), nameSent(1));
    }
    // Picking a suggestion is what replaces the text.
    typeInto(2, "jaz");
    QAbstractItemView* popup = bar->suggestions(2)->popup();
    ASSERT_TRUE(popup->isVisible());
    QTest::keyClick(popup, Qt::Key_Down);
    QTest::keyClick(popup, Qt::Key_Return);
    EXPECT_EQ(edit(2)->text(), "JAZZ");
}

TEST_F(NameBox, AMenuADialogOrTheBoxesOwnListCommitNothing) {
    typeInto(1, "abc");
    h->takeSent();
    // Alt alone, and Escape out of the menu.
    QTest::keyClick(edit(1), Qt::Key_Alt);
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : edit(1), Qt::Key_Escape);
    // The about box, opened and closed.
    QTimer::singleShot(0, [&] { h->window().aboutBox()->reject(); });
    h->window().About1Click();
    h->window().activateWindow();  // as the window system does when the box closes
    QApplication::processEvents();
    // Another program's window takes the focus, then gives it back.
    {
        QWidget other;
        other.show();
        other.activateWindow();
        QApplication::processEvents();
        h->window().activateWindow();
        QApplication::processEvents();
    }
    // The box's own drop-down list, opened and closed.
    bar->nameBox(1)->showPopup();
    QApplication::processEvents();
    bar->nameBox(1)->hidePopup();
    h->window().activateWindow();
    QApplication::processEvents();
    EXPECT_TRUE(h->takeSent().empty());
    EXPECT_EQ(h->document().kit().setName(1), "UserDrum1");
    // Then another control takes the focus: committed once, and the click selects too.
    clickGrid(2, 15);
    EXPECT_EQ(h->document().kit().setName(1), "abc");
    EXPECT_EQ(grid->selectedSet(), 2);
    EXPECT_EQ(grid->selectedNote(), 15);
    EXPECT_EQ(h->takeSent(), nameSent(1));
    clickGrid(2, 16);
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{"99 00 00"})) << "committed once";
}

TEST_F(NameBox, AClickIntoTheGridWhileSuggestionsShowCommitsAndSelects) {
    typeInto(1, "ja");
    QAbstractItemView* popup = bar->suggestions(1)->popup();
    ASSERT_TRUE(popup->isVisible());
    h->takeSent();
    // The window system gives the press to the open pop-up, wherever the pointer is.
    const QPoint global = grid->viewport()->mapToGlobal(cell(1, 12));
    QTest::mousePress(popup, Qt::LeftButton, {}, popup->mapFromGlobal(global));
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, cell(1, 12));
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(grid->selectedNote(), 12) << "the click selected";
    EXPECT_EQ(h->document().kit().setName(1), "ja");
    EXPECT_EQ(h->takeSent(), nameSent(1));
}

TEST_F(NameBox, TheLabelShowsItsWholeTextAndTheKanaTipGoes) {
    QLabel* label = bar->label(1);
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
    QTest::mouseClick(edit(1), Qt::LeftButton);
    typeText(edit(1), QStringLiteral("ｱ"));
    EXPECT_FALSE(bar->nameBox(1)->toolTip().isEmpty());
    typeText(edit(1), "a");
    // The tip's own time is ten seconds; the next ordinary character hides it at once.
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 30000));
}

TEST_F(NameBox, ARightClickOnALabelOrTheBarItselfOpensTheViewPopUp) {
    for (QWidget* w : {static_cast<QWidget*>(bar->findChild<QLabel*>("LabelDN1")),
                       static_cast<QWidget*>(bar->findChild<QLabel*>("LabelDN2")), static_cast<QWidget*>(bar)}) {
        ASSERT_NE(w, nullptr);
        QTest::mouseClick(w, Qt::RightButton, {}, QPoint(2, 2));
        QWidget* popup = QApplication::activePopupWidget();
        ASSERT_NE(popup, nullptr) << w->objectName().toStdString();
        EXPECT_EQ(popup->objectName(), "PopView1");
        popup->close();
    }
}

TEST_F(NameBox, ATwelveLetterNameShowsWhole) {
    QComboBox* box = bar->nameBox(1);
    typeInto(1, "WWWWWWWWWWWW");
    ASSERT_EQ(box->currentText(), "WWWWWWWWWWWW");
    const int text = box->lineEdit()->fontMetrics().horizontalAdvance(box->currentText());
    // A line edit keeps 2 pixels free on either side of its text.
    EXPECT_GE(box->lineEdit()->contentsRect().width() - 4, text) << "no letter hidden behind the box's edge";
}

struct HoldCase {
    const char* button;
};

class HoldToSound : public ::testing::TestWithParam<HoldCase> {};

// The data box's button or the tool bar's, with set 1 note 36 in use and selected.
QWidget* buttonOverANote(Harness& h, bool dataBox) {
    h.useNote(1, 36);
    h.select(1, 36);
    return dataBox ? static_cast<QWidget*>(h.parts().dataBox->previewButton())
                   : h.window().findChild<QToolButton*>("Preview2Button");
}

TEST_P(HoldToSound, OnePressIsOneNoteItsReleaseOneNoteOff) {
    Harness h;
    const bool dataBox = std::string(GetParam().button) == "SP_Preview2";
    QWidget* button = buttonOverANote(h, dataBox);
    ASSERT_NE(button, nullptr);
    h.takeSent();
    const QPoint in = button->rect().center(), out = in + QPoint(0, 200);
    QTest::mousePress(button, Qt::LeftButton, {}, in);
    const auto on = h.takeSent();
    ASSERT_FALSE(on.empty());
    for (const QPoint& p : {out, in, out}) {
        QMouseEvent move(QEvent::MouseMove, p, button->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(button, &move);
    }
    EXPECT_TRUE(h.takeSent().empty()) << "leaving and coming back sends nothing";
    // A right button released while the left is held ends the note all the same.
    QTest::mouseRelease(button, Qt::RightButton, {}, out);
    const auto off = h.takeSent();
    ASSERT_EQ(off.size(), 1u);
    EXPECT_EQ(off[0].substr(0, 2), on.back().substr(0, 2)) << "a note-off on the same channel";
    EXPECT_EQ(off[0].substr(off[0].size() - 2), "00");
    QTest::mouseRelease(button, Qt::LeftButton, {}, out);
    QTest::mousePress(button, Qt::MiddleButton, {}, in);
    QTest::mouseRelease(button, Qt::MiddleButton, {}, in);
    if (dataBox) {
        EXPECT_TRUE(h.takeSent().empty()) << "one release per press, and only the left button sounds";
    } else {
        // The tool bar's button: every release silences the grid note, whichever button.
        EXPECT_EQ(h.takeSent(), (std::vector<std::string>{off[0], off[0]}));
    }
}

// A press or release at the button's centre as the window system delivers it, so that Qt makes
// the context menu event of a right press and routes releases to an open pop-up, as on a desktop.
void fromTheWindowSystem(QWidget* button, QEvent::Type type, Qt::MouseButton which, Qt::MouseButtons held) {
    QWidget* top = button->window();
    const QPoint local = button->mapTo(top, button->rect().center());
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::SynchronousDelivery>(
        top->windowHandle(), local, top->mapToGlobal(local), held, which, type);
    QApplication::processEvents();
}

// What else opens while the button is held never keeps a note sounding, nor opens over it.
TEST_P(HoldToSound, EveryReleaseEndsTheNoteWhateverOpenedMeanwhile) {
    Harness h;
    const bool dataBox = std::string(GetParam().button) == "SP_Preview2";
    QWidget* button = buttonOverANote(h, dataBox);
    ASSERT_NE(button, nullptr);
    h.window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&h.window()));
    h.takeSent();
    constexpr auto press = QEvent::MouseButtonPress, release = QEvent::MouseButtonRelease;
    // A right press on the button: no pop-up of the window's over it to take the releases.
    fromTheWindowSystem(button, press, Qt::LeftButton, Qt::LeftButton);
    ASSERT_FALSE(h.takeSent().empty());
    bool popUp = false;
    QTimer::singleShot(0, button, [&] {
        if (QWidget* p = QApplication::activePopupWidget()) popUp = true, p->close();
    });
    fromTheWindowSystem(button, press, Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    EXPECT_FALSE(popUp);
    fromTheWindowSystem(button, release, Qt::RightButton, Qt::LeftButton);
    fromTheWindowSystem(button, release, Qt::LeftButton, Qt::NoButton);
    // The first release ends the held note; the tool bar's button silences on every release.
    EXPECT_EQ(h.takeSent().size(), dataBox ? 1u : 2u);
    // A pop-up opened while the button is held takes the release: the note ends all the same.
    fromTheWindowSystem(button, press, Qt::LeftButton, Qt::LeftButton);
    ASSERT_FALSE(h.takeSent().empty());
    QMenu menu;
    menu.addAction("x");
    menu.popup(button->mapToGlobal(QPoint(0, 40)));
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 30000));
    fromTheWindowSystem(button, release, Qt::LeftButton, Qt::NoButton);
    menu.close();
    const auto off = h.takeSent();
    ASSERT_EQ(off.size(), 1u);
    EXPECT_EQ(off[0].substr(off[0].size() - 2), "00");
}

TEST(HoldToSound, TheDataBoxButtonWithNoInstrumentSendsNothing) {
    Harness h;
    // A drum set list with nothing chosen: no instrument in the list either.
    h.parts().dataBox->mapList()->setCurrentIndex(-1);
    h.parts().dataBox->FillInstrumentList();
    h.takeSent();
    QWidget* button = h.parts().dataBox->previewButton();
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
    EXPECT_TRUE(h.takeSent().empty());
}

INSTANTIATE_TEST_SUITE_P(Buttons, HoldToSound, ::testing::Values(HoldCase{"Preview2"}, HoldCase{"SP_Preview2"}),
                         [](const auto& info) { return std::string(info.param.button); });

}  // namespace
}  // namespace kf::test
