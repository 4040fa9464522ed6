// Creating archives: what a back-up stores and how other implementations read it, the events
// and progress figures a run reports, and the properties that shape stored names.
#include "zip/ZipWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WriterFixture.h"
#include "platform/FileOps.h"
#include "platform/SystemFolders.h"
#include "platform/UiHooks.h"
#include "zip/ZipErrors.h"

namespace qm {
namespace {

using test::CheckArchive;
using test::Exists;
using test::ReadWholeFile;
using test::SourceTree;
using test::TestDir;

TEST(TZipWriter, SubFolderBackUpIsReadExactlyByEveryTool) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    SourceTree tree(dir);
    TZipWriter w;
    const std::string archive = dir / "out.zip";
    test::ConfigureSubFolderBackUp(w, tree.Root, archive);
    int completed = -1;
    w.OnZipComplete = [&](TZipWriter&, int Count) { completed = Count; };

    EXPECT_EQ(w.ZipFiles(), 9);
    EXPECT_EQ(completed, 9);
    EXPECT_TRUE(w.FilesList().empty());
    EXPECT_EQ(CheckArchive(archive, tree.Recursive()), "");
    // Below the 32-bit limits the records are the classic ones, made on Unix: version 2.0, the
    // file's mode above the DOS attributes, the exact time in the extended timestamp (and no
    // other extra field), no data descriptors; only the non-ASCII name has the UTF-8 flag.
    test::CommandResult r = test::RunCommand(
        "python3 -c 'import os,sys,zipfile\nfor i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
        " st = os.lstat(sys.argv[2] + i.filename)\n"
        " print(i.extra[:5], int.from_bytes(i.extra[5:], \"little\", signed=True) == "
        "int(st.st_mtime), len(i.extra), i.create_system, i.create_version, i.extract_version, "
        "i.flag_bits & ~6, i.external_attr == st.st_mode << 16 | 0x20)' " +
        test::ShellQuote(archive) + " " + test::ShellQuote(tree.Root));
    std::string want;
    for (int i = 0; i < 8; ++i) want += "b'UT\\x05\\x00\\x01' True 9 3 20 20 0 True\n";
    want += "b'UT\\x05\\x00\\x01' True 9 3 20 20 2048 True\n";
    EXPECT_EQ(r.Output, want);
}

TEST(TZipWriter, StoredAndNoCompressEntriesAreReadExactly) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    SourceTree tree(dir);
    for (int level : {0, 1, 9}) {
        TZipWriter w;
        const std::string archive = dir / ("level" + std::to_string(level) + ".zip");
        test::ConfigureSubFolderBackUp(w, tree.Root, archive);
        w.SetPackLevel(level);
        w.SetFlushFilesOnClose(level == 1);
        w.NoCompressList() = {"*.TXT"};  // masks ignore letter case
        EXPECT_EQ(w.ZipFiles(), 9);
        EXPECT_EQ(CheckArchive(archive, tree.Recursive()), "") << "level " << level;
    }
}

TEST(TZipWriter, WithoutSubFoldersOnlyTheFolderItselfUnderBareNames) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    SourceTree tree(dir);
    TZipWriter w;
    const std::string archive = dir / "flat.zip";
    w.SetRootDir(tree.Root);
    w.SetZipName(archive);
    w.FilesList() = {tree.Root + "*.txt", tree.Root + "*.bin"};
    EXPECT_EQ(w.ZipFiles(), 4);
    EXPECT_EQ(CheckArchive(archive, {{"alpha.txt", tree.Root + "alpha.txt"},
                                     {"with space.txt", tree.Root + "with space.txt"},
                                     {"Z\xC3\xBCrich \xC3\xB1.txt",
                                      tree.Root + "Z\xC3\xBCrich \xC3\xB1.txt"},
                                     {"noise.bin", tree.Root + "noise.bin"}}),
              "");
}

TEST(TZipWriter, NothingMatchedGivesTheBareEndRecord) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    TZipWriter w;
    w.SetZipName(dir / "empty.zip");
    w.FilesList() = {dir.Path() + "/*.none"};
    int completed = -1;
    w.OnZipComplete = [&](TZipWriter&, int Count) { completed = Count; };
    EXPECT_EQ(w.ZipFiles(), 0);
    EXPECT_EQ(completed, 0);
    std::string bytes = ReadWholeFile(dir / "empty.zip");
    ASSERT_EQ(bytes.size(), 22u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("PK\x05\x06", 4));
    EXPECT_EQ(CheckArchive(dir / "empty.zip", {}), "");
}

