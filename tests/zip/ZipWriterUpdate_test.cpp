// Rebuilding an existing archive: which old entries are kept or replaced under each action,
// what is carried over unchanged, and what a damaged old archive does.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "WriterFixture.h"
#include "zip/ZipErrors.h"
#include "zip/ZipWriter.h"

namespace qm {
namespace {

using test::ReadWholeFile;
using test::SourceTree;
using test::TestDir;

struct UpdateLog {
    std::vector<std::string> Lines;
    void Attach(TZipWriter& W) {
        W.OnUpdate = [this](TZipWriter&, TUpdateAction A, int I) {
            Lines.push_back((A == uaKeeping ? "keep " : "replace ") + std::to_string(I));
        };
        W.OnStartZipInfo = [this](TZipWriter&, int N, int64_t, TEndCentral&, bool&) {
            Lines.push_back("info " + std::to_string(N));
        };
        W.OnStartZip = [this](TZipWriter&, const std::string& Name, TZipHeaderInfo&, bool&) {
            Lines.push_back("start " + Name.substr(Name.rfind('/') + 1));
        };
    }
};

// A first back-up of a.txt, b.txt, c.txt under bare names, with comments on the archive and
// on b.txt.
struct OldArchive {
    explicit OldArchive(const TestDir& Dir) : Tree(Dir.Folder("src") + "/") {
        for (const char* n : {"a.txt", "b.txt", "c.txt"}) {
            Dir.File(std::string("src/") + n, std::string("old ") + n);
            test::SetMTime(Tree + n, 1700000000);
        }
        Archive = Dir / "old.zip";
        TZipWriter w;
        w.SetZipName(Archive);
        w.FilesList() = {Tree + "*.txt"};
        EXPECT_EQ(w.ZipFiles(), 3);
        w.SetZipComment("archive comment");
        w.SetEntryComment(1, "comment of b");
        w.SetZipName(Dir / "other.zip");  // writes the pending comments
    }
    std::string Tree;
    std::string Archive;
};

TEST(TZipWriterUpdate, PendingCommentsAreWrittenWhenTheNameChanges) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    OldArchive old(dir);
    test::CommandResult r = test::RunCommand("unzip -z " + test::ShellQuote(old.Archive));
    EXPECT_NE(r.Output.find("archive comment"), std::string::npos) << r.Output;
    EXPECT_EQ(test::CheckArchive(old.Archive,
                                 {{"a.txt", old.Tree + "a.txt"},
                                  {"b.txt", old.Tree + "b.txt"},
                                  {"c.txt", old.Tree + "c.txt"}},
                                 std::string("archive comment")),
              "");
}

TEST(TZipWriterUpdate, UpdateKeepsSameDatesReplacesNewerInPlaceAndAddsNew) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    OldArchive old(dir);
    dir.File("src/b.txt", "new b, longer than before");
    test::SetMTime(old.Tree + "b.txt", 1700000100);
    dir.File("src/d.txt", "new d");
    TZipWriter w;
    UpdateLog log;
    log.Attach(w);
    w.SetZipName(old.Archive);
    w.SetTempPath(dir.Folder("tmp"));
    w.FilesList() = {old.Tree + "*.txt"};
    EXPECT_EQ(w.ZipFiles(), 2) << "b replaced and d added; kept entries are not counted";
    EXPECT_EQ(log.Lines, (std::vector<std::string>{"keep 0", "replace 1", "start b.txt", "keep 2",
                                                   "info 1", "start d.txt"}));
    EXPECT_EQ(test::CheckArchive(old.Archive,
                                 {{"a.txt", old.Tree + "a.txt"},
                                  {"b.txt", old.Tree + "b.txt"},
                                  {"c.txt", old.Tree + "c.txt"},
                                  {"d.txt", old.Tree + "d.txt"}},
                                 std::string("archive comment")),
              "");
    EXPECT_TRUE(test::FilesWithPrefix(dir / "tmp", "XQZ").empty());
}

