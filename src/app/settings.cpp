#include "app/settings.h"

#include <QComboBox>
#include <QDir>
#include <QSettings>
#include <algorithm>

#include "app/main_window.h"
#include "app/data_box.h"
#include "app/dialogs.h"
#include "editor/editor_controller.h"
#include "app/library_dock.h"
#include "app/panel.h"
#include "app/view_options.h"
#include "files/disk.h"
#include "files/fields.h"
#include "gs/device_commands.h"

namespace kf::ui {

int settingInt(const QSettings& store, const char* name, int fallback) {
    const QVariant v = store.value(name);
    if (!v.isValid()) return fallback;
    const QString text = v.toString();
    if (text.size() > 2 && (text.startsWith("0x") || text.startsWith("0X"))) {
        bool ok = false;
        const int n = static_cast<int>(text.mid(2).toUInt(&ok, 16));
        return ok ? n : fallback;
    }
    return integerOr(text.toStdString(), fallback);
}

void LoadSettings(MainWindow& window, QSettings& store) {
    EditorController& e = window.editor();
    Options o = e.state().options;
    const Options defaults;  // what a missing or unreadable value falls back to
    ViewOptions& view = *window.parts().view;
    view.SetToolBarVisible(settingInt(store, "ToolBar", 1) != 0);
    view.SetDataBoxVisible(settingInt(store, "DataBox", 1) != 0);
    view.SetNameBarVisible(settingInt(store, "NameBar", 1) != 0);
    view.SetStatusBarVisible(settingInt(store, "StatusBar", 1) != 0);
    view.SetDataBoxAtBottom(settingInt(store, "DataBoxPos", 1) != 0);
    o.comment = settingInt(store, "Comment", defaults.comment) != 0;
    o.inScreen = settingInt(store, "In Screen", defaults.inScreen) != 0;
    e.setVelocity(settingInt(store, "Velocity", 127));
    o.autoSave = settingInt(store, "AutoSave", defaults.autoSave) != 0;
    o.increment = settingInt(store, "Increment", defaults.increment) != 0;
    o.maximized = settingInt(store, "Maximized", defaults.maximized) != 0;
    if (o.maximized) window.setWindowState(window.windowState() | Qt::WindowMaximized);
    o.unlimitedSpeed = settingInt(store, "MidiSpeed", defaults.unlimitedSpeed) != 0;
    o.sysexPauseMs = std::clamp(settingInt(store, "SysExPause", defaults.sysexPauseMs), 0, kMaxSysexPauseMs);
    o.partReverb = std::clamp(settingInt(store, "PartReverb", defaults.partReverb), 0, 127);
    o.partChorus = std::clamp(settingInt(store, "PartChorus", defaults.partChorus), 0, 127);
    o.partDelay = std::clamp(settingInt(store, "PartDelay", defaults.partDelay), 0, 127);
    o.soundFont = store.value("SoundFont").toString();
    o.audioDriver = store.value("AudioDriver").toString();
    o.midiPort = settingInt(store, "MidiPort", defaults.midiPort);
    o.midiInPort = settingInt(store, "MidiInPort", defaults.midiInPort);
    o.fetchOneByOne = settingInt(store, "FetchOneByOne", defaults.fetchOneByOne) != 0;
    o.midiThru = settingInt(store, "MidiThru", defaults.midiThru) != 0;
    o.selectByInput = settingInt(store, "SelectByInput", defaults.selectByInput) != 0;
    o.verifyAfterSend = settingInt(store, "VerifyAfterSend", defaults.verifyAfterSend) != 0;
    o.initCommand = settingInt(store, "Init Command", defaults.initCommand);
    o.useMap = settingInt(store, "Use Map", defaults.useMap);
    o.directory = store.value("Directory").toString();
    if (!o.directory.isEmpty() && !QDir(o.directory).exists()) o.directory.clear();
    o.fileType = settingInt(store, "FileType", defaults.fileType);
    o.drumSet = settingInt(store, "Drum Set", defaults.drumSet);
    e.setOptions(o);
    // Folders one a line: no path holds a line break. Without the key, the default directory.
    window.parts().library->setFolders(
        store.contains("LibraryFolders")
            ? store.value("LibraryFolders").toString().split('\n', Qt::SkipEmptyParts)
            : QStringList{o.directory.isEmpty() ? QDir::homePath() : o.directory});
    view.SetLibraryVisible(settingInt(store, "ShowLibrary", 0) != 0);
    e.preview().start(settingInt(store, "Preview", 1) != 0, o.initCommand);
    e.setAutoPreview(settingInt(store, "AutoPreview", 1) != 0);
}

void SaveSettings(MainWindow& window, QSettings& store) {
    const EditorController& e = window.editor();
    const EditorState& s = e.state();
    const Options& o = s.options;
    const ViewOptions& view = *window.parts().view;
    // Only what the program knows goes back: keys of another program or of a damaged file are
    // left out.
    store.clear();
    auto put = [&store](const char* name, int v) { store.setValue(name, QString::number(v)); };
    put("ToolBar", view.toolBarVisible());
    put("DataBox", view.dataBoxVisible());
    put("NameBar", view.nameBarVisible());
    put("StatusBar", view.statusBarVisible());
    put("DataBoxPos", view.dataBoxAtBottom());
    put("Comment", o.comment);
    put("Preview", e.session().preview());
    put("AutoPreview", s.autoPreview);
    put("In Screen", o.inScreen);
    put("Velocity", s.velocity);
    put("AutoSave", o.autoSave);
    put("Maximized", o.maximized);
    put("FileType", o.fileType);
    put("Use Map", o.useMap);
    put("Init Command", o.initCommand);
    put("MidiPort", o.midiPort);
    put("MidiInPort", o.midiInPort);
    put("FetchOneByOne", o.fetchOneByOne);
    put("MidiThru", o.midiThru);
    put("SelectByInput", o.selectByInput);
    put("VerifyAfterSend", o.verifyAfterSend);
    put("Drum Set", o.drumSet);
    store.setValue("Directory", o.directory);
    put("Increment", o.increment);
    put("MidiSpeed", o.unlimitedSpeed);
    put("SysExPause", o.sysexPauseMs);
    put("PartReverb", o.partReverb);
    put("PartChorus", o.partChorus);
    put("PartDelay", o.partDelay);
    store.setValue("SoundFont", o.soundFont);
    store.setValue("AudioDriver", o.audioDriver);
    put("ShowLibrary", view.libraryVisible());
    store.setValue("LibraryFolders", window.parts().library->folders().join('\n'));
    store.sync();
    // The settings of this run would be lost without a word. A file that could not be parsed
    // when read (FormatError) has just been written whole: that is no failure.
    if (store.status() == QSettings::AccessError)
        window.dialogs().message(nullptr, QMessageBox::Critical, QStringLiteral("Kitforge"),
                          QString::fromUtf8(formatFileMessage(kCannotCreateText, "%1").c_str())
                              .arg(QDir::toNativeSeparators(store.fileName())),
                          QMessageBox::Ok);
}

}  // namespace kf::ui
