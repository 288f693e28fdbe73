#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <functional>

#include "dt1.h"
#include "app/controls.h"
#include "app/grid.h"
#include "app/panel.h"
#include "gui_harness.h"

namespace kf::test {
namespace {

// Program change to user set 1 on channel 10, then note 36 on at the panel's velocity and off.
const std::vector<std::string> kAudition36{"C9 40", "99 24 7F", "99 24 00"};

std::string p36(int parameter, int value) { return dt1::noteParameter(1, 36, parameter, value); }
// Data messages, then the note heard with them.
std::vector<std::string> heard(const std::vector<std::string>& data) { return join(data, kAudition36); }

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

using Act = std::function<void(ui::ParameterPanel*)>;

// A radio button or check box answers a click on its mark.
void clickIndicator(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2)); }
void clickArrow(ui::UpDown* upDown, bool up) {
    QTest::mouseClick(upDown->findChildren<QToolButton*>().at(up ? 0 : 1), Qt::LeftButton);
}
Act key(int row, Qt::Key k) { return [=](ui::ParameterPanel* p) { QTest::keyClick(p->trackBar(row), k); }; }
Act arrow(int row, bool up) { return [=](ui::ParameterPanel* p) { clickArrow(p->upDown(row), up); }; }
// The value menu's items, as a right click and a choice reach them.
Act chooseDefault(int row) { return [=](ui::ParameterPanel* p) { p->valueMenu(row)->actions().at(0)->trigger(); }; }
void toggleAutoPreview(ui::ParameterPanel* p) { p->valueMenu(2)->actions().at(1)->trigger(); }
void delay(ui::ParameterPanel* p) { clickIndicator(p->effectButton(1)); }
void chorus(ui::ParameterPanel* p) { clickIndicator(p->effectButton(0)); }
void sendUpAPage(ui::ParameterPanel* p) { key(5, Qt::Key_Up)(p); }
void nothing(ui::ParameterPanel*) {}

// One user action on note 36 of set 1, after a set-up whose messages do not count. The note
// starts as Harness::useNote leaves it: play note 60, level 127, pan 64, reverb 127, chorus
// with no send, no assign group, Rx note on only, from SC-88 STANDARD 1.
struct SendRow {
    const char* name;
    Act arrange, act;
    std::vector<std::string> sent;
    bool modified = true;  // by the action
    int memoRow = 0;       // and the value box of this row then reads memo
    const char* memo = "";
    std::function<void(const DrumNoteEntry&, ui::ParameterPanel*)> check = [](auto&, auto*) {};
};
void PrintTo(const SendRow& row, std::ostream* os) { *os << row.name; }
constexpr auto byName = [](const auto& info) { return std::string(info.param.name); };

class PanelSends : public Panel, public ::testing::WithParamInterface<SendRow> {
protected:
    void play(bool preview);
};

void PanelSends::play(bool preview) {
    const SendRow& row = GetParam();
    h->editor().preview().setPreview(preview);
    row.arrange(panel);
    h->takeSent();
    ui::EditorTestAccess::setModified(h->editor(), false);
    row.act(panel);
    EXPECT_EQ(h->takeSent(), preview ? row.sent : std::vector<std::string>{});
    EXPECT_EQ(h->document().modified(), row.modified);
    if (row.memoRow) {
        EXPECT_EQ(panel->memo(row.memoRow)->text(), QString::fromUtf8(row.memo));
    }
    row.check(h->document().kit().entry(1, 36), panel);
}

TEST_P(PanelSends, ExactlyTheseMessages) { play(true); }
// With preview off the module hears nothing at all, yet the kit changes just the same.
TEST_P(PanelSends, NothingWithPreviewOff) { play(false); }

