// integer!: arithmetic with its overflow and division rules, power, rounding to integer
// scales, conversions, comparison, text and the hand-overs to other types.
#include <climits>
#include <string>

#include "number_helpers.hpp"

namespace tav {
namespace {

using testing::char_cell;
using testing::converted;
using testing::fired_by;
using testing::float_cell;
using testing::int_cell;
using testing::math;
using Integers = testing::number_values;

constexpr int32_t add = 0, subtract = 1, multiply = 2, divide = 3, remainder = 4, or_ = 5, and_ = 6, xor_ = 7;

cell issue_cell(const char* name) {
  cell issue;
  issue::make_at(issue, name);
  return issue;
}

// The value as the language would print it, with its type: 5, 2.5 (float).
std::string shown(const cell& value) {
  std::string text = testing::molded(value);
  if (value.type() == TYPE_FLOAT) text += " (float)";
  return text;
}

TEST_F(Integers, ArithmeticOverflowsIntoFloatAndDividesExactlyOrNot) {
  struct row {
    int32_t op, a, b;
    const char* expected;
  };
  for (const row& r : {
           row{add, 2147483647, 1, "2147483648.0 (float)"},
           row{subtract, INT32_MIN, 1, "-2147483649.0 (float)"},
           row{multiply, 65536, 65536, "4294967296.0 (float)"},
           row{multiply, INT32_MIN, -1, "2147483648.0 (float)"},
           row{add, 2, 3, "5"},
           row{subtract, INT32_MIN, -1, "-2147483647"},
           row{divide, 7, 2, "3.5 (float)"},
           row{divide, 6, 2, "3"},
           row{divide, -7, 7, "-1"},
           row{divide, 1, 3, "0.3333333333333333 (float)"},
           row{remainder, -7, 2, "-1"},
           row{remainder, 7, -2, "1"},
           row{remainder, INT32_MIN, 3, "-2"},
           row{or_, 12, 3, "15"},
           row{and_, 12, 10, "8"},
           row{xor_, 12, 10, "6"},
           row{xor_, -1, INT32_MAX, "-2147483648"},
       }) {
    EXPECT_EQ(shown(math(r.op, int_cell(r.a), int_cell(r.b))), r.expected) << r.op << " " << r.a << " " << r.b;
  }
  // A char! on the right counts as its code point.
  EXPECT_EQ(shown(math(add, int_cell(1), char_cell('a'))), "98");
}

TEST_F(Integers, DivisionErrors) {
  struct row {
    int32_t op, a, b;
    error_id expected;
  };
  for (const row& r : {row{divide, INT32_MIN, -1, error_id::math_overflow},
                       row{remainder, INT32_MIN, -1, error_id::math_overflow},
                       row{remainder, 7, 0, error_id::math_zero_divide},
                       row{divide, 7, 0, error_id::math_zero_divide},
                       row{divide, 0, 0, error_id::math_zero_divide}}) {
    EXPECT_EQ(fired_by([&] { math(r.op, int_cell(r.a), int_cell(r.b)); }), r.expected) << r.op << " " << r.a;
  }
}

TEST_F(Integers, TheCoreWithoutAResultCellRaisesInsteadOfWidening) {
  cell status = int_cell(0);
  EXPECT_EQ(integer::do_math_op(divide, 7, 2, nullptr), 3);
  EXPECT_EQ(integer::do_math_op(divide, 7, 2, &status), 0);
  EXPECT_EQ(status.type(), TYPE_FLOAT);
  EXPECT_EQ(float_::get(status), 3.5);
  cell exact = int_cell(0);
  EXPECT_EQ(integer::do_math_op(subtract, 2, 5, &exact), -3);
  EXPECT_EQ(integer::get(exact), -3);
  EXPECT_EQ(fired_by([] { integer::do_math_op(add, INT32_MAX, 1, nullptr); }), error_id::math_overflow);
  EXPECT_EQ(fired_by([] { integer::do_math_op(multiply, 46341, 46341, nullptr); }), error_id::math_overflow);
}

TEST_F(Integers, OtherRightOperands) {
  EXPECT_EQ(shown(math(add, int_cell(1), float_cell(0.5))), "1.5 (float)");
  EXPECT_EQ(fired_by([] { math(add, int_cell(1), none::value); }), error_id::script_invalid_type);
  EXPECT_EQ(last_fired.args[0].payload1, TYPE_NONE);
}

// Stands in for the pair module: records the operands it was handed.
cell seen_left, seen_right;
int32_t seen_op;
cell* record_math(int32_t op) {
  seen_op = op;
  seen_left = *stack::argument(0);
  seen_right = *stack::argument(1);
  return stack::argument(0);
}

TEST_F(Integers, PairsTuplesAndDatesGetTheIntegerAsTheirRightOperand) {
  handoff::pair_do_math = record_math;
  handoff::tuple_do_math = record_math;
  handoff::date_do_math = record_math;
  cell pair{TYPE_PAIR, 0, 3, 4};
  cell result = math(multiply, int_cell(2), pair);
  EXPECT_EQ(seen_op, multiply);
  EXPECT_EQ(seen_left.type(), TYPE_PAIR);
  EXPECT_EQ(seen_right.type(), TYPE_INTEGER);
  EXPECT_EQ(integer::get(seen_right), 2);
  EXPECT_EQ(result.type(), TYPE_PAIR);
  EXPECT_EQ(fired_by([&] { math(divide, int_cell(2), pair); }), error_id::script_not_related);

  cell tuple{TYPE_TUPLE, 0, 0, 0};
  math(add, int_cell(2), tuple);
  EXPECT_EQ(seen_left.type(), TYPE_TUPLE);
  EXPECT_EQ(fired_by([&] { math(subtract, int_cell(2), tuple); }), error_id::script_not_related);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "subtract");

