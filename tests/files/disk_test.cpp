#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <new>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files/disk.h"

namespace kf {
namespace {

namespace fs = std::filesystem;

// The system calls the tests hand to the disk functions, with a fault put in where a test wants one.
DiskCalls calls = systemDiskCalls();

// Each platform's calls, failing as the cases below want: the cases themselves are the same.
enum class Refusal { NoSpace, NameTooLong, AccessDenied, ReadOnlyVolume };
int readCalls = 0;
int failReadAt = 0;
bool throwOnRead = false;
std::string lastTemporary;  // the name the last temporary file was asked for

#ifdef _WIN32
unsigned long refusal = 0;

bool faultyRead(void* file, void* buffer, unsigned long size, unsigned long* done) {
    if (++readCalls == failReadAt) {
        if (throwOnRead) throw std::bad_alloc();
        ::SetLastError(ERROR_IO_DEVICE);
        return false;
    }
    // Small reads, so a file takes several.
    return systemDiskCalls().read(file, buffer, std::min(size, 1000ul), done);
}
void failReads() { calls.read = &faultyRead; }
void expectIoError(const std::string& detail) {
    const std::string code = "(error " + std::to_string(ERROR_IO_DEVICE) + ")";
    EXPECT_TRUE(detail.size() >= code.size() && detail.compare(detail.size() - code.size(), code.size(), code) == 0)
        << detail;
}

void refuseTemporaryFile(Refusal why) {
    refusal = why == Refusal::NoSpace       ? ERROR_DISK_FULL
              : why == Refusal::NameTooLong ? ERROR_FILENAME_EXCED_RANGE
              : why == Refusal::AccessDenied ? ERROR_ACCESS_DENIED
                                             : ERROR_WRITE_PROTECT;
    calls.createNew = [](const wchar_t* path) -> void* {
        lastTemporary = fs::path(path).u8string();
        ::SetLastError(refusal);
        return INVALID_HANDLE_VALUE;
    };
}
void recordTemporaryNames() {
    calls.createNew = [](const wchar_t* path) {
        lastTemporary = fs::path(path).u8string();
        return systemDiskCalls().createNew(path);
    };
}
void failFlush() {
    calls.flush = [](void*) {
        ::SetLastError(ERROR_IO_DEVICE);
        return false;
    };
}
void refuseWriting() {
    calls.mayWrite = [](const wchar_t*) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    };
}
void fillDiskOnReserve() {
    calls.reserve = [](void*, unsigned long long) -> unsigned long { return ERROR_DISK_FULL; };
}
#else
int failWith = 0;

ssize_t faultyRead(int fd, void* buffer, std::size_t size) {
    if (++readCalls == failReadAt) {
        if (throwOnRead) throw std::bad_alloc();
        errno = EIO;
        return -1;
    }
    // Small reads, so a file takes several.
    return ::read(fd, buffer, std::min<std::size_t>(size, 1000));
}
void failReads() { calls.read = &faultyRead; }
void expectIoError(const std::string& detail) { EXPECT_EQ(detail, "Input/output error"); }

void refuseTemporaryFile(Refusal why) {
    failWith = why == Refusal::NoSpace        ? ENOSPC
               : why == Refusal::NameTooLong  ? ENAMETOOLONG
               : why == Refusal::AccessDenied ? EACCES
                                              : EROFS;
    calls.mkstemp = [](char* pattern) {
        lastTemporary = pattern;
        errno = failWith;
        return -1;
    };
}
void recordTemporaryNames() {
    calls.mkstemp = [](char* pattern) {
        lastTemporary = pattern;
        return ::mkstemp(pattern);
    };
}
void failFlush() {
    calls.fsync = [](int) {
        errno = EIO;
        return -1;
    };
}
void refuseWriting() {
    calls.access = [](const char*, int) {
        errno = EACCES;
        return -1;
    };
}
void fillDiskOnReserve() {
    calls.fallocate = [](int, off_t, off_t) { return ENOSPC; };
}
#endif

class Disk : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kf-disk-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        calls = systemDiskCalls();
        fs::remove_all(dir);
    }
    static std::string slurp(const fs::path& p) { return readFileBytes(p.string(), calls); }
    static void put(const fs::path& p, const std::string& s) { std::ofstream(p, std::ios::binary) << s; }
    fs::path dir;
};

