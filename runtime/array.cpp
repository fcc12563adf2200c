// Raw arrays: growable vectors of bytes and 32-bit items in a series.
#include "runtime/array.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "runtime/errors.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"

namespace tav::array {
namespace {

constexpr uint32_t item = sizeof(uint32_t);

void append_item(node_id array, uint32_t value) { std::memcpy(alloc_tail_bytes(buffer_of(array), item), &value, item); }

int32_t find_item(node_id array, uint32_t value) {
  series_buffer* buffer = buffer_of(array);
  const uint8_t* head = buffer->head();
  for (uint32_t at = 0; at + item <= buffer->used(); at += item) {
    uint32_t current;
    std::memcpy(&current, head + at, item);
    if (current == value) return static_cast<int32_t>(at);
  }
  return -1;
}

uint8_t* item_at(node_id array, uint32_t position) {
  series_buffer* buffer = buffer_of(array);
  if (position == 0 || uint64_t{position} * item > buffer->used()) [[unlikely]]
    fire(error_id::script_past_end);
  return buffer->head() + (position - 1) * item;
}

uint32_t pick_item(node_id array, uint32_t position) {
  uint32_t value;
  std::memcpy(&value, item_at(array, position), item);
  return value;
}

}  // namespace

node_id make(uint32_t count, uint32_t unit) { return alloc_series(count ? count : 16 / unit, unit, 0); }

uint32_t length(node_id array) { return buffer_of(array)->count(); }

void clear(node_id array) {
  series_buffer* buffer = buffer_of(array);
  buffer->tail = buffer->offset;
}

void set_length(node_id array, uint32_t n) {
  series_buffer* buffer = buffer_of(array);
  uint64_t bytes = uint64_t{n} << std::countr_zero(buffer->unit());
  if (bytes <= buffer->used()) {
    buffer->tail = buffer->offset + static_cast<uint32_t>(bytes);
    return;
  }
  if (bytes > max_series_size) fire(error_id::internal_no_memory);
  uint32_t extra = static_cast<uint32_t>(bytes) - buffer->used();
  std::memset(alloc_tail_bytes(buffer, extra), 0, extra);
}

node_id copy(node_id array) { return copy_series(buffer_of(array)); }

uint32_t flags(node_id array) { return buffer_of(array)->flags; }

uint8_t* data(node_id array) { return buffer_of(array)->head(); }

void append_byte(node_id array, uint8_t byte) { *alloc_tail_bytes(buffer_of(array), 1) = byte; }

void append_bytes(node_id array, const void* source, uint32_t n) {
  if (n == 0) return;
  std::memcpy(alloc_tail_bytes(buffer_of(array), n), source, n);
}

void append_int(node_id array, int32_t value) { append_item(array, static_cast<uint32_t>(value)); }

int32_t find_int(node_id array, int32_t value) { return find_item(array, static_cast<uint32_t>(value)); }

int32_t pick_int(node_id array, uint32_t position) { return static_cast<int32_t>(pick_item(array, position)); }

void poke_int(node_id array, uint32_t position, int32_t value) {
  std::memcpy(item_at(array, position), &value, item);
}

void append_ptr(node_id array, uint32_t reference) { append_item(array, reference); }

int32_t find_ptr(node_id array, uint32_t reference) { return find_item(array, reference); }

uint32_t pick_ptr(node_id array, uint32_t position) { return pick_item(array, position); }

void remove_ptr(node_id array, uint32_t reference) {
  int32_t at = find_item(array, reference);
  if (at >= 0) remove_at(array, static_cast<uint32_t>(at), item);
}

void remove_at(node_id array, uint32_t byte_offset, uint32_t n) {
  series_buffer* buffer = buffer_of(array);
  uint32_t used = buffer->used();
  if (byte_offset >= used) return;
  n = std::min(n, used - byte_offset);
  uint8_t* at = buffer->head() + byte_offset;
  std::memmove(at, at + n, used - byte_offset - n);
  buffer->tail -= n;
}

}  // namespace tav::array
