// pair!: construction, integer arithmetic with its point2D! fallback, order, rounding,
// path access and text.
#include "datatypes/pair.hpp"

#include <cmath>
#include <cstdio>
#include <utility>

#include "datatypes/actions.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/point.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/random.hpp"
#include "runtime/series.hpp"

namespace tav::pair {
namespace {

using scalar_support::datatype_of;
using scalar_support::word_named;

void set(cell& value, int32_t x, int32_t y) {
  value.payload2 = static_cast<uint32_t>(x);
  value.payload3 = static_cast<uint32_t>(y);
}

cell* push_new(int32_t x, int32_t y) {
  cell* slot = stack::push_cell();
  *slot = cell{TYPE_PAIR, 0, 0, 0};
  set(*slot, x, y);
  return slot;
}

[[gnu::cold, noreturn]] void bad_to_arg(const cell& spec) {
  fire(error_id::script_bad_to_arg, datatype_of(TYPE_PAIR), spec);
}

bool number_p(uint8_t type) { return type == TYPE_INTEGER || type == TYPE_FLOAT; }

cell* from_block(const cell& spec) {
  series_buffer* buffer = buffer_of(spec.payload2);
  uint32_t count = buffer->count(), head = spec.payload1;
  if (head >= count || count - head < 2) fire(error_id::syntax_malconstruct, spec);
  const cell* values = buffer->cells() + head;
  if (!number_p(values[0].type()) || !number_p(values[1].type())) fire(error_id::syntax_malconstruct, spec);
  return push_new(get_int(values[0]), get_int(values[1]));
}

cell* from_text(const cell& spec) {
  handoff::text_scanner scan = handoff::need(handoff::transcode_first);
  cell* first = stack::push_cell();
  *first = unset::value;
  scan(spec, *first);
  if (first->type() != TYPE_PAIR) bad_to_arg(spec);
  return first;
}

// The component a word names: 1 x, 2 y; 0 for any other word.
int32_t component_of_word(const cell& word) {
  if (!plain_word_p(word.type())) return 0;
  uint32_t symbol = symbol::resolve(word::symbol_of(word));
  if (symbol == symbol::resolve(symbols::x)) return 1;
  if (symbol == symbol::resolve(symbols::y)) return 2;
  return 0;
}

[[gnu::cold, noreturn]] void invalid_arg(const cell& value) { fire(error_id::script_invalid_arg, value); }

// A float factor makes the pair a point2D! of the exact products or quotients.
cell* scaled_to_point(cell& left, double f, bool divide) {
  double x = x_of(left), y = y_of(left);
  return point2D::make_at(left, static_cast<float>(divide ? x / f : x * f),
                          static_cast<float>(divide ? y / f : y * f));
}

// When a component's result does not fit or is not whole, both operands become points.
cell* point_fallback(int32_t op, int32_t rx, int32_t ry) {
  make_at(*stack::argument(1), rx, ry);
  to_point2D_slot(0);
  to_point2D_slot(1);
  return point2D::do_math(op);
}

}  // namespace

cell* make_at(cell& target, int32_t x, int32_t y) {
  set_type(target, TYPE_PAIR);
  set(target, x, y);
  return &target;
}

cell* push(int32_t x, int32_t y) { return push_new(x, y); }

cell* new_in_block(cell& block, int32_t x, int32_t y) {
  cell* slot = alloc_block_tail(block);
  *slot = cell{TYPE_PAIR, 0, 0, 0};
  set(*slot, x, y);
  return slot;
}

int32_t get_int(const cell& value) {
  if (value.type() == TYPE_INTEGER) return integer::get(value);
  if (!float_::int32_range_p(float_::get(value))) fire(error_id::script_out_of_range, value);
  return static_cast<int32_t>(float_::get(value));
}

int32_t get_named_index(const cell& word, const cell& second) {
  if (int32_t index = component_of_word(word)) return index;
  if (second.type() == TYPE_PAIR) fire(error_id::script_cannot_use, word, second);
  fire(error_id::script_invalid_path, second, word);
}

void to_point2D_slot(uint32_t n) {
  cell* slot = stack::argument(n);
  point2D::make_at(*slot, static_cast<float>(x_of(*slot)), static_cast<float>(y_of(*slot)));
}

cell* do_math(int32_t op) {
  cell* left = stack::argument(0);
  cell* right = stack::argument(1);
  int32_t rx, ry;
  switch (right->type()) {
    case TYPE_PAIR:
      rx = x_of(*right);
      ry = y_of(*right);
      break;
    case TYPE_INTEGER: rx = ry = integer::get(*right); break;
    case TYPE_POINT2D:
      to_point2D_slot(0);
      return point2D::do_math(op);
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
      double f = float_::get(*right);
      if (op == math_op::divide) {
        if (float_::nan_p(f)) invalid_arg(*right);
        return scaled_to_point(*left, f, true);
      }
      if (float_::special_p(f)) invalid_arg(*right);
      if (op == math_op::multiply) return scaled_to_point(*left, f, false);
      if (!float_::int32_range_p(f)) fire(error_id::math_overflow);
      rx = ry = static_cast<int32_t>(f);
      break;
    }
    default: fire(error_id::script_invalid_type, datatype_of(right->type()));
  }
  cell status = scalar::integer(0);
  int32_t x = integer::do_math_op(op, x_of(*left), rx, &status);
  if (status.type() != TYPE_INTEGER) return point_fallback(op, rx, ry);
  int32_t y = integer::do_math_op(op, y_of(*left), ry, &status);
  if (status.type() != TYPE_INTEGER) return point_fallback(op, rx, ry);
  set(*left, x, y);
  return left;
}