TEST_F(Disk, WritesAndReplacesLeavingNoTemporaryFile) {
    const fs::path f = dir / "a.kfg";
    writeFileAtomically(f.string(), std::string("one\0two", 7), calls);
    EXPECT_EQ(slurp(f), std::string("one\0two", 7));
    writeFileAtomically(f.string(), "new", calls);
    EXPECT_EQ(slurp(f), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

// A name relative to the working folder is saved, and saved again over itself, as the same name
// made absolute would be: the temporary file beside the target, nothing left of it.
TEST_F(Disk, RelativeNamesAreWrittenAndReplaced) {
    fs::create_directories(dir / "sub");
    struct Case {
        std::string what;
        fs::path workingFolder;
        std::string name;
        fs::path file;  // where the name lands
    };
    std::vector<Case> cases = {
        {"bare", dir, "t1.mid", dir / "t1.mid"},
        {"one folder up", dir / "sub", "../t2.mid", dir / "t2.mid"},
        {"in a folder below", dir, "sub/t3.kfg", dir / "sub" / "t3.kfg"},
        {"with a dot", dir / "sub", "./t4.kfg", dir / "sub" / "t4.kfg"},
    };
#ifdef _WIN32
    // The drive's own working folder is the process's, the drive being the current one.
    cases.push_back({"drive-relative", dir, dir.root_name().u8string() + "t5.mid", dir / "t5.mid"});
    cases.push_back({"backslashes, one folder up", dir / "sub", "..\\t6.mid", dir / "t6.mid"});
    cases.push_back({"extended-length", dir, "\\\\?\\" + (dir / "t7.mid").u8string(), dir / "t7.mid"});
    // The administrative share of the drive, where the system serves it (not every Wine does).
    const std::string drive = dir.root_name().u8string().substr(0, 1);
    const std::string share = "\\\\localhost\\" + drive + "$" + dir.relative_path().u8string().insert(0, "\\");
    std::error_code ec;
    if (fs::is_directory(fs::u8path(share), ec))
        cases.push_back({"UNC", dir, share + "\\t8.mid", dir / "t8.mid"});
#endif
    const fs::path before = fs::current_path();
    for (const auto& c : cases) {
        fs::current_path(c.workingFolder);
        for (const char* content : {"first", "second"}) {
            try {
                writeFileAtomically(c.name, content, calls);
            } catch (const FileError& e) {
                ADD_FAILURE() << c.what << ", " << content << ": " << e.what();
            }
            EXPECT_EQ(slurp(c.file), content) << c.what;
        }
        fs::remove(c.file);
    }
    fs::current_path(before);
    EXPECT_TRUE(fs::is_empty(dir / "sub")) << "no temporary file left";
    fs::remove(dir / "sub");
    EXPECT_TRUE(fs::is_empty(dir)) << "no temporary file left";
}

TEST_F(Disk, AFailedWriteNamesTheTargetAndChangesNothing) {
    const fs::path blocker = dir / "file";
    put(blocker, "I am a file");
    const std::string target = (blocker / "x.kfg").string();
    try {
        writeFileAtomically(target, "data", calls);
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(e.kind(), FileError::Create);
        EXPECT_EQ(std::string(e.what()), "ﾌｧｲﾙ " + target + " を作成できません");
    }
    EXPECT_EQ(slurp(blocker), "I am a file");
    // a directory in the target's place is not replaced either
    fs::create_directory(dir / "d.kfg");
    EXPECT_THROW(writeFileAtomically((dir / "d.kfg").string(), "x", calls), FileError);
    EXPECT_TRUE(fs::is_directory(dir / "d.kfg"));
}

TEST_F(Disk, ReadErrors) {
    EXPECT_THROW(readFileBytes((dir / "missing").string(), calls), FileError);
    EXPECT_THROW(readFileBytes(dir.string(), calls), FileError);
}

// Faults met while reading: each must fail the read, never pass for a shorter file.
struct ReadFault {
    const char* what;
    int failAt;
    bool throws;  // no memory, else an I/O error
};

class DiskReadFault : public ::testing::TestWithParam<ReadFault> {};

TEST_P(DiskReadFault, FailsTheWholeRead) {
    const fs::path f = fs::temp_directory_path() / ("kf-read-fault-" + std::to_string(::getpid()));
    std::ofstream(f, std::ios::binary) << std::string(14235, 'x');
    readCalls = 0;
    failReadAt = GetParam().failAt;
    throwOnRead = GetParam().throws;
    failReads();
    try {
        readFileBytes(f.string(), calls);
        ADD_FAILURE() << GetParam().what << " was taken for the end of the file";
    } catch (const FileError& e) {
        EXPECT_EQ(e.kind(), FileError::Open);
        if (GetParam().throws) EXPECT_EQ(e.detail(), "out of memory");
        else expectIoError(e.detail());
    }
    calls = systemDiskCalls();
    EXPECT_EQ(readFileBytes(f.string(), calls).size(), 14235u);
    fs::remove(f);
}

INSTANTIATE_TEST_SUITE_P(Faults, DiskReadFault,
                         ::testing::Values(ReadFault{"an I/O error at the first read", 1, false},
                                           ReadFault{"an I/O error at the second read", 2, false},
                                           ReadFault{"an I/O error at the last read", 15, false},
                                           ReadFault{"no memory", 3, true}));

// Faults met while saving: the old file stays byte for byte.
struct SaveFault {
    const char* what;
    void (*inject)();
    bool writes;  // the new content arrives
};

class DiskSaveFault : public ::testing::TestWithParam<SaveFault> {};

TEST_P(DiskSaveFault, KeepsTheOldFileWhenTheNewOneCannotBeWritten) {
    const fs::path d = fs::temp_directory_path() / ("kf-save-fault-" + std::to_string(::getpid()));
    fs::create_directories(d);
    const fs::path f = d / "kit.kfg";
    const std::string old(14235, 'o');
    std::ofstream(f, std::ios::binary) << old;
    GetParam().inject();
    const std::string fresh(8200, 'n');
    bool threw = false;
    try {
        writeFileAtomically(f.string(), fresh, calls);
    } catch (const FileError& e) {
        threw = true;
        EXPECT_EQ(std::string(e.what()), "ﾌｧｲﾙ " + f.string() + " を作成できません");
    }
    calls = systemDiskCalls();
    EXPECT_EQ(threw, !GetParam().writes) << GetParam().what;
    EXPECT_EQ(readFileBytes(f.string(), calls), GetParam().writes ? fresh : old) << GetParam().what;
    EXPECT_EQ(std::distance(fs::directory_iterator(d), fs::directory_iterator()), 1) << "no temporary file left";
    fs::remove_all(d);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DiskSaveFault,
    ::testing::Values(
        SaveFault{"no inode left", [] { refuseTemporaryFile(Refusal::NoSpace); }, false},
        SaveFault{"name too long for the temporary file", [] { refuseTemporaryFile(Refusal::NameTooLong); }, false},
        SaveFault{"the flush to the disk fails", &failFlush, false},
        SaveFault{"target not writable", &refuseWriting, false},
        SaveFault{"folder refuses new files, disk full",
                  [] {
                      refuseTemporaryFile(Refusal::AccessDenied);
                      fillDiskOnReserve();
                  },
                  false},
        // Overwriting with less than the file holds could leave it broken if cut short.
        SaveFault{"folder refuses new files, shorter content",
                  [] { refuseTemporaryFile(Refusal::ReadOnlyVolume); }, false}));

TEST_F(Disk, TheTemporaryNameIsShortWhateverTheTarget) {
    const fs::path f = dir / (std::string(250, 'k') + ".kfg");
    recordTemporaryNames();
    writeFileAtomically(f.string(), "new", calls);
    EXPECT_EQ(slurp(f), "new");
    EXPECT_EQ(fs::u8path(lastTemporary).filename().u8string().size(), 23u);
}

TEST_F(Disk, StaleTemporaryFilesOfTheSameTargetAreCleared) {
    const fs::path f = dir / "kit.kfg";
    recordTemporaryNames();
    writeFileAtomically(f.string(), "one", calls);
    const std::string prefix = fs::u8path(lastTemporary).filename().u8string().substr(0, 17);
    ASSERT_EQ(prefix.substr(0, 10), ".kitforge-");
    const fs::path stale = dir / (prefix + "abcdef"), fresh = dir / (prefix + "ghijkl"),
                   other = dir / ".kitforge-000000-abcdef", longer = dir / (prefix + "abcdefg");
    for (const auto& p : {stale, fresh, other, longer}) put(p, "left");
    const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(5);
    for (const auto& p : {stale, other, longer}) fs::last_write_time(p, old);
    writeFileAtomically(f.string(), "two", calls);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(fresh)) << "perhaps another save's, under way";
    EXPECT_TRUE(fs::exists(other)) << "another target's";
    EXPECT_TRUE(fs::exists(longer)) << "not ours";
}

TEST_F(Disk, OnlyRegularFilesOfBoundedSizeAreRead) {
    // A FIFO with no writer must not hang the read, a device that never ends must not grow
    // without bound, a huge file is refused before it is read.
    const fs::path huge = dir / "huge.kfg";
    { std::ofstream(huge, std::ios::binary) << "x"; }
    fs::resize_file(huge, kMaxInputBytes + 1);
    struct Case {
        std::string path, detail;
    };
    std::vector<Case> cases{{huge.u8string(), "larger than 64 MiB"}};
#ifdef _WIN32
    cases.push_back({"NUL", "not a regular file"});
#else
    const fs::path fifo = dir / "fifo.kfg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    cases.push_back({fifo.string(), "not a regular file"});
    cases.push_back({"/dev/zero", "not a regular file"});
#endif
    for (const auto& c : cases) {
        try {
            readFileBytes(c.path, calls);
            ADD_FAILURE() << c.path << " was read";
        } catch (const FileError& e) {
            EXPECT_EQ(e.detail(), c.detail) << c.path;
        }
    }
}

// A name in Japanese reaches the disk as it is, and is read back by it.
TEST_F(Disk, FileNamesBeyondASCII) {
    const std::string name = "\xE3\x83\x89\xE3\x83\xA9\xE3\x83\xA0 \xE5\xA4\xAA\xE9\xBC\x93.kfg";  // ドラム 太鼓.kfg
    const std::string f = dir.u8string() + static_cast<char>(fs::path::preferred_separator) + name;
    writeFileAtomically(f, "new", calls);
    writeFileAtomically(f, "newer", calls);
    EXPECT_EQ(readFileBytes(f, calls), "newer");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().u8string());
    EXPECT_EQ(names, std::vector<std::string>{name});
}

