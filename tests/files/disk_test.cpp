#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "files/disk.h"

namespace kf {
namespace {

namespace fs = std::filesystem;

class Disk : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kf-disk-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    static std::string slurp(const fs::path& p) { return readFileBytes(p.string()); }
    static void put(const fs::path& p, const std::string& s) { std::ofstream(p, std::ios::binary) << s; }
    fs::path dir;
};

TEST_F(Disk, WritesAndReplacesLeavingNoTemporaryFile) {
    const fs::path f = dir / "a.kfg";
    writeFileAtomically(f.string(), std::string("one\0two", 7));
    EXPECT_EQ(slurp(f), std::string("one\0two", 7));
    writeFileAtomically(f.string(), "new");
    EXPECT_EQ(slurp(f), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(Disk, KeepsTheModeOfTheFileItReplaces) {
    const fs::path f = dir / "a.kfg";
    put(f, "old");
    ::chmod(f.c_str(), 0640);
    writeFileAtomically(f.string(), "new");
    struct stat st {};
    ::stat(f.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(Disk, WritesThroughASymbolicLink) {
    const fs::path real = dir / "real.kfg";
    const fs::path link = dir / "link.kfg";
    put(real, "old");
    fs::create_symlink("real.kfg", link);
    writeFileAtomically(link.string(), "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(slurp(real), "new");
}

TEST_F(Disk, AFailedWriteNamesTheTargetAndChangesNothing) {
    const fs::path blocker = dir / "file";
    put(blocker, "I am a file");
    const std::string target = (blocker / "x.kfg").string();
    try {
        writeFileAtomically(target, "data");
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(e.kind(), FileError::Create);
        EXPECT_EQ(std::string(e.what()), "ﾌｧｲﾙ " + target + " を作成できません");
    }
    EXPECT_EQ(slurp(blocker), "I am a file");
    // a directory in the target's place is not replaced either
    fs::create_directory(dir / "d.kfg");
    EXPECT_THROW(writeFileAtomically((dir / "d.kfg").string(), "x"), FileError);
    EXPECT_TRUE(fs::is_directory(dir / "d.kfg"));
}

TEST_F(Disk, ReadErrors) {
    EXPECT_THROW(readFileBytes((dir / "missing").string()), FileError);
    EXPECT_THROW(readFileBytes(dir.string()), FileError);
}

}  // namespace
}  // namespace kf
