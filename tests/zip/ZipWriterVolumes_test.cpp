// Volume output: an archive cut into volumes of a fixed size (blocks) or spread over full file
// systems (spanned). Every volume must fit, and the set must hold every file exactly.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "WriterFixture.h"
#include "support/TmpfsMount.h"
#include "zip/ZipErrors.h"
#include "zip/ZipWriter.h"

namespace qm {
namespace {

using test::ReadWholeFile;
using test::RunCommand;
using test::ShellQuote;
using test::SourceTree;
using test::TestDir;

// Reads a volume set through its central directory (disk number + offset of every entry, data
// running on across volumes) and compares each entry with its source file.
const char* const kVolumeCheck = R"PY(
import sys, struct, zlib
vols = [open(v, 'rb').read() for v in sys.argv[2].split('\n')]
sources = sys.argv[3].split('\n')
starts = [sum(len(v) for v in vols[:i]) for i in range(len(vols))]
whole = b''.join(vols)
last = vols[-1]
e = last.rfind(b'PK\x05\x06')
this_disk, cd_disk, n_disk, n_total, cd_size, cd_off = struct.unpack('<HHHHII', last[e+4:e+20])
assert this_disk == len(vols) - 1, 'end record disk %d of %d volumes' % (this_disk, len(vols))
assert n_total == len(sources), 'entries %d' % n_total
p = starts[cd_disk] + cd_off
for src in sources:
    assert whole[p:p+4] == b'PK\x01\x02', 'central record'
    (meth, crc, csize, usize, nlen, xlen, clen, disk, loff) = struct.unpack('<10xH4xIIIHHHH6xI', whole[p:p+46])
    q = starts[disk] + loff
    assert whole[q:q+4] == b'PK\x03\x04', 'local header'
    lnlen, lxlen = struct.unpack('<HH', whole[q+26:q+30])
    data = whole[q+30+lnlen+lxlen:q+30+lnlen+lxlen+csize]
    out = data if meth == 0 else zlib.decompressobj(-15).decompress(data)
    want = open(src, 'rb').read()
    assert out == want and zlib.crc32(out) == crc and usize == len(want), src
    p += 46 + nlen + xlen + clen
print('ok')
)PY";

std::string CheckVolumes(const TestDir& Dir, const std::vector<std::string>& Volumes,
                         const std::vector<std::string>& Sources) {
    std::string vols, srcs;
    for (const auto& v : Volumes) vols += (vols.empty() ? "" : "\n") + v;
    for (const auto& s : Sources) srcs += (srcs.empty() ? "" : "\n") + s;
    std::string script = Dir.File("volcheck.py", kVolumeCheck);
    return RunCommand("python3 " + ShellQuote(script) + " x " + ShellQuote(vols) + " " +
                      ShellQuote(srcs))
        .Output;
}

TEST(TZipWriterVolumes, BlocksNeverExceedTheirSizeAndHoldEveryFile) {
    TestDir dir;
    SourceTree tree(dir);
    const std::string archive = dir / "set.zip";
    TZipWriter w;
    test::ConfigureSubFolderBackUp(w, tree.Root, archive);
    w.SetTempPath(dir.Folder("tmp"));
    w.MultiZipInfo().MultiMode = mmBlocks;
    w.MultiZipInfo().FirstBlockSize = 30000;
    w.MultiZipInfo().BlockSize = 25000;
    std::vector<int> disks;
    w.OnGetNextDisk = [&](TZipReader& Sender, int NextDisk, std::string& FName) {
        disks.push_back(NextDisk);
        Sender.DefaultGetNextDisk(Sender, NextDisk, FName);  // set.002, set.003, ...
    };
    EXPECT_EQ(w.ZipFiles(), 9);
    ASSERT_GE(disks.size(), 3u);
    std::vector<std::string> volumes{archive};
    for (int d : disks) {
        char ext[8];
        std::snprintf(ext, sizeof ext, ".%03d", d);
        volumes.push_back(dir / ("set" + std::string(ext)));
        EXPECT_EQ(d, static_cast<int>(volumes.size()));
    }
    for (size_t i = 0; i < volumes.size(); ++i) {
        int64_t size = static_cast<int64_t>(ReadWholeFile(volumes[i]).size());
        EXPECT_LE(size, i == 0 ? 30000 : 25000) << volumes[i];
        EXPECT_GT(size, 0);
    }
    std::vector<std::string> sources;
    for (const auto& e : tree.Recursive()) sources.push_back(e.second);
    EXPECT_EQ(CheckVolumes(dir, volumes, sources), "ok\n");
    EXPECT_TRUE(test::FilesWithPrefix(dir / "tmp", "XQZ").empty()) << "staging files removed";
}

TEST(TZipWriterVolumes, ProgressCountsBothPasses) {
    TestDir dir;
    dir.File("src/f.bin", test::NoiseBytes(40000, 3));
    TZipWriter w;
    w.SetZipName(dir / "v.zip");
    w.SetPackLevel(0);
    w.SetTempPath(dir.Folder("tmp"));
    w.FilesList() = {dir.Path() + "/src/f.bin"};
    w.MultiZipInfo().MultiMode = mmBlocks;
    w.MultiZipInfo().FirstBlockSize = 1 << 20;
    std::vector<int> file, total;
    w.OnFilePercentDone = [&](auto&&, int P) { file.push_back(P); };
    w.OnTotalPercentDone = [&](auto&&, int P) { total.push_back(P); };
    EXPECT_EQ(w.ZipFiles(), 1);
    // Reading halves the file figure (40, 80, 100 become 20, 40, 50); copying the 40,000
    // staged bytes in 16,000-byte pieces counts from the uncompressed size on.
    EXPECT_EQ(file, (std::vector<int>{20, 40, 50, 70, 90, 100}));
    EXPECT_EQ(total, (std::vector<int>{20, 40, 50, 70, 90, 100, 100}));
}

TEST(TZipWriterVolumes, EmptyNameFromTheNextDiskHandlerCancels) {
    TestDir dir;
    SourceTree tree(dir);
    TZipWriter w;
    test::ConfigureSubFolderBackUp(w, tree.Root, dir / "set.zip");
    w.SetTempPath(dir.Folder("tmp"));
    w.MultiZipInfo().MultiMode = mmBlocks;
    w.MultiZipInfo().FirstBlockSize = 30000;
    w.MultiZipInfo().BlockSize = 30000;
    int calls = 0;
    w.OnGetNextDisk = [&](TZipReader& Sender, int NextDisk, std::string& FName) {
        if (++calls == 2) {
            FName.clear();
            return;
        }
        Sender.DefaultGetNextDisk(Sender, NextDisk, FName);
    };
    try {
        w.ZipFiles();
        ADD_FAILURE() << "no exception";
    } catch (const EUserCanceled& e) {
        EXPECT_STREQ(e.what(), "User canceled Zip operation");
    }
    EXPECT_FALSE(test::Exists(dir / "set.zip"));
    EXPECT_FALSE(test::Exists(dir / "set.002")) << "no volume of a failed run remains";
    EXPECT_TRUE(test::FilesWithPrefix(dir / "tmp", "XQZ").empty());
}

TEST(TZipWriterVolumes, AnExistingArchiveIsNotRebuiltIntoVolumes) {
    TestDir dir;
    std::string a = dir.File("src/a.txt", "a");
    const std::string archive = dir / "set.zip";
    TZipWriter first;
    first.SetZipName(archive);
    first.FilesList() = {a};
    EXPECT_EQ(first.ZipFiles(), 1);
    const std::string before = ReadWholeFile(archive);
    TZipWriter w;
    w.SetZipName(archive);
    w.MultiZipInfo().MultiMode = mmBlocks;
    w.FilesList() = {a};
    EXPECT_THROW(w.ZipFiles(), EZipError);
    EXPECT_EQ(ReadWholeFile(archive), before);
}

TEST(TZipWriterVolumes, SpannedOverAFullFileSystem) {
    TestDir dir;
    SourceTree tree(dir);
    const std::string disk = dir.Folder("disk");
    test::TTmpfsMount mount(disk, "48k");
    if (!mount.Mounted()) GTEST_SKIP() << mount.Why();
    const std::string archive = disk + "/span.zip";
    TZipWriter w;
    test::ConfigureSubFolderBackUp(w, tree.Root, archive);
    w.SetTempPath(dir.Folder("tmp"));
    w.MultiZipInfo().MultiMode = mmSpan;
    std::vector<std::string> volumes;
    // "Inserting the next disk": the finished volume is taken off the file system.
    w.OnGetNextDisk = [&](TZipReader&, int NextDisk, std::string& FName) {
        std::string saved = dir / ("vol" + std::to_string(NextDisk - 1));
        EXPECT_EQ(RunCommand("mv " + ShellQuote(FName) + " " + ShellQuote(saved)).Status, 0);
        volumes.push_back(saved);
    };
    EXPECT_EQ(w.ZipFiles(), 9);
    volumes.push_back(archive);
    ASSERT_GE(volumes.size(), 2u);
    std::vector<std::string> sources;
    for (const auto& e : tree.Recursive()) sources.push_back(e.second);
    EXPECT_EQ(CheckVolumes(dir, volumes, sources), "ok\n");
}

}  // namespace
}  // namespace qm
