// Raw arrays: growable vectors of bytes or 32-bit items kept in a series, reached through
// their node. Items move with the collector, so no item address is kept across allocations.
// "Pointer" items are 32-bit references (node ids, registry indexes), as everywhere in the
// runtime. Item positions are 1-based; find and remove-at work in byte offsets from `offset`.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::array {

// Room for count items of `unit` bytes (1, 2 or 4); 16 bytes when count x unit is 0.
node_id make(uint32_t count, uint32_t unit);
uint32_t length(node_id array);  // items in use
void clear(node_id array);
// The array then holds n items; items beyond the old length start as zero bytes.
void set_length(node_id array, uint32_t n);
node_id copy(node_id array);
uint32_t flags(node_id array);
uint8_t* data(node_id array);  // the first item; valid until the next allocation

void append_byte(node_id array, uint8_t byte);
void append_bytes(node_id array, const void* source, uint32_t n);

// 32-bit items. A position outside [1, length] raises script/past-end.
void append_int(node_id array, int32_t value);
int32_t find_int(node_id array, int32_t value);  // byte offset of the first equal item, or -1
int32_t pick_int(node_id array, uint32_t position);
void poke_int(node_id array, uint32_t position, int32_t value);

void append_ptr(node_id array, uint32_t reference);
int32_t find_ptr(node_id array, uint32_t reference);  // byte offset, or -1
uint32_t pick_ptr(node_id array, uint32_t position);
void remove_ptr(node_id array, uint32_t reference);  // the first equal item; nothing when absent

// Removes n bytes at the byte offset, moving the rest down; a range past the end is cut there.
void remove_at(node_id array, uint32_t byte_offset, uint32_t n);

}  // namespace tav::array
