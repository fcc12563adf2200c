// Call and argument stacks: the cells of every running call (arguments, intermediate values,
// results), one frame per running call, block evaluation, try, catch and loop, and the
// non-local exits of the language (error, break, continue, return, exit, throw).
//
// How a language exit travels:
//   - errors are C++ exceptions (the system throw with code 0x7FFFFFFF). `throw_error` first
//     looks for a try frame: with frames on the stack and none of them a try frame, the error
//     is printed and the process ends with status 254. A try frame's owner runs its body
//     inside `catch_error`, which puts the stacks back to where they stood on entry;
//   - break, continue, return, exit and throw are checked at the throw site (`throw_break`,
//     `throw_return`, `throw_value`): a try-all frame or the bottom on the way raises the
//     throw-category error there. Otherwise they become the pending exit, aimed at one frame:
//     evaluation returns step by step while `pending.code` is set, each layer popping its own
//     frame as usual, and the frame's owner takes it with `take_exit(its index)`;
//   - C++ code that called back into evaluation without knowing about pending exits turns a
//     pending exit into an exception with `raise_pending`; the nearest `catch_exits` above it
//     (every evaluation boundary has one) unwinds to its own position and makes it pending
//     again.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/throw.hpp"

namespace tav::stack {

// ---- Argument stack -------------------------------------------------------------------------

// The last cell is never handed out, so at most capacity - 1 cells are in use.
inline constexpr uint32_t argument_capacity = 20000;

extern cell* bottom;
extern cell* top;        // next free cell
extern cell* arguments;  // first cell of the current call: its first argument and its result
extern cell* end;        // one past the storage

// Takes fresh storage (once, registering both stacks with the collector) and empties both
// stacks and the pending exit. The storage never moves.
void init();

// Reserves the cell at the top and answers it; a full stack gives back 4 cells and raises
// internal/stack-overflow.
cell* push_cell();
cell* push_copy(const cell& value);
// Never below the bottom.
void pop_cells(uint32_t n);
// Copies the value into the current result slot.
cell* set_last(const cell& value);
// set_last, then the top just above the result slot.
cell* set_last_keep(const cell& value);
cell* reset_top();    // top := arguments
cell* keep_result();  // top := arguments + 1
// When the last pushed value is an error!, it becomes the result; then top := arguments + 1.
void keep_error_result();
// The cell below the top, or the bottom when nothing is pushed.
cell* last_pushed();
uint8_t top_type();

// Argument i of the current call.
inline cell* argument(uint32_t i) { return arguments + i; }
inline uint32_t index_of(const cell* slot) { return static_cast<uint32_t>(slot - bottom); }

// ---- Call frames ----------------------------------------------------------------------------

inline constexpr uint32_t call_capacity = 12000;

namespace kind {
inline constexpr uint32_t call = 1, native = 2, try_ = 4, try_all = 5, catch_ = 6, eval = 7, loop = 8;
}  // namespace kind

namespace frame_flag {
inline constexpr uint32_t arguments_mask = 0x00FFFFFF;  // saved arguments, as a stack index
inline constexpr uint32_t kind_shift = 24;
inline constexpr uint32_t kind_mask = 0x0F000000;
inline constexpr uint32_t body = 0x10000000;         // target of return and exit
inline constexpr uint32_t interpreted = 0x80000000;  // pushed by the interpreter
}  // namespace frame_flag

// Five 32-bit words. The header keeps the caller's arguments as a stack index beside the kind
// and flags, so that the name's symbol id gets a whole word.
struct call_frame {
  uint32_t header;
  uint32_t symbol;           // of the name word
  node_id name_context;      // the name word's binding, or 0
  uint32_t function_context; // kind 1: the function's context node; kind 6: name filter cell index + 1
  uint32_t saved_values;     // kind 1: the context's values reference when the frame was pushed

