// block!: form and mold with new-line flags, indentation, budgets and cycle markers.
#include "block_fixture.hpp"
#include "runtime/cycle_stack.hpp"

namespace tav {
namespace {

using testing::block_of;
using testing::call_entry;
using testing::formed;
using testing::global_word;
using testing::int_value;
using testing::molded;
using testing::text_of;
using testing::with_head;
using testing::with_new_line;
using testing::words_of;
using Mold = testing::block_values;

cell a() { return global_word("a"); }
cell b() { return global_word("b"); }
cell c() { return global_word("c"); }

TEST_F(Mold, NewLinesAndIndentation) {
  struct row {
    cell block;
    const char* text;
  };
  const row rows[] = {
      {block_of({with_new_line(a()), b(), c()}), "[\n    a b c\n]"},
      {block_of({a(), with_new_line(b()), c()}), "[a\nb c]"},
      {block_of({with_new_line(a()), with_new_line(b())}), "[\n    a\n    b\n]"},
      {block_of({a(), block_of({with_new_line(b()), c()})}), "[a [\n    b c\n]]"},
      {block_of({with_new_line(a()), with_new_line(block_of({with_new_line(b()), c()}))}),
       "[\n    a\n    [\n        b c\n    ]\n]"},
      {with_head(block_of({with_new_line(a()), b(), with_new_line(c())}), 1), "[b\nc]"},
      {block_of({}), "[]"},
      {with_head(block_of({a()}), 4), "[]"},
      {block_of({logic::value_of(true), none::value}), "[true none]"},
  };
  for (const row& r : rows) EXPECT_EQ(molded(r.block), r.text);
  cell flagged = block_of({with_new_line(a()), b(), with_new_line(c())});
  EXPECT_EQ(molded(block_of({logic::value_of(true)}), true), "[#(true)]");
  EXPECT_EQ(text_of(call_entry(actions::entry::mold, {flagged}, {0, -1, -1, -1})), "a b\nc");  // /only
  EXPECT_EQ(text_of(call_entry(actions::entry::mold, {flagged}, {-1, -1, 0, -1})), "[a b c]");  // /flat
  EXPECT_EQ(block::mold_depth, 0);
}

TEST_F(Mold, FormSeparatesWithSpaces) {
  EXPECT_EQ(formed(block_of({a(), block_of({b(), c()}), int_value(4)})), "a b c 4");
  EXPECT_EQ(formed(block_of({with_new_line(a()), b()})), "a b");
  EXPECT_EQ(formed(block_of({block_of({}), a()})), " a");
  EXPECT_EQ(formed(block_of({})), "");
  // No space after text that ends a line or a tab.
  EXPECT_EQ(formed(block_of({testing::latin1_text("x\n"), b(), testing::latin1_text("y\t"), c(), a()})), "x\nb y\tc a");
}

TEST_F(Mold, PartBudgets) {
  cell abc = block_of({a(), b(), c(), int_value(1234)});
  EXPECT_EQ(text_of(call_entry(actions::entry::mold, {abc, int_value(5)}, {-1, -1, -1, 1})), "[a b ");
  EXPECT_EQ(text_of(call_entry(actions::entry::form, {abc, int_value(3)}, {1})), "a b");
  // The handler answers what is left of the budget, and stops early once it is spent.
  cell output;
  text::make_at(output, 16);
  cell part = int_value(3);
  EXPECT_EQ(block::mold(&abc, &output, false, false, false, nullptr, 100, 0), 100 - 12);
  text::make_at(output, 16);
  EXPECT_LE(block::mold(&abc, &output, false, false, false, &part, 3, 0), 0);
  EXPECT_EQ(testing::text_of(output), "[a b]");
}

TEST_F(Mold, CyclesAreMarked) {
  cell self = block_of({int_value(1)});
  block::append_cell(self, self);
  EXPECT_EQ(molded(self), "[1 [...]]");
  EXPECT_EQ(formed(self), "1 ...");
  cell outer = block_of({a()});
  cell inner = block_of({b(), outer});
  block::append_cell(outer, inner);
  EXPECT_EQ(molded(outer), "[a [b [...]]]");
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(Mold, DeepNestingIsRefusedNotOverflowed) {
  cell outer = block_of({});
  cell inner = outer;
  for (int i = 0; i < 1200; ++i) {
    cell next = block_of({});
    block::append_cell(inner, next);
    inner = next;
  }
  EXPECT_EQ(testing::fired_by([&] { molded(outer); }), error_id::internal_too_deep);
  EXPECT_EQ(testing::fired_by([&] { formed(outer); }), error_id::internal_too_deep);
  EXPECT_EQ(testing::fired_by([&] { call_entry(actions::entry::copy, {outer}, {-1, 0}); }),
            error_id::internal_too_deep);
  EXPECT_EQ(testing::fired_by([&] { block::clone(outer, true, false); }), error_id::internal_too_deep);
  EXPECT_EQ(cycles::depth(), 0u);
}

}  // namespace
}  // namespace tav