TEST(TZipWriter, BlankZipNameDoesNothingButComplete) {
    TestDir dir;
    TZipWriter w;
    w.SetZipName("   ");
    w.FilesList() = {dir.Path() + "/*"};
    int completed = -1;
    w.OnStartZipInfo = [&](TZipWriter&, int, int64_t, TEndCentral&, bool&) { ADD_FAILURE(); };
    w.OnZipComplete = [&](TZipWriter&, int Count) { completed = Count; };
    EXPECT_EQ(w.ZipFiles(), 0);
    EXPECT_EQ(completed, 0);
    EXPECT_EQ(w.FilesList().size(), 1u) << "the list stays as it was";
}

TEST(TZipWriter, SameFileTwiceIsSkippedAsDuplicateAndCountedOnce) {
    TestDir dir;
    std::string file = dir.File("a.txt", "abc");
    TZipWriter w;
    w.SetZipName(dir / "dup.zip");
    w.FilesList() = {file, dir.Path() + "/*.txt"};
    std::vector<TSkipReason> reasons;
    w.OnSkippingFile = [&](auto&&, TSkipReason Reason, const std::string&, int, bool&) {
        reasons.push_back(Reason);
    };
    EXPECT_EQ(w.ZipFiles(), 1);
    EXPECT_EQ(reasons, std::vector<TSkipReason>{srNoOverwrite});
}

TEST(TZipWriter, NamesDifferingOnlyInCaseAreBothBackedUp) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    std::string upper = dir.File("src/A.txt", "upper");
    std::string lower = dir.File("src/a.txt", "lower");
    TZipWriter w;
    w.SetZipName(dir / "case.zip");
    w.FilesList() = {dir.Path() + "/src/*"};
    EXPECT_EQ(w.ZipFiles(), 2);
    EXPECT_EQ(CheckArchive(dir / "case.zip", {{"A.txt", upper}, {"a.txt", lower}}), "");
}

TEST(TZipWriter, ArchiveInsideTheFolderIsNotAddedToItself) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    std::string a = dir.File("a.txt", "abc");
    // A relative archive name is recognised too.
    std::string cwd = GetCurrentDir();
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    for (int run = 0; run < 2; ++run) {  // creating, then updating
        TZipWriter w;
        w.SetZipName("self.zip");
        w.FilesList() = {dir.Path() + "/*"};
        EXPECT_EQ(w.ZipFiles(), run == 0 ? 1 : 0);
        EXPECT_EQ(CheckArchive(dir / "self.zip", {{"a.txt", a}}), "");
    }
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
}

TEST(TZipWriter, TemporaryArchivesLeftByAKilledRunAreReportedNotBackedUp) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    const std::string a = dir.File("src/a.txt", "abc");
    // Beside the archive, and in the temporary folder of updates: a killed run's leftovers.
    dir.File("src/XQZ0A1B2C3D.TMP", "half an archive");
    dir.File("src/tmp/XQZ00000000.TMP", "half an update");
    // Elsewhere, or not quite the name such a run gives: the user's own files.
    const std::string other = dir.File("src/docs/XQZ0A1B2C3D.TMP", "a document");
    const std::string near = dir.File("src/XQZ0A1B2C3.TMP", "seven digits");
    TZipWriter w;
    w.SetZipName(dir / "src/back.zip");
    w.SetTempPath(dir / "src/tmp");
    w.SetRootDir(dir / "src/");
    w.SetRecurse(true);
    w.SetStorePaths(true);
    w.SetRelativePaths(true);
    w.FilesList() = {dir / "src/*"};
    std::vector<std::string> told;
    w.OnSkippingFile = [&](TZipWriter& Sender, TSkipReason Reason, const std::string& Name, int,
                           bool&) {
        if (Reason == srFileOpenError) told.push_back(Name + ": " + Sender.SkippingReason());
    };
    EXPECT_EQ(w.ZipFiles(), 3);
    const std::string why = ": a temporary archive of an interrupted back-up";
    // The leftover beside the archive is nobody's any more: the run that holds the archive's
    // lock removes it. The one in the temporary folder may be another archive's, and stays.
    EXPECT_EQ(told, (std::vector<std::string>{dir / ("src/tmp/XQZ00000000.TMP" + why)}));
    EXPECT_FALSE(FileExists(dir / "src/XQZ0A1B2C3D.TMP"));
    EXPECT_EQ(
        CheckArchive(dir / "src/back.zip",
                     {{"a.txt", a}, {"docs/XQZ0A1B2C3D.TMP", other}, {"XQZ0A1B2C3.TMP", near}}),
        "");
}

