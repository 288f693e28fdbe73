#include "files/disk.h"
#include "files/disk_shared.h"

#include <cstdint>
#include <cstdio>

namespace kf {

const char* const kCannotCreateText = "ﾌｧｲﾙ %s を作成できません";
const char* const kCannotOpenText = "ﾌｧｲﾙ %s は開けません";

std::string formatFileMessage(const char* pattern, const std::string& path) {
    std::string s(pattern);
    const size_t at = s.find("%s");
    if (at != std::string::npos) s.replace(at, 2, path);
    return s;
}

FileError::FileError(Kind kind, std::string path, std::string detail)
    : std::runtime_error(formatFileMessage(kind == Open ? kCannotOpenText : kCannotCreateText, path)),
      kind_(kind),
      path_(std::move(path)),
      detail_(std::move(detail)) {}

std::string temporaryPrefix(std::string_view targetName) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : targetName) h = (h ^ c) * 16777619u;
    char tag[8];
    std::snprintf(tag, sizeof tag, "%06x", h & 0xFFFFFFu);
    return std::string(".kitforge-") + tag + "-";
}

}  // namespace kf
