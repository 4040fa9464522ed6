// Files too large for the workers' memory are compressed ahead into spools beside the archive:
// the same archive and events as on one thread, and nothing left behind however the run ends.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "WriterFixture.h"
#include "platform/UiHooks.h"
#include "support/ThreadCount.h"
#include "support/TmpfsMount.h"
#include "zip/CompressAhead.h"
#include "zip/ZipErrors.h"
#include "zip/ZipWriter.h"

namespace qm {
namespace {

using test::ReadWholeFile;
using test::TestDir;

// Above what a worker may hold in memory: only a spool lets a worker take it.
const size_t kLarge = kCompressAheadFileLimit + 4096;

// Small files around two large ones, one that compresses well and one that does not.
void AddLargeFiles(test::SourceTree& Tree) {
    Tree.Add("l/a.txt", test::TextBytes(20000));
    Tree.Add("l/b.txt", test::TextBytes(kLarge));
    Tree.Add("l/c.bin", test::NoiseBytes(70000, 3));
    Tree.Add("l/d.bin", test::NoiseBytes(kLarge, 4));
    Tree.Add("l/e.txt", test::TextBytes(30000));
}

std::set<std::string> Entries(const std::string& Folder) {
    std::set<std::string> names;
    if (DIR* d = ::opendir(Folder.c_str())) {
        while (dirent* e = ::readdir(d)) names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

// Backs up Root with Threads threads at Level; the archive's bytes, and the events in Log.
std::string BackUp(const std::string& Root, const std::string& Archive, int Threads, int Level,
                   std::vector<std::string>* Log = nullptr, int* Ahead = nullptr,
                   const std::function<void(TZipWriter&)>& Configure = nullptr) {
    ::unlink(Archive.c_str());
    TZipWriter w;
    test::ConfigureSubFolderBackUp(w, Root, Archive);
    w.SetPackLevel(Level);
    w.SetThreads(Threads);
    if (Log) {
        w.OnEndZip = [Log](TZipWriter&, const std::string& Name, int64_t U, int64_t C, int64_t) {
            Log->push_back("end " + Name + " " + std::to_string(U) + " " + std::to_string(C));
        };
        w.OnFileChanged = [Log](TZipWriter&, const std::string& Name) {
            Log->push_back("changed " + Name);
        };
        w.OnFilePercentDone = [Log](TZipReader&, int Percent) {
            Log->push_back(std::to_string(Percent) + "%");
        };
    }
    if (Configure) Configure(w);
    w.ZipFiles();
    if (Ahead) *Ahead = w.FilesCompressedAhead();
    return ReadWholeFile(Archive);
}

TEST(TZipWriterSpool, LargeFilesGiveTheSameArchiveAndEventsOnEveryThreadCount) {
    TestDir dir;
    test::SourceTree tree(dir);
    AddLargeFiles(tree);
    for (int level : {1, 6, 9}) {
        std::vector<std::string> oneLog;
        const std::string one = BackUp(tree.Root, dir / "one.zip", 1, level, &oneLog);
        for (int threads : {2, 8}) {
            std::vector<std::string> log;
            int ahead = 0;
            const std::string many =
                BackUp(tree.Root, dir / "many.zip", threads, level, &log, &ahead);
            EXPECT_TRUE(one == many) << threads << " threads, level " << level;
            EXPECT_EQ(log, oneLog) << threads << " threads, level " << level;
            // Every file, the large ones too, came from a worker.
            EXPECT_EQ(ahead, static_cast<int>(test::ArchiveNames(dir / "many.zip").size()))
                << threads << " threads, level " << level;
        }
    }
    EXPECT_EQ(Entries(dir.Path()),
              (std::set<std::string>{".", "..", "src", "one.zip", "many.zip"}));
}

// A back-up that fits on its medium on one thread fits with spools too (a spool's room is given
// back as it is copied into the archive); one that does not fit fails as on one thread, and
// leaves nothing.
TEST(TZipWriterSpool, SpoolsNeedNoRoomBeyondTheArchives) {
    TestDir dir;
    test::SourceTree tree(dir);
    AddLargeFiles(tree);
    const std::string one = BackUp(tree.Root, dir / "one.zip", 1, 6);
    const std::string mnt = dir.Folder("mnt");
    const std::string archive = mnt + "/b.zip";
    struct TRow {
        const char* Name;
        size_t Room;
        bool Fits;
    };
    // The margin is far below the large files' spools: holding one of them twice does not fit.
    const TRow rows[] = {{"room for the archive", one.size() + (size_t{2} << 20), true},
                         {"room for half of it", one.size() / 2, false}};
    for (const TRow& row : rows) {
        test::TTmpfsMount mount(mnt, std::to_string(row.Room / 1024) + "k");
        if (!mount.Mounted()) GTEST_SKIP() << mount.Why();
        SCOPED_TRACE(row.Name);
        if (row.Fits) {
            EXPECT_TRUE(BackUp(tree.Root, archive, 2, 6) == one);
            EXPECT_EQ(Entries(mnt), (std::set<std::string>{".", "..", "b.zip"}));
        } else {
            EXPECT_THROW(BackUp(tree.Root, archive, 2, 6), ENotEnoughRoom);
            EXPECT_EQ(Entries(mnt), (std::set<std::string>{".", ".."}));
        }
    }
}

// Cancelled while the large file's spool is written or waits, and while it is copied into the
// archive: no archive, no file of any name beside it, no descriptor and no worker left.
TEST(TZipWriterSpool, ACancelWhileASpoolIsPendingLeavesNothing) {
    TestDir dir;
    test::SourceTree tree(dir);
    AddLargeFiles(tree);
    const std::string out = dir.Folder("out");
    const std::string archive = out + "/x.zip";
    struct THooks : TConsoleUiHooks {
        THooks() { SetUiHooks(this); }
        ~THooks() override { SetUiHooks(nullptr); }
        void ProcessMessages() override {
            if (++Calls == CancelAt && Writer) Writer->RequestCancel();
        }
        TZipWriter* Writer = nullptr;
        int Calls = 0;
        int CancelAt = -1;
    } hooks;
    BackUp(tree.Root, archive, 4, 6);
    const int points = hooks.Calls;
    ASSERT_GT(points, 100);
    ::unlink(archive.c_str());
    const int threadsBefore = test::ThreadsOfThisProcess();
    const size_t descriptorsBefore = Entries("/proc/self/fd").size();
    for (int k : {1, 2, 3, points / 4, points / 2, points - 2}) {
        hooks.Calls = 0;
        hooks.CancelAt = k;
        EXPECT_THROW(BackUp(tree.Root, archive, 4, 6, nullptr, nullptr,
                            [&](TZipWriter& W) { hooks.Writer = &W; }),
                     EUserCanceled)
            << "cancel at " << k;
        hooks.Writer = nullptr;
        EXPECT_EQ(Entries(out), (std::set<std::string>{".", ".."})) << "cancel at " << k;
        EXPECT_EQ(Entries("/proc/self/fd").size(), descriptorsBefore) << "cancel at " << k;
        EXPECT_EQ(test::ThreadsOfThisProcess(), threadsBefore) << "cancel at " << k;
    }
}

// The large file changes once its spool is complete (the writer has taken it: OnStartZip of
// that file): it is read again, and reported, exactly as on one thread.
TEST(TZipWriterSpool, AFileThatChangesAfterItsSpoolIsReportedAsOnOneThread) {
    TestDir dir;
    std::string first;
    std::vector<std::string> firstLog;
    for (int threads : {1, 4}) {
        test::SourceTree tree(dir, "t" + std::to_string(threads));
        AddLargeFiles(tree);
        std::vector<std::string> log;
        const std::string bytes =
            BackUp(tree.Root, dir / "x.zip", threads, 6, &log, nullptr, [&](TZipWriter& W) {
                W.OnStartZip = [&](TZipWriter&, const std::string& Name, TZipHeaderInfo&, bool&) {
                    if (!Name.ends_with("b.txt")) return;
                    FILE* f = std::fopen(Name.c_str(), "ab");
                    std::fputs("grown after its spool was written", f);
                    std::fclose(f);
                };
            });
        for (std::string& line : log)
            if (line.find(tree.Root) != std::string::npos)
                line.replace(line.find(tree.Root), tree.Root.size(), "ROOT/");
        if (threads == 1) {
            first = bytes;
            firstLog = log;
        } else {
            EXPECT_TRUE(first == bytes);
            EXPECT_EQ(log, firstLog);
        }
    }
    EXPECT_NE(std::find(firstLog.begin(), firstLog.end(), "changed ROOT/l/b.txt"), firstLog.end());
}

}  // namespace
}  // namespace qm