  cell date{TYPE_DATE, 0, 0, 0};
  math(add, int_cell(2), date);
  EXPECT_EQ(seen_left.type(), TYPE_DATE);
  EXPECT_EQ(fired_by([&] { math(multiply, int_cell(2), date); }), error_id::script_not_related);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "multiply");
}

TEST_F(Integers, Power) {
  auto power = [](const cell& base, const cell& exponent) {
    return testing::call_entry(actions::entry::power, {base, exponent});
  };
  struct row {
    int32_t base, exponent;
    const char* expected;
  };
  for (const row& r : {row{2, 30, "1073741824"}, row{2, 31, "2147483648.0 (float)"}, row{-2, 31, "-2147483648"},
                       row{2, -1, "0.5 (float)"}, row{3, 0, "1"}, row{0, 0, "1"}, row{-1, 2147483647, "-1"},
                       row{46341, 2, "2147488281.0 (float)"}, row{10, 10, "10000000000.0 (float)"}}) {
    EXPECT_EQ(shown(power(int_cell(r.base), int_cell(r.exponent))), r.expected) << r.base << " " << r.exponent;
  }
  EXPECT_EQ(shown(power(int_cell(4), float_cell(0.5))), "2.0 (float)");
  EXPECT_EQ(fired_by([&] { power(int_cell(2), testing::text_cell("2")); }), error_id::script_expect_arg);
  EXPECT_EQ(testing::spelling_of(last_fired.args[2]), "exponent");
}

TEST_F(Integers, UnaryActions) {
  EXPECT_EQ(integer::get(testing::call_entry(actions::entry::negate, {int_cell(5)})), -5);
  EXPECT_EQ(integer::get(testing::call_entry(actions::entry::absolute, {int_cell(-5)})), 5);
  EXPECT_EQ(integer::get(testing::call_entry(actions::entry::complement, {int_cell(0)})), -1);
  for (auto entry : {actions::entry::negate, actions::entry::absolute})
    EXPECT_EQ(fired_by([&] { testing::call_entry(entry, {int_cell(INT32_MIN)}); }), error_id::math_overflow);
  cell three = int_cell(3), minus_four = int_cell(-4);
  EXPECT_TRUE(actions::odd_p(&three));
  EXPECT_TRUE(actions::even_p(&minus_four));
}

