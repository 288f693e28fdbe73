// The editor without its widgets: the document, the link to the module, the selection and
// the options (EditorState), and every operation on them that a user reaches through more
// than one control, each with the exact messages it sends. Widgets read it through const
// accessors, call its operations and follow it through EditorObserver; none of them knows
// another.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "editor/document.h"
#include "editor/editor.h"
#include "editor/module_link.h"
#include "gs/kit_fetch.h"
#include "midi/midi_in.h"

namespace kf::ui {

class EditorTestAccess;

// What the views follow. Every call comes after the state has changed.
class EditorObserver {
public:
    // A note's entry changed as a whole (cut, paste, undo, an instrument entered).
    virtual void noteChanged(int /*set*/, int /*note*/) {}
    // Only the name of a note changed, typed in the instrument-name box.
    virtual void instrumentNameChanged(int /*set*/, int /*note*/) {}
    // The current note moved.
    virtual void selectionChanged(int /*set*/, int /*note*/) {}
    // The whole kit is another one: every note and both set names.
    virtual void kitReplaced() {}
    virtual void setNameChanged(int /*set*/) {}
    // A slider row of the current note took a value by an operation (a default, the start values).
    virtual void panelValueChanged(int /*row*/, int /*value*/) {}
    // The current note's used state is settled: the controls that follow it catch up.
    virtual void usedStateSettled() {}
    // Which of cut/copy/delete, paste and undo apply changed.
    virtual void commandsChanged() {}
    virtual void previewChanged(bool /*on*/) {}
    // Preview was asked for and the port did not open: preview is off again.
    virtual void openFailed(const MidiError& /*why*/) {}
    // The velocity of preview notes took another value.
    virtual void velocityChanged(int /*velocity*/) {}
    // What is known to differ from the module changed: a compare ended, an edit mended a note,
    // another kit came. report: what still differs, none while nothing is known.
    virtual void differencesChanged(const VerifyReport* /*report*/) {}
    // A compare, or a sending of what differs, ended; afterTransfer: it followed a whole-kit
    // transfer by itself.
    virtual void compareEnded(const ModuleLink::Compare& /*result*/, bool /*afterTransfer*/) {}

protected:
    ~EditorObserver() = default;
};

class EditorController : public QObject {
    Q_OBJECT
public:
    EditorController(MidiOut& midiOut, MidiIn& midiIn);
    ~EditorController() override;

    // What the window shows; only the operations below change it.
    const EditorState& state() const { return state_; }
    const Document& document() const { return document_; }
    const ModuleLink& link() const { return link_; }
    const DrumNoteEntry& currentEntry() const { return document_.entry(state_.currentSet, state_.currentNote); }
    const DrumNoteEntry& editEntry() const { return document_.entry(state_.editSet, state_.editNote); }

    void addObserver(EditorObserver* observer) { observers_.push_back(observer); }
    void setTransferWatch(TransferWatch* watch) { transfer_ = watch; }
    TransferWatch* transferWatch() const { return transfer_; }

    // Keeps the window painting and an hourglass showing during long work; none without a window.
    std::function<void()> keepResponsive = [] {};
    std::function<void(bool)> showBusy = [](bool) {};
    // Hands the synth options to the transport; set where the real transport is made.
    std::function<void(const QString& soundFont, const QString& audioDriver)> configureSynth;

    // --- Options and flags the window's commands set.
    // The transport's pacing follows at once; the synth's options when they change (or first).
    void setOptions(const Options& options);
    // What a save wrote, remembered for the next Save As.
    void setFileType(int type);
    // The reference tables, loaded at start; useMap as the loader settled it.
    void setTables(ReferenceTables tables, int useMap);
    // The preset set the data box shows, kept for the next start ("Drum Set").
    void rememberDrumSet(int setting);
    void setBusy(bool on);
    void setModified(bool on);
    // The document's file: named when opened or saved, untitled when new, imported or read
    // back; the folder alone when the default directory is set.
    void nameDocument(const QString& folder, const QString& name);
    void untitleDocument();
    void renameDocument(const QString& name);
    void setDocumentFolder(const QString& folder);
    void setAutoPreview(bool on);
    // Velocity of preview notes, 0 to 127.
    void setVelocity(int velocity);
    // Both the current note and the edit target go to set 1, note 0, as the window starts:
    // no view hears of it, each part shows itself from the state as it is set up.
    void homeSelection();

    // --- The current note and the edit target.
    void Grid1SelectCell(int set, int note);
    // The note becomes current and the edit target at once (a right click, 入力 moving on).
    void selectEditTarget(int set, int note);
    // At idle: the edit target catches up with the current note.
    void SyncEditCell();

    // --- The parameter panel's operations on the current note.
    void applyPanelParameter(int value, int row);
    void setEffectType(int value);
    void setRxNoteOff(int value);
    void setRxNoteOn(int value);
    // Back to the value of the instrument the note came from (rows 1 to 6).
    void defClick(int row);
    void renameInstrument(const std::string& name);
    // The module's own values at power-on, shown without auditioning.
    void applyStartValues();
    void toggleAutoPreview();

    // --- The set names.
    void renameSet(int set, const std::string& name);

