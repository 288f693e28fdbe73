#include "app/library_dock.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <unordered_set>

#include "app/dialogs.h"
#include "editor/text.h"
#include "files/disk.h"
#include "midi/midi_bytes.h"
#include "model/sjis.h"

namespace kf::ui {

namespace {

// A batch goes to the window at least this often while a folder is read, so the list fills
// as it is read.
constexpr int kBatchMs = 100;

QString trimmedName(const std::string& sjis) { return toUnicode(std::string(sjis::trim(sjis))); }

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// File names in ASCII case-insensitive order, bytes beyond ASCII as they come: cheap enough to
// sort 2,000 rows at each batch.
int compareFolded(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
        const int d = lower(static_cast<unsigned char>(a[i])) - lower(static_cast<unsigned char>(b[i]));
        if (d != 0) return d;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

QString cleanFolder(const QString& folder) { return QDir::cleanPath(QDir(folder).absolutePath()); }

}  // namespace

// The rows, and which of them the search leaves.
class LibraryModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    std::vector<LibraryEntry> rows;
    std::vector<int> shown;

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(shown.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 5; }

    const LibraryEntry* entry(int row) const {
        return row >= 0 && row < static_cast<int>(shown.size()) ? &rows[static_cast<size_t>(shown[static_cast<size_t>(row)])]
                                                                 : nullptr;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        static const char* const titles[] = {"ﾌｧｲﾙ名", "ｾｯﾄ1", "ｾｯﾄ2", "音色数", "更新日時"};
        return section >= 0 && section < 5 ? QString::fromUtf8(titles[section]) : QVariant();
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const LibraryEntry* e = entry(index.row());
        if (!e) return {};
        if (role == Qt::ToolTipRole) {
            const QString path = QDir::toNativeSeparators(QString::fromStdString(e->path));
            return e->readable() ? path : path + "\n" + QString::fromStdString(e->error);
        }
        if (role == Qt::ForegroundRole && !e->readable()) return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        if (role != Qt::DisplayRole) return {};
        switch (index.column()) {
            case 0: return QString::fromStdString(e->fileName);
            case 1: return e->readable() ? trimmedName(e->setNames[0]) : QString::fromStdString(e->error);
            case 2: return e->readable() ? trimmedName(e->setNames[1]) : QString();
            case 3: return e->readable() ? QStringLiteral("%1 / %2").arg(e->notes[0]).arg(e->notes[1]) : QString();
            default: return QDateTime::fromSecsSinceEpoch(e->modified).toString(QStringLiteral("yyyy/MM/dd HH:mm"));
        }
    }

    void refresh(std::vector<int> now) {
        beginResetModel();
        shown = std::move(now);
        endResetModel();
    }
};

// --- LibraryAudition

LibraryAudition::LibraryAudition(QObject* parent) : QObject(parent) {
    timer_.setInterval(kStepMs);
    connect(&timer_, &QTimer::timeout, this, &LibraryAudition::step);
}

LibraryAudition::~LibraryAudition() { stop(); }

void LibraryAudition::send(const MidiBytes& m) { synth_->send(m.data(), m.size()); }

void LibraryAudition::play(const Kit& kit) {
    stop();
    if (!makeSynth) return;
    std::shared_ptr<MidiBackend> synth = makeSynth();
    if (!synth) return;
    load_ = kitLoadMessages(kit);
    notes_ = usedNotes(kit);
    opening_ = true;
    const unsigned generation = ++generation_;
    opener_ = std::thread([this, synth, generation] {
        MidiError why;
        const bool ok = synth->open(-2, &why);
        QMetaObject::invokeMethod(
            this, [this, generation, synth, ok, why] { opened(generation, synth, ok, why); }, Qt::QueuedConnection);
    });
}

void LibraryAudition::opened(unsigned generation, std::shared_ptr<MidiBackend> synth, bool ok, const MidiError& why) {
    if (generation != generation_ || !opening_) return;  // stopped meanwhile: the synth goes with the last owner
    if (opener_.joinable()) opener_.join();
    opening_ = false;
    if (!ok) {
        emit failed(why);
        emit stopped();
        return;
    }
    synth_ = std::move(synth);
    for (const MidiBytes& m : load_) send(m);
    next_ = 0;
    set_ = 0;
    sounding_ = -1;
    step();
    timer_.start();
}

void LibraryAudition::step() {
    if (!synth_) return;
    if (sounding_ >= 0) send({midi::kRhythmNoteOn, static_cast<std::uint8_t>(sounding_), 0x00});
    sounding_ = -1;
    if (next_ >= notes_.size()) {
        stop();
        return;
    }
    const auto [set, note] = notes_[next_++];
    if (set != set_) send({midi::kRhythmProgram, static_cast<std::uint8_t>(midi::kUserSetProgramBase + set)});
    set_ = set;
    send({midi::kRhythmNoteOn, static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(kVelocity)});
    sounding_ = note;
}

void LibraryAudition::stop() {
    // An open under way ends first; what it opened is let go unheard.
    if (opener_.joinable()) opener_.join();
    if (opening_) {
        opening_ = false;
        emit stopped();
        return;
    }
    if (!synth_) return;
    timer_.stop();
    send({midi::kRhythmControl, midi::kAllSoundOff, 0x00});
    synth_->close();
    synth_.reset();
    notes_.clear();
    emit stopped();
}

// --- LibraryDock

LibraryDock::LibraryDock(Dialogs& dialogs, QWidget* parent)
    : QDockWidget(QStringLiteral("ｷｯﾄﾗｲﾌﾞﾗﾘ"), parent), dialogs_(dialogs), audition_(this) {
    setObjectName("LibraryDock");
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);

