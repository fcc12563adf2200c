// series!: the abstract parent of every series type. Its handlers work on any series through
// the unit of its buffer (cells, text units, bytes, vector elements); the helpers here are the
// ones the concrete series types share, with the change reports sent to a series' owner.
#pragma once
#include <cstdint>

#include "datatypes/types.hpp"
#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace tav::series {

// ---- The series cell ----------------------------------------------------------------------
// Header, head index (signed, in units from the buffer's offset), node, and a fourth word that
// vector! (element type) and hash! (its table) use.

inline int32_t head_of(const cell& series) { return static_cast<int32_t>(series.payload1); }
inline node_id node_of(const cell& series) { return series.payload2; }
inline void set_head(cell& series, int32_t index) { series.payload1 = static_cast<uint32_t>(index); }
inline series_buffer* buffer(const cell& series) { return buffer_of(series.payload2); }
inline cell make_cell(uint8_t type, node_id node, int32_t head = 0) {
  return cell{type, static_cast<uint32_t>(head), node, 0};
}

// block!, paren!, the four path types and hash!: the series of cells.
constexpr bool any_block_p(uint8_t type) {
  return type == TYPE_BLOCK || type == TYPE_PAREN || (type >= TYPE_PATH && type <= TYPE_GET_PATH) ||
         type == TYPE_HASH;
}
constexpr bool any_path_p(uint8_t type) { return type >= TYPE_PATH && type <= TYPE_GET_PATH; }
// The text types that share the string layout.
constexpr bool any_string_p(uint8_t type) {
  return type == TYPE_STRING || type == TYPE_FILE || type == TYPE_URL || type == TYPE_TAG || type == TYPE_EMAIL ||
         type == TYPE_REF;
}
// Every type whose cell is a series cell.
constexpr bool any_series_p(uint8_t type) {
  return any_block_p(type) || any_string_p(type) || type == TYPE_BINARY || type == TYPE_VECTOR ||
         type == TYPE_IMAGE;
}
// The table of a hash!, 0 for every other series.
inline node_id table_of(const cell& series) { return series.type() == TYPE_HASH ? series.payload3 : 0; }

// ---- Helpers ------------------------------------------------------------------------------

// True when the head index lies at or past the tail.
bool ts_tail_p(const cell& series);
// Elements of the whole buffer.
int32_t get_abs_length(const cell& series);
// Elements from the head index (from 0 when `absolute`) to the tail. A negative index counts as
// 0; an index past the tail is pulled back to the tail and 0 answered.
int32_t get_length(cell& series, bool absolute);
// Moves the head by n when index + n is not past the tail; answers whether index + n is at or
// past the tail, moved or not.
bool ts_skip(cell& series, int32_t n);
// The new index of `at` (base 1) and `skip` (base 0) from the integer in argument 1.
int32_t skip_by(int32_t base);

// The /part of an action measured on `series`: an integer! count, or a position in the same
// series (its index minus the series' index). Anything else raises script/invalid-refine-arg.
int32_t part_length(const cell& series, const cell& part);
[[gnu::cold, noreturn]] void invalid_refine_arg(const char* refinement, const cell& value);

// Room for n units at unit position `at` (from the offset), the units after it moved up and the
// tail moved on; the new units are unwritten. A buffer too short grows to `grow_to` bytes of
// data (at least what is needed). Answers the buffer, which may have moved.
series_buffer* open_gap(node_id node, uint32_t at, uint32_t n, uint64_t grow_to);
// Removes n units at unit position `at` (cut to the tail).
void close_gap(node_id node, uint32_t at, uint32_t n);

// ---- Owners ---------------------------------------------------------------------------------
// A series held by an object field reports every change to its owner before it (and, when an
// owner heard of it, after it with the past-tense word) through the ownership check.
bool report(const cell& series, const cell& action, const cell& value, int32_t index, int32_t count);

// ---- Elements ---------------------------------------------------------------------------------
// vector! elements as values: the vector datatype installs its reader and writer (the writer
// gets a value whose type is the vector's element type). Until then they raise
// internal/not-done.
struct vector_access {
  cell (*get)(const cell& vector, uint32_t position);
  void (*set)(const cell& vector, uint32_t position, const cell& value);
};
void set_vector_access(const vector_access& access);

// The element at a unit position from the offset as a value: the cell itself for the block
// family (valid until the next allocation), else a value in one scratch cell that the next call
// overwrites (char! for text, integer! for binary!, the element for vector!).
const cell* element_at(const cell& series, uint32_t position);

// ---- Handlers -------------------------------------------------------------------------------
cell* random(cell* value, bool seed, bool secure, bool only);
cell* reflect(cell* value, int32_t field);
cell* at();
cell* back();
cell* clear(cell* series);
cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types);
cell* head();
cell* head_p();
cell* index_p();
int32_t length_p(cell* series);
cell* move(cell* origin, cell* target, cell* part);
cell* next();
cell* pick(cell* series, int32_t index, cell* index_cell);
cell* poke(cell* series, int32_t index, cell* value, cell* index_cell);
cell* remove(cell* series, cell* part, cell* key);
cell* reverse(cell* series, cell* part, cell* skip);
cell* skip();
cell* tail();
cell* tail_p();
// Without a part the result's one element sits in a scratch buffer kept for the runtime's life:
// pick it before the next take.
cell* take(cell* series, cell* part, bool deep, bool last);
cell* modify(cell* target, cell* field, cell* value, bool case_sensitive);
void init();

}  // namespace tav::series
