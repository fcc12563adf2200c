// date!: a proleptic Gregorian date with an optional time of day and zone, the day-number
// calendar every date operation goes through, zone and time conversions, the constructors
// the lexer, the binary codec and the file query call, and the text d-Mon-yyyy/h:mm:ss+hh:mm.
#pragma once
#include <bit>
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::date {

// The packed date word of payload 1: year in bits 17-31 (signed), time flag bit 16, month in
// bits 12-15, day in bits 7-11, zone in bits 0-6 (quarter hours in bits 0-1, whole hours in
// bits 2-5, bit 6 negative). Payloads 2 and 3 hold the time in seconds as a double, in UTC
// relative to the local midnight of the date: local time of day = time + zone offset.
inline constexpr uint32_t time_flag = 1u << 16;
inline constexpr uint32_t zone_mask = 0x7F;
inline constexpr uint32_t zone_negative = 0x40;
inline constexpr double seconds_per_day = 86400.0;
// Day 0 is 1 March of year 0; this is 1 January 1970.
inline constexpr int64_t epoch_days = 719468;
// The years the 15 bits of a packed word hold.
inline constexpr int32_t first_year = -16384;
inline constexpr int32_t last_year = 16383;

inline int32_t year_of(uint32_t packed) { return static_cast<int32_t>(packed) >> 17; }
inline uint32_t month_of(uint32_t packed) { return (packed >> 12) & 0xF; }
inline uint32_t day_of(uint32_t packed) { return (packed >> 7) & 0x1F; }
inline uint32_t zone_of(uint32_t packed) { return packed & zone_mask; }
inline bool time_p(uint32_t packed) { return (packed & time_flag) != 0; }
inline uint32_t pack(int32_t year, uint32_t month, uint32_t day) {
  return (static_cast<uint32_t>(year) << 17) | ((month & 0xF) << 12) | ((day & 0x1F) << 7);
}

inline double get_time(const cell& date) {
  return std::bit_cast<double>((uint64_t{date.payload3} << 32) | date.payload2);
}
inline void set_time(cell& date, double seconds) {
  auto bits = std::bit_cast<uint64_t>(seconds);
  date.payload2 = static_cast<uint32_t>(bits);
  date.payload3 = static_cast<uint32_t>(bits >> 32);
}

// ---- Calendar ---------------------------------------------------------------------------

int64_t date_to_days(uint32_t packed);
// The packed word of day number `days`, with the zone bits and the time flag given.
uint32_t days_to_date(int64_t days, uint32_t zone, bool with_time);
bool leap_year_p(int32_t year);
int64_t year_start_days(uint32_t packed);
int32_t yearday(uint32_t packed);
// 1 Monday ... 7 Sunday.
int32_t weekday(int64_t days);
// The Monday that starts ISO week 1 of the date's year; `first_weekday` gets the weekday of
// 1 January.
int64_t iso_week_start(uint32_t packed, int32_t& first_weekday);
// Seconds since 1 January 1970 UTC; outside the 32-bit range raises script/type-limit.
int32_t to_epoch(const cell& date);
int64_t to_epoch_wide(const cell& date);

// ---- Zones and times ----------------------------------------------------------------------

// The zone bits of an offset in minutes east of UTC: the sign is the whole offset's, the
// hours and quarters are its magnitude's.
uint32_t zone_from_minutes(int32_t minutes_east);
double zone_seconds(uint32_t zone);
double shift_by_zone(double time, uint32_t zone, bool to_utc);
inline double to_local_time(double time, uint32_t zone) { return shift_by_zone(time, zone, false); }
inline double to_utc_time(double time, uint32_t zone) { return shift_by_zone(time, zone, true); }
// Moves whole days between `time` and the day number so that the local time of day falls in
// [0, 86400); answers the new day number.
int64_t normalize_time(int64_t days, double& time, uint32_t zone);
// Raises math/overflow unless the day number falls in the years a packed word holds and the
// time is within two days.
void check_calendar(int64_t days, double time);
// Stores `time` in the date, first converted from local to UTC when asked, and rebuilds the
// packed word from the normalised day number.
void normalize(cell& date, double time, bool to_utc);
// The month set with carry into the year (0 is December of the year before, 13 January of
// the next); a day past the new month's end carries into the month after.
void set_month(cell& date, int32_t month);

// ---- Constructors -------------------------------------------------------------------------

cell* push(uint32_t packed, double time);
// The moment `seconds` after 1 January 1970 UTC, with its time, shown in the zone given by
// its bits.
cell* push_epoch(int64_t seconds, uint32_t zone);
cell* new_in_block(cell& block, uint32_t packed, double time);
// The lexer's constructor: fields already checked, `time` in local seconds, the zone as a
// signed offset in minutes east.
cell* make_at(cell& target, int32_t year, uint32_t month, uint32_t day, double time, int32_t zone_minutes,
              bool has_time);
// The Sunday that starts week `week` (week 1 holds 1 January) and the Monday of ISO week
// `week` of the date's year.
void set_week(cell& date, int32_t week);
void set_isoweek(cell& date, int32_t week);
void set_weekday(cell& date, int32_t n);
void set_yearday(cell& date, int32_t n);
cell* make_at_hms(cell& target, int32_t year, uint32_t month, uint32_t day, int32_t hours, int32_t minutes,
                  int32_t seconds, int32_t nanoseconds);

// The month names dates are written with: system/locale/months when the system object has
// it, else the English names. Null when the names are English and built in.
const cell* month_names();
extern const char* const english_months[12];

// ---- Fields and arithmetic ------------------------------------------------------------------

// The accessor indexes: 1 date, 2 year, 3 month, 4 day, 5 zone, 6 time, 7 hour, 8 minute,
// 9 second, 10 weekday, 11 yearday (also julian), 12 timezone, 13 week, 14 isoweek.
inline constexpr int32_t field_count = 14;
// The index of an accessor word in any letter case; 0 for any other word.
int32_t accessor_index(const cell& word);
// Pushes the field `index` (1-14) of the date.
cell* get_field(const cell& date, int32_t index);
// 1 Monday-based weekday, Sunday-based week and ISO week of the packed date.
int32_t week_of(uint32_t packed);
int32_t isoweek_of(uint32_t packed);
// A new zone from an integer! (hours) or a time!: `keep_instant` shows the same moment in
// the new zone, else the local time of day is kept and the moment moves.
void set_zone(cell& date, const cell& value, bool keep_instant);
// Add (op 0) or subtract (op 1) on the argument cells, the first a date!.
cell* do_math(int32_t op);
// The first date turned into the time! from the second date to it.
cell* difference(cell* date1, cell* date2);

// ---- Actions ------------------------------------------------------------------------------

cell* make(cell* prototype, cell* spec, int32_t type);
cell* random(cell* value, bool seed, bool secure, bool only);
cell* to(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* add();
cell* subtract();
cell* pick(cell* series, int32_t index, cell* index_cell);
void init();

}  // namespace tav::date
