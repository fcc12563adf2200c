// pair!: construction, integer arithmetic with its point fallback, order, rounding, path
// access and the unary actions.
#include "datatypes/pair.hpp"

#include <limits>

#include "datatypes/point.hpp"
#include "scalar_fixture.hpp"

namespace tav {
namespace {

using testing::block_of;
using testing::call_entry;
using testing::compared;
using testing::float_cell;
using testing::fired_by;
using testing::integer_cell;
using testing::made;
using testing::math;
using testing::molded;
using testing::path_read;
using testing::path_set;
using testing::percent_cell;
using testing::picked;
using testing::rounded;
using testing::string_of;
using testing::word_of;
using Pair = testing::scalar_values;

cell pair_of(int32_t x, int32_t y) {
  cell value{TYPE_PAIR, 0, 0, 0};
  pair::make_at(value, x, y);
  return value;
}

cell point_of(float x, float y) {
  cell value{TYPE_POINT2D, 0, 0, 0};
  point2D::make_at(value, x, y);
  return value;
}

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST_F(Pair, Construction) {
  struct row {
    cell spec;
    const char* expected;
  };
  const row rows[] = {
      {integer_cell(5), "5x5"},
      {float_cell(2.9), "2x2"},
      {float_cell(-2.9), "-2x-2"},
      {block_of({integer_cell(1), integer_cell(2), integer_cell(3)}), "1x2"},
      {block_of({float_cell(1.9), integer_cell(-7)}), "1x-7"},
      {point_of(1.9f, -2.9f), "1x-2"},
      {pair_of(3, 4), "3x4"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(molded(made(TYPE_PAIR, r.spec)), r.expected);
    EXPECT_EQ(molded(testing::converted(TYPE_PAIR, r.spec)), r.expected);
  }

  struct bad {
    cell spec;
    error_id expected;
  };
  const bad bads[] = {
      {block_of({integer_cell(1)}), error_id::syntax_malconstruct},
      {block_of({integer_cell(1), string_of("2")}), error_id::syntax_malconstruct},
      {block_of({}), error_id::syntax_malconstruct},
      {point_of(static_cast<float>(inf), 0), error_id::script_invalid_arg},
      {point_of(0, static_cast<float>(nan)), error_id::script_invalid_arg},
      {percent_cell(0.5), error_id::script_bad_to_arg},
      {testing::char_cell('a'), error_id::script_bad_to_arg},
  };
  for (const bad& b : bads) EXPECT_EQ(fired_by([&] { made(TYPE_PAIR, b.spec); }), b.expected) << molded(b.spec);
}

TEST_F(Pair, ConstructionFromTextTakesTheScannedPair) {
  scanned() = pair_of(3, 4);
  EXPECT_EQ(molded(made(TYPE_PAIR, string_of("3x4"))), "3x4");
  EXPECT_EQ(scanned_text(), "3x4");
  scanned() = point_of(1, 2);
  cell text = string_of("(1, 2)");
  EXPECT_EQ(fired_by([&] { made(TYPE_PAIR, text); }), error_id::script_bad_to_arg);
  EXPECT_EQ(last_fired.args[1].payload2, text.payload2);
  // Only string! is read as text.
  cell file = string_of("3x4");
  set_type(file, TYPE_FILE);
  EXPECT_EQ(fired_by([&] { made(TYPE_PAIR, file); }), error_id::script_bad_to_arg);
}

TEST_F(Pair, IntegerArithmeticFallsBackToPoints) {
  struct row {
    int32_t op;
    cell value1, value2;
    uint8_t type;
    const char* expected;
  };
  const row rows[] = {
      {math_op::add, pair_of(1, 2), pair_of(3, 4), TYPE_PAIR, "4x6"},
      {math_op::multiply, pair_of(10, 10), integer_cell(2), TYPE_PAIR, "20x20"},
      {math_op::divide, pair_of(8, 6), integer_cell(2), TYPE_PAIR, "4x3"},
      {math_op::divide, pair_of(7, 9), integer_cell(2), TYPE_POINT2D, "(3.5, 4.5)"},
      {math_op::divide, pair_of(8, 9), integer_cell(2), TYPE_POINT2D, "(4, 4.5)"},
      {math_op::divide, pair_of(7, 9), float_cell(2.0), TYPE_POINT2D, "(3.5, 4.5)"},
      {math_op::multiply, pair_of(1, 2), float_cell(1.5), TYPE_POINT2D, "(1.5, 3)"},
      {math_op::multiply, pair_of(3, 4), percent_cell(0.5), TYPE_POINT2D, "(1.5, 2)"},
      {math_op::divide, pair_of(1, -1), float_cell(0.0), TYPE_POINT2D, "(1.#INF, -1.#INF)"},
      {math_op::add, pair_of(2147483647, 1), integer_cell(1), TYPE_POINT2D, "(2.147484e9, 2)"},
      {math_op::subtract, pair_of(1, -2147483647 - 1), pair_of(0, 1), TYPE_POINT2D, "(1, -2.147484e9)"},
      {math_op::multiply, pair_of(65536, 1), pair_of(65536, 1), TYPE_POINT2D, "(4.294967e9, 1)"},
      {math_op::add, pair_of(1, 2), float_cell(2.7), TYPE_PAIR, "3x4"},
      {math_op::add, pair_of(1, 2), point_of(0.5f, 0.25f), TYPE_POINT2D, "(1.5, 2.25)"},
      {math_op::remainder, pair_of(7, 9), integer_cell(2), TYPE_PAIR, "1x1"},
      {math_op::and_, pair_of(3, 4), pair_of(5, 6), TYPE_PAIR, "1x4"},
      {math_op::or_, pair_of(3, 4), pair_of(5, 6), TYPE_PAIR, "7x6"},
      {math_op::xor_, pair_of(3, 4), integer_cell(1), TYPE_PAIR, "2x5"},
      // A number on the left: the operands change places.
      {math_op::multiply, float_cell(2.5), pair_of(3, 4), TYPE_POINT2D, "(7.5, 10)"},
      {math_op::add, float_cell(1.0), pair_of(3, 4), TYPE_PAIR, "4x5"},
      {math_op::multiply, integer_cell(2), pair_of(3, 4), TYPE_PAIR, "6x8"},
  };
  for (const row& r : rows) {
    cell result = math(r.op, r.value1, r.value2);
    EXPECT_EQ(result.type(), r.type) << r.expected;
    EXPECT_EQ(molded(result), r.expected);
  }
}

TEST_F(Pair, ArithmeticErrors) {
  struct row {
    int32_t op;
    cell value1, value2;
    error_id expected;
  };
  const row rows[] = {
      {math_op::divide, pair_of(1, 1), integer_cell(0), error_id::math_zero_divide},
      {math_op::remainder, pair_of(1, 1), pair_of(1, 0), error_id::math_zero_divide},
      {math_op::divide, pair_of(-2147483647 - 1, 1), integer_cell(-1), error_id::math_overflow},
      {math_op::multiply, pair_of(1, 1), float_cell(inf), error_id::script_invalid_arg},
      {math_op::divide, pair_of(1, 1), float_cell(nan), error_id::script_invalid_arg},
      {math_op::add, pair_of(1, 1), float_cell(-inf), error_id::script_invalid_arg},
      {math_op::add, pair_of(1, 1), string_of("1"), error_id::script_invalid_type},
      {math_op::add, pair_of(1, 1), testing::time_cell(1.0), error_id::script_invalid_type},
      {math_op::subtract, float_cell(3.0), pair_of(1, 2), error_id::script_not_related},
      {math_op::divide, float_cell(3.0), pair_of(1, 2), error_id::script_not_related},
  };
  for (const row& r : rows) EXPECT_EQ(fired_by([&] { math(r.op, r.value1, r.value2); }), r.expected);
  fired_by([&] { math(math_op::subtract, float_cell(3.0), pair_of(1, 2)); });
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "subtract");
  EXPECT_EQ(last_fired.args[1].payload1, TYPE_PAIR);
}

TEST_F(Pair, OrderIsByXThenY) {
  EXPECT_TRUE(compared(actions::op::equal, pair_of(1, 2), pair_of(1, 2)));
  EXPECT_FALSE(compared(actions::op::equal, pair_of(1, 2), pair_of(1, 3)));
  EXPECT_TRUE(compared(actions::op::lesser, pair_of(1, 5), pair_of(2, 0)));
  EXPECT_TRUE(compared(actions::op::lesser, pair_of(1, 1), pair_of(1, 2)));
  EXPECT_TRUE(compared(actions::op::greater, pair_of(2147483647, 0), pair_of(-1, 0)));
  EXPECT_TRUE(compared(actions::op::equal, pair_of(1, 2), point_of(1, 2)));
  EXPECT_TRUE(compared(actions::op::lesser, pair_of(1, 2), point_of(1.5f, 0)));
  EXPECT_FALSE(compared(actions::op::equal, pair_of(1, 1), integer_cell(1)));
}

TEST_F(Pair, UnaryActions) {
  EXPECT_EQ(molded(call_entry(actions::entry::negate, {pair_of(-2147483647 - 1, 3)})), "-2147483648x-3");
  EXPECT_EQ(molded(call_entry(actions::entry::absolute, {pair_of(-3, 4)})), "3x4");
  EXPECT_EQ(fired_by([] { call_entry(actions::entry::absolute, {pair_of(-2147483647 - 1, 0)}); }),
            error_id::math_overflow);
  EXPECT_EQ(molded(call_entry(actions::entry::reverse, {pair_of(1, 2)}, {-1, -1})), "2x1");
}

TEST_F(Pair, PickAndPaths) {
  cell p = pair_of(3, 4);
  EXPECT_EQ(scalar::integer_value(picked(p, integer_cell(2))), 4);
  EXPECT_EQ(scalar::integer_value(picked(p, word_of("x"))), 3);
  EXPECT_EQ(scalar::integer_value(picked(p, word_of("Y"))), 4);
  EXPECT_EQ(fired_by([&] { picked(p, word_of("z")); }), error_id::script_cannot_use);
  EXPECT_EQ(fired_by([&] { picked(p, integer_cell(3)); }), error_id::script_out_of_range);

  EXPECT_EQ(scalar::integer_value(path_read(p, word_of("y"))), 4);
  EXPECT_EQ(scalar::integer_value(path_read(p, integer_cell(1))), 3);
  EXPECT_EQ(molded(path_set(p, word_of("y"), integer_cell(-7))), "3x-7");
  EXPECT_EQ(molded(path_set(p, integer_cell(1), integer_cell(9))), "9x4");
  EXPECT_EQ(fired_by([&] { path_set(p, word_of("x"), float_cell(1.0)); }), error_id::script_invalid_type);
  EXPECT_EQ(fired_by([&] { path_read(p, word_of("z")); }), error_id::script_invalid_path);
  EXPECT_EQ(fired_by([&] { path_read(p, integer_cell(3)); }), error_id::script_invalid_path);
  EXPECT_EQ(pair::get_named_index(word_of("x"), none::value), 1);
  EXPECT_EQ(fired_by([] { pair::get_named_index(word_of("w"), none::value); }), error_id::script_invalid_path);
}

TEST_F(Pair, RoundingComponentWise) {
  cell five = integer_cell(5), split = pair_of(5, 10), fractional = float_cell(2.5);
  EXPECT_EQ(molded(rounded(pair_of(17, -17), &five)), "15x-15");
  EXPECT_EQ(molded(rounded(pair_of(17, 17), &split)), "15x20");
  EXPECT_EQ(molded(rounded(pair_of(7, 8), &fractional)), "7x7");
  EXPECT_EQ(molded(rounded(pair_of(13, -13), &five, {.floor = true})), "10x-15");
  EXPECT_EQ(molded(rounded(pair_of(3, 4))), "3x4");
}

TEST_F(Pair, Random) {
  for (int round = 0; round < 50; ++round) {
    cell drawn = call_entry(actions::entry::random, {pair_of(10, 0)}, {-1, -1, -1});
    EXPECT_GE(pair::x_of(drawn), 1);
    EXPECT_LE(pair::x_of(drawn), 10);
    EXPECT_EQ(pair::y_of(drawn), 0);
  }
  EXPECT_EQ(call_entry(actions::entry::random, {pair_of(1, 2)}, {0, -1, -1}).type(), TYPE_UNSET);
}

}  // namespace
}  // namespace tav
