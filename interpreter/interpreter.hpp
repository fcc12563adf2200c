// Interpreter: evaluation of blocks one expression at a time, calls of natives, actions,
// functions, ops and routines with their arguments fetched from the code, and trace events.
//
// Results travel on the argument stack: an expression either writes its value into the current
// result slot or pushes it as a new cell, as its caller asks. The code position is a block node
// and an index, and the tail is read again at every step, so code that changes the block it runs
// in never makes evaluation read past it.
//
// Language exits (break, continue, return, exit, throw) are pending exits of the call stack
// (interpreter/stack.hpp): every step returns as soon as one is pending, each layer popping its
// own frame, until the frame it is aimed at takes it. Errors are C++ exceptions.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::interpreter {

// ---- State ----------------------------------------------------------------------------------

// The block the innermost evaluation of user code works on, its index at the expression being
// evaluated: a raised error takes it as its `near`. Each evaluation keeps its record on the
// machine stack (where the collector's stack scan sees the block) and links it to the one it
// runs inside, so entering a block costs a pointer instead of a copy of the outer record.
struct block_record {
  cell block;
  block_record* outer;
};
extern block_record* current_record;
// The record as a cell; unset outside every evaluation.
cell current_block();
// Untraced blocks and parens run without frames of their own (frames named <body>, which every
// walk of the frames skips), so a recursion gets deeper before the call stack is full, unless a
// test build is run with TAV_FOLD_FRAMES=0, which keeps every such frame to compare against.
#ifdef TAV_TEST_MODES
extern bool fold_frames;
#else
inline constexpr bool fold_frames = true;
#endif
// Events are fired while `tracing` is set; `trace_installed` says a trace callback is in place
// (functions flagged for tracing switch `tracing` back on inside a call).
extern bool tracing;
extern bool trace_installed;

// Once per runtime, after the runtime words exist.
void init();

// ---- Code -----------------------------------------------------------------------------------

// A stretch of code: the block (trace events report offsets from its head), the index where
// evaluation stops (never past the block's current tail) and whether it is boot-made system code,
// which fires no trace events, never becomes an error's `near` and pushes no interpreted frames.
struct code {
  cell block;
  uint32_t end;
  bool system;
};
// The whole block from its head.
code code_of(const cell& block);

namespace flag {
inline constexpr uint32_t no_infix = 1;         // no operator may follow the value
inline constexpr uint32_t push = 2;             // push the value; else write the result slot
inline constexpr uint32_t quote_functions = 4;  // functions met literally are data
}  // namespace flag

// Evaluates every expression of a block or paren in an eval frame. With `chain` the last result
// replaces the caller's result slot; without it the result is left as the caller's last value.
// An empty block gives unset.
void do_block(const cell& block, bool chain);
// do_block for a block run inside a frame its caller has pushed: a function's body, a loop's
// body, a conditional's branch.
void do_framed_body(const cell& block, bool chain);
// Evaluates one expression from `index` and answers the index after it.
uint32_t do_expression(const code& source, uint32_t index, uint32_t flags);
// One expression in a frame of its own named <body> (left out as the frames of blocks are): with `push` the result is left pushed,
// else it goes to the caller's result slot. Answers the index after it.
uint32_t do_next(const code& source, uint32_t index, bool push);
// One expression from the block's index into the result slot; answers the new index. At or past
// the tail the result is unset and the index stays.
uint32_t do_next_value(const cell& block);

// The block and its nested blocks and parens are marked as boot-made system code.
void mark_system_code(const cell& block);
bool system_code_p(const cell& block);
// Ties the words of the running bodies of these functions (a block of them) that name a native,
// action, op, function or routine of the global context to the value they hold now: system code
// calls that value from then on, whatever the word is set to later. Replaces earlier ties.
void tie_system_code(const cell& functions);

// ---- Calls ----------------------------------------------------------------------------------

struct call_options {
  bool push = false;              // the result is pushed; else it goes to the result slot
  bool infix = false;             // an operator: its left operand is already the last pushed value
  const cell* name = nullptr;     // the word or path element naming the call
  const cell* path = nullptr;     // refinement source: a path whose elements from
  uint32_t path_index = 0;        //   `path_index` on are the call's refinements
  const cell* object = nullptr;   // the object! of a method call
  uint32_t mode = 0;              // argument mode of `apply` (0 for calls written in code)
};

// Calls the native!, action!, function! or routine! with its arguments taken from the code at
// `index` (no code: `source` null) and answers the index after what the call consumed. The call
// leaves exactly its result: pushed where the callable was, or in the result slot.
uint32_t apply_block(const cell& callable, const code* source, uint32_t index, const call_options& options);
// Runs a function whose call frame holds its arguments; the result is left in the frame's first
// cell. A callback (`callback_kind` one of the bits of system/state/callbacks/bits, 0 for none)
// runs untraced unless its bit is set there.
void call_function(const cell& function, node_id object_context, const cell& name, uint32_t callback_kind);
// The trace callback of PARSE with its five arguments, in a frame named <parse-callback>; its
// answer. A language exit in it is raised as an exception.
cell call_parse_callback(const cell& callback, cell (&arguments)[5]);
// The body of an interpreted function, its context's values aimed at the current frame.
void do_body(const cell& function, const cell& body, const cell& name);
void call_routine(const cell& routine, const cell& name);
// The callable's argument list, built from its spec on first use and cached with it.
cell build_arguments(const cell& callable);
// The cell holding the `system` object, registered by start-up (null before): callbacks read
// system/state/callbacks/bits through it.
void register_system_object(const cell* system);

// Compiled function bodies: C++ code in the function's code slot, by index from 1.
using compiled_body = void (*)(node_id context);
uint32_t register_compiled(compiled_body body);

// ---- Paths ----------------------------------------------------------------------------------

// Evaluates a path! (get and call), get-path! (`get`) or set-path! (`set`: the value to store
// is the current frame's first cell) met at `index - 1`; answers the index after what it
// consumed.
uint32_t do_path(const code* source, uint32_t index, const cell& path, bool set, bool get, bool push);

// ---- Trace events ---------------------------------------------------------------------------

namespace event {
inline constexpr uint32_t init = 0x1, end = 0x2, prolog = 0x4, epilog = 0x8, enter = 0x10, exit = 0x20,
                          open = 0x40, return_ = 0x80, fetch = 0x100, push = 0x200, set = 0x400, call = 0x800,
                          error = 0x1000, throw_ = 0x2000, catch_ = 0x4000, expr = 0x8000;
inline constexpr uint32_t default_mask = 0x1FFFF;
}  // namespace event

// Installs a function! as the trace callback (its event mask taken from its body) and fires
// `init`; `end_trace` fires `end` and removes it.
void start_trace(const cell& callback);
void end_trace();
// Reports one event to the callback when its mask has the event: the code block (null: none)
// and the offset of the position in it (-1: none), the value and the reference (null: none).
void notify_tracer(uint32_t event, const cell* block, int32_t offset, const cell* value, const cell* reference);

}  // namespace tav::interpreter
