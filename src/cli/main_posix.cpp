#include <cstdio>
#include <filesystem>
#include <new>
#include <iostream>

#include <unistd.h>

#include "cli/cli.h"
#include "midi/system_midi.h"
#include "synth/fluid_backend.h"

namespace {

std::string programDirectory(const char* argv0) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) self = std::filesystem::absolute(argv0, ec);
    return self.parent_path().string();
}

}  // namespace

namespace {

int cliMain(int argc, char** argv) {
    kf::cli::Environment env;
    // What the built-in synth answers comes in on input device -2.
    auto answers = std::make_shared<kf::LoopbackInput>();
    env.makeBackend = [answers] {
        auto backend = std::make_unique<kf::SystemBackend>();
        backend->setBuiltInSynth([answers] {
            kf::SynthOptions o;
            o.answer = [answers](const kf::MidiBytes& m) { answers->deliver(m.data(), m.size()); };
            return std::make_unique<kf::FluidSynthBackend>(o);
        });
        return backend;
    };
    env.makeInput = [answers] {
        auto input = std::make_unique<kf::SystemInput>(kf::platformInput());
        input->setBuiltInSynth(answers);
        return input;
    };
    // Beside the program first (the build tree), then the installed data folder, which lies where
    // the program's own folder says: the same binary serves /usr, /usr/local or any other prefix.
    const std::filesystem::path dir = programDirectory(argv[0]);
    env.tableDirs = {dir.string(), (dir / KITFORGE_DATA_DIR).lexically_normal().string()};
    env.progressOnErr = ::isatty(STDERR_FILENO) == 1;
    const std::vector<std::string> args(argv + 1, argv + argc);
    return kf::cli::run(args, std::cout, std::cerr, env);
}

}  // namespace

int main(int argc, char** argv) {
    return kf::cli::runGuarded([&] { return cliMain(argc, argv); });
}
