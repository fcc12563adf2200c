// path!, lit-path!, set-path!, get-path! and paren!: construction, conversion, copies, text
// forms with cycles and budgets, and what they take from block!.
#include "block_fixture.hpp"
#include "datatypes/path.hpp"
#include "datatypes/typeset.hpp"
#include "runtime/cycle_stack.hpp"

namespace tav {
namespace {

using testing::block_of;
using testing::call_entry;
using testing::datatype_cell;
using testing::fired_by;
using testing::formed;
using testing::global_word;
using testing::int_value;
using testing::molded;
using testing::text_of;
using testing::with_head;
using Paths = testing::block_values;

cell a() { return global_word("a"); }
cell b() { return global_word("b"); }

cell path_of(std::initializer_list<cell> values, uint8_t type = TYPE_PATH) { return block_of(values, type); }

cell made(uint8_t type, cell spec) {
  cell target = datatype_cell(type);
  return *actions::make(&target, &spec);
}

cell converted(uint8_t type, cell spec) {
  cell target = datatype_cell(type);
  return *actions::to(&target, &spec);
}

cell path_read(const cell& parent, const cell& element) {
  return call_entry(actions::entry::eval_path, {parent, element}, {0});
}

std::string mold_part(const cell& value, int32_t part) {
  return text_of(call_entry(actions::entry::mold, {value, int_value(part)}, {-1, -1, -1, 1}));
}

TEST_F(Paths, TextForms) {
  struct row {
    cell value;
    const char* mold;
    const char* form;
  };
  cell ab_paren = block_of({a(), b()}, TYPE_PAREN);
  const row rows[] = {
      {path_of({a(), b()}), "a/b", "a/b"},
      {path_of({a(), b()}, TYPE_LIT_PATH), "'a/b", "a/b"},
      {path_of({a(), b()}, TYPE_SET_PATH), "a/b:", "a/b"},
      {path_of({a(), b()}, TYPE_GET_PATH), ":a/b", "a/b"},
      {path_of({a(), int_value(2), ab_paren}), "a/2/(a b)", "a/2/a b"},
      {path_of({a(), block_of({b(), int_value(1)})}), "a/[b 1]", "a/b 1"},
      {path_of({a(), testing::latin1_text("x y")}), "a/\"x y\"", "a/x y"},
      {path_of({}), "", ""},
      {path_of({}, TYPE_SET_PATH), ":", ""},
      {with_head(path_of({a(), b(), a()}), 1), "b/a", "b/a"},
      {ab_paren, "(a b)", "a b"},
      {block_of({}, TYPE_PAREN), "()", ""},
      {block_of({path_of({a(), b()}, TYPE_SET_PATH), ab_paren}), "[a/b: (a b)]", "a/b a b"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(molded(r.value), r.mold);
    EXPECT_EQ(formed(r.value), r.form);
  }
  // /only drops a paren's own parens; /all reaches the elements of a path.
  EXPECT_EQ(text_of(call_entry(actions::entry::mold, {ab_paren}, {0, -1, -1, -1})), "a b");
  EXPECT_EQ(molded(path_of({a(), logic::value_of(true)}), true), "a/#(true)");
}

TEST_F(Paths, PartBudgetCountsSeparatorsAndMarks) {
  cell long_path = path_of({a(), global_word("bcd"), b(), a()});
  EXPECT_EQ(mold_part(long_path, 3), "a/b");
  EXPECT_EQ(mold_part(long_path, 6), "a/bcd/");
  EXPECT_EQ(mold_part(path_of({a(), b()}, TYPE_GET_PATH), 2), ":a");
  EXPECT_EQ(text_of(call_entry(actions::entry::form, {long_path, int_value(4)}, {1})), "a/bc");
  // The handlers answer the budget left: every character written, marks included, costs one.
  cell output;
  text::make_at(output, 16);
  cell value = path_of({a(), global_word("bcd")}, TYPE_LIT_PATH);
  EXPECT_EQ(lit_path::mold(&value, &output, false, false, false, nullptr, 100, 0), 100 - 6);
  text::make_at(output, 16);
  value = block_of({a()}, TYPE_PAREN);
  EXPECT_EQ(paren::mold(&value, &output, false, false, false, nullptr, 100, 0), 100 - 3);
}

TEST_F(Paths, CyclesAreMarked) {
  cell self = path_of({a()});
  block::append_cell(self, self);
  EXPECT_EQ(molded(self), "a/...");
  EXPECT_EQ(formed(self), "a/...");
  cell set_self = self;
  set_type(set_self, TYPE_SET_PATH);
  EXPECT_EQ(molded(set_self), "a/...:");
  cell paren = block_of({int_value(1)}, TYPE_PAREN);
  block::append_cell(paren, paren);
  EXPECT_EQ(molded(paren), "(1 (...))");
  EXPECT_EQ(molded(block_of({paren})), "[(1 (...))]");
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(Paths, MakeFromBlocksAndCapacities) {
  cell source = block_of({a(), b()});
  cell path = made(TYPE_PATH, source);
  EXPECT_EQ(path.type(), TYPE_PATH);
  EXPECT_EQ(molded(path), "a/b");
  EXPECT_NE(path.payload2, source.payload2);  // a copy, not the block's buffer
  EXPECT_EQ(molded(made(TYPE_SET_PATH, path)), "a/b:");
  EXPECT_EQ(molded(made(TYPE_GET_PATH, block_of({b()}, TYPE_PAREN))), ":b");
  EXPECT_EQ(molded(made(TYPE_LIT_PATH, with_head(path_of({a(), b()}), 1))), "'b");

  struct row {
    cell spec;
    uint8_t type;
  };
  const row sizes[] = {
      {int_value(0), TYPE_PATH},
      {int_value(5), TYPE_LIT_PATH},
      {int_value(-3), TYPE_PATH},
      {scalar::float_cell(2.9), TYPE_GET_PATH},
      {scalar::float_cell(0.5, TYPE_PERCENT), TYPE_SET_PATH},
  };
  for (const row& r : sizes) {
    cell empty = made(r.type, r.spec);
    EXPECT_EQ(empty.type(), r.type);
    EXPECT_EQ(series::get_abs_length(empty), 0);
    // The empty path grows.
    block::append_cell(empty, a());
    block::append_cell(empty, b());
    EXPECT_EQ(formed(empty), "a/b");
  }
}

TEST_F(Paths, MakeRefusesOtherValues) {
  const cell specs[] = {testing::latin1_text("a"), none::value, a(), logic::value_of(true)};
  for (const cell& spec : specs) {
    EXPECT_EQ(fired_by([&] { made(TYPE_PATH, spec); }), error_id::script_bad_make_arg);
    EXPECT_EQ(last_fired.args[0].type(), TYPE_DATATYPE);
    EXPECT_EQ(last_fired.args[0].payload1, TYPE_PATH);
    EXPECT_EQ(last_fired.args[1].type(), spec.type());
  }
  EXPECT_EQ(fired_by([&] { made(TYPE_SET_PATH, none::value); }), error_id::script_bad_make_arg);
  EXPECT_EQ(last_fired.args[0].payload1, TYPE_SET_PATH);
  EXPECT_EQ(fired_by([&] { made(TYPE_PATH, scalar::float_cell(1e20)); }), error_id::script_out_of_range);
}

TEST_F(Paths, ToWrapsObjectsAndTypesetsAndConvertsTheRest) {
  cell types = typeset::empty();
  typeset::add_bit(types, TYPE_INTEGER);
  cell wrapped = converted(TYPE_GET_PATH, types);
  EXPECT_EQ(wrapped.type(), TYPE_GET_PATH);
  ASSERT_EQ(series::get_abs_length(wrapped), 1);
  EXPECT_EQ(series::buffer(wrapped)->cells()[0].type(), TYPE_TYPESET);

  EXPECT_EQ(molded(converted(TYPE_PATH, a())), "a");
  EXPECT_EQ(molded(converted(TYPE_SET_PATH, block_of({a(), int_value(1)}))), "a/1:");
  cell from_paren = converted(TYPE_LIT_PATH, block_of({a(), b()}, TYPE_PAREN));
  EXPECT_EQ(molded(from_paren), "'a/b");
}

TEST_F(Paths, CopiesKeepTheirType) {
  cell inner = block_of({b()}, TYPE_PAREN);
  cell source = with_head(path_of({a(), inner, b()}, TYPE_SET_PATH), 1);
  cell shallow = call_entry(actions::entry::copy, {source}, {-1, -1, -1});
  EXPECT_EQ(shallow.type(), TYPE_SET_PATH);
  EXPECT_EQ(molded(shallow), "(b)/b:");
  EXPECT_NE(shallow.payload2, source.payload2);
  EXPECT_EQ(series::buffer(shallow)->cells()[0].payload2, inner.payload2);
  cell deep = call_entry(actions::entry::copy, {source}, {-1, 0, -1});
  EXPECT_EQ(deep.type(), TYPE_SET_PATH);
  EXPECT_NE(series::buffer(deep)->cells()[0].payload2, inner.payload2);
  cell part = call_entry(actions::entry::copy, {path_of({a(), b(), a()}, TYPE_GET_PATH), int_value(2)}, {1, -1, -1});
  EXPECT_EQ(molded(part), ":a/b");
}

TEST_F(Paths, BlockActionsServeEveryPathTypeAndParens) {
  for (uint8_t type : {TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH, TYPE_PAREN}) {
    cell value = block_of({a(), int_value(7), b()}, type);
    // eval-path: an integer picks, a word selects what follows it.
    EXPECT_EQ(scalar::integer_value(path_read(value, int_value(2))), 7);
    EXPECT_EQ(scalar::integer_value(path_read(value, a())), 7);
    EXPECT_EQ(actions::length_p(&value), 3);
    EXPECT_EQ(call_entry(actions::entry::tail_p, {with_head(value, 3)}).payload1, 1u);
    cell appended = call_entry(actions::entry::append, {value, a()}, {-1, -1, -1});
    EXPECT_EQ(appended.type(), type);
    EXPECT_EQ(actions::length_p(&value), 4);
    cell same = block_of({a(), int_value(7), b(), a()}, type);
    EXPECT_TRUE(actions::compare(&value, &same, actions::op::equal));
    cell other = block_of({a(), int_value(7), b(), a()}, type == TYPE_PATH ? TYPE_SET_PATH : TYPE_PATH);
    EXPECT_FALSE(actions::compare(&value, &other, actions::op::equal));
    // No arithmetic on them.
    EXPECT_EQ(fired_by([&] { call_entry(actions::entry::add, {value, int_value(1)}); }),
              error_id::script_expect_arg);
  }
  // path! and lit-path! are alike to the parse equality.
  cell plain = path_of({a(), b()}), quoted = path_of({a(), b()}, TYPE_LIT_PATH);
  EXPECT_TRUE(actions::compare(&plain, &quoted, actions::op::parse_equal));
}

TEST_F(Paths, PushAndMakeAt) {
  cell value = block_of({a(), b()});
  cell* pushed = set_path::push(value);
  EXPECT_EQ(pushed->type(), TYPE_SET_PATH);
  EXPECT_EQ(value.type(), TYPE_SET_PATH);
  EXPECT_EQ(paren::push(value)->type(), TYPE_PAREN);
  cell empty;
  path::make_at(empty, 0);
  EXPECT_EQ(empty.type(), TYPE_PATH);
  EXPECT_EQ(series::buffer(empty)->count(), 0u);
  EXPECT_GE(series::buffer(empty)->size, sizeof(cell));
}

}  // namespace
}  // namespace tav
