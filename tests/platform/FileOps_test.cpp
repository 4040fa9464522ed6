// File operations by name, system folders, temporary files and free space.
#include "platform/FileOps.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <set>

#include "platform/DiskSpace.h"
#include "platform/Exception.h"
#include "platform/SystemFolders.h"
#include "platform/TempFile.h"
#include "support/TestDir.h"

namespace qm {
namespace {

TEST(FileOps, ExistsDeleteRename) {
    test::TestDir dir;
    const std::string f = dir.File("a.txt", "x");
    EXPECT_TRUE(FileExists(f));
    EXPECT_FALSE(FileExists(dir.Path()));
    EXPECT_TRUE(DirectoryExists(dir.Path()));
    EXPECT_FALSE(DirectoryExists(f));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(DirectoryExists(""));
    ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
    EXPECT_FALSE(FileExists(dir / "dangling"));
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    EXPECT_TRUE(FileExists(dir / "fifo"));

    EXPECT_TRUE(RenameFile(f, dir / "b.txt"));
    EXPECT_FALSE(FileExists(f));
    EXPECT_EQ(test::ReadWholeFile(dir / "b.txt"), "x");
    EXPECT_FALSE(RenameFile(dir / "missing", dir / "c.txt"));
    EXPECT_TRUE(DeleteFile(dir / "b.txt"));
    EXPECT_FALSE(DeleteFile(dir / "b.txt"));
    EXPECT_TRUE(DeleteFile(dir / "dangling")) << "a link itself can be deleted";
    EXPECT_TRUE(CreateDir(dir / "new"));
    EXPECT_FALSE(CreateDir(dir / "new"));
    EXPECT_TRUE(DirectoryExists(dir / "new"));
}

TEST(SystemFolders, TempFolderFollowsTmpdirOnlyWhenItExists) {
    test::TestDir dir;
    const char* old = std::getenv("TMPDIR");
    std::string saved = old ? old : "";
    setenv("TMPDIR", (dir.Path() + "/").c_str(), 1);
    EXPECT_EQ(GetTempFolder(), dir.Path());
    setenv("TMPDIR", (dir / "missing").c_str(), 1);
    EXPECT_EQ(GetTempFolder(), "/tmp");
    unsetenv("TMPDIR");
    EXPECT_EQ(GetTempFolder(), "/tmp");
    if (old) setenv("TMPDIR", saved.c_str(), 1);
}

TEST(SystemFolders, CurrentAndProgramFolder) {
    char buf[4096];
    ASSERT_TRUE(getcwd(buf, sizeof buf));
    EXPECT_EQ(GetCurrentDir(), buf);
    const std::string prog = GetProgramFolder();
    ASSERT_FALSE(prog.empty());
    EXPECT_EQ(prog[0], '/');
    EXPECT_TRUE(FileExists(prog + "/platform_tests"));
}

TEST(TempFile, CreatesDistinctEmptyFilesWithThePrefix) {
    test::TestDir dir;
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        std::string name = MakeTempFileName(i % 2 ? dir.Path() : dir.Path() + "/");
        ASSERT_EQ(name.rfind(dir.Path() + "/XQZ", 0), 0u) << name;
        ASSERT_EQ(name.substr(name.size() - 4), ".TMP");
        const std::string hex =
            name.substr(dir.Path().size() + 4, name.size() - dir.Path().size() - 8);
        EXPECT_EQ(hex.size(), 8u);
        EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
        EXPECT_TRUE(FileExists(name));
        EXPECT_EQ(test::ReadWholeFile(name), "");
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 20u);
    EXPECT_THROW(MakeTempFileName(dir / "missing"), EFCreateError);
}

TEST(DiskSpace, ReportsRoomOrMinusOne) {
    test::TestDir dir;
    EXPECT_GT(DiskFree(dir.Path()), 0);
    EXPECT_EQ(DiskFree(dir / "missing"), -1);
}

}  // namespace
}  // namespace qm
