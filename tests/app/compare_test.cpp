// Comparing the document with the module, and sending what differs, through the window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/compare_box.h"
#include "app/grid.h"
#include "app/status_bar.h"
#include "gs/sysex.h"
#include "model/parameters.h"
#include "gui_harness.h"
#include "sample_kit.h"

namespace kf::test {
namespace {

// Runs act on the box of differences once it stands on screen.
void whenBoxShows(const std::function<void(QWidget*)>& act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || box->objectName() != "DiffBox") return;
        poll->deleteLater();
        poll->stop();
        act(box);
    });
    poll->start(10);
}

QStringList row(QTableWidget* list, int r) {
    QStringList cells;
    for (int c = 0; c < list->columnCount(); ++c) cells << list->item(r, c)->text();
    return cells;
}

QAction* action(Harness& h, const char* name) { return h.window().findChild<QAction*>(name); }

// As a person does: the ﾂｰﾙ menu opened with Alt+T, the compare chosen by its underlined letter.
void compareFromTheMenu(Harness& h) {
    QTest::keyClick(&h.window(), Qt::Key_T, Qt::AltModifier);
    QMenu* tools = h.window().findChild<QMenu*>("T1");
    ASSERT_TRUE(tools);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tools->isVisible(); }, 30000));
    QTest::keyClick(tools, Qt::Key_V);
}

// The document holds kit; the module kit with one level and set 2's name otherwise.
struct Damaged {
    Kit kit = tableKit(shippedTables(), 4, 6);
    int note = 0;
    Kit held;
    Damaged() {
        while (!kit.entry(1, note).used) ++note;
        held = kit;
        held.entry(1, note).level = static_cast<std::uint8_t>(kit.entry(1, note).level ^ 8);
        held.setSetName(2, "Old");
    }
};

std::unique_ptr<Harness> against(const Kit& module, const Kit& document) {
    HarnessOptions o;
    o.module = module;
    auto h = std::make_unique<Harness>(std::move(o));
    h->kitUnseen() = document;
    h->editor().preview().sendWholeKit();
    h->takeSent();
    // From here on what the window sends changes what the module holds.
    h->module()->takesDataSets = true;
    return h;
}

std::vector<std::string> dataSets(const std::vector<std::string>& sent) {
    std::vector<std::string> d;
    for (const std::string& m : sent)
        if (m.rfind("F0 41 10 42 12 21", 0) == 0) d.push_back(m);
    return d;
}

TEST(Compare, TheBoxListsWhatDiffersAndItsSendMendsJustThat) {
    Damaged d;
    auto h = against(d.held, d.kit);
    const QString level = QString::number(d.kit.entry(1, d.note).level);
    const QString held = QString::number(d.held.entry(1, d.note).level);
    bool seen = false;
    whenBoxShows([&](QWidget* box) {
        auto* list = box->findChild<QTableWidget*>("DiffList");
        EXPECT_EQ(list->rowCount(), 2);
        EXPECT_EQ(row(list, 0), QStringList({"2", "-", "ｾｯﾄ名", QString::fromStdString(d.kit.setName(2)), "Old"}));
        EXPECT_EQ(row(list, 1), QStringList({"1", QString::number(d.note), "level", level, held}));
        EXPECT_TRUE(h->parts().grid->cellMarked(1, d.note));
        EXPECT_FALSE(h->parts().grid->cellMarked(2, d.note));
        EXPECT_EQ(h->window().findChild<ui::StatusBar*>()->differences(), QStringLiteral("ﾓｼﾞｭｰﾙと違う音色: 1、ｾｯﾄ名: 1"));
        seen = true;
        QTest::mouseClick(box->findChild<QPushButton*>("SendDiff2"), Qt::LeftButton);
    });
    compareFromTheMenu(*h);
    ASSERT_TRUE(seen);
    // The name and the one parameter, nothing else of the kit.
    EXPECT_EQ(dataSets(h->takeSent()), (std::vector<std::string>{hexText(buildNameMessage(d.kit, 2)),
                                                                  param(1, d.note, kLevel, d.kit.entry(1, d.note).level)}));
    ASSERT_EQ(h->dialogs().shown.size(), 1u);
    EXPECT_EQ(h->dialogs().shown[0].text, QStringLiteral("ﾓｼﾞｭｰﾙはｷｯﾄと同じです。"));
    EXPECT_FALSE(h->parts().grid->cellMarked(1, d.note));
    EXPECT_EQ(h->window().findChild<ui::StatusBar*>()->differences(), QStringLiteral("ﾓｼﾞｭｰﾙと同じ"));
    EXPECT_EQ(h->module()->held(1, d.note, kLevel), d.kit.entry(1, d.note).level);
    EXPECT_FALSE(h->state().busy);
}

