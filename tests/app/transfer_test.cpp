// Transfers as a user meets them: the window keeps working, progress shows, 中止 and Esc stop
// the queue, closing waits for it, a failing device is named once the transfer is over.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <QStatusBar>
#include <QCloseEvent>
#include <QMessageBox>
#include <QtGui/qpa/qwindowsysteminterface.h>

#include "app/options_dialog.h"
#include "app/grid.h"
#include "app/transfer.h"
#include "app/view_options.h"
#include "gs/device_commands.h"
#include "gui_harness.h"
#include "sample_kit.h"
#include "synth/fluid_backend.h"

namespace kf::test {
namespace {

const std::string kAllSoundOff = "B9 78 00";

// Runs action on the GUI thread once cond holds, as a person acts on what the window shows.
void whenTrue(std::function<bool()> cond, std::function<void()> action) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, cond = std::move(cond), action = std::move(action)] {
        if (!cond()) return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start(10);
}

void clickCell(ui::NoteGrid* grid, int set, int note) {
    const QModelIndex cell = grid->cellIndex(set, note);
    grid->scrollTo(cell);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualRect(cell).center());
}

// Preview off at start, so switching it on sends the whole kit.
HarnessOptions previewOff() {
    HarnessOptions o;
    o.settings = {{"Preview", "0"}};
    return o;
}

TEST(Transfer, TheWindowStaysResponsiveWhileASlowDeviceTakesTheKit) {
    HarnessOptions o = previewOff();
    o.sendDelay = std::chrono::milliseconds(50);
    Harness h(o);
    for (int note : {35, 36, 38, 42}) h.useNote(1, note);
    ui::TransferMonitor* monitor = h.parts().transfer;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    h.window().previewAction()->trigger();  // 4 notes, 2 names, 2 program changes, set-up: 53
    ASSERT_TRUE(monitor->active()) << "the switch-on returns before the kit has gone";
    clickCell(h.parts().grid, 1, 40);
    QTest::keyClick(h.parts().grid, Qt::Key_Down);
    EXPECT_EQ(h.parts().grid->selectedNote(), 41) << "the selection moves during the transfer";
    int shown = 0, highest = 0, maximum = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (monitor->bar()->isVisible()) {
                ++shown;
                highest = std::max(highest, monitor->bar()->value());
                maximum = monitor->bar()->maximum();
            }
            return !monitor->active();
        },
        20000));
    QApplication::processEvents();
    EXPECT_GT(ticks, 50) << "the event loop turned throughout";
    EXPECT_GT(shown, 0) << "the progress bar appeared";
    EXPECT_EQ(maximum, 54) << "the kit's 53 messages, then the click's note-off";
    EXPECT_EQ(monitor->bar()->value(), monitor->bar()->maximum()) << "and reached the end";
    EXPECT_FALSE(monitor->bar()->isVisible()) << "then went away";
    EXPECT_EQ(h.takeSent().size(), 54u) << "empty cells send nothing more";
}

struct CancelCase {
    const char* how;
    bool escape;
    bool previewOff = false;
};

class TransferCancel : public ::testing::TestWithParam<CancelCase> {};

TEST_P(TransferCancel, DropsTheRestAndSilencesTheRhythmChannel) {
    HarnessOptions o = previewOff();
    o.holdBatches = false;
    Harness h(o);
    h.kitUnseen() = test::fullKit();
    h.midi().holdAt(100);
    h.window().previewAction()->trigger();
    ASSERT_TRUE(h.midi().waitHeld());
    ui::TransferMonitor* monitor = h.parts().transfer;
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor->cancelButton()->isVisible(); }, 30000));
    EXPECT_TRUE(monitor->left()->text().contains(QStringLiteral("残り"))) << monitor->left()->text().toStdString();
    if (GetParam().escape) {
        clickCell(h.parts().grid, 1, 3);
        QTest::keyClick(h.parts().grid, Qt::Key_Escape);
    } else if (GetParam().previewOff) {
        // Switching preview off closes the port: the held message goes once the rest is dropped.
        std::thread later([&] {
            while (h.midiOut().cancelledCount() == 0) std::this_thread::yield();
            h.midi().releaseHeld();
        });
        h.window().previewAction()->trigger();
        later.join();
    } else {
        QTest::mouseClick(monitor->cancelButton(), Qt::LeftButton);
    }
    h.midi().releaseHeld();
    const auto sent = h.takeSent();
    // The 101 that had gone, then nothing but ALL SOUND OFF (the click's Rx messages were
    // still queued too).
    ASSERT_EQ(sent.size(), 102u);
    EXPECT_EQ(sent.back(), kAllSoundOff);
    // With Esc, the click that focused the grid queued two Rx messages and a note-off too.
    EXPECT_EQ(h.midiOut().cancelledCount(), 3077 - 101 + (GetParam().escape ? 3 : 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !monitor->bar()->isVisible(); }, 30000));
    if (GetParam().previewOff) return;
    // The next send works.
    clickCell(h.parts().grid, 1, 5);
    EXPECT_EQ(h.takeSent(), (std::vector<std::string>{param(1, 5, 7, h.document().kit().entry(1, 5).rxNoteOff),
                                                      param(1, 5, 8, h.document().kit().entry(1, 5).rxNoteOn), "99 00 00"}));
}

