// tuple!: construction from blocks, text, issues and binaries, text forms, comparison,
// clamped byte arithmetic, path access and the byte-order actions.
#include "datatypes/tuple.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "datatypes/actions.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/random.hpp"
#include "runtime/series.hpp"

namespace tav::tuple {
namespace {

using scalar_support::datatype_of;
using scalar_support::math_words;
using scalar_support::word_named;

void set_length(cell& value, uint32_t n) { value.header = (value.header & ~(0xFu << 19)) | (n << 19); }

[[gnu::cold, noreturn]] void bad_to_arg(const cell& spec) {
  fire(error_id::script_bad_to_arg, datatype_of(TYPE_TUPLE), spec);
}

[[gnu::cold, noreturn]] void invalid_type(uint8_t type) { fire(error_id::script_invalid_type, datatype_of(type)); }

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

// One value of a construction block as a byte.
uint8_t byte_from(const cell& value, const cell& spec) {
  double number;
  switch (value.type()) {
    case TYPE_INTEGER:
    case TYPE_CHAR: number = static_cast<double>(static_cast<int32_t>(value.payload2)); break;
    case TYPE_FLOAT: number = std::trunc(float_::get(value)); break;
    default: bad_to_arg(spec);
  }
  if (!(number >= 0.0 && number <= 255.0)) bad_to_arg(spec);  // a NaN fails too
  return static_cast<uint8_t>(number);
}

cell* from_block(const cell& spec) {
  series_buffer* buffer = buffer_of(spec.payload2);
  uint32_t count = buffer->count(), head = spec.payload1;
  uint32_t n = head < count ? count - head : 0;
  if (n > max_length) bad_to_arg(spec);
  uint8_t bytes[max_length] = {};
  const cell* values = buffer->cells() + head;
  for (uint32_t i = 0; i < n; ++i) bytes[i] = byte_from(values[i], spec);
  return make_at(*stack::push_cell(), n, bytes);
}

cell* from_text(const cell& spec) {
  handoff::text_scanner scan = handoff::need(handoff::transcode_first);
  cell* first = stack::push_cell();
  *first = unset::value;
  scan(spec, *first);
  if (first->type() != TYPE_TUPLE) bad_to_arg(spec);
  return first;
}

int32_t hex_digit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') return (c | 0x20) - 'a' + 10;
  return -1;
}

// Out of range or NaN results of the float arithmetic clamp like any other.
uint8_t clamp_float(double r) {
  if (!(r > 0.0)) return 0;
  if (r >= 255.0) return 255;
  return static_cast<uint8_t>(r);
}

uint8_t clamp_int(int32_t r) { return static_cast<uint8_t>(std::clamp(r, 0, 255)); }

// One byte combined with an integer operand by the integer arithmetic. Add, subtract and
// multiply past 32 bits saturate by the sign of the exact result; divide and remainder
// truncate and raise what integer division raises.
uint8_t combine(int32_t op, int32_t a, int32_t b) {
  if (op <= math_op::multiply) {
    cell status = scalar::integer(0);
    int32_t r = integer::do_math_op(op, a, b, &status);
    if (status.type() == TYPE_FLOAT) return float_::get(status) > 0.0 ? 255 : 0;
    return clamp_int(r);
  }
  return clamp_int(integer::do_math_op(op, a, b, nullptr));
}

[[gnu::cold, noreturn]] void out_of_range(const cell& index) { fire(error_id::script_out_of_range, index); }

[[gnu::cold, noreturn]] void invalid_refine_arg(const char* refinement, const cell& value) {
  fire(error_id::script_invalid_refine_arg, word_named(refinement), value);
}

// The count of a /part or /skip refinement.
int32_t refinement_count(const char* refinement, const cell& value) {
  if (value.type() != TYPE_INTEGER) invalid_refine_arg(refinement, value);
  return integer::get(value);
}

// Reverses the order of groups of `size` bytes among the first `count`, each group keeping
// its own byte order.
void reverse_groups(uint8_t* bytes, uint32_t count, uint32_t size) {
  uint8_t copy[max_length];
  std::memcpy(copy, bytes, count);
  uint32_t groups = count / size;
  for (uint32_t g = 0; g < groups; ++g) std::memcpy(bytes + g * size, copy + (groups - 1 - g) * size, size);
}

}  // namespace

cell* make_at(cell& target, uint32_t n, const uint8_t* bytes) {
  n = std::min(n, max_length);
  target = cell{TYPE_TUPLE, 0, 0, 0};
  set_length(target, std::max(n, min_length));
  std::memcpy(bytes_of(target), bytes, n);
  return &target;
}