TEST(Compare, ASilentModuleIsNamedWithBothPortsAndMarksNothing) {
    Damaged d;
    auto h = against(d.held, d.kit);
    h->module()->silent = true;
    compareFromTheMenu(*h);
    ASSERT_EQ(h->dialogs().shown.size(), 1u);
    EXPECT_EQ(h->dialogs().shown[0].text, QStringLiteral("ﾓｼﾞｭｰﾙから応答がありません。\r\n出力: Kitforge\r\n入力: Kitforge"));
    EXPECT_FALSE(h->parts().grid->cellMarked(1, d.note));
    EXPECT_TRUE(h->window().findChild<ui::StatusBar*>()->differences().isEmpty());
}

TEST(Compare, WithTheOptionOnASwitchOnIsComparedAfterTheTransfer) {
    struct Case {
        const char* setting;
        bool compared;
    } cases[] = {{"1", true}, {"0", false}};
    Damaged d;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        HarnessOptions o;
        o.module = d.held;
        o.settings = {{"VerifyAfterSend", c.setting}, {"Preview", "0"}};
        Harness h(o);
        h.module()->takesDataSets = true;
        h.kitUnseen() = d.kit;
        h.takeSent();
        ASSERT_FALSE(action(h, "Verify1")->isEnabled()) << "only while preview is on";
        action(h, "Preview1")->trigger();
        std::vector<std::string> sent = h.takeSent();
        const bool requested =
            std::any_of(sent.begin(), sent.end(), [](const std::string& m) { return m.rfind("F0 41 10 42 11", 0) == 0; });
        EXPECT_EQ(requested, c.compared);
        EXPECT_EQ(h.window().findChild<ui::StatusBar*>()->differences(), c.compared ? QStringLiteral("ﾓｼﾞｭｰﾙと同じ") : QString());
        EXPECT_TRUE(h.dialogs().shown.empty()) << "a module that holds the kit needs no box";
    }
}

TEST(Compare, AKeyThatEmptiesAMarkedNoteTakesItsMarkAway) {
    struct Case {
        const char* what;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } cases[] = {{"Delete", Qt::Key_Delete, Qt::NoModifier}, {"Ctrl+X", Qt::Key_X, Qt::ControlModifier}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Damaged d;
        auto h = against(d.held, d.kit);
        // From another cell: the kit changed unseen, so the commands follow only a new selection.
        h->select(2, 1);
        h->select(1, d.note);
        whenBoxShows([](QWidget* box) { QTest::mouseClick(box->findChild<QPushButton*>("CloseDiff"), Qt::LeftButton); });
        compareFromTheMenu(*h);
        ASSERT_TRUE(h->parts().grid->cellMarked(1, d.note));
        // As the window system does when the box closes; offscreen, no window is active after it.
        h->window().activateWindow();
        QApplication::processEvents();
        QTest::keyClick(h->parts().grid, c.key, c.modifiers);
        EXPECT_EQ(h->document().kit().entry(1, d.note).used, 0);
        EXPECT_FALSE(h->parts().grid->cellMarked(1, d.note));
        EXPECT_EQ(h->window().findChild<ui::StatusBar*>()->differences(), QStringLiteral("ﾓｼﾞｭｰﾙと違う音色: 0、ｾｯﾄ名: 1"));
    }
}

}  // namespace
}  // namespace kf::test