TEST(TZipWriterUpdate, KeptEntriesKeepTheirCommentsAndBytes) {
    QM_SKIP_WITHOUT_TOOLS("python3");
    TestDir dir;
    OldArchive old(dir);
    dir.File("src/z.txt", "z");
    TZipWriter w;
    w.SetZipName(old.Archive);
    w.FilesList() = {old.Tree + "z.txt"};
    EXPECT_EQ(w.ZipFiles(), 1);
    test::CommandResult r = test::RunCommand(
        "python3 -c 'import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\n"
        "print([i.comment.decode() for i in z.infolist()], z.comment.decode())' " +
        test::ShellQuote(old.Archive));
    EXPECT_EQ(r.Output, "['', 'comment of b', '', ''] archive comment\n");
    // The component holds the new archive's directory, comments included.
    EXPECT_EQ(w.Count(), 4);
    EXPECT_EQ(w.GetZipComment(), "archive comment");
    EXPECT_EQ(w.GetEntryComment(1), "comment of b");
    EXPECT_EQ(w.EntryList()->Items(3)->FileName(), "z.txt");
}

TEST(TZipWriterUpdate, ReplaceReplacesEveryMatchRegardlessOfDates) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    OldArchive old(dir);
    dir.File("src/a.txt", "rewritten a");
    test::SetMTime(old.Tree + "a.txt", 1600000000);  // older than its entry
    TZipWriter w;
    UpdateLog log;
    log.Attach(w);
    w.SetZipName(old.Archive);
    w.SetZipAction(zaReplace);
    w.FilesList() = {old.Tree + "a.txt", old.Tree + "c.txt"};
    EXPECT_EQ(w.ZipFiles(), 2);
    EXPECT_EQ(log.Lines,
              (std::vector<std::string>{"replace 0", "start a.txt", "replace 2", "start c.txt"}));
    EXPECT_EQ(test::CheckArchive(old.Archive, {{"a.txt", old.Tree + "a.txt"},
                                               {"b.txt", old.Tree + "b.txt"},
                                               {"c.txt", old.Tree + "c.txt"}}),
              "");
}

TEST(TZipWriterUpdate, FreshenReplacesNewerAndAddsNothingNew) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    OldArchive old(dir);
    dir.File("src/c.txt", "fresher c");
    test::SetMTime(old.Tree + "c.txt", 1700000200);
    dir.File("src/new.txt", "never added");
    TZipWriter w;  // a fresh component: the old directory is read for the freshen test
    w.SetZipName(old.Archive);
    w.SetZipAction(zaFreshen);
    w.FilesList() = {old.Tree + "*.txt", old.Tree + "new.txt"};
    EXPECT_EQ(w.ZipFiles(), 1);
    EXPECT_EQ(test::CheckArchive(old.Archive, {{"a.txt", old.Tree + "a.txt"},
                                               {"b.txt", old.Tree + "b.txt"},
                                               {"c.txt", old.Tree + "c.txt"}}),
              "");
}

