// date!: the day-number calendar, zone and time conversions, the constructors, making from
// blocks and epoch seconds, random dates, the text form and comparison.
#include "datatypes/date.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/time.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/platform.hpp"
#include "runtime/random.hpp"
#include "runtime/series.hpp"

namespace tav::date {

const char* const english_months[12] = {"January", "February", "March",     "April",   "May",      "June",
                                        "July",    "August",   "September", "October", "November", "December"};

namespace {

using scalar_support::datatype_of;

constexpr int32_t widest_zone = 15 * 60 + 45;  // minutes

// Floor division and modulo: the calendar runs on both sides of day 0.
int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t floor_mod(int64_t a, int64_t b) { return a - floor_div(a, b) * b; }

int64_t days_before_year(int64_t y) { return 365 * y + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400); }

// The day number of day 0 of the month: the last day of the month before.
int64_t month_base_days(int32_t year, uint32_t month) { return date_to_days(pack(year, month, 1)) - 1; }

[[gnu::cold, noreturn]] void fire_bad_to_arg(const cell& spec) {
  fire(error_id::script_bad_to_arg, datatype_of(TYPE_DATE), spec);
}

// ---- Making from a block ----------------------------------------------------------------------

// Slots of the values a block spec gives.
enum slot : int8_t {
  first_integer = 0, month_slot = 1, third_integer = 2, hour_slot = 3, minute_slot = 4, second_slot = 5,
  zone_hours_slot = 6, zone_minutes_slot = 7, float_seconds_slot = 8, time_slot = 10, zone_time_slot = 12,
};

struct transition {
  int8_t next;
  int8_t slot;  // -1: no such transition
};

// Per state: the transition of an integer!, a time!, a float!.
constexpr transition no = {-1, -1};
constexpr transition block_states[14][3] = {
    {{1, first_integer}, no, no},
    {{2, month_slot}, no, no},
    {{3, third_integer}, no, no},
    {{8, hour_slot}, {4, time_slot}, no},
    {{6, zone_hours_slot}, {5, zone_time_slot}, no},
    {no, no, no},
    {{7, zone_minutes_slot}, no, no},
    {no, no, no},
    {{9, minute_slot}, no, no},
    {{10, second_slot}, no, {10, float_seconds_slot}},
    {{12, zone_hours_slot}, {11, zone_time_slot}, no},
    {no, no, no},
    {{13, zone_minutes_slot}, no, no},
    {no, no, no},
};

struct block_fields {
  int32_t integers[8] = {};
  double float_seconds = 0.0, time_value = 0.0, zone_time = 0.0;
  bool has[13] = {};
  uint32_t count = 0;
};

block_fields read_block(const cell& spec) {
  series_buffer* buffer = buffer_of(spec.payload2);
  uint32_t total = buffer->count(), head = spec.payload1;
  uint32_t n = head < total ? total - head : 0;
  const cell* values = buffer->cells() + head;
  block_fields f;
  int state = 0;
  for (uint32_t i = 0; i < n; ++i) {
    int column;
    switch (values[i].type()) {
      case TYPE_INTEGER: column = 0; break;
      case TYPE_TIME: column = 1; break;
      case TYPE_FLOAT: column = 2; break;
      default: fire_bad_to_arg(spec);
    }
    transition t = block_states[state][column];
    if (t.next < 0) fire_bad_to_arg(spec);
    if (column == 0)
      f.integers[t.slot] = integer::get(values[i]);
    else if (t.slot == float_seconds_slot)
      f.float_seconds = float_::get(values[i]);
    else if (t.slot == time_slot)
      f.time_value = float_::get(values[i]);
    else
      f.zone_time = float_::get(values[i]);
    f.has[t.slot] = true;
    state = t.next;
  }
  f.count = n;
  if (n < 3) fire_bad_to_arg(spec);
  return f;
}

// The zone of a make block in minutes east, its sign the whole offset's: a time value gives it by
// its own sign, whole hours and minutes count away from zero together ([-5 30] is -05:30,
// [0 -30] is -00:30).
int32_t block_zone_minutes(const block_fields& f) {
  if (f.has[zone_time_slot]) return static_cast<int32_t>(std::trunc(std::fmod(f.zone_time, 86400.0) / 60.0));
  int64_t hours = f.integers[zone_hours_slot], minutes = f.integers[zone_minutes_slot];
  bool negative = hours < 0 || (hours == 0 && minutes < 0);
  int64_t magnitude = (hours < 0 ? -hours : hours) * 60 + (minutes < 0 ? -minutes : minutes);
  return static_cast<int32_t>(std::min<int64_t>(negative ? -magnitude : magnitude, INT32_MAX));
}

// Four bits of hours and two of quarters: beyond 15:45 either way a zone cannot be kept.
bool zone_in_range_p(int32_t minutes) { return minutes >= -widest_zone && minutes <= widest_zone; }

cell* from_block(const cell& spec, bool checked) {
  block_fields f = read_block(spec);
  int32_t day = f.integers[first_integer], month = f.integers[month_slot], year = f.integers[third_integer];
  if (day > 99 && day > year) std::swap(day, year);
  double time = 0.0;
  bool separate_minute = f.has[hour_slot];
  if (f.has[time_slot]) {
    time = f.time_value;
  } else if (separate_minute) {
    time = f.integers[hour_slot] * 3600.0 + f.integers[minute_slot] * 60.0;
    time += f.float_seconds != 0.0 ? f.float_seconds : f.integers[second_slot];
  }
  cell* result = push(pack(year, 1, 1), 0.0);
  set_month(*result, month);
  uint32_t packed = result->payload1;
  int64_t days = month_base_days(year_of(packed), month_of(packed)) + day;
  result->payload1 = days_to_date(days, 0, f.count > 3);
  normalize(*result, time, false);
  if (checked) {
    packed = result->payload1;
    int32_t given_month = month;
    bool same_day = year_of(packed) == year && static_cast<int32_t>(month_of(packed)) == given_month &&
                    static_cast<int32_t>(day_of(packed)) == day;
    if (!same_day) fire_bad_to_arg(spec);
    if (time != 0.0) {
      int32_t hour = separate_minute ? f.integers[hour_slot] : time::get_hours(time);
      int32_t minute = separate_minute ? f.integers[minute_slot] : time::get_minutes(time);
      double stored = get_time(*result);
      if (hour < 0 || hour > 23 || time::get_minutes(stored) != minute) fire_bad_to_arg(spec);
    }
  }
  int32_t zone_minutes = block_zone_minutes(f);
  if (!zone_in_range_p(zone_minutes)) fire_bad_to_arg(spec);
  result->payload1 = (result->payload1 & ~zone_mask) | zone_from_minutes(zone_minutes);
  normalize(*result, get_time(*result), true);
  return result;
}

cell* from_epoch(int32_t seconds) {
  int64_t days = epoch_days + seconds / 86400;
  cell* result = push(days_to_date(days, 0, true), seconds % 86400);
  if (seconds < 0) normalize(*result, get_time(*result), false);
  return result;
}

// ---- Text ---------------------------------------------------------------------------------

// The locale's month list, when the system object has one. The field names are interned
// here, not among the runtime's words: only writing a date needs them.
const cell* locale_months() {
  if (!context::global) return nullptr;
  const cell* system = context::find_value(context::global, symbols::system);
  if (!system || system->type() != TYPE_OBJECT) return nullptr;
  const cell* locale = context::find_value(object::context_of(*system), symbol::make("locale"));
  if (!locale || locale->type() != TYPE_OBJECT) return nullptr;
  return context::find_value(object::context_of(*locale), symbol::make("months"));
}

// Appends the first three characters of the month's name.
void append_month(cell& buffer, uint32_t month) {
  const cell* names = month_names();
  if (!names) {
    text::append_c_part(buffer, english_months[(month - 1) % 12], 3);
    return;
  }
  if (names->type() != TYPE_BLOCK) fire(error_id::script_invalid_months);
  series_buffer* list = buffer_of(names->payload2);
  uint32_t position = names->payload1 + month - 1;
  if (month < 1 || position >= list->count()) fire(error_id::script_invalid_months);
  const cell& name = list->cells()[position];
  if (name.type() != TYPE_STRING) fire(error_id::script_invalid_months);
  uint32_t length = std::min<uint32_t>(string::ts_length_p(name), 3);
  for (uint32_t i = 0; i < length; ++i) text::append_char(buffer, string::ts_abs_at(name, name.payload1 + i));
}

int32_t form_text(const cell& date, cell& buffer, int32_t limit) {
  uint32_t packed = date.payload1;
  char sep = static_cast<int32_t>(packed) < 0 ? '/' : '-';
  char text[24];
  limit -= std::snprintf(text, sizeof text, "%u%c", day_of(packed), sep);
  text::append_c_string(buffer, text);
  append_month(buffer, month_of(packed));
  int32_t year = year_of(packed);
  int32_t magnitude = year < 0 ? -year : year;
  limit -= 3 + std::snprintf(text, sizeof text, "%c%s%0*d", sep, year < 0 ? "-" : "", magnitude < 100 ? 4 : 1,
                             magnitude);
  text::append_c_string(buffer, text);
  if (!time_p(packed)) return limit;
  uint32_t zone = zone_of(packed);
  text::append_char(buffer, '/');
  limit = time::form_text(to_local_time(get_time(date), zone), buffer, limit - 1);
  if (zone == 0) return limit;
  std::snprintf(text, sizeof text, "%c%02u:%02u", zone & zone_negative ? '-' : '+', (zone >> 2) & 0xF,
                (zone & 3) * 15);
  text::append_c_string(buffer, text);
  return limit - 6;
}

// Year, month and day as one signed number that orders as the calendar does.
int32_t calendar_key(uint32_t packed) { return (static_cast<int32_t>(packed) >> 7) & ~(1 << 9); }

}  // namespace

