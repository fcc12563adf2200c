// Searching text: find and select with their refinements, across widths and on binaries, path
// access, and the match tests of PARSE.
#include <cctype>
#include <functional>
#include <optional>

#include "datatypes/binary.hpp"
#include "datatypes/bitset.hpp"
#include "runtime/fire_helpers.hpp"
#include "text_fixture.hpp"

namespace tav {
namespace {

using testing::fired_by;
using testing::text_of;
using testing::texts::character;
using testing::texts::integer;
using testing::texts::text_value;
using TextSearch = testing::text_values;

// The refinements of one search, set by chained calls.
struct how {
  bool case_sensitive = false, same = false, last = false, reverse = false, tail = false, match = false;
  std::optional<int32_t> part, skip;
  how& cased() { return case_sensitive = true, *this; }
  how& same_() { return same = true, *this; }
  how& last_() { return last = true, *this; }
  how& reverse_() { return reverse = true, *this; }
  how& tail_() { return tail = true, *this; }
  how& match_() { return match = true, *this; }
  how& part_(int32_t n) { return part = n, *this; }
  how& skip_(int32_t n) { return skip = n, *this; }
};

cell found(cell series, cell value, const how& h = {}) {
  cell part = integer(h.part.value_or(0));
  cell skip = integer(h.skip.value_or(0));
  return *string::find(&series, &value, h.part ? &part : nullptr, false, h.case_sensitive, h.same, false, nullptr,
                       h.skip ? &skip : nullptr, h.last, h.reverse, h.tail, h.match);
}

// The text from the found position, or "none".
std::string rest_after(const cell& series, const cell& value, const how& h = {}) {
  cell result = found(series, value, h);
  return result.type() == TYPE_NONE ? "none" : text_of(result);
}

cell selected(cell series, cell value, const how& h = {}) {
  cell skip = integer(h.skip.value_or(0));
  return *string::select(&series, &value, nullptr, false, h.case_sensitive, h.same, false, nullptr,
                         h.skip ? &skip : nullptr, h.last, h.reverse);
}

// A bitset! of the characters of the UTF-8 text, or of every other code point.
cell charset(const char* members, bool complemented = false) {
  cell made = *bitset::make_from_spec(text_value(members), 0);
  return complemented ? *actions::complement(&made) : made;
}

TEST_F(TextSearch, FindRefinements) {
  struct row {
    const char* text;
    const char* pattern;
    how h;
    const char* expected;
  };
  for (const row& r : {
           row{"abc", "B", how(), "bc"},
           row{"abc", "B", how().cased(), "none"},
           row{"abc", "B", how().same_(), "none"},
           row{"abc", "b", how().tail_(), "c"},
           row{"abc", "a", how().match_(), "abc"},
           row{"abc", "a", how().tail_().match_(), "bc"},
           row{"abc", "b", how().match_(), "none"},
           row{"abc", "a", how().part_(0), "none"},
           row{"abcabc", "bc", how().part_(2), "none"},
           row{"abcabc", "bc", how().part_(3), "bcabc"},
           row{"abcb", "b", how().skip_(2), "none"},
           row{"abcb", "c", how().skip_(2), "cb"},
           row{"abcabc", "b", how().last_(), "bc"},
           row{"abcabc", "bc", how().last_().tail_(), ""},
           row{"abcabc", "ab", how().last_().match_(), "none"},
           row{"abcabc", "bc", how().last_().match_(), "bc"},
           row{"", "a", how(), "none"},
           row{"abc", "", how(), "none"},
           row{"abc", "abcd", how(), "none"},
           row{"a\xC3\xA9z", "\xC3\x89Z", how(), "\xC3\xA9z"},  // é matches É when folded
           row{"a\xC3\xA9z", "\xC3\x89", how().cased(), "none"},
           row{"x\xE2\x82\xAC" "ab", "AB", {}, "ab"},          // unit-2 text, unit-1 pattern
           row{"xxab", "\xF0\x9F\x98\x80", how(), "none"},        // unit-1 text, unit-4 pattern
           row{"a\xF0\x9F\x98\x80" "b", "\xF0\x9F\x98\x80" "B", how(), "\xF0\x9F\x98\x80" "b"},
       }) {
    EXPECT_EQ(rest_after(text_value(r.text), text_value(r.pattern), r.h), r.expected)
        << r.text << " / " << r.pattern;
  }
}

// Long texts are scanned many characters at a time: matches at every place of such a step,
// with a decoy of the same first letter just before, and in the last characters.
TEST_F(TextSearch, FoldedSearchOverLongTexts) {
  for (const char* pattern : {"aB", "A", "1b"}) {
    for (uint32_t at : {0u, 1u, 15u, 16u, 17u, 31u, 40u, 97u, 98u}) {
      std::string text(100, 'x');
      if (at >= 3 && pattern[1]) text[at - 3] = pattern[0];
      std::string wanted = pattern;
      for (char& c : wanted) c = static_cast<char>(c ^ (std::isalpha(static_cast<unsigned char>(c)) ? 0x20 : 0));
      text.replace(at, wanted.size(), wanted);
      cell value = text_value(text.c_str());
      cell result = found(value, text_value(pattern));
      ASSERT_EQ(result.type(), TYPE_STRING) << pattern << " at " << at;
      EXPECT_EQ(result.payload1, at) << pattern;
      EXPECT_EQ(found(value, text_value(pattern), how().cased()).type(), TYPE_NONE) << pattern << " at " << at;
    }
  }
}

// Backwards from the head: the candidates lie before it and the pattern must end by it.
TEST_F(TextSearch, ReverseSearchesBeforeTheHead) {
  cell text = text_value("abcabc", TYPE_STRING, 4);  // head on the second b
  EXPECT_EQ(rest_after(text, text_value("b"), how().reverse_()), "bcabc");
  EXPECT_EQ(rest_after(text, text_value("ab"), how().reverse_()), "abcabc");  // the later one passes it
  EXPECT_EQ(rest_after(text, text_value("bc"), how().reverse_()), "bcabc");  // the later one passes it
  EXPECT_EQ(rest_after(text, text_value("b"), how().reverse_().tail_()), "cabc");
  EXPECT_EQ(rest_after(text, text_value("b"), how().part_(2).reverse_()), "none");
  EXPECT_EQ(rest_after(text, text_value("ca"), how().part_(2).reverse_()), "cabc");
  cell end = text_value("abcabc", TYPE_STRING, 6);
  EXPECT_EQ(rest_after(end, character('a'), how().reverse_().skip_(2)), "abc") << "positions 5, 3, 1";
  EXPECT_EQ(rest_after(end, character('b'), how().reverse_().skip_(2)), "bcabc") << "4 is passed over";
  cell start = text_value("abc");
  EXPECT_EQ(rest_after(start, text_value("a"), how().reverse_()), "none");
  cell at_tail = text_value("abc", TYPE_STRING, 3);
  EXPECT_EQ(rest_after(at_tail, character('c'), how().reverse_()), "c");
}

// With /match the one candidate just before the head is tested.
TEST_F(TextSearch, ReverseMatchTestsTheCandidateBeforeTheHead) {
  cell text = text_value("abcabc", TYPE_STRING, 3);
  EXPECT_EQ(rest_after(text, character('c'), how().reverse_().match_()), "cabc");
  EXPECT_EQ(rest_after(text, text_value("bc"), how().reverse_().match_()), "bcabc");
  EXPECT_EQ(rest_after(text, text_value("BC"), how().reverse_().tail_().match_()), "abc");
  EXPECT_EQ(rest_after(text, character('a'), how().reverse_().match_()), "none");
  EXPECT_EQ(rest_after(text, text_value("ab"), how().reverse_().match_()), "none");
}

TEST_F(TextSearch, ValuesOfOtherTypes) {
  cell text = text_value("a12<b>xyz");
  EXPECT_EQ(rest_after(text, integer(12)), "12<b>xyz");  // formed
  EXPECT_EQ(rest_after(text, text_value("b", TYPE_TAG)), "<b>xyz");
  EXPECT_EQ(rest_after(text, text_value("XY", TYPE_FILE)), "xyz");
  EXPECT_EQ(rest_after(text, testing::global_word("Xyz")), "xyz");
  EXPECT_EQ(rest_after(text, character('Y')), "yz");
  EXPECT_EQ(rest_after(text, character('y'), how().tail_()), "z");
  EXPECT_EQ(rest_after(text, character('y'), how().skip_(2)), "none");  // positions 0, 2, 4, 6, 8
  EXPECT_EQ(rest_after(text, character('x'), how().skip_(3)), "xyz");   // positions 0, 3, 6
  EXPECT_EQ(rest_after(text, character('a'), how().skip_(3).tail_()), "<b>xyz");  // one step on

  cell digits = charset("0123456789");
  EXPECT_EQ(rest_after(text, digits), "12<b>xyz");
  EXPECT_EQ(rest_after(text, digits, how().last_()), "2<b>xyz");
  EXPECT_EQ(rest_after(text_value("ab\xE2\x82\xAC"), charset("ab", true)), "\xE2\x82\xAC");
}

TEST_F(TextSearch, Errors) {
  cell text = text_value("abc");
  cell bytes = cell{TYPE_BINARY, 0, alloc_bytes(4), 0};
  cell zero = integer(0);
  cell other = text_value("abc");
  cell word = testing::global_word("x");
  struct row {
    const char* what;
    std::function<void()> body;
    error_id expected;
  };
  for (const row& r : std::initializer_list<row>{
           {"binary in text", [&] { found(text, bytes); }, error_id::script_invalid_arg},
           {"skip 0", [&] { found(text, text_value("a"), how().skip_(0)); }, error_id::script_out_of_range},
           {"any", [&] {
              cell t = text, v = text_value("a");
              string::find(&t, &v, nullptr, false, false, false, true, nullptr, nullptr, false, false, false, false);
            }, error_id::internal_not_done},
           {"with", [&] {
              cell t = text, v = text_value("a");
              string::find(&t, &v, nullptr, false, false, false, false, &zero, nullptr, false, false, false, false);
            }, error_id::internal_not_done},
           {"part of another series", [&] {
              cell t = text, v = text_value("a");
              string::find(&t, &v, &other, false, false, false, false, nullptr, nullptr, false, false, false, false);
            }, error_id::script_invalid_refine_arg},
           {"skip not a number", [&] {
              cell t = text, v = text_value("a");
              string::find(&t, &v, nullptr, false, false, false, false, nullptr, &word, false, false, false, false);
            }, error_id::script_invalid_refine_arg},
       }) {
    EXPECT_EQ(fired_by(r.body), r.expected) << r.what;
  }
}

TEST_F(TextSearch, PartAsAPositionInTheSameSeries) {
  cell text = text_value("abcabc");
  cell end = text;
  end.payload1 = 3;
  cell t = text, v = text_value("c");
  ASSERT_EQ(string::find(&t, &v, &end, false, false, false, false, nullptr, nullptr, false, false, false, false)
                ->payload1,
            2u);
  t = text;
  v = text_value("ca");
  EXPECT_EQ(string::find(&t, &v, &end, false, false, false, false, nullptr, nullptr, false, false, false, false)
                ->type(),
            TYPE_NONE);
}

TEST_F(TextSearch, SelectAnswersTheCharacterAfterTheMatch) {
  cell text = text_value("abc12d");
  EXPECT_EQ(selected(text, text_value("a")).type(), TYPE_CHAR);
  EXPECT_EQ(selected(text, text_value("a")).payload2, uint32_t{'b'});
  EXPECT_EQ(selected(text, text_value("AB")).payload2, uint32_t{'c'});
  EXPECT_EQ(selected(text, integer(12)).payload2, uint32_t{'d'});  // after the whole formed text
  EXPECT_EQ(selected(text, character('c')).payload2, uint32_t{'1'});
  EXPECT_EQ(selected(text, character('a'), how().skip_(2)).payload2, uint32_t{'b'});
  EXPECT_EQ(selected(text, text_value("d")).type(), TYPE_NONE);
  EXPECT_EQ(selected(text, text_value("x")).type(), TYPE_NONE);
  EXPECT_EQ(selected(text_value("a\xE2\x82\xAC"), text_value("A")).payload2, 0x20ACu);
}

// A binary is searched byte by byte, never folded; text is looked for as its UTF-8 bytes.
TEST_F(TextSearch, InABinary) {
  const uint8_t raw[] = {'a', 'B', 0xC3, 0xA9, 200, 'x'};
  cell bytes = *binary::load(raw, sizeof raw);
  auto position = [&](cell value, const how& h = {}) {
    cell result = found(bytes, value, h);
    return result.type() == TYPE_NONE ? -1 : static_cast<int32_t>(result.payload1);
  };
  EXPECT_EQ(position(text_value("b")), -1);
  EXPECT_EQ(position(text_value("B")), 1);
  EXPECT_EQ(position(text_value("\xC3\xA9")), 2);
  EXPECT_EQ(position(integer(200)), 4);
  EXPECT_EQ(position(character(200)), 4);
  EXPECT_EQ(position(integer(200), how().tail_()), 5);
  cell after = selected(bytes, integer(200));
  EXPECT_EQ(after.type(), TYPE_INTEGER);
  EXPECT_EQ(after.payload2, uint32_t{'x'});
}

TEST_F(TextSearch, PathAccessByValue) {
  cell text = text_value("key=val");
  cell parent = text;
  cell element = character('=');
  cell* got = string::eval_path(&parent, &element, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false);
  EXPECT_EQ(got->type(), TYPE_CHAR);
  EXPECT_EQ(got->payload2, uint32_t{'v'});

  cell word = testing::global_word("key");
  parent = text;
  EXPECT_EQ(fired_by([&] {
              string::eval_path(&parent, &word, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false);
            }),
            error_id::script_invalid_path);
  cell missing = character('#');
  cell value = character('!');
  parent = text;
  EXPECT_EQ(fired_by([&] {
              string::eval_path(&parent, &missing, &value, nullptr, nullptr, nullptr, 0, false, false, true, false);
            }),
            error_id::script_bad_path_set);
}

TEST_F(TextSearch, PathAccessByPosition) {
  cell text = text_value("abc");
  cell parent = text;
  cell two = integer(2);
  cell* got = string::eval_path(&parent, &two, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false);
  EXPECT_EQ(got->type(), TYPE_CHAR);
  EXPECT_EQ(got->payload2, uint32_t{'b'});

  cell euro = character(0x20AC);
  parent = text;
  string::eval_path(&parent, &two, &euro, nullptr, nullptr, nullptr, 0, false, false, true, false);
  EXPECT_EQ(text_of(text), "a\xE2\x82\xAC" "c");

  cell key = character('a');
  cell bang = character('!');
  parent = text;
  string::eval_path(&parent, &key, &bang, nullptr, nullptr, nullptr, 0, false, false, true, false);
  EXPECT_EQ(text_of(text), "a!c") << "the character after the key";

  cell nine = integer(9);
  parent = text;
  EXPECT_EQ(string::eval_path(&parent, &nine, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false)->type(),
            TYPE_NONE);
  parent = text;
  EXPECT_EQ(fired_by([&] {
              string::eval_path(&parent, &nine, &bang, nullptr, nullptr, nullptr, 0, false, false, true, false);
            }),
            error_id::script_out_of_range);
}

TEST_F(TextSearch, MatchTests) {
  cell text = text_value("<ab>cd", TYPE_STRING);
  EXPECT_TRUE(string::match_tag_p(text, text_value("ab", TYPE_TAG)));
  EXPECT_TRUE(string::match_tag_p(text, text_value("xy", TYPE_TAG)));  // the brackets alone decide
  EXPECT_FALSE(string::match_tag_p(text, text_value("a", TYPE_TAG)));
  EXPECT_FALSE(string::match_tag_p(text, text_value("abcdef", TYPE_TAG)));

  struct row {
    cell value;
    int32_t op;
    bool expected;
  };
  for (const row& r : {row{text_value("AB", TYPE_TAG), actions::op::equal, true},
                       row{text_value("AB", TYPE_TAG), actions::op::strict_equal, false},
                       row{text_value("xy", TYPE_TAG), actions::op::equal, false},
                       row{character('<'), actions::op::equal, true},
                       row{text_value("<A"), actions::op::equal, true},
                       row{text_value("<A"), actions::op::strict_equal, false},
                       row{text_value("<ab>cd!"), actions::op::equal, false},
                       row{text_value("<a", TYPE_URL), actions::op::equal, true},
                       row{integer(1), actions::op::equal, false}}) {
    EXPECT_EQ(string::match_value_p(text, r.value, r.op), r.expected) << testing::molded(r.value) << " " << r.op;
  }
  cell wide = text_value("\xC3\xA9t\xC3\xA9");
  EXPECT_TRUE(string::match_value_p(wide, character(0xC9), actions::op::equal));
  EXPECT_TRUE(string::match_bitset_p(wide, charset("\xC3\xA9")));
  EXPECT_FALSE(string::match_bitset_p(wide, charset("t")));
  EXPECT_TRUE(string::match_bitset_p(text_value("\xE2\x82\xAC"), charset("t", true)));
  EXPECT_FALSE(string::match_bitset_p(text_value(""), charset("t", true)));
}

}  // namespace
}  // namespace tav
