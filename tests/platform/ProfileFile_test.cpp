#include "platform/ProfileFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "support/TestDir.h"
#include "support/Unprivileged.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::TestDir;

std::vector<std::string> FolderEntries(const std::string& Folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(TProfileFile, MissingFileSectionOrKeyGiveTheDefault) {
    TestDir dir;
    TProfileFile missing(dir / "none/QMApps.ini");
    EXPECT_EQ(missing.ReadString("S", "K", "def"), "def");
    EXPECT_EQ(missing.ReadInteger("S", "K", 7), 7);
    TProfileFile ini(dir.File("QMApps.ini", "[S]\nEmpty=\nText=x\n"));
    EXPECT_EQ(ini.ReadString("S", "Empty", "def"), "");
    EXPECT_EQ(ini.ReadInteger("S", "Empty", 5), 5);
    EXPECT_EQ(ini.ReadBool("S", "Empty", true), true);
    EXPECT_EQ(ini.ReadString("T", "Text", "def"), "def");
    // A folder where the file should be reads like a missing file.
    EXPECT_EQ(TProfileFile(dir.Path()).ReadString("S", "K", "d"), "d");
}

TEST(TProfileFile, IntegersAndYesNo) {
    TestDir dir;
    TProfileFile ini(dir.File("QMApps.ini",
                              "[W]\nLeft=0x20\nTop=abc\nA=$ff\nB=-12\nC=0X\nD=$\nE=0xFFFFFFFF\n"
                              "F=2147483648\nG=-2147483648\nH=12a\nI=0x1G\nJ=+5\n"
                              "[L]\nInclSubFolders=yes\nOn=2\nOff=0\nHexOn=$1\n"));
    EXPECT_EQ(ini.ReadInteger("W", "Left", 192), 32);
    EXPECT_EQ(ini.ReadInteger("W", "Top", 103), 103);
    EXPECT_EQ(ini.ReadInteger("W", "A", 0), 255);
    EXPECT_EQ(ini.ReadInteger("W", "B", 0), -12);
    EXPECT_EQ(ini.ReadInteger("W", "C", 9), 9);
    EXPECT_EQ(ini.ReadInteger("W", "D", 9), 9);
    EXPECT_EQ(ini.ReadInteger("W", "E", 9), -1);
    EXPECT_EQ(ini.ReadInteger("W", "F", 9), 9);
    EXPECT_EQ(ini.ReadInteger("W", "G", 9), -2147483647 - 1);
    EXPECT_EQ(ini.ReadInteger("W", "H", 9), 9);
    EXPECT_EQ(ini.ReadInteger("W", "I", 9), 9);
    EXPECT_EQ(ini.ReadInteger("W", "J", 9), 9);
    EXPECT_FALSE(ini.ReadBool("L", "InclSubFolders", false));
    EXPECT_TRUE(ini.ReadBool("L", "InclSubFolders", true));
    EXPECT_TRUE(ini.ReadBool("L", "On", false));
    EXPECT_FALSE(ini.ReadBool("L", "Off", true));
    EXPECT_TRUE(ini.ReadBool("L", "HexOn", false));
}

TEST(TProfileFile, LongValuesAreReadWhole) {
    TestDir dir;
    TProfileFile ini(dir / "QMApps.ini");
    // A file types list of 310 masks: a cut one would back up the wrong files.
    std::string masks;
    for (int i = 0; masks.size() < 3000; ++i) masks += "*.e" + std::to_string(i) + ";";
    ini.WriteString("S", "Item1", masks);
    EXPECT_EQ(ini.ReadString("S", "Item1", ""), masks);
    const std::string accented = std::string(2046, 'a') + "\xc3\xa9" + "zz";
    ini.WriteString("S", "Item2", accented);
    EXPECT_EQ(ini.ReadString("S", "Item2", ""), accented);
}

TEST(TProfileFile, WritesKeepOtherSectionsByteForByte) {
    TestDir dir;
    const std::string foreign =
        "; other programs\r\n[Other]\r\nx = 1 ; c\r\n\r\n[Quillmate Old]\nkeep=me\n";
    std::string path = dir.File("QMApps.ini", foreign + "[Quillmate Window]\nLeft=1\nTop=2\n");
    TProfileFile ini(path);
    ini.EraseSection("quillmate window");
    ini.WriteInteger("Quillmate Window", "Left", 192);
    ini.WriteInteger("Quillmate Window", "Top", 103);
    ini.WriteBool("Quillmate Last", "InclSubFolders", true);
    ini.WriteString("Quillmate Last", "BackUpFile", "/b/My.zip");
    EXPECT_EQ(ReadWholeFile(path),
              foreign +
                  "[Quillmate Window]\nLeft=192\nTop=103\n"
                  "[Quillmate Last]\nInclSubFolders=1\nBackUpFile=/b/My.zip\n");
    ini.ReplaceSection("Quillmate Window", {{"Left", "5"}, {"Top", "6"}});
    EXPECT_EQ(ReadWholeFile(path), foreign +
                                       "[Quillmate Last]\nInclSubFolders=1\nBackUpFile=/b/My.zip\n"
                                       "[Quillmate Window]\nLeft=5\nTop=6\n");
}

TEST(TProfileFile, WrittenValuesReadBackUnchanged) {
    TestDir dir;
    TProfileFile ini(dir / "sub/dir/QMApps.ini");  // the folders are created
    const std::string values[] = {"",
                                  "a = b",
                                  "\"Ms. Office\",\"*.doc; *.txt\"",
                                  "; x",
                                  "[x]",
                                  "\xc3\xa9t\xc3\xa9",
                                  "tab\tinside",
                                  "=start"};
    int n = 0;
    for (const std::string& v : values) {
        std::string key = "K" + std::to_string(n++);
        ini.WriteString("S", key, v);
        EXPECT_EQ(ini.ReadString("S", key, "<default>"), v);
    }
    // Surrounding spaces are never part of a value.
    ini.WriteString("S", "Spaces", "  x  ");
    EXPECT_EQ(ini.ReadString("S", "Spaces", ""), "x");
}

TEST(TProfileFile, LineBreaksAreRefusedWithoutTouchingTheFile) {
    TestDir dir;
    std::string path = dir.File("QMApps.ini", "[S]\nK=old\n");
    TProfileFile ini(path);
    for (const std::string& bad : {std::string("a\nInjected=1"), std::string("a\r")}) {
        try {
            ini.WriteString("S", "K", bad);
            ADD_FAILURE() << "no error";
        } catch (const EIniFileException& e) {
            EXPECT_EQ(e.Message(), "Unable to write to " + path);
        }
    }
    EXPECT_THROW(ini.WriteString("S", "a=b", "x"), EIniFileException);
    EXPECT_THROW(ini.WriteString("S]", "k", "x"), EIniFileException);
    EXPECT_THROW(ini.ReplaceSection("S", {{"K", "ok"}, {"L", "x\ny"}}), EIniFileException);
    EXPECT_EQ(ReadWholeFile(path), "[S]\nK=old\n");
}

TEST(TProfileFile, RefusedWriteNamesTheFullPath) {
    TestDir dir;
    dir.File("plain", "not a folder");
    TProfileFile ini(dir / "plain/QMApps.ini");
    try {
        ini.WriteString("S", "K", "v");
        ADD_FAILURE() << "no error";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + dir.Path() + "/plain/QMApps.ini");
    }
    // A relative name is reported with its full path.
    std::string cwd = fs::current_path();
    fs::current_path(dir.Path());
    try {
        TProfileFile("plain/x.ini").WriteString("S", "K", "v");
        ADD_FAILURE() << "no error";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.Message(),
                  "Unable to write to " + fs::current_path().string() + "/plain/x.ini");
    }
    fs::current_path(cwd);
}