    auto* searchRow = new QHBoxLayout;
    search_ = new QLineEdit;
    search_->setObjectName("LibrarySearch");
    search_->setPlaceholderText(QStringLiteral("ﾌｧｲﾙ名・ｾｯﾄ名・音色名で検索"));
    clear_ = new QPushButton(QStringLiteral("ｸﾘｱ"));
    clear_->setObjectName("LibraryClear");
    clear_->setAutoDefault(false);
    searchRow->addWidget(search_, 1);
    searchRow->addWidget(clear_);
    layout->addLayout(searchRow);

    model_ = new LibraryModel(this);
    list_ = new QTreeView;
    list_->setObjectName("LibraryList");
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);  // 2,000 rows lay out without measuring each
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setModel(model_);
    list_->header()->setStretchLastSection(false);
    list_->installEventFilter(this);
    layout->addWidget(list_, 1);

    auto* playRow = new QHBoxLayout;
    auditionButton_ = new QPushButton(QStringLiteral("試聴"));
    auditionButton_->setObjectName("LibraryAudition");
    stop_ = new QPushButton(QStringLiteral("中止"));
    stop_->setObjectName("LibraryStop");
    status_ = new QLabel;
    status_->setObjectName("LibraryStatus");
    playRow->addWidget(auditionButton_);
    playRow->addWidget(stop_);
    playRow->addWidget(status_, 1);
    layout->addLayout(playRow);

    auto* folderRow = new QHBoxLayout;
    folderList_ = new QComboBox;
    folderList_->setObjectName("LibraryFolders");
    folderList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    folderList_->setMinimumContentsLength(12);
    addFolder_ = new QPushButton(QStringLiteral("ﾌｫﾙﾀﾞ追加..."));
    addFolder_->setObjectName("LibraryAddFolder");
    removeFolder_ = new QPushButton(QStringLiteral("ﾌｫﾙﾀﾞ削除"));
    removeFolder_->setObjectName("LibraryRemoveFolder");
    folderRow->addWidget(folderList_, 1);
    folderRow->addWidget(addFolder_);
    folderRow->addWidget(removeFolder_);
    layout->addLayout(folderRow);
    setWidget(body);

    connect(search_, &QLineEdit::textChanged, this, [this] {
        applySearch();
        updateButtons();
    });
    connect(clear_, &QPushButton::clicked, search_, &QLineEdit::clear);
    connect(list_, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const LibraryEntry* e = model_->entry(index.row())) emit openRequested(QString::fromStdString(e->path));
    });
    connect(list_, &QTreeView::clicked, this, [this](const QModelIndex& index) {
        const LibraryEntry* e = model_->entry(index.row());
        Kit kit;
        if (e && e->readable() && readKit(*e, windowTitle(), kit)) emit kitChosen(QString::fromStdString(e->fileName), kit);
    });
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { updateButtons(); });
    connect(addFolder_, &QPushButton::clicked, this, &LibraryDock::AddFolderClick);
    connect(removeFolder_, &QPushButton::clicked, this, &LibraryDock::RemoveFolderClick);
    connect(auditionButton_, &QPushButton::clicked, this, &LibraryDock::AuditionClick);
    connect(stop_, &QPushButton::clicked, this, &LibraryDock::StopClick);
    connect(&audition_, &LibraryAudition::failed, this, [this](const MidiError& why) {
        dialogs_.message(this, QMessageBox::Warning, QStringLiteral("試聴"),
                         QStringLiteral("内蔵音源を開けません。") +
                             (why.text.empty() ? QString() : "\r\n(" + QString::fromStdString(why.text) + ")"),
                         QMessageBox::Ok);
    });
    connect(&audition_, &LibraryAudition::stopped, this, [this] {
        qApp->removeEventFilter(this);
        updateButtons();
    });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this](const QString& folder) { scanFolder(folder); });
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this,
            [this](const QString& path) { scanFolder(QFileInfo(path).absolutePath()); });

    auditionButton_->setVisible(false);
    stop_->setVisible(false);
    worker_ = std::thread([this] { work(); });
    updateButtons();
}

