// string!: unit storage and widening, the string API, form and mold, comparison and sort.
#include <unistd.h>

#include <cstring>

#include "runtime/case_folding.hpp"
#include "runtime/fire_helpers.hpp"
#include "value_fixture.hpp"

namespace tav {
namespace {

using testing::fired_by;
using testing::formed;
using testing::molded;
using testing::text_of;
using Strings = testing::fresh_values;

cell utf8(const char* text) {
  return cell{TYPE_STRING, 0, unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(text), std::strlen(text)), 0};
}

uint32_t unit_of(const cell& value) { return buffer_of(value.payload2)->unit(); }

// A string of `count` copies of the character.
cell repeated(char c, uint32_t count) {
  cell value;
  string::ts_make_at(value, count);
  for (uint32_t i = 0; i < count; ++i) text::append_char(value, static_cast<uint8_t>(c));
  return value;
}

cell integer(int32_t value) { return scalar::integer(value); }

// ---- Registration ------------------------------------------------------------------------

// The series actions come from series!, which must be registered first for that.
TEST_F(Strings, RegistrationTakesTheSeriesActions) {
  auto handler = [](uint8_t type, action_slot slot) {
    return datatype::action_table[type * datatype::row_stride + static_cast<uint32_t>(slot) - 1];
  };
  using enum action_slot;
  for (action_slot slot : {random, reflect, at, back, clear, copy, head, head_p, index_p, length_p, move, next, pick,
                           poke, remove, reverse, skip, tail, tail_p, modify}) {
    EXPECT_EQ(handler(TYPE_STRING, slot), handler(TYPE_SERIES, slot))
        << describe_action(static_cast<uint32_t>(slot)).word;
  }
  EXPECT_EQ(handler(TYPE_STRING, action_slot::sort), reinterpret_cast<erased_handler>(&string::sort));
  EXPECT_EQ(handler(TYPE_STRING, action_slot::take), reinterpret_cast<erased_handler>(&string::take));
  EXPECT_EQ(handler(TYPE_STRING, action_slot::append), handler(TYPE_STRING, action_slot::insert));
  EXPECT_EQ(handler(TYPE_STRING, action_slot::add), nullptr);
  EXPECT_EQ(handler(TYPE_STRING, action_slot::put), nullptr);
}

// ---- Storage and widening -----------------------------------------------------------------

TEST_F(Strings, AppendWidensFromCodePoint128ButPokeAndInsertOnlyFrom256) {
  struct row {
    const char* operation;
    uint32_t cp;
    uint32_t unit;
  };
  for (const row& r : {row{"append", 0x7F, 1}, row{"append", 0x80, 2}, row{"append", 0xE9, 2},
                       row{"append", 0x20AC, 2}, row{"append", 0x1F600, 4}, row{"poke", 0xE9, 1},
                       row{"poke", 0xFF, 1}, row{"poke", 0x100, 2}, row{"poke", 0x10000, 4}, row{"insert", 0xE9, 1},
                       row{"insert", 0x20AC, 2}, row{"insert", 0x1F600, 4}, row{"poke-at", 0xE9, 1},
                       row{"poke-at", 0x1F600, 4}}) {
    cell value = utf8("ab");
    series_buffer* buffer = buffer_of(value.payload2);
    std::string op = r.operation;
    if (op == "append") string::append_char(buffer, r.cp);
    if (op == "poke") string::poke_char(buffer, buffer->head() + 1, r.cp);
    if (op == "insert") string::insert_char(buffer, 1, r.cp);
    if (op == "poke-at") string::poke_char_at(buffer, 1, r.cp);
    EXPECT_EQ(unit_of(value), r.unit) << op << " " << r.cp;
    uint32_t at = op == "append" ? 2 : 1;
    EXPECT_EQ(string::ts_abs_at(value, at), r.cp) << op << " " << r.cp;
    EXPECT_EQ(string::ts_abs_at(value, 0), uint32_t{'a'}) << op;
    EXPECT_EQ(string::ts_length_p(value), op == "poke" || op == "poke-at" ? 2u : 3u) << op;
  }
}

TEST_F(Strings, WideningKeepsTheTextAndGoesStraightToTheNeededUnit) {
  cell value = utf8("x\xC3\xA9");  // unit 1 holding 233
  series_buffer* buffer = buffer_of(value.payload2);
  buffer = string::append_char(buffer, 0x1F600);
  EXPECT_EQ(buffer->unit(), 4u);
  buffer = string::append_char(buffer, 'y');
  EXPECT_EQ(text_of(value), "x\xC3\xA9\xF0\x9F\x98\x80y");

  cell wide = utf8("\xE2\x82\xAC");  // unit 2
  string::poke_char_at(buffer_of(wide.payload2), 1, 0x10000);  // at the tail: added
  EXPECT_EQ(unit_of(wide), 4u);
  EXPECT_EQ(text_of(wide), "\xE2\x82\xAC\xF0\x90\x80\x80");
  EXPECT_EQ(string::widen_to(buffer_of(wide.payload2), 2)->unit(), 4u);  // never narrows
}

TEST_F(Strings, ManyAppendsGrowTheBuffer) {
  cell value;
  string::ts_make_at(value, 0);
  series_buffer* buffer = buffer_of(value.payload2);
  for (uint32_t i = 0; i < 5000; ++i) buffer = string::append_char(buffer, 'a' + i % 26);
  buffer = string::append_char(buffer, 0x20AC);
  ASSERT_EQ(string::ts_length_p(value), 5001u);
  for (uint32_t i = 0; i < 5000; i += 997) EXPECT_EQ(string::ts_abs_at(value, i), 'a' + i % 26);
  EXPECT_EQ(string::ts_abs_at(value, 5000), 0x20ACu);
}

TEST_F(Strings, HeadPastAShortenedTail) {
  cell value = utf8("abcdef");
  cell later = value;
  later.payload1 = 5;
  string::truncate_at(buffer_of(value.payload2), 3);
  EXPECT_EQ(string::ts_length_p(later), 0u);
  EXPECT_TRUE(string::ts_tail_p(later));
  EXPECT_EQ(string::ts_head(later), string::ts_tail(later));
  EXPECT_EQ(later.payload1, 3u);  // clipped and stored
  string::truncate_at(buffer_of(value.payload2), 10);  // longer than the text: nothing
  EXPECT_EQ(text_of(value), "abc");

  cell walker = utf8("ab");
  EXPECT_FALSE(string::ts_next(walker));
  EXPECT_TRUE(string::ts_next(walker));
  EXPECT_EQ(walker.payload1, 2u);
  EXPECT_TRUE(string::ts_skip(walker, 1));  // past the tail: answered, not moved
  EXPECT_EQ(walker.payload1, 2u);
  EXPECT_FALSE(string::ts_skip(walker, -2));
  EXPECT_EQ(walker.payload1, 0u);
  EXPECT_FALSE(string::ts_skip(walker, -1));  // before the start: not moved
  EXPECT_EQ(walker.payload1, 0u);
}

TEST_F(Strings, ResetEmptiesAndNarrows) {
  cell value = utf8("a\xE2\x82\xAC");
  value.payload1 = 1;
  string::ts_reset(value);
  EXPECT_EQ(unit_of(value), 1u);
  EXPECT_EQ(value.payload1, 0u);
  EXPECT_EQ(string::ts_abs_length_p(value), 0u);
  text::append_c_string(value, "ok");
  EXPECT_EQ(text_of(value), "ok");
}

// ---- Searching the units ------------------------------------------------------------------

TEST_F(Strings, FindCharHasCharAndEqualCString) {
  cell value = utf8("xaBcAb");
  value.payload1 = 1;
  EXPECT_EQ(string::ts_find_char(value, 'B'), 1);
  EXPECT_EQ(string::ts_find_char(value, 'x'), -1);  // before the head
  EXPECT_TRUE(string::has_char_p(value, 'b', 1, false));
  EXPECT_FALSE(string::has_char_p(value, 'C', 1, true));
  EXPECT_TRUE(string::has_char_p(value, 'c', 2, true));   // positions 1, 3, 5: a c b
  EXPECT_FALSE(string::has_char_p(value, 'A', 2, true));  // A sits at 4

  struct row {
    const char* text;
    const char* bytes;
    bool expected;
  };
  for (const row& r : {row{"abc", "ab", true}, row{"abc", "abc", true}, row{"ab", "abc", false},
                       row{"abc", "", true}, row{"aBc", "ab", false}, row{"\xC4\x80" "b", "\x01" "b", false}}) {
    EXPECT_EQ(string::equal_c_string_p(utf8(r.text), r.bytes), r.expected) << r.text << " / " << r.bytes;
  }
}

// ---- Editing ------------------------------------------------------------------------------

TEST_F(Strings, RemoveInsertAndMove) {
  cell value = utf8("abcdef");
  string::remove_part(value, 1, 2);
  EXPECT_EQ(text_of(value), "adef");
  string::remove_part(value, 3, 10);  // cut at the tail
  EXPECT_EQ(text_of(value), "ade");
  string::remove_part(value, 3, 1);  // at the tail: nothing
  string::remove_char(value, 0);
  EXPECT_EQ(text_of(value), "de");
  string::insert_char(buffer_of(value.payload2), 9, 'z');  // past the tail: at the tail
  string::insert_char(buffer_of(value.payload2), 0, 0x20AC);
  EXPECT_EQ(text_of(value), "\xE2\x82\xAC" "dez");

  cell source = utf8("xyz");
  cell target = utf8("ab");
  target.payload1 = 1;
  string::move_part(source, 2, target);
  EXPECT_EQ(text_of(source), "z");
  target.payload1 = 0;
  EXPECT_EQ(text_of(target), "axyb");

  cell wide = utf8("\xE2\x82\xAC!");
  cell narrow = utf8("ab");
  string::move_part(wide, 5, narrow);  // more than there is: stops at the tail
  EXPECT_EQ(narrow.payload1, 2u);
  narrow.payload1 = 0;
  EXPECT_EQ(text_of(narrow), "\xE2\x82\xAC!ab");
  EXPECT_EQ(string::ts_length_p(wide), 0u);

  for (auto [head, at, expected] : {std::tuple{3u, 0u, "deabcf"}, std::tuple{0u, 5u, "cdeabf"}}) {
    cell own = utf8("abcdef");
    own.payload1 = head;
    cell to = own;
    to.payload1 = at;
    string::move_part(own, 2, to);
    own.payload1 = 0;
    EXPECT_EQ(text_of(own), expected) << head << " to " << at;
  }
}

TEST_F(Strings, SwapRangesOfDifferentLengthsAlsoBeyondTheScratchSize) {
  for (uint32_t a : {1u, 3u, 5000u, 9000u}) {
    uint32_t b = 9001u - a;
    std::string first = "A" + std::string(a - 1, 'a');
    std::string second = "B" + std::string(b - 1, 'b') + "Z";
    std::string text = first + second;
    string::swap_ranges(reinterpret_cast<uint8_t*>(text.data()), a, b);
    EXPECT_EQ(text, second.substr(0, b) + first + "Z") << a;
  }
  std::string small = "xy12345";
  string::swap_ranges(reinterpret_cast<uint8_t*>(small.data()), 2, 5);  // the grown scratch was given back
  EXPECT_EQ(small, "12345xy");
}

TEST_F(Strings, ConcatenateAppendsInsertsAndOverwritesAcrossUnits) {
  cell target = utf8("abcd");
  cell euro = utf8("\xE2\x82\xAC" "e");
  string::concatenate(target, euro, -1, 0, string::concat_mode::append);
  EXPECT_EQ(unit_of(target), 2u);
  EXPECT_EQ(text_of(target), "abcd\xE2\x82\xAC" "e");

  cell inserted = utf8("abcd");
  string::concatenate(inserted, utf8("XYZ"), 2, 1, string::concat_mode::insert);
  EXPECT_EQ(text_of(inserted), "aXYbcd");

  cell written = utf8("abcd");
  string::concatenate_default(written, utf8("XY"), -1, 1);
  EXPECT_EQ(text_of(written), "aXYd");
  string::concatenate_default(written, utf8("123"), -1, 3);
  EXPECT_EQ(text_of(written), "aXY123");  // the tail moves only past the old one

  cell wide_target = utf8("\xF0\x9F\x98\x80");  // unit 4 takes narrow text unwidened
  cell source = utf8("hello");
  source.payload1 = 3;
  string::concatenate(wide_target, source, -1, 0, string::concat_mode::append);
  EXPECT_EQ(text_of(wide_target), "\xF0\x9F\x98\x80lo");

  cell self = utf8("abc");
  cell view = self;
  view.payload1 = 1;
  string::concatenate(self, view, -1, 0, string::concat_mode::append);
  EXPECT_EQ(text_of(self), "abcbc");
  string::concatenate(self, view, 2, 1, string::concat_mode::insert);
  EXPECT_EQ(text_of(self), "abcbcbc");
  string::concatenate_default(self, view, -1, 2);  // overlapping, forward
  EXPECT_EQ(text_of(self), "abbcbcbc");

  cell spelling = *symbol::get(symbol::make("word"));
  cell out = utf8("a ");
  string::concatenate(out, spelling, -1, 0, string::concat_mode::append);
  EXPECT_EQ(text_of(out), "a word");
}

TEST_F(Strings, CopyUnitsConvertsIntoATargetOrANewBuffer) {
  cell source = utf8("abc\xC3\xA9");
  series_buffer* made = string::copy_units(buffer_of(source.payload2), 1, 3, nullptr, 0, 4);
  cell fresh{TYPE_STRING, 0, made->node, 0};
  EXPECT_EQ(made->unit(), 4u);
  EXPECT_EQ(text_of(fresh), "bc\xC3\xA9");

  cell target = utf8("xy");
  string::copy_units(buffer_of(source.payload2), 0, 2, buffer_of(target.payload2), 1, 2);
  EXPECT_EQ(unit_of(target), 2u);
  EXPECT_EQ(text_of(target), "xab");
}

TEST_F(Strings, AppendCTextTakesBytesAsCodePoints) {
  cell value;
  string::ts_make_at(value, 2);
  string::append_c_string(value, "abc");
  string::append_c_part(value, "defgh", 2);
  EXPECT_EQ(text_of(value), "abcde");
  EXPECT_EQ(unit_of(value), 1u);
  string::append_c_string(value, "\xE9");
  EXPECT_EQ(unit_of(value), 2u);  // appended one at a time: 233 widens
  EXPECT_EQ(text_of(value), "abcde\xC3\xA9");
}

// ---- Conversions --------------------------------------------------------------------------

TEST_F(Strings, LoadFromUtf8AndUtf16) {
  const uint8_t utf16[] = {'a', 0, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 'z'};  // odd byte left over
  cell* loaded = string::load(utf16, sizeof utf16, string::encoding::utf16le);
  EXPECT_EQ(text_of(*loaded), "a\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(unit_of(*loaded), 4u);

  cell target;
  const char* text = "caf\xC3\xA9";
  string::load_at(reinterpret_cast<const uint8_t*>(text), 5, &target, string::encoding::utf8);
  EXPECT_EQ(text_of(target), text);
  EXPECT_EQ(unit_of(target), 1u);

  cell block{TYPE_BLOCK, 0, alloc_cells(2), 0};
  cell* slot = string::load_in(reinterpret_cast<const uint8_t*>("xy"), 2, block, string::encoding::utf8);
  EXPECT_EQ(buffer_of(block.payload2)->count(), 1u);
  EXPECT_EQ(text_of(*slot), "xy");

  cell bytes = utf8("hello");
  bytes.payload1 = 1;
  EXPECT_EQ(text_of(*string::make_from_utf8_series(bytes, 3)), "ell");
  EXPECT_EQ(text_of(*string::make_from_utf8_series(bytes, 99)), "ello");

  const char* number = "x12.5e1y";
  EXPECT_EQ(string::to_float(reinterpret_cast<const uint8_t*>(number) + 1,
                             reinterpret_cast<const uint8_t*>(number) + 7), 125.0);
}

TEST(StringDeath, AnUnknownEncodingIsAnAssertion) {
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        string::load(reinterpret_cast<const uint8_t*>("x"), 1, static_cast<string::encoding>(3));
      },
      ::testing::ExitedWithCode(98), "\\*\\*\\* Runtime Error 98: assertion failed");
}