const SendRow kSendRows[] = {
    {"PanHomeIsRandomAndSendsParameterFour", nothing, key(3, Qt::Key_Home), heard({p36(4, 0)}), true, 3, "Rnd",
     [](const DrumNoteEntry& e, auto*) { EXPECT_EQ(e.pan, 0); }},
    {"PanBackToTheCentre", key(3, Qt::Key_Left), key(3, Qt::Key_Right), heard({p36(4, 64)}), true, 3, "0"},
    {"LevelDownAPage", nothing, key(2, Qt::Key_Down), heard({p36(2, 119)}), true, 2, "119",
     [](const DrumNoteEntry& e, auto*) { EXPECT_EQ(e.level, 119); }},
    {"LevelWithoutAutoPreviewOnlySends", toggleAutoPreview, key(2, Qt::Key_Down), {p36(2, 119)}},
    {"AssignGroupSendsButDoesNotAudition", nothing, key(6, Qt::Key_Right), {p36(3, 1)}, true, 6, "1"},
    {"AssignGroupZeroIsNone", key(6, Qt::Key_Right), key(6, Qt::Key_Left), {p36(3, 0)}, true, 6, "なし"},
    {"EffectSendToZeroWithChorusSendsSixThenNine", sendUpAPage, key(5, Qt::Key_Home), heard({p36(6, 0), p36(9, 0)})},
    // Delay takes the send, chorus goes to 0 on the module as in the kit: both effects never
    // sound at once.
    {"DelayTakesTheSendAndZeroesChorus", sendUpAPage, delay, {p36(9, 8), p36(6, 0)}, true, 0, "",
     [](const DrumNoteEntry& e, ui::ParameterPanel* p) {
         EXPECT_EQ(e.effectType, 1);
         EXPECT_EQ(p->label(5)->text(), "Delay");
         EXPECT_EQ(p->trackBar(5)->property("helpContext").toInt(), 30);
     }},
    {"TheSameEffectAgainSendsNothing", [](auto* p) { sendUpAPage(p), delay(p); }, delay, {}, false},
    {"BackToChorusZeroesDelay", [](auto* p) { sendUpAPage(p), delay(p); }, chorus, {p36(6, 8), p36(9, 0)}},
    {"UpArrowAtTheLimitStillSendsButChangesNothing", nothing, arrow(2, true), {p36(2, 127)}, false, 2, "127"},
    {"DownArrowOnThePlayNote", nothing, arrow(1, false), heard({p36(1, 59)}), true, 1, "59",
     [](const DrumNoteEntry& e, auto*) { EXPECT_EQ(e.playNote, 59); }},
    {"RxNoteOffBox", nothing, [](auto* p) { clickIndicator(p->rxNoteOffBox()); }, {p36(7, 1)}, true, 0, "",
     [](const DrumNoteEntry& e, auto*) { EXPECT_EQ(e.rxNoteOff, 1); }},
    {"RxNoteOnBox", nothing, [](auto* p) { clickIndicator(p->rxNoteOnBox()); }, {p36(8, 0)}, true, 0, "",
     [](const DrumNoteEntry& e, auto*) { EXPECT_EQ(e.rxNoteOn, 0); }},
    // A value set again by the program is sent again: the module may have lost it.
    {"RxNoteOffSetAgainSendsAgain", [](auto* p) { clickIndicator(p->rxNoteOffBox()); },
     [](auto* p) { p->setRxNoteOff(1); }, {p36(7, 1)}, false},
    // The shipped SC-88 STANDARD 1 kick: level 127, the kick's own exclusive group none.
    {"DefaultLevelComesFromTheSourceInstrument", key(2, Qt::Key_Home), chooseDefault(2), heard({p36(2, 127)}), true,
     2, "127"},
    {"DefaultAssignGroupIsTheKicksOwn", key(6, Qt::Key_End), chooseDefault(6), {p36(3, 0)}, true, 6, "なし",
     [](const DrumNoteEntry& e, ui::ParameterPanel* p) {
         EXPECT_EQ(e.assignGroup, 0);
         EXPECT_FALSE(p->valueMenu(7)->actions().at(0)->isEnabled()) << "the source map has no default";
     }},
    {"VelocityAuditionsWithoutSendingData", nothing,
     [](auto* p) { QTest::keyClick(p->velocityTrackBar(), Qt::Key_Down); }, {"C9 40", "99 24 77", "99 24 00"}, false},
    {"VelocityArrowAuditions", nothing, [](auto* p) { clickArrow(p->velocityUpDown(), false); },
     {"C9 40", "99 24 7E", "99 24 00"}, false},
};
INSTANTIATE_TEST_SUITE_P(Panel, PanelSends, ::testing::ValuesIn(kSendRows), byName);

