// Apart from switch_on.cpp: it runs kitforge-cli in a child process, which needs POSIX.
#include "switch_on.h"

#include <sstream>

#include "child.h"

namespace kf::test {

std::string cliPortId(const std::string& cli, const std::string& name, bool input) {
    ChildOptions options;
    options.captureOutput = true;
    options.quietErrors = false;
    std::istringstream lines(runProgram(cli, input ? std::vector<std::string>{"ports", "--in"} : std::vector<std::string>{"ports"}, options).output);
    std::string id;
    for (std::string l; std::getline(lines, l);) {
        const size_t tab = l.find('\t');
        if (tab != std::string::npos && l.compare(tab + 1, std::string::npos, name) == 0) id = l.substr(0, tab);
    }
    return id;
}

}  // namespace kf::test
