// Where the running program lies, for what is shipped beside it (Windows: one folder).
#pragma once

#include <string>

namespace kf {

// The folder of the running executable, in UTF-8; "." when it cannot be told.
std::string programDirectory();

}  // namespace kf
