// The document as a file: its name, folder and modified flag, and the ways another kit becomes
// the document, each one whole step: a new kit, a kit file opened, a file imported, a kit read
// back from the module.
#pragma once

#include <QString>

#include "editor/comparison.h"
#include "editor/editor_context.h"
#include "editor/preview_control.h"
#include "editor/selection.h"

namespace kf::ui {

class DocumentFile {
public:
    using Fetched = ModuleSession::Fetch;
    DocumentFile(EditorContext& x, Selection& selection, Comparison& comparison, PreviewControl& preview)
        : x_(x), selection_(selection), comparison_(comparison), preview_(preview) {}

    // Commands wait while it is held (a file read or written, a kit sent): see BusyTime.
    [[nodiscard]] BusyTime busyTime() { return BusyTime(x_.state); }

    // An empty kit, untitled and unmodified; set 1, note 0 selected.
    void newKit();
    // A kit file read, the document now named folder + name: the module hears it, the first
    // used note is selected, and it is unmodified.
    void openKit(const QString& folder, const QString& name, Kit kit);
    // An imported kit: the module hears it; untitled and modified, as nothing holds it yet.
    void importKit(Kit kit);
    // Both user drum sets read back from the module through the open output and the input
    // of the options; the document stays as it is.
    Fetched fetchKit();
    // A kit the module already holds: shown, not sent; untitled and modified.
    void adoptFetchedKit(Kit kit);

    // Written to folder + name (a save under a new name); saved: written as the document is.
    void nameFile(const QString& folder, const QString& name) { x_.document.setFile(folder, name); }
    void saved() { x_.document.setModified(false); }
    // At the start's end: what the window's set-up wrote into the document (the panel's start
    // values) is no change of the user's.
    void startUnmodified() { x_.document.setModified(false); }
    // The file type a save wrote, remembered for the next save under a new name.
    void setFileType(int type) { x_.state.options.fileType = type; }
    // The folder alone, as the default directory sets it at start.
    void setFolder(const QString& folder) { x_.document.setFolder(folder); }

private:
    // Another kit becomes the document: shown, the first used note selected.
    void replace(Kit kit, bool send);

    EditorContext& x_;
    Selection& selection_;
    Comparison& comparison_;
    PreviewControl& preview_;
};

}  // namespace kf::ui
