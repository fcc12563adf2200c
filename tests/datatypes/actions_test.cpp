// Action dispatch: the entries table, the comparison core, refinement handling of the stack
// entries, path lookup errors and the fast paths of compiled code.
#include <cstring>

#include "runtime/fire_helpers.hpp"
#include "value_fixture.hpp"

namespace tav {
namespace {

using testing::call_entry;
using testing::fired_by;
using Dispatch = testing::fresh_values;

// A series-like test type: payload 1 the head, payload 2 a block node of elements. It takes
// the id of vector!, whose cells the collector reads the same way; the fixture registers the
// real row again for the next test.
constexpr uint8_t probe = TYPE_VECTOR;

struct seen_call {
  int calls = 0;
  int32_t part = 0, dup = 0;
  bool only = false, append = false;
  cell series{}, value{};
  const cell* part_cell = nullptr;
} seen;

cell* probe_insertion(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append) {
  seen.calls++;
  seen.series = *series;
  seen.value = *value;
  seen.part = part;
  seen.only = only;
  seen.dup = dup;
  seen.append = append;
  return series;
}

cell* probe_change(cell* series, cell* value, int32_t part, bool only, int32_t dup) {
  return probe_insertion(series, value, part, only, dup, false);
}

cell* probe_take(cell* series, cell* part, bool, bool) {
  seen.calls++;
  seen.part_cell = part;
  return series;
}

cell* probe_copy(cell* value, cell*, cell*, bool, cell*) { return value; }

// Orders by the last decimal digit of payload 1.
int32_t probe_compare(cell* a, cell* b, int32_t) {
  if (b->type() != probe) return actions::not_comparable;
  uint32_t x = a->payload1 % 10, y = b->payload1 % 10;
  return x < y ? -1 : x > y ? 1 : 0;
}

cell* probe_pick(cell* series, int32_t index, cell*) {
  series_buffer* elements = buffer_of(series->payload2);
  if (index < 1 || static_cast<uint32_t>(index) > elements->count()) return none::push();
  return &elements->cells()[index - 1];
}

int32_t probe_length(cell* series) { return static_cast<int32_t>(buffer_of(series->payload2)->count()); }

void register_probe() {
  auto no = unsupported;
  datatype::action_row row = datatype::actions_row(
      no, no, no, no, no, no, no, no, &probe_compare,                  // general
      no, no, no, no, no, no, no, no, no,                              // scalar
      no, no, no, no, no, no,                                          // bitwise
      &probe_insertion, no, no, &probe_change, no, &probe_copy, no,    // append .. find
      no, no, no, &probe_insertion, &probe_length, no, no, &probe_pick,  // head .. pick
      no, no, no, no, no, no, no, no, no, no, &probe_take, no,        // poke .. trim
      no, no, no, no, no, no, no, no, no, no, no);                     // ports
  datatype::registration_word buffer[datatype::registration_words];
  buffer[0] = probe;
  buffer[1] = 0;
  buffer[2] = reinterpret_cast<datatype::registration_word>("probe!");
  std::memcpy(buffer + datatype::registration_header, row.entries, sizeof row.entries);
  datatype::register_buffer(datatype::registration_words, buffer);
}

class Actions : public Dispatch {
 protected:
  void SetUp() override {
    Dispatch::SetUp();
    register_probe();
    seen = seen_call{};
  }
};

// A block! of `n` integers 1..n, at head index `head`.
cell numbers(uint32_t n, uint32_t head = 0) {
  node_id node = alloc_cells(n ? n : 1);
  for (uint32_t i = 1; i <= n; ++i) *alloc_tail(buffer_of(node)) = scalar::integer(static_cast<int32_t>(i));
  return cell{TYPE_BLOCK, head, node, 0};
}

cell probe_over(const cell& block) { return cell{probe, 0, block.payload2, 0}; }

TEST_F(Actions, EntriesFollowTheSlotOrder) {
  EXPECT_EQ(actions::action_entries[0], &actions::entry::make);
  EXPECT_EQ(actions::action_entries[7], nullptr);  // set-path
  EXPECT_EQ(actions::action_entries[8], &actions::entry::compare);
  EXPECT_EQ(actions::action_entries[61], &actions::entry::write);
  EXPECT_STREQ(describe_action(21).word, "and~");
  EXPECT_STREQ(describe_action(57).word, "open?");
}

TEST_F(Actions, CompareAnswersByOp) {
  cell one{probe, 1, 0, 0}, two{probe, 2, 0, 0}, other = none::value;
  struct row {
    cell* a;
    cell* b;
    int32_t op;
    bool expected;
  };
  using namespace actions::op;
  for (const row& r : {row{&one, &two, equal, false},          row{&one, &one, equal, true},
                       row{&one, &two, not_equal, true},       row{&one, &two, lesser, true},
                       row{&two, &two, lesser, false},         row{&two, &two, lesser_or_equal, true},
                       row{&two, &one, greater, true},         row{&one, &two, greater_or_equal, false},
                       row{&one, &one, same, true},            row{&one, &one, find, true},
                       row{&one, &other, equal, false},        row{&one, &other, not_equal, true},
                       row{&one, &other, strict_equal, false}, row{&one, &other, same, false},
                       row{&one, &other, parse_strict, false}, row{&one, &other, parse_equal, false},
                       row{&one, &other, find, false}}) {
    EXPECT_EQ(actions::compare(r.a, r.b, r.op), r.expected) << r.a->payload1 << " op " << r.op;
  }
  for (int32_t op : {lesser, lesser_or_equal, greater, greater_or_equal}) {
    EXPECT_EQ(fired_by([&] { actions::compare(&one, &other, op); }), error_id::script_invalid_compare);
  }
  cell answer = call_entry(actions::entry::compare, {one, two}, {lesser});
  EXPECT_EQ(answer.type(), TYPE_LOGIC);
  EXPECT_TRUE(logic::get(answer));
}

TEST_F(Actions, HashTablesCompareKeysThroughTheAction) {
  node_id block = alloc_cells(3);
  for (uint32_t n : {1u, 12u, 23u}) *alloc_tail(buffer_of(block)) = cell{probe, n, 0, 0};
  node_id table = hashtable::create(3, block, hashtable::hash_kind);
  cell* found = hashtable::find(table, cell{probe, 2, 0, 0});
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->payload1, 12u);
  EXPECT_EQ(hashtable::find(table, cell{probe, 4, 0, 0}), nullptr);
}

TEST_F(Actions, IndexArgumentOfPickAndPoke) {
  struct row {
    cell index;
    int32_t expected;
  };
  for (const row& r : {row{scalar::integer(5), 5}, row{scalar::integer(-3), -3}, row{cell{TYPE_CHAR, 0, 65, 0}, 65},
                       row{logic::value_of(true), 1}, row{logic::value_of(false), 2}, row{none::value, 0}}) {
    EXPECT_EQ(actions::get_index_arg(r.index), r.expected);
  }
  // pick with true answers the first element, with false the second.
  cell series = probe_over(numbers(2));
  EXPECT_EQ(scalar::integer_value(call_entry(actions::entry::pick, {series, logic::value_of(true)})), 1);
  EXPECT_EQ(scalar::integer_value(call_entry(actions::entry::pick, {series, logic::value_of(false)})), 2);
  EXPECT_EQ(call_entry(actions::entry::pick, {series, scalar::integer(3)}).type(), TYPE_NONE);
}

TEST_F(Actions, LengthEntryBoxesTheAnswer) {
  cell length = call_entry(actions::entry::length_p, {probe_over(numbers(3))});
  EXPECT_EQ(length.type(), TYPE_INTEGER);
  EXPECT_EQ(scalar::integer_value(length), 3);
}

TEST_F(Actions, InsertionPartIsMeasuredOnTheInsertedValue) {
  cell target = probe_over(numbers(1));
  cell source = numbers(5, 2);
  cell source_at_head = numbers(5, 0);
  cell source_past_tail = numbers(5, 9);
  cell same_at_4 = source;
  same_at_4.payload1 = 4;
  cell same_at_0 = source;
  same_at_0.payload1 = 0;
  struct row {
    const char* what;
    cell value;
    cell part;   // unset: no /part
    cell dup;    // unset: no /dup
    bool called;
    int32_t part_passed, dup_passed;
    uint32_t value_head;
  };
  const cell no = unset::value;
  for (const row& r : {
           row{"no part", source, no, no, true, -1, 1, 2},
           row{"count", source, scalar::integer(2), no, true, 2, 1, 2},
           row{"zero count", source, scalar::integer(0), no, false, 0, 0, 0},
           row{"negative count", source, scalar::integer(-1), no, true, 1, 1, 1},
           row{"negative count beyond head", source, scalar::integer(-9), no, true, 2, 1, 0},
           row{"negative count at head", source_at_head, scalar::integer(-1), no, false, 0, 0, 0},
           row{"series part", source, same_at_4, no, true, 2, 1, 2},
           row{"series part before", source, same_at_0, no, true, 2, 1, 0},
           row{"index past tail clamped", source_past_tail, scalar::integer(3), no, true, 3, 1, 5},
           row{"dup", source, no, scalar::integer(3), true, -1, 3, 2},
           row{"dup zero", source, no, scalar::integer(0), false, 0, 0, 0},
       }) {
    seen = seen_call{};
    bool with_part = r.part.type() != TYPE_UNSET, with_dup = r.dup.type() != TYPE_UNSET;
    std::initializer_list<cell> args3 = {target, r.value, with_part ? r.part : r.dup};
    std::initializer_list<cell> args4 = {target, r.value, r.part, r.dup};
    if (with_part && with_dup) {
      call_entry(actions::entry::append, args4, {2, -1, 3});
    } else {
      call_entry(actions::entry::append, args3, {with_part ? 2 : -1, -1, with_dup ? 2 : -1});
    }
    EXPECT_EQ(seen.calls, r.called ? 1 : 0) << r.what;
    if (!r.called) continue;
    EXPECT_EQ(seen.part, r.part_passed) << r.what;
    EXPECT_EQ(seen.dup, r.dup_passed) << r.what;
    EXPECT_EQ(seen.value.payload1, r.value_head) << r.what;
    EXPECT_TRUE(seen.append) << r.what;
  }

  // insert passes 0 for the append flag and brings the series' own index back to its tail.
  cell far = target;
  far.payload1 = 7;
  seen = seen_call{};
  call_entry(actions::entry::insert, {far, source}, {-1, 0, -1});
  EXPECT_FALSE(seen.append);
  EXPECT_TRUE(seen.only);
  EXPECT_EQ(seen.series.payload1, 1u);
}

TEST_F(Actions, InsertionPartErrors) {
  cell target = probe_over(numbers(1));
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::append, {target, scalar::integer(1), scalar::integer(1)}, {2}); }),
            error_id::script_invalid_part);
  cell other = numbers(3);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::append, {target, numbers(3), other}, {2}); }),
            error_id::script_invalid_refine_arg);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "part");
  EXPECT_EQ(seen.calls, 0);
}

