// block!: the block API, make and to, append, insert, change, copy, take, swap and trim, and
// a hash! table kept in step by the inherited actions.
#include <climits>

#include "block_fixture.hpp"
#include "datatypes/typeset.hpp"
#include "interpreter/lexer_loaders.hpp"
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
using testing::molded;
using testing::with_head;
using testing::words_of;
using Blocks = testing::block_values;

// Entry parameters of append and insert: /part, /only, /dup positions.
struct insertion {
  const char* start;
  int32_t head;
  cell value;
  std::optional<int32_t> part, dup;
  bool only;
  const char* result;
  int32_t answer_head;
};

void run_insertions(actions::stack_entry entry, std::initializer_list<insertion> rows) {
  for (const insertion& r : rows) {
    cell series = words_of({});
    for (const char* p = r.start; *p; ++p) {
      char name[2] = {*p, 0};
      block::append_cell(series, global_word(name));
    }
    cell arguments[4] = {with_head(series, r.head), r.value};
    int32_t positions[3] = {-1, r.only ? 0 : -1, -1};
    int n = 2;
    if (r.part) positions[0] = n, arguments[n++] = int_value(*r.part);
    if (r.dup) positions[2] = n, arguments[n++] = int_value(*r.dup);
    stack::arguments = stack::top = stack::bottom;
    for (int i = 0; i < n; ++i) stack::push_copy(arguments[i]);
    entry(positions);
    EXPECT_EQ(series::head_of(*stack::arguments), r.answer_head) << r.result;
    EXPECT_EQ(elements(series), r.result) << r.start << " " << r.head;
  }
}

TEST_F(Blocks, Append) {
  cell xy = words_of({"x", "y"});
  run_insertions(actions::entry::append, {
      {"a", 0, xy, {}, 3, false, "a x y x y x y", 0},
      {"a", 0, words_of({}), {}, {}, false, "a", 0},
      {"ab", 1, words_of({}), {}, {}, false, "a b", 1},
      {"ab", 1, xy, {}, {}, false, "a b x y", 0},
      {"a", 0, xy, {}, {}, true, "a [x y]", 0},
      {"a", 0, xy, 1, {}, false, "a x", 0},
      {"a", 0, xy, 0, {}, false, "a", 0},
      {"a", 0, xy, {}, 0, false, "a", 0},
      {"a", 0, global_word("z"), {}, 2, false, "a z z", 0},
      {"a", 0, with_head(xy, 1), -1, {}, false, "a x", 0},
  });
}

TEST_F(Blocks, Insert) {
  cell xy = words_of({"x", "y"});
  run_insertions(actions::entry::insert, {
      {"ad", 1, xy, {}, {}, false, "a x y d", 3},
      {"a", 0, xy, {}, 2, false, "x y x y a", 4},
      {"ab", 7, xy, {}, {}, false, "a b x y", 4},
      {"ab", 0, xy, {}, {}, true, "[x y] a b", 1},
      {"ab", 2, global_word("z"), {}, {}, false, "a b z", 3},
  });
}

TEST_F(Blocks, AppendDupRepeatsTheWholeRun) {
  cell one = integers(1, 1);
  cell answer = call_entry(actions::entry::append, {one, integers(2, 3), int_value(3)}, {-1, -1, 2});
  EXPECT_EQ(elements(answer), "1 2 3 2 3 2 3");
  EXPECT_EQ(elements(call_entry(actions::entry::append, {integers(1, 1), integers(1, 0)})), "1");
}

TEST_F(Blocks, InsertingABlockIntoItself) {
  cell numbers = integers(1, 3);
  call_entry(actions::entry::insert, {with_head(numbers, 1), numbers});
  EXPECT_EQ(elements(numbers), "1 1 2 3 2 3");
  cell again = integers(1, 3);
  call_entry(actions::entry::append, {again, again});
  EXPECT_EQ(elements(again), "1 2 3 1 2 3");
  cell self = integers(1, 2);
  call_entry(actions::entry::append, {self, self}, {-1, 0});  // /only: the block itself
  EXPECT_EQ(molded(self), "[1 2 [...]]");
}

