// bitset!: sets of non-negative integers kept as bit arrays, possibly complemented, with the
// spec walker that turns specs into bits and the bitset handlers.
//
// A bitset! cell is {30, 0, node, 0}. Bit n lives in byte n >> 3 from the buffer's `offset`
// under the mask 0x80 >> (n & 7). A bit whose byte lies at or past the tail is not stored and
// reads as the complement flag; every byte from the tail to the end of the capacity holds
// that flag's fill (0xFF or 0x00), so growing the tail never needs a fill.
#pragma once
#include <cstdint>

#include "datatypes/types.hpp"
#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace tav::bitset {

// The complement flag among the buffer's series flags.
inline constexpr uint32_t not_flag = 0x80000;

inline cell make_cell(node_id node) { return cell{TYPE_BITSET, 0, node, 0}; }
inline node_id node_of(const cell& bitset) { return bitset.payload2; }
inline bool not_p(const cell& bitset) { return (buffer_of(node_of(bitset))->flags & not_flag) != 0; }
// Address of byte 0.
inline uint8_t* ts_head(const cell& bitset) { return buffer_of(node_of(bitset))->head(); }
// Bytes in use.
inline uint32_t byte_length(const cell& bitset) { return buffer_of(node_of(bitset))->used(); }

// Membership of n: the stored bit, or the complement flag for a bit not stored.
inline bool member_p(const cell& bitset, int64_t n) {
  const series_buffer* buffer = buffer_of(node_of(bitset));
  if (n < 0 || (n >> 3) >= buffer->used()) return (buffer->flags & not_flag) != 0;
  return (buffer->data()[buffer->offset + (n >> 3)] & (0x80 >> (n & 7))) != 0;
}

// A new bitset pushed on the argument stack from a spec: mode 0 for make, 1 for to (which
// refuses a number). Unusable specs raise script/bad-make-arg or script/bad-to-arg.
cell* make_from_spec(const cell& spec, int32_t mode);

// Set operations on the bitset in argument 0 and the value in argument 1: 5 or~, 6 and~,
// 7 xor~, 8 unique (the first unchanged), 9 union, 10 intersect, 11 exclude, 12 difference.
// A second value that is not a bitset raises script/invalid-type. Pushes the new bitset.
cell* do_bitwise(int32_t code);

// ---- Handlers -----------------------------------------------------------------------------

cell* make(cell* prototype, cell* spec, int32_t type);
cell* reflect(cell* value, int32_t field);
cell* to(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* negate(cell* number);
cell* and_();
cell* complement(cell* value);
cell* or_();
cell* xor_();
// Append, and insert when `append` is false: the same walk.
cell* append(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append);
cell* clear(cell* series);
cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types);
cell* find(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool any, cell* with,
           cell* skip, bool last, bool reverse, bool tail, bool match);
int32_t length_p(cell* series);
cell* pick(cell* series, int32_t index, cell* index_cell);
cell* poke(cell* series, int32_t index, cell* value, cell* index_cell);
cell* remove(cell* series, cell* part, cell* key);
cell* modify(cell* target, cell* field, cell* value, bool case_sensitive);
void init();

}  // namespace tav::bitset
