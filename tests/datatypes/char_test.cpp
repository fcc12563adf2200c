// char!: conversions from numbers, text and UTF-8 bytes, arithmetic kept within the code
// point range, comparison and the source form with its caret escapes.
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
using Chars = testing::number_values;

constexpr int32_t add = 0, subtract = 1, multiply = 2, divide = 3, remainder = 4, or_ = 5, and_ = 6, xor_ = 7;

TEST_F(Chars, ArithmeticStaysAChar) {
  struct row {
    int32_t op;
    uint32_t cp;
    cell other;
    uint32_t expected;
  };
  for (const row& r : {
           row{add, 'a', int_cell(1), 'b'},
           row{subtract, 'b', char_cell('a'), 1},
           row{multiply, '!', int_cell(2), 'B'},
           row{divide, 'a', int_cell(2), '0'},
           row{remainder, 'a', int_cell(10), 7},
           row{add, 'a', float_cell(1.9), 'b'},
           row{or_, 'A', int_cell(0x20), 'a'},
           row{and_, 'a', int_cell(0xDF), 'A'},
           row{xor_, 'a', int_cell(0x20), 'A'},
           row{add, 0x10FFFE, int_cell(1), 0x10FFFF},
       }) {
    cell result = math(r.op, char_cell(r.cp), r.other);
    EXPECT_EQ(result.type(), TYPE_CHAR) << r.op << " " << r.cp;
    EXPECT_EQ(char_::get(result), r.expected) << r.op << " " << r.cp;
  }
}

TEST_F(Chars, ArithmeticErrors) {
  struct row {
    int32_t op;
    uint32_t cp;
    cell other;
    error_id expected;
  };
  for (const row& r : {
           row{subtract, 'a', int_cell(98), error_id::math_overflow},
           row{add, 0x10FFFF, int_cell(1), error_id::math_overflow},
           row{multiply, 0x10FFFF, int_cell(0x10FFFF), error_id::math_overflow},
           row{add, 'a', float_cell(1e12), error_id::math_overflow},
           row{divide, 'a', int_cell(0), error_id::math_zero_divide},
           row{add, 'a', testing::text_cell("b"), error_id::script_invalid_type},
           row{add, 'a', testing::percent_cell(0.5), error_id::script_invalid_type},
       }) {
    EXPECT_EQ(fired_by([&] { math(r.op, char_cell(r.cp), r.other); }), r.expected) << r.op << " " << r.cp;
  }
}

TEST_F(Chars, ActionsTakenFromIntegerAndTheUnsupportedOnes) {
  cell c = char_cell('c');
  EXPECT_TRUE(actions::odd_p(&c));
  cell absolute = testing::call_entry(actions::entry::absolute, {char_cell('x')});
  EXPECT_EQ(absolute.type(), TYPE_CHAR);
  EXPECT_EQ(char_::get(absolute), uint32_t{'x'});
  for (int i = 0; i < 50; ++i) {
    cell drawn = testing::call_entry(actions::entry::random, {char_cell('z')}, {-1, -1, -1});
    EXPECT_EQ(drawn.type(), TYPE_CHAR);
    EXPECT_TRUE(char_::get(drawn) >= 1 && char_::get(drawn) <= 'z');
  }
  EXPECT_EQ(fired_by([] { testing::call_entry(actions::entry::negate, {char_cell('a')}); }),
            error_id::script_expect_arg);
  EXPECT_EQ(fired_by([] { testing::rounded(char_cell('a')); }), error_id::script_expect_arg);
}

TEST_F(Chars, MakeAndTo) {
  struct row {
    cell spec;
    uint32_t expected;
  };
  cell wide = testing::text_cell({'x', 0x1F600});
  wide.payload1 = 1;
  cell email = testing::text_cell("me@here");
  set_type(email, TYPE_EMAIL);
  for (const row& r : {
           row{int_cell(1114111), 0x10FFFF},
           row{int_cell(0), 0},
           row{char_cell('q'), 'q'},
           row{float_cell(65.9), 'A'},
           row{testing::percent_cell(66.2), 'B'},
           row{testing::text_cell("abc"), 'a'},
           row{wide, 0x1F600},
           row{email, 'm'},
           row{testing::binary_cell({'A', 'B'}), 'A'},
           row{testing::binary_cell({0xC3, 0xA9}), 0xE9},
           row{testing::binary_cell({0xE2, 0x82, 0xAC, 0x00}), 0x20AC},
           row{testing::binary_cell({0xF0, 0x9F, 0x98, 0x80}), 0x1F600},
           row{testing::binary_cell({0x00, 0xC3, 0xA9}, 1), 0xE9},
       }) {
    for (auto convert : {converted, testing::made}) {
      cell result = convert(TYPE_CHAR, r.spec);
      EXPECT_EQ(result.type(), TYPE_CHAR) << int(r.spec.type());
      EXPECT_EQ(char_::get(result), r.expected) << int(r.spec.type());
    }
  }
}