TEST(StringHex, HexText) {
  struct row {
    int32_t value;
    bool short_form;
    const char* expected;
  };
  for (const row& r : {row{255, true, "FF"}, row{255, false, "000000FF"}, row{-1, false, "FFFFFFFF"},
                       row{0, true, "00"}, row{0, false, "00000000"}, row{30, true, "1E"},
                       row{0x10FFFF, true, "10FFFF"},
                       row{-16, true, "F0"}, row{0x7FFFFFFF, false, "7FFFFFFF"}}) {
    EXPECT_STREQ(string::to_hex(r.value, r.short_form), r.expected) << r.value;
  }
  EXPECT_STREQ(string::byte_to_hex(0xA7), "A7");
  EXPECT_STREQ(string::byte_to_hex(0x05), "05");
}

// ---- Form and mold ------------------------------------------------------------------------

TEST_F(Strings, MoldChoosesDelimitersAndEscapes) {
  struct row {
    const char* text;
    const char* expected;
  };
  for (const row& r : {
           row{"", "\"\""},
           row{"a\tb", "\"a^-b\""},
           row{"ab\"c", "{ab\"c}"},
           row{"a\nb\nc", "\"a^/b^/c\""},
           row{"a\nb\nc\nd", "{a^/b^/c^/d}"},
           row{"a{b", "\"a{b\""},
           row{"a{\"b", "{a^{\"b}"},
           row{"{a{b}}\"", "{{a{b}}\"}"},
           row{"{a}{b\"", "{{a}^{b\"}"},
           row{"}a{\"", "{^}a^{\"}"},
           row{"{{}\"", "{^{^{^}\"}"},
           row{"a^b", "\"a^^b\""},
           row{"^\"", "{^^\"}"},
           row{"\x1E", "\"^(1E)\""},
           row{"\x1B\x1F", "\"^[^_\""},
           row{"\x7F", "\"^~\""},
           row{"\xC2\x80\xC2\x9F\xC2\xA0", "\"^(80)^(9F)\xC2\xA0\""},
           row{"\xE2\x82\xAC", "\"\xE2\x82\xAC\""},
           row{"\"\xE2\x82\xAC{\t", "{\"\xE2\x82\xAC^{^-}"},
       }) {
    EXPECT_EQ(molded(utf8(r.text)), r.expected) << r.text;
  }
  cell nul;
  string::ts_make_at(nul, 1);
  text::append_char(nul, 0);
  EXPECT_EQ(molded(nul), "\"^@\"");
}