TEST(TZipWriter, MaskWithoutFolderOrRootMeansTheCurrentFolder) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    std::string a = dir.File("cur/a.txt", "in the current folder");
    std::string cwd = GetCurrentDir();
    ASSERT_EQ(::chdir((dir / "cur").c_str()), 0);
    TZipWriter w;
    w.SetZipName(dir / "cur.zip");
    w.FilesList() = {"*.txt"};
    EXPECT_EQ(w.ZipFiles(), 1);
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    EXPECT_EQ(CheckArchive(dir / "cur.zip", {{"a.txt", a}}), "");
}

TEST(TZipWriter, MissingExplicitFileFiresNoSuchFile) {
    TestDir dir;
    TZipWriter w;
    w.SetZipName(dir / "x.zip");
    w.SetRootDir(dir.Path());
    w.FilesList() = {"missing.txt"};
    std::vector<std::string> missing;
    w.OnNoSuchFile = [&](TZipWriter&, const std::string& Name) { missing.push_back(Name); };
    EXPECT_EQ(w.ZipFiles(), 0);
    EXPECT_EQ(missing, std::vector<std::string>{"missing.txt"});
}

TEST(TZipWriter, FolderEntryAndExclusions) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    SourceTree tree(dir);
    TZipWriter w;
    test::ConfigureSubFolderBackUp(w, tree.Root, dir / "x.zip");
    w.FilesList().insert(w.FilesList().begin(), tree.Root + "docs/");
    w.ExcludeList() = {"*.BIN", "*/docs/deeper/*"};
    std::vector<std::pair<std::string, int64_t>> ends;
    w.OnEndZip = [&](TZipWriter&, const std::string& Name, int64_t Size, int64_t, int64_t) {
        ends.push_back({Name, Size});
    };
    EXPECT_EQ(w.ZipFiles(), 6);
    EXPECT_EQ(CheckArchive(dir / "x.zip", {{"docs/", ""},
                                           {"alpha.txt", tree.Root + "alpha.txt"},
                                           {"docs/letter.txt", tree.Root + "docs/letter.txt"},
                                           {"Empty.dat", tree.Root + "Empty.dat"},
                                           {"with space.txt", tree.Root + "with space.txt"},
                                           {"Z\xC3\xBCrich \xC3\xB1.txt",
                                            tree.Root + "Z\xC3\xBCrich \xC3\xB1.txt"}}),
              "");
    ASSERT_FALSE(ends.empty());
    EXPECT_EQ(ends[0], (std::pair<std::string, int64_t>{tree.Root + "docs/", 0}));
}

TEST(TZipWriter, AddDirEntriesOnRecurseAddsEveryFolderMet) {
    QM_SKIP_WITHOUT_TOOLS("python3");
    TestDir dir;
    SourceTree tree(dir);
    TZipWriter w;
    test::ConfigureSubFolderBackUp(w, tree.Root, dir / "x.zip", "*.csv");
    w.SetAddDirEntriesOnRecurse(true);
    EXPECT_EQ(w.ZipFiles(), 4);
    EXPECT_EQ(test::ArchiveNames(dir / "x.zip"),
              (std::vector<std::string>{"docs/", "docs/deeper/", "docs/deeper/tiny.csv", "pics/"}));
}

TEST(TZipWriter, StoredNamesFollowThePathProperties) {
    QM_SKIP_WITHOUT_TOOLS("python3");
    TestDir dir;
    std::string inRoot = dir.File("data/a.doc", "a");
    std::string inSub = dir.File("data/Sub/b.doc", "b");
    std::string outside = dir.File("other/c.doc", "c");
    struct Case {
        bool StorePaths, RelativePaths;
        std::vector<std::string> Names;
    };
    std::string base = dir.Path().substr(1);  // without its leading "/"
    for (const Case& c :
         {Case{false, false, {"a.doc", "b.doc", "c.doc"}},
          Case{true, true, {"a.doc", "Sub/b.doc", base + "/other/c.doc"}},
          Case{true,
               false,
               {base + "/data/a.doc", base + "/data/Sub/b.doc", base + "/other/c.doc"}}}) {
        TZipWriter w;
        w.SetZipName(dir / "names.zip");
        w.SetRootDir(dir / "data");
        w.SetStorePaths(c.StorePaths);
        if (c.RelativePaths) w.SetRelativePaths(true);
        // Explicit names, one of them with "." and ".." segments to be resolved.
        w.FilesList() = {inRoot, dir.Path() + "/data/./Sub/../Sub//b.doc", outside};
        EXPECT_EQ(w.ZipFiles(), 3);
        EXPECT_EQ(test::ArchiveNames(dir / "names.zip"), c.Names);
        ::unlink((dir / "names.zip").c_str());
    }
    (void)inSub;
}

