// integer!: the 32-bit integer, its text, its arithmetic (overflow hands over to float!,
// division raises only for a zero divisor or the one quotient that does not fit), its
// conversions and rounding to integer scales.
#include "datatypes/integer.hpp"

#include <climits>
#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/float.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"
#include "runtime/random.hpp"
#include "runtime/series.hpp"
#include "runtime/throw.hpp"

namespace tav::integer {
namespace {

using scalar_support::math_words;
using scalar_support::word_named;
using scalar_support::datatype_of;

[[gnu::cold, noreturn]] void overflow() { fire(error_id::math_overflow); }

[[gnu::cold, noreturn]] void bad_to_arg(const cell& spec) {
  fire(error_id::script_bad_to_arg, datatype_of(TYPE_INTEGER), spec);
}

[[gnu::cold, noreturn]] void not_related(const char* action, uint8_t type) {
  fire(error_id::script_not_related, word_named(action), datatype_of(type));
}

bool any_string_p(uint8_t type) {
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

// The integer literal a text holds, read by the lexer's number reader.
int32_t from_text(const cell& text) {
  handoff::integer_reader read = handoff::need(handoff::string_to_integer);
  series_buffer* buffer = buffer_of(text.payload2);
  uint32_t count = buffer->count(), head = text.payload1;
  uint32_t unit = buffer->unit();
  uint32_t length = head < count ? count - head : 0;
  int32_t error = 0;
  int32_t value = read(buffer->head() + head * unit, static_cast<int32_t>(length), static_cast<int32_t>(unit), &error);
  if (error) bad_to_arg(text);
  return value;
}

void to_float_in_place(cell& value) { float_::make_at(value, static_cast<double>(get(value))); }

// integer with a pair or point on the right: the pair moves into the result slot and the
// integer becomes its right operand.
cell* swapped_math(int32_t op, handoff::do_math math) {
  cell* left = stack::argument(0);
  cell* right = stack::argument(1);
  cell number = *left;
  *left = *right;
  *right = number;
  return math(op);
}

cell* with_pair_or_point(int32_t op, handoff::do_math entry) {
  handoff::do_math math = handoff::need(entry);
  if (op == math_op::divide) not_related("divide", TYPE_INTEGER);
  if (op == math_op::subtract) {
    actions::negate(stack::argument(1));
    op = math_op::add;
  }
  return swapped_math(op, math);
}

// How far the magnitude moves when rounding to a multiple of `scale`: false down, true up.
bool round_up_p(int32_t value, int32_t magnitude, int32_t scale, int32_t r, int32_t d, bool even, bool down,
                bool half_down, bool floor, bool ceiling, bool half_ceiling) {
  if (down) return false;
  if (floor) return value < 0;
  if (ceiling) return value > 0;
  if (r < d) return false;
  if (r > d) return true;
  if (even) return (magnitude / scale) & 1;
  if (half_down) return false;
  if (half_ceiling) return value > 0;
  return true;
}

}  // namespace

void make_at(cell& target, int32_t value) { target = scalar::integer(value); }

cell* make_in(cell& block, int32_t value) {
  cell* slot = alloc_block_tail(block);
  make_at(*slot, value);
  return slot;
}

cell* push(int32_t value) { return stack::push_copy(scalar::integer(value)); }

cell* box(int32_t value) { return stack::set_last(scalar::integer(value)); }

int32_t get_arg() { return get(*stack::arguments); }

int32_t get_arg_safe() { return stack::arguments->type() == TYPE_INTEGER ? get(*stack::arguments) : 0; }

const char* to_c_string(int32_t value) {
  static char text[12];
  if (value == 0) return "0";
  if (value == INT32_MIN) return "-2147483648";
  uint32_t magnitude = value < 0 ? static_cast<uint32_t>(-value) : static_cast<uint32_t>(value);
  char* p = text + sizeof text - 1;
  *p = '\0';
  while (magnitude) {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  if (value < 0) *--p = '-';
  return p;
}

int32_t sign(int32_t value) { return (value > 0) - (value < 0); }

int32_t abs(int32_t value) {
  if (value == INT32_MIN) overflow();
  return value < 0 ? -value : value;
}

bool float_out_of_range_p(const cell& value) {
  double x = float_::get(value);
  return x > 2147483647.0 || x < -2147483648.0 || float_::nan_p(x);
}

int32_t from_binary(const cell& binary) {
  series_buffer* buffer = buffer_of(binary.payload2);
  uint32_t count = buffer->count(), head = binary.payload1;
  uint32_t n = head < count ? count - head : 0;
  if (n > 4) n = 4;
  const uint8_t* bytes = buffer->head() + head;
  uint32_t value = 0;
  for (uint32_t i = 0; i < n; ++i) value = (value << 8) | bytes[i];
  return static_cast<int32_t>(value);
}

int32_t from_issue(const cell& issue) {
  uint32_t symbol = word::symbol_of(issue);
  const char* name = symbol::name(symbol);
  size_t length = symbol::name_length(symbol);
  if (length > 8) fire(error_id::script_invalid_data, issue);
  uint32_t value = 0;
  for (size_t i = 0; i < length; ++i) {
    // A byte above 127 belongs to a character outside ASCII, which is never a digit.
    auto c = static_cast<uint8_t>(name[i]);
    uint32_t digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
      digit = (c | 0x20) - 'a' + 10;
    else
      fire(error_id::script_invalid_data, issue);
    value = (value << 4) | digit;
  }
  return static_cast<int32_t>(value);
}

int32_t from_money(const cell& money) { return handoff::need(handoff::money_to_integer)(money); }

int32_t do_math_op(int32_t op, int32_t left, int32_t right, cell* result) {
  int64_t wide;
  switch (op) {
    case math_op::add: wide = int64_t{left} + right; break;
    case math_op::subtract: wide = int64_t{left} - right; break;
    case math_op::multiply: wide = int64_t{left} * right; break;
    case math_op::divide:
    case math_op::remainder:
      if (right == 0) fire(error_id::math_zero_divide);
      if (left == INT32_MIN && right == -1) overflow();
      if (op == math_op::remainder) {
        wide = left % right;
        break;
      }
      if (result && left % right != 0) {
        float_::make_at(*result, static_cast<double>(left) / static_cast<double>(right));
        return 0;
      }
      wide = left / right;
      break;
    case math_op::or_: wide = left | right; break;
    case math_op::and_: wide = left & right; break;
    default: wide = left ^ right; break;
  }
  if (wide < INT32_MIN || wide > INT32_MAX) {
    if (!result) overflow();
    // Every 64-bit result here converts to the double nearest the exact one.
    float_::make_at(*result, static_cast<double>(wide));
    return 0;
  }
  if (result) result->payload2 = static_cast<uint32_t>(wide);
  return static_cast<int32_t>(wide);
}

cell* do_math(int32_t op) {
  cell* left = stack::argument(0);
  cell* right = stack::argument(1);
  uint8_t type = right->type();
  switch (type) {
    case TYPE_CHAR:
    case TYPE_INTEGER:
      do_math_op(op, get(*left), static_cast<int32_t>(right->payload2), left);
      return left;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: return float_::do_math(op);
    case TYPE_VECTOR: {
      handoff::vector_math math = handoff::need(handoff::vector_do_math_op);
      return stack::set_last(*math(right, left, op));
    }
    case TYPE_PAIR: return with_pair_or_point(op, handoff::pair_do_math);
    case TYPE_POINT2D: return with_pair_or_point(op, handoff::point2d_do_math);
    case TYPE_POINT3D: return with_pair_or_point(op, handoff::point3d_do_math);
    case TYPE_TUPLE: {
      handoff::do_math math = handoff::need(handoff::tuple_do_math);
      if (op == math_op::subtract || op == math_op::divide) not_related(math_words[op], TYPE_INTEGER);
      return swapped_math(op, math);
    }
    case TYPE_DATE: {
      handoff::do_math math = handoff::need(handoff::date_do_math);
      if (op != math_op::add) not_related(math_words[op], TYPE_INTEGER);
      return swapped_math(op, math);
    }
    case TYPE_MONEY: return handoff::need(handoff::money_do_math)(op);
    default: fire(error_id::script_invalid_type, datatype_of(type));
  }
}

int32_t power_core(int32_t base, int32_t exponent) {
  auto checked = [](int64_t wide) {
    if (wide < INT32_MIN || wide > INT32_MAX) system_throw(code::integer_power_overflow);
    return static_cast<int32_t>(wide);
  };
  int32_t result = 1;
  while (exponent != 0) {
    if (exponent & 1) result = checked(int64_t{result} * base);
    exponent >>= 1;
    if (exponent != 0) base = checked(int64_t{base} * base);
  }
  return result;
}

// ---- Actions --------------------------------------------------------------------------------

cell* make(cell* prototype, cell* spec, int32_t type) {
  if (spec->type() == TYPE_LOGIC) return push(logic::get(*spec) ? 1 : 0);
  return to(prototype, spec, type);
}

cell* random(cell* value, bool seed, bool secure, bool) {
  int32_t n = get(*value);
  if (seed) {
    rng::seed(n);
    *value = unset::value;
    return value;
  }
  if (n != 0) value->payload2 = static_cast<uint32_t>(rng::random_int(secure, n));
  return value;
}

cell* to(cell*, cell* spec, int32_t) {
  uint8_t type = spec->type();
  switch (type) {
    case TYPE_INTEGER: return spec;
    case TYPE_CHAR: return push(static_cast<int32_t>(spec->payload2));
    case TYPE_FLOAT:
    case TYPE_PERCENT:
      if (float_out_of_range_p(*spec)) fire(error_id::script_type_limit, datatype_of(TYPE_INTEGER));
      return push(static_cast<int32_t>(float_::get(*spec)));
    case TYPE_ISSUE: return push(from_issue(*spec));
    case TYPE_BINARY: return push(from_binary(*spec));
    case TYPE_TIME:
      if (!float_::int32_range_p(float_::get(*spec) + 0.5))
        fire(error_id::script_type_limit, datatype_of(TYPE_INTEGER));
      return push(static_cast<int32_t>(float_::get(*spec) + 0.5));
    case TYPE_DATE: return push(handoff::need(handoff::date_to_epoch)(*spec));
    case TYPE_MONEY: return push(from_money(*spec));
    default:
      if (any_string_p(type)) return push(from_text(*spec));
      bad_to_arg(*spec);
  }
}

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) {
  const char* text = to_c_string(get(*value));
  text::append_c_string(*buffer, text);
  return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(value, buffer, part, limit);
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  uint8_t type = value2->type();
  if ((op == actions::op::strict_equal || op == actions::op::find) && type != TYPE_INTEGER) return 1;
  switch (type) {
    case TYPE_CHAR:
    case TYPE_INTEGER: {
      int32_t a = get(*value1), b = static_cast<int32_t>(value2->payload2);
      return (a > b) - (a < b);
    }
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: {
      cell promoted = *value1;
      to_float_in_place(promoted);
      return float_::compare(&promoted, value2, op);
    }
    case TYPE_MONEY: {
      cell money = handoff::need(handoff::money_from_integer)(get(*value1));
      return handoff::need(handoff::money_compare)(&money, value2, op);
    }
    default: return actions::not_comparable;
  }
}

cell* absolute() {
  cell* value = stack::argument(0);
  value->payload2 = static_cast<uint32_t>(abs(get(*value)));
  return value;
}

cell* add() { return do_math(math_op::add); }
cell* divide() { return do_math(math_op::divide); }
cell* multiply() { return do_math(math_op::multiply); }

cell* negate(cell* number) {
  int32_t value = get(*number);
  if (value == INT32_MIN) overflow();
  number->payload2 = static_cast<uint32_t>(-value);
  return number;
}

cell* power() {
  cell* base = stack::argument(0);
  cell* exponent = stack::argument(1);
  uint8_t type = exponent->type();
  if (type != TYPE_INTEGER && type != TYPE_FLOAT)
    actions::expect_arg(static_cast<uint32_t>(action_slot::power), type, "exponent");
  if (type == TYPE_FLOAT || get(*exponent) < 0) {
    to_float_in_place(*base);
    return float_::power();
  }
  int32_t b = get(*base), e = get(*exponent);
  bool overflowed = catch_slot(
      code::integer_power_overflow,
      [&] {
        base->payload2 = static_cast<uint32_t>(power_core(b, e));
        return false;
      },
      [](uint32_t thrown) {
        if (thrown != code::integer_power_overflow) system_throw(thrown);
        thrown_code = 0;
        return true;
      });
  if (!overflowed) return base;
  to_float_in_place(*base);
  return float_::power();
}

cell* remainder() { return do_math(math_op::remainder); }

cell* round(cell* n, cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling, bool half_ceiling) {
  int32_t value = get(*n);
  if (value == INT32_MIN) return n;
  int32_t step = 1;
  if (scale) {
    if (scale->type() == TYPE_MONEY) not_related("round", TYPE_MONEY);
    if (scale->type() != TYPE_INTEGER) {
      to_float_in_place(*n);
      return float_::round(n, scale, even, down, half_down, floor, ceiling, half_ceiling);
    }
    step = abs(get(*scale));
    if (step == 0) return n;
  }
  int32_t magnitude = value < 0 ? -value : value;
  int32_t r = magnitude % step;
  if (r == 0) return n;
  int32_t d = step - r;
  int64_t rounded = magnitude - r;
  if (round_up_p(value, magnitude, step, r, d, even, down, half_down, floor, ceiling, half_ceiling)) {
    rounded = int64_t{magnitude} + d;
    if (rounded > INT32_MAX) overflow();
  }
  n->payload2 = static_cast<uint32_t>(value < 0 ? -rounded : rounded);
  return n;
}

cell* subtract() { return do_math(math_op::subtract); }

bool even_p(cell* number) { return (number->payload2 & 1) == 0; }
bool odd_p(cell* number) { return (number->payload2 & 1) != 0; }

cell* and_() { return do_math(math_op::and_); }

cell* complement(cell* value) {
  value->payload2 = ~value->payload2;
  return value;
}

cell* or_() { return do_math(math_op::or_); }
cell* xor_() { return do_math(math_op::xor_); }

void init() {
  datatype::register_type(TYPE_INTEGER, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, &random, unsupported, &to, &form, &mold, unsupported, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      &absolute, &add, &divide, &multiply, &negate, &power, &remainder, &round, &subtract,
      // even? odd? and~ complement or~ xor~
      &even_p, &odd_p, &and_, &complement, &or_, &xor_,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::integer
