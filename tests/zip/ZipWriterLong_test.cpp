// Back-ups at scale (label long, not in the default run): many small files, and entries and
// offsets beyond the 32-bit fields of the classic records.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "WriterFixture.h"
#include "zip/ZipWriter.h"

namespace qm {
namespace {

using test::RunCommand;
using test::ShellQuote;
using test::TestDir;

double SecondsSince(std::chrono::steady_clock::time_point Start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

TEST(TZipWriterLong, TwentyThousandSmallFiles) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "7z", "bsdtar", "python3");
    TestDir dir;
    const std::string root = dir.Folder("src") + "/";
    test::ExpectedEntries expected;
    for (int d = 0; d < 200; ++d) {
        char folder[32];
        std::snprintf(folder, sizeof folder, "d%03d/", d);
        for (int f = 0; f < 100; ++f) {
            char name[32];
            std::snprintf(name, sizeof name, "f%03d.txt", f);
            std::string rel = std::string(folder) + name;
            std::string full = dir.File("src/" + rel, test::TextBytes(static_cast<size_t>(f * 37)));
            test::SetMTime(full, 1700000000);
            expected.push_back({rel, full});
        }
    }
    const std::string archive = dir / "many.zip";
    TZipWriter w;
    test::ConfigureSubFolderBackUp(w, root, archive);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(w.ZipFiles(), 20000);
    std::printf("20,000 files: created in %.2f s\n", SecondsSince(start));
    EXPECT_EQ(test::CheckArchive(archive, expected), "");

    // An update that adds one file copies the 20,000 entries.
    std::string extra = dir.File("src/zz.txt", "one more");
    test::SetMTime(extra, 1700000000);
    expected.push_back({"zz.txt", extra});
    TZipWriter u;
    test::ConfigureSubFolderBackUp(u, root, archive);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(u.ZipFiles(), 1);
    std::printf("20,000 files: updated in %.2f s\n", SecondsSince(start));
    EXPECT_EQ(test::CheckArchive(archive, expected), "");
}

TEST(TZipWriterLong, FiveGiBSparseFilesUseZip64) {
    QM_SKIP_WITHOUT_TOOLS("unzip", "python3");
    TestDir dir;
    const int64_t kSize = int64_t{5} << 30;
    const std::string deflated = dir.File("src/1-deflated.bin");
    const std::string stored = dir.File("src/2-stored.big");
    ASSERT_EQ(::truncate(deflated.c_str(), kSize), 0);
    ASSERT_EQ(::truncate(stored.c_str(), kSize), 0);
    const std::string small = dir.File("src/3-small.txt", "behind 4 GiB\n");
    for (const std::string& f : {deflated, stored, small}) test::SetMTime(f, 1700000000);
    const std::string archive = dir / "big.zip";
    TZipWriter w;
    w.SetZipName(archive);
    w.NoCompressList() = {"*.big"};
    w.FilesList() = {dir.Path() + "/src/*"};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(w.ZipFiles(), 3);
    std::printf("2 x 5 GiB: written in %.1f s\n", SecondsSince(start));

    test::CommandResult r = RunCommand(
        "python3 -c 'import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\n"
        "print([(i.filename,i.file_size,i.compress_type,i.header_offset>0xFFFFFFFF) "
        "for i in z.infolist()])\nprint(z.testzip())' " +
        ShellQuote(archive));
    EXPECT_EQ(r.Output,
              "[('1-deflated.bin', 5368709120, 8, False), ('2-stored.big', 5368709120, 0, "
              "False), ('3-small.txt', 13, 0, True)]\nNone\n");
    r = RunCommand("unzip -tq " + ShellQuote(archive));
    EXPECT_EQ(r.Status, 0) << r.Output;
    r = RunCommand("7z t " + ShellQuote(archive));
    EXPECT_NE(r.Output.find("Everything is Ok"), std::string::npos) << r.Output;
    r = RunCommand("bsdtar -tf " + ShellQuote(archive));
    EXPECT_EQ(r.Output, "1-deflated.bin\n2-stored.big\n3-small.txt\n");
    std::printf("2 x 5 GiB: checked in %.1f s in all\n", SecondsSince(start));
}

}  // namespace
}  // namespace qm
