#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "app/library_dock.h"
#include "app/transfer.h"
#include "app/view_options.h"
#include "files/exports.h"
#include "files/kit_file.h"
#include "gs/device_commands.h"
#include "gs/sysex.h"
#include "gui_harness.h"
#include "sample_kit.h"
#include "wait.h"

namespace kf::test {
namespace {

// A synth that only writes down what it is told, and outlives the audition's use of it.
struct Tap : MidiBackend {
    std::shared_ptr<std::vector<std::string>> log;
    std::vector<std::string> ports() override { return {}; }
    bool open(int, MidiError*) override { return true; }
    std::size_t close() override {
        log->push_back("closed");
        return 0;
    }
    bool send(const std::uint8_t* data, std::size_t size) override {
        log->push_back(hexText(MidiBytes(data, data + size)));
        return true;
    }
};

Kit namedKit(const char* setName, int used) {
    Kit kit = tableKit(shippedTables(), used, 3);
    kit.setSetName(1, setName);
    return kit;
}

class Library : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        write("rock.kfg", WriteKitFile(namedKit("Rock Kit", 2)));
        write("jazz.mid", WriteMidiFile(namedKit("Jazz Kit", 3), true, "jazz.mid"));
        write("broken.syx", "not a dump");
        HarnessOptions o;
        o.settings = {{"LibraryFolders", folder.path()}, {"ShowLibrary", "1"}};
        h = std::make_unique<Harness>(std::move(o));
        dock = h->parts().library;
        list = dock->findChild<QTreeView*>("LibraryList");
        search = dock->findChild<QLineEdit*>("LibrarySearch");
        ASSERT_TRUE(dock->isVisible());
        ASSERT_TRUE(listed(3));
    }
    void write(const QString& name, const std::string& bytes) {
        QFile f(folder.path() + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    bool listed(int rows) {
        return QTest::qWaitFor([&] { return dock->idle() && static_cast<int>(dock->entries().size()) == rows; }, 60000);
    }
    QString cell(int row, int column) { return list->model()->index(row, column).data().toString(); }
    int rowOf(const QString& fileName) {
        for (int r = 0; r < list->model()->rowCount(); ++r)
            if (cell(r, 0) == fileName) return r;
        return -1;
    }
    QPoint centreOf(int row) { return list->visualRect(list->model()->index(row, 0)).center(); }

    QTemporaryDir folder;
    std::unique_ptr<Harness> h;
    ui::LibraryDock* dock = nullptr;
    QTreeView* list = nullptr;
    QLineEdit* search = nullptr;
};

TEST_F(Library, ListsEveryKitWithItsSetsNotesOrWhyNot) {
    ASSERT_EQ(list->model()->rowCount(), 3);
    const int rock = rowOf("rock.kfg"), jazz = rowOf("jazz.mid"), broken = rowOf("broken.syx");
    EXPECT_EQ(cell(rock, 1), "Rock Kit");
    EXPECT_EQ(cell(rock, 3), "2 / 2");
    EXPECT_EQ(cell(jazz, 1), "Jazz Kit");
    EXPECT_EQ(cell(jazz, 3), "3 / 3");
    EXPECT_EQ(cell(broken, 1), QStringLiteral("ﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄのﾃﾞｰﾀがありません"));
}

TEST_F(Library, TypingFiltersAndTheClearButtonShowsAllAgain) {
    const Kit rock = namedKit("Rock Kit", 2);
    const std::string instrument = rock.entry(1, 0).name;
    ASSERT_FALSE(instrument.empty());
    QTest::mouseClick(search, Qt::LeftButton);
    QTest::keyClicks(search, "jAZz");
    EXPECT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(cell(0, 0), "jazz.mid");
    search->selectAll();
    QTest::keyClicks(search, QString::fromStdString(instrument).toUpper());
    EXPECT_GE(list->model()->rowCount(), 1);
    EXPECT_NE(rowOf("rock.kfg"), -1) << instrument;
    EXPECT_EQ(rowOf("broken.syx"), -1);
    QTest::mouseClick(dock->findChild<QPushButton*>("LibraryClear"), Qt::LeftButton);
    EXPECT_EQ(search->text(), "");
    EXPECT_EQ(list->model()->rowCount(), 3);
}

TEST_F(Library, DoubleClickOpensAfterTheSavePromptAndEnterImports) {
    h->useNote(1, 10);
    ui::EditorTestAccess::setModified(h->editor(), true);
    h->dialogs().answers.push_back(QMessageBox::No);
    // As a mouse does it: press and release, then the second press comes as a double click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centreOf(rowOf("rock.kfg")));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centreOf(rowOf("rock.kfg")));
    ASSERT_FALSE(h->dialogs().shown.empty());
    EXPECT_TRUE(h->dialogs().shown[0].text.contains(QStringLiteral("変更されています")));
    EXPECT_EQ(h->document().name(), "rock.kfg");
    EXPECT_EQ(h->document().kit().setName(1), "Rock Kit");
    EXPECT_FALSE(h->document().modified());

    list->setFocus();
    list->setCurrentIndex(list->model()->index(rowOf("jazz.mid"), 0));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(h->document().name(), QStringLiteral("無題"));
    EXPECT_TRUE(h->document().kit().setName(1).rfind("Jazz Kit", 0) == 0) << h->document().kit().setName(1);
}

TEST_F(Library, FollowsFilesAddedChangedAndRemoved) {
    write("added.kfg", WriteKitFile(namedKit("Added", 1)));
    ASSERT_TRUE(listed(4));
    ASSERT_NE(rowOf("added.kfg"), -1);
    EXPECT_EQ(cell(rowOf("added.kfg"), 1), "Added");
    // Rewritten in place, larger: the file's own watch tells.
    write("added.kfg", WriteKitFile(namedKit("Changed", 20)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowOf("added.kfg") != -1 && cell(rowOf("added.kfg"), 1) == "Changed"; }, 60000));
    EXPECT_EQ(cell(rowOf("added.kfg"), 3), "20 / 20");
    ASSERT_TRUE(QFile::remove(folder.path() + "/rock.kfg"));
    ASSERT_TRUE(listed(3));
    EXPECT_EQ(rowOf("rock.kfg"), -1);
}

TEST_F(Library, AuditionPlaysTheUsedNotesOnASynthOfItsOwnUntilAKey) {
    auto log = std::make_shared<std::vector<std::string>>();
    dock->setAuditionSynth([log] {
        auto tap = std::make_unique<Tap>();
        tap->log = log;
        return tap;
    });
    auto* play = dock->findChild<QPushButton*>("LibraryAudition");
    ASSERT_TRUE(play->isVisible());
    h->takeSent();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centreOf(rowOf("rock.kfg")));
    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log->empty() && log->back() == "closed"; }, 60000));
    const Kit rock = namedKit("Rock Kit", 2);
    std::vector<std::string> notes;
    for (const std::string& m : *log)
        if (m.rfind("99 ", 0) == 0 || m.rfind("C9 ", 0) == 0 || m.rfind("B9 ", 0) == 0) notes.push_back(m);
    // Set 1's notes 0 and 64, then set 2's, each sounded and released, then all sound off.
    EXPECT_EQ(notes, (std::vector<std::string>{"C9 40", "99 00 64", "99 00 00", "99 40 64", "99 40 00", "C9 41",
                                               "99 00 64", "99 00 00", "99 40 64", "99 40 00", "B9 78 00"}));
    EXPECT_EQ(log->front(), hexText(rhythmPart11Message())) << "the rhythm part first";
    EXPECT_TRUE(h->takeSent().empty()) << "nothing went to the module";
    EXPECT_FALSE(h->document().modified());

    log->clear();
    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log->empty(); }, 60000));
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(log->back(), "closed");
    EXPECT_EQ((*log)[log->size() - 2], "B9 78 00");
    EXPECT_EQ(list->currentIndex().row(), rowOf("rock.kfg")) << "the key only stopped it";
}

