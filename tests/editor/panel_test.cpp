#include <gtest/gtest.h>

#include <QToolButton>

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTest>

#include "editor/controls.h"
#include "editor/grid.h"
#include "editor/panel.h"
#include "editor/preview.h"
#include "gui_harness.h"

namespace kf::test {
namespace {

const std::vector<std::string> kAudition36{"C9 40", "99 24 7F", "99 24 00"};

class Panel : public ::testing::Test {
protected:
    void SetUp() override {
        h = std::make_unique<Harness>();
        h->useNote(1, 36);
        h->select(1, 36);
        h->takeSent();
        panel = h->parts().panel;
    }
    std::unique_ptr<Harness> h;
    ui::ParameterPanel* panel = nullptr;
};

TEST_F(Panel, PageDownRaisesASliderByAPageAndPageUpLowersIt) {
    QTest::mouseClick(panel->trackBar(2), Qt::LeftButton);  // focus, and a value of its own
    const int from = panel->trackBar(2)->value();
    QTest::keyClick(panel->trackBar(2), Qt::Key_PageDown);
    EXPECT_EQ(panel->trackBar(2)->value(), std::min(127, from + 8));
    QTest::keyClick(panel->trackBar(2), Qt::Key_PageUp);
    QTest::keyClick(panel->trackBar(2), Qt::Key_PageUp);
    EXPECT_EQ(panel->trackBar(2)->value(), std::min(127, from + 8) - 16);
    QTest::keyClick(panel->trackBar(2), Qt::Key_Up);
    EXPECT_EQ(panel->trackBar(2)->value(), std::min(127, from + 8) - 8) << "Up is a page up the scale too";
}

TEST_F(Panel, PanSliderToZeroShowsRndAndSendsParameterFour) {
    panel->trackBar(3)->setValue(0);
    EXPECT_EQ(panel->memo(3)->text(), "Rnd");
    EXPECT_EQ(h->state().kit.entry(1, 36).pan, 0);
    EXPECT_EQ(h->takeSent(), join({param(1, 36, 4, 0)}, kAudition36));
    EXPECT_TRUE(h->state().modified);
    panel->trackBar(3)->setValue(64);
    EXPECT_EQ(panel->memo(3)->text(), "0");
}

TEST_F(Panel, EffectSendToZeroWithChorusSendsSixThenNine) {
    panel->trackBar(5)->setValue(40);
    h->takeSent();
    panel->trackBar(5)->setValue(0);
    EXPECT_EQ(h->takeSent(), join({param(1, 36, 6, 0), param(1, 36, 9, 0)}, kAudition36));
}

TEST_F(Panel, AssignGroupSendsButDoesNotAudition) {
    panel->trackBar(6)->setValue(3);
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{param(1, 36, 3, 3)}));
    EXPECT_TRUE(h->state().modified);
    EXPECT_EQ(panel->memo(6)->text(), "3");
    panel->trackBar(6)->setValue(0);
    EXPECT_EQ(panel->memo(6)->text(), QStringLiteral("なし"));
}

TEST_F(Panel, LevelAuditionsOnlyWhileAutoPreviewIsOn) {
    panel->trackBar(2)->setValue(100);
    EXPECT_EQ(h->takeSent(), join({param(1, 36, 2, 100)}, kAudition36));
    panel->auto_pClick();
    EXPECT_FALSE(h->state().autoPreview);
    panel->trackBar(2)->setValue(90);
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{param(1, 36, 2, 90)}));
}

TEST_F(Panel, UpDownClickAtItsLimitStillSendsButChangesNothing) {
    panel->upDown(2)->clickUp();  // level is already 127
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{param(1, 36, 2, 127)}));
    EXPECT_FALSE(h->state().modified);
    panel->upDown(1)->clickDown();
    EXPECT_EQ(panel->trackBar(1)->value(), 59);
    EXPECT_EQ(h->takeSent(), join({param(1, 36, 1, 59)}, kAudition36));
}

// A radio button answers a click on its round mark.
void clickIndicator(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2)); }

TEST_F(Panel, EffectTypeSendsTheNewEffectAndZeroesTheOtherOnlyWhenItChanges) {
    panel->trackBar(5)->setValue(50);
    h->takeSent();
    clickIndicator(panel->effectButton(1));
    // Delay takes the send, chorus goes to 0 on the module as in the Kit.
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{param(1, 36, 9, 50), param(1, 36, 6, 0)}));
    EXPECT_EQ(panel->label(5)->text(), "Delay");
    EXPECT_EQ(panel->trackBar(5)->property("helpContext").toInt(), 30);
    clickIndicator(panel->effectButton(1));
    EXPECT_TRUE(h->takeSent().empty());
    // Back to chorus: chorus 50, delay 0. Both effects never sound at once.
    clickIndicator(panel->effectButton(0));
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{param(1, 36, 6, 50), param(1, 36, 9, 0)}));
}

TEST_F(Panel, RxBoxesSendEveryTime) {
    panel->rxNoteOffBox()->click();
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{param(1, 36, 7, 1)}));
    EXPECT_EQ(h->state().kit.entry(1, 36).rxNoteOff, 1);
    panel->setRxNoteOff(1);
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{param(1, 36, 7, 1)}));
}

