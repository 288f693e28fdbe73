#include "app/main_window.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QLayout>
#include <QPointer>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include "app/about_box.h"
#include "app/actions.h"
#include "app/help.h"
#include "app/options_dialog.h"
#include "app/settings.h"
#include "app/startup_steps.h"
#include "app/title_window.h"
#include "app/compare_box.h"
#include "app/controls.h"
#include "app/data_box.h"
#include "app/dialogs.h"
#include "app/edit_commands.h"
#include "app/file_commands.h"
#include "app/fonts.h"
#include "app/grid.h"
#include "app/icons.h"
#include "app/library_dock.h"
#include "app/library_grid.h"
#include "app/name_bar.h"
#include "app/panel.h"
#include "app/preview.h"
#include "app/status_bar.h"
#include "editor/text.h"
#include "app/transfer.h"
#include "app/view_options.h"
#include "files/disk.h"
#include "gs/device_commands.h"

namespace kf::ui {

namespace {
std::vector<std::string> toStd(const QStringList& dirs) {
    std::vector<std::string> v;
    for (const QString& d : dirs) v.push_back(d.toStdString());  // UTF-8, as the core takes paths
    return v;
}
}  // namespace

MainWindow::MainWindow(ModuleLine line, Dialogs& dialogs, QSettings& settings, StartOptions start)
    : dialogs_(dialogs), settings_(settings), start_(std::move(start)), editor_(std::move(line)) {
    setObjectName("FormMain");
    setFont(uiFont(12));
    setWindowTitle(QStringLiteral("Kitforge"));
    setWindowIcon(icons::program());
    setAcceptDrops(true);
    setStatusTip(QString::fromUtf8(kOwnHint));
    resize(1024, 720);
    startup::mark("editor and main window");

    auto* edit = new EditCommands(editor_, this);
    startup::mark("edit commands");
    auto* grid = new NoteGrid(editor_, edit->gridMenuActions());
    startup::mark("note grid");
    auto* panel = new ParameterPanel(editor_);
    startup::mark("parameter panel");
    auto* preview = new Preview(editor_, dialogs_, this);
    auto* dataBox = new DataBox(editor_);
    startup::mark("preview and data box");
    auto* nameBar = new NameBar(editor_, this);
    startup::mark("name bar");
    auto* files = new FileCommands(editor_, dialogs_, this);
    startup::mark("file commands");
    parts_.compare = new CompareCommands(editor_, dialogs_, this);
    parts_.grid = grid;
    parts_.panel = panel;
    parts_.preview = preview;
    parts_.edit = edit;
    parts_.dataBox = dataBox;
    parts_.nameBar = nameBar;
    parts_.files = files;
    editor_.setResponsiveness([] { pumpEvents(); },
                              [](bool on) {
                                  if (on) QApplication::setOverrideCursor(Qt::WaitCursor);
                                  else QApplication::restoreOverrideCursor();
                              });
    // Focus decides whether the edit shortcuts act on the grid or on a text box.
    connect(grid, &NoteGrid::entered, edit, &EditCommands::Grid1Enter);
    connect(panel, &ParameterPanel::entered, edit, &EditCommands::Grid1Enter);
    connect(dataBox, &DataBox::entered, edit, &EditCommands::Grid1Enter);
    connect(panel, &ParameterPanel::textEntryBegun, edit, &EditCommands::beginTextEntry);
    connect(nameBar, &NameBar::textEntryBegun, edit, &EditCommands::beginTextEntry);
    for (QAction* a : {edit->Insert1, edit->Insert2}) connect(a, &QAction::triggered, dataBox, &DataBox::Insert1Click);
    connect(grid, &NoteGrid::dataBoxWanted, dataBox, &DataBox::showIfHidden);

    panelLeft1_ = new QWidget;
    panelLeft1_->setObjectName("Panel_Left1");
    leftLayout_ = new QVBoxLayout(panelLeft1_);
    leftLayout_->setContentsMargins(0, 0, 0, 0);
    leftLayout_->setSpacing(0);
    // A kit of the library shows beside the grid, read-only, once a row of it is clicked.
    auto* libraryGrid = new LibraryGrid(editor_);
    parts_.libraryGrid = libraryGrid;
    auto* libraryBox = new QWidget;
    libraryBox->setObjectName("LibraryGridBox");
    auto* libraryLayout = new QVBoxLayout(libraryBox);
    libraryLayout->setContentsMargins(2, 0, 0, 0);
    libraryLayout->setSpacing(0);
    auto* libraryTitle = new QLabel;
    libraryTitle->setObjectName("LibraryGridTitle");
    libraryLayout->addWidget(libraryTitle);
    libraryLayout->addWidget(libraryGrid, 1);
    libraryBox->hide();
    auto* grids = new QWidget;
    auto* gridsLayout = new QHBoxLayout(grids);
    gridsLayout->setContentsMargins(0, 0, 0, 0);
    gridsLayout->setSpacing(0);
    gridsLayout->addWidget(grid, 1);
    gridsLayout->addWidget(libraryBox, 1);
    connect(libraryGrid, &LibraryGrid::entered, edit, &EditCommands::Grid1Enter);
    leftLayout_->addWidget(grids, 1);
    leftLayout_->addWidget(dataBox);
    auto* panelRight1 = new QWidget;
    panelRight1->setObjectName("Panel_Right1");
    auto* rightLayout = new QVBoxLayout(panelRight1);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(panel->scrollBox());
    splitter1_ = new QSplitter(Qt::Horizontal);
    splitter1_->setObjectName("Splitter1");
    splitter1_->setHandleWidth(2);
    splitter1_->setChildrenCollapsible(false);
    splitter1_->addWidget(panelLeft1_);
    splitter1_->addWidget(panelRight1);
    splitter1_->setStretchFactor(1, 1);
    setCentralWidget(splitter1_);

    statusBar1_ = new StatusBar(this);
    setStatusBar(statusBar1_);
    edit->showHint = [this](const QString& h) { statusBar1_->setHint(h); };
    for (EditorObserver* o : std::initializer_list<EditorObserver*>{statusBar1_, grid, panel, nameBar, edit, preview, dataBox,
                                                                    parts_.compare})
        editor_.addObserver(o);
    startup::mark("layout and status bar");

    buildToolBar();
    addToolBar(Qt::TopToolBarArea, toolBar1_);
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, nameBar);
    startup::mark("tool bar");

