// Series operations: allocation in units, expansion, copies and appends at the tail.
#include "runtime/series.hpp"

#include <algorithm>
#include <cstring>

#include "runtime/errors.hpp"
#include "runtime/heap.hpp"

namespace tav {
namespace {

[[gnu::cold, noreturn]] void no_memory() { fire(error_id::internal_no_memory); }

void pair(node_id node, series_buffer* buffer) {
  buffer->node = node;
  set_buffer(node, buffer);
}

// The buffer is allocated before anything is read from the old one: the allocation may run a
// collection, after which only the node still leads to the old data.
series_buffer* expand(series_buffer* buffer, int64_t new_size, bool copy) {
  if (new_size == 0) new_size = std::max<int64_t>(int64_t{buffer->size} * 2, 16);
  if (new_size < 1 || static_cast<uint64_t>(new_size) > max_series_size) no_memory();
  node_id node = buffer->node;
  if (node && buffer_of(node) == buffer)
    if (series_buffer* grown = grow_in_place(node, static_cast<uint32_t>(round_up(new_size, 16)))) return grown;
  series_buffer* fresh = alloc_series_buffer(static_cast<uint32_t>(new_size), 1, 0);
  series_buffer* old = node ? buffer_of(node) : buffer;

  // The new buffer lives where the allocator put it, so those two bits are its own.
  constexpr uint32_t placement = series_flag::big | series_flag::fixed;
  fresh->flags = (old->flags & ~placement) | (fresh->flags & placement);
  fresh->tail = std::min(old->used(), fresh->size);
  if (copy) std::memcpy(fresh->data(), old->head(), std::min(old->size - old->offset, fresh->size));
  if (node) pair(node, fresh);
  old->node = 0;
  old->flags &= ~series_flag::in_use;
  return fresh;
}

}  // namespace

node_id alloc_series(uint32_t count, uint32_t unit, int32_t offset_mode) {
  series_buffer* buffer = alloc_series_buffer(count, unit, offset_mode);
  node_id node = alloc_node();
  pair(node, buffer);
  return node;
}

node_id alloc_cells(uint32_t count) { return alloc_series(count, 16, 0); }

node_id alloc_unset_cells(uint32_t count) {
  node_id node = alloc_cells(count);
  series_buffer* buffer = buffer_of(node);
  auto* cells = reinterpret_cast<cell*>(buffer->data());
  std::fill(cells, cells + buffer->size / sizeof(cell), cell{unset_header, 0, 0, 0});
  return node;
}

node_id alloc_bytes(uint32_t count) { return alloc_series(count ? count : 16, 1, 0); }

node_id alloc_bytes_filled(uint32_t count, uint8_t byte) {
  node_id node = alloc_bytes(count);
  series_buffer* buffer = buffer_of(node);
  std::memset(buffer->data(), byte, buffer->size);
  return node;
}

node_id alloc_by_unit(uint32_t count, uint32_t unit) {
  if (count == 0) count = 16u >> (unit >> 1);
  return alloc_series(count, unit, 0);
}

node_id alloc_fixed_series(uint32_t count, uint32_t unit, uint32_t offset) {
  uint64_t bytes = uint64_t{count} * unit;
  if (bytes > max_series_size) no_memory();
  auto size = static_cast<uint32_t>(round_up(bytes, 16));
  auto* buffer = static_cast<series_buffer*>(heap_alloc(sizeof(series_buffer) + size + 4));
  buffer->flags = unit | series_flag::in_use | series_flag::allocated | series_flag::fixed;
  buffer->size = size;
  buffer->offset = buffer->tail = std::min(offset, size);
  pair(alloc_node(), buffer);
  return buffer->node;
}

void set_series_flags(node_id node, uint32_t bits) { buffer_of(node)->flags |= bits; }

series_buffer* expand_series_core(series_buffer* buffer, int64_t new_size) { return expand(buffer, new_size, false); }

series_buffer* expand_series(series_buffer* buffer, int64_t new_size) { return expand(buffer, new_size, true); }

// Everything after the copied bytes gets the byte, so a buffer whose data started past its
// data start leaves no stale bytes behind.
series_buffer* expand_series_filled(series_buffer* buffer, int64_t new_size, uint8_t byte) {
  uint32_t copied = buffer->size - buffer->offset;
  series_buffer* fresh = expand(buffer, new_size, true);
  fill_bytes(fresh->data() + std::min(copied, fresh->size), fresh->data() + fresh->size, byte);
  return fresh;
}

node_id copy_series(series_buffer* buffer) {
  node_id source_node = buffer->node;
  series_buffer* fresh = alloc_series_buffer(buffer->size, 1, 0);
  series_buffer* source = source_node ? buffer_of(source_node) : buffer;
  constexpr uint32_t not_copied =
      series_flag::big | series_flag::fixed | series_flag::owned | series_flag::marked | series_flag::system_code;
  fresh->flags = (source->flags & ~not_copied) | (fresh->flags & series_flag::big);
  fresh->tail = source->used();
  std::memcpy(fresh->data(), source->head(), source->size - source->offset);
  node_id node = alloc_node();
  pair(node, fresh);
  return node;
}

cell* alloc_tail(series_buffer* buffer) {
  if (buffer->tail + sizeof(cell) > buffer->size) buffer = expand_series(buffer, 0);
  auto* slot = reinterpret_cast<cell*>(buffer->end());
  buffer->tail += sizeof(cell);
  *slot = cell{unset_header, 0, 0, 0};
  return slot;
}

cell* alloc_block_tail(const cell& block) { return alloc_tail(buffer_of(block.payload2)); }

uint8_t* alloc_tail_bytes(series_buffer* buffer, uint32_t n) {
  if (uint64_t{buffer->tail} + n > buffer->size)
    buffer = expand_series(buffer, n > buffer->size ? int64_t{n} * 2 : int64_t{buffer->size} * 2);
  uint8_t* place = buffer->end();
  buffer->tail += n;
  return place;
}

}  // namespace tav
