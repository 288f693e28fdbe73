#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "app/main_window.h"
#include "app/single_instance.h"
#include "app/translation.h"
#include "editor/dialogs.h"
#include "editor/fonts.h"
#include "editor/icons.h"
#include "midi/system_backend.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Vondrel");
    QApplication::setApplicationName("Kitforge");
    kf::ui::SingleInstance instance;
    if (!instance.acquire()) return 0;  // a copy is running: end at once, no window
    QApplication::setFont(kf::ui::uiFont(12));
    QApplication::setWindowIcon(kf::ui::icons::program());
    QGuiApplication::setDesktopFileName(QStringLiteral("kitforge"));
    kf::ui::installQtTranslation(app);

    auto backend = std::make_unique<kf::SystemBackend>();
    kf::SystemBackend* system = backend.get();
    kf::MidiOut midi(std::move(backend));
    kf::ui::DesktopDialogs dialogs;
    QSettings settings(QStringLiteral("Vondrel"), QStringLiteral("Kitforge"));
    kf::ui::StartOptions start;
    const QString programDir = QCoreApplication::applicationDirPath();
    start.tableDirs = {programDir, QStringLiteral(KITFORGE_DATA_DIR)};
    start.arguments = QCoreApplication::arguments().mid(1);
    const QString beside = programDir + "/" + QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + ".html";
    start.helpFile = QFileInfo::exists(beside) ? beside : QStringLiteral(KITFORGE_DATA_DIR "/kitforge.html");

    kf::ui::MainWindow window(midi, dialogs, settings, start);
    window.editor().configureSynth = [system, &midi](const QString& soundFont, const QString& driver) {
        kf::SynthOptions o;
        if (!soundFont.isEmpty()) o.soundFonts = {QFile::encodeName(soundFont).toStdString()};
        o.audioDriver = driver.toStdString();
        midi.configure([system, &o](kf::MidiBackend&) { system->setSynthOptions(o); });
    };
    window.FormCreate();
    window.show();
    const int result = app.exec();
    window.FormDestroy();
    return result;
}
