// TFormMain: composes the editor's widgets, runs start-up and shutdown in their fixed order,
// and owns the idle and hint hooks.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <vector>

#include "editor/editor_controller.h"

class QAction;
class QLabel;
class QMenu;
class QSettings;
class QSplitter;
class QToolBar;
class QVBoxLayout;

namespace kf::ui {

class AboutBox;
class CompareCommands;
class DataBox;
class Dialogs;
class EditCommands;
class FileCommands;
class HelpViewer;
class LibraryDock;
class LibraryGrid;
class NameBar;
class NoteGrid;
class OptionsDialog;
class ParameterPanel;
class Preview;
class StatusBar;
class TitleWindow;
class TransferMonitor;
class ViewOptions;

// The parts the window composes, for the window that wires them and for tests that press them.
struct WindowParts {
    NoteGrid* grid = nullptr;
    ParameterPanel* panel = nullptr;
    Preview* preview = nullptr;
    EditCommands* edit = nullptr;
    DataBox* dataBox = nullptr;
    NameBar* nameBar = nullptr;
    FileCommands* files = nullptr;
    ViewOptions* view = nullptr;
    TransferMonitor* transfer = nullptr;
    CompareCommands* compare = nullptr;
    LibraryDock* library = nullptr;
    LibraryGrid* libraryGrid = nullptr;  // a library kit beside the grid, read-only
};

struct StartOptions {
    QStringList tableDirs;  // where the reference tables are looked for, first match wins
    QStringList arguments;  // the command line: a kit file to open
    QString helpFile;       // the HTML help beside the program
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // line: the transports the module session runs on, its own from here on.
    MainWindow(ModuleLine line, Dialogs& dialogs, QSettings& settings, StartOptions start);
    ~MainWindow() override;

    EditorController& editor() { return editor_; }
    const EditorController& editor() const { return editor_; }
    Dialogs& dialogs() { return dialogs_; }
    const WindowParts& parts() const { return parts_; }

    // The start-up sequence, in its fixed order.
    void FormCreate();
    void FormDestroy();
    void Exit1Click();
    void AppIdle();
    void AppHint(const QString& hint);
    void KeepInScreen(const QRect& workArea);
    void N10Click(int command);
    void Option1Click();
    void About1Click();
    void Contents1Click();

    QToolBar* toolBar() const { return toolBar1_; }
    QWidget* leftPanel() const { return panelLeft1_; }
    StatusBar* status() const { return statusBar1_; }
    QMenu* sendMenu() const { return send1_; }
    QMenu* toolsMenu() const { return tools_; }
    QAction* previewAction() const { return preview1_; }
    QAction* previewButton() const { return preview2_; }
    TitleWindow* titleWindow() const { return title_.get(); }
    OptionsDialog* optionsDialog();
    AboutBox* aboutBox();
    HelpViewer* helpViewer();
    // The work area measured at start-up.
    QRect workArea() const { return workArea_; }
    static constexpr const char* kOwnHint = "ﾍﾙﾌﾟを表示するには [F1] を押してください。";

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A close asked for again while the first still waits for the transfer.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildMenus();
    void buildToolBar();
    void setUpWindow();
    bool FormClose();

    Dialogs& dialogs_;
    QSettings& settings_;
    StartOptions start_;
    EditorController editor_;
    WindowParts parts_;
    std::unique_ptr<TitleWindow> title_;
    QToolBar* toolBar1_ = nullptr;
    QWidget* panelLeft1_ = nullptr;
    QVBoxLayout* leftLayout_ = nullptr;
    QSplitter* splitter1_ = nullptr;
    StatusBar* statusBar1_ = nullptr;
    QMenu* send1_ = nullptr;
    QMenu* tools_ = nullptr;
    QAction* preview1_ = nullptr;
    QAction* preview2_ = nullptr;
    QAction* option1_ = nullptr;
    QAction* about1_ = nullptr;
    QAction* contents1_ = nullptr;
    OptionsDialog* options_ = nullptr;
    AboutBox* about_ = nullptr;
    QPointer<HelpViewer> help_;  // while a modal dialog is open it belongs to that dialog
    QRect workArea_;
    bool destroyed_ = false;
    bool waitingToClose_ = false;
    bool closeAfterReport_ = false;  // a close asked for while a failure report was up
    bool statusBarRaised_ = false;   // shown for a transfer while the user has it hidden
    bool inIdle_ = false;
    bool leftWidthPending_ = false;
    QString tableError_;
};

}  // namespace kf::ui