TEST_F(Strings, MoldAllEscapesEverythingAbove127) {
  EXPECT_EQ(molded(utf8("a\xC2\xA0\xE2\x82\xAC\x7F"), true), "\"a^(A0)^(20AC)^~\"");
  EXPECT_EQ(molded(utf8("{x\"\xC3\xA9}}"), true), "{{x\"^(E9)}^}}");
  cell result = testing::call_entry(actions::entry::mold, {utf8("\xF0\x9F\x98\x80")}, {-1, 0, -1, -1});
  EXPECT_EQ(text_of(result), "\"^(1F600)\"");
  EXPECT_EQ(unit_of(result), 1u);
}

TEST_F(Strings, MoldSwitchesToBracesAtFiftyCharacters) {
  EXPECT_EQ(molded(repeated('x', 49)), "\"" + std::string(49, 'x') + "\"");
  EXPECT_EQ(molded(repeated('x', 50)), "{" + std::string(50, 'x') + "}");
  cell tail_part = repeated('x', 60);
  tail_part.payload1 = 11;  // 49 from the head
  EXPECT_EQ(molded(tail_part), "\"" + std::string(49, 'x') + "\"");
}

TEST_F(Strings, MoldAndFormWithABudget) {
  cell value = utf8("abcdef");
  value.payload1 = 1;
  EXPECT_EQ(formed(value), "bcdef");
  EXPECT_EQ(text_of(testing::call_entry(actions::entry::form, {value, integer(3)}, {1})), "bcd");
  EXPECT_EQ(text_of(testing::call_entry(actions::entry::mold, {value, integer(4)}, {-1, -1, -1, 1})), "\"bcd");

  cell out;
  string::ts_make_at(out, 4);
  cell part = integer(3);
  EXPECT_EQ(string::mold(&value, &out, false, false, false, &part, 3, 0), 3 - 3 - 2);
  EXPECT_EQ(text_of(out), "\"bcd\"");  // the range is cut, the entry cuts the rest
  EXPECT_EQ(string::mold(&value, &out, false, false, false, nullptr, 100, 0), 100 - 5 - 2);
  EXPECT_EQ(string::form(&value, &out, &part, 3), 3 - 5);
  EXPECT_EQ(text_of(out), "\"bcd\"\"bcdef\"bcd");
}

