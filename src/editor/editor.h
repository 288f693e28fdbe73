// What the editor's parts share: the document, selection, clipboard, undo, flags and
// options (EditorState), and the parts themselves, wired together by the main window.
#pragma once

#include <QKeySequence>
#include <QString>
#include <functional>

#include "files/reference_tables.h"
#include "midi/midi_out.h"
#include "model/kit.h"

class QAction;

namespace kf::ui {

class Dialogs;
class NoteGrid;
class ParameterPanel;
class Preview;
class EditCommands;
class DataBox;
class NameBar;
class FileCommands;
class ViewOptions;
class TransferMonitor;

// Option variables, read where they act.
struct Options {
    bool comment = true;
    bool autoSave = false;
    bool increment = false;
    bool inScreen = false;
    bool maximized = false;
    int fileType = 1;
    int useMap = 1;
    int initCommand = 0;
    int midiPort = -1;
    int drumSet = 256;
    QString directory;
    // How fast MIDI leaves: at the speed of a cable unless unlimited, with an extra pause
    // after each SysEx message.
    bool unlimitedSpeed = false;
    int sysexPauseMs = 0;
    // The built-in synth: its SoundFont (empty: Debian's GM font, then its GS font) and audio
    // driver (empty: the first that opens).
    QString soundFont;
    QString audioDriver;
};

struct EditorState {
    Kit kit;
    // The current note, which the panel shows, and the edit target, which catches up with
    // it at the next idle moment.
    int currentSet = 1, currentNote = 0;
    int editSet = 1, editNote = 0;
    DrumNoteEntry clipboard;
    DrumNoteEntry undoEntry;
    int undoSet = 1, undoNote = 0;
    bool busy = false;
    bool modified = false;
    bool livePreview = true;  // counts as on until the settings are applied
    bool autoPreview = true;
    std::uint8_t lastSoundedNote = 0;
    Options options;
    ReferenceTables tables;

    DrumNoteEntry& currentEntry() { return kit.entry(currentSet, currentNote); }
    DrumNoteEntry& editEntry() { return kit.entry(editSet, editNote); }
};

struct Editor {
    Editor(MidiOut& midiOut, Dialogs& dialogBox) : midi(midiOut), dialogs(dialogBox) {}
    EditorState state;
    MidiOut& midi;
    Dialogs& dialogs;
    NoteGrid* grid = nullptr;
    ParameterPanel* panel = nullptr;
    Preview* preview = nullptr;
    EditCommands* edit = nullptr;
    DataBox* dataBox = nullptr;
    NameBar* nameBar = nullptr;
    FileCommands* files = nullptr;
    ViewOptions* view = nullptr;
    TransferMonitor* transfer = nullptr;
    // Status bar panel 0, and panel 1 (the current cell).
    std::function<void(const QString&)> showHint;
    std::function<void(int, int)> showCell;
    // Hands the synth options to the transport; set where the real transport is made.
    std::function<void(const QString& soundFont, const QString& audioDriver)> configureSynth;
    void applySynthOptions() {
        if (configureSynth) configureSynth(state.options.soundFont, state.options.audioDriver);
    }
};

// A command's action: objectName, caption, hint "short|long" (status bar: long; tool tip: short).
QAction* makeAction(QObject* parent, const char* name, const QString& caption, const char* hint,
                    const QKeySequence& shortcut = {});

// Hourglass for the length of a scope.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Lets the window repaint during long work.
void pumpEvents();

}  // namespace kf::ui