TEST_F(Integers, RoundToIntegerScales) {
  using modes = testing::round_modes;
  struct row {
    int32_t value, scale;
    modes m;
    int32_t expected;
  };
  for (const row& r : {
           row{15, 10, {}, 20},
           row{-15, 10, {}, -20},
           row{14, 10, {}, 10},
           row{16, -10, {}, 20},
           row{25, 10, {.even = true}, 20},
           row{35, 10, {.even = true}, 40},
           row{-15, 10, {.floor = true}, -20},
           row{15, 10, {.floor = true}, 10},
           row{-15, 10, {.ceiling = true}, -10},
           row{11, 10, {.ceiling = true}, 20},
           row{-15, 10, {.down = true}, -10},
           row{19, 10, {.down = true}, 10},
           row{15, 10, {.half_down = true}, 10},
           row{-15, 10, {.half_ceiling = true}, -10},
           row{15, 10, {.half_ceiling = true}, 20},
           row{7, 0, {}, 7},
           row{INT32_MIN, 10, {}, INT32_MIN},
       }) {
    cell scale = int_cell(r.scale);
    cell result = testing::rounded(int_cell(r.value), &scale, r.m);
    EXPECT_EQ(result.type(), TYPE_INTEGER) << r.value << " " << r.scale;
    EXPECT_EQ(integer::get(result), r.expected) << r.value << " " << r.scale;
  }
  EXPECT_EQ(integer::get(testing::rounded(int_cell(7))), 7);
  cell big = int_cell(10);
  EXPECT_EQ(fired_by([&] { testing::rounded(int_cell(2147483647), &big); }), error_id::math_overflow);
  cell most_negative = int_cell(INT32_MIN);
  EXPECT_EQ(fired_by([&] { testing::rounded(int_cell(5), &most_negative); }), error_id::math_overflow);
  // A float scale rounds as a float and takes the scale's type.
  cell five = float_cell(5.0);
  EXPECT_EQ(shown(testing::rounded(int_cell(17), &five)), "15.0 (float)");
  cell money{TYPE_MONEY, 0, 0, 0};
  EXPECT_EQ(fired_by([&] { testing::rounded(int_cell(5), &money); }), error_id::script_not_related);
}

// Stands in for the lexer's integer reader: optional '-', then ASCII digits, any unit width.
int32_t seen_count, seen_unit;
int32_t read_digits(const void* start, int32_t count, int32_t unit, int32_t* error) {
  seen_count = count;
  seen_unit = unit;
  int64_t value = 0;
  bool negative = false;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t c = unicode::get_unit(start, static_cast<size_t>(i), static_cast<uint32_t>(unit));
    if (i == 0 && c == '-') {
      negative = true;
    } else if (c >= '0' && c <= '9') {
      value = value * 10 + (c - '0');
    } else {
      *error = -1;
      return 0;
    }
  }
  return static_cast<int32_t>(negative ? -value : value);
}

TEST_F(Integers, ToInteger) {
  struct row {
    cell spec;
    int32_t expected;
  };
  for (const row& r : {
           row{float_cell(2.9), 2},
           row{float_cell(-2.9), -2},
           row{float_cell(2147483647.0), INT32_MAX},
           row{float_cell(-2147483648.0), INT32_MIN},
           row{testing::percent_cell(12.5), 12},
           row{char_cell(0x20AC), 0x20AC},
           row{issue_cell("FF"), 255},
           row{issue_cell("ffffffff"), -1},
           row{testing::binary_cell({0x01, 0x02}), 258},
           row{testing::binary_cell({0x80, 0, 0, 0, 0xFF}), INT32_MIN},
           row{testing::binary_cell({0x01, 0x02, 0x03}, 1), 0x0203},
           row{testing::binary_cell({}), 0},
           row{testing::time_cell(89.5), 90},
           row{testing::time_cell(-1.7), -1},
       }) {
    cell result = converted(TYPE_INTEGER, r.spec);
    EXPECT_EQ(result.type(), TYPE_INTEGER) << testing::molded(r.spec);
    EXPECT_EQ(integer::get(result), r.expected) << int(r.spec.type());
  }
  EXPECT_EQ(integer::get(testing::made(TYPE_INTEGER, logic::value_of(true))), 1);
  EXPECT_EQ(integer::get(testing::made(TYPE_INTEGER, logic::value_of(false))), 0);
}

TEST_F(Integers, ToIntegerErrors) {
  struct row {
    cell spec;
    error_id expected;
  };
  for (const row& r : {
           row{float_cell(3e9), error_id::script_type_limit},
           row{float_cell(2147483647.5), error_id::script_type_limit},
           row{float_cell(-2147483649.0), error_id::script_type_limit},
           row{float_cell(std::numeric_limits<double>::quiet_NaN()), error_id::script_type_limit},
           row{issue_cell("123456789"), error_id::script_invalid_data},
           row{issue_cell("12G"), error_id::script_invalid_data},
           // A letter outside ASCII is never a hexadecimal digit, whatever its low bits.
           row{issue_cell("\xC3\x81"), error_id::script_invalid_data},
           row{issue_cell("1\xC3\x81"), error_id::script_invalid_data},
           row{none::value, error_id::script_bad_to_arg},
           row{testing::block_of({int_cell(1)}), error_id::script_bad_to_arg},
       }) {
    EXPECT_EQ(fired_by([&] { converted(TYPE_INTEGER, r.spec); }), r.expected) << int(r.spec.type());
  }
  EXPECT_EQ(last_fired.args[0].payload1, TYPE_INTEGER);
}

