// How the system ends the program on Linux: SIGTERM (a desktop's log-out, kill), SIGINT (Ctrl+C in
// the terminal that started it) and SIGHUP (that terminal closed).
#pragma once

class QWidget;

namespace kf::ui {

// From here on those signals no longer end the program at once: each is kept for the window.
void holdEndSignals();

// Each signal held closes the window as its close button does: a modified kit asks to be saved,
// a transfer on its way goes out, the settings are written. Called once the window shows; one that
// came while the window was being set up (its start paints and pumps events) closes it then.
void closeOnEndSignals(QWidget& window);

}  // namespace kf::ui