TEST(TZipWriter, PathPropertiesAreCoupled) {
    TZipWriter w;
    w.SetRelativePaths(true);
    EXPECT_TRUE(w.StorePaths());
    EXPECT_TRUE(w.Recurse());
    w.SetStoreVolumes(true);
    w.SetStorePaths(false);
    EXPECT_FALSE(w.RelativePaths());
    EXPECT_FALSE(w.StoreVolumes());
    EXPECT_TRUE(w.Recurse()) << "clearing StorePaths leaves Recurse alone";
    w.SetStoreVolumes(true);
    EXPECT_TRUE(w.StorePaths());
}

TEST(TZipWriter, DefaultsAndAssignCopyEverything) {
    TZipWriter a;
    EXPECT_EQ(a.PackLevel(), 6);
    EXPECT_EQ(a.ZipAction(), zaUpdate);
    EXPECT_EQ(a.MultiZipInfo().MultiMode, mmNone);
    EXPECT_EQ(a.MultiZipInfo().BlockSize, 1457600);
    EXPECT_TRUE(a.MultiZipInfo().WriteDiskLabels);
    a.SetPackLevel(3);
    a.SetZipAction(zaFreshen);
    a.SetRelativePaths(true);
    a.ExcludeList() = {"*.tmp"};
    a.SetTempPath("/var/tmp");
    a.MultiZipInfo().MultiMode = mmBlocks;
    int fired = 0;
    a.OnZipComplete = [&](TZipWriter&, int) { ++fired; };
    TZipWriter b;
    b.Assign(a);
    EXPECT_EQ(b.PackLevel(), 3);
    EXPECT_EQ(b.ZipAction(), zaFreshen);
    EXPECT_TRUE(b.RelativePaths() && b.StorePaths());
    EXPECT_EQ(b.ExcludeList(), std::vector<std::string>{"*.tmp"});
    EXPECT_EQ(b.TempPath(), "/var/tmp");
    EXPECT_EQ(b.MultiMode(), mmBlocks);
    ASSERT_TRUE(b.OnZipComplete);
    b.OnZipComplete(b, 0);
    EXPECT_EQ(fired, 1);
}

// ---------------------------------------------------------------------------------------
// Events and progress.

TEST(TZipWriter, EventsFireInTheirOrder) {
    TestDir dir;
    std::string a = dir.File("src/a.txt", test::TextBytes(3000));
    std::string b = dir.File("src/b.txt", "");
    TZipWriter w;
    w.SetZipName(dir / "ev.zip");
    w.FilesList() = {dir.Path() + "/src/*"};
    std::vector<std::string> log;
    w.OnStartZipInfo = [&](TZipWriter&, int NumFiles, int64_t Total, TEndCentral&, bool&) {
        log.push_back("info " + std::to_string(NumFiles) + " " + std::to_string(Total));
    };
    w.OnStartZip = [&](TZipWriter&, const std::string& Name, TZipHeaderInfo& H, bool&) {
        log.push_back("start " + Name.substr(Name.rfind('/') + 1) + " " + H.FileName());
    };
    w.OnFilePercentDone = [&](auto&&, int P) { log.push_back("file " + std::to_string(P)); };
    w.OnTotalPercentDone = [&](auto&&, int P) { log.push_back("total " + std::to_string(P)); };
    w.OnEndZip = [&](TZipWriter&, const std::string& Name, int64_t U, int64_t, int64_t) {
        log.push_back("end " + Name.substr(Name.rfind('/') + 1) + " " + std::to_string(U));
    };
    w.OnZipComplete = [&](TZipWriter&, int N) { log.push_back("complete " + std::to_string(N)); };
    EXPECT_EQ(w.ZipFiles(), 2);
    EXPECT_EQ(log, (std::vector<std::string>{"info 2 3000", "start a.txt a.txt", "file 100",
                                             "total 100", "end a.txt 3000", "start b.txt b.txt",
                                             "end b.txt 0", "complete 2"}));
}

TEST(TZipWriter, StoredFileReportsEvery16000Bytes) {
    TestDir dir;
    dir.File("f.bin", test::NoiseBytes(40000, 1));
    TZipWriter w;
    w.SetZipName(dir / "p.zip");
    w.SetPackLevel(0);
    w.FilesList() = {dir.Path() + "/f.bin"};
    std::vector<int> percents;
    w.OnFilePercentDone = [&](auto&&, int P) { percents.push_back(P); };
    w.ZipFiles();
    EXPECT_EQ(percents, (std::vector<int>{40, 80, 100}));
}

