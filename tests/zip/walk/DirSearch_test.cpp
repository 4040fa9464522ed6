// The folder walk: order, masks, folder masks, depth, links and special files.
#include "zip/walk/DirSearch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/FileAttributes.h"
#include "platform/FileStream.h"
#include "support/TestDir.h"
#include "support/Unprivileged.h"

namespace qm {
namespace {

std::vector<std::string> Walk(const std::string& Start, const std::string& Mask, bool Recurse,
                              const std::string& Strip = "") {
    TDirSearch search(Start, Mask, Recurse);
    std::vector<std::string> out;
    TSearchRec rec;
    std::string name;
    while (search.NextFile(rec, name)) {
        EXPECT_EQ(name.rfind(Strip, 0), 0u) << name;
        out.push_back(name.substr(Strip.size()));
    }
    EXPECT_EQ(search.OpenLevels(), 0) << "a finished walk holds no listing";
    EXPECT_FALSE(search.NextFile(rec, name)) << "a finished walk stays finished";
    return out;
}

using Names = std::vector<std::string>;

class DirSearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir.File("data/b.txt", "bb");
        dir.File("data/A.txt", "a");
        dir.File("data/readme", "r");
        dir.File("data/notes.doc", "n");
        dir.File("data/.hidden.txt", "h");
        dir.File("data/sub/c.txt", "ccc");
        dir.File("data/sub/deeper/d.txt", "d");
        dir.File("data/.git/e.txt", "e");
        dir.Folder("data/empty");
        base = dir / "data/";
    }
    test::TestDir dir;
    std::string base;
};

TEST_F(DirSearchTest, WithoutSubFoldersOnlyDirectFilesInListingOrder) {
    EXPECT_EQ(Walk(dir / "data", "*.txt", false, base), (Names{".hidden.txt", "A.txt", "b.txt"}));
    EXPECT_EQ(Walk(base, "*.*", false, base),
              (Names{".hidden.txt", "A.txt", "b.txt", "notes.doc", "readme"}));
}

// Hidden folders (.git, .ssh, .config) hold user data and are entered like any other.
TEST_F(DirSearchTest, WithSubFoldersFolderPathComesBeforeItsContent) {
    EXPECT_EQ(Walk(dir / "data", "*.txt", true, base),
              (Names{".git/", ".git/e.txt", ".hidden.txt", "A.txt", "b.txt", "empty/", "sub/",
                     "sub/c.txt", "sub/deeper/", "sub/deeper/d.txt"}));
}

TEST_F(DirSearchTest, AppendedDotSelectsNamesWithoutExtension) {
    dir.File("data/trailing.", "t");
    EXPECT_EQ(Walk(base, "*.", false, base), (Names{"readme", "trailing."}));
    EXPECT_EQ(Walk(base, "readme", false, base), Names{}) << "the mask sees \"readme.\"";
    EXPECT_EQ(Walk(base, "readme.", false, base), (Names{"readme"}));
    EXPECT_EQ(Walk(base, "*.DOC", false, base), (Names{"notes.doc"}));
}

TEST_F(DirSearchTest, SizeIsReportedForFiles) {
    TDirSearch search(dir / "data/sub", "*", false);
    TSearchRec rec;
    rec.Name = "untouched";
    std::string name;
    ASSERT_TRUE(search.NextFile(rec, name));
    EXPECT_EQ(name, dir / "data/sub/c.txt");
    EXPECT_EQ(rec.Size, 3);
    EXPECT_EQ(rec.Size64, 3);
    EXPECT_EQ(rec.Name, "untouched");
}

TEST(DirSearch, FolderMasksSelectFolderLevels) {
    test::TestDir dir;
    dir.File("data/top.txt");
    dir.File("data/2020/a.txt");
    dir.File("data/2020/logs/l.txt");
    dir.File("data/2021/lots/m.txt");
    dir.File("data/2021/b.txt");
    dir.File("data/2021/b.doc");
    dir.File("data/1999/c.txt");
    dir.File("data/2file.txt");  // a file whose name fits the folder mask
    dir.File("data/.2hidden/x.txt");
    const std::string base = dir / "data/";
    EXPECT_EQ(Walk(base + "2*", "*.txt", false, base), (Names{"2020/a.txt", "2021/b.txt"}));
    EXPECT_EQ(Walk(base + "2*/lo?s/", "*.txt", false, base),
              (Names{"2020/logs/l.txt", "2021/lots/m.txt"}));
    EXPECT_EQ(Walk(base + "2*", "*.txt", true, base),
              (Names{"2020/a.txt", "2020/logs/", "2020/logs/l.txt", "2021/b.txt", "2021/lots/",
                     "2021/lots/m.txt"}));
    TDirSearch search(base + "2*/lo?s", "*", false);
    EXPECT_EQ(search.BaseDir(), base);
    EXPECT_EQ(search.DirMasks(), (Names{"2*", "lo?s"}));
    EXPECT_EQ(search.WildIndex(), 0);
}