cell* push(uint32_t n, uint32_t word1, uint32_t word2, uint32_t word3) {
  cell words{0, word1, word2, word3};
  uint8_t bytes[max_length] = {};
  std::memcpy(bytes, bytes_of(words), std::min(n, max_length));
  return make_at(*stack::push_cell(), n, bytes);
}

cell* make_from_ints(uint32_t n, const int32_t* values) {
  uint8_t bytes[max_length] = {};
  n = std::min(n, max_length);
  for (uint32_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(values[i]);
  return make_at(*stack::push_cell(), n, bytes);
}

cell* from_binary(const cell& binary, cell& target) {
  series_buffer* buffer = buffer_of(binary.payload2);
  uint32_t count = buffer->count(), head = binary.payload1;
  uint32_t n = std::min(head < count ? count - head : 0, max_length);
  uint8_t bytes[max_length] = {};
  std::memcpy(bytes, buffer->head() + head, n);
  return make_at(target, n, bytes);
}

cell* from_issue(const cell& issue) {
  uint32_t symbol = word::symbol_of(issue);
  const auto* name = reinterpret_cast<const uint8_t*>(symbol::name(symbol));
  size_t length = symbol::name_length(symbol);
  if (length != 3 && length != 6 && length != 8) fire(error_id::script_invalid_data, issue);
  // Every byte of a character beyond ASCII is above 127 and no digit, so such a character
  // is refused rather than read as the ASCII letter sharing its low bits.
  uint8_t digits[8];
  for (size_t i = 0; i < length; ++i) {
    int32_t digit = hex_digit(name[i]);
    if (digit < 0) fire(error_id::script_invalid_data, issue);
    digits[i] = static_cast<uint8_t>(digit);
  }
  uint8_t bytes[4];
  uint32_t n;
  if (length == 3) {
    for (uint32_t i = 0; i < 3; ++i) bytes[i] = static_cast<uint8_t>(digits[i] * 17);
    n = 3;
  } else {
    n = static_cast<uint32_t>(length / 2);
    for (uint32_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(digits[2 * i] << 4 | digits[2 * i + 1]);
  }
  return make_at(*stack::push_cell(), n, bytes);
}

cell* do_math(int32_t op) {
  cell* left = stack::argument(0);
  cell* right = stack::argument(1);
  if (left->type() != TYPE_TUPLE) {
    if (op == math_op::subtract || op == math_op::divide)
      fire(error_id::script_not_related, word_named(math_words[op]), datatype_of(left->type()));
    std::swap(*left, *right);
    if (left->type() != TYPE_TUPLE) invalid_type(left->type());
  }
  uint8_t* bytes = bytes_of(*left);
  uint32_t n = length_of(*left);
  switch (right->type()) {
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
      double operand = float_::get(*right);
      for (uint32_t i = 0; i < n; ++i) bytes[i] = clamp_float(float_::do_math_op(bytes[i], operand, op));
      return left;
    }
    case TYPE_INTEGER: {
      int32_t operand = integer::get(*right);
      for (uint32_t i = 0; i < n; ++i) bytes[i] = combine(op, bytes[i], operand);
      return left;
    }
    case TYPE_TUPLE: {
      const uint8_t* operands = bytes_of(*right);
      uint32_t longest = std::max(n, length_of(*right));
      // Bytes past either length are zero in the cell, so both can be read up to the longer.
      for (uint32_t i = 0; i < longest; ++i) bytes[i] = combine(op, bytes[i], operands[i]);
      set_length(*left, longest);
      return left;
    }
    default: invalid_type(right->type());
  }
}

bool zero_p(const cell& value) {
  const uint8_t* bytes = bytes_of(value);
  return std::all_of(bytes, bytes + length_of(value), [](uint8_t b) { return b == 0; });
}

void poke(cell& value, int32_t index, const cell& new_value) {
  uint32_t n = length_of(value);
  if (index < 1 || static_cast<uint32_t>(index) > n) out_of_range(scalar::integer(index));
  uint8_t* bytes = bytes_of(value);
  if (new_value.type() == TYPE_INTEGER) {
    bytes[index - 1] = clamp_int(integer::get(new_value));
    return;
  }
  std::fill(bytes + index - 1, bytes + n, uint8_t{0});
  set_length(value, std::max(static_cast<uint32_t>(index - 1), min_length));
}

cell* to(cell*, cell* spec, int32_t) {
  switch (spec->type()) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: return from_block(*spec);
    case TYPE_ISSUE: return from_issue(*spec);
    case TYPE_BINARY: return from_binary(*spec, *stack::push_cell());
    case TYPE_TUPLE: return spec;
    default:
      if (text_type_p(spec->type())) return from_text(*spec);
      bad_to_arg(*spec);
  }
}

