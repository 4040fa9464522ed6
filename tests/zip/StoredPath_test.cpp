// Stored names never begin with "/" and never climb out of the archive, whatever the path.
#include "zip/StoredPath.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(StoredPath, NormalizeResolvesDotsAndRepeatedSlashes) {
    EXPECT_EQ(NormalizePath("/a/./b//c/../d.txt"), "/a/b/d.txt");
    EXPECT_EQ(NormalizePath("/../../x"), "/x");
    EXPECT_EQ(NormalizePath("../x/./y/"), "x/y/");
    EXPECT_EQ(NormalizePath("/"), "/");
    EXPECT_EQ(NormalizePath("/a/.."), "/");
    EXPECT_EQ(NormalizePath(""), "");
}

TEST(StoredPath, RelativeToTheRootOrElseTheWholeFolderPath) {
    TStoredPathRules r;
    r.StorePaths = true;
    r.RelativePaths = true;
    r.RootDir = "/data/";
    EXPECT_EQ(StoredNameOf("/data/a.doc", r), "a.doc");
    EXPECT_EQ(StoredNameOf("/data/Sub/b.doc", r), "Sub/b.doc");
    EXPECT_EQ(StoredNameOf("/data/Sub/", r), "Sub/");
    EXPECT_EQ(StoredNameOf("/data/../etc/passwd", r), "etc/passwd");
    EXPECT_EQ(StoredNameOf("/Data/a.doc", r), "Data/a.doc") << "the root is matched exactly";
    EXPECT_EQ(StoredNameOf("/database/a.doc", r), "database/a.doc");
    r.RootDir = "/";
    EXPECT_EQ(StoredNameOf("/a.doc", r), "a.doc");
    r.RelativePaths = false;
    r.RootDir = "/data/";
    EXPECT_EQ(StoredNameOf("/data/a.doc", r), "data/a.doc");
    EXPECT_EQ(StoredNameOf("rel/../../up.txt", r), "up.txt");
    r.StoreVolumes = true;
    EXPECT_EQ(StoredNameOf("/data/a.doc", r), "data/a.doc");
    r.StorePaths = false;
    EXPECT_EQ(StoredNameOf("/data/Sub/b.doc", r), "b.doc");
}

}  // namespace
}  // namespace qm
