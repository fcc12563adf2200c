// binary!: the byte API, append, insert and change with their byte forms, conversions, text
// form, comparison and matching, bitwise operations, complement and trim.
#include <climits>
#include <cstring>
#include <optional>

#include "byte_fixture.hpp"

namespace tav {
namespace {

using namespace testing;
using Binary = byte_values;

// ---- The byte API ---------------------------------------------------------------------------

TEST_F(Binary, MakeLoadAndRead) {
  cell empty;
  binary::make_at(empty, 0);
  EXPECT_EQ(empty.type(), TYPE_BINARY);
  EXPECT_EQ(binary::ts_length_p(empty), 0u);
  EXPECT_GE(buffer_of(empty.payload2)->size, 16u);

  cell value = bin_hex("00112233");
  EXPECT_EQ(binary::get_byte(value, 2), 0x22);
  value.payload1 = 1;
  EXPECT_EQ(binary::ts_length_p(value), 3u);
  EXPECT_EQ(*binary::ts_head(value), 0x11);
  value.payload1 = 9;  // past the tail
  EXPECT_EQ(binary::ts_length_p(value), 0u);

  cell block = block_of({});
  cell* loaded = binary::load_in(raw("ab"), 2, &block);
  EXPECT_EQ(buffer_of(block.payload2)->count(), 1u);
  EXPECT_EQ(buffer_of(block.payload2)->cells()[0].payload2, loaded->payload2);
  EXPECT_EQ(bytes_of(*loaded), "ab");
}

TEST_F(Binary, AppendAndInsertBytes) {
  cell value;
  binary::make_at(value, 0);
  std::string big(100, 'x');
  for (int k = 0; k < 3; ++k) binary::append_bytes(value, raw(big), 100);
  EXPECT_EQ(bytes_of(value), big + big + big);
  // A run of the binary's own bytes, found again after the buffer grew.
  uint32_t capacity = buffer_of(value.payload2)->size;
  binary::append_bytes(value, binary::ts_head(value) + 10, capacity);
  EXPECT_EQ(binary::ts_length_p(value), 300u + capacity);

  cell small = bin("ad");
  uint8_t* place = binary::insert_bytes(small, 1, raw("bc"), 2);
  EXPECT_EQ(bytes_of(small), "abcd");
  EXPECT_EQ(*place, 'b');
  binary::insert_bytes(small, 2, binary::ts_head(small), 4);  // its own bytes, moved by the insertion
  EXPECT_EQ(bytes_of(small), "ababcdcd");
  small.payload1 = 2;
  binary::insert_bytes(small, 0, raw("-"), 1);  // counted from the head
  small.payload1 = 0;
  EXPECT_EQ(bytes_of(small), "ab-abcdcd");

  cell numbers;
  binary::make_at(numbers, 4);
  binary::append_int32(1, numbers);
  binary::append_int32(-2, numbers);  // past the room asked for: the buffer grows
  EXPECT_EQ(hex_of(numbers), "00000001FFFFFFFE");
}

TEST_F(Binary, SetValue) {
  uint8_t byte = 0;
  binary::set_value(&byte, integer(0x12C));
  EXPECT_EQ(byte, 0x2C);
  binary::set_value(&byte, character(0xE9));
  EXPECT_EQ(byte, 0xE9);
  EXPECT_EQ(fired_by([&] { binary::set_value(&byte, str("a")); }), error_id::script_invalid_arg);
  EXPECT_EQ(byte, 0xE9);
}

// ---- Append, insert and change ----------------------------------------------------------------

TEST_F(Binary, AppendAndInsertValues) {
  struct row {
    const char* series;
    int32_t head;
    cell value;
    int32_t part;
    bool only;
    int32_t dup;
    bool append;
    const char* expected;  // from the result's head
    int32_t index;
  };
  const row rows[] = {
      {"01", 0, integer(255), -1, false, 1, true, "01FF", 0},
      {"", 0, integer(-1), -1, false, 1, true, "FF", 0},
      {"", 0, bin_hex("AB"), -1, false, 3, true, "ABABAB", 0},
      {"0304", 0, bin_hex("0102"), -1, false, 1, false, "0304", 2},
      {"0304", 2, bin_hex("0102"), -1, false, 1, false, "", 4},  // an insert at the tail moves past too
      {"0304", 1, bin_hex("AA"), -1, false, 2, false, "04", 3},
      {"", 0, character(0xE9), -1, false, 1, true, "C3A9", 0},
      {"", 0, str("a\xC3\xA9"), -1, false, 1, true, "61C3A9", 0},
      {"", 0, str("a\xC3\xA9"), 2, false, 1, true, "61", 0},  // never half a character
      {"", 0, str("abc", 1), -1, false, 1, true, "6263", 0},
      {"", 0, str("abcdefghij"), 9, false, 1, true, "616263646566676869", 0},
      {"", 0, tuple_of({1, 2, 3, 4}), -1, false, 1, true, "01020304", 0},
      {"", 0, block_of({integer(1), bin_hex("0203"), str("a"), character('b')}), -1, false, 1, true, "0102036162",
       0},
      {"", 0, block_of({integer(1), bin_hex("0203"), str("a")}), 2, false, 1, true, "010203", 0},  // elements
      {"", 0, block_of({integer(1), bin_hex("0203"), str("a")}), 2, true, 1, true, "0102", 0},    // bytes
      {"", 0, block_of({block_of({integer(7)}), integer(8)}), -1, false, 2, true, "07080708", 0},
  };
  for (const row& r : rows) {
    cell series = bin_hex(r.series, r.head);
    cell value = r.value;
    cell* result = r.append ? actions::append(&series, &value, r.part, r.only, r.dup, true)
                            : actions::insert(&series, &value, r.part, r.only, r.dup, false);
    EXPECT_EQ(hex_of(*result), r.expected) << r.series << " -> " << r.expected;
    EXPECT_EQ(binary::head_of(*result), r.index) << r.expected;
  }

  cell whole = bin_hex("0304");
  cell inserted = bin_hex("0102");
  actions::insert(&whole, &inserted, -1, false, 1, false);
  whole.payload1 = 0;
  EXPECT_EQ(hex_of(whole), "01020304");
}

TEST_F(Binary, AppendingNothingChangesNothing) {
  cell series = bin_hex("0102", 1);
  cell empty = str("");
  cell* result = actions::append(&series, &empty, -1, false, 1, true);
  EXPECT_EQ(binary::head_of(*result), 1);
  EXPECT_EQ(buffer_of(series.payload2)->used(), 2u);
}

TEST_F(Binary, AppendToItself) {
  cell series = bin_hex("0102");
  cell same = series;
  actions::append(&series, &same, -1, false, 1, true);
  EXPECT_EQ(hex_of(series), "01020102");

  cell inner = bin_hex("0102");
  cell at_one = inner;
  at_one.payload1 = 1;
  cell source = inner;
  actions::insert(&at_one, &source, -1, false, 2, false);  // the source straddles the insertion point
  EXPECT_EQ(hex_of(inner), "010102010202");

  cell holder = bin_hex("AABB");
  cell nested = block_of({holder, integer(1)});
  cell head = holder;
  actions::insert(&head, &nested, -1, false, 1, false);
  EXPECT_EQ(hex_of(holder), "AABB01AABB");
}

TEST_F(Binary, FailedAppendLeavesTheSeriesAlone) {
  struct row {
    cell value;
    error_id expected;
  };
  const row rows[] = {
      {integer(256), error_id::script_invalid_arg},
      {integer(-129), error_id::script_invalid_arg},
      {block_of({integer(1), integer(300)}), error_id::script_invalid_arg},
      {logic_value(true), error_id::script_bad_to_arg},
      {block_of({integer(1), none_value()}), error_id::script_bad_to_arg},
  };
  for (const row& r : rows) {
    cell series = bin_hex("01");
    cell value = r.value;
    EXPECT_EQ(fired_by([&] { actions::append(&series, &value, -1, false, 1, true); }), r.expected);
    EXPECT_EQ(hex_of(series), "01");
    EXPECT_EQ(fired_by([&] { actions::insert(&series, &value, -1, false, 1, false); }), r.expected);
    EXPECT_EQ(hex_of(series), "01");
  }
  // A block inside itself has no byte form: the walk stops at the cycle stack's depth.
  cell looped = block_of({integer(1)});
  *alloc_block_tail(looped) = looped;
  cell target = bin_hex("01");
  EXPECT_EQ(fired_by([&] { actions::append(&target, &looped, -1, false, 1, true); }), error_id::internal_too_deep);
  EXPECT_EQ(hex_of(target), "01");

  cell series = bin_hex("");
  cell value = logic_value(false);
  fired_by([&] { actions::append(&series, &value, -1, false, 1, true); });
  EXPECT_EQ(last_fired.args[0].payload1, TYPE_BINARY);
  EXPECT_EQ(last_fired.args[1].type(), TYPE_LOGIC);
}

TEST_F(Binary, AppendSizeOverflow) {
  cell series = bin_hex("");
  cell value = bin(std::string(16, 'x'));
  EXPECT_EQ(fired_by([&] { actions::append(&series, &value, -1, false, INT32_MAX / 8, true); }),
            error_id::internal_no_memory);
  EXPECT_EQ(binary::ts_length_p(series), 0u);
}

TEST_F(Binary, Change) {
  struct row {
    const char* series;
    int32_t head;
    cell value;
    int32_t part;
    int32_t dup;
    const char* expected;  // the whole binary afterwards
    int32_t index;
  };
  const row rows[] = {
      {"010203", 0, bin_hex("FF"), -1, 1, "FF0203", 1},
      {"010203", 0, bin_hex("FF"), 2, 1, "FF03", 1},
      {"010203", 1, bin_hex("FF"), 9, 1, "01FF", 2},      // the part is cut to the rest
      {"01", 0, bin_hex("AABBCC"), -1, 1, "AABBCC", 3},   // runs past the tail
      {"00000000", 0, bin_hex("AB"), -1, 3, "ABABAB00", 3},
      {"01", 1, integer(2), -1, 1, "0102", 2},            // at the tail it appends
      {"0102", 0, logic_value(true), -1, 1, "74727565", 4},  // any value through its formed text
      {"0102", 0, str(""), 1, 1, "02", 0},                // removes the part, inserts nothing
      {"01020304", 0, block_of({integer(9), str("A")}), 1, 1, "0941020304", 2},
  };
  for (const row& r : rows) {
    cell series = bin_hex(r.series, r.head);
    cell value = r.value;
    cell* result = actions::change(&series, &value, r.part, false, r.dup);
    EXPECT_EQ(binary::head_of(*result), r.index) << r.expected;
    result->payload1 = 0;
    EXPECT_EQ(hex_of(*result), r.expected);
  }

  cell own = bin_hex("01020304");
  cell at_two = own;
  at_two.payload1 = 2;
  cell source = own;
  actions::change(&at_two, &source, -1, false, 1);
  EXPECT_EQ(hex_of(own), "010201020304");
  EXPECT_EQ(binary::head_of(at_two), 6);

  cell series = bin_hex("0102");
  cell wrong = integer(1000);
  EXPECT_EQ(fired_by([&] { actions::change(&series, &wrong, -1, false, 1); }), error_id::script_invalid_arg);
  EXPECT_EQ(hex_of(series), "0102");
}

// ---- Conversions ------------------------------------------------------------------------------

TEST_F(Binary, To) {
  cell bits = bitset::make_cell(0);
  {
    cell spec = str("a");
    bits = *bitset::make_from_spec(spec, 0);
  }
  cell issue_hex;
  issue::make_at(issue_hex, "0Fab");
  struct row {
    cell spec;
    const char* expected;
  };
  const row rows[] = {
      {integer(1), "00000001"},
      {integer(-2), "FFFFFFFE"},
      {number(1.0), "3FF0000000000000"},
      {scalar::float_cell(-2.5, TYPE_PERCENT), "C004000000000000"},
      {character(0xE9), "C3A9"},
      {str("a\xC3\xA9"), "61C3A9"},
      {str("abc", 2), "63"},
      {block_of({integer(1), str("b")}), "0162"},
      {tuple_of({192, 168, 0, 1}), "C0A80001"},
      {bits, "00000000000000000000000040"},
      {bin_hex("010203", 1), "0203"},
      {issue_hex, "0FAB"},
  };
  for (const row& r : rows) {
    cell spec = r.spec;
    cell type = datatype_cell(TYPE_BINARY);
    cell* result = actions::to(&type, &spec);
    EXPECT_EQ(result->type(), TYPE_BINARY);
    EXPECT_EQ(hex_of(*result), r.expected);
  }

  cell original = bin_hex("0102");
  cell type = datatype_cell(TYPE_BINARY);
  cell copy = *actions::to(&type, &original);
  EXPECT_NE(copy.payload2, original.payload2);

  // A lone last digit holds half a byte.
  for (const char* text : {"\xC3\xA9", "0G", "1 2 +", "0Fa"}) {
    cell bad;
    issue::make_at(bad, text);
    EXPECT_EQ(fired_by([&] { actions::to(&type, &bad); }), error_id::script_invalid_data) << text;
    EXPECT_EQ(last_fired.args[0].type(), TYPE_ISSUE);
  }
  cell nothing = none_value();
  EXPECT_EQ(fired_by([&] { actions::to(&type, &nothing); }), error_id::script_bad_to_arg);
}

// ---- Text form --------------------------------------------------------------------------------

TEST_F(Binary, Mold) {
  auto zeros = [](size_t n) { return std::string(2 * n, '0'); };
  struct row {
    size_t size;
    std::string expected;
  };
  const row rows[] = {
      {0, "#{}"},
      {30, "#{" + zeros(30) + "}"},
      {31, "#{\n    " + zeros(31) + "\n}"},
      {32, "#{\n    " + zeros(32) + "\n}"},
      {64, "#{\n    " + zeros(32) + "\n    " + zeros(32) + "\n}"},
      {70, "#{\n    " + zeros(32) + "\n    " + zeros(32) + "\n    " + zeros(6) + "\n}"},
  };
  for (const row& r : rows) {
    cell value = bin(std::string(r.size, '\0'));
    EXPECT_EQ(molded(value), r.expected) << r.size;
    EXPECT_EQ(formed(value), r.expected) << r.size;
  }

  cell value = bin_hex("01AB", 0);
  EXPECT_EQ(molded(value), "#{01AB}");
  cell tail = bin_hex("01AB", 5);
  EXPECT_EQ(molded(tail), "#{}");

  // Flat, only, and nested one level deeper.
  cell long_value = bin(std::string(40, '\x7F'));
  std::string digits(80, 'F');
  for (size_t k = 0; k < digits.size(); k += 2) digits[k] = '7';
  auto mold_with = [&](bool only, bool flat, int32_t indent) {
    cell out;
    text::make_at(out, 16);
    binary::mold(&long_value, &out, only, false, flat, nullptr, INT32_MAX, indent);
    return text_of(out);
  };
  EXPECT_EQ(mold_with(false, true, 0), "#{" + digits + "}");
  EXPECT_EQ(mold_with(true, true, 0), digits);
  EXPECT_EQ(mold_with(false, false, 1),
            "#{\n        " + digits.substr(0, 64) + "\n        " + digits.substr(64) + "\n    }");
}

TEST_F(Binary, MoldWithABudget) {
  cell value = bin_hex("0102030405");
  cell part = integer(5);
  cell out;
  text::make_at(out, 16);
  // "#{" leaves 3; the second byte takes the budget below 0 and the mold stops there.
  EXPECT_EQ(binary::mold(&value, &out, false, false, false, &part, 5, 0), -1);
  EXPECT_EQ(text_of(out), "#{0102");
  EXPECT_EQ(text_of(call_entry(actions::entry::mold, {value, integer(5)}, {-1, -1, -1, 1})), "#{010");
  EXPECT_EQ(text_of(call_entry(actions::entry::mold, {value, integer(INT32_MAX)}, {-1, -1, -1, 1})),
            "#{0102030405}");
}

// ---- Comparison and matching --------------------------------------------------------------------

TEST_F(Binary, Compare) {
  using namespace actions::op;
  cell shared = bin_hex("0102");
  struct row {
    cell a, b;
    int32_t op, expected;
  };
  const row rows[] = {
      {bin_hex("0102"), bin_hex("0102"), equal, 0},
      {bin_hex("0102"), bin_hex("0102"), strict_equal, 0},
      {bin_hex("0102"), bin_hex("0103"), equal, -1},
      {bin_hex("01"), bin_hex("0102"), lesser, -1},  // a proper prefix is lesser
      {bin_hex("0102"), bin_hex("01"), lesser, 1},
      {bin_hex("02"), bin_hex("0101"), lesser, 1},
      {bin_hex("02"), bin_hex("0101"), equal, 1},
      {bin_hex("80"), bin_hex("7F"), lesser, 1},  // bytes order unsigned
      {bin_hex(""), bin_hex(""), equal, 0},
      {bin_hex("AA0102", 1), bin_hex("0102"), equal, 0},
      {shared, shared, same, 0},
      {bin_hex("0102"), bin_hex("0102"), same, -1},
      {bin_hex("61"), str("a"), equal, actions::not_comparable},
  };
  for (const row& r : rows) {
    cell a = r.a, b = r.b;
    EXPECT_EQ(actions::compare_value(&a, &b, r.op), r.expected) << hex_of(r.a) << " op " << r.op;
  }
  cell a = bin_hex("01"), b = bin_hex("02");
  EXPECT_TRUE(actions::compare(&a, &b, lesser));
  cell text = str("a");
  EXPECT_EQ(fired_by([&] { actions::compare(&a, &text, lesser); }), error_id::script_invalid_compare);
}

TEST_F(Binary, MatchValuesAndBitsets) {
  using namespace actions::op;
  cell data = bin("abc\xC3\xA9");
  struct row {
    cell value;
    int32_t head;
    bool expected;
  };
  const row rows[] = {
      {str("ab"), 0, true},
      {str("abcd"), 0, false},
      {bin("bc"), 1, true},
      {str("\xC3\xA9"), 3, true},  // text is matched in its UTF-8 form
      {str(""), 0, true},
      {character('c'), 2, true},
      {character('c'), 1, false},
      {character('c'), 5, false},  // nothing at the tail
      {integer('a'), 0, false},
  };
  for (const row& r : rows) {
    cell at = data;
    at.payload1 = static_cast<uint32_t>(r.head);
    EXPECT_EQ(binary::match_value_p(at, r.value, equal), r.expected) << r.head;
  }
  EXPECT_EQ(binary::compare_value(data, str("abd"), equal, true), -1);
  EXPECT_EQ(binary::compare_value(data, str("abb"), equal, true), 1);
  EXPECT_EQ(binary::compare_value(data, str(""), lesser, true), 1);

  cell plain = *bitset::make_from_spec(str("b"), 0);
  cell all_but = *bitset::make_from_spec(block_of({global_word("not"), str("b")}), 0);
  cell high = bin("\xF0");
  EXPECT_FALSE(binary::match_bitset_p(data, plain));
  EXPECT_TRUE(binary::match_bitset_p(bin("b"), plain));
  EXPECT_FALSE(binary::match_bitset_p(high, plain));  // beyond the stored bits
  EXPECT_TRUE(binary::match_bitset_p(high, all_but));
  EXPECT_FALSE(binary::match_bitset_p(bin("b"), all_but));
  EXPECT_FALSE(binary::match_bitset_p(bin(""), all_but));
}

// ---- Bitwise, complement, trim ------------------------------------------------------------------

TEST_F(Binary, Bitwise) {
  struct row {
    actions::stack_entry entry;
    cell a, b;
    const char* expected;
  };
  const row rows[] = {
      {actions::entry::or_, bin_hex("0F"), bin_hex("F000"), "FF00"},
      {actions::entry::and_, bin_hex("0F"), bin_hex("F0FF"), "0000"},
      {actions::entry::xor_, bin_hex("FF"), bin_hex("0F0F"), "F00F"},
      {actions::entry::xor_, bin_hex("AAFF0F", 1), bin_hex("0F"), "F00F"},
      {actions::entry::and_, bin_hex("FFFF"), bin_hex(""), "0000"},
  };
  for (const row& r : rows) {
    cell result = call_entry(r.entry, {r.a, r.b});
    EXPECT_EQ(result.type(), TYPE_BINARY);
    EXPECT_EQ(binary::head_of(result), 0);
    EXPECT_EQ(hex_of(result), r.expected);
  }
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::or_, {bin_hex("01"), integer(1)}); }),
            error_id::script_invalid_arg);
}

