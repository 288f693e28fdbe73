// Reading the kit back from the module, and playing the set from a keyboard, through the window.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QTest>
#include <QTimer>

#include "app/options_dialog.h"
#include "app/edit_commands.h"
#include "app/file_commands.h"
#include "app/grid.h"
#include "files/kit_file.h"
#include "files/reference_tables.h"
#include "gs/kit_fetch.h"
#include "model/parameters.h"
#include "dt1.h"
#include "gui_harness.h"
#include "sample_kit.h"

namespace kf::test {
namespace {

const ReferenceTables& tables() { return shippedTables(); }

std::unique_ptr<Harness> withModule(const Kit& kit) {
    HarnessOptions o;
    o.module = kit;
    return std::make_unique<Harness>(std::move(o));
}

TEST(Fetch, TheModulesKitBecomesAnUntitledModifiedDocumentAndIsNotSentBack) {
    const Kit kit = tableKit(tables(), 6, 2);
    auto h = withModule(kit);
    h->useNote(1, 36, "Mine");
    ui::EditorTestAccess::setModified(h->editor(), true);
    h->takeSent();
    h->dialogs().answers.push_back(QMessageBox::No);  // the save prompt
    h->parts().files->Receive1->trigger();
    EXPECT_EQ(WriteKitFile(h->document().kit()), WriteKitFile(kit));
    ASSERT_EQ(h->dialogs().shown.size(), 2u);
    EXPECT_EQ(h->dialogs().shown[1].text,
              QStringLiteral("ﾓｼﾞｭｰﾙから読み込みました。\r\nｾｯﾄ1: 6 音色、ｾｯﾄ2: 6 音色、ｾｯﾄ名: 2\r\n応答のなかったﾘｸｴｽﾄ: 0"));
    EXPECT_TRUE(h->document().modified());
    EXPECT_EQ(h->document().name(), QStringLiteral("無題"));
    EXPECT_EQ(h->parts().grid->cellText(1, 0), QString::fromStdString(kit.entry(1, 0).name));
    EXPECT_TRUE(h->parts().edit->Cut1->isEnabled()) << "the note shown is a used one now";
    // Requests only, and the shown note's switches: nothing of the kit goes back.
    for (const std::string& m : h->takeSent())
        EXPECT_TRUE(m.rfind("F0 41 10 42 11", 0) == 0 || m.rfind("F0 41 10 42 12 21 07", 0) == 0 ||
                    m.rfind("F0 41 10 42 12 21 08", 0) == 0)
            << m;
}

TEST(Fetch, ALossyModuleStillGivesItsKitExactly) {
    using namespace std::chrono_literals;
    const Kit kit = tableKit(tables(), 6, 5);
    auto h = withModule(kit);
    h->module()->loseOneIn = 40;
    h->module()->lateMin = 1ms;
    h->module()->lateMax = 5ms;
    h->module()->noise = true;
    h->parts().files->Receive1->trigger();
    EXPECT_EQ(WriteKitFile(h->document().kit()), WriteKitFile(kit));
    ASSERT_EQ(h->dialogs().shown.size(), 1u);
    EXPECT_EQ(h->dialogs().shown[0].text,
              QStringLiteral("ﾓｼﾞｭｰﾙから読み込みました。\r\nｾｯﾄ1: 6 音色、ｾｯﾄ2: 6 音色、ｾｯﾄ名: 2\r\n応答のなかったﾘｸｴｽﾄ: 0"));
    EXPECT_GT(h->module()->lost(), 0);
}

TEST(Fetch, AModuleThatStopsNamesTheMissingNotesAndTheUserKeepsTheCompleteOnesOrNone) {
    struct Case {
        const char* what;
        long silentAfter;
        QMessageBox::StandardButton answer;
    } cases[] = {
        {"among the sources, kept", 300, QMessageBox::Yes},
        {"among the sources, not kept", 300, QMessageBox::No},
        {"among the other parameters, kept", 2 + 3 * 256 + 20, QMessageBox::Yes},
    };
    const Kit kit = tableKit(tables(), 6, 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto h = withModule(kit);
        h->module()->silentAfter = c.silentAfter;
        h->useNote(1, 36, "Mine");
        ui::EditorTestAccess::setModified(h->editor(), false);
        h->dialogs().answers.push_back(c.answer);
        const std::string before = WriteKitFile(h->document().kit());
        h->parts().files->Receive1->trigger();
        ASSERT_GE(h->dialogs().shown.size(), 1u);
        const QString text = h->dialogs().shown[0].text;
        EXPECT_TRUE(text.startsWith(QStringLiteral("ﾓｼﾞｭｰﾙから応答がありません。"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("\r\n読み込めなかった音色: "))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("\r\nｾｯﾄ1 ﾉｰﾄ"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("\r\n… ほか "))) << text.toStdString();
        EXPECT_TRUE(text.endsWith(QStringLiteral(" 音色\r\n読み込めたところまでを使いますか？"))) << text.toStdString();
        if (c.answer == QMessageBox::No) {
            EXPECT_EQ(h->dialogs().shown.size(), 1u);
            EXPECT_EQ(WriteKitFile(h->document().kit()), before);
            EXPECT_FALSE(h->document().modified());
            continue;
        }
        // Only notes the module holds, each as it holds it; the rest left empty.
        EXPECT_EQ(h->dialogs().shown.size(), 2u);
        EXPECT_TRUE(h->document().modified());
        EXPECT_EQ(h->document().name(), QStringLiteral("無題"));
        for (int set = 1; set <= kSetCount; ++set)
            for (int note = 0; note < kNoteCount; ++note) {
                if (!h->document().kit().entry(set, note).used) continue;
                for (int p = 1; p <= kDeviceParameterCount; ++p) {
                    EXPECT_EQ(parameterValue(h->document().kit(), set, note, p), parameterValue(kit, set, note, p))
                        << set << "/" << note;
                }
            }
    }
}

TEST(Fetch, ASilentModuleIsNamedWithBothPortsAndLeavesTheDocument) {
    auto h = withModule(tableKit(tables(), 2, 1));
    h->module()->silent = true;
    h->useNote(1, 36, "Mine");
    const std::string before = WriteKitFile(h->document().kit());
    h->parts().files->Receive1->trigger();
    ASSERT_EQ(h->dialogs().shown.size(), 1u);
    EXPECT_EQ(h->dialogs().shown[0].text, QStringLiteral("ﾓｼﾞｭｰﾙから応答がありません。\r\n出力: Kitforge\r\n入力: Kitforge"));
    EXPECT_EQ(WriteKitFile(h->document().kit()), before);
}

TEST(Fetch, EscStopsItAndLeavesTheDocument) {
    auto h = withModule(tableKit(tables(), 40, 4));
    h->useNote(1, 36, "Mine");
    // Goes quiet part way, so however late the key comes the fetch is still under way.
    h->module()->silentAfter = 60;
    const std::string before = WriteKitFile(h->document().kit());
    // Pressed once the fetch is under way: a port still opening has the window wait first.
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, h->parts().grid, [&] {
        if (!h->state().busy || h->module()->requests() == 0) return;
        press.stop();
        QTest::keyClick(h->parts().grid, Qt::Key_Escape);
    });
    press.start(1);
    h->parts().files->Receive1->trigger();
    EXPECT_TRUE(h->dialogs().shown.empty());
    EXPECT_EQ(WriteKitFile(h->document().kit()), before);
    EXPECT_LT(h->module()->requests(), 200) << "stopped at once, not after the tries";
    EXPECT_FALSE(h->state().busy);
}

TEST(MidiThru, AKeyboardPlaysTheSetBeingEdited) {
    HarnessOptions o;
    o.settings = {{"MidiThru", "1"}};
    Harness h(o);
    h.select(2, 40);
    h.takeSent();
    h.receive({0x93, 60, 100});  // any channel
    h.receive({0xB0, 7, 100});   // anything else is not played
    h.receive({0x83, 60, 64});
    std::vector<std::string> sent;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            for (auto& m : h.takeSent()) sent.push_back(m);
            return sent.size() >= 3;
        },
        60000));
    EXPECT_EQ(sent, (std::vector<std::string>{"C9 41", "99 3C 64", "89 3C 40"}));
}