TEST_F(Blocks, Change) {
  cell ab = words_of({"a", "b"});
  struct row {
    int32_t head;
    cell value;
    std::optional<int32_t> part, dup;
    bool only;
    const char* result;
    int32_t answer_head;
  };
  for (const row& r : {row{0, ab, {}, {}, false, "a b 3 4 5", 2}, row{1, ab, 3, {}, false, "1 a b 5", 3},
                       row{0, ab, 1, {}, false, "a b 2 3 4 5", 2}, row{4, ab, {}, {}, false, "1 2 3 4 a b", 6},
                       row{9, ab, {}, {}, false, "1 2 3 4 5 a b", 7}, row{0, ab, {}, {}, true, "[a b] 2 3 4 5", 1},
                       row{1, global_word("z"), {}, 3, false, "1 z z z 5", 4},
                       row{0, ab, 0, 2, false, "a b a b 1 2 3 4 5", 4},
                       row{0, with_head(ab, 5), {}, {}, false, "1 2 3 4 5", 0}}) {
    cell numbers = integers(1, 5);
    cell arguments[4] = {with_head(numbers, r.head), r.value};
    int32_t positions[3] = {-1, r.only ? 0 : -1, -1};
    int n = 2;
    if (r.part) positions[0] = n, arguments[n++] = int_value(*r.part);
    if (r.dup) positions[2] = n, arguments[n++] = int_value(*r.dup);
    stack::arguments = stack::top = stack::bottom;
    for (int i = 0; i < n; ++i) stack::push_copy(arguments[i]);
    actions::entry::change(positions);
    EXPECT_EQ(series::head_of(*stack::arguments), r.answer_head) << r.result;
    EXPECT_EQ(elements(numbers), r.result);
  }
  cell numbers = integers(1, 3);
  call_entry(actions::entry::change, {with_head(numbers, 1), numbers});
  EXPECT_EQ(elements(numbers), "1 1 2 3");
}

TEST_F(Blocks, DeepCopiesAndCycles) {
  cell inner = words_of({"x"});
  cell outer = block_of({inner, testing::latin1_text("s"), block_of({inner})});
  cell deep = call_entry(actions::entry::copy, {outer}, {-1, 0});
  EXPECT_EQ(elements(deep), "[x] \"s\" [[x]]");
  series_buffer* copied = series::buffer(deep);
  EXPECT_NE(copied->cells()[1].payload2, series::buffer(outer)->cells()[1].payload2);  // text too
  EXPECT_NE(copied->cells()[0].payload2, inner.payload2);
  EXPECT_NE(series::buffer(copied->cells()[2])->cells()[0].payload2, inner.payload2);

  // With /types only values of those types are copied, at every depth.
  cell typed = call_entry(actions::entry::copy, {outer, testing::datatype_cell(TYPE_BLOCK)}, {-1, -1, 1});
  EXPECT_NE(series::buffer(typed)->cells()[0].payload2, inner.payload2);
  EXPECT_NE(series::buffer(series::buffer(typed)->cells()[2])->cells()[0].payload2, inner.payload2);
  cell untouched = call_entry(actions::entry::copy, {outer, testing::datatype_cell(TYPE_STRING)}, {-1, -1, 1});
  EXPECT_EQ(series::buffer(untouched)->cells()[0].payload2, inner.payload2);
  EXPECT_NE(series::buffer(untouched)->cells()[1].payload2, series::buffer(outer)->cells()[1].payload2);

  // b: copy [1] append/only b b
  cell b = call_entry(actions::entry::copy, {block_of({int_value(1)})});
  call_entry(actions::entry::append, {b, b}, {-1, 0});
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::copy, {b}, {-1, 0}); }), error_id::internal_no_cycle);
  EXPECT_EQ(cycles::depth(), 0u);
  EXPECT_EQ(molded(b), "[1 [...]]");
  EXPECT_EQ(fired_by([&] { block::clone(b, true, false); }), error_id::internal_no_cycle);
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(Blocks, CloneKeepsNestedHeadersAndOnlyTheTypeByteOfTheSource) {
  cell nested = testing::with_new_line(with_head(words_of({"p", "q"}), 1));
  cell paren = block_of({global_word("r")}, TYPE_PAREN);
  cell source = testing::with_new_line(with_head(block_of({global_word("a"), nested, paren}), 1));
  cell shallow = *block::clone(source, false, false);
  EXPECT_EQ(shallow.header, uint32_t{TYPE_BLOCK});
  EXPECT_EQ(series::head_of(shallow), 0);
  EXPECT_EQ(series::buffer(shallow)->cells()[0].payload2, nested.payload2);

  cell deep = *block::clone(source, true, false);
  cell inner = series::buffer(deep)->cells()[0];
  EXPECT_NE(inner.payload2, nested.payload2);
  EXPECT_TRUE(inner.header & cell_flag::new_line);
  EXPECT_EQ(elements(inner), "q");
  EXPECT_EQ(series::buffer(deep)->cells()[1].payload2, paren.payload2);  // parens only with paths
  cell with_parens = *block::clone(source, true, true);
  EXPECT_NE(series::buffer(with_parens)->cells()[1].payload2, paren.payload2);
}

