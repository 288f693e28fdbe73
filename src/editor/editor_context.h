// What the editor's parts share: the document, the selection, flags and options around it, the
// session with the module and the views that follow them all. Each part changes what is its own
// through here and tells the views here, after the change.
#pragma once

#include <QObject>
#include <functional>
#include <vector>

#include "editor/document.h"
#include "editor/editor_observer.h"
#include "editor/editor_state.h"
#include "editor/module_session.h"
#include "gs/device_commands.h"

namespace kf::ui {

struct EditorContext {
    EditorContext(ModuleLine line, std::function<void(int note)> keyStruck)
        : session(std::move(line), std::move(keyStruck)) {}

    Document document;
    EditorState state;
    ModuleSession session;
    std::vector<EditorObserver*> observers;
    TransferWatch* transfer = nullptr;
    // Lives as long as the parts: what the transports' threads hand back to the window's thread
    // runs only while it does.
    QObject* guard = nullptr;
    // Keeps the window painting during long work, and shows the hourglass; none without a window.
    std::function<void()> keepResponsive = [] {};
    std::function<void(bool)> showBusy = [](bool) {};

    template <typename F>
    void notify(F f) {
        for (EditorObserver* o : observers) f(*o);
    }

    const DrumNoteEntry& currentEntry() const { return document.entry(state.currentSet, state.currentNote); }
    // Cut, copy and delete apply to a used note; paste while the clipboard holds one; undo
    // once a change is recorded, until another kit comes.
    bool entryCommandsEnabled() const { return currentEntry().used != 0; }
    bool pasteEnabled() const { return document.canPaste(); }
    bool undoEnabled() const { return document.canUndo(); }
    // Runs a change, then tells the views when any command's availability changed with it.
    template <typename F>
    void changingCommands(F change) {
        const bool entry = entryCommandsEnabled(), paste = pasteEnabled(), undo = undoEnabled();
        change();
        if (entry != entryCommandsEnabled() || paste != pasteEnabled() || undo != undoEnabled())
            notify([](EditorObserver& o) { o.commandsChanged(); });
    }
    // The module hears a used note's reception switches whenever the note is shown.
    void sendReceptionSwitches(int set, int note);
    // The rhythm parts' sends the options ask for.
    PartSends partSends() const {
        const Options& o = state.options;
        return {o.partReverb, o.partChorus, o.partDelay};
    }
    // The port the input took for the one the options named, unless they name another by now.
    void settleInputPort(int wanted, int port) {
        if (state.options.midiInPort == wanted) state.options.midiInPort = port;
    }
};

// Busy for the length of a scope: commands that would change the document or the module's
// line wait, as during a file read, a save or a whole-kit transfer. Nests.
class BusyTime {
public:
    explicit BusyTime(EditorState& state) : state_(&state), was_(state.busy) { state.busy = true; }
    ~BusyTime() {
        if (state_) state_->busy = was_;
    }
    BusyTime(BusyTime&& other) noexcept : state_(other.state_), was_(other.was_) { other.state_ = nullptr; }
    BusyTime(const BusyTime&) = delete;
    BusyTime& operator=(const BusyTime&) = delete;
    BusyTime& operator=(BusyTime&&) = delete;

private:
    EditorState* state_;
    bool was_;
};

}  // namespace kf::ui
