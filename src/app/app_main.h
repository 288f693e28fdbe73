// The program's start, composed once: main() runs it, and so does the start-up benchmark,
// which must measure exactly what a user starts.
#pragma once

#include <functional>

class QMainWindow;

namespace kf::ui {

// Runs Kitforge until its window closes. shown, when set, is called once the main window
// first paints.
int runKitforge(int argc, char** argv, const std::function<void(QMainWindow&)>& shown = {});

}  // namespace kf::ui
