// A whole Kitforge window under the offscreen platform, with a recording MIDI backend,
// scripted dialogs and settings of its own.
#pragma once

#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "editor_access.h"
#include "app/dialogs.h"
#include "midi/midi_out.h"
#include "fake_module.h"
#include "midi/midi_in.h"
#include "recording_backend.h"

namespace kf::test {

struct ShownMessage {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
};

class ScriptedDialogs : public ui::Dialogs {
public:
    std::vector<ShownMessage> shown;
    std::deque<QMessageBox::StandardButton> answers;  // for boxes with a choice; OK otherwise
    std::deque<QString> openAnswers, saveAnswers, directoryAnswers;
    std::vector<ui::SaveRequest> saveRequests;
    std::vector<QString> openProposals;
    std::vector<QString> openCaptions;
    // Message boxes on screen, as the desktop shows them, for a person (the test) to answer.
    bool realBoxes = false;
    // Runs as each box is shown, to see what stands behind it.
    std::function<void()> onMessage;

    QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon icon, const QString& caption, const QString& text,
                                        QMessageBox::StandardButtons buttons) override;
    QString openFile(QWidget*, const QString& caption, const QString& directory, const QString& proposedName,
                     const QString& filter) override;
    QString saveFile(QWidget*, const ui::SaveRequest& request) override;
    QString chooseDirectory(QWidget*, const QString& start) override;
    void report(QWidget* window, QMessageBox::Icon icon, const QString& caption, const QString& text) override;
};

struct HarnessOptions {
    bool failOpen = false;
    MidiError::Kind failKind = MidiError::PortBusy;  // why a failing open fails
    bool refuseSends = false;
    bool builtInSynth = false;
    std::vector<std::string> ports{"Synth A", "Synth B"};
    QStringList tableDirs;  // default: the shipped data
    QStringList arguments;
    std::vector<std::pair<QString, QString>> settings;  // stored before start-up
    QString settingsFile;  // default: settings.ini in the harness's own folder
    bool create = true;
    // By default the sender's clock jumps, so paced transfers take no time; a slow transport
    // runs on the real clock.
    std::chrono::milliseconds sendDelay{0};
    // The queue is held between two takeSent calls, so a batch merges the same way every run.
    bool holdBatches = true;
    // A port takes as long to open as a JACK client or a sequencer port does, so what the
    // window sends while it opens is sent as in the real program.
    std::chrono::milliseconds openDelay{40};
    // A module on the other end that answers data requests on the input, as the fake does.
    std::optional<Kit> module;
};

class Harness {
public:
    explicit Harness(HarnessOptions options = {});
    ~Harness();

    ui::MainWindow& window() { return *window_; }
    ui::EditorController& editor() { return window_->editor(); }
    const ui::WindowParts& parts() { return window_->parts(); }
    const ui::EditorState& state() { return window_->editor().state(); }
    const ui::Document& document() { return window_->editor().document(); }
    const ui::ModuleSession& session() { return window_->editor().session(); }
    // The kit changed behind the window: nothing is shown, sent or marked modified.
    Kit& kitUnseen();
    // Options changed as the options dialog changes them, without the dialog.
    void changeOptions(const std::function<void(ui::Options&)>& change);
    RecordingBackend& midi() { return *recorder_; }
    MidiOut& midiOut() { return ui::EditorTestAccess::output(editor()); }
    MidiIn& midiIn() { return ui::EditorTestAccess::input(editor()); }
    // What arrives on the input port, as a keyboard or a module would send it, once the
    // input has opened.
    void receive(const MidiBytes& m);
    test::FakeModule* module() { return module_.get(); }
    ScriptedDialogs& dialogs() { return dialogs_; }
    QSettings& settings() { return *settings_; }
    QString dir() const { return temp_.path(); }

    // Every message sent since the last call, as hex text.
    std::vector<std::string> takeSent();
    void idle() { window_->AppIdle(); }
    // Selects a cell as a click would and lets the edit target catch up.
    void select(int set, int note);
    // Makes a note used with plain values, without sending anything.
    void useNote(int set, int note, const std::string& name = "Inst");

private:
    QTemporaryDir temp_;
    RecordingBackend* recorder_ = nullptr;
    bool hold_ = false;
    std::shared_ptr<JumpClock> clock_;  // none on a slow transport's real clock
    std::unique_ptr<test::FakeModule> module_;
    std::shared_ptr<LoopbackInput> input_;
    std::unique_ptr<test::LateLine> line_;  // a lossy module's answers, at their time
    ScriptedDialogs dialogs_;
    std::unique_ptr<QSettings> settings_;
    std::unique_ptr<ui::MainWindow> window_;
};

std::string hex(const std::vector<std::uint8_t>& bytes);
// a, then b.
std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b);
// Types text into a widget as key presses carrying those characters (any script).
void typeText(QWidget* target, const QString& text);
// The hex text of a parameter message of set, note, device parameter and value.
std::string param(int set, int note, int p, int value);

}  // namespace kf::test
