// The folder listing: order, attributes, links and special files.
#include "platform/FindFile.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/FileAttributes.h"
#include "support/TestDir.h"
#include "support/Unprivileged.h"

namespace qm {
namespace {

std::vector<TSearchRec> ListAll(const std::string& Spec) {
    std::vector<TSearchRec> out;
    TSearchRec rec;
    for (int rc = FindFirst(Spec, faAnyFile, rec); rc == 0; rc = FindNext(rec)) out.push_back(rec);
    FindClose(rec);
    return out;
}

std::vector<std::string> Names(const std::vector<TSearchRec>& Recs) {
    std::vector<std::string> out;
    for (auto& r : Recs) out.push_back(r.Name);
    return out;
}

const TSearchRec* Find(const std::vector<TSearchRec>& Recs, const std::string& Name) {
    for (auto& r : Recs)
        if (r.Name == Name) return &r;
    return nullptr;
}

TEST(FindFile, DotsFirstThenNamesFoldedThenBytes) {
    test::TestDir dir;
    for (const char* n : {"b.txt", "B.txt", "a", "A", "_x", "Zeta", "alpha", ".hidden", "[1]", "~"})
        dir.File(n);
    dir.Folder("beta");
    std::vector<std::string> want = {".",     "..",   ".hidden", "A",   "a",  "alpha", "B.txt",
                                     "b.txt", "beta", "Zeta",    "[1]", "_x", "~"};
    EXPECT_EQ(Names(ListAll(dir / "*")), want);
    EXPECT_EQ(Names(ListAll(dir / "*.*")), want);
}

TEST(FindFile, ListingOrderIsStrictAndFoldsOnlyAscii) {
    EXPECT_TRUE(ListingOrderLess(".", ".."));
    EXPECT_TRUE(ListingOrderLess("..", "!"));
    EXPECT_FALSE(ListingOrderLess("a", "a"));
    EXPECT_TRUE(ListingOrderLess("A", "a"));
    EXPECT_FALSE(ListingOrderLess("a", "A"));
    EXPECT_TRUE(ListingOrderLess("ab", "AC"));
    EXPECT_TRUE(ListingOrderLess("a", "ab"));
    // Non-ASCII bytes are not folded: 0xC3 0x89 and 0xC3 0xA9 order by bytes.
    EXPECT_TRUE(ListingOrderLess("\xC3\x89", "\xC3\xA9"));
    EXPECT_TRUE(ListingOrderLess("Z", "\xC3\x89"));
}

TEST(FindFile, SizesTimesAndAttributes) {
    test::TestDir dir;
    const std::string ro = dir.File("ro.txt", "12345");
    ASSERT_EQ(chmod(ro.c_str(), 0444), 0);
    dir.File(".dot", "x");
    dir.Folder("sub");
    auto recs = ListAll(dir / "*");
    const TSearchRec* r = Find(recs, "ro.txt");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Size, 5);
    EXPECT_EQ(r->Size64, 5);
    EXPECT_EQ(r->Attr, faReadOnly | faArchive);
    EXPECT_NE(r->Time, 0u);
    ASSERT_TRUE(Find(recs, ".dot"));
    EXPECT_EQ(Find(recs, ".dot")->Attr, faHidden | faArchive);
    ASSERT_TRUE(Find(recs, "sub"));
    EXPECT_EQ(Find(recs, "sub")->Attr, faDirectory);
    EXPECT_EQ(recs[0].Attr & faDirectory, faDirectory);
    EXPECT_EQ(recs[1].Attr & faDirectory, faDirectory);
    EXPECT_EQ(FileGetAttr(ro), faReadOnly | faArchive);
    EXPECT_EQ(FileGetAttr(dir / "nothing"), faInvalid);
}

TEST(FindFile, SizeBeyondFourGibibytesKeepsTheFullValue) {
    test::TestDir dir;
    const std::string f = dir.File("sparse.bin");
    const int64_t size = (INT64_C(1) << 32) + 7;
    ASSERT_EQ(truncate(f.c_str(), size), 0);
    auto recs = ListAll(dir / "*");
    const TSearchRec* r = Find(recs, "sparse.bin");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Size64, size);
    EXPECT_EQ(r->Size, 7);
}