TEST_F(Blocks, TakeSwapTrim) {
  cell inner = words_of({"x"});
  cell holder = block_of({inner});
  cell taken = call_entry(actions::entry::take, {holder}, {-1, 0});
  EXPECT_EQ(taken.type(), TYPE_BLOCK);
  EXPECT_NE(taken.payload2, inner.payload2);  // /deep
  EXPECT_EQ(elements(taken), "x");

  cell ab = words_of({"a", "b"}), cd = words_of({"c", "d"});
  call_entry(actions::entry::swap, {with_head(ab, 1), cd});
  EXPECT_EQ(elements(ab), "a c");
  EXPECT_EQ(elements(cd), "b d");
  call_entry(actions::entry::swap, {with_head(ab, 2), cd});  // at the tail: nothing
  EXPECT_EQ(elements(ab), "a c");
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::swap, {ab, none::value}); }), error_id::script_invalid_arg);

  // trim reduce [1 none 2]
  cell mixed = block_of({int_value(1), none::value, int_value(2), none::value, none::value});
  call_entry(actions::entry::trim, {mixed});
  EXPECT_EQ(elements(mixed), "1 2");
  cell from_second = block_of({none::value, none::value, int_value(3), none::value});
  call_entry(actions::entry::trim, {with_head(from_second, 1)});
  EXPECT_EQ(elements(from_second), "none 3");
}

void load_as_words(const cell& text, cell& result) {
  block::make_at(result, 1);
  block::append_cell(result, testing::global_word(testing::text_of(text).c_str()));
}

TEST_F(Blocks, MakeAndTo) {
  cell block_type = testing::datatype_cell(TYPE_BLOCK);
  cell paren_type = testing::datatype_cell(TYPE_PAREN);
  cell ab = words_of({"a", "b"});

  cell* sized = actions::make(&block_type, &ab);
  EXPECT_NE(sized->payload2, ab.payload2);
  EXPECT_EQ(elements(*sized), "a b");
  cell ten = int_value(10);
  cell* empty = actions::make(&block_type, &ten);
  EXPECT_EQ(empty->type(), TYPE_BLOCK);
  EXPECT_EQ(series::get_abs_length(*empty), 0);
  EXPECT_GE(series::buffer(*empty)->size, 10 * sizeof(cell));
  EXPECT_EQ(block::make(&paren_type, &ab, TYPE_PAREN)->type(), TYPE_PAREN);  // paren! inherits these
  cell huge = scalar::float_cell(1e12);
  EXPECT_EQ(fired_by([&] { actions::make(&block_type, &huge); }), error_id::script_out_of_range);
  cell word = global_word("w");
  EXPECT_EQ(fired_by([&] { actions::make(&block_type, &word); }), error_id::script_bad_make_arg);

  EXPECT_EQ(elements(*actions::to(&block_type, &word)), "w");
  EXPECT_EQ(block::to(&paren_type, &word, TYPE_PAREN)->type(), TYPE_PAREN);
  cell copied = *actions::to(&block_type, &ab);
  EXPECT_NE(copied.payload2, ab.payload2);
  cell set = typeset::empty();
  typeset::add_bit(set, TYPE_INTEGER);
  typeset::add_bit(set, TYPE_BLOCK);
  EXPECT_EQ(elements(*actions::to(&block_type, &set)), "block! integer!");
  cell text = testing::latin1_text("hello");
  block::set_text_loader(nullptr);  // as before the lexer installs its loader
  EXPECT_EQ(fired_by([&] { actions::to(&block_type, &text); }), error_id::internal_not_done);
  block::set_text_loader(&load_as_words);
  EXPECT_EQ(elements(*actions::to(&block_type, &text)), "hello");
  block::set_text_loader(lexer::load_block);
}