// Keys on a slider, from 73: the trackbars' own page of 8, Page Down raising.
struct KeyRow {
    const char* name;
    int from;
    Qt::Key key;
    int to;
};
void PrintTo(const KeyRow& row, std::ostream* os) { *os << row.name; }

class SliderKeys : public Panel, public ::testing::WithParamInterface<KeyRow> {};

TEST_P(SliderKeys, MoveTheLevel) {
    ui::TrackBar* level = panel->trackBar(2);
    level->setValue(GetParam().from);
    QTest::keyClick(level, GetParam().key);
    EXPECT_EQ(level->value(), GetParam().to);
}

const KeyRow kKeyRows[] = {
    {"PageDownRaisesAPage", 73, Qt::Key_PageDown, 81}, {"PageUpLowersAPage", 73, Qt::Key_PageUp, 65},
    {"UpRaisesAPage", 73, Qt::Key_Up, 81},             {"DownLowersAPage", 73, Qt::Key_Down, 65},
    {"RightRaisesOne", 73, Qt::Key_Right, 74},         {"LeftLowersOne", 73, Qt::Key_Left, 72},
    {"APageStopsAtTheTop", 125, Qt::Key_PageDown, 127}, {"APageStopsAtTheBottom", 5, Qt::Key_Down, 0},
    {"HomeIsTheBottom", 73, Qt::Key_Home, 0},          {"EndIsTheTop", 73, Qt::Key_End, 127},
};
INSTANTIATE_TEST_SUITE_P(Panel, SliderKeys, ::testing::ValuesIn(kKeyRows), byName);

TEST_F(Panel, TheVelocityArrowsAndSliderKeepInStep) {
    QTest::keyClick(panel->velocityTrackBar(), Qt::Key_Down);
    EXPECT_EQ(panel->velocityUpDown()->position(), 119);
    clickArrow(panel->velocityUpDown(), false);
    EXPECT_EQ(panel->velocityTrackBar()->value(), 118);
}

TEST_F(Panel, PreviewOffSendsNothingAtAll) {
    h->editor().preview().setPreview(false);
    EXPECT_TRUE(h->takeSent().empty());
    h->select(1, 37);
    h->select(1, 36);
    h->parts().grid->Grid1MouseDown(Qt::LeftButton, 0, 37);
    h->parts().grid->Grid1MouseUp(Qt::LeftButton, 0, 37, {});
    auto* button = h->window().findChild<QToolButton*>("Preview2Button");
    ASSERT_TRUE(button);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(h->takeSent().empty());
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
    EXPECT_EQ(h->document().kit().entry(1, 36).name, "InstX");
    EXPECT_EQ(h->parts().grid->cellText(1, 36), "InstX");
    EXPECT_TRUE(h->document().modified());
    // at most 20 bytes of Shift-JIS: a kanji counts two
    panel->editInst()->setText(QString(18, 'a'));
    typeText(panel->editInst(), QStringLiteral("漢"));
    EXPECT_EQ(panel->editInst()->text(), QString(18, 'a') + QStringLiteral("漢"));
    typeText(panel->editInst(), QStringLiteral("b"));
    EXPECT_EQ(panel->editInst()->text().size(), 19);
}

TEST_F(Panel, AutoPreviewMenuFollowsThePreviewState) {
    QMenu* menu = panel->valueMenu(1);
    panel->Pop_Val1Popup(1);
    EXPECT_TRUE(menu->actions().at(1)->isChecked());
    EXPECT_TRUE(menu->actions().at(1)->isEnabled());
    h->editor().preview().setPreview(false);
    panel->Pop_Val1Popup(1);
    EXPECT_FALSE(menu->actions().at(1)->isEnabled());
}

}  // namespace
}  // namespace kf::test
