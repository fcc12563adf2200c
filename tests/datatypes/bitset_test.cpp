// bitset!: making from specs, spec errors, testing, setting and clearing bits with growth,
// complemented sets, the set operations, comparison, path access and the text form.
#include <climits>

#include "byte_fixture.hpp"

namespace tav {
namespace {

using namespace testing;
using Bitset = byte_values;

cell make_bits(const cell& spec) {
  cell type = datatype_cell(TYPE_BITSET);
  cell copy = spec;
  return *actions::make(&type, &copy);
}

cell not_word() { return global_word("not"); }
cell minus_word() { return global_word("-"); }
cell range(uint32_t low, uint32_t high) { return block_of({character(low), minus_word(), character(high)}); }

bool picked(const cell& bits, const cell& index) {
  cell series = bits, at = index;
  return logic::get(*actions::pick(&series, actions::get_index_arg(at), &at));
}

int32_t bit_length(const cell& bits) {
  cell series = bits;
  return actions::length_p(&series);
}

// Every byte from the tail to the end of the capacity holds the complement flag's fill.
bool fill_kept_p(const cell& bits) {
  const series_buffer* b = buffer_of(bits.payload2);
  uint8_t fill = (b->flags & bitset::not_flag) ? 0xFF : 0x00;
  for (uint32_t k = b->tail; k < b->size; ++k)
    if (b->data()[k] != fill) return false;
  return true;
}

TEST_F(Bitset, MakeFromSpecs) {
  struct row {
    cell spec;
    const char* mold;
    int32_t length;
  };
  const row rows[] = {
      {str("a"), "make bitset! #{00000000000000000000000040}", 104},
      {block_of({not_word(), str("a")}), "make bitset! [not #{00000000000000000000000040}]", 104},
      {integer(0), "make bitset! #{}", 0},
      {integer(1), "make bitset! #{00}", 8},
      {integer(8), "make bitset! #{00}", 8},
      {integer(9), "make bitset! #{0000}", 16},
      {number(9.9), "make bitset! #{0000}", 16},
      {str(""), "make bitset! #{00}", 8},
      {block_of({}), "make bitset! #{00}", 8},
      {block_of({not_word()}), "make bitset! [not #{00}]", 8},
      {character(0), "make bitset! #{80}", 8},
      {block_of({integer(1), block_of({integer(9)}), number(7.9)}), "make bitset! #{4140}", 16},
      {range('a', 'c'), "make bitset! #{00000000000000000000000070}", 104},
      {block_of({integer(0), minus_word(), integer(10), character(12)}), "make bitset! #{FFE8}", 16},
      {bin_hex("0F80"), "make bitset! #{0F80}", 16},
      {block_of({not_word(), bin_hex("0F")}), "make bitset! [not #{0F}]", 8},
      {str("\xE2\x82\xAC"), nullptr, 8368},  // 2-byte units: U+20AC lies in byte 1045
  };
  for (const row& r : rows) {
    cell bits = make_bits(r.spec);
    EXPECT_EQ(bits.type(), TYPE_BITSET);
    if (r.mold) {
      EXPECT_EQ(molded(bits), r.mold);
    }
    EXPECT_EQ(bit_length(bits), r.length) << (r.mold ? r.mold : "");
    EXPECT_TRUE(fill_kept_p(bits)) << (r.mold ? r.mold : "");
  }

  // A block met again inside itself adds nothing more.
  cell looped = block_of({integer(1)});
  *alloc_block_tail(looped) = looped;
  *alloc_block_tail(looped) = integer(9);
  EXPECT_EQ(molded(make_bits(looped)), "make bitset! #{4040}");

  // [not "a"] keeps twelve 0xFF bytes and 0xBF.
  cell all_but = make_bits(block_of({not_word(), str("a")}));
  EXPECT_EQ(hex(std::string(reinterpret_cast<const char*>(bitset::ts_head(all_but)), 13)),
            "FFFFFFFFFFFFFFFFFFFFFFFFBF");
  // A bitset spec is copied.
  cell original = make_bits(str("a"));
  cell copy = make_bits(original);
  EXPECT_NE(copy.payload2, original.payload2);
  EXPECT_EQ(molded(copy), molded(original));
}

TEST_F(Bitset, SpecErrors) {
  struct row {
    cell spec;
    bool to;
    error_id expected;
  };
  const row rows[] = {
      {integer(8), true, error_id::script_bad_to_arg},
      {number(8.0), true, error_id::script_bad_to_arg},
      {integer(-1), false, error_id::script_out_of_range},
      {number(1e10), false, error_id::script_out_of_range},
      {range('c', 'a'), false, error_id::script_past_end},
      {block_of({character('a'), minus_word()}), false, error_id::script_past_end},
      {block_of({character('a'), minus_word(), integer(99)}), false, error_id::script_invalid_arg},
      {block_of({integer(-1)}), false, error_id::script_out_of_range},
      {block_of({integer(-3), minus_word(), integer(2)}), false, error_id::script_out_of_range},
      {block_of({bin_hex("01")}), false, error_id::internal_not_done},
      {none_value(), false, error_id::script_bad_make_arg},
      {none_value(), true, error_id::script_bad_to_arg},
      {block_of({str("a"), logic_value(true)}), true, error_id::script_bad_to_arg},
      {block_of({block_of({none_value()})}), false, error_id::script_bad_make_arg},
  };
  for (const row& r : rows) {
    cell type = datatype_cell(TYPE_BITSET);
    cell spec = r.spec;
    EXPECT_EQ(fired_by([&] { r.to ? actions::to(&type, &spec) : actions::make(&type, &spec); }), r.expected);
  }
  cell type = datatype_cell(TYPE_BITSET);
  cell eight = integer(8);
  fired_by([&] { actions::to(&type, &eight); });
  EXPECT_EQ(last_fired.args[0].payload1, TYPE_BITSET);
  EXPECT_EQ(scalar::integer_value(last_fired.args[1]), 8);
}

TEST_F(Bitset, PickAndFind) {
  cell a = make_bits(str("a"));
  cell all_but_a = make_bits(block_of({not_word(), str("a")}));
  cell ab = make_bits(str("ab"));
  cell all_but_b = make_bits(block_of({not_word(), str("b")}));
  struct row {
    const cell& bits;
    cell index;
    bool expected;
  };
  const row rows[] = {
      {a, character('a'), true},
      {a, integer(97), true},
      {a, number(97.5), true},
      {a, integer(98), false},
      {a, integer(1000), false},
      {all_but_a, integer(1000), true},
      {all_but_a, character('a'), false},
      {a, integer(-1), false},
      {all_but_a, integer(-1), true},
      {ab, str("ab"), true},
      {a, str("ab"), false},
      {a, str(""), true},  // no character of the text is missing
      {all_but_b, str("\xC3\xA9" "b"), false},  // a stored clear bit decides after an unstored one
      {all_but_b, str("\xC3\xA9" "a"), true},
      {ab, range('a', 'b'), true},
      {a, range('a', 'b'), false},
      {all_but_b, block_of({integer(200), minus_word(), integer(300)}), true},
      {all_but_b, block_of({integer(90), minus_word(), integer(300)}), false},
      {ab, block_of({character('a'), str("b")}), true},
      {ab, block_of({character('a'), character('c')}), false},
  };
  for (const row& r : rows) {
    EXPECT_EQ(picked(r.bits, r.index), r.expected) << molded(r.bits) << " " << actions::get_index_arg(r.index);
    cell series = r.bits, value = r.index;
    cell* found = actions::find(&series, &value, nullptr, false, false, false, false, nullptr, nullptr, false, false,
                                false, false);
    EXPECT_EQ(found->type(), r.expected ? TYPE_LOGIC : TYPE_NONE);
  }
  cell series = a;
  cell unusable = bin_hex("61");
  EXPECT_EQ(fired_by([&] { actions::pick(&series, 0, &unusable); }), error_id::internal_not_done);
  cell other = logic_value(true);
  EXPECT_EQ(fired_by([&] { actions::pick(&series, 1, &other); }), error_id::script_invalid_arg);
}

TEST_F(Bitset, PokeSetsClearsAndGrows) {
  struct row {
    cell value;
    bool expected;
  };
  const row rows[] = {
      {integer(0), false}, {number(0.0), false}, {none_value(), false}, {logic_value(false), false},
      {integer(1), true},  {logic_value(true), true}, {str("x"), true},
  };
  for (const row& r : rows) {
    cell bits = make_bits(block_of({integer(3)}));
    cell series = bits, value = r.value, index = integer(3);
    if (!r.expected) actions::poke(&series, 3, &value, &index);
    EXPECT_EQ(picked(bits, integer(3)), r.expected);
    cell clear = integer(0);
    actions::poke(&series, 3, &clear, &index);
    actions::poke(&series, 3, &value, &index);
    EXPECT_EQ(picked(bits, integer(3)), r.expected);
  }

  cell plain = make_bits(integer(8));
  cell series = plain, yes = logic_value(true), hundred = integer(100);
  actions::poke(&series, 100, &yes, &hundred);
  EXPECT_EQ(bit_length(plain), 104);
  EXPECT_TRUE(picked(plain, integer(100)));
  EXPECT_FALSE(picked(plain, integer(99)));
  EXPECT_TRUE(fill_kept_p(plain));

  // A complemented set already holds what it does not store: setting there changes nothing,
  // clearing grows it with members around the cleared bit.
  cell all = make_bits(block_of({not_word(), integer(0)}));
  series = all;
  actions::poke(&series, 100, &yes, &hundred);
  EXPECT_EQ(bit_length(all), 8);
  cell no = logic_value(false);
  cell far = integer(1000);
  actions::poke(&series, 1000, &no, &far);
  EXPECT_EQ(bit_length(all), 1008);
  EXPECT_FALSE(picked(all, integer(1000)));
  EXPECT_TRUE(picked(all, integer(999)));
  EXPECT_TRUE(picked(all, integer(5000)));
  EXPECT_TRUE(fill_kept_p(all));

  cell negative = integer(-1);
  EXPECT_EQ(fired_by([&] { actions::poke(&series, -1, &yes, &negative); }), error_id::script_out_of_range);
}

TEST_F(Bitset, AppendInsertRemoveClear) {
  cell bits = make_bits(str("a"));
  cell series = bits, more = block_of({str("xy"), range('0', '2')});
  actions::append(&series, &more, -1, false, 1, true);
  for (uint32_t cp : {'a', 'x', 'y', '0', '1', '2'}) EXPECT_TRUE(picked(bits, character(cp))) << cp;
  cell wide = character(0x3A9);
  actions::insert(&series, &wide, -1, false, 1, false);
  EXPECT_TRUE(picked(bits, character(0x3A9)));
  EXPECT_EQ(bit_length(bits), 0x3A9 / 8 * 8 + 8);
  EXPECT_TRUE(fill_kept_p(bits));

  EXPECT_EQ(fired_by([&] { actions::remove(&series, nullptr, nullptr); }), error_id::script_missing_arg);
  cell gone = str("ax");
  actions::remove(&series, &gone, nullptr);
  EXPECT_FALSE(picked(bits, character('a')));
  EXPECT_FALSE(picked(bits, character('x')));
  EXPECT_TRUE(picked(bits, character('y')));

  // Removing from a complemented set clears the named bits, as poking false does.
  cell all_but = make_bits(block_of({not_word(), str("b")}));
  series = all_but;
  cell named = block_of({character('c'), integer(500)});
  actions::remove(&series, &named, nullptr);
  EXPECT_FALSE(picked(all_but, character('c')));
  EXPECT_FALSE(picked(all_but, integer(500)));
  EXPECT_TRUE(picked(all_but, integer(501)));
  EXPECT_TRUE(fill_kept_p(all_but));

  // Clearing keeps the size and the flag.
  actions::clear(&series);
  EXPECT_EQ(bit_length(all_but), 504);
  EXPECT_TRUE(bitset::not_p(all_but));
  EXPECT_TRUE(picked(all_but, character('b')));
  series = bits;
  actions::clear(&series);
  EXPECT_FALSE(picked(bits, character('y')));
  EXPECT_EQ(bit_length(bits), 0x3A9 / 8 * 8 + 8);
}

TEST_F(Bitset, AppendToComplementedSetsStoredBitsOnly) {
  cell all_but = make_bits(block_of({not_word(), str("bc")}));
  cell series = all_but;
  cell text = str("b\xC3\xA9");  // b is stored and cleared, é is not stored
  actions::append(&series, &text, -1, false, 1, true);
  EXPECT_TRUE(picked(all_but, character('b')));
  EXPECT_FALSE(picked(all_but, character('c')));
  EXPECT_EQ(bit_length(all_but), 104);
  cell spanning = block_of({character('a'), minus_word(), character(0x3A9)});
  actions::append(&series, &spanning, -1, false, 1, true);
  EXPECT_TRUE(picked(all_but, character('c')));
  EXPECT_TRUE(fill_kept_p(all_but));
}

TEST_F(Bitset, ComplementAndNegate) {
  cell bits = make_bits(str("ab"));
  cell once = call_entry(actions::entry::complement, {bits});
  cell twice = call_entry(actions::entry::complement, {once});
  EXPECT_NE(once.payload2, bits.payload2);
  EXPECT_TRUE(bitset::not_p(once));
  EXPECT_FALSE(picked(once, character('a')));
  EXPECT_TRUE(picked(once, character('c')));
  EXPECT_TRUE(picked(once, integer(100000)));
  EXPECT_TRUE(fill_kept_p(once));
  EXPECT_FALSE(bitset::not_p(bits));
  cell a = twice, b = bits;
  EXPECT_TRUE(actions::compare(&a, &b, actions::op::equal));

  EXPECT_EQ(bit_length(call_entry(actions::entry::complement, {make_bits(integer(8))})), 8);
  cell negated = call_entry(actions::entry::negate, {bits});
  EXPECT_EQ(molded(negated), "make bitset! [not #{00000000000000000000000060}]");
}

TEST_F(Bitset, SetOperations) {
  cell two = make_bits(bin_hex("F00F"));
  cell four = make_bits(bin_hex("0F0F0F0F"));
  struct row {
    int32_t code;
    cell a, b;
    const char* mold;
  };
  const row rows[] = {
      {6, two, four, "make bitset! #{000F}"},  // and~ keeps the shorter length
      {10, two, four, "make bitset! #{000F0000}"},
      {5, two, four, "make bitset! #{FF0F0F0F}"},
      {9, four, two, "make bitset! #{FF0F0F0F}"},
      {7, two, four, "make bitset! #{FF000F0F}"},
      {12, two, four, "make bitset! #{FF000F0F}"},
      {11, two, four, "make bitset! #{F0000000}"},  // the longer rest belongs to the second
      {11, four, two, "make bitset! #{0F000F0F}"},
      {8, two, four, "make bitset! #{F00F}"},
  };
  for (const row& r : rows) {
    stack::arguments = stack::top = stack::bottom;
    stack::push_copy(r.a);
    stack::push_copy(r.b);
    cell result = *bitset::do_bitwise(r.code);
    EXPECT_EQ(molded(result), r.mold) << r.code;
    EXPECT_TRUE(fill_kept_p(result)) << r.code;
  }
  EXPECT_EQ(bit_length(call_entry(actions::entry::and_, {two, four})), 16);
  EXPECT_EQ(molded(call_entry(actions::entry::or_, {two, four})), "make bitset! #{FF0F0F0F}");
  EXPECT_EQ(molded(call_entry(actions::entry::xor_, {two, two})), "make bitset! #{0000}");

  // Operands with different flags give a complemented result.
  cell mixed = call_entry(actions::entry::or_, {two, make_bits(block_of({not_word(), bin_hex("0F")}))});
  EXPECT_TRUE(bitset::not_p(mixed));
  EXPECT_TRUE(fill_kept_p(mixed));
  cell shorter = call_entry(actions::entry::and_, {make_bits(block_of({not_word(), bin_hex("0F0F")})), make_bits(bin_hex("FF"))});
  EXPECT_EQ(bit_length(shorter), 8);
  EXPECT_TRUE(fill_kept_p(shorter));

  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::or_, {two, integer(1)}); }), error_id::script_invalid_type);
  EXPECT_EQ(last_fired.args[0].payload1, TYPE_INTEGER);
}

