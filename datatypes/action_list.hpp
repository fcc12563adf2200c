// The 62 actions: one list fixing each action's slot, its word, the word of its first
// argument, how it is dispatched and the signature of every datatype's handler for it.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav {

// slot, C++ name, word, first argument's word, dispatch, handler signature.
// Dispatch: D a typed dispatcher `actions::<name>` is derived from the signature; C the typed
// dispatcher is written by hand (make, to, compare); S no typed dispatcher: the stack entry
// calls the handler without arguments and the handler reads the argument stack; N neither a
// typed dispatcher nor a stack entry (set-path: setting goes through eval-path).
// A cell argument of an absent refinement is a null pointer.
#define TAV_ACTIONS(X)                                                                                              \
  X(1, make, "make", "type", C, cell*(cell* prototype, cell* spec, int32_t type))                                    \
  X(2, random, "random", "value", D, cell*(cell* value, bool seed, bool secure, bool only))                          \
  X(3, reflect, "reflect", "value", D, cell*(cell* value, int32_t field))                                            \
  X(4, to, "to", "type", C, cell*(cell* prototype, cell* spec, int32_t type))                                        \
  X(5, form, "form", "value", D, int32_t(cell* value, cell* buffer, cell* part, int32_t limit))                      \
  X(6, mold, "mold", "value", D,                                                                                     \
    int32_t(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent))   \
  X(7, eval_path, "eval-path", "parent", D,                                                                          \
    cell*(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,      \
          bool case_sensitive, bool get, bool last, bool store_back))                                                \
  X(8, set_path, "set-path", "parent", N,                                                                            \
    cell*(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,      \
          bool case_sensitive, bool get, bool last, bool store_back))                                                \
  X(9, compare, "compare", "value1", C, int32_t(cell* value1, cell* value2, int32_t op))                             \
  X(10, absolute, "absolute", "value", S, cell*())                                                                   \
  X(11, add, "add", "value1", S, cell*())                                                                            \
  X(12, divide, "divide", "value1", S, cell*())                                                                      \
  X(13, multiply, "multiply", "value1", S, cell*())                                                                  \
  X(14, negate, "negate", "number", D, cell*(cell* number))                                                          \
  X(15, power, "power", "number", S, cell*())                                                                        \
  X(16, remainder, "remainder", "value1", S, cell*())                                                                \
  X(17, round, "round", "n", D,                                                                                      \
    cell*(cell* n, cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling, bool half_ceiling))  \
  X(18, subtract, "subtract", "value1", S, cell*())                                                                  \
  X(19, even_p, "even?", "number", D, bool(cell* number))                                                            \
  X(20, odd_p, "odd?", "number", D, bool(cell* number))                                                              \
  X(21, and_, "and~", "value1", S, cell*())                                                                          \
  X(22, complement, "complement", "value", D, cell*(cell* value))                                                    \
  X(23, or_, "or~", "value1", S, cell*())                                                                            \
  X(24, xor_, "xor~", "value1", S, cell*())                                                                          \
  X(25, append, "append", "series", D,                                                                               \
    cell*(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append))                             \
  X(26, at, "at", "series", S, cell*())                                                                              \
  X(27, back, "back", "series", S, cell*())                                                                          \
  X(28, change, "change", "series", D, cell*(cell* series, cell* value, int32_t part, bool only, int32_t dup))       \
  X(29, clear, "clear", "series", D, cell*(cell* series))                                                            \
  X(30, copy, "copy", "value", D, cell*(cell* value, cell* result, cell* part, bool deep, cell* types))              \
  X(31, find, "find", "series", D,                                                                                   \
    cell*(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool any, cell* with,    \
          cell* skip, bool last, bool reverse, bool tail, bool match))                                               \
  X(32, head, "head", "series", S, cell*())                                                                          \
  X(33, head_p, "head?", "series", S, cell*())                                                                       \
  X(34, index_p, "index?", "series", S, cell*())                                                                     \
  X(35, insert, "insert", "series", D,                                                                               \
    cell*(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append))                             \
  X(36, length_p, "length?", "series", D, int32_t(cell* series))                                                     \
  X(37, move, "move", "origin", D, cell*(cell* origin, cell* target, cell* part))                                    \
  X(38, next, "next", "series", S, cell*())                                                                          \
  X(39, pick, "pick", "series", D, cell*(cell* series, int32_t index, cell* index_cell))                             \
  X(40, poke, "poke", "series", D, cell*(cell* series, int32_t index, cell* value, cell* index_cell))                \
  X(41, put, "put", "series", D, cell*(cell* series, cell* key, cell* value, bool case_sensitive))                   \
  X(42, remove, "remove", "series", D, cell*(cell* series, cell* part, cell* key))                                   \
  X(43, reverse, "reverse", "series", D, cell*(cell* series, cell* part, cell* skip))                                \
  X(44, select, "select", "series", D,                                                                               \
    cell*(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool any, cell* with,    \
          cell* skip, bool last, bool reverse))                                                                      \
  X(45, sort, "sort", "series", D,                                                                                   \
    cell*(cell* series, bool case_sensitive, cell* skip, cell* comparator, cell* part, bool all, bool reverse,       \
          bool stable))                                                                                              \
  X(46, skip, "skip", "series", S, cell*())                                                                          \
  X(47, swap, "swap", "series1", D, cell*(cell* series1, cell* series2))                                             \
  X(48, tail, "tail", "series", S, cell*())                                                                          \
  X(49, tail_p, "tail?", "series", S, cell*())                                                                       \
  X(50, take, "take", "series", D, cell*(cell* series, cell* part, bool deep, bool last))                            \
  X(51, trim, "trim", "series", D,                                                                                   \
    cell*(cell* series, bool head, bool tail, bool auto_, bool lines, bool all, cell* with))                         \
  X(52, create, "create", "port", D, cell*(cell* port))                                                              \
  X(53, close, "close", "port", D, cell*(cell* port))                                                                \
  X(54, delete_, "delete", "port", D, cell*(cell* port))                                                             \
  X(55, modify, "modify", "target", D, cell*(cell* target, cell* field, cell* value, bool case_sensitive))           \
  X(56, open, "open", "port", D, cell*(cell* port, bool new_, bool read, bool write, bool seek, cell* allow))         \
  X(57, open_p, "open?", "port", D, cell*(cell* port))                                                               \
  X(58, query, "query", "target", D, cell*(cell* target))                                                            \
  X(59, read, "read", "source", D,                                                                                   \
    cell*(cell* source, cell* part, cell* seek, bool binary, bool lines, bool info, cell* as))                       \
  X(60, rename, "rename", "from", D, cell*(cell* from, cell* to))                                                    \
  X(61, update, "update", "port", D, cell*(cell* port))                                                              \
  X(62, write, "write", "destination", D,                                                                            \
    cell*(cell* destination, cell* data, bool binary, bool lines, bool info, bool append, cell* part, cell* seek,    \
          cell* allow, cell* as))

