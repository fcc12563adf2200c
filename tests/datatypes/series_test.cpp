// series!: navigation, pick and poke on cells, text and bytes, clear, remove, reverse, take,
// copy, random, move, and the reports to a series' owner.
#include <algorithm>
#include <vector>

#include "block_fixture.hpp"
#include "runtime/unicode.hpp"

namespace tav {
namespace {

using testing::block_of;
using testing::call_entry;
using testing::elements;
using testing::fired_by;
using testing::global_word;
using testing::int_value;
using testing::integers;
using testing::latin1_text;
using testing::text_of;
using testing::with_head;
using testing::words_of;
using Series = testing::block_values;

int32_t head_after(actions::stack_entry entry, const cell& series, std::optional<int32_t> offset = {}) {
  cell result = offset ? call_entry(entry, {series, int_value(*offset)}) : call_entry(entry, {series});
  return series::head_of(result);
}

TEST_F(Series, Navigation) {
  cell abc = words_of({"a", "b", "c"});
  struct row {
    actions::stack_entry entry;
    int32_t from;
    std::optional<int32_t> offset;
    int32_t head;
  };
  const row rows[] = {
      {actions::entry::at, 1, 0, 1},      {actions::entry::at, 1, 1, 1},    {actions::entry::at, 1, -1, 0},
      {actions::entry::at, 1, 2, 2},      {actions::entry::at, 0, 10, 3},   {actions::entry::at, 2, -10, 0},
      {actions::entry::skip, 0, 10, 3},   {actions::entry::skip, 2, -1, 1}, {actions::entry::skip, 1, -5, 0},
      {actions::entry::next, 2, {}, 3},   {actions::entry::next, 3, {}, 3}, {actions::entry::next, 5, {}, 5},
      {actions::entry::back, 0, {}, 0},   {actions::entry::back, 2, {}, 1}, {actions::entry::back, 5, {}, 4},
      {actions::entry::head, 2, {}, 0},   {actions::entry::tail, 0, {}, 3},
  };
  for (const row& r : rows) EXPECT_EQ(head_after(r.entry, with_head(abc, r.from), r.offset), r.head) << r.from;

  cell at_zero = call_entry(actions::entry::at, {abc, int_value(0)});
  EXPECT_EQ(scalar::integer_value(call_entry(actions::entry::index_p, {at_zero})), 1);
  cell skipped = call_entry(actions::entry::skip, {abc, int_value(10)});
  EXPECT_EQ(scalar::integer_value(call_entry(actions::entry::index_p, {skipped})), 4);
  EXPECT_TRUE(logic::get(call_entry(actions::entry::head_p, {abc})));
  EXPECT_FALSE(logic::get(call_entry(actions::entry::tail_p, {with_head(abc, 2)})));
  EXPECT_TRUE(logic::get(call_entry(actions::entry::tail_p, {with_head(abc, 7)})));
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::at, {abc, none::value}); }), error_id::script_invalid_arg);
}

TEST_F(Series, LengthPullsAnIndexPastTheTailBack) {
  cell abc = words_of({"a", "b", "c"});
  EXPECT_EQ(scalar::integer_value(call_entry(actions::entry::length_p, {with_head(abc, 1)})), 2);
  cell past = with_head(abc, 9);
  EXPECT_EQ(series::get_length(past, false), 0);
  EXPECT_EQ(series::head_of(past), 3);
  EXPECT_EQ(series::get_length(past, true), 3);
  cell negative = with_head(abc, -2);
  EXPECT_EQ(series::get_length(negative, false), 3);

  cell two = with_head(abc, 2);
  EXPECT_TRUE(series::ts_skip(two, 1));  // moves onto the tail
  EXPECT_EQ(series::head_of(two), 3);
  EXPECT_TRUE(series::ts_skip(two, 1));  // would pass it: stays
  EXPECT_EQ(series::head_of(two), 3);
}

TEST_F(Series, PickAndPokeCells) {
  cell ab = words_of({"a", "b"});
  auto picked = [&](const cell& series, int32_t index) {
    return call_entry(actions::entry::pick, {series, int_value(index)});
  };
  EXPECT_EQ(picked(ab, 0).type(), TYPE_NONE);
  EXPECT_EQ(testing::spelling_of(picked(ab, 2)), "b");
  EXPECT_EQ(picked(ab, 3).type(), TYPE_NONE);
  EXPECT_EQ(testing::spelling_of(picked(with_head(ab, 1), -1)), "a");
  EXPECT_EQ(picked(with_head(ab, 1), -2).type(), TYPE_NONE);

  cell x = global_word("x");
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::poke, {ab, int_value(0), x}); }),
            error_id::script_out_of_range);
  EXPECT_EQ(last_fired.args[0].payload2, 0u);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::poke, {ab, int_value(3), x}); }),
            error_id::script_out_of_range);
  cell answer = call_entry(actions::entry::poke, {ab, int_value(2), x});
  EXPECT_EQ(testing::spelling_of(answer), "x");
  EXPECT_EQ(elements(ab), "a x");
}

