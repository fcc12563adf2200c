// float! and percent!: the mixed arithmetic and its result types, the tolerant comparison,
// conversions from every source, power, random and the hand-overs to other types.
#include <cmath>
#include <limits>
#include <string>

#include "datatypes/money.hpp"
#include "number_helpers.hpp"
#include "runtime/float_text.hpp"

namespace tav {
namespace {

using testing::char_cell;
using testing::converted;
using testing::fired_by;
using testing::float_cell;
using testing::int_cell;
using testing::math;
using testing::percent_cell;
using testing::time_cell;
using Floats = testing::number_values;

constexpr int32_t add = 0, subtract = 1, multiply = 2, divide = 3, remainder = 4, and_ = 6;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// The hub on two values; time! values on the left reach it through time!'s own actions.
cell arithmetic(int32_t op, const cell& a, const cell& b) {
  if (a.type() != TYPE_TIME) return math(op, a, b);
  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(a);
  stack::push_copy(b);
  return *float_::do_math(op);
}

TEST_F(Floats, MixedArithmeticDecidesTheResultType) {
  struct row {
    int32_t op;
    cell a, b;
    uint8_t type;
    double expected;
  };
  for (const row& r : {
           row{add, float_cell(0.1), float_cell(0.2), TYPE_FLOAT, 0.30000000000000004},
           row{add, int_cell(1), float_cell(0.5), TYPE_FLOAT, 1.5},
           row{subtract, float_cell(1.5), int_cell(2), TYPE_FLOAT, -0.5},
           row{multiply, float_cell(2.0), char_cell('a'), TYPE_FLOAT, 194.0},
           row{multiply, percent_cell(0.5), int_cell(2), TYPE_PERCENT, 1.0},
           row{multiply, int_cell(2), percent_cell(0.5), TYPE_FLOAT, 1.0},
           row{multiply, percent_cell(0.5), percent_cell(0.5), TYPE_PERCENT, 0.25},
           row{add, float_cell(1.0), percent_cell(0.5), TYPE_FLOAT, 1.5},
           row{add, percent_cell(0.5), float_cell(1.0), TYPE_PERCENT, 1.5},
           row{add, int_cell(2), time_cell(60.0), TYPE_TIME, 62.0},
           row{add, time_cell(60.0), float_cell(0.5), TYPE_TIME, 60.5},
           row{add, time_cell(60.0), time_cell(1.0), TYPE_TIME, 61.0},
           row{multiply, percent_cell(0.5), time_cell(10.0), TYPE_TIME, 5.0},
           row{divide, float_cell(1.0), int_cell(0), TYPE_FLOAT, inf},
           row{divide, float_cell(-1.0), float_cell(0.0), TYPE_FLOAT, -inf},
           row{remainder, float_cell(5.0), float_cell(inf), TYPE_FLOAT, 5.0},
           row{remainder, float_cell(-7.5), float_cell(2.0), TYPE_FLOAT, -1.5},
           row{remainder, float_cell(7.5), int_cell(-2), TYPE_FLOAT, 1.5},
       }) {
    cell result = arithmetic(r.op, r.a, r.b);
    EXPECT_EQ(result.type(), r.type) << r.op << " " << testing::molded(r.a) << " " << testing::molded(r.b);
    EXPECT_EQ(float_::get(result), r.expected) << r.op << " " << testing::molded(r.a);
  }
  for (const auto& [a, b] : {std::pair{0.0, 0.0}, std::pair{inf, 2.0}, std::pair{5.0, nan}, std::pair{-inf, inf}}) {
    cell result = math(a == 0.0 ? divide : remainder, float_cell(a), float_cell(b));
    EXPECT_TRUE(std::isnan(float_::get(result))) << a << " " << b;
  }
}

TEST_F(Floats, RefusedOperands) {
  struct row {
    int32_t op;
    cell a, b;
    error_id expected;
  };
  for (const row& r : {
           row{add, float_cell(1.0), none::value, error_id::script_invalid_type},
           row{add, percent_cell(1.0), char_cell('a'), error_id::script_invalid_type},
           row{add, time_cell(1.0), char_cell('a'), error_id::script_invalid_type},
           row{and_, int_cell(1), float_cell(1.0), error_id::script_cannot_use},
           row{add, time_cell(1.0), cell{TYPE_PAIR, 0, 0, 0}, error_id::script_invalid_type},
       }) {
    EXPECT_EQ(fired_by([&] { arithmetic(r.op, r.a, r.b); }), r.expected) << r.op << " " << int(r.b.type());
  }
  fired_by([] { math(and_, int_cell(1), float_cell(1.0)); });
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "and~");
  EXPECT_EQ(last_fired.args[1].payload1, TYPE_FLOAT);
}

cell seen_left, seen_right;
cell* record_math(int32_t) {
  seen_left = *stack::argument(0);
  seen_right = *stack::argument(1);
  return stack::argument(0);
}

TEST_F(Floats, PairOnTheRightSwapsTheOperands) {
  handoff::pair_do_math = record_math;
  math(multiply, percent_cell(2.5), cell{TYPE_PAIR, 0, 3, 4});
  EXPECT_EQ(seen_left.type(), TYPE_PAIR);
  EXPECT_TRUE(testing::same_bits(seen_right, percent_cell(2.5)));
  EXPECT_EQ(fired_by([] { math(subtract, float_cell(3.0), cell{TYPE_PAIR, 0, 1, 2}); }),
            error_id::script_not_related);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "subtract");
  EXPECT_EQ(last_fired.args[1].payload1, TYPE_PAIR);
}

