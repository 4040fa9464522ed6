// The buffered stream's state rules: when bytes reach the underlying stream, and what a read or
// seek after a write sees.
#include "zip/BufferStream.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Exception.h"
#include "platform/MemoryStream.h"

namespace qm {
namespace {

// An underlying stream that accepts at most Limit bytes in all.
class TLimitedStream : public TMemoryStream {
  public:
    explicit TLimitedStream(int64_t Limit) : FLimit(Limit) {}
    int32_t Write(const void* Buffer, int32_t Count) override {
        int64_t room = FLimit - Size();
        int32_t n = static_cast<int32_t>(std::max<int64_t>(0, std::min<int64_t>(Count, room)));
        return TMemoryStream::Write(Buffer, n);
    }

  private:
    int64_t FLimit;
};

TEST(TBufferStream, SmallWritesStayPendingAndPositionQueryIsFree) {
    TMemoryStream under;
    {
        TBufferStream s(under);
        std::string ten(10, 'a');
        EXPECT_EQ(s.Write(ten.data(), 10), 10);
        EXPECT_EQ(s.Position(), 10);
        EXPECT_EQ(s.State(), TBufferStream::Writing);
        EXPECT_EQ(s.Write(ten.data(), 10), 10);
        EXPECT_EQ(under.Size(), 0);
        EXPECT_EQ(s.Size(), 20);
        EXPECT_EQ(under.Size(), 0) << "a size query at the end must not flush";
    }
    EXPECT_EQ(under.Size(), 20) << "destruction flushes";
}

TEST(TBufferStream, FullBufferReachesUnderlyingStream) {
    TMemoryStream under;
    TBufferStream s(under);
    std::string data(8193, 'x');
    EXPECT_EQ(s.Write(data.data(), 8191), 8191);
    EXPECT_EQ(under.Size(), 0);
    EXPECT_EQ(s.Write(data.data(), 2), 2);
    EXPECT_EQ(under.Size(), 8192);
}

TEST(TBufferStream, PatchingAHeaderKeepsTheData) {
    TMemoryStream under;
    {
        TBufferStream s(under);
        s.WriteBuffer("HEAD", 4);
        s.WriteBuffer("payload", 7);
        int64_t end = s.Position();
        EXPECT_EQ(s.Seek(0, soBeginning), 0);
        s.WriteBuffer("head", 4);
        EXPECT_EQ(s.Seek(0, soEnd), end);
    }
    EXPECT_EQ(under.Text(), "headpayload");
}

TEST(TBufferStream, SeekFromEndIgnoresTheSign) {
    TMemoryStream under(std::string(20, 'z'));
    TBufferStream s(under);
    EXPECT_EQ(s.Seek(-5, soEnd), 15);
    EXPECT_EQ(s.Seek(5, soEnd), 15);
}

TEST(TBufferStream, BadOriginAndPutbackOverflowCarryTheirLengthCharacter) {
    TMemoryStream under(std::string("abc"));
    TBufferStream s(under);
    try {
        s.Seek(0, 7);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), std::string(1, char(24)) + "Invalid seek origin (7)");
    }
    try {
        s.PutBack('q');
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message(), std::string(1, char(16)) + "Putback overflow");
    }
    char c = 0;
    ASSERT_EQ(s.Read(&c, 1), 1);
    s.PutBack('q');
    ASSERT_EQ(s.Read(&c, 1), 1);
    EXPECT_EQ(c, 'q');
}

TEST(TBufferStream, EmptyUnderlyingReadsNothingAndStaysIdle) {
    TMemoryStream under;
    TBufferStream s(under);
    char buf[4];
    EXPECT_EQ(s.Read(buf, 4), 0);
    EXPECT_EQ(s.State(), TBufferStream::Idle);
}

TEST(TBufferStream, ReadAfterWriteReturnsTheFollowingBytes) {
    TMemoryStream under(std::string("0123456789"));
    TBufferStream s(under);
    s.WriteBuffer("ab", 2);
    char buf[3] = {};
    ASSERT_EQ(s.Read(buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "234");
    EXPECT_EQ(s.Position(), 5);
    s.WriteBuffer("XY", 2);  // write after read lands at the logical position
    s.Finish();
    EXPECT_EQ(under.Text(), "ab234XY789");
}

TEST(TBufferStream, FailedFlushShortensWriteAndSeek) {
    TLimitedStream under(100);
    TBufferStream s(under);
    std::string data(9000, 'd');
    EXPECT_LT(s.Write(data.data(), 9000), 9000);

    TLimitedStream under2(3);
    TBufferStream s2(under2);
    s2.WriteBuffer("abcdef", 6);
    try {
        s2.Seek(0, soBeginning);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), std::string(1, char(10)) + "Seek error");
    }
    TLimitedStream under3(3);
    TBufferStream s3(under3);
    s3.WriteBuffer("abcdef", 6);
    EXPECT_FALSE(s3.Finish());
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

TEST(TBufferStream, ReadAfterAWriteThatFilledTheBufferExactlyReadsTheUnderlyingBytes) {
    std::string initial(10000, '\0');
    for (size_t i = 0; i < initial.size(); ++i) initial[i] = static_cast<char>('a' + i % 26);
    TMemoryStream under(initial);
    TBufferStream s(under);
    std::string block(8192, '#');
    ASSERT_EQ(s.Write(block.data(), 8192), 8192);  // the full buffer went down; nothing pends
    EXPECT_EQ(s.Position(), 8192);
    char buf[4] = {};
    ASSERT_EQ(s.Read(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), initial.substr(8192, 4))
        << "the bytes just written must not come back from the buffer";
    EXPECT_EQ(s.Position(), 8196);
}

TEST(TBufferStream, PutBackAfterAFlushOverflows) {
    TMemoryStream under;
    TBufferStream s(under);
    std::string block(8192, '#');
    ASSERT_EQ(s.Write(block.data(), 8192), 8192);
    EXPECT_THROW(s.PutBack('x'), EStreamError);
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

TEST(TBufferStream, SeeksBeforeTheStartOrOutOfRangeRaiseSeekError) {
    TMemoryStream under(std::string(20, 'z'));
    TBufferStream s(under);
    s.WriteBuffer("ab", 2);
    const std::string seekError = std::string(1, char(10)) + "Seek error";
    for (auto [offset, origin] : {std::pair<int64_t, int>{INT64_MIN, soEnd},
                                  {21, soEnd},
                                  {-3, soCurrent},
                                  {INT64_MAX, soCurrent},
                                  {-1, soBeginning}}) {
        try {
            s.Seek(offset, origin);
            ADD_FAILURE() << offset << " from " << origin;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), seekError);
        }
    }
    EXPECT_EQ(s.Position(), 2) << "a refused seek leaves the position alone";
    EXPECT_EQ(s.Seek(20, soEnd), 0);
}

}  // namespace
}  // namespace qm
