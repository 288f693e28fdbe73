#include "app/app_main.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "app/end_signals.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "app/startup_steps.h"
#include "app/translation.h"
#include "app/dialogs.h"
#include "app/fonts.h"
#include "app/icons.h"
#include "app/library_dock.h"
#include "midi/system_midi.h"
#if KITFORGE_BUILT_IN_SYNTH
#include "synth/fluid_backend.h"
#endif

namespace kf::ui {

namespace {
// Tells once when the window first paints: mapped, and drawn for the user to see.
class PaintWatch : public QObject {
public:
    PaintWatch(QMainWindow& window, std::function<void(QMainWindow&)> shown)
        : window_(window), shown_(std::move(shown)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && shown_) {
            auto shown = std::move(shown_);
            shown_ = nullptr;
            shown(window_);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QMainWindow& window_;
    std::function<void(QMainWindow&)> shown_;
};
}  // namespace

int runKitforge(int argc, char** argv, const std::function<void(QMainWindow&)>& shown) {
    const bool printSteps = qEnvironmentVariableIsSet("KITFORGE_STARTUP_STEPS");
    if (printSteps) startup::record(true);
    startup::mark("main");
    QApplication app(argc, argv);
    startup::mark("QApplication");
    QApplication::setOrganizationName("Vondrel");
    QApplication::setApplicationName("Kitforge");
    QApplication::setFont(uiFont(12));
    QApplication::setWindowIcon(icons::program());
    QGuiApplication::setDesktopFileName(QStringLiteral("kitforge"));
    startup::mark("application font and icon");
    installQtTranslation(app);
    startup::mark("Qt translation");
    DesktopDialogs dialogs;
    SingleInstance instance;
    if (const auto ended = claimSingleInstance(instance, dialogs)) return *ended;
    startup::mark("single instance");

    // What the built-in synth answers comes in on input device -2.
    auto answers = std::make_shared<LoopbackInput>();
    [[maybe_unused]] const auto answerInto = [answers](const MidiBytes& m) { answers->deliver(m.data(), m.size()); };
    auto backend = std::make_unique<SystemBackend>();
#if KITFORGE_BUILT_IN_SYNTH
    backend->setBuiltInSynth([answerInto] {
        SynthOptions o;
        o.answer = answerInto;
        return std::make_unique<FluidSynthBackend>(o);
    });
#endif
    [[maybe_unused]] SystemBackend* system = backend.get();
    ModuleLine line;
    line.output = std::move(backend);
    auto inputs = std::make_unique<SystemInput>(platformInput());
    inputs->setBuiltInSynth(answers);
    line.input = std::move(inputs);
    startup::mark("MIDI out and in");
    QSettings settings(QStringLiteral("Vondrel"), QStringLiteral("Kitforge"));
    StartOptions start;
    const QString programDir = QCoreApplication::applicationDirPath();
    // The installed data folder lies where the program's folder says (../share/kitforge): any prefix.
    const QString dataDir = QDir::cleanPath(QDir(programDir).filePath(QStringLiteral(KITFORGE_DATA_DIR)));
    start.tableDirs = {programDir, dataDir};
    start.arguments = QCoreApplication::arguments().mid(1);
    const QString beside =
        programDir + "/" + QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + ".html";
    start.helpFile = QFileInfo::exists(beside) ? beside : dataDir + QStringLiteral("/kitforge.html");

#ifndef _WIN32
    holdEndSignals();
#endif
    MainWindow window(std::move(line), dialogs, settings, start);
#if KITFORGE_BUILT_IN_SYNTH
    window.editor().synthSetup = [system, answerInto](const QString& soundFont, const QString& driver) {
        SynthOptions o;
        o.answer = answerInto;
        // UTF-8, which FluidSynth opens on every system (Windows included, whatever its code page).
        if (!soundFont.isEmpty()) o.soundFonts = {soundFont.toStdString()};
        o.audioDriver = driver.toStdString();
        return [system, o](MidiBackend&) {
            system->setBuiltInSynth([o] { return std::make_unique<FluidSynthBackend>(o); });
        };
    };
    // The library's 試聴 plays on a synth of its own, with the options' SoundFont and driver.
    window.parts().library->setAuditionSynth([&window]() -> std::unique_ptr<MidiBackend> {
        const Options& options = window.editor().state().options;
        SynthOptions o;
        if (!options.soundFont.isEmpty()) o.soundFonts = {options.soundFont.toStdString()};
        o.audioDriver = options.audioDriver.toStdString();
        return std::make_unique<FluidSynthBackend>(o);
    });
#endif
    PaintWatch watch(window, [shown, printSteps](QMainWindow& w) {
        startup::mark("first paint");
        if (printSteps) startup::print(stderr);
        if (shown) shown(w);
    });
    if (shown || startup::recording()) window.installEventFilter(&watch);
    window.FormCreate();
    window.show();
#ifndef _WIN32
    closeOnEndSignals(window);
#endif
    startup::mark("show");
    const int result = app.exec();
    window.FormDestroy();
    return result;
}

}  // namespace kf::ui