TEST_F(Actions, ChangeRangeIsMeasuredOnTheSeries) {
  cell series = probe_over(numbers(5));
  series.payload1 = 3;
  cell end = series;
  end.payload1 = 5;
  struct row {
    const char* what;
    cell range;
    int32_t part_passed;
    uint32_t series_head;
  };
  for (const row& r : {row{"count", scalar::integer(1), 1, 3}, row{"back", scalar::integer(-2), 2, 1},
                       row{"series range", end, 2, 3}}) {
    seen = seen_call{};
    call_entry(actions::entry::change, {series, scalar::integer(0), r.range}, {2, -1, -1});
    EXPECT_EQ(seen.part, r.part_passed) << r.what;
    EXPECT_EQ(seen.series.payload1, r.series_head) << r.what;
  }
  seen = seen_call{};
  call_entry(actions::entry::change, {series, scalar::integer(0), scalar::integer(-1)}, {-1, -1, 2});
  EXPECT_EQ(seen.calls, 0);
}

TEST_F(Actions, AbsentRefinementCellsAreNull) {
  cell series = probe_over(numbers(2));
  call_entry(actions::entry::take, {series}, {-1, -1, -1});
  EXPECT_EQ(seen.part_cell, nullptr);
  call_entry(actions::entry::take, {series, scalar::integer(1)}, {1, -1, -1});
  ASSERT_NE(seen.part_cell, nullptr);
  EXPECT_EQ(seen.part_cell, stack::bottom + 1);
}