  uint32_t kind() const { return (header & frame_flag::kind_mask) >> frame_flag::kind_shift; }
  bool body_p() const { return (header & frame_flag::body) != 0; }
  bool interpreted_p() const { return (header & frame_flag::interpreted) != 0; }
  uint32_t saved_arguments() const { return header & frame_flag::arguments_mask; }
};
static_assert(sizeof(call_frame) == 20);

extern call_frame* call_bottom;
extern call_frame* call_top;  // next free frame
extern call_frame* call_end;
// A frame position recorded by `throw_value` for the next `caller_word` (0: none).
extern uint32_t throw_call_top;

inline uint32_t frame_count() { return static_cast<uint32_t>(call_top - call_bottom); }

// An operator whose frame a fast path leaves out while its right operand is evaluated, and
// the frame count then: an error raised with no frame above names it, as its frame would.
struct folded_operator {
  const cell* name;
  uint32_t frames;
};
extern folded_operator folded;
struct folded_operator_guard {
  folded_operator saved;
  explicit folded_operator_guard(const cell& name) : saved(folded) { folded = {&name, frame_count()}; }
  ~folded_operator_guard() { folded = saved; }
  folded_operator_guard(const folded_operator_guard&) = delete;
  folded_operator_guard& operator=(const folded_operator_guard&) = delete;
};
inline uint32_t frame_index(const call_frame* frame) { return static_cast<uint32_t>(frame - call_bottom); }
// The top frame; null when there is none.
inline call_frame* current_frame() { return call_top == call_bottom ? nullptr : call_top - 1; }

namespace detail {
[[gnu::cold, noreturn]] void call_overflow();
}  // namespace detail

// Pushes write one frame, then arguments := top, so the callee's first pushed cell is its
// result slot. A full call stack gives back 5 cells and raises internal/stack-overflow.
inline call_frame* push_frame(const cell& name, uint32_t kind_and_flags) {
  if (call_top >= call_end) [[unlikely]] detail::call_overflow();
  call_frame* frame = call_top++;
  frame->header = kind_and_flags | index_of(arguments);
  frame->symbol = name.payload2;
  frame->name_context = name.payload1;
  frame->function_context = 0;
  frame->saved_values = 0;
  arguments = top;
  return frame;
}
// Kind 1 keeping the function context and its current values reference, put back on pop.
call_frame* push_call_frame(const cell& name, node_id function_context);
inline call_frame* push_native_frame(const cell& name) {
  return push_frame(name, kind::native << frame_flag::kind_shift);
}
call_frame* push_try_frame(const cell& name);
call_frame* push_try_all_frame(const cell& name);
// `filter` is the /name value of `catch` (a word or a block of words, on the argument stack),
// or null to catch every throw.
call_frame* push_catch_frame(const cell& name, const cell* filter = nullptr);
inline call_frame* push_eval_frame(const cell& name) {
  return push_frame(name, (kind::eval << frame_flag::kind_shift) | frame_flag::interpreted);
}
call_frame* push_loop_frame(const cell& name);
inline call_frame* push_interp_native_frame(const cell& name) {
  return push_frame(name, (kind::native << frame_flag::kind_shift) | frame_flag::interpreted);
}
inline call_frame* push_interp_call_frame(const cell& name) {
  return push_frame(name, (kind::call << frame_flag::kind_shift) | frame_flag::interpreted);
}
// The context's values start at the current arguments (a compiled function's arguments are
// its locals); then kind 2 with the body flag.
call_frame* push_function_frame(const cell& name, node_id function_context);

// Each pop removes the top frame and puts back the caller's arguments; they differ in what
// stays on the argument stack. `pop_frame`, `pop_frame_last` and `pop_frame_reset` never look
// at the kind; the call-frame pops, and `pop_frame_drop` on kind 1, put the function
// context's values reference back.
namespace detail {
// Pops the top frame: the callee's arguments are answered, the caller's are current again.
inline cell* unlink() {
  --call_top;
  cell* callee = arguments;
  arguments = bottom + call_top->saved_arguments();
  return callee;
}
}  // namespace detail

// top := callee arguments + 1: the callee's result is the last pushed value.
inline void pop_frame() { top = detail::unlink() + 1; }
// As pop_frame, and the callee's result goes to the caller's result slot.
inline void pop_frame_last() {
  cell* callee = detail::unlink();
  top = callee + 1;
  copy_cell(*callee, *arguments);
}
// top := the caller's arguments.
inline void pop_frame_reset() {
  detail::unlink();
  top = arguments;
}
void pop_frame_drop();   // top := callee arguments (both to the bottom after the bottom frame)
void pop_call_frame();
void pop_call_frame_last();
void pop_call_frame_reset();

void set_call_top(call_frame* frame);
void set_body_flag(bool flag);
void set_interpreted_flag();
// The frame below the top gets the body flag when it has none, and is answered; else null.
call_frame* set_body_flag_below();
void clear_body_flag(call_frame* frame);
// True when a frame below `frame` (from the top one inclusive when null) carries the
// interpreted flag; with `one_frame` only the first frame looked at counts.
bool eval_p(const call_frame* frame, bool one_frame);

// The word naming the innermost call (a folded operator counting as one), skipping <body> and
// <anon> frames: bound in the frame's name context, or the word <not-found>. Starts below the
// recorded throw position when there is one (never above the call top), and forgets it.
cell caller_word();
// From the top down to the frame above the bottom one: each name word (bound in the frame's
// function context, else the global context) and the frame's argument index as integer!.
void collect_calls(cell& block);
// The name words of the frames from the bottom up to `recorded_top`, skipping <body>/<anon>;
// at level 1 only names whose value is a function!.
void trace_words(int32_t level, cell& block, uint32_t recorded_top);
// The same names, each formed into the string and followed by a space; answers the limit
// less the characters written.
int32_t form_trace(int32_t level, uint32_t recorded_top, cell& string, int32_t limit);

// ---- Positions ------------------------------------------------------------------------------

// Where the stacks stand: what a frame owner keeps on entry to come back to after an exit.
struct position {
  uint32_t frames;
  uint32_t arguments;
  uint32_t top;
};
position here();
// Pops the frames above the position (putting function contexts' values back, innermost
// first), then puts back the arguments and the top.
void restore(const position& at);

// ---- Non-local exits ------------------------------------------------------------------------

// The exit on its way to the frame that stops it.
struct pending_exit {
  uint32_t code;    // 0 none; code::break_ .. code::throw_
  uint32_t target;  // index of that frame
  cell value;       // break/return: the result (unset without one); throw: the thrown value
  cell name;        // throw: the name given with /name, else none
};
extern pending_exit pending;

// Raises the error in `last_fired` (fields set by `fire`): notes its `where` (when not set)
// and the call top, then unwinds to the nearest try or try-all frame. Frames without any try
// frame among them: the error is printed and the process ends with status 254. An empty call
// stack leaves the error to the C++ catch slot around it.
[[noreturn]] void throw_error();
// break (with_value: /return, the value becomes the loop's result) and continue.
void throw_break(bool with_value, bool continue_, const cell* value);
// return with a value; exit when `value` is null. The top frame (the native's own) is
// stepped over.
void throw_return(const cell* value);
// throw: the value and its /name (null when none). The top frame is stepped over; catch
// frames whose name filter rejects the throw are passed by.
void throw_value(const cell& value, const cell* name);

// The pending exit aimed at the frame at `index`: its code, no longer pending (a throw also
// forgets the recorded throw position). 0 when none is aimed there.
uint32_t take_exit(uint32_t index);

// A pending exit as an exception, for C++ code that cannot hand it back by returning.
void raise_pending();

// Unwinding for code that caught a system throw itself: pops frames (putting function
// contexts back) until one of `wanted` kind, a try-all frame or the bottom; the frame that
// stopped the walk stays. Without keep, the call top is left one frame above it.
void unwind_until(uint32_t wanted, bool keep);
// Down to the nearest frame of the kind, whose result slot gets the result of the frame
// current before; arguments and top then stand at that slot.
void unwind_to(uint32_t wanted);
void unwind_to_loop(bool keep);

// Runs `body`; a language exit arriving as an exception (it crossed C++ code that does not
// know evaluation) unwinds to where the stacks stood on entry and is pending again.
template <class Body>
void catch_exits(Body&& body) {
  position at = here();
  try {
    body();
  } catch (const system_throw_signal&) {
    if (thrown_code < code::throw_ || thrown_code > code::break_) throw;
    restore(at);
  }
}

// The protocol of `try` (`all`: try/all) around `body`: answers true when an error stopped
// at this frame; the stacks then stand as on entry and `last_fired` holds the error. Otherwise
// the frame is popped with `pop_frame`, the body's result (the frame's first cell) left as
// the last pushed value; a pending exit passes on.
template <class Body>
bool catch_error(const cell& name, bool all, Body&& body) {
  position at = here();
  all ? push_try_all_frame(name) : push_try_frame(name);
  try {
    catch_exits(body);
  } catch (const system_throw_signal&) {
    if (thrown_code != code::error) throw;
    restore(at);
    pending.code = 0;  // an exit that was on its way when the error came is over
    return true;
  }
  pop_frame();
  return false;
}

// The protocol of `catch` around `body`: answers true when a throw aimed at this frame
// arrived; the stacks then stand as on entry and `pending.value` / `pending.name` hold the
// value and its name. Otherwise as `catch_error`.
template <class Body>
bool catch_throw(const cell& name, const cell* filter, Body&& body) {
  position at = here();
  uint32_t index = frame_index(push_catch_frame(name, filter));
  catch_exits(body);
  if (take_exit(index) == code::throw_) {
    restore(at);
    return true;
  }
  pop_frame();
  return false;
}

}  // namespace tav::stack