TEST_F(Bitset, Compare) {
  using namespace actions::op;
  cell shared = make_bits(str("a"));
  struct row {
    cell a, b;
    int32_t op, expected;
  };
  const row rows[] = {
      {make_bits(str("a")), make_bits(str("a")), equal, 0},
      {make_bits(str("a")), make_bits(str("b")), equal, 1},
      {make_bits(bin_hex("0102")), make_bits(bin_hex("0201")), lesser, 1},  // the last byte weighs most
      {make_bits(bin_hex("01")), make_bits(bin_hex("0000")), lesser, -1},   // the shorter first
      {make_bits(integer(0)), make_bits(block_of({not_word(), bin_hex("")})), equal, 0},
      {make_bits(bin_hex("FF")), make_bits(block_of({not_word(), bin_hex("00")})), lesser, -1},
      {shared, shared, same, 0},
      {make_bits(str("a")), make_bits(str("a")), same, -1},
      {make_bits(str("a")), str("a"), equal, actions::not_comparable},
  };
  for (const row& r : rows) {
    cell a = r.a, b = r.b;
    EXPECT_EQ(actions::compare_value(&a, &b, r.op), r.expected) << molded(r.a) << " op " << r.op;
  }
}

TEST_F(Bitset, PathAccess) {
  cell bits = make_bits(str("a"));
  cell selector = character('a');
  EXPECT_TRUE(logic::get(*actions::eval_path(&bits, &selector, nullptr, nullptr, nullptr, nullptr, -1, false, true,
                                             true, false)));
  cell set_to = logic_value(false);
  cell* answer = actions::eval_path(&bits, &selector, &set_to, nullptr, nullptr, nullptr, -1, false, false, true, false);
  EXPECT_EQ(answer->type(), TYPE_LOGIC);
  EXPECT_FALSE(picked(bits, character('a')));
  cell bad = str("a");
  EXPECT_EQ(fired_by([&] {
              actions::eval_path(&bits, &bad, nullptr, nullptr, nullptr, nullptr, -1, false, true, true, false);
            }),
            error_id::script_invalid_type);
  EXPECT_EQ(last_fired.args[0].payload1, TYPE_STRING);
}