TEST_F(Actions, FormAndMoldPart) {
  struct row {
    int32_t part;
    const char* expected;
  };
  for (const row& r : {row{2, "#("}, row{7, "#(true)"}, row{100, "#(true)"}, row{0, ""}, row{-4, ""}}) {
    cell result = call_entry(actions::entry::mold, {logic::value_of(true), scalar::integer(r.part)}, {-1, 0, -1, 1});
    EXPECT_EQ(testing::text_of(result), r.expected) << r.part;
    EXPECT_EQ(stack::top, stack::arguments + 1);
  }
  EXPECT_EQ(testing::text_of(call_entry(actions::entry::form, {none::value, scalar::integer(3)}, {1})), "non");
}

TEST_F(Actions, CopyKindMustBeADatatypeOrTypeset) {
  cell series = probe_over(numbers(1));
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::copy, {series, scalar::integer(1)}, {-1, -1, 1}); }),
            error_id::script_expect_arg);
  EXPECT_EQ(testing::spelling_of(last_fired.args[2]), "kind");
  cell copied = call_entry(actions::entry::copy, {series, testing::datatype_cell(TYPE_BLOCK)}, {-1, -1, 1});
  EXPECT_EQ(copied.type(), probe);
}

TEST_F(Actions, PathLookupErrors) {
  cell parent = none::value;
  cell element = scalar::integer(2);
  EXPECT_EQ(fired_by([&] { actions::lookup_path(&parent, nullptr, &element, 0); }), error_id::script_bad_path_type2);
  EXPECT_EQ(last_fired.args[1].payload1, TYPE_NONE);

  cell path = numbers(4);
  path.header = TYPE_PATH;
  EXPECT_EQ(fired_by([&] { actions::lookup_path(&parent, &path, &element, 1); }), error_id::script_bad_path_type);
  const cell& cut = last_fired.args[2];
  EXPECT_EQ(cut.type(), TYPE_PATH);
  EXPECT_NE(cut.payload2, path.payload2);
  EXPECT_EQ(buffer_of(cut.payload2)->count(), 2u);
  EXPECT_EQ(buffer_of(path.payload2)->count(), 4u);
}

