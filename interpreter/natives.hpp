// Natives table: the 107 built-in functions by their fixed index, the calling convention of
// their entries, and the loop-count helpers that compiled loops share with the loop natives.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::natives {

// An entry finds its arguments in the current call frame (argument k at stack::arguments + k:
// the mandatory ones in spec order, then those of the refinements present) and leaves its result
// in cell 0. parameters[0] is the check flag: when set the entry first checks its fixed
// arguments against the native's argument types. Then comes one parameter per refinement, in
// spec order: -1 when absent, else the position of its first argument cell in the frame.
using entry = void (*)(const int32_t* parameters);

// index, C++ name, word. The boot image binds each native word by its index, so the order is
// fixed; the entry of native `name` is `name##_stack`.
#define TAV_NATIVES(X)                                                                                            \
  X(1, if, "if") X(2, unless, "unless") X(3, either, "either") X(4, any, "any") X(5, all, "all")                \
  X(6, while, "while") X(7, until, "until") X(8, loop, "loop") X(9, repeat, "repeat") X(10, forever, "forever") \
  X(11, foreach, "foreach") X(12, forall, "forall") X(13, remove_each, "remove-each") X(14, func, "func")       \
  X(15, function, "function") X(16, does, "does") X(17, has, "has") X(18, switch, "switch")                     \
  X(19, case, "case") X(20, do, "do") X(21, get, "get") X(22, set, "set") X(23, print, "print")                 \
  X(24, prin, "prin") X(25, equal_p, "equal?") X(26, not_equal_p, "not-equal?")                                 \
  X(27, strict_equal_p, "strict-equal?") X(28, lesser_p, "lesser?") X(29, greater_p, "greater?")                \
  X(30, lesser_or_equal_p, "lesser-or-equal?") X(31, greater_or_equal_p, "greater-or-equal?")                   \
  X(32, same_p, "same?") X(33, logic_not, "not") X(34, type_p, "type?") X(35, reduce, "reduce")                       \
  X(36, compose, "compose") X(37, stats, "stats") X(38, bind, "bind") X(39, in, "in") X(40, parse, "parse")     \
  X(41, union, "union") X(42, intersect, "intersect") X(43, unique, "unique") X(44, difference, "difference")    \
  X(45, exclude, "exclude") X(46, complement_p, "complement?") X(47, dehex, "dehex") X(48, enhex, "enhex")       \
  X(49, negative_p, "negative?") X(50, positive_p, "positive?") X(51, max, "max") X(52, min, "min")             \
  X(53, shift, "shift") X(54, to_hex, "to-hex") X(55, sine, "sine") X(56, cosine, "cosine")                     \
  X(57, tangent, "tangent") X(58, arcsine, "arcsine") X(59, arccosine, "arccosine")                             \
  X(60, arctangent, "arctangent") X(61, arctangent2, "arctangent2") X(62, nan_p, "NaN?") X(63, log_2, "log-2")  \
  X(64, log_10, "log-10") X(65, log_e, "log-e") X(66, exp, "exp") X(67, square_root, "square-root")             \
  X(68, construct, "construct") X(69, value_p, "value?") X(70, try, "try") X(71, uppercase, "uppercase")        \
  X(72, lowercase, "lowercase") X(73, as_pair, "as-pair") X(74, as_point2d, "as-point2D")                       \
  X(75, as_point3d, "as-point3D") X(76, as_money, "as-money") X(77, break, "break")                             \
  X(78, continue, "continue") X(79, exit, "exit") X(80, return, "return") X(81, throw, "throw")                 \
  X(82, catch, "catch") X(83, extend, "extend") X(84, debase, "debase") X(85, to_local_file, "to-local-file")   \
  X(86, wait, "wait") X(87, checksum, "checksum") X(88, unset, "unset") X(89, new_line, "new-line")             \
  X(90, new_line_p, "new-line?") X(91, enbase, "enbase") X(92, context_p, "context?") X(93, set_env, "set-env") \
  X(94, get_env, "get-env") X(95, list_env, "list-env") X(96, now, "now") X(97, sign_p, "sign?") X(98, as, "as") \
  X(99, call, "call") X(100, zero_p, "zero?") X(101, size_p, "size?") X(102, browse, "browse")                  \
  X(103, compress, "compress") X(104, decompress, "decompress") X(105, recycle, "recycle")                      \
  X(106, transcode, "transcode") X(107, apply, "apply")

