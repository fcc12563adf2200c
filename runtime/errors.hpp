// Language errors below the value layer: the catalog as one table, and `fire`, which
// raises an error by its catalog id through the system throw (code 0x7FFFFFFF).
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav {

enum class error_category : uint8_t {
  throw_ = 0, note = 1, syntax = 2, script = 3, math = 4, access = 5,
  reserved1 = 6, reserved2 = 7, user = 8, internal = 9,
};
inline constexpr uint32_t error_category_count = 10;

// Enumerators join category and id (`script_no_value`). The throw category's trailing '_'
// is dropped there (`throw_break_`), so that no name holds a double underscore.
#define TAV_ERROR_PREFIX_throw_ throw
#define TAV_ERROR_PREFIX_note note
#define TAV_ERROR_PREFIX_syntax syntax
#define TAV_ERROR_PREFIX_script script
#define TAV_ERROR_PREFIX_math math
#define TAV_ERROR_PREFIX_access access
#define TAV_ERROR_PREFIX_user user
#define TAV_ERROR_PREFIX_internal internal
#define TAV_ERROR_JOIN_(prefix, name) prefix##_##name
#define TAV_ERROR_JOIN(prefix, name) TAV_ERROR_JOIN_(prefix, name)
#define TAV_ERROR_ENUMERATOR(category, name) TAV_ERROR_JOIN(TAV_ERROR_PREFIX_##category, name)

enum class error_id : uint16_t {
#define TAV_ERROR(category, name, word, message) TAV_ERROR_ENUMERATOR(category, name),
#include "runtime/error_catalog.inc"
#undef TAV_ERROR
  count
};

#undef TAV_ERROR_ENUMERATOR
#undef TAV_ERROR_JOIN
#undef TAV_ERROR_JOIN_
#undef TAV_ERROR_PREFIX_throw_
#undef TAV_ERROR_PREFIX_note
#undef TAV_ERROR_PREFIX_syntax
#undef TAV_ERROR_PREFIX_script
#undef TAV_ERROR_PREFIX_math
#undef TAV_ERROR_PREFIX_access
#undef TAV_ERROR_PREFIX_user
#undef TAV_ERROR_PREFIX_internal

// The type id of none!, which unset error fields hold; the datatype table checks it.
inline constexpr uint8_t none_type_id = 3;

struct error_entry {
  error_category category;
  const char* word;      // the id word, as the language spells it
  const char* message;   // the template, in the language's syntax
};

const error_entry& error_info(error_id id);
// Position of the id in its category object (fields 0 and 1 are `code` and `type`).
uint32_t error_position(error_id id);
// category x 100 + position - 2
uint32_t error_code(error_id id);
const char* error_category_word(error_category category);
// The category's display text, the `type` field of its catalog object ("Script Error").
const char* error_category_text(error_category category);

// The error most recently raised, for the catcher to read: its catalog id, its arguments and
// the fields the call stack fills when it is raised.
struct fired_error {
  error_id id;
  uint32_t arg_count;  // arguments given, 0 to 3; the others are none
  cell args[3];
  cell near;   // the code near the failure, none until the interpreter notes it
  cell where;  // the word naming the running call, none until raised
  cell stack;  // integer! call-stack position when raised, none before
  cell value;  // the error! made from these fields once errors are objects, else none
};
extern fired_error last_fired;
// Forgets the last fired error (its id becomes `error_id::count`).
void clear_fired();

// Called by `fire` with the new error before it is raised, the pending system-throw code held
// at 0 meanwhile: the interpreter notes the code near the error there and reports it to a trace.
using fire_tracer = void (*)(const fired_error& error);
void set_fire_tracer(fire_tracer tracer);

// Makes the error! value of the error being raised (into its `value`); installed once the
// error prototype exists. Null until then. Answers the builder installed before.
using value_builder = void (*)(fired_error& error);
value_builder set_value_builder(value_builder builder);
// Called by the call stack once the error's `where` and `stack` are noted.
void build_fired_value();

// Raises the error noted in `last_fired`; the call stack installs it at start-up to note where
// the error happened and unwind to its catcher. Without one, the error's value is built and it
// is raised as the plain system throw.
using error_raiser = void (*)();
void set_error_raiser(error_raiser raiser);

// Raise a catalog error with up to three arguments: the error is noted in `last_fired` and
// raised through the installed raiser.
[[noreturn]] void fire(error_id id);
[[noreturn]] void fire(error_id id, const cell& arg1);
[[noreturn]] void fire(error_id id, const cell& arg1, const cell& arg2);
[[noreturn]] void fire(error_id id, const cell& arg1, const cell& arg2, const cell& arg3);

}  // namespace tav
