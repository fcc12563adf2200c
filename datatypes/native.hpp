// native!, action! and op!: built-in functions bound by table index, and the infix
// operators made from two-argument callables.
#pragma once
#include <cstdint>

#include "datatypes/types.hpp"
#include "runtime/cell.hpp"

namespace tav {

namespace native {

// The natives table has 120 slots; entries 1 to 107 are filled, the rest stay empty.
inline constexpr uint32_t table_slots = 120;
inline constexpr uint32_t table_entries = 107;

// Payload 1 of a native! or action! holds its table index with a tag, so that a native and an
// action never compare equal. Payload 2 is its spec node; payload 3 the node of two cells:
// a copy of the context! cell made from its spec (values on the argument stack), then the
// argument list the interpreter caches (none until the first call).
inline constexpr uint32_t native_tag = 0x01000000;
inline constexpr uint32_t action_tag = 0x02000000;
inline constexpr uint32_t index_mask = 0xFFFF;
inline constexpr uint32_t more_context = 0, more_arguments = 1, more_cells = 2;
inline uint32_t index_of(const cell& value) { return value.payload1 & index_mask; }
inline node_id spec_of(const cell& value) { return value.payload2; }
inline node_id more_of(const cell& value) { return value.payload3; }

cell* make(cell* prototype, cell* spec, int32_t type);
// spec and body (the table index, or an op's function body); shared by action! and op!.
cell* reflect(cell* value, int32_t field);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
void init();

}  // namespace native

namespace action {
cell* make(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
void init();
}  // namespace action

namespace op {

// An op! is a copy of its source's cell with the header (source type << 16) | 23; one made
// from a function! or routine! shares the source's more-series, whose cell 3 keeps the source.
inline uint8_t source_type(const cell& value) { return static_cast<uint8_t>(value.header >> 16); }

// True when its spec has exactly two arguments before any set-word or refinement other than
// /local and /extern, the first a plain word.
bool check_spec(node_id spec);

cell* make(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
void init();

}  // namespace op

}  // namespace tav