enum class action_slot : uint8_t {
#define TAV_ACTION_ENUM(slot, name, word, first, dispatch, signature) name = slot,
  TAV_ACTIONS(TAV_ACTION_ENUM)
#undef TAV_ACTION_ENUM
};

inline constexpr uint32_t action_count = 62;

namespace action_detail {
#define TAV_ACTION_COUNT(slot, name, word, first, dispatch, signature) +1
inline constexpr uint32_t listed = 0 TAV_ACTIONS(TAV_ACTION_COUNT);
#undef TAV_ACTION_COUNT
static_assert(listed == action_count);

template <action_slot Slot>
struct signature_of;
#define TAV_ACTION_SIGNATURE(slot, name, word, first, dispatch, signature) \
  template <>                                                             \
  struct signature_of<action_slot::name> {                                \
    using type = signature;                                               \
  };
TAV_ACTIONS(TAV_ACTION_SIGNATURE)
#undef TAV_ACTION_SIGNATURE
}  // namespace action_detail

// The function type a datatype's handler for the slot must have.
template <action_slot Slot>
using handler_signature = typename action_detail::signature_of<Slot>::type;
template <action_slot Slot>
using handler_pointer = handler_signature<Slot>*;

// Handlers are kept type-erased in the tables and called back through their slot's type.
using erased_handler = void (*)();

struct action_description {
  const char* word;
  const char* first_argument;
};

inline constexpr auto action_descriptions = [] {
  struct table {
    action_description rows[action_count + 1];
  } result{};
#define TAV_ACTION_ROW(slot, name, word, first, dispatch, signature) result.rows[slot] = {word, first};
  TAV_ACTIONS(TAV_ACTION_ROW)
#undef TAV_ACTION_ROW
  return result;
}();

constexpr const action_description& describe_action(uint32_t slot) { return action_descriptions.rows[slot]; }

}  // namespace tav
