// vector!: packed numeric series, their making, text forms, comparison, element-wise arithmetic
// and the inserting actions.
#include "datatypes/vector.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <strings.h>
#include <vector>

#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/series.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"

namespace tav::vector {
namespace {

using scalar_support::datatype_of;

// The element types and their names, bit sizes and default units.
struct element_kind {
  uint8_t type;
  const char* name;
  uint32_t default_unit;
};
constexpr element_kind kinds[] = {
    {TYPE_CHAR, "char!", 4}, {TYPE_INTEGER, "integer!", 4}, {TYPE_FLOAT, "float!", 8}, {TYPE_PERCENT, "percent!", 8}};

const element_kind* kind_of(uint8_t type) {
  for (const element_kind& kind : kinds)
    if (kind.type == type) return &kind;
  return nullptr;
}

series_buffer* buffer(const cell& vector) { return buffer_of(vector.payload2); }
uint32_t unit_of(const cell& vector) { return buffer(vector)->unit(); }
uint32_t count_of(const cell& vector) { return buffer(vector)->count(); }
uint32_t head_of(const cell& vector) {
  return static_cast<uint32_t>(std::clamp<int64_t>(static_cast<int32_t>(vector.payload1), 0, count_of(vector)));
}
uint32_t length_of(const cell& vector) { return count_of(vector) - head_of(vector); }
uint8_t* element_address(const cell& vector, uint32_t position) {
  return buffer(vector)->head() + size_t{position} * unit_of(vector);
}

cell make_cell(node_id node, uint8_t type, uint32_t head = 0) { return cell{TYPE_VECTOR, head, node, type}; }

[[gnu::cold, noreturn]] void no_memory() { fire(error_id::internal_no_memory); }
[[gnu::cold, noreturn]] void bad_make_arg(const cell& spec) {
  fire(error_id::script_bad_make_arg, datatype_of(TYPE_VECTOR), spec);
}
[[gnu::cold, noreturn]] void invalid_spec_field(const cell& spec) { fire(error_id::script_invalid_spec_field, spec); }

// Element counts times the unit stay within 32 bits.
void check_size(uint64_t count, uint32_t unit) {
  if (count * unit > UINT32_MAX || count * unit > max_series_size) no_memory();
}

void require_element_type(const cell& vector, const cell& value) {
  if (value.type() != element_type(vector)) fire(error_id::script_invalid_arg, value);
}

// ---- Raw elements -------------------------------------------------------------------------------

template <class T>
T load(const uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
template <class T>
void store(uint8_t* p, T value) {
  std::memcpy(p, &value, sizeof value);
}

void write_integer(uint8_t* p, uint32_t unit, int32_t value) {
  auto bits = static_cast<uint32_t>(value);
  switch (unit) {
    case 1: store(p, static_cast<uint8_t>(bits)); break;
    case 2: store(p, static_cast<uint16_t>(bits)); break;
    default: store(p, bits); break;
  }
}

void write_float(uint8_t* p, uint32_t unit, double value) {
  if (unit == 8)
    store(p, value);
  else
    store(p, static_cast<float>(value));
}

// Repeats the first `run` bytes at `place` until `total` bytes are filled, doubling the copy.
void repeat(uint8_t* place, size_t run, size_t total) {
  for (size_t done = run; done < total;) {
    size_t chunk = std::min(done, total - done);
    std::memcpy(place + done, place, chunk);
    done += chunk;
  }
}

// ---- Element-wise kernels -----------------------------------------------------------------------
// One plain loop per element size and operation, so that the compiler can vectorise it. The
// low bits of a wrapped 32-bit sum, difference, product or bitwise result depend only on the
// low bits of the operands, so integers of every size combine in their own width.

template <class T, class F>
void map_elements(uint8_t* p, uint32_t n, F f) {
  for (uint32_t i = 0; i < n; ++i) store<T>(p + size_t{i} * sizeof(T), f(load<T>(p + size_t{i} * sizeof(T))));
}

template <class T, class F>
void zip_elements(uint8_t* out, const uint8_t* a, const uint8_t* b, uint32_t n, F f) {
  for (uint32_t i = 0; i < n; ++i) {
    size_t at = size_t{i} * sizeof(T);
    store<T>(out + at, f(load<T>(a + at), load<T>(b + at)));
  }
}

bool wrapping_op_p(int32_t op) { return op != math_op::divide && op != math_op::remainder; }

uint32_t wrap(int32_t op, uint32_t x, uint32_t y) {
  switch (op) {
    case math_op::add: return x + y;
    case math_op::subtract: return x - y;
    case math_op::multiply: return x * y;
    case math_op::or_: return x | y;
    case math_op::and_: return x & y;
    default: return x ^ y;
  }
}

template <class U>
void wrap_with_scalar(uint8_t* p, uint32_t n, int32_t op, uint32_t s) {
  auto narrow = [](uint32_t x) { return static_cast<U>(x); };
  switch (op) {
    case math_op::add: map_elements<U>(p, n, [=](U x) { return narrow(uint32_t{x} + s); }); break;
    case math_op::subtract: map_elements<U>(p, n, [=](U x) { return narrow(uint32_t{x} - s); }); break;
    case math_op::multiply: map_elements<U>(p, n, [=](U x) { return narrow(uint32_t{x} * s); }); break;
    case math_op::or_: map_elements<U>(p, n, [=](U x) { return narrow(uint32_t{x} | s); }); break;
    case math_op::and_: map_elements<U>(p, n, [=](U x) { return narrow(uint32_t{x} & s); }); break;
    default: map_elements<U>(p, n, [=](U x) { return narrow(uint32_t{x} ^ s); }); break;
  }
}

template <class U>
void wrap_pairs(uint8_t* out, const uint8_t* a, const uint8_t* b, uint32_t n, int32_t op) {
  auto narrow = [](uint32_t x) { return static_cast<U>(x); };
  switch (op) {
    case math_op::add: zip_elements<U>(out, a, b, n, [=](U x, U y) { return narrow(uint32_t{x} + y); }); break;
    case math_op::subtract: zip_elements<U>(out, a, b, n, [=](U x, U y) { return narrow(uint32_t{x} - y); }); break;
    case math_op::multiply:
      zip_elements<U>(out, a, b, n, [=](U x, U y) { return narrow(uint32_t{x} * uint32_t{y}); });
      break;
    case math_op::or_: zip_elements<U>(out, a, b, n, [=](U x, U y) { return narrow(uint32_t{x} | y); }); break;
    case math_op::and_: zip_elements<U>(out, a, b, n, [=](U x, U y) { return narrow(uint32_t{x} & y); }); break;
    default: zip_elements<U>(out, a, b, n, [=](U x, U y) { return narrow(uint32_t{x} ^ y); }); break;
  }
}

template <class T>
void float_with_scalar(uint8_t* p, uint32_t n, int32_t op, double s) {
  switch (op) {
    case math_op::add: map_elements<T>(p, n, [=](T x) { return static_cast<T>(double{x} + s); }); break;
    case math_op::subtract: map_elements<T>(p, n, [=](T x) { return static_cast<T>(double{x} - s); }); break;
    case math_op::multiply: map_elements<T>(p, n, [=](T x) { return static_cast<T>(double{x} * s); }); break;
    case math_op::divide: map_elements<T>(p, n, [=](T x) { return static_cast<T>(double{x} / s); }); break;
    default: map_elements<T>(p, n, [=](T x) { return static_cast<T>(float_::do_math_op(x, s, op)); }); break;
  }
}

template <class T>
void float_pairs(uint8_t* out, const uint8_t* a, const uint8_t* b, uint32_t n, int32_t op) {
  switch (op) {
    case math_op::add: zip_elements<T>(out, a, b, n, [](T x, T y) { return static_cast<T>(double{x} + y); }); break;
    case math_op::subtract:
      zip_elements<T>(out, a, b, n, [](T x, T y) { return static_cast<T>(double{x} - y); });
      break;
    case math_op::multiply:
      zip_elements<T>(out, a, b, n, [](T x, T y) { return static_cast<T>(double{x} * y); });
      break;
    case math_op::divide: zip_elements<T>(out, a, b, n, [](T x, T y) { return static_cast<T>(double{x} / y); }); break;
    default:
      zip_elements<T>(out, a, b, n, [=](T x, T y) { return static_cast<T>(float_::do_math_op(x, y, op)); });
      break;
  }
}

// Integer division element by element: a zero divisor or the most negative value by -1
// raises its error with the elements before it already changed.
void divide_with_scalar(uint8_t* p, uint32_t n, uint32_t unit, bool chars, int32_t op, int32_t s) {
  for (uint32_t i = 0; i < n; ++i, p += unit)
    write_integer(p, unit, integer::do_math_op(op, read_integer(p, unit, chars), s, nullptr));
}

// Operations float! arithmetic does not have raise its error even on an empty vector.
void require_float_op(int32_t op) {
  if (op > math_op::remainder) float_::do_math_op(0.0, 0.0, op);
}

// ---- Arithmetic -----------------------------------------------------------------------------------

void float_vector_math(const cell& vector, int32_t op, const cell& scalar) {
  double s;
  switch (scalar.type()) {
    case TYPE_INTEGER: s = integer::get(scalar); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT: s = scalar::float_value(scalar); break;
    default: fire(error_id::internal_not_done);
  }
  require_float_op(op);
  bool identity = ((op == math_op::add || op == math_op::subtract) && s == 0.0) ||
                  ((op == math_op::multiply || op == math_op::divide) && s == 1.0);
  if (identity) return;
  uint8_t* p = element_address(vector, head_of(vector));
  uint32_t n = length_of(vector);
  if (unit_of(vector) == 8)
    float_with_scalar<double>(p, n, op, s);
  else
    float_with_scalar<float>(p, n, op, s);
}

void integer_vector_math(const cell& vector, int32_t op, const cell& scalar) {
  int32_t s;
  switch (scalar.type()) {
    case TYPE_INTEGER: s = integer::get(scalar); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT: s = float_::truncate_to_int32(scalar::float_value(scalar)); break;
    default: fire(error_id::internal_not_done);
  }
  bool identity = ((op == math_op::add || op == math_op::subtract) && s == 0) ||
                  ((op == math_op::multiply || op == math_op::divide) && s == 1);
  if (identity) return;
  uint32_t unit = unit_of(vector);
  uint8_t* p = element_address(vector, head_of(vector));
  uint32_t n = length_of(vector);
  if (!wrapping_op_p(op)) {
    divide_with_scalar(p, n, unit, element_type(vector) == TYPE_CHAR, op, s);
    return;
  }
  auto bits = static_cast<uint32_t>(s);
  switch (unit) {
    case 1: wrap_with_scalar<uint8_t>(p, n, op, bits); break;
    case 2: wrap_with_scalar<uint16_t>(p, n, op, bits); break;
    default: wrap_with_scalar<uint32_t>(p, n, op, bits); break;
  }
}

// Pairs of elements of different sizes, each read by its own unit.
void mixed_pairs(uint8_t* out, uint32_t unit, const uint8_t* a, uint32_t unit_a, const uint8_t* b, uint32_t unit_b,
                 uint32_t n, uint8_t type, int32_t op) {
  bool chars = type == TYPE_CHAR;
  for (uint32_t i = 0; i < n; ++i, out += unit, a += unit_a, b += unit_b) {
    if (float_type_p(type)) {
      write_float(out, unit, float_::do_math_op(read_float(a, unit_a), read_float(b, unit_b), op));
      continue;
    }
    int32_t x = read_integer(a, unit_a, chars), y = read_integer(b, unit_b, chars);
    int32_t result = wrapping_op_p(op)
                         ? static_cast<int32_t>(wrap(op, static_cast<uint32_t>(x), static_cast<uint32_t>(y)))
                         : integer::do_math_op(op, x, y, nullptr);
    write_integer(out, unit, result);
  }
}

void same_size_pairs(uint8_t* out, const uint8_t* a, const uint8_t* b, uint32_t unit, uint32_t n, uint8_t type,
                     int32_t op) {
  if (float_type_p(type)) {
    if (unit == 8)
      float_pairs<double>(out, a, b, n, op);
    else
      float_pairs<float>(out, a, b, n, op);
  } else if (!wrapping_op_p(op)) {
    mixed_pairs(out, unit, a, unit, b, unit, n, type, op);
  } else if (unit == 1) {
    wrap_pairs<uint8_t>(out, a, b, n, op);
  } else if (unit == 2) {
    wrap_pairs<uint16_t>(out, a, b, n, op);
  } else {
    wrap_pairs<uint32_t>(out, a, b, n, op);
  }
}

// Two vectors: a new buffer of the larger unit and the shorter length, written into the first
// argument's cell; neither operand changes.
cell* vectors_math(int32_t op, cell* first, const cell& second) {
  uint8_t type = element_type(*first);
  if (element_type(second) != type) fire(error_id::script_not_same_type);
  if (float_type_p(type)) require_float_op(op);
  uint32_t unit_a = unit_of(*first), unit_b = unit_of(second), unit = std::max(unit_a, unit_b);
  uint32_t n = std::min(length_of(*first), length_of(second));
  node_id node = alloc_by_unit(n, unit);
  // The buffers are read only after the allocation, which may have moved them.
  uint8_t* out = buffer_of(node)->head();
  const uint8_t* a = element_address(*first, head_of(*first));
  const uint8_t* b = element_address(second, head_of(second));
  if (unit_a == unit_b)
    same_size_pairs(out, a, b, unit, n, type, op);
  else
    mixed_pairs(out, unit, a, unit_a, b, unit_b, n, type, op);
  buffer_of(node)->tail += n * unit;
  *first = make_cell(node, type);
  return first;
}

cell* do_math(int32_t op) {
  cell* first = stack::argument(0);
  cell second = *stack::argument(1);
  if (second.type() == TYPE_VECTOR) return vectors_math(op, first, second);
  return do_math_op(op, first, &second);
}

// ---- Making -----------------------------------------------------------------------------------------

struct make_plan {
  uint8_t type = TYPE_INTEGER;
  uint32_t unit = 0;  // 0: the type's default
  int64_t count = 0;
  cell data = none::value;  // a block of initial values, or none
};

const element_kind* kind_named(const cell& word) {
  const char* name = symbol::name(word::symbol_of(word));
  for (const element_kind& kind : kinds)
    if (strcasecmp(name, kind.name) == 0) return &kind;
  return nullptr;
}

int64_t count_from_number(const cell& value, const cell& spec) {
  if (value.type() == TYPE_INTEGER) return integer::get(value);
  double x = scalar::float_value(value);
  if (!(x > -2147483649.0 && x < 2147483648.0)) fire(error_id::script_out_of_range, spec);
  return static_cast<int32_t>(x);
}

// A spec block that starts with an element type word: the type, the bit size, then a count
// and initial data, or the initial data alone.
void plan_typed(make_plan& plan, const cell& spec, const cell* cells, uint32_t at, uint32_t total) {
  if (total - at < 2) bad_make_arg(spec);
  const element_kind* kind = kind_named(cells[at]);
  if (!kind) bad_make_arg(spec);
  plan.type = kind->type;
  uint32_t next = at + 1;
  if (kind->type == TYPE_PERCENT) {
    plan.unit = 8;
    if (cells[next].type() == TYPE_INTEGER) ++next;
  } else {
    if (cells[next].type() != TYPE_INTEGER) invalid_spec_field(spec);
    int32_t bits = integer::get(cells[next]);
    bool allowed = kind->type == TYPE_FLOAT ? bits == 32 || bits == 64 : bits == 8 || bits == 16 || bits == 32;
    if (!allowed) bad_make_arg(spec);
    plan.unit = static_cast<uint32_t>(bits / 8);
    ++next;
  }
  if (next >= total) return;
  const cell& after = cells[next];
  if (after.type() == TYPE_INTEGER) {
    plan.count = integer::get(after);
    if (next + 1 < total) {
      if (cells[next + 1].type() != TYPE_BLOCK) invalid_spec_field(spec);
      plan.data = cells[next + 1];
    }
  } else if (after.type() == TYPE_BLOCK) {
    plan.data = after;
  } else {
    invalid_spec_field(spec);
  }
}

make_plan plan_of(const cell& spec) {
  make_plan plan;
  switch (spec.type()) {
    case TYPE_INTEGER:
    case TYPE_FLOAT: plan.count = count_from_number(spec, spec); return plan;
    case TYPE_BLOCK: break;
    default: fire(error_id::internal_not_done);
  }
  series_buffer* b = buffer_of(spec.payload2);
  uint32_t total = b->count();
  auto at = static_cast<uint32_t>(std::clamp<int64_t>(static_cast<int32_t>(spec.payload1), 0, total));
  if (at == total) return plan;
  const cell* cells = b->cells();
  if (cells[at].type() == TYPE_WORD) {
    plan_typed(plan, spec, cells, at, total);
  } else {
    plan.type = cells[at].type();
    plan.data = spec;
  }
  return plan;
}

uint32_t block_length(const cell& block) {
  uint32_t total = buffer_of(block.payload2)->count();
  return total - static_cast<uint32_t>(std::clamp<int64_t>(static_cast<int32_t>(block.payload1), 0, total));
}

// ---- Text forms -------------------------------------------------------------------------------------

int32_t append_text(cell& out, const char* text, int32_t budget) {
  text::append_c_string(out, text);
  return budget - static_cast<int32_t>(std::strlen(text));
}

int32_t write_element(cell& out, const uint8_t* p, uint32_t unit, uint8_t type, bool mold, int32_t budget) {
  switch (type) {
    case TYPE_INTEGER: return append_text(out, integer::to_c_string(read_integer(p, unit, false)), budget);
    case TYPE_CHAR: {
      auto cp = static_cast<uint32_t>(read_integer(p, unit, true));
      if (mold) text::append_c_string(out, "#\"");
      string::append_escaped_char(out, cp, false);
      if (mold) text::append_char(out, '"');
      return budget - (mold ? 4 : 1);
    }
    case TYPE_FLOAT: return append_text(out, float_::format(read_float(p, unit), unit == 4 ? 0 : 1), budget);
    default: return append_text(out, float_::format(read_float(p, unit) * 100.0, unit == 4 ? 2 : 3), budget);
  }
}

// ---- Comparison ---------------------------------------------------------------------------------

bool equality_op_p(int32_t op) {
  return op == actions::op::equal || op == actions::op::not_equal || op == actions::op::strict_equal ||
         op == actions::op::find;
}

int32_t order(double x, double y) { return x < y ? -1 : x > y ? 1 : 0; }

// The first different pair over the shorter length decides; a NaN in a pair answers equal.
int32_t compare_elements(const cell& a, const cell& b, uint32_t n) {
  uint8_t type = element_type(a);
  uint32_t unit_a = unit_of(a), unit_b = unit_of(b);
  const uint8_t* pa = element_address(a, head_of(a));
  const uint8_t* pb = element_address(b, head_of(b));
  for (uint32_t i = 0; i < n; ++i, pa += unit_a, pb += unit_b) {
    if (float_type_p(type)) {
      double x = read_float(pa, unit_a), y = read_float(pb, unit_b);
      if (std::isnan(x) || std::isnan(y)) return 0;
      if (int32_t d = order(x, y)) return d;
    } else {
      int32_t x = read_integer(pa, unit_a, type == TYPE_CHAR), y = read_integer(pb, unit_b, type == TYPE_CHAR);
      if (x != y) return x < y ? -1 : 1;
    }
  }
  return 2;
}

// ---- Series element access ----------------------------------------------------------------------

cell element(const cell& vector, uint32_t position) {
  return get_value(element_address(vector, position), unit_of(vector), element_type(vector));
}

void store_element(const cell& vector, uint32_t position, const cell& value) {
  set_value(element_address(vector, position), value, unit_of(vector));
}

cell* handed_math(cell* vector, cell* scalar, int32_t op) { return do_math_op(op, vector, scalar); }

// ---- Editing --------------------------------------------------------------------------------------

// The values an insertion or change writes: cells of a block from its index, or one value.
struct source_values {
  cell value;
  bool cells = false;
  uint32_t from = 0;
  uint32_t count = 1;

  cell at(uint32_t k) const { return cells ? buffer_of(value.payload2)->cells()[from + k] : value; }
};

source_values values_of(const cell& value, bool many) {
  source_values source{value};
  if (many) {
    source.cells = true;
    source.count = block_length(value);
    source.from = buffer_of(value.payload2)->count() - source.count;
  }
  return source;
}

// Every value is checked before anything is written, so a refused value leaves the vector whole.
void require_values(const cell& vector, const source_values& source) {
  for (uint32_t k = 0; k < source.count; ++k) require_element_type(vector, source.at(k));
}

void write_values(uint8_t* place, uint32_t unit, const source_values& source) {
  for (uint32_t k = 0; k < source.count; ++k) set_value(place + size_t{k} * unit, source.at(k), unit);
}

uint64_t grown_size(const cell& vector) { return 2 * uint64_t{buffer(vector)->size}; }

}  // namespace

// ---- Element helpers ----------------------------------------------------------------------------

cell get_value(const uint8_t* address, uint32_t unit, uint8_t type) {
  switch (type) {
    case TYPE_FLOAT:
    case TYPE_PERCENT: return scalar::float_cell(read_float(address, unit), type);
    case TYPE_CHAR: return char_::value_of(static_cast<uint32_t>(read_integer(address, unit, true)));
    default: return scalar::integer(read_integer(address, unit, false));
  }
}

void set_value(uint8_t* address, const cell& value, uint32_t unit) {
  switch (value.type()) {
    case TYPE_CHAR:
    case TYPE_INTEGER: write_integer(address, unit, static_cast<int32_t>(value.payload2)); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT: write_float(address, unit, scalar::float_value(value)); break;
    default: fire(error_id::script_invalid_type, datatype_of(value.type()));
  }
}

cell* to_block(const cell& vector, cell& block) {
  cell source = vector;
  uint32_t from = head_of(source), n = length_of(source);
  block::make_at(block, static_cast<int32_t>(std::max(n, 1u)));
  for (uint32_t k = 0; k < n; ++k) block::append_cell(block, element(source, from + k));
  return &block;
}

cell* make_at(cell& target, uint32_t count, uint8_t type, uint32_t unit) {
  check_size(count, unit);
  target = unset::value;
  node_id node = alloc_by_unit(count, unit);
  target = make_cell(node, type);
  return &target;
}

void append_value(cell& vector, const cell& value) {
  cell stored = value;
  require_element_type(vector, stored);
  uint32_t unit = unit_of(vector);
  series_buffer* b = buffer(vector);
  check_size(uint64_t{b->count()} + 1, unit);
  if (uint64_t{b->tail} + unit > b->size) b = expand_series(b, 0);
  set_value(b->end(), stored, unit);
  b->tail += unit;
}

void append_values(cell& vector, const cell& block) {
  cell source = block;
  uint32_t n = block_length(source);
  uint32_t from = buffer_of(source.payload2)->count() - n;
  // Each cell is read again after the previous append, which may have moved the block.
  for (uint32_t k = 0; k < n; ++k) append_value(vector, buffer_of(source.payload2)->cells()[from + k]);
}

int32_t form_values(const cell& vector, cell& buffer, bool mold, bool part, int32_t budget) {
  cell source = vector;
  uint8_t type = element_type(source);
  uint32_t unit = unit_of(source);
  uint32_t from = head_of(source), total = count_of(source);
  for (uint32_t k = from; k < total; ++k) {
    if (part && budget < 1) break;
    // Writing the text may move the elements: read them again each time.
    budget = write_element(buffer, element_address(source, k), unit, type, mold, budget);
    if (k + 1 < total) {
      text::append_char(buffer, ' ');
      budget -= 1;
    }
  }
  return budget;
}

cell* do_math_op(int32_t op, cell* vector, cell* scalar) {
  if (float_type_p(element_type(*vector)))
    float_vector_math(*vector, op, *scalar);
  else
    integer_vector_math(*vector, op, *scalar);
  return vector;
}

// ---- Handlers ------------------------------------------------------------------------------------

cell* make(cell*, cell* spec, int32_t) {
  make_plan plan = plan_of(*spec);
  const element_kind* kind = kind_of(plan.type);
  if (!kind) fire(error_id::script_invalid_type, datatype_of(plan.type));
  uint32_t unit = plan.unit ? plan.unit : kind->default_unit;
  int64_t given = plan.data.type() == TYPE_BLOCK ? block_length(plan.data) : 0;
  bool zero_fill = plan.count > given;
  int64_t count = std::max(plan.count, given);
  check_size(static_cast<uint64_t>(std::max<int64_t>(count, 1)), unit);
  cell* result = stack::push_cell();
  make_at(*result, static_cast<uint32_t>(std::max<int64_t>(count, 1)), plan.type, unit);
  if (plan.data.type() == TYPE_BLOCK) append_values(*result, plan.data);
  if (zero_fill) {
    series_buffer* b = buffer(*result);
    size_t end = static_cast<size_t>(count) * unit;
    std::memset(b->end(), 0, end - b->used());
    b->tail = b->offset + static_cast<uint32_t>(end);
  }
  return result;
}

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit) {
  return form_values(*value, *buffer, false, part != nullptr, limit);
}

int32_t mold(cell* value, cell* buffer, bool only, bool, bool, cell* part, int32_t limit, int32_t) {
  cell source = *value;
  const element_kind* kind = kind_of(element_type(source));
  bool plain = length_of(source) > 0 && kind && unit_of(source) == kind->default_unit;
  if (!only) limit = append_text(*buffer, "make vector! [", limit);
  if (!plain) {
    limit = append_text(*buffer, kind ? kind->name : "integer!", limit);
    text::append_char(*buffer, ' ');
    limit = append_text(*buffer, integer::to_c_string(static_cast<int32_t>(unit_of(source) * 8)), limit - 1);
    limit = append_text(*buffer, " [", limit);
  }
  limit = form_values(source, *buffer, true, part != nullptr, limit);
  if (!plain) limit = append_text(*buffer, "]", limit);
  if (!only) limit = append_text(*buffer, "]", limit);
  return limit;
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != TYPE_VECTOR) return actions::not_comparable;
  const cell& a = *value1;
  const cell& b = *value2;
  if (element_type(a) != element_type(b)) fire(error_id::script_not_same_type);
  bool same = a.payload2 == b.payload2 && a.payload1 == b.payload1;
  if (op == actions::op::same) return same ? 0 : -1;
  bool equality = equality_op_p(op);
  if (same && equality) return 0;
  uint32_t length_a = length_of(a), length_b = length_of(b);
  if (length_a == 0 && length_b == 0) return 0;
  if (length_a != length_b && equality) return 1;
  int32_t d = compare_elements(a, b, std::min(length_a, length_b));
  if (d != 2) return d;
  return length_a < length_b ? -1 : length_a > length_b ? 1 : 0;
}

