// Load mode: every value token becomes its value; bad tokens raise syntax errors naming
// their datatype, with the error's argument values.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "datatypes/map.hpp"
#include "datatypes/money.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/load_helpers.hpp"
#include "runtime/float_text.hpp"

namespace tav {
namespace {

using testing::count_of;
using testing::item;
using testing::load_one;
using testing::load_text;
using testing::spelling_of;
using testing::text_of;
using Loaders = testing::fresh_values;

uint64_t bits_of(const cell& value) { return uint64_t{value.payload3} << 32 | value.payload2; }

struct number_case {
  std::string_view text;
  uint8_t type;
  double value;  // integer! values are compared as integers
};

TEST_F(Loaders, NumbersLoadWithTheirType) {
  const number_case cases[] = {
      {"2147483647", TYPE_INTEGER, 2147483647},   {"-2147483648", TYPE_INTEGER, -2147483648.0},
      {"2147483648", TYPE_FLOAT, 2147483648.0},   {"+2147483648", TYPE_FLOAT, 2147483648.0},
      {"-2147483649", TYPE_FLOAT, -2147483649.0}, {"12345678901", TYPE_FLOAT, 12345678901.0},
      {"00000000001", TYPE_FLOAT, 1},             {"0000000001", TYPE_INTEGER, 1},
      {"1'000", TYPE_INTEGER, 1000},              {"1'000'000'000'000", TYPE_FLOAT, 1e12},
      {"+7", TYPE_INTEGER, 7},                    {"-0", TYPE_INTEGER, 0},
      {"7", TYPE_INTEGER, 7},                     {"-7", TYPE_INTEGER, -7},
      {"FFFFFFFFh", TYPE_INTEGER, -1},            {"0FFh", TYPE_INTEGER, 255},
      {"7FFFFFFFh", TYPE_INTEGER, 2147483647},    {"80000000h", TYPE_INTEGER, -2147483648.0},
      {"1.5", TYPE_FLOAT, 1.5},                   {"1.", TYPE_FLOAT, 1},
      {".5", TYPE_FLOAT, 0.5},                    {"-.5", TYPE_FLOAT, -0.5},
      {"1e3", TYPE_FLOAT, 1000},                  {"1E3", TYPE_FLOAT, 1000},
      {"1.5e-3", TYPE_FLOAT, 0.0015},             {"1'000.25", TYPE_FLOAT, 1000.25},
      {"0.1", TYPE_FLOAT, 0.1},                   {"1e400", TYPE_FLOAT, HUGE_VAL},
      {"50%", TYPE_PERCENT, 0.5},                 {"-5%", TYPE_PERCENT, -0.05},
      // One rounding of the text divided by 100, which a product with 0.01 misses.
      {"1.1%", TYPE_PERCENT, 0.011},              {"0.07%", TYPE_PERCENT, 0.0007},
      {"33.3%", TYPE_PERCENT, 0.333},             {"57%", TYPE_PERCENT, 0.57},
      {"1.#INF", TYPE_FLOAT, HUGE_VAL},           {"-1.#inf", TYPE_FLOAT, -HUGE_VAL},
      {"1.#INFINITY", TYPE_FLOAT, HUGE_VAL},
  };
  for (const number_case& c : cases) {
    cell value = load_one(c.text);
    ASSERT_EQ(value.type(), c.type) << c.text;
    if (c.type == TYPE_INTEGER)
      EXPECT_EQ(scalar::integer_value(value), static_cast<int32_t>(c.value)) << c.text;
    else
      EXPECT_EQ(bits_of(value), std::bit_cast<uint64_t>(c.value)) << c.text;
  }
  // NaN has the quiet bits whatever its sign.
  for (std::string_view text : {"1.#NaN", "-1.#nan", "+1.#NAN"})
    EXPECT_EQ(bits_of(load_one(text)), 0x7FF8000000000000u) << text;
}

struct error_case {
  std::string_view text;
  error_id id;
  uint8_t datatype;  // for syntax/invalid
};

TEST_F(Loaders, BadTokensRaiseInvalidNamingTheirDatatype) {
  const error_case cases[] = {
      {"1''0", error_id::syntax_invalid, TYPE_INTEGER},
      {"1h", error_id::syntax_invalid, TYPE_INTEGER},
      {"123456789h", error_id::syntax_invalid, TYPE_INTEGER},
      {"+1h", error_id::syntax_invalid, TYPE_INTEGER},
      {"Fh", error_id::syntax_invalid, TYPE_WORD},
      {"1e", error_id::syntax_invalid, TYPE_FLOAT},
      {"1e5-3", error_id::syntax_invalid, TYPE_FLOAT},
      {"1.#IN", error_id::syntax_invalid, TYPE_FLOAT},
      {"2.#INF", error_id::syntax_invalid, TYPE_FLOAT},
      {"1.#1", error_id::syntax_invalid, TYPE_FLOAT},
      {"1.5x2", error_id::syntax_invalid, TYPE_PAIR},
      {"1x2.5", error_id::syntax_invalid, TYPE_PAIR},
      {"1x+", error_id::syntax_invalid, TYPE_PAIR},
      {"99999999999x1", error_id::syntax_invalid, TYPE_PAIR},
      {"1.2.3.4.5.6.7.8.9.10.11.12.13", error_id::syntax_invalid, TYPE_TUPLE},
      {"1.256.3", error_id::syntax_invalid, TYPE_TUPLE},
      {"1.2..3", error_id::syntax_invalid, TYPE_TUPLE},
      {"1.2.", error_id::syntax_invalid, TYPE_TUPLE},
      {"1:2:", error_id::syntax_invalid, TYPE_TIME},
      {"1:2:3:4", error_id::syntax_invalid, TYPE_TIME},
      {"1:30.5.2", error_id::syntax_invalid, TYPE_TIME},
      {"(a, b)", error_id::syntax_invalid, TYPE_FLOAT},
      {"(1, 2, 3, 4)", error_id::syntax_invalid, TYPE_POINT3D},
      {"#\"ab\"", error_id::syntax_invalid, TYPE_CHAR},
      {"#\"^(110000)\"", error_id::syntax_invalid, TYPE_CHAR},
      {"\"^(tabs)\"", error_id::syntax_invalid, TYPE_STRING},
      {"{a ^(12345678) b}", error_id::syntax_invalid, TYPE_STRING},
      {"%{a}%%", error_id::syntax_invalid, TYPE_STRING},
      {"%\"a^(bax)\"", error_id::syntax_invalid, TYPE_FILE},
      {":a:b", error_id::syntax_invalid, TYPE_GET_WORD},
      {"'a:b", error_id::syntax_invalid, TYPE_LIT_WORD},
      {"#{ABC}", error_id::syntax_invalid, TYPE_BINARY},
      {"#{GG}", error_id::syntax_invalid, TYPE_BINARY},
      {"2#{0101}", error_id::syntax_invalid, TYPE_BINARY},
      {"2#{01012101}", error_id::syntax_invalid, TYPE_BINARY},
      {"64#{AQI}", error_id::syntax_invalid, TYPE_BINARY},
      {"64#{A===}", error_id::syntax_invalid, TYPE_BINARY},
      {"8#{00}", error_id::syntax_invalid, TYPE_BINARY},
      {"a\xC0", error_id::syntax_invalid, TYPE_WORD},
      {"<a\xFF>", error_id::syntax_invalid, TYPE_TAG},
  };
  for (const error_case& c : cases) {
    auto fired = testing::fired_by([&] { load_text(c.text); });
    ASSERT_TRUE(fired) << c.text;
    EXPECT_EQ(*fired, c.id) << c.text;
    if (c.id == error_id::syntax_invalid) {
      ASSERT_EQ(last_fired.arg_count, 3u) << c.text;
      EXPECT_EQ(spelling_of(last_fired.args[1]), describe_type(c.datatype).name) << c.text;
    }
    // A scan of the same text stops with type error! and raises nothing.
    EXPECT_EQ(lexer::transcode(reinterpret_cast<const uint8_t*>(c.text.data()), static_cast<uint32_t>(c.text.size()),
                               lexer::run_options{})
                  .type,
              lexer::type::error)
        << c.text;
  }
}

TEST_F(Loaders, SyntaxErrorsCarryLineAndQuoteValues) {
  ASSERT_EQ(testing::fired_by([] { load_text("x\n  1.5x2 y"); }), error_id::syntax_invalid);
  ASSERT_EQ(last_fired.arg_count, 3u);
  EXPECT_EQ(text_of(last_fired.args[0]), "(line 2)");
  EXPECT_EQ(last_fired.args[1].type(), TYPE_WORD);
  EXPECT_EQ(spelling_of(last_fired.args[1]), "pair!");
  EXPECT_EQ(text_of(last_fired.args[2]), "1.5x2 y");

  ASSERT_EQ(testing::fired_by([] { load_text("[1 (2]"); }), error_id::syntax_missing);
  EXPECT_EQ(last_fired.args[1].type(), TYPE_CHAR);
  EXPECT_EQ(last_fired.args[1].payload2, static_cast<uint32_t>(')'));
  EXPECT_EQ(text_of(last_fired.args[2]), "(2]");

  ASSERT_EQ(testing::fired_by([] { load_text("#(yes)"); }), error_id::syntax_malconstruct);
  ASSERT_EQ(last_fired.arg_count, 2u);
  EXPECT_EQ(text_of(last_fired.args[1]), "#(yes)");

  // A quote cut inside a bad byte keeps every byte as a character of its own.
  ASSERT_EQ(testing::fired_by([] { load_text("\"a\x80z\""); }), error_id::syntax_invalid);
  EXPECT_EQ(text_of(last_fired.args[2]), "\"a\xC2\x80z\"");
}

TEST_F(Loaders, TimesAreSeconds) {
  const std::pair<std::string_view, double> cases[] = {
      {"12:30", 45000},    {"1:30.5", 90.5},      {"0:1:60", 120},        {"1:75", 8100},
      {"-1:30", -5400},    {"+0:0:1", 1},         {"1'000:00", 3600000},  {"10:20:30.25", 37230.25},
      {"0:0:0.1", 0.1},    {"100:00:00", 360000},
  };
  for (const auto& [text, seconds] : cases) {
    cell value = load_one(text);
    ASSERT_EQ(value.type(), TYPE_TIME) << text;
    EXPECT_EQ(scalar::float_value(value), seconds) << text;
  }
}

TEST_F(Loaders, TuplesPairsAndPointsLiveInTheCell) {
  cell tuple = load_one("192.168.0.255");
  EXPECT_EQ(tuple.header, TYPE_TUPLE | 4u << 19);
  uint8_t bytes[12];
  std::memcpy(bytes, &tuple.payload1, 12);
  const uint8_t expected[12] = {192, 168, 0, 255};
  EXPECT_EQ(std::memcmp(bytes, expected, 12), 0);
  cell longest = load_one("1.2.3.4.5.6.7.8.9.10.11.12");
  EXPECT_EQ(longest.header >> 19, 12u);
  EXPECT_EQ(longest.payload3 >> 24, 12u);

  for (const auto& [text, x, y] : {std::tuple{"3x4", 3, 4}, std::tuple{"-3x-4", -3, -4}, std::tuple{"1X+2", 1, 2},
                                   std::tuple{"1'000x2", 1000, 2}, std::tuple{"-2147483648x2147483647", INT32_MIN, INT32_MAX}}) {
    cell pair = load_one(text);
    EXPECT_EQ(pair.type(), TYPE_PAIR) << text;
    EXPECT_EQ(static_cast<int32_t>(pair.payload2), x) << text;
    EXPECT_EQ(static_cast<int32_t>(pair.payload3), y) << text;
  }

  cell point = load_one("( 1.5 ,\t-2 )");
  EXPECT_EQ(point.type(), TYPE_POINT2D);
  EXPECT_EQ(std::bit_cast<float>(point.payload1), 1.5f);
  EXPECT_EQ(std::bit_cast<float>(point.payload2), -2.0f);
  cell point3 = load_one("(1, 0.1, 1.#INF)");
  EXPECT_EQ(point3.type(), TYPE_POINT3D);
  EXPECT_EQ(std::bit_cast<float>(point3.payload2), 0.1f);
  EXPECT_TRUE(std::isinf(std::bit_cast<float>(point3.payload3)));
  // A point after a line break carries the new-line flag, and the lexer goes on after it.
  cell block = load_text("a\n(1, 2) b");
  ASSERT_EQ(count_of(block), 3u);
  EXPECT_TRUE(item(block, 1).header & cell_flag::new_line);
  EXPECT_EQ(item(block, 2).type(), TYPE_WORD);
}

// Code points of a loaded text.
std::vector<uint32_t> code_points(const cell& text) {
  series_buffer* buffer = buffer_of(text.payload2);
  std::vector<uint32_t> points;
  for (uint32_t i = text.payload1; i < buffer->count(); ++i)
    points.push_back(unicode::get_unit(buffer->head(), i, buffer->unit()));
  return points;
}

TEST_F(Loaders, StringEscapesDecodeEveryForm) {
  cell text = load_one(
      "\"^(tab)^(TAB)^(09)^-^/^\"^^^{^}^~^@^a^Z^[^_^(null)^(back)^(line)^(page)^(esc)^(DEL)^(41)^(E9)^1^\xC3\xA9\"");
  const std::vector<uint32_t> expected = {9,  9,  9, 9, 10, '"', '^', '{', '}', 127, 0, 1, 26, 27, 31,
                                          0,  8, 10, 12, 27, 127, 'A', 0xE9, '1', 0xE9};
  EXPECT_EQ(code_points(text), expected);
  // The unit is the narrowest the token allows: two hex digits stay in bytes.
  const std::pair<std::string_view, uint32_t> units[] = {
      {"\"abc\"", 1}, {"\"^(E9)\"", 1}, {"\"^(0E9)\"", 2}, {"\"\xC3\xA9\"", 2}, {"\"^(1F600)\"", 4},
      {"\"\xF0\x9F\x98\x80\"", 4}, {"{a^(10FFFF)}", 4}, {"\"^(tab)\"", 1}};
  for (const auto& [source, unit] : units) EXPECT_EQ(buffer_of(load_one(source).payload2)->unit(), unit) << source;
  EXPECT_EQ(code_points(load_one("\"^(1F600)x\"")), (std::vector<uint32_t>{0x1F600, 'x'}));
  EXPECT_EQ(code_points(load_one("\"\xE4\xB8\xAD^(1F600)\"")), (std::vector<uint32_t>{0x4E2D, 0x1F600}));
}

TEST_F(Loaders, BracedAndRawStrings) {
  EXPECT_EQ(text_of(load_one("{a{b}c}")), "a{b}c");
  EXPECT_EQ(text_of(load_one("{a^}b}")), "a}b");
  EXPECT_EQ(text_of(load_one("{line1\nline2}")), "line1\nline2");
  EXPECT_EQ(text_of(load_one("%{a^b \"c\"}%")), "a^b \"c\"");  // no escapes
  EXPECT_EQ(text_of(load_one("%%{a}% b}%%")), "a}% b");
  EXPECT_EQ(text_of(load_one("%%{x}% \xC3\xA9}%%")), "x}% \xC3\xA9");
  EXPECT_EQ(buffer_of(load_one("%%{x}% \xC3\xA9}%%").payload2)->unit(), 2u);
  // A brace string spanning lines, or written after a line break, starts a new line.
  cell block = load_text("a {x\ny} {z} \n{w}");
  ASSERT_EQ(count_of(block), 4u);
  const bool new_line[] = {false, true, false, true};
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ((item(block, i).header & cell_flag::new_line) != 0, new_line[i]) << i;
}

TEST_F(Loaders, CharsAndConstructions) {
  const std::pair<std::string_view, uint32_t> chars[] = {
      {"#\"a\"", 'a'}, {"#\"^(tab)\"", 9}, {"#\"^\"\"", '"'}, {"#\"\xC3\xA9\"", 0xE9}, {"#\"^(1F600)\"", 0x1F600},
      {"#\"^@\"", 0}};
  for (const auto& [text, cp] : chars) {
    cell value = load_one(text);
    EXPECT_EQ(value.type(), TYPE_CHAR) << text;
    EXPECT_EQ(value.payload2, cp) << text;
  }
  cell block = load_text("#(true) #(FALSE) #(none) #(unset) #(integer!) #(str)");
  ASSERT_EQ(count_of(block), 6u);
  EXPECT_TRUE(logic::get(item(block, 0)));
  EXPECT_EQ(item(block, 1).type(), TYPE_LOGIC);
  EXPECT_FALSE(logic::get(item(block, 1)));
  EXPECT_EQ(item(block, 2).type(), TYPE_NONE);
  EXPECT_EQ(item(block, 3).type(), TYPE_UNSET);
  EXPECT_EQ(item(block, 4).type(), TYPE_DATATYPE);
  EXPECT_EQ(item(block, 4).payload1, TYPE_INTEGER);
  EXPECT_EQ(item(block, 5).payload1, TYPE_STRING);
}

TEST_F(Loaders, WordsOfEveryKind) {
  struct row {
    std::string_view text;
    uint8_t type;
    const char* name;
  };
  const row rows[] = {
      {"abc", TYPE_WORD, "abc"},      {"a:", TYPE_SET_WORD, "a"},     {":a", TYPE_GET_WORD, "a"},
      {"'a", TYPE_LIT_WORD, "a"},     {"/only", TYPE_REFINEMENT, "only"}, {"/1", TYPE_REFINEMENT, "1"},
      {"#abc", TYPE_ISSUE, "abc"},    {"#1", TYPE_ISSUE, "1"},        {"/", TYPE_WORD, "/"},
      {"//", TYPE_WORD, "//"},        {"'/", TYPE_LIT_WORD, "/"},     {":/", TYPE_GET_WORD, "/"},
      {"/:", TYPE_SET_WORD, "/"},     {"+", TYPE_WORD, "+"},          {"<=", TYPE_WORD, "<="},
      {"%", TYPE_WORD, "%"},          {"\xC3\xA9t\xC3\xA9", TYPE_WORD, "\xC3\xA9t\xC3\xA9"},
      {"foo-bar?", TYPE_WORD, "foo-bar?"}, {"FFh:", TYPE_SET_WORD, "FFh"}, {"ABCDEF", TYPE_WORD, "ABCDEF"},
  };
  for (const row& r : rows) {
    cell value = load_one(r.text);
    EXPECT_EQ(value.type(), r.type) << r.text;
    EXPECT_EQ(spelling_of(value), r.name) << r.text;
    EXPECT_EQ(word::index_of(value), -1) << r.text;
  }
  EXPECT_EQ(load_one("abc").payload1, 0u);  // unbound
  EXPECT_EQ(load_one("#abc").payload1, context::global);
  // Case variants share their symbol's alias.
  cell block = load_text("Abc abc ABC");
  EXPECT_EQ(symbol::resolve(word::symbol_of(item(block, 0))), symbol::resolve(word::symbol_of(item(block, 2))));
}

// Names are kept by their spelled bytes up to 24 of them: spellings that differ in their last
// byte, at each word boundary of that, past it, in case only, or at the very end of the input
// each get their own symbol, and the same one each time they are met.
TEST_F(Loaders, WordsInternToTheSymbolOfTheirExactSpelling) {
  // Many names alike but for their last word's bytes: those that meet in one place of the
  // cache are still told apart.
  std::vector<std::string> alike;
  for (size_t length : {6, 14, 22})
    for (int i = 0; i < 1500; ++i) alike.push_back(std::string(length - 4, 'x') + std::to_string(1000 + i));
  std::string text;
  for (int round = 0; round < 2; ++round)
    for (const std::string& name : alike) text += name + ' ';
  cell block = load_text(text);
  ASSERT_EQ(count_of(block), 2 * alike.size());
  for (uint32_t i = 0; i < count_of(block); ++i)
    ASSERT_EQ(word::symbol_of(item(block, i)), symbol::make(alike[i % alike.size()].c_str())) << i;
  std::vector<std::string> names;
  for (size_t length : {1, 7, 8, 9, 15, 16, 17, 23, 24, 25, 40}) {
    std::string name(length, 'n');
    names.push_back(name);
    name.back() = 'm';
    names.push_back(name);
    name.front() = 'N';
    names.push_back(name);
  }
  text.clear();
  for (int round = 0; round < 2; ++round)
    for (const std::string& name : names) text += name + ' ';
  for (auto it = names.rbegin(); it != names.rend(); ++it) text += ' ' + *it;  // the last at the input's end
  block = load_text(text);
  ASSERT_EQ(count_of(block), 3 * names.size());
  for (uint32_t i = 0; i < count_of(block); ++i) {
    size_t n = names.size(), k = i < 2 * n ? i % n : 3 * n - 1 - i;
    EXPECT_EQ(spelling_of(item(block, i)), names[k]) << i;
    EXPECT_EQ(word::symbol_of(item(block, i)), symbol::make(names[k].c_str())) << names[k];
  }
  // A table made anew gives the names other ids; what was remembered of the old one is not used.
  fresh_tables();
  symbol::make("taking-the-first-ids");
  text.clear();
  for (const std::string& name : names) text += name + ' ';
  block = load_text(text);
  for (uint32_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(spelling_of(item(block, i)), names[i]) << i;
    EXPECT_EQ(word::symbol_of(item(block, i)), symbol::make(names[i].c_str())) << names[i];
  }
}

// Short plain decimals are read without the general reading; every one of them, and the ones
// just past what that takes (16 digits, a power above 10^22), load as the general reading gives.
TEST_F(Loaders, PlainDecimalsLoadAsTheGeneralReadingGives) {
  std::vector<std::string> texts = {"0.0", "-0.0", "+0.5", "00.5", "1.0", "0.1", "0.3", "-2.675",
                                    "9007199254740993.0", "123456789012345.6", "0.0000000000000000000001",
                                    "0.00000000000000000000001", "1.7976931348623157", "4.9406564584124654",
                                    "99999999999", "999999999999999", "9999999999999999", "-12345678901"};
  uint64_t seed = 12345;
  for (uint32_t digits = 1; digits <= 17; ++digits)
    for (uint32_t fraction = 1; fraction <= digits && fraction <= 16; ++fraction) {
      std::string text = seed & 1 ? "-" : "";
      for (uint32_t i = 0; i < digits; ++i) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        if (i == digits - fraction) text += i == 0 ? "0." : ".";
        text += static_cast<char>('0' + (seed >> 33) % 10);
      }
      texts.push_back(text);
      texts.push_back(text + "%");
    }
  std::string source;
  for (const std::string& t : texts) source += t + ' ';
  cell block = load_text(source);
  ASSERT_EQ(count_of(block), texts.size());
  for (uint32_t i = 0; i < texts.size(); ++i) {
    const std::string& t = texts[i];
    bool percent = t.back() == '%';
    size_t left = 1;
    double expected = tav::strtod(t.data(), t.data() + t.size() - percent, percent ? -2 : 0, &left);
    ASSERT_EQ(left, 0u) << t;
    cell value = item(block, i);
    EXPECT_EQ(value.type(), percent ? TYPE_PERCENT : TYPE_FLOAT) << t;
    EXPECT_EQ(bits_of(value), std::bit_cast<uint64_t>(expected)) << t;
  }
  // Up to nine digits alone are integers at once; leading zeros count as digits.
  block = load_text("0 000000000 123456789 999999999 012345678 1234567890");
  const int32_t integers[] = {0, 0, 123456789, 999999999, 12345678, 1234567890};
  for (uint32_t i = 0; i < std::size(integers); ++i) {
    ASSERT_EQ(item(block, i).type(), TYPE_INTEGER) << i;
    EXPECT_EQ(scalar::integer_value(item(block, i)), integers[i]) << i;
  }
}

TEST_F(Loaders, PathsAreBlocksOfTheirElements) {
  struct row {
    std::string_view text;
    uint8_t type;
    std::vector<uint8_t> elements;
  };
  const row rows[] = {
      {"a/b/c", TYPE_PATH, {TYPE_WORD, TYPE_WORD, TYPE_WORD}},
      {"a/b:", TYPE_SET_PATH, {TYPE_WORD, TYPE_WORD}},
      {":a/b", TYPE_GET_PATH, {TYPE_WORD, TYPE_WORD}},
      {"'a/b", TYPE_LIT_PATH, {TYPE_WORD, TYPE_WORD}},
      {"a/1/2.5/\"s\"", TYPE_PATH, {TYPE_WORD, TYPE_INTEGER, TYPE_FLOAT, TYPE_STRING}},
      {"a/(b c)/:d", TYPE_PATH, {TYPE_WORD, TYPE_PAREN, TYPE_GET_WORD}},
      {"a/'y/#x", TYPE_PATH, {TYPE_WORD, TYPE_LIT_WORD, TYPE_ISSUE}},
  };
  for (const row& r : rows) {
    cell path = load_one(r.text);
    ASSERT_EQ(path.type(), r.type) << r.text;
    ASSERT_EQ(count_of(path), r.elements.size()) << r.text;
    for (uint32_t i = 0; i < r.elements.size(); ++i) EXPECT_EQ(item(path, i).type(), r.elements[i]) << r.text << i;
    EXPECT_EQ(testing::mold_of(path), r.text);
  }
  EXPECT_EQ(spelling_of(item(load_one(":a/b"), 0)), "a");
}

TEST_F(Loaders, BlocksKeepTheirNewLineFlags) {
  cell block = load_text("[a\n  b (c\nd)] e");
  ASSERT_EQ(count_of(block), 2u);
  cell inner = item(block, 0);
  ASSERT_EQ(inner.type(), TYPE_BLOCK);
  ASSERT_EQ(count_of(inner), 3u);
  EXPECT_FALSE(item(inner, 0).header & cell_flag::new_line);
  EXPECT_TRUE(item(inner, 1).header & cell_flag::new_line);
  cell paren = item(inner, 2);
  EXPECT_EQ(paren.type(), TYPE_PAREN);
  EXPECT_TRUE(item(paren, 1).header & cell_flag::new_line);
  EXPECT_EQ(testing::mold_of(block), "[[a b (c d)] e]");
  EXPECT_EQ(count_of(load_text("[]")), 1u);
  EXPECT_EQ(count_of(item(load_text("[]"), 0)), 0u);
}

TEST_F(Loaders, TextTypesShareTheStringLayout) {
  struct row {
    std::string_view text;
    uint8_t type;
    const char* content;
  };
  const row rows[] = {
      {"%file.txt", TYPE_FILE, "file.txt"},
      {"%\"a b^(tab).txt\"", TYPE_FILE, "a b\t.txt"},
      {"%a%20b%C3%A9", TYPE_FILE, "a b\xC3\xA9"},
      {"%a^b\\c", TYPE_FILE, "a^b\\c"},
      {"http://x.y/a%20b", TYPE_URL, "http://x.y/a b"},
      {"ftp://\xC3\xA9", TYPE_URL, "ftp://\xC3\xA9"},
      {"<a href=\"x\">", TYPE_TAG, "a href=\"x\""},
      {"<\xC3\xA9>", TYPE_TAG, "\xC3\xA9"},
      {"a@b.c", TYPE_EMAIL, "a@b.c"},
      {"1@2", TYPE_EMAIL, "1@2"},
      {"@ref", TYPE_REF, "ref"},
  };
  for (const row& r : rows) {
    cell value = load_one(r.text);
    EXPECT_EQ(value.type(), r.type) << r.text;
    EXPECT_EQ(text_of(value), r.content) << r.text;
  }
}

TEST_F(Loaders, BinariesInEveryBase) {
  struct row {
    std::string_view text;
    std::vector<uint8_t> bytes;
  };
  const row rows[] = {
      {"#{DEADBEEF}", {0xDE, 0xAD, 0xBE, 0xEF}},
      {"#{de ad ; note\n be\tEF}", {0xDE, 0xAD, 0xBE, 0xEF}},
      {"#{}", {}},
      {"16#{0a0B}", {0x0A, 0x0B}},
      {"2#{00000001 11111111}", {1, 255}},
      {"2#{0000 0001}", {1}},
      {"64#{AQID}", {1, 2, 3}},
      {"64#{AQI=}", {1, 2}},
      {"64#{AQ==}", {1}},
      {"64#{AQ== not read}", {1}},
      {"64#{/+/+}", {0xFF, 0xEF, 0xFE}},
  };
  for (const row& r : rows) {
    cell value = load_one(r.text);
    ASSERT_EQ(value.type(), TYPE_BINARY) << r.text;
    series_buffer* buffer = buffer_of(value.payload2);
    EXPECT_EQ(std::vector<uint8_t>(buffer->head(), buffer->end()), r.bytes) << r.text;
  }
}

// A date is checked when only scanned, as when loaded.
TEST_F(Loaders, DatesAreCheckedWhenScanned) {
  auto scanned = [](std::string_view text) {
    return lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()),
                            lexer::run_options{})
        .type;
  };
  for (std::string_view text : {"29-Feb-2001", "1-Jan-2021/24:00", "2024-W10-8", "2021-366", "1-Foo-2024"})
    EXPECT_EQ(scanned(text), TYPE_ERROR) << text;
  for (std::string_view text : {"29-Feb-2000", "2024-W10-2", "20240305T1030Z", "1-Jan-2021/10:00-00:30"}) {
    EXPECT_EQ(scanned(text), TYPE_DATE) << text;
    EXPECT_EQ(load_one(text).type(), TYPE_DATE) << text;
  }
}

