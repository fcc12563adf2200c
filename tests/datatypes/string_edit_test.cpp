// Editing text: append, insert and change with their refinements, trim, swap, make and to, the
// set operations on text, and the reports an owned string sends.
#include <functional>
#include <string>

#include "datatypes/binary.hpp"
#include "datatypes/bitset.hpp"
#include "datatypes/set_ops.hpp"
#include "datatypes/typeset.hpp"
#include "runtime/collector.hpp"
#include "object_fixture.hpp"
#include "text_fixture.hpp"

namespace tav {
namespace {

using testing::call_entry;
using testing::fired_by;
using testing::molded;
using testing::text_of;
using testing::texts::block_of_values;
using testing::texts::character;
using testing::texts::integer;
using testing::texts::text_value;
using testing::texts::unit_of;
using testing::texts::whole_text;
using Editing = testing::text_values;

cell none_cell() { return none::value; }

// ---- append, insert, change ---------------------------------------------------------------

TEST_F(Editing, AppendByValueType) {
  struct row {
    cell series;
    cell value;
    const char* expected;
  };
  cell tag = text_value("b", TYPE_TAG);
  for (const row& r : {
           row{text_value("a"), tag, "a<b>"},
           row{text_value("a"), text_value("bc", TYPE_FILE), "abc"},
           row{text_value("a"), text_value("xyz", TYPE_STRING, 1), "ayz"},
           row{text_value("a"), character('b'), "ab"},
           row{text_value("a"), integer(12), "a12"},
           row{text_value("a"), none_cell(), "anone"},
           row{text_value("a"), block_of_values({integer(1), text_value("b"), character('c'), tag}), "a1bc<b>"},
           row{text_value(""), block_of_values({}), ""},
       }) {
    cell result = call_entry(actions::entry::append, {r.series, r.value});
    EXPECT_EQ(result.payload1, 0u) << "append answers the series at its head";
    EXPECT_EQ(whole_text(result), r.expected) << molded(r.value);
  }
}

TEST_F(Editing, AppendPartAndDup) {
  struct row {
    cell value;
    int32_t part;  // -1: none
    int32_t dup;   // -1: none
    const char* expected;
  };
  cell tag = text_value("bcd", TYPE_TAG);
  for (const row& r : {
           row{text_value("ab"), -1, 3, "xababab"},
           row{text_value("ab"), -1, 0, "x"},
           row{text_value("ab"), -1, 1, "xab"},
           row{text_value("abcd"), 2, -1, "xab"},
           row{text_value("abcd"), 2, 2, "xabab"},
           row{character(0x20AC), -1, 4, "x\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"},
       }) {
    stack::arguments = stack::top = stack::bottom;
    stack::push_copy(text_value("x"));
    stack::push_copy(r.value);
    int32_t part_at = -1, dup_at = -1;
    if (r.part >= 0) {
      part_at = static_cast<int32_t>(stack::top - stack::arguments);
      stack::push_copy(integer(r.part));
    }
    if (r.dup >= 0) {
      dup_at = static_cast<int32_t>(stack::top - stack::arguments);
      stack::push_copy(integer(r.dup));
    }
    int32_t positions[16] = {part_at, -1, dup_at};
    std::fill(positions + 3, positions + 16, -1);
    actions::entry::append(positions);
    EXPECT_EQ(whole_text(*stack::arguments), r.expected) << molded(r.value) << " " << r.part << " " << r.dup;
  }
  // A part of a block is one budget of characters over all its elements.
  cell series = text_value("x");
  cell block = block_of_values({text_value("ab"), integer(345), tag});
  string::insert(&series, &block, 4, false, 1, true);
  EXPECT_EQ(whole_text(series), "xab34");
  series = text_value("x");
  string::insert(&series, &tag, 3, false, 1, true);
  EXPECT_EQ(whole_text(series), "x<bc") << "each bracket takes one character of the part";
  series = text_value("x");
  string::insert(&series, &tag, 1, false, 1, true);
  EXPECT_EQ(whole_text(series), "x<");
}

// Sizes past what a buffer can hold are refused before anything changes.
TEST_F(Editing, AppendingTooMuchRaisesNoMemory) {
  for (cell value : {text_value("ab"), integer(12), character(0x20AC)}) {
    cell series = text_value("x");
    EXPECT_EQ(fired_by([&] { string::insert(&series, &value, -1, false, INT32_MAX, true); }),
              error_id::internal_no_memory)
        << molded(value);
    EXPECT_EQ(whole_text(series), "x");
  }
}

TEST_F(Editing, AppendWidensOnlyWhenNeeded) {
  cell series = text_value("a");
  cell value = character(65);
  string::insert(&series, &value, -1, false, 1, true);
  EXPECT_EQ(unit_of(series), 1u);
  value = character(200);
  string::insert(&series, &value, -1, false, 1, true);
  EXPECT_EQ(unit_of(series), 2u);
  EXPECT_EQ(whole_text(series), "aA\xC3\x88");
}

// A megabyte of Latin-1 takes a character beyond the BMP: one widening, nothing lost.
TEST_F(Editing, AppendingAWideCharacterToALargeLatin1String) {
  constexpr uint32_t size = 1 << 20;
  cell series = unset::value;
  string::ts_make_at(series, size);
  series_buffer* buffer = buffer_of(series.payload2);
  for (uint32_t i = 0; i < size; ++i) buffer->head()[i] = static_cast<uint8_t>(i * 7 % 256);
  buffer->tail = buffer->offset + size;
  cell wide = character(0x1F600);
  string::insert(&series, &wide, -1, false, 1, true);
  buffer = buffer_of(series.payload2);
  ASSERT_EQ(buffer->unit(), 4u);
  ASSERT_EQ(buffer->count(), size + 1);
  const auto* units = reinterpret_cast<const uint32_t*>(buffer->head());
  uint32_t wrong = 0;
  for (uint32_t i = 0; i < size; ++i) wrong += units[i] != i * 7 % 256;
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(units[size], 0x1F600u);
}

TEST_F(Editing, InsertRotatesTheNewTextIntoPlace) {
  struct row {
    const char* text;
    uint32_t head;
    cell value;
    int32_t dup;
    const char* whole;
    const char* rest;  // from the answer's position
  };
  for (const row& r : {
           row{"AB", 1, text_value("xyz"), 1, "AxyzB", "B"},
           row{"AB", 0, text_value("xy"), 2, "xyxyAB", "AB"},
           row{"AB", 2, text_value("xy"), 1, "ABxy", ""},
           row{"AB", 1, character(0x20AC), 1, "A\xE2\x82\xAC" "B", "B"},
           row{"A\xE2\x82\xAC", 1, text_value("\xF0\x9F\x98\x80!"), 1, "A\xF0\x9F\x98\x80!\xE2\x82\xAC",
               "\xE2\x82\xAC"},
           row{"AB", 1, integer(42), 1, "A42B", "B"},
       }) {
    cell series = text_value(r.text, TYPE_STRING, r.head);
    cell value = r.value;
    string::insert(&series, &value, -1, false, r.dup, false);
    EXPECT_EQ(whole_text(series), r.whole) << r.text << " " << molded(r.value);
    EXPECT_EQ(text_of(series), r.rest) << r.text << " " << molded(r.value);
  }
  // Into itself: the text as it was before the insertion.
  cell own = text_value("abc", TYPE_STRING, 1);
  cell same = text_value("abc");
  same.payload2 = own.payload2;
  string::insert(&own, &same, -1, false, 1, false);
  EXPECT_EQ(whole_text(own), "aabcbc");
}

TEST_F(Editing, ChangeOverwritesReplacesAndAppends) {
  struct row {
    const char* text;
    uint32_t head;
    cell value;
    int32_t part;
    int32_t dup;
    const char* whole;
    const char* rest;
  };
  for (const row& r : {
           row{"abcdef", 1, text_value("XY"), -1, 1, "aXYdef", "def"},
           row{"abcdef", 1, text_value("X"), 3, 1, "aXef", "ef"},
           row{"abcdef", 1, text_value("XYZW"), 1, 1, "aXYZWcdef", "cdef"},
           row{"abcdef", 1, text_value("X"), 0, 1, "aXbcdef", "bcdef"},
           row{"abc", 2, text_value("XYZ"), -1, 1, "abXYZ", ""},
           row{"abc", 3, text_value("XY"), -1, 1, "abcXY", ""},
           row{"abcdef", 0, text_value("XY"), -1, 2, "XYXYef", "ef"},
           row{"abcdef", 2, character(0x20AC), -1, 1, "ab\xE2\x82\xAC" "def", "def"},
           row{"abcdef", 2, integer(7), 10, 1, "ab7", ""},
           row{"abcdef", 1, text_value("\xE2\x82\xAC\xE2\x82\xAC"), 1, 1, "a\xE2\x82\xAC\xE2\x82\xAC" "cdef", "cdef"},
       }) {
    cell series = text_value(r.text, TYPE_STRING, r.head);
    cell value = r.value;
    string::change(&series, &value, r.part, false, r.dup);
    EXPECT_EQ(whole_text(series), r.whole) << r.text << " " << molded(r.value) << " " << r.part;
    EXPECT_EQ(text_of(series), r.rest) << r.text << " " << molded(r.value) << " " << r.part;
  }
}

TEST_F(Editing, TakeAnswersACharacterWithoutAPart) {
  cell series = text_value("a\xE2\x82\xAC" "c");
  cell taken = series;
  string::take(&taken, nullptr, false, false);
  EXPECT_EQ(taken.type(), TYPE_CHAR);
  EXPECT_EQ(taken.payload2, uint32_t{'a'});
  taken = series;
  string::take(&taken, nullptr, false, true);
  EXPECT_EQ(taken.payload2, uint32_t{'c'});
  EXPECT_EQ(whole_text(series), "\xE2\x82\xAC");
  taken = series;
  cell two = integer(2);
  string::take(&taken, &two, false, false);
  EXPECT_EQ(taken.type(), TYPE_STRING);
  EXPECT_EQ(text_of(taken), "\xE2\x82\xAC");
  EXPECT_EQ(whole_text(series), "");
  taken = series;
  string::take(&taken, nullptr, false, false);
  EXPECT_EQ(taken.type(), TYPE_NONE);

  const uint8_t raw[] = {200, 1};
  cell byte = *binary::load(raw, sizeof raw);
  actions::take(&byte, nullptr, false, false);
  EXPECT_EQ(byte.type(), TYPE_INTEGER);
  EXPECT_EQ(byte.payload2, 200u);
}

// ---- trim ---------------------------------------------------------------------------------

TEST_F(Editing, TrimModes) {
  enum mode { plain, head, tail, both, lines, all };
  struct row {
    const char* text;
    mode how;
    const char* expected;
  };
  for (const row& r : {
           row{"x  \n", plain, "x\n"},
           row{"x  \n", tail, "x"},
           row{"  x  ", head, "x  "},
           row{"  x  ", tail, "  x"},
           row{" \t x \n ", both, "x"},
           row{"  a  \n \t b  \n  ", plain, "a\nb\n"},
           row{"a \r\nb", plain, "a \r\nb"},  // inside lines a carriage return stays
           row{"\xE3\x80\x80x\xC2\xA0", plain, "x"},  // U+3000 and U+00A0 at the ends
           row{"  one\n\t\ttwo  three  \n", lines, "one two three"},
           row{"\n\n", lines, ""},
           row{" a b\tc\r\n ", all, "abc"},
           row{"", plain, ""},
       }) {
    cell series = text_value(r.text);
    string::trim(&series, r.how == head || r.how == both, r.how == tail || r.how == both, false, r.how == lines,
                 r.how == all, nullptr);
    EXPECT_EQ(text_of(series), r.expected) << r.text << " " << r.how;
  }
}

TEST_F(Editing, TrimWithASet) {
  struct row {
    const char* text;
    cell with;
    const char* expected;
  };
  const uint8_t raw[] = {'a', 0xE9};
  cell bytes = *binary::load(raw, sizeof raw);
  for (const row& r : {
           row{"a-b_c", text_value("-_"), "abc"},
           row{"a-b_c.d:e;f", text_value(".;:_-"), "abcdef"},  // more than four characters
           row{"\xE2\x82\xAC" "a\xE2\x82\xAC", text_value("xyzw\xE2\x82\xAC"), "a"},
           row{"banana", character('a'), "bnn"},
           row{"banana", integer('n'), "baaa"},
           row{"caf\xC3\xA9!", bytes, "cf!"},
       }) {
    cell series = text_value(r.text);
    cell with = r.with;
    string::trim(&series, false, false, false, false, false, &with);
    EXPECT_EQ(text_of(series), r.expected) << r.text;
  }
  cell series = text_value("  x y  ", TYPE_STRING, 3);
  string::trim(&series, false, false, false, false, true, nullptr);
  EXPECT_EQ(whole_text(series), "  xy") << "only from the head on";

  cell block = block_of_values({});
  EXPECT_EQ(fired_by([&] { string::trim(&series, false, false, false, false, false, &block); }),
            error_id::script_invalid_arg);
  EXPECT_EQ(fired_by([&] { string::trim(&series, false, false, true, false, false, nullptr); }),
            error_id::internal_not_done);
}

// ---- swap ---------------------------------------------------------------------------------

TEST_F(Editing, SwapExchangesTheHeadCharacters) {
  cell a = text_value("ab");
  cell b = text_value("\xE2\x82\xAC" "x", TYPE_FILE);
  string::swap(&a, &b);
  EXPECT_EQ(whole_text(a), "\xE2\x82\xAC" "b");
  EXPECT_EQ(whole_text(b), "ax");

  cell at_tail = text_value("ab", TYPE_STRING, 2);
  cell c = text_value("cd");
  string::swap(&at_tail, &c);
  EXPECT_EQ(whole_text(c), "cd");

  // A binary takes the low byte of a wider character and stays one byte wide.
  const uint8_t raw[] = {'z'};
  cell bytes = *binary::load(raw, sizeof raw);
  cell wide = text_value("\xC4\x80!");  // U+0100
  actions::swap(&bytes, &wide);
  EXPECT_EQ(unit_of(bytes), 1u);
  EXPECT_EQ(buffer_of(bytes.payload2)->head()[0], 0);
  EXPECT_EQ(whole_text(wide), "z!");

  cell block = block_of_values({integer(1)});
  EXPECT_EQ(fired_by([&] { string::swap(&a, &block); }), error_id::script_invalid_arg);
}

// ---- make and to --------------------------------------------------------------------------

cell converted(uint8_t type, cell spec, bool make = false) {
  cell prototype = testing::datatype_cell(type);
  return make ? *actions::make(&prototype, &spec) : *actions::to(&prototype, &spec);
}

TEST_F(Editing, MakeAndTo) {
  cell bytes = *binary::load(reinterpret_cast<const uint8_t*>("a\xC3\xA9z"), 4);
  bytes.payload1 = 1;
  cell refinement = testing::global_word("go");
  set_type(refinement, TYPE_REFINEMENT);
  struct row {
    uint8_t type;
    cell spec;
    const char* expected;
  };
  for (const row& r : {
           row{TYPE_STRING, text_value("abc", TYPE_FILE, 1), "bc"},
           row{TYPE_STRING, text_value("b", TYPE_TAG), "b"},
           row{TYPE_FILE, text_value("x y"), "x y"},
           row{TYPE_STRING, block_of_values({integer(1), text_value("b"), character('c')}), "1bc"},
           row{TYPE_STRING, integer(-5), "-5"},
           row{TYPE_STRING, character(0x20AC), "\xE2\x82\xAC"},
           row{TYPE_STRING, bytes, "\xC3\xA9z"},
           row{TYPE_STRING, refinement, "go"},
           row{TYPE_TAG, refinement, "/go"},
       }) {
    cell result = converted(r.type, r.spec);
    EXPECT_EQ(result.type(), r.type) << molded(r.spec);
    EXPECT_EQ(text_of(result), r.expected) << molded(r.spec);
  }
  // The copy is a new series.
  cell source = text_value("abc");
  cell copy = converted(TYPE_STRING, source);
  EXPECT_NE(copy.payload2, source.payload2);

  cell empty = converted(TYPE_EMAIL, integer(10), true);
  EXPECT_EQ(empty.type(), TYPE_EMAIL);
  EXPECT_EQ(string::ts_length_p(empty), 0u);
  EXPECT_GE(buffer_of(empty.payload2)->size, 10u);
  EXPECT_EQ(string::ts_length_p(converted(TYPE_STRING, scalar::float_cell(3.7), true)), 0u);
  EXPECT_EQ(text_of(converted(TYPE_STRING, text_value("made"), true)), "made");

  // make binary! takes its counts here and hands other specs to binary!'s conversion.
  cell made = converted(TYPE_BINARY, text_value("a\xC3\xA9"), true);
  ASSERT_EQ(made.type(), TYPE_BINARY);
  EXPECT_EQ(binary::ts_length_p(made), 3u);
  EXPECT_EQ(binary::ts_head(made)[2], 0xA9);
  cell sized = converted(TYPE_BINARY, integer(40), true);
  EXPECT_EQ(sized.type(), TYPE_BINARY);
  EXPECT_EQ(binary::ts_length_p(sized), 0u);
  EXPECT_EQ(fired_by([] { converted(TYPE_BINARY, cell{TYPE_MONEY, 0, 0, 0}, true); }), error_id::script_bad_make_arg);

  EXPECT_EQ(fired_by([] { converted(TYPE_STRING, none::value); }), error_id::script_bad_to_arg);
  EXPECT_EQ(fired_by([] { converted(TYPE_STRING, none::value, true); }), error_id::script_bad_to_arg);
  EXPECT_EQ(fired_by([] { converted(TYPE_STRING, integer(-1), true); }), error_id::script_out_of_range);
}

// ---- set operations -----------------------------------------------------------------------

cell set_operation(int32_t code, cell set1, cell set2, bool case_sensitive = false, int32_t skip = 0) {
  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(set1);
  stack::push_copy(set2);
  cell size = integer(skip);
  cell* skip_cell = skip ? stack::push_copy(size) : nullptr;
  return *set_ops::set_op(case_sensitive, skip_cell, code);
}

TEST_F(Editing, SetOperationsOnText) {
  struct row {
    int32_t code;
    const char* set1;
    const char* set2;
    bool case_sensitive;
    int32_t skip;
    const char* expected;
  };
  using namespace set_ops;
  for (const row& r : {
           row{intersect, "abc", "bcd", false, 0, "bc"},
           row{unique, "aAb", "", false, 0, "ab"},
           row{unique, "aAb", "", true, 0, "aAb"},
           row{union_, "abca", "cdBe", false, 0, "abcde"},
           row{exclude, "abcda", "bd", false, 0, "ac"},
           row{difference, "abc", "bCd", false, 0, "ad"},
           row{difference, "abc", "bCd", true, 0, "acCd"},
           row{intersect, "\xC3\xA9t\xC3\xA9", "\xC3\x89T", false, 0, "\xC3\xA9t"},
           row{union_, "a", "\xE2\x82\xAC\xF0\x9F\x98\x80" "a", false, 0, "a\xE2\x82\xAC\xF0\x9F\x98\x80"},
           row{unique, "abAbcd", "", false, 2, "abcd"},
           row{intersect, "a1b2c3", "bxcy", false, 2, "b2c3"},
           row{unique, "abcab", "", false, 2, "abcab"},
           row{union_, "", "", false, 0, ""},
       }) {
    cell result = set_operation(r.code, text_value(r.set1), text_value(r.set2), r.case_sensitive, r.skip);
    EXPECT_EQ(result.type(), TYPE_STRING);
    EXPECT_EQ(result.payload1, 0u);
    EXPECT_EQ(text_of(result), r.expected) << r.code << " " << r.set1 << " " << r.set2;
  }
  // From the heads on; the sources stay as they were.
  cell set1 = text_value("xxabc", TYPE_STRING, 2);
  EXPECT_EQ(text_of(set_operation(intersect, set1, text_value("ab"))), "ab");
  EXPECT_EQ(whole_text(set1), "xxabc");
}

// The one core hands blocks, hashes and typesets to their own modules.
TEST_F(Editing, SetOperationsOnOtherTypes) {
  using namespace set_ops;
  cell blocks = set_operation(union_, block_of_values({integer(1), integer(2)}),
                              block_of_values({integer(2), integer(3)}));
  EXPECT_EQ(blocks.type(), TYPE_BLOCK);
  EXPECT_EQ(molded(blocks), "[1 2 3]");
  cell hash = block_of_values({integer(3), integer(4)});
  collector::scoped_root keep(&hash);
  set_type(hash, TYPE_HASH);
  hash.payload3 = hashtable::create(2, hash.payload2, hashtable::hash_kind);
  cell mixed = set_operation(intersect, block_of_values({integer(1), integer(3)}), hash);
  collector::scoped_root keep_result(&mixed);
  EXPECT_EQ(mixed.type(), TYPE_HASH);
  EXPECT_EQ(buffer_of(mixed.payload2)->count(), 1u);

  cell numbers = typeset::empty(), words = typeset::empty();
  typeset::add_bit(numbers, TYPE_INTEGER);
  typeset::add_bit(numbers, TYPE_FLOAT);
  typeset::add_bit(words, TYPE_WORD);
  typeset::add_bit(words, TYPE_FLOAT);
  cell joined = set_operation(union_, numbers, words);
  EXPECT_EQ(typeset::count(joined), 3);
  cell left = set_operation(exclude, numbers, words);
  EXPECT_TRUE(typeset::has_type(left, TYPE_INTEGER));
  EXPECT_EQ(typeset::count(left), 1);

  cell ab = *bitset::make_from_spec(text_value("ab"), 0);
  cell bc = *bitset::make_from_spec(text_value("bc"), 0);
  cell both = set_operation(intersect, ab, bc);
  ASSERT_EQ(both.type(), TYPE_BITSET);
  EXPECT_FALSE(bitset::member_p(both, 'a'));
  EXPECT_TRUE(bitset::member_p(both, 'b'));
  cell either = set_operation(union_, ab, bc);
  EXPECT_TRUE(bitset::member_p(either, 'a') && bitset::member_p(either, 'c'));
  EXPECT_FALSE(set_ops::complement_p(ab));
  EXPECT_TRUE(set_ops::complement_p(*actions::complement(&ab)));
  EXPECT_EQ(fired_by([] { set_ops::complement_p(integer(1)); }), error_id::script_expect_arg);
}

TEST_F(Editing, SetOperationErrors) {
  using namespace set_ops;
  EXPECT_EQ(fired_by([] { set_operation(union_, block_of_values({integer(1)}), text_value("a")); }),
            error_id::script_expect_val);
  EXPECT_EQ(fired_by([] { set_operation(union_, text_value("a"), text_value("a", TYPE_FILE)); }),
            error_id::script_expect_val);
  EXPECT_EQ(fired_by([] { set_operation(union_, text_value("a", TYPE_FILE), text_value("a", TYPE_FILE)); }),
            error_id::script_expect_arg);
  EXPECT_EQ(fired_by([] { set_operation(unique, integer(1), integer(2)); }), error_id::script_expect_arg);
  EXPECT_EQ(fired_by([] { set_operation(unique, text_value("a"), none::value, false, -1); }),
            error_id::script_invalid_refine_arg);
}

// ---- reports to the owner -----------------------------------------------------------------

class OwnedText : public testing::object_values {
 protected:
  // Action word, index and part of every report.
  std::string reports() {
    std::string log;
    for (uint32_t i = 0; i < calls(); ++i)
      log += testing::spelling_of(argument(i, 3)) + " " + std::to_string(scalar::integer_value(argument(i, 5))) +
             " " + std::to_string(scalar::integer_value(argument(i, 6))) + ";";
    return log;
  }
};

TEST_F(OwnedText, EditsReportBeforeAndAfter) {
  struct row {
    std::function<void(cell&)> edit;
    const char* log;
    const char* whole;
  };
  for (const row& r : std::initializer_list<row>{
           {[](cell& t) {
              cell v = integer(123);
              string::insert(&t, &v, -1, false, 2, true);
            },
            "append 4 6;appended 4 6;", "abcd123123"},
           {[](cell& t) {
              t.payload1 = 1;
              cell v = testing::texts::text_value("xy");
              string::insert(&t, &v, -1, false, 1, false);
            },
            "insert 1 2;inserted 1 2;", "axybcd"},
           {[](cell& t) {
              t.payload1 = 2;
              cell v = character('Z');
              string::change(&t, &v, 2, false, 1);
            },
            "change 2 1;changed 2 1;", "abZ"},
           {[](cell& t) {
              cell v = testing::texts::text_value("xyzab");
              string::swap(&t, &v);
            },
            "swap 0 1;swaped 0 1;", "xbcd"},
           {[](cell& t) { string::trim(&t, false, false, false, false, false, nullptr); }, "trim 0 4;trimmed 0 4;",
            "abcd"},
       }) {
    cell text = unset::value;
    text::make_at(text, 8);
    text::append_c_string(text, "abcd");
    cell owner = make_object({testing::set_word("text"), text, testing::set_word("on-deep-change*"), handler()});
    testing::call_log = testing::block_of({});
    cell series = text;
    r.edit(series);
    EXPECT_EQ(reports(), r.log);
    EXPECT_EQ(whole_text(text), r.whole);
    EXPECT_EQ(testing::text_of(field(owner, "text")), r.whole);
  }
}

}  // namespace
}  // namespace tav
