// The calendar routines of engine dates and times.
#include <gtest/gtest.h>

#include <chrono>

#include "dict/QDStDate.h"

namespace qd {
namespace {

TEST(Calendar, LeapYears) {
  for (int32_t y : {1600, 2000, 2400, 1604, 1996}) EXPECT_TRUE(IsLeapYear(y)) << y;
  for (int32_t y : {1700, 1900, 2100, 1601, 4000}) EXPECT_FALSE(IsLeapYear(y)) << y;
}

TEST(Calendar, ResolveYear) {
  struct Case {
    int32_t Year, Base, Resolved;
  };
  const Case cases[] = {
      {5, 0, 5},         {1999, 1950, 1999}, {49, 1950, 2049}, {50, 1950, 1950},
      {99, 1950, 1999},  {0, 2000, 2000},    {10, 2025, 2110},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveYear(c.Year, c.Base), c.Resolved) << c.Year << " " << c.Base;
}

TEST(Calendar, DaysInMonth) {
  EXPECT_EQ(DaysInMonth(2, 1600, 0), 29);
  EXPECT_EQ(DaysInMonth(2, 1900, 0), 28);
  EXPECT_EQ(DaysInMonth(4, 2020, 0), 30);
  EXPECT_EQ(DaysInMonth(12, 3999, 0), 31);
  EXPECT_EQ(DaysInMonth(0, 2020, 0), 0);
  EXPECT_EQ(DaysInMonth(13, 2020, 0), 0);
  EXPECT_EQ(DaysInMonth(1, 1599, 0), 0);
  EXPECT_EQ(DaysInMonth(1, 4000, 0), 0);
  EXPECT_EQ(DaysInMonth(2, 0, 2000), 29);  // 2000 through the century base
  EXPECT_EQ(DaysInMonth(2, 50, 0), 0);     // base 0: year 50 stays invalid
}

TEST(Calendar, WorkedExamples) {
  EXPECT_EQ(EncodeDayNumber(1, 1, 1600, 0), 0);
  EXPECT_EQ(EncodeDayNumber(29, 2, 1600, 0), 59);
  EXPECT_EQ(EncodeDayNumber(1, 3, 1600, 0), 60);
  EXPECT_EQ(EncodeDayNumber(1, 1, 2000, 0), 146097);
  EXPECT_EQ(EncodeDayNumber(31, 12, 3999, 0), kLastDayNumber);
  for (auto [d, m, y] : {std::tuple{29, 2, 1900}, {31, 4, 2001}, {31, 12, 1599}, {1, 1, 4000}, {0, 1, 2000},
                         {1, 0, 2000}}) {
    EXPECT_EQ(EncodeDayNumber(d, m, y, 0), kNoDate) << d << "." << m << "." << y;
  }
  int32_t d, m, y;
  DecodeDayNumber(30, d, m, y);
  EXPECT_EQ(std::tuple(d, m, y), std::tuple(31, 1, 1600));
  DecodeDayNumber(31, d, m, y);
  EXPECT_EQ(std::tuple(d, m, y), std::tuple(1, 2, 1600));
  DecodeDayNumber(kNoDate, d, m, y);
  EXPECT_EQ(std::tuple(d, m, y), std::tuple(0, 0, 0));
  DecodeDayNumber(kLastDayNumber + 1, d, m, y);  // no day: nothing invented
  EXPECT_EQ(std::tuple(d, m, y), std::tuple(0, 0, 0));
  DecodeDayNumber(-7, d, m, y);
  EXPECT_EQ(std::tuple(d, m, y), std::tuple(0, 0, 0));
}

// Every day of 1600-01-01 .. 3999-12-31, against the standard library's
// proleptic Gregorian calendar.
TEST(Calendar, EncodeAndDecodeAreExactInversesOverEveryDay) {
  using namespace std::chrono;
  const sys_days first = year{1600} / January / 1;
  const sys_days last = year{3999} / December / 31;
  int32_t expected = 0;
  for (sys_days day = first; day <= last; day += days{1}, ++expected) {
    const year_month_day ymd(day);
    const int32_t dd = static_cast<int32_t>(static_cast<unsigned>(ymd.day()));
    const int32_t mm = static_cast<int32_t>(static_cast<unsigned>(ymd.month()));
    const int32_t yy = static_cast<int32_t>(ymd.year());
    const int32_t n = EncodeDayNumber(dd, mm, yy, 0);
    if (n != expected) FAIL() << yy << "-" << mm << "-" << dd << " gave " << n << ", not " << expected;
    int32_t d, m, y;
    DecodeDayNumber(n, d, m, y);
    if (d != dd || m != mm || y != yy) FAIL() << n << " decoded as " << y << "-" << m << "-" << d;
  }
  EXPECT_EQ(expected - 1, kLastDayNumber);
}

TEST(Calendar, FrameworkDates) {
  EXPECT_EQ(DateTimeToDayNumber(36526.0), 146097);  // 2000-01-01
  EXPECT_EQ(DateTimeToDayNumber(36526.75), 146097);
  EXPECT_EQ(DateTimeToDayNumber(-109571.0), 0);     // 1600-01-01
  EXPECT_EQ(DateTimeToDayNumber(-109572.0), kNoDate);
  EXPECT_EQ(DateTimeToDayNumber(767010.0), kLastDayNumber);
  EXPECT_EQ(DateTimeToDayNumber(767011.0), kNoDate);
  EXPECT_EQ(DateTimeToDayNumber(1e300), kNoDate);
  EXPECT_EQ(DayNumberToDateTime(146097), 36526.0);
  EXPECT_EQ(DayNumberToDateTime(kNoDate), 0.0);
  // The framework's day 0 is 1899-12-30.
  EXPECT_EQ(DateTimeToDayNumber(0.0), EncodeDayNumber(30, 12, 1899, 0));
}

TEST(Calendar, Seconds) {
  int32_t h, m, s;
  DecodeSeconds(13 * 3600 + 45 * 60 + 30, h, m, s);
  EXPECT_EQ(std::tuple(h, m, s), std::tuple(13, 45, 30));
  DecodeSeconds(kNoTime, h, m, s);
  EXPECT_EQ(std::tuple(h, m, s), std::tuple(0, 0, 0));
  EXPECT_DOUBLE_EQ(SecondsToDateTime(12 * 3600), 0.5);
  EXPECT_EQ(SecondsToDateTime(kNoTime), 0.0);
  EXPECT_EQ(SecondsToDateTime(0), 0.0);
  EXPECT_THROW(SecondsToDateTime(kSecondsPerDay), EConvertError);
  EXPECT_NO_THROW(SecondsToDateTime(kSecondsPerDay - 1));
}

}  // namespace
}  // namespace qd