cell* make(cell*, cell* spec, int32_t) {
  switch (spec->type()) {
    case TYPE_INTEGER: return push_new(integer::get(*spec), integer::get(*spec));
    case TYPE_FLOAT: {
      int32_t n = get_int(*spec);
      return push_new(n, n);
    }
    case TYPE_BLOCK: return from_block(*spec);
    case TYPE_POINT2D: {
      float x = point::component(*spec, 0), y = point::component(*spec, 1);
      if (!std::isfinite(x) || !std::isfinite(y)) invalid_arg(*spec);
      if (!float_::int32_range_p(x) || !float_::int32_range_p(y)) fire(error_id::script_out_of_range, *spec);
      return push_new(static_cast<int32_t>(x), static_cast<int32_t>(y));
    }
    case TYPE_STRING: return from_text(*spec);
    case TYPE_PAIR: return spec;
    default: bad_to_arg(*spec);
  }
}

cell* random(cell* value, bool seed, bool secure, bool) {
  if (seed) {
    rng::seed(x_of(*value) ^ y_of(*value));
    *value = unset::value;
    return value;
  }
  int32_t x = x_of(*value), y = y_of(*value);
  // x is drawn first, as for tuples and points.
  const int32_t random_x = x ? rng::random_int(secure, x) : 0;
  const int32_t random_y = y ? rng::random_int(secure, y) : 0;
  set(*value, random_x, random_y);
  return value;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) {
  char text[32];
  int written = std::snprintf(text, sizeof text, "%dx%d", x_of(*value), y_of(*value));
  text::append_c_string(*buffer, text);
  return limit - written;
}

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(value, buffer, part, limit);
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t,
                bool, bool, bool, bool store_back) {
  int32_t index = 0;
  if (element->type() == TYPE_INTEGER) {
    int32_t i = integer::get(*element);
    if (i == 1 || i == 2) index = i;
  } else {
    index = component_of_word(*element);
  }
  if (!index) fire(error_id::script_invalid_path, scalar_support::path_or_none(path), *element);
  if (!value) return integer::push(index == 1 ? x_of(*parent) : y_of(*parent));
  if (value->type() != TYPE_INTEGER) fire(error_id::script_invalid_type, datatype_of(value->type()));
  cell old_value = *parent;
  if (index == 1)
    parent->payload2 = value->payload2;
  else
    parent->payload3 = value->payload2;
  scalar_support::notify_owner(container, previous, old_value, *parent, *value, index, store_back);
  return value;
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() == TYPE_POINT2D) {
    cell point = *value1;
    point2D::make_at(point, static_cast<float>(x_of(*value1)), static_cast<float>(y_of(*value1)));
    return point2D::compare(&point, value2, op);
  }
  if (value2->type() != TYPE_PAIR) return actions::not_comparable;
  auto order = [](int32_t a, int32_t b) { return a < b ? -1 : a > b ? 1 : 0; };
  if (int32_t by_x = order(x_of(*value1), x_of(*value2))) return by_x;
  return order(y_of(*value1), y_of(*value2));
}

cell* absolute() {
  cell* value = stack::argument(0);
  set(*value, integer::abs(x_of(*value)), integer::abs(y_of(*value)));
  return value;
}

cell* add() { return do_math(math_op::add); }
cell* divide() { return do_math(math_op::divide); }
cell* multiply() { return do_math(math_op::multiply); }

// Wraps around: the most negative value stays as it is.
cell* negate(cell* number) {
  number->payload2 = 0u - number->payload2;
  number->payload3 = 0u - number->payload3;
  return number;
}

cell* remainder() { return do_math(math_op::remainder); }

cell* round(cell* n, cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling, bool half_ceiling) {
  if (scale && scale->type() == TYPE_MONEY)
    fire(error_id::script_not_related, word_named("round"), datatype_of(TYPE_MONEY));
  bool split = scale && scale->type() == TYPE_PAIR;
  cell* saved_top = stack::top;
  int32_t rounded[2];
  for (int32_t i = 0; i < 2; ++i) {
    cell step;
    cell* step_cell = scale;
    if (split) {
      step = scalar::integer(i == 0 ? x_of(*scale) : y_of(*scale));
      step_cell = &step;
    }
    cell* component = integer::push(i == 0 ? x_of(*n) : y_of(*n));
    rounded[i] = get_int(*integer::round(component, step_cell, even, down, half_down, floor, ceiling, half_ceiling));
  }
  stack::top = saved_top;
  set(*n, rounded[0], rounded[1]);
  return n;
}

cell* subtract() { return do_math(math_op::subtract); }
cell* and_() { return do_math(math_op::and_); }
cell* or_() { return do_math(math_op::or_); }
cell* xor_() { return do_math(math_op::xor_); }

cell* pick(cell* series, int32_t index, cell* index_cell) {
  if (index_cell && plain_word_p(index_cell->type())) index = get_named_index(*index_cell, *series);
  if (index != 1 && index != 2) fire(error_id::script_out_of_range, index_cell ? *index_cell : scalar::integer(index));
  return integer::push(index == 1 ? x_of(*series) : y_of(*series));
}

cell* reverse(cell* series, cell*, cell*) {
  std::swap(series->payload2, series->payload3);
  return series;
}

void init() {
  datatype::register_type(TYPE_PAIR, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, &random, unsupported, &make, &form, &mold, &eval_path, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      &absolute, &add, &divide, &multiply, &negate, unsupported, &remainder, &round, &subtract,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, &and_, unsupported, &or_, &xor_,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      &pick, unsupported, unsupported, unsupported, &reverse, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
  handoff::pair_do_math = &do_math;
}

}  // namespace tav::pair
