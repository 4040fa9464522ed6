#include "zip/format/DateUtils.h"

namespace qm {

uint32_t ClampDosDateTime(uint32_t Value) {
    const uint32_t date = Value >> 16, time = Value & 0xFFFF;
    uint32_t hour = time >> 11, minute = (time >> 5) & 63, second = (time & 31) * 2;
    uint32_t year = (date >> 9) + 1980, month = (date >> 5) & 15, day = date & 31;
    bool clamped = false;
    auto clampHigh = [&](uint32_t& v, uint32_t hi) {
        if (v > hi) {
            v = hi;
            clamped = true;
        }
    };
    auto clampLow = [&](uint32_t& v, uint32_t lo) {
        if (v < lo) {
            v = lo;
            clamped = true;
        }
    };
    clampHigh(hour, 23);
    clampHigh(minute, 59);
    clampHigh(second, 59);
    clampLow(year, 1980);  // cannot happen in 7 bits; kept for the rule's symmetry
    clampHigh(year, 2099);
    clampHigh(month, 12);
    clampLow(month, 1);
    clampHigh(day, 31);
    clampLow(day, 1);
    if (!clamped) return Value;
    return ((year - 1980) << 9 | month << 5 | day) << 16 | (hour << 11 | minute << 5 | second / 2);
}

TDateTime GetFileDateTime(const std::string& FileName) {
    TDateTime result = 0;
    // A back-up stores a link as itself, so a link is as new as the link itself.
    if (TryDosDateTimeToDateTime(ClampDosDateTime(FileAge(FileName, false)), result)) return result;
    return Now();
}

}  // namespace qm
