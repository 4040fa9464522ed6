// Nothing left out in silence, at the writer: folders a walk cannot list and files it cannot
// reach come through OnSkippingFile with their reason; files that change while read come
// through OnFileChanged; OnFilesFound may abandon a run before anything is written; a new
// archive only ever appears complete; write errors keep their cause.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "WriterFixture.h"
#include "platform/FileStream.h"
#include "support/Unprivileged.h"
#include "zip/ZipErrors.h"

namespace qm {
namespace {

using test::ReadWholeFile;
using test::TestDir;

struct TSkip {
    TSkipReason Reason;
    std::string Name;
    std::string Why;
};

TEST(TZipWriterSkipReport, UnlistedFoldersAndUnreachableFilesAreReportedWithTheirReason) {
    TestDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    dir.File("src/ok.txt", "ok");
    const std::string secret = dir.File("src/secret.txt", "secret");
    dir.File("src/locked/inside.txt", "inside");
    dir.File("src/nox/hidden.txt", "hidden");
    ASSERT_EQ(::chmod((dir / "src").c_str(), 0777), 0);
    ASSERT_EQ(::chmod((dir / "src/ok.txt").c_str(), 0644), 0);
    ASSERT_EQ(::chmod(secret.c_str(), 0), 0);
    ASSERT_EQ(::chmod((dir / "src/locked").c_str(), 0), 0);
    const std::string out = dir.Folder("out");
    ASSERT_EQ(::chmod(out.c_str(), 0777), 0);
    // Named explicitly through a folder that cannot be searched: it cannot be reached.
    ASSERT_EQ(::chmod((dir / "src/nox").c_str(), 0644), 0);

    EXPECT_TRUE(test::RunUnprivileged([&] {
        TZipWriter w;
        test::ConfigureSubFolderBackUp(w, dir / "src/", out + "/a.zip");
        w.FilesList().push_back(dir / "src/nox/hidden.txt");
        std::vector<TSkip> skips;
        w.OnSkippingFile = [&](TZipWriter& Sender, TSkipReason Reason, const std::string& Name, int,
                               bool&) {
            skips.push_back({Reason, Name, Sender.SkippingReason()});
        };
        bool noSuchFile = false;
        w.OnNoSuchFile = [&](auto&&, const std::string&) { noSuchFile = true; };
        const int added = w.ZipFiles();
        bool ok = added == 1 && !noSuchFile && skips.size() == 4;
        auto has = [&](const std::string& Name) {
            for (const TSkip& s : skips)
                if (s.Reason == srFileOpenError && s.Name == Name && s.Why == "Permission denied")
                    return true;
            return false;
        };
        // A folder that can be read but not searched is as out of reach as one that cannot be read.
        ok = ok && has(dir / "src/locked/") && has(secret) && has(dir / "src/nox/") &&
             has(dir / "src/nox/hidden.txt");
        ok = ok && w.SkippingReason().empty();
        if (!ok) {
            std::fprintf(stderr, "added %d, no such file %d\n", added, noSuchFile);
            for (const TSkip& s : skips)
                std::fprintf(stderr, "skip %d %s: %s\n", s.Reason, s.Name.c_str(), s.Why.c_str());
        }
        return ok;
    }));
}

TEST(TZipWriterSkipReport, FilesChangingWhileReadAreStoredConsistentlyAndReported) {
    TestDir dir;
    const std::string grows = dir.File("src/grows.log", std::string(40000, 'g'));
    const std::string still = dir.File("src/still.txt", "still\n");
    TZipWriter w;
    test::ConfigureSubFolderBackUp(w, dir / "src/", dir / "a.zip");
    // The file is open by now: a writer appends before a byte of it is read.
    w.OnStartZip = [&](auto&&, const std::string& Name, auto&&, bool&) {
        if (Name != grows) return;
        const int fd = ::open(grows.c_str(), O_WRONLY | O_APPEND);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "tail\n", 5), 5);
        ::close(fd);
    };
    std::vector<std::string> changed;
    w.OnFileChanged = [&](auto&&, const std::string& Name) { changed.push_back(Name); };
    struct stat before {};
    ASSERT_EQ(::stat(grows.c_str(), &before), 0);
    EXPECT_EQ(w.ZipFiles(), 2);
    EXPECT_EQ(changed, std::vector<std::string>{grows});
    // What was stored is what the file held when it was opened, read no further: with the tail
    // taken off again, the file is what the archive must hold.
    ASSERT_EQ(::truncate(grows.c_str(), 40000), 0);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, grows.c_str(), times, 0), 0);
    EXPECT_EQ(test::CheckArchive(dir / "a.zip", {{"grows.log", grows}, {"still.txt", still}}), "");
}