    // --- Edit commands on the edit target, and their availability.
    void Cut1Click();
    void Copy1Click();
    void Paste1Click();
    void Delete1Click();
    void Undo1Click();
    // Notes first..last of one set of another kit into the clipboard, for Paste to write from
    // the edit target on. A range without a used note copies nothing, as Copy does not apply
    // to an empty note.
    void copyNotes(const Kit& kit, int set, int first, int last);
    // Notes dropped on a note: it becomes the current note and the edit target, and they are
    // pasted there as Paste writes the clipboard, one step for Undo. The clipboard stays.
    void dropNotes(int set, int note, const std::vector<DrumNoteEntry>& notes);
    // Instrument k of a preset drum set into a note, as 入力 and 挿入 do.
    void enterInstrument(int set, int note, const PresetDrumSet& preset, int k);
    // Cut, copy and delete apply to a used note; paste while the clipboard holds one; undo
    // once a change is recorded, until another kit comes.
    bool entryCommandsEnabled() const { return currentEntry().used != 0; }
    bool pasteEnabled() const { return document_.canPaste(); }
    bool undoEnabled() const { return document_.canUndo(); }

    // --- Reading the kit back from the module.
    using Fetched = ModuleLink::Fetch;
    // Asks the module through the open output and the input of the options; the document
    // stays as it is.
    Fetched fetchFromModule();
    // A kit the module already holds becomes the document: shown, not sent.
    void adoptKit(Kit kit);

    // --- Comparing the document with the module.
    using Compared = ModuleLink::Compare;
    // Reads back what the document says the module holds, once what is queued has gone; the
    // differing notes stay marked until edited or compared again.
    Compared compareWithModule();
    // Sends what the last compare found different (comparing first when none is known), then
    // compares again, up to three rounds.
    Compared sendDifferences();
    // What the last compare found still differing; none while nothing is known.
    const VerifyReport* differences() const { return compared_ ? &*compared_ : nullptr; }
    bool differs(int set, int note) const { return marked_.count({set, note}) != 0; }

    // --- The document as a whole.
    void newKit();
    // The kit read from a file or import becomes the document; the module hears it, and the
    // first used note is selected.
    void replaceKit(Kit kit);
    void RefreshFromKit();

    // --- The live link to the module.
    void SetPreview(bool on);
    void Preview1Click() { SetPreview(!link_.preview()); }
    // SetPreview at start: the port is checked and opened on the sender thread, so the window
    // shows without waiting for the MIDI system. A port the transport no longer lists falls
    // back to -1. The device command initCommand (1 to 4) follows the switch-on; any other
    // number becomes 0 once preview is on.
    void startPreview(bool on, int initCommand);
    bool starting() const { return link_.starting(); }
    // What is queued goes, then the output closes: the window's end.
    void closeOutput() { link_.closeOutput(); }
    // Lets a start that is still opening end first (through the transfer watch: without a
    // window there is no start to wait for).
    void settle();
    void sendDeviceCommand(int command);
    // The rhythm parts' sends the options ask for.
    PartSends partSends() const;
    // The paced queue as the transfer monitor follows it: observer on each change, drop when
    // the transport lost its port; cancel drops what is queued; release lets it go now.
    void watchQueue(std::function<void()> observer, std::function<void(const std::string&)> drop);
    void cancelQueue();
    void releaseQueue();

    // Notes sounded by the grid's row numbers, the preview button and the data box.
    void gridNoteOn(int set, int note);
    void gridNoteOff();
    void soundGridNote(int set, int note);  // only a used note, and only with preview on
    void soundCurrentNote();
    void dataBoxNoteOn(int map, int program, int note);
    void dataBoxNoteOff(int note);
    // A note held by the data box's button, and its end: the last note sounded.
    void holdDataBoxNote(int map, int program, int note);
    void releaseDataBoxNote();
    void auditionNote();

private:
    template <typename F>
    void notify(F f) {
        for (EditorObserver* o : observers_) f(*o);
    }
    // A note's entry changed: the views show it, and the module hears the reception switches
    // of the current note whenever it is shown.
    void noteChanged(int set, int note);
    void sendReceptionSwitches(int set, int note);
    void setRx(std::uint8_t DrumInstrument::*field, int deviceParameter, int value);
    // Runs a change, then tells the views when any command's availability changed with it.
    template <typename F>
    void changingCommands(F change);
    // A change of the edit target's entry, shown (and its reception switches sent) at once.
    void changeEditTarget(void (Document::*change)(int, int));
    // Paste: notes from the edit target on, each shown and then sent whole.
    void pasteAtEditTarget(const std::vector<DrumNoteEntry>& notes);
    // The rest of SetPreview(true) once the port has opened, or not; greeted: the switch-on
    // went out with the open.
    void opened(bool ok, bool greeted);
    // A note's parameters went to the module: what a compare found there no longer stands.
    void edited(int set, int note);
    void forgetDifferences();
    // A compare's result becomes what is known, unless it did not run to its end.
    void takeCompare(const Compared& result);
    // With the option on: the whole kit just sent is compared and mended.
    void verifyTransfer();
    // The input follows the output: open while preview is on.
    void openInput();
    // The port the input took for the one the options named, unless they name another by now.
    void settleInputPort(int wanted, int port);
    // A note-on came in from the input: with the option on, that note of the current set is
    // selected.
    void keyStruck(int note);

    friend class EditorTestAccess;

    Document document_;
    ModuleLink link_;
    EditorState state_;
    bool synthConfigured_ = false;
    std::vector<EditorObserver*> observers_;
    TransferWatch* transfer_ = nullptr;
    std::optional<VerifyReport> compared_;
    std::set<std::pair<int, int>> marked_;
};


}  // namespace kf::ui
