#include "platform/DosDateTime.h"

#include <sys/stat.h>

#include <chrono>
#include <cmath>

#include "platform/PathAt.h"

namespace qm {

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t Y, unsigned M, unsigned D) {
    Y -= M <= 2;
    const int64_t era = (Y >= 0 ? Y : Y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(Y - era * 400);
    const unsigned doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t Z, int& Year, int& Month, int& Day) {
    Z += 719468;
    const int64_t era = (Z >= 0 ? Z : Z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(Z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    Year = static_cast<int>(y + (Month <= 2));
}

// 1899-12-30, day 0 of TDateTime, counted from 1970-01-01.
constexpr int64_t kEpochOffset = -25569;

bool IsLeap(int Y) {
    return (Y % 4 == 0 && Y % 100 != 0) || Y % 400 == 0;
}

int DaysInMonth(int Y, int M) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return M == 2 && IsLeap(Y) ? 29 : days[M - 1];
}

}  // namespace

uint32_t PackDosDateTime(const std::tm& Local) {
    const int year = Local.tm_year + 1900;
    if (year < 1980) return (1u << 5 | 1u) << 16;
    if (year > 2107) return (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u);
    const uint32_t date = static_cast<uint32_t>(year - 1980) << 9 |
                          static_cast<uint32_t>(Local.tm_mon + 1) << 5 |
                          static_cast<uint32_t>(Local.tm_mday);
    const int sec = Local.tm_sec > 59 ? 59 : Local.tm_sec;  // a leap second
    const uint32_t time = static_cast<uint32_t>(Local.tm_hour) << 11 |
                          static_cast<uint32_t>(Local.tm_min) << 5 | static_cast<uint32_t>(sec / 2);
    return date << 16 | time;
}

uint32_t DosDateTimeFromTime(std::time_t Time) {
    std::tm local{};
    if (!localtime_r(&Time, &local)) return DosDateTimeInvalid;
    return PackDosDateTime(local);
}

uint32_t FileAge(const std::string& FileName, bool Follow) {
    struct stat st {};
    if (StatPath(FileName, st, Follow) != 0 || S_ISDIR(st.st_mode)) return DosDateTimeInvalid;
    return DosDateTimeFromTime(st.st_mtime);
}

uint32_t FileAgeOfHandle(int Handle) {
    struct stat st {};
    if (::fstat(Handle, &st) != 0 || S_ISDIR(st.st_mode)) return DosDateTimeInvalid;
    return DosDateTimeFromTime(st.st_mtime);
}

bool TryEncodeDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second,
                       int Millisecond, TDateTime& Result) {
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
        Day > DaysInMonth(Year, Month) || Hour < 0 || Hour > 23 || Minute < 0 || Minute > 59 ||
        Second < 0 || Second > 59 || Millisecond < 0 || Millisecond > 999)
        return false;
    const int64_t days =
        DaysFromCivil(Year, static_cast<unsigned>(Month), static_cast<unsigned>(Day)) -
        kEpochOffset;
    const double fraction =
        ((Hour * 60.0 + Minute) * 60.0 + Second + Millisecond / 1000.0) / 86400.0;
    Result = static_cast<double>(days) + fraction;
    return true;
}

void DecodeDateTime(TDateTime Value, int& Year, int& Month, int& Day, int& Hour, int& Minute,
                    int& Second, int& Millisecond) {
    // Work in whole milliseconds so that 23:59:59.9996 does not come out as second 60.
    const int64_t ms = static_cast<int64_t>(std::llround(Value * 86400000.0));
    int64_t days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    int64_t inDay = ms - days * 86400000;
    CivilFromDays(days + kEpochOffset, Year, Month, Day);
    Hour = static_cast<int>(inDay / 3600000);
    Minute = static_cast<int>(inDay / 60000 % 60);
    Second = static_cast<int>(inDay / 1000 % 60);
    Millisecond = static_cast<int>(inDay % 1000);
}

bool TryDosDateTimeToDateTime(uint32_t Dos, TDateTime& Result) {
    const uint32_t date = Dos >> 16, time = Dos & 0xFFFF;
    return TryEncodeDateTime(static_cast<int>((date >> 9) + 1980),
                             static_cast<int>((date >> 5) & 15), static_cast<int>(date & 31),
                             static_cast<int>(time >> 11), static_cast<int>((time >> 5) & 63),
                             static_cast<int>((time & 31) * 2), 0, Result);
}

uint32_t DateTimeToDosDateTime(TDateTime Value) {
    std::tm t{};
    int ms = 0;
    DecodeDateTime(Value, t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, ms);
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return PackDosDateTime(t);
}

TDateTime Now() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&secs, &local);
    const int ms =
        static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    TDateTime result = 0;
    TryEncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec, ms < 0 ? 0 : ms, result);
    return result;
}

}  // namespace qm
