#include <gtest/gtest.h>

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QSlider>
#include <QSpinBox>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/about_box.h"
#include "app/help.h"
#include "app/options_dialog.h"
#include "app/controls.h"
#include "app/data_box.h"
#include "app/grid.h"
#include "app/name_bar.h"
#include "app/panel.h"
#include "app/preview.h"
#include "app/status_bar.h"
#include "app/view_options.h"
#include "platform/sound_fonts.h"
#include "dt1.h"
#include "gui_harness.h"

namespace kf::test {
namespace {

const std::string kRhythm = "F0 41 10 42 12 40 1A 15 02 0F F7";

TEST(View, HidingBothBarsHidesTheBarAreaAndOneComesBackAlone) {
    Harness h;
    ui::ViewOptions* v = h.parts().view;
    QWidget* central = h.window().centralWidget();
    const int topBefore = central->geometry().top();
    v->SetToolBarVisible(false);
    v->SetNameBarVisible(false);
    QApplication::processEvents();
    EXPECT_FALSE(h.window().toolBar()->isVisible());
    EXPECT_FALSE(h.parts().nameBar->isVisible());
    EXPECT_LT(central->geometry().top(), topBefore) << "the sheet moves up to the menu bar";
    v->SetNameBarVisible(true);
    QApplication::processEvents();
    EXPECT_TRUE(h.parts().nameBar->isVisible());
    EXPECT_FALSE(h.window().toolBar()->isVisible());
}

// Each bar has an item in the View menu and one in the window's pop-up menu: either hides or
// shows the bar, and both carry its check mark.
using V = ui::ViewOptions;
struct BarRow {
    const char* name;
    QAction *V::*menuItem, *V::*popupItem;
    bool (V::*visible)() const;
    const char* bar;  // the widget's object name
};
void PrintTo(const BarRow& row, std::ostream* os) { *os << row.name; }

class BarItems : public ::testing::TestWithParam<BarRow> {};

TEST_P(BarItems, HideAndShowTheBarWithBothMarksInStep) {
    Harness h;
    V* v = h.parts().view;
    QAction *menu = v->*GetParam().menuItem, *popup = v->*GetParam().popupItem;
    QWidget* bar = h.window().findChild<QWidget*>(GetParam().bar);
    ASSERT_TRUE(bar);
    for (bool shown : {false, true}) {
        (shown ? menu : popup)->trigger();
        EXPECT_EQ(menu->isChecked(), shown);
        EXPECT_EQ(popup->isChecked(), shown);
        EXPECT_EQ((v->*GetParam().visible)(), shown);
        EXPECT_EQ(bar->isVisibleTo(&h.window()), shown);
    }
}

const BarRow kBarRows[] = {
    {"ToolBar", &V::Tool1, &V::Tool2, &V::toolBarVisible, "ToolBar1"},
    {"NameBar", &V::DrumName1, &V::DrumName2, &V::nameBarVisible, "ToolBar2"},
    {"DataBox", &V::Data1, &V::Data2, &V::dataBoxVisible, "DataBox1"},
    {"StatusBar", &V::Status1, &V::Status2, &V::statusBarVisible, "StatusBar1"},
};
INSTANTIATE_TEST_SUITE_P(View, BarItems, ::testing::ValuesIn(kBarRows), [](const auto& i) { return i.param.name; });

TEST(View, MoveUpPutsTheBoxAboveTheGridAndFlipsTheItems) {
    Harness h;
    ui::DataBox* box = h.parts().dataBox;
    // In the window's own terms: the grid may lie in a box of its own.
    const auto top = [](QWidget* w) { return w->mapTo(w->window(), QPoint(0, 0)).y(); };
    EXPECT_TRUE(box->DataUp1->isEnabled());
    EXPECT_FALSE(box->DataDown1->isEnabled());
    box->DataUp1->trigger();
    QApplication::processEvents();
    EXPECT_LT(top(box), top(h.parts().grid));
    EXPECT_FALSE(box->DataUp1->isEnabled());
    EXPECT_TRUE(box->DataDown1->isEnabled());
    box->DataDown1->trigger();
    QApplication::processEvents();
    EXPECT_GT(top(box), top(h.parts().grid));
    box->DataClose1->trigger();
    EXPECT_FALSE(h.parts().view->dataBoxVisible());
}

TEST(View, KeepInScreenPushesBackAndShrinksButLeavesAMaximizedWindow) {
    Harness h;
    ui::MainWindow& w = h.window();
    const QRect area(0, 0, 1000, 700);
    w.resize(400, 300);
    w.move(800, 100);
    QApplication::processEvents();
    w.KeepInScreen(area);
    QApplication::processEvents();
    EXPECT_EQ(w.frameGeometry().right() + 1, 1000);
    w.resize(400, 900);
    w.move(10, 10);
    QApplication::processEvents();
    w.KeepInScreen(area);
    QApplication::processEvents();
    EXPECT_EQ(w.frameGeometry().height(), 700);
    EXPECT_EQ(w.frameGeometry().top(), 0);
    w.showMaximized();
    QApplication::processEvents();
    const QRect maximized = w.frameGeometry();
    w.KeepInScreen(QRect(0, 0, 100, 100));
    EXPECT_EQ(w.frameGeometry(), maximized);
}

// The velocity slider on the tool bar folds away when the window shrinks: the focus it had goes
// to the grid, not into the first name box, where the next key would rename the set.
TEST(View, ShrinkingTheWindowAwayFromAFocusedToolBarControlLeavesTheFocusInTheGrid) {
    Harness h;
    ui::MainWindow& w = h.window();
    w.show();
    w.resize(1024, 720);
    QApplication::processEvents();
    auto* slider = w.findChild<QSlider*>("TrackBar10");
    ASSERT_TRUE(slider && slider->isVisible());
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, slider->rect().center());
    ASSERT_EQ(QApplication::focusWidget(), slider);
    for (int width = 1000; width >= 300 && slider->isVisible(); width -= 50) {
        w.resize(width, 600);
        QApplication::processEvents();
    }
    // Where fonts are narrower the whole tool bar fits even the narrowest window: nothing folds.
    if (slider->isVisible()) GTEST_SKIP() << "the tool bar fits the narrowest window, " << w.width() << " wide";
    ASSERT_TRUE(QApplication::focusWidget());
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "Grid1");
}

