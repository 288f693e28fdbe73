#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include <filesystem>
#include <fstream>

#include "files/disk.h"

namespace kf {
namespace {

namespace fs = std::filesystem;

// The system calls the tests hand to the disk functions, with a fault put in where a test wants one.
DiskCalls calls = systemDiskCalls();

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
int readCalls = 0;
int failReadAt = 0;
bool throwOnRead = false;
ssize_t faultyRead(int fd, void* buffer, std::size_t size) {
    if (++readCalls == failReadAt) {
        if (throwOnRead) throw std::bad_alloc();
        errno = EIO;
        return -1;
    }
    // Small reads, so a file takes several.
    return ::read(fd, buffer, std::min<std::size_t>(size, 1000));
}

struct ReadFault {
    const char* what;
    int failAt;
    bool throws;
    const char* detail;
};

class DiskReadFault : public ::testing::TestWithParam<ReadFault> {};

TEST_P(DiskReadFault, FailsTheWholeRead) {
    const fs::path f = fs::temp_directory_path() / ("kf-read-fault-" + std::to_string(::getpid()));
    std::ofstream(f, std::ios::binary) << std::string(14235, 'x');
    readCalls = 0;
    failReadAt = GetParam().failAt;
    throwOnRead = GetParam().throws;
    calls.read = &faultyRead;
    try {
        readFileBytes(f.string(), calls);
        ADD_FAILURE() << GetParam().what << " was taken for the end of the file";
    } catch (const FileError& e) {
        EXPECT_EQ(e.kind(), FileError::Open);
        EXPECT_EQ(e.detail(), GetParam().detail);
    }
    calls = systemDiskCalls();
    EXPECT_EQ(readFileBytes(f.string(), calls).size(), 14235u);
    fs::remove(f);
}

INSTANTIATE_TEST_SUITE_P(Faults, DiskReadFault,
                         ::testing::Values(ReadFault{"EIO at the first read", 1, false, "Input/output error"},
                                           ReadFault{"EIO at the second read", 2, false, "Input/output error"},
                                           ReadFault{"EIO at the last read", 15, false, "Input/output error"},
                                           ReadFault{"no memory", 3, true, "out of memory"}));

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

TEST_F(Disk, OnlyRegularFilesOfBoundedSizeAreRead) {
    // A FIFO with no writer must not hang the read, a device that never ends must not grow
    // without bound, a huge file is refused before it is read.
    const fs::path fifo = dir / "fifo.kfg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path huge = dir / "huge.kfg";
    { std::ofstream(huge, std::ios::binary) << "x"; }
    fs::resize_file(huge, kMaxInputBytes + 1);
    struct Case {
        std::string path, detail;
    } cases[] = {{fifo.string(), "not a regular file"},
                 {"/dev/zero", "not a regular file"},
                 {huge.string(), "larger than 64 MiB"}};
    for (const auto& c : cases) {
        try {
            readFileBytes(c.path, calls);
            ADD_FAILURE() << c.path << " was read";
        } catch (const FileError& e) {
            EXPECT_EQ(e.detail(), c.detail) << c.path;
        }
    }
}

// Faults met while saving: the old file stays byte for byte.
int failWith = 0;
std::string lastPattern;
int refusingMkstemp(char* pattern) {
    lastPattern = pattern;
    errno = failWith;
    return -1;
}
int recordingMkstemp(char* pattern) {
    lastPattern = pattern;
    return ::mkstemp(pattern);
}
int fullDiskFallocate(int, off_t, off_t) { return ENOSPC; }
int failingFsync(int) {
    errno = EIO;
    return -1;
}
int refusingAccess(const char*, int) {
    errno = EACCES;
    return -1;
}

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
        SaveFault{"no inode left", [] { failWith = ENOSPC, calls.mkstemp = &refusingMkstemp; }, false},
        SaveFault{"name too long for the temporary file",
                  [] { failWith = ENAMETOOLONG, calls.mkstemp = &refusingMkstemp; }, false},
        SaveFault{"fsync fails", [] { calls.fsync = &failingFsync; }, false},
        SaveFault{"target not writable", [] { calls.access = &refusingAccess; }, false},
        SaveFault{"folder refuses new files, disk full",
                  [] {
                      failWith = EACCES, calls.mkstemp = &refusingMkstemp;
                      calls.fallocate = &fullDiskFallocate;
                  },
                  false},
        // Overwriting with less than the file holds could leave it broken if cut short.
        SaveFault{"folder refuses new files, shorter content",
                  [] { failWith = EROFS, calls.mkstemp = &refusingMkstemp; }, false}));

TEST_F(Disk, TheTemporaryNameIsShortWhateverTheTarget) {
    const fs::path f = dir / (std::string(250, 'k') + ".kfg");
    calls.mkstemp = &recordingMkstemp;
    writeFileAtomically(f.string(), "new", calls);
    EXPECT_EQ(slurp(f), "new");
    EXPECT_EQ(fs::path(lastPattern).filename().string().size(), 23u);
}

TEST_F(Disk, ASymbolicLinkLoopIsRefusedAndLeftAsItIs) {
    fs::create_symlink("b.kfg", dir / "a.kfg");
    fs::create_symlink("a.kfg", dir / "b.kfg");
    EXPECT_THROW(writeFileAtomically((dir / "a.kfg").string(), "x", calls), FileError);
    EXPECT_TRUE(fs::is_symlink(dir / "a.kfg"));
    EXPECT_TRUE(fs::is_symlink(dir / "b.kfg"));
    EXPECT_THROW(readFileBytes((dir / "a.kfg").string(), calls), FileError);
}

TEST_F(Disk, StaleTemporaryFilesOfTheSameTargetAreCleared) {
    const fs::path f = dir / "kit.kfg";
    calls.mkstemp = &recordingMkstemp;
    writeFileAtomically(f.string(), "one", calls);
    const std::string prefix = fs::path(lastPattern).filename().string().substr(0, 17);
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

}  // namespace
}  // namespace kf