TEST(FindFile, LinksAndSpecialFiles) {
    test::TestDir dir;
    dir.File("target.txt", "0123456789");
    dir.Folder("realdir");
    ASSERT_EQ(symlink("target.txt", (dir / "link.txt").c_str()), 0);
    ASSERT_EQ(symlink("realdir", (dir / "linkdir").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
    ASSERT_EQ(symlink("loop", (dir / "loop").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = dir / "sock";
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sockPath.c_str());
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    auto recs = ListAll(dir / "*");
    close(s);
    // Links are never followed: each is listed as itself, whatever it points to (or not), with
    // the length of its target as its size.
    EXPECT_EQ(Names(recs),
              (std::vector<std::string>{".", "..", "dangling", "fifo", "link.txt", "linkdir",
                                        "loop", "realdir", "sock", "target.txt"}));
    for (const auto& [name, targetLength] : {std::pair<const char*, int>{"link.txt", 10},
                                             {"linkdir", 7},
                                             {"dangling", 7},
                                             {"loop", 4}}) {
        const TSearchRec* link = Find(recs, name);
        ASSERT_TRUE(link) << name;
        EXPECT_EQ(link->Attr, faSymLink) << name;
        EXPECT_EQ(link->Size64, targetLength) << name;
    }
    const TSearchRec* fifo = Find(recs, "fifo");
    ASSERT_TRUE(fifo);
    EXPECT_EQ(fifo->Attr, faDevice);
    EXPECT_EQ(fifo->Size64, 0);
    EXPECT_EQ(Find(recs, "sock")->Attr, faDevice);
}

TEST(FindFile, EntryVanishingAfterTheFolderWasReadIsLeftOut) {
    test::TestDir dir;
    dir.File("a");
    dir.File("b");
    dir.File("c");
    TSearchRec rec;
    ASSERT_EQ(FindFirst(dir / "*", 0, rec), 0);  // "." ; the folder has been read now
    ASSERT_EQ(unlink((dir / "b").c_str()), 0);
    std::vector<std::string> seen;
    while (FindNext(rec) == 0) seen.push_back(rec.Name);
    EXPECT_EQ(seen, (std::vector<std::string>{"..", "a", "c"}));
    EXPECT_EQ(FindNext(rec), feNoMoreFiles) << "an exhausted listing stays exhausted";
}

TEST(FindFile, MissingAndUnreadableFoldersFailTheFirstCall) {
    test::TestDir dir;
    TSearchRec rec;
    EXPECT_NE(FindFirst(dir / "missing/*", 0, rec), 0);
    EXPECT_FALSE(rec.FindHandle);
    const std::string locked = dir.Folder("locked");
    dir.File("locked/x");
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    EXPECT_TRUE(test::RunUnprivileged([&] {
        TSearchRec r;
        return FindFirst(locked + "/*", 0, r) == EACCES && !r.FindHandle;
    }));
    // The check itself must be able to see a readable folder.
    EXPECT_TRUE(test::RunUnprivileged([&] {
        TSearchRec r;
        return FindFirst(dir.Path() + "/*", 0, r) == 0;
    }));

    // Readable but not searchable: its names are there, nothing can be looked at.
    const std::string nox = dir.Folder("nox");
    dir.File("nox/b.txt");
    dir.File("nox/a.txt");
    ASSERT_EQ(chmod(nox.c_str(), 0644), 0);
    // A full listing starts with ".", whose failure fails the listing.
    EXPECT_TRUE(test::RunUnprivileged([&] {
        TSearchRec r;
        return FindFirst(nox + "/*.*", faAnyFile, r) == EACCES && !r.FindHandle;
    }));
    // Without the dots, each entry comes bare and the listing goes on to the end.
    EXPECT_TRUE(test::RunUnprivileged([&] {
        TSearchRec r;
        if (FindFirst(nox + "/*.txt", 0, r) != 0 || r.Name != "a.txt" || r.Attr != 0) return false;
        return FindNext(r) == 0 && r.Name == "b.txt" && FindNext(r) == feNoMoreFiles;
    }));
}

TEST(FindFile, OneNameAndPatternLookups) {
    test::TestDir dir;
    dir.File("Report.TXT", "abc");
    dir.File("other.doc");
    TSearchRec rec;
    ASSERT_EQ(FindFirst(dir / "Report.TXT", 0, rec), 0);
    EXPECT_EQ(rec.Name, "Report.TXT");
    EXPECT_EQ(rec.Size, 3);
    EXPECT_EQ(FindNext(rec), feNoMoreFiles);
    EXPECT_EQ(FindFirst(dir / "report.txt", 0, rec), feNoMoreFiles) << "names are exact";
    EXPECT_EQ(Names(ListAll(dir / "*.txt")), (std::vector<std::string>{"Report.TXT"}));
    EXPECT_EQ(Names(ListAll(dir / "*.DOC")), (std::vector<std::string>{"other.doc"}));
}

}  // namespace
}  // namespace qm