TEST(TProfileFile, ReplacesTheFileAtomically) {
    TestDir dir;
    std::string path = dir.File("QMApps.ini", "[S]\nK=old\n");
    ::chmod(path.c_str(), 0640);
    std::string link = dir / "hardlink";
    ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
    TProfileFile(path).WriteString("S", "K", "new");
    // The old file was not rewritten in place: its other name still shows it whole.
    EXPECT_EQ(ReadWholeFile(link), "[S]\nK=old\n");
    EXPECT_EQ(ReadWholeFile(path), "[S]\nK=new\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"QMApps.ini", "hardlink"}));
}

// A new settings file gets 0666 less the umask, and writing it leaves the umask as it was.
TEST(TProfileFile, NewFileFollowsTheUmaskWithoutChangingIt) {
    TestDir dir;
    const mode_t saved = ::umask(022);
    for (mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
        ::umask(mask);
        const std::string path = dir / ("new" + std::to_string(mask) + ".ini");
        TProfileFile(path).WriteString("S", "K", "v");
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask) << "umask " << mask;
        EXPECT_EQ(::umask(mask), mask) << "the umask was left as it was";
    }
    ::umask(saved);
}

TEST(TProfileFile, FullDiskLeavesTheOldFile) {
    TestDir dir;
    const std::string old = "[Other]\nx=1\n[S]\nK=old\n";
    std::string path = dir.File("QMApps.ini", old);
    // A file size limit makes the write of the new file fail part-way, as a full disk would.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool refused = false;
    try {
        TProfileFile(path).WriteString("S", "K", std::string(10000, 'v'));
    } catch (const EIniFileException&) {
        refused = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);
    EXPECT_TRUE(refused);
    EXPECT_EQ(ReadWholeFile(path), old);
    EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"QMApps.ini"}));
}