TEST_F(Binary, ComplementInPlace) {
  cell value = bin_hex("0FF0AA", 1);
  cell result = call_entry(actions::entry::complement, {value});
  EXPECT_EQ(result.payload2, value.payload2);
  value.payload1 = 0;
  EXPECT_EQ(hex_of(value), "0F0F55");
}

TEST_F(Binary, Trim) {
  struct row {
    const char* series;
    int32_t head;
    bool head_flag, tail_flag, all;
    std::optional<cell> with;
    const char* expected;  // the whole binary afterwards
  };
  const row rows[] = {
      {"00000100", 0, false, false, false, std::nullopt, "01"},
      {"00000100", 0, true, false, false, std::nullopt, "0100"},
      {"00000100", 0, false, true, false, std::nullopt, "000001"},
      {"00000000", 0, false, false, false, std::nullopt, ""},
      {"0000010200", 1, false, false, false, std::nullopt, "000102"},  // from the head only
      {"00010002", 0, false, false, true, std::nullopt, "0102"},
      {"61626162", 0, false, false, false, str("a"), "6262"},
      {"01020301", 0, false, false, true, bin_hex("0103"), "02"},
      {"0102", 0, false, false, false, character(2), "01"},
      {"0102", 0, false, false, false, integer(1), "02"},
      {"E9E9", 0, false, false, false, str("\xC3\xA9"), ""},  // characters are byte values
  };
  for (const row& r : rows) {
    cell series = bin_hex(r.series, r.head);
    cell with = r.with.value_or(none_value());
    actions::trim(&series, r.head_flag, r.tail_flag, false, false, r.all, r.with ? &with : nullptr);
    series.payload1 = 0;
    EXPECT_EQ(hex_of(series), r.expected) << r.series;
  }
  cell series = bin_hex("00");
  EXPECT_EQ(fired_by([&] { actions::trim(&series, false, false, true, false, false, nullptr); }),
            error_id::internal_not_done);
  EXPECT_EQ(fired_by([&] { actions::trim(&series, false, false, false, true, false, nullptr); }),
            error_id::internal_not_done);
}