// With 入力ﾉｰﾄで選択 ticked, a key struck selects its note of the set being edited as a click
// would (the note's reception switches go out); velocity 0 is a note-off. Thru plays as before.
TEST(MidiThru, AKeyStruckChoosesItsNoteWhenTheOptionIsOn) {
    for (const bool thru : {true, false}) {
        SCOPED_TRACE(thru ? "thru" : "no thru");
        HarnessOptions o;
        o.settings = {{"MidiThru", thru ? "1" : "0"}};
        Harness h(o);
        for (int n : {36, 38, 40}) h.useNote(2, n);
        h.select(2, 40);
        h.takeSent();
        // Thru and the window send from threads of their own: each keeps its order, not the two together.
        std::vector<std::string> played, switches;
        auto collect = [&](std::size_t n, std::size_t s) {
            return QTest::qWaitFor(
                [&] {
                    for (auto& m : h.takeSent()) (m.rfind("F0", 0) == 0 ? switches : played).push_back(m);
                    return played.size() >= n && switches.size() >= s;
                },
                60000);
        };
        if (thru) {
            h.receive({0x93, 38, 100});  // off by default
            ASSERT_TRUE(collect(2, 0));
            QCoreApplication::processEvents();
            EXPECT_EQ(h.parts().grid->selectedNote(), 40);
        }
        ui::OptionsDialog* dlg = h.window().optionsDialog();
        dlg->FormShow();
        QTest::mouseClick(dlg->checkSelectByInput, Qt::LeftButton);
        dlg->OKBtnClick();
        dlg->hide();
        h.takeSent();  // the rhythm-part message of preview switched on again
        played.clear();
        h.receive({0x93, 36, 100});
        h.receive({0x90, 38, 0});
        h.receive({0x80, 38, 64});
        h.receive({0x95, 36, 50});  // the note shown already
        EXPECT_TRUE(collect(thru ? 5 : 0, 2));
        EXPECT_EQ(h.parts().grid->selectedSet(), 2);
        EXPECT_EQ(h.parts().grid->selectedNote(), 36);
        h.receive({0x91, 40, 1});
        EXPECT_TRUE(collect(thru ? 7 : 0, 4));
        EXPECT_EQ(h.parts().grid->selectedNote(), 40);
        const std::vector<std::string> shown{dt1::noteParameter(2, 36, 7, 0), dt1::noteParameter(2, 36, 8, 1),
                                             dt1::noteParameter(2, 40, 7, 0), dt1::noteParameter(2, 40, 8, 1)};
        EXPECT_EQ(switches, shown);
        if (thru) {
            EXPECT_EQ(played, (std::vector<std::string>{"C9 41", "99 24 64", "99 26 00", "89 26 40", "C9 41",
                                                        "99 24 32", "C9 41", "99 28 01"}));
        }
        h.window().FormDestroy();
        EXPECT_EQ(h.settings().value("SelectByInput").toString(), "1");
    }
}

}  // namespace
}  // namespace kf::test