LibraryDock::~LibraryDock() {
    audition_.stop();
    {
        std::lock_guard<std::mutex> lock(m_);
        quit_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    worker_.join();
}

const std::vector<LibraryEntry>& LibraryDock::entries() const { return model_->rows; }

void LibraryDock::setFolders(const QStringList& folders) {
    QStringList clean;
    for (const QString& f : folders)
        if (!f.isEmpty() && !clean.contains(cleanFolder(f))) clean << cleanFolder(f);
    if (clean == folders_) return;
    const QStringList gone = QStringList(folders_);
    folders_ = clean;
    if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
    QStringList unwatched;
    for (const QString& file : watcher_.files())
        if (!folders_.contains(QFileInfo(file).absolutePath())) unwatched << file;
    if (!unwatched.isEmpty()) watcher_.removePaths(unwatched);
    // Rows of a folder no longer listed go at once; a read of it still under way is ignored.
    auto& rows = model_->rows;
    const QString selected = selectedPath();
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [this](const LibraryEntry& e) {
                                  return !folders_.contains(QString::fromStdString(folderOf(e.path)));
                              }),
               rows.end());
    for (const QString& f : gone) {
        if (folders_.contains(f)) continue;
        scanning_.remove(f);
        dirty_.remove(f);
        readNow_.erase(f.toStdString());
    }
    applySearch();
    selectPath(selected);
    showFolders();
    if (started_) startIndexing();
    emit foldersChanged();
}

void LibraryDock::setInstrumentNames(std::shared_ptr<const InstrumentNames> names) {
    names_ = names ? std::move(names) : std::make_shared<InstrumentNames>();
    if (!started_) return;
    // Every file again, with the names.
    stamps_.clear();
    startIndexing();
}

void LibraryDock::setAuditionSynth(LibraryAudition::MakeSynth make) {
    audition_.makeSynth = std::move(make);
    auditionButton_->setVisible(static_cast<bool>(audition_.makeSynth));
    stop_->setVisible(static_cast<bool>(audition_.makeSynth));
    updateButtons();
}

void LibraryDock::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    // Nothing is read until the library is first wanted.
    if (!started_) {
        started_ = true;
        startIndexing();
    }
}

void LibraryDock::closeEvent(QCloseEvent* event) {
    audition_.stop();
    QDockWidget::closeEvent(event);
    emit closed();
}

void LibraryDock::startIndexing() {
    if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
    for (const QString& f : folders_) {
        if (QFileInfo(f).isDir()) watcher_.addPath(f);
        scanFolder(f);
    }
    updateButtons();
}