inline constexpr uint32_t table_slots = 120;
inline constexpr uint32_t native_count = 107;

// Slots 1 to 120 (slot 0 is never used); after `init` slots 1 to 107 hold the entries.
extern entry table[table_slots + 1];
// The slot the next registration fills: 1 before `init`, 108 after.
extern uint32_t next_free;
// The scratch block the output natives reduce into (room for 32 cells, kept in the root block).
// A print works behind the buffer's head and puts the head back, so prints may nest.
extern cell print_buffer;
// 1 after the last output of print, 0 after prin.
extern int32_t last_lf_flag;

// A string! from its head (a head beyond the tail pulled back to it); any other value formed
// into a new string. The text is left pushed, where the collector sees it.
const cell* formed_text(const cell& value);

// The identity test of same?: the same immediate value, or the same series at the same position,
// the same object, the same function.
bool same_core(const cell& value1, const cell& value2);

#define TAV_NATIVE_DECLARE(index, name, word) void name##_stack(const int32_t* parameters);
TAV_NATIVES(TAV_NATIVE_DECLARE)
#undef TAV_NATIVE_DECLARE

// The word of native `index` (1 to 107).
const char* word_of(uint32_t index);

// Makes the table and the print buffer and registers the 107 entries in table order.
void init();

// While start-up runs a library source whose blocks are system code, the functions that func,
// function, does and has make from those blocks are made as system code, each body once, and
// appended to this block (rooted by the one who sets it); null the rest of the time.
extern cell* system_functions_made;
// Copies `count` entries into consecutive slots from `next_free` on.
void register_entries(uint32_t count, const entry* entries);

// ---- Argument checks of the check flag ------------------------------------------------------
// The interpreter hands over the argument list it built for a native, so that entries called
// with the check flag set can check their arguments against the same types.
void note_arguments(uint32_t index, const cell& list);
// With the check flag set: each fixed argument, and each argument of a refinement present,
// against its typeset; a value outside it raises script/expect-arg.
void check_typesets(uint32_t index, const int32_t* parameters);
inline void check_arguments(uint32_t index, const int32_t* parameters) {
  if (parameters[0]) [[unlikely]]
    check_typesets(index, parameters);
}

// ---- Compiled try ---------------------------------------------------------------------------
// How compiled try and attempt code finish an error their own catch stopped: the last pushed
// error! (with `keep` it records the calls it was raised in) becomes the frame's result, except
// an error of type and id `throw`, which travels on.
void try_error_stack(bool keep);

// ---- Conditionals written with their blocks ------------------------------------------------
// if, unless and either (natives 1 to 3) called from code where their blocks follow the condition
// as literal blocks: the condition is the frame's first argument, the blocks are read from the
// code (the interpreter then never pushes them), and the native's work is done as its own call
// would do it.
inline constexpr uint32_t conditional_if = 1, conditional_unless = 2, conditional_either = 3;
inline constexpr uint32_t last_conditional = conditional_either;
void run_conditional(uint32_t index, const cell* blocks);

// ---- Loop counts ----------------------------------------------------------------------------
// A float! becomes the integer! truncated toward zero; NaN, infinities and values outside the
// 32-bit range raise script/out-of-range. Other cells are left alone.
void coerce_value(cell& value);
// coerce_value on argument 0 of the current call.
void coerce_counter();
// Adds one to the integer the word's value cell holds; a field of an object is then set again,
// so that the object's change handling sees the new value.
void repeat_step(cell& word);

}  // namespace tav::natives
