#include "app/end_signals.h"

#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace kf::ui {

namespace {
// A signal handler may only write to a file: the loop reads the other end and closes the window.
int ends[2] = {-1, -1};

void onEndSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(ends[1], &byte, 1);
    errno = saved;
}
}  // namespace

void holdEndSignals() {
    if (ends[0] >= 0 || ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

void closeOnEndSignals(QWidget& window) {
    if (ends[0] < 0) return;
    // A byte already waiting makes the notifier fire as soon as the loop runs.
    auto* notifier = new QSocketNotifier(ends[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char bytes[16];
        while (::read(ends[0], bytes, sizeof bytes) > 0) {
        }
        window.close();
    });
}

}  // namespace kf::ui
