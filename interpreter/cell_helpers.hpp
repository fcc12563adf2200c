// Cell helpers: the small API natives, actions and built-in functions use for their everyday
// steps: literals of the boot image, argument checks with their errors, number arguments,
// words and object fields written from the argument stack, refinement arguments, compiled
// paths and SWITCH/SELECT lookups. `copy_cell` is in runtime/cell.hpp and `fire` in
// runtime/errors.hpp.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/errors.hpp"

namespace tav {

// ---- Literals of the boot image -------------------------------------------------------------

// The boot loader sets where the image's literal cells start.
void set_boot_literals(cell* base);
cell* boot_value(uint32_t n);
// Payload 1 of literal n (its node, or its symbol).
uint32_t boot_value_node(uint32_t n);

// ---- Errors ---------------------------------------------------------------------------------

// script/bad-make-arg with the two cells.
[[noreturn]] void fire_bad_make_arg(const cell& type, const cell& spec);
// Prints the error the arguments make, as an uncaught one would be printed, without raising it.
void print_error(error_id id, uint32_t count = 0, const cell* args = nullptr);

// ---- Argument checks ------------------------------------------------------------------------

// The typeset cell's bit of the type: mask 0x80 >> (type & 7) of payload byte type >> 3.
bool typeset_has_p(const cell& typeset, uint8_t type);
// The value when its type is in the typeset; else script/expect-arg with the running
// function's word, the value's datatype and the word of argument `position` in its spec.
cell& check_arg_typeset(uint32_t position, const cell& typeset, cell& value);
// The argument in slot i of the current call; a negative slot is an absent argument and is
// not looked at.
void check_arg_slot_typeset(int32_t slot, const cell& typeset);
// Checks the argument only when the refinement is set (payload 1 not 0).
void check_refinement_arg_typeset(const cell& refinement, const cell& typeset, cell& argument);
// An unset! value raises script/expect-arg as `check_arg_typeset` does.
cell& check_arg_set(uint32_t position, cell& value);
// An integer!'s value; a float! from -2147483648.0 to 2147483647.0 truncated toward zero;
// other floats (NaN too) raise script/out-of-range with the value, other types
// script/invalid-arg.
int32_t get_int_from_number(const cell& value);

// ---- Words and fields -----------------------------------------------------------------------

// The word's value; unset! raises script/no-value with the word.
cell* get_word_checked(const cell& word);
// Sets the word to the last pushed value; unset! raises script/need-value with the word.
void set_word_from_stack(cell& word);
// The same, then top := arguments.
void set_word_from_stack_reset(cell& word);
// Value i of the context becomes the last pushed value; unset! raises script/need-value with
// word i. A context without values raises script/not-defined with word i.
void set_field_from_stack(node_id context, uint32_t index);
void set_field_from_stack_reset(node_id context, uint32_t index);
// Without the unset check; word i of an object's context is marked as assigned first; then
// top := arguments.
void set_field_from_stack_any(node_id context, uint32_t index);
// Value i; a context without values raises script/not-defined with word i.
cell* get_field_checked(node_id context, uint32_t index);

// ---- Calls and paths ------------------------------------------------------------------------

// A true value sets payload 1 of the refinement's slot (from the current arguments) to 1;
// otherwise the `count` argument cells after it become none.
void set_refinement_args(const cell& value, uint32_t slot, uint32_t count);

// One refinement of a call made by `reorder_args`.
struct refinement_use {
  const cell* value;   // true when the refinement is used
  uint32_t position;   // its place among the entry's refinement parameters
  int32_t slot;        // its first argument cell, from the current arguments
  uint32_t count;      // its argument cells
};
// Calls the stack entry (the argument-stack convention of action entries) with every
// refinement parameter -1 except those whose value is true, which get their argument slot;
// the argument cells of absent refinements become none.
inline constexpr uint32_t refinement_parameter_limit = 32;
void reorder_args(void (*entry)(const int32_t* positions), uint32_t count, const refinement_use* refinements);

// A path of `count` elements: a first word! element is replaced by its value, every further
// element applied with the eval-path action to the value reached so far; in set mode the last
// step stores `value`. With 3 or more elements, the last set step is told to store back when
// the container is a block-like series, or an object with change handlers reached through a
// word. The result goes to the result slot and is answered.
cell* eval_compiled_path(bool set, uint32_t count, cell& path, const cell* elements, cell* value);

// SWITCH and SELECT: the value in the first argument cell is looked up in the block in the
// second. Candidates are the elements whose type is the value's (every element with `push`,
// else every other one from the first), compared for equality. The answer: with `to_block`
// the first block! after the match, otherwise the element after it (the match itself when it
// is the last); none without a match, when no block follows, or for a block! value. It is
// pushed with `push`, else it becomes the result.
cell* switch_lookup(bool push, bool to_block);

// ---- Text -----------------------------------------------------------------------------------

// Appends four spaces per level and answers width - 4 x levels.
int32_t append_indent(cell& string, int32_t levels, int32_t width);

}  // namespace tav
