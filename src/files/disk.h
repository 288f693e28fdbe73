// The only place the core touches the disk: whole files in, whole files out.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kf {

class FileError : public std::runtime_error {
public:
    enum Kind { Open, Create };
    FileError(Kind kind, std::string path);
    Kind kind() const { return kind_; }
    const std::string& path() const { return path_; }

private:
    Kind kind_;
    std::string path_;
};

// Message texts (UTF-8), %s being the path.
extern const char* const kCannotCreateText;  // "ﾌｧｲﾙ %s を作成できません"
extern const char* const kCannotOpenText;    // "ﾌｧｲﾙ %s は開けません"
std::string formatFileMessage(const char* pattern, const std::string& path);

// Throws FileError(Open) when the file cannot be read.
std::string readFileBytes(const std::string& path);

// Writes into a temporary file beside the target and renames it over the target once it is
// complete, so a failed write leaves the old file as it was. Keeps the old file's mode,
// writes through a symbolic link to its target, and writes in place where the directory
// allows no new file. Throws FileError(Create) naming path.
void writeFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace kf
