// Runs that end early: cancellation at every point where the writer honours it, media that
// take fewer bytes than written, and files a back-up must never read.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "WriterFixture.h"
#include "platform/FileStream.h"
#include "platform/UiHooks.h"
#include "support/ScriptedUiHooks.h"
#include "support/TmpfsMount.h"
#include "support/Unprivileged.h"
#include "zip/ZipErrors.h"
#include "zip/ZipWriter.h"
#include "zip/check/ArchiveCheck.h"

namespace qm {
namespace {

using test::Exists;
using test::ReadWholeFile;
using test::SourceTree;
using test::TestDir;

// Counts the message-processing calls of a run and requests a cancel at one of them.
struct TCancelAt {
    test::TScriptedUiHooks Hooks;
    TZipWriter* Writer = nullptr;
    int CancelAt = -1;
    TCancelAt() {
        Hooks.OnPump = [this] {
            if (Hooks.Pumps == CancelAt && Writer) Writer->RequestCancel();
        };
    }
};

// Sets up a sub-folder back-up of Tree into Archive with its temporary files in TempDir.
void Configure(TZipWriter& W, const SourceTree& Tree, const std::string& Archive,
               const std::string& TempDir) {
    test::ConfigureSubFolderBackUp(W, Tree.Root, Archive);
    W.SetTempPath(TempDir);
}

TEST(TZipWriterCancel, EveryCancelPointOfACreatingRunLeavesNoArchive) {
    TestDir dir;
    SourceTree tree(dir);
    const std::string temp = dir.Folder("tmp");
    const std::string archive = dir / "out.zip";
    TCancelAt hooks;
    int points = 0;
    {
        TZipWriter w;
        hooks.Writer = &w;
        Configure(w, tree, archive, temp);
        w.ZipFiles();
        points = hooks.Hooks.Pumps;
        ::unlink(archive.c_str());
    }
    ASSERT_GT(points, 8);
    for (int k = 1; k <= points; ++k) {
        TZipWriter w;
        hooks.Writer = &w;
        hooks.Hooks.Pumps = 0;
        hooks.CancelAt = k;
        Configure(w, tree, archive, temp);
        bool completed = false;
        w.OnZipComplete = [&](TZipWriter&, int) { completed = true; };
        try {
            w.ZipFiles();
            ADD_FAILURE() << "cancel at " << k << " not noticed";
        } catch (const EUserCanceled& e) {
            EXPECT_STREQ(e.what(), "User Aborted Operation");
        }
        EXPECT_EQ(hooks.Hooks.Pumps, k) << "the run goes on after the cancel it noticed";
        EXPECT_FALSE(completed);
        EXPECT_FALSE(Exists(archive)) << "cancel at " << k;
        EXPECT_TRUE(w.FilesList().empty());
        EXPECT_TRUE(test::FilesWithPrefix(temp, "XQZ").empty()) << "cancel at " << k;
    }
}

TEST(TZipWriterCancel, EveryCancelPointOfAnUpdateLeavesTheOldArchive) {
    TestDir dir;
    SourceTree tree(dir);
    const std::string temp = dir.Folder("tmp");
    const std::string archive = dir / "out.zip";
    {
        TZipWriter w;
        Configure(w, tree, archive, temp);
        w.ZipFiles();
    }
    const std::string before = ReadWholeFile(archive);
    // One file newer than its entry, one new file: the update rewrites and adds.
    test::SetMTime(tree.Root + "noise.bin", 1800000000);
    tree.Add("new/added.txt", test::TextBytes(20000));

    TCancelAt hooks;
    int points = 0;
    {
        TestDir copy;
        std::string probe = copy / "probe.zip";
        test::RunCommand("cp " + test::ShellQuote(archive) + " " + test::ShellQuote(probe));
        TZipWriter w;
        hooks.Writer = &w;
        Configure(w, tree, probe, temp);
        EXPECT_EQ(w.ZipFiles(), 2);
        points = hooks.Hooks.Pumps;
    }
    ASSERT_GT(points, 4);
    for (int k = 1; k <= points; ++k) {
        TZipWriter w;
        hooks.Writer = &w;
        hooks.Hooks.Pumps = 0;
        hooks.CancelAt = k;
        Configure(w, tree, archive, temp);
        EXPECT_THROW(w.ZipFiles(), EUserCanceled) << "cancel at " << k;
        EXPECT_EQ(ReadWholeFile(archive), before) << "cancel at " << k;
        EXPECT_TRUE(test::FilesWithPrefix(temp, "XQZ").empty()) << "cancel at " << k;
    }
}

TEST(TZipWriterCancel, RequestAfterTheLastBlockStopsTheNextRun) {
    TestDir dir;
    dir.File("src/a.txt", test::TextBytes(50000));
    TZipWriter w;
    w.SetZipName(dir / "a.zip");
    w.FilesList() = {dir.Path() + "/src/*"};
    w.OnZipComplete = [&](TZipWriter& Sender, int) { Sender.RequestCancel(); };
    EXPECT_EQ(w.ZipFiles(), 1);
    w.OnZipComplete = nullptr;
    w.SetZipName(dir / "b.zip");
    w.FilesList() = {dir.Path() + "/src/*"};
    EXPECT_THROW(w.ZipFiles(), EUserCanceled);
    EXPECT_FALSE(Exists(dir / "b.zip"));
}

TEST(TZipWriterCancel, WithoutMessageProcessingTheFlagIsNeverChecked) {
    TestDir dir;
    dir.File("src/a.txt", test::TextBytes(50000));
    TZipWriter w;
    w.SetZipName(dir / "a.zip");
    w.SetDoProcessMessages(false);
    w.FilesList() = {dir.Path() + "/src/*"};
    w.RequestCancel();
    EXPECT_EQ(w.ZipFiles(), 1);
}

TEST(TZipWriterCancel, StoredEmptyFilesGiveNoChanceToCancel) {
    TestDir dir;
    dir.File("src/a", "");
    dir.File("src/b", "");
    TZipWriter w;
    w.SetZipName(dir / "a.zip");
    w.SetPackLevel(0);
    w.FilesList() = {dir.Path() + "/src/*"};
    w.RequestCancel();
    EXPECT_EQ(w.ZipFiles(), 2);
}

// ---------------------------------------------------------------------------------------
// Media that fill up.

// A file on a medium that holds Limit bytes: writes beyond come back short.
class TSmallMedium : public TFileStream {
  public:
    TSmallMedium(const std::string& FileName, int64_t Limit)
        : TFileStream(FileName, fmCreate), FLimit(Limit) {}
    int32_t Write(const void* Buffer, int32_t Count) override {
        int64_t room = FLimit - Position();
        int32_t n = static_cast<int32_t>(std::max<int64_t>(0, std::min<int64_t>(Count, room)));
        return n > 0 ? TFileStream::Write(Buffer, n) : 0;
    }

