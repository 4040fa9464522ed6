// The qmzip command: its usage, what it backs up, its exit statuses, and what an interrupted
// run leaves behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "QmzipRun.h"
#include "support/ArchiveCheck.h"
#include "support/TestDir.h"

extern char** environ;

namespace qm {
namespace {

using test::CheckArchive;
using test::Exists;
using test::Qmzip;
using test::RunCommand;
using test::ShellQuote;
using test::TestDir;

const std::string kQmzip = QMZIP_PATH;

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
                             "[-n MASK]... [-C ROOTDIR] [-q] [--no-check] ARCHIVE SPEC...\n",
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
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
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
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
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
    QM_SKIP_WITHOUT_TOOLS("unzip");
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

// How a program ended: its exit status, or the signal that killed it.
struct TEnd {
    bool Exited = false;
    int Status = -1;  // when Exited
    int Signal = 0;   // when killed
};

std::ostream& operator<<(std::ostream& Out, const TEnd& End) {
    return End.Exited ? Out << "exit " << End.Status : Out << "killed by signal " << End.Signal;
}

// Starts qmzip with Args (TMPDIR set to TempDir), waits until Started() holds, which says the
// run is under way and so past setting up its signal handlers, then sends Signal and waits
// for the end. A program that ends before Started() holds, or a minute without it, fails.
TEnd InterruptedRun(const std::vector<std::string>& Args, const std::string& TempDir, int Signal,
                    const std::function<bool()>& Started) {
    std::vector<char*> argv;
    std::string program = kQmzip;
    argv.push_back(program.data());
    std::vector<std::string> copy = Args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = {"TMPDIR=" + TempDir};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("TMPDIR=", 0) != 0) environment.push_back(*e);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);

    TEnd end;
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return end;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    bool started = false;
    while (!(started = Started()) && std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            ADD_FAILURE() << "qmzip ended before the run was under way";
            end.Exited = WIFEXITED(status);
            end.Status = end.Exited ? WEXITSTATUS(status) : -1;
            return end;
        }
        std::this_thread::yield();
    }
    if (!started) ADD_FAILURE() << "the run did not get under way within a minute";
    ::kill(pid, Signal);
    ::waitpid(pid, &status, 0);
    end.Exited = WIFEXITED(status);
    if (end.Exited) end.Status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) end.Signal = WTERMSIG(status);
    return end;
}

// A clean cancel is qmzip's own exit with 130; death by the signal would also read as 130 in
// a shell, so the two are told apart here.
TEST(Qmzip, SignalsCancelCleanly) {
    TestDir dir;
    const std::string big = dir / "src/big.bin";
    const std::string temp = dir.Folder("tmp");
    dir.Folder("src");
    // Sparse: takes no room, but every byte is read and compressed.
    ASSERT_EQ(::truncate(dir.File("src/big.bin").c_str(), int64_t{3} << 30), 0);
    const std::string archive = dir / "big.zip";
    // A new archive is written under a temporary name beside its final one.
    TEnd end = InterruptedRun({"-q", archive, big}, temp, SIGINT,
                              [&] { return !test::FilesWithPrefix(dir.Path(), "XQZ").empty(); });
    EXPECT_TRUE(end.Exited && end.Status == 130) << end;
    EXPECT_FALSE(Exists(archive));
    EXPECT_TRUE(test::FilesWithPrefix(dir.Path(), "XQZ").empty());

    dir.File("small.txt", "small\n");
    ASSERT_EQ(Qmzip("-q " + ShellQuote(archive) + " " + ShellQuote(dir / "small.txt")).Status, 0);
    const std::string before = test::ReadWholeFile(archive);
    // Rebuilding the archive writes a temporary one first, beside it (never in TMPDIR, which
    // is often memory and may lie on another file system).
    end = InterruptedRun({"-q", archive, big}, temp, SIGTERM,
                         [&] { return !test::FilesWithPrefix(dir.Path(), "XQZ").empty(); });
    EXPECT_TRUE(end.Exited && end.Status == 130) << end;
    EXPECT_EQ(test::ReadWholeFile(archive), before);
    EXPECT_TRUE(test::FilesWithPrefix(dir.Path(), "XQZ").empty());
    EXPECT_TRUE(test::FilesWithPrefix(temp, "XQZ").empty());
}

}  // namespace
}  // namespace qm
