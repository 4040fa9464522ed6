// What a walk cannot reach is reported, and depth or path length never stops it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "support/DeepTree.h"
#include "support/TestDir.h"
#include "support/Unprivileged.h"
#include "zip/walk/DirSearch.h"

namespace qm {
namespace {

std::vector<std::string> WalkReporting(const std::string& Start,
                                       std::vector<std::pair<std::string, int>>& Unlisted) {
    TDirSearch search(Start, "*", true, [&](const std::string& Folder, int Error) {
        Unlisted.emplace_back(Folder, Error);
    });
    std::vector<std::string> names;
    TSearchRec rec;
    std::string name;
    while (search.NextFile(rec, name)) names.push_back(name);
    return names;
}

TEST(DirSearchReach, FoldersThatCannotBeListedAreReported) {
    test::TestDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    dir.File("a/ok.txt", "ok");
    dir.File("a/locked/x.txt", "x");
    dir.Folder("a/empty");
    ASSERT_EQ(::chmod((dir / "a/locked").c_str(), 0), 0);
    EXPECT_TRUE(test::RunUnprivileged([&] {
        std::vector<std::pair<std::string, int>> unlisted;
        const std::vector<std::string> names = WalkReporting(dir / "a", unlisted);
        const std::vector<std::string> expected{dir / "a/empty/", dir / "a/locked/",
                                                dir / "a/ok.txt"};
        // The empty folder is no failure; the locked one is, with the system's reason.
        return names == expected && unlisted.size() == 1 &&
               unlisted[0].first == dir / "a/locked/" && unlisted[0].second == EACCES;
    }));
    // A start folder that cannot be listed is reported before anything else.
    EXPECT_TRUE(test::RunUnprivileged([&] {
        std::vector<std::pair<std::string, int>> unlisted;
        return WalkReporting(dir / "a/locked", unlisted).empty() && unlisted.size() == 1 &&
               unlisted[0].first == dir / "a/locked/";
    }));
}

TEST(DirSearchReach, PathsBeyondPathMaxAreWalked) {
    test::TestDir dir;
    const std::string segment(250, 's');
    const std::string deepest = test::MakeDeepTree(dir.Path(), segment, 20, "end.txt", "end");
    ASSERT_GT(deepest.size(), 5000u);
    std::vector<std::pair<std::string, int>> unlisted;
    const std::vector<std::string> names = WalkReporting(dir.Path(), unlisted);
    EXPECT_TRUE(unlisted.empty());
    ASSERT_EQ(names.size(), 21u);  // 20 folders, then the file
    EXPECT_EQ(names.back(), deepest + "/end.txt");
    EXPECT_TRUE(test::RemoveTree(dir / segment));
}

}  // namespace
}  // namespace qm
