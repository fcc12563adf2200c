// float!: the 64-bit double, its conversions, the tolerant comparison, and the mixed
// arithmetic of integer!, float!, percent! and time! that decides each result's type.
#include "datatypes/float.hpp"

#include <climits>
#include <cmath>
#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"
#include "runtime/random.hpp"
#include "runtime/series.hpp"

namespace tav::float_ {
namespace {

using scalar_support::math_words;
using scalar_support::word_named;
using scalar_support::datatype_of;

[[gnu::cold, noreturn]] void bad_to_arg(int32_t type, const cell& spec) {
  fire(error_id::script_bad_to_arg, datatype_of(static_cast<uint8_t>(type)), spec);
}

bool text_p(uint8_t type) {
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

bool float_based_p(uint8_t type) { return type == TYPE_FLOAT || type == TYPE_PERCENT || type == TYPE_TIME; }

// The text from the head to the tail, read by the lexer's number reader: no percent sign.
double from_text(const cell& text, int32_t type) {
  series_buffer* buffer = buffer_of(text.payload2);
  uint32_t count = buffer->count(), head = text.payload1;
  if (head >= count) bad_to_arg(type, text);
  handoff::float_reader read = handoff::need(handoff::string_to_float);
  uint32_t unit = buffer->unit();
  int32_t error = 0;
  double x = read(buffer->head() + head * unit, static_cast<int32_t>(count - head), static_cast<int32_t>(unit), &error);
  if (error) bad_to_arg(type, text);
  return x;
}

// The first value the lexer loads from the text: 50% and 0.5 both give 0.5.
double from_scanned_text(const cell& text, int32_t type) {
  handoff::text_scanner scan = handoff::need(handoff::transcode_first);
  cell first{unset_header, 0, 0, 0};
  scan(text, first);
  switch (first.type()) {
    case TYPE_FLOAT:
    case TYPE_PERCENT: return get(first);
    case TYPE_INTEGER: return integer::get(first);
    default: bad_to_arg(type, text);
  }
}

// Up to 8 bytes from the head, big-endian, as the low bytes of the bit image.
double from_binary(const cell& binary) {
  series_buffer* buffer = buffer_of(binary.payload2);
  uint32_t count = buffer->count(), head = binary.payload1;
  uint32_t n = head < count ? count - head : 0;
  if (n > 8) n = 8;
  const uint8_t* bytes = buffer->head() + head;
  uint64_t image = 0;
  for (uint32_t i = 0; i < n; ++i) image = (image << 8) | bytes[i];
  return from_bits(image);
}

double from_number(const cell& value) {
  if (value.type() == TYPE_INTEGER) return integer::get(value);
  if (value.type() == TYPE_FLOAT) return get(value);
  bad_to_arg(TYPE_FLOAT, value);
}

// [mantissa exponent]: mantissa x 10^exponent, the exponent truncated to a whole number.
double from_block(const cell& block, int32_t type) {
  series_buffer* buffer = buffer_of(block.payload2);
  uint32_t count = buffer->count(), head = block.payload1;
  if (head >= count || count - head != 2) bad_to_arg(type, block);
  cell mantissa = buffer->cells()[head];
  cell exponent = buffer->cells()[head + 1];
  double m = from_number(mantissa);
  double e = std::trunc(from_number(exponent));
  return m * std::pow(10.0, e);
}

// Pair and point values on the right: the operands change places, the number keeping its
// type, and the other type's arithmetic runs.
cell* swapped_math(int32_t op, handoff::do_math entry) {
  handoff::do_math math = handoff::need(entry);
  cell* left = stack::argument(0);
  cell* right = stack::argument(1);
  if (op == math_op::subtract || op == math_op::divide)
    fire(error_id::script_not_related, word_named(math_words[op]), datatype_of(right->type()));
  cell number = *left;
  *left = *right;
  *right = number;
  return math(op);
}

// Order of two doubles where a NaN makes every ordering test false.
int32_t order(double x, double y, int32_t op) {
  if (nan_p(x) || nan_p(y)) {
    switch (op) {
      case actions::op::lesser:
      case actions::op::lesser_or_equal: return 1;
      case actions::op::greater:
      case actions::op::greater_or_equal: return -1;
      default: return 0;
    }
  }
  return (x > y) - (x < y);
}

// A key that orders all doubles as unsigned integers.
uint64_t ordered_key(double x) {
  uint64_t image = bits_of(x);
  return (image >> 63) ? 0 - image : image | (uint64_t{1} << 63);
}

}  // namespace

double get(const cell& value) { return scalar::float_value(value); }

void make_at(cell& target, double x, uint8_t type) { target = scalar::float_cell(x, type); }

cell* new_in_block(cell& block, uint32_t high, uint32_t low) {
  cell* slot = alloc_block_tail(block);
  *slot = cell{TYPE_FLOAT, 0, low, high};
  return slot;
}

cell* push(double x) { return stack::push_copy(scalar::float_cell(x)); }

cell* push64(uint32_t high, uint32_t low) { return stack::push_copy(cell{TYPE_FLOAT, 0, low, high}); }

cell* box(double x) { return stack::set_last(scalar::float_cell(x)); }

void set(cell& target, double x) {
  uint64_t image = bits_of(x);
  target.payload2 = static_cast<uint32_t>(image);
  target.payload3 = static_cast<uint32_t>(image >> 32);
}

uint64_t bits_of(double x) {
  uint64_t image;
  std::memcpy(&image, &x, sizeof image);
  return image;
}

double from_bits(uint64_t image) {
  double x;
  std::memcpy(&x, &image, sizeof x);
  return x;
}

double abs(double x) { return from_bits(bits_of(x) & ~(uint64_t{1} << 63)); }

bool nan_p(double x) {
  uint64_t image = bits_of(x);
  return (image & 0x7FF0000000000000) == 0x7FF0000000000000 && (image & 0x000FFFFFFFFFFFFF) != 0;
}

bool nan32_p(float x) { return x != x; }

bool special_p(double x) { return (bits_of(x) & 0x7FF0000000000000) == 0x7FF0000000000000; }

bool almost_equal_p(double a, double b) {
  if (nan_p(a) || nan_p(b)) return false;
  if (a == b) return true;
  if (std::fabs(a - b) < epsilon) return true;
  uint64_t ka = ordered_key(a), kb = ordered_key(b);
  uint32_t high_a = static_cast<uint32_t>(ka >> 32), high_b = static_cast<uint32_t>(kb >> 32);
  if ((high_a > high_b ? high_a - high_b : high_b - high_a) > 1) return false;
  uint64_t distance = ka > kb ? ka - kb : kb - ka;
  if (distance > (uint64_t{1} << 32)) return false;
  return distance <= 10;
}

bool almost_equal32_p(float a, float b) {
  if (nan32_p(a) || nan32_p(b)) return false;
  if (a == b) return true;
  uint32_t ia, ib;
  std::memcpy(&ia, &a, sizeof ia);
  std::memcpy(&ib, &b, sizeof ib);
  uint32_t ma = ia & 0x7FFFFFFF, mb = ib & 0x7FFFFFFF;
  if (ma >= 0x7F7FFFFF || mb >= 0x7F7FFFFF)
    return (ia >> 31) == (ib >> 31) && (ma > mb ? ma - mb : mb - ma) < 0x100000;
  if (ma == 0 && mb == 0) return true;
  auto mapped = [](uint32_t image) -> int64_t {
    return (image >> 31) ? int64_t{0x80000000} - image : int64_t{image};
  };
  int64_t difference = mapped(ia) - mapped(ib);
  return difference >= -10 && difference <= 10;
}

int32_t truncate_to_int32(double x) {
  if (!int32_range_p(x)) return INT32_MIN;
  return static_cast<int32_t>(x);
}

bool int32_range_p(double x) { return x > -2147483649.0 && x < 2147483648.0; }

double do_math_op(double x, double y, int32_t op) {
  switch (op) {
    case math_op::add: return x + y;
    case math_op::subtract: return x - y;
    case math_op::multiply: return x * y;
    case math_op::divide: return x / y;
    case math_op::remainder:
      if (!special_p(y)) return std::fmod(x, y);
      if (nan_p(y) || special_p(x)) return std::numeric_limits<double>::quiet_NaN();
      return x;
    default: {
      const char* action = op >= 0 && op <= 7 ? math_words[op] : "add";
      fire(error_id::script_cannot_use, word_named(action), datatype_of(TYPE_FLOAT));
    }
  }
}

cell* do_math(int32_t op) {
  cell* left = stack::argument(0);
  cell* right = stack::argument(1);
  uint8_t left_type = left->type(), right_type = right->type();
  switch (right_type) {
    case TYPE_TUPLE: return handoff::need(handoff::tuple_do_math)(op);
    case TYPE_MONEY: return handoff::need(handoff::money_do_math)(op);
    case TYPE_PAIR:
      if (left_type != TYPE_TIME) return swapped_math(op, handoff::pair_do_math);
      break;
    case TYPE_POINT2D:
      if (left_type != TYPE_TIME) return swapped_math(op, handoff::point2d_do_math);
      break;
    case TYPE_POINT3D:
      if (left_type != TYPE_TIME) return swapped_math(op, handoff::point3d_do_math);
      break;
    case TYPE_VECTOR: {
      handoff::vector_math math = handoff::need(handoff::vector_do_math_op);
      return stack::set_last(*math(right, left, op));
    }
    default: break;
  }
  bool scalar_p = right_type == TYPE_INTEGER || right_type == TYPE_CHAR || float_based_p(right_type);
  bool char_refused = right_type == TYPE_CHAR && (left_type == TYPE_TIME || left_type == TYPE_PERCENT);
  if (!scalar_p || char_refused) fire(error_id::script_invalid_type, datatype_of(right_type));

  double x = left_type == TYPE_INTEGER ? static_cast<double>(integer::get(*left)) : get(*left);
  double y = float_based_p(right_type) ? get(*right) : static_cast<double>(static_cast<int32_t>(right->payload2));
  uint8_t result_type = left_type == TYPE_INTEGER ? TYPE_FLOAT : left_type;
  bool percent_left = left_type == TYPE_PERCENT && right_type != TYPE_PERCENT;
  if (percent_left) result_type = TYPE_FLOAT;
  double result = do_math_op(x, y, op);
  const bool time_ratio = left_type == TYPE_TIME && right_type == TYPE_TIME && op == math_op::divide;
  if ((left_type == TYPE_TIME) != (right_type == TYPE_TIME))
    result_type = TYPE_TIME;
  else if (percent_left)
    result_type = TYPE_PERCENT;
  // A time has no text for an infinity or a NaN.
  if (result_type == TYPE_TIME && !time_ratio && !std::isfinite(result)) fire(error_id::math_overflow);
  left->header = (left->header & ~cell_flag::type_mask) | result_type;
  set(*left, result);
  return left;
}

// ---- Actions --------------------------------------------------------------------------------

cell* make(cell*, cell* spec, int32_t type) {
  double x;
  switch (spec->type()) {
    case TYPE_CHAR:
    case TYPE_INTEGER: x = static_cast<int32_t>(spec->payload2); break;
    case TYPE_MONEY: x = handoff::need(handoff::money_to_float)(*spec); break;
    case TYPE_TIME:
    case TYPE_FLOAT:
    case TYPE_PERCENT: x = get(*spec); break;
    case TYPE_BINARY: x = from_binary(*spec); break;
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: x = from_block(*spec, type); break;
    default:
      if (!text_p(spec->type())) bad_to_arg(type, *spec);
      x = type == TYPE_PERCENT ? from_scanned_text(*spec, type) : from_text(*spec, type);
  }
  return stack::push_copy(scalar::float_cell(x, static_cast<uint8_t>(type)));
}

cell* random(cell* value, bool seed, bool secure, bool) {
  double x = get(*value);
  if (seed) {
    uint64_t image = bits_of(x);
    rng::seed(static_cast<int32_t>(static_cast<uint32_t>(image) ^ static_cast<uint32_t>(image >> 32)));
    *value = unset::value;
    return value;
  }
  if (secure) {
    double a = rng::secure_next();
    double b = rng::secure_next();
    x = (b + a / 2147483647.0) / (2147483648.0 / x);
  } else {
    x = x * (rng::next() / 2147483647.0);
  }
  set(*value, x);
  return value;
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  uint8_t type = value2->type();
  bool identity = op == actions::op::strict_equal || op == actions::op::same || op == actions::op::find;
  if (identity && type != value1->type()) return 1;
  double x = get(*value1), y;
  switch (type) {
    case TYPE_MONEY: {
      // Beyond the money range the sign of the difference decides.
      double magnitude = abs(x);
      if (magnitude >= 1e17) return x < 0 ? -1 : 1;
      if (magnitude > 0.0 && magnitude < 1e-5) {
        int32_t money_sign = handoff::need(handoff::money_sign)(*value2);
        if (money_sign) return -money_sign;
        return x < 0 ? -1 : 1;
      }
      cell money = handoff::need(handoff::money_from_float)(x, true);
      return handoff::need(handoff::money_compare)(&money, value2, op);
    }
    case TYPE_INTEGER: y = integer::get(*value2); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: y = get(*value2); break;
    default: return actions::not_comparable;
  }
  switch (op) {
    case actions::op::equal:
    case actions::op::not_equal: return almost_equal_p(x, y) ? 0 : 1;
    case actions::op::strict_equal: return x == y ? 0 : 1;
    case actions::op::same: return bits_of(x) == bits_of(y) ? 0 : 1;
    default: return order(x, y, op);
  }
}

cell* absolute() {
  cell* value = stack::argument(0);
  set(*value, abs(get(*value)));
  return value;
}

cell* add() { return do_math(math_op::add); }
cell* divide() { return do_math(math_op::divide); }
cell* multiply() { return do_math(math_op::multiply); }

cell* negate(cell* number) {
  set(*number, 0.0 - get(*number));
  return number;
}

cell* power() {
  cell* base = stack::argument(0);
  cell* exponent = stack::argument(1);
  uint8_t type = exponent->type();
  if (type != TYPE_INTEGER && type != TYPE_FLOAT)
    actions::expect_arg(static_cast<uint32_t>(action_slot::power), type, "exponent");
  if (type == TYPE_INTEGER) make_at(*exponent, integer::get(*exponent));
  set(*base, std::pow(get(*base), get(*exponent)));
  return base;
}

cell* remainder() { return do_math(math_op::remainder); }
cell* subtract() { return do_math(math_op::subtract); }

// The parity of the whole part; above 2^53 every double is even, and so count NaN and the
// infinities.
bool odd_whole_p(double x) { return std::isfinite(x) && std::fmod(std::trunc(x), 2.0) != 0.0; }

bool even_p(cell* number) { return !odd_whole_p(get(*number)); }
bool odd_p(cell* number) { return odd_whole_p(get(*number)); }

void init() {
  datatype::register_type(TYPE_FLOAT, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, &random, unsupported, &make, &form, &mold, unsupported, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      &absolute, &add, &divide, &multiply, &negate, &power, &remainder, &round, &subtract,
      // even? odd? and~ complement or~ xor~
      &even_p, &odd_p, unsupported, unsupported, unsupported, unsupported,
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

}  // namespace tav::float_
