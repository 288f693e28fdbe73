// What the platforms' disk files share about the temporary files of a save.
#pragma once

#include <string>
#include <string_view>

namespace kf {

// Our temporary files: ".kitforge-" + six letters of the target's name (UTF-8) + "-" + six
// letters of the platform's unique name. Short enough beside any name, and telling whose they are.
std::string temporaryPrefix(std::string_view targetName);
constexpr std::size_t kTemporaryUniqueLength = 6;

// A temporary file older than this is left from a save that was killed before its rename;
// a younger one may belong to a save still under way.
constexpr long kStaleTemporarySeconds = 60;

}  // namespace kf