TEST_F(Strings, EscapedCharForOtherTexts) {
  cell out;
  string::ts_make_at(out, 4);
  for (uint32_t cp : {uint32_t{'"'}, 9u, 0x85u, 0xE9u, 0x20ACu}) string::append_escaped_char(out, cp, false);
  string::append_escaped_char(out, 0xE9, true);
  EXPECT_EQ(text_of(out), "^\"^-^(85)\xC3\xA9\xE2\x82\xAC^(E9)");
}

// ---- Comparison ---------------------------------------------------------------------------

TEST_F(Strings, CompareFoldsCaseExceptStrictly) {
  using namespace actions::op;
  struct row {
    const char* a;
    const char* b;
    int32_t op;
    bool expected;
  };
  for (const row& r : {row{"abc", "ABC", equal, true}, row{"abc", "ABC", strict_equal, false},
                       row{"abc", "ABC", not_equal, false}, row{"ab", "abc", lesser, true},
                       row{"abc", "ab", greater, true}, row{"abc", "ab", equal, false}, row{"", "", equal, true},
                       row{"", "a", lesser, true}, row{"a", "", greater_or_equal, true}, row{"a", "B", lesser, true},
                       row{"b", "A", greater, true}, row{"_", "a", greater, true},
                       row{"\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", equal, true},
                       row{"\xC3\xA9", "\xC3\x89", strict_equal, false},
                       row{"\xE2\x82\xAC" "a", "\xE2\x82\xAC" "A", find, true},
                       row{"\xF0\x9F\x98\x80", "\xE2\x82\xAC", greater, true},
                       row{"abd", "abc", lesser_or_equal, false}}) {
    cell a = utf8(r.a);
    cell b = utf8(r.b);
    EXPECT_EQ(actions::compare(&a, &b, r.op), r.expected) << r.a << " op " << r.op << " " << r.b;
  }
}

