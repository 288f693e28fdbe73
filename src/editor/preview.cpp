#include "editor/preview.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QWidget>

#include "editor/dialogs.h"
#include "editor/editor.h"
#include "editor/transfer.h"
#include "midi/device_commands.h"
#include "midi/midi_bytes.h"

namespace kf::ui {

namespace {
void applyState(QObject* o, const char* what, bool on) {
    if (auto* a = qobject_cast<QAction*>(o)) {
        if (what[0] == 'e') a->setEnabled(on);
        else a->setVisible(on);
    } else if (auto* w = qobject_cast<QWidget*>(o)) {
        if (what[0] == 'e') w->setEnabled(on);
        else w->setVisible(on);
    }
}
}  // namespace

Preview::Preview(Editor& editor, QObject* parent) : QObject(parent), e_(editor) {
    velocity = [] { return 127; };
}

void Preview::setGovernedControls(bool on) {
    for (auto& a : checked_)
        if (a) a->setChecked(on);
    for (auto& o : enabled_)
        if (o) applyState(o, "enabled", on);
    for (auto& o : visible_)
        if (o) applyState(o, "visible", on);
}

void Preview::settle() {
    while (starting_) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void Preview::startPreview(bool on, int initCommand) {
    starting_ = true;
    MidiOut& midi = e_.midi;
    const int wanted = e_.state.options.midiPort;
    QPointer<Preview> self(this);
    const bool command = initCommand >= kGsReset && initCommand <= kAllPartsProMap;
    // At start the state counts as on, so the switch-on is the rhythm-part message alone. It
    // and the start command go with the open, ahead of whatever the window sends once the
    // port is open.
    std::vector<MidiBytes> first{rhythmPart11Message()};
    if (command)
        for (auto& m : deviceCommandMessages(initCommand)) first.push_back(std::move(m));
    midi.later([&midi, wanted, on, self, first = std::move(first), command] {
        int port = wanted;
        if (midi.deviceCount() <= port) port = -1;
        // The built-in synth stays chosen whatever ports come and go, where there is one.
        if (port < -1 && (port != MidiOut::kBuiltInSynth || midi.deviceName(port).empty())) port = -1;
        const bool ok = on && midi.openPort(port, first);
        QMetaObject::invokeMethod(
            qApp,
            [self, port, on, ok, command] {
                if (!self) return;
                Options& o = self->e_.state.options;
                o.midiPort = port;
                self->starting_ = false;
                if (on) self->opened(ok, true);
                else self->SetPreview(false);
                if (ok && !command) o.initCommand = 0;
            },
            Qt::QueuedConnection);
    });
}

void Preview::SetPreview(bool on) {
    settle();
    EditorState& s = e_.state;
    if (on != s.livePreview) setGovernedControls(on);
    if (!on) {
        // Off means quiet now: what was still queued for the module is dropped.
        if (e_.transfer && e_.transfer->active()) e_.transfer->TransferCancelClick();
        e_.midi.closePort();
        s.livePreview = false;
        return;
    }
    // Another port: what the old one still has to send goes out first, as the user watches.
    if (e_.transfer && e_.midi.isOpen() && e_.transfer->active()) e_.transfer->waitUntilSent();
    opened(e_.midi.openPort(s.options.midiPort), false);
}

void Preview::opened(bool ok, bool greeted) {
    EditorState& s = e_.state;
    if (ok != s.livePreview) setGovernedControls(ok);
    if (ok && greeted) {
        s.livePreview = true;
        return;
    }
    if (ok) {
        const bool wasOff = !s.livePreview;
        s.busy = true;
        {
            BusyCursor hourglass;
            sendSwitchOnSequence(e_.midi, s.kit, wasOff, &pumpEvents);
        }
        s.busy = false;
        s.livePreview = true;
        return;
    }
    const QString reason = openFailureText(e_.midi.lastOpenError());
    setGovernedControls(false);
    e_.midi.closePort();
    s.livePreview = false;
    QString text = QStringLiteral("指定したMIDIﾃﾞﾊﾞｲｽはすでに使われています。\r\n解放されるまで待ってから、やり直してください。");
    if (!reason.isEmpty()) text += "\r\n(" + reason + ")";
    e_.dialogs.message(nullptr, QMessageBox::Warning, QStringLiteral("ﾌﾟﾚﾋﾞｭｰ機能"), text, QMessageBox::Ok);
}

QString openFailureText(const MidiError& error) {
    QString kind;
    switch (error.kind) {
        case MidiError::NoMidiSystem: kind = QStringLiteral("MIDIｼｽﾃﾑがありません"); break;
        case MidiError::NoSuchPort: kind = QStringLiteral("そのMIDIﾎﾟｰﾄはありません"); break;
        case MidiError::PortBusy: kind = QStringLiteral("MIDIﾎﾟｰﾄは使用中です"); break;
        case MidiError::ServerGone: kind = QStringLiteral("MIDIｻｰﾊﾞｰが応答しません"); break;
        default: break;
    }
    const QString text = QString::fromStdString(error.text);
    if (kind.isEmpty()) return text;
    return text.isEmpty() ? kind : kind + ": " + text;
}

void Preview::Preview1Click() { SetPreview(!e_.state.livePreview); }

void Preview::gridNoteOn(int set, int note) {
    if (!e_.state.livePreview) return;
    e_.state.lastSoundedNote = static_cast<std::uint8_t>(note);
    sendSetProgramChange(e_.midi, set);
    e_.midi.sendShort(midi::kRhythmNoteOn, static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(velocity()));
}

void Preview::gridNoteOff() {
    if (!e_.state.livePreview) return;
    e_.midi.sendShort(midi::kRhythmNoteOn, e_.state.lastSoundedNote, 0);
}

void Preview::dataBoxNoteOn(int map, int program, int note) {
    e_.midi.sendShort(midi::kPresetControl, midi::kBankSelect, 0x00);
    e_.midi.sendShort(midi::kPresetControl, midi::kBankSelectLsb, static_cast<std::uint8_t>(map));
    e_.midi.sendShort(midi::kPresetProgram, static_cast<std::uint8_t>(program), 0);
    e_.midi.sendShort(midi::kPresetNoteOn, static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(velocity()));
}

void Preview::dataBoxNoteOff(int note) { e_.midi.sendShort(midi::kPresetNoteOn, static_cast<std::uint8_t>(note), 0); }

void Preview::auditionNote() {
    const EditorState& s = e_.state;
    if (!s.livePreview || !s.autoPreview || !e_.state.kit.entry(s.currentSet, s.currentNote).used) return;
    sendSetProgramChange(e_.midi, s.currentSet);
    e_.midi.sendShort(midi::kRhythmNoteOn, static_cast<std::uint8_t>(s.currentNote), static_cast<std::uint8_t>(velocity()));
    e_.midi.sendShort(midi::kRhythmNoteOn, static_cast<std::uint8_t>(s.currentNote), 0);
}

void Preview::Preview2MouseDown() {
    EditorState& s = e_.state;
    if (s.kit.entry(s.currentSet, s.currentNote).used) gridNoteOn(s.currentSet, s.currentNote);
}

void Preview::Preview2MouseUp() { gridNoteOff(); }

}  // namespace kf::ui