TEST(View, HintLine) {
    Harness h;
    h.window().AppHint(QString());
    EXPECT_EQ(h.window().status()->hint(), QStringLiteral("ﾍﾙﾌﾟを表示するには [F1] を押してください。"));
    QStatusTipEvent tip(QStringLiteral("音量を変更します。"));
    QApplication::sendEvent(h.parts().panel->trackBar(2), &tip);
    EXPECT_EQ(h.window().status()->hint(), QStringLiteral("音量を変更します。"));
}

class Options : public ::testing::Test {
protected:
    void SetUp() override {
        h = std::make_unique<Harness>();
        dlg = h->window().optionsDialog();
        h->takeSent();
    }
    void ok() {
        dlg->OKBtnClick();
        dlg->hide();
    }
    std::unique_ptr<Harness> h;
    ui::OptionsDialog* dlg = nullptr;
};

TEST_F(Options, TabsInOrderWithTheirHelp) {
    QTabWidget* tabs = dlg->pageControl();
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("ﾌｧｲﾙ"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("表示"));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("MIDI出力"));
    EXPECT_EQ(tabs->tabText(3), QStringLiteral("ﾃﾞｰﾀ入力"));
    int opened = -1;
    dlg->openHelp = [&](int c) { opened = c; };
    for (int i = 0; i < 4; ++i) {
        tabs->setCurrentIndex(i);
        dlg->HelpBtnClick();
        EXPECT_EQ(opened, 39 + i);
    }
}