#ifndef _WIN32
TEST_F(Disk, KeepsTheModeOfTheFileItReplaces) {
    const fs::path f = dir / "a.kfg";
    put(f, "old");
    ::chmod(f.c_str(), 0640);
    writeFileAtomically(f.string(), "new", calls);
    struct stat st {};
    ::stat(f.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(Disk, WritesThroughASymbolicLink) {
    const fs::path real = dir / "real.kfg";
    const fs::path link = dir / "link.kfg";
    put(real, "old");
    fs::create_symlink("real.kfg", link);
    writeFileAtomically(link.string(), "new", calls);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(slurp(real), "new");
}

TEST_F(Disk, AnInterruptedReadIsTriedAgain) {
    const fs::path f = dir / "interrupted.kfg";
    std::ofstream(f, std::ios::binary) << std::string(5000, 'x');
    readCalls = 0;
    calls.read = [](int fd, void* buffer, std::size_t size) -> ssize_t {
        if (++readCalls % 2 == 1) {
            errno = EINTR;
            return -1;
        }
        return ::read(fd, buffer, std::min<std::size_t>(size, 1000));
    };
    EXPECT_EQ(readFileBytes(f.string(), calls).size(), 5000u);
    calls = systemDiskCalls();
}

TEST_F(Disk, ASymbolicLinkLoopIsRefusedAndLeftAsItIs) {
    fs::create_symlink("b.kfg", dir / "a.kfg");
    fs::create_symlink("a.kfg", dir / "b.kfg");
    EXPECT_THROW(writeFileAtomically((dir / "a.kfg").string(), "x", calls), FileError);
    EXPECT_TRUE(fs::is_symlink(dir / "a.kfg"));
    EXPECT_TRUE(fs::is_symlink(dir / "b.kfg"));
    EXPECT_THROW(readFileBytes((dir / "a.kfg").string(), calls), FileError);
}


#else

// What a save on Windows owes the file it replaces and the disk: the replaced file's
// attributes, no write over a read-only file, and the new content flushed before it takes the
// target's name, which a new file takes written through.
std::string trace;  // what the last save did to the disk, in order
void note(const std::string& call) { trace += (trace.empty() ? "" : " ") + call; }

TEST_F(Disk, WindowsSavesKeepTheReplacedFileAndLastOnTheDisk) {
    const struct Case {
        const char* what;
        bool exists;
        DWORD attributes;  // of the file replaced
        bool writes;
        std::string trace;
    } cases[] = {
        {"a new file", false, 0, true,
         "write flush move " + std::to_string(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)},
        {"over a file", true, FILE_ATTRIBUTE_NORMAL, true, "write flush replace"},
        {"over a hidden file", true, FILE_ATTRIBUTE_HIDDEN, true, "write flush replace"},
        {"over a read-only file", true, FILE_ATTRIBUTE_READONLY, false, ""},
    };
    calls.write = [](void* file, const void* buffer, unsigned long size, unsigned long* done) {
        note("write");
        return systemDiskCalls().write(file, buffer, size, done);
    };
    calls.flush = [](void* file) {
        note("flush");
        return systemDiskCalls().flush(file);
    };
    calls.replace = [](const wchar_t* target, const wchar_t* replacement, unsigned long flags) {
        note("replace");
        return systemDiskCalls().replace(target, replacement, flags);
    };
    calls.move = [](const wchar_t* from, const wchar_t* to, unsigned long flags) {
        note("move " + std::to_string(flags));
        return systemDiskCalls().move(from, to, flags);
    };
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY;
    for (const auto& c : cases) {
        const fs::path f = dir / "kit.kfg";
        if (c.exists) {
            put(f, "old");
            ASSERT_TRUE(::SetFileAttributesW(f.c_str(), c.attributes)) << c.what;
        }
        trace.clear();
        bool threw = false;
        try {
            writeFileAtomically(f.u8string(), "new", calls);
        } catch (const FileError& e) {
            threw = true;
            EXPECT_EQ(e.kind(), FileError::Create) << c.what;
        }
        EXPECT_EQ(threw, !c.writes) << c.what;
        EXPECT_EQ(trace, c.trace) << c.what;
        EXPECT_EQ(readFileBytes(f.u8string()), c.writes ? "new" : "old") << c.what;
        if (c.exists) EXPECT_EQ(::GetFileAttributesW(f.c_str()) & kKept, c.attributes & kKept) << c.what;
        ::SetFileAttributesW(f.c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove(f);
        EXPECT_TRUE(fs::is_empty(dir)) << c.what << ": no temporary file left";
    }
}

#endif

}  // namespace
}  // namespace kf
