// Cell helpers: boot literals, argument checks and the errors that name the function and its
// argument, number arguments, words and fields written from the stack, refinement arguments,
// compiled paths, the SWITCH/SELECT lookup and the small text and error helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "datatypes/value_fixture.hpp"
#include "interpreter/cell_helpers.hpp"
#include "runtime/console_out.hpp"
#include "runtime/fire_helpers.hpp"

namespace tav {
namespace {

using testing::fired_by;
using testing::global_word;
using testing::spelling_of;
using testing::text_of;
using Helpers = testing::fresh_values;

cell typed_word(const char* spelling, uint8_t type) {
  cell word = global_word(spelling);
  set_type(word, type);
  return word;
}

cell block_of(std::initializer_list<cell> values) {
  cell block{TYPE_BLOCK, 0, alloc_cells(static_cast<uint32_t>(values.size()) + 1), 0};
  for (const cell& value : values) *alloc_block_tail(block) = value;
  return block;
}

cell typeset_of(std::initializer_list<uint8_t> types) {
  uint8_t bytes[12] = {};
  for (uint8_t type : types) bytes[type >> 3] |= static_cast<uint8_t>(0x80 >> (type & 7));
  cell typeset{TYPE_TYPESET, 0, 0, 0};
  std::memcpy(&typeset.payload1, bytes, sizeof bytes);
  return typeset;
}

// Runs the check as a native named `f` with spec [series [block!] /part length] would,
// inside a try: its frame pushed, its arguments (1, false, true) from its first cell. Answers
// the error raised, if any.
template <class Check>
std::optional<error_id> inside_f(Check&& check) {
  stack::init();
  cell spec = block_of({global_word("series"), block_of({}), typed_word("part", TYPE_REFINEMENT),
                        global_word("length")});
  cell f = global_word("f");
  cell native_value{TYPE_NATIVE, 0, spec.payload2, 0};
  context::set(f, native_value);
  bool stopped = stack::catch_error(cell{}, false, [&] {
    stack::push_native_frame(f);
    cell* series = stack::push_copy(scalar::integer(1));
    cell* part = stack::push_copy(logic::value_of(false));
    cell* length = stack::push_copy(logic::value_of(true));
    check(series, part, length);
  });
  stack::init();
  return stopped ? std::optional<error_id>(last_fired.id) : std::nullopt;
}

TEST_F(Helpers, BootLiteralsAreCellsFromTheImagesBase) {
  cell literals[3] = {{TYPE_WORD, 0, 5, 0}, {TYPE_BLOCK, 0, 77, 0}, {TYPE_WORD, 9, 6, 0}};
  set_boot_literals(literals);
  EXPECT_EQ(boot_value(1), &literals[1]);
  EXPECT_EQ(boot_value_node(2), 9u);
  set_boot_literals(nullptr);
}

TEST_F(Helpers, ArgumentChecksNameTheFunctionTheTypeAndTheArgument) {
  cell typeset = typeset_of({TYPE_INTEGER, TYPE_BLOCK});
  EXPECT_TRUE(typeset_has_p(typeset, TYPE_INTEGER));
  EXPECT_TRUE(typeset_has_p(typeset, TYPE_BLOCK));
  EXPECT_FALSE(typeset_has_p(typeset, TYPE_STRING));
  EXPECT_FALSE(typeset_has_p(typeset_of({TYPE_EVENT}), TYPE_IMAGE));

  inside_f([&](cell* series, cell*, cell*) { EXPECT_EQ(&check_arg_typeset(0, typeset, *series), series); });

  struct row {
    void (*check)(const cell& typeset, cell* series, cell* part, cell* length);
    const char* argument;  // null: no error
    uint8_t type;
  };
  const row rows[] = {
      {[](const cell& t, cell*, cell*, cell* l) { check_arg_typeset(2, t, *l); }, "length", TYPE_LOGIC},
      {[](const cell& t, cell*, cell*, cell*) { check_arg_slot_typeset(2, t); }, "length", TYPE_LOGIC},
      {[](const cell& t, cell*, cell*, cell*) { check_arg_slot_typeset(0, t); }, nullptr, 0},
      {[](const cell& t, cell*, cell*, cell*) { check_arg_slot_typeset(-1, t); }, nullptr, 0},
      {[](const cell& t, cell*, cell* p, cell* l) { check_refinement_arg_typeset(*p, t, *l); }, nullptr, 0},
      {[](const cell& t, cell*, cell*, cell* l) { check_refinement_arg_typeset(logic::value_of(true), t, *l); },
       "length", TYPE_LOGIC},
      {[](const cell&, cell*, cell*, cell*) {
         cell unset_value = unset::value;
         check_arg_set(0, unset_value);
       },
       "series", TYPE_UNSET},
      {[](const cell&, cell* s, cell*, cell*) { EXPECT_EQ(&check_arg_set(0, *s), s); }, nullptr, 0},
  };
  for (const row& r : rows) {
    std::optional<error_id> fired = inside_f([&](cell* s, cell* p, cell* l) { r.check(typeset, s, p, l); });
    if (!r.argument) {
      EXPECT_FALSE(fired);
      continue;
    }
    EXPECT_EQ(fired, error_id::script_expect_arg);
    EXPECT_EQ(spelling_of(last_fired.args[0]), "f");
    EXPECT_EQ(last_fired.args[1].type(), TYPE_DATATYPE);
    EXPECT_EQ(last_fired.args[1].payload1, r.type);
    EXPECT_EQ(spelling_of(last_fired.args[2]), r.argument);
  }
}

TEST_F(Helpers, IntegersFromNumbers) {
  struct row {
    cell value;
    int32_t result;
    error_id error;  // count: none
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  const row rows[] = {
      {scalar::integer(-7), -7, error_id::count},
      {scalar::float_cell(2.9), 2, error_id::count},
      {scalar::float_cell(-2.9), -2, error_id::count},
      {scalar::float_cell(2147483647.0), 2147483647, error_id::count},
      {scalar::float_cell(-2147483648.0), -2147483647 - 1, error_id::count},
      {scalar::float_cell(2147483647.5), 0, error_id::script_out_of_range},
      {scalar::float_cell(-2147483648.5), 0, error_id::script_out_of_range},
      {scalar::float_cell(nan), 0, error_id::script_out_of_range},
      {scalar::float_cell(-infinity), 0, error_id::script_out_of_range},
      {logic::value_of(true), 0, error_id::script_invalid_arg},
  };
  for (const row& r : rows) {
    int32_t result = 0;
    std::optional<error_id> fired = fired_by([&] { result = get_int_from_number(r.value); });
    if (r.error == error_id::count) {
      EXPECT_FALSE(fired);
      EXPECT_EQ(result, r.result);
      continue;
    }
    EXPECT_EQ(fired, r.error);
    EXPECT_EQ(std::memcmp(&last_fired.args[0], &r.value, sizeof(cell)), 0);
  }
}

TEST_F(Helpers, WordsSetFromTheStackRefuseUnset) {
  cell word = global_word("w");
  EXPECT_EQ(fired_by([&] { get_word_checked(word); }), error_id::script_no_value);
  EXPECT_EQ(spelling_of(last_fired.args[0]), "w");

  stack::push_copy(unset::value);
  EXPECT_EQ(fired_by([&] { set_word_from_stack(word); }), error_id::script_need_value);
  EXPECT_EQ(spelling_of(last_fired.args[0]), "w");

  stack::push_copy(logic::value_of(true));
  set_word_from_stack(word);
  EXPECT_EQ(get_word_checked(word)->type(), TYPE_LOGIC);
  EXPECT_EQ(stack::top, stack::bottom + 2);
  stack::push_copy(none::value);
  set_word_from_stack_reset(word);
  EXPECT_EQ(get_word_checked(word)->type(), TYPE_NONE);
  EXPECT_EQ(stack::top, stack::arguments);
}

TEST_F(Helpers, FieldsSetFromTheStack) {
  node_id object = context::create(2, false, false, 0, context::kind_object);
  context::add_word(object, global_word("a"));
  context::add_word(object, global_word("b"));

  stack::push_copy(logic::value_of(true));
  set_field_from_stack(object, 1);
  EXPECT_EQ(get_field_checked(object, 1)->type(), TYPE_LOGIC);
  EXPECT_EQ(stack::top, stack::bottom + 1);
  stack::push_copy(unset::value);
  EXPECT_EQ(fired_by([&] { set_field_from_stack_reset(object, 0); }), error_id::script_need_value);
  EXPECT_EQ(spelling_of(last_fired.args[0]), "a");

  // Taken as it is, the word marked as assigned.
  set_field_from_stack_any(object, 0);
  EXPECT_EQ(get_field_checked(object, 0)->type(), TYPE_UNSET);
  EXPECT_TRUE(context::word_at(object, 0)->header & cell_flag::field_set);
  EXPECT_FALSE(context::word_at(object, 1)->header & cell_flag::field_set);
  EXPECT_EQ(stack::top, stack::arguments);
  stack::push_copy(none::value);
  set_field_from_stack_reset(object, 1);
  EXPECT_EQ(get_field_checked(object, 1)->type(), TYPE_NONE);

  // A function's context outside its call has no values.
  node_id locals = context::create(1, true, false, 0, context::kind_function);
  context::add_word(locals, global_word("x"));
  EXPECT_EQ(fired_by([&] { get_field_checked(locals, 0); }), error_id::script_not_defined);
  EXPECT_EQ(spelling_of(last_fired.args[0]), "x");
  stack::push_copy(none::value);
  EXPECT_EQ(fired_by([&] { set_field_from_stack(locals, 0); }), error_id::script_not_defined);
}

int32_t seen_positions[refinement_parameter_limit];
void capture_positions(const int32_t* positions) { std::copy_n(positions, refinement_parameter_limit, seen_positions); }

TEST_F(Helpers, RefinementArguments) {
  // Arguments: value, /part flag, its two cells, /only flag.
  for (int i = 0; i < 5; ++i) stack::push_copy(scalar::integer(i + 10));
  set_refinement_args(logic::value_of(true), 1, 2);
  EXPECT_EQ(stack::argument(1)->payload1, 1u);
  EXPECT_EQ(stack::argument(2)->type(), TYPE_INTEGER);
  set_refinement_args(none::value, 1, 2);
  EXPECT_EQ(stack::argument(2)->type(), TYPE_NONE);
  EXPECT_EQ(stack::argument(3)->type(), TYPE_NONE);
  EXPECT_EQ(stack::argument(4)->type(), TYPE_INTEGER);

  stack::reset_top();
  for (int i = 0; i < 6; ++i) stack::push_copy(scalar::integer(i + 10));
  cell yes = logic::value_of(true), no = logic::value_of(false);
  const refinement_use uses[] = {{&no, 0, 1, 2}, {&yes, 2, 3, 1}, {&none::value, 1, 4, 2}};
  reorder_args(capture_positions, 3, uses);
  EXPECT_EQ(seen_positions[0], -1);
  EXPECT_EQ(seen_positions[1], -1);
  EXPECT_EQ(seen_positions[2], 3);
  EXPECT_EQ(seen_positions[3], -1);
  const uint8_t types[] = {TYPE_INTEGER, TYPE_NONE, TYPE_NONE, TYPE_INTEGER, TYPE_NONE, TYPE_NONE};
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(stack::argument(i)->type(), types[i]) << i;
}

TEST_F(Helpers, SwitchAndSelectLookups) {
  cell a = global_word("a"), b = global_word("b"), c = global_word("c");
  cell body1 = block_of({a}), body2 = block_of({b});
  // [a b body1 c body2 b]
  cell block = block_of({a, b, body1, c, body2, b});
  struct row {
    cell value;
    bool push;
    bool to_block;
    const cell* answer;  // null: none
  };
  const row rows[] = {
      // b and c sit at odd places only: SELECT, looking at every other element, misses them
      {a, false, false, &b},    {b, false, false, nullptr}, {c, false, false, nullptr},
      {b, true, false, &body1}, {c, true, false, &body2},   {a, true, true, &body1},
      {c, true, true, &body2},  {logic::value_of(true), true, false, nullptr},
      {body1, true, false, nullptr},  // a block! value is never matched
  };
  for (const row& r : rows) {
    stack::init();
    stack::push_copy(r.value);
    stack::push_copy(block);
    cell* answer = switch_lookup(r.push, r.to_block);
    EXPECT_EQ(answer, r.push ? stack::bottom + 2 : stack::bottom);
    if (!r.answer) {
      EXPECT_EQ(answer->type(), TYPE_NONE);
      continue;
    }
    EXPECT_EQ(std::memcmp(answer, r.answer, sizeof(cell)), 0);
  }
  // A match on the last element answers that element; with to_block and no block after, none.
  stack::init();
  stack::push_copy(b);
  stack::push_copy(block_of({a, b}));
  EXPECT_EQ(switch_lookup(true, false)->payload2, b.payload2);
  stack::init();
  stack::push_copy(b);
  stack::push_copy(block_of({a, b}));
  EXPECT_EQ(switch_lookup(true, true)->type(), TYPE_NONE);
  stack::init();
}

// ---- Compiled paths -------------------------------------------------------------------------

struct path_step {
  uint8_t parent_type;
  uint32_t element_symbol;
  bool storing;
  uint8_t container_type;
  int32_t index;
  bool last;
  bool store_back;
};
std::vector<path_step> steps;
constexpr uint8_t probe_type = 55;
cell probe_answer{probe_type, 0, 0, 0};

cell* record_step(cell* parent, cell* element, cell* value, cell*, cell* container, cell*, int32_t index, bool, bool,
                  bool last, bool store_back) {
  steps.push_back({parent->type(), element->payload2, value != nullptr, container->type(), index, last, store_back});
  return last && value ? value : &probe_answer;
}

class CompiledPaths : public Helpers {
 protected:
  void SetUp() override {
    Helpers::SetUp();
    for (uint8_t type : {TYPE_BLOCK, TYPE_OBJECT, TYPE_LOGIC, probe_type}) {
      erased_handler& slot = datatype::action_table[type * datatype::row_stride + 6];
      saved_.push_back({type, slot});
      slot = reinterpret_cast<erased_handler>(&record_step);
    }
    steps.clear();
  }
  void TearDown() override {
    for (auto [type, handler] : saved_) datatype::action_table[type * datatype::row_stride + 6] = handler;
    Helpers::TearDown();
  }

 private:
  std::vector<std::pair<uint8_t, erased_handler>> saved_;
};

TEST_F(CompiledPaths, EachElementGoesThroughEvalPathAndTheLastSetStepMayStoreBack) {
  struct row {
    cell start;        // the value of the path's first word
    uint8_t second;    // the type of the second element
    bool store_back;   // told at the last step of a set
  };
  node_id handlers = alloc_cells(1);
  const row rows[] = {
      {block_of({}), TYPE_WORD, true},
      {cell{TYPE_OBJECT, 0, 0, handlers}, TYPE_WORD, true},  // change handlers, reached through a word
      {cell{TYPE_OBJECT, 0, 0, handlers}, TYPE_GET_WORD, false},
      {cell{TYPE_OBJECT, 0, 0, 0}, TYPE_WORD, false},  // no change handlers
      {logic::value_of(true), TYPE_WORD, false},
  };
  cell w = global_word("w");
  for (const row& r : rows) {
    context::set(w, r.start);
    const cell elements[] = {w, typed_word("x", r.second), global_word("y")};
    cell path = block_of({});
    cell stored = scalar::integer(5);
    steps.clear();
    stack::init();
    stack::push_cell();
    EXPECT_EQ(eval_compiled_path(true, 3, path, elements, &stored)->payload2, 5u);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].parent_type, r.start.type());
    EXPECT_FALSE(steps[0].storing);
    EXPECT_FALSE(steps[0].last);
    EXPECT_EQ(steps[0].index, 1);
    EXPECT_EQ(steps[1].parent_type, probe_type);
    EXPECT_EQ(steps[1].container_type, r.start.type());
    EXPECT_TRUE(steps[1].storing);
    EXPECT_TRUE(steps[1].last);
    EXPECT_EQ(steps[1].store_back, r.store_back);
    EXPECT_EQ(stack::arguments->payload2, 5u);
  }