// Text and bytes go straight to the series handlers, which their types inherit.
cell* pick(cell& series, int32_t index) { return series::pick(&series, index, nullptr); }
void poke(cell& series, int32_t index, cell value) { series::poke(&series, index, &value, nullptr); }

TEST_F(Series, PickAndPokeText) {
  cell text = latin1_text("abc");
  cell c = *pick(text, 2);
  EXPECT_EQ(c.type(), TYPE_CHAR);
  EXPECT_EQ(c.payload2, uint32_t{'b'});

  cell e_acute{TYPE_CHAR, 0, 233, 0};
  poke(text, 1, e_acute);
  EXPECT_EQ(series::buffer(text)->unit(), 1u);  // 233 still fits one byte
  cell omega{TYPE_CHAR, 0, 0x3A9, 0};
  poke(text, 3, omega);
  EXPECT_EQ(series::buffer(text)->unit(), 2u);
  EXPECT_EQ(text_of(text), "\xC3\xA9" "b" "\xCE\xA9");
  EXPECT_EQ(fired_by([&] { poke(text, 1, int_value(65)); }),
            error_id::script_invalid_arg);
}

TEST_F(Series, PickAndPokeBytes) {
  node_id node = alloc_bytes(4);
  std::memcpy(buffer_of(node)->data(), "\x01\xFF", 2);
  buffer_of(node)->tail = 2;
  cell bytes{TYPE_BINARY, 0, node, 0};
  EXPECT_EQ(scalar::integer_value(*pick(bytes, 2)), 255);
  poke(bytes, 1, int_value(7));
  EXPECT_EQ(buffer_of(node)->data()[0], 7);
  EXPECT_EQ(fired_by([&] { poke(bytes, 1, int_value(256)); }), error_id::script_out_of_range);
  EXPECT_EQ(fired_by([&] { poke(bytes, 1, none::value); }), error_id::script_invalid_arg);
}

TEST_F(Series, ClearAndRemove) {
  cell abcd = words_of({"a", "b", "c", "d"});
  call_entry(actions::entry::clear, {with_head(abcd, 3)});
  EXPECT_EQ(elements(abcd), "a b c");
  call_entry(actions::entry::clear, {with_head(abcd, 5)});  // past the tail: nothing
  EXPECT_EQ(elements(abcd), "a b c");

  struct row {
    int32_t head;
    std::optional<int32_t> part;
    const char* left;
  };
  for (const row& r : {row{0, {}, "2 3 4 5"}, row{1, 2, "1 4 5"}, row{3, 9, "1 2 3"}, row{1, 0, "1 2 3 4 5"},
                       row{1, -1, "1 2 3 4 5"}, row{5, {}, "1 2 3 4 5"}}) {
    cell numbers = integers(1, 5);
    if (r.part)
      call_entry(actions::entry::remove, {with_head(numbers, r.head), int_value(*r.part)}, {1});
    else
      call_entry(actions::entry::remove, {with_head(numbers, r.head)});
    EXPECT_EQ(elements(numbers), r.left) << r.head;
  }

  cell numbers = integers(1, 5);
  call_entry(actions::entry::remove, {with_head(numbers, 1), with_head(numbers, 3)}, {1});
  EXPECT_EQ(elements(numbers), "1 4 5");
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::remove, {numbers, words_of({"a"})}, {1}); }),
            error_id::script_invalid_refine_arg);
}

TEST_F(Series, RemoveKeyTakesTheValueAlong) {
  cell pairs = block_of({global_word("a"), int_value(1), global_word("b"), int_value(2), global_word("c")});
  cell at_key = call_entry(actions::entry::remove, {pairs, global_word("b")}, {-1, 1});
  EXPECT_EQ(elements(pairs), "a 1 c");
  EXPECT_EQ(series::head_of(at_key), 2);
  call_entry(actions::entry::remove, {pairs, global_word("z")}, {-1, 1});
  EXPECT_EQ(elements(pairs), "a 1 c");
}

