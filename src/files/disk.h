// The only place the core touches the disk: whole files in, whole files out.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace kf {

class FileError : public std::runtime_error {
public:
    enum Kind { Open, Create };
    // what() is the user's message; detail says why, for logs and the command line.
    FileError(Kind kind, std::string path, std::string detail = {});
    Kind kind() const { return kind_; }
    const std::string& path() const { return path_; }
    const std::string& detail() const { return detail_; }

private:
    Kind kind_;
    std::string path_;
    std::string detail_;
};

// Message texts (UTF-8), %s being the path.
extern const char* const kCannotCreateText;  // "ﾌｧｲﾙ %s を作成できません"
extern const char* const kCannotOpenText;    // "ﾌｧｲﾙ %s は開けません"
std::string formatFileMessage(const char* pattern, const std::string& path);

// Far above any real kit (about 14 KB) or reference table (300 KB).
constexpr std::size_t kMaxInputBytes = 64u << 20;

// Why a save into a folder that takes no new file was refused: overwriting a file with less
// than it holds cannot keep it old or new at every step.
inline constexpr const char* kShorterInPlace =
    "the folder takes no new file, and overwriting the file in place with shorter content could leave it broken";

// The system calls behind the two functions below; tests hand in functions of their own to
// meet the faults of a failing disk.
#ifdef _WIN32
// In the shape of the Win32 calls, in plain types so that no one including this needs
// <windows.h>: a handle is a HANDLE, an unsigned long a DWORD; a call that fails leaves its
// reason in GetLastError().
struct DiskCalls {
    bool (*read)(void* file, void* buffer, unsigned long size, unsigned long* done);        // ReadFile
    bool (*write)(void* file, const void* buffer, unsigned long size, unsigned long* done);  // WriteFile
    // Creates a file that does not exist yet, for writing (CREATE_NEW): the temporary file.
    // INVALID_HANDLE_VALUE when it cannot.
    void* (*createNew)(const wchar_t* path);
    // Reserves room without moving the end of the file: 0 or a Win32 error code.
    unsigned long (*reserve)(void* file, unsigned long long size);
    bool (*flush)(void* file);                                                                // FlushFileBuffers
    bool (*replace)(const wchar_t* target, const wchar_t* replacement, unsigned long flags);  // ReplaceFileW
    bool (*move)(const wchar_t* from, const wchar_t* to, unsigned long flags);                // MoveFileExW
    // Whether the user may write the existing file at path.
    bool (*mayWrite)(const wchar_t* path);
};
#else
struct DiskCalls {
    ssize_t (*read)(int fd, void* buffer, std::size_t size);
    ssize_t (*write)(int fd, const void* buffer, std::size_t size);
    int (*mkstemp)(char* pattern);
    int (*fallocate)(int fd, off_t offset, off_t length);  // 0 or an errno, as posix_fallocate
    int (*fsync)(int fd);
    int (*access)(const char* path, int mode);
};
#endif
const DiskCalls& systemDiskCalls();

// Paths are UTF-8 on every platform.

// Reads a whole regular file of at most kMaxInputBytes. Throws FileError(Open) when it cannot
// be read to its end: missing, not a regular file (a FIFO or a device never ends), too large,
// a read error on the way, or no memory for it.
std::string readFileBytes(const std::string& path, const DiskCalls& calls = systemDiskCalls());

// Writes into a temporary file beside the target and renames it over the target once it is
// complete, so a failed write leaves the old file as it was. Keeps the old file's mode (on
// Windows its attributes and security), writes through a symbolic link to its target, refuses
// a target the user may not write and a link loop, and writes in place only where the folder
// allows no new file (having reserved the room first). Throws FileError(Create) naming path.
void writeFileAtomically(const std::string& path, std::string_view bytes, const DiskCalls& calls = systemDiskCalls());

}  // namespace kf
