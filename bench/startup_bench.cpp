// Start-up: from starting the process to the main window's first paint, against a bare Qt 6
// window measured the same way. Each run is a process of its own, the two alternate, and the
// medians are compared. Settings and the single-instance lock are the benchmark's own.
//
// Kitforge runs twice over: with preview on, as a user's first start has it, so that the MIDI
// port opens during the start; and with preview off, which shows the window's own share. The
// first needs a port to open: a JACK server named in JACK_DEFAULT_SERVER, as ./kitforge.sh
// bench runs it; without one a failure box stands in front of the first paint and the run fails.
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
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_main.h"
#include "app/startup_steps.h"
#include "child.h"

namespace {

using Clock = std::chrono::steady_clock;

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

// In the child: tell the parent, then the steps of the start, then end. The word comes first,
// so that writing the steps is not part of the time measured.
void tellAndQuit(int fd) {
    if (::write(fd, "x\n", 2) != 2) std::perror("write");
    kf::ui::startup::write(fd);
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
}

int probe(const std::string& mode, char* program) {
    const int fd = std::atoi(std::getenv("KITFORGE_BENCH_FD"));
    char* args[] = {program, nullptr};
    int argc = 1;
    kf::ui::startup::record(true);
    if (mode != "bare") return kf::ui::runKitforge(argc, args, [fd](QMainWindow&) { tellAndQuit(fd); });
    kf::ui::startup::mark("main");
    QApplication app(argc, args);
    kf::ui::startup::mark("QApplication");
    QMainWindow window;
    FirstPaint watch([fd] {
        kf::ui::startup::mark("first paint");
        tellAndQuit(fd);
    });
    window.installEventFilter(&watch);
    window.show();
    kf::ui::startup::mark("show");
    return app.exec();
}

struct Run {
    double ms = -1;  // to the first paint, or -1
    // Each step's milliseconds, in the order reached; the first is from the start of the
    // process to main().
    std::vector<std::pair<std::string, double>> steps;
};

// Settings of their own for each way Kitforge runs, under dir.
Run runOnce(const std::string& mode, const char* self, const std::string& dir) {
    kf::test::ChildOptions options{{{"KITFORGE_BENCH_FD", "1"}, {"XDG_CONFIG_HOME", dir + "/" + mode}}};
    options.captureOutput = true;
    options.quietErrors = false;
    const Clock::time_point started = Clock::now();
    kf::test::Child child(self, {"--probe", mode}, options);
    Run run;
    const double seconds = child.waitForOutput("x\n", std::chrono::seconds(30));
    const kf::test::ChildEnd end = child.wait();
    if (seconds < 0) return run;
    run.ms = seconds * 1000;
    std::istringstream lines(end.output);
    std::string word, name;
    long long ns = 0;
    Clock::time_point last = started;
    std::string lastName = "process start";
    while (lines >> word) {
        if (word != "step" || !(lines >> ns) || !std::getline(lines >> std::ws, name)) continue;
        const Clock::time_point at{std::chrono::nanoseconds(ns)};
        run.steps.emplace_back(lastName + " → " + name, std::chrono::duration<double, std::milli>(at - last).count());
        last = at;
        lastName = name;
    }
    return run;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double minimum(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

// Each step's median and minimum over the runs, in the order of the first run.
void printSteps(const char* title, const std::vector<Run>& runs) {
    std::vector<std::string> order;
    std::map<std::string, std::vector<double>> ms;
    for (const Run& r : runs)
        for (const auto& [step, t] : r.steps) {
            if (!ms.count(step)) order.push_back(step);
            ms[step].push_back(t);
        }
    std::printf("\n| %s: step | median | min |\n|---|---|---|\n", title);
    double sum = 0;
    for (const std::string& step : order) {
        sum += median(ms[step]);
        std::printf("| %s | %.1f ms | %.1f ms |\n", step.c_str(), median(ms[step]), minimum(ms[step]));
    }
    std::printf("| (sum of the medians) | %.1f ms | |\n", sum);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--probe") == 0) return probe(argv[2], argv[0]);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    char dir[] = "/tmp/kitforge-startup-XXXXXX";
    if (!::mkdtemp(dir)) return 1;
    ::setenv("XDG_CONFIG_HOME", dir, 1);
    ::setenv("XDG_RUNTIME_DIR", dir, 1);
    struct Mode {
        const char* name;
        const char* title;
        const char* settings;
        std::vector<Run> runs;
    } modes[] = {
        {"bare", "bare Qt 6 window", nullptr, {}},
        {"kitforge", "Kitforge, preview on (the port opens)", "[General]\nPreview=1\n", {}},
        {"kitforge-no-port", "Kitforge, preview off", "[General]\nPreview=0\n", {}},
    };
    for (const Mode& m : modes) {
        if (!m.settings) continue;
        const std::string folder = std::string(dir) + "/" + m.name + "/Vondrel";
        ::mkdir((std::string(dir) + "/" + m.name).c_str(), 0700);
        ::mkdir(folder.c_str(), 0700);
        if (FILE* f = std::fopen((folder + "/Kitforge.conf").c_str(), "w")) {
            std::fputs(m.settings, f);
            std::fclose(f);
        }
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    for (const Mode& m : modes) runOnce(m.name, argv[0], dir);  // warm the file cache for all
    for (int i = 0; i < runs; ++i) {
        for (Mode& m : modes) {
            Run run = runOnce(m.name, argv[0], dir);
            if (run.ms < 0) {
                std::fprintf(stderr, "%s did not show its window%s\n", m.title,
                             std::strcmp(m.name, "kitforge") == 0 ? " (is there a MIDI port to open?)" : "");
                return 1;
            }
            m.runs.push_back(std::move(run));
        }
    }
    auto times = [](const Mode& m) {
        std::vector<double> v;
        for (const Run& r : m.runs) v.push_back(r.ms);
        return v;
    };
    const std::vector<double> bare = times(modes[0]);
    std::printf("| start-up to the first paint (%d runs each, alternating) | median | min | ratio to bare, median "
                "| min |\n|---|---|---|---|---|\n",
                runs);
    for (const Mode& m : modes) {
        const std::vector<double> t = times(m);
        std::printf("| %s | %.1f ms | %.1f ms | %.2f | %.2f |\n", m.title, median(t), minimum(t),
                    median(t) / median(bare), minimum(t) / minimum(bare));
    }
    for (const Mode& m : modes) printSteps(m.title, m.runs);
    std::string cleanup = std::string("rm -rf ") + dir;
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
