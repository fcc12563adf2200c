// Action dispatch: the handler lookup in the action table, the typed dispatchers that
// runtime code calls with values, the stack entries that action! values call, the
// comparison core and the fast paths of compiled code.
#pragma once
#include <cstdint>

#include "datatypes/action_list.hpp"
#include "datatypes/registry.hpp"
#include "runtime/cell.hpp"

namespace tav::actions {

// ---- Lookup -------------------------------------------------------------------------------

namespace detail {
[[gnu::cold, noreturn]] void missing_handler(uint8_t type, uint32_t slot);
erased_handler port_handler(const cell* port, uint32_t slot);
}  // namespace detail

// The handler of (type, slot): one table load. A type without it raises script/expect-arg;
// a port! with a native actor takes its series and port actions from the actor's table.
inline erased_handler lookup(uint8_t type, const cell* value, uint32_t slot) {
  if (type == TYPE_PORT && slot >= 25) [[unlikely]] {
    if (erased_handler handler = detail::port_handler(value, slot)) return handler;
  }
  erased_handler handler = datatype::action_table[type * datatype::row_stride + slot - 1];
  if (!handler) [[unlikely]] detail::missing_handler(type, slot);
  return handler;
}
inline erased_handler lookup_value(const cell* value, uint32_t slot) { return lookup(value->type(), value, slot); }
// For the type of the first argument of the current call.
erased_handler lookup_arg(uint32_t slot);
// The eval-path handler of the parent's type; none raises script/bad-path-type2 (no path) or
// script/bad-path-type (with the path cut after the current element).
handler_pointer<action_slot::eval_path> lookup_path(const cell* parent, const cell* path, const cell* element,
                                                    int32_t index);

// script/expect-arg: the action of `slot` does not allow a value of `type` for `argument`.
[[gnu::cold, noreturn]] void expect_arg(uint32_t slot, uint8_t type, const char* argument);

template <action_slot Slot>
handler_pointer<Slot> typed(uint8_t type, const cell* value) {
  return reinterpret_cast<handler_pointer<Slot>>(lookup(type, value, static_cast<uint32_t>(Slot)));
}

// Installs a resolver for ports whose actor is a handle!: it answers the actor's table of
// handlers for slots 25 and up (entry k - 25), or null when the actor is not native.
using port_actor_resolver = const erased_handler* (*)(const cell& actor);
void set_port_actor_resolver(port_actor_resolver resolver);

// ---- Typed dispatchers --------------------------------------------------------------------

namespace detail {
template <action_slot Slot, class Signature>
struct dispatcher;
template <action_slot Slot, class Result, class... Rest>
struct dispatcher<Slot, Result(cell*, Rest...)> {
  static Result call(cell* value, Rest... rest) { return typed<Slot>(value->type(), value)(value, rest...); }
};
}  // namespace detail

#define TAV_DISPATCHER_D(name, signature) \
  inline constexpr auto name = &detail::dispatcher<action_slot::name, signature>::call;
#define TAV_DISPATCHER_C(name, signature)
#define TAV_DISPATCHER_S(name, signature)
#define TAV_DISPATCHER_N(name, signature)
#define TAV_DISPATCHER(slot, name, word, first, dispatch, signature) TAV_DISPATCHER_##dispatch(name, signature)
TAV_ACTIONS(TAV_DISPATCHER)
#undef TAV_DISPATCHER
#undef TAV_DISPATCHER_N
#undef TAV_DISPATCHER_S
#undef TAV_DISPATCHER_C
#undef TAV_DISPATCHER_D

// A datatype! as first value names the type whose handler runs; the handler gets its id.
cell* make(cell* prototype, cell* spec);
cell* to(cell* prototype, cell* spec);

// ---- Comparison ---------------------------------------------------------------------------

// Compare op codes. 7 and 8 (sort orders) go straight to handlers, never through `compare`.
namespace op {
inline constexpr int32_t equal = 0, not_equal = 1, strict_equal = 2, lesser = 3, lesser_or_equal = 4,
                         greater = 5, greater_or_equal = 6, sort = 7, case_sort = 8, same = 9,
                         parse_strict = 10, parse_equal = 11, find = 12;
}  // namespace op
// What a compare handler answers for values that cannot be compared.
inline constexpr int32_t not_comparable = -2;

// Equality ops answer `difference`; ordering ops cannot compare the values.
inline int32_t equality_only(int32_t op, int32_t difference) {
  switch (op) {
    case op::equal:
    case op::not_equal:
    case op::strict_equal:
    case op::sort:
    case op::case_sort:
    case op::same:
    case op::find: return difference;
    default: return not_comparable;
  }
}

// The test of the op on value1's handler; ordering incomparable values raises
// script/invalid-compare.
bool compare(cell* value1, cell* value2, int32_t op);
// The handler's signed order, with short cuts for logic and function-like values.
int32_t compare_value(cell* value1, cell* value2, int32_t op);

// The index argument of pick and poke: an integer! its value, a char! its code point,
// true 1 and false 2, anything else 0.
int32_t get_index_arg(const cell& index);

// Once, after the datatype registrations: keys of hash! and map! tables are then compared
// through the compare action of their type.
void init();

// ---- Stack entries ------------------------------------------------------------------------

// What an action! value calls: the arguments are on the argument stack from
// `stack::arguments`, and `positions` holds the action's own integer parameters in spec order:
// per refinement the argument position of its first cell, -1 when absent (compare: the op;
// eval-path: the set flag). The result is left in the first argument cell.
using stack_entry = void (*)(const int32_t* positions);

namespace entry {
#define TAV_STACK_ENTRY_D(name) void name(const int32_t* positions);
#define TAV_STACK_ENTRY_C(name) void name(const int32_t* positions);
#define TAV_STACK_ENTRY_S(name) void name(const int32_t* positions);
#define TAV_STACK_ENTRY_N(name) inline constexpr stack_entry name = nullptr;
#define TAV_STACK_ENTRY(slot, name, word, first, dispatch, signature) TAV_STACK_ENTRY_##dispatch(name)
TAV_ACTIONS(TAV_STACK_ENTRY)
#undef TAV_STACK_ENTRY
#undef TAV_STACK_ENTRY_N
#undef TAV_STACK_ENTRY_S
#undef TAV_STACK_ENTRY_C
#undef TAV_STACK_ENTRY_D
}  // namespace entry

// The entries in slot order (slot k at k - 1); set-path has none.
extern const stack_entry action_entries[action_count];

// ---- Fast paths of compiled code ----------------------------------------------------------

// Math op codes: 0 add, 1 subtract, 2 multiply, 5 or, 6 and, 7 xor. `word` names the call
// of the slow path, which pushes the operands and runs the action's stack entry.
cell* fast_math_push(int32_t math_op, const cell& word, const cell& value1, const cell& value2);
cell* fast_math_int_push(int32_t math_op, const cell& word, const cell& value1, int32_t value2);
cell* fast_math_top(int32_t math_op, const cell& word, const cell& value2);
cell* fast_math_top_int(int32_t math_op, const cell& word, int32_t value2);
// Compare op codes 0-6; the results are logic! values.
cell* fast_compare_push(int32_t compare_op, const cell& word, const cell& value1, const cell& value2);
cell* fast_compare_int_push(int32_t compare_op, const cell& word, const cell& value1, int32_t value2);
bool fast_compare_test(int32_t compare_op, const cell& word, const cell& value1, const cell& value2, bool negate);
bool fast_compare_int_test(int32_t compare_op, const cell& word, const cell& value1, int32_t value2, bool negate);
cell* fast_compare_set(int32_t compare_op, const cell& word, const cell& value1, const cell& value2);
cell* fast_compare_int_set(int32_t compare_op, const cell& word, const cell& value1, int32_t value2);
cell* fast_compare_top(int32_t compare_op, const cell& word, const cell& value2);
cell* fast_compare_top_int(int32_t compare_op, const cell& word, int32_t value2);
// A block's element by 1-based index (none outside), other values through eval-path.
cell* fast_pick(const cell& word, const cell& value, int32_t index);
// On a block: 1 length?, 2 index?, 3 head?, 4 tail?, 5 next, 6 back, 7 head, 8 tail.
cell* fast_series_op(const cell& word, const cell& value, int32_t code);

}  // namespace tav::actions