TEST(TZipWriter, SkippedByStartZipIsNotWrittenAndLeavesTheTotal) {
    QM_SKIP_WITHOUT_TOOLS("python3");
    TestDir dir;
    dir.File("src/a.txt", std::string(1000, 'a'));
    dir.File("src/b.txt", std::string(3000, 'b'));
    TZipWriter w;
    w.SetZipName(dir / "s.zip");
    w.FilesList() = {dir.Path() + "/src/*"};
    w.OnStartZip = [&](TZipWriter&, const std::string& Name, TZipHeaderInfo&, bool& Skip) {
        Skip = Name.find("a.txt") != std::string::npos;
    };
    int last = -1;
    w.OnTotalPercentDone = [&](auto&&, int P) { last = P; };
    EXPECT_EQ(w.ZipFiles(), 1);
    EXPECT_EQ(last, 100) << "the skipped file's size is taken off the total";
    EXPECT_EQ(test::ArchiveNames(dir / "s.zip"), std::vector<std::string>{"b.txt"});
}

TEST(TZipWriter, StopNowInStartZipInfoCancelsWithoutArchive) {
    TestDir dir;
    dir.File("src/a.txt", "abc");
    TZipWriter w;
    w.SetZipName(dir / "stop.zip");
    w.FilesList() = {dir.Path() + "/src/*"};
    w.OnStartZipInfo = [](TZipWriter&, int, int64_t, TEndCentral&, bool& Stop) { Stop = true; };
    bool completed = false;
    w.OnZipComplete = [&](TZipWriter&, int) { completed = true; };
    try {
        w.ZipFiles();
        ADD_FAILURE() << "no exception";
    } catch (const EUserCanceled& e) {
        EXPECT_STREQ(e.what(), "User canceled Zip operation");
    }
    EXPECT_FALSE(completed);
    EXPECT_FALSE(Exists(dir / "stop.zip"));
    EXPECT_TRUE(w.FilesList().empty());
}

TEST(TZipWriter, NoEventsGiveTheSameArchiveAsAllEvents) {
    TestDir dir;
    SourceTree tree(dir);
    TZipWriter plain;
    test::ConfigureSubFolderBackUp(plain, tree.Root, dir / "plain.zip");
    plain.ZipFiles();
    TZipWriter busy;
    test::ConfigureSubFolderBackUp(busy, tree.Root, dir / "busy.zip");
    busy.OnFilePercentDone = [](auto&&, int) {};
    busy.OnTotalPercentDone = [](auto&&, int) {};
    busy.OnStartZip = [](TZipWriter&, const std::string&, TZipHeaderInfo&, bool&) {};
    busy.ZipFiles();
    EXPECT_EQ(ReadWholeFile(dir / "plain.zip"), ReadWholeFile(dir / "busy.zip"));
}

TEST(TZipWriter, FileThatChangesWhileReadIsStoredAsRead) {
    QM_SKIP_WITHOUT_TOOLS("unzip");
    TestDir dir;
    std::string grow = dir.File("src/grow.txt", std::string(5000, 'g'));
    std::string shrink = dir.File("src/shrink.txt", std::string(50000, 's'));
    TZipWriter w;
    w.SetZipName(dir / "c.zip");
    w.FilesList() = {dir.Path() + "/src/*"};
    // OnStartZip fires after the file was opened and measured.
    w.OnStartZip = [&](TZipWriter&, const std::string& Name, TZipHeaderInfo&, bool&) {
        if (Name == grow) dir.File("src/grow.txt", std::string(9000, 'G'));
        if (Name == shrink) ::truncate(shrink.c_str(), 100);
    };
    EXPECT_EQ(w.ZipFiles(), 2);
    test::CommandResult r = test::RunCommand("unzip -tq " + test::ShellQuote(dir / "c.zip"));
    EXPECT_EQ(r.Status, 0) << r.Output;
    // A file is read no further than its size at opening: a growing log cannot hold a run.
    r = test::RunCommand("unzip -p " + test::ShellQuote(dir / "c.zip") + " grow.txt | wc -c");
    EXPECT_EQ(r.Output, "5000\n");
    r = test::RunCommand("unzip -p " + test::ShellQuote(dir / "c.zip") + " shrink.txt | wc -c");
    EXPECT_EQ(r.Output, "100\n");
}

}  // namespace
}  // namespace qm
