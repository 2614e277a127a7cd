// The engine's dates and times and the calendar routines behind them.
//   Engine date (fkDate): DayNumber, days since 1600-01-01 (day 0) in the
//     Gregorian calendar, up to 3999-12-31; -1 means no date.
//   Engine time (fkTime): seconds since midnight; -1 means no time.
//   Framework date-time: days since 1899-12-30 as a double, time of day as
//     the fraction.
// Thread rules: pure functions.
#pragma once

#include <cstdint>

#include "base/QDLLExcp.h"

namespace qd {

inline constexpr int32_t kNoDate = -1;
inline constexpr int32_t kNoTime = -1;
inline constexpr int32_t kFirstYear = 1600;
inline constexpr int32_t kLastYear = 3999;
inline constexpr int32_t kLastDayNumber = 876581;  // 3999-12-31
inline constexpr int32_t kSecondsPerDay = 24 * 3600;
// Days from the framework's day 0 (1899-12-30) back to 1600-01-01.
inline constexpr int32_t kDayNumberOfFrameworkZero = 109571;
// Framework date-time + this = days counted with 0001-01-01 as day 1.
inline constexpr int32_t kBDEDateDelta = 693594;

// The framework's error for a value that is not a valid date or time.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

bool IsLeapYear(int32_t year);
// Completes a year below 100 from the century base; a base of 0 leaves it.
int32_t ResolveYear(int32_t year, int32_t centuryBase);
// 0 for a year outside 1600..3999 or a month outside 1..12.
int32_t DaysInMonth(int32_t month, int32_t year, int32_t centuryBase);
bool IsValidDate(int32_t day, int32_t month, int32_t year, int32_t centuryBase);

// The DayNumber of a date, or -1 when it is not a valid date.
int32_t EncodeDayNumber(int32_t day, int32_t month, int32_t year, int32_t centuryBase);
// Day, month and year of a DayNumber; all 0 for a number that is no day of
// 1600-01-01 .. 3999-12-31 (-1 included).
void DecodeDayNumber(int32_t n, int32_t& day, int32_t& month, int32_t& year);

// The DayNumber of the calendar date of a framework date-time; -1 outside
// the years 1600..3999 (and for values that are no number).
int32_t DateTimeToDayNumber(double dateTime);
// The framework date of a DayNumber; 0.0 for -1.
double DayNumberToDateTime(int32_t n);

// Hour, minute and second of a time of day in seconds; all 0 for a
// negative time.
void DecodeSeconds(int32_t seconds, int32_t& hour, int32_t& minute, int32_t& second);
// The framework time value of a time of day; 0.0 for -1. Raises
// EConvertError when the time is not within one day.
double SecondsToDateTime(int32_t seconds);

}  // namespace qd
