#include "files/disk.h"
#include "files/disk_shared.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <new>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kf {

namespace fs = std::filesystem;

namespace {

// Reserves the blocks without moving the end of the file: a kill after the reservation must
// still leave the old content alone, not the old content followed by zeros.
int systemFallocate(int fd, off_t offset, off_t length) {
#ifdef __linux__
    return ::fallocate(fd, FALLOC_FL_KEEP_SIZE, offset, length) == 0 ? 0 : errno;
#else
    (void)fd, (void)offset, (void)length;
    return EOPNOTSUPP;
#endif
}

std::string errnoText(int e) { return std::strerror(e); }

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // close(2) reports a write that did not reach the disk.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

}  // namespace

const DiskCalls& systemDiskCalls() {
    static const DiskCalls c{&::read, &::write, &::mkstemp, &systemFallocate, &::fsync, &::access};
    return c;
}

std::string readFileBytes(const std::string& path, const DiskCalls& calls) {
    // Not blocking, so a FIFO with no writer cannot hold the open.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) throw FileError(FileError::Open, path, errnoText(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw FileError(FileError::Open, path, errnoText(errno));
    if (!S_ISREG(st.st_mode)) throw FileError(FileError::Open, path, "not a regular file");
    if (static_cast<unsigned long long>(st.st_size) > kMaxInputBytes)
        throw FileError(FileError::Open, path, "larger than 64 MiB");
    try {
        std::string bytes;
        bytes.reserve(static_cast<size_t>(st.st_size));
        char chunk[1 << 16];
        for (;;) {
            const ssize_t n = calls.read(fd.get(), chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw FileError(FileError::Open, path, errnoText(errno));
            if (n == 0) break;
            // A file that grows while it is read is held to the same bound.
            if (bytes.size() + static_cast<size_t>(n) > kMaxInputBytes)
                throw FileError(FileError::Open, path, "larger than 64 MiB");
            bytes.append(chunk, static_cast<size_t>(n));
        }
        return bytes;
    } catch (const std::bad_alloc&) {
        throw FileError(FileError::Open, path, "out of memory");
    }
}

namespace {

// The file a path finally names, following symbolic links (a dangling one names its target).
// Empty for a loop or a chain too long to follow.
fs::path resolveLinks(fs::path p) {
    std::error_code ec;
    for (int hops = 0; hops < 40; ++hops) {
        if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
        fs::path target = fs::read_symlink(p, ec);
        if (ec) return {};
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return {};
}

bool writeAll(int fd, std::string_view bytes, const DiskCalls& calls) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = calls.write(fd, bytes.data() + done, bytes.size() - done);
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

// A save killed before its rename leaves its temporary file behind: clear those of this target.
// Only housekeeping: what cannot be listed or removed stays. Read with opendir, not
// std::filesystem's directory iterator: that one allocates inside a noexcept constructor, so
// running out of memory there would end the program instead of failing the save.
void removeStaleTemporaries(const fs::path& dir, const std::string& prefix) {
    DIR* listing = ::opendir(dir.c_str());
    if (!listing) return;
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(listing, ::closedir);
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name(entry->d_name);
        if (name.size() != prefix.size() + kTemporaryUniqueLength || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(listing), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (now - st.st_mtime > kStaleTemporarySeconds) ::unlinkat(::dirfd(listing), entry->d_name, 0);
    }
}

// Where the folder allows no new file, the file itself is overwritten: old or new at every
// step only as long as the one write covers every old byte, so a shorter content is refused.
// The new length is reserved first, so a disk that cannot hold it fails before one old byte
// changes.
void writeInPlace(const fs::path& target, std::string_view bytes, const std::string& shownPath,
                  const DiskCalls& calls) {
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && static_cast<std::uintmax_t>(old.st_size) > bytes.size())
        throw FileError(FileError::Create, shownPath, kShorterInPlace);
    Descriptor fd(::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (fd.get() < 0) throw FileError(FileError::Create, shownPath, errnoText(errno));
    if (!bytes.empty()) {
        const int r = calls.fallocate(fd.get(), 0, static_cast<off_t>(bytes.size()));
        if (r != 0 && r != EINVAL && r != EOPNOTSUPP) throw FileError(FileError::Create, shownPath, errnoText(r));
    }
    bool ok = writeAll(fd.get(), bytes, calls);
    ok = ok && ::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) == 0;
    ok = ok && calls.fsync(fd.get()) == 0;
    ok = fd.close() && ok;
    if (!ok) throw FileError(FileError::Create, shownPath, errnoText(errno));
}

}  // namespace

void writeFileAtomically(const std::string& path, std::string_view bytes, const DiskCalls& calls) {
    const fs::path target = resolveLinks(fs::path(path));
    if (target.empty()) throw FileError(FileError::Create, path, "symbolic link loop");
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno == ELOOP) throw FileError(FileError::Create, path, "symbolic link loop");
    if (exists && !S_ISREG(old.st_mode)) throw FileError(FileError::Create, path, "not a regular file");
    // Renaming over a file is allowed where writing it is not; the user's no still counts.
    if (exists && calls.access(target.c_str(), W_OK) != 0) throw FileError(FileError::Create, path, errnoText(errno));
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string prefix = temporaryPrefix(target.filename().string());
    removeStaleTemporaries(dir, prefix);
    std::string tmpl = (dir / (prefix + "XXXXXX")).string();
    Descriptor fd(calls.mkstemp(tmpl.data()));
    if (fd.get() < 0) {
        const int e = errno;
        if (e == EACCES || e == EPERM || e == EROFS) return writeInPlace(target, bytes, path, calls);
        throw FileError(FileError::Create, path, errnoText(e));
    }
    bool ok = writeAll(fd.get(), bytes, calls);
    ok = ok && ::fchmod(fd.get(), exists ? (old.st_mode & 07777) : defaultMode()) == 0;
    if (ok && exists && ::geteuid() == 0) (void)!::fchown(fd.get(), old.st_uid, old.st_gid);
    ok = ok && calls.fsync(fd.get()) == 0;
    const int e = errno;
    ok = fd.close() && ok;
    if (!ok || ::rename(tmpl.c_str(), target.c_str()) != 0) {
        const int why = ok ? errno : e;
        ::unlink(tmpl.c_str());
        throw FileError(FileError::Create, path, errnoText(why));
    }
}

}  // namespace kf
