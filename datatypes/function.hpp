// function! and routine!: functions made from a validated spec and a body, the locals
// collection of `function`, routines bound by index to C++ code, and their actions.
#pragma once
#include <cstdint>

#include "datatypes/types.hpp"
#include "runtime/cell.hpp"

namespace tav {

namespace function {

// Function cell: header 24 with the attribute flags, payload 1 the context node (whose `self`
// cell holds the function), payload 2 its spec node (head 0), payload 3 the more-series node.
inline constexpr uint32_t flag_trace = 0x400;
inline constexpr uint32_t flag_no_trace = 0x200;
inline node_id context_of(const cell& function) { return function.payload1; }
inline node_id spec_of(const cell& function) { return function.payload2; }
inline node_id more_of(const cell& function) { return function.payload3; }

// The five cells of the more-series.
inline constexpr uint32_t more_body = 0;       // deep copy of the body, or none
inline constexpr uint32_t more_arguments = 1;  // the argument list the interpreter caches
inline constexpr uint32_t more_code = 2;       // integer! index of built-in code, the block! of
                                               // system code that runs, or unset
inline constexpr uint32_t more_op_source = 3;  // the function an op! was made from
inline constexpr uint32_t more_extra = 4;      // integer! given by the maker, or unset
inline constexpr uint32_t more_cells = 5;
cell* more_cell(const cell& function, uint32_t index);
// The body a call runs: the system code of the code slot, else the body cell.
const cell& running_body(const cell& function);

// Builds a function! on the argument stack and answers its context node. Without a context
// one is made from its spec and the body copy is bound to it; `code` and `extra` of 0 leave
// their cells unset.
node_id push(const cell& spec, const cell& body, node_id context, int32_t code, int32_t extra, uint32_t flags);
// Builds a function! of system code on the argument stack and answers its context's node: the
// given block itself is the body that runs, bound in place to a context made from the argument block and
// kept in the code slot; the body cell holds a deep copy of it, what Tav sees of the function.
node_id push_system(const cell& spec, const cell& body, uint32_t flags);
// Checks a spec and answers its attribute flags; a fault raises script/bad-func-def,
// script/invalid-type-spec or script/dup-vars.
uint32_t validate(const cell& spec);
// The locals of `function`: collects the body's set-words (and loop words) not named in the
// spec, appends them to its spec after /local and answers the block of them.
cell collect_words(cell& spec, const cell& body);
// 1 for /local plus 1 per word! after it; with `ask` a spec without /local answers -1.
int32_t count_locals(node_id spec, uint32_t start, bool ask);
// The locals frame of a call: false for /local, then n - 1 nones.
void init_locals(int32_t n);

// A copy of the block from its head (index 0) with nested blocks, parens and paths copied the
// same way; a block inside itself raises internal/no-cycle.
cell copy_deep(const cell& block);

// Whether a type block element's value is allowed: a datatype!, a typeset! or a word!.
bool type_spec_value_p(const cell& value);

cell* make(cell* prototype, cell* spec, int32_t type);
cell* reflect(cell* value, int32_t field);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
void init();

}  // namespace function

namespace routine {

// Routine cell: as a function's; header bit 15 asks for argument cell addresses, bits 25-29
// hold the argument count. More-series cell 2 is the code index, cell 4 the return type id.
inline constexpr uint32_t arity_shift = 25;
inline constexpr uint32_t arity_mask = 0x1Fu << arity_shift;
inline constexpr int32_t returns_nothing = -1;
// More-series cell 3 of a routine: a value its code reads, given when the routine is made.
inline constexpr uint32_t more_datum = 3;

// Routine code reads its arguments from the call frame (`stack::arguments`) and answers a
// machine result that the return type turns into a value: `word` for logic! (non-zero is
// true) and integer!, `real` for float!. A routine asking for cell addresses writes its
// result cell into the frame's first cell itself.
struct answer {
  int32_t word;
  double real;
};
using code = answer (*)(cell* arguments);
inline constexpr uint32_t code_capacity = 512;
// Registers C++ code and answers its index (from 1).
uint32_t register_code(code entry);
code code_at(uint32_t index);
// The routine whose code runs now: code shared by several routines reads its datum from it.
const cell& running();

cell* push(const cell& spec, const cell* body, uint32_t code_index, int32_t return_type, bool cell_addresses);
uint32_t get_header_field(const cell& routine);
void set_arity(cell& routine);
// Runs the routine on the arguments of the current call frame: checks them against the
// spec's type blocks (script/expect-arg naming `name`), calls the code and writes the result.
void call(const cell& routine, const cell& name);

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
void init();

}  // namespace routine

}  // namespace tav