TEST_F(Strings, CompareOrdersWithCaseOnlyInCaseSort) {
  cell upper = utf8("B");
  cell lower = utf8("a");
  EXPECT_LT(string::compare(&lower, &upper, actions::op::sort), 0);
  EXPECT_GT(string::compare(&lower, &upper, actions::op::case_sort), 0);
}

TEST_F(Strings, SameAndOtherTextTypes) {
  cell a = utf8("abc");
  cell b = a;
  cell c = utf8("abc");
  EXPECT_TRUE(actions::compare(&a, &b, actions::op::same));
  EXPECT_FALSE(actions::compare(&a, &c, actions::op::same));
  b.payload1 = 1;
  EXPECT_FALSE(actions::compare(&a, &b, actions::op::same));

  cell file = utf8("ABC");
  set_type(file, TYPE_FILE);
  EXPECT_TRUE(actions::compare(&a, &file, actions::op::equal));
  EXPECT_FALSE(actions::compare(&a, &file, actions::op::not_equal));
  EXPECT_EQ(string::compare(&a, &file, actions::op::strict_equal), actions::not_comparable);
  EXPECT_EQ(fired_by([&] { actions::compare(&a, &file, actions::op::lesser); }), error_id::script_invalid_compare);
  cell number = integer(1);
  EXPECT_FALSE(actions::compare(&a, &number, actions::op::equal));
  EXPECT_TRUE(actions::compare(&a, &number, actions::op::not_equal));
}

