// unset!, none! and logic!: text forms, conversions, comparisons, truth tests and the logic
// operators.
#include <cmath>
#include <limits>

#include "runtime/fire_helpers.hpp"
#include "value_fixture.hpp"

namespace tav {
namespace {

using testing::call_entry;
using testing::fired_by;
using testing::formed;
using testing::molded;
using Values = testing::fresh_values;

const cell true_cell = logic::value_of(true);
const cell false_cell = logic::value_of(false);

cell empty_string() {
  cell text;
  text::make_at(text, 1);
  return text;
}

TEST_F(Values, TextForms) {
  struct row {
    cell value;
    const char *form, *mold, *mold_all;
  };
  for (const row& r : {row{unset::value, "", "unset", "#(unset)"}, row{none::value, "none", "none", "#(none)"},
                       row{true_cell, "true", "true", "#(true)"}, row{false_cell, "false", "false", "#(false)"}}) {
    EXPECT_EQ(formed(r.value), r.form);
    EXPECT_EQ(molded(r.value), r.mold);
    EXPECT_EQ(molded(r.value, true), r.mold_all);
  }
}

TEST_F(Values, HandlersAnswerTheBudgetLeft) {
  cell buffer = empty_string();
  cell value = false_cell;
  EXPECT_EQ(actions::form(&value, &buffer, nullptr, 10), 5);
  EXPECT_EQ(actions::mold(&value, &buffer, false, true, false, nullptr, 10, 0), 2);
  value = unset::value;
  EXPECT_EQ(actions::form(&value, &buffer, nullptr, 10), 10);
  EXPECT_EQ(actions::mold(&value, &buffer, false, true, false, nullptr, 10, 0), 2);
  value = none::value;
  EXPECT_EQ(actions::mold(&value, &buffer, false, false, false, nullptr, 10, 0), 6);
  EXPECT_EQ(testing::text_of(buffer), "false#(false)#(unset)none");
}

TEST_F(Values, MakeAndToLogic) {
  double nan = std::numeric_limits<double>::quiet_NaN();
  struct row {
    const char* what;
    cell spec;
    bool made, converted;
  };
  for (const row& r : {
           row{"integer 0", scalar::integer(0), false, true},
           row{"integer 2", scalar::integer(2), true, true},
           row{"float 0.0", scalar::float_cell(0.0), false, true},
           row{"float -0.0", scalar::float_cell(-0.0), false, true},
           row{"float NaN", scalar::float_cell(nan), true, true},
           row{"percent 0", scalar::float_cell(0.0, TYPE_PERCENT), false, true},
           row{"none", none::value, false, false},
           row{"false", false_cell, false, false},
           row{"true", true_cell, true, true},
           row{"unset", unset::value, true, true},
       }) {
    cell type = testing::datatype_cell(TYPE_LOGIC);
    cell spec = r.spec;
    EXPECT_EQ(logic::get(*actions::make(&type, &spec)), r.made) << r.what;
    EXPECT_EQ(logic::get(*actions::to(&type, &spec)), r.converted) << r.what;
    EXPECT_EQ(actions::to(&type, &spec)->type(), TYPE_LOGIC) << r.what;
  }
  // Through the stack entry the answer lands in the result slot.
  cell made = call_entry(actions::entry::make, {testing::datatype_cell(TYPE_LOGIC), scalar::integer(2)});
  EXPECT_EQ(made.type(), TYPE_LOGIC);
  EXPECT_TRUE(logic::get(made));
}

TEST_F(Values, MakeUnsetAndNone) {
  EXPECT_EQ(call_entry(actions::entry::make, {testing::datatype_cell(TYPE_NONE), scalar::integer(1)}).type(),
            TYPE_NONE);
  EXPECT_EQ(call_entry(actions::entry::to, {testing::datatype_cell(TYPE_UNSET), none::value}).type(), TYPE_UNSET);
}

TEST_F(Values, Comparisons) {
  struct row {
    const char* what;
    cell a, b;
    int32_t op;
    bool expected;
  };
  for (row r : {
           row{"true = true", true_cell, true_cell, actions::op::equal, true},
           row{"true == false", true_cell, false_cell, actions::op::strict_equal, false},
           row{"true <> false", true_cell, false_cell, actions::op::not_equal, true},
           row{"false = none", false_cell, none::value, actions::op::equal, false},
           row{"false <> none", false_cell, none::value, actions::op::not_equal, true},
           row{"none = none", none::value, none::value, actions::op::equal, true},
           row{"none same none", none::value, none::value, actions::op::same, true},
           row{"none = unset", none::value, unset::value, actions::op::equal, false},
           row{"unset == unset", unset::value, unset::value, actions::op::strict_equal, true},
           row{"unset find unset", unset::value, unset::value, actions::op::find, true},
       }) {
    EXPECT_EQ(actions::compare(&r.a, &r.b, r.op), r.expected) << r.what;
  }
  for (row r : {row{"true < false", true_cell, false_cell, actions::op::lesser, false},
                row{"none >= none", none::value, none::value, actions::op::greater_or_equal, false},
                row{"unset > unset", unset::value, unset::value, actions::op::greater, false}}) {
    EXPECT_EQ(fired_by([&] { actions::compare(&r.a, &r.b, r.op); }), error_id::script_invalid_compare) << r.what;
  }
  // Sorting puts false before true.
  cell t = true_cell, f = false_cell;
  EXPECT_LT(actions::compare_value(&f, &t, actions::op::sort), 0);
  EXPECT_LT(logic::compare(&f, &t, actions::op::sort), 0);
  EXPECT_EQ(logic::compare(&f, &t, actions::op::lesser), actions::not_comparable);
}

TEST_F(Values, TruthTests) {
  cell zero = scalar::integer(0);
  cell text = empty_string();
  cell word = testing::global_word("x");
  for (const cell& truthy : {zero, text, true_cell, word}) {
    EXPECT_FALSE(logic::false_p(truthy));
    EXPECT_TRUE(logic::cell_true_p(truthy, true, word));
  }
  for (const cell& falsy : {none::value, false_cell}) {
    EXPECT_TRUE(logic::false_p(falsy));
    EXPECT_FALSE(logic::cell_true_p(falsy, true, word));
  }

  // Lenient: unset is true. Strict: unset raises.
  EXPECT_TRUE(logic::cell_true_p(unset::value, false, word));
  EXPECT_EQ(fired_by([&] { logic::cell_true_p(unset::value, true, word); }), error_id::script_no_value);
  EXPECT_EQ(last_fired.args[0].payload2, word.payload2);

  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(unset::value);
  EXPECT_EQ(fired_by([] { logic::true_p(); }), error_id::script_no_return);
  EXPECT_FALSE(logic::top_false_p());
  stack::push_copy(none::value);
  EXPECT_TRUE(logic::top_false_p());
  EXPECT_FALSE(logic::top_true_p());
  stack::set_last(zero);
  EXPECT_TRUE(logic::true_p());
}

TEST_F(Values, LogicOperators) {
  struct row {
    actions::stack_entry entry;
    bool a, b, expected;
  };
  for (const row& r : {row{actions::entry::and_, true, true, true}, row{actions::entry::and_, true, false, false},
                       row{actions::entry::or_, false, true, true}, row{actions::entry::or_, false, false, false},
                       row{actions::entry::xor_, true, true, false}, row{actions::entry::xor_, true, false, true}}) {
    cell answer = call_entry(r.entry, {logic::value_of(r.a), logic::value_of(r.b)});
    EXPECT_EQ(answer.type(), TYPE_LOGIC);
    EXPECT_EQ(logic::get(answer), r.expected) << r.a << " " << r.b;
  }
  EXPECT_EQ(fired_by([] { call_entry(actions::entry::and_, {true_cell, scalar::integer(1)}); }),
            error_id::script_expect_arg);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "and~");
  EXPECT_EQ(last_fired.args[1].payload1, TYPE_INTEGER);
  EXPECT_EQ(testing::spelling_of(last_fired.args[2]), "value2");