TEST_F(Series, Reverse) {
  struct row {
    int32_t head;
    std::optional<int32_t> part, skip;
    const char* result;
  };
  for (const row& r : {row{0, {}, {}, "6 5 4 3 2 1"}, row{0, {}, 2, "5 6 3 4 1 2"}, row{2, 2, {}, "1 2 4 3 5 6"},
                       row{0, {}, 6, "1 2 3 4 5 6"}, row{0, 4, 2, "3 4 1 2 5 6"}, row{0, {}, 3, "4 5 6 1 2 3"}}) {
    cell numbers = integers(1, 6);
    cell series = with_head(numbers, r.head);
    if (r.part && r.skip)
      call_entry(actions::entry::reverse, {series, int_value(*r.part), int_value(*r.skip)}, {1, 2});
    else if (r.skip)
      call_entry(actions::entry::reverse, {series, int_value(*r.skip)}, {-1, 1});
    else if (r.part)
      call_entry(actions::entry::reverse, {series, int_value(*r.part)}, {1});
    else
      call_entry(actions::entry::reverse, {series});
    EXPECT_EQ(elements(numbers), r.result);
  }
  cell numbers = integers(1, 6);
  auto reverse_skip = [&](const cell& skip) {
    return fired_by([&] { call_entry(actions::entry::reverse, {numbers, skip}, {-1, 1}); });
  };
  EXPECT_EQ(reverse_skip(int_value(4)), error_id::script_invalid_refine_arg);
  EXPECT_EQ(reverse_skip(int_value(0)), error_id::script_out_of_range);
  EXPECT_EQ(reverse_skip(none::value), error_id::script_invalid_refine_arg);
  EXPECT_EQ(elements(numbers), "1 2 3 4 5 6");
}

TEST_F(Series, TakeOne) {
  cell five = block_of({int_value(5)});
  cell taken = call_entry(actions::entry::take, {five});
  EXPECT_EQ(taken.type(), TYPE_INTEGER);
  EXPECT_EQ(scalar::integer_value(taken), 5);
  EXPECT_EQ(series::get_abs_length(five), 0);
  EXPECT_EQ(call_entry(actions::entry::take, {five}).type(), TYPE_NONE);
  cell numbers = integers(1, 3);
  EXPECT_EQ(scalar::integer_value(call_entry(actions::entry::take, {numbers}, {-1, -1, 0})), 3);  // /last
  EXPECT_EQ(elements(numbers), "1 2");
}

TEST_F(Series, TakeParts) {
  struct row {
    int32_t head;
    int32_t part;
    bool last;
    const char *taken, *left;
  };
  const row rows[] = {
      {0, 2, false, "1 2", "3 4 5"},   {1, 9, false, "2 3 4 5", "1"}, {0, 2, true, "4 5", "1 2 3"},
      {2, -1, false, "2", "1 3 4 5"},  {2, -5, false, "1 2", "3 4 5"}, {0, -1, false, "", "1 2 3 4 5"},
      {3, -1, true, "", "1 2 3 4 5"},  {2, 0, false, "", "1 2 3 4 5"},
  };
  for (const row& r : rows) {
    cell numbers = integers(1, 5);
    cell taken = call_entry(actions::entry::take, {with_head(numbers, r.head), int_value(r.part)}, {1, -1, r.last ? 0 : -1});
    EXPECT_EQ(taken.type(), TYPE_BLOCK) << r.part;
    EXPECT_EQ(series::head_of(taken), 0);
    EXPECT_EQ(elements(taken), r.taken) << r.head << " " << r.part;
    EXPECT_EQ(elements(numbers), r.left) << r.head << " " << r.part;
  }
  cell numbers = integers(1, 5);
  cell to_three = with_head(numbers, 3);
  EXPECT_EQ(elements(call_entry(actions::entry::take, {with_head(numbers, 1), to_three}, {1})), "2 3");
  cell from_second = with_head(numbers, 1);  // [1 4 5] now
  EXPECT_EQ(elements(call_entry(actions::entry::take, {numbers, from_second}, {1, -1, 0})), "4 5");
  EXPECT_EQ(elements(numbers), "1");
}

