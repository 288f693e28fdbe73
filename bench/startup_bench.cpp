// Start-up: from starting the process to the main window's first paint, against a bare Qt 6
// window measured the same way. Each run is a process of its own, the two alternate, and the
// medians are compared. Settings and the single-instance lock are the benchmark's own.
#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_main.h"
#include "child.h"

namespace {

class FirstPaint : public QObject {
public:
    explicit FirstPaint(std::function<void()> f) : f_(std::move(f)) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && f_) {
            auto f = std::move(f_);
            f_ = nullptr;
            f();
        }
        return QObject::eventFilter(o, e);
    }

private:
    std::function<void()> f_;
};

// In the child: tell the parent, then end.
void tellAndQuit(int fd) {
    if (::write(fd, "x", 1) != 1) std::perror("write");
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
}

int probe(const std::string& mode, char* program) {
    const int fd = std::atoi(std::getenv("KITFORGE_BENCH_FD"));
    char* args[] = {program, nullptr};
    int argc = 1;
    if (mode == "kitforge") return kf::ui::runKitforge(argc, args, [fd](QMainWindow&) { tellAndQuit(fd); });
    QApplication app(argc, args);
    QMainWindow window;
    FirstPaint watch([fd] { tellAndQuit(fd); });
    window.installEventFilter(&watch);
    window.show();
    return app.exec();
}

// Milliseconds from the start to the child's word on its standard output, or -1.
double runOnce(const std::string& mode, const char* self) {
    kf::test::ChildOptions options{{{"KITFORGE_BENCH_FD", "1"}}};
    options.captureOutput = true;
    options.quietErrors = false;
    kf::test::Child child(self, {"--probe", mode}, options);
    const double seconds = child.waitForOutput("x", std::chrono::seconds(30));
    child.wait();
    return seconds < 0 ? -1 : seconds * 1000;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--probe") == 0) return probe(argv[2], argv[0]);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    char dir[] = "/tmp/kitforge-startup-XXXXXX";
    if (!::mkdtemp(dir)) return 1;
    ::setenv("XDG_CONFIG_HOME", dir, 1);
    ::setenv("XDG_RUNTIME_DIR", dir, 1);
    // Preview off: a machine without a MIDI port would otherwise put a failure box in front of
    // the first paint.
    const std::string folder = std::string(dir) + "/Vondrel";
    ::mkdir(folder.c_str(), 0700);
    if (FILE* f = std::fopen((folder + "/Kitforge.conf").c_str(), "w")) {
        std::fputs("[General]\nPreview=0\n", f);
        std::fclose(f);
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::vector<double> kitforge, bare;
    runOnce("bare", argv[0]);  // warm the file cache for both
    runOnce("kitforge", argv[0]);
    for (int i = 0; i < runs; ++i) {
        for (const char* mode : {"bare", "kitforge"}) {
            const double ms = runOnce(mode, argv[0]);
            if (ms < 0) {
                std::fprintf(stderr, "%s did not show its window\n", mode);
                return 1;
            }
            (std::strcmp(mode, "bare") == 0 ? bare : kitforge).push_back(ms);
        }
    }
    const double k = median(kitforge), b = median(bare);
    std::printf("| start-up to the first paint (%d runs each, alternating) | median |\n|---|---|\n", runs);
    std::printf("| bare Qt 6 window | %.1f ms |\n| Kitforge main window | %.1f ms |\n| ratio | %.2f |\n", b, k, k / b);
    std::string cleanup = std::string("rm -rf ") + dir;
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