TEST_F(Bitset, CopyReflectAndMoldBudget) {
  cell bits = make_bits(str("a"));
  cell copy = call_entry(actions::entry::copy, {bits}, {-1, -1, -1});
  EXPECT_NE(copy.payload2, bits.payload2);
  cell series = copy, yes = logic_value(true), b = character('b');
  actions::poke(&series, 'b', &yes, &b);
  EXPECT_FALSE(picked(bits, character('b')));

  cell value = bits;
  EXPECT_EQ(actions::reflect(&value, static_cast<int32_t>(symbols::owned))->type(), TYPE_NONE);
  value = bits;
  EXPECT_EQ(fired_by([&] { actions::reflect(&value, static_cast<int32_t>(symbols::spec)); }),
            error_id::internal_not_done);

  // 15 for the opening, then two per byte: the byte that takes the budget below 0 is the last.
  cell part = integer(18);
  cell out;
  text::make_at(out, 16);
  EXPECT_EQ(bitset::mold(&bits, &out, false, false, false, &part, 18, 0), -1);
  EXPECT_EQ(text_of(out), "make bitset! #{0000");
  text::make_at(out, 16);
  EXPECT_EQ(bitset::mold(&bits, &out, false, false, false, nullptr, 100, 0), 100 - 15 - 26 - 1);
  EXPECT_EQ(formed(bits), molded(bits));
}

