// The nineteen settings: read once at start, written once at exit, every value decimal text.
#pragma once

class QSettings;

namespace kf::ui {

class MainWindow;

// Reads every value in its order and applies it (bars, velocity, maximized state, preview,
// the start-up command).
void LoadSettings(MainWindow& window, QSettings& store);
// Writes every value; the caller checks that the reference table is not empty.
void SaveSettings(MainWindow& window, QSettings& store);

// "0x.." longer than two characters is hexadecimal; anything that is no number gives fallback.
int settingInt(const QSettings& store, const char* name, int fallback);

}  // namespace kf::ui