TEST_F(Floats, ToleratedEquality) {
  double one_ulp = std::nextafter(1.0, 2.0) - 1.0;
  struct row {
    double a, b;
    bool expected;
  };
  for (const row& r : {
           row{0.1 + 0.2, 0.3, true},
           row{1e-17, 0.0, true},
           row{-1e-17, 1e-17, true},
           row{1.0, 1.0 + 10 * one_ulp, true},
           row{1.0, 1.0 + 11 * one_ulp, false},
           row{-1.0, -1.0 - 10 * one_ulp, true},
           row{1e300, std::nextafter(1e300, inf), true},
           row{1e300, -1e300, false},
           row{inf, inf, true},
           row{inf, 1.7976931348623157e308, true},
           row{nan, nan, false},
           row{nan, 1.0, false},
           row{1.0, 1.5, false},
       }) {
    EXPECT_EQ(float_::almost_equal_p(r.a, r.b), r.expected) << r.a << " " << r.b;
    EXPECT_EQ(float_::almost_equal_p(r.b, r.a), r.expected) << r.b << " " << r.a;
  }
  float f = 1.0f, f_ulp = std::nextafter(1.0f, 2.0f) - 1.0f;
  EXPECT_TRUE(float_::almost_equal32_p(f, f + 10 * f_ulp));
  EXPECT_FALSE(float_::almost_equal32_p(f, f + 11 * f_ulp));
  EXPECT_TRUE(float_::almost_equal32_p(0.0f, -0.0f));
  EXPECT_TRUE(float_::almost_equal32_p(std::numeric_limits<float>::infinity(), std::numeric_limits<float>::max()));
  EXPECT_FALSE(float_::almost_equal32_p(std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::max()));
  EXPECT_FALSE(float_::almost_equal32_p(std::numeric_limits<float>::quiet_NaN(), 1.0f));
}

