// Memory statistics: walks the node, series and big frames and the tracked heap.
#include "runtime/memory_stats.hpp"

#include <cstring>

#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"

namespace tav {
namespace {

constexpr uint32_t block_header = 5;
constexpr uint32_t integer_header = 11;
constexpr uint32_t float_header = 12;
constexpr uint32_t detail_cells = 8;

constexpr size_t node_frame_bytes = size_t{node_frame_stride} * sizeof(uintptr_t);

// Appends a cell; `alloc_tail` may move the block's buffer, so the node is resolved each time.
cell& append(node_id block, const cell& value) { return *alloc_tail(buffer_of(block)) = value; }

node_id append_block(node_id block, bool new_line) {
  node_id inner = alloc_cells(detail_cells);
  append(block, {block_header | (new_line ? cell_flag::new_line : 0), 0, inner, 0});
  return inner;
}

void append_number(node_id block, double value, uint32_t flags) {
  number_in(block, value);
  series_buffer* buffer = buffer_of(block);
  buffer->cells()[buffer->count() - 1].header |= flags;
}

void append_triple(node_id list, uint64_t free, uint64_t used, uint64_t total) {
  node_id triple = append_block(list, true);
  number_in(triple, static_cast<double>(free));
  number_in(triple, static_cast<double>(used));
  number_in(triple, static_cast<double>(total));
}

double bytes_in_use() {
  double bytes = 0;
  for (node_frame* frame = memory::state.node_head; frame; frame = frame->next)
    bytes += static_cast<double>(frame->used) * sizeof(uintptr_t);
  for (series_frame* frame = memory::state.series_head; frame; frame = frame->next)
    bytes += static_cast<double>(frame->heap - frame->start());
  for (big_frame* frame = memory::state.big_head; frame; frame = frame->next) bytes += static_cast<double>(frame->size);
  return bytes;
}

double detail(node_id block) {
  double frames = 0;
  node_id nodes = append_block(block, false);
  node_id series = append_block(block, false);
  node_id bigs = append_block(block, false);
  for (node_frame* frame = memory::state.node_head; frame; frame = frame->next) {
    append_triple(nodes, frame->capacity - frame->used, frame->used, frame->capacity);
    frames += node_frame_bytes;
  }
  for (series_frame* frame = memory::state.series_head; frame; frame = frame->next) {
    append_triple(series, frame->free_bytes(), static_cast<uint64_t>(frame->heap - frame->start()), frame->room());
    frames += frame->size;
  }
  for (big_frame* frame = memory::state.big_head; frame; frame = frame->next) {
    append_number(bigs, static_cast<double>(frame->size), cell_flag::new_line);
    frames += static_cast<double>(frame->size);
  }
  double heap = 0;
  for (heap_block* b = tracked_heap.head; b; b = b->next) heap += static_cast<double>(b->size) + sizeof(heap_block);
  number_in(block, frames + heap);
  number_in(block, heap);
  return 0;
}

// No collection may move or free what the walk is looking at, also when an error unwinds.
class collector_paused {
 public:
  collector_paused() : was_active_(collector::active_p()) { collector::set_active(false); }
  ~collector_paused() { collector::set_active(was_active_); }
  collector_paused(const collector_paused&) = delete;
  collector_paused& operator=(const collector_paused&) = delete;

 private:
  bool was_active_;
};

}  // namespace

double memory_stats(node_id block, int mode) {
  collector_paused paused;
  return mode >= 2 ? detail(block) : bytes_in_use();
}

void number_in(node_id block, double value) {
  if (value <= 2147483647.0 && value >= -2147483648.0) {
    append(block, {integer_header, 0, static_cast<uint32_t>(static_cast<int32_t>(value)), 0});
    return;
  }
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  append(block, {float_header, 0, static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)});
}

}  // namespace tav
