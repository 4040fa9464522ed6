// qmlist, run as the program it is: lines, walk order, skipped files and exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "platform/SystemFolders.h"
#include "support/TestDir.h"
#include "zip/checksum/Crc32.h"

namespace qm {
namespace {

struct TRun {
    int Status = -1;
    std::string Out, Err;
};

TRun RunQmList(const test::TestDir& Scratch, const std::string& Args) {
    const std::string program = GetProgramFolder() + "/../tools/qmlist";
    const std::string errFile = Scratch / "stderr.txt";
    const std::string cmd = "'" + program + "' " + Args + " 2>'" + errFile + "'";
    TRun run;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return run;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) run.Out.append(buf, n);
    const int status = pclose(p);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Err = test::ReadWholeFile(errFile);
    return run;
}

std::string Line(const std::string& Content, const std::string& Path) {
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", Crc32Of(Content.data(), Content.size()));
    return std::string(crc) + " " + std::to_string(Content.size()) + " " + Path + "\n";
}

TEST(QMList, ListsEachMaskInWalkOrderWithCrcAndSize) {
    test::TestDir src, scratch;
    const std::string big(100000, 'q');
    src.File("b.txt", big);
    src.File("A.txt", "alpha");
    src.File("sub/c.txt", "");
    src.File("data.csv", "1,2\n");
    src.File("skip.doc", "no");
    TRun run = RunQmList(scratch, "-r '" + src.Path() + "' '*.txt' '*.csv'");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, Line("alpha", src / "A.txt") + Line(big, src / "b.txt") +
                           Line("", src / "sub/c.txt") + Line("1,2\n", src / "data.csv"));
    EXPECT_EQ(run.Err, "");

    run = RunQmList(scratch, "'" + src.Path() + "/' '*.txt'");
    EXPECT_EQ(run.Out, Line("alpha", src / "A.txt") + Line(big, src / "b.txt"));
}

TEST(QMList, FilesThatCannotBeOpenedAreReportedAndSkipped) {
    test::TestDir src, scratch;
    src.File("a.txt", "a");
    ASSERT_EQ(mkfifo((src / "pipe.txt").c_str(), 0644), 0);
    src.File("z.txt", "z");
    TRun run = RunQmList(scratch, "'" + src.Path() + "' '*.txt'");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Out, Line("a", src / "a.txt") + Line("z", src / "z.txt"));
    EXPECT_NE(run.Err.find("pipe.txt"), std::string::npos) << run.Err;
}

TEST(QMList, UsageAndMissingFolder) {
    test::TestDir scratch;
    EXPECT_EQ(RunQmList(scratch, "").Status, 2);
    TRun run = RunQmList(scratch, "'" + scratch.Path() + "/missing' '*'");
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("missing"), std::string::npos);
}

}  // namespace
}  // namespace qm
