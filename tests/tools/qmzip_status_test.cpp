// What qmzip tells its user about files it could not store, and its exit statuses: open files,
// unreadable files and folders, paths beyond PATH_MAX, empty runs, interrupted creates, names
// that are not UTF-8, more than 65,535 entries, and reader errors that name their archive.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "QmzipRun.h"
#include "support/ArchiveCheck.h"
#include "support/DeepTree.h"
#include "support/TestDir.h"

extern char** environ;

namespace qm {
namespace {

using test::Exists;
using test::Qmzip;
using test::RunCommand;
using test::ShellQuote;
using test::TestDir;

const std::string kQmzip = QMZIP_PATH;

bool Contains(const std::string& Text, const std::string& Part) {
    return Text.find(Part) != std::string::npos;
}

// Runs a python3 snippet on the archive; its output, or "python3 missing".
test::CommandResult Python(const std::string& Script, const std::string& Archive) {
    return RunCommand("python3 -c " + ShellQuote(Script) + " " + ShellQuote(Archive));
}

// The temporary files (XQZ*.TMP) in Folder.
std::vector<std::string> TempFiles(const std::string& Folder) {
    std::vector<std::string> found;
    if (DIR* d = ::opendir(Folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name.rfind("XQZ", 0) == 0 && name.size() > 4 &&
                name.compare(name.size() - 4, 4, ".TMP") == 0)
                found.push_back(Folder + "/" + name);
        }
        ::closedir(d);
    }
    return found;
}

TEST(QmzipStatus, FilesHeldOpenForWritingAreStored) {
    TestDir dir;
    const std::string db = dir.File("src/db.sqlite", std::string(5000, 'q'));
    dir.File("src/other.txt", "other\n");
    // Another program holds the file open for writing, as a database does.
    const int writer = ::open(db.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(writer, 0);
    const std::string archive = dir / "h.zip";
    test::CommandResult r =
        Qmzip("-q -r -C " + ShellQuote(dir / "src") + " " + ShellQuote(archive) + " '*'");
    ::close(writer);
    EXPECT_EQ(r.Status, 0) << r.Output;
    EXPECT_EQ(r.Output, "2 files added\n");
    EXPECT_EQ(
        test::CheckArchive(archive, {{"db.sqlite", db}, {"other.txt", dir / "src/other.txt"}}), "");
}

// Runs qmzip as an unprivileged user: "nobody" when the tests run as root.
test::CommandResult QmzipUnprivileged(const std::string& Args) {
    if (::geteuid() != 0) return Qmzip(Args);
    return RunCommand("setpriv --reuid=65534 --regid=65534 --clear-groups " + ShellQuote(kQmzip) +
                      " " + Args);
}

TEST(QmzipStatus, UnreadableFilesAndFoldersAreNamedWithTheirReason) {
    if (::geteuid() == 0 && !test::ToolAvailable("setpriv"))
        GTEST_SKIP() << "running as root without setpriv: cannot drop the right to read";
    TestDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    dir.File("src/ok.txt", "ok\n");
    const std::string secret = dir.File("src/secret.txt", "secret\n");
    dir.File("src/locked/inside.txt", "inside\n");
    ASSERT_EQ(::chmod((dir / "src").c_str(), 0777), 0);
    ASSERT_EQ(::chmod((dir / "src/ok.txt").c_str(), 0644), 0);
    ASSERT_EQ(::chmod(secret.c_str(), 0), 0);
    ASSERT_EQ(::chmod((dir / "src/locked").c_str(), 0), 0);
    const std::string archive = dir / "h.zip";

    test::CommandResult r = QmzipUnprivileged("-q -r -C " + ShellQuote(dir / "src") + " " +
                                              ShellQuote(archive) + " '*'");
    EXPECT_EQ(r.Status, 2) << r.Output;
    EXPECT_TRUE(
        Contains(r.Output, "qmzip: skipped (cannot be read): " + secret + ": Permission denied\n"))
        << r.Output;
    EXPECT_TRUE(Contains(r.Output, "qmzip: skipped (cannot be read): " + dir / "src/locked/" +
                                       ": Permission denied\n"))
        << r.Output;
    EXPECT_TRUE(Contains(r.Output, "1 file added\n")) << r.Output;

    // An update whose newer file cannot be read keeps the old entry, and says so.
    ASSERT_EQ(::chmod(secret.c_str(), 0644), 0);
    ASSERT_EQ(::chmod((dir / "src/locked").c_str(), 0755), 0);
    r = QmzipUnprivileged("-q -r -C " + ShellQuote(dir / "src") + " " + ShellQuote(archive) +
                          " '*'");
    ASSERT_EQ(r.Status, 0) << r.Output;
    struct timespec later[2] = {{0, UTIME_OMIT}, {std::time(nullptr) + 100, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, secret.c_str(), later, 0), 0);
    ASSERT_EQ(::chmod(secret.c_str(), 0), 0);
    r = QmzipUnprivileged("-q -r -C " + ShellQuote(dir / "src") + " " + ShellQuote(archive) +
                          " '*'");
    EXPECT_EQ(r.Status, 2) << r.Output;
    EXPECT_TRUE(Contains(r.Output, "qmzip: skipped (cannot be read): " + secret)) << r.Output;
    EXPECT_TRUE(Contains(r.Output, "qmzip: the archive keeps its older copy of: " + secret))
        << r.Output;
    // The old entries keep their places; the ones added later follow.
    EXPECT_EQ(test::ArchiveNames(archive),
              (std::vector<std::string>{"ok.txt", "locked/inside.txt", "secret.txt"}));
}

TEST(QmzipStatus, PathsLongerThanPathMaxAreBackedUp) {
    TestDir dir;
    dir.File("src/top.txt", "top\n");
    const std::string segment(200, 'd');
    const std::string deepest =
        test::MakeDeepTree(dir / "src", segment, 31, "deep.txt", "at the bottom\n");
    ASSERT_GT(deepest.size() + 9, 6000u);
    const std::string archive = dir / "deep.zip";
    test::CommandResult r =
        Qmzip("-q -r -C " + ShellQuote(dir / "src") + " " + ShellQuote(archive) + " '*'");
    EXPECT_EQ(r.Status, 0) << r.Output;
    EXPECT_EQ(r.Output, "2 files added\n");
    std::string stored;
    for (int i = 0; i < 31; ++i) stored += segment + "/";
    stored += "deep.txt";
    const std::vector<std::string> names = test::ArchiveNames(archive);
    EXPECT_EQ(names, (std::vector<std::string>{stored, "top.txt"}));
    test::CommandResult content = Python(
        "import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
        "sys.stdout.write(z.read(z.namelist()[0]).decode())",
        archive);
    EXPECT_EQ(content.Output, "at the bottom\n");
    EXPECT_TRUE(test::RemoveTree(dir / "src"));
}

TEST(QmzipStatus, EmptyRunsWriteNothingAndSaySo) {
    TestDir dir;
    dir.File("src/a.txt", "a\n");
    const std::string archive = dir / "h.zip";

    test::CommandResult r = Qmzip("-q " + ShellQuote(archive) + " " + ShellQuote(dir / "nowhere/"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Output, "qmzip: no such folder: " + dir / "nowhere/\n");
    // A missing name in a folder that exists is a file that does not exist.
    r = Qmzip("-q " + ShellQuote(archive) + " " + ShellQuote(dir / "nowhere"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Output, "qmzip: no such file: " + dir / "nowhere\nqmzip: nothing to back up\n");
    r = Qmzip("-q " + ShellQuote(archive) + " " + ShellQuote(dir / "gone/*.txt"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Output, "qmzip: no such folder: " + dir / "gone/\n");
    r = Qmzip("-q " + ShellQuote(archive) + " " + ShellQuote(dir / "src/*.doc"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Output, "qmzip: nothing to back up\n");
    EXPECT_FALSE(Exists(archive));
    EXPECT_TRUE(TempFiles(dir.Path()).empty());

    ASSERT_EQ(Qmzip("-q " + ShellQuote(archive) + " " + ShellQuote(dir / "src")).Status, 0);
    const std::string before = test::ReadWholeFile(archive);
    struct stat was {};
    ASSERT_EQ(::stat(archive.c_str(), &was), 0);
    r = Qmzip("-q " + ShellQuote(archive) + " " + ShellQuote(dir / "src/*.doc"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Output, "qmzip: nothing to back up\n");
    struct stat now {};
    ASSERT_EQ(::stat(archive.c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, was.st_ino) << "the archive was replaced";
    EXPECT_EQ(test::ReadWholeFile(archive), before);
    r = Qmzip("-q -a freshen " + ShellQuote(archive) + " " + ShellQuote(dir / "src/*.doc"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(test::ReadWholeFile(archive), before);
}

// Starts qmzip on a large sparse file and returns its pid once the temporary file of the new
// archive has appeared and holds data (no fixed waits: the condition is polled).
pid_t StartLongCreate(const TestDir& Dir, const std::string& Archive) {
    Dir.Folder("src");
    const std::string big = Dir.File("src/big.bin");
    if (::truncate(big.c_str(), int64_t{3} << 30) != 0) return -1;
    std::vector<std::string> args{kQmzip, "-q", "-1", Archive, big};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, kQmzip.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const std::string& temp : TempFiles(Dir.Path())) {
            struct stat st {};
            if (::stat(temp.c_str(), &st) == 0 && st.st_size > 0) return pid;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

int Stop(pid_t Pid, int Signal) {
    ::kill(Pid, Signal);
    int status = 0;
    ::waitpid(Pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(QmzipStatus, InterruptedCreatesNeverLeaveAPartialArchive) {
    TestDir dir;
    const std::string archive = dir / "big.zip";
    dir.File("small.txt", "small\n");

    pid_t pid = StartLongCreate(dir, archive);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(Stop(pid, SIGHUP), 130);
    EXPECT_FALSE(Exists(archive));
    EXPECT_TRUE(TempFiles(dir.Path()).empty()) << "a cancelled run removes its temporary file";

    pid = StartLongCreate(dir, archive);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(Stop(pid, SIGKILL), 128 + SIGKILL);
    EXPECT_FALSE(Exists(archive)) << "the final name must never hold a partial archive";
    EXPECT_FALSE(TempFiles(dir.Path()).empty()) << "a killed run cannot clean up";
    // The next run succeeds, and removes the leftover of the killed one, which nobody holds.
    test::CommandResult r =
        Qmzip("-q " + ShellQuote(archive) + " " + ShellQuote(dir / "small.txt"));
    EXPECT_EQ(r.Status, 0) << r.Output;
    EXPECT_EQ(test::CheckArchive(archive, {{"small.txt", dir / "small.txt"}}), "");
    EXPECT_TRUE(TempFiles(dir.Path()).empty());
}

TEST(QmzipStatus, OneRunPerArchive) {
    TestDir dir;
    const std::string archive = dir / "big.zip";
    const std::string small = dir.File("small.txt", "small\n");
    ASSERT_EQ(Qmzip("-q " + ShellQuote(archive) + " " + ShellQuote(small)).Status, 0);
    const std::string before = test::ReadWholeFile(archive);

    // An update under way; a second one at the same time would drop the first one's entries.
    const pid_t pid = StartLongCreate(dir, archive);
    ASSERT_GT(pid, 0);
    const auto temps = TempFiles(dir.Path());
    dir.File("other.txt", "other\n");
    test::CommandResult r =
        Qmzip("-q " + ShellQuote(archive) + " " + ShellQuote(dir / "other.txt"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Output, "qmzip: " + archive + ": in use by another run\n");
    // The running one's temporary archive is held, so nobody takes it for a leftover.
    EXPECT_EQ(TempFiles(dir.Path()), temps);
    EXPECT_EQ(Stop(pid, SIGTERM), 130);
    EXPECT_EQ(test::ReadWholeFile(archive), before);
    // Both gone: the archive is free again.
    EXPECT_EQ(Qmzip("-q " + ShellQuote(archive) + " " + ShellQuote(dir / "other.txt")).Status, 0);
    EXPECT_EQ(test::ArchiveNames(archive), (std::vector<std::string>{"small.txt", "other.txt"}));
}

TEST(QmzipStatus, TheTemporaryFileIsNeverArchivedEvenInsideTheTree) {
    TestDir dir;
    dir.File("src/a.txt", "a\n");
    dir.File("src/sub/b.txt", "b\n");
    // The archive lies inside the tree it backs up, so its temporary file does too.
    const std::string archive = dir / "src/sub/self.zip";
    test::CommandResult r =
        Qmzip("-q -r -C " + ShellQuote(dir / "src") + " " + ShellQuote(archive) + " '*'");
    EXPECT_EQ(r.Status, 0) << r.Output;
    EXPECT_EQ(test::ArchiveNames(archive), (std::vector<std::string>{"a.txt", "sub/b.txt"}));
    EXPECT_TRUE(TempFiles(dir / "src/sub").empty());
}

TEST(QmzipStatus, NamesThatAreNotUtf8AreStoredAsTheirBytesWithoutTheFlag) {
    TestDir dir;
    const std::string bad = "caf\xe9-\xff.txt";  // Latin-1 bytes: not UTF-8
    dir.File("src/" + bad, "latin\n");
    dir.File("src/caf\xc3\xa9.txt", "utf8\n");
    const std::string archive = dir / "names.zip";
    test::CommandResult r =
        Qmzip("-q -C " + ShellQuote(dir / "src") + " " + ShellQuote(archive) + " '*'");
    ASSERT_EQ(r.Status, 0) << r.Output;
    // python: the archive opens, the raw name has no bit 11, the UTF-8 one has it.
    test::CommandResult py = Python(
        "import sys,zipfile\n"
        "z=zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "for i in z.infolist():\n"
        "    raw = i.filename.encode('cp437') if not i.flag_bits & 0x800 else i.filename.encode()\n"
        "    print(raw.hex(), i.flag_bits & 0x800, z.read(i).decode().strip())\n",
        archive);
    EXPECT_EQ(py.Status, 0) << py.Output;
    EXPECT_TRUE(Contains(py.Output, "636166e92dff2e747874 0 latin\n")) << py.Output;
    EXPECT_TRUE(Contains(py.Output, "636166c3a92e747874 2048 utf8\n")) << py.Output;
    for (const char* tool : {"unzip", "7z"}) {
        if (!test::ToolAvailable(tool)) {
            std::printf("[  SKIPPED ] %s is not installed\n", tool);
            continue;
        }
        test::CommandResult t =
            RunCommand(std::string(tool) == "unzip" ? "unzip -tq " + ShellQuote(archive)
                                                    : "7z t " + ShellQuote(archive));
        EXPECT_EQ(t.Status, 0) << tool << ": " << t.Output;
    }
    // An update recognises the raw name: nothing is added twice.
    r = Qmzip("-q -a replace -C " + ShellQuote(dir / "src") + " " + ShellQuote(archive) + " '*'");
    ASSERT_EQ(r.Status, 0) << r.Output;
    EXPECT_EQ(test::ArchiveNames(archive).size(), 2u);
}

// Every reader available must accept the archive and see Count entries.
void CheckWithEveryReader(const std::string& Archive, size_t Count) {
    test::CommandResult py = Python(
        "import sys,zipfile\n"
        "z=zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "print(len(z.infolist()))\n",
        Archive);
    EXPECT_EQ(py.Output, std::to_string(Count) + "\n");
    if (test::ToolAvailable("unzip")) {
        test::CommandResult r = RunCommand("unzip -tq " + ShellQuote(Archive));
        EXPECT_EQ(r.Status, 0) << r.Output.substr(0, 2000);
    } else {
        std::printf("[  SKIPPED ] unzip is not installed\n");
    }
    if (test::ToolAvailable("7z")) {
        test::CommandResult r = RunCommand("7z t " + ShellQuote(Archive) + " | tail -8");
        EXPECT_EQ(r.Status, 0) << r.Output;
        EXPECT_TRUE(Contains(r.Output, "Everything is Ok")) << r.Output;
    } else {
        std::printf("[  SKIPPED ] 7z is not installed\n");
    }
    if (test::ToolAvailable("bsdtar")) {
        test::CommandResult r = RunCommand("bsdtar -tf " + ShellQuote(Archive) + " | wc -l");
        EXPECT_EQ(r.Output, std::to_string(Count) + "\n");
    } else {
        std::printf("[  SKIPPED ] bsdtar is not installed\n");
    }
}

// More entries than 16 bits count: the Zip64 end records carry the number.
// Labelled long: creating 70,000 files and running four readers over them twice takes a while.
TEST(QmzipStatusLong, SeventyThousandFilesAreCreatedAndUpdated) {
    TestDir dir;
    const std::string src = dir.Folder("src");
    for (int f = 0; f < 70; ++f) {
        const std::string folder = src + "/d" + std::to_string(f);
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        for (int i = 0; i < 1000; ++i) {
            const std::string name = folder + "/f" + std::to_string(i);
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
    }
    const std::string archive = dir / "many.zip";
    test::CommandResult r =
        Qmzip("-q -r -C " + ShellQuote(src) + " " + ShellQuote(archive) + " '*'");
    ASSERT_EQ(r.Status, 0) << r.Output;
    EXPECT_EQ(r.Output, "70000 files added\n");
    CheckWithEveryReader(archive, 70000);

    // New files and a newer one: the update reads the 70,000 entries and writes them again.
    dir.File("src/d3/new.txt", "new\n");
    dir.File("src/zz/other.txt", "other\n");
    const std::string changed = dir.File("src/d69/f999", "now with content\n");
    struct timespec later[2] = {{0, UTIME_OMIT}, {std::time(nullptr) + 100, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, changed.c_str(), later, 0), 0);
    r = Qmzip("-q -r -C " + ShellQuote(src) + " " + ShellQuote(archive) + " '*'");
    ASSERT_EQ(r.Status, 0) << r.Output;
    EXPECT_EQ(r.Output, "3 files added\n");
    CheckWithEveryReader(archive, 70002);
    test::CommandResult content = Python(
        "import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
        "sys.stdout.write(z.read('d69/f999').decode())",
        archive);
    EXPECT_EQ(content.Output, "now with content\n");
}

TEST(QmzipStatus, ReaderErrorsNameTheArchive) {
    TestDir dir;
    const std::string archive = dir.File("broken.zip", std::string(100, 'x'));
    dir.File("a.txt", "a\n");
    test::CommandResult r = Qmzip("-q " + ShellQuote(archive) + " " + ShellQuote(dir / "a.txt"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Output, "qmzip: " + archive + ": Incomplete Zip File\n");
}

TEST(QmzipStatus, HelpDocumentsTheExitStatuses) {
    test::CommandResult r = Qmzip("--help");
    EXPECT_EQ(r.Status, 0);
    for (const char* line :
         {"  0    every file was stored\n", "  2    the archive was written",
          "  130  cancelled by SIGINT, SIGTERM or SIGHUP",
          "qmzip: skipped (cannot be read): PATH: REASON", "qmzip: changed while read: PATH"})
        EXPECT_TRUE(Contains(r.Output, line)) << line;
}

}  // namespace
}  // namespace qm