  private:
    int64_t FLimit;
};

class TSmallMediumWriter : public TZipWriter {
  public:
    explicit TSmallMediumWriter(int64_t Limit) : FLimit(Limit) {}

  protected:
    std::unique_ptr<TStream> CreateOutputFile(const std::string& FileName) override {
        return std::make_unique<TSmallMedium>(FileName, FLimit);
    }

  private:
    int64_t FLimit;
};

TEST(TZipWriterRoom, ShortWritesEndTheRunWithoutOutput) {
    TestDir dir;
    SourceTree tree(dir);
    const std::string temp = dir.Folder("tmp");
    const std::string archive = dir / "out.zip";
    int64_t full = 0;
    {
        TZipWriter w;
        Configure(w, tree, archive, temp);
        w.ZipFiles();
        full = static_cast<int64_t>(ReadWholeFile(archive).size());
        ::unlink(archive.c_str());
    }
    for (int64_t limit :
         {int64_t{0}, int64_t{1}, int64_t{29}, int64_t{30}, int64_t{4000}, int64_t{8191},
          int64_t{8192}, int64_t{8193}, int64_t{60000}, full - 100, full - 23, full - 1}) {
        TSmallMediumWriter w(limit);
        Configure(w, tree, archive, temp);
        bool completed = false;
        w.OnZipComplete = [&](TZipWriter&, int) { completed = true; };
        try {
            w.ZipFiles();
            ADD_FAILURE() << "limit " << limit << ": run reported success";
        } catch (const ENotEnoughRoom& e) {
            EXPECT_STREQ(e.what(), "Not enough room to write archive");
        }
        EXPECT_FALSE(completed);
        EXPECT_FALSE(Exists(archive)) << "limit " << limit;
    }
    TSmallMediumWriter roomy(full);
    Configure(roomy, tree, archive, temp);
    EXPECT_EQ(roomy.ZipFiles(), 9) << "an archive that just fits is written";
}

TEST(TZipWriterRoom, ShortWritesInAnUpdateLeaveTheOldArchive) {
    TestDir dir;
    SourceTree tree(dir);
    const std::string temp = dir.Folder("tmp");
    const std::string archive = dir / "out.zip";
    {
        TZipWriter w;
        Configure(w, tree, archive, temp);
        w.ZipFiles();
    }
    const std::string before = ReadWholeFile(archive);
    tree.Add("more.txt", test::TextBytes(40000));
    for (int64_t limit :
         {int64_t{0}, int64_t{100}, int64_t{9000}, static_cast<int64_t>(before.size()) + 10}) {
        TSmallMediumWriter w(limit);
        Configure(w, tree, archive, temp);
        w.SetZipAction(zaReplace);
        EXPECT_THROW(w.ZipFiles(), ENotEnoughRoom) << "limit " << limit;
        EXPECT_EQ(ReadWholeFile(archive), before);
        EXPECT_TRUE(test::FilesWithPrefix(temp, "XQZ").empty());
    }
}

TEST(TZipWriterRoom, FullFileSystemForReal) {
    TestDir dir;
    SourceTree tree(dir);
    const std::string mnt = dir.Folder("mnt");
    test::TTmpfsMount mount(mnt, "64k");
    if (!mount.Mounted()) GTEST_SKIP() << mount.Why();
    const std::string archive = mnt + "/out.zip";
    TZipWriter w;
    Configure(w, tree, archive, dir.Folder("tmp"));
    w.SetPackLevel(0);  // 100 KB of data on a 64 KB file system
    EXPECT_THROW(w.ZipFiles(), ENotEnoughRoom);
    EXPECT_FALSE(Exists(archive));

    // An update whose new archive does not fit leaves the old one as it was.
    TZipWriter small;
    small.SetZipName(archive);
    small.FilesList() = {tree.Root + "with space.txt"};
    EXPECT_EQ(small.ZipFiles(), 1);
    const std::string before = ReadWholeFile(archive);
    TZipWriter big;
    Configure(big, tree, archive, mnt);  // temporary file on the full file system too
    big.SetPackLevel(0);
    EXPECT_THROW(big.ZipFiles(), ENotEnoughRoom);
    EXPECT_EQ(ReadWholeFile(archive), before);
    EXPECT_TRUE(test::FilesWithPrefix(mnt, "XQZ").empty());

    // The new archive is complete in a temporary folder on another file system, but the copy
    // next to the old archive does not fit: the old archive stays, no temporary file is left.
    TZipWriter across;
    Configure(across, tree, archive, dir / "tmp");
    across.SetPackLevel(0);
    EXPECT_THROW(across.ZipFiles(), ENotEnoughRoom);
    EXPECT_EQ(ReadWholeFile(archive), before);
    EXPECT_TRUE(test::FilesWithPrefix(mnt, "XQZ").empty());
    EXPECT_TRUE(test::FilesWithPrefix(dir / "tmp", "XQZ").empty());
}

// ---------------------------------------------------------------------------------------
// The check of every new archive: one changed byte anywhere fails the run, and the previous
// back-up stays as it was.

TEST(TZipWriterCheck, ADamagedArchiveFailsItsCheckAndKeepsThePreviousBackUp) {
    TestDir dir;
    SourceTree tree(dir);
    const std::string archive = dir / "b.zip";
    // Where the byte is changed: counted from the start of the output (negative: from its end).
    const struct {
        const char* Where;
        int64_t At;
        const char* Reason;
    } cases[] = {
        {"a local header's name", 30 + 2, "alpha.txt: the local header holds another name"},
        {"deflated data", 100, "alpha.txt: "},
        {"stored data", -4000, ".bin: CRC-32 does not match"},
        {"a central record's time", -25, "the local header disagrees with the central directory"},
        {"the end record's entry count", -22 + 10, "the end record's entry counts disagree"},
    };
    // The previous back-up: a good archive of part of the tree.
    TZipWriter first;
    first.SetZipName(archive);
    first.FilesList() = {tree.Root + "alpha.txt"};
    ASSERT_EQ(first.ZipFiles(), 1);
    const std::string previousBytes = ReadWholeFile(archive);
    for (const bool previous : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.Where) + (previous ? ", over a previous back-up" : ""));
            ::unlink(archive.c_str());
            if (previous) dir.File("b.zip", previousBytes);
            TZipWriter w;
            test::ConfigureSubFolderBackUp(w, tree.Root, archive);
            w.SetZipAction(zaReplace);
            w.NoCompressList() = {"*.bin"};
            w.OnOutputClosedForTest = [&](const std::string& Output) {
                TFileStream f(Output, fmOpenReadWrite);
                const int64_t at = c.At >= 0 ? c.At : f.Size() + c.At;
                unsigned char byte = 0;
                f.Seek(at, soBeginning);
                ASSERT_EQ(f.Read(&byte, 1), 1);
                byte ^= 0x20;
                f.Seek(at, soBeginning);
                ASSERT_EQ(f.Write(&byte, 1), 1);
            };
            std::string message;
            try {
                w.ZipFiles();
            } catch (const EZipError& e) {
                message = e.what();
            }
            EXPECT_EQ(message.rfind("Back-up check failed: " + archive + ": ", 0), 0u) << message;
            EXPECT_NE(message.find(c.Reason), std::string::npos) << message;
            if (previous)
                EXPECT_TRUE(ReadWholeFile(archive) == previousBytes);
            else
                EXPECT_FALSE(Exists(archive));
            EXPECT_TRUE(test::FilesWithPrefix(dir.Path(), "XQZ").empty());
        }
    }
    // Unchecked, the damage would have become the back-up.
    TZipWriter unchecked;
    test::ConfigureSubFolderBackUp(unchecked, tree.Root, archive);
    unchecked.SetZipAction(zaReplace);
    unchecked.SetCheckArchive(false);
    unchecked.OnOutputClosedForTest = [](const std::string& Output) {
        TFileStream f(Output, fmOpenReadWrite);
        f.Seek(2000, soBeginning);
        const unsigned char byte = 0xA5;
        ASSERT_EQ(f.Write(&byte, 1), 1);
    };
    EXPECT_EQ(unchecked.ZipFiles(), 9);
    EXPECT_NE(CheckArchiveFile(archive), "");
    // With a second fault further on, every thread count names the first one, as one thread does.
    {
        TFileStream f(archive, fmOpenReadWrite);
        f.Seek(f.Size() - 4000, soBeginning);
        const unsigned char byte = 0x5A;
        ASSERT_EQ(f.Write(&byte, 1), 1);
    }
    const std::string oneThread = CheckArchiveFile(archive, 1);
    for (int threads : {2, 3, 8})
        EXPECT_EQ(CheckArchiveFile(archive, threads), oneThread) << threads;
}

