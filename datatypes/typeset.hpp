// typeset!: a set of datatypes held in the cell itself (96 type bits in the three payload
// words): argument types of function specs, the named typesets and their set operations.
#pragma once
#include <cstdint>
#include <cstring>

#include "datatypes/types.hpp"
#include "runtime/cell.hpp"

namespace tav::typeset {

// The bit of type id t is mask 0x80 >> (t & 7) of payload byte t >> 3, the bytes counted in
// memory order from the first byte of payload 1.
inline uint8_t byte_at(const cell& set, uint32_t i) {
  uint8_t bytes[12];
  std::memcpy(bytes, &set.payload1, sizeof bytes);
  return bytes[i];
}
inline bool has_type(const cell& set, uint8_t type) { return byte_at(set, type >> 3) & (0x80u >> (type & 7)); }
void add_bit(cell& set, uint8_t type);

// An empty typeset!.
inline cell empty() { return cell{TYPE_TYPESET, 0, 0, 0}; }
void clear(cell& set);
// Set bits among the ids 1 .. max_type_id.
int32_t count(const cell& set);

// Appends a typeset with these three payload words at the block's tail.
cell* new_in_block(cell& block, uint32_t word1, uint32_t word2, uint32_t word3);
// Appends the typeset of an argument without a type block: every bit but unset!'s.
cell* make_default(cell& block);
// Appends a typeset made from its spec block's elements from its index: words stand for their
// values; datatypes set their bit, typesets are joined, a word value sets object!'s bit, blocks
// are skipped; anything else raises script/invalid-type-spec.
cell* from_block(cell& block, const cell& spec);
// Adds a datatype, a typeset or a word holding one; anything else raises script/invalid-arg.
void add_type(cell& set, const cell& value);
// Makes `result` a new block of the datatype! values of the set ids, ascending.
void to_block(const cell& set, cell& result);
// The set operation on the first two arguments: 5 or~, 6 and~, 7 xor~, 8 unique (the first
// argument as it is), 9 union, 10 intersect, 11 exclude, 12 difference. The second must be a
// typeset! or a datatype!. Answers the new typeset pushed on the stack.
cell* do_bitwise(int32_t code);

cell* make(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* and_();
cell* complement(cell* value);
cell* or_();
cell* xor_();
cell* find(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool any, cell* with,
           cell* skip, bool last, bool reverse, bool tail, bool match);
void init();

}  // namespace tav::typeset