TEST_F(Blocks, WalkingAndBuilding) {
  cell abc = words_of({"a", "b", "c"});
  cell past = with_head(abc, 5);
  EXPECT_EQ(block::ts_length_p(past), -2);
  EXPECT_TRUE(block::ts_tail_p(past));
  EXPECT_EQ(block::ts_head(past), block::ts_tail(abc));
  EXPECT_EQ(series::head_of(past), 3);
  cell walker = with_head(abc, 1);
  EXPECT_FALSE(block::ts_next(walker));
  EXPECT_TRUE(block::ts_next(walker));
  EXPECT_TRUE(block::ts_next(walker));
  EXPECT_EQ(series::head_of(walker), 3);
  EXPECT_EQ(testing::spelling_of(*block::ts_abs_at(abc, 2)), "c");

  cell copy = call_entry(actions::entry::copy, {abc});
  block::insert_value(copy, global_word("x"), true, false);
  block::insert_value(copy, global_word("y"), false, true);
  EXPECT_EQ(series::head_of(copy), 1);
  EXPECT_EQ(elements(with_head(copy, 0)), "y x a b c");
  block::insert_block(copy, words_of({"p", "q"}));
  EXPECT_EQ(series::head_of(copy), 3);
  EXPECT_EQ(elements(with_head(copy, 0)), "y p q x a b c");
  block::append_values(copy, with_head(abc, 2));
  EXPECT_EQ(elements(with_head(copy, 0)), "y p q x a b c c");
  block::ts_remove_last(copy);
  cell short_copy = with_head(copy, 9);
  block::ts_remove_last(short_copy);
  EXPECT_EQ(series::head_of(short_copy), 6);
  block::set_tail_at(copy, 2);
  EXPECT_EQ(elements(with_head(copy, 0)), "y p");
  cell cleared = with_head(copy, 1);
  block::ts_clear(cleared);
  EXPECT_EQ(elements(with_head(copy, 0)), "y");

  cell* made = block::make_in(&copy, 4);
  EXPECT_EQ(made->type(), TYPE_BLOCK);
  EXPECT_EQ(series::get_abs_length(copy), 2);
  cell* fixed = block::make_fixed(nullptr, 3);
  EXPECT_TRUE(series::buffer(*fixed)->flags & series_flag::fixed);
  EXPECT_EQ(series::buffer(*fixed)->cells()[2].type(), TYPE_UNSET);
  cell* pushed = block::push_only(0);
  EXPECT_EQ(pushed + 1, stack::top);
  EXPECT_GE(series::buffer(*pushed)->size, sizeof(cell));
}

TEST_F(Blocks, StackInsertionsAndAppends) {
  cell target = words_of({"a"});
  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(target);
  stack::arguments = stack::push_copy(global_word("b"));
  block::insert_result();
  EXPECT_EQ(series::head_of(stack::bottom[0]), 1);
  *stack::arguments = global_word("c");
  block::append_result();
  EXPECT_EQ(elements(with_head(target, 0)), "b a c");
  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(target);
  stack::push_copy(global_word("d"));
  EXPECT_EQ(block::append_arg()->payload2, target.payload2);
  EXPECT_EQ(elements(target), "b a c d");
}

TEST_F(Blocks, LookingUpByKeyAndWord) {
  cell pairs = block_of({global_word("a"), int_value(1), global_word("b")});
  EXPECT_EQ(scalar::integer_value(*block::select_value(pairs, global_word("a"))), 1);
  EXPECT_EQ(block::select_value(pairs, global_word("b"))->type(), TYPE_NONE);  // the last element
  EXPECT_EQ(block::select_value(pairs, global_word("z"))->type(), TYPE_NONE);

  cell words = block_of({global_word("x"), testing::global_word("Key"), int_value(7), global_word("key"), int_value(8)});
  EXPECT_EQ(scalar::integer_value(*block::find_word(words, global_word("key"), false)), 7);
  EXPECT_EQ(scalar::integer_value(*block::find_word(words, global_word("key"), true)), 8);
  cell ends_with_match = block_of({int_value(1), global_word("x")});
  EXPECT_EQ(block::find_word(ends_with_match, global_word("x"), false)->type(), TYPE_NONE);

  cell numbers = with_head(integers(1, 5), 2);
  EXPECT_EQ(block::remove_value(numbers, int_value(2), false), 0);  // before the head: not searched
  EXPECT_EQ(block::remove_value(numbers, int_value(2), true), 1);
  EXPECT_EQ(block::remove_value(numbers, int_value(5), true), 0);
  EXPECT_EQ(block::remove_value(numbers, int_value(9), true), 0);
  EXPECT_EQ(elements(with_head(numbers, 0)), "1 3 4");
}