void LibraryDock::scanFolder(const QString& folder) {
    if (!folders_.contains(folder)) return;
    // One read of a folder at a time: changes meanwhile ask for one more read once it ends.
    if (scanning_.contains(folder)) {
        dirty_.insert(folder);
        return;
    }
    scanning_.insert(folder);
    Job job;
    job.folder = folder;
    job.names = names_;
    const std::string prefix = folder.toStdString() + "/";
    for (const auto& [path, stamp] : stamps_)
        if (path.compare(0, prefix.size(), prefix) == 0) job.known.emplace(path, stamp);
    {
        std::lock_guard<std::mutex> lock(m_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
    updateButtons();
}

void LibraryDock::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_);
            wake_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
            if (quit_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        scan(job);
    }
}

void LibraryDock::scan(const Job& job) {
    const QFileInfoList files = QDir(job.folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    auto batch = std::make_shared<Batch>();
    batch->folder = job.folder;
    QElapsedTimer since;
    since.start();
    for (const QFileInfo& info : files) {
        {
            std::lock_guard<std::mutex> lock(m_);
            if (quit_) return;
        }
        const std::string name = info.fileName().toStdString();
        if (!isLibraryFile(name)) continue;
        const std::string path = info.absoluteFilePath().toStdString();
        const Stamp stamp{info.lastModified().toMSecsSinceEpoch(), info.size()};
        batch->present.push_back(path);
        const auto known = job.known.find(path);
        if (known != job.known.end() && known->second == stamp) continue;
        batch->rows.push_back(indexKitFile(path, name, stamp.modified / 1000, *job.names));
        batch->stamps.push_back(stamp);
        if (since.elapsed() >= kBatchMs) {
            auto part = std::make_shared<Batch>();
            part->folder = job.folder;
            std::swap(part->rows, batch->rows);
            std::swap(part->stamps, batch->stamps);
            post(part);
            since.restart();
        }
    }
    batch->last = true;
    post(batch);
}

void LibraryDock::post(std::shared_ptr<Batch> batch) {
    QMetaObject::invokeMethod(this, [this, batch] { take(*batch); }, Qt::QueuedConnection);
}

void LibraryDock::take(const Batch& batch) {
    if (!folders_.contains(batch.folder)) return;
    auto& rows = model_->rows;
    const QString selected = selectedPath();
    std::unordered_map<std::string, size_t> at;
    for (size_t i = 0; i < rows.size(); ++i) at.emplace(rows[i].path, i);
    const std::string folder = batch.folder.toStdString();
    std::vector<std::string>& readNow = readNow_[folder];
    for (size_t i = 0; i < batch.rows.size(); ++i) {
        const LibraryEntry& e = batch.rows[i];
        stamps_[e.path] = batch.stamps[i];
        readNow.push_back(e.path);
        if (const auto it = at.find(e.path); it != at.end()) rows[it->second] = e;
        else rows.push_back(e);
    }
    if (batch.last) {
        // Files of the folder that are there no more.
        const std::unordered_set<std::string> present(batch.present.begin(), batch.present.end());
        rows.erase(std::remove_if(rows.begin(), rows.end(),
                                  [&](const LibraryEntry& e) { return folderOf(e.path) == folder && !present.count(e.path); }),
                   rows.end());
        for (auto it = stamps_.begin(); it != stamps_.end();)
            it = folderOf(it->first) == folder && !present.count(it->first) ? stamps_.erase(it) : std::next(it);
        watchFiles(batch.present);
        // A file still being written when it was read (copied in, saved by another program)
        // may have changed before its watch began: its stamp tells.
        for (const std::string& path : readNow) {
            const auto read = stamps_.find(path);
            if (read == stamps_.end()) continue;  // gone already
            const QFileInfo info(QString::fromStdString(path));
            if (!(Stamp{info.lastModified().toMSecsSinceEpoch(), info.size()} == read->second)) dirty_.insert(batch.folder);
        }
        readNow_.erase(folder);
        scanning_.remove(batch.folder);
        if (dirty_.remove(batch.folder)) scanFolder(batch.folder);
    }
    std::sort(rows.begin(), rows.end(), [](const LibraryEntry& a, const LibraryEntry& b) {
        const int c = compareFolded(a.fileName, b.fileName);
        return c != 0 ? c < 0 : a.path < b.path;
    });
    applySearch();
    selectPath(selected);
    updateButtons();
}

void LibraryDock::watchFiles(const std::vector<std::string>& paths) {
    // A file written in place tells no folder; the watch on a file replaced by a rename ends
    // with it, so each read of the folder watches what is there now.
    const QStringList watched = watcher_.files();
    const QSet<QString> have(watched.begin(), watched.end());
    QStringList add;
    for (const std::string& p : paths) {
        const QString path = QString::fromStdString(p);
        if (!have.contains(path)) add << path;
    }
    if (!add.isEmpty()) watcher_.addPaths(add);
}

void LibraryDock::applySearch() {
    const QString text = search_->text();
    LibraryQuery query;
    query.fileName = text.toStdString();
    if (canEncode(text)) query.names = fromUnicode(text);
    model_->refresh(searchLibrary(model_->rows, query));
}

QString LibraryDock::selectedPath() const {
    const LibraryEntry* e = model_->entry(list_->currentIndex().row());
    return e ? QString::fromStdString(e->path) : QString();
}

void LibraryDock::selectPath(const QString& path) {
    if (path.isEmpty()) return;
    const std::string p = path.toStdString();
    for (int row = 0; row < model_->rowCount(); ++row)
        if (model_->entry(row)->path == p) {
            list_->setCurrentIndex(model_->index(row, 0));
            return;
        }
}

void LibraryDock::showFolders() {
    folderList_->clear();
    for (const QString& f : folders_) folderList_->addItem(QDir::toNativeSeparators(f), f);
    updateButtons();
}

void LibraryDock::updateButtons() {
    const LibraryEntry* e = model_->entry(list_->currentIndex().row());
    auditionButton_->setEnabled(e && e->readable() && !audition_.playing());
    stop_->setEnabled(audition_.playing());
    removeFolder_->setEnabled(folderList_->count() > 0);
    const int all = static_cast<int>(model_->rows.size());
    const int shown = model_->rowCount();
    QString text = shown == all ? QStringLiteral("%1 件").arg(all) : QStringLiteral("%1 / %2 件").arg(shown).arg(all);
    if (!scanning_.isEmpty()) text += QStringLiteral(" (読み込み中)");
    status_->setText(text);
}

void LibraryDock::AddFolderClick() {
    const QString start = folders_.isEmpty() ? QDir::homePath() : folders_.front();
    const QString folder = dialogs_.chooseDirectory(this, start);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return;
    setFolders(folders_ + QStringList{folder});
    folderList_->setCurrentIndex(folderList_->count() - 1);
}

void LibraryDock::RemoveFolderClick() {
    const int i = folderList_->currentIndex();
    if (i < 0) return;
    QStringList rest = folders_;
    rest.removeAt(i);
    setFolders(rest);
}

void LibraryDock::AuditionClick() {
    const LibraryEntry* e = model_->entry(list_->currentIndex().row());
    if (!e || !e->readable() || !audition_.makeSynth) return;
    Kit kit;
    if (!readKit(*e, QStringLiteral("試聴"), kit)) return;
    audition_.play(kit);
    if (audition_.playing()) qApp->installEventFilter(this);  // any key stops it
    updateButtons();
}

void LibraryDock::StopClick() { audition_.stop(); }

bool LibraryDock::readKit(const LibraryEntry& row, const QString& caption, Kit& kit) {
    std::string why;
    try {
        why = readKitOfAnyKind(row.fileName, readFileBytes(row.path), kit);
    } catch (const std::exception& error) {
        why = error.what();
    }
    if (why.empty()) return true;
    dialogs_.message(this, QMessageBox::Warning, caption, QString::fromStdString(why), QMessageBox::Ok);
    return false;
}

bool LibraryDock::eventFilter(QObject* watched, QEvent* event) {
    // While a kit plays a key only stops it: no shortcut fires, no control takes it.
    if (audition_.playing() && event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (audition_.playing() && event->type() == QEvent::KeyPress) {
        audition_.stop();
        return true;
    }
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (const LibraryEntry* e = model_->entry(list_->currentIndex().row()))
                emit openRequested(QString::fromStdString(e->path));
            return true;
        }
    }
    return QDockWidget::eventFilter(watched, event);
}

}  // namespace kf::ui
