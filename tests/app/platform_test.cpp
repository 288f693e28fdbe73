// The platform around the window: Japanese standard dialogs, help beside a modal dialog, a
// directory chooser that lets a new name through, the program's icon and desktop entry.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/about_box.h"
#include "app/help.h"
#include "app/options_dialog.h"
#include "app/dialogs.h"
#include "gui_harness.h"

namespace kf::test {
namespace {

TEST(Platform, StandardButtonsSpeakJapanese) {
    QMessageBox box(QMessageBox::Question, "Kitforge", "?", QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    for (auto b : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}) {
        const QString text = box.button(b)->text();
        EXPECT_FALSE(text.contains(QRegularExpression("[A-Za-z]{3,}"))) << text.toStdString();
    }
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove('&').left(5), QStringLiteral("キャンセル"));
}

TEST(Platform, HelpCanBeReadWhileTheOptionsDialogIsOpen) {
    Harness h;
    ui::OptionsDialog* dlg = h.window().optionsDialog();
    ui::HelpViewer* viewer = nullptr;
    bool besideTheDialog = false;
    QTimer::singleShot(0, [&] {
        QTest::keyClick(dlg, Qt::Key_F1);
        viewer = h.window().helpViewer();
        // Qt blocks every window but the modal dialog's own: the viewer must be one of those.
        besideTheDialog = viewer->isVisible() && viewer->parentWidget() == QApplication::activeModalWidget();
        dlg->reject();
    });
    h.window().Option1Click();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(besideTheDialog);
    // Once the dialog is gone, F1 in the window finds the viewer back with the window.
    h.window().Contents1Click();
    EXPECT_EQ(h.window().helpViewer()->parentWidget(), &h.window());
}

TEST(Platform, TheDirectoryChooserLetsATypedNewNameThrough) {
    QTemporaryDir dir;
    const QString wanted = dir.path() + "/newkits";
    ui::DirectoryChooser chooser(nullptr, dir.path());
    QTimer::singleShot(0, [&] {
        auto* name = chooser.findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        QTest::keyClicks(name, "newkits");
        QTest::keyClick(name, Qt::Key_Return);
        if (chooser.isVisible()) chooser.reject();
    });
    ASSERT_EQ(chooser.exec(), QDialog::Accepted);
    EXPECT_EQ(chooser.chosen(), wanted);
    EXPECT_FALSE(QFileInfo::exists(wanted)) << "creating it is the caller's question";
}

// The proposed file is selected in the list once the folder has loaded; a name typed while the
// box had no focus (a busy desktop activates the dialog late) leaves that selection standing.
TEST(Platform, SaveAsSavesTheNameTheBoxReadsNotTheProposedFileSelectedBeside) {
    QTemporaryDir dir;
    QFile(dir.path() + "/a.prt").open(QIODevice::WriteOnly);
    ui::SaveRequest r;
    r.directory = dir.path();
    r.proposedName = "a.prt";
    r.filters = {QStringLiteral("ﾃｷｽﾄ(*.txt)")};
    r.defaultSuffix = "txt";
    bool asked = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        auto* list = dialog->findChild<QListView*>("listView");
        ASSERT_TRUE(name && list);
        ASSERT_TRUE(QTest::qWaitFor([&] { return list->selectionModel()->hasSelection(); }, 30000))
            << "the proposed file was never selected: nothing was tested";
        list->setFocus();
        name->selectAll();
        QTest::keyClicks(name, "a.txt");
        ASSERT_EQ(name->text(), "a.txt");
        // Any overwrite question would be about the wrong file: note it and say no. Tied to the
        // dialog, so that it never runs once the dialog is gone.
        QTimer::singleShot(0, dialog, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = true;
                box->button(QMessageBox::No) ? box->button(QMessageBox::No)->click() : box->reject();
            }
            if (dialog->isVisible()) dialog->reject();
        });
        QTest::keyClick(name, Qt::Key_Return);
    });
    EXPECT_EQ(ui::DesktopDialogs().saveFile(nullptr, r), dir.path() + "/a.txt");
    EXPECT_FALSE(asked);
}

TEST(Platform, TheProgramHasItsOwnIconInTheWindowAndTheAboutBox) {
    Harness h;
    const QIcon icon = h.window().windowIcon();
    ASSERT_FALSE(icon.isNull());
    const auto sizes = icon.availableSizes();
    for (int s : {16, 32, 48, 256}) EXPECT_TRUE(sizes.contains(QSize(s, s))) << s;
    auto* shown = h.window().aboutBox()->findChild<QLabel*>("ProgramIcon");
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->pixmap().toImage(), icon.pixmap(32, 32).toImage());
}

}  // namespace
}  // namespace kf::test
