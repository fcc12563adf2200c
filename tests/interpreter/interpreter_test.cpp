// The interpreter: expressions and the infix rule, set-words, get-words, lit-words and parens,
// the errors of evaluation, code that shrinks while it runs, the `near` of errors, system code,
// the fast operator paths against the full calls, and trace events.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boot/system_object.hpp"
#include "datatypes/float.hpp"
#include "datatypes/object.hpp"
#include "datatypes/integer.hpp"
#include "evaluation_fixture.hpp"
#include "interpreter/transcode.hpp"
#include "runtime/collector.hpp"

namespace tav {
namespace {

using Interpreter = testing::evaluation;
using source::load;

TEST_F(Interpreter, ExpressionsEvaluateLeftToRight) {
  struct row {
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{"1 2 3", "3"},
           row{"1 + 2 * 3", "9"},
           row{"2 * 3 + 1", "7"},
           row{"absolute -2 + 1", "1"},       // a prefix argument takes the operator after it
           row{"1 + absolute -2 + 1", "2"},   // the right operand is the whole call
           row{"(1 + 2) * 3", "9"},
           row{"x: 5 x * x", "25"},
           row{"x: y: 2 x + y", "4"},
           row{"x: 1 + 2 x", "3"},
           row{"'abc", "abc"},
           row{"[1 + 2]", "[1 + 2]"},
           row{"()", "unset"},
           row{"1.5 + 2.25", "3.75"},
           row{"2147483647 + 1", "2147483648.0"},
           row{"#system", "#system"},
           row{"negate 3 - 1", "-2"},
           row{"f: func [a b] [a - b] f 10 1 + 2", "7"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
  EXPECT_EQ(value_of("").type(), TYPE_UNSET);
  EXPECT_EQ(value_of(":absolute").type(), TYPE_ACTION) << "a get-word does not call";
  cell word = value_of("'abc");
  EXPECT_EQ(word.header, uint32_t{TYPE_WORD}) << "a lit-word gives the plain word";
  cell path = value_of("'a/b");
  EXPECT_EQ(path.header, uint32_t{TYPE_PATH});
  EXPECT_EQ(path.payload3, 0u);
}

TEST_F(Interpreter, EvaluationErrors) {
  struct row {
    const char* code;
    error_id error;
    const char* first_argument;
  };
  for (const row& r : {
           row{"+ 1 2", error_id::script_no_op_arg, "+"},
           row{"x: ()", error_id::script_need_value, "x"},
           row{"do [x:]", error_id::script_need_value, "x"},
           row{"1 x:", error_id::script_need_value, "x"},
           row{"nothing-here", error_id::script_no_value, "nothing-here"},
           row{"#system [1]", error_id::internal_tav_system, nullptr},
           row{"#system-global [1]", error_id::internal_tav_system, nullptr},
           row{"a/b: ", error_id::script_need_value, nullptr},
           row{"either () [1] [2]", error_id::script_no_return, nullptr},
       }) {
    outcome result = evaluate(r.code);
    ASSERT_TRUE(result.error) << r.code;
    EXPECT_EQ(*result.error, r.error) << r.code;
    if (r.first_argument) {
      EXPECT_EQ(testing::spelling_of(last_fired.args[0]), r.first_argument) << r.code;
    }
  }
  // An op! met as a value in the code, not through a word.
  cell code = load("1");
  block::append_cell(code, global("+"));
  EXPECT_EQ(evaluate_block(code).error, error_id::internal_not_done);
}

TEST_F(Interpreter, EachExpressionLeavesOneCell) {
  const cell code = load("1 + 2 x: 3 (4) absolute -5");
  const interpreter::code source = interpreter::code_of(code);
  cell* base = stack::top;
  uint32_t index = 0;
  std::vector<int32_t> values;
  while (index < source.end) {
    index = interpreter::do_expression(source, index, interpreter::flag::push);
    ASSERT_EQ(stack::top, base + values.size() + 1);
    values.push_back(integer::get(stack::top[-1]));
  }
  EXPECT_EQ(values, (std::vector<int32_t>{3, 3, 4, 5}));
  stack::top = base;

  // With quote-functions a function met as a value is data; without it, it is called.
  cell quoted = load("1");
  block::append_cell(quoted, global("absolute"));
  block::append_cell(quoted, scalar::integer(-4));
  const interpreter::code with_function = interpreter::code_of(quoted);
  EXPECT_EQ(interpreter::do_expression(with_function, 1, interpreter::flag::push | interpreter::flag::quote_functions),
            2u);
  EXPECT_EQ(stack::top[-1].type(), TYPE_ACTION);
  EXPECT_EQ(interpreter::do_expression(with_function, 1, interpreter::flag::push), 3u);
  EXPECT_EQ(mold_of(stack::top[-1]), "4");
  stack::top = base;

  // do_next_value: one expression into the result slot, the block's index moved past it.
  cell block = load("1 + 2 7");
  stack::arguments = stack::top;
  stack::push_cell();
  EXPECT_EQ(interpreter::do_next_value(block), 3u);
  EXPECT_EQ(integer::get(*stack::arguments), 3);
  block.payload1 = 4;
  EXPECT_EQ(interpreter::do_next_value(block), 4u);
  EXPECT_EQ(stack::arguments->type(), TYPE_UNSET);
  stack::arguments = stack::top = base;
}

// Code that shrinks the block it runs in: the evaluation stops at the new tail instead of
// reading the cells left past it.
cell shrinking{unset_header, 0, 0, 0};
routine::answer shrink(cell* arguments) {
  series_buffer* buffer = buffer_of(shrinking.payload2);
  buffer->tail = buffer->offset + 2 * sizeof(cell);
  arguments[0] = scalar::integer(-1);
  return {};
}

TEST_F(Interpreter, ABlockThatShrinksWhileItRunsEndsAtItsNewTail) {
  collector::scoped_root root(&shrinking);
  source::define_routine("shrink", "[]", shrink);
  shrinking = load("x: shrink 1 2 3");
  EXPECT_EQ(mold_of(evaluate_block(shrinking).value), "-1");
  // An argument that is gone is missing, not read from the stale cells.
  shrinking = load("f: func [a b] [b] x: 0 f shrink 5");
  source::define_routine("shrink", "[]", [](cell* arguments) -> routine::answer {
    series_buffer* buffer = buffer_of(shrinking.payload2);
    buffer->tail = buffer->offset + 8 * sizeof(cell);
    arguments[0] = scalar::integer(-1);
    return {};
  });
  outcome result = evaluate_block(shrinking);
  EXPECT_EQ(result.error, error_id::script_no_arg);
}

TEST_F(Interpreter, ErrorsNameTheExpressionThatFailed) {
  // The error takes the block positioned at its expression.
  cell code = load("x: 1 y: 1 / 0");
  EXPECT_EQ(evaluate_block(code).error, error_id::math_zero_divide);
  EXPECT_EQ(last_fired.near.payload2, code.payload2);
  EXPECT_EQ(last_fired.near.payload1, 2u);

  // After an error caught inside, a later error names the outer block again.
  source::define_routine("attempt", "[block [block!]]", [](cell* arguments) -> routine::answer {
    const cell block = arguments[0];
    if (stack::catch_error(words::try_, false, [&] { interpreter::do_block(block, true); }))
      arguments[0] = none::value;
    return {};
  });
  code = load("attempt [1 / 0] nothing-here");
  EXPECT_EQ(evaluate_block(code).error, error_id::script_no_value);
  EXPECT_EQ(last_fired.near.payload2, code.payload2);
  EXPECT_EQ(last_fired.near.payload1, 2u);
  EXPECT_EQ(interpreter::current_block().type(), TYPE_UNSET) << "outside evaluation the record is empty";

  // Inside a paren the error is near the paren's expression.
  code = load("x: 1 x = (2 nothing-here)");
  EXPECT_EQ(evaluate_block(code).error, error_id::script_no_value);
  EXPECT_EQ(last_fired.near.type(), TYPE_PAREN);
  EXPECT_EQ(last_fired.near.payload1, 1u);
}

// A function as start-up makes them: its body copy marked as system code.
cell system_function(const char* body) {
  function::push(load("[]"), load(body), 0, 0, 0, 0);
  cell made = stack::top[-1];
  stack::pop_cells(1);
  interpreter::mark_system_code(*function::more_cell(made, function::more_body));
  return made;
}

TEST_F(Interpreter, SystemCodeIsNeverNearAndPushesNoInterpretedFrames) {
  // The error is near the call in user code, not inside the system body.
  source::define("sys", system_function("1 / 0"));
  cell code = load("1 sys");
  EXPECT_EQ(evaluate_block(code).error, error_id::math_zero_divide);
  EXPECT_EQ(last_fired.near.payload2, code.payload2);
  EXPECT_EQ(last_fired.near.payload1, 1u);

  // Frames pushed while system code runs lack the interpreted flag.
  std::vector<bool> flags;
  static std::vector<bool>* seen = nullptr;
  seen = &flags;
  source::define_routine("frames", "[]", [](cell* arguments) -> routine::answer {
    for (const stack::call_frame* f = stack::call_bottom; f < stack::call_top; ++f) seen->push_back(f->interpreted_p());
    arguments[0] = none::value;
    return {};
  });
  cell inner = load("frames");
  EXPECT_FALSE(evaluate_block(inner).error);
  // The block's eval frame is left out when frames are folded.
  const size_t frames = interpreter::fold_frames ? 2u : 3u;
  ASSERT_EQ(flags.size(), frames) << "try, eval, the routine";
  EXPECT_TRUE(flags[1] && flags.back());
  flags.clear();
  interpreter::mark_system_code(inner);
  EXPECT_FALSE(evaluate_block(inner).error);
  ASSERT_EQ(flags.size(), frames);
  EXPECT_FALSE(flags[1] || flags.back());
  // A copy of system code is user code again.
  cell copy = *block::clone(inner, true, false);
  stack::pop_cells(1);
  EXPECT_FALSE(interpreter::system_code_p(copy));
}

// The operators' fast paths give what the full call gives; tracing turns them off.
TEST_F(Interpreter, FastOperatorsAgreeWithTheFullCalls) {
  const char* cases[] = {
      "2147483647 + 1", "-2147483648 - 1", "65536 * 65536", "-7 * 3", "5 - 7", "1.5 * 2.0", "0.1 + 0.2",
      "1.0 - 1.0",      "3 < 4",           "4 <= 4",        "5 > 6",   "6 >= 6", "1 = 1",     "1 <> 1",
      "1.0 = 1.0000000000000002",        "2.5 < 2.5",     "1 = 1.0", "2 * 1.5", "x: 3 x * x", "1 + 2 * 3 - 4",
  };
  cell trace_callback = value_of("func [e c o v r f] [[]]");  // an empty mask: nothing is reported
  for (const char* code : cases) {
    std::string fast = result_of(code);
    interpreter::start_trace(trace_callback);
    std::string full = result_of(code);
    interpreter::end_trace();
    EXPECT_EQ(fast, full) << code;
  }
  // An operator given another meaning loses its fast path.
  source::define_op("+", "subtract");
  EXPECT_EQ(result_of("5 + 3"), "2");
}

TEST_F(Interpreter, OperatorsMadeFromFunctions) {
  source::define("plus", source::made(TYPE_OP, value_of("func [a b] [a + b * 10]")));
  EXPECT_EQ(result_of("2 plus 3 plus 1"), "510");
  EXPECT_EQ(result_of("f: func [x] [x] f 1 plus 1"), "20");
}

// ---- Trace events ---------------------------------------------------------------------------

cell trace_log{unset_header, 0, 0, 0};

routine::answer log_event(cell* arguments) {
  block::append_cell(trace_log, arguments[0]);
  block::append_cell(trace_log, arguments[1]);
  arguments[0] = none::value;
  return {};
}

class Traces : public testing::evaluation {
 protected:
  void SetUp() override {
    evaluation::SetUp();
    collector::add_root(&trace_log);
    block::make_at(trace_log, 16);
    source::define_routine("log", "[event [any-type!] offset [any-type!]]", log_event);
  }
  void TearDown() override {
    if (interpreter::trace_installed) interpreter::end_trace();
    collector::remove_root(&trace_log);
    trace_log = cell{unset_header, 0, 0, 0};
    evaluation::TearDown();
  }

  // Evaluates the code under a trace whose callback logs event and offset; answers the log.
  std::string traced(const char* callback_body, const char* code) {
    std::string callback = std::string("func [event code offset value ref frame] ") + callback_body;
    cell function = value_of(callback.c_str());
    cell block = load(code);
    block::make_at(trace_log, 16);
    interpreter::start_trace(function);
    outcome result = evaluate_block(block);
    interpreter::end_trace();
    EXPECT_FALSE(result.error) << code;
    std::string log = mold_of(trace_log);
    return log;
  }
};

TEST_F(Traces, EventsAndTheirMask) {
  EXPECT_EQ(traced("[[fetch] log event offset]", "1 + 2"), "[fetch 0 fetch 1 fetch 2]");
  EXPECT_EQ(traced("[[init end] log event offset]", "1"), "[init -1 end -1]");
  EXPECT_EQ(traced("[[enter exit] log event offset]", "(1)"), "[enter 0 enter 0 exit 1 exit 1]");
  EXPECT_EQ(traced("[[set] log event offset]", "x: 1"), "[set 2]");
  EXPECT_EQ(traced("[[call return] log event offset]", "absolute -1"), "[call 2 return 2]");
  EXPECT_EQ(traced("[[expr] log event offset]", "1 2"), "[expr 1 expr 2]");
  // A block of non-event words masks every event.
  EXPECT_EQ(traced("[[nothing] log event offset]", "1 + 2"), "[]");
}

// With every event reported, operators still see their left operands.
TEST_F(Traces, EveryEventKeepsTheOperands) {
  const cell function = value_of("func [event code offset value ref frame] [log event offset]");
  for (const char* code : {"1 + 2", "x: 3 x * 2 + 1", "10 - 4 - 3", "f: func [a] [a * 2] (f 3) + f 4"}) {
    const std::string untraced = result_of(code);
    interpreter::start_trace(function);
    const std::string traced_result = result_of(code);
    interpreter::end_trace();
    EXPECT_EQ(traced_result, untraced) << code;
  }
}

TEST_F(Traces, PrologEpilogAndTraceFlags) {
  value_of("f: func [a] [a] g: func [[no-trace] a] [f a]");
  EXPECT_EQ(traced("[[prolog epilog] log event offset]", "f 1"), "[prolog -1 epilog -1]");
  EXPECT_EQ(traced("[[prolog epilog] log event offset]", "g 1"), "[]") << "no events inside a no-trace function";
}

TEST_F(Traces, EventValuesAndReferences) {
  EXPECT_EQ(traced("[[push] log event value]", "1 'a"), "[push 1 push a]");
  EXPECT_EQ(traced("[[call] log event ref]", "absolute -1"), "[call absolute]");
  value_of("f: func [a] [a]");
  EXPECT_EQ(traced("[[set] log value ref]", "x: f 2"), "[2 x:]");
}

// Callbacks run untraced unless system/state/callbacks says otherwise.
TEST_F(Traces, CallbacksAreNotTraced) {
  source::define_routine("sort-with", "[series comparator]", [](cell* arguments) -> routine::answer {
    actions::sort(&arguments[0], false, nullptr, &arguments[1], nullptr, false, false, false);
    return {};
  });
  value_of("comparator: func [a b] [a > b]");
  EXPECT_EQ(traced("[[fetch] log event offset]", "sort-with [2 1] :comparator"), "[fetch 0 fetch 1 fetch 2]");
  // The sort? bit (4) of system/state/callbacks/bits lets the comparator's events through.
  ASSERT_EQ(system_object::value.type(), TYPE_OBJECT);
  cell state = *object::select_word(system_object::value, source::word_cell("state", TYPE_WORD));
  cell* callbacks = object::select_word(state, source::word_cell("callbacks", TYPE_WORD));
  const cell saved = *callbacks;
  *callbacks = value_of("make object! [bits: 4]");
  EXPECT_EQ(traced("[[fetch] log event offset]", "sort-with [2 1] :comparator"),
            "[fetch 0 fetch 1 fetch 2 fetch 0 fetch 1 fetch 2]");
  *object::select_word(state, source::word_cell("callbacks", TYPE_WORD)) = saved;
}

TEST_F(Traces, SystemCodeFiresNoEvents) {
  source::define("sys", system_function("1 + 2"));
  EXPECT_EQ(traced("[[fetch] log event offset]", "sys"), "[fetch 0]");
}

// ---- Lexer callbacks ------------------------------------------------------------------------

TEST_F(Traces, LexerCallbacksAreFunctions) {
  cell callback = value_of("func [event input type line token] [if event = 'load [log token line] true]");
  const char* text = "1 [2]";
  cell block = none::value;
  lexer::load_options options;
  options.callback = &callback;
  block::make_at(trace_log, 8);
  lexer::transcode(block, reinterpret_cast<const uint8_t*>(text), 5, options, nullptr);
  EXPECT_EQ(mold_of(block), "[1 [2]]");
  EXPECT_EQ(mold_of(trace_log), "[1 1 2 1]");
  // A false answer to a load event drops the value.
  callback = value_of("func [event input type line token] [either event = 'load [token <> 2] [true]]");
  block = none::value;
  lexer::transcode(block, reinterpret_cast<const uint8_t*>(text), 5, options, nullptr);
  EXPECT_EQ(mold_of(block), "[1 []]");
  // The input the callback moves is where the run goes on.
  callback = value_of("func [event input type line token] [if all [event = 'load token = 1] [input: tail input] true]");
  cell result = none::value;
  natives::transcode_refinements refinements;
  refinements.trace = &callback;
  natives::transcode(source::first_of("\"1 2 3\""), refinements, result);
  EXPECT_EQ(mold_of(result), "[1]");
}

}  // namespace
}  // namespace tav
