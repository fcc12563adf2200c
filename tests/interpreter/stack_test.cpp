// Call and argument stacks: pushes up to the last usable cell and frame, the pops and what
// they leave, function contexts put back, the caller lookup and traces, the walks of break,
// continue, return, exit and throw, the try and catch protocols, an uncaught error, and the
// collector's view of both stacks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "datatypes/value_fixture.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/collector_fixture.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/fire_helpers.hpp"

namespace tav {
namespace {

using testing::fired_by;
using testing::global_word;
using testing::spelling_of;

cell integer(uint32_t value) { return cell{TYPE_INTEGER, 0, value, 0}; }

TEST(ArgumentStack, OverflowGivesBackCellsAndRaises) {
  stack::init();
  for (uint32_t i = 0; i < stack::argument_capacity - 1; ++i) stack::push_copy(integer(i));
  EXPECT_EQ(stack::top, stack::end - 1);
  cycles::push(7);
  EXPECT_EQ(fired_by([] { stack::push_cell(); }), error_id::internal_stack_overflow);
  EXPECT_EQ(stack::top, stack::end - 5);
  EXPECT_EQ(cycles::depth(), 0u);
  stack::init();
  EXPECT_EQ(stack::top, stack::bottom);
}

TEST(ArgumentStack, ResultSlotMoves) {
  stack::init();
  stack::push_copy(integer(1));
  stack::arguments = stack::top;
  stack::push_copy(integer(2));
  stack::push_copy(integer(3));
  EXPECT_EQ(stack::last_pushed()->payload2, 3u);
  EXPECT_EQ(stack::top_type(), 11);
  stack::set_last_keep(integer(9));
  EXPECT_EQ(stack::top, stack::arguments + 1);
  EXPECT_EQ(stack::arguments->payload2, 9u);
  EXPECT_EQ(stack::reset_top(), stack::arguments);
  EXPECT_EQ(stack::top, stack::arguments);
  stack::pop_cells(50);
  EXPECT_EQ(stack::top, stack::bottom);
  EXPECT_EQ(stack::last_pushed(), stack::bottom);
  // A value taken from the cell about to be reserved is copied first.
  stack::top = stack::bottom;
  *stack::bottom = integer(4);
  EXPECT_EQ(stack::push_copy(*stack::bottom)->payload2, 4u);
  // Only an error! as last value becomes the result.
  stack::arguments = stack::top = stack::bottom;
  stack::push_copy(integer(1));
  stack::push_copy(integer(2));
  stack::keep_error_result();
  EXPECT_EQ(stack::bottom->payload2, 1u);
  stack::push_copy(cell{TYPE_ERROR, 5, 6, 7});
  stack::keep_error_result();
  EXPECT_EQ(stack::bottom->type(), TYPE_ERROR);
  EXPECT_EQ(stack::top, stack::bottom + 1);
  stack::init();
}

class CallStack : public testing::fresh_values {
 protected:
  cell name(const char* spelling) { return global_word(spelling); }
  // A function context whose values live on the argument stack, starting at `first`.
  node_id frame_context(uint32_t first) {
    node_id context = context::create(2, true, false, 0, context::kind_function);
    context::cell_of(context)->payload2 = first;
    return context;
  }
  uint32_t values_of(node_id context) { return context::cell_of(context)->payload2; }
};

TEST_F(CallStack, PushesWriteTheFrameAndStartTheCalleesArguments) {
  using push_fn = stack::call_frame* (*)(const cell&);
  struct row {
    push_fn push;
    uint32_t kind;
    bool body;
    bool interpreted;
  };
  const row rows[] = {
      {stack::push_native_frame, stack::kind::native, false, false},
      {stack::push_try_frame, stack::kind::try_, false, false},
      {stack::push_try_all_frame, stack::kind::try_all, false, false},
      {[](const cell& n) { return stack::push_catch_frame(n); }, stack::kind::catch_, false, false},
      {stack::push_eval_frame, stack::kind::eval, false, true},
      {stack::push_loop_frame, stack::kind::loop, false, false},
      {stack::push_interp_native_frame, stack::kind::native, false, true},
      {stack::push_interp_call_frame, stack::kind::call, false, true},
      {[](const cell& n) { return stack::push_call_frame(n, 0); }, stack::kind::call, false, false},
  };
  cell word = name("caller");
  for (const row& r : rows) {
    stack::init();
    stack::push_copy(integer(1));
    stack::arguments = stack::top;
    stack::push_copy(integer(2));
    stack::call_frame* frame = r.push(word);
    EXPECT_EQ(frame, stack::call_bottom);
    EXPECT_EQ(frame->kind(), r.kind);
    EXPECT_EQ(frame->body_p(), r.body);
    EXPECT_EQ(frame->interpreted_p(), r.interpreted);
    EXPECT_EQ(frame->saved_arguments(), 1u);
    EXPECT_EQ(frame->symbol, word::symbol_of(word));
    EXPECT_EQ(frame->name_context, context::global);
    EXPECT_EQ(frame->function_context, 0u);
    EXPECT_EQ(stack::arguments, stack::top);
    EXPECT_EQ(stack::index_of(stack::arguments), 2u);
    EXPECT_EQ(stack::current_frame(), frame);
  }
}

TEST_F(CallStack, PopsLeaveTheCellsTheirCallersExpect) {
  // Caller arguments at 1 (its result slot) with one value pushed at 2; the callee's frame
  // starts at 3 with its result there and two more cells above it.
  struct row {
    void (*pop)();
    uint32_t top_after;
    bool result_copied;  // the callee's result also went to the caller's result slot
  };
  const row rows[] = {
      {stack::pop_frame, 4, false},       {stack::pop_frame_last, 4, true},
      {stack::pop_frame_reset, 1, false}, {stack::pop_frame_drop, 3, false},
      {stack::pop_call_frame, 4, false},  {stack::pop_call_frame_last, 4, true},
      {stack::pop_call_frame_reset, 1, false},
  };
  for (const row& r : rows) {
    stack::init();
    stack::push_native_frame(name("outer"));
    stack::push_copy(integer(100));  // a cell below the caller's
    stack::arguments = stack::top;
    stack::push_copy(integer(1));
    stack::push_copy(integer(2));
    stack::push_call_frame(name("callee"), 0);
    stack::push_copy(integer(3));
    stack::push_copy(integer(4));
    stack::push_copy(integer(5));
    r.pop();
    EXPECT_EQ(stack::index_of(stack::arguments), 1u);
    EXPECT_EQ(stack::index_of(stack::top), r.top_after);
    EXPECT_EQ(stack::arguments->payload2, r.result_copied ? 3u : 1u);
    EXPECT_EQ(stack::frame_count(), 1u);
  }
  // The bottom frame dropped takes both indices to the bottom.
  stack::init();
  stack::push_copy(integer(1));
  stack::arguments = stack::top;
  stack::push_native_frame(name("start-up"));
  stack::push_copy(integer(2));
  stack::pop_frame_drop();
  EXPECT_EQ(stack::top, stack::bottom);
  EXPECT_EQ(stack::arguments, stack::bottom);
}

TEST_F(CallStack, FunctionContextsGetTheirValuesBack) {
  node_id context = frame_context(7);
  // A recursive call re-aims the values; its pop puts the caller's back.
  stack::push_call_frame(name("f"), context);
  context::cell_of(context)->payload2 = 20;
  stack::push_call_frame(name("f"), context);
  context::cell_of(context)->payload2 = 30;
  EXPECT_EQ(stack::current_frame()->saved_values, 20u);
  stack::pop_call_frame();
  EXPECT_EQ(values_of(context), 20u);
  stack::pop_call_frame_reset();
  EXPECT_EQ(values_of(context), 7u);

  // The plain pops never look at the kind; dropping a call frame does.
  using pop_fn = void (*)();
  for (auto [pop, restores] : {std::pair<pop_fn, bool>{stack::pop_frame, false}, {stack::pop_frame_last, false},
                               {stack::pop_frame_reset, false}, {stack::pop_frame_drop, true}}) {
    context::cell_of(context)->payload2 = 7;
    stack::push_call_frame(name("f"), context);
    context::cell_of(context)->payload2 = 40;
    pop();
    EXPECT_EQ(values_of(context), restores ? 7u : 40u);
  }

  // A compiled function's arguments become its values: they start at the current arguments.
  stack::init();
  stack::push_copy(integer(1));
  stack::arguments = stack::top;
  stack::call_frame* body = stack::push_function_frame(name("g"), context);
  EXPECT_EQ(values_of(context), 2u);  // stack index 1, plus one
  EXPECT_EQ(context::values(context), stack::bottom + 1);
  EXPECT_EQ(body->kind(), stack::kind::native);
  EXPECT_TRUE(body->body_p());
}

TEST_F(CallStack, TheFrameAfterTheLastOverflowsAndBothStacksStayUsable) {
  cell word = name("deep");
  stack::push_copy(integer(1));
  stack::position start = stack::here();
  cycles::push(3);
  // The try frame is the first of the 12,000.
  bool stopped = stack::catch_error(word, false, [&] {
    for (uint32_t i = 1; i < stack::call_capacity; ++i) stack::push_native_frame(word);
    EXPECT_EQ(stack::frame_count(), stack::call_capacity);
    stack::push_copy(integer(2));
    stack::push_native_frame(word);
  });
  ASSERT_TRUE(stopped);
  EXPECT_EQ(last_fired.id, error_id::internal_stack_overflow);
  EXPECT_EQ(cycles::depth(), 0u);
  EXPECT_EQ(stack::frame_count(), start.frames);
  EXPECT_EQ(stack::index_of(stack::top), start.top);
  EXPECT_EQ(stack::index_of(stack::arguments), start.arguments);

  // The stacks work as before: frames push and pop, cells push up to the last usable one.
  stack::push_loop_frame(word);
  stack::push_copy(integer(5));
  stack::pop_frame();
  EXPECT_EQ(stack::last_pushed()->payload2, 5u);
  EXPECT_EQ(stack::frame_count(), 0u);
  while (stack::top + 1 < stack::end) stack::push_cell();
  EXPECT_EQ(stack::index_of(stack::top), stack::argument_capacity - 1);
}

TEST_F(CallStack, BodyAndInterpretedFlags) {
  cell word = name("f");
  stack::push_interp_call_frame(word);  // 0
  stack::push_native_frame(word);       // 1
  stack::push_native_frame(word);       // 2
  stack::call_frame* frames = stack::call_bottom;

  // `do` inside a function: the frame below gets the flag once, and gives it back.
  EXPECT_EQ(stack::set_body_flag_below(), &frames[1]);
  EXPECT_TRUE(frames[1].body_p());
  EXPECT_EQ(stack::set_body_flag_below(), nullptr);
  stack::clear_body_flag(&frames[1]);
  EXPECT_FALSE(frames[1].body_p());
  stack::set_body_flag(true);
  EXPECT_TRUE(frames[2].body_p());
  stack::set_body_flag(false);
  EXPECT_FALSE(frames[2].body_p());

  // Interpreted anywhere below, or only in the first frame looked at.
  EXPECT_TRUE(stack::eval_p(nullptr, false));
  EXPECT_FALSE(stack::eval_p(nullptr, true));
  EXPECT_FALSE(stack::eval_p(&frames[2], true));
  EXPECT_TRUE(stack::eval_p(&frames[1], true));
  EXPECT_FALSE(stack::eval_p(&frames[0], false));
  stack::set_interpreted_flag();
  EXPECT_TRUE(stack::eval_p(nullptr, true));

  stack::set_call_top(&frames[1]);
  EXPECT_EQ(stack::frame_count(), 1u);
}

TEST_F(CallStack, FrameNamesKeepSymbolIdsPastSixteenBits) {
  uint32_t last = 0;
  // Interning is the collector's business elsewhere; here a cycle per symbol would only cost time.
  bool collecting = collector::active_p();
  collector::set_active(false);
  for (uint32_t i = symbol::count(); i <= 70000; ++i) last = symbol::make(("s" + std::to_string(i)).c_str());
  collector::set_active(collecting);
  ASSERT_GT(last, 65535u);
  cell word;
  word::make_at(word, last);
  stack::push_native_frame(word);
  EXPECT_EQ(stack::current_frame()->symbol, last);
  cell caller = stack::caller_word();
  EXPECT_EQ(word::symbol_of(caller), last);
  EXPECT_EQ(spelling_of(caller), "s70000");
}

TEST_F(CallStack, CallerWordSkipsBodiesAndStartsBelowARecordedThrow) {
  cell f = name("f");
  cell value = integer(42);
  context::set(f, value);
  EXPECT_EQ(spelling_of(stack::caller_word()), "<not-found>");

  stack::push_call_frame(f, 0);             // 0
  stack::push_native_frame(name("<body>"));  // 1
  stack::push_native_frame(name("<anon>"));  // 2
  cell caller = stack::caller_word();
  EXPECT_EQ(spelling_of(caller), "f");
  EXPECT_EQ(caller.payload1, context::global);
  EXPECT_EQ(context::get(caller)->payload2, 42u);  // bound where the frame's name was

  stack::push_native_frame(name("g"));  // 3
  stack::push_native_frame(name("h"));  // 4
  stack::throw_call_top = 4;
  EXPECT_EQ(spelling_of(stack::caller_word()), "g");
  EXPECT_EQ(stack::throw_call_top, 0u);
  // A recorded position above the call top starts from the call top.
  stack::throw_call_top = 9;
  EXPECT_EQ(spelling_of(stack::caller_word()), "h");
}

TEST_F(CallStack, CallListsAndTraces) {
  cell f = name("f");
  cell function_value{TYPE_FUNCTION, 0, 0, 0};
  context::set(f, function_value);
  node_id locals = frame_context(0);

  stack::push_native_frame(name("launch"));  // never listed: the bottom frame
  stack::push_copy(integer(0));
  stack::push_call_frame(f, locals);
  stack::push_copy(integer(0));
  stack::push_copy(integer(0));
  stack::push_native_frame(name("<body>"));
  stack::push_native_frame(name("append"));

  cell list;
  list.header = TYPE_BLOCK;
  list.payload1 = 0;
  list.payload2 = alloc_cells(8);
  stack::collect_calls(list);
  series_buffer* buffer = buffer_of(list.payload2);
  ASSERT_EQ(buffer->count(), 4u);
  EXPECT_EQ(spelling_of(buffer->cells()[0]), "append");
  EXPECT_EQ(buffer->cells()[0].payload1, context::global);
  EXPECT_EQ(buffer->cells()[1].payload2, 3u);  // argument index the frame saved
  EXPECT_EQ(spelling_of(buffer->cells()[2]), "f");
  EXPECT_EQ(buffer->cells()[2].payload1, locals);  // bound in the function's own context
  EXPECT_EQ(buffer->cells()[3].payload2, 0u);

  // Level 1 names functions only; higher levels every frame, up to the recorded top.
  struct row {
    int32_t level;
    uint32_t recorded_top;
    const char* text;
  };
  for (const row& r :
       {row{1, 4, "f "}, row{2, 4, "launch f append "}, row{2, 2, "launch f "}, row{2, 99, "launch f append "}}) {
    cell text;
    text::make_at(text, 16);
    EXPECT_EQ(stack::form_trace(r.level, r.recorded_top, text, 100),
              100 - static_cast<int32_t>(std::string(r.text).size()));
    EXPECT_EQ(testing::text_of(text), r.text);

    cell words{TYPE_BLOCK, 0, alloc_cells(4), 0};
    stack::trace_words(r.level, words, r.recorded_top);
    std::string joined;
    for (uint32_t i = 0; i < buffer_of(words.payload2)->count(); ++i)
      joined += spelling_of(buffer_of(words.payload2)->cells()[i]) + " ";
    EXPECT_EQ(joined, r.text);
  }
}

// ---- Exits ---------------------------------------------------------------------------------

// Which frame each exit stops at, with the frames it must pass by on the way.
TEST_F(CallStack, EachExitIsAimedAtTheFrameKindThatStopsIt) {
  enum class exit_kind { break_, break_value, continue_, return_, exit, throw_ };
  struct row {
    const char* frames;  // bottom up: l loop, b function body, c catch, t try, e eval, n native, f call
    exit_kind exit;
    int32_t target;  // frame index, -1: the throw-category error
    error_id error;
  };
  const row rows[] = {
      {"lfen", exit_kind::break_, 0, error_id::count},
      {"lbcten", exit_kind::break_value, 0, error_id::count},
      {"llen", exit_kind::continue_, 1, error_id::count},
      {"fen", exit_kind::break_, -1, error_id::throw_break_},
      {"fen", exit_kind::continue_, -1, error_id::throw_continue_},
      {"bletn", exit_kind::return_, 0, error_id::count},
      {"blbln", exit_kind::exit, 2, error_id::count},
      {"len", exit_kind::return_, -1, error_id::throw_return_},
      {"b", exit_kind::return_, -1, error_id::throw_return_},  // the native's own frame is passed over
      {"cbltn", exit_kind::throw_, 0, error_id::count},
      {"ccen", exit_kind::throw_, 1, error_id::count},
      {"ben", exit_kind::throw_, -1, error_id::throw_throw_},
      {"c", exit_kind::throw_, -1, error_id::throw_throw_},
  };
  cell word = name("x");
  cell value = integer(77);
  for (const row& r : rows) {
    SCOPED_TRACE(r.frames);
    stack::init();
    auto build = [&] {
      for (const char* f = r.frames; *f; ++f) {
        switch (*f) {
          case 'l': stack::push_loop_frame(word); break;
          case 'b': stack::push_function_frame(word, frame_context(0)); break;
          case 'c': stack::push_catch_frame(word); break;
          case 't': stack::push_try_frame(word); break;
          case 'e': stack::push_eval_frame(word); break;
          case 'n': stack::push_native_frame(word); break;
          case 'f': stack::push_call_frame(word, 0); break;
        }
      }
    };
    auto raise = [&] {
      switch (r.exit) {
        case exit_kind::break_: stack::throw_break(false, false, nullptr); break;
        case exit_kind::break_value: stack::throw_break(true, false, &value); break;
        case exit_kind::continue_: stack::throw_break(false, true, nullptr); break;
        case exit_kind::return_: stack::throw_return(&value); break;
        case exit_kind::exit: stack::throw_return(nullptr); break;
        case exit_kind::throw_: stack::throw_value(value, nullptr); break;
      }
    };
    if (r.target < 0) {
      // Raised where the exit started, nothing unwound before: the call top it notes is that
      // of the exit's own frames above the try frame that takes the error.
      bool stopped = stack::catch_error(word, false, [&] {
        build();
        raise();
      });
      EXPECT_TRUE(stopped);
      EXPECT_EQ(last_fired.id, r.error);
      EXPECT_EQ(last_fired.stack.payload2, 1 + std::string(r.frames).size());
      EXPECT_EQ(stack::frame_count(), 0u);
      EXPECT_EQ(stack::pending.code, 0u);
      continue;
    }
    build();
    uint32_t frames = stack::frame_count();
    raise();
    EXPECT_EQ(stack::frame_count(), frames);  // layers pop their own frames on the way back
    EXPECT_EQ(stack::pending.target, static_cast<uint32_t>(r.target));
    const uint32_t codes[] = {code::break_, code::break_, code::continue_, code::return_, code::exit, code::throw_};
    EXPECT_EQ(stack::pending.code, codes[static_cast<int>(r.exit)]);
    bool carries = r.exit == exit_kind::break_value || r.exit == exit_kind::return_ || r.exit == exit_kind::throw_;
    EXPECT_EQ(stack::pending.value.type(), carries ? TYPE_INTEGER : TYPE_UNSET);
    EXPECT_EQ(stack::take_exit(static_cast<uint32_t>(r.target) + 1), 0u);  // aimed elsewhere: not taken
    EXPECT_EQ(stack::take_exit(static_cast<uint32_t>(r.target)), codes[static_cast<int>(r.exit)]);
    EXPECT_EQ(stack::pending.code, 0u);
  }
}

TEST_F(CallStack, ATryAllFrameTurnsEveryExitIntoAnError) {
  cell word = name("x");
  cell value = integer(1);
  struct row {
    void (*raise)(const cell&);
    error_id error;
  };
  const row rows[] = {
      {[](const cell&) { stack::throw_break(false, false, nullptr); }, error_id::throw_break_},
      {[](const cell&) { stack::throw_break(false, true, nullptr); }, error_id::throw_continue_},
      {[](const cell& v) { stack::throw_return(&v); }, error_id::throw_return_},
      {[](const cell&) { stack::throw_return(nullptr); }, error_id::throw_return_},
      {[](const cell& v) { stack::throw_value(v, nullptr); }, error_id::throw_throw_},
  };
  for (const row& r : rows) {
    stack::init();
    stack::push_loop_frame(word);
    stack::push_function_frame(word, frame_context(0));
    stack::push_catch_frame(word);
    bool stopped = stack::catch_error(word, true, [&] {
      stack::push_native_frame(word);
      r.raise(value);
    });
    EXPECT_TRUE(stopped);
    EXPECT_EQ(last_fired.id, r.error);
    EXPECT_EQ(stack::frame_count(), 3u);
    EXPECT_EQ(stack::pending.code, 0u);
  }
  EXPECT_EQ(last_fired.args[0].payload2, 1u);  // no catch for the thrown value
}

TEST_F(CallStack, ThrowsPassCatchFramesWhoseNameFilterRejectsThem) {
  cell a = name("a"), b = name("b"), big_a = name("A");
  cell value = integer(5);
  cell filter_words{TYPE_BLOCK, 0, alloc_cells(2), 0};
  *alloc_block_tail(filter_words) = b;
  *alloc_block_tail(filter_words) = a;
  cell filter_bad{TYPE_BLOCK, 0, alloc_cells(2), 0};
  *alloc_block_tail(filter_bad) = b;
  *alloc_block_tail(filter_bad) = value;

  struct row {
    const cell* outer_filter;  // null: catches every throw
    const cell* inner_filter;
    const cell* name;
    int32_t target;  // -1: no catch for the throw
  };
  const row rows[] = {
      {nullptr, &b, &a, 0},     {nullptr, &a, &a, 1},           {nullptr, &big_a, &a, 1},
      {&b, &b, &a, -1},         {nullptr, &filter_words, &a, 1}, {&a, &filter_words, nullptr, -1},
      {nullptr, &a, nullptr, 0},
  };
  for (const row& r : rows) {
    stack::init();
    // The filters live on the argument stack, as the catch native's arguments do.
    auto build = [&] {
      const cell* outer = r.outer_filter ? stack::push_copy(*r.outer_filter) : nullptr;
      stack::push_catch_frame(a, outer);
      const cell* inner = stack::push_copy(*r.inner_filter);
      stack::push_catch_frame(a, inner);
      stack::push_native_frame(name("throw"));
    };
    if (r.target < 0) {
      EXPECT_TRUE(stack::catch_error(a, false, [&] {
        build();
        stack::throw_value(value, r.name);
      }));
      EXPECT_EQ(last_fired.id, error_id::throw_throw_);
      continue;
    }
    build();
    stack::throw_value(value, r.name);
    EXPECT_EQ(stack::pending.target, static_cast<uint32_t>(r.target));
    EXPECT_EQ(stack::pending.name.type(), r.name ? TYPE_WORD : TYPE_NONE);
  }

  // A filter block holding anything but words is an error of the catch's /name argument.
  stack::init();
  EXPECT_TRUE(stack::catch_error(a, false, [&] {
    stack::push_catch_frame(a, stack::push_copy(filter_bad));
    stack::push_native_frame(name("throw"));
    stack::throw_value(value, &a);
  }));
  EXPECT_EQ(last_fired.id, error_id::script_invalid_refine_arg);
  EXPECT_EQ(spelling_of(last_fired.args[0]), "name");
  EXPECT_EQ(last_fired.args[1].type(), TYPE_BLOCK);
}

TEST_F(CallStack, AThrowErrorNamesTheFunctionThatThrewAndACaughtThrowForgetsIt) {
  cell value = integer(1);
  EXPECT_TRUE(stack::catch_error(name("try"), false, [&] {
    stack::push_call_frame(name("f"), 0);
    stack::push_native_frame(name("throw"));
    stack::throw_value(value, nullptr);
  }));
  EXPECT_EQ(last_fired.id, error_id::throw_throw_);
  EXPECT_EQ(spelling_of(last_fired.where), "f");
  EXPECT_EQ(stack::throw_call_top, 0u);

  // A throw that a catch takes: the next error names its own caller, not the thrower's.
  stack::init();
  stack::push_try_frame(name("try"));
  stack::push_call_frame(name("g"), 0);
  bool caught = stack::catch_throw(name("catch"), nullptr, [&] {
    stack::push_call_frame(name("f"), 0);
    stack::push_native_frame(name("throw"));
    stack::throw_value(value, nullptr);
    EXPECT_EQ(stack::throw_call_top, 4u);
    stack::pop_frame();
    stack::pop_frame();
  });
  EXPECT_TRUE(caught);
  EXPECT_EQ(stack::throw_call_top, 0u);
  EXPECT_EQ(fired_by([] { fire(error_id::math_zero_divide); }), error_id::math_zero_divide);
  // fired_by ran it in an unnamed try frame: the innermost named call is g.
  EXPECT_EQ(spelling_of(last_fired.where), "g");
}

// The layers between an exit and its frame return one by one, each popping its own frame, as
// the interpreter does while an exit is pending.
TEST_F(CallStack, PendingExitsTravelBackThroughTheLayersToTheirFrame) {
  node_id locals = frame_context(0);
  cell result = integer(9);
  auto call = [&](auto&& inner) {
    stack::push_call_frame(name("f"), locals);
    context::cell_of(locals)->payload2 = stack::index_of(stack::arguments) + 1;
    stack::push_eval_frame(name("do"));
    inner();
    stack::pop_frame();
    stack::pop_call_frame();
  };
  stack::push_copy(integer(0));
  stack::position start = stack::here();
  uint32_t loop = stack::frame_index(stack::push_loop_frame(name("loop")));
  int passes = 0;
  for (;;) {
    ++passes;
    stack::catch_exits([&] {
      call([&] {
        stack::push_native_frame(name("break"));
        if (passes == 1) stack::throw_break(false, true, nullptr);
        else stack::throw_break(true, false, &result);
        stack::pop_frame();
      });
    });
    uint32_t taken = stack::take_exit(loop);
    if (taken == code::continue_) continue;
    ASSERT_EQ(taken, code::break_);
    break;
  }
  EXPECT_EQ(passes, 2);
  EXPECT_EQ(stack::pending.value.payload2, 9u);
  EXPECT_EQ(context::cell_of(locals)->payload2, 0u);  // both calls put the values back
  stack::pop_frame();
  EXPECT_EQ(stack::frame_count(), start.frames);
}

TEST_F(CallStack, ExitsCrossCodeThatDoesNotKnowEvaluationAsExceptions) {
  node_id locals = frame_context(3);
  stack::push_copy(integer(0));
  uint32_t loop = stack::frame_index(stack::push_loop_frame(name("loop")));
  stack::position inside = stack::here();
  stack::catch_exits([&] {
    // A sort comparator called back from C++: the function's frame and the break stay
    // behind when the exception passes.
    stack::push_native_frame(name("sort"));
    stack::push_call_frame(name("compare"), locals);
    context::cell_of(locals)->payload2 = 50;
    stack::push_native_frame(name("break"));
    stack::throw_break(false, false, nullptr);
    stack::raise_pending();
    ADD_FAILURE() << "raise_pending returned";
  });
  EXPECT_EQ(stack::frame_count(), inside.frames);
  EXPECT_EQ(stack::index_of(stack::top), inside.top);
  EXPECT_EQ(context::cell_of(locals)->payload2, 3u);
  EXPECT_EQ(stack::take_exit(loop), code::break_);

  // Nothing pending: nothing raised. Other system throws pass through.
  stack::raise_pending();
  EXPECT_THROW(stack::catch_exits([] { system_throw(code::lexer_stop); }), system_throw_signal);
  EXPECT_THROW(stack::catch_exits([] { system_throw(code::error); }), system_throw_signal);
}

TEST_F(CallStack, TryPutsTheStacksBackAndLetsOtherExitsPass) {
  node_id locals = frame_context(5);
  stack::push_copy(integer(0));
  stack::position start = stack::here();
  bool stopped = stack::catch_error(name("try"), false, [&] {
    stack::push_call_frame(name("f"), locals);
    context::cell_of(locals)->payload2 = 60;
    stack::push_copy(integer(1));
    stack::push_call_frame(name("f"), locals);
    context::cell_of(locals)->payload2 = 70;
    fire(error_id::math_zero_divide);
  });
  EXPECT_TRUE(stopped);
  EXPECT_EQ(context::cell_of(locals)->payload2, 5u);
  EXPECT_EQ(stack::frame_count(), start.frames);
  EXPECT_EQ(stack::index_of(stack::top), start.top);
  EXPECT_EQ(spelling_of(last_fired.where), "f");
  EXPECT_EQ(last_fired.stack.payload2, 3u);  // the call top when raised

  // Without an error the body's result is the last pushed value.
  stopped = stack::catch_error(name("try"), false, [] { stack::push_copy(integer(8)); });
  EXPECT_FALSE(stopped);
  EXPECT_EQ(stack::last_pushed()->payload2, 8u);
  EXPECT_EQ(stack::frame_count(), start.frames);

  // A break passes a plain try and reaches the loop around it.
  uint32_t loop = stack::frame_index(stack::push_loop_frame(name("loop")));
  stopped = stack::catch_error(name("try"), false, [&] {
    stack::push_native_frame(name("break"));
    stack::throw_break(false, false, nullptr);
    stack::pop_frame();
  });
  EXPECT_FALSE(stopped);
  EXPECT_EQ(stack::take_exit(loop), code::break_);
  EXPECT_EQ(stack::frame_count(), loop + 1);

  // An error met while an exit is on its way ends the exit.
  stopped = stack::catch_error(name("try"), false, [&] {
    stack::push_native_frame(name("break"));
    stack::throw_break(false, false, nullptr);
    fire(error_id::math_overflow);
  });
  EXPECT_TRUE(stopped);
  EXPECT_EQ(stack::pending.code, 0u);

  // Errors pass catch frames.
  EXPECT_EQ(fired_by([&] { stack::catch_throw(name("catch"), nullptr, [] { fire(error_id::math_overflow); }); }),
            error_id::math_overflow);
}

TEST_F(CallStack, UnwindingForCodeThatCaughtAThrowItself) {
  node_id locals = frame_context(4);
  // Frames: loop at arguments 1, call (with context) at 2, native at 4; current arguments 6.
  auto build = [&] {
    stack::init();
    stack::push_copy(integer(0));
    stack::push_loop_frame(name("loop"));
    stack::push_copy(integer(10));
    stack::push_call_frame(name("f"), locals);
    context::cell_of(locals)->payload2 = 40;
    stack::push_copy(integer(20));
    stack::push_copy(integer(21));
    stack::push_native_frame(name("n"));
    stack::push_copy(integer(30));
    stack::push_copy(integer(31));
    stack::push_native_frame(name("m"));
    stack::push_copy(integer(40));
  };
  build();
  stack::unwind_until(stack::kind::loop, true);
  EXPECT_EQ(stack::frame_count(), 1u);
  EXPECT_EQ(context::cell_of(locals)->payload2, 4u);
  EXPECT_EQ(stack::index_of(stack::arguments), 1u);  // the loop frame's own arguments
  EXPECT_EQ(stack::index_of(stack::top), 7u);

  build();
  stack::unwind_until(stack::kind::loop, false);
  EXPECT_EQ(stack::frame_count(), 1u);
  EXPECT_EQ(stack::index_of(stack::arguments), 0u);  // the loop's caller's

  build();
  stack::unwind_to(stack::kind::loop);
  EXPECT_EQ(stack::frame_count(), 1u);
  EXPECT_EQ(stack::index_of(stack::arguments), 1u);
  EXPECT_EQ(stack::top, stack::arguments);
  EXPECT_EQ(stack::arguments->payload2, 40u);  // the result of the frame current before

  // A try-all frame stops every unwinding; an empty stack pops nothing.
  build();
  stack::push_try_all_frame(name("try"));
  stack::push_native_frame(name("n"));
  stack::unwind_to_loop(true);
  EXPECT_EQ(stack::current_frame()->kind(), stack::kind::try_all);
  stack::init();
  stack::unwind_until(stack::kind::loop, false);
  EXPECT_EQ(stack::frame_count(), 0u);
  EXPECT_EQ(stack::top, stack::bottom + 1);
}

TEST_F(CallStack, AnErrorThatNoTryStopsIsPrintedAndEndsTheProcess) {
  cell f = name("f");
  EXPECT_EXIT(
      {
        ::dup2(2, 1);  // the report goes to standard output
        stack::push_native_frame(name("launch"));
        stack::push_catch_frame(name("catch"));
        stack::push_loop_frame(name("loop"));
        stack::push_call_frame(f, 0);
        fire(error_id::script_no_value, name("x"));
      },
      ::testing::ExitedWithCode(254),
      "\\*\\*\\* Script Error: x has no value\n\\*\\*\\* Where: f\n\\*\\*\\* Near : none\n");
}

TEST(CallStackFire, OutsideEveryFrameAnErrorIsLeftToTheCatchSlotAroundIt) {
  stack::init();
  EXPECT_EQ(fired_by([] { fire(error_id::internal_no_memory); }), error_id::internal_no_memory);
  EXPECT_EQ(last_fired.where.type(), TYPE_NONE);
}

// ---- The collector's view -----------------------------------------------------------------

class StackMarking : public testing::fresh_heap {
 protected:
  void SetUp() override {
    fresh_heap::SetUp();
    stack::init();
  }
  void TearDown() override {
    stack::init();
    fresh_heap::TearDown();
  }
};

// Made out of line, so that the node ids stay off the test's own frame.
[[gnu::noinline]] std::vector<testing::hidden> fill_stacks() {
  std::vector<testing::hidden> kept;
  auto block = [&] {
    node_id node = alloc_cells(1);
    kept.push_back(testing::hidden::of(node));
    return node;
  };
  node_id values_block = block();
  node_id function_context = block();
  *alloc_tail(buffer_of(function_context)) = cell{TYPE_CONTEXT, 0, values_block, 0};
  stack::push_copy(cell{TYPE_BLOCK, 0, block(), 0});
  stack::push_call_frame(cell{TYPE_WORD, block(), 1, 0}, function_context);
  // Re-aimed for the call: the values block is reached through the frame alone.
  buffer_of(function_context)->cells()[0].payload2 = 0;
  stack::push_native_frame(cell{TYPE_WORD, block(), 2, 0});
  stack::push_copy(cell{TYPE_BLOCK, 0, block(), 0});
  return kept;
}

TEST_F(StackMarking, CellsFromBottomToTopAndEveryFrameAreRoots) {
  std::vector<testing::hidden> kept = fill_stacks();
  testing::scrub_stack();
  collector::run();
  for (const testing::hidden& node : kept) EXPECT_TRUE(memory::live_node_p(node.node()));

  // Popped frames and cells above the top hold nothing.
  stack::init();
  testing::scrub_stack();
  collector::run();
  for (const testing::hidden& node : kept) EXPECT_FALSE(memory::live_node_p(node.node()));
}

}  // namespace
}  // namespace tav
