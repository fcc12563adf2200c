// time!: construction, the h:mm:ss text, field access by path and pick, and the rules that
// keep arithmetic results in time.
#include "datatypes/time.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "datatypes/actions.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"

namespace tav::time {
namespace {

using scalar_support::datatype_of;
using scalar_support::word_named;

// Seconds below this print as "00"; also the bias of even? and odd?.
constexpr double tiny_seconds = 1e-6;

bool text_type_p(uint8_t type) {
  switch (type) {
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF: return true;
    default: return false;
  }
}

// [hours minutes seconds], any of them left out from the end; only the hours carry a sign.
cell* from_block(const cell& spec) {
  series_buffer* buffer = buffer_of(spec.payload2);
  uint32_t count = buffer->count(), head = spec.payload1;
  uint32_t n = head < count ? count - head : 0;
  if (n > 3) fire_bad_make(spec);
  const cell* values = buffer->cells() + head;
  constexpr double units[] = {seconds_per_hour, seconds_per_minute, 1.0};
  double total = 0.0;
  bool negative = false;
  for (uint32_t i = 0; i < n; ++i) {
    double x;
    if (values[i].type() == TYPE_INTEGER)
      x = integer::get(values[i]);
    else if (i == 2 && values[i].type() == TYPE_FLOAT)
      x = float_::get(values[i]);
    else
      fire_bad_make(spec);
    if (x < 0.0) {
      if (i != 0) fire_bad_make(spec);
      negative = true;
      x = -x;
    }
    total += x * units[i];
  }
  if (!std::isfinite(total)) fire_bad_make(spec);
  return push(negative ? -total : total);
}

cell* from_text(const cell& spec) {
  handoff::text_scanner scan = handoff::need(handoff::transcode_first);
  cell* kept = stack::push_copy(spec);  // spec as given, for the error
  cell* first = stack::push_cell();
  *first = unset::value;
  scan(spec, *first);
  if (first->type() != TYPE_TIME) fire_bad_make(*kept);
  return first;
}

// The field an eval-path element names: 1 to 3 by position or by word; 0 for anything else.
int32_t field_of(const cell& element) {
  if (element.type() == TYPE_INTEGER) {
    int32_t i = integer::get(element);
    return i >= 1 && i <= 3 ? i : 0;
  }
  if (!plain_word_p(element.type())) return 0;
  uint32_t symbol = symbol::resolve(word::symbol_of(element));
  if (symbol == symbol::resolve(symbols::hour)) return 1;
  if (symbol == symbol::resolve(symbols::minute)) return 2;
  if (symbol == symbol::resolve(symbols::second)) return 3;
  return 0;
}

double seconds_of(const cell& value) { return float_::get(value); }

// Whole seconds within the minute, nudged away from zero so that 2.9999999 counts as 3.
int32_t whole_seconds(const cell& value) {
  double s = seconds_of(value);
  s += s >= 0.0 ? tiny_seconds : -tiny_seconds;
  return static_cast<int32_t>(std::fmod(s, seconds_per_minute));
}

}  // namespace

cell* push(double seconds) {
  cell* slot = stack::push_cell();
  *slot = scalar::float_cell(seconds, TYPE_TIME);
  return slot;
}

cell* make_at(cell& target, double seconds) {
  set_type(target, TYPE_TIME);
  float_::set(target, seconds);
  return &target;
}

cell* make_in(cell& block, uint32_t high, uint32_t low) {
  cell* slot = alloc_block_tail(block);
  *slot = cell{TYPE_TIME, 0, low, high};
  return slot;
}

int32_t get_hours(double seconds) {
  const double hours = std::trunc(seconds / seconds_per_hour);
  if (!float_::int32_range_p(hours)) fire(error_id::math_overflow);
  return static_cast<int32_t>(hours);
}

int32_t get_minutes(double seconds) {
  return static_cast<int32_t>(std::floor(std::fmod(std::fabs(seconds), seconds_per_hour) / seconds_per_minute));
}

double with_field(double s, int32_t field, double v) {
  // A negative time has its fields replaced in its magnitude; the hours and seconds read
  // signed there, so they are taken by their magnitude too.
  if (s < 0.0) return -with_field(-s, field, field == 2 ? v : std::fabs(v));
  switch (field) {
    case 1: return s - (std::floor(s / seconds_per_hour) - v) * seconds_per_hour;
    case 2: return s - (std::floor(std::fmod(s, seconds_per_hour) / seconds_per_minute) - v) * seconds_per_minute;
    default: return s - (std::fmod(s, seconds_per_minute) - v);
  }
}

int32_t get_named_index(const cell& word, const cell& value) {
  int32_t field = plain_word_p(word.type()) ? field_of(word) : 0;
  if (field) return field;
  if (value.type() == TYPE_TIME) fire(error_id::script_cannot_use, word, value);
  return -1;
}

cell* get_field(const cell& value, int32_t index) {
  double s = seconds_of(value);
  switch (index) {
    case 1: return integer::push(get_hours(s));
    case 2: return integer::push(get_minutes(s));
    default: {
      double seconds = std::fmod(s, seconds_per_minute);
      return float_::push(seconds == 0.0 ? 0.0 : seconds);  // no -0.0
    }
  }
}

int32_t form_text(double seconds, cell& buffer, int32_t part) {
  // The hours have no digit limit: the largest double has 309 of them.
  char text[400];
  int written = 0;
  if (seconds < 0.0) {
    text[written++] = '-';
    seconds = -seconds;
  }
  written += std::snprintf(text + written, sizeof text - static_cast<size_t>(written), "%.0f:%02.0f:",
                           std::floor(seconds / seconds_per_hour),
                           std::floor(std::fmod(seconds, seconds_per_hour) / seconds_per_minute));
  text::append_c_string(buffer, text);
  double f = std::fmod(seconds, seconds_per_minute);
  const char* digits = f < tiny_seconds ? "00" : float_::format(f, 4);
  size_t length = std::strlen(digits);
  if (length == 1 || digits[1] == '.') {
    text::append_char(buffer, '0');
    ++written;
  }
  text::append_c_string(buffer, digits);
  return part - written - static_cast<int32_t>(length);
}

void fire_bad_make(const cell& spec) { fire(error_id::script_bad_to_arg, datatype_of(TYPE_TIME), spec); }

cell* make(cell*, cell* spec, int32_t) {
  switch (spec->type()) {
    case TYPE_TIME: return spec;
    case TYPE_INTEGER: return push(integer::get(*spec));
    case TYPE_FLOAT:
    case TYPE_PERCENT:
      if (!std::isfinite(float_::get(*spec))) fire_bad_make(*spec);
      return push(float_::get(*spec));
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: return from_block(*spec);
    default:
      if (text_type_p(spec->type())) return from_text(*spec);
      fire_bad_make(*spec);
  }
}

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) { return form_text(seconds_of(*value), *buffer, limit); }

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell*, int32_t limit, int32_t) {
  return form_text(seconds_of(*value), *buffer, limit);
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t,
                bool, bool, bool, bool store_back) {
  int32_t field = field_of(*element);
  if (!field) fire(error_id::script_invalid_path, scalar_support::path_or_none(path), *element);
  if (!value) return get_field(*parent, field);
  double v;
  if (value->type() == TYPE_INTEGER)
    v = integer::get(*value);
  else if (field == 3 && value->type() == TYPE_FLOAT)
    v = float_::get(*value);
  else
    fire(error_id::script_invalid_arg, *value);
  const double changed = with_field(seconds_of(*parent), field, v);
  if (!std::isfinite(changed)) fire(error_id::script_invalid_arg, *value);
  cell old_value = *parent;
  float_::set(*parent, changed);
  scalar_support::notify_owner(container, previous, old_value, *parent, *value, field, store_back);
  return value;
}

