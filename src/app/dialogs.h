// Message, file and directory dialogs go through this seam so tests can answer them.
#pragma once

#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

namespace kf::ui {

struct SaveRequest {
    QString directory;
    QString proposedName;
    QStringList filters;  // "name (pattern)"
    int selectedFilter = 0;
    QString defaultSuffix;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                                const QString& text, QMessageBox::StandardButtons buttons) = 0;
    // Empty when cancelled. caption: the dialog's title, the system's own when empty.
    virtual QString openFile(QWidget* parent, const QString& caption, const QString& directory,
                             const QString& proposedName, const QString& filter) = 0;
    virtual QString saveFile(QWidget* parent, const SaveRequest& request) = 0;
    virtual QString chooseDirectory(QWidget* parent, const QString& start) = 0;
    // A box about something that happened on its own, not in answer to the user. Until it is
    // answered the window takes no input, yet a request to close it still reaches the window,
    // which may carry it out after the box.
    virtual void report(QWidget* window, QMessageBox::Icon icon, const QString& caption, const QString& text) {
        message(window, icon, caption, text, QMessageBox::Ok);
    }
};

// Chooses a directory, and lets a typed name that does not exist yet through, so that the
// caller can offer to create it (Qt's own chooser refuses such a name).
class DirectoryChooser : public QFileDialog {
    Q_OBJECT
public:
    DirectoryChooser(QWidget* parent, const QString& start);
    QString chosen() const;

protected:
    void accept() override;

private:
    QString missing_;
};

// The real dialogs of the desktop.
class DesktopDialogs : public Dialogs {
public:
    QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                        const QString& text, QMessageBox::StandardButtons buttons) override;
    QString openFile(QWidget* parent, const QString& caption, const QString& directory, const QString& proposedName,
                     const QString& filter) override;
    QString saveFile(QWidget* parent, const SaveRequest& request) override;
    QString chooseDirectory(QWidget* parent, const QString& start) override;
    void report(QWidget* window, QMessageBox::Icon icon, const QString& caption, const QString& text) override;
};

}  // namespace kf::ui
