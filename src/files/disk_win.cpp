#include "files/disk.h"
#include "files/disk_shared.h"
#include "platform/utf16.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>
#include <string>

#include <windows.h>

namespace kf {

namespace {

// The system's words for a Win32 error, in UTF-8, with its number for the log.
std::string errorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring words(text ? text : L"", n);
    if (text) ::LocalFree(text);
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' || words.back() == L' ' ||
                              words.back() == L'.'))
        words.pop_back();
    const std::string number = "error " + std::to_string(code);
    return words.empty() ? number : fromUtf16(words) + " (" + number + ")";
}

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid()) ::CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    bool close() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return ::CloseHandle(h) != 0;
    }

private:
    HANDLE h_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool systemRead(void* file, void* buffer, unsigned long size, unsigned long* done) {
    return ::ReadFile(file, buffer, size, done, nullptr) != 0;
}

bool systemWrite(void* file, const void* buffer, unsigned long size, unsigned long* done) {
    return ::WriteFile(file, buffer, size, done, nullptr) != 0;
}

// Attributes of its own would go along with a file moved into place: a plain file, as a new
// one is.
void* systemCreateNew(const wchar_t* path) {
    return ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The allocation, not the end of the file: a kill after the reservation must still leave the
// old content alone, not the old content followed by zeros.
unsigned long systemReserve(void* file, unsigned long long size) {
    FILE_ALLOCATION_INFO info{};
    info.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFileInformationByHandle(file, FileAllocationInfo, &info, sizeof info) ? 0 : ::GetLastError();
}

bool systemFlush(void* file) { return ::FlushFileBuffers(file) != 0; }

bool systemReplace(const wchar_t* target, const wchar_t* replacement, unsigned long flags) {
    return ::ReplaceFileW(target, replacement, nullptr, flags, nullptr, nullptr) != 0;
}

bool systemMove(const wchar_t* from, const wchar_t* to, unsigned long flags) {
    return ::MoveFileExW(from, to, flags) != 0;
}

// Replacing a file needs only the right to delete it; the read-only attribute and the file's
// own security still say no. The attribute is asked first: an administrator may open a
// read-only file for writing.
bool systemMayWrite(const wchar_t* path) {
    const DWORD attributes = ::GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    Handle probe(::CreateFileW(path, GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return probe.valid();
}

}  // namespace

const DiskCalls& systemDiskCalls() {
    static const DiskCalls c{&systemRead,   &systemWrite, &systemCreateNew, &systemReserve,
                             &systemFlush,  &systemReplace, &systemMove,   &systemMayWrite};
    return c;
}

std::string readFileBytes(const std::string& path, const DiskCalls& calls) {
    try {
        // Shared for everything, as a POSIX reader never keeps another program from the file.
        Handle file(::CreateFileW(toUtf16(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) throw FileError(FileError::Open, path, errorText(::GetLastError()));
        // A pipe or a device (NUL, CON, a serial port) may never end.
        if (::GetFileType(file.get()) != FILE_TYPE_DISK) throw FileError(FileError::Open, path, "not a regular file");
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(file.get(), &info))
            throw FileError(FileError::Open, path, errorText(::GetLastError()));
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) throw FileError(FileError::Open, path, "not a regular file");
        const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
        if (size > kMaxInputBytes) throw FileError(FileError::Open, path, "larger than 64 MiB");
        std::string bytes;
        bytes.reserve(static_cast<size_t>(size));
        char chunk[1 << 16];
        for (;;) {
            unsigned long n = 0;
            if (!calls.read(file.get(), chunk, sizeof chunk, &n))
                throw FileError(FileError::Open, path, errorText(::GetLastError()));
            if (n == 0) break;
            // A file that grows while it is read is held to the same bound.
            if (bytes.size() + n > kMaxInputBytes) throw FileError(FileError::Open, path, "larger than 64 MiB");
            bytes.append(chunk, n);
        }
        return bytes;
    } catch (const std::bad_alloc&) {
        throw FileError(FileError::Open, path, "out of memory");
    }
}

namespace {

bool writeAll(HANDLE file, std::string_view bytes, const DiskCalls& calls) {
    size_t done = 0;
    while (done < bytes.size()) {
        const unsigned long step = static_cast<unsigned long>(std::min<size_t>(bytes.size() - done, 1u << 30));
        unsigned long n = 0;
        if (!calls.write(file, bytes.data() + done, step, &n)) return false;
        if (n == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += n;
    }
    return true;
}

// Where the path is a symbolic link or a junction, the file it finally names, so that the save
// replaces the file and keeps the link; else the path itself. Empty for a link that cannot be
// followed to its end (a loop).
std::wstring resolveLinks(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return path;
    Handle file(::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) return ::GetLastError() == ERROR_CANT_RESOLVE_FILENAME ? std::wstring() : path;
    std::wstring final(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetFinalPathNameByHandleW(file.get(), final.data(), static_cast<DWORD>(final.size()),
                                                    FILE_NAME_NORMALIZED);
        if (n == 0) return path;
        if (n < final.size()) {
            final.resize(n);
            return final;
        }
        final.resize(n);
    }
}

// Six letters no other save of the same target is likely to pick at the same time. Lower case
// and digits only: names differ in case on no Windows volume.
std::wstring uniqueLetters() {
    static std::atomic<std::uint64_t> counter{0};
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    std::uint64_t x = static_cast<std::uint64_t>(now.QuadPart) ^ (std::uint64_t{::GetCurrentProcessId()} << 32) ^
                      (++counter * 0x9E3779B97F4A7C15u);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
    x ^= x >> 31;
    const wchar_t* const alphabet = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::wstring letters;
    for (size_t i = 0; i < kTemporaryUniqueLength; ++i, x /= 36) letters += alphabet[x % 36];
    return letters;
}

// A save killed before its rename leaves its temporary file behind: clear those of this target.
// Only housekeeping: what cannot be listed or removed stays.
void removeStaleTemporaries(const std::wstring& dir, const std::wstring& prefix) {
    WIN32_FIND_DATAW found;
    const HANDLE listing =
        ::FindFirstFileExW((dir + prefix + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (listing == INVALID_HANDLE_VALUE) return;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    constexpr std::uint64_t kTicksPerSecond = 10'000'000;
    do {
        // The pattern matches without regard to case, and short names too: the name is checked as it is.
        const std::wstring_view name(found.cFileName);
        if (name.size() != prefix.size() + kTemporaryUniqueLength || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        const std::uint64_t written = ticks(found.ftLastWriteTime);
        if (ticks(now) > written && ticks(now) - written > kStaleTemporarySeconds * kTicksPerSecond)
            ::DeleteFileW((dir + std::wstring(name)).c_str());
    } while (::FindNextFileW(listing, &found));
    ::FindClose(listing);
}

bool unsupported(unsigned long error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_CALL_NOT_IMPLEMENTED;
}

// Where the folder allows no new file, the file itself is overwritten: old or new at every
// step only as long as the one write covers every old byte, so a shorter content is refused.
// The new length is reserved first, so a disk that cannot hold it fails before one old byte
// changes.
void writeInPlace(const std::wstring& target, std::string_view bytes, const std::string& shownPath,
                  const DiskCalls& calls) {
    WIN32_FILE_ATTRIBUTE_DATA old{};
    if (::GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &old) &&
        ((std::uint64_t{old.nFileSizeHigh} << 32) | old.nFileSizeLow) > bytes.size())
        throw FileError(FileError::Create, shownPath, kShorterInPlace);
    Handle file(
        ::CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) throw FileError(FileError::Create, shownPath, errorText(::GetLastError()));
    if (!bytes.empty()) {
        const unsigned long r = calls.reserve(file.get(), bytes.size());
        if (r != 0 && !unsupported(r)) throw FileError(FileError::Create, shownPath, errorText(r));
    }
    bool ok = writeAll(file.get(), bytes, calls);
    ok = ok && ::SetEndOfFile(file.get());
    ok = ok && calls.flush(file.get());
    const DWORD e = ::GetLastError();
    ok = file.close() && ok;
    if (!ok) throw FileError(FileError::Create, shownPath, errorText(e));
}

// The target's folder is cut from its name and ReplaceFileW refuses a relative name ("t1.mid",
// "..\t1.mid", "C:t1.mid"): everything is derived from the absolute one.
std::wstring absolute(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0) return path;
        if (n < full.size()) {
            full.resize(n);
            return full;
        }
        full.resize(n);
    }
}

}  // namespace

void writeFileAtomically(const std::string& path, std::string_view bytes, const DiskCalls& calls) {
    const std::wstring target = resolveLinks(absolute(toUtf16(path)));
    if (target.empty()) throw FileError(FileError::Create, path, "symbolic link loop");
    WIN32_FILE_ATTRIBUTE_DATA old{};
    const bool exists = ::GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &old);
    if (exists && (old.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        throw FileError(FileError::Create, path, "not a regular file");
    if (exists && !calls.mayWrite(target.c_str())) throw FileError(FileError::Create, path, errorText(::GetLastError()));
    const size_t cut = target.find_last_of(L"\\/:");
    const std::wstring dir = cut == std::wstring::npos ? std::wstring() : target.substr(0, cut + 1);
    const std::wstring prefix = toUtf16(temporaryPrefix(fromUtf16(target.substr(dir.size()))));
    removeStaleTemporaries(dir, prefix);
    std::wstring temporary;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = dir + prefix + uniqueLetters();
        created = calls.createNew(temporary.c_str());
        if (created != INVALID_HANDLE_VALUE) break;
        const DWORD e = ::GetLastError();
        if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS) continue;
        if (e == ERROR_ACCESS_DENIED || e == ERROR_WRITE_PROTECT) return writeInPlace(target, bytes, path, calls);
        throw FileError(FileError::Create, path, errorText(e));
    }
    Handle file(created);
    if (!file.valid()) throw FileError(FileError::Create, path, errorText(ERROR_FILE_EXISTS));
    bool ok = writeAll(file.get(), bytes, calls);
    ok = ok && calls.flush(file.get());
    DWORD e = ::GetLastError();
    ok = file.close() && ok;
    if (!ok) {
        ::DeleteFileW(temporary.c_str());
        throw FileError(FileError::Create, path, errorText(e));
    }
    // The old file's attributes go on the new one before the rename: ReplaceFileW carries them
    // over on Windows but not everywhere (Wine), nor does the move below when it has to stand in.
    constexpr DWORD kKeptAttributes =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (exists && (old.dwFileAttributes & kKeptAttributes))
        ::SetFileAttributesW(temporary.c_str(), old.dwFileAttributes & kKeptAttributes);
    // Over an existing file, ReplaceFileW keeps what else belongs to it (security, creation
    // time); a new file is only moved into place, its name on the disk before the call returns.
    constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (exists ? calls.replace(target.c_str(), temporary.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS)
               : calls.move(temporary.c_str(), target.c_str(), kMoveFlags))
        return;
    e = ::GetLastError();
    // Here the old file is already gone and the new one still under its temporary name.
    if (e == ERROR_UNABLE_TO_MOVE_REPLACEMENT || e == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        if (calls.move(temporary.c_str(), target.c_str(), kMoveFlags)) return;
        throw FileError(FileError::Create, path, errorText(e) + "; the new content is in " + fromUtf16(temporary));
    }
    ::DeleteFileW(temporary.c_str());
    throw FileError(FileError::Create, path, errorText(e));
}

}  // namespace kf