    auto* view = new ViewOptions(dataBox->DataUp1, dataBox->DataDown1, this);
    // Each bar is a tool bar row of its own: with both hidden the bar area takes no room at all.
    connect(view, &ViewOptions::toolBarShown, toolBar1_, &QWidget::setVisible);
    connect(view, &ViewOptions::nameBarShown, nameBar, &QWidget::setVisible);
    connect(view, &ViewOptions::statusBarShown, statusBar1_, &QWidget::setVisible);
    connect(view, &ViewOptions::dataBoxShown, dataBox, &QWidget::setVisible);
    connect(view, &ViewOptions::dataBoxPlaced, this, [this, dataBox](bool atBottom) {
        leftLayout_->removeWidget(dataBox);
        leftLayout_->insertWidget(atBottom ? 1 : 0, dataBox);
    });
    parts_.view = view;

    // The kit library beside the grid, hidden until asked for.
    auto* library = new LibraryDock(dialogs_, this);
    parts_.library = library;
    addDockWidget(Qt::LeftDockWidgetArea, library);
    library->hide();
    connect(view, &ViewOptions::libraryShown, library, &QWidget::setVisible);
    connect(library, &LibraryDock::closed, view, [view] { view->SetLibraryVisible(false); });
    connect(library, &LibraryDock::openRequested, files, &FileCommands::dropFile);
    connect(library, &LibraryDock::kitChosen, this,
            [libraryBox, libraryTitle, libraryGrid](const QString& fileName, const Kit& kit) {
                libraryTitle->setText(fileName);
                libraryGrid->showKit(kit);
                libraryBox->show();
            });
    connect(view, &ViewOptions::libraryShown, libraryBox, [libraryBox](bool on) {
        if (!on) libraryBox->hide();
    });
    dataBox->showBox = [view] { view->SetDataBoxVisible(true); };
    connect(dataBox->DataClose1, &QAction::triggered, view, [view] { view->SetDataBoxVisible(false); });
    QMenu* popView = view->popupMenu(this);
    nameBar->popViewMenu = [popView](const QPoint& at) { popView->popup(at); };
    toolBar1_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(toolBar1_, &QWidget::customContextMenuRequested, this,
            [this, popView](const QPoint& p) { popView->popup(toolBar1_->mapToGlobal(p)); });
    nameBar->setContextMenuPolicy(Qt::PreventContextMenu);

