// The qmzip command: its usage, what it backs up, its exit statuses, and what an interrupted
// run leaves behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/ArchiveCheck.h"
#include "support/TestDir.h"

extern char** environ;

namespace qm {
namespace {

using test::CheckArchive;
using test::RunCommand;
using test::ShellQuote;
using test::TestDir;

const std::string kQmzip = QMZIP_PATH;

test::CommandResult Qmzip(const std::string& Args) {
    return RunCommand(ShellQuote(kQmzip) + " " + Args);
}

bool Exists(const std::string& Path) {
    struct stat st {};
    return ::lstat(Path.c_str(), &st) == 0;
}

struct Tree {
    explicit Tree(const TestDir& Dir) {
        Root = Dir.Folder("src");
        Dir.File("src/a.txt", "alpha\n");
        Dir.File("src/b.log", "log\n");
        Dir.File("src/sub/c.txt", "gamma\n");
        Dir.File("src/sub/d.bin", std::string(3000, 'd'));
    }
    std::string Root;
};

TEST(Qmzip, HelpAndBadCommandLines) {
    test::CommandResult r = Qmzip("--help");
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Output.rfind("usage: qmzip [-r] [-0..-9] [-a update|replace|freshen] [-x MASK]... "
                             "[-n MASK]... [-C ROOTDIR] [-q] ARCHIVE SPEC...\n",
                             0),
              0u)
        << r.Output;
    EXPECT_EQ(Qmzip("").Status, 1);
    EXPECT_EQ(Qmzip("only.zip").Status, 1);
    r = Qmzip("-a sideways x.zip y");
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find("unknown action"), std::string::npos);
    EXPECT_EQ(Qmzip("-z x.zip y").Status, 1);
}

TEST(Qmzip, RecursiveBackUpStoresPathsRelativeToTheRoot) {
    TestDir dir;
    Tree tree(dir);
    const std::string archive = dir / "out.zip";
    test::CommandResult r =
        Qmzip("-r -q -C " + ShellQuote(tree.Root) + " " + ShellQuote(archive) + " '*'");
    EXPECT_EQ(r.Status, 0) << r.Output;
    EXPECT_EQ(r.Output, "4 files added\n");
    EXPECT_EQ(CheckArchive(archive, {{"a.txt", tree.Root + "/a.txt"},
                                     {"b.log", tree.Root + "/b.log"},
                                     {"sub/c.txt", tree.Root + "/sub/c.txt"},
                                     {"sub/d.bin", tree.Root + "/sub/d.bin"}}),
              "");
}

TEST(Qmzip, WithoutRecursionOnlyTheFoldersOwnFilesUnderBareNames) {
    TestDir dir;
    Tree tree(dir);
    const std::string archive = dir / "flat.zip";
    // A relative archive and specification, from the current folder.
    test::CommandResult r = RunCommand("cd " + ShellQuote(dir.Path()) + " && " +
                                       ShellQuote(kQmzip) + " -q flat.zip src 'src/sub/*.txt'");
    EXPECT_EQ(r.Status, 0) << r.Output;
    EXPECT_EQ(CheckArchive(archive, {{"a.txt", tree.Root + "/a.txt"},
                                     {"b.log", tree.Root + "/b.log"},
                                     {"c.txt", tree.Root + "/sub/c.txt"}}),
              "");
}

TEST(Qmzip, ExcludeNoCompressLevelAndActions) {
    TestDir dir;
    Tree tree(dir);
    const std::string archive = dir / "x.zip";
    const std::string base = "-r -C " + ShellQuote(tree.Root) + " " + ShellQuote(archive) + " ";
    test::CommandResult r = Qmzip("-q -9 -x '*.log' -n '*.bin' " + base + "'*'");
    EXPECT_EQ(r.Status, 0) << r.Output;
    r = RunCommand("unzip -v " + ShellQuote(archive));
    EXPECT_EQ(r.Output.find("b.log"), std::string::npos);
    EXPECT_NE(r.Output.find("3000  Stored"), std::string::npos) << r.Output;

    // Freshen adds nothing new; update adds it.
    dir.File("src/new.txt", "new\n");
    EXPECT_EQ(Qmzip("-q -a freshen " + base + "'*.txt'").Output, "0 files added\n");
    EXPECT_EQ(Qmzip("-q -a update " + base + "'*.txt'").Output, "1 file added\n");
    EXPECT_EQ(Qmzip("-q -a replace " + base + "'*.txt'").Output, "3 files added\n");
    EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(archive)).Status, 0);
}

TEST(Qmzip, ErrorsExitWithOneAndTheMessage) {
    TestDir dir;
    Tree tree(dir);
    test::CommandResult r = Qmzip("-q " + ShellQuote(dir / "no/such/folder/x.zip") + " " +
                                  ShellQuote(tree.Root + "/a.txt"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Output.rfind("qmzip: ", 0), 0u) << r.Output;
}

// Starts qmzip with Args, sends Signal after Delay, and returns its exit status.
int InterruptedRun(const std::vector<std::string>& Args, int Signal,
                   std::chrono::milliseconds Delay) {
    std::vector<char*> argv;
    std::string program = kQmzip;
    argv.push_back(program.data());
    std::vector<std::string> copy = Args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    std::this_thread::sleep_for(Delay);
    ::kill(pid, Signal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Qmzip, SignalsCancelCleanly) {
    TestDir dir;
    const std::string big = dir / "src/big.bin";
    dir.Folder("src");
    // Sparse: takes no room, but every byte is read and compressed.
    ASSERT_EQ(::truncate(dir.File("src/big.bin").c_str(), int64_t{3} << 30), 0);
    const std::string archive = dir / "big.zip";
    EXPECT_EQ(InterruptedRun({"-q", archive, big}, SIGINT, std::chrono::milliseconds(400)), 130);
    EXPECT_FALSE(Exists(archive));

    dir.File("small.txt", "small\n");
    ASSERT_EQ(Qmzip("-q " + ShellQuote(archive) + " " + ShellQuote(dir / "small.txt")).Status, 0);
    const std::string before = test::ReadWholeFile(archive);
    EXPECT_EQ(InterruptedRun({"-q", archive, big}, SIGTERM, std::chrono::milliseconds(400)), 130);
    EXPECT_EQ(test::ReadWholeFile(archive), before);
}

}  // namespace
}  // namespace qm