TEST_F(Actions, FastMath) {
  cell word = testing::global_word("add");
  stack::arguments = stack::top = stack::bottom;
  struct row {
    int32_t op, a, b;
    cell expected;
  };
  for (const row& r : {row{0, 2147483647, 1, scalar::float_cell(2147483648.0)}, row{0, 2, 3, scalar::integer(5)},
                       row{1, -2147483647 - 1, 1, scalar::float_cell(-2147483649.0)},
                       row{2, 65536, 65536, scalar::float_cell(4294967296.0)}, row{2, -3, 4, scalar::integer(-12)},
                       row{5, 12, 3, scalar::integer(15)}, row{6, 12, 10, scalar::integer(8)},
                       row{7, 12, 10, scalar::integer(6)}}) {
    cell* pushed = actions::fast_math_int_push(r.op, word, scalar::integer(r.a), r.b);
    EXPECT_EQ(pushed->type(), r.expected.type()) << r.op << " " << r.a << " " << r.b;
    EXPECT_EQ(pushed->payload2, r.expected.payload2) << r.op << " " << r.a << " " << r.b;
    EXPECT_EQ(pushed->payload3, r.expected.payload3) << r.op << " " << r.a << " " << r.b;
  }
  cell* pushed = actions::fast_math_push(0, word, scalar::float_cell(1.5), scalar::float_cell(2.25));
  EXPECT_EQ(scalar::float_value(*pushed), 3.75);
  actions::fast_math_top(2, word, scalar::float_cell(2.0));
  EXPECT_EQ(scalar::float_value(*stack::last_pushed()), 7.5);
  // Divide has no fast case: the slow path runs the integer! action.
  pushed = actions::fast_math_push(3, word, scalar::integer(1), scalar::integer(2));
  EXPECT_EQ(pushed->type(), TYPE_FLOAT);
  EXPECT_EQ(scalar::float_value(*pushed), 0.5);
}