TEST_F(Floats, Compare) {
  using namespace actions::op;
  cell sum = math(add, float_cell(0.1), float_cell(0.2));
  struct row {
    cell a, b;
    int32_t op;
    bool expected;
  };
  cell other_nan = float_cell(-nan);
  for (const row& r : {
           row{sum, float_cell(0.3), equal, true},
           row{sum, float_cell(0.3), strict_equal, false},
           row{sum, float_cell(0.3), not_equal, false},
           row{sum, float_cell(0.3), greater, true},
           row{float_cell(1.0), int_cell(1), equal, true},
           row{float_cell(1.0), int_cell(1), strict_equal, false},
           row{float_cell(1.0), percent_cell(1.0), equal, true},
           row{float_cell(1.0), percent_cell(1.0), strict_equal, false},
           row{float_cell(60.0), time_cell(60.0), equal, true},
           row{float_cell(nan), float_cell(nan), equal, false},
           row{float_cell(nan), float_cell(nan), same, true},
           row{float_cell(nan), other_nan, same, false},
           row{float_cell(0.0), float_cell(-0.0), same, false},
           row{float_cell(0.0), float_cell(-0.0), strict_equal, true},
           row{float_cell(nan), float_cell(1.0), lesser, false},
           row{float_cell(nan), float_cell(1.0), lesser_or_equal, false},
           row{float_cell(nan), float_cell(1.0), greater, false},
           row{float_cell(1.0), float_cell(nan), greater_or_equal, false},
           row{float_cell(1.0), char_cell(1), equal, false},
       }) {
    cell a = r.a, b = r.b;
    EXPECT_EQ(actions::compare(&a, &b, r.op), r.expected) << testing::molded(r.a) << " op " << r.op;
  }
  cell one = float_cell(1.0), text = testing::text_cell("1");
  EXPECT_EQ(fired_by([&] { actions::compare(&one, &text, lesser); }), error_id::script_invalid_compare);
  // Floats beyond the money range order by the sign of the difference.
  cell zero{TYPE_MONEY, 0, 0, 0}, five = money::make_integer(5), minus_five = money::make_integer(-5);
  struct beyond {
    double x;
    cell* money;
    int32_t order;
  };
  for (const beyond& b : {beyond{1e-6, &zero, 1}, beyond{-1e-6, &zero, -1}, beyond{1e-6, &five, -1},
                          beyond{1e-6, &minus_five, 1}, beyond{-1e20, &five, -1}, beyond{1e17, &minus_five, 1}}) {
    cell x = float_cell(b.x);
    EXPECT_EQ(float_::compare(&x, b.money, lesser), b.order) << b.x;
    EXPECT_FALSE(actions::compare(&x, b.money, equal)) << b.x;
  }
}

// Stands in for the lexer's float reader over ASCII text: no percent sign.
double read_decimal(const void* start, int32_t count, int32_t unit, int32_t* error) {
  std::string bytes;
  for (int32_t i = 0; i < count; ++i)
    bytes += static_cast<char>(unicode::get_unit(start, static_cast<size_t>(i), static_cast<uint32_t>(unit)));
  size_t left = 0;
  double x = strtod(bytes.data(), bytes.data() + bytes.size(), 0, &left);
  if (left) *error = -1;
  return x;
}

// Stands in for the lexer: "50%" loads as a percent!, digits alone as an integer!, a text
// with a point as a float!, "12x" stops early.
void scan_number(const cell& text, cell& first) {
  std::string bytes = testing::text_of(text);
  if (bytes.empty()) return;
  size_t left = 0;
  bool percent = bytes.back() == '%';
  double x = strtod(bytes.data(), bytes.data() + bytes.size() - (percent ? 1 : 0), percent ? -2 : 0, &left);
  if (left)
    first = none::value;
  else if (percent)
    first = percent_cell(x);
  else if (bytes.find('.') == std::string::npos)
    first = int_cell(static_cast<int32_t>(x));
  else
    first = float_cell(x);
}

