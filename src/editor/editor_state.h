// What the editor edits besides the document: the selection, the flags and the options.
#pragma once

#include <QString>

#include "files/reference_tables.h"
#include "model/kit.h"

namespace kf::ui {

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
    // The input, opened while preview is on: the module's answers, a keyboard to play the set.
    int midiInPort = -1;
    bool fetchOneByOne = false;
    bool midiThru = false;
    // A note-on from the input selects that note of the set being edited.
    bool selectByInput = false;
    // Every whole-kit transfer is compared with the module, and what differs sent again.
    bool verifyAfterSend = false;
    int drumSet = 256;
    QString directory;
    // How fast MIDI leaves: at the speed of a cable unless unlimited, with an extra pause
    // after each SysEx message.
    bool unlimitedSpeed = false;
    int sysexPauseMs = 0;
    // The rhythm parts' effect sends (channels 10 and 11), as a GS reset leaves them.
    int partReverb = 40, partChorus = 0, partDelay = 0;
    // The built-in synth: its SoundFont (empty: Debian's GM font, then its GS font) and audio
    // driver (empty: the first that opens).
    QString soundFont;
    QString audioDriver;
};

// The selection, the flags and the options around the document (Document) and the link
// to the module (ModuleSession).
struct EditorState {
    // The current note, which the panel shows, and the edit target, which catches up with
    // it at the next idle moment.
    int currentSet = 1, currentNote = 0;
    int editSet = 1, editNote = 0;
    bool busy = false;
    bool autoPreview = true;
    int velocity = 127;  // of preview notes
    Options options;
    ReferenceTables tables;
};

}  // namespace kf::ui