TEST_F(Actions, FastCompare) {
  cell word = testing::global_word("lesser?");
  stack::arguments = stack::top = stack::bottom;
  EXPECT_TRUE(logic::get(*actions::fast_compare_int_push(actions::op::lesser, word, scalar::integer(1), 2)));
  cell* before = stack::top;
  EXPECT_TRUE(actions::fast_compare_int_test(actions::op::equal, word, scalar::integer(4), 4, false));
  EXPECT_FALSE(actions::fast_compare_int_test(actions::op::equal, word, scalar::integer(4), 4, true));
  // Other types go through the compare action; nothing stays on the stack after a test.
  cell one{probe, 1, 0, 0}, two{probe, 2, 0, 0};
  EXPECT_TRUE(actions::fast_compare_test(actions::op::lesser, word, one, two, false));
  EXPECT_EQ(stack::top, before);
  cell* pushed = actions::fast_compare_push(actions::op::greater, word, one, two);
  EXPECT_EQ(pushed, before);
  EXPECT_FALSE(logic::get(*pushed));
  EXPECT_EQ(stack::top, before + 1);
  stack::push_copy(two);
  actions::fast_compare_top(actions::op::greater_or_equal, word, one);
  EXPECT_TRUE(logic::get(*stack::last_pushed()));
  actions::fast_compare_int_set(actions::op::not_equal, word, scalar::integer(1), 1);
  EXPECT_FALSE(logic::get(*stack::arguments));
}

TEST_F(Actions, FastBlockAccess) {
  cell word = testing::global_word("pick");
  stack::arguments = stack::top = stack::bottom;
  cell block = numbers(3, 1);
  EXPECT_EQ(scalar::integer_value(*actions::fast_pick(word, block, 1)), 2);
  EXPECT_EQ(actions::fast_pick(word, block, 3)->type(), TYPE_NONE);
  EXPECT_EQ(actions::fast_pick(word, block, 0)->type(), TYPE_NONE);
  struct row {
    int32_t code;
    cell expected;
  };
  cell at0 = block, at2 = block, at3 = block;
  at0.payload1 = 0;
  at2.payload1 = 2;
  at3.payload1 = 3;
  for (const row& r : {row{1, scalar::integer(2)}, row{2, scalar::integer(2)}, row{3, logic::value_of(false)},
                       row{4, logic::value_of(false)}, row{5, at2}, row{6, at0}, row{7, at0}, row{8, at3}}) {
    cell* answer = actions::fast_series_op(word, block, r.code);
    EXPECT_EQ(answer->type(), r.expected.type()) << r.code;
    EXPECT_EQ(answer->payload1, r.expected.payload1) << r.code;
    EXPECT_EQ(answer->payload2, r.expected.payload2) << r.code;
  }
  EXPECT_EQ(scalar::integer_value(*actions::fast_series_op(word, at3, 1)), 0);
  EXPECT_EQ(actions::fast_series_op(word, at3, 5)->payload1, 3u);
  // Other types take the action: probe! has length?.
  EXPECT_EQ(scalar::integer_value(*actions::fast_series_op(word, probe_over(block), 1)), 3);
}

}  // namespace
}  // namespace tav
