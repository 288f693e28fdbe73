// The editor as a user starts it, saying "shown" on standard output once its main window first
// paints, then ending: lets a test time the window against a transport in a given state.
#include <QMainWindow>

#include <cstdio>
#include <unistd.h>

#include "app/app_main.h"

int main(int argc, char** argv) {
    return kf::ui::runKitforge(argc, argv, [](QMainWindow&) {
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
        ::_exit(0);
    });
}
