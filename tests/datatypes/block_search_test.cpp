// block!: find and select with their refinements, put, path access, comparison, sorting with
// and without comparators, and the set operations.
#include "block_fixture.hpp"
#include "datatypes/typeset.hpp"
#include "runtime/collector.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/hashtable.hpp"

namespace tav {
namespace {

using testing::block_of;
using testing::call_entry;
using testing::elements;
using testing::fired_by;
using testing::global_word;
using testing::int_value;
using testing::integers;
using testing::with_head;
using testing::words_of;
using Search = testing::block_values;

// Refinement slots of the find entry, in its parameter order.
enum refine { part, only, case_, same, any, with, skip, last, reverse, tail, match, refine_count };

// Runs find (or select, whose parameters are find's without the last two) with the flags set and the refinement arguments given; answers the
// result cell.
cell run(actions::stack_entry entry, const cell& series, const cell& value, std::initializer_list<refine> flags,
         std::optional<cell> part_arg = {}, std::optional<cell> skip_arg = {}) {
  int32_t positions[refine_count];
  std::fill(positions, positions + refine_count, -1);
  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(series);
  stack::push_copy(value);
  int32_t next = 2;
  for (refine r : flags) positions[r] = 0;
  if (part_arg) stack::push_copy(*part_arg), positions[part] = next++;
  if (skip_arg) stack::push_copy(*skip_arg), positions[skip] = next++;
  entry(positions);
  return *stack::arguments;
}

int32_t found_at(const cell& result) { return result.type() == TYPE_NONE ? -1 : series::head_of(result); }

TEST_F(Search, Find) {
  cell abc = words_of({"a", "b", "c"});
  cell bc = words_of({"b", "c"});
  cell nested = block_of({global_word("a"), bc});
  cell mixed = block_of({int_value(1), global_word("a")});
  cell abab = words_of({"a", "b", "a", "c"});
  cell word_type = testing::datatype_cell(TYPE_WORD);
  cell words_only = typeset::empty();
  typeset::add_bit(words_only, TYPE_WORD);
  struct row {
    cell series, value;
    std::initializer_list<refine> flags;
    std::optional<cell> part_arg, skip_arg;
    int32_t at;
  };
  const row rows[] = {
      {abc, bc, {}, {}, {}, 1},
      {nested, bc, {only}, {}, {}, 1},
      {nested, bc, {}, {}, {}, -1},
      {mixed, word_type, {}, {}, {}, 1},
      {block_of({int_value(1), word_type}), word_type, {only}, {}, {}, 1},
      {mixed, words_only, {}, {}, {}, 1},
      {abab, global_word("c"), {}, {}, int_value(2), -1},
      {abab, global_word("a"), {}, {}, int_value(2), 0},
      {with_head(abab, 1), global_word("c"), {}, {}, int_value(2), 3},
      {abc, global_word("c"), {}, int_value(2), {}, -1},
      {abc, global_word("c"), {}, int_value(3), {}, 2},
      {abc, global_word("c"), {}, with_head(abc, 2), {}, 2},
      {abc, global_word("c"), {}, int_value(0), {}, -1},
      {abab, global_word("a"), {last}, {}, {}, 2},
      {with_head(abab, 3), global_word("a"), {reverse}, {}, {}, 2},
      {with_head(abab, 2), global_word("a"), {reverse}, {}, {}, 0},
      {with_head(abab, 4), global_word("c"), {reverse}, {}, {}, 3},
      {abc, global_word("b"), {tail}, {}, {}, 2},
      {abc, bc, {tail}, {}, {}, 3},
      {abab, global_word("a"), {last, tail}, {}, {}, 3},
      {abab, global_word("a"), {tail}, {}, int_value(2), 2},
      {abc, global_word("a"), {match}, {}, {}, 0},
      {abc, global_word("b"), {match}, {}, {}, -1},
      {with_head(abc, 3), global_word("a"), {}, {}, {}, -1},
      {words_of({}), global_word("a"), {}, {}, {}, -1},
      {abc, words_of({}), {}, {}, {}, -1},
  };
  for (const row& r : rows)
    EXPECT_EQ(found_at(run(actions::entry::find, r.series, r.value, r.flags, r.part_arg, r.skip_arg)), r.at)
        << testing::molded(r.series) << " " << testing::molded(r.value);

  cell cased = block_of({global_word("Foo"), global_word("foo")});
  EXPECT_EQ(found_at(run(actions::entry::find, cased, global_word("foo"), {})), 0);
  EXPECT_EQ(found_at(run(actions::entry::find, cased, global_word("foo"), {case_})), 1);
  cell x1 = words_of({"x"}), x2 = words_of({"x"});
  cell twins = block_of({x1, x2});
  EXPECT_EQ(found_at(run(actions::entry::find, twins, x2, {only})), 0);
  EXPECT_EQ(found_at(run(actions::entry::find, twins, x2, {only, same})), 1);

  EXPECT_EQ(fired_by([&] { run(actions::entry::find, abc, global_word("a"), {}, {}, int_value(0)); }),
            error_id::script_out_of_range);
  EXPECT_EQ(fired_by([&] { run(actions::entry::find, abc, global_word("a"), {}, {}, none::value); }),
            error_id::script_invalid_refine_arg);
  EXPECT_EQ(fired_by([&] { run(actions::entry::find, abc, global_word("a"), {}, none::value); }),
            error_id::script_invalid_refine_arg);
}

TEST_F(Search, SelectAndPut) {
  cell pairs = block_of({global_word("a"), int_value(1), global_word("b")});
  EXPECT_EQ(run(actions::entry::select, pairs, global_word("b"), {}).type(), TYPE_NONE);
  EXPECT_EQ(scalar::integer_value(run(actions::entry::select, pairs, global_word("a"), {})), 1);
  cell abcd = words_of({"a", "b", "c", "d"});
  EXPECT_EQ(testing::spelling_of(run(actions::entry::select, abcd, words_of({"b", "c"}), {})), "d");
  cell nested = block_of({words_of({"b", "c"}), global_word("d")});
  EXPECT_EQ(testing::spelling_of(run(actions::entry::select, nested, words_of({"b", "c"}), {only})), "d");
  EXPECT_EQ(testing::spelling_of(run(actions::entry::select, abcd, global_word("a"), {last})), "b");

  cell table = block_of({global_word("a"), int_value(1), global_word("b")});
  auto put = [&](const char* key, int32_t value) {
    cell answer = call_entry(actions::entry::put, {table, global_word(key), int_value(value)});
    EXPECT_EQ(scalar::integer_value(answer), value);
  };
  put("a", 2);
  put("b", 3);
  put("c", 4);
  EXPECT_EQ(elements(table), "a 2 b 3 c 4");
}

TEST_F(Search, PathAccess) {
  cell table = block_of({global_word("a"), int_value(1), global_word("b"), int_value(2)});
  auto get = [&](cell element) {
    return *block::eval_path(&table, &element, nullptr, nullptr, nullptr, nullptr, 1, false, false, true, false);
  };
  auto set = [&](cell element, cell value) {
    return *block::eval_path(&table, &element, &value, nullptr, nullptr, nullptr, 1, false, false, true, false);
  };
  EXPECT_EQ(scalar::integer_value(get(global_word("b"))), 2);
  EXPECT_EQ(testing::spelling_of(get(int_value(3))), "b");
  EXPECT_EQ(get(int_value(9)).type(), TYPE_NONE);
  EXPECT_EQ(scalar::integer_value(get(testing::lit_word("a"))), 1);
  set(global_word("a"), int_value(10));
  set(int_value(4), int_value(20));
  EXPECT_EQ(elements(table), "a 10 b 20");
  cell path = words_of({"t", "z"});
  cell missing = global_word("z"), value = int_value(0);
  EXPECT_EQ(fired_by([&] { block::eval_path(&table, &missing, &value, &path, nullptr, nullptr, 1, false, false,
                                            true, false); }),
            error_id::script_bad_path_set);
  EXPECT_EQ(last_fired.args[0].payload2, path.payload2);
}

bool compared(const cell& a, const cell& b, int32_t op) {
  cell x = a, y = b;
  return actions::compare(&x, &y, op);
}

TEST_F(Search, Compare) {
  namespace op = actions::op;
  cell one_two = integers(1, 2);
  struct row {
    cell a, b;
    int32_t op;
    bool result;
  };
  const row rows[] = {
      {one_two, integers(1, 3), op::equal, false},
      {one_two, integers(1, 2), op::equal, true},
      {one_two, integers(1, 2), op::same, false},
      {one_two, one_two, op::same, true},
      {words_of({}), integers(1, 1), op::lesser, true},
      {integers(1, 1), words_of({}), op::greater, true},
      {words_of({}), integers(5, 4), op::equal, true},
      {one_two, block_of({int_value(1), int_value(3)}), op::lesser, true},
      {integers(1, 3), one_two, op::greater, true},
      {words_of({"a"}), integers(1, 1), op::greater, true},
      {words_of({"a"}), words_of({"A"}), op::equal, true},
      {words_of({"a"}), words_of({"A"}), op::strict_equal, false},
      {block_of({global_word("a")}), block_of({testing::lit_word("a")}), op::equal, true},
      {one_two, block_of({int_value(1), int_value(2)}, TYPE_PAREN), op::equal, false},
      {with_head(integers(0, 2), 1), one_two, op::equal, true},
  };
  for (const row& r : rows) EXPECT_EQ(compared(r.a, r.b, r.op), r.result) << testing::molded(r.a) << " " << r.op;
  EXPECT_EQ(fired_by([&] { compared(one_two, block_of({}, TYPE_PAREN), op::lesser); }), error_id::script_invalid_compare);

  cell a = integers(1, 1), b = integers(1, 1);
  block::append_cell(a, a);
  block::append_cell(b, b);
  EXPECT_TRUE(compared(a, b, op::equal));
  EXPECT_EQ(cycles::depth(), 0u);
}

// sort entry parameters: /case flag, /skip, /compare, /part cells, /all, /reverse, /stable flags.
struct sorting_run {
  std::optional<int32_t> skip{};
  std::optional<cell> comparator{};
  std::optional<int32_t> part{};
  bool all = false, reverse = false, stable = false, case_sensitive = false;
};

cell sort_entry(const cell& series, const sorting_run& how) {
  int32_t positions[7] = {how.case_sensitive ? 0 : -1, -1, -1, -1, how.all ? 0 : -1, how.reverse ? 0 : -1,
                          how.stable ? 0 : -1};
  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(series);
  int32_t next = 1;
  if (how.skip) stack::push_copy(int_value(*how.skip)), positions[1] = next++;
  if (how.comparator) stack::push_copy(*how.comparator), positions[2] = next++;
  if (how.part) stack::push_copy(int_value(*how.part)), positions[3] = next++;
  actions::entry::sort(positions);
  return *stack::arguments;
}

cell of_ints(std::initializer_list<int32_t> values) {
  cell result = integers(1, 0);
  for (int32_t v : values) block::append_cell(result, int_value(v));
  return result;
}

TEST_F(Search, Sort) {
  struct row {
    std::initializer_list<int32_t> values;
    sorting_run how;
    const char* result;
  };
  const row rows[] = {
      {{3, 1, 2}, {}, "1 2 3"},
      {{3, 1, 2}, {.reverse = true}, "3 2 1"},
      {{3, 30, 1, 10, 2, 20}, {.skip = 2}, "1 10 2 20 3 30"},
      {{1, 30, 2, 10, 3, 20}, {.skip = 2, .comparator = int_value(2)}, "2 10 3 20 1 30"},
      {{1, 9, 1, 8}, {.skip = 2, .all = true}, "1 8 1 9"},
      {{1, 9, 1, 8}, {.skip = 2, .stable = true}, "1 9 1 8"},
      {{1, 9, 1, 8}, {.skip = 2, .all = true, .reverse = true}, "1 9 1 8"},
      {{3, 2, 1}, {.part = 2}, "2 3 1"},
      {{3, 2, 1}, {.part = 9}, "1 2 3"},
      {{5, 4, 3, 2, 1}, {.stable = true}, "1 2 3 4 5"},
  };
  for (const row& r : rows) {
    cell numbers = of_ints(r.values);
    sort_entry(numbers, r.how);
    EXPECT_EQ(elements(numbers), r.result);
  }
  cell numbers = of_ints({4, 3, 2, 1});
  cell answer = sort_entry(with_head(numbers, 3), {.part = -2});
  EXPECT_EQ(series::head_of(answer), 1);
  EXPECT_EQ(elements(numbers), "4 2 3 1");
  sort_entry(with_head(numbers, 1), {.part = -5});
  EXPECT_EQ(elements(numbers), "4 2 3 1");

  cell mixed = block_of({global_word("b"), int_value(2), global_word("a"), int_value(1)});
  sort_entry(mixed, {});
  EXPECT_EQ(elements(mixed), "1 2 a b");

  // Equal keys keep their order with /stable: 200 records compared on their first field only.
  cell records = integers(1, 0);
  for (int32_t i = 0; i < 200; ++i) {
    block::append_cell(records, int_value(i % 3));
    block::append_cell(records, int_value(i));
  }
  sort_entry(records, {.skip = 2, .stable = true});
  series_buffer* b = series::buffer(records);
  for (uint32_t i = 2; i < b->count(); i += 2) {
    int32_t key0 = scalar::integer_value(b->cells()[i - 2]), key1 = scalar::integer_value(b->cells()[i]);
    ASSERT_LE(key0, key1);
    if (key0 == key1) {
      ASSERT_LT(scalar::integer_value(b->cells()[i - 1]), scalar::integer_value(b->cells()[i + 1]));
    }
  }
}

TEST_F(Search, SortRefusals) {
  cell numbers = integers(1, 4);
  struct row {
    sorting_run how;
    error_id error;
  };
  const row rows[] = {
      {{.comparator = int_value(1)}, error_id::script_bad_refines},
      {{.all = true}, error_id::script_bad_refines},
      {{.skip = 2, .comparator = int_value(1), .all = true}, error_id::script_bad_refines},
      {{.skip = 3}, error_id::script_invalid_refine_arg},
      {{.skip = 0}, error_id::script_invalid_refine_arg},
      {{.skip = 2, .comparator = int_value(3)}, error_id::script_out_of_range},
      {{.comparator = global_word("x")}, error_id::script_invalid_refine_arg},
      {{.comparator = cell{TYPE_FUNCTION, 0, 0, 0}}, error_id::internal_not_done},
  };
  block::set_comparator_call(nullptr);  // a function comparator needs the interpreter's call
  for (const row& r : rows) EXPECT_EQ(fired_by([&] { sort_entry(numbers, r.how); }), r.error);
  EXPECT_EQ(elements(numbers), "1 2 3 4");
}

// A comparator standing in for a function: it answers from the two arguments it gets, and
// records the first call's arguments.
struct comparator_log {
  int calls = 0;
  cell first{}, second{};
  bool answer_logic = false;
} comparisons;

cell stand_in_comparator(const cell&, const cell& first, const cell& second) {
  if (comparisons.calls++ == 0) comparisons.first = first, comparisons.second = second;
  if (first.type() != TYPE_INTEGER) return int_value(0);
  int32_t a = scalar::integer_value(first), b = scalar::integer_value(second);
  if (comparisons.answer_logic) return logic::value_of(a > b);
  return int_value(a - b);
}

class FunctionSort : public Search {
 protected:
  void SetUp() override {
    Search::SetUp();
    comparisons = {};
    block::set_comparator_call(&stand_in_comparator);
  }
  void TearDown() override {
    block::set_comparator_call(nullptr);
    Search::TearDown();
  }
  const cell function{TYPE_FUNCTION, 0, 0, 0};
};

TEST_F(FunctionSort, TheSecondElementComesFirstAndAnIntegerAnswerIsTheOrder) {
  cell pair = of_ints({1, 2});
  sort_entry(pair, {.comparator = function});
  EXPECT_EQ(scalar::integer_value(comparisons.first), 2);
  EXPECT_EQ(scalar::integer_value(comparisons.second), 1);
  // first - second of (b, a) is b - a: larger elements sort first.
  EXPECT_EQ(elements(pair), "2 1");
  cell numbers = of_ints({1, 3, 2, 5, 4});
  sort_entry(numbers, {.comparator = function, .stable = true});
  EXPECT_EQ(elements(numbers), "5 4 3 2 1");
  sort_entry(numbers, {.comparator = function, .reverse = true});
  EXPECT_EQ(elements(numbers), "1 2 3 4 5");
  comparisons.answer_logic = true;
  sort_entry(numbers, {.comparator = function});
  EXPECT_EQ(elements(numbers), "5 4 3 2 1");
}

TEST_F(FunctionSort, WholeRecordsArriveAsBlocks) {
  cell records = of_ints({2, 20, 1, 10});
  sort_entry(records, {.skip = 2, .comparator = function, .all = true});
  EXPECT_EQ(comparisons.first.type(), TYPE_BLOCK);
  EXPECT_EQ(elements(comparisons.first), "1 10");
  EXPECT_EQ(elements(comparisons.second), "2 20");
}

cell set_operation(int32_t op, const cell& first, std::optional<cell> second, bool case_sensitive = false,
                   std::optional<int32_t> skip = {}) {
  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(first);
  stack::push_copy(second ? *second : none::value);
  cell skip_cell = skip ? int_value(*skip) : none::value;
  cell* skip_arg = skip ? stack::push_copy(skip_cell) : nullptr;
  return *block::do_set_op(case_sensitive, skip_arg, op);
}

TEST_F(Search, SetOperations) {
  using namespace block::set_op;
  cell abac = words_of({"a", "b", "a", "c"});
  cell bcd = words_of({"b", "c", "d"});
  EXPECT_EQ(elements(set_operation(unique, abac, {})), "a b c");
  EXPECT_EQ(elements(set_operation(union_, words_of({"a", "b"}), bcd)), "a b c d");
  EXPECT_EQ(elements(set_operation(intersect, abac, bcd)), "b c");
  EXPECT_EQ(elements(set_operation(exclude, abac, bcd)), "a");
  EXPECT_EQ(elements(set_operation(difference, abac, bcd)), "a d");
  EXPECT_EQ(elements(set_operation(unique, with_head(abac, 1), {})), "b a c");
  cell mixed_case = block_of({global_word("a"), global_word("A")});
  EXPECT_EQ(elements(set_operation(unique, mixed_case, {})), "a");
  EXPECT_EQ(elements(set_operation(unique, mixed_case, {}, true)), "a A");
  cell records = block_of({global_word("a"), int_value(1), global_word("a"), int_value(2), global_word("b"), int_value(3)});
  EXPECT_EQ(elements(set_operation(unique, records, {}, false, 2)), "a 1 b 3");
  cell x1 = words_of({"x"});
  cell blocks = block_of({x1, words_of({"x"}), words_of({"y"})});
  EXPECT_EQ(elements(set_operation(unique, blocks, {})), "[x] [y]");
  EXPECT_EQ(elements(set_operation(exclude, blocks, block_of({words_of({"y"})}))), "[x]");
  EXPECT_EQ(fired_by([&] { set_operation(unique, abac, {}, false, 0); }), error_id::script_invalid_refine_arg);

  cell result = set_operation(intersect, abac, bcd);
  EXPECT_EQ(result.type(), TYPE_BLOCK);
  cell hashed = abac;
  collector::scoped_root keep(&hashed);
  set_type(hashed, TYPE_HASH);
  hashed.payload3 = hashtable::create(4, hashed.payload2, hashtable::hash_kind);
  cell from_hash = set_operation(unique, hashed, {});
  collector::scoped_root keep_result(&from_hash);
  EXPECT_EQ(from_hash.type(), TYPE_HASH);
  cell b = global_word("b");
  EXPECT_NE(hashtable::find(from_hash.payload3, b, 0, 1, actions::op::equal), nullptr);
}

}  // namespace
}  // namespace tav