  // Getting: no value, no store-back; two elements never store back.
  context::set(w, block_of({}));
  const cell elements[] = {w, global_word("x"), global_word("y")};
  cell path = block_of({});
  steps.clear();
  EXPECT_EQ(eval_compiled_path(false, 3, path, elements, nullptr)->type(), probe_type);
  EXPECT_FALSE(steps[1].storing || steps[1].store_back);
  steps.clear();
  cell stored = scalar::integer(6);
  eval_compiled_path(true, 2, path, elements, &stored);
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_TRUE(steps[0].storing);
  EXPECT_FALSE(steps[0].store_back);
  stack::init();
}

// ---- Text and errors ------------------------------------------------------------------------

TEST_F(Helpers, IndentAndErrorHelpers) {
  cell string;
  text::make_at(string, 4);
  text::append_c_string(string, "[");
  EXPECT_EQ(append_indent(string, 2, 80), 72);
  EXPECT_EQ(append_indent(string, 0, 80), 80);
  EXPECT_EQ(text_of(string), "[        ");

  cell type = testing::datatype_cell(TYPE_ERROR);
  cell spec = logic::value_of(false);
  EXPECT_EQ(fired_by([&] { fire_bad_make_arg(type, spec); }), error_id::script_bad_make_arg);
  EXPECT_EQ(last_fired.args[1].type(), TYPE_LOGIC);

  const cell args[] = {global_word("x")};
  ::testing::internal::CaptureStdout();
  print_error(error_id::script_no_value, 1, args);
  console_out::flush();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "*** Script Error: x has no value\n*** Where: ???\n*** Near : none\n");
}

}  // namespace
}  // namespace tav
