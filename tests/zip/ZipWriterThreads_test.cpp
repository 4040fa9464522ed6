// The writer with compress-ahead workers: the same archive byte for byte and the same events
// as on one thread, whatever the tree, level, options and thread count; cancellation and
// faults leave nothing behind, no worker either.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "WindowTailProbe.h"
#include "WriterFixture.h"
#include "platform/FileStream.h"
#include "platform/UiHooks.h"
#include "support/ThreadCount.h"
#include "zip/CompressAhead.h"
#include "zip/ZipErrors.h"
#include "zip/ZipWriter.h"

namespace qm {
namespace {

using test::Exists;
using test::ReadWholeFile;
using test::TestDir;
using test::ThreadsOfThisProcess;

// Every message-processing call, in order with the events; optionally a cancel at one of them.
class TCountingHooks : public TConsoleUiHooks {
  public:
    TCountingHooks() { SetUiHooks(this); }
    ~TCountingHooks() override { SetUiHooks(nullptr); }
    void ProcessMessages() override {
        ++Calls;
        if (Log) Log->push_back("messages");
        if (Calls == CancelAt && Writer) Writer->RequestCancel();
    }
    std::vector<std::string>* Log = nullptr;
    TZipWriter* Writer = nullptr;
    int Calls = 0;
    int CancelAt = -1;
};

// Noise that compresses to about three quarters: many hand-overs of coded blocks.
std::string SixBitNoise(size_t Size, uint32_t Seed) {
    std::string data = test::NoiseBytes(Size, Seed);
    for (char& c : data) c = static_cast<char>(c & 0x3F);
    return data;
}

using TConfigure = std::function<void(TZipWriter&)>;

// Backs up Root into Archive with Threads threads; returns the archive's bytes, and in Ahead
// how many files workers compressed.
std::string BackUp(const std::string& Root, const std::string& Archive, int Threads, int Level,
                   const TConfigure& Configure = nullptr, int* Ahead = nullptr) {
    TZipWriter w;
    test::ConfigureSubFolderBackUp(w, Root, Archive);
    w.SetPackLevel(Level);
    w.SetThreads(Threads);
    if (Configure) Configure(w);
    w.ZipFiles();
    if (Ahead) *Ahead = w.FilesCompressedAhead();
    return ReadWholeFile(Archive);
}

// Archives of the same back-up with 1, 2 and 8 threads must be equal. Each is a new archive: an
// archive left by an earlier call would turn the run into an update.
void ExpectSameArchiveForEveryThreadCount(const TestDir& Dir, const std::string& Root, int Level,
                                          const TConfigure& Configure = nullptr) {
    for (int threads : {1, 2, 8})
        ::unlink((Dir / ("t" + std::to_string(threads) + ".zip")).c_str());
    int ahead = -1;
    const std::string one = BackUp(Root, Dir / "t1.zip", 1, Level, Configure, &ahead);
    ASSERT_GT(one.size(), 22u);
    EXPECT_EQ(ahead, 0) << "one thread starts no worker";
    for (int threads : {2, 8}) {
        const std::string many = BackUp(Root, Dir / ("t" + std::to_string(threads) + ".zip"),
                                        threads, Level, Configure, &ahead);
        EXPECT_EQ(one.size(), many.size()) << threads << " threads, level " << Level;
        EXPECT_TRUE(one == many) << threads << " threads, level " << Level;
        // Otherwise the comparison proves nothing.
        if (Level > 0) {
            EXPECT_GT(ahead, 0) << threads << " threads, level " << Level;
        }
    }
}

// Files that depend on their predecessor's last window byte, each after one that sets it (to a
// different value each time), for lengths across the band.
void AddTailPairs(test::SourceTree& Tree, size_t Step) {
    int i = 0;
    for (size_t n = 65286; n <= 65535; n += Step, ++i) {
        const auto tail = static_cast<uint8_t>(0x30 + i % 200);
        const std::string stem = "tail/p" + std::to_string(n);
        Tree.Add(stem + "a.bin", test::WindowTailSetter(tail, static_cast<uint32_t>(n)));
        Tree.Add(stem + "b.bin", test::WindowTailProbe(n, tail, 0xEE, static_cast<uint32_t>(n)));
    }
}

// A tree with every kind of file: empty, text, incompressible, masked, around the window.
void AddMixedFiles(test::SourceTree& Tree) {
    for (int i = 0; i < 30; ++i) {
        const std::string n = std::to_string(i);
        const size_t size = (static_cast<size_t>(i) * 7919) % 150000;
        if (i % 5 == 0) Tree.Add("mix/e" + n + ".txt", "");
        Tree.Add("mix/t" + n + ".txt", test::TextBytes(size));
        if (i % 3 == 0) Tree.Add("mix/n" + n + ".bin", test::NoiseBytes(size / 2 + 1, i));
        if (i % 4 == 0) Tree.Add("mix/p" + n + ".jpg", test::TextBytes(size / 3 + 10));
    }
    Tree.Add("mix/w65536.bin", test::WindowTailSetter(0x7F, 3));
    Tree.Add("mix/w65535.bin", test::TextBytes(65535));
    Tree.Add("mix/w65537.bin", test::TextBytes(65537));
}

TEST(TZipWriterThreads, FilesThatDependOnTheirPredecessorGiveTheSameArchive) {
    TestDir dir;
    test::SourceTree tree(dir);
    AddTailPairs(tree, 3);
    ExpectSameArchiveForEveryThreadCount(dir, tree.Root, 9);
    // A stored or skipped setter is no predecessor: the byte before it carries on.
    ExpectSameArchiveForEveryThreadCount(dir, tree.Root, 9, [](TZipWriter& W) {
        W.NoCompressList() = {"p652<9>*a.bin"};
        W.OnStartZip = [](TZipWriter&, const std::string& Name, TZipHeaderInfo&, bool& Skip) {
            Skip = Name.find("0a.bin") != std::string::npos;
        };
    });
}

TEST(TZipWriterThreads, EveryLevelAndMaskGivesTheSameArchive) {
    TestDir dir;
    test::SourceTree tree(dir);
    AddMixedFiles(tree);
    AddTailPairs(tree, 61);
    for (int level : {0, 1, 6, 9}) ExpectSameArchiveForEveryThreadCount(dir, tree.Root, level);
    ExpectSameArchiveForEveryThreadCount(dir, tree.Root, 6, [](TZipWriter& W) {
        W.NoCompressList() = {"*.jpg", "*.bin"};
    });
    EXPECT_EQ(
        test::CheckArchive(dir / "t8.zip",
                           [&] {
                               test::ExpectedEntries e;
                               for (const std::string& name : test::ArchiveNames(dir / "t1.zip"))
                                   e.push_back({name, tree.Root + name});
                               return e;
                           }()),
        "");
}

TEST(TZipWriterThreads, FilesAboveTheBudgetBetweenSmallOnesGiveTheSameArchive) {
    TestDir dir;
    test::SourceTree tree(dir);
    tree.Add("big/a.txt", test::TextBytes(20000));
    tree.Add("big/b.bin", test::TextBytes(kCompressAheadFileLimit + 4096));
    tree.Add("big/c.txt", test::TextBytes(30000));
    tree.Add("big/d.bin", test::NoiseBytes(70000, 4));
    tree.Add("big/e.txt", test::TextBytes(40000));
    ExpectSameArchiveForEveryThreadCount(dir, tree.Root, 6);
}

TEST(TZipWriterThreads, ListsLongerThanTheWorkersLookAheadAreFedToTheEnd) {
    TestDir dir;
    test::SourceTree tree(dir);
    // Folder entries and stored files between the ones to deflate, which are fed as the run
    // goes: far more of them than the workers are ever told about at once.
    const int files = static_cast<int>(kCompressAheadNames) + 700;
    int deflated = 9;  // the tree's own files
    for (int i = 0; i < files; ++i) {
        const std::string folder = "many/f" + std::to_string(i / 100) + "/";
        const bool stored = i % 7 == 0;
        tree.Add(folder + std::to_string(i) + (stored ? ".jpg" : ".txt"),
                 test::TextBytes(static_cast<size_t>(i % 300)));
        deflated += stored ? 0 : 1;
    }
    auto configure = [](TZipWriter& W) {
        W.NoCompressList() = {"*.jpg"};
        W.SetAddDirEntriesOnRecurse(true);
    };
    int ahead = -1;
    const std::string one = BackUp(tree.Root, dir / "l1.zip", 1, 6, configure);
    const std::string two = BackUp(tree.Root, dir / "l2.zip", 2, 6, configure, &ahead);
    EXPECT_TRUE(one == two);
    // Every file to deflate reached a worker, the last ones too.
    EXPECT_EQ(ahead, deflated);
}

TEST(TZipWriterThreads, AnUpdateWhoseFilesChangeTheirTimesMidwayKeepsItsWorkers) {
    TestDir dir;
    test::SourceTree tree(dir, "u");
    std::vector<std::string> files;
    for (int i = 0; i < 20; ++i)
        files.push_back(tree.Add("f" + std::to_string(100 + i) + ".txt",
                                 test::TextBytes(3000 + static_cast<size_t>(i) * 100)));
    const time_t before = 1700000000, after = 1800000000;
    for (const std::string& f : files) test::SetMTime(f, before);
    const std::string base = dir / "base.zip";
    BackUp(tree.Root, base, 1, 6);
    // Every file newer but one, which is planned to be kept; once the merge has begun, a
    // planned replacement turns out current and the kept one newer.
    for (const std::string& f : files) test::SetMTime(f, after);
    test::SetMTime(files[5], before);
    std::string bytes[2];
    int ahead[2] = {};
    for (int k = 0; k < 2; ++k) {
        test::SetMTime(files[3], after);
        test::SetMTime(files[5], before);
        const std::string archive = dir / ("m" + std::to_string(k) + ".zip");
        test::RunCommand("cp " + test::ShellQuote(base) + " " + test::ShellQuote(archive));
        bytes[k] = BackUp(
            tree.Root, archive, k == 0 ? 1 : 2, 6,
            [&](TZipWriter& W) {
                W.SetZipAction(zaUpdate);
                W.OnUpdate = [&](TZipWriter&, TUpdateAction, int) {
                    test::SetMTime(files[3], before);
                    test::SetMTime(files[5], after);
                };
            },
            &ahead[k]);
    }
    EXPECT_TRUE(bytes[0] == bytes[1]);
    // All replaced files but the one replaced out of plan came from workers, also those after
    // the planned one that was kept.
    EXPECT_EQ(ahead[1], 18);
}

TEST(TZipWriterThreads, UpdatesGiveTheSameArchive) {
    TestDir dir;
    test::SourceTree tree(dir);
    AddMixedFiles(tree);
    const std::string base = dir / "base.zip";
    BackUp(tree.Root, base, 1, 6);
    test::SetMTime(tree.Root + "mix/t3.txt", 1800000000);
    test::SetMTime(tree.Root + "noise.bin", 1800000000);
    tree.Add("new/added.txt", test::TextBytes(25000));
    tree.Add("new/added2.txt", test::TextBytes(65400));
    for (TZipAction action : {zaUpdate, zaReplace}) {
        std::string first;
        for (int threads : {1, 2, 8}) {
            const std::string archive = dir / ("u" + std::to_string(threads) + ".zip");
            test::RunCommand("cp " + test::ShellQuote(base) + " " + test::ShellQuote(archive));
            int ahead = 0;
            const std::string bytes = BackUp(
                tree.Root, archive, threads, 6, [&](TZipWriter& W) { W.SetZipAction(action); },
                &ahead);
            if (threads == 1) {
                first = bytes;
                continue;
            }
            EXPECT_TRUE(first == bytes) << threads << " threads, action " << action;
            // Replacing every entry, workers compressed more than the two new files: the
            // entries the merge replaced too.
            if (action == zaReplace) {
                EXPECT_GT(ahead, 2) << threads << " threads";
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Events.

std::vector<std::string> EventsOf(const std::string& Root, const std::string& Archive, int Threads,
                                  const TConfigure& Configure = nullptr) {
    std::vector<std::string> log;
    TCountingHooks hooks;
    hooks.Log = &log;
    TZipWriter w;
    test::ConfigureSubFolderBackUp(w, Root, Archive);
    w.SetThreads(Threads);
    w.OnStartZip = [&](TZipWriter&, const std::string& Name, TZipHeaderInfo&, bool&) {
        log.push_back("start " + Name);
    };
    w.OnEndZip = [&](TZipWriter&, const std::string& Name, int64_t U, int64_t C, int64_t Z) {
        log.push_back("end " + Name + " " + std::to_string(U) + " " + std::to_string(C) + " " +
                      std::to_string(Z));
    };
    w.OnFilePercentDone = [&](TZipReader&, int P) { log.push_back("file " + std::to_string(P)); };
    w.OnTotalPercentDone = [&](TZipReader&, int P) { log.push_back("total " + std::to_string(P)); };
    w.OnSkippingFile = [&](TZipWriter&, TSkipReason R, const std::string& Name, int, bool&) {
        log.push_back("skip " + std::to_string(R) + " " + Name);
    };
    if (Configure) Configure(w);
    log.push_back("result " + std::to_string(w.ZipFiles()));
    return log;
}

TEST(TZipWriterThreads, EventsComeInTheSameOrderAsOnOneThread) {
    TestDir dir;
    test::SourceTree tree(dir);
    AddMixedFiles(tree);
    tree.Add("dup/x.txt", "x");
    const auto one = EventsOf(tree.Root, dir / "e1.zip", 1, [&](TZipWriter& W) {
        W.FilesList().push_back(tree.Root + "alpha.txt");  // a duplicate: srNoOverwrite
    });
    const auto four = EventsOf(tree.Root, dir / "e4.zip", 4, [&](TZipWriter& W) {
        W.FilesList().push_back(tree.Root + "alpha.txt");
    });
    ASSERT_GT(one.size(), 200u);
    EXPECT_EQ(one, four);
    EXPECT_TRUE(ReadWholeFile(dir / "e1.zip") == ReadWholeFile(dir / "e4.zip"));
}

TEST(TZipWriterThreads, SkipsFromOnStartZipAndRetriedOpensWork) {
    TestDir dir;
    test::SourceTree tree(dir);
    AddMixedFiles(tree);
    // A folder named as a file cannot be read: refused until the handler puts a file in its
    // place and retries.
    const std::string held = dir / "held.txt";
    auto makeFifo = [&] {
        ::unlink(held.c_str());
        ASSERT_EQ(::mkdir(held.c_str(), 0755), 0);
    };
    // A changed header and a skip decided by the handler.
    auto configure = [&](TZipWriter& W) {
        auto start = W.OnStartZip;
        W.OnStartZip = [start](TZipWriter& S, const std::string& Name, TZipHeaderInfo& H,
                               bool& Skip) {
            start(S, Name, H, Skip);
            if (Name.find("/t1") != std::string::npos) Skip = true;
            if (Name.find("/t2") != std::string::npos) H.InternalAttributes = 0;
            // Renamed to a stored name: its compressed-ahead data cannot be used.
            if (Name.find("/t5.txt") != std::string::npos) H.SetFileName("t5.jpg");
        };
        W.NoCompressList() = {"*.jpg"};
        W.FilesList().push_back(held);
        auto skipping = W.OnSkippingFile;
        W.OnSkippingFile = [skipping, held](TZipWriter& S, TSkipReason R, const std::string& Name,
                                            int I, bool& Retry) {
            skipping(S, R, Name, I, Retry);
            struct stat st {};
            Retry = Name == held && ::lstat(held.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            if (Retry) {
                ::rmdir(held.c_str());
                const std::string text = test::TextBytes(40000);
                FILE* f = std::fopen(held.c_str(), "wb");
                ASSERT_NE(f, nullptr);
                std::fwrite(text.data(), 1, text.size(), f);
                std::fclose(f);
                test::SetMTime(held, 1700000000);  // both runs store the same time
            }
        };
    };
    makeFifo();
    const auto one = EventsOf(tree.Root, dir / "s1.zip", 1, configure);
    makeFifo();
    const auto four = EventsOf(tree.Root, dir / "s4.zip", 4, configure);
    EXPECT_EQ(one, four);
    EXPECT_TRUE(ReadWholeFile(dir / "s1.zip") == ReadWholeFile(dir / "s4.zip"));
    EXPECT_NE(std::find(four.begin(), four.end(), "skip 2 " + held), four.end());
    const auto names = test::ArchiveNames(dir / "s4.zip");
    EXPECT_NE(std::find(names.begin(), names.end(), held.substr(1)), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "mix/t5.jpg"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "mix/t1.txt"), names.end());
}

// ---------------------------------------------------------------------------------------
// Cancellation and faults.

struct TSmallTree {
    explicit TSmallTree(const TestDir& Dir) : Tree(Dir) {
        for (int i = 0; i < 10; ++i)
            Tree.Add("c/f" + std::to_string(i) + ".txt", test::TextBytes(3000 + 4000 * i));
        Tree.Add("c/n.bin", test::NoiseBytes(30000, 1));
    }
    test::SourceTree Tree;
};

void CheckEveryCancelPoint(const TestDir& Dir, const std::string& Root, const std::string& Archive,
                           const std::string& Old) {
    const std::string temp = Dir.Folder("tmp");
    const int threadsBefore = ThreadsOfThisProcess();
    TCountingHooks hooks;
    int points = 0;
    {
        const std::string probe = Dir / "probe.zip";
        if (!Old.empty())
            test::RunCommand("cp " + test::ShellQuote(Archive) + " " + test::ShellQuote(probe));
        TZipWriter w;
        hooks.Writer = &w;
        test::ConfigureSubFolderBackUp(w, Root, probe);
        w.SetTempPath(temp);
        w.SetThreads(4);
        w.ZipFiles();
        points = hooks.Calls;
    }
    ASSERT_GT(points, 20);
    for (int k = 1; k <= points; ++k) {
        TZipWriter w;
        hooks.Writer = &w;
        hooks.Calls = 0;
        hooks.CancelAt = k;
        test::ConfigureSubFolderBackUp(w, Root, Archive);
        w.SetTempPath(temp);
        w.SetThreads(4);
        EXPECT_THROW(w.ZipFiles(), EUserCanceled) << "cancel at " << k;
        EXPECT_EQ(hooks.Calls, k);
        EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore) << "a worker outlived the run, " << k;
        if (Old.empty())
            EXPECT_FALSE(Exists(Archive)) << "cancel at " << k;
        else
            EXPECT_TRUE(ReadWholeFile(Archive) == Old) << "cancel at " << k;
        // A new archive is made beside its final name, an update's in the temporary folder.
        EXPECT_TRUE(test::FilesWithPrefix(temp, "XQZ").empty()) << "cancel at " << k;
        EXPECT_TRUE(test::FilesWithPrefix(Dir.Path(), "XQZ").empty()) << "cancel at " << k;
    }
}

TEST(TZipWriterThreads, EveryCancelPointLeavesNoArchiveAndNoWorker) {
    TestDir dir;
    TSmallTree small(dir);
    CheckEveryCancelPoint(dir, small.Tree.Root, dir / "out.zip", "");
}

TEST(TZipWriterThreads, EveryCancelPointOfAnUpdateLeavesTheOldArchive) {
    TestDir dir;
    TSmallTree small(dir);
    const std::string archive = dir / "old.zip";
    BackUp(small.Tree.Root, archive, 1, 6);
    const std::string old = ReadWholeFile(archive);
    test::SetMTime(small.Tree.Root + "c/f3.txt", 1800000000);
    small.Tree.Add("c/new.bin", SixBitNoise(50000, 5));
    small.Tree.Add("c/new2.bin", SixBitNoise(20000, 6));
    CheckEveryCancelPoint(dir, small.Tree.Root, archive, old);
}

TEST(TZipWriterThreads, AReadErrorInAWorkerReachesTheCallerAsOnOneThread) {
    TestDir dir;
    TSmallTree small(dir);
    const std::string failing = test::FileThatFailsOnRead();
    if (failing.empty()) GTEST_SKIP() << "no file here fails on reading";
    // Reached by a wildcard after the tree's, so that workers have gone ahead of it.
    const std::string failingSpec = "|" + failing.substr(0, failing.size() - 1) + "*";
    const int threadsBefore = ThreadsOfThisProcess();
    std::string messages[2];
    int ahead[2] = {};
    int stored[2] = {};
    for (int i = 0; i < 2; ++i) {
        const std::string archive = dir / ("r" + std::to_string(i) + ".zip");
        TZipWriter w;
        test::ConfigureSubFolderBackUp(w, small.Tree.Root, archive);
        w.FilesList().push_back(failingSpec);
        w.SetThreads(i == 0 ? 1 : 4);
        w.OnEndZip = [&stored, i](TZipWriter&, const std::string&, int64_t, int64_t, int64_t) {
            ++stored[i];
        };
        try {
            w.ZipFiles();
            messages[i] = "no error";
        } catch (const std::exception& e) {
            messages[i] = e.what();
        }
        ahead[i] = w.FilesCompressedAhead();
        EXPECT_FALSE(Exists(archive));
        EXPECT_TRUE(test::FilesWithPrefix(dir.Path(), "XQZ").empty());
        EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore) << "a worker outlived the run";
    }
    EXPECT_NE(messages[0].find("read error"), std::string::npos) << messages[0];
    EXPECT_EQ(messages[0], messages[1]);
    EXPECT_EQ(ahead[0], 0);
    // Every file before it came from a worker.
    EXPECT_GT(stored[0], 0);
    EXPECT_EQ(stored[1], stored[0]);
    EXPECT_EQ(ahead[1], stored[0]);
}

TEST(TZipWriterThreads, FilesThatChangeAfterListingGiveTheSameArchive) {
    TestDir dir;
    // Before any file is read (OnStartZipInfo), and while the run is on (the first file's
    // OnStartZip), after workers may have read them: a file grows, one shrinks, one changes
    // into the lengths that depend on their predecessor, one disappears.
    for (bool during : {false, true}) {
        std::string first;
        for (int threads : {1, 4}) {
            const std::string sub = std::string(during ? "d" : "b") + std::to_string(threads);
            test::SourceTree tree(dir, sub);
            AddMixedFiles(tree);
            auto change = [&] {
                const std::string mix = tree.Root + "mix/";
                dir.File(sub + "/mix/t7.txt", test::TextBytes(90000));
                ::truncate((mix + "t8.txt").c_str(), 500);
                dir.File(sub + "/mix/t9.txt", test::WindowTailProbe(65400, 0x7F, 0x11, 9));
                ::unlink((mix + "t11.txt").c_str());
                for (const char* f : {"t7.txt", "t8.txt", "t9.txt"})
                    test::SetMTime(mix + f, 1750000000);
            };
            const std::string archive = dir / (sub + ".zip");
            const std::string bytes = BackUp(tree.Root, archive, threads, 6, [&](TZipWriter& W) {
                if (!during) {
                    W.OnStartZipInfo = [&](TZipWriter&, int, int64_t, TEndCentral&, bool&) {
                        change();
                    };
                } else {
                    W.OnStartZip = [&, done = false](TZipWriter&, const std::string&,
                                                     TZipHeaderInfo&, bool&) mutable {
                        if (!done) change();
                        done = true;
                    };
                }
            });
            if (threads == 1)
                first = bytes;
            else
                EXPECT_TRUE(first == bytes) << (during ? "during the run" : "before it");
            test::CommandResult r = test::RunCommand("unzip -tq " + test::ShellQuote(archive));
            EXPECT_EQ(r.Status, 0) << r.Output;
        }
    }
}

// A medium that fills up while records wait in memory.
class TFullMediumWriter : public TZipWriter {
  public:
    explicit TFullMediumWriter(int64_t Limit) : FLimit(Limit) {}

  protected:
    std::unique_ptr<TStream> CreateOutputFile(const std::string& FileName) override {
        struct TMedium : TFileStream {
            TMedium(const std::string& Name, int64_t Limit)
                : TFileStream(Name, fmCreate), Limit(Limit) {}
            int32_t Write(const void* Buffer, int32_t Count) override {
                const int64_t room = std::max<int64_t>(0, Limit - Position());
                const auto n = static_cast<int32_t>(std::min<int64_t>(Count, room));
                return n > 0 ? TFileStream::Write(Buffer, n) : 0;
            }
            int64_t Limit;
        };
        return std::make_unique<TMedium>(FileName, FLimit);
    }

  private:
    int64_t FLimit;
};

TEST(TZipWriterThreads, AShortWriteWhileRecordsWaitLeavesNothing) {
    TestDir dir;
    test::SourceTree tree(dir);
    AddMixedFiles(tree);
    const int threadsBefore = ThreadsOfThisProcess();
    const auto size = static_cast<int64_t>(BackUp(tree.Root, dir / "whole.zip", 1, 6).size());
    for (int64_t limit : {int64_t{100}, size / 3, size * 2 / 3, size - 1}) {
        TFullMediumWriter w(limit);
        test::ConfigureSubFolderBackUp(w, tree.Root, dir / "full.zip");
        w.SetThreads(4);
        try {
            w.ZipFiles();
            ADD_FAILURE() << "a medium of " << limit << " bytes took the whole archive";
        } catch (const ENotEnoughRoom& e) {
            EXPECT_STREQ(e.what(), "Not enough room to write archive");
        }
        EXPECT_FALSE(Exists(dir / "full.zip"));
        EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);
    }
}

}  // namespace
}  // namespace qm
