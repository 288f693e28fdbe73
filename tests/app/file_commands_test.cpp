#include <stdexcept>
#include <cstring>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QUrl>
#include <QApplication>
#include <QTest>
#include <QFileDialog>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QMenu>

#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cerrno>

#include "app/edit_commands.h"
#include "app/file_commands.h"
#include "app/grid.h"
#include "app/name_bar.h"
#include "app/panel.h"
#include "files/disk.h"
#include "files/exports.h"
#include "files/kit_file.h"
#include "files/kit_import.h"
#include "gui_harness.h"
#include "sample_kit.h"
#include "smf.h"

namespace kf::test {
namespace {

class Files : public ::testing::Test {
protected:
    void SetUp() override { start({}); }
    void start(HarnessOptions o) {
        h.reset();
        h = std::make_unique<Harness>(std::move(o));
        files = h->parts().files;
    }
    QString path(const QString& name) const { return h->dir() + "/" + name; }
    void write(const QString& name, const std::string& bytes) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    std::string read(const QString& name) { return readFileBytes(path(name).toStdString()); }
    void edit() {
        h->useNote(1, 36, "Kick");
        ui::EditorTestAccess::setModified(h->editor(), true);
    }
    std::unique_ptr<Harness> h;
    ui::FileCommands* files = nullptr;
};

#ifdef _WIN32
bool eioAfterFirstRead(void* file, void* buffer, unsigned long size, unsigned long* done) {
    static int calls = 0;
    if (++calls % 2 == 0) {
        ::SetLastError(ERROR_IO_DEVICE);
        return false;
    }
    return ::ReadFile(file, buffer, std::min<unsigned long>(size, 4096), done, nullptr);
}
bool throwingRead(void*, void*, unsigned long, unsigned long*) { throw std::logic_error("broken reader"); }
#else
ssize_t eioAfterFirstRead(int fd, void* buffer, std::size_t size) {
    static int calls = 0;
    if (++calls % 2 == 0) {
        errno = EIO;
        return -1;
    }
    return ::read(fd, buffer, std::min<std::size_t>(size, 4096));
}
ssize_t throwingRead(int, void*, std::size_t) { throw std::logic_error("broken reader"); }
#endif

// A file Ctrl+O cannot open, over a changed document whose save prompt is answered No.
enum class Made { Nothing, Fifo, FullKit, Text };
struct OpenRow {
    const char* name;
    Made made;
    const char* text;  // the file's bytes, for Made::Text
    decltype(DiskCalls::read) read;  // none: the system's
    const char* message;  // %1: the file's path
};
void PrintTo(const OpenRow& row, std::ostream* os) { *os << row.name; }
constexpr auto byName = [](const auto& info) { return std::string(info.param.name); };

class OpenRefused : public Files, public ::testing::WithParamInterface<OpenRow> {};

TEST_P(OpenRefused, KeepsTheDocumentAndSaysWhy) {
    const OpenRow& row = GetParam();
    edit();
    h->editor().file().nameFile(h->document().folder(), "mine.kfg");
    const std::string before = WriteKitFile(h->document().kit());
    const QString file = path("x.kfg");
    if (row.made == Made::Fifo) {
#ifdef _WIN32
        GTEST_SKIP() << "no FIFOs in Windows' file system";
#else
        ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
#endif
    }
    if (row.made == Made::FullKit) write("x.kfg", WriteKitFile(test::fullKit()));
    if (row.made == Made::Text) write("x.kfg", row.text);
    if (row.read) files->disk.read = row.read;
    h->dialogs().answers.push_back(QMessageBox::No);
    h->dialogs().openAnswers.push_back(file);
    QTest::keyClick(h->parts().grid, Qt::Key_O, Qt::ControlModifier);
    files->disk = systemDiskCalls();
    ASSERT_EQ(h->dialogs().shown.size(), 2u) << "the save prompt, then the refusal";
    EXPECT_EQ(h->dialogs().shown[1].text, QString::fromUtf8(row.message).replace("%1", file));
    EXPECT_EQ(WriteKitFile(h->document().kit()), before);
    EXPECT_TRUE(h->document().modified());
    EXPECT_EQ(h->document().name(), "mine.kfg");
    EXPECT_FALSE(h->state().busy);
}

const OpenRow kOpenRows[] = {
    {"AReadThatFailsHalfway", Made::FullKit, "", &eioAfterFirstRead, "ﾌｧｲﾙ %1 は開けません"},
    // A FIFO is no file to open, and must not hang the window.
    {"AFifo", Made::Fifo, "", nullptr, "ﾌｧｲﾙ %1 は開けません"},
    // A fault of the program is named as one, not passed off as a bad file.
    {"AReaderThatThrows", Made::FullKit, "", &throwingRead, "ﾌｧｲﾙ %1 は開けません\r\n(内部ｴﾗｰ: broken reader)"},
    {"ANewerVersion", Made::Text, "@KFG FORMAT,121\r\n0,1,x\r\n", nullptr, "このﾊﾞｰｼﾞｮﾝでは扱えないﾌｧｲﾙです。"},
    {"AForeignFile", Made::Text, "hello\r\n", nullptr, "Kitforge のﾌｧｲﾙではありません。"},
    {"AMissingFile", Made::Nothing, "", nullptr, "ﾌｧｲﾙ %1 は開けません"},
};
INSTANTIATE_TEST_SUITE_P(Files, OpenRefused, ::testing::ValuesIn(kOpenRows), byName);

TEST_F(Files, NoPromptWithoutChanges) {
    files->New1Click();
    h->dialogs().openAnswers.push_back({});
    files->Open1Click();
    EXPECT_TRUE(h->dialogs().shown.empty());
    EXPECT_EQ(h->dialogs().openProposals.size(), 1u);
}

TEST_F(Files, YesThenCancelledSaveAsKeepsTheDocument) {
    edit();
    h->dialogs().answers.push_back(QMessageBox::Yes);
    files->New1Click();
    ASSERT_EQ(h->dialogs().shown.size(), 1u);
    EXPECT_EQ(h->dialogs().shown[0].text, QStringLiteral("無題 は変更されています。保存しますか？"));
    EXPECT_EQ(h->dialogs().shown[0].icon, QMessageBox::Information);
    EXPECT_EQ(h->dialogs().saveRequests.size(), 1u);
    EXPECT_EQ(h->dialogs().saveRequests[0].proposedName, QStringLiteral("無題"));
    EXPECT_EQ(h->dialogs().saveRequests[0].selectedFilter, 0);
    EXPECT_EQ(h->document().kit().entry(1, 36).used, 1) << "the work stays";
    EXPECT_TRUE(h->document().modified());
    // No discards, Cancel keeps
    h->dialogs().answers.push_back(QMessageBox::Cancel);
    files->New1Click();
    EXPECT_EQ(h->document().kit().entry(1, 36).used, 1);
    h->select(2, 40);
    h->dialogs().answers.push_back(QMessageBox::No);
    files->New1Click();
    EXPECT_EQ(h->document().kit().entry(1, 36).used, 0);
    EXPECT_FALSE(h->document().modified());
    EXPECT_TRUE(h->parts().grid->cellText(1, 36).isEmpty());
    EXPECT_EQ(h->state().currentSet * 1000 + h->state().currentNote, 1000) << "a new kit starts at set 1, note 0";
}

TEST_F(Files, ClosingWithAFailedSaveStaysOpen) {
    edit();
    h->dialogs().answers.push_back(QMessageBox::Yes);  // Save on an untitled document: Save As, cancelled
    EXPECT_FALSE(h->window().close());
    h->dialogs().answers.push_back(QMessageBox::No);
    EXPECT_TRUE(h->window().close());
}

TEST_F(Files, OpenWithFileTypeMidRenamesAndSaveWritesBothFiles) {
    HarnessOptions o;
    o.settings = {{"FileType", "2"}, {"AutoSave", "1"}};
    start(o);
    const Kit kit = test::fullKit();
    write("rock.kfg", WriteKitFile(kit));
    h->dialogs().openAnswers.push_back(path("rock.kfg"));
    h->takeSent();
    files->Open1Click();
    EXPECT_EQ(h->document().name(), "rock.mid");
    EXPECT_EQ(h->window().windowTitle(), "Kitforge - rock.mid");
    EXPECT_EQ(h->document().kit().entry(2, 127).name, kit.entry(2, 127).name.substr(0, 20));
    EXPECT_EQ(h->parts().grid->headerText(2), QString::fromStdString(kit.setName(2)));
    EXPECT_EQ(h->parts().grid->selectedNote(), 0);
    EXPECT_TRUE(h->parts().edit->entryCommandsEnabled()) << "the note shown is a used one now";
    EXPECT_FALSE(h->document().modified());
    EXPECT_FALSE(h->parts().edit->undoEnabled());
    // The whole kit; the shown note's Rx messages take the places of that note's own.
    EXPECT_EQ(h->takeSent().size(), 256u * 12 + 4);
    files->Save1Click();
    EXPECT_EQ(read("rock.mid").substr(0, 4), "MThd");
    EXPECT_EQ(read("rock.kfg"), WriteKitFile(h->document().kit()));
    // The names as written, letter for letter (a file system may ignore case when it looks up).
    const QStringList names = QDir(QFileInfo(path("rock.kfg")).absolutePath()).entryList(QDir::Files);
    EXPECT_TRUE(names.contains("rock.kfg") && names.contains("rock.mid")) << names.join(' ').toStdString();
    EXPECT_FALSE(names.contains("rock.KFG") || names.contains("rock.MID")) << names.join(' ').toStdString();
}

// Save As with a name of each type: the file starts as that format does, the type becomes the
// setting (a SysEx dump, no type of the settings, leaves it), and the next Save As proposes
// the same name in the type of the setting.
struct FormatRow {
    const char* name;
    int fileType;
    const char* head;
};
void PrintTo(const FormatRow& row, std::ostream* os) { *os << row.name; }

const FormatRow kFormatRows[] = {{"kfg", 1, "@KFG"},
                                 {"mid", 2, "MThd"},
                                 {"prt", 3, "RCPPR"},
                                 {"txt", 4, "@NAME,0,"},
                                 {"syx", 1, "\xF0\x41\x10\x42\x12\x40\x1A\x15\x02\x0F\xF7\xF0"}};

class SaveAsFormats : public Files, public ::testing::WithParamInterface<FormatRow> {};

TEST_P(SaveAsFormats, SetTheTypeAndTheNextProposal) {
    const QString file = QString("a.") + GetParam().name;
    const char* typeName = kFormatRows[GetParam().fileType - 1].name;
    edit();
    h->dialogs().saveAnswers.push_back(path(file));
    QTest::keyClick(h->parts().grid, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(h->state().options.fileType, GetParam().fileType);
    EXPECT_FALSE(h->document().modified());
    EXPECT_EQ(read(file).substr(0, std::strlen(GetParam().head)), GetParam().head);
    if (std::strcmp(GetParam().name, "kfg") != 0) {
        EXPECT_FALSE(QFile::exists(path("a.kfg"))) << "no companion without auto-save";
    }
    QTest::keyClick(h->parts().grid, Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(h->dialogs().saveRequests.size(), 2u);
    const ui::SaveRequest& next = h->dialogs().saveRequests[1];
    EXPECT_EQ(next.proposedName, QString("a.") + typeName);
    EXPECT_EQ(next.selectedFilter, GetParam().fileType - 1);
    EXPECT_EQ(next.defaultSuffix, typeName);
    EXPECT_EQ(next.filters, (QStringList{"Kitforge 1.0 (*.kfg)", QStringLiteral("ｽﾀﾝﾀﾞｰﾄﾞMIDIﾌｧｲﾙ(*.mid)"),
                                         QStringLiteral("ﾚｺﾝﾎﾟｰｻﾞPRT形式(*.prt)"), QStringLiteral("ﾃｷｽﾄ文書 (*.txt)"),
                                         QStringLiteral("SysEx ﾌｧｲﾙ (*.syx)")}))
        << "every pattern with its dot";
}

INSTANTIATE_TEST_SUITE_P(Files, SaveAsFormats, ::testing::ValuesIn(kFormatRows), byName);

TEST_F(Files, AnUnknownExtensionIsRefused) {
    edit();
    h->dialogs().saveAnswers.push_back(path("a.doc"));
    files->SaveAs1Click();
    EXPECT_TRUE(h->document().modified());
    EXPECT_FALSE(h->document().named());
    EXPECT_EQ(h->document().name(), QStringLiteral("無題"));
    EXPECT_FALSE(QFile::exists(path("a.doc")));
    ASSERT_EQ(h->dialogs().shown.size(), 1u);
    EXPECT_EQ(h->dialogs().shown[0].text, QStringLiteral("拡張子は .kfg .mid .prt .txt .syx のいずれかにしてください。"));
}

TEST_F(Files, AFailedSaveKeepsTheOldFileAndTheModifiedFlag) {
    edit();
    h->dialogs().saveAnswers.push_back(path("keep.kfg"));
    files->SaveAs1Click();
    const std::string saved = read("keep.kfg");
    h->kitUnseen().entry(1, 40).used = 1;
    ui::EditorTestAccess::setModified(h->editor(), true);
    // the directory is replaced by a plain file, so nothing can be written there
    const QString blocked = h->dir() + "/blocked";
    QFile(blocked).open(QIODevice::WriteOnly);
    h->editor().file().setFolder(blocked + "/");
    files->Save1Click();
    EXPECT_TRUE(h->document().modified());
    ASSERT_EQ(h->dialogs().shown.size(), 1u);
    EXPECT_EQ(h->dialogs().shown[0].text, QStringLiteral("ﾌｧｲﾙ %1/keep.kfg を作成できません").arg(blocked));
    EXPECT_EQ(read("keep.kfg"), saved);
    EXPECT_FALSE(h->state().busy);
}

TEST_F(Files, AnotherExtensionInTheOpenDialogChangesNothing) {
    write("x.mid", "MThd");
    h->dialogs().openAnswers.push_back(path("x.mid"));
    files->Open1Click();
    EXPECT_EQ(h->document().name(), QStringLiteral("無題"));
    EXPECT_TRUE(h->dialogs().shown.empty());
}

TEST_F(Files, CommandLineInTwoUnquotedParts) {
    QDir(h->dir()).mkdir("My Kits");
    Kit kit;
    kit.reset();
    kit.entry(2, 9).used = 1;
    kit.entry(2, 9).name = "Clap";
    write("My Kits/x.kfg", WriteKitFile(kit));
    HarnessOptions o;
    o.arguments = {h->dir() + "/My", "Kits/x.kfg"};
    const QString dir = h->dir();
    // keep the files: start the new window from the same temporary directory's contents
    Harness second(o);
    EXPECT_EQ(second.document().name(), "x.kfg");
    EXPECT_EQ(second.document().kit().entry(2, 9).name, "Clap");
    EXPECT_EQ(second.parts().grid->selectedSet(), 2);
    EXPECT_EQ(second.parts().grid->selectedNote(), 9);
    EXPECT_FALSE(second.document().modified());
    HarnessOptions other;
    other.arguments = {dir + "/My Kits/x.txt"};
    Harness ignored(other);
    EXPECT_EQ(ignored.document().name(), QStringLiteral("無題"));
}

TEST_F(Files, BusyBlocksTheCommands) {
    ui::EditorTestAccess::setBusy(h->editor(), true);
    files->New1Click();
    files->Open1Click();
    files->Save1Click();
    files->SaveAs1Click();
    EXPECT_TRUE(h->dialogs().saveRequests.empty());
    EXPECT_TRUE(h->dialogs().openProposals.empty());
    ui::EditorTestAccess::setBusy(h->editor(), false);
}

TEST_F(Files, ExtensionsKeepTheirCase) {
    EXPECT_EQ(ui::FileCommands::replaceExtension("rock.kfg", ".MID"), "rock.mid");
    EXPECT_EQ(ui::FileCommands::replaceExtension("rock.KFG", ".MID"), "rock.MID");
    EXPECT_EQ(ui::FileCommands::replaceExtension("rock.Kfg", ".MID"), "rock.MID");
    EXPECT_EQ(ui::FileCommands::replaceExtension(QStringLiteral("無題"), ".KFG"), QStringLiteral("無題.KFG"));
    EXPECT_EQ(ui::FileCommands::extensionOf("a.b/c"), "");
    EXPECT_EQ(ui::FileCommands::extensionOf("x.Txt"), ".TXT");
}

// Under Japanese names, which no single-byte code page holds.
TEST_F(Files, AFullKitOpenedAndSavedReadsBackTheSame) {
    const QString in = QStringLiteral("ﾄﾞﾗﾑ入力.kfg"), out = QStringLiteral("ﾄﾞﾗﾑ出力.kfg");
    write(in, WriteKitFile(test::fullKit()));
    h->dialogs().openAnswers.push_back(path(in));
    files->Open1Click();
    ASSERT_TRUE(h->dialogs().shown.empty()) << h->dialogs().shown[0].text.toStdString();
    h->dialogs().saveAnswers.push_back(path(out));
    files->SaveAs1Click();
    Kit back;
    back.reset();
    EXPECT_EQ(ReadKitFile(read(out), back).status, KitReadResult::Read);
    EXPECT_EQ(WriteKitFile(back), read(in));
}

TEST_F(Files, ImportAsksToSaveThenMakesAnUntitledKitAndSendsIt) {
    const Kit kit = test::fullKit();
    write("song.mid", WriteMidiFile(kit, true, "song.mid"));
    edit();
    h->select(1, 36);
    h->parts().edit->Delete1->trigger();
    ASSERT_TRUE(h->parts().edit->Undo1->isEnabled());
    h->dialogs().answers.push_back(QMessageBox::No);  // the save prompt: don't save
    h->dialogs().openAnswers.push_back(path("song.mid"));
    h->takeSent();
    files->Import1->trigger();
    ASSERT_EQ(h->dialogs().shown.size(), 2u);
    EXPECT_EQ(h->dialogs().shown[0].text, QStringLiteral("無題 は変更されています。保存しますか？"));
    EXPECT_EQ(h->dialogs().shown[1].caption, QStringLiteral("ｲﾝﾎﾟｰﾄ"));
    EXPECT_TRUE(h->dialogs().shown[1].text.contains(QStringLiteral("ｾｯﾄ1: 128 音色、ｾｯﾄ2: 128 音色、ｾｯﾄ名: 2")))
        << h->dialogs().shown[1].text.toStdString();
    EXPECT_EQ(h->document().kit().entry(2, 127).name, kit.entry(2, 127).name);
    EXPECT_EQ(h->document().kit().setName(2), kit.setName(2));
    EXPECT_EQ(h->document().name(), QStringLiteral("無題"));
    EXPECT_TRUE(h->document().modified());
    EXPECT_EQ(h->window().windowTitle(), QStringLiteral("Kitforge - 無題"));
    EXPECT_EQ(h->parts().grid->cellText(1, 0), QString::fromStdString(kit.entry(1, 0).name));
    EXPECT_FALSE(h->parts().edit->Undo1->isEnabled()) << "no undo into the kit that was replaced";
    // Preview is on: the kit goes to the module whole, as Open sends it.
    EXPECT_GE(h->takeSent().size(), 256u * 12 + 4);
}

TEST_F(Files, TheImportDialogIsTitledImportAndReachedFromTheFileMenu) {
    QTest::keyClick(&h->window(), Qt::Key_F, Qt::AltModifier);
    QMenu* menu = h->window().findChild<QMenu*>("File1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 30000));
    QTest::keyClick(menu, Qt::Key_I);
    ASSERT_EQ(h->dialogs().openCaptions.size(), 1u);
    EXPECT_EQ(h->dialogs().openCaptions[0], QStringLiteral("ｲﾝﾎﾟｰﾄ"));
}

TEST(SaveDialog, ABareNameTakesTheExtensionOfTheTypeChosen) {
    QTemporaryDir dir;
    ui::DesktopDialogs dialogs;
    ui::SaveRequest r;
    r.directory = dir.path();
    r.filters = {"Kitforge 1.0 (*.kfg)", QString::fromUtf8("ｽﾀﾝﾀﾞｰﾄﾞMIDIﾌｧｲﾙ(*.mid)")};
    r.defaultSuffix = "kfg";
    QTimer::singleShot(0, [] {
        // The dialog as a person uses it: the type list, then a name, then Enter.
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(types && name);
        QTest::keyClick(types, Qt::Key_Down);
        QTest::keyClicks(name, "bare");
        QTest::keyClick(name, Qt::Key_Return);
    });
    EXPECT_EQ(QFileInfo(dialogs.saveFile(nullptr, r)).fileName(), "bare.mid");
}

TEST_F(Files, AnImportWithNothingUsableLeavesTheDocumentAlone) {
    write("plain.txt", "just some text\r\n");
    h->useNote(1, 36, "Kick");
    const std::string before = WriteKitFile(h->document().kit());
    h->dialogs().openAnswers.push_back(path("plain.txt"));
    files->Import1->trigger();
    ASSERT_EQ(h->dialogs().shown.size(), 1u);
    EXPECT_EQ(h->dialogs().shown[0].text,
              QStringLiteral("ﾌｧｲﾙ %1 にはﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄのﾃﾞｰﾀがありません。").arg(path("plain.txt")));
    EXPECT_EQ(WriteKitFile(h->document().kit()), before);
}

void drop(QWidget* target, const QString& file) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file)});
    const QPoint at(200, 200);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    QApplication::processEvents();
}

TEST_F(Files, ADroppedMidiFileIsImportedAndADroppedKitFileOpened) {
    Kit kit = test::fullKit();
    write("song.mid", WriteMidiFile(kit, true, "song.mid"));
    // Over the grid, which takes only notes: the file goes on to the window.
    drop(h->parts().grid->viewport(), path("song.mid"));
    EXPECT_EQ(h->document().name(), QStringLiteral("無題"));
    EXPECT_EQ(h->document().kit().entry(1, 5).level, kit.entry(1, 5).level);
    kit.setSetName(1, "Dropped");
    write("dropped.kfg", WriteKitFile(kit));
    h->dialogs().answers.push_back(QMessageBox::No);  // the imported kit is modified: don't save
    drop(&h->window(), path("dropped.kfg"));
    EXPECT_EQ(h->document().name(), "dropped.kfg");
    EXPECT_EQ(h->document().kit().setName(1), "Dropped");
    EXPECT_FALSE(h->document().modified());
}

// A song of two tracks at 480 ticks a quarter and 120 beats a minute: the conductor, and a
// piano whose GS reset comes at the start and its first note in the second measure.
std::string pianoSong() {
    const std::string reset("\x00\xF0\x0A\x41\x10\x42\x12\x40\x00\x7F\x00\x41\xF7", 13);
    return smf::file({std::string("\x00\xFF\x51\x03\x07\xA1\x20\x00\xFF\x58\x04\x04\x02\x18\x08\x00\xFF\x2F\x00", 19),
                      reset + std::string("\x8F\x00\x90\x3C\x64\x83\x60\x3C\x00\x00\xFF\x2F\x00", 13)});
}

// As a person does it: ﾌｧｲﾙ opened with Alt+F, down to 曲に埋め込む..., Enter; the song chosen,
// a gap of 30 ms typed into the dialog, where to save chosen; the box says what was done.
TEST_F(Files, EmbedFromTheFileMenuWritesTheSongWithTheKitAndLeavesTheDocument) {
    edit();
    const std::string before = WriteKitFile(h->document().kit());
    const QString title = h->window().windowTitle();
    write("song.mid", pianoSong());
    h->dialogs().openAnswers.push_back(path("song.mid"));
    h->dialogs().saveAnswers.push_back(path("song_kit.mid"));
    h->takeSent();
    bool answered = false;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, &answered] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || dialog->objectName() != "EmbedDialog") return;
        poll->stop();
        poll->deleteLater();
        QWidget* gap = dialog->findChild<QWidget*>("EmbedGap");
        ASSERT_TRUE(gap);
        EXPECT_FALSE(dialog->findChild<QWidget*>("EmbedReset")->isEnabled()) << "the song has a reset of its own";
        EXPECT_FALSE(dialog->findChild<QWidget*>("EmbedKeep")->isEnabled()) << "the song has no user drum sets";
        QTest::keyClick(gap, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(gap, "30");
        QTest::keyClick(gap, Qt::Key_Return);
        answered = true;
    });
    poll->start(10);

    QTest::keyClick(&h->window(), Qt::Key_F, Qt::AltModifier);
    QMenu* menu = h->window().findChild<QMenu*>("File1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 30000));
    for (int i = 0; i < 10 && menu->activeAction() != files->Embed1; ++i) QTest::keyClick(menu, Qt::Key_Down);
    ASSERT_EQ(menu->activeAction(), files->Embed1);
    EXPECT_EQ(files->Embed1->text(), QStringLiteral("曲に埋め込む..."));
    QTest::keyClick(menu, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !h->dialogs().shown.empty(); }, 30000));
    EXPECT_TRUE(answered);

    ASSERT_EQ(h->dialogs().openCaptions.size(), 1u);
    EXPECT_EQ(h->dialogs().openCaptions[0], QStringLiteral("曲に埋め込む"));
    ASSERT_EQ(h->dialogs().saveRequests.size(), 1u);
    EXPECT_EQ(h->dialogs().saveRequests[0].proposedName, "song_kit.mid");
    EXPECT_EQ(QDir(h->dialogs().saveRequests[0].directory), QDir(h->dir()));
    // 15 messages from tick 52 (54.2 ms, the reset's 50 ms and its own 3.52 ms past), each 29
    // ticks (30.2 ms) after the one before, up to tick 458: all before the note at 1920.
    ASSERT_EQ(h->dialogs().shown.size(), 1u);
    EXPECT_EQ(h->dialogs().shown[0].caption, QStringLiteral("曲に埋め込む"));
    EXPECT_EQ(h->dialogs().shown[0].text,
              QStringLiteral("song_kit.mid に書き込みました。\r\n追加したﾒｯｾｰｼﾞ: 15 (ﾄﾗｯｸ 2)\r\n"
                             "位置: 1 小節目 54.2 ms から 1 小節目 477.1 ms\r\n"
                             "GSﾘｾｯﾄ (1 小節目 0.0 ms) の 54.2 ms 後から\r\nﾒｯｾｰｼﾞの間隔: 30.21 ms 以上\r\n"
                             "曲は元の位置のままです。\r\nｾｯﾄｱｯﾌﾟの長さ: 0.45 秒"));
    const auto tracks = smf::readAll(read("song_kit.mid"));
    ASSERT_EQ(tracks.size(), 2u);
    std::vector<std::uint32_t> ticks;
    for (const smf::AnyEvent& e : tracks[1])
        if (e.bytes.compare(0, 3, "\xF0\x0A\x41") == 0 && e.bytes[6] != '\x40') ticks.push_back(e.time);
    ASSERT_EQ(ticks.size(), 12u) << "the note's twelve messages";
    for (size_t i = 1; i < ticks.size(); ++i) EXPECT_EQ(ticks[i] - ticks[i - 1], 29u);
    Kit back;
    ImportKit(read("song_kit.mid"), back);
    EXPECT_EQ(back.entry(1, 36), [&] {
        DrumNoteEntry e = h->document().kit().entry(1, 36);
        e.name.clear();  // no message carries it
        return e;
    }());
    // The document is as it was, and nothing went to the module.
    EXPECT_EQ(WriteKitFile(h->document().kit()), before);
    EXPECT_TRUE(h->document().modified());
    EXPECT_EQ(h->window().windowTitle(), title);
    EXPECT_EQ(read("song.mid"), pianoSong());
    EXPECT_TRUE(h->takeSent().empty());
    EXPECT_FALSE(h->state().busy);
}

TEST_F(Files, ASongThatCannotBeReadIsRefusedBeforeAnythingIsAsked) {
    const std::string cut = pianoSong().substr(0, 60);
    write("cut.mid", cut);
    h->dialogs().openAnswers.push_back(path("cut.mid"));
    files->Embed1->trigger();
    ASSERT_EQ(h->dialogs().shown.size(), 1u);
    EXPECT_EQ(h->dialogs().shown[0].text,
              QStringLiteral("ﾌｧｲﾙ %1 には埋め込めません。\r\n(a chunk runs past the end of the file (the file is cut "
                             "short, or its length is wrong) (at byte 41))")
                  .arg(path("cut.mid")));
    EXPECT_TRUE(h->dialogs().saveRequests.empty());
    EXPECT_EQ(QDir(h->dir()).entryList({"*.mid"}, QDir::Files), QStringList({"cut.mid"}));
}

}  // namespace
}  // namespace kf::test