TEST_F(Binary, OwnerHearsOfChanges) {
  cell data = bin_hex("000102");
  cell owner = make_object({testing::set_word("data"), data, testing::set_word("on-deep-change*"), handler()});
  struct row {
    const char* before;
    const char* after;  // null: one report, after the change
    int32_t index, part;
  };
  const row rows[] = {{"append", "appended", 3, -1}, {"change", "changed", 0, 1}, {"trim", nullptr, 0, 0}};
  for (const row& r : rows) {
    uint32_t first = calls();
    cell series = data, value = integer(7);
    std::string action = r.before;
    if (action == "append") actions::append(&series, &value, -1, false, 1, true);
    if (action == "change") actions::change(&series, &value, 1, false, 1);
    if (action == "trim") actions::trim(&series, false, false, false, false, false, nullptr);
    ASSERT_EQ(calls(), first + (r.after ? 2 : 1)) << r.before;
    EXPECT_EQ(spelling_of(argument(first, 1)), "data");
    EXPECT_EQ(spelling_of(argument(first, 3)), r.before);
    EXPECT_EQ(scalar::integer_value(argument(first, 5)), r.index) << r.before;
    EXPECT_EQ(scalar::integer_value(argument(first, 6)), r.part) << r.before;
    if (r.after) {
      EXPECT_EQ(spelling_of(argument(first + 1, 3)), r.after);
    }
  }
  EXPECT_EQ(hex_of(data), "07010207");
  EXPECT_EQ(object::context_of(*ownership::owner_of(data)), object::context_of(owner));
}

