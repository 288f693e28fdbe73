#include "gui_harness.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include "app/grid.h"
#include "app/preview.h"
#include "editor/text.h"
#include "gs/sysex.h"

namespace kf::test {

QMessageBox::StandardButton ScriptedDialogs::message(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                                     const QString& text, QMessageBox::StandardButtons buttons) {
    shown.push_back({icon, caption, text});
    if (onMessage) onMessage();
    if (realBoxes) return ui::DesktopDialogs().message(parent, icon, caption, text, buttons);
    if (buttons == QMessageBox::Ok || answers.empty()) return QMessageBox::Ok;
    const auto a = answers.front();
    answers.pop_front();
    return a;
}

void ScriptedDialogs::report(QWidget* window, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    if (!realBoxes) return Dialogs::report(window, icon, caption, text);
    shown.push_back({icon, caption, text});
    ui::DesktopDialogs().report(window, icon, caption, text);
}

QString ScriptedDialogs::openFile(QWidget*, const QString& caption, const QString&, const QString& proposedName,
                                  const QString&) {
    openCaptions.push_back(caption);
    openProposals.push_back(proposedName);
    if (openAnswers.empty()) return {};
    const QString a = openAnswers.front();
    openAnswers.pop_front();
    return a;
}

QString ScriptedDialogs::saveFile(QWidget*, const ui::SaveRequest& request) {
    saveRequests.push_back(request);
    if (saveAnswers.empty()) return {};
    const QString a = saveAnswers.front();
    saveAnswers.pop_front();
    return a;
}

QString ScriptedDialogs::chooseDirectory(QWidget*, const QString&) {
    if (directoryAnswers.empty()) return {};
    const QString a = directoryAnswers.front();
    directoryAnswers.pop_front();
    return a;
}

Harness::Harness(HarnessOptions options) {
    auto rec = std::make_unique<RecordingBackend>();
    rec->portNames = options.ports;
    rec->failOpen = options.failOpen;
    rec->failKind = options.failKind;
    rec->refuseSends = options.refuseSends;
    rec->builtInSynth = options.builtInSynth;
    rec->delay = options.sendDelay;
    rec->openDelay = options.openDelay;
    recorder_ = rec.get();
    hold_ = options.holdBatches && options.sendDelay.count() == 0 && !options.refuseSends;
    input_ = std::make_shared<LoopbackInput>();
    if (options.module) {
        module_ = std::make_unique<test::FakeModule>(*options.module);
        line_ = std::make_unique<test::LateLine>([this](const MidiBytes& m) { input_->deliver(m.data(), m.size()); });
        rec->afterSend = [this](const MidiBytes& m) {
            if (module_->noise || module_->lateMax.count() > 0) {
                line_->post(module_->replies(m));
            } else if (auto answer = module_->answer(m)) {
                input_->deliver(answer->data(), answer->size());
            }
        };
    }
    // The input forwards the loopback: one port, the harness's own.
    struct OnePort : MidiInBackend {
        std::shared_ptr<LoopbackInput> loop;
        std::vector<std::string> ports() override { return {"Keys"}; }
        bool open(int id, const Bytes& bytes, MidiError* e) override { return loop->open(id, bytes, e); }
        void close() override { loop->close(); }
    };
    auto port = std::make_unique<OnePort>();
    port->loop = input_;
    ui::ModuleLine line;
    line.input = std::move(port);
    line.output = std::move(rec);
    if (options.sendDelay.count() == 0) {
        clock_ = std::make_shared<JumpClock>();
        clock_->stop(hold_);
        line.clock = clock_;
    }
    settings_ = std::make_unique<QSettings>(
        options.settingsFile.isEmpty() ? temp_.path() + "/settings.ini" : options.settingsFile, QSettings::IniFormat);
    for (const auto& [k, v] : options.settings) settings_->setValue(k, v);
    ui::StartOptions start;
    start.tableDirs = options.tableDirs.isEmpty() ? QStringList{KITFORGE_SOURCE_DATA_DIR} : options.tableDirs;
    start.arguments = options.arguments;
    start.helpFile = KITFORGE_HELP_FILE;
    window_ = std::make_unique<ui::MainWindow>(std::move(line), dialogs_, *settings_, start);
    if (options.create) {
        window_->FormCreate();
        window_->show();
        QApplication::processEvents();
    }
}

Harness::~Harness() {
    if (clock_) clock_->stop(false);
    window_.reset();
}

void Harness::receive(const MidiBytes& m) {
    // The input opens on a thread of its own once the output has: let the window run until then.
    EXPECT_TRUE(QTest::qWaitFor([&] { return midiIn().isOpen(); }, 60000)) << "the input never opened";
    input_->deliver(m.data(), m.size());
}

std::vector<std::string> Harness::takeSent() {
    midiOut().flush();
    std::vector<std::string> v;
    for (const auto& m : recorder_->sent) v.push_back(hex(m));
    recorder_->sent.clear();
    if (clock_) clock_->stop(hold_);
    return v;
}

void Harness::select(int set, int note) {
    parts().grid->selectCell(set, note);
    // The first idle moment moves the edit target, the next brings the panel's state up to date.
    idle();
    idle();
}

void typeText(QWidget* target, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &release);
    }
}

Kit& Harness::kitUnseen() { return ui::EditorTestAccess::kit(editor()); }

void Harness::changeOptions(const std::function<void(ui::Options&)>& change) {
    ui::Options o = state().options;
    change(o);
    editor().setOptions(o);
}

void Harness::useNote(int set, int note, const std::string& name) {
    DrumNoteEntry& e = kitUnseen().entry(set, note);
    e = blankEntry();
    e.used = 1;
    e.name = name;
    e.pan = 64;
    e.rxNoteOn = 1;
    e.sourceNote = static_cast<std::uint8_t>(note);
    parts().grid->setCellText(set, note, ui::toUnicode(name));
}

std::string hex(const std::vector<std::uint8_t>& bytes) { return hexText(bytes); }

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string param(int set, int note, int p, int value) {
    MidiBytes m{0xF0, 0x41, 0x10, 0x42, 0x12, 0x21, static_cast<std::uint8_t>(16 * (set - 1) + p),
                static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(value)};
    m.push_back(rolandChecksum(m.data() + 5, m.data() + m.size()));
    m.push_back(0xF7);
    return hexText(m);
}

}  // namespace kf::test
