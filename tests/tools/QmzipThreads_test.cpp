// qmzip -j: the thread count changes nothing in the archive; a bad count is refused.
#include <gtest/gtest.h>

#include <string>

#include "support/ArchiveCheck.h"
#include "support/TestDir.h"

namespace qm {
namespace {

using test::RunCommand;
using test::ShellQuote;
using test::TestDir;

test::CommandResult QmzipIn(const std::string& Root, const std::string& Args) {
    return RunCommand(ShellQuote(QMZIP_PATH) + " -q -r -C " + ShellQuote(Root) + " " + Args);
}

TEST(QmzipThreads, EveryThreadCountWritesTheSameArchive) {
    TestDir dir;
    const std::string root = dir.Folder("src");
    for (int i = 0; i < 40; ++i) {
        std::string text;
        for (int j = 0; text.size() < static_cast<size_t>(i) * 3000; ++j)
            text += "line " + std::to_string(j * i) + " of file " + std::to_string(i) + "\n";
        dir.File("src/d" + std::to_string(i % 4) + "/f" + std::to_string(i) + ".txt", text);
    }
    std::string first;
    for (const char* j : {"-j1", "-j 2", "-j8", "-j0"}) {
        const std::string archive = dir / (std::string("a") + j + ".zip");
        test::CommandResult r = QmzipIn(root, std::string(j) + " " + ShellQuote(archive) + " '*'");
        ASSERT_EQ(r.Status, 0) << j << ": " << r.Output;
        const std::string bytes = test::ReadWholeFile(archive);
        if (first.empty())
            first = bytes;
        else
            EXPECT_TRUE(bytes == first) << j;
    }
}

TEST(QmzipThreads, ABadThreadCountIsRefused) {
    TestDir dir;
    for (const char* bad : {"-j", "-j x", "-j -1", "-j 1000", "-jz"}) {
        test::CommandResult r = QmzipIn(dir.Path(), std::string(bad) + " a.zip '*'");
        EXPECT_EQ(r.Status, 1) << bad;
    }
}

}  // namespace
}  // namespace qm