// ---- Registration ----------------------------------------------------------------------------

TEST_F(Binary, InheritsWhatStringHasAtRegistration) {
  using datatype::action_table;
  using datatype::row_stride;
  const action_slot own[] = {action_slot::to,         action_slot::form,   action_slot::mold,
                             action_slot::compare,    action_slot::and_,   action_slot::complement,
                             action_slot::or_,        action_slot::xor_,   action_slot::append,
                             action_slot::change,     action_slot::insert, action_slot::trim};
  const action_slot inherited[] = {action_slot::make,  action_slot::random, action_slot::reflect,
                                   action_slot::at,    action_slot::copy,   action_slot::find,
                                   action_slot::pick,  action_slot::poke,   action_slot::remove,
                                   action_slot::take,  action_slot::sort,   action_slot::modify};
  for (action_slot slot : inherited) {
    auto k = static_cast<uint32_t>(slot) - 1;
    EXPECT_EQ(action_table[TYPE_BINARY * row_stride + k], action_table[TYPE_STRING * row_stride + k]) << k + 1;
  }
  for (action_slot slot : own) {
    auto k = static_cast<uint32_t>(slot) - 1;
    EXPECT_NE(action_table[TYPE_BINARY * row_stride + k], nullptr) << k + 1;
    EXPECT_NE(action_table[TYPE_BINARY * row_stride + k], action_table[TYPE_STRING * row_stride + k]) << k + 1;
  }
  EXPECT_EQ(action_table[TYPE_BINARY * row_stride + static_cast<uint32_t>(action_slot::insert) - 1],
            action_table[TYPE_BINARY * row_stride + static_cast<uint32_t>(action_slot::append) - 1]);

  // The inherited series handlers see bytes.
  cell value = bin_hex("0A0B");
  cell picked = call_entry(actions::entry::pick, {value, integer(2)});
  EXPECT_EQ(picked.type(), TYPE_INTEGER);
  EXPECT_EQ(scalar::integer_value(picked), 0x0B);
  EXPECT_EQ(scalar::integer_value(call_entry(actions::entry::length_p, {value})), 2);
  cell copied = call_entry(actions::entry::copy, {value}, {-1, -1, -1});
  EXPECT_EQ(copied.type(), TYPE_BINARY);
  EXPECT_NE(copied.payload2, value.payload2);
  EXPECT_EQ(hex_of(copied), "0A0B");
}

}  // namespace
}  // namespace tav
