// The document side of the window: New, Open, Save, Save As, the save prompt, the caption
// and the kit named on the command line.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>

class QAction;
class QMainWindow;
class QMenu;

#include "app/dialogs.h"
#include "editor/editor_controller.h"
#include "files/disk.h"

namespace kf::ui {

class FileCommands : public QObject {
    Q_OBJECT
public:
    FileCommands(EditorController& controller, Dialogs& dialogs, QMainWindow* window);

    QAction *New1, *Open1, *Save1, *SaveAs1, *Import1, *Embed1, *Exit1;
    // Tools: both user drum sets read back from the module.
    QAction* Receive1;
    QAction *New2, *Open2, *Save2;
    QMenu* fileMenu(QWidget* parent);  // "ﾌｧｲﾙ(&F)"

    void New1Click();
    void Open1Click();
    // Reads the user drum sets of a MIDI file, SysEx dump or hex text into an untitled kit.
    void Import1Click();
    bool importFile(const QString& path);
    // Writes a chosen song again with the kit's set-up in its opening; the document stays as it is.
    void Embed1Click();
    // The embed's gap, kept for the next embed while the program runs.
    int embedGapMs = 20;
    // Asks to save first; the kit read becomes an untitled, modified document, not sent back.
    void Receive1Click();
    // A file dropped on the window: a kit file opens as by Open, anything else is imported.
    void dropFile(const QString& path);
    void Save1Click();
    void SaveAs1Click();
    QMessageBox::StandardButton AskSave();
    void OpenFromCommandLine(const QStringList& arguments);
    // The save prompt of New, Open and closing: false when the command must not go on.
    bool mayDiscard(bool saveAs);

    // Where the save dialog starts: the default directory, else the user's home.
    QString saveDialogDirectory;
    // The task bar's title: the caption without the running operation.
    QString applicationTitle;
    // What reads and writes the files.
    DiskCalls disk = systemDiskCalls();

    QString title() const { return QStringLiteral("Kitforge - ") + c_.document().name(); }
    void showCaption(const QString& suffix = QString());

    // The extension written when one replaces another: lower case when the old one is.
    static QString replaceExtension(const QString& name, const QString& upperExtension);
    static QString extensionOf(const QString& name);  // ".KFG", upper case; empty when none

private:
    enum class Write { Done, Failed, UnknownType };
    Write writeByExtension(const QString& path);
    Write saveTo(const QString& path);
    void refuseExtension();
    bool readKit(const QString& path, Kit& into);
    bool loadDocument(const QString& path, Kit read);
    // Reads a whole file, or shows "ﾌｧｲﾙ %s は開けません" and returns false.
    bool readBytes(const QString& path, std::string* bytes);
    void cannotOpen(const QString& path, const std::exception& why);
    // The name a kit file opened takes: its extension that of the file type the options save as.
    QString nameByFileType(const QString& name) const;
    void fileError(const QString& text);
    void adoptFetched(const DocumentFile::Fetched& fetched);

    EditorController& c_;
    Dialogs& dialogs_;
    QMainWindow* window_;
};

}  // namespace kf::ui
