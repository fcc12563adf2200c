// Functions and routines: spec validation, building with a bound body copy, make, reflect,
// comparison, the locals collection of `function`, and routines bound to C++ code.
#include "object_fixture.hpp"

namespace tav {
namespace {

using testing::at;
using testing::block_of;
using testing::call_entry;
using testing::fired_by;
using testing::integer;
using testing::length_of;
using testing::logic_of;
using testing::set_word;
using testing::spelling_of;
using testing::word_of;
using Functions = testing::object_values;

cell lit(const char* name) { return word_of(name, TYPE_LIT_WORD); }
cell get(const char* name) { return word_of(name, TYPE_GET_WORD); }
cell ref(const char* name) { return testing::refinement(name); }
cell text_value(const char* chars) {
  cell string;
  text::make_at(string, 8);
  text::append_c_string(string, chars);
  return string;
}
cell type_block(uint8_t type) { return block_of({testing::datatype_cell(type)}); }

std::vector<std::string> spellings(const cell& block) {
  std::vector<std::string> names;
  for (uint32_t i = 0; i < length_of(block); ++i) names.push_back(spelling_of(at(block, i)));
  return names;
}

TEST_F(Functions, SpecValidation) {
  struct row {
    const char* what;
    cell spec;
    std::optional<error_id> raised;
  };
  cell number = type_block(TYPE_INTEGER);
  for (const row& r : {
           row{"doc string after the type block", block_of({word_of("a"), number, text_value("doc")}), std::nullopt},
           row{"locals", block_of({ref("local"), word_of("b"), word_of("c")}), std::nullopt},
           row{"quoted arguments, refinement, return", block_of({lit("a"), get("b"), ref("c"), word_of("d"),
                                                                  set_word("return"), number, text_value("x")}),
               std::nullopt},
           row{"typed local", block_of({word_of("a"), ref("local"), word_of("b"), number}), std::nullopt},
           row{"doc string before the type block", block_of({word_of("a"), text_value("doc"), number}),
               error_id::script_bad_func_def},
           row{"argument after return:", block_of({set_word("return"), number, word_of("a")}),
               error_id::script_bad_func_def},
           row{"return: after /local", block_of({word_of("a"), ref("local"), word_of("b"), set_word("return"), number}),
               error_id::script_bad_func_def},
           row{"return: without a block", block_of({set_word("return"), word_of("a")}), error_id::script_bad_func_def},
           row{"two return:", block_of({set_word("return"), number, set_word("return"), number}),
               error_id::script_bad_func_def},
           row{"other set-word", block_of({set_word("a"), number}), error_id::script_bad_func_def},
           row{"lit-word local", block_of({ref("local"), lit("b")}), error_id::script_bad_func_def},
           row{"refinement after /local", block_of({ref("local"), word_of("b"), ref("c")}),
               error_id::script_bad_func_def},
           row{"refinement after return:", block_of({set_word("return"), number, ref("c")}),
               error_id::script_bad_func_def},
           row{"block after a refinement", block_of({ref("a"), number}), error_id::script_bad_func_def},
           row{"other value", block_of({word_of("a"), integer(1)}), error_id::script_bad_func_def},
           row{"attribute not a word", block_of({block_of({integer(1)}), word_of("a")}), error_id::script_bad_func_def},
           row{"repeated argument", block_of({word_of("a"), word_of("b"), word_of("a")}), error_id::script_dup_vars},
           row{"refinement named as an argument", block_of({word_of("a"), ref("A")}), error_id::script_dup_vars},
           row{"repeated local", block_of({word_of("a"), ref("local"), word_of("a")}), error_id::script_dup_vars},
           row{"type block with a number", block_of({word_of("a"), block_of({integer(1)})}),
               error_id::script_invalid_type_spec},
           row{"type block with an unset word", block_of({word_of("a"), block_of({word_of("nothing-here")})}),
               error_id::script_no_value},
       }) {
    EXPECT_EQ(fired_by([&] { function::validate(r.spec); }), r.raised) << r.what;
  }
  // The duplicate reported is the later one.
  fired_by([&] { function::validate(block_of({word_of("a"), word_of("b"), word_of("B")})); });
  EXPECT_EQ(spelling_of(last_fired.args[0]), "B");

  // Words in type blocks stand for their values.
  cell holder = word_of("number-type");
  context::set(holder, testing::datatype_cell(TYPE_INTEGER));
  EXPECT_FALSE(fired_by([&] { function::validate(block_of({word_of("a"), block_of({holder})})); }));
  context::set(holder, logic_of(true));
  EXPECT_EQ(fired_by([&] { function::validate(block_of({word_of("a"), block_of({holder})})); }),
            error_id::script_invalid_type_spec);
  EXPECT_EQ(spelling_of(last_fired.args[0]), "number-type");

  EXPECT_EQ(function::validate(block_of({block_of({word_of("trace"), word_of("other")}), word_of("a")})),
            function::flag_trace);
  EXPECT_EQ(function::validate(block_of({block_of({word_of("no-trace")})})), function::flag_no_trace);
}

TEST_F(Functions, BuildingCopiesAndBindsTheBody) {
  cell outer = word_of("outer");
  cell nested = block_of({word_of("a")});
  cell body = block_of({word_of("a"), nested, outer});
  cell spec = block_of({text_value("skipped"), word_of("a"), ref("b")});
  spec.payload1 = 1;
  node_id context = function::push(spec, body, 0, 0, 0, 0);
  cell made = *(stack::top - 1);
  EXPECT_EQ(made.type(), TYPE_FUNCTION);
  EXPECT_EQ(function::context_of(made), context);
  EXPECT_NE(function::spec_of(made), spec.payload2) << "a spec past its head is copied";
  EXPECT_EQ(buffer_of(function::spec_of(made))->count(), 2u);
  EXPECT_EQ(context::word_count(context), 2u);
  EXPECT_EQ(context::self_of(context)->payload3, function::more_of(made)) << "the function owns its context";

  cell copy = *function::more_cell(made, function::more_body);
  EXPECT_NE(copy.payload2, body.payload2);
  EXPECT_NE(at(copy, 1).payload2, nested.payload2) << "nested blocks are copied too";
  EXPECT_EQ(at(copy, 0).payload1, context);
  EXPECT_EQ(at(at(copy, 1), 0).payload1, context);
  EXPECT_EQ(at(copy, 2).payload1, outer.payload1) << "other words keep their binding";
  EXPECT_EQ(at(body, 0).payload1, context::global) << "the given body is left alone";
  for (uint32_t cell_index : {function::more_arguments, function::more_code, function::more_op_source,
                              function::more_extra})
    EXPECT_EQ(function::more_cell(made, cell_index)->type(), TYPE_UNSET);

  function::push(block_of({}), body, context, 7, 9, function::flag_trace);
  cell compiled = *(stack::top - 1);
  EXPECT_EQ(compiled.header & 0xFFFF, TYPE_FUNCTION | function::flag_trace);
  EXPECT_EQ(scalar::integer_value(*function::more_cell(compiled, function::more_code)), 7);
  EXPECT_EQ(scalar::integer_value(*function::more_cell(compiled, function::more_extra)), 9);
  EXPECT_EQ(at(*function::more_cell(compiled, function::more_body), 0).payload1, context::global)
      << "a given context is not bound to";

  // A body holding itself cannot be copied.
  cell looping = block_of({word_of("a")});
  *alloc_block_tail(looping) = looping;
  EXPECT_EQ(fired_by([&] { function::push(block_of({}), looping, 0, 0, 0, 0); }), error_id::internal_no_cycle);
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(Functions, MakeReflectCompare) {
  cell datatype = testing::datatype_cell(TYPE_FUNCTION);
  cell spec = block_of({word_of("a"), ref("local"), word_of("b")});
  cell made = make(datatype, block_of({spec, block_of({word_of("a")})}));
  ASSERT_EQ(made.type(), TYPE_FUNCTION);
  for (const cell& bad : {block_of({spec}), block_of({spec, integer(1)}), integer(1),
                          block_of({block_of({word_of("a"), word_of("a")}), block_of({})})}) {
    auto raised = fired_by([&] { make(datatype, bad); });
    EXPECT_TRUE(raised == error_id::script_bad_func_def || raised == error_id::script_dup_vars);
  }
  EXPECT_EQ(fired_by([&] { make(datatype, integer(1)); }), error_id::script_bad_func_def);
  EXPECT_EQ(last_fired.args[0].type(), TYPE_INTEGER);

  auto reflect = [&](const char* field) { return call_entry(actions::entry::reflect, {made, word_of(field)}); };
  EXPECT_EQ(reflect("spec").payload2, function::spec_of(made));
  EXPECT_EQ(reflect("body").payload2, function::more_cell(made, function::more_body)->payload2);
  cell words = reflect("words");
  EXPECT_EQ(spellings(words), (std::vector<std::string>{"a", "local", "b"}));
  EXPECT_EQ(at(words, 0).type(), TYPE_WORD);
  EXPECT_EQ(at(words, 1).payload1, function::context_of(made));
  EXPECT_EQ(fired_by([&] { reflect("class"); }), error_id::internal_not_done);

  cell twin = make(datatype, block_of({spec, block_of({word_of("a")})}));
  using namespace actions::op;
  EXPECT_FALSE(actions::compare(&made, &twin, equal)) << "separately made functions differ";
  EXPECT_TRUE(actions::compare(&made, &made, equal));
  EXPECT_TRUE(actions::compare(&made, &made, same));
  EXPECT_EQ(function::compare(&made, &twin, lesser), actions::not_comparable);
  cell word = word_of("a");
  EXPECT_EQ(function::compare(&made, &word, equal), actions::not_comparable);
  EXPECT_EQ(testing::formed(made), "?function?");
}

TEST_F(Functions, TextForms) {
  cell made = make(testing::datatype_cell(TYPE_FUNCTION),
                   block_of({block_of({word_of("a")}), block_of({word_of("a"), word_of("+"), integer(1)})}));
  EXPECT_EQ(testing::molded(made), "func [a][a + 1]");
  cell empty = function_of(block_of({}), block_of({}));
  EXPECT_EQ(testing::molded(empty), "func [][]");
  *function::more_cell(empty, function::more_body) = none::value;
  EXPECT_EQ(testing::molded(empty), "func [] none");

  cell spec = block_of({word_of("a"), type_block(TYPE_INTEGER)});
  const cell without_body = *routine::push(spec, nullptr, 1, TYPE_INTEGER, false);
  EXPECT_EQ(testing::molded(without_body), "routine [a [integer!]] none");
  cell body = block_of({word_of("a")});
  const cell with_body = *routine::push(spec, &body, 1, TYPE_INTEGER, false);
  EXPECT_EQ(testing::molded(with_body), "routine [a [integer!]][a]");

  // The budget of /part counts what the fixed texts take.
  cell buffer;
  text::make_at(buffer, 8);
  EXPECT_EQ(actions::form(&made, &buffer, nullptr, 100), 90);
  EXPECT_EQ(actions::mold(&empty, &buffer, false, false, false, nullptr, 100, 0), 100 - 5 - 2 - 5);
}

TEST_F(Functions, LocalsCollection) {
  struct row {
    const char* what;
    cell spec;
    cell body;
    std::vector<std::string> collected, spec_after;
  };
  cell loop_body = block_of({set_word("x"), integer(1), word_of("foreach"), block_of({word_of("k"), get("v")}),
                             word_of("data"), block_of({set_word("x"), integer(2), set_word("a")})});
  for (row& r : std::vector<row>{
           row{"set-words and foreach words", block_of({word_of("a")}), loop_body,
               {"x", "k", "v"}, {"a", "local", "x", "k", "v"}},
           row{"local is not collected", block_of({ref("local"), word_of("t")}),
               block_of({set_word("local"), integer(1), set_word("u")}), {"u"}, {"local", "t", "u"}},
           row{"repeat and remove-each", block_of({}),
               block_of({word_of("repeat"), word_of("i"), integer(3), word_of("remove-each"), set_word("e"),
                         block_of({}), block_of({})}),
               {"i", "e"}, {"local", "i", "e"}},
           row{"nothing to collect", block_of({word_of("a")}), block_of({word_of("a")}), {}, {"a"}},
           row{"extern words stay global", block_of({word_of("a"), ref("extern"), word_of("y")}),
               block_of({set_word("y"), integer(1), set_word("z"), integer(2)}), {"z"}, {"a", "local", "z"}},
           row{"extern then local", block_of({word_of("a"), ref("extern"), word_of("y"), ref("local"), word_of("w")}),
               block_of({set_word("y"), set_word("z")}), {"w", "z"}, {"a", "local", "w", "z"}},
           row{"a collected local is dropped", block_of({word_of("a")}), block_of({set_word("local"), integer(1)}),
               {}, {"a", "local"}},
           row{"extern only counts as the first word of its name",
               block_of({word_of("extern"), ref("extern"), word_of("y")}),
               block_of({set_word("y"), set_word("q")}), {"q"}, {"extern", "extern", "y", "local", "q"}},
       }) {
    cell collected = function::collect_words(r.spec, r.body);
    EXPECT_EQ(spellings(collected), r.collected) << r.what;
    EXPECT_EQ(spellings(r.spec), r.spec_after) << r.what;
    for (uint32_t i = 0; i < length_of(collected); ++i) EXPECT_EQ(at(collected, i).type(), TYPE_WORD) << r.what;
  }
  cell spec = block_of({ref("extern"), word_of("y"), integer(1)});
  EXPECT_EQ(fired_by([&] { function::collect_words(spec, block_of({})); }), error_id::script_bad_func_extern);
}

TEST_F(Functions, Locals) {
  struct row {
    cell spec;
    int32_t counted, asked;
  };
  for (const row& r : {row{block_of({word_of("a"), ref("local"), word_of("b"), word_of("c")}), 3, 3},
                       row{block_of({word_of("a")}), 0, -1},
                       row{block_of({ref("local")}), 1, 1},
                       row{block_of({ref("Local"), word_of("b"), text_value("doc")}), 2, 2}}) {
    EXPECT_EQ(function::count_locals(r.spec.payload2, 0, false), r.counted);
    EXPECT_EQ(function::count_locals(r.spec.payload2, 0, true), r.asked);
  }
  stack::arguments = stack::top = stack::bottom;
  function::init_locals(3);
  ASSERT_EQ(stack::top - stack::bottom, 3);
  EXPECT_EQ(stack::bottom[0].type(), TYPE_LOGIC);
  EXPECT_FALSE(logic::get(stack::bottom[0]));
  EXPECT_EQ(stack::bottom[1].type(), TYPE_NONE);
  EXPECT_EQ(stack::bottom[2].type(), TYPE_NONE);
}

routine::answer add_two(cell* arguments) {
  return {scalar::integer_value(arguments[0]) + scalar::integer_value(arguments[1]), 0};
}
routine::answer halve(cell* arguments) { return {0, scalar::integer_value(arguments[0]) / 2.0}; }
routine::answer nonzero(cell* arguments) { return {scalar::integer_value(arguments[0]), 0}; }
routine::answer writes_its_result(cell* arguments) {
  arguments[0] = logic::value_of(true);
  return {0, 0};
}

TEST_F(Functions, Routines) {
  cell integer_type = word_of("integer!");
  context::set(integer_type, testing::datatype_cell(TYPE_INTEGER));
  cell any_type = word_of("any-type!");
  uint32_t adder = routine::register_code(add_two);
  EXPECT_EQ(routine::register_code(halve), adder + 1);
  EXPECT_EQ(routine::code_at(adder), &add_two);
  EXPECT_EQ(routine::code_at(0), nullptr);

  cell spec = block_of({word_of("a"), block_of({integer_type}), word_of("b"), block_of({any_type}), ref("r"),
                        word_of("c")});
  cell* pushed = routine::push(spec, nullptr, adder, TYPE_INTEGER, false);
  const cell made = *pushed;
  EXPECT_EQ(made.type(), TYPE_ROUTINE);
  EXPECT_EQ(routine::get_header_field(made), 3u);
  EXPECT_EQ(function::more_cell(made, function::more_body)->type(), TYPE_NONE);
  EXPECT_EQ(context::self_of(function::context_of(made))->type(), TYPE_UNSET) << "a routine does not own its context";
  EXPECT_EQ(testing::formed(made), "?routine?");

  struct row {
    uint32_t code;
    int32_t returns;
    cell first;
    uint8_t type;
    int32_t word;
    double real;
  };
  uint32_t real = adder + 1, flag = routine::register_code(nonzero);
  for (const row& r : {row{adder, TYPE_INTEGER, integer(5), TYPE_INTEGER, 7, 0},
                       row{real, TYPE_FLOAT, integer(5), TYPE_FLOAT, 0, 2.5},
                       row{flag, TYPE_LOGIC, integer(5), TYPE_LOGIC, 1, 0},
                       row{flag, TYPE_LOGIC, integer(0), TYPE_LOGIC, 0, 0},
                       row{adder, routine::returns_nothing, integer(5), TYPE_INTEGER, 5, 0}}) {
    const cell each = *routine::push(spec, nullptr, r.code, r.returns, false);
    stack::arguments = stack::top;
    stack::push_copy(r.first);
    stack::push_copy(integer(2));
    routine::call(each, word_of("r"));
    EXPECT_EQ(stack::arguments->type(), r.type) << r.code;
    if (r.type == TYPE_FLOAT) {
      EXPECT_EQ(scalar::float_value(*stack::arguments), r.real);
    } else {
      EXPECT_EQ(stack::arguments->payload2 | stack::arguments->payload1, uint32_t(r.word));
    }
  }

  stack::arguments = stack::top;
  stack::push_copy(logic_of(true));
  stack::push_copy(integer(2));
  EXPECT_EQ(fired_by([&] { routine::call(made, word_of("adder")); }), error_id::script_expect_arg);
  EXPECT_EQ(spelling_of(last_fired.args[0]), "adder");
  EXPECT_EQ(last_fired.args[1].payload1, TYPE_LOGIC);
  EXPECT_EQ(spelling_of(last_fired.args[2]), "a");

  // Routines asking for cell addresses are not checked and write their result themselves.
  const cell direct = *routine::push(spec, nullptr, routine::register_code(writes_its_result), -1, true);
  EXPECT_NE(direct.header & cell_flag::routine, 0u);
  stack::arguments = stack::top;
  stack::push_copy(word_of("anything"));
  routine::call(direct, word_of("direct"));
  EXPECT_EQ(stack::arguments->type(), TYPE_LOGIC);
}

}  // namespace
}  // namespace tav
