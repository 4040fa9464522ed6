// Shared helpers of the compressor tests: compress a string, inflate with zlib.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "support/DeflateDecoder.h"
#include "support/DeflateTestData.h"
#include "zip/deflate/DeflateFile.h"

namespace qm::test {

struct TCompressed {
    TDeflateResult Result;
    TDeflateEntryBits Entry;
    std::string Output;
    std::vector<TMemoryDeflateIO::TRead> Reads;
    std::vector<uint32_t> Writes;
};

inline TCompressed Compress(const std::string& Input, int Level, TDeflateBuffers& Buffers,
                            TDeflateStaticTables& Tables) {
    TMemoryDeflateIO IO(Input);
    TCompressed C;
    C.Result = DeflateFile(Level, Buffers, Tables, IO, C.Entry);
    C.Output = IO.Output();
    C.Reads = IO.Reads;
    C.Writes = IO.Writes;
    return C;
}

inline TCompressed Compress(const std::string& Input, int Level) {
    TDeflateBuffers Buffers;
    TDeflateStaticTables Tables;
    return Compress(Input, Level, Buffers, Tables);
}

// Inflates a raw deflate stream with zlib; fails the test on any error or trailing garbage.
inline std::string ZlibInflate(const std::string& Stream, size_t ExpectedSize) {
    z_stream Z{};
    EXPECT_EQ(inflateInit2(&Z, -15), Z_OK);
    std::string Out(ExpectedSize + 1, '\0');
    Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Stream.data()));
    Z.avail_in = static_cast<uInt>(Stream.size());
    Z.next_out = reinterpret_cast<Bytef*>(Out.data());
    Z.avail_out = static_cast<uInt>(Out.size());
    const int Rc = inflate(&Z, Z_FINISH);
    EXPECT_EQ(Rc, Z_STREAM_END) << (Z.msg ? Z.msg : "");
    EXPECT_EQ(Z.avail_in, 0u) << "bytes after the end of the stream";
    Out.resize(Z.total_out);
    inflateEnd(&Z);
    return Out;
}

// The entry's data as an extractor sees it: stored entries are the bytes themselves.
inline std::string ExtractEntry(const TCompressed& C, size_t ExpectedSize) {
    if (C.Entry.Method == 0) return C.Output;
    return ZlibInflate(C.Output, ExpectedSize);
}

}  // namespace qm::test
