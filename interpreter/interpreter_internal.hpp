// What the interpreter's modules share: reading code positions, word values, the trace event
// helpers and the cold error paths.
#pragma once
#include <algorithm>
#include <cstdint>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/native.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/types.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/stack.hpp"
#include "runtime/cell.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/memory.hpp"
#include "runtime/throw.hpp"

namespace tav::interpreter::detail {

// ---- Code positions -------------------------------------------------------------------------

// Cells in use in a buffer of cells (code, values, argument lists).
inline uint32_t cells_in(const series_buffer* buffer) { return (buffer->tail - buffer->offset) / sizeof(cell); }
inline series_buffer* buffer_of_code(const code& source) { return buffer_of(source.block.payload2); }
// Where evaluation stops now: the end it was given, or the tail when the block shrank.
inline uint32_t limit_of(const code& source) { return std::min(source.end, cells_in(buffer_of_code(source))); }
inline bool at_end_p(const code& source, uint32_t index) { return index >= limit_of(source); }
inline const cell& cell_at(const code& source, uint32_t index) { return buffer_of_code(source)->cells()[index]; }
// The code's cells and where evaluation stops, read together once.
struct view {
  const cell* cells;
  uint32_t limit;
};
inline view view_of(const code& source) {
  series_buffer* buffer = buffer_of_code(source);
  return {buffer->cells(), std::min(source.end, cells_in(buffer))};
}
// Whether a word lies at `index`: only then can an operator follow.
inline bool word_at_p(const code& source, uint32_t index) {
  const view code_view = view_of(source);
  return index < code_view.limit && code_view.cells[index].type() == TYPE_WORD;
}

// ---- Argument stack -------------------------------------------------------------------------

// stack::push_copy and stack::set_last_keep, inline on the paths every expression takes; a full
// stack goes through stack::push_cell, which raises.
inline cell* push(const cell& value) {
  cell* slot = stack::top;
  if (slot + 1 >= stack::end) [[unlikely]]
    slot = stack::push_cell();
  else
    stack::top = slot + 1;
  move_cell(*slot, value);
  return slot;
}

inline void set_result(const cell& value) {
  cell* slot = stack::arguments;
  move_cell(*slot, value);
  stack::top = slot + 1;
}

// Where the stacks stand, and the exits that arrive as exceptions made pending again there
// (stack::catch_exits, with its position taken inline). The stacks' storage never moves, so the
// position is kept as pointers and turned into indexes only when an exit arrives.
template <class Body>
inline void catch_exits(Body&& body) {
  const stack::call_frame* frames = stack::call_top;
  const cell* arguments = stack::arguments;
  const cell* top = stack::top;
  try {
    body();
  } catch (const system_throw_signal&) {
    if (thrown_code < tav::code::throw_ || thrown_code > tav::code::break_) throw;
    stack::restore({stack::frame_index(frames), stack::index_of(arguments), stack::index_of(top)});
  }
}

// ---- Words ----------------------------------------------------------------------------------

inline bool same_symbol_p(uint32_t a, uint32_t b) { return a == b || symbol::resolve(a) == symbol::resolve(b); }

// The value cell a bound word names: its context's values at the word's index, when the context
// has values and (outside a function frame, whose words are bound to it alone) the index lies
// within them. Null otherwise; nothing is raised. A word's binding is made by the context that
// resolves it, so the index is taken as it is on this path.
[[gnu::always_inline]] inline cell* bound_value(const cell& word) {
  const node_id context = word.payload1;
  if (!context) [[unlikely]] return nullptr;
  const cell& record = buffer_of(context)->cells()[0];
  const uint32_t slot = word.payload3;
  if (!record.payload2) [[unlikely]] return nullptr;
  if (record.header & cell_flag::stack_values) {
    if (slot == word::unresolved) [[unlikely]] return nullptr;
    return stack::bottom + (record.payload2 - 1) + slot;
  }
  series_buffer* values = buffer_of(record.payload2);
  if (slot >= cells_in(values)) [[unlikely]] return nullptr;
  return values->cells() + slot;
}

// Whether `count` (1 or 2) block! values are written at `index` and no operator follows the
// last one (it would take that block as its left operand).
[[gnu::always_inline]] inline bool blocks_at_p(const view& code_view, uint32_t index, uint32_t count) {
  const uint32_t after = index + count;
  if (after > code_view.limit) return false;
  const cell* blocks = code_view.cells + index;
  if (blocks[0].type() != TYPE_BLOCK || (count == 2 && blocks[1].type() != TYPE_BLOCK)) return false;
  if (after == code_view.limit || code_view.cells[after].type() != TYPE_WORD) return true;
  const cell* next = bound_value(code_view.cells[after]);
  return next && next->type() != TYPE_OP;
}

// The value cell of a word; what the fast lookup cannot answer goes to the context module,
// which finds the word by its symbol or raises.
inline cell* word_value(const cell& word) {
  if (cell* slot = bound_value(word)) [[likely]] return slot;
  return context::get(word);
}

// The callable that the word at `index` of system code was tied to at the end of start-up;
// null when it was not tied.
cell* tied_value(node_id node, uint32_t index);

// The value of the word at `index` of the code: its tie in system code, else its binding's.
inline cell* code_word_value(const code& source, uint32_t index, const cell& word) {
  if (source.system) [[unlikely]]
    if (cell* tied = tied_value(source.block.payload2, index)) return tied;
  return word_value(word);
}

// ---- Callables ------------------------------------------------------------------------------

// The typeset's bit of the type (mask 0x80 >> (type & 7) of byte type >> 3).
inline bool admits(const cell& typeset, uint8_t type) {
  return (reinterpret_cast<const uint8_t*>(&typeset.payload1)[type >> 3] & (0x80u >> (type & 7))) != 0;
}

// Cell i of a callable's internal record: the two cells of a native! or action!, the five of a
// function! or routine! (cell 1 is the cached argument list for both).
inline cell& more_cell(const cell& callable, uint32_t i) { return buffer_of(callable.payload3)->cells()[i]; }

// ---- Callables ------------------------------------------------------------------------------

constexpr bool callable_p(uint8_t type) {
  return type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_FUNCTION || type == TYPE_ROUTINE;
}
// An op! as the callable it was made from: its type byte becomes the source's.
inline cell op_source(const cell& op) {
  cell source = op;
  set_type(source, static_cast<uint8_t>(op.header >> 16));
  return source;
}

// ---- Expressions ----------------------------------------------------------------------------

// Types that evaluate to themselves when met in code.
inline constexpr auto self_evaluating = [] {
  struct table {
    bool types[256];
  } result{};
  for (int type = 1; type < 256; ++type) result.types[type] = true;
  for (uint8_t type : {TYPE_WORD, TYPE_SET_WORD, TYPE_GET_WORD, TYPE_LIT_WORD, TYPE_PAREN, TYPE_PATH, TYPE_GET_PATH,
                       TYPE_SET_PATH, TYPE_LIT_PATH, TYPE_OP, TYPE_NATIVE, TYPE_ACTION, TYPE_FUNCTION, TYPE_ROUTINE,
                       TYPE_ISSUE})
    result.types[type] = false;
  return result;
}();
// Types a word's value is pushed as, rather than called or refused.
inline constexpr auto pushed_as_value = [] {
  struct table {
    bool types[256];
  } result{};
  for (int type = 1; type < 256; ++type) result.types[type] = true;
  for (uint8_t type : {TYPE_UNSET, TYPE_OP, TYPE_NATIVE, TYPE_ACTION, TYPE_FUNCTION, TYPE_ROUTINE})
    result.types[type] = false;
  return result;
}();


// Operators that are still the original add, subtract, multiply or comparisons work on two
// integers or two floats without a call.
inline constexpr uint32_t fast_none = 0, fast_math = 1, fast_compare = 2;
bool apply_fast_other(uint32_t kind, int32_t code, cell& left, const cell& right);
// Compare codes 0 to 6 (equal, not-equal, strict-equal, lesser, lesser-or-equal, greater,
// greater-or-equal) and math codes 0 to 2 (add, subtract, multiply) and 4 (remainder, of two
// integers only).
[[gnu::always_inline]] inline bool apply_fast(uint32_t kind, int32_t code, cell& left, const cell& right) {
  if (left.type() != TYPE_INTEGER || right.type() != TYPE_INTEGER) return apply_fast_other(kind, code, left, right);
  const auto a = static_cast<int32_t>(left.payload2), b = static_cast<int32_t>(right.payload2);
  if (kind == fast_compare) {
    bool answer;
    switch (code) {
      case 0:
      case 2: answer = a == b; break;
      case 1: answer = a != b; break;
      case 3: answer = a < b; break;
      case 4: answer = a <= b; break;
      case 5: answer = a > b; break;
      default: answer = a >= b; break;
    }
    left = cell{TYPE_LOGIC, answer ? 1u : 0u, 0, 0};
    return true;
  }
  int32_t result;
  if (code == math_op::remainder) {
    // A zero divisor and the one quotient that overflows raise their errors in the full call.
    if (b == 0 || (b == -1 && a == INT32_MIN)) [[unlikely]]
      return false;
    left.payload2 = static_cast<uint32_t>(a % b);
    return true;
  }
  bool overflow = code == 0 ? __builtin_add_overflow(a, b, &result)
                  : code == 1 ? __builtin_sub_overflow(a, b, &result)
                              : __builtin_mul_overflow(a, b, &result);
  if (overflow) [[unlikely]]
    return apply_fast_other(kind, code, left, right);
  left.payload2 = static_cast<uint32_t>(result);
  return true;
}
// What an operator does when it is still the original one: add, subtract, multiply and
// remainder are actions 11, 18, 13 and 16; the comparisons are natives 25 to 31.
[[gnu::always_inline]] inline uint32_t classify(const cell& op, int32_t& code_out) {
  const uint8_t source = op::source_type(op);
  if (source != TYPE_ACTION && source != TYPE_NATIVE) return fast_none;
  using native::action_tag, native::native_tag;
  switch (op.payload1 & (native_tag | action_tag | native::index_mask)) {
    case action_tag | 11: code_out = math_op::add; return fast_math;
    case action_tag | 18: code_out = math_op::subtract; return fast_math;
    case action_tag | 13: code_out = math_op::multiply; return fast_math;
    case action_tag | 16: code_out = math_op::remainder; return fast_math;
    case native_tag | 25: code_out = actions::op::equal; return fast_compare;
    case native_tag | 26: code_out = actions::op::not_equal; return fast_compare;
    case native_tag | 27: code_out = actions::op::strict_equal; return fast_compare;
    case native_tag | 28: code_out = actions::op::lesser; return fast_compare;
    case native_tag | 29: code_out = actions::op::greater; return fast_compare;
    case native_tag | 30: code_out = actions::op::lesser_or_equal; return fast_compare;
    case native_tag | 31: code_out = actions::op::greater_or_equal; return fast_compare;
    default: return fast_none;
  }
}

// The value of a word when its context has values and holds it; null otherwise (nothing is
// raised: the infix lookahead asks this of every word that follows an expression).
[[gnu::noinline]] cell* peek_by_symbol(const cell& word);
[[gnu::always_inline]] inline cell* peek_value(const cell& word) {
  if (cell* slot = bound_value(word)) [[likely]] return slot;
  return peek_by_symbol(word);
}
// The same for the word at `index` of the code, through its tie in system code.
[[gnu::always_inline]] inline cell* code_peek_value(const code& source, const view& code_view, uint32_t index) {
  if (source.system) [[unlikely]]
    if (cell* tied = tied_value(source.block.payload2, index)) return tied;
  return peek_value(code_view.cells[index]);
}

// One step of the infix lookahead at `index`, a word: no operator there; an original operator
// applied to two numbers without a call (its right operand a number or a word holding one);
// or an operator that needs its call (`found` tells which operator value and which fast
// operator it is, if any, so that the call does not look the word up again).
enum class operator_step { none, applied, call };
struct found_operator {
  uint32_t kind = fast_none;
  int32_t code = 0;
  const cell* op = nullptr;
};
[[gnu::always_inline]] inline operator_step fast_operator(const code& source, const view& code_view, uint32_t index,
                                                         cell& left, found_operator& found) {
  const cell* slot = code_peek_value(source, code_view, index);
  if (!slot || slot->type() != TYPE_OP) return operator_step::none;
  found.op = slot;
  if (tracing) return operator_step::call;
  found.kind = classify(*slot, found.code);
  if (found.kind == fast_none || index + 1 >= code_view.limit) return operator_step::call;
  const cell* right = &code_view.cells[index + 1];
  if (right->type() == TYPE_WORD) right = peek_value(*right);
  return right && apply_fast(found.kind, found.code, left, *right) ? operator_step::applied : operator_step::call;
}

// The operators that follow a value pushed at `start` (push) or in the result slot: the first
// one on its fast path here, the rest of the chain in the loop. `infix_call` calls the operator
// the lookahead found at `index` and goes on with the chain.
uint32_t infix_loop(const code& source, uint32_t index, cell* start, bool push);
uint32_t infix_call(const code& source, uint32_t index, cell* start, bool push, const found_operator& found);
[[gnu::always_inline]] inline uint32_t infix(const code& source, const view& code_view, uint32_t index, cell* start,
                                             bool push) {
  found_operator found;
  switch (fast_operator(source, code_view, index, push ? *start : *stack::arguments, found)) {
    case operator_step::none: return index;
    case operator_step::call: return infix_call(source, index, start, push, found);
    case operator_step::applied: break;
  }
  index += 2;
  if (index >= code_view.limit || code_view.cells[index].type() != TYPE_WORD) return index;
  return infix_loop(source, index, start, push);
}

// Such an operator whose right operand needs evaluating: the left operand at `start` is checked,
// the right one evaluated after it, then both are worked on directly or handed to the full call.
uint32_t operate(const cell& callable, const code& source, uint32_t index, const cell& name, cell* start, bool push,
                 uint32_t kind, int32_t code);

// An operator called with its left operand at `start` and its right one from the code.
[[gnu::noinline]] uint32_t call_operator(const code& source, uint32_t index, const cell& op, const cell& name,
                                         cell* start, bool push);
// The operator at `index`, whose lookahead answered that it needs its call, called.
[[gnu::always_inline]] inline uint32_t operator_call(const code& source, uint32_t index, cell* start, bool push,
                                                    const found_operator& found) {
  const cell op = *found.op, name = view_of(source).cells[index];
  const uint8_t left_type = (push ? *start : *stack::arguments).type();
  if (found.kind != fast_none && (left_type == TYPE_INTEGER || left_type == TYPE_FLOAT))
    return operate(op_source(op), source, index + 1, name, start, push, found.kind, found.code);
  return call_operator(source, index, op, name, start, push);
}

// if, unless or either (`native`) met in code at `index - 1` with a quick condition: answers the
// index after its blocks, or 0, with nothing written, when its call must be made.
[[gnu::noinline]] uint32_t quick_conditional(const code& source, uint32_t index, const cell& native, const cell& name,
                                             bool push);

// A call of a callable met in code at `index - 1`, its arguments from `index` on.
uint32_t call_from_code(const cell& callable, const code& source, uint32_t index, bool push, const cell& name,
                        bool infix);

// One argument expression, pushed: a value or a word holding one is pushed straight away, with
// the operators after it unless `no_infix`; anything else is a full expression. Not for traced
// evaluation, which fires events at each step. At the end of the code nothing is done and
// `no_argument` is answered.
inline constexpr uint32_t no_argument = ~0u;
[[gnu::always_inline]] inline uint32_t evaluate_argument(const code& source, uint32_t index, bool no_infix) {
  const view code_view = view_of(source);
  if (index >= code_view.limit) [[unlikely]]
    return no_argument;
  const cell* value = &code_view.cells[index];
  const uint8_t type = value->type();
  if (!self_evaluating.types[type]) {
    if (type != TYPE_WORD) [[unlikely]]
      return do_expression(source, index, flag::push | (no_infix ? flag::no_infix : 0));
    value = source.system ? nullptr : bound_value(*value);
    if (!value || !pushed_as_value.types[value->type()])
      return do_expression(source, index, flag::push | (no_infix ? flag::no_infix : 0));
  }
  cell* start = push(*value);
  ++index;
  if (no_infix || index >= code_view.limit || code_view.cells[index].type() != TYPE_WORD) return index;
  return infix(source, code_view, index, start, true);
}

// ---- Trace ----------------------------------------------------------------------------------

inline bool traced_p(const code* source) { return tracing && !(source && source->system); }
int32_t offset_in(const code* source, uint32_t index);
[[gnu::cold]] void trace(uint32_t event, const code* source, uint32_t index, const cell* value,
                         const cell* reference = nullptr);

// ---- Frame names ----------------------------------------------------------------------------

// A name that is not a word! names the call <anon>.
const cell& call_name(const cell* name);

// ---- Hooks ----------------------------------------------------------------------------------

// Connects the places where other modules call functions and evaluate blocks.
void install_call_hooks();

// ---- Errors ---------------------------------------------------------------------------------

[[gnu::cold, noreturn]] void no_value(const cell& word);

}  // namespace tav::interpreter::detail