    // A control with the focus that goes out of sight (a tool bar's widget folded away as the
    // window shrinks, a bar hidden) hands the focus to the grid, not to the next control in the
    // chain: that would be a name box, where the next key typed renames a set.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (old && now && now != parts_.grid && !old->isVisible() && isAncestorOf(old) && isAncestorOf(now) &&
            parts_.grid->isVisible())
            parts_.grid->setFocus(Qt::OtherFocusReason);
    });

    startup::mark("view options");

    buildMenus();
    startup::mark("menus");
    auto* transfer = new TransferMonitor(editor_, dialogs_, this);
    parts_.transfer = transfer;
    for (QWidget* w : transfer->widgets()) statusBar1_->addPermanentWidget(w);
    // With the status bar hidden a transfer would go unseen, and a close would seem to hang:
    // the bar shows for as long as the transfer does.
    connect(transfer, &TransferMonitor::shownChanged, this, [this](bool on) {
        if (on && !statusBar1_->isVisibleTo(this)) {
            statusBar1_->show();
            statusBarRaised_ = true;
        } else if (!on && statusBarRaised_) {
            statusBar1_->hide();
            statusBarRaised_ = false;
        }
    });
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), grid, nullptr, nullptr, Qt::WidgetShortcut);
    connect(esc, &QShortcut::activated, transfer, &TransferMonitor::cancelIfRunning);
    editor_.setTransferWatch(parts_.transfer);
    connect(parts_.transfer, &TransferMonitor::reportAnswered, this, [this] {
        if (!closeAfterReport_) return;
        closeAfterReport_ = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    startup::mark("transfer monitor");
}

// Made when first wanted: neither is needed to show the window.
OptionsDialog* MainWindow::optionsDialog() {
    if (!options_) {
        options_ = new OptionsDialog(editor_, dialogs_, *parts_.view, this);
        options_->openHelp = [this](int context) { helpViewer()->showTopic(context); };
    }
    return options_;
}

AboutBox* MainWindow::aboutBox() {
    if (!about_) about_ = new AboutBox(this);
    return about_;
}

MainWindow::~MainWindow() {
    FormDestroy();
    // The widgets follow the editor to their end, and some let go of its queue as they go: they
    // go first, the editor and its session with the line after them.
    editor_.removeObservers();
    QList<QPointer<QObject>> widgets;
    for (QObject* child : children())
        if (!qobject_cast<QLayout*>(child)) widgets.append(child);
    for (const QPointer<QObject>& child : widgets) delete child.data();
}

void MainWindow::buildToolBar() {
    EditCommands* edit = parts_.edit;
    FileCommands* files = parts_.files;
    ParameterPanel* panel = parts_.panel;
    toolBar1_ = new QToolBar(QStringLiteral("ﾂｰﾙﾊﾞｰ"), this);
    toolBar1_->setObjectName("ToolBar1");
    toolBar1_->setMovable(false);
    toolBar1_->setMinimumHeight(26);
    toolBar1_->setIconSize(QSize(16, 16));
    edit->Cut3->setIcon(icons::cut());
    edit->Copy3->setIcon(icons::copy());
    edit->Paste3->setIcon(icons::paste());
    edit->Undo3->setIcon(icons::undo());
    toolBar1_->addActions({files->New2, files->Open2, files->Save2});
    toolBar1_->addSeparator();
    toolBar1_->addActions({edit->Cut3, edit->Copy3, edit->Paste3});
    toolBar1_->addSeparator();
    toolBar1_->addAction(edit->Undo3);
    toolBar1_->addSeparator();
    preview2_ = new QAction(icons::speaker(), QStringLiteral("ﾌﾟﾚﾋﾞｭｰ"), this);
    preview2_->setObjectName("Preview2");
    preview2_->setStatusTip(QStringLiteral("作成した音を鳴らします。"));
    preview2_->setToolTip(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ"));
    toolBar1_->addAction(preview2_);
    if (auto* button = qobject_cast<QToolButton*>(toolBar1_->widgetForAction(preview2_))) {
        button->setObjectName("Preview2Button");
        Preview* preview = parts_.preview;
        // The release of any button silences the grid note, as the grid's own does.
        holdToSound(
            button, [preview] { preview->Preview2MouseDown(); }, [preview] { preview->Preview2MouseUp(); }, true);
    }
    toolBar1_->addSeparator();
    QAction* memo = toolBar1_->addWidget(panel->velocityMemo());
    QAction* upDown = toolBar1_->addWidget(panel->velocityUpDown());
    QAction* track = toolBar1_->addWidget(panel->velocityTrackBar());
    parts_.preview->governEnabled(preview2_);
    for (QAction* a : {memo, upDown, track}) parts_.preview->governVisible(a);
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->addMenu(parts_.files->fileMenu(this));
    bar->addMenu(parts_.edit->editMenu(this));
    bar->addMenu(parts_.view->viewMenu(this));

    auto* tools = tools_ = new QMenu(QStringLiteral("ﾂｰﾙ(&T)"), this);
    tools->setObjectName("T1");
    tools->setProperty("helpContext", 13);
    tools->menuAction()->setStatusTip(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ機能、ｵﾌﾟｼｮﾝの設定などを行います。"));
    preview1_ = tools->addAction(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ(&P)"));
    preview1_->setObjectName("Preview1");
    preview1_->setCheckable(true);
    preview1_->setChecked(true);
    preview1_->setStatusTip(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ機能を使用する/しないの切り替え。"));
    connect(preview1_, &QAction::triggered, this, [this] {
        preview1_->setChecked(editor_.session().preview());  // SetPreview sets the tick itself
        editor_.preview().toggle();
    });
    send1_ = tools->addMenu(QStringLiteral("送信(&S)"));
    send1_->setObjectName("Send1");
    send1_->menuAction()->setStatusTip(QStringLiteral("MIDIﾒｯｾｰｼﾞを送信します。"));
    struct Item {
        const char* name;
        const char* caption;
        const char* hint;
    } items[] = {
        {"N10", "ALL SOUND OFF", "発音中の音を止めます。"},
        {"GSRESET1", "GS RESET", "GSﾘｾｯﾄを送信します。"},
        {"MODE11", "SYSTEM MODE 1", "ｼﾝｸﾞﾙﾓｼﾞｭｰﾙﾓｰﾄﾞにします。"},
        {"MODE21", "SYSTEM MODE 2", "ﾀﾞﾌﾞﾙﾓｼﾞｭｰﾙﾓｰﾄﾞにします。"},
        {"ALLPARTProMAP1", "ALL PART Pro MAP ", "ﾌﾟﾘｾｯﾄ･ﾊﾟｯﾁを使ってすべてのﾊﾟｰﾄをSC-88Proﾏｯﾌﾟにします。"},
    };
    int tag = 0;
    for (const Item& i : items) {
        QAction* a = send1_->addAction(QString::fromUtf8(i.caption));
        a->setObjectName(i.name);
        a->setStatusTip(QString::fromUtf8(i.hint));
        a->setData(tag++);
        connect(a, &QAction::triggered, this, [this, a] { N10Click(a->data().toInt()); });
    }
    tools->addAction(parts_.files->Receive1);
    parts_.preview->governEnabled(parts_.files->Receive1);
    for (QAction* a : {parts_.compare->Verify1, parts_.compare->SendDiff1}) {
        tools->addAction(a);
        parts_.preview->governEnabled(a);
    }
    tools->addSeparator();
    option1_ = tools->addAction(QStringLiteral("ｵﾌﾟｼｮﾝ(&O)..."));
    option1_->setObjectName("Option1");
    option1_->setStatusTip(QStringLiteral("各種設定を変更します。"));
    connect(option1_, &QAction::triggered, this, &MainWindow::Option1Click);
    bar->addMenu(tools);
    parts_.preview->governChecked(preview1_);
    parts_.preview->governEnabled(send1_->menuAction());

    auto* help = new QMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"), this);
    help->setObjectName("Help1");
    help->setProperty("helpContext", 14);
    help->menuAction()->setStatusTip(QStringLiteral("ｵﾝﾗｲﾝﾍﾙﾌﾟやﾊﾞｰｼﾞｮﾝ情報を表示します。"));
    contents1_ = help->addAction(QStringLiteral("ﾄﾋﾟｯｸの検索(&H)"));
    contents1_->setObjectName("Contents1");
    contents1_->setShortcut(QKeySequence(Qt::Key_F1));
    contents1_->setStatusTip(QStringLiteral("ﾍﾙﾌﾟﾄﾋﾟｯｸを表示します。"));
    connect(contents1_, &QAction::triggered, this, &MainWindow::Contents1Click);
    help->addSeparator();
    about1_ = help->addAction(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)..."));
    about1_->setObjectName("About1");
    about1_->setProperty("helpContext", 47);
    connect(about1_, &QAction::triggered, this, &MainWindow::About1Click);
    bar->addMenu(help);
    addAction(contents1_);
    connect(parts_.files->Exit1, &QAction::triggered, this, &MainWindow::Exit1Click);
}

void MainWindow::FormCreate() {
    const EditorState& s = editor_.state();
    title_ = std::make_unique<TitleWindow>();
    title_->show();
    title_->repaint();
    pumpEvents();
    startup::mark("title window");

    LoadSettings(*this, settings_);
    startup::mark("settings and MIDI port");

    LoadProgress progress;
    QProgressBar* bar = title_->progressBar();
    progress.setMaximum = [bar](int m) { bar->setMaximum(m); };
    progress.step = [bar] {
        bar->setValue(bar->value() + 1);
        pumpEvents();
    };
    progress.finished = [bar] { bar->setValue(bar->maximum()); };
    QStringList dirs = start_.tableDirs;
    try {
        int useMap = s.options.useMap;
        ReferenceTables tables = LoadReferenceTables(toStd(dirs), useMap, s.options.drumSet, &progress);
        editor_.setTables(std::move(tables), useMap);
    } catch (const FileError& error) {
        tableError_ = QString::fromUtf8(formatFileMessage(kCannotOpenText, "%1").c_str())
                          .arg(QDir::toNativeSeparators(QString::fromStdString(error.path())));
    }
    startup::mark("reference tables");
    // Dialogs start in the default directory, else the user's home (not the program's folder).
    parts_.files->saveDialogDirectory = s.options.directory.isEmpty() ? QDir::homePath() : s.options.directory;
    editor_.file().setFolder(s.options.directory.isEmpty() ? QString() : QDir::toNativeSeparators(s.options.directory + "/"));

    if (const QScreen* screen = QGuiApplication::primaryScreen()) workArea_ = screen->availableGeometry();
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &MainWindow::AppIdle);

    setUpWindow();
    startup::mark("window set-up");
    // The title window stays until the open has answered, so that a failure box stands over
    // it; a kit named on the command line then goes to the open port, as at any later open.
    editor_.preview().settle();
    title_->hide();
    startup::mark("settle");
    parts_.files->OpenFromCommandLine(start_.arguments);
    editor_.file().startUnmodified();
    if (!tableError_.isEmpty())
        dialogs_.message(this, QMessageBox::Critical, QStringLiteral("Kitforge"), tableError_, QMessageBox::Ok);
    startup::mark("command line");
}

void MainWindow::setUpWindow() {
    const EditorState& s = editor_.state();
    leftWidthPending_ = true;
    parts_.edit->setUp();
    parts_.grid->setUp();
    for (int set = 1; set <= kSetCount; ++set) parts_.grid->setNameChanged(set);
    QStringList suggestions;
    for (const std::string& n : s.tables.nameSuggestions) suggestions << toUnicode(n);
    parts_.nameBar->setSuggestions(suggestions);
    parts_.nameBar->showNames();
    editor_.selection().home();
    parts_.dataBox->setUp();
    parts_.library->setInstrumentNames(std::make_shared<const InstrumentNames>(s.tables));
    if (s.tables.mapList.empty())
        for (QAction* a : {parts_.edit->Insert1, parts_.edit->Insert2}) a->setEnabled(false);
    parts_.panel->setUp();
    parts_.files->showCaption();
    parts_.grid->setFocus();
}

void MainWindow::AppIdle() {
    if (inIdle_ || destroyed_) return;
    inIdle_ = true;
    if (editor_.state().options.inScreen) KeepInScreen(workArea_);
    editor_.selection().syncEditCell();
    if (parts_.files->applicationTitle != windowTitle()) parts_.files->applicationTitle = windowTitle();
    inIdle_ = false;
}

void MainWindow::KeepInScreen(const QRect& area) {
    if (isMinimized() || isMaximized() || area.isEmpty()) return;
    QRect g = frameGeometry();
    const int L = area.left(), R = area.left() + area.width(), T = area.top(), B = area.top() + area.height();
    int width = g.width(), height = g.height(), left = g.left(), top = g.top();
    if (width > R - L) width = R - L;
    if (left > R - width) left = R - width;
    if (left < L) left = L;
    if (height > B - T) height = B - T;
    if (top > B - height) top = B - height;
    if (top < T) top = T;
    if (width == g.width() && height == g.height() && left == g.left() && top == g.top()) return;
    const QSize frame = g.size() - size();
    if (width != g.width() || height != g.height()) resize(width - frame.width(), height - frame.height());
    move(left, top);
}

void MainWindow::AppHint(const QString& hint) {
    statusBar1_->setHint(hint.isEmpty() ? QString::fromUtf8(kOwnHint) : hint);
}

bool MainWindow::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        AppHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void MainWindow::N10Click(int command) {
    BusyCursor hourglass;
    editor_.preview().sendDeviceCommand(command);
}

void MainWindow::Exit1Click() {
    if (editor_.state().busy) return;
    close();
}

bool MainWindow::FormClose() { return parts_.files->mayDiscard(false); }

void MainWindow::closeEvent(QCloseEvent* event) {
    if (parts_.transfer->reporting()) {
        // Not now, with a box still open over the window, but once it is answered.
        closeAfterReport_ = true;
        event->ignore();
        return;
    }
    if (!FormClose()) {
        event->ignore();
        return;
    }
    // What is still on its way to the module goes out first, with the progress shown; 中止,
    // or closing again, drops it and the window closes all the same.
    waitingToClose_ = true;
    parts_.transfer->waitUntilSent();
    waitingToClose_ = false;
    event->accept();
}

void MainWindow::showEvent(QShowEvent* event) {
    // Qt passes a second close over while the first is still running: catch it on its way.
    if (QWindow* w = windowHandle()) w->installEventFilter(this);
    QMainWindow::showEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && waitingToClose_ && watched == windowHandle())
        parts_.transfer->TransferCancelClick();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (!editor_.state().tables.empty()) SaveSettings(*this, settings_);
    editor_.preview().closeOutput();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    // Not inside the drop itself: the window system waits for it to return.
    const QString path = urls.front().toLocalFile();
    QTimer::singleShot(0, this, [this, path] { parts_.files->dropFile(path); });
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (leftWidthPending_) {
        // Half the client width, once the window has its first size.
        leftWidthPending_ = false;
        splitter1_->setSizes({width() / 2, width() - width() / 2});
    }
    // The splitter and a sliver of the right panel stay reachable however narrow the window.
    const int w = splitter1_->width();
    if (w > 4 && w - 4 < panelLeft1_->width()) splitter1_->setSizes({w - 4, 4});
}

void MainWindow::Option1Click() {
    if (editor_.state().busy) return;
    optionsDialog()->exec();
}

void MainWindow::About1Click() {
    if (editor_.state().busy) return;
    aboutBox()->exec();
}

HelpViewer* MainWindow::helpViewer() {
    if (!help_) help_ = new HelpViewer(start_.helpFile, this);
    return help_;
}

void MainWindow::Contents1Click() {
    // A control with a topic of its own opens that topic; anything else opens the contents.
    QWidget* focused = focusWidget();  // this window's, even while the help window is active
    if (focused && !focused->property("helpContext").isValid() && qobject_cast<QComboBox*>(focused->parentWidget()))
        focused = focused->parentWidget();  // the edit field of a combo box stands for the box
    helpViewer()->showTopic(focused ? focused->property("helpContext").toInt() : 0);
}

}  // namespace kf::ui