TEST_F(Library, TheViewMenuTogglesItAndTheSettingsKeepItsFolders) {
    QTemporaryDir other;
    h->dialogs().directoryAnswers.push_back(other.path());
    QTest::mouseClick(dock->findChild<QPushButton*>("LibraryAddFolder"), Qt::LeftButton);
    auto* folders = dock->findChild<QComboBox*>("LibraryFolders");
    ASSERT_EQ(folders->count(), 2);
    folders->setCurrentIndex(0);
    QTest::mouseClick(dock->findChild<QPushButton*>("LibraryRemoveFolder"), Qt::LeftButton);
    EXPECT_EQ(list->model()->rowCount(), 0) << "the kits of the folder taken off go with it";
    QTest::keyClick(&h->window(), Qt::Key_V, Qt::AltModifier);
    QMenu* menu = h->window().findChild<QMenu*>("Show1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 30000));
    QTest::keyClick(menu, Qt::Key_L);
    EXPECT_FALSE(dock->isVisible());
    h->window().FormDestroy();
    EXPECT_EQ(h->settings().value("ShowLibrary").toString(), "0");
    EXPECT_EQ(h->settings().value("LibraryFolders").toString(), QDir::cleanPath(other.path()));
}

// The README's picture: KITFORGE_SCREENSHOT=path.png takes it; otherwise nothing runs.
TEST(LibraryPicture, Screenshot) {
    const QString to = qEnvironmentVariable("KITFORGE_SCREENSHOT");
    if (to.isEmpty()) GTEST_SKIP() << "KITFORGE_SCREENSHOT names no file";
    QTemporaryDir folder;
    const struct {
        const char* file;
        const char* set;
        int used;
    } kits[] = {{"rock.kfg", "Rock Kit", 24},       {"brushes.kfg", "Jazz Brush", 18}, {"808 electro.mid", "TR-808", 16},
                {"house.kfg", "House", 20},         {"orchestra.syx", "Orch Perc", 30}, {"live set.txt", "Live", 40},
                {"notes.txt", nullptr, 0}};
    unsigned seed = 11;
    for (const auto& k : kits) {
        QFile f(folder.path() + "/" + k.file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        std::string bytes = "just some notes";
        if (k.set) {
            Kit kit = tableKit(shippedTables(), k.used, seed++);
            kit.setSetName(1, k.set);
            const QString name = k.file;
            if (name.endsWith(".mid")) bytes = WriteMidiFile(kit, true, k.file);
            else if (name.endsWith(".txt")) bytes = WriteTextFile(kit, true);
            else if (name.endsWith(".syx")) {
                bytes.clear();
                for (const MidiBytes& m : kitLoadMessages(kit)) bytes.append(m.begin(), m.end());
            } else bytes = WriteKitFile(kit);
        }
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    HarnessOptions o;
    o.settings = {{"LibraryFolders", folder.path()}, {"ShowLibrary", "1"}};
    Harness h(std::move(o));
    h.window().resize(1440, 760);
    ui::LibraryDock* dock = h.parts().library;
    ASSERT_TRUE(QTest::qWaitFor([&] { return dock->idle() && dock->entries().size() == 7; }, 60000));
    dock->setAuditionSynth([] { return std::unique_ptr<MidiBackend>(); });
    h.window().resizeDocks({dock}, {560}, Qt::Horizontal);
    QTreeView* list = dock->list();
    list->setCurrentIndex(list->model()->index(6, 0));  // rock.kfg
    QTest::keyClick(list, Qt::Key_Return);
    list->setCurrentIndex(list->model()->index(5, 0));
    for (int c = 0; c < 5; ++c) list->resizeColumnToContents(c);
    h.takeSent();  // the kit sent, and the transfer's progress gone
    ASSERT_TRUE(QTest::qWaitFor([&] { return !h.parts().transfer->cancelButton()->isVisible(); }, 60000));
    ASSERT_TRUE(h.window().grab().save(to));
}

}  // namespace
}  // namespace kf::test
