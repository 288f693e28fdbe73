// Preview, the editor's live line to the module: switching it on (the port opens, the module
// hears the rhythm part and the whole kit) and off, the port's opening at start, the device
// commands, the paced queue as the transfer monitor follows it, and the notes a user sounds by
// hand to hear the set or a preset.
#pragma once

#include <functional>
#include <string>

#include "editor/comparison.h"
#include "editor/editor_context.h"

namespace kf::ui {

class PreviewControl {
public:
    PreviewControl(EditorContext& x, Comparison& comparison) : x_(x), comparison_(comparison) {}

    bool on() const { return x_.session.preview(); }
    void setPreview(bool on);
    void toggle() { setPreview(!x_.session.preview()); }
    // setPreview at start: the port is checked and opened on the sender thread, so the window
    // shows without waiting for the MIDI system. A port the transport no longer lists falls
    // back to -1. The device command initCommand (1 to 4) follows the switch-on; any other
    // number becomes 0 once preview is on.
    void start(bool on, int initCommand);
    bool starting() const { return x_.session.starting(); }
    // Lets a start that is still opening end first (through the transfer watch: without a
    // window there is no start to wait for).
    void settle();
    // What is queued goes, then the output closes: the window's end.
    void closeOutput() { x_.session.closeOutput(); }
    void sendDeviceCommand(int command);
    // The whole kit to the module while preview is on, compared afterwards when the options
    // say so; the views show it as another kit.
    void sendWholeKit();

    // The paced queue as the transfer monitor follows it: observer on each change, drop when
    // the transport lost its port; cancel drops what is queued; release lets it go now.
    void watchQueue(std::function<void()> observer, std::function<void(const std::string&)> drop);
    void cancelQueue() { x_.session.cancelQueue(); }
    void releaseQueue() { x_.session.releaseQueue(); }

    // Notes sounded by the grid's row numbers and the preview button, at the preview velocity.
    void noteOn(int set, int note);
    void noteOff();
    void soundNote(int set, int note);  // only a used note, and only with preview on
    void soundCurrentNote();
    // A preset's note, sounded by the data box, and one held by its button until released.
    void presetNoteOn(int map, int program, int note);
    void presetNoteOff(int note);
    void holdPresetNote(int map, int program, int note);
    void releasePresetNote();

private:
    // The rest of setPreview(true) once the port has opened, or not; greeted: the switch-on
    // went out with the open.
    void opened(bool ok, bool greeted);
    // The input follows the output: open while preview is on.
    void openInput();

    EditorContext& x_;
    Comparison& comparison_;
};

}  // namespace kf::ui
