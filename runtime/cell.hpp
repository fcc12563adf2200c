// Value cells: the 16-byte cell every value lives in, its header flags and the cell helpers.
#pragma once
#include <cstdint>

namespace tav {

// Node id: a 32-bit reference to a series, resolved through the node table (runtime/memory.hpp).
// 0 is the null node.
using node_id = uint32_t;

// Four 32-bit words, always in this order. The header's low byte is the type id; the payload
// words mean what the datatype says (series: head index, node, cache; words: context node,
// symbol id, index).
struct cell {
  uint32_t header;
  uint32_t payload1;
  uint32_t payload2;
  uint32_t payload3;

  uint8_t type() const { return static_cast<uint8_t>(header); }
};
static_assert(sizeof(cell) == 16);
static_assert(alignof(cell) == 4);  // cells sit in buffers whose data is only 4-byte aligned

// Header bits above the type byte that the runtime sets or tests.
namespace cell_flag {
inline constexpr uint32_t type_mask = 0x000000FF;
inline constexpr uint32_t new_line = 0x40000000;        // value starts a new line when molded
inline constexpr uint32_t object_context = 0x01000000;  // context! made for an object
inline constexpr uint32_t stack_values = 0x00400000;    // context! whose values live on the argument stack
inline constexpr uint32_t op_source_mask = 0x00FF0000;  // op!: type id of the function it came from
inline constexpr uint32_t owned = 0x00010000;           // image! owned by an object; owner mark on a context
inline constexpr uint32_t routine = 0x00008000;         // routine!
inline constexpr uint32_t field_set = 0x00002000;       // word of an object's word list assigned by compiled code
inline constexpr uint32_t event_block = 0x00001000;     // event! whose payload 2 is a block node
inline constexpr uint32_t context_kind_mask = 0x00001800;
}  // namespace cell_flag

// The header of a fresh block slot: unset! with no flags (payload words are zero).
inline constexpr uint32_t unset_header = 2;

inline void set_type(cell& value, uint8_t type) { value.header = (value.header & ~cell_flag::type_mask) | type; }

inline void clear_new_line(cell& value) { value.header &= ~cell_flag::new_line; }

// Copying a cell onto itself is allowed and changes nothing.
inline cell& copy_cell(const cell& source, cell& destination) {
  if (&source != &destination) __builtin_memcpy(&destination, &source, sizeof(cell));
  return destination;
}
// A whole-cell copy in one 16-byte move (member-wise copies are often split into four loads
// and shuffled together). The two cells may be the same.
inline void move_cell(cell& destination, const cell& source) { __builtin_memmove(&destination, &source, sizeof(cell)); }

}  // namespace tav