TEST(TZipWriterSkipReport, AbandonedRunsWriteAndChangeNothing) {
    TestDir dir;
    dir.File("src/a.txt", "a");
    const std::string archive = dir / "a.zip";
    TZipWriter w;
    int seen = -1;
    w.OnFilesFound = [&](auto&&, int NumFiles, bool& Abandon) {
        seen = NumFiles;
        Abandon = true;
    };
    w.SetZipName(archive);
    w.FilesList() = {dir / "src/*.doc"};
    EXPECT_EQ(w.ZipFiles(), 0);
    EXPECT_EQ(seen, 0);
    EXPECT_FALSE(test::Exists(archive));
    EXPECT_TRUE(test::FilesWithPrefix(dir.Path(), "XQZ").empty());

    // Without a handler the writer keeps its behaviour: an empty archive is a valid result.
    TZipWriter plain;
    plain.SetZipName(archive);
    plain.FilesList() = {dir / "src/*.doc"};
    EXPECT_EQ(plain.ZipFiles(), 0);
    EXPECT_TRUE(test::Exists(archive));
}

TEST(TZipWriterSkipReport, ANewArchiveAppearsOnlyWhenComplete) {
    TestDir dir;
    dir.File("src/a.txt", test::TextBytes(20000));
    dir.File("src/b.txt", "b");
    const std::string archive = dir / "a.zip";
    TZipWriter w;
    test::ConfigureSubFolderBackUp(w, dir / "src/", archive);
    std::vector<bool> finalNameSeen;
    std::vector<size_t> tempsSeen;
    w.OnEndZip = [&](auto&&, auto&&, auto, auto, auto) {
        finalNameSeen.push_back(test::Exists(archive));
        tempsSeen.push_back(test::FilesWithPrefix(dir.Path(), "XQZ").size());
    };
    EXPECT_EQ(w.ZipFiles(), 2);
    EXPECT_EQ(finalNameSeen, (std::vector<bool>{false, false}));
    EXPECT_EQ(tempsSeen, (std::vector<size_t>{1, 1})) << "written beside its final name";
    EXPECT_TRUE(test::FilesWithPrefix(dir.Path(), "XQZ").empty());
    EXPECT_EQ(test::ArchiveNames(archive), (std::vector<std::string>{"a.txt", "b.txt"}));
}

// ---------------------------------------------------------------------------------------
// Write errors.

// A medium that fails with Error once Limit bytes are written.
class TFailingMedium : public TFileStream {
  public:
    TFailingMedium(const std::string& FileName, int64_t Limit, int Error)
        : TFileStream(FileName, fmCreate), FLimit(Limit), FError(Error) {}
    int32_t Write(const void* Buffer, int32_t Count) override {
        if (Position() + Count <= FLimit) return TFileStream::Write(Buffer, Count);
        FLastError = FError;
        return 0;
    }

  private:
    int64_t FLimit;
    int FError;
};

class TFailingWriter : public TZipWriter {
  public:
    TFailingWriter(int64_t Limit, int Error) : FLimit(Limit), FError(Error) {}

  protected:
    std::unique_ptr<TStream> CreateOutputFile(const std::string& FileName) override {
        return std::make_unique<TFailingMedium>(FileName, FLimit, FError);
    }

  private:
    int64_t FLimit;
    int FError;
};

std::string RunFailing(const TestDir& Dir, int Error, bool Update) {
    const std::string archive = Dir / "fail.zip";
    if (Update) {
        TZipWriter first;
        test::ConfigureSubFolderBackUp(first, Dir / "src/", archive);
        first.ZipFiles();
    } else {
        ::unlink(archive.c_str());
    }
    const std::string before = test::Exists(archive) ? ReadWholeFile(archive) : "";
    TFailingWriter w(100, Error);
    test::ConfigureSubFolderBackUp(w, Dir / "src/", archive);
    w.SetZipAction(zaReplace);
    std::string message = "no error";
    try {
        w.ZipFiles();
    } catch (const EZipError& e) {
        message = e.what();
    }
    const std::string after = test::Exists(archive) ? ReadWholeFile(archive) : "";
    if (after != before) message += " (the archive changed)";
    if (!test::FilesWithPrefix(Dir.Path(), "XQZ").empty()) message += " (a temporary file)";
    return message;
}

TEST(TZipWriterSkipReport, WriteErrorsKeepTheirCause) {
    TestDir dir;
    dir.File("src/a.txt", test::NoiseBytes(50000, 3));
    const std::string shown = "Cannot write \"" + dir / "fail.zip" + "\": ";
    for (bool update : {false, true}) {
        SCOPED_TRACE(update ? "update" : "create");
        EXPECT_EQ(RunFailing(dir, EIO, update), shown + "Input/output error");
        EXPECT_EQ(RunFailing(dir, EROFS, update), shown + "Read-only file system");
        for (int full : {ENOSPC, EDQUOT, EFBIG, 0})
            EXPECT_EQ(RunFailing(dir, full, update), "Not enough room to write archive") << full;
    }
}

}  // namespace
}  // namespace qm