TEST_F(Panel, DefaultValueComesFromTheSourceInstrument) {
    // the shipped SC-88 STANDARD 1 (map 2, program 0), note 36
    DrumNoteEntry& e = h->state().kit.entry(1, 36);
    e.sourceMap = 2;
    e.sourceProgram = 0;
    e.sourceNote = 36;
    e.level = 10;
    h->parts().panel->showNote(1, 36);
    h->takeSent();
    panel->defClick(2);
    EXPECT_EQ(e.level, 127);
    EXPECT_EQ(h->takeSent(), join({param(1, 36, 2, 127)}, kAudition36));
    e.assignGroup = 5;
    panel->defClick(6);
    EXPECT_EQ(e.assignGroup, 0) << "the kick's own exclusive group";
    EXPECT_FALSE(panel->valueMenu(7)->actions().at(0)->isEnabled());
    EXPECT_TRUE(panel->valueMenu(6)->actions().at(0)->isEnabled());
}

TEST_F(Panel, PreviewOffSendsNothingAtAll) {
    h->editor().SetPreview(false);
    EXPECT_TRUE(h->takeSent().empty());
    panel->trackBar(2)->setValue(1);
    panel->trackBar(5)->setValue(0);
    panel->effectButton(1)->click();
    panel->rxNoteOnBox()->click();
    h->select(1, 37);
    h->select(1, 36);
    h->parts().grid->Grid1MouseDown(Qt::LeftButton, 0, 37);
    h->parts().grid->Grid1MouseUp(Qt::LeftButton, 0, 37, {});
    h->parts().preview->Preview2MouseDown();
    h->parts().preview->Preview2MouseUp();
    EXPECT_TRUE(h->takeSent().empty());
    EXPECT_EQ(h->state().kit.entry(1, 36).level, 1) << "changes still reach the Kit";
}

TEST_F(Panel, ThePreviewButtonOnAnEmptyNoteSoundsNothingYetItsReleaseSilences) {
    h->select(1, 5);
    h->takeSent();
    auto* button = h->window().findChild<QToolButton*>("Preview2Button");
    ASSERT_TRUE(button);
    QTest::mousePress(button, Qt::LeftButton);
    EXPECT_TRUE(h->takeSent().empty());
    QTest::mouseRelease(button, Qt::LeftButton);
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{"99 00 00"}));
}

TEST_F(Panel, EmptyNoteKeepsTheSlidersGreysThemAndEmptiesTheName) {
    panel->trackBar(2)->setValue(77);
    h->select(2, 100);
    EXPECT_EQ(panel->trackBar(2)->value(), 77);
    EXPECT_TRUE(panel->editInst()->text().isEmpty());
    EXPECT_FALSE(panel->trackBar(2)->isEnabled());
    h->select(1, 36);
    EXPECT_TRUE(panel->trackBar(2)->isEnabled());
    EXPECT_EQ(panel->editInst()->text(), "Inst");
}

TEST_F(Panel, InstrumentNameEditsTheEditTargetAndItsCell) {
    panel->editInst()->setFocus();
    typeText(panel->editInst(), "X");
    EXPECT_EQ(h->state().kit.entry(1, 36).name, "InstX");
    EXPECT_EQ(h->parts().grid->cellText(1, 36), "InstX");
    EXPECT_TRUE(h->state().modified);
    // at most 20 bytes of Shift-JIS: a kanji counts two
    panel->editInst()->setText(QString(18, 'a'));
    typeText(panel->editInst(), QStringLiteral("漢"));
    EXPECT_EQ(panel->editInst()->text(), QString(18, 'a') + QStringLiteral("漢"));
    typeText(panel->editInst(), QStringLiteral("b"));
    EXPECT_EQ(panel->editInst()->text().size(), 19);
}

TEST_F(Panel, SliderKeysMoveByAPageAndVelocityKeepsInStep) {
    ui::TrackBar* level = panel->trackBar(2);
    level->setValue(73);
    QTest::keyClick(level, Qt::Key_Down);
    EXPECT_EQ(level->value(), 65);
    QTest::keyClick(level, Qt::Key_Up);
    EXPECT_EQ(level->value(), 73);
    QTest::keyClick(level, Qt::Key_Right);
    EXPECT_EQ(level->value(), 74);
    h->takeSent();
    panel->velocityTrackBar()->setValue(100);
    EXPECT_EQ(panel->velocityUpDown()->position(), 100);
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{"C9 40", "99 24 64", "99 24 00"}));
    panel->velocityUpDown()->clickDown();
    EXPECT_EQ(panel->velocityTrackBar()->value(), 99);
}

TEST_F(Panel, AutoPreviewMenuFollowsThePreviewState) {
    QMenu* menu = panel->valueMenu(1);
    panel->Pop_Val1Popup(1);
    EXPECT_TRUE(menu->actions().at(1)->isChecked());
    EXPECT_TRUE(menu->actions().at(1)->isEnabled());
    h->editor().SetPreview(false);
    panel->Pop_Val1Popup(1);
    EXPECT_FALSE(menu->actions().at(1)->isEnabled());
}

}  // namespace
}  // namespace kf::test
