// A JACK server of a test's or benchmark's own, which it may kill or stop, and the editor
// started against a server as a new user would start it.
#pragma once

#include <sys/types.h>

#include <string>

#include "child.h"

namespace kf::test {

class PrivateServer {
public:
    // script is tests/midi/jack/jack_server.sh; the server runs the dummy driver.
    PrivateServer(const std::string& script, const std::string& name);
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    bool ok() const { return ok_ && pid_ > 0; }
    pid_t pid() const { return pid_; }
    const std::string& name() const { return name_; }

private:
    std::string script_, name_, pidFile_;
    pid_t pid_ = 0;
    bool ok_ = false;
};

// The window probe (the editor, saying "shown" once its window first painted) against server,
// with settings, lock and runtime folder of its own below home, so preview is on; with stay it
// runs on after the first paint.
Child startEditor(const std::string& probe, const std::string& server, const std::string& home,
                  const std::string& settings = {}, bool stay = false);

}  // namespace kf::test
