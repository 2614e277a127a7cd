#include "dict/QDStDate.h"

#include <cmath>
#include <string>

namespace qd {

bool IsLeapYear(int32_t year) {
  return year % 4 == 0 && year % 4000 != 0 && (year % 100 != 0 || year % 400 == 0);
}

int32_t ResolveYear(int32_t year, int32_t centuryBase) {
  if ((year & 0xFFFF) >= 100) return year;
  int32_t century = (centuryBase / 100) * 100;
  return year < centuryBase % 100 ? year + century + 100 : year + century;
}

int32_t DaysInMonth(int32_t month, int32_t year, int32_t centuryBase) {
  year = ResolveYear(year, centuryBase);
  if (year < kFirstYear || year > kLastYear || month < 1 || month > 12) return 0;
  switch (month) {
    case 2: return IsLeapYear(year) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11: return 30;
    default: return 31;
  }
}

bool IsValidDate(int32_t day, int32_t month, int32_t year, int32_t centuryBase) {
  return day >= 1 && day <= DaysInMonth(month, year, centuryBase);
}

// Counts in years that start on 1 March, so that the leap day is the last
// day of its year: 146097 days in 400 years, 1461 in 4, 153 in 5 months.
int32_t EncodeDayNumber(int32_t day, int32_t month, int32_t year, int32_t centuryBase) {
  year = ResolveYear(year, centuryBase);
  if (!IsValidDate(day, month, year, 0)) return kNoDate;
  const bool janFeb = month <= 2;
  if (year == kFirstYear && janFeb) return month == 1 ? day - 1 : day + 30;
  int32_t c = year - kFirstYear - (janFeb ? 1 : 0);
  return (c / 100) * 146097 / 4 + (c % 100) * 1461 / 4 + ((janFeb ? 1836 : 0) + month * 153 - 457) / 5 +
         day + 59;
}

void DecodeDayNumber(int32_t n, int32_t& day, int32_t& month, int32_t& year) {
  day = month = year = 0;
  if (n < 0 || n > kLastDayNumber) return;
  if (n <= 59) {
    year = kFirstYear;
    month = n <= 30 ? 1 : 2;
    day = n <= 30 ? n + 1 : n - 30;
    return;
  }
  int32_t b = 4 * n - 237;
  int32_t c = (b % 146097) | 3;
  int32_t y = 100 * (b / 146097) + c / 1461;
  c %= 1461;
  int32_t f = ((c + 4) / 4) * 5 - 3;
  day = ((f % 153) + 5) / 5;
  int32_t m = f / 153;
  if (m > 9) {
    month = m - 9;
    ++y;
  } else {
    month = m + 3;
  }
  year = y + kFirstYear;
}

int32_t DateTimeToDayNumber(double dateTime) {
  // The date part is the whole days towards zero, as the framework takes it.
  double days = std::trunc(dateTime) + kDayNumberOfFrameworkZero;
  if (!(days >= 0 && days <= kLastDayNumber)) return kNoDate;
  return static_cast<int32_t>(days);
}

double DayNumberToDateTime(int32_t n) {
  if (n == kNoDate) return 0.0;
  return static_cast<double>(n) - kDayNumberOfFrameworkZero;
}

void DecodeSeconds(int32_t seconds, int32_t& hour, int32_t& minute, int32_t& second) {
  hour = minute = second = 0;
  if (seconds < 0) return;
  hour = seconds / 3600;
  minute = (seconds % 3600) / 60;
  second = seconds % 60;
}

double SecondsToDateTime(int32_t seconds) {
  if (seconds == kNoTime) return 0.0;
  int32_t hour, minute, second;
  DecodeSeconds(seconds, hour, minute, second);
  if (seconds < 0 || hour >= 24) {
    throw EConvertError("Invalid time: " + std::to_string(seconds) + " seconds is not a time of day");
  }
  return static_cast<double>((hour * 60 + minute) * 60 + second) / kSecondsPerDay;
}

}  // namespace qd