TEST_F(Loaders, MoneyAmountsAndTheirSyntax) {
  struct amount_case {
    std::string_view text;
    uint64_t hundred_thousandths;
    bool negative;
  };
  for (const amount_case& c : {
           amount_case{"$1'000.5", 100050000, false},
           amount_case{"-$0.00001", 1, true},
           amount_case{"+$12", 1200000, false},
           amount_case{"$00000000000000000000012.5", 1250000, false},
           amount_case{"$99999999999999999.99999", 9999999999999999999ull, false},
       }) {
    cell value = load_one(c.text);
    ASSERT_EQ(value.type(), TYPE_MONEY) << c.text;
    if (c.hundred_thousandths == 9999999999999999999ull)
      EXPECT_EQ(money::get_amount(value), money::digit_limit - 1) << c.text;
    else
      EXPECT_EQ(money::get_amount(value), c.hundred_thousandths) << c.text;
    EXPECT_EQ(money::get_sign(value), c.negative ? 1u : 0u) << c.text;
    EXPECT_EQ(money::get_currency(value), 0u) << c.text;
  }
  // Without a currency list in the system object no code is known.
  for (std::string_view text : {"$.5", "$1''0", "$1'", "$1'.5", "$1.", "$1.123456", "$1.2'3",
                                "$123456789012345678", "AB$1", "ABCD$1", "EUR$2"}) {
    EXPECT_EQ(testing::fired_by([&] { load_text(text); }), error_id::syntax_invalid) << text;
    EXPECT_EQ(lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()),
                               lexer::run_options{})
                  .type,
              TYPE_ERROR)
        << text;
  }
}

TEST_F(Loaders, MapLiteralsBecomeMapsAndRefuseOddCountsAndBadKeys) {
  cell map = load_one("#[a 1 \"b\" 2 a 3]");
  ASSERT_EQ(map.type(), TYPE_MAP);
  EXPECT_EQ(map::key_count(map), 2u);
  EXPECT_EQ(load_one("#[]").type(), TYPE_MAP);
  for (std::string_view text : {"#[a 1 b]", "#[a]", "#[[1] 2]", "#[a 1 (x) 2]", "#[#[a 1] 2]"})
    EXPECT_EQ(testing::fired_by([&] { load_text(text); }), error_id::syntax_invalid) << text;
}

}  // namespace
}  // namespace tav