cell* add() { return do_math(math_op::add); }
cell* divide() { return do_math(math_op::divide); }
cell* multiply() { return do_math(math_op::multiply); }
cell* remainder() { return do_math(math_op::remainder); }
cell* subtract() { return do_math(math_op::subtract); }
cell* and_() { return do_math(math_op::and_); }
cell* or_() { return do_math(math_op::or_); }
cell* xor_() { return do_math(math_op::xor_); }

cell* insert(cell* series, cell* value, int32_t part, bool, int32_t dup, bool append) {
  cell target = *series;
  uint8_t type = value->type();
  source_values source = values_of(*value, type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH);
  if (source.cells && part >= 1 && static_cast<uint32_t>(part) < source.count)
    source.count = static_cast<uint32_t>(part);
  if (source.count == 0 || dup < 1) return series;
  uint32_t unit = unit_of(target), total = count_of(target);
  uint64_t inserted = uint64_t{source.count} * static_cast<uint32_t>(dup);
  check_size(inserted + total, unit);
  require_values(target, source);
  uint32_t at = append ? total : head_of(target);
  series_buffer* b = series::open_gap(target.payload2, at, static_cast<uint32_t>(inserted), grown_size(target));
  uint8_t* place = b->head() + size_t{at} * unit;
  write_values(place, unit, source);
  repeat(place, size_t{source.count} * unit, static_cast<size_t>(inserted) * unit);
  if (!append) series->payload1 = at + static_cast<uint32_t>(inserted);
  return series;
}

