#include "app/startup_steps.h"

#include <unistd.h>

#include <string>

namespace kf::ui::startup {

namespace {
bool on = false;
std::vector<Step>& all() {
    static std::vector<Step> v;
    return v;
}
}  // namespace

void record(bool yes) {
    on = yes;
    if (on) all().reserve(64);
}

bool recording() { return on; }

void mark(const char* name) {
    if (on) all().push_back({name, std::chrono::steady_clock::now()});
}

const std::vector<Step>& steps() { return all(); }

void write(int fd) {
    std::string text;
    for (const Step& s : all()) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(s.end.time_since_epoch()).count();
        text += "step " + std::to_string(ns) + " " + s.name + "\n";
    }
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

void print(std::FILE* to) {
    const std::vector<Step>& v = all();
    for (size_t i = 1; i < v.size(); ++i)
        std::fprintf(to, "%8.2f ms  %s\n", std::chrono::duration<double, std::milli>(v[i].end - v[i - 1].end).count(),
                     v[i].name);
    if (v.size() > 1)
        std::fprintf(to, "%8.2f ms  from %s to %s\n",
                     std::chrono::duration<double, std::milli>(v.back().end - v.front().end).count(), v.front().name,
                     v.back().name);
}

}  // namespace kf::ui::startup
