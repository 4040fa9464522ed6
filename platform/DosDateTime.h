// DOS date-times and the date-time value the archive code computes with.
//
// A DOS date-time is 32 bits of local time: the time in the low 16 bits (bits 11-15 hour, 5-10
// minute, 0-4 seconds / 2) and the date in the high 16 bits (bits 9-15 year - 1980, 5-8 month,
// 0-4 day), as ZIP records store it.
//
// TDateTime is a double: whole days since 1899-12-30 plus the fraction of the day elapsed
// (0.5 is noon), local time. It orders and compares like the time it stands for, which is all
// the update and freshen decisions need.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace qm {

using TDateTime = double;

// The stamp of a file that does not exist (and of a folder).
inline constexpr uint32_t DosDateTimeInvalid = 0xFFFFFFFFu;

// Packs a local broken-down time. Years before 1980 give 1980-01-01 00:00:00, years after 2107
// give 2107-12-31 23:59:58, the range the format holds; odd seconds round down.
uint32_t PackDosDateTime(const std::tm& Local);
// The local DOS date-time of a POSIX time (localtime_r).
uint32_t DosDateTimeFromTime(std::time_t Time);

// The last-write time of a file (links followed unless Follow is false: then a link's own time)
// as a local DOS date-time; DosDateTimeInvalid for a missing file or a folder.
uint32_t FileAge(const std::string& FileName, bool Follow = true);
// The same for an open descriptor.
uint32_t FileAgeOfHandle(int Handle);

// Builds a date-time from its parts; false when a part is out of range (month 1-12, day within
// the month, hour < 24, minute < 60, second < 60, millisecond < 1000).
bool TryEncodeDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second,
                       int Millisecond, TDateTime& Result);
// Splits a date-time into its parts (the millisecond rounded to the nearest).
void DecodeDateTime(TDateTime Value, int& Year, int& Month, int& Day, int& Hour, int& Minute,
                    int& Second, int& Millisecond);

// DOS date-time to date-time; false when a field is out of range (such as 31 February).
bool TryDosDateTimeToDateTime(uint32_t Dos, TDateTime& Result);
// Date-time to DOS date-time (same limits as PackDosDateTime).
uint32_t DateTimeToDosDateTime(TDateTime Value);

// The current local date and time.
TDateTime Now();

}  // namespace qm