TEST_F(Series, CopyParts) {
  cell numbers = integers(1, 5);
  auto copied = [&](const cell& series, std::optional<cell> part) {
    cell result = part ? call_entry(actions::entry::copy, {series, *part}, {1}) : call_entry(actions::entry::copy, {series});
    EXPECT_NE(result.payload2, numbers.payload2);
    return elements(result);
  };
  EXPECT_EQ(copied(with_head(numbers, 1), {}), "2 3 4 5");
  EXPECT_EQ(copied(numbers, int_value(2)), "1 2");
  EXPECT_EQ(copied(with_head(numbers, 3), int_value(-2)), "2 3");
  EXPECT_EQ(copied(with_head(numbers, 1), int_value(-4)), "1");
  EXPECT_EQ(copied(numbers, int_value(9)), "1 2 3 4 5");
  EXPECT_EQ(copied(with_head(numbers, 7), {}), "");
  EXPECT_EQ(copied(with_head(numbers, 1), with_head(numbers, 3)), "2 3");
  EXPECT_EQ(copied(numbers, cell{TYPE_PAIR, 0, 2, 4}), "2 3");
  EXPECT_EQ(copied(numbers, cell{TYPE_PAIR, 0, 3, 1}), "");

  cell flagged = testing::with_new_line(numbers);
  EXPECT_TRUE(call_entry(actions::entry::copy, {flagged}).header & cell_flag::new_line);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::copy, {numbers, none::value}, {1}); }),
            error_id::script_invalid_refine_arg);
}

std::vector<int32_t> values_of(const cell& block) {
  std::vector<int32_t> result;
  for (uint32_t i = 0; i < series::buffer(block)->count(); ++i)
    result.push_back(scalar::integer_value(series::buffer(block)->cells()[i]));
  return result;
}

TEST_F(Series, RandomShufflesAPermutationRepeatablyFromASeed) {
  cell seed = latin1_text("seed");
  auto shuffled = [&] {
    cell seeding = seed;
    series::random(&seeding, true, false, false);
    EXPECT_EQ(seeding.type(), TYPE_UNSET);
    cell numbers = integers(1, 50);
    call_entry(actions::entry::random, {numbers});
    return values_of(numbers);
  };
  std::vector<int32_t> first = shuffled(), second = shuffled();
  EXPECT_EQ(first, second);
  std::vector<int32_t> sorted = first;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, values_of(integers(1, 50)));
  EXPECT_NE(first, sorted);

  cell numbers = integers(1, 3);
  for (int i = 0; i < 20; ++i) {
    int32_t one = scalar::integer_value(call_entry(actions::entry::random, {with_head(numbers, 1)}, {-1, -1, 0}));
    EXPECT_TRUE(one == 2 || one == 3);
  }
  EXPECT_EQ(call_entry(actions::entry::random, {with_head(numbers, 3)}, {-1, -1, 0}).type(), TYPE_NONE);
}

TEST_F(Series, MoveWithinOneSeries) {
  struct row {
    int32_t from, to, count;
    const char* result;
    bool answers_origin;
  };
  for (const row& r : {row{0, 3, 1, "2 3 1 4 5", false}, row{0, 5, 2, "3 4 5 1 2", false},
                       row{3, 0, 2, "4 5 1 2 3", false}, row{1, 2, 3, "1 2 3 4 5", true},
                       row{2, 2, 1, "1 2 3 4 5", false}}) {
    cell numbers = integers(1, 5);
    cell answer = call_entry(actions::entry::move, {with_head(numbers, r.from), with_head(numbers, r.to),
                                                    int_value(r.count)}, {2});
    EXPECT_EQ(elements(numbers), r.result) << r.from << " " << r.to;
    EXPECT_EQ(series::head_of(answer), r.answers_origin ? r.from : r.to);
  }
}

TEST_F(Series, MoveAcrossSeries) {
  cell origin = words_of({"a", "b", "c"});
  cell target = words_of({"x", "y"});
  call_entry(actions::entry::move, {origin, with_head(target, 1), int_value(2)}, {2});
  EXPECT_EQ(elements(origin), "c");
  EXPECT_EQ(elements(target), "x a b y");

  cell wide = latin1_text("");
  text::append_char(wide, 0x3A9);
  cell narrow = latin1_text("ab");
  series::move(&wide, &narrow, nullptr);
  EXPECT_EQ(text_of(narrow), "\xCE\xA9" "ab");
  EXPECT_EQ(text_of(wide), "");

  cell z = latin1_text("z");
  EXPECT_EQ(fired_by([&] { series::move(&origin, &z, nullptr); }),
            error_id::script_move_bad);
  EXPECT_EQ(fired_by([&] { call_entry(actions::entry::move, {origin, none::value}); }),
            error_id::script_expect_arg);
  EXPECT_EQ(elements(origin), "c");
}

}  // namespace
}  // namespace tav
