#include "private_server.h"

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kf::test {

PrivateServer::PrivateServer(const std::string& script, const std::string& name)
    : script_(script), name_(name), pidFile_((std::filesystem::temp_directory_path() / (name + ".pid")).string()) {
    ok_ = std::system((script_ + " start " + name_ + " " + pidFile_).c_str()) == 0;
    std::ifstream(pidFile_) >> pid_;
}

PrivateServer::~PrivateServer() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);
    std::system((script_ + " stop " + name_ + " " + pidFile_).c_str());
}

Child startEditor(const std::string& probe, const std::string& server, const std::string& home,
                  const std::string& settings, bool stay) {
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    std::filesystem::create_directories(home + "/Vondrel");
    std::filesystem::permissions(home, std::filesystem::perms::owner_all);
    if (!settings.empty()) std::ofstream(home + "/Vondrel/Kitforge.conf") << settings;
    ChildOptions options{{{"JACK_DEFAULT_SERVER", server},
                          {"XDG_CONFIG_HOME", home},
                          {"XDG_RUNTIME_DIR", home},
                          {"QT_QPA_PLATFORM", "offscreen"}}};
    if (stay) options.env.emplace_back("KITFORGE_PROBE_STAY", "1");
    options.captureOutput = true;
    return Child(probe, {}, options);
}

}  // namespace kf::test