TEST_F(Chars, MakeAndToErrors) {
  cell at_tail = testing::text_cell("ab");
  at_tail.payload1 = 2;
  struct row {
    cell spec;
    error_id expected;
  };
  for (const row& r : {
           row{int_cell(1114112), error_id::script_out_of_range},
           row{int_cell(-1), error_id::script_out_of_range},
           row{float_cell(-0.5e10), error_id::script_out_of_range},
           row{float_cell(std::numeric_limits<double>::quiet_NaN()), error_id::script_out_of_range},
           row{testing::text_cell(""), error_id::script_bad_to_arg},
           row{at_tail, error_id::script_bad_to_arg},
           row{testing::binary_cell({}), error_id::script_bad_to_arg},
           row{testing::binary_cell({0xE2, 0x82}), error_id::script_bad_to_arg},
           row{testing::binary_cell({0xF7, 0xBF, 0xBF, 0xBF}), error_id::script_bad_to_arg},
           row{none::value, error_id::script_bad_to_arg},
       }) {
    EXPECT_EQ(fired_by([&] { converted(TYPE_CHAR, r.spec); }), r.expected) << int(r.spec.type());
  }
  // out-of-range names the value as given.
  fired_by([] { converted(TYPE_CHAR, int_cell(1114112)); });
  EXPECT_EQ(integer::get(last_fired.args[0]), 1114112);
}

TEST_F(Chars, Compare) {
  using namespace actions::op;
  struct row {
    cell a, b;
    int32_t op;
    bool expected;
  };
  for (const row& r : {
           row{char_cell('a'), int_cell(97), equal, true},
           row{char_cell('a'), int_cell(97), strict_equal, false},
           row{char_cell('a'), char_cell('a'), strict_equal, true},
           row{char_cell('a'), char_cell('b'), lesser, true},
           row{char_cell(0x10FFFF), int_cell(-1), greater, true},
           row{char_cell('a'), char_cell('A'), equal, false},
           row{char_cell('a'), testing::text_cell("a"), equal, false},
           row{char_cell('a'), float_cell(97.0), equal, false},
       }) {
    cell a = r.a, b = r.b;
    EXPECT_EQ(actions::compare(&a, &b, r.op), r.expected) << char_::get(r.a) << " op " << r.op;
  }
  cell a = char_cell('a'), one = float_cell(1.0);
  EXPECT_EQ(fired_by([&] { actions::compare(&a, &one, lesser); }), error_id::script_invalid_compare);
}

TEST_F(Chars, FormAndMold) {
  struct row {
    uint32_t cp;
    const char* formed;
    const char* molded;
    const char* molded_all;
  };
  for (const row& r : {
           row{'a', "a", "#\"a\"", "#\"a\""},
           row{0, "\0", "#\"^@\"", "#\"^@\""},
           row{9, "\t", "#\"^-\"", "#\"^-\""},
           row{10, "\n", "#\"^/\"", "#\"^/\""},
           row{27, "\x1B", "#\"^[\"", "#\"^[\""},
           row{30, "\x1E", "#\"^(1E)\"", "#\"^(1E)\""},
           row{31, "\x1F", "#\"^_\"", "#\"^_\""},
           row{'"', "\"", "#\"^\"\"", "#\"^\"\""},
           row{'^', "^", "#\"^^\"", "#\"^^\""},
           row{127, "\x7F", "#\"^~\"", "#\"^~\""},
           row{128, "\xC2\x80", "#\"^(80)\"", "#\"^(80)\""},
           row{0xE9, "\xC3\xA9", "#\"\xC3\xA9\"", "#\"^(E9)\""},
           row{0x1F600, "\xF0\x9F\x98\x80", "#\"\xF0\x9F\x98\x80\"", "#\"^(1F600)\""},
       }) {
    std::string expected_form(r.formed, r.cp == 0 ? 1 : std::char_traits<char>::length(r.formed));
    EXPECT_EQ(testing::formed(char_cell(r.cp)), expected_form) << r.cp;
    EXPECT_EQ(testing::molded(char_cell(r.cp)), r.molded) << r.cp;
    EXPECT_EQ(testing::molded(char_cell(r.cp), true), r.molded_all) << r.cp;
  }
  cell buffer;
  text::make_at(buffer, 8);
  cell tab = char_cell(9);
  EXPECT_EQ(char_::form(&tab, &buffer, nullptr, 10), 9);
  EXPECT_EQ(char_::mold(&tab, &buffer, false, false, false, nullptr, 10, 0), 6);
}

}  // namespace
}  // namespace tav
