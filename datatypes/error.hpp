// Error values: the catalog read by words and codes, the fields of a new error made from a
// spec, the text form of an error, and the error! datatype.
//
// An error! is an object of ten fields in a fixed order. The field functions work on an array
// of those ten cells, in that order, which is what an error's context holds.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/errors.hpp"

namespace tav::error {

namespace field {
inline constexpr uint32_t code = 0, type = 1, id = 2, arg1 = 3, arg2 = 4, arg3 = 5, near = 6, where = 7,
                          stack = 8, files = 9;
}  // namespace field
inline constexpr uint32_t field_count = 10;

// ---- The catalog by words and codes -------------------------------------------------------

// The category whose word has the symbol (case variants match); false when none has.
bool category_of(uint32_t symbol, error_category& category);
// The id of the category whose word has the symbol; `error_id::count` when none has.
error_id id_in(error_category category, uint32_t symbol);
// The id at `code` (category x 100 + position - 2); `error_id::count` when the catalog has none.
error_id id_of_code(int32_t code);

// word! cells of the category and id words: bound to the catalog's contexts once the catalog
// is connected, unbound before.
cell category_word(error_category category);
cell id_word(error_id id);

// Argument n (from 0) of the function now being called: the n-th word!, lit-word!, get-word!
// or refinement! in the running call's function spec; none when that value is
// no native!, action!, op!, function! or routine!, or its spec has fewer.
cell get_call_argument(uint32_t n);

// ---- Making ---------------------------------------------------------------------------------

// Every field none.
void clear_fields(cell* fields);
// The fields `make error!` sets from its spec:
//   - integer!: the code; outside the catalog raises script/out-of-range with that value;
//   - block! starting with a word!: [category id], further elements ignored. An unknown
//     category or id raises script/invalid-spec-field (with `type` or `id`), a second element
//     that is no word script/invalid-arg;
//   - block! starting with a set-word!: answers false and sets nothing. The caller binds the
//     block to the error's context, evaluates it, then calls `complete_fields`;
//   - any other block: internal/invalid-error;
//   - string!: user/message with the text as arg1;
//   - anything else: script/bad-make-arg with error! and the given value.
bool fill_fields(cell* fields, const cell& spec);
// After the fields were set by name: `type` and `id` must be words of the catalog (else
// script/invalid-spec-field with `type` or `id`); `code` is then computed.
void complete_fields(cell* fields);
// The fields of an error raised with `fire`.
void fields_of(const fired_error& error, cell* fields);

// ---- Text form ------------------------------------------------------------------------------

// Appends the text of the error to the string and answers the limit less the characters
// written: "*** " category text ": " message, then "\n*** Where: " and "\n*** Near : " lines;
// with a stack-trace level above 0 the "\n*** Stack: " line, and "\n*** Files: " when files
// holds a block. Arguments are formed in syntax errors and molded in all others. An error
// whose type or id names nothing in the catalog is first repaired into internal/invalid-error
// naming the bad word.
int32_t form_fields(cell* fields, cell& string, int32_t limit, int32_t stack_trace_level);

// Forms the error into a new string! and prints it as one line.
void print_fields(cell* fields, int32_t stack_trace_level);

// ---- The system objects errors read ----------------------------------------------------------

// Hands over system/catalog/errors, the error prototype (system/standard/error) and
// system/state; from then on errors are made as error! values, `fire` included.
void connect_system(const cell& catalog, const cell& prototype, const cell& state);
// Forgets them (their words belong to a symbol table that is being replaced).
void disconnect_system();
bool connected_p();

// ---- error! values ----------------------------------------------------------------------------

inline constexpr uint32_t error_class = 1;

// The ten field cells of an error!.
cell* fields(const cell& error);
// The error made from the category and id words and the arguments given (null: none);
// answered pushed on the argument stack.
cell* create(const cell& category, const cell& id, const cell* arg1, const cell* arg2, const cell* arg3);
// A new error! of the catalog entry at `code` (which must have one), its other fields as the
// prototype has them; nothing is pushed.
cell make_from_code(int32_t code);
// A new error! holding the fields of an error raised with `fire`; none when not connected.
cell value_of(const fired_error& error);
// Sets `where` only while it is none.
void set_where(const cell& error, const cell& value);
// The symbol of the `type` / `id` word; 0 when the field holds no word.
uint32_t get_type(const cell& error);
uint32_t get_id(const cell& error);
inline constexpr uint32_t get_stack_index() { return field::stack; }
// Turns the call-stack position in `stack` into the block of the names of the calls up to it
// (the last system/state/stack-trace levels, at least 1). Done where the error is raised,
// while its calls are still on the stack.
void record_stack(const cell& error);
// Records the stack when not yet done and puts a copy of a non-empty system/state/source-files
// into an empty `files`. Answers the flag unchanged when the error holds no stack, true
// otherwise.
bool capture_stack(const cell& error, bool flag);
// system/state/stack-trace when it is an integer, else 0.
int32_t stack_trace_level();

// ---- Handlers -------------------------------------------------------------------------------
cell* make(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back);
int32_t compare(cell* value1, cell* value2, int32_t op);
void init();

}  // namespace tav::error