TEST_F(Bitset, OwnerHearsOfChangesAndIsReflected) {
  cell bits = make_bits(str("a"));
  cell owner = make_object({testing::set_word("chars"), bits, testing::set_word("on-deep-change*"), handler()});
  cell value = bits;
  cell* reflected = actions::reflect(&value, static_cast<int32_t>(symbols::owned));
  ASSERT_EQ(reflected->type(), TYPE_OBJECT);
  EXPECT_EQ(object::context_of(*reflected), object::context_of(owner));

  cell series = bits, yes = logic_value(true), b = character('b'), more = str("c");
  struct row {
    const char* before;
    const char* after;
  };
  const row rows[] = {{"poke", "poked"}, {"insert", "inserted"}, {"remove", "removed"}, {"clear", "cleared"}};
  for (const row& r : rows) {
    uint32_t first = calls();
    std::string action = r.before;
    if (action == "poke") actions::poke(&series, 'b', &yes, &b);
    if (action == "insert") actions::append(&series, &more, -1, false, 1, true);
    if (action == "remove") actions::remove(&series, &more, nullptr);
    if (action == "clear") actions::clear(&series);
    ASSERT_EQ(calls(), first + 2) << r.before;
    EXPECT_EQ(spelling_of(argument(first, 1)), "chars");
    EXPECT_EQ(spelling_of(argument(first, 3)), r.before);
    EXPECT_EQ(spelling_of(argument(first + 1, 3)), r.after);
  }

  // modify/owned: none drops the owner, an [owner word] block binds one again.
  cell field = global_word("owned"), nothing = none_value();
  actions::modify(&series, &field, &nothing, false);
  value = bits;
  EXPECT_EQ(actions::reflect(&value, static_cast<int32_t>(symbols::owned))->type(), TYPE_NONE);
  uint32_t first = calls();
  actions::poke(&series, 'b', &yes, &b);
  EXPECT_EQ(calls(), first);
  cell spec = block_of({owner, global_word("chars")});
  actions::modify(&series, &field, &spec, false);
  actions::poke(&series, 'b', &yes, &b);
  EXPECT_EQ(calls(), first + 2);
}

}  // namespace
}  // namespace tav