TEST(TZipWriterUpdate, ReplacementThatIsNotWrittenKeepsTheOldEntry) {
    QM_SKIP_WITHOUT_TOOLS("python3", "unzip");
    TestDir dir;
    OldArchive old(dir);
    const std::string before =
        test::RunCommand("unzip -p " + test::ShellQuote(old.Archive) + " b.txt").Output;
    TZipWriter w;
    w.SetZipName(old.Archive);
    w.SetZipAction(zaReplace);
    w.FilesList() = {old.Tree + "b.txt"};
    w.OnStartZip = [](TZipWriter&, const std::string&, TZipHeaderInfo&, bool& Skip) {
        Skip = true;
    };
    EXPECT_EQ(w.ZipFiles(), 0);
    EXPECT_EQ(test::ArchiveNames(old.Archive),
              (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(test::RunCommand("unzip -p " + test::ShellQuote(old.Archive) + " b.txt").Output,
              before);
}

// The old archive's date changes while the update runs (another program touches it): loading a
// kept entry's comment then reads the directory again, and the merge must go on with what it
// holds, not with entries of the directory that was dropped.
TEST(TZipWriterUpdate, OldArchiveTouchedDuringTheMergeIsCarriedOverIntact) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    OldArchive old(dir);
    dir.File("src/a.txt", "new a");
    TZipWriter w;
    w.SetZipName(old.Archive);
    w.SetZipAction(zaReplace);
    w.FilesList() = {old.Tree + "a.txt"};
    w.OnStartZip = [&](TZipWriter&, const std::string&, TZipHeaderInfo&, bool&) {
        test::SetMTime(old.Archive, 1600000000);
    };
    EXPECT_EQ(w.ZipFiles(), 1);
    EXPECT_EQ(test::CheckArchive(old.Archive,
                                 {{"a.txt", old.Tree + "a.txt"},
                                  {"b.txt", old.Tree + "b.txt"},
                                  {"c.txt", old.Tree + "c.txt"}},
                                 std::string("archive comment")),
              "");
    EXPECT_EQ(w.GetEntryComment(1), "comment of b");
}

// The merge moves the old entries into the new directory as it goes: a run that fails half-way
// must still leave the component with the old archive's directory, as well as the old archive.
TEST(TZipWriterUpdate, AFailedMergeLeavesTheOldDirectoryInTheComponent) {
    TestDir dir;
    OldArchive old(dir);
    const std::string before = ReadWholeFile(old.Archive);
    for (const char* n : {"a.txt", "c.txt"}) dir.File(std::string("src/") + n, "new");
    TZipWriter w;
    w.SetZipName(old.Archive);
    w.SetZipAction(zaReplace);
    w.FilesList() = {old.Tree + "a.txt", old.Tree + "c.txt"};
    w.OnStartZip = [](TZipWriter&, const std::string& Name, TZipHeaderInfo&, bool&) {
        if (Name.ends_with("c.txt")) throw EUserCanceled(sidCanceledZipOp);
    };
    EXPECT_THROW(w.ZipFiles(), EUserCanceled);
    EXPECT_EQ(ReadWholeFile(old.Archive), before);
    ASSERT_EQ(w.Count(), 3);
    std::vector<std::string> names;
    for (int i = 0; i < w.Count(); ++i) names.push_back(w.EntryList()->Items(i)->StoredName());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(w.GetEntryComment(1), "comment of b");
}

TEST(TZipWriterUpdate, SuccessiveRunsReuseTheDirectoryAndStayValid) {
    QM_SKIP_WITHOUT_TOOLS("unzip");
    TestDir dir;
    OldArchive old(dir);
    TZipWriter w;
    w.SetZipName(old.Archive);
    for (int i = 0; i < 3; ++i) {
        std::string name = "run" + std::to_string(i) + ".txt";
        dir.File("src/" + name, "run " + std::to_string(i));
        w.FilesList() = {old.Tree + name};
        EXPECT_EQ(w.ZipFiles(), 1);
        EXPECT_EQ(w.Count(), 4 + i);
    }
    EXPECT_EQ(test::RunCommand("unzip -tq " + test::ShellQuote(old.Archive)).Status, 0);
}

TEST(TZipWriterUpdate, ArchiveKeepsItsPermissions) {
    QM_SKIP_WITHOUT_TOOLS("unzip");
    TestDir dir;
    OldArchive old(dir);
    ::chmod(old.Archive.c_str(), 0640);
    for (const std::string& temp : {dir.Folder("tmp"), std::string("/dev/shm")}) {
        dir.File("src/e.txt", temp);
        TZipWriter w;
        w.SetZipName(old.Archive);
        w.SetTempPath(temp);
        w.SetZipAction(zaReplace);
        w.FilesList() = {old.Tree + "e.txt"};
        EXPECT_EQ(w.ZipFiles(), 1);
        struct stat st {};
        ASSERT_EQ(::stat(old.Archive.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u) << "temporary folder " << temp;
        EXPECT_EQ(test::RunCommand("unzip -tq " + test::ShellQuote(old.Archive)).Status, 0);
        EXPECT_TRUE(test::FilesWithPrefix(dir.Path(), "XQZ").empty());
    }
}

TEST(TZipWriterUpdate, DamagedOldArchiveStopsTheUpdateUntouched) {
    TestDir dir;
    OldArchive old(dir);
    std::string bytes = ReadWholeFile(old.Archive);
    // The central record of the second entry: make its local-header offset point past the end.
    size_t central = bytes.find("PK\x01\x02");
    central = bytes.find("PK\x01\x02", central + 4);
    ASSERT_NE(central, std::string::npos);
    for (int i = 0; i < 4; ++i) bytes[central + 42 + i] = '\x7f';
    dir.File("old.zip", bytes);
    TZipWriter w;
    w.SetZipName(old.Archive);
    w.SetTempPath(dir.Folder("tmp"));
    dir.File("src/q.txt", "q");
    w.FilesList() = {old.Tree + "q.txt"};
    EXPECT_THROW(w.ZipFiles(), EBadZipFile);
    EXPECT_EQ(ReadWholeFile(old.Archive), bytes);
    EXPECT_TRUE(test::FilesWithPrefix(dir / "tmp", "XQZ").empty());
}

// An old archive whose end record says it is the last volume of a set: its entries may lie in
// other files, which an update cannot copy from. The run must refuse it, not switch to volume
// output half-way through (which left an empty temporary file and a volume in the archive's
// place).
TEST(TZipWriterUpdate, OldArchiveOfAVolumeSetIsRefusedUntouched) {
    TestDir dir;
    OldArchive old(dir);
    std::string bytes = ReadWholeFile(old.Archive);
    const size_t end = bytes.rfind("PK\x05\x06");
    ASSERT_NE(end, std::string::npos);
    bytes[end + 4] = '\x01';  // this disk
    bytes[end + 6] = '\x01';  // disk of the central directory
    dir.File("old.zip", bytes);
    TZipWriter w;
    w.SetZipName(old.Archive);
    w.SetTempPath(dir.Folder("tmp"));
    dir.File("src/q.txt", "q");
    w.FilesList() = {old.Tree + "q.txt"};
    EXPECT_THROW(w.ZipFiles(), EZipError);
    EXPECT_EQ(ReadWholeFile(old.Archive), bytes);
    EXPECT_TRUE(test::FilesWithPrefix(dir / "tmp", "XQZ").empty());
    EXPECT_EQ(w.MultiZipInfo().MultiMode, mmNone);
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

TEST(TZipWriterDispose, SourcesGoOnlyAfterSuccessAndOnlyUnlessSkipped) {
    QM_SKIP_WITHOUT_TOOLS("unzip");
    test::TestDir dir;
    std::string a = dir.File("src/a.txt", test::TextBytes(20000));
    std::string b = dir.File("src/b.txt", "keep me");
    {
        // A failed run deletes nothing.
        TZipWriter w;
        w.SetZipName(dir / "d.zip");
        w.SetDispose(true);
        w.FilesList() = {dir.Path() + "/src/*"};
        w.OnStartZipInfo = [](TZipWriter&, int, int64_t, TEndCentral&, bool& Stop) { Stop = true; };
        EXPECT_THROW(w.ZipFiles(), EUserCanceled);
        EXPECT_TRUE(test::Exists(a) && test::Exists(b));
    }
    TZipWriter w;
    w.SetZipName(dir / "d.zip");
    w.SetDispose(true);
    w.FilesList() = {dir.Path() + "/src/*"};
    std::vector<std::string> asked;
    w.OnDisposeFile = [&](TZipWriter&, const std::string& Name, bool& Skip) {
        asked.push_back(Name);
        Skip = Name == b;
    };
    EXPECT_EQ(w.ZipFiles(), 2);
    EXPECT_EQ(asked, (std::vector<std::string>{a, b}));
    EXPECT_FALSE(test::Exists(a));
    EXPECT_TRUE(test::Exists(b));
    EXPECT_EQ(test::RunCommand("unzip -tq " + test::ShellQuote(dir / "d.zip")).Status, 0);
}

}  // namespace
}  // namespace qm