TEST_F(Options, CancelChangesNothingAndTheNextShowingShowsTheOldValues) {
    dlg->FormShow();
    dlg->checkComment1->setChecked(false);
    dlg->fileType->button(2)->setChecked(true);
    dlg->checkTool1->setChecked(false);
    dlg->checkPreview1->setChecked(false);
    dlg->reject();
    EXPECT_TRUE(h->state().options.comment);
    EXPECT_EQ(h->state().options.fileType, 1);
    EXPECT_TRUE(h->parts().view->toolBarVisible());
    EXPECT_TRUE(h->session().preview());
    dlg->FormShow();
    EXPECT_TRUE(dlg->checkComment1->isChecked());
    EXPECT_EQ(dlg->fileType->checkedId(), 0);
    EXPECT_TRUE(dlg->checkTool1->isChecked());
    EXPECT_TRUE(h->takeSent().empty());
}

TEST_F(Options, DirectoryAtStartUpEmptiesTheSetting) {
    h->changeOptions([](ui::Options& o) { o.directory = "/tmp"; });
    dlg->FormShow();
    EXPECT_TRUE(dlg->rbIo2->isChecked());
    EXPECT_TRUE(dlg->edit1->isEnabled());
    dlg->rbIo1->setChecked(true);
    EXPECT_FALSE(dlg->edit1->isEnabled());
    EXPECT_FALSE(dlg->cmdDir->isEnabled());
    ok();
    EXPECT_TRUE(h->state().options.directory.isEmpty());
}

TEST_F(Options, TheSoundFontRowNamesTheFilesInUseAndItsButtonChoosesAnother) {
    if (!KITFORGE_BUILT_IN_SYNTH) GTEST_SKIP() << "a build without the built-in synth";
    dlg->FormShow();
    dlg->show();
    auto* tabs = dlg->findChild<QTabWidget*>();
    ASSERT_TRUE(tabs);
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->widget(i)->isAncestorOf(dlg->cmdSoundFont))
            QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, Qt::NoModifier, tabs->tabBar()->tabRect(i).center());
    ASSERT_TRUE(dlg->cmdSoundFont->isVisible());
    // Empty: the synth's own files, named where they are.
    EXPECT_TRUE(dlg->soundFont->text().isEmpty());
    EXPECT_TRUE(dlg->soundFont->placeholderText().contains(QString::fromStdString(defaultSoundFonts().front())))
        << dlg->soundFont->placeholderText().toStdString();
    // Wide enough to read a path, its button beside it, the whole text in the tooltip.
    const int letter = dlg->soundFont->fontMetrics().averageCharWidth();
    EXPECT_GE(dlg->soundFont->width(), 40 * letter);
    EXPECT_EQ(dlg->soundFont->toolTip(), dlg->soundFont->placeholderText());
    const QRect box = dlg->soundFont->geometry(), button = dlg->cmdSoundFont->geometry();
    EXPECT_TRUE(dlg->soundFont->parentWidget() == dlg->cmdSoundFont->parentWidget() &&
                button.left() >= box.right() && button.left() - box.right() < 2 * letter &&
                button.center().y() > box.top() && button.center().y() < box.bottom());
    h->dialogs().openAnswers.push_back("/x/other.sf2");
    QTest::mouseClick(dlg->cmdSoundFont, Qt::LeftButton);
    ASSERT_FALSE(h->dialogs().openCaptions.empty());
    EXPECT_EQ(h->dialogs().openCaptions.back(), "SoundFont");
    EXPECT_EQ(dlg->soundFont->text(), "/x/other.sf2");
    EXPECT_EQ(dlg->soundFont->toolTip(), "/x/other.sf2");
    ok();
    EXPECT_EQ(h->state().options.soundFont, "/x/other.sf2");
}