TEST(TProfileFile, WritesThroughASymbolicLink) {
    TestDir dir;
    std::string real = dir.File("real/QMApps.ini", "[S]\nK=old\n");
    std::string link = dir / "QMApps.ini";
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    TProfileFile(link).WriteString("S", "K", "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(real), "[S]\nK=new\n");
}

TEST(TProfileFile, AFileThatCannotBeReadIsNeverOverwritten) {
    TestDir dir;
    const std::string old = "[Other]\nx=1\n[S]\nK=old\n";
    std::string path = dir.File("QMApps.ini", old);
    // The folder is open to anyone, the file readable by no one but root (mode 0000, so that
    // it is unreadable to its owner too when the tests do not run as root): a writer that took
    // the unreadable file for a missing one would replace it with its own section.
    ::chmod(dir.Path().c_str(), 0777);
    ::chmod(path.c_str(), 0000);
    EXPECT_TRUE(test::RunUnprivileged([&] {
        TProfileFile ini(path);
        if (ini.ReadString("S", "K", "def") != "def") return false;
        int refused = 0;
        auto attempt = [&](auto Write) {
            try {
                Write();
            } catch (const EIniFileException&) {
                ++refused;
            }
        };
        attempt([&] { ini.WriteString("S", "K", "new"); });
        attempt([&] { ini.ReplaceSection("S", {{"K", "new"}}); });
        attempt([&] { ini.EraseSection("Other"); });
        return refused == 3;
    }));
    ::chmod(path.c_str(), 0600);
    EXPECT_EQ(ReadWholeFile(path), old);
    EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"QMApps.ini"}));
}

TEST(TProfileFile, AFifoInPlaceOfTheFileReadsAsMissingWithoutBlocking) {
    TestDir dir;
    std::string path = dir / "QMApps.ini";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    // In a child, so that a read that blocks on the FIFO ends the child instead of the run.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::alarm(10);
        TProfileFile ini(path);
        bool ok = ini.ReadString("S", "K", "def") == "def";
        try {
            ini.WriteString("S", "K", "v");
            ok = false;
        } catch (const EIniFileException&) {
        }
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_TRUE(fs::is_fifo(path));
}

TEST(TProfileFile, EraseOfNothingCreatesNoFile) {
    TestDir dir;
    TProfileFile ini(dir / "QMApps.ini");
    ini.EraseSection("S");
    ini.ReplaceSection("S", {});
    EXPECT_FALSE(fs::exists(dir / "QMApps.ini"));
}

}  // namespace
}  // namespace qm