  EXPECT_FALSE(logic::get(call_entry(actions::entry::complement, {true_cell})));
  EXPECT_TRUE(logic::get(call_entry(actions::entry::complement, {false_cell})));
}

TEST_F(Values, RandomLogic) {
  cell seeded = call_entry(actions::entry::random, {true_cell}, {1, -1, -1});
  EXPECT_EQ(seeded.type(), TYPE_UNSET);
  bool seen[2] = {};
  for (int i = 0; i < 64; ++i) {
    cell drawn = call_entry(actions::entry::random, {true_cell}, {-1, -1, -1});
    ASSERT_EQ(drawn.type(), TYPE_LOGIC);
    seen[logic::get(drawn)] = true;
  }
  EXPECT_TRUE(seen[0] && seen[1]);
}

TEST_F(Values, SeriesActionsOnNoneAnswerNone) {
  EXPECT_EQ(call_entry(actions::entry::length_p, {none::value}).type(), TYPE_NONE);
  for (actions::stack_entry entry : {actions::entry::clear, actions::entry::take, actions::entry::remove}) {
    EXPECT_EQ(call_entry(entry, {none::value}).type(), TYPE_NONE);
  }
  for (actions::stack_entry entry : {actions::entry::find, actions::entry::select}) {
    EXPECT_EQ(call_entry(entry, {none::value, scalar::integer(1)}).type(), TYPE_NONE);
  }
  // Anything else on none is not supported.
  EXPECT_EQ(fired_by([] { call_entry(actions::entry::append, {none::value, scalar::integer(1)}); }),
            error_id::script_expect_arg);
}

}  // namespace
}  // namespace tav