TEST_F(Floats, MakeAndTo) {
  struct row {
    uint8_t type;
    cell spec;
    double expected;
  };
  for (const row& r : {
           row{TYPE_FLOAT, int_cell(-7), -7.0},
           row{TYPE_FLOAT, char_cell('a'), 97.0},
           row{TYPE_FLOAT, time_cell(90.5), 90.5},
           row{TYPE_FLOAT, percent_cell(0.5), 0.5},
           row{TYPE_PERCENT, float_cell(0.5), 0.5},
           row{TYPE_PERCENT, int_cell(2), 2.0},
           row{TYPE_FLOAT, testing::binary_cell({0x3F, 0xF0, 0, 0, 0, 0, 0, 0}), 1.0},
           row{TYPE_FLOAT, testing::binary_cell({0x01}), 4.9406564584124654e-324},
           row{TYPE_FLOAT, testing::binary_cell({}), 0.0},
           row{TYPE_FLOAT, testing::binary_cell({0xFF, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0xFF}, 1), 1.0},
           row{TYPE_FLOAT, testing::block_of({int_cell(15), int_cell(2)}), 1500.0},
           row{TYPE_FLOAT, testing::block_of({float_cell(1.5), float_cell(-2.9)}), 0.015},
           row{TYPE_PERCENT, testing::block_of({int_cell(5), int_cell(-1)}), 0.5},
       }) {
    cell result = converted(r.type, r.spec);
    EXPECT_EQ(result.type(), r.type) << int(r.spec.type());
    EXPECT_EQ(float_::get(result), r.expected) << int(r.spec.type());
    EXPECT_TRUE(testing::same_bits(testing::made(r.type, r.spec), result)) << int(r.spec.type());
  }
}

TEST_F(Floats, MakeAndToErrors) {
  for (const cell& spec : {
           testing::block_of({int_cell(1), int_cell(2), int_cell(3)}),
           testing::block_of({int_cell(1), testing::text_cell("2")}),
           testing::block_of({}),
           none::value,
           logic::value_of(true),
       }) {
    EXPECT_EQ(fired_by([&] { converted(TYPE_FLOAT, spec); }), error_id::script_bad_to_arg) << int(spec.type());
  }
  EXPECT_EQ(last_fired.args[0].payload1, TYPE_FLOAT);
}

TEST_F(Floats, TextIsReadByTheLexer) {
  handoff::string_to_float = nullptr;  // as before the lexer installs its readers
  handoff::transcode_first = nullptr;
  EXPECT_EQ(fired_by([] { converted(TYPE_FLOAT, testing::text_cell("1.5")); }), error_id::internal_not_done);
  EXPECT_EQ(fired_by([] { converted(TYPE_PERCENT, testing::text_cell("1.5")); }), error_id::internal_not_done);
  handoff::string_to_float = read_decimal;
  handoff::transcode_first = scan_number;
  struct row {
    uint8_t type;
    const char* text;
    double expected;
  };
  for (const row& r : {row{TYPE_FLOAT, "1.5", 1.5}, row{TYPE_FLOAT, "-2e3", -2000.0},
                       row{TYPE_PERCENT, "50%", 0.5}, row{TYPE_PERCENT, "0.5", 0.5},
                       row{TYPE_PERCENT, "12", 12.0}}) {
    cell result = converted(r.type, testing::text_cell(r.text));
    EXPECT_EQ(result.type(), r.type) << r.text;
    EXPECT_EQ(float_::get(result), r.expected) << r.text;
  }
  for (const auto& [type, text] : {std::pair{TYPE_FLOAT, "50%"}, std::pair{TYPE_FLOAT, ""},
                                   std::pair{TYPE_PERCENT, "12x"}, std::pair{TYPE_PERCENT, ""}}) {
    EXPECT_EQ(fired_by([&] { converted(type, testing::text_cell(text)); }), error_id::script_bad_to_arg) << text;
  }
  // The text runs from the head, in the string's own unit width.
  cell wide = testing::text_cell({0x20AC, '2', '.', '5'});
  wide.payload1 = 1;
  EXPECT_EQ(float_::get(converted(TYPE_FLOAT, wide)), 2.5);
}

