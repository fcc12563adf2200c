// Tokenizer helpers: the number rules on text of every unit size, and the conversions that
// read numbers and words from text through them.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/number_helpers.hpp"
#include "datatypes/tuple.hpp"
#include "interpreter/tokenizer.hpp"
#include "runtime/fire_helpers.hpp"

namespace tav {
namespace {

using TextConversions = testing::number_values;

// The text in units of `unit` bytes.
std::vector<uint8_t> units_of(std::u32string_view text, uint32_t unit) {
  std::vector<uint8_t> out(text.size() * unit + 4);
  for (size_t i = 0; i < text.size(); ++i) unicode::set_unit(out.data(), i, unit, text[i]);
  return out;
}

TEST(NumberSyntax, AcceptsTheDecimalGrammar) {
  for (std::string_view text : {"1", "+1", "-1.5", ".5", "-.5", "1.", "1e5", "1E+5", "1.5e-3", "1'000.5", "1,5",
                                "1'000'000", "0.000", "1.5'5"})
    EXPECT_TRUE(tokenizer::number_syntax_p(reinterpret_cast<const uint8_t*>(text.data()), text.size())) << text;
  for (std::string_view text : {"", "+", ".", "+.", "1e", "1e+", "e5", "1.2.3", "1..2", "'1", "1x", "--1",
                                "1.5e3.2", "1,5,6", "1e5'", "1 ", "1.#INF", "+'1"})
    EXPECT_FALSE(tokenizer::number_syntax_p(reinterpret_cast<const uint8_t*>(text.data()), text.size())) << text;
  std::string digits(312, '1');
  EXPECT_TRUE(tokenizer::number_syntax_p(reinterpret_cast<const uint8_t*>(digits.data()), 312));
  digits += '1';
  EXPECT_FALSE(tokenizer::number_syntax_p(reinterpret_cast<const uint8_t*>(digits.data()), 313));
}

struct integer_case {
  std::u32string_view text;
  int32_t value;
  int32_t error;
};

TEST(StringToInteger, ReadsEveryUnitSize) {
  const integer_case cases[] = {
      {U"1'000", 1000, 0},         {U"12a", 0, -1},          {U"99999999999", 0, -2},
      {U"-2147483648", INT32_MIN, 0}, {U"2147483647", INT32_MAX, 0}, {U"2147483648", 0, -2},
      {U"+2147483648", 0, -2},     {U"-2147483649", 0, -2},  {U"-0", 0, 0},
      {U"+12", 12, 0},             {U"", 0, -1},             {U"+", 0, -1},
      {U"1 2", 0, -1},             {U"'''7'", 7, 0},         {U"\u00E9", 0, -1},
      {U"1\U0001F600", 0, -1},
  };
  for (uint32_t unit : {1u, 2u, 4u}) {
    for (const integer_case& c : cases) {
      bool fits = std::all_of(c.text.begin(), c.text.end(), [&](char32_t cp) { return unit > 1 || cp <= 0xFF; });
      if (!fits) continue;
      std::vector<uint8_t> units = units_of(c.text, unit);
      int32_t error = 99;
      int32_t value =
          tokenizer::string_to_integer(units.data(), static_cast<int32_t>(c.text.size()), static_cast<int32_t>(unit), &error);
      EXPECT_EQ(error, c.error) << unit << " " << c.value;
      if (c.error == 0) {
        EXPECT_EQ(value, c.value) << unit;
      }
    }
  }
}

TEST(StringToFloat, ReadsDecimalsWithCommaAndQuotes) {
  const std::pair<std::u32string_view, double> cases[] = {
      {U"1,5", 1.5}, {U"1.5", 1.5}, {U"-1'000.25", -1000.25}, {U"1e3", 1000}, {U".5", 0.5}, {U"7", 7},
      {U"0.1", 0.1}, {U"1e400", HUGE_VAL}};
  for (uint32_t unit : {1u, 2u, 4u}) {
    for (const auto& [text, expected] : cases) {
      std::vector<uint8_t> units = units_of(text, unit);
      int32_t error = 99;
      double value = tokenizer::string_to_float(units.data(), static_cast<int32_t>(text.size()), static_cast<int32_t>(unit), &error);
      EXPECT_EQ(error, 0) << unit;
      EXPECT_EQ(value, expected) << unit;
    }
  }
  for (std::u32string_view text : {U"", U"abc", U"1.5x", U"1.#INF", U"\u00E91", U"1 "}) {
    std::vector<uint8_t> units = units_of(text, 4);
    int32_t error = 0;
    double value = tokenizer::string_to_float(units.data(), static_cast<int32_t>(text.size()), 4, &error);
    EXPECT_EQ(error, -1);
    EXPECT_EQ(std::bit_cast<uint64_t>(value), 0x7FF8000000000000u);
  }
  // The length limit: 312 characters are read, 313 are not.
  std::string digits = "0." + std::string(309, '0') + "5";
  int32_t error = 99;
  EXPECT_EQ(tokenizer::string_to_float(digits.data(), 312, 1, &error), 5e-310);
  EXPECT_EQ(error, 0);
  digits += '0';
  tokenizer::string_to_float(digits.data(), 313, 1, &error);
  EXPECT_EQ(error, -1);
}

// What the money constructor was handed.
struct money_call {
  bool negative;
  std::string currency;
  std::string digits;
  std::string point;
};
money_call last_money;

bool fake_money(cell& out, bool negative, const char* currency, const uint8_t* start, const uint8_t* point,
                const uint8_t* end) {
  if (currency && std::strcmp(currency, "XXX") == 0) return false;
  last_money = {negative, currency ? currency : "", std::string(reinterpret_cast<const char*>(start), end - start),
                point ? std::string(reinterpret_cast<const char*>(point), end - point) : ""};
  out = cell{TYPE_MONEY, 0, 0, 0};
  return true;
}

TEST(StringToMoney, ParsesSignCurrencyAndDigits) {
  auto read = [](std::u32string_view text, int32_t& error) {
    std::vector<uint8_t> units = units_of(text, 2);
    return tokenizer::string_to_money(units.data(), static_cast<int32_t>(text.size()), 2, &error);
  };
  int32_t error = 0;
  tokenizer::money_from_string = nullptr;
  EXPECT_EQ(testing::fired_by([&] { read(U"$1", error); }), error_id::internal_not_done);
  tokenizer::money_from_string = fake_money;
  EXPECT_EQ(read(U"-eur$1'000.50", error).type(), TYPE_MONEY);
  EXPECT_EQ(error, 0);
  EXPECT_TRUE(last_money.negative);
  EXPECT_EQ(last_money.currency, "EUR");
  EXPECT_EQ(last_money.digits, "1'000.50");
  EXPECT_EQ(last_money.point, ".50");
  EXPECT_EQ(read(U"$12,5", error).type(), TYPE_MONEY);
  EXPECT_EQ(last_money.currency, "");
  EXPECT_EQ(last_money.point, ",5");
  for (std::u32string_view bad : {U"", U"$", U"1", U"EUR$1", U"US$12345", U"$1.2.3", U"$1x", U"XXX$10.00", U"$\u00E9"}) {
    error = 0;
    EXPECT_EQ(read(bad, error).type(), TYPE_UNSET);
    EXPECT_EQ(error, -1);
  }
  tokenizer::money_from_string = nullptr;
}

TEST(Tokenizer, LetterAndUpperCaseHelpers) {
  EXPECT_TRUE(tokenizer::ascii_letter_p('a'));
  EXPECT_TRUE(tokenizer::ascii_letter_p('Z'));
  EXPECT_FALSE(tokenizer::ascii_letter_p('@'));
  EXPECT_FALSE(tokenizer::ascii_letter_p('['));
  EXPECT_FALSE(tokenizer::ascii_letter_p(0xE9));
  char code[] = "usD";
  EXPECT_STREQ(tokenizer::uppercase_ascii(code), "USD");
}

// `to` reads text through the lexer's readers, which start-up installed.
TEST_F(TextConversions, ReadTextThroughTheLexer) {
  using testing::converted;
  using testing::text_cell;
  EXPECT_EQ(integer::get(converted(TYPE_INTEGER, text_cell("1'000"))), 1000);
  EXPECT_EQ(integer::get(converted(TYPE_INTEGER, text_cell("-2147483648"))), INT32_MIN);
  EXPECT_EQ(testing::fired_by([] { converted(TYPE_INTEGER, text_cell("2147483648")); }), error_id::script_bad_to_arg);
  EXPECT_EQ(float_::get(converted(TYPE_FLOAT, text_cell("1,5"))), 1.5);
  EXPECT_EQ(float_::get(converted(TYPE_PERCENT, text_cell("50%"))), 0.5);
  EXPECT_EQ(float_::get(converted(TYPE_PERCENT, text_cell(" 12 "))), 12.0);
  EXPECT_EQ(testing::fired_by([] { converted(TYPE_PERCENT, text_cell("12 13")); }), error_id::script_bad_to_arg);
  EXPECT_EQ(testing::fired_by([] { converted(TYPE_PERCENT, text_cell("1.5x2")); }), error_id::script_bad_to_arg);

  // Compound scalars take the first value the lexer loads; a block all of them.
  EXPECT_EQ(converted(TYPE_PAIR, text_cell("3x4")).payload3, 4u);
  EXPECT_EQ(tuple::length_of(converted(TYPE_TUPLE, text_cell("1.2.3.4"))), 4u);
  EXPECT_EQ(float_::get(converted(TYPE_TIME, text_cell("1:30"))), 5400.0);
  cell block = converted(TYPE_BLOCK, text_cell("1 [2] x"));
  ASSERT_EQ(block.type(), TYPE_BLOCK);
  EXPECT_EQ(block::ts_length_p(block), 3);
  EXPECT_EQ(block::ts_head(block)[1].type(), TYPE_BLOCK);
  EXPECT_EQ(testing::fired_by([] { converted(TYPE_BLOCK, text_cell("[1")); }), error_id::syntax_missing);

  cell word_type = testing::datatype_cell(TYPE_WORD);
  cell word = testing::call_entry(actions::entry::to, {word_type, text_cell("abc")});
  EXPECT_EQ(word.type(), TYPE_WORD);
  EXPECT_EQ(testing::spelling_of(word), "abc");
  word = testing::call_entry(actions::entry::to, {word_type, text_cell("x:")});
  EXPECT_EQ(word.type(), TYPE_WORD);
  EXPECT_EQ(testing::spelling_of(word), "x");
  for (const char* bad : {"abc def", "1", "", "[a", "a/b"})
    EXPECT_EQ(testing::fired_by([&] { testing::call_entry(actions::entry::to, {word_type, text_cell(bad)}); }),
              error_id::script_invalid_chars)
        << bad;
}

}  // namespace
}  // namespace tav