TEST(DirSearch, RelativeStartWithWildcardFirstIsTakenFromTheCurrentFolder) {
    test::TestDir dir;
    dir.File("a1/x.txt");
    dir.File("b1/y.txt");
    char old[4096];
    ASSERT_TRUE(getcwd(old, sizeof old));
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    Names got = Walk("a*", "*.txt", false);
    TDirSearch search("a*/", "*", false);
    EXPECT_EQ(search.BaseDir(), "./");
    ASSERT_EQ(chdir(old), 0);
    EXPECT_EQ(got, (Names{"./a1/x.txt"}));
}

TEST(DirSearch, MissingStartFolderEndsAtOnce) {
    test::TestDir dir;
    EXPECT_EQ(Walk(dir / "missing", "*", true), Names{});
    EXPECT_EQ(Walk(dir / "missing*/x", "*", true), Names{});
}

TEST(DirSearch, WalksFarDeeperThanTwentyLevels) {
    test::TestDir dir;
    std::string rel;
    for (int i = 0; i < 40; ++i) rel += "d" + std::to_string(i) + "/";
    dir.File(rel + "deep.txt", "x");
    dir.File("d0/shallow.txt", "x");
    Names got = Walk(dir.Path(), "*.txt", true, dir.Path() + "/");
    ASSERT_EQ(got.size(), 42u);
    EXPECT_EQ(got.front(), "d0/");
    EXPECT_EQ(got[40], rel + "deep.txt");
    EXPECT_EQ(got.back(), "d0/shallow.txt");
}

TEST(DirSearch, AbandonedWalkReleasesEveryLevel) {
    test::TestDir dir;
    dir.File("a/b/c/d/e.txt");
    auto search = std::make_unique<TDirSearch>(dir.Path(), "*", true);
    TSearchRec rec;
    std::string name;
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(search->NextFile(rec, name));
    EXPECT_EQ(name, dir / "a/b/c/d/");
    EXPECT_EQ(search->OpenLevels(), 5);
    EXPECT_EQ(search->Level(), 4);
    search.reset();  // the sanitizer build reports any listing left behind
}

TEST(DirSearch, LinksLoopsAndSpecialFiles) {
    test::TestDir dir;
    dir.File("src/real.txt", "12345");
    dir.File("outside/secret.txt", "s");
    const std::string src = dir / "src";
    ASSERT_EQ(symlink("real.txt", (src + "/link.txt").c_str()), 0);
    ASSERT_EQ(symlink("..", (src + "/up").c_str()), 0);           // a loop
    ASSERT_EQ(symlink("../outside", (src + "/out").c_str()), 0);  // leaving the source
    ASSERT_EQ(symlink("self", (src + "/self").c_str()), 0);       // a link to itself
    ASSERT_EQ(symlink("nowhere.txt", (src + "/dangling.txt").c_str()), 0);
    ASSERT_EQ(mkfifo((src + "/pipe.txt").c_str(), 0644), 0);
    TDirSearch search(src, "*.txt", true);
    TSearchRec rec;
    std::string name;
    Names got;
    while (search.NextFile(rec, name)) {
        got.push_back(name.substr(src.size() + 1));
        if (got.back() == "link.txt") {
            EXPECT_EQ(rec.Size64, 8) << "the link's own size: its target's length";
            EXPECT_EQ(rec.Attr, faSymLink);
        }
        if (got.back() == "pipe.txt") EXPECT_EQ(rec.Attr, faDevice);
    }
    // Links are files to the walk, never folders: no loop, nothing from outside the source.
    EXPECT_EQ(got, (Names{"dangling.txt", "link.txt", "pipe.txt", "real.txt"}));
}

TEST(DirSearch, UnreadableSubFolderIsReportedAndLeftEmpty) {
    test::TestDir dir;
    dir.File("locked/x.txt");
    dir.File("open/y.txt");
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod((dir / "locked").c_str(), 0), 0);
    EXPECT_TRUE(test::RunUnprivileged([&] {
        return Walk(dir.Path(), "*.txt", true, dir.Path() + "/") ==
               Names{"locked/", "open/", "open/y.txt"};
    }));
    // An unreadable start folder ends the walk at once.
    EXPECT_TRUE(test::RunUnprivileged([&] { return Walk(dir / "locked", "*", true).empty(); }));
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

TEST(DirSearch, FileVanishingBetweenListingAndOpeningFailsTheOpen) {
    test::TestDir dir;
    dir.File("a.txt", "a");
    dir.File("b.txt", "b");
    TDirSearch search(dir.Path(), "*.txt", false);
    TSearchRec rec;
    std::string name;
    ASSERT_TRUE(search.NextFile(rec, name));
    ASSERT_EQ(name, dir / "a.txt");
    ASSERT_EQ(unlink(name.c_str()), 0);
    EXPECT_THROW(TFileStream(name, fmOpenRead | fmShareDenyWrite), EFOpenError);
    ASSERT_TRUE(search.NextFile(rec, name));
    EXPECT_EQ(name, dir / "b.txt");
    EXPECT_FALSE(search.NextFile(rec, name));
}

}  // namespace
}  // namespace qm
