// Series operations on nodes and buffers: allocation in units, expansion, copies, appends.
// A raw pointer into a buffer is valid only until the next allocation: keep the node (and
// head indexes) across anything that may allocate, and resolve again with `buffer_of`.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace tav {

// New node and buffer of round16(count x unit) bytes; offset mode -1 starts `offset` (and
// `tail`) at the middle of the data area, any other m at byte m.
node_id alloc_series(uint32_t count, uint32_t unit, int32_t offset_mode);
node_id alloc_cells(uint32_t count);
// Every cell of the whole data area starts as unset!.
node_id alloc_unset_cells(uint32_t count);
// A count of 0 still yields a 16-byte data area.
node_id alloc_bytes(uint32_t count);
node_id alloc_bytes_filled(uint32_t count, uint8_t byte);
// Text units 1, 2 or 4; a count of 0 means 16 bytes' worth of units.
node_id alloc_by_unit(uint32_t count, uint32_t unit);
// A buffer on the tracked heap, outside every frame: never moved by the collector.
node_id alloc_fixed_series(uint32_t count, uint32_t unit, uint32_t offset);
void set_series_flags(node_id node, uint32_t bits);

// Moves the series to a new buffer of `new_size` bytes (0: twice the current size) and
// answers it; the old buffer is abandoned. `expand_series_core` leaves the new data area
// unwritten, `expand_series` copies the old data from its `offset` (bytes past `tail` too),
// `expand_series_filled` also fills the rest of the new area with `byte`. A size below 1 or
// beyond the largest buffer raises internal/no-memory.
series_buffer* expand_series_core(series_buffer* buffer, int64_t new_size);
series_buffer* expand_series(series_buffer* buffer, int64_t new_size);
series_buffer* expand_series_filled(series_buffer* buffer, int64_t new_size, uint8_t byte);
// New node and buffer of the same size holding the same data, starting at the data start.
node_id copy_series(series_buffer* buffer);

// Appends one cell (preset to unset!), doubling the buffer when it is full.
cell* alloc_tail(series_buffer* buffer);
cell* alloc_block_tail(const cell& block);
// Reserves n bytes at `tail` and answers where they start.
uint8_t* alloc_tail_bytes(series_buffer* buffer, uint32_t n);

}  // namespace tav