TEST_F(Strings, PrefixModeAndSymbols) {
  using namespace actions::op;
  struct row {
    const char* a;
    const char* b;
    int32_t op;
    int32_t expected;
  };
  for (const row& r : {row{"abcd", "AB", equal, 0}, row{"abcd", "AB", strict_equal, 1}, row{"ab", "abc", equal, 1},
                       row{"abc", "", equal, 0}, row{"abc", "", find, 1}, row{"abc", "b", equal, -1},
                       row{"abc", "abc", equal, 0}}) {
    EXPECT_EQ(string::compare_strings(utf8(r.a), utf8(r.b), r.op, true), r.expected) << r.a << " " << r.b;
  }
  cell record = *symbol::record(symbol::make("Hello"));  // spelling not built yet
  EXPECT_EQ(string::compare_strings(record, utf8("hello"), equal, false), 0);
  EXPECT_EQ(string::compare_strings(utf8("help"), record, lesser, false), 1);

  cell key = utf8("abcdef");
  key.header = 56;
  key.payload3 = 3;  // a text key: its own length
  EXPECT_EQ(string::compare_strings(utf8("abc"), key, equal, false), 0);
}

// ---- Sorting ------------------------------------------------------------------------------

struct sort_options {
  bool case_sensitive = false;
  cell* skip = nullptr;
  cell* comparator = nullptr;
  cell* part = nullptr;
  bool all = false;
  bool reverse = false;
  bool stable = false;
};

cell sorted(cell value, const sort_options& o = {}) {
  actions::sort(&value, o.case_sensitive, o.skip, o.comparator, o.part, o.all, o.reverse, o.stable);
  return value;
}