// ---- Calendar -------------------------------------------------------------------------------

int64_t date_to_days(uint32_t packed) {
  int64_t month = month_of(packed), day = day_of(packed);
  int64_t shifted = (month + 9) % 12;  // March 0 ... February 11
  int64_t y = year_of(packed) - (shifted >= 10 ? 1 : 0);
  return days_before_year(y) + (shifted * 306 + 5) / 10 + (day - 1);
}

uint32_t days_to_date(int64_t days, uint32_t zone, bool with_time) {
  auto y = static_cast<int64_t>(std::floor((10000.0 * static_cast<double>(days) + 14780.0) / 3652425.0));
  int64_t r = days - days_before_year(y);
  if (r < 0) {
    --y;
    r = days - days_before_year(y);
  }
  int64_t mi = (100 * r + 52) / 3060;
  int64_t month = (mi + 2) % 12 + 1;
  int64_t year = y + (mi + 2) / 12;
  int64_t day = r - (mi * 306 + 5) / 10 + 1;
  return pack(static_cast<int32_t>(year), static_cast<uint32_t>(month), static_cast<uint32_t>(day)) |
         (with_time ? time_flag : 0) | (zone & zone_mask);
}

bool leap_year_p(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int64_t year_start_days(uint32_t packed) { return date_to_days(pack(year_of(packed), 1, 1)); }

int32_t yearday(uint32_t packed) { return static_cast<int32_t>(date_to_days(packed) - year_start_days(packed) + 1); }

int32_t weekday(int64_t days) { return static_cast<int32_t>(floor_mod(days + 2, 7)) + 1; }

int64_t iso_week_start(uint32_t packed, int32_t& first_weekday) {
  int64_t start = year_start_days(packed);
  int64_t w = floor_mod(start + 2, 7);
  first_weekday = static_cast<int32_t>(w) + 1;
  return start - w + (w >= 4 ? 7 : 0);
}

int64_t to_epoch_wide(const cell& date) {
  double time = std::trunc(get_time(date) + 0.5);
  // A time beyond any date is not a second count; it can only overflow.
  if (!(std::fabs(time) < 9e15)) time = time < 0 ? -9e15 : 9e15;
  return (date_to_days(date.payload1) - epoch_days) * 86400 + static_cast<int64_t>(time);
}

int32_t to_epoch(const cell& date) {
  int64_t seconds = to_epoch_wide(date);
  if (seconds < INT32_MIN || seconds > INT32_MAX) fire(error_id::script_type_limit, datatype_of(TYPE_INTEGER));
  return static_cast<int32_t>(seconds);
}

// ---- Zones and times ------------------------------------------------------------------------

uint32_t zone_from_minutes(int32_t minutes_east) {
  return platform::pack_zone(std::clamp(minutes_east, -widest_zone, widest_zone)) & zone_mask;
}

double zone_seconds(uint32_t zone) {
  double seconds = ((zone >> 2) & 0xF) * 3600.0 + (zone & 3) * 900.0;
  return zone & zone_negative ? -seconds : seconds;
}

double shift_by_zone(double time, uint32_t zone, bool to_utc) {
  double offset = zone_seconds(zone);
  return to_utc ? time - offset : time + offset;
}

int64_t normalize_time(int64_t days, double& time, uint32_t zone) {
  double hours = zone_seconds(zone) / 3600.0;
  double m = std::trunc(std::trunc(time / 3600.0 + hours) / 24.0);
  // Days beyond any year: the calendar wraps there anyway, the cast must not.
  if (!(std::fabs(m) < 1e12)) m = 0.0;
  time -= m * seconds_per_day;
  days += static_cast<int64_t>(m);
  if (hours * 3600.0 + time < 0.0) {
    --days;
    time += seconds_per_day;
  }
  return days;
}

void check_calendar(int64_t days, double time) {
  // The years a packed word holds, as day numbers: 1 January of the first, 31 December of the last.
  static const int64_t first_day = date_to_days(pack(first_year, 1, 1));
  static const int64_t last_day = date_to_days(pack(last_year, 12, 31));
  if (days < first_day || days > last_day || !(std::fabs(time) <= 2 * seconds_per_day))
    fire(error_id::math_overflow);
}

void normalize(cell& date, double time, bool to_utc) {
  uint32_t packed = date.payload1;
  uint32_t zone = zone_of(packed);
  if (to_utc) time = to_utc_time(time, zone);
  int64_t days = normalize_time(date_to_days(packed), time, zone);
  check_calendar(days, time);
  date.payload1 = days_to_date(days, zone, time_p(packed));
  set_time(date, time);
}

void set_month(cell& date, int32_t month) {
  uint32_t packed = date.payload1;
  int64_t months = int64_t{month} - 1;
  int64_t year = year_of(packed) + floor_div(months, 12);
  if (year < first_year || year > last_year) fire(error_id::math_overflow);
  auto new_month = static_cast<uint32_t>(floor_mod(months, 12) + 1);
  uint32_t start = pack(static_cast<int32_t>(year), new_month, 1);
  date.payload1 = days_to_date(date_to_days(start) + day_of(packed) - 1, zone_of(packed), time_p(packed));
}

// ---- Constructors ---------------------------------------------------------------------------

cell* push(uint32_t packed, double time) {
  cell* slot = stack::push_cell();
  *slot = cell{TYPE_DATE, packed, 0, 0};
  set_time(*slot, time);
  return slot;
}

cell* push_epoch(int64_t seconds, uint32_t zone) {
  cell* result = push(days_to_date(epoch_days + floor_div(seconds, 86400), zone, true),
                      static_cast<double>(floor_mod(seconds, 86400)));
  normalize(*result, get_time(*result), false);
  return result;
}

cell* new_in_block(cell& block, uint32_t packed, double time) {
  cell* slot = alloc_block_tail(block);
  *slot = cell{TYPE_DATE, packed, 0, 0};
  set_time(*slot, time);
  return slot;
}

cell* make_at(cell& target, int32_t year, uint32_t month, uint32_t day, double time, int32_t zone_minutes,
              bool has_time) {
  uint32_t zone = zone_from_minutes(zone_minutes);
  target = cell{TYPE_DATE, pack(year, month, day) | zone, 0, 0};
  if (has_time) {
    target.payload1 |= time_flag;
    set_time(target, to_utc_time(time, zone));
  }
  return &target;
}

namespace {
void move_to_day(cell& date, int64_t days) {
  check_calendar(days, 0.0);
  uint32_t packed = date.payload1;
  date.payload1 = days_to_date(days, zone_of(packed), time_p(packed));
}
}  // namespace

void set_week(cell& date, int32_t week) {
  int64_t start = year_start_days(date.payload1);
  if (week <= 1) {
    move_to_day(date, start);
    return;
  }
  move_to_day(date, start + 7 * int64_t{week} - floor_mod(start + 3, 7) - 7);
}

void set_isoweek(cell& date, int32_t week) {
  int32_t first_weekday;
  move_to_day(date, iso_week_start(date.payload1, first_weekday) + 7 * int64_t{week} - 7);
}

void set_weekday(cell& date, int32_t n) {
  int64_t c = date_to_days(date.payload1);
  move_to_day(date, c + n - 1 - floor_mod(c + 2, 7));
}

void set_yearday(cell& date, int32_t n) { move_to_day(date, year_start_days(date.payload1) + n - 1); }

cell* make_at_hms(cell& target, int32_t year, uint32_t month, uint32_t day, int32_t hours, int32_t minutes,
                  int32_t seconds, int32_t nanoseconds) {
  target = cell{TYPE_DATE, pack(year, month, day) | time_flag, 0, 0};
  set_time(target, hours * 3600.0 + minutes * 60.0 + seconds + nanoseconds * 1e-9);
  return &target;
}

const cell* month_names() { return locale_months(); }

// ---- Fields and arithmetic ------------------------------------------------------------------

namespace {

// The runtime's symbols are numbered at start-up: the table holds where they live.
const uint32_t* const accessor_words[field_count + 1] = {
    nullptr,          &symbols::date,    &symbols::year,     &symbols::month,  &symbols::day,
    &symbols::zone,   &symbols::time,    &symbols::hour,     &symbols::minute, &symbols::second,
    &symbols::weekday, &symbols::yearday, &symbols::timezone, &symbols::week,   &symbols::isoweek};

enum field : int32_t {
  date_field = 1, year_field, month_field, day_field, zone_field, time_field, hour_field, minute_field,
  second_field, weekday_field, yearday_field, timezone_field, week_field, isoweek_field,
};

double local_time_of(const cell& date) { return to_local_time(get_time(date), zone_of(date.payload1)); }

cell* push_zone(uint32_t packed) {
  if (!time_p(packed)) return stack::push_copy(none::value);
  return time::push(zone_seconds(zone_of(packed)));
}

// The field index a path element names: 1-14 or an accessor word; 0 for anything else.
int32_t path_field(const cell& element) {
  if (element.type() == TYPE_INTEGER) {
    int32_t i = integer::get(element);
    return i >= 1 && i <= field_count ? i : 0;
  }
  return accessor_index(element);
}

bool integer_field_p(int32_t index) {
  switch (index) {
    case year_field:
    case month_field:
    case day_field:
    case weekday_field:
    case yearday_field:
    case week_field:
    case isoweek_field: return true;
    default: return false;
  }
}

// Hours, minutes or seconds replaced in the local time of day; the day carries.
void set_time_field(cell& date, int32_t index, const cell& value) {
  double v;
  if (value.type() == TYPE_INTEGER)
    v = integer::get(value);
  else if (index == second_field && value.type() == TYPE_FLOAT)
    v = float_::get(value);
  else
    fire(error_id::script_invalid_arg, value);
  double local = time::with_field(local_time_of(date), index - hour_field + 1, v);
  if (!std::isfinite(local)) fire(error_id::script_invalid_arg, value);
  date.payload1 |= time_flag;
  normalize(date, local, true);
}

void set_time_of_day(cell& date, const cell& value) {
  if (value.type() == TYPE_NONE) {
    date.payload1 &= ~time_flag;
    set_time(date, 0.0);
    return;
  }
  if (value.type() != TYPE_TIME) fire(error_id::script_invalid_arg, value);
  double local = float_::get(value);
  if (!std::isfinite(local)) fire(error_id::script_invalid_arg, value);
  date.payload1 |= time_flag;
  normalize(date, local, true);
}

// The calendar fields: each rebuilds the packed word from a day number.
void set_day_field(cell& date, int32_t index, int32_t n) {
  uint32_t packed = date.payload1;
  switch (index) {
    case year_field:
      if (n < first_year || n > last_year) fire(error_id::math_overflow);
      date.payload1 = (packed & (zone_mask | time_flag)) | pack(n, month_of(packed), day_of(packed));
      move_to_day(date, date_to_days(date.payload1));
      return;
    case month_field: set_month(date, n); return;
    case day_field: move_to_day(date, month_base_days(year_of(packed), month_of(packed)) + n); return;
    case weekday_field: set_weekday(date, n); return;
    case yearday_field: set_yearday(date, n); return;
    case week_field: set_week(date, n); return;
    default: set_isoweek(date, n); return;
  }
}

void assign_field(cell& date, int32_t index, const cell& value) {
  if (integer_field_p(index)) {
    if (value.type() != TYPE_INTEGER) fire(error_id::script_invalid_arg, value);
    set_day_field(date, index, integer::get(value));
    return;
  }
  switch (index) {
    case date_field:
      if (value.type() != TYPE_DATE) fire(error_id::script_invalid_arg, value);
      date.payload1 = (value.payload1 & ~zone_mask) | zone_of(date.payload1);
      return;
    case zone_field:
    case timezone_field: set_zone(date, value, index == timezone_field); return;
    case time_field: set_time_of_day(date, value); return;
    default: set_time_field(date, index, value); return;
  }
}

}  // namespace

int32_t accessor_index(const cell& name) {
  if (!plain_word_p(name.type())) return 0;
  uint32_t symbol = symbol::resolve(word::symbol_of(name));
  if (symbol == symbol::resolve(symbols::julian)) return yearday_field;
  for (int32_t i = 1; i <= field_count; ++i)
    if (symbol == symbol::resolve(*accessor_words[i])) return i;
  return 0;
}

int32_t week_of(uint32_t packed) {
  int64_t e = floor_mod(year_start_days(packed) + 3, 7);
  int64_t d = yearday(packed);
  return d <= 7 - e ? 1 : static_cast<int32_t>((d + e - 1) / 7 + 1);
}

int32_t isoweek_of(uint32_t packed) {
  int32_t w;
  int64_t start = iso_week_start(packed, w);
  int64_t g = date_to_days(packed);
  if (g < start) {
    switch (w) {
      case 5: return 53;
      case 6: return leap_year_p(year_of(packed) - 1) ? 53 : 52;
      case 7: return 52;
      default: return 1;
    }
  }
  int32_t next_weekday;
  int64_t next_start = iso_week_start(pack(year_of(packed) + 1, 1, 1), next_weekday);
  return g < next_start ? static_cast<int32_t>((g - start) / 7 + 1) : 1;
}

cell* get_field(const cell& date, int32_t index) {
  uint32_t packed = date.payload1;
  switch (index) {
    case date_field: return push(packed & ~(zone_mask | time_flag), 0.0);
    case year_field: return integer::push(year_of(packed));
    case month_field: return integer::push(static_cast<int32_t>(month_of(packed)));
    case day_field: return integer::push(static_cast<int32_t>(day_of(packed)));
    case zone_field:
    case timezone_field: return push_zone(packed);
    case time_field: return time_p(packed) ? time::push(local_time_of(date)) : stack::push_copy(none::value);
    case hour_field: return integer::push(time::get_hours(local_time_of(date)));
    case minute_field: return integer::push(time::get_minutes(local_time_of(date)));
    case second_field: {
      double seconds = std::fmod(local_time_of(date), 60.0);
      return float_::push(seconds == 0.0 ? 0.0 : seconds);
    }
    case weekday_field: return integer::push(weekday(date_to_days(packed)));
    case yearday_field: return integer::push(yearday(packed));
    case week_field: return integer::push(week_of(packed));
    default: return integer::push(isoweek_of(packed));
  }
}

void set_zone(cell& date, const cell& value, bool keep_instant) {
  int64_t minutes;
  if (value.type() == TYPE_INTEGER) {
    minutes = integer::get(value) % 16 * 60;
  } else if (value.type() == TYPE_TIME) {
    double t = std::fmod(float_::get(value), 57600.0);
    if (!std::isfinite(t)) fire(error_id::script_invalid_arg, value);
    // The sign is the whole offset's: -0:30 is half an hour west.
    double magnitude = std::fabs(t);
    minutes = static_cast<int64_t>(std::floor(magnitude / 3600.0)) * 60 +
              static_cast<int64_t>(std::floor(std::fmod(magnitude, 3600.0) / 60.0)) / 15 * 15;
    if (t < 0.0) minutes = -minutes;
  } else {
    fire(error_id::script_invalid_arg, value);
  }
  double time = keep_instant ? get_time(date) : local_time_of(date);
  date.payload1 = (date.payload1 & ~zone_mask) | zone_from_minutes(static_cast<int32_t>(minutes));
  normalize(date, time, !keep_instant);
}

cell* do_math(int32_t op) {
  cell* value1 = stack::argument(0);
  cell* value2 = stack::argument(1);
  int64_t days = 0;
  double delta = 0.0;
  uint32_t packed = value1->payload1;
  switch (value2->type()) {
    case TYPE_INTEGER: days = integer::get(*value2); break;
    case TYPE_TIME:
      delta = float_::get(*value2);
      packed |= time_flag;
      break;
    case TYPE_DATE:
      if (op != math_op::subtract)
        fire(error_id::script_not_related, scalar_support::word_named(scalar_support::math_words[op]),
             datatype_of(TYPE_DATE));
      days = date_to_days(value2->payload1);
      delta = get_time(*value2);
      break;
    default: fire(error_id::script_invalid_type, datatype_of(value2->type()));
  }
  if (op == math_op::subtract) {
    days = -days;
    delta = -delta;
  }
  double time = get_time(*value1) + delta;
  if (!std::isfinite(time)) fire(error_id::math_overflow);
  days += date_to_days(packed);
  if (value2->type() == TYPE_DATE) {
    // Whole days between the two moments, counted in UTC: a date minus itself is 0 in any zone.
    days = normalize_time(days, time, 0);
    if (days < INT32_MIN || days > INT32_MAX) fire(error_id::math_overflow);
    *value1 = scalar::integer(static_cast<int32_t>(days));
    return value1;
  }
  days = normalize_time(days, time, zone_of(packed));
  check_calendar(days, time);
  value1->payload1 = days_to_date(days, zone_of(packed), time_p(packed));
  set_time(*value1, time);
  return value1;
}

cell* difference(cell* date1, cell* date2) {
  double days = static_cast<double>(date_to_days(date1->payload1) - date_to_days(date2->payload1));
  double seconds = days * seconds_per_day + (get_time(*date1) - get_time(*date2));
  time::make_at(*date1, seconds);
  return date1;
}

// ---- Actions --------------------------------------------------------------------------------

cell* make(cell*, cell* spec, int32_t) {
  switch (spec->type()) {
    case TYPE_DATE: return spec;
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: return from_block(*spec, true);
    default: fire_bad_to_arg(*spec);
  }
}

cell* random(cell* value, bool seed, bool secure, bool) {
  uint32_t packed = value->payload1;
  double time = get_time(*value);
  if (seed) {
    double whole = std::trunc(time);
    auto seconds = std::fabs(whole) < 2147483648.0 ? static_cast<int64_t>(whole) : 0;
    rng::seed(static_cast<int32_t>(packed + static_cast<uint32_t>(seconds)));
    *value = unset::value;
    return value;
  }
  auto days = static_cast<int32_t>(date_to_days(packed));
  int32_t r = rng::random_int(secure, days);
  value->payload1 = days_to_date(int64_t{r} - 1, zone_of(packed), time_p(packed));
  if (!time_p(packed)) return value;
  int32_t zone_draw = secure ? rng::secure_next() : rng::next();
  value->payload1 = (value->payload1 & ~zone_mask) | (static_cast<uint32_t>(zone_draw) & zone_mask);
  double u;
  if (secure) {
    double a = rng::secure_next(), b = rng::secure_next();
    u = std::fmod(a / 2147483647.0 + b / 2147483647.0, 1.0);
  } else {
    u = rng::next() / 2147483647.0;
  }
  normalize(*value, std::floor(u * 3600.0) / 3600.0 * seconds_per_day, true);
  return value;
}

cell* to(cell*, cell* spec, int32_t) {
  switch (spec->type()) {
    case TYPE_DATE: return spec;
    case TYPE_INTEGER: return from_epoch(integer::get(*spec));
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: return from_block(*spec, false);
    default: fire_bad_to_arg(*spec);
  }
}

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) { return form_text(*value, *buffer, limit); }

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell*, int32_t limit, int32_t) {
  return form_text(*value, *buffer, limit);
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t,
                bool, bool, bool, bool store_back) {
  int32_t index = path_field(*element);
  if (!index) fire(error_id::script_invalid_path, scalar_support::path_or_none(path), *element);
  if (!value) return get_field(*parent, index);
  cell changed = *parent;
  assign_field(changed, index, *value);
  cell old_value = *parent;
  *parent = changed;
  scalar_support::notify_owner(container, previous, old_value, *parent, *value, index, store_back);
  return value;
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != TYPE_DATE) return actions::not_comparable;
  int32_t key1 = calendar_key(value1->payload1), key2 = calendar_key(value2->payload1);
  double t1 = get_time(*value1), t2 = get_time(*value2);
  if (op == actions::op::same) return key1 == key2 && value1->payload2 == value2->payload2 &&
                                             value1->payload3 == value2->payload3 ? 0 : 1;
  bool equal = key1 == key2 && float_::almost_equal_p(t1, t2);
  switch (op) {
    case actions::op::equal:
    case actions::op::not_equal:
    case actions::op::strict_equal:
    case actions::op::parse_strict:
    case actions::op::parse_equal:
    case actions::op::find: return equal ? 0 : 1;
    default:
      if (equal) return 0;
      if (key1 != key2) return key1 < key2 ? -1 : 1;
      return t1 < t2 ? -1 : 1;
  }
}

cell* add() { return do_math(math_op::add); }

cell* subtract() { return do_math(math_op::subtract); }

cell* pick(cell* series, int32_t index, cell* index_cell) {
  if (index_cell && plain_word_p(index_cell->type())) index = accessor_index(*index_cell);
  if (index < 1 || index > field_count)
    fire(error_id::script_out_of_range, index_cell ? *index_cell : scalar::integer(index));
  return get_field(*series, index);
}

void init() {
  handoff::date_to_epoch = to_epoch;
  handoff::date_do_math = do_math;
  datatype::register_type(TYPE_DATE, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, &random, unsupported, &to, &form, &mold, &eval_path, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, &add, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      &subtract,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      &pick, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::date