TEST_F(Options, AutoSaveIsDisabledForTheKitTypeButKeepsItsMark) {
    h->changeOptions([](ui::Options& o) { o.autoSave = true; });
    h->changeOptions([](ui::Options& o) { o.fileType = 2; });
    dlg->FormShow();
    EXPECT_TRUE(dlg->checkAutoSave1->isEnabled());
    dlg->fileType->button(0)->setChecked(true);
    EXPECT_FALSE(dlg->checkAutoSave1->isEnabled());
    EXPECT_TRUE(dlg->checkAutoSave1->isChecked());
    ok();
    EXPECT_TRUE(h->state().options.autoSave);
    EXPECT_EQ(h->state().options.fileType, 1);
}

// After the notes, each set's name and then its program change, so the module plays it renamed.
TEST_F(Options, PreviewSwitchedOnSendsTheWholeKitTheSamePortOnlyTheRhythmPart) {
    h->useNote(1, 1);
    dlg->FormShow();
    ok();
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{kRhythm}));
    h->editor().preview().setPreview(false);
    dlg->FormShow();
    EXPECT_FALSE(dlg->trackBar1->isEnabled());
    QTest::mouseClick(dlg->checkPreview1, Qt::LeftButton);
    EXPECT_TRUE(dlg->trackBar1->isEnabled());
    ok();
    EXPECT_EQ(h->takeSent(), join(join({kRhythm}, dt1::note(1, 1, {60, 127, 0, 64, 127, 0, 0, 1, 0, 2, 0, 1})),
                                  {dt1::setName(1, "UserDrum1"), "C9 40", dt1::setName(2, "UserDrum2"), "C9 41"}));
}

// A changed send is heard at once; the set-up sends the parts' sends after the rhythm part,
// and so does every command that resets the module, where they differ from a reset's.
TEST_F(Options, PartSendsGoOutWhenChangedAndAfterEveryReset) {
    dlg->FormShow();
    dlg->show();
    auto type = [](QSpinBox* box, const char* value) {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, value);
    };
    auto* chorus = dlg->findChild<QSpinBox*>("PartChorus");
    auto* delay = dlg->findChild<QSpinBox*>("PartDelay");
    ASSERT_TRUE(chorus && delay && dlg->findChild<QSpinBox*>("PartReverb"));
    EXPECT_EQ(dlg->findChild<QSpinBox*>("PartReverb")->value(), 40);
    type(chorus, "64");
    type(delay, "200");  // the box keeps 0..127
    QTest::mouseClick(dlg->okBtn, Qt::LeftButton);
    const std::vector<std::string> sends{"B9 5D 40", "B9 5E 14", "BA 5D 40", "BA 5E 14"};
    EXPECT_EQ(h->takeSent(), join(join(sends, {kRhythm}), sends));
    EXPECT_EQ(h->state().options.partDelay, 20);
    h->window().findChild<QAction*>("GSRESET1")->trigger();
    EXPECT_EQ(h->takeSent(), join({"F0 41 10 42 12 40 00 7F 00 41 F7", kRhythm}, sends));
    h->window().findChild<QAction*>("N10")->trigger();
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{"B9 78 00"})) << "ALL SOUND OFF resets nothing";
    // Back to the defaults: the module is told, though a reset would leave them so.
    dlg->FormShow();
    dlg->show();
    type(chorus, "0");
    type(delay, "0");
    QTest::mouseClick(dlg->okBtn, Qt::LeftButton);
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{"B9 5D 00", "B9 5E 00", "BA 5D 00", "BA 5E 00", kRhythm}));
}

TEST_F(Options, AnotherPortReopens) {
    dlg->FormShow();
    ASSERT_EQ(dlg->portList->count(), 3);
    EXPECT_EQ(dlg->portList->itemText(0), "Kitforge");
    EXPECT_EQ(dlg->portList->currentIndex(), 0);
    QTest::keyClick(dlg->portList, Qt::Key_End);
    ok();
    EXPECT_EQ(h->state().options.midiPort, 1);
    EXPECT_EQ(h->midi().opened, (std::vector<int>{-1, 1}));
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{kRhythm}));
}