cell* change(cell* series, cell* value, int32_t part, bool, int32_t dup) {
  cell target = *series;
  uint32_t index = head_of(target);
  target.payload1 = index;
  cell new_value = *value;
  if (dup < 1) return series;
  bool owned = ownership::check(target, words::change, new_value, static_cast<int32_t>(index), part);

  uint32_t unit = unit_of(target), total = count_of(target);
  index = std::min(index, total);
  uint32_t rest = total - index;
  source_values source = values_of(new_value, series::any_block_p(new_value.type()));
  // A vector's elements are set aside first: the source may be the target itself.
  std::vector<uint8_t> aside;
  if (new_value.type() == TYPE_VECTOR) {
    if (element_type(new_value) != element_type(target) || unit_of(new_value) != unit)
      fire(error_id::script_not_same_type);
    source.count = length_of(new_value);
    const uint8_t* from = element_address(new_value, head_of(new_value));
    aside.assign(from, from + size_t{source.count} * unit);
  } else {
    require_values(target, source);
  }
  uint64_t inserted = uint64_t{source.count} * static_cast<uint32_t>(dup);
  uint32_t removed = part >= 0 ? std::min(static_cast<uint32_t>(part), rest)
                               : static_cast<uint32_t>(std::min<uint64_t>(inserted, rest));
  check_size(uint64_t{total} - removed + inserted, unit);

  node_id node = target.payload2;
  if (inserted > removed)
    series::open_gap(node, index + removed, static_cast<uint32_t>(inserted - removed), grown_size(target));
  else if (inserted < removed)
    series::close_gap(node, index + static_cast<uint32_t>(inserted), removed - static_cast<uint32_t>(inserted));
  uint8_t* place = buffer_of(node)->head() + size_t{index} * unit;
  if (new_value.type() == TYPE_VECTOR) {
    if (!aside.empty()) std::memcpy(place, aside.data(), aside.size());
  } else {
    write_values(place, unit, source);
  }
  repeat(place, size_t{source.count} * unit, static_cast<size_t>(inserted) * unit);
  if (owned) ownership::check(target, words::changed, new_value, static_cast<int32_t>(index), part);
  series->payload1 = std::min(index + static_cast<uint32_t>(inserted), count_of(target));
  return series;
}

void init() {
  datatype::register_type(TYPE_VECTOR, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, inherit, inherit, unsupported, &form, &mold, inherit, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, &add, &divide, &multiply, unsupported, unsupported, &remainder, unsupported, &subtract,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, &and_, unsupported, &or_, &xor_,
      // append at back change clear copy find head head? index? insert length? move next
      &insert, inherit, inherit, &change, inherit, inherit, inherit, inherit, inherit, inherit, &insert, inherit,
      inherit, inherit,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      inherit, inherit, unsupported, inherit, inherit, inherit, inherit, inherit, unsupported, inherit, inherit,
      inherit, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, inherit, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
  series::set_vector_access({&element, &store_element});
  handoff::vector_do_math_op = &handed_math;
}

}  // namespace tav::vector
