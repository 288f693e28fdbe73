// The kit library at scale: a folder of 2,000 kits listed by the library dock (from showing it
// until every row is there), a search over them, and the memory the index takes.
// Runs on the offscreen platform unless told otherwise.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "app/dialogs.h"
#include "app/library_dock.h"
#include "files/disk.h"
#include "files/exports.h"
#include "files/kit_file.h"
#include "files/kit_library.h"
#include "files/reference_tables.h"
#include "sample_kit.h"

namespace {

constexpr int kKits = 2000;

long long heapInUse() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
    return static_cast<long long>(mallinfo2().uordblks);
#else
    return -1;
#endif
}

double medianMs(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const kf::ReferenceTables& tables = kf::test::shippedTables();

    // Kits of 8 to 80 used notes a set, every fourth a Standard MIDI File.
    std::printf("library: writing %d kits ...\n", kKits);
    for (int i = 0; i < kKits; ++i) {
        kf::Kit kit = kf::test::tableKit(tables, 8 + (i * 37) % 73, static_cast<unsigned>(i));
        kit.setSetName(1, "Kit " + std::to_string(i));
        const std::string name = "kit" + std::to_string(i);
        const std::string base = dir.path().toStdString() + "/" + name;
        if (i % 4 == 3) kf::writeFileAtomically(base + ".mid", kf::WriteMidiFile(kit, true, name + ".mid"));
        else kf::writeFileAtomically(base + ".kfg", kf::WriteKitFile(kit));
    }
    const auto names = std::make_shared<const kf::InstrumentNames>(tables);

    // The index alone, on this thread: its time, and the heap the rows hold.
    std::vector<kf::LibraryEntry> rows;
    const long long before = heapInUse();
    QElapsedTimer t;
    t.start();
    for (const QString& f : QDir(dir.path()).entryList(QDir::Files)) {
        const std::string path = (dir.path() + "/" + f).toStdString();
        rows.push_back(kf::indexKitFile(path, f.toStdString(), 0, *names));
    }
    const double indexMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    const long long heap = heapInUse() - before;
    size_t held = 0;
    for (const kf::LibraryEntry& r : rows)
        held += sizeof r + r.path.capacity() + r.fileName.capacity() + r.instruments.capacity() +
                r.setNames[0].capacity() + r.setNames[1].capacity();

    // Searches: a name most kits hold, a set name, one that matches nothing (the whole scan).
    std::printf("%-52s %10s\n", "search over 2,000 rows", "median ms");
    double worstSearch = 0;
    for (const char* q : {"kick", "Kit 1999", "no such instrument"}) {
        std::vector<double> ms;
        size_t found = 0;
        for (int run = 0; run < 50; ++run) {
            QElapsedTimer s;
            s.start();
            found = kf::searchLibrary(rows, {q, q}).size();
            ms.push_back(static_cast<double>(s.nsecsElapsed()) / 1e6);
        }
        worstSearch = std::max(worstSearch, medianMs(ms));
        const std::string label = "  \"" + std::string(q) + "\" (" + std::to_string(found) + " rows)";
        std::printf("%-52s %10.2f\n", label.c_str(), medianMs(ms));
    }

    // The dock: from showing it until the last of the 2,000 rows is listed.
    kf::ui::DesktopDialogs dialogs;
    kf::ui::LibraryDock dock(dialogs);
    dock.setInstrumentNames(names);
    dock.setFolders({dir.path()});
    t.restart();
    dock.show();
    while (!(dock.idle() && dock.entries().size() == static_cast<size_t>(kKits)) && t.elapsed() < 120000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double listMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    // A keystroke in the search box: the search and the list shown again.
    std::vector<double> typed;
    for (const char* q : {"n", "no", "no s", "no such", "no such i", ""}) {
        QElapsedTimer s;
        s.start();
        dock.searchBox()->setText(QString::fromUtf8(q));
        typed.push_back(static_cast<double>(s.nsecsElapsed()) / 1e6);
    }

    std::printf("%-52s %10.0f ms (goal 2000)\n", "dock lists 2,000 kits", listMs);
    std::printf("%-52s %10.0f ms\n", "  of which: index on one thread, no window", indexMs);
    std::printf("%-52s %10.2f ms (goal 50)\n", "search, worst median", worstSearch);
    std::printf("%-52s %10.2f ms\n", "a keystroke in the search box, median", medianMs(typed));
    std::printf("%-52s %10.1f MiB (goal < 50)\n", "index memory, held by the rows", static_cast<double>(held) / (1 << 20));
    if (heap >= 0) std::printf("%-52s %10.1f MiB\n", "index memory, heap growth while indexing", static_cast<double>(heap) / (1 << 20));
    return dock.entries().size() == static_cast<size_t>(kKits) ? 0 : 1;
}
