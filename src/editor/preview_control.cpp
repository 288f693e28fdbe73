#include "editor/preview_control.h"

#include <QCoreApplication>
#include <QPointer>
#include <vector>

#include "gs/device_commands.h"
#include "gs/sysex.h"

namespace kf::ui {

namespace {
// Runs f on the window's thread, unless the editor has gone by then.
template <typename F>
void onWindowThread(QObject* guard, F f) {
    QPointer<QObject> alive(guard);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [alive, f = std::move(f)] {
            if (alive) f();
        },
        Qt::QueuedConnection);
}
}  // namespace

void PreviewControl::openInput() {
    const int wanted = x_.state.options.midiInPort;
    EditorContext& x = x_;
    x_.session.openInput(wanted, x_.state.options.midiThru, [&x, guard = x.guard, wanted](int port) {
        onWindowThread(guard, [&x, wanted, port] { x.settleInputPort(wanted, port); });
    });
}

void PreviewControl::settle() {
    if (x_.session.starting() && x_.transfer) x_.transfer->waitUntil([this] { return !x_.session.starting(); });
}

void PreviewControl::start(bool on, int initCommand) {
    x_.session.setStarting(true);
    const int wanted = x_.state.options.midiPort;
    const bool command = initCommand >= kGsReset && initCommand <= kAllPartsProMap;
    // At start the state counts as on, so the switch-on is the rhythm-part message alone. It
    // and the start command go with the open, ahead of whatever the window sends once the
    // port is open.
    std::vector<MidiBytes> first{rhythmPart11Message()};
    for (auto& m : partSendMessages(x_.partSends())) first.push_back(std::move(m));
    if (command)
        for (auto& m : deviceCommandMessages(initCommand, x_.partSends())) first.push_back(std::move(m));
    // The window goes on setting up while the port opens; what it sends meanwhile waits.
    x_.session.openOutputLater(wanted, on, std::move(first), [this, guard = x_.guard, on, command](int port, bool ok) {
        onWindowThread(guard, [this, port, on, ok, command] {
            Options& o = x_.state.options;
            o.midiPort = port;
            x_.session.setStarting(false);
            if (on) opened(ok, true);
            else setPreview(false);
            if (ok && !command) o.initCommand = 0;
        });
    });
}

void PreviewControl::setPreview(bool on) {
    settle();
    if (on != x_.session.preview()) x_.notify([on](EditorObserver& o) { o.previewChanged(on); });
    if (!on) {
        // Off means quiet now: what was still queued for the module is dropped.
        if (x_.transfer && x_.transfer->active()) x_.transfer->TransferCancelClick();
        x_.session.closePorts();
        x_.session.setPreview(false);
        return;
    }
    // Another port: what the old one still has to send goes out first, as the user watches.
    if (x_.transfer && x_.session.outputOpen() && x_.transfer->active()) x_.transfer->waitUntilSent();
    opened(x_.session.openOutput(x_.state.options.midiPort), false);
}

void PreviewControl::opened(bool ok, bool greeted) {
    EditorState& s = x_.state;
    if (ok != x_.session.preview()) x_.notify([ok](EditorObserver& o) { o.previewChanged(ok); });
    if (ok) openInput();
    if (ok && greeted) {
        x_.session.setPreview(true);
        return;
    }
    if (ok) {
        const bool wasOff = !x_.session.preview();
        s.busy = true;
        x_.showBusy(true);
        x_.session.sendSwitchOn(x_.document.kit(), wasOff, [this] { x_.keepResponsive(); }, x_.partSends());
        x_.showBusy(false);
        s.busy = false;
        x_.session.setPreview(true);
        comparison_.verifyTransfer();
        return;
    }
    const MidiError why = x_.session.outputOpenError();
    x_.notify([](EditorObserver& o) { o.previewChanged(false); });
    x_.session.closePorts();
    x_.session.setPreview(false);
    x_.notify([&why](EditorObserver& o) { o.openFailed(why); });
}

void PreviewControl::sendWholeKit() {
    comparison_.forget();
    if (x_.session.preview()) x_.session.sendKit(x_.document.kit(), [this] { x_.keepResponsive(); });
    x_.notify([](EditorObserver& o) { o.kitReplaced(); });
    x_.sendReceptionSwitches(x_.state.currentSet, x_.state.currentNote);
    if (x_.session.preview()) comparison_.verifyTransfer();
}

void PreviewControl::sendDeviceCommand(int command) { x_.session.sendDeviceCommand(command, x_.partSends()); }

void PreviewControl::watchQueue(std::function<void()> observer, std::function<void(const std::string&)> drop) {
    x_.session.watchQueue(std::move(observer), std::move(drop));
}

// --- Notes sounded by hand.

void PreviewControl::noteOn(int set, int note) { x_.session.noteOn(set, note, x_.state.velocity); }

void PreviewControl::noteOff() { x_.session.noteOff(); }

void PreviewControl::soundNote(int set, int note) {
    if (x_.document.entry(set, note).used) noteOn(set, note);
}

void PreviewControl::soundCurrentNote() {
    if (x_.currentEntry().used) noteOn(x_.state.currentSet, x_.state.currentNote);
}

void PreviewControl::presetNoteOn(int map, int program, int note) {
    x_.session.presetNoteOn(map, program, note, x_.state.velocity);
}

void PreviewControl::presetNoteOff(int note) { x_.session.presetNoteOff(note); }

void PreviewControl::holdPresetNote(int map, int program, int note) {
    x_.session.holdPresetNote(map, program, note, x_.state.velocity);
}

void PreviewControl::releasePresetNote() { x_.session.releasePresetNote(); }

}  // namespace kf::ui