TEST_F(Floats, UnaryActionsPowerAndParity) {
  using testing::call_entry;
  using testing::same_bits;
  EXPECT_TRUE(same_bits(call_entry(actions::entry::negate, {float_cell(0.0)}), float_cell(0.0)));
  EXPECT_TRUE(same_bits(call_entry(actions::entry::negate, {float_cell(-0.0)}), float_cell(0.0)));
  EXPECT_TRUE(same_bits(call_entry(actions::entry::negate, {percent_cell(0.25)}), percent_cell(-0.25)));
  EXPECT_TRUE(same_bits(call_entry(actions::entry::absolute, {float_cell(-0.0)}), float_cell(0.0)));
  EXPECT_TRUE(same_bits(call_entry(actions::entry::absolute, {percent_cell(-2.5)}), percent_cell(2.5)));

  auto power = [](const cell& base, const cell& exponent) {
    return call_entry(actions::entry::power, {base, exponent});
  };
  EXPECT_TRUE(same_bits(power(percent_cell(0.5), int_cell(2)), percent_cell(0.25)));
  EXPECT_TRUE(same_bits(power(float_cell(2.0), float_cell(0.5)), float_cell(std::sqrt(2.0))));
  EXPECT_TRUE(same_bits(power(float_cell(2.0), int_cell(-1)), float_cell(0.5)));
  EXPECT_TRUE(same_bits(power(float_cell(0.0), int_cell(-1)), float_cell(inf)));
  EXPECT_EQ(fired_by([&] { power(float_cell(2.0), testing::text_cell("2")); }), error_id::script_expect_arg);
  EXPECT_EQ(fired_by([&] { power(float_cell(2.0), percent_cell(0.5)); }), error_id::script_expect_arg);

  struct row {
    double x;
    bool odd;
  };
  for (const row& r : {row{3.9, true}, row{-3.0, true}, row{4.5, false}, row{-0.5, false}, row{1e10, false},
                       row{nan, false}, row{-2147483647.0, true}}) {
    cell value = float_cell(r.x);
    EXPECT_EQ(actions::odd_p(&value), r.odd) << r.x;
    EXPECT_EQ(actions::even_p(&value), !r.odd) << r.x;
  }
}

TEST_F(Floats, Random) {
  using testing::call_entry;
  for (bool secure : {false, true}) {
    for (int i = 0; i < 100; ++i) {
      cell drawn = call_entry(actions::entry::random, {percent_cell(0.5)}, {-1, secure ? 0 : -1, -1});
      EXPECT_EQ(drawn.type(), TYPE_PERCENT);
      EXPECT_TRUE(float_::get(drawn) >= 0.0 && float_::get(drawn) <= 0.5) << float_::get(drawn);
    }
  }
  EXPECT_EQ(call_entry(actions::entry::random, {float_cell(1.5)}, {0, -1, -1}).type(), TYPE_UNSET);
  double first = float_::get(call_entry(actions::entry::random, {float_cell(10.0)}, {-1, -1, -1}));
  call_entry(actions::entry::random, {float_cell(1.5)}, {0, -1, -1});
  EXPECT_EQ(float_::get(call_entry(actions::entry::random, {float_cell(10.0)}, {-1, -1, -1})), first);
}

TEST_F(Floats, TruncationWithoutARangeCheck) {
  struct row {
    double x;
    int32_t expected;
  };
  for (const row& r : {row{2.9, 2}, row{-2.9, -2}, row{2147483647.9, INT32_MAX}, row{-2147483648.9, INT32_MIN},
                       row{2147483648.0, INT32_MIN}, row{-2147483649.0, INT32_MIN}, row{inf, INT32_MIN},
                       row{nan, INT32_MIN}}) {
    EXPECT_EQ(float_::truncate_to_int32(r.x), r.expected) << r.x;
  }
}

}  // namespace
}  // namespace tav