TEST_F(Options, VelocityKeys) {
    dlg->FormShow();
    dlg->checkPreview1->setChecked(true);
    ui::TrackBar* t = dlg->trackBar1;
    t->setValue(73);
    EXPECT_EQ(dlg->memo1->text(), "73");
    QTest::keyClick(t, Qt::Key_Up);
    EXPECT_EQ(t->value(), 81);
    t->setValue(73);
    QTest::keyClick(t, Qt::Key_Down);
    EXPECT_EQ(t->value(), 65);
    t->setValue(125);
    QTest::keyClick(t, Qt::Key_Up);
    EXPECT_EQ(t->value(), 127);
    EXPECT_EQ(dlg->upDownVel1->position(), 127);
    dlg->upDownVel1->clickDown();
    EXPECT_EQ(t->value(), 126);
    ok();
    EXPECT_EQ(h->parts().panel->velocity(), 126);
    EXPECT_EQ(h->takeSent(), (std::vector<std::string>{kRhythm})) << "no note for a velocity set here";
}

TEST(OptionsWithoutDevices, PortListDisabledWithNothingSelected) {
    HarnessOptions o;
    o.ports = {};
    Harness h(o);
    ui::OptionsDialog* dlg = h.window().optionsDialog();
    dlg->FormShow();
    EXPECT_FALSE(dlg->portList->isEnabled());
    EXPECT_EQ(dlg->portList->currentIndex(), -1);
    dlg->OKBtnClick();
    EXPECT_EQ(h.state().options.midiPort, -1);
}

TEST(About, EnterAndEscCloseTheBox) {
    Harness h;
    ui::AboutBox* about = h.window().aboutBox();
    EXPECT_EQ(about->windowTitle(), QStringLiteral("Kitforge のﾊﾞｰｼﾞｮﾝ情報"));
    EXPECT_EQ(about->findChild<QLabel*>("Version1")->text(), "Version 1.27");
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        QTimer::singleShot(0, about, [about, key] { QTest::keyClick(about, key); });
        about->exec();
        EXPECT_FALSE(about->isVisible());
    }
    ui::EditorTestAccess::setBusy(h.editor(), true);
    h.window().About1Click();  // does nothing while busy
    EXPECT_FALSE(about->isVisible());
    ui::EditorTestAccess::setBusy(h.editor(), false);
}

TEST(Help, F1OnTheGridOpensTheContentsAndOnASliderItsTopic) {
    Harness h;
    h.window().activateWindow();
    h.parts().grid->setFocus();
    QApplication::processEvents();
    h.window().Contents1Click();
    ASSERT_NE(h.window().helpViewer(), nullptr);
    EXPECT_EQ(h.window().helpViewer()->shownTopic(), 0);
    EXPECT_TRUE(h.window().helpViewer()->browser()->toPlainText().contains(QStringLiteral("目次")));
    h.useNote(1, 0);
    h.select(1, 0);  // the panel is enabled only for a used note
    h.parts().panel->trackBar(2)->setFocus();
    QApplication::processEvents();
    h.window().Contents1Click();
    EXPECT_EQ(h.window().helpViewer()->shownTopic(), 26);
}

TEST(Help, EveryHelpContextHasATopic) {
    QFile file(KITFORGE_HELP_FILE);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(html.contains("id=\"contents\""));
    const int contexts[] = {5,  10, 11, 12, 13, 14, 16, 17, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37,
                            39, 40, 41, 42, 47, 48, 51, 52, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71,
                            72, 73, 74, 75, 76, 77, 78, 79};
    for (int c : contexts) EXPECT_TRUE(html.contains(QString("id=\"%1\"").arg(ui::helpAnchor(c)))) << c;
}

}  // namespace
}  // namespace kf::test
