// Natives, actions and ops: making them by table index or from a callable, the op spec
// check, reflection, comparison and the text forms.
#include "datatypes/native.hpp"
#include "object_fixture.hpp"

namespace tav {
namespace {

using testing::block_of;
using testing::call_entry;
using testing::fired_by;
using testing::integer;
using testing::word_of;
using Natives = testing::object_values;

cell lit(const char* name) { return word_of(name, TYPE_LIT_WORD); }
cell ref(const char* name) { return testing::refinement(name); }

TEST_F(Natives, MakeByIndex) {
  cell native_type = testing::datatype_cell(TYPE_NATIVE), action_type = testing::datatype_cell(TYPE_ACTION);
  cell spec = block_of({word_of("value"), ref("only")});
  struct row {
    const char* what;
    cell type;
    cell made_from;
    bool refused;
  };
  for (const row& r : {
           row{"native 1", native_type, block_of({spec, integer(1)}), false},
           row{"native 107", native_type, block_of({spec, integer(107)}), false},
           row{"native 0", native_type, block_of({spec, integer(0)}), true},
           row{"native 108: an empty slot", native_type, block_of({spec, integer(108)}), true},
           row{"native 121", native_type, block_of({spec, integer(121)}), true},
           row{"native with a word as spec", native_type, block_of({word_of("spec"), integer(1)}), true},
           row{"native without an index", native_type, block_of({spec}), true},
           row{"native with a third value", native_type, block_of({spec, integer(1), integer(2)}), true},
           row{"native from a word", native_type, word_of("x"), true},
           row{"native with an index that is no integer", native_type, block_of({spec, word_of("x")}), true},
           row{"action 62", action_type, block_of({spec, integer(62)}), false},
           row{"action 63", action_type, block_of({spec, integer(63)}), true},
           row{"action 0", action_type, block_of({spec, integer(0)}), true},
       }) {
    cell made;
    auto raised = fired_by([&] { made = make(r.type, r.made_from); });
    if (r.refused) {
      EXPECT_EQ(raised, error_id::script_bad_make_arg) << r.what;
      EXPECT_EQ(last_fired.args[0].payload1, r.type.payload1) << r.what;
      continue;
    }
    ASSERT_FALSE(raised) << r.what;
    EXPECT_EQ(made.type(), r.type.payload1) << r.what;
    EXPECT_EQ(native::spec_of(made), spec.payload2) << r.what;
    const cell* more = buffer_of(native::more_of(made))->cells();
    EXPECT_EQ(more[native::more_context].type(), TYPE_CONTEXT) << r.what;
    EXPECT_NE(more[native::more_context].header & cell_flag::stack_values, 0u) << "values live on the stack";
    EXPECT_EQ(more[native::more_arguments].type(), TYPE_NONE) << r.what;
  }
  // The spec part may start past the head of the block.
  cell offset = block_of({integer(0), spec, integer(3)});
  offset.payload1 = 1;
  EXPECT_EQ(native::index_of(make(native_type, offset)), 3u);
}

TEST_F(Natives, CompareReflectAndForms) {
  cell native_type = testing::datatype_cell(TYPE_NATIVE), action_type = testing::datatype_cell(TYPE_ACTION);
  cell spec = block_of({word_of("value")});
  cell first = make(native_type, block_of({spec, integer(5)}));
  cell again = make(native_type, block_of({block_of({}), integer(5)}));
  cell other = make(native_type, block_of({spec, integer(6)}));
  cell action = make(action_type, block_of({spec, integer(5)}));
  using namespace actions::op;
  EXPECT_TRUE(actions::compare(&first, &again, equal)) << "the same entry";
  EXPECT_FALSE(actions::compare(&first, &other, equal));
  EXPECT_FALSE(actions::compare(&first, &action, equal)) << "a native and an action never compare equal";
  EXPECT_EQ(native::compare(&first, &action, equal), actions::not_comparable);
  EXPECT_EQ(native::compare(&first, &other, lesser), actions::not_comparable);
  EXPECT_LT(native::compare(&first, &other, sort), 0);

  auto reflect = [&](const cell& value, const char* field) {
    return call_entry(actions::entry::reflect, {value, word_of(field)});
  };
  EXPECT_EQ(scalar::integer_value(reflect(first, "body")), 5);
  EXPECT_EQ(scalar::integer_value(reflect(action, "body")), 5);
  EXPECT_EQ(reflect(action, "spec").payload2, spec.payload2);
  EXPECT_EQ(fired_by([&] { reflect(first, "words"); }), error_id::internal_not_done);

  cell two = make(native_type, block_of({block_of({word_of("a"), word_of("b")}), integer(25)}));
  cell infix = make(testing::datatype_cell(TYPE_OP), two);
  EXPECT_EQ(scalar::integer_value(reflect(infix, "body")), 25) << "an op of a native reflects its position";

  EXPECT_EQ(testing::formed(first), "?native?");
  EXPECT_EQ(testing::formed(action), "?action?");
  EXPECT_EQ(testing::formed(infix), "?op?");
}

TEST_F(Natives, OpSpecCheck) {
  struct row {
    cell spec;
    bool valid;
  };
  cell number = block_of({testing::datatype_cell(TYPE_INTEGER)});
  for (const row& r : {
           row{block_of({word_of("a"), word_of("b"), ref("local"), word_of("c")}), true},
           row{block_of({word_of("a"), word_of("b"), ref("extern"), word_of("c")}), true},
           row{block_of({word_of("a"), number, word_of("b"), testing::set_word("return"), number}), true},
           row{block_of({word_of("a"), lit("b")}), true},
           row{block_of({word_of("a"), word_of("b"), word_of("c")}), false},
           row{block_of({word_of("a")}), false},
           row{block_of({word_of("a", TYPE_GET_WORD), word_of("b")}), false},
           row{block_of({lit("a"), word_of("b")}), false},
           row{block_of({word_of("a"), word_of("b"), ref("only")}), false},
           row{block_of({word_of("a"), ref("local"), word_of("b")}), false},
       }) {
    EXPECT_EQ(op::check_spec(r.spec.payload2), r.valid) << testing::length_of(r.spec);
  }
}

TEST_F(Natives, OpsFromFunctions) {
  cell op_type = testing::datatype_cell(TYPE_OP);
  cell two = function_of(block_of({word_of("a"), lit("b")}), block_of({word_of("a")}));
  cell infix = make(op_type, two);
  EXPECT_EQ(infix.type(), TYPE_OP);
  EXPECT_EQ(op::source_type(infix), TYPE_FUNCTION);
  EXPECT_EQ(infix.payload3, two.payload3) << "the op shares the function's record";
  const cell* kept = function::more_cell(two, function::more_op_source);
  EXPECT_EQ(kept->type(), TYPE_FUNCTION);
  EXPECT_EQ(kept->payload1, two.payload1);
  cell again = make(op_type, two);
  EXPECT_TRUE(actions::compare(&infix, &again, actions::op::equal)) << "ops of one function are equal";
  cell body = call_entry(actions::entry::reflect, {infix, word_of("body")});
  EXPECT_EQ(body.payload2, function::more_cell(two, function::more_body)->payload2);

  for (const cell& spec : {block_of({word_of("a"), word_of("b"), word_of("c")}),
                           block_of({word_of("a", TYPE_GET_WORD), word_of("b")}),
                           block_of({lit("a"), word_of("b")})}) {
    cell bad = function_of(spec, block_of({}));
    EXPECT_EQ(fired_by([&] { make(op_type, bad); }), error_id::script_bad_op_spec);
  }
  EXPECT_EQ(fired_by([&] { make(op_type, integer(1)); }), error_id::script_invalid_type);
  EXPECT_EQ(last_fired.args[0].payload1, TYPE_INTEGER);
  EXPECT_EQ(fired_by([&] { make(op_type, infix); }), error_id::script_invalid_type) << "no op of an op";
}

TEST_F(Natives, TextForms) {
  cell spec = block_of({word_of("a"), word_of("b")});
  cell native = make(testing::datatype_cell(TYPE_NATIVE), block_of({spec, integer(25)}));
  cell action = make(testing::datatype_cell(TYPE_ACTION), block_of({spec, integer(11)}));
  cell op_type = testing::datatype_cell(TYPE_OP);
  cell two = function_of(spec, block_of({word_of("a")}));
  struct row {
    cell value;
    const char* mold;
  };
  for (const row& r : {row{native, "make native! [[a b]]"}, row{action, "make action! [[a b]]"},
                       row{make(op_type, native), "make op! [[a b]]"}, row{make(op_type, action), "make op! [[a b]]"},
                       row{make(op_type, two), "make op! func [a b][a]"}}) {
    EXPECT_EQ(testing::molded(r.value), r.mold);
  }
  const cell routine_value = *routine::push(spec, nullptr, 1, routine::returns_nothing, false);
  EXPECT_EQ(testing::molded(make(op_type, routine_value)), "make op! [[a b]]");
}

}  // namespace
}  // namespace tav
