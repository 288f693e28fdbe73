// The editor as a user starts it, saying "shown" on standard output once its main window first
// paints, then ending: lets a test time the window against a transport in a given state. With
// KITFORGE_PROBE_STAY set it runs on after that, for a test that hears what the start sent.
#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "app/app_main.h"

namespace {

// A box that stands before the window (a port that failed to open) is answered with OK, as
// the user would, so the start goes on to the window.
void answerBoxes() {
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                std::fputs("answered a box\n", stderr);
                box->done(QMessageBox::Ok);
            }
    });
    timer->start(20);
}
Q_COREAPP_STARTUP_FUNCTION(answerBoxes)

}  // namespace

int main(int argc, char** argv) {
    return kf::ui::runKitforge(argc, argv, [](QMainWindow&) {
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
        if (!std::getenv("KITFORGE_PROBE_STAY")) ::_exit(0);
    });
}
