// Archives written by other tools (python3's zipfile and the zip command) are read completely
// and exactly: every entry and field is compared with what python3's zipfile itself reads from
// the same file, comments included.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/ArchiveCheck.h"
#include "support/TestDir.h"
#include "zip/ZipReader.h"
#include "zip/format/Cp437.h"

namespace qm {
namespace {

// Runs Script with python3 in Dir; returns its standard output. Fails the test on an error.
std::string RunPython(const test::TestDir& Dir, const std::string& Script) {
    const std::string script = Dir.File("script.py", Script);
    const std::string out = Dir / "script.out";
    const std::string cmd = "cd '" + Dir.Path() + "' && python3 '" + script + "' > '" + out + "'";
    const int rc = std::system(cmd.c_str());
    EXPECT_EQ(rc, 0) << "python3 failed: " << cmd;
    return test::ReadWholeFile(out);
}

std::string Hex(const std::string& Bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : Bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// What python3's zipfile reads from an archive: one line per entry, then the archive comment.
const char* kOracle = R"PY(
import sys, zipfile
def strip64(extra):
    out, i = b'', 0
    while i + 4 <= len(extra):
        tag = int.from_bytes(extra[i:i+2], 'little'); n = int.from_bytes(extra[i+2:i+4], 'little')
        if tag != 1: out += extra[i:i+4+n]
        i += 4 + n
    return out + extra[i:]
def dump(path):
    with zipfile.ZipFile(path) as z:
        for i in z.infolist():
            y, mo, d, h, mi, s = i.date_time
            dos = ((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) | (s // 2)
            print('|'.join(str(v) for v in [i.filename.encode('utf-8').hex(), i.flag_bits,
                  i.compress_type, i.CRC, i.compress_size, i.file_size, dos, i.comment.hex(),
                  strip64(i.extra).hex(), i.header_offset, i.external_attr, i.internal_attr,
                  i.create_version | (i.create_system << 8), i.extract_version]))
        print('comment|' + z.comment.hex())
dump(sys.argv[1] if len(sys.argv) > 1 else 'a.zip')
)PY";

std::vector<std::string> Split(const std::string& Line, char Sep) {
    std::vector<std::string> out;
    std::stringstream s(Line);
    std::string part;
    while (std::getline(s, part, Sep)) out.push_back(part);
    if (!Line.empty() && Line.back() == Sep) out.push_back("");
    return out;
}

// Reads Archive with TZipReader and compares everything with the oracle's view of it.
void ExpectReadsAsPythonDoes(const test::TestDir& Dir, const std::string& Archive) {
    std::string oracle = RunPython(
        Dir,
        std::string(kOracle).replace(std::string(kOracle).find("'a.zip'"), 7, "'" + Archive + "'"));
    std::vector<std::string> lines = Split(oracle, '\n');
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    ASSERT_FALSE(lines.empty());

    TZipReader r;
    r.SetZipName(Archive);
    r.OpenZip();
    ASSERT_EQ(r.Count(), static_cast<int>(lines.size()) - 1);
    for (int i = 0; i < r.Count(); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        const std::vector<std::string> f = Split(lines[static_cast<size_t>(i)], '|');
        ASSERT_EQ(f.size(), 14u);
        const TZipHeaderInfo& e = *r.SortedView()->Items(i);
        EXPECT_EQ(Hex(e.StoredName()), f[0]);
        EXPECT_EQ(e.Flags, std::stoul(f[1]));
        EXPECT_EQ(e.Method, std::stoul(f[2]));
        EXPECT_EQ(e.CRC, std::stoul(f[3]));
        EXPECT_EQ(e.CompressedSize, std::stoull(f[4]));
        EXPECT_EQ(e.UncompressedSize, std::stoull(f[5]));
        EXPECT_EQ(e.DateTime, std::stoul(f[6]));
        EXPECT_EQ(Hex(r.GetEntryComment(i)), f[7]);
        EXPECT_EQ(Hex(std::string(e.CentralExtra.View())), f[8]);
        EXPECT_EQ(e.RelativeOffset, std::stoll(f[9]));
        EXPECT_EQ(e.ExternalAttributes, std::stoul(f[10]));
        EXPECT_EQ(e.InternalAttributes, std::stoul(f[11]));
        EXPECT_EQ(e.VersionMadeBy, std::stoul(f[12]));
        EXPECT_EQ(e.VersionNeeded, std::stoul(f[13]));
    }
    const std::vector<std::string> last = Split(lines.back(), '|');
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(Hex(r.GetZipComment()), last[1]);
    EXPECT_EQ(r.EndCentral().TotalEntries, static_cast<uint64_t>(r.Count()));
}

TEST(TZipReaderForeign, PythonArchiveWithCommentsExtrasUtf8AndTheLargestArchiveComment) {
    QM_SKIP_WITHOUT_TOOLS("python3");
    test::TestDir dir;
    RunPython(dir, R"PY(
import zipfile
with zipfile.ZipFile('a.zip', 'w') as z:
    i = zipfile.ZipInfo('plain.txt', (2021, 6, 30, 23, 59, 58))
    i.compress_type = zipfile.ZIP_DEFLATED
    i.comment = b'first entry comment'
    i.extra = b'\x34\x12\x05\x00hello' + b'\x55\x54\x01\x00\x07'
    i.external_attr = 0o100644 << 16
    z.writestr(i, b'some text ' * 300)
    z.writestr(zipfile.ZipInfo('sub/', (2020, 1, 2, 3, 4, 6)), b'')
    j = zipfile.ZipInfo('sub/caf\u00e9/na\u00efve \u2603.txt', (1999, 12, 31, 0, 0, 0))
    j.comment = 'comment \u00e9'.encode('utf-8')
    z.writestr(j, b'stored bytes')
    k = zipfile.ZipInfo('empty', (2010, 10, 10, 10, 10, 10))
    k.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(k, b'')
    z.comment = bytes((i * 7 + 3) % 256 for i in range(65535))
)PY");
    ExpectReadsAsPythonDoes(dir, dir / "a.zip");

    TZipReader r;
    r.SetZipName(dir / "a.zip");
    r.OpenZip();
    EXPECT_EQ(r.EndCentral().CommentLength, 65535);
    EXPECT_EQ(r.SortedView()->Items(2)->Directory(), "sub/caf\xC3\xA9/");
    EXPECT_EQ(r.SortedView()->Items(2)->FileName(), "na\xC3\xAFve \xE2\x98\x83.txt");
    EXPECT_EQ(r.SortedView()->Items(1)->FileName(), "") << "a folder entry";
}

TEST(TZipReaderForeign, ZipCommandArchiveWithItsExtraFieldsAndComments) {
    QM_SKIP_WITHOUT_TOOLS("zip", "python3");
    test::TestDir dir;
    dir.File("src/one.txt", std::string(5000, 'x'));
    dir.File("src/deep/two.bin", "\x01\x02\x03");
    dir.File("src/three", "");
    const std::string cmd = "cd '" + dir.Path() +
                            "' && zip -q -r a.zip src && printf 'the archive comment\\n' | "
                            "zip -q -z a.zip && printf 'c1\\nc2\\nc3\\nc4\\nc5\\n' | zip -q -c "
                            "a.zip src/one.txt src/deep/two.bin";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ExpectReadsAsPythonDoes(dir, dir / "a.zip");

    TZipReader r;
    r.SetZipName(dir / "a.zip");
    r.OpenZip();
    bool sawExtra = false;
    for (int i = 0; i < r.Count(); ++i) sawExtra |= !r.SortedView()->Items(i)->CentralExtra.empty();
    EXPECT_TRUE(sawExtra) << "zip stores time and owner extra fields";
    EXPECT_EQ(r.GetZipComment(), "the archive comment");
}

TEST(TZipReaderForeign, StreamedArchiveIsReadAndRebuiltFromItsDataDescriptors) {
    QM_SKIP_WITHOUT_TOOLS("zip", "python3");
    test::TestDir dir;
    dir.File("one.txt", std::string(3000, 'o') + "PK\x07\x08 inside the data");
    dir.File("two.txt", "second file");
    const std::string cmd = "cd '" + dir.Path() + "' && zip -q - one.txt two.txt | cat > a.zip";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ExpectReadsAsPythonDoes(dir, dir / "a.zip");

    TZipReader whole;
    whole.SetZipName(dir / "a.zip");
    whole.OpenZip();
    ASSERT_EQ(whole.Count(), 2);
    ASSERT_TRUE(whole.SortedView()->Items(0)->HasDataDescriptor()) << "zip streamed it";

    // Cut before the central directory: only the local headers and descriptors are left.
    const std::string bytes = test::ReadWholeFile(dir / "a.zip");
    const std::string cut = dir.File("cut.zip", bytes.substr(0, whole.EndCentral().CentralOffset));
    TZipReader r;
    r.SetIncompleteZipMode(izAssumeBad);
    r.SetZipName(cut);
    r.OpenZip();
    ASSERT_EQ(r.Count(), 2) << "the scan goes on behind each descriptor";
    for (int i = 0; i < 2; ++i) {
        const TZipHeaderInfo& a = *whole.SortedView()->Items(i);
        const TZipHeaderInfo& b = *r.SortedView()->Items(i);
        EXPECT_EQ(b.StoredName(), a.StoredName());
        EXPECT_EQ(b.CRC, a.CRC);
        EXPECT_EQ(b.CompressedSize, a.CompressedSize);
        EXPECT_EQ(b.UncompressedSize, a.UncompressedSize);
        EXPECT_EQ(b.RelativeOffset, a.RelativeOffset);
    }
}

TEST(TZipReaderForeign, Cp437NameWithoutTheUtf8Flag) {
    QM_SKIP_WITHOUT_TOOLS("python3");
    test::TestDir dir;
    // Written with an ASCII stand-in, then the stand-in bytes become 0x82 ("é") and 0x9B
    // ("¢") in both records, without bit 11.
    RunPython(dir, R"PY(
import zipfile
with zipfile.ZipFile('a.zip', 'w') as z:
    z.writestr('r#sum#!.txt', b'data')
b = open('a.zip', 'rb').read().replace(b'r#sum#!', b'r\x82sum\x82\x9b')
open('a.zip', 'wb').write(b)
)PY");
    ExpectReadsAsPythonDoes(dir, dir / "a.zip");
    TZipReader r;
    r.SetZipName(dir / "a.zip");
    r.OpenZip();
    ASSERT_EQ(r.Count(), 1);
    EXPECT_EQ(r.SortedView()->Items(0)->FileName(), "r\xC3\xA9sum\xC3\xA9\xC2\xA2.txt");
    EXPECT_EQ(r.SortedView()->Items(0)->Flags & kFlagUtf8Name, 0);
}

TEST(TZipReaderForeign, Cp437UpperHalfDecodesAsPythonDecodesIt) {
    QM_SKIP_WITHOUT_TOOLS("python3");
    test::TestDir dir;
    const std::string expected =
        RunPython(dir, "print(bytes(range(128, 256)).decode('cp437').encode('utf-8').hex())\n");
    std::string upper;
    for (int b = 128; b < 256; ++b) upper += static_cast<char>(b);
    EXPECT_EQ(Hex(Cp437ToUtf8(upper)) + "\n", expected);
    EXPECT_EQ(Cp437ToUtf8("plain/ASCII.txt"), "plain/ASCII.txt");
}

TEST(TZipReaderForeign, Zip64RecordsAndExtraFields) {
    QM_SKIP_WITHOUT_TOOLS("python3");
    test::TestDir dir;
    // Lowered limits make zipfile write its Zip64 extra fields and Zip64 end record for a
    // small archive.
    RunPython(dir, R"PY(
import zipfile
zipfile.ZIP64_LIMIT = 100
zipfile.ZIP_FILECOUNT_LIMIT = 2
with zipfile.ZipFile('a.zip', 'w', allowZip64=True) as z:
    for n in range(4):
        z.writestr('f%d.txt' % n, bytes(range(256)) * (n + 1))
    z.comment = b'zip64 archive'
)PY");
    ExpectReadsAsPythonDoes(dir, dir / "a.zip");
    TZipReader r;
    r.SetZipName(dir / "a.zip");
    r.OpenZip();
    EXPECT_TRUE(r.EndCentral().Zip64);
    EXPECT_EQ(r.Count(), 4);
    EXPECT_EQ(r.SortedView()->Items(3)->UncompressedSize, 1024u);
}

}  // namespace
}  // namespace qm
