#include "files/disk.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#define KF_POSIX 1
#endif

namespace kf {

namespace fs = std::filesystem;

const char* const kCannotCreateText = "ﾌｧｲﾙ %s を作成できません";
const char* const kCannotOpenText = "ﾌｧｲﾙ %s は開けません";

std::string formatFileMessage(const char* pattern, const std::string& path) {
    std::string s(pattern);
    const size_t at = s.find("%s");
    if (at != std::string::npos) s.replace(at, 2, path);
    return s;
}

FileError::FileError(Kind kind, std::string path)
    : std::runtime_error(formatFileMessage(kind == Open ? kCannotOpenText : kCannotCreateText, path)),
      kind_(kind),
      path_(std::move(path)) {}

std::string readFileBytes(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) throw FileError(FileError::Open, path);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileError(FileError::Open, path);
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) throw FileError(FileError::Open, path);
    return std::move(s).str();
}

namespace {

// The file a path finally names, following symbolic links (a dangling one names its target).
fs::path resolveLinks(fs::path p) {
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
        fs::path target = fs::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return p;
}

#ifdef KF_POSIX
bool writeAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

mode_t defaultMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void writeInPlace(const fs::path& target, std::string_view bytes, const std::string& shownPath) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) throw FileError(FileError::Create, shownPath);
    const bool ok = writeAll(fd, bytes);
    if (::close(fd) != 0 || !ok) throw FileError(FileError::Create, shownPath);
}
#endif

}  // namespace

void writeFileAtomically(const std::string& path, std::string_view bytes) {
    const fs::path target = resolveLinks(fs::path(path));
#ifdef KF_POSIX
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) throw FileError(FileError::Create, path);
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string tmpl = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        // No new file can be made here (a read-only directory, say): write the old way.
        writeInPlace(target, bytes, path);
        return;
    }
    bool ok = writeAll(fd, bytes);
    ok = ok && ::fchmod(fd, exists ? (old.st_mode & 07777) : defaultMode()) == 0;
    if (ok && exists && ::geteuid() == 0) (void)!::fchown(fd, old.st_uid, old.st_gid);
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(tmpl.c_str(), target.c_str()) != 0) {
        ::unlink(tmpl.c_str());
        throw FileError(FileError::Create, path);
    }
#else
    fs::path tmp = target;
    tmp += ".kftmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) throw FileError(FileError::Create, path);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw FileError(FileError::Create, path);
    }
    std::error_code ec;
    fs::rename(tmp, target, ec);
    if (ec) {
        fs::remove(tmp, ec);
        throw FileError(FileError::Create, path);
    }
#endif
}

}  // namespace kf
