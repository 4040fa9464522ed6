// Copying file contents and the absent volume labels.
#include "zip/FileUtils.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/UiHooks.h"
#include "support/ScriptedUiHooks.h"
#include "support/TestDir.h"

namespace qm {
namespace {

class FileUtilsTest : public ::testing::Test {
  protected:
    test::TScriptedUiHooks hooks;
    test::TestDir dir;
};

TEST_F(FileUtilsTest, CopiesTheWholeContentReplacingTheTarget) {
    std::string content(200000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    const std::string src = dir.File("src.bin", content);
    const std::string dst = dir.File("dst.bin", std::string(300000, 'x'));
    EXPECT_EQ(CopyFileContents(src, dst), 200000);
    EXPECT_EQ(test::ReadWholeFile(dst), content);
    EXPECT_TRUE(hooks.Boxes.empty());
}

TEST_F(FileUtilsTest, EmptySourceShowsTheMessageAndReturns) {
    const std::string src = dir.File("empty");
    const std::string dst = dir / "out";
    EXPECT_EQ(CopyFileContents(src, dst), 0);
    ASSERT_EQ(hooks.Boxes.size(), 1u);
    EXPECT_EQ(hooks.Boxes[0].Title, "Error");
    EXPECT_EQ(hooks.Boxes[0].Text, "Could not copy from " + src + " -> " + dst);
    EXPECT_EQ(hooks.Boxes[0].Buttons, unsigned{mbOK});
}

TEST_F(FileUtilsTest, OpenAndCreateFailuresRaise) {
    EXPECT_THROW(CopyFileContents(dir / "missing", dir / "out"), EFOpenError);
    const std::string src = dir.File("a", "abc");
    EXPECT_THROW(CopyFileContents(src, dir / "no/such/folder/out"), EFCreateError);
    EXPECT_TRUE(hooks.Boxes.empty());
}

TEST_F(FileUtilsTest, ShortWriteRaisesInsteadOfReportingACopy) {
    const std::string src = dir.File("big", std::string(200000, 'b'));
    const std::string dst = dir / "out";
    // A file size limit makes the medium refuse the rest, as a full disk would; the child keeps
    // the limit away from the other tests.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1000, 1000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
        try {
            CopyFileContents(src, dst);
        } catch (const EWriteError&) {
            _exit(0);
        } catch (...) {
            _exit(2);
        }
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(VolumeLabel, NoneExistAndNoneCanBeWritten) {
    EXPECT_EQ(ReadVolumeLabel("/"), "");
    EXPECT_FALSE(WriteVolumeLabel("/", "BACKUP"));
}

}  // namespace
}  // namespace qm