cell* add() {
  cell* left = stack::argument(0);
  cell* right = stack::argument(1);
  if (right->type() == TYPE_DATE) {
    handoff::do_math math = handoff::need(handoff::date_do_math);
    std::swap(*left, *right);
    return math(math_op::add);
  }
  return float_::do_math(math_op::add);
}

cell* divide() {
  bool ratio = stack::argument(1)->type() == TYPE_TIME;
  cell* result = float_::do_math(math_op::divide);
  if (ratio) set_type(*result, TYPE_FLOAT);
  return result;
}

cell* multiply() {
  if (stack::argument(1)->type() == TYPE_TIME)
    fire(error_id::script_not_related, word_named("multiply"), datatype_of(TYPE_TIME));
  return float_::do_math(math_op::multiply);
}

cell* round(cell* n, cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling, bool half_ceiling) {
  if (scale && scale->type() == TYPE_MONEY)
    fire(error_id::script_not_related, word_named("round"), datatype_of(TYPE_MONEY));
  // An integer! step as a double, so that the result is never cut to 32 bits on its way.
  cell step;
  if (scale && scale->type() == TYPE_INTEGER) {
    step = scalar::float_cell(integer::get(*scale));
    scale = &step;
  }
  uint32_t header = n->header;
  float_::round(n, scale, even, down, half_down, floor, ceiling, half_ceiling);
  n->header = header;
  return n;
}

cell* subtract() {
  if (stack::argument(1)->type() == TYPE_DATE)
    fire(error_id::script_not_related, word_named("subtract"), datatype_of(TYPE_TIME));
  return float_::do_math(math_op::subtract);
}

bool even_p(cell* number) { return (whole_seconds(*number) & 1) == 0; }
bool odd_p(cell* number) { return (whole_seconds(*number) & 1) != 0; }

cell* pick(cell* series, int32_t index, cell* index_cell) {
  if (index_cell && plain_word_p(index_cell->type())) index = get_named_index(*index_cell, *series);
  if (index < 1 || index > 3) fire(error_id::script_out_of_range, index_cell ? *index_cell : scalar::integer(index));
  return get_field(*series, index);
}

void init() {
  datatype::register_type(TYPE_TIME, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, inherit, unsupported, &make, &form, &mold, &eval_path, unsupported, inherit,
      // absolute add divide multiply negate power remainder round subtract
      inherit, &add, &divide, &multiply, inherit, unsupported, inherit, &round, &subtract,
      // even? odd? and~ complement or~ xor~
      &even_p, &odd_p, unsupported, unsupported, unsupported, unsupported,
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

}  // namespace tav::time