// A hash! over a block of integers, its table made as the hash datatype makes it.
cell hash_of(cell block) {
  set_type(block, TYPE_HASH);
  block.payload3 = hashtable::create(series::buffer(block)->count(), block.payload2, hashtable::hash_kind);
  return block;
}

// Every value of the block is found through the table at its first position, and `absent` is
// not found.
void expect_indexed(const cell& hash, int32_t absent) {
  series_buffer* b = series::buffer(hash);
  for (uint32_t p = 0; p < b->count(); ++p) {
    cell key = b->cells()[p];
    uint32_t first = 0;
    while (series::buffer(hash)->cells()[first].payload2 != key.payload2) ++first;
    const cell* found = hashtable::find(hash.payload3, key, 0, 1, actions::op::equal);
    ASSERT_NE(found, nullptr) << scalar::integer_value(key);
    EXPECT_EQ(found - series::buffer(hash)->cells(), static_cast<ptrdiff_t>(first)) << scalar::integer_value(key);
  }
  EXPECT_EQ(hashtable::find(hash.payload3, int_value(absent), 0, 1, actions::op::equal), nullptr);
}

TEST_F(Blocks, HashTableFollowsTheInheritedActions) {
  // A table is kept alive through a hash! cell that the collector reads precisely.
  cell hash = hash_of(integers(1, 6)), taken{}, other{};
  collector::scoped_root keep_hash(&hash), keep_taken(&taken), keep_other(&other);
  cell value = int_value(20);
  cell series = with_head(hash, 2);
  block::insert(&series, &value, -1, false, 1, false);
  expect_indexed(hash, 99);  // [1 2 20 3 4 5 6]
  cell at_two = with_head(hash, 1);
  series::remove(&at_two, nullptr, nullptr);
  expect_indexed(hash, 2);  // [1 20 3 4 5 6]
  cell tail_part = int_value(2);
  cell taker = hash;
  taken = *block::take(&taker, &tail_part, false, true);
  EXPECT_EQ(taken.type(), TYPE_HASH);
  expect_indexed(taken, 1);
  expect_indexed(hash, 6);  // [1 20 3 4]
  cell poked = int_value(30);
  series::poke(&hash, 3, &poked, nullptr);
  expect_indexed(hash, 3);  // [1 20 30 4]
  cell whole = hash;
  series::reverse(&whole, nullptr, nullptr);
  expect_indexed(hash, 3);  // [4 30 20 1]
  other = hash_of(integers(7, 8));
  block::swap(&whole, &other);
  expect_indexed(hash, 4);  // [7 30 20 1]
  expect_indexed(other, 7);
  cell replacement = integers(40, 41);
  cell changer = with_head(hash, 1);
  block::change(&changer, &replacement, 1, false, 1);
  expect_indexed(hash, 30);  // [7 40 41 20 1]
  cell key = int_value(50), new_value = int_value(51);
  block::put(&hash, &key, &new_value, false);
  expect_indexed(hash, 52);
  cell mover = with_head(hash, 0);
  cell destination = with_head(hash, 4);
  series::move(&mover, &destination, nullptr);
  expect_indexed(hash, 99);  // [40 41 20 7 1 50 51]
  cell as_block = hash;
  set_type(as_block, TYPE_BLOCK);
  EXPECT_EQ(elements(as_block), "40 41 20 7 1 50 51");
  cell clearer = with_head(hash, 3);
  series::clear(&clearer);
  expect_indexed(hash, 7);

  cell found = hash, wanted = int_value(20);
  EXPECT_EQ(series::head_of(*block::find(&found, &wanted, nullptr, false, false, false, false, nullptr, nullptr,
                                         false, false, false, false)), 2);
}

}  // namespace
}  // namespace tav
