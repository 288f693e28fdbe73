#include "editor/document_file.h"

#include <utility>

namespace kf::ui {

void DocumentFile::newKit() {
    x_.changingCommands([&] { x_.document.reset(); });
    comparison_.forget();
    x_.notify([](EditorObserver& o) { o.kitReplaced(); });
    if (x_.state.currentSet != 1 || x_.state.currentNote != 0) selection_.selectCell(1, 0);
    else x_.notify([](EditorObserver& o) { o.selectionChanged(1, 0); });
    x_.document.setUntitled();
}

void DocumentFile::replace(Kit kit, bool send) {
    x_.changingCommands([&] { x_.document.replace(std::move(kit)); });
    if (send) {
        preview_.sendWholeKit();
    } else {
        comparison_.forget();
        x_.notify([](EditorObserver& o) { o.kitReplaced(); });
    }
    selection_.selectFirstUsed();
}

void DocumentFile::openKit(const QString& folder, const QString& name, Kit kit) {
    {
        const BusyTime busy(x_.state);
        x_.document.setFile(folder, name);
        replace(std::move(kit), true);
    }
    x_.document.setModified(false);
}

void DocumentFile::importKit(Kit kit) {
    {
        const BusyTime busy(x_.state);
        x_.document.setUntitled();
        replace(std::move(kit), true);
    }
    x_.document.setModified(true);
}

DocumentFile::Fetched DocumentFile::fetchKit() {
    const Options& o = x_.state.options;
    const int wanted = o.midiInPort;
    Fetched result;
    {
        const BusyTime busy(x_.state);
        result = x_.session.fetch(x_.state.tables.empty() ? nullptr : &x_.state.tables, o.fetchOneByOne, wanted,
                                  o.midiThru, x_.transfer);
    }
    x_.settleInputPort(wanted, result.inputPort);
    return result;
}

void DocumentFile::adoptFetchedKit(Kit kit) {
    x_.document.setUntitled();
    replace(std::move(kit), false);
    x_.document.setModified(true);
}

}  // namespace kf::ui