INSTANTIATE_TEST_SUITE_P(Ways, TransferCancel,
                         ::testing::Values(CancelCase{"button", false}, CancelCase{"escape", true},
                                           CancelCase{"previewoff", false, true}),
                         [](const auto& info) { return std::string(info.param.how); });

TEST(Transfer, ClosingTheWindowWaitsForTheTransferAndCanBeCancelled) {
    HarnessOptions o = previewOff();
    o.sendDelay = std::chrono::milliseconds(20);
    Harness h(o);
    h.kitUnseen() = test::fullKit();
    h.window().previewAction()->trigger();
    ui::TransferMonitor* monitor = h.parts().transfer;
    bool visibleWhileClosing = false;
    whenTrue([&] { return monitor->cancelButton()->isVisible(); }, [&] {
        visibleWhileClosing = monitor->cancelButton()->isVisible();
        QTest::mouseClick(monitor->cancelButton(), Qt::LeftButton);
    });
    EXPECT_TRUE(h.window().close());
    EXPECT_TRUE(visibleWhileClosing) << "the progress was shown while the window waited";
    EXPECT_FALSE(h.window().isVisible());
    EXPECT_FALSE(monitor->active());
    const auto sent = h.takeSent();
    EXPECT_LT(sent.size(), 3077u);
    EXPECT_EQ(sent.back(), kAllSoundOff);
}

TEST(Transfer, ClosingAgainWhileTheWindowWaitsCancelsTheTransfer) {
    HarnessOptions o = previewOff();
    o.sendDelay = std::chrono::milliseconds(20);
    Harness h(o);
    h.kitUnseen() = test::fullKit();
    h.window().previewAction()->trigger();
    // The window system's close button, pressed a second time: its close event reaches the
    // window as the platform delivers it.
    whenTrue([&] { return h.parts().transfer->active(); }, [&] {
        QCloseEvent again;
        QCoreApplication::sendEvent(h.window().windowHandle(), &again);
    });
    EXPECT_TRUE(h.window().close());
    EXPECT_FALSE(h.window().isVisible());
    EXPECT_FALSE(h.parts().transfer->active());
    const auto sent = h.takeSent();
    EXPECT_LT(sent.size(), 3077u);
    EXPECT_EQ(sent.back(), kAllSoundOff);
}

// Preview switched on with the whole kit; the device refuses everything after the tenth message.
void failAfterTenMessages(Harness& h) {
    h.kitUnseen() = test::fullKit();
    h.midi().holdAt(10);
    h.window().previewAction()->trigger();
    ASSERT_TRUE(h.midi().waitHeld());
    h.midi().refuseSends = true;
    h.midi().releaseHeld();
}

TEST(Transfer, ADeviceThatStopsTakingIsNamedOnceTheTransferHasEnded) {
    HarnessOptions o = previewOff();
    o.holdBatches = false;
    Harness h(o);
    failAfterTenMessages(h);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !h.dialogs().shown.empty(); }, 30000));
    EXPECT_FALSE(h.parts().transfer->active()) << "no box inside a transfer";
    ASSERT_EQ(h.dialogs().shown.size(), 1u);
    EXPECT_EQ(h.dialogs().shown[0].text,
              QStringLiteral("MIDIﾃﾞﾊﾞｲｽ Kitforge がﾒｯｾｰｼﾞを受け付けません。\r\n接続を確かめてください。"));
    EXPECT_EQ(h.midiOut().droppedCount(), 3077 - 10);
}

// The close button pressed while the report of a failed device is up: the window closes once
// the box is answered, without a second press.
TEST(Transfer, AClosePressedWhileTheFailureIsReportedHappensOnceTheBoxIsAnswered) {
    HarnessOptions o = previewOff();
    o.holdBatches = false;
    Harness h(o);
    h.dialogs().realBoxes = true;
    failAfterTenMessages(h);
    // The box runs its own loop: the person answering it acts from inside that loop.
    bool answered = false, openUnderTheBox = false, inputUnderTheBox = true;
    QTimer person;
    QObject::connect(&person, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible() || answered) continue;
            answered = true;
            // As the window system delivers its close button.
            QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(
                h.window().windowHandle());
            openUnderTheBox = h.window().isVisible();
            inputUnderTheBox = h.window().isEnabled();
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    person.start(20);
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered && !h.window().isVisible(); }, 30000));
    EXPECT_TRUE(answered);
    EXPECT_TRUE(openUnderTheBox) << "closed under the box";
    EXPECT_FALSE(inputUnderTheBox) << "the window took input while the box was up";
}

