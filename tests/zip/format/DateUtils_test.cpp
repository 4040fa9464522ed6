// DOS date-time repair, conversions and file dates.
#include "zip/format/DateUtils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cmath>
#include <ctime>

#include "support/TestDir.h"

namespace qm {
namespace {

constexpr uint32_t Dos(int Y, int Mo, int D, int H, int Mi, int S) {
    return static_cast<uint32_t>((Y - 1980) << 9 | Mo << 5 | D) << 16 |
           static_cast<uint32_t>(H << 11 | Mi << 5 | S / 2);
}

TEST(ClampDosDateTime, ValidValuesPassBitForBit) {
    for (uint32_t v : {Dos(1980, 1, 1, 0, 0, 0), Dos(2026, 12, 8, 4, 30, 58),
                       Dos(2099, 12, 31, 23, 59, 58), Dos(2001, 2, 31, 12, 0, 0)})
        EXPECT_EQ(ClampDosDateTime(v), v);
}

TEST(ClampDosDateTime, OutOfRangeFieldsAreClamped) {
    EXPECT_EQ(ClampDosDateTime(0), Dos(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(ClampDosDateTime(0xFFFFFFFFu), Dos(2099, 12, 31, 23, 59, 58));
    // Hour 24, minute 60, second 62 (field 31).
    uint32_t bad = Dos(2020, 6, 15, 0, 0, 0) | (24u << 11 | 60u << 5 | 31u);
    EXPECT_EQ(ClampDosDateTime(bad), Dos(2020, 6, 15, 23, 59, 58));
    uint32_t month13 = (40u << 9 | 13u << 5 | 10u) << 16;
    EXPECT_EQ(ClampDosDateTime(month13), Dos(2020, 12, 10, 0, 0, 0));
    uint32_t year2100 = (120u << 9 | 1u << 5 | 1u) << 16;
    EXPECT_EQ(ClampDosDateTime(year2100), Dos(2099, 1, 1, 0, 0, 0));
}

TEST(DosDateTime, ConvertsBothWaysAndRefusesImpossibleDays) {
    TDateTime t = 0;
    ASSERT_TRUE(TryDosDateTimeToDateTime(Dos(1980, 1, 1, 0, 0, 0), t));
    EXPECT_DOUBLE_EQ(t, 29221.0);  // days since 1899-12-30
    ASSERT_TRUE(TryDosDateTimeToDateTime(Dos(2000, 2, 29, 12, 0, 0), t));
    EXPECT_DOUBLE_EQ(t, 36585.5);
    EXPECT_EQ(DateTimeToDosDateTime(t), Dos(2000, 2, 29, 12, 0, 0));
    EXPECT_FALSE(TryDosDateTimeToDateTime(Dos(2001, 2, 29, 0, 0, 0), t));
    EXPECT_FALSE(TryDosDateTimeToDateTime(Dos(2001, 4, 31, 0, 0, 0), t));
    EXPECT_FALSE(TryDosDateTimeToDateTime(0, t));
    for (uint32_t v : {Dos(2026, 12, 8, 23, 59, 58), Dos(2099, 12, 31, 23, 59, 58),
                       Dos(1999, 12, 31, 0, 0, 2)}) {
        ASSERT_TRUE(TryDosDateTimeToDateTime(v, t));
        EXPECT_EQ(DateTimeToDosDateTime(t), v);
    }
}

TEST(DosDateTime, PackingClampsYearsOutsideTheFormat) {
    std::tm early{};
    early.tm_year = 70;
    early.tm_mday = 1;
    EXPECT_EQ(PackDosDateTime(early), Dos(1980, 1, 1, 0, 0, 0));
    std::tm late{};
    late.tm_year = 2200 - 1900;
    late.tm_mday = 1;
    EXPECT_EQ(PackDosDateTime(late) >> 25, 127u);
}

TEST(GetFileDateTime, ReportsTheLocalModificationTime) {
    test::TestDir dir;
    const std::string f = dir.File("a.txt", "x");
    std::tm local{};
    local.tm_year = 2021 - 1900;
    local.tm_mon = 4;
    local.tm_mday = 17;
    local.tm_hour = 13;
    local.tm_min = 14;
    local.tm_sec = 16;
    local.tm_isdst = -1;
    utimbuf times{};
    times.actime = times.modtime = std::mktime(&local);
    ASSERT_EQ(utime(f.c_str(), &times), 0);
    EXPECT_EQ(FileAge(f), Dos(2021, 5, 17, 13, 14, 16));
    TDateTime want = 0;
    ASSERT_TRUE(TryEncodeDateTime(2021, 5, 17, 13, 14, 16, 0, want));
    EXPECT_DOUBLE_EQ(GetFileDateTime(f), want);
}

TEST(GetFileDateTime, MissingFilesAndFoldersGiveTheClampedAllOnesStamp) {
    test::TestDir dir;
    TDateTime want = 0;
    ASSERT_TRUE(TryEncodeDateTime(2099, 12, 31, 23, 59, 58, 0, want));
    EXPECT_EQ(FileAge(dir / "missing"), DosDateTimeInvalid);
    EXPECT_DOUBLE_EQ(GetFileDateTime(dir / "missing"), want);
    EXPECT_DOUBLE_EQ(GetFileDateTime(dir.Path()), want);
    EXPECT_DOUBLE_EQ(GetFileDateTime(""), want);
}

TEST(DosDateTime, NowIsCloseToTheSystemClock) {
    std::time_t t = std::time(nullptr);
    TDateTime fromStamp = 0;
    ASSERT_TRUE(TryDosDateTimeToDateTime(DosDateTimeFromTime(t), fromStamp));
    EXPECT_LT(std::fabs(Now() - fromStamp), 5.0 / 86400);
}

}  // namespace
}  // namespace qm
