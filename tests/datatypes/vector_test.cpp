// vector!: the element-wise loops against the element-by-element rule (wrapped 32-bit integer
// arithmetic stored by the unit, double arithmetic rounded to the unit), the error part-way,
// and the element readers and writers.
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "datatypes/vector.hpp"
#include "number_helpers.hpp"

namespace tav {
namespace {

using testing::fired_by;
using testing::float_cell;
using testing::int_cell;
using testing::math;
using Vectors = testing::number_values;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// A vector of the element type and unit holding the numbers (stored by their low bits or
// rounded to the unit), its head at `head`.
cell vector_of(uint8_t type, uint32_t unit, const std::vector<double>& numbers, uint32_t head = 0) {
  cell v;
  vector::make_at(v, static_cast<uint32_t>(numbers.size()), type, unit);
  for (double x : numbers) {
    cell value = vector::float_type_p(type) ? float_cell(x) : int_cell(static_cast<int32_t>(static_cast<int64_t>(x)));
    value.header = (value.header & ~0xFFu) | type;
    vector::append_value(v, value);
  }
  v.payload1 = head;
  return v;
}

// The raw bytes of the elements from the head.
std::vector<uint8_t> bytes_of(const cell& v) {
  series_buffer* b = buffer_of(v.payload2);
  const uint8_t* from = b->head() + size_t{v.payload1} * b->unit();
  const uint8_t* to = b->end();
  return std::vector<uint8_t>(from, to);
}

void write_integer(uint8_t* p, uint32_t unit, int32_t value) {
  auto bits = static_cast<uint32_t>(value);
  std::memcpy(p, &bits, unit);  // little-endian: the low bytes come first
}

void write_float(uint8_t* p, uint32_t unit, double value) {
  if (unit == 8) {
    std::memcpy(p, &value, 8);
  } else {
    auto f = static_cast<float>(value);
    std::memcpy(p, &f, 4);
  }
}

// The 32-bit rule for one pair; nothing when the pair raises an error.
std::optional<int32_t> integer_rule(int32_t op, int32_t x, int32_t y) {
  auto ux = static_cast<uint32_t>(x), uy = static_cast<uint32_t>(y);
  switch (op) {
    case 0: return static_cast<int32_t>(ux + uy);
    case 1: return static_cast<int32_t>(ux - uy);
    case 2: return static_cast<int32_t>(ux * uy);
    case 3:
    case 4:
      if (y == 0 || (x == INT32_MIN && y == -1)) return std::nullopt;
      return op == 3 ? x / y : x % y;
    case 5: return x | y;
    case 6: return x & y;
    default: return x ^ y;
  }
}

const std::vector<double> integer_elements = {0,     1,      -1,         127,        -128,       255,
                                              256,   32767,  -32768,     65535,      2147483647, -2147483648.0,
                                              7,     -7,     123456789, -987654321, 100};
const std::vector<int32_t> integer_scalars = {0, 1, -1, 3, -7, 255, 70000, INT32_MAX, INT32_MIN};

TEST_F(Vectors, IntegerLoopsFollowTheElementRule) {
  for (uint8_t type : {TYPE_INTEGER, TYPE_CHAR}) {
    for (uint32_t unit : {1u, 2u, 4u}) {
      for (int32_t op = 0; op <= 7; ++op) {
        for (int32_t s : integer_scalars) {
          cell v = vector_of(type, unit, integer_elements);
          std::vector<uint8_t> expected = bytes_of(v);
          std::optional<error_id> expected_error;
          for (size_t i = 0; i < integer_elements.size(); ++i) {
            int32_t x = vector::read_integer(expected.data() + i * unit, unit, type == TYPE_CHAR);
            std::optional<int32_t> r = integer_rule(op, x, s);
            if (!r) {
              expected_error = s == 0 ? error_id::math_zero_divide : error_id::math_overflow;
              break;
            }
            write_integer(expected.data() + i * unit, unit, *r);
          }
          std::optional<error_id> error = fired_by([&] { math(op, v, int_cell(s)); });
          EXPECT_EQ(error, expected_error) << int(type) << " unit " << unit << " op " << op << " by " << s;
          EXPECT_EQ(bytes_of(v), expected) << int(type) << " unit " << unit << " op " << op << " by " << s;
        }
      }
    }
  }
}

const std::vector<double> float_elements = {0, -0.0, 1.5, -2.25, 1e10, 3.4e38, 1e-45, nan, inf, -inf, 0.1};

TEST_F(Vectors, FloatLoopsFollowTheElementRule) {
  for (uint8_t type : {TYPE_FLOAT, TYPE_PERCENT}) {
    for (uint32_t unit : {4u, 8u}) {
      for (int32_t op = 0; op <= 4; ++op) {
        for (double s : {0.0, 1.0, 2.5, -3.0, 1e-3, 1e300, inf, nan}) {
          cell v = vector_of(type, unit, float_elements, 1);
          std::vector<uint8_t> expected = bytes_of(v);
          bool identity = ((op == 0 || op == 1) && s == 0.0) || ((op == 2 || op == 3) && s == 1.0);
          for (size_t i = 0; !identity && i + 1 < float_elements.size(); ++i) {
            double x = vector::read_float(expected.data() + i * unit, unit);
            write_float(expected.data() + i * unit, unit, float_::do_math_op(x, s, op));
          }
          math(op, v, float_cell(s));
          EXPECT_EQ(bytes_of(v), expected) << int(type) << " unit " << unit << " op " << op << " by " << s;
        }
      }
      cell v = vector_of(type, unit, {1.5});
      EXPECT_EQ(fired_by([&] { math(6, v, int_cell(1)); }), error_id::script_cannot_use);
    }
  }
}

TEST_F(Vectors, PairsOfVectorsFollowTheElementRule) {
  for (uint32_t unit_a : {1u, 2u, 4u}) {
    for (uint32_t unit_b : {1u, 2u, 4u}) {
      for (int32_t op = 0; op <= 7; ++op) {
        // Divisors stay non-zero and other than -1 in every unit.
        std::vector<double> divisors(integer_elements.rbegin(), integer_elements.rend());
        if (op == 3 || op == 4) divisors = {3, -7, 5, 100, -100, 9, 11, 13, 2, -2, 7, 17, 19, 23, -29, 31, 37};
        cell a = vector_of(TYPE_INTEGER, unit_a, integer_elements);
        cell b = vector_of(TYPE_INTEGER, unit_b, divisors, 2);
        std::vector<uint8_t> before_a = bytes_of(a), before_b = bytes_of(b);
        uint32_t unit = std::max(unit_a, unit_b);
        size_t n = divisors.size() - 2;
        std::vector<uint8_t> expected(n * unit);
        for (size_t i = 0; i < n; ++i) {
          int32_t x = vector::read_integer(before_a.data() + i * unit_a, unit_a, false);
          int32_t y = vector::read_integer(before_b.data() + i * unit_b, unit_b, false);
          write_integer(expected.data() + i * unit, unit, *integer_rule(op, x, y));
        }
        cell result = math(op, a, b);
        EXPECT_EQ(buffer_of(result.payload2)->unit(), unit);
        EXPECT_EQ(bytes_of(result), expected) << "units " << unit_a << " " << unit_b << " op " << op;
        EXPECT_EQ(bytes_of(a), before_a);
        EXPECT_EQ(bytes_of(b), before_b);
      }
    }
  }
  for (uint32_t unit_a : {4u, 8u}) {
    for (uint32_t unit_b : {4u, 8u}) {
      for (int32_t op = 0; op <= 4; ++op) {
        cell a = vector_of(TYPE_FLOAT, unit_a, float_elements);
        cell b = vector_of(TYPE_FLOAT, unit_b, {2.5, -0.5, nan, 1e-3, 3.0, inf});
        uint32_t unit = std::max(unit_a, unit_b);
        std::vector<uint8_t> expected(6 * unit);
        for (size_t i = 0; i < 6; ++i) {
          double x = vector::read_float(bytes_of(a).data() + i * unit_a, unit_a);
          double y = vector::read_float(bytes_of(b).data() + i * unit_b, unit_b);
          write_float(expected.data() + i * unit, unit, float_::do_math_op(x, y, op));
        }
        EXPECT_EQ(bytes_of(math(op, a, b)), expected) << "units " << unit_a << " " << unit_b << " op " << op;
      }
    }
  }
}

TEST_F(Vectors, ElementsReadAndWritten) {
  uint8_t bytes[12] = {};
  // Addresses one byte off: every element goes through memcpy.
  vector::set_value(bytes + 1, float_cell(0.1), 8);
  EXPECT_EQ(scalar::float_value(vector::get_value(bytes + 1, 8, TYPE_FLOAT)), 0.1);
  vector::set_value(bytes + 1, float_cell(0.1), 4);
  EXPECT_EQ(scalar::float_value(vector::get_value(bytes + 1, 4, TYPE_PERCENT)), double{0.1f});
  EXPECT_EQ(vector::get_value(bytes + 1, 4, TYPE_PERCENT).type(), TYPE_PERCENT);
  vector::set_value(bytes + 3, int_cell(300), 1);
  EXPECT_EQ(integer::get(vector::get_value(bytes + 3, 1, TYPE_INTEGER)), 44);
  vector::set_value(bytes + 3, cell{TYPE_CHAR, 0, 0xE9, 0}, 1);
  EXPECT_EQ(integer::get(vector::get_value(bytes + 3, 1, TYPE_INTEGER)), -23);
  EXPECT_EQ(vector::get_value(bytes + 3, 1, TYPE_CHAR).payload2, 0xE9u);
  vector::set_value(bytes + 5, int_cell(-1), 2);
  EXPECT_EQ(vector::get_value(bytes + 5, 2, TYPE_CHAR).payload2, 0xFFFFu);
  EXPECT_EQ(integer::get(vector::get_value(bytes + 5, 2, TYPE_INTEGER)), -1);
  EXPECT_EQ(fired_by([&] { vector::set_value(bytes, none::value, 4); }), error_id::script_invalid_type);

  cell v = vector_of(TYPE_INTEGER, 2, {5, -6, 7}, 1);
  cell block;
  vector::to_block(v, block);
  series_buffer* b = buffer_of(block.payload2);
  ASSERT_EQ(b->count(), 2u);
  EXPECT_EQ(integer::get(b->cells()[0]), -6);
  EXPECT_EQ(integer::get(b->cells()[1]), 7);
  EXPECT_EQ(fired_by([&] { vector::append_value(v, float_cell(1.0)); }), error_id::script_invalid_arg);
  cell empty;
  EXPECT_EQ(fired_by([&] { vector::make_at(empty, 0x40000000, TYPE_INTEGER, 4); }), error_id::internal_no_memory);
}

}  // namespace
}  // namespace tav
