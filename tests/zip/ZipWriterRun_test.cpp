// The writer's run state: what handlers see during a run, what a failed run leaves, and that
// a failed run releases everything so that the next one starts clean.
#include <gtest/gtest.h>

#include <stdexcept>

#include "WriterFixture.h"
#include "zip/ZipErrors.h"
#include "zip/ZipReader.h"
#include "zip/ZipWriter.h"

namespace qm {
namespace {

using test::TestDir;

TEST(TZipWriterRun, StateIsWritingOnlyWhileARunIsInProgress) {
    TestDir dir;
    test::SourceTree src(dir);
    TZipWriter zip;
    EXPECT_EQ(zip.State(), TZipWriterState::Idle);
    const std::string archive = dir / "out.zip";
    test::ConfigureSubFolderBackUp(zip, src.Root, archive);
    int seen = 0;
    zip.OnStartZip = [&](TZipWriter& Writer, const std::string&, TZipHeaderInfo&, bool&) {
        EXPECT_EQ(Writer.State(), TZipWriterState::Writing);
        ++seen;
    };
    EXPECT_EQ(zip.ZipFiles(), 9);
    EXPECT_EQ(seen, 9);
    EXPECT_EQ(zip.State(), TZipWriterState::Idle);
    EXPECT_TRUE(zip.FilesList().empty());
}

TEST(TZipWriterRun, FailedRunLeavesNothingAndTheNextRunStartsClean) {
    TestDir dir;
    test::SourceTree src(dir);
    const std::string archive = dir / "out.zip";
    TZipWriter zip;
    zip.SetTempPath(dir.Folder("temp"));
    test::ConfigureSubFolderBackUp(zip, src.Root, archive);
    int started = 0;
    // A handler that fails in the middle of the run, after some files went out.
    zip.OnStartZip = [&](TZipWriter&, const std::string&, TZipHeaderInfo&, bool&) {
        if (++started == 4) throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(zip.ZipFiles(), std::runtime_error);
    EXPECT_EQ(zip.State(), TZipWriterState::Failed);
    EXPECT_FALSE(test::Exists(archive));
    EXPECT_TRUE(test::FilesWithPrefix(dir / "temp", "XQZ").empty());
    EXPECT_TRUE(zip.FilesList().empty());

    // Refused while writing, even from a handler of the same writer.
    zip.OnStartZip = [&](TZipWriter& Writer, const std::string&, TZipHeaderInfo&, bool&) {
        Writer.FilesList().push_back(src.Root + "alpha.txt");
        EXPECT_THROW(Writer.ZipFiles(), Exception);
        Writer.FilesList().pop_back();
        EXPECT_EQ(Writer.State(), TZipWriterState::Writing);
    };
    test::ConfigureSubFolderBackUp(zip, src.Root, archive);
    EXPECT_EQ(zip.ZipFiles(), 9);
    EXPECT_EQ(zip.State(), TZipWriterState::Idle);
    TZipReader check;
    check.SetZipName(archive);
    check.OpenZip();
    EXPECT_EQ(check.Count(), 9);
}

TEST(TZipWriterRun, UpdateFailingAfterTheDataKeepsTheOldArchiveAndNoTemporaryFile) {
    TestDir dir;
    test::SourceTree src(dir);
    const std::string archive = dir / "out.zip";
    const std::string temp = dir.Folder("temp");
    {
        TZipWriter first;
        test::ConfigureSubFolderBackUp(first, src.Root, archive);
        ASSERT_EQ(first.ZipFiles(), 9);
    }
    const std::string before = test::ReadWholeFile(archive);
    src.Add("new.txt", "a file the update adds\n");
    TZipWriter zip;
    zip.SetTempPath(temp);
    zip.SetZipAction(zaReplace);
    test::ConfigureSubFolderBackUp(zip, src.Root, archive);
    zip.OnEndZip = [&](TZipWriter&, const std::string& Name, int64_t, int64_t, int64_t) {
        if (Name.find("new.txt") != std::string::npos) throw EUserCanceled(sidUserAborted);
    };
    EXPECT_THROW(zip.ZipFiles(), EUserCanceled);
    EXPECT_EQ(zip.State(), TZipWriterState::Failed);
    EXPECT_EQ(test::ReadWholeFile(archive), before);
    EXPECT_TRUE(test::FilesWithPrefix(temp, "XQZ").empty());
}

}  // namespace
}  // namespace qm