TEST_F(Strings, SortFoldsToUpperCaseAtEveryWidth) {
  cell two = integer(2);
  cell one = integer(1);
  struct row {
    const char* text;
    sort_options options;
    const char* expected;
  };
  for (const row& r : {row{"bA", {}, "Ab"},
                       row{"a_", {}, "a_"},
                       row{"_a\xE2\x82\xAC", {}, "a_\xE2\x82\xAC"},
                       row{"dCbA", {}, "AbCd"},
                       row{"bA", {.case_sensitive = true}, "Ab"},
                       row{"baBA", {.case_sensitive = true}, "ABab"},
                       row{"\xC3\xA9" "aZ", {}, "aZ\xC3\xA9"},
                       row{"cab", {.reverse = true}, "cba"},
                       row{"b2a1c0", {.skip = &two}, "a1b2c0"},
                       row{"b2a1c0", {.skip = &two, .comparator = &two}, "c0a1b2"},
                       row{"a2a1b0", {.skip = &two, .all = true}, "a1a2b0"},
                       row{"a2c1b0", {.skip = &two, .comparator = &one, .reverse = true}, "c1b0a2"},
                       row{"dcba", {.part = &two}, "cdba"},
                       row{"", {.skip = &two}, ""}}) {
    cell value = utf8(r.text);
    EXPECT_EQ(text_of(sorted(value, r.options)), r.expected) << r.text;
  }
}

TEST_F(Strings, SortPartAsPositionAndBackwards) {
  cell value = utf8("zdcbay");
  value.payload1 = 1;
  cell end = value;
  end.payload1 = 5;
  sort_options by_position;
  by_position.part = &end;
  sorted(value, by_position);
  value.payload1 = 0;
  EXPECT_EQ(text_of(value), "zabcdy");

  cell back = utf8("dcbaz");
  back.payload1 = 3;
  cell minus_two = integer(-2);
  sort_options backwards;
  backwards.part = &minus_two;
  cell answer = sorted(back, backwards);
  EXPECT_EQ(answer.payload1, 3u);  // the head stays
  back.payload1 = 0;
  EXPECT_EQ(text_of(back), "dbcaz");
  cell minus_nine = integer(-9);
  backwards.part = &minus_nine;  // clipped at the buffer start
  back.payload1 = 3;
  sorted(back, backwards);
  back.payload1 = 0;
  EXPECT_EQ(text_of(back), "bcdaz");
}

TEST_F(Strings, SortRefinementErrors) {
  cell two = integer(2);
  cell three = integer(3);
  cell zero = integer(0);
  cell text = utf8("x");
  struct row {
    sort_options options;
    error_id expected;
  };
  for (const row& r : {row{{.skip = &three}, error_id::script_invalid_refine_arg},
                       row{{.skip = &zero}, error_id::script_invalid_refine_arg},
                       row{{.skip = &text}, error_id::script_invalid_refine_arg},
                       row{{.all = true}, error_id::script_bad_refines},
                       row{{.comparator = &two}, error_id::script_bad_refines},
                       row{{.skip = &two, .comparator = &two, .all = true}, error_id::script_bad_refines},
                       row{{.skip = &two, .comparator = &three}, error_id::script_out_of_range},
                       row{{.skip = &two, .comparator = &zero}, error_id::script_out_of_range},
                       row{{.comparator = &text}, error_id::script_invalid_refine_arg},
                       row{{.part = &text}, error_id::script_invalid_refine_arg}}) {
    cell value = utf8("dcba");
    EXPECT_EQ(fired_by([&] { sorted(value, r.options); }), r.expected) << error_info(r.expected).word;
    EXPECT_EQ(text_of(value), "dcba");
  }
  cell value = utf8("dcba");
  EXPECT_EQ(fired_by([&] { sorted(value, {.skip = &three}); }), error_id::script_invalid_refine_arg);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "skip");
  EXPECT_EQ(scalar::integer_value(last_fired.args[1]), 3);
}

