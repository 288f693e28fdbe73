// The kit library beside the grid: the kits of one or more folders, indexed on a thread of
// their own and followed as the folders change, a search as you type, opening a kit and
// hearing it on a synth of its own.
#pragma once

#include <QDockWidget>
#include <QFileSystemWatcher>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "files/kit_library.h"
#include "midi/midi_backend.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace kf::ui {

class Dialogs;
class LibraryModel;

// Plays a kit's used notes one after another on a synth made for it alone: neither the
// document nor the module hears of it, and nothing is paced. The synth opens (loads its
// SoundFont) on a thread of its own, so the window goes on meanwhile.
class LibraryAudition : public QObject {
    Q_OBJECT
public:
    using MakeSynth = std::function<std::unique_ptr<MidiBackend>()>;
    explicit LibraryAudition(QObject* parent = nullptr);
    ~LibraryAudition() override;

    MakeSynth makeSynth;
    static constexpr int kStepMs = 400;  // each note sounds this long
    static constexpr int kVelocity = 100;

    void play(const Kit& kit);
    void stop();
    // From play until stopped, the synth's opening included.
    bool playing() const { return opening_ || synth_; }

signals:
    void failed(const MidiError& why);  // the synth did not open; stopped follows
    void stopped();

private:
    void opened(unsigned generation, std::shared_ptr<MidiBackend> synth, bool ok, const MidiError& why);
    void step();
    void send(const MidiBytes& m);

    std::shared_ptr<MidiBackend> synth_;
    std::thread opener_;
    bool opening_ = false;
    unsigned generation_ = 0;  // an open that a stop overtook is let go
    std::vector<MidiBytes> load_;
    std::vector<std::pair<int, int>> notes_;
    size_t next_ = 0;
    int set_ = 0;
    int sounding_ = -1;
    QTimer timer_;
};

class LibraryDock : public QDockWidget {
    Q_OBJECT
public:
    explicit LibraryDock(Dialogs& dialogs, QWidget* parent = nullptr);
    ~LibraryDock() override;

    // The folders listed, in order; the listing follows at once when the dock shows.
    void setFolders(const QStringList& folders);
    QStringList folders() const { return folders_; }
    // The preset instrument names a kit is searched by; the kits are read again with them.
    void setInstrumentNames(std::shared_ptr<const InstrumentNames> names);
    // A synth of the dock's own for 試聴; none hides the button.
    void setAuditionSynth(LibraryAudition::MakeSynth make);

    QLineEdit* searchBox() const { return search_; }
    QTreeView* list() const { return list_; }
    // Every row known, shown or not.
    const std::vector<LibraryEntry>& entries() const;
    // No folder is being read.
    bool idle() const { return scanning_.isEmpty(); }
    LibraryAudition& audition() { return audition_; }

    void AddFolderClick();
    void RemoveFolderClick();
    void AuditionClick();
    void StopClick();

signals:
    // Double click or Enter on a row: open the kit as Open or Import would.
    void openRequested(const QString& path);
    // One click on a row: its kit, read as Open or Import reads it, to be shown beside the grid.
    void kitChosen(const QString& fileName, const kf::Kit& kit);
    // Closed by its own title bar button.
    void closed();
    void foldersChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Stamp {
        qint64 modified = 0;  // ms since 1970
        qint64 size = 0;
        bool operator==(const Stamp& o) const { return modified == o.modified && size == o.size; }
    };
    struct Job {
        QString folder;
        std::unordered_map<std::string, Stamp> known;  // files read before, by path
        std::shared_ptr<const InstrumentNames> names;
    };
    struct Batch {
        QString folder;
        std::vector<LibraryEntry> rows;  // files new or changed
        std::vector<Stamp> stamps;
        bool last = false;
        std::vector<std::string> present;  // with the last batch: every file of the folder
    };

    void startIndexing();
    void scanFolder(const QString& folder);
    void work();
    void scan(const Job& job);
    void post(std::shared_ptr<Batch> batch);
    void take(const Batch& batch);
    void applySearch();
    void showFolders();
    void updateButtons();
    void watchFiles(const std::vector<std::string>& paths);
    QString selectedPath() const;
    // The row's kit, read now; false (after a box saying why) when it holds none any more.
    bool readKit(const LibraryEntry& row, const QString& caption, Kit& kit);
    void selectPath(const QString& path);

    Dialogs& dialogs_;
    QStringList folders_;
    std::shared_ptr<const InstrumentNames> names_ = std::make_shared<InstrumentNames>();
    LibraryModel* model_;
    QLineEdit* search_;
    QPushButton* clear_;
    QTreeView* list_;
    QComboBox* folderList_;
    QPushButton* addFolder_;
    QPushButton* removeFolder_;
    QPushButton* auditionButton_;
    QPushButton* stop_;
    QLabel* status_;
    LibraryAudition audition_;
    QFileSystemWatcher watcher_;
    std::unordered_map<std::string, Stamp> stamps_;
    QSet<QString> scanning_, dirty_;
    std::unordered_map<std::string, std::vector<std::string>> readNow_;  // by folder: read by the read under way
    bool started_ = false;

    // The indexing thread and its queue of folders.
    std::mutex m_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool quit_ = false;
    std::thread worker_;
};

}  // namespace kf::ui
