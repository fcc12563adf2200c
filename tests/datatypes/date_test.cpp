// date!: the day-number calendar on both sides of day 0, weekdays and ISO weeks, zone bits,
// epoch seconds at the edges of the 32-bit range, and the lexer's constructor.
#include "datatypes/date.hpp"

#include "datatypes/float.hpp"
#include "runtime/platform.hpp"
#include "scalar_fixture.hpp"

namespace tav {
namespace {

using testing::fired_by;
using testing::molded;
using Dates = testing::scalar_values;

uint32_t ymd(int32_t year, uint32_t month, uint32_t day) { return date::pack(year, month, day); }

TEST(DateCalendar, DayNumbersRoundTripAndStayConsecutive) {
  constexpr uint8_t lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int64_t previous = date::date_to_days(ymd(-2001, 12, 31));
  for (int32_t year = -2000; year <= 2100; ++year) {
    for (uint32_t month = 1; month <= 12; ++month) {
      uint32_t length = lengths[month - 1] + (month == 2 && date::leap_year_p(year) ? 1 : 0);
      for (uint32_t day = 1; day <= length; ++day) {
        uint32_t packed = ymd(year, month, day);
        int64_t days = date::date_to_days(packed);
        ASSERT_EQ(days, previous + 1) << year << "-" << month << "-" << day;
        ASSERT_EQ(date::days_to_date(days, 0, false), packed) << days;
        previous = days;
      }
    }
  }
}

TEST(DateCalendar, FixedPoints) {
  EXPECT_EQ(date::date_to_days(ymd(0, 3, 1)), 0);
  EXPECT_EQ(date::date_to_days(ymd(0, 2, 29)), -1);
  EXPECT_EQ(date::date_to_days(ymd(0, 1, 1)), -60);
  EXPECT_EQ(date::date_to_days(ymd(1970, 1, 1)), date::epoch_days);
  EXPECT_EQ(date::weekday(date::epoch_days), 4);                       // Thursday
  EXPECT_EQ(date::weekday(date::date_to_days(ymd(2024, 3, 10))), 7);  // Sunday
  EXPECT_EQ(date::weekday(date::date_to_days(ymd(-1, 12, 31))), 5);   // the day before a Saturday
  EXPECT_EQ(date::yearday(ymd(2024, 12, 31)), 366);
  EXPECT_EQ(date::yearday(ymd(0, 3, 1)), 61);
  EXPECT_FALSE(date::leap_year_p(1900));
  EXPECT_TRUE(date::leap_year_p(2000));
  EXPECT_TRUE(date::leap_year_p(0));
  EXPECT_TRUE(date::leap_year_p(-4));
  // Zone and time flag come through the rebuild untouched.
  uint32_t packed = date::days_to_date(0, 0x45, true);
  EXPECT_EQ(date::zone_of(packed), 0x45u);
  EXPECT_TRUE(date::time_p(packed));
  EXPECT_EQ(date::year_of(date::days_to_date(-800000, 0, false)), -2191);
}

TEST(DateCalendar, IsoWeeks) {
  struct row {
    int32_t year;
    int32_t monday_year;
    uint32_t month, day;  // the Monday of week 1
    int32_t first_weekday;
  };
  const row rows[] = {{2021, 2021, 1, 4, 5}, {2020, 2019, 12, 30, 3}, {2015, 2014, 12, 29, 4},
                      {2024, 2024, 1, 1, 1},  {2016, 2016, 1, 4, 5},   {-1, -1, 1, 4, 5}};
  for (const row& r : rows) {
    int32_t first_weekday = 0;
    EXPECT_EQ(date::iso_week_start(ymd(r.year, 6, 1), first_weekday),
              date::date_to_days(ymd(r.monday_year, r.month, r.day)))
        << r.year;
    EXPECT_EQ(first_weekday, r.first_weekday) << r.year;
  }
}

TEST(DateZones, SignComesFromTheWholeOffset) {
  struct row {
    int32_t minutes;
    uint32_t zone;
    double seconds;
  };
  const row rows[] = {{0, 0, 0}, {120, 8, 7200}, {-330, 0x40 | 5 << 2 | 2, -19800}, {-30, 0x42, -1800},
                      {45, 3, 2700}, {-945, 0x40 | 15 << 2 | 3, -56700}};
  for (const row& r : rows) {
    EXPECT_EQ(date::zone_from_minutes(r.minutes), r.zone) << r.minutes;
    EXPECT_EQ(date::zone_from_minutes(r.minutes), platform::pack_zone(r.minutes)) << r.minutes;
    EXPECT_EQ(date::zone_seconds(r.zone), r.seconds) << r.minutes;
  }
}

TEST_F(Dates, NormalisingKeepsTheLocalTimeWithinTheDay) {
  cell d;
  date::make_at(d, 2024, 3, 5, 0.0, 120, true);  // local midnight at +02:00 is 22:00 UTC the day before
  EXPECT_EQ(date::get_time(d), -7200.0);
  date::normalize(d, -3600.0, false);  // local 1:00
  EXPECT_EQ(molded(d), "5-Mar-2024/1:00:00+02:00");
  date::normalize(d, 86400.0 * 3 + 60, false);
  EXPECT_EQ(molded(d), "8-Mar-2024/2:01:00+02:00");
  date::normalize(d, -86400.0 * 8, true);
  EXPECT_EQ(molded(d), "29-Feb-2024/0:00:00+02:00");
}

TEST_F(Dates, EpochSecondsAtTheEdges) {
  struct row {
    int32_t year;
    uint32_t month, day;
    double local_time;
    int32_t zone_minutes;
    int64_t seconds;
  };
  const row rows[] = {
      {1970, 1, 1, 0, 0, 0},
      {1969, 12, 31, 86399, 0, -1},
      {2038, 1, 19, 3 * 3600 + 14 * 60 + 7, 0, 2147483647},
      {1901, 12, 13, 20 * 3600 + 45 * 60 + 52, 0, -2147483648LL},
      {1970, 1, 1, 3600, 60, 0},
      {2038, 1, 19, 3 * 3600 + 14 * 60 + 8, 0, 2147483648LL},
      {-9999, 1, 1, 0, 0, -377705116800LL},
  };
  for (const row& r : rows) {
    cell d;
    date::make_at(d, r.year, r.month, r.day, r.local_time, r.zone_minutes, true);
    EXPECT_EQ(date::to_epoch_wide(d), r.seconds) << r.year;
    if (r.seconds >= INT32_MIN && r.seconds <= INT32_MAX)
      EXPECT_EQ(date::to_epoch(d), r.seconds);
    else
      EXPECT_EQ(fired_by([&] { date::to_epoch(d); }), error_id::script_type_limit);
  }
}

TEST_F(Dates, ConstructorsOfOtherModules) {
  cell d;
  date::make_at_hms(d, 2024, 3, 5, 10, 30, 15, 500000000);
  EXPECT_EQ(molded(d), "5-Mar-2024/10:30:15.5");
  date::make_at(d, 2024, 1, 1, 0, 0, false);
  date::set_yearday(d, 65);
  EXPECT_EQ(molded(d), "5-Mar-2024");
  date::set_isoweek(d, 10);
  EXPECT_EQ(molded(d), "4-Mar-2024");
  date::set_weekday(d, 7);
  EXPECT_EQ(molded(d), "10-Mar-2024");
  date::make_at(d, 2021, 1, 31, 0, 0, false);
  date::set_month(d, 2);
  EXPECT_EQ(molded(d), "3-Mar-2021");
  date::make_at(d, 2021, 1, 31, 0, 0, false);
  date::set_month(d, 0);
  EXPECT_EQ(molded(d), "31-Dec-2020");
  date::make_at(d, 2021, 1, 31, 0, 0, false);
  date::set_month(d, -11);
  EXPECT_EQ(molded(d), "31-Jan-2020");
  date::make_at(d, 2021, 1, 31, 0, 0, false);
  date::set_month(d, 13);
  EXPECT_EQ(molded(d), "31-Jan-2022");
}

}  // namespace
}  // namespace tav