cell* make(cell* prototype, cell* spec, int32_t type) { return to(prototype, spec, type); }

cell* random(cell* value, bool seed, bool secure, bool) {
  if (seed) {
    rng::seed(static_cast<int32_t>(value->payload1 ^ value->payload2 ^ value->payload3));
    *value = unset::value;
    return value;
  }
  uint8_t* bytes = bytes_of(*value);
  for (uint32_t i = 0; i < length_of(*value); ++i)
    bytes[i] = static_cast<uint8_t>(rng::random_int(secure, bytes[i] + 1) - 1);
  return value;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) {
  char text[max_length * 4 + 1];
  int32_t written = 0;
  const uint8_t* bytes = bytes_of(*value);
  for (uint32_t i = 0; i < length_of(*value); ++i)
    written += std::snprintf(text + written, sizeof text - static_cast<size_t>(written), i ? ".%u" : "%u",
                             unsigned{bytes[i]});
  text::append_c_string(*buffer, text);
  return limit - written;
}

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(value, buffer, part, limit);
}

cell* eval_path(cell* parent, cell* element, cell* value, cell*, cell* container, cell* previous, int32_t, bool,
                bool, bool, bool store_back) {
  if (element->type() != TYPE_INTEGER) invalid_type(element->type());
  int32_t index = integer::get(*element);
  if (!value) return pick(parent, index, element);
  if (value->type() != TYPE_INTEGER && value->type() != TYPE_NONE) invalid_type(value->type());
  cell old_value = *parent;
  poke(*parent, index, *value);
  scalar_support::notify_owner(container, previous, old_value, *parent, *value, index, store_back);
  return value;
}

int32_t compare(cell* value1, cell* value2, int32_t) {
  if (value2->type() != TYPE_TUPLE) return actions::not_comparable;
  const uint8_t* a = bytes_of(*value1);
  const uint8_t* b = bytes_of(*value2);
  uint32_t longest = std::max(length_of(*value1), length_of(*value2));
  for (uint32_t i = 0; i < longest; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

cell* add() { return do_math(math_op::add); }
cell* divide() { return do_math(math_op::divide); }
cell* multiply() { return do_math(math_op::multiply); }
cell* remainder() { return do_math(math_op::remainder); }
cell* subtract() { return do_math(math_op::subtract); }
cell* and_() { return do_math(math_op::and_); }

cell* complement(cell* value) {
  uint8_t* bytes = bytes_of(*value);
  for (uint32_t i = 0; i < length_of(*value); ++i) bytes[i] = static_cast<uint8_t>(255 - bytes[i]);
  return value;
}

cell* or_() { return do_math(math_op::or_); }
cell* xor_() { return do_math(math_op::xor_); }

int32_t length_p(cell* series) { return static_cast<int32_t>(length_of(*series)); }

cell* pick(cell* series, int32_t index, cell* index_cell) {
  if (index < 1 || static_cast<uint32_t>(index) > length_of(*series))
    out_of_range(index_cell ? *index_cell : scalar::integer(index));
  return stack::push_copy(scalar::integer(bytes_of(*series)[index - 1]));
}

cell* reverse(cell* series, cell* part, cell* skip) {
  uint8_t* bytes = bytes_of(*series);
  uint32_t count = length_of(*series);
  if (part) {
    int32_t limit = refinement_count("part", *part);
    if (limit < 0) out_of_range(*part);
    count = std::min(count, static_cast<uint32_t>(limit));
  }
  if (skip) {
    int32_t size = refinement_count("skip", *skip);
    if (static_cast<uint32_t>(size) == count) return series;
    if (size < 1) out_of_range(*skip);
    if (static_cast<uint32_t>(size) > count || count % static_cast<uint32_t>(size) != 0)
      invalid_refine_arg("skip", *skip);
    reverse_groups(bytes, count, static_cast<uint32_t>(size));
    return series;
  }
  std::reverse(bytes, bytes + count);
  return series;
}

void init() {
  datatype::register_type(TYPE_TUPLE, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, &random, unsupported, &to, &form, &mold, &eval_path, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, &add, &divide, &multiply, unsupported, unsupported, &remainder, unsupported, &subtract,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, &and_, &complement, &or_, &xor_,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, &length_p, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      &pick, unsupported, unsupported, unsupported, &reverse, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
  handoff::tuple_do_math = &do_math;
}

}  // namespace tav::tuple