TEST(Transfer, SpeedAndPauseAreOptionsStoredInTheSettings) {
    HarnessOptions o;
    o.settings = {{"MidiSpeed", "1"}, {"SysExPause", "40"}};
    auto h = std::make_unique<Harness>(o);
    EXPECT_TRUE(h->midiOut().pacing().unlimited);
    EXPECT_EQ(h->midiOut().pacing().sysexPause, std::chrono::milliseconds(40));
    ui::OptionsDialog* dlg = h->window().optionsDialog();
    dlg->FormShow();
    EXPECT_TRUE(dlg->speed->button(1)->isChecked());
    EXPECT_EQ(dlg->sysexPause->value(), 40);
    QTest::mouseClick(dlg->speed->button(0), Qt::LeftButton);
    dlg->sysexPause->selectAll();
    QTest::keyClicks(dlg->sysexPause, "600");  // beyond the range: the box keeps 500 at most
    dlg->OKBtnClick();
    EXPECT_FALSE(h->midiOut().pacing().unlimited);
    EXPECT_LE(h->midiOut().pacing().sysexPause.count(), 500);
    const auto pause = h->midiOut().pacing().sysexPause.count();
    h->window().FormDestroy();
    EXPECT_EQ(h->settings().value("MidiSpeed").toString(), "0");
    EXPECT_EQ(h->settings().value("SysExPause").toString(), QString::number(pause));
    // Garbage and out-of-range values read as their defaults or the nearest bound.
    HarnessOptions bad;
    bad.settings = {{"MidiSpeed", "fast"}, {"SysExPause", "9999"}};
    Harness h2(bad);
    EXPECT_FALSE(h2.midiOut().pacing().unlimited);
    EXPECT_EQ(h2.midiOut().pacing().sysexPause, std::chrono::milliseconds(500));
}

TEST(Transfer, TheBuiltInSynthIsADeviceOfItsOwnAndStaysChosen) {
    HarnessOptions o;
    o.builtInSynth = true;
    auto h = std::make_unique<Harness>(o);
    QString configured;
    h->editor().synthSetup = [&](const QString& font, const QString& driver) {
        configured = font + "|" + driver;
        return [](MidiBackend&) {};
    };
    ui::OptionsDialog* dlg = h->window().optionsDialog();
    dlg->FormShow();
    ASSERT_EQ(dlg->portList->itemText(0), QStringLiteral("内蔵音源 (FluidSynth)"));
    EXPECT_EQ(dlg->portList->itemText(1), "Kitforge");
    EXPECT_EQ(dlg->portList->itemText(2), "Synth A");
    dlg->portList->setCurrentIndex(0);
    QTest::keyClicks(dlg->soundFont, "/x/my.sf2");
    // A driver other than the first, so that a choice is seen to be passed on; each system has its own.
    const QString driver = kAudioDrivers[1];
    dlg->audioDriver->setCurrentIndex(dlg->audioDriver->findData(driver));
    dlg->OKBtnClick();
    EXPECT_EQ(h->state().options.midiPort, -2);
    EXPECT_EQ(h->midi().opened.back(), -2);
    EXPECT_EQ(configured, "/x/my.sf2|" + driver);
    h->window().FormDestroy();
    EXPECT_EQ(h->settings().value("MidiPort").toString(), "-2");
    EXPECT_EQ(h->settings().value("SoundFont").toString(), "/x/my.sf2");
    // Kept when the ports change; -1 where no synth is built in.
    for (bool synth : {true, false}) {
        HarnessOptions again;
        again.builtInSynth = synth;
        again.ports = {"Other"};
        again.settings = {{"MidiPort", "-2"}};
        Harness h2(again);
        EXPECT_EQ(h2.state().options.midiPort, synth ? -2 : -1);
    }
}

}  // namespace
}  // namespace kf::test

namespace kf::test {
namespace {

TEST(Transfer, WithTheStatusBarHiddenATransferStillShowsAndCanBeStopped) {
    HarnessOptions o = previewOff();
    o.sendDelay = std::chrono::milliseconds(20);
    Harness h(o);
    h.kitUnseen() = test::fullKit();
    h.parts().view->Status1->trigger();
    ASSERT_FALSE(h.window().statusBar()->isVisible());
    h.window().previewAction()->trigger();
    ui::TransferMonitor* monitor = h.parts().transfer;
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor->cancelButton()->isVisible(); }, 30000))
        << "the transfer shows though the bar was hidden";
    QTest::mouseClick(monitor->cancelButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !h.window().statusBar()->isVisible(); }, 30000))
        << "and the bar goes again once the transfer has ended";
    EXPECT_FALSE(h.parts().view->statusBarVisible()) << "the user's choice stands";
}

}  // namespace
}  // namespace kf::test