TEST_F(Integers, TextGoesThroughTheLexersReader) {
  handoff::string_to_integer = nullptr;  // as before the lexer installs its reader
  EXPECT_EQ(fired_by([] { converted(TYPE_INTEGER, testing::text_cell("12")); }), error_id::internal_not_done);
  handoff::string_to_integer = read_digits;
  EXPECT_EQ(integer::get(converted(TYPE_INTEGER, testing::text_cell("-123"))), -123);
  EXPECT_EQ(seen_unit, 1);
  cell wide = testing::text_cell({'x', '4', '2', 0x20AC});
  wide.payload1 = 1;
  EXPECT_EQ(fired_by([&] { converted(TYPE_INTEGER, wide); }), error_id::script_bad_to_arg);
  EXPECT_EQ(seen_count, 3);
  EXPECT_EQ(seen_unit, 2);
  EXPECT_EQ(last_fired.args[1].payload1, 1u);
  cell file = testing::text_cell("77");
  set_type(file, TYPE_FILE);
  EXPECT_EQ(integer::get(converted(TYPE_INTEGER, file)), 77);
}

TEST_F(Integers, Text) {
  for (int32_t value : {0, 7, -7, 1234567890, INT32_MAX, INT32_MIN}) {
    EXPECT_EQ(testing::formed(int_cell(value)), std::to_string(value));
    EXPECT_EQ(testing::molded(int_cell(value)), std::to_string(value));
  }
  cell buffer;
  text::make_at(buffer, 8);
  cell value = int_cell(-2147483647 - 1);
  EXPECT_EQ(integer::form(&value, &buffer, nullptr, 100), 89);
}

TEST_F(Integers, Compare) {
  using namespace actions::op;
  struct row {
    cell a, b;
    int32_t op;
    bool expected;
  };
  for (const row& r : {
           row{int_cell(1), int_cell(1), equal, true},
           row{int_cell(1), int_cell(2), lesser, true},
           row{int_cell(-1), int_cell(1), greater, false},
           row{int_cell(97), char_cell('a'), equal, true},
           row{int_cell(97), char_cell('a'), strict_equal, false},
           row{int_cell(1), float_cell(1.0), equal, true},
           row{int_cell(1), float_cell(1.0), strict_equal, false},
           row{int_cell(1), float_cell(1.5), lesser, true},
           row{int_cell(2), float_cell(1.5), greater_or_equal, true},
           row{int_cell(1), testing::percent_cell(1.0), equal, true},
           row{int_cell(1), none::value, equal, false},
           row{int_cell(1), none::value, not_equal, true},
       }) {
    cell a = r.a, b = r.b;
    EXPECT_EQ(actions::compare(&a, &b, r.op), r.expected) << testing::molded(r.a) << " op " << r.op;
    EXPECT_EQ(a.type(), TYPE_INTEGER);  // comparing with a float never changes the integer
  }
  cell one = int_cell(1), nothing = none::value;
  EXPECT_EQ(fired_by([&] { actions::compare(&one, &nothing, lesser); }), error_id::script_invalid_compare);
}

TEST_F(Integers, Random) {
  for (int i = 0; i < 200; ++i) {
    int32_t up = integer::get(testing::call_entry(actions::entry::random, {int_cell(6)}, {-1, -1, -1}));
    EXPECT_TRUE(up >= 1 && up <= 6) << up;
    int32_t down = integer::get(testing::call_entry(actions::entry::random, {int_cell(-6)}, {-1, -1, -1}));
    EXPECT_TRUE(down >= -6 && down <= -1) << down;
  }
  EXPECT_EQ(integer::get(testing::call_entry(actions::entry::random, {int_cell(0)}, {-1, -1, -1})), 0);
  // Seeding answers unset and makes the draws repeat.
  cell seeded = testing::call_entry(actions::entry::random, {int_cell(42)}, {0, -1, -1});
  EXPECT_EQ(seeded.type(), TYPE_UNSET);
  int32_t first = integer::get(testing::call_entry(actions::entry::random, {int_cell(1000000)}, {-1, -1, -1}));
  testing::call_entry(actions::entry::random, {int_cell(42)}, {0, -1, -1});
  EXPECT_EQ(integer::get(testing::call_entry(actions::entry::random, {int_cell(1000000)}, {-1, -1, -1})), first);
}

}  // namespace
}  // namespace tav
