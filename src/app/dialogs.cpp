#include "app/dialogs.h"

#include <QEventLoop>
#include <QPointer>
#include <QWindow>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>

namespace kf::ui {

QMessageBox::StandardButton DesktopDialogs::message(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                                    const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, caption, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void DesktopDialogs::report(QWidget* window, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    // Not modal: Qt drops a close request to a window a modal box blocks, so the user would
    // have to close twice. The window is disabled instead; the box has no parent, since a
    // disabled parent would disable it too, and stays above the window as its transient.
    QMessageBox box(icon, caption, text, QMessageBox::Ok);
    box.setWindowModality(Qt::NonModal);
    QPointer<QWidget> blocked(window);
    if (window) {
        window->setEnabled(false);
        box.winId();
        if (QWindow* handle = window->windowHandle()) box.windowHandle()->setTransientParent(handle);
        box.adjustSize();
        box.move(window->frameGeometry().center() - box.rect().center());
    }
    QEventLoop loop;
    QObject::connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
    box.show();
    box.activateWindow();
    loop.exec();
    if (blocked) blocked->setEnabled(true);
}

QString DesktopDialogs::openFile(QWidget* parent, const QString& caption, const QString& directory,
                                 const QString& proposedName, const QString& filter) {
    QFileDialog dialog(parent, caption, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("kfg");
    dialog.selectFile(proposedName);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

namespace {
// Qt saves the file selected in the list over the name in the box when both are set. The
// proposed name selects its file once the folder has loaded, and a name typed before the box
// had the focus leaves that selection standing: the name the box reads is the one saved.
class SaveDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override {
        auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* list = findChild<QListView*>(QStringLiteral("listView"));
        if (name && list && list->selectionModel() && !name->text().isEmpty()) {
            QStringList selected;
            for (const QModelIndex& row : list->selectionModel()->selectedRows()) selected << row.data().toString();
            if (selected.size() != 1 || selected.front() != name->text()) list->selectionModel()->clearSelection();
        }
        QFileDialog::accept();
    }
};
}  // namespace

QString DesktopDialogs::saveFile(QWidget* parent, const SaveRequest& r) {
    SaveDialog dialog(parent, QString(), r.directory);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(r.filters);
    dialog.selectNameFilter(r.filters.value(r.selectedFilter));
    dialog.setDefaultSuffix(r.defaultSuffix);
    // A name typed without an extension takes the one of the type chosen in the dialog.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        const int star = filter.indexOf(QStringLiteral("*."));
        const int end = filter.indexOf(QLatin1Char(')'), star);
        if (star >= 0 && end > star) dialog.setDefaultSuffix(filter.mid(star + 2, end - star - 2));
    });
    dialog.selectFile(r.proposedName);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

DirectoryChooser::DirectoryChooser(QWidget* parent, const QString& start) : QFileDialog(parent, QString(), start) {
    setObjectName("DirectoryChooser");
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly);
    setOption(QFileDialog::DontUseNativeDialog);  // the native one cannot be made to let the name through
}

void DirectoryChooser::accept() {
    const QString typed = selectedFiles().value(0);
    if (!typed.isEmpty() && !QFileInfo::exists(typed)) {
        missing_ = typed;
        QDialog::accept();
        return;
    }
    missing_.clear();
    QFileDialog::accept();
}

QString DirectoryChooser::chosen() const { return missing_.isEmpty() ? selectedFiles().value(0) : missing_; }

QString DesktopDialogs::chooseDirectory(QWidget* parent, const QString& start) {
    DirectoryChooser dialog(parent, start);
    return dialog.exec() == QDialog::Accepted ? dialog.chosen() : QString();
}

}  // namespace kf::ui