// Records of a key and a serial character: the serials of equal keys must keep their order.
TEST_F(Strings, StableSortKeepsEqualRecordsInOrderAlsoWithCase) {
  cell value;
  string::ts_make_at(value, 600);
  series_buffer* buffer = buffer_of(value.payload2);
  const char keys[] = "dBbaDA";
  for (uint32_t i = 0; i < 300; ++i) {
    buffer = string::append_char(buffer, static_cast<uint8_t>(keys[(i * 7) % 6]));
    buffer = string::append_char(buffer, 0x100 + i);
  }
  cell two = integer(2);
  for (bool case_sensitive : {false, true}) {
    cell copy = value;
    sort_options options{.case_sensitive = case_sensitive, .skip = &two, .stable = true};
    sorted(copy, options);
    for (uint32_t r = 1; r < 300; ++r) {
      uint32_t key1 = string::ts_abs_at(copy, 2 * r - 2);
      uint32_t key2 = string::ts_abs_at(copy, 2 * r);
      if (!case_sensitive) {
        key1 = case_folding::change_char(key1, true);
        key2 = case_folding::change_char(key2, true);
      }
      ASSERT_LE(key1, key2) << r;
      if (key1 == key2) {
        ASSERT_LT(string::ts_abs_at(copy, 2 * r - 1), string::ts_abs_at(copy, 2 * r + 1)) << r;
      }
    }
  }
}

// Stands in for the interpreter: the function answers whether first < second (as [a b][a < b]
// does), as a logic! or, for a function whose flag is off, as -1 or 1. What it is handed is
// noted.
std::vector<std::pair<uint8_t, uint32_t>> handed;  // type, length of text
cell less_than(const cell& function, const cell& first, const cell& second) {
  handed.emplace_back(first.type(), first.type() == TYPE_CHAR ? 0 : string::ts_length_p(first));
  if (first.type() == TYPE_CHAR) return logic::value_of(first.payload2 < second.payload2);
  bool less = tav::string::compare_strings(first, second, actions::op::lesser, false) < 0;
  return logic::get(function) ? logic::value_of(less) : scalar::integer(less ? -1 : 1);
}

TEST_F(Strings, SortWithAComparatorFunction) {
  cell function = logic::value_of(true);
  set_type(function, TYPE_FUNCTION);
  cell value = utf8("cab");
  string::set_comparator_call(nullptr);  // a function comparator needs the interpreter's call
  EXPECT_EQ(fired_by([&] { sorted(value, {.comparator = &function}); }), error_id::internal_not_done);

  string::set_comparator_call(&less_than);
  handed.clear();
  EXPECT_EQ(text_of(sorted(utf8("cadb"), {.comparator = &function})), "abcd");
  ASSERT_FALSE(handed.empty());
  EXPECT_EQ(handed[0].first, TYPE_CHAR);
  EXPECT_EQ(text_of(sorted(utf8("cadb"), {.comparator = &function, .reverse = true})), "dcba");

  cell two = integer(2);
  handed.clear();
  EXPECT_EQ(text_of(sorted(utf8("b1a9a2"), {.skip = &two, .comparator = &function, .all = true, .stable = true})),
            "a2a9b1");
  ASSERT_FALSE(handed.empty());
  EXPECT_EQ(handed[0], (std::pair<uint8_t, uint32_t>{TYPE_STRING, 2}));

  cell integer_answers = logic::value_of(false);  // the function answers -1 or 1
  set_type(integer_answers, TYPE_FUNCTION);
  EXPECT_EQ(text_of(sorted(utf8("b1a9a2"), {.skip = &two, .comparator = &integer_answers, .all = true})), "a2a9b1");
  string::set_comparator_call(nullptr);
}

TEST_F(Strings, VectorsSortTheirNumbers) {
  node_id node = alloc_series(4, 4, 0);
  int32_t in[4] = {3, -1, 2, -7};
  std::memcpy(buffer_of(node)->head(), in, sizeof in);
  buffer_of(node)->tail += sizeof in;
  cell numbers{TYPE_VECTOR, 0, node, TYPE_INTEGER};
  string::sort(&numbers, false, nullptr, nullptr, nullptr, false, false, false);
  int32_t out[4];
  std::memcpy(out, buffer_of(node)->head(), sizeof out);
  EXPECT_EQ(std::vector<int32_t>(out, out + 4), (std::vector<int32_t>{-7, -1, 2, 3}));

  node_id floats = alloc_series(3, 8, 0);
  double values[3] = {2.5, -0.5, 1.0};
  std::memcpy(buffer_of(floats)->head(), values, sizeof values);
  buffer_of(floats)->tail += sizeof values;
  cell vector{TYPE_VECTOR, 0, floats, TYPE_FLOAT};
  string::sort(&vector, false, nullptr, nullptr, nullptr, false, true, true);
  std::memcpy(values, buffer_of(floats)->head(), sizeof values);
  EXPECT_EQ(std::vector<double>(values, values + 3), (std::vector<double>{2.5, 1.0, -0.5}));
}

}  // namespace
}  // namespace tav