// ---------------------------------------------------------------------------------------
// Files a back-up must not read.

TEST(TZipWriterSpecialFiles, FifosSocketsDevicesAndLinksNeverHang) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    const std::string src = dir.Folder("src");
    std::string plain = dir.File("src/plain.txt", "plain");
    ASSERT_EQ(::mkfifo((src + "/fifo").c_str(), 0644), 0);
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string sockPath = src + "/sock";
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, sockPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::symlink("/dev/zero", (src + "/zero").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (src + "/dangling").c_str()), 0);
    ASSERT_EQ(::symlink(".", (src + "/loop").c_str()), 0);
    ASSERT_EQ(::symlink("plain.txt", (src + "/tolink.txt").c_str()), 0);

    TZipWriter w;
    test::ConfigureSubFolderBackUp(w, src + "/", dir / "s.zip");
    w.FilesList().push_back(src + "/fifo");  // named explicitly as well
    std::vector<std::string> skipped, notRegular;
    w.OnSkippingFile = [&](auto&&, TSkipReason, const std::string& Name, int, bool&) {
        skipped.push_back(Name);
    };
    w.OnNotRegularFile = [&](auto&&, const std::string& Name) {
        notRegular.push_back(Name.substr(Name.rfind('/') + 1));
    };
    // Special files are never opened and only reported; links are stored as links, never
    // followed (the link to /dev/zero holds "/dev/zero", not endless zeros).
    EXPECT_EQ(w.ZipFiles(), 5);
    ::close(sock);
    EXPECT_EQ(skipped, std::vector<std::string>{});
    EXPECT_EQ(notRegular, (std::vector<std::string>{"fifo", "fifo", "sock"}));
    EXPECT_EQ(test::ArchiveNames(dir / "s.zip"),
              (std::vector<std::string>{"dangling", "loop", "plain.txt", "tolink.txt", "zero"}));
    const test::CommandResult data = test::RunCommand(
        "python3 -c 'import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\n"
        "print([z.read(n) for n in (\"dangling\", \"loop\", \"tolink.txt\", \"zero\")])' " +
        test::ShellQuote(dir / "s.zip"));
    EXPECT_EQ(data.Output, "[b'nowhere', b'.', b'plain.txt', b'/dev/zero']\n");
    EXPECT_EQ(test::RunCommand("unzip -tq " + test::ShellQuote(dir / "s.zip")).Status, 0);
    (void)plain;
}

TEST(TZipWriterSpecialFiles, RetryAnswerRepeatsTheOpen) {
    TestDir dir;
    const std::string src = dir.Folder("src");
    const std::string locked = dir.File("src/locked.txt", "x");
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(src.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    EXPECT_TRUE(test::RunUnprivileged([&] {
        TZipWriter w;
        w.SetZipName(src + "/r.zip");
        w.FilesList() = {locked};
        int calls = 0;
        bool kept = true;
        w.OnSkippingFile = [&](auto&&, TSkipReason, const std::string&, int, bool& Retry) {
            kept = kept && Retry == (calls > 0);  // Retry keeps the handler's last answer
            Retry = ++calls < 3;
        };
        return w.ZipFiles() == 0 && calls == 3 && kept;
    }));
}

}  // namespace
}  // namespace qm
