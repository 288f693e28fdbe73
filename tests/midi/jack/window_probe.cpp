// The editor as a user starts it, saying "shown" on standard output once its main window first
// paints, then ending: lets a test time the window against a transport in a given state. With
// KITFORGE_PROBE_STAY set it runs on after that, for a test that hears what the start sent;
// with KITFORGE_PROBE_CLOSE it closes its window as a user would once the port has opened
// and no box stands before it, and ends as the window does.
#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "app/app_main.h"
#include "app/main_window.h"

namespace {

// A box that stands before the window (a port that failed to open) is answered with OK, as
// the user would, so the start goes on to the window.
void answerBoxes() {
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                std::fprintf(stderr, "answered a box: %s\n", box->text().simplified().toUtf8().constData());
                box->done(QMessageBox::Ok);
            }
    });
    timer->start(20);
}
Q_COREAPP_STARTUP_FUNCTION(answerBoxes)

bool boxShown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w) && w->isVisible()) return true;
    return false;
}

void closeOnceOpened(QMainWindow& shown) {
    auto* window = dynamic_cast<kf::ui::MainWindow*>(&shown);
    if (!window) return;
    auto* timer = new QTimer(window);
    QObject::connect(timer, &QTimer::timeout, [window, timer] {
        if (window->editor().preview().starting() || boxShown()) return;
        timer->stop();
        // Listing the inputs waits for the input's own thread: its port has opened by then.
        window->editor().session().inputCount();
        window->close();
    });
    timer->start(20);
}

}  // namespace

int main(int argc, char** argv) {
    return kf::ui::runKitforge(argc, argv, [](QMainWindow& window) {
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
        if (std::getenv("KITFORGE_PROBE_CLOSE")) closeOnceOpened(window);
        else if (!std::getenv("KITFORGE_PROBE_STAY")) ::_exit(0);
    });
}
