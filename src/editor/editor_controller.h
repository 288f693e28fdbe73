// The editor without its widgets, composed of named parts over one shared context: the
// selection, the editing of notes, the document's file, preview and the notes heard through
// it, and the comparison with the module; the module session beneath them holds the line.
// Widgets read it through const accessors, call the parts' operations and follow it through
// EditorObserver; none of them knows another.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "editor/comparison.h"
#include "editor/document_file.h"
#include "editor/editor_context.h"
#include "editor/note_editing.h"
#include "editor/preview_control.h"
#include "editor/selection.h"

namespace kf::ui {

class EditorTestAccess;

class EditorController : public QObject {
    Q_OBJECT
public:
    explicit EditorController(ModuleLine line);
    ~EditorController() override;

    // What the window shows; only the operations of the parts change it.
    const EditorState& state() const { return x_.state; }
    const Document& document() const { return x_.document; }
    const ModuleSession& session() const { return x_.session; }
    const DrumNoteEntry& currentEntry() const { return x_.currentEntry(); }
    const DrumNoteEntry& editEntry() const { return x_.document.entry(x_.state.editSet, x_.state.editNote); }
    bool entryCommandsEnabled() const { return x_.entryCommandsEnabled(); }
    bool pasteEnabled() const { return x_.pasteEnabled(); }
    bool undoEnabled() const { return x_.undoEnabled(); }

    // The parts.
    Selection& selection() { return selection_; }
    NoteEditing& editing() { return editing_; }
    DocumentFile& file() { return file_; }
    PreviewControl& preview() { return preview_; }
    const PreviewControl& preview() const { return preview_; }
    Comparison& comparison() { return comparison_; }
    const Comparison& comparison() const { return comparison_; }

    void addObserver(EditorObserver* observer) { x_.observers.push_back(observer); }
    // The window is going: its widgets hear nothing more, whatever their own end still does.
    void removeObservers() { x_.observers.clear(); }
    void setTransferWatch(TransferWatch* watch) { x_.transfer = watch; }
    TransferWatch* transferWatch() const { return x_.transfer; }
    // Keeps the window painting and an hourglass showing during long work; none without a window.
    void setResponsiveness(std::function<void()> keepResponsive, std::function<void(bool)> showBusy);
    // What sets the built-in synth up with the options' SoundFont and audio driver, run on the
    // output's transport; set where the real transport is made.
    std::function<std::function<void(MidiBackend&)>(const QString& soundFont, const QString& audioDriver)> synthSetup;

    // --- Options and flags the window's commands set.
    // The transport's pacing follows at once; the synth's options when they change (or first);
    // new part sends are heard at once while preview is on.
    void setOptions(const Options& options);
    // The reference tables, loaded at start; useMap as the loader settled it.
    void setTables(ReferenceTables tables, int useMap);
    // The preset set the data box shows, kept for the next start ("Drum Set").
    void rememberDrumSet(int setting) { x_.state.options.drumSet = setting; }
    void setAutoPreview(bool on) { x_.state.autoPreview = on; }
    void toggleAutoPreview() { x_.state.autoPreview = !x_.state.autoPreview; }
    // Velocity of preview notes, 0 to 127.
    void setVelocity(int velocity);

private:
    friend class EditorTestAccess;

    EditorContext x_;
    Selection selection_{x_};
    Comparison comparison_{x_};
    NoteEditing editing_{x_, selection_, comparison_};
    PreviewControl preview_{x_, comparison_};
    DocumentFile file_{x_, selection_, comparison_, preview_};
    bool synthConfigured_ = false;
};

}  // namespace kf::ui
