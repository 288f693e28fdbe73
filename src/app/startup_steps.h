// Where the start's time goes: each step of the start marks its end as it is reached. Nothing
// is kept unless recording was asked for (by the start-up benchmark, or by setting
// KITFORGE_STARTUP_STEPS, which prints the steps on standard error at the first paint).
#pragma once

#include <chrono>
#include <cstdio>
#include <vector>

namespace kf::ui::startup {

struct Step {
    const char* name;                           // what ended here
    std::chrono::steady_clock::time_point end;  // on the clock every process of the machine shares
};

void record(bool on);
bool recording();
// name must live as long as the program: a string literal.
void mark(const char* name);
const std::vector<Step>& steps();
// The steps one per line, "step <nanoseconds on the shared clock> <name>", for another process.
void write(int fd);
// The steps as a person reads them: each step's milliseconds, from the first mark on.
void print(std::FILE* to);

}  // namespace kf::ui::startup
