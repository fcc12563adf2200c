// Memory manager: virtual-memory blocks, node frames, series and big frames, buffer placement.
#include "runtime/memory.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "runtime/decompress.hpp"
#include "runtime/errors.hpp"
#include "runtime/heap.hpp"
#include "runtime/platform.hpp"
#include "runtime/poison.hpp"
#include "runtime/throw.hpp"


namespace tav {
namespace memory {

uintptr_t* node_table = nullptr;
memory_state state;
boot_data_descriptor boot_descriptor{nullptr, 0, false};
const uint8_t* boot_data = nullptr;
size_t boot_data_size = 0;
void (*collect_hook)() = nullptr;

namespace {

// The page calls throw these codes; around them they become language errors.
constexpr uint32_t page_failure_threshold = 0x7FFFFFF8;
// A block keeps its page-rounded size in front; 16 bytes keep the frame after it 16-aligned.
constexpr size_t block_prefix = 16;
constexpr size_t node_frame_bytes = size_t{node_frame_stride} * sizeof(uintptr_t);
// Under a tight address-space limit the node range shrinks to what can be reserved, down to
// this many frames.
constexpr uint32_t node_frame_minimum = 16;

// Places in the node range are handed out in order; a released frame's place is reused first.
// The range is committed up to the highest place made, and stays committed.
struct node_space {
  uint32_t limit;  // frames the reserved range holds
  uint32_t made;
  uint8_t* committed_end;
  uint32_t* released;
  uint32_t released_count;
  uint32_t released_capacity;
};
node_space space{};

[[gnu::cold, noreturn]] void no_memory() { fire(error_id::internal_no_memory); }

uint8_t* page_floor(uint8_t* address) {
  return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(address) & ~(platform::page_size() - 1));
}

uint8_t* page_ceil(uint8_t* address) {
  return reinterpret_cast<uint8_t*>(round_up(reinterpret_cast<uintptr_t>(address), platform::page_size()));
}

void reserve_node_range() {
  uint32_t frames = node_frame_limit;
  void* range = nullptr;
  while (!range) {
    range = catch_slot(
        page_failure_threshold, [&]() -> void* { return platform::reserve_pages(size_t{frames} * node_frame_bytes); },
        [&](uint32_t) -> void* {
          // A quarter each time, so that the range leaves room for the series too.
          if (frames / 4 < node_frame_minimum) runtime_error(94);
          frames /= 4;
          return nullptr;
        });
  }
  node_table = static_cast<uintptr_t*>(range);
  // Place 0 is never used: node ids then start above 10,000, and the small integers that fill
  // machine stacks cannot pass for nodes in the collector's conservative scan.
  space = {frames, 1, reinterpret_cast<uint8_t*>(range), nullptr, 0, 0};
}

uintptr_t* place_slots(uint32_t place) { return node_table + size_t{place} * node_frame_stride; }

uint32_t take_place() {
  if (space.released_count > 0) return space.released[--space.released_count];
  if (space.made == space.limit) no_memory();
  uint32_t place = space.made;
  auto* end = page_ceil(reinterpret_cast<uint8_t*>(place_slots(place) + node_frame_stride));
  if (end > space.committed_end) {
    catch_slot(
        page_failure_threshold,
        [&] { platform::commit_pages(space.committed_end, static_cast<size_t>(end - space.committed_end)); },
        [](uint32_t) { no_memory(); });
    space.committed_end = end;
  }
  ++space.made;
  return place;
}

// Neighbouring frames share the boundary pages, so only the pages wholly inside go back.
void give_back_place(uint32_t place) {
  auto* first = reinterpret_cast<uint8_t*>(place_slots(place));
  auto* inner_start = page_ceil(first);
  auto* inner_end = page_floor(first + node_frame_bytes);
  if (inner_end > inner_start) platform::discard_pages(inner_start, static_cast<size_t>(inner_end - inner_start));
  std::memset(first, 0, sizeof(node_frame));
  if (space.released_count == space.released_capacity) {
    space.released_capacity += 64;
    space.released =
        static_cast<uint32_t*>(heap_realloc(space.released, space.released_capacity * sizeof(uint32_t)));
  }
  space.released[space.released_count++] = place;
}

void link_series_frame(series_frame* frame) {
  series_frame* after = state.series_head;
  while (after && after < frame) after = after->next;
  frame->next = after;
  frame->prev = after ? after->prev : state.series_tail;
  if (frame->prev)
    frame->prev->next = frame;
  else
    state.series_head = frame;
  if (after)
    after->prev = frame;
  else
    state.series_tail = frame;
  if (!state.series_current) state.series_current = frame;
}

series_frame* find_series_frame(uint32_t need) {
  for (series_frame* frame = state.series_head; frame; frame = frame->next)
    if (frame->free_bytes() > need) return frame;
  return nullptr;
}

[[gnu::cold]] uint8_t* place_in_big_frame(uint32_t need) {
  if (collection_due_p(need)) run_collector();
  return reinterpret_cast<uint8_t*>(new_big_frame(need)->buffer());
}

// The current frame is full: take the first frame with room; failing that, collect when due and
// look again, and make a new frame unless the one found keeps a fair amount of room.
[[gnu::cold]] uint8_t* place_in_other_frame(uint32_t need) {
  series_frame* frame = find_series_frame(need);
  if (!frame) {
    bool collected = collection_due_p(state.next_frame_size);
    if (collected) run_collector();
    frame = collected ? find_series_frame(need) : nullptr;
    if (!frame || frame->free_bytes() < reuse_threshold) {
      if (need >= state.next_frame_size) state.next_frame_size = state.maximum_frame_size;
      frame = new_series_frame();
    }
  }
  state.series_current = frame;
  uint8_t* place = frame->heap;
  frame->heap += need;
  return place;
}

[[gnu::cold]] node_frame* take_node_frame() {
  node_frame* frame = state.node_head;
  while (frame && (frame->free == 0 || frame->retiring)) frame = frame->next;
  if (!frame) frame = new_node_frame();
  state.node_current = frame;
  return frame;
}

bool stress_held = false;

inline void stress_point() {
#ifdef TAV_TEST_MODES
  if (state.stress_interval && !stress_held && --state.stress_countdown == 0) {
    state.stress_countdown = state.stress_interval;
    run_collector();
  }
#endif
}

void read_test_modes() {
#ifdef TAV_TEST_MODES
  if (const char* stress = std::getenv("TAV_GC_STRESS")) {
    unsigned long n = std::strtoul(stress, nullptr, 10);
    state.stress_interval = static_cast<uint32_t>(std::min(n, 0xFFFFFFFFUL));
    state.stress_countdown = state.stress_interval;
  }
#endif
}

void locate_boot_data() {
  if (!boot_descriptor.data) return;
  if (boot_descriptor.compressed) {
    uint32_t size = 0;
    uint8_t* unpacked = decompress(boot_descriptor.data, boot_descriptor.size, &size);
    if (!unpacked) return;  // left unset: start-up reports the missing boot data
    boot_data = unpacked;
    boot_data_size = size;
    return;
  }
  boot_data = boot_descriptor.data;
  boot_data_size = boot_descriptor.size;
}

}  // namespace

bool startup_growing = false;

bool hold_stress(bool held) {
  const bool was = stress_held;
  stress_held = held;
  return was;
}

startup_stress_hold::startup_stress_hold()
    : was_held_(hold_stress(stress_held || !std::getenv("TAV_GC_STRESS_STARTUP"))) {}

void init() {
  if (state.ready) return;
  if (!node_table) reserve_node_range();
  state = memory_state{};
  state.pointers = static_cast<raw_pointer*>(heap_alloc(pointer_list_step * sizeof(raw_pointer)));
  state.pointers_end = state.pointers;
  state.pointer_capacity = pointer_list_step;
  read_test_modes();
  locate_boot_data();
  state.ready = true;
}

void free_all() {
  while (state.node_head) release_node_frame(state.node_head);
  while (state.series_head) release_series_frame(state.series_head);
  while (state.big_head) release_big_frame(state.big_head);
}

void* vm_alloc(size_t size) {
  size_t rounded = round_up(size + block_prefix, platform::page_size());
  void* block = catch_slot(
      page_failure_threshold, [&] { return platform::allocate_pages(rounded, false); },
      [](uint32_t) -> void* { no_memory(); });
  *static_cast<uint64_t*>(block) = rounded;
  state.used += rounded;
  return static_cast<uint8_t*>(block) + block_prefix;
}

void vm_free(void* frame) {
  uint8_t* block = static_cast<uint8_t*>(frame) - block_prefix;
  uint64_t rounded;
  std::memcpy(&rounded, block, sizeof rounded);
  state.used -= rounded;
  // The collector poisons dead room in frames; the shadow would outlive the mapping.
  TAV_UNPOISON(block, rounded);
  catch_slot(
      page_failure_threshold, [&] { platform::free_pages(block, rounded); },
      [](uint32_t) { fire(error_id::internal_wrong_mem); });
}

node_frame* new_node_frame() {
  uint32_t place = take_place();
  uintptr_t* slots = place_slots(place);
  node_id first = place * node_frame_stride + node_frame_header_slots;
  for (uint32_t i = 0; i < node_frame_capacity - 1; ++i) node_table[first + i] = (uintptr_t{first + i + 1} << 1) | 1;
  node_table[first + node_frame_capacity - 1] = 1;

  auto* frame = reinterpret_cast<node_frame*>(slots);
  *frame = {nullptr, state.node_tail, node_frame_capacity, first, 0, state.collections, 0, 0, 0, first};
  if (state.node_tail)
    state.node_tail->next = frame;
  else
    state.node_head = frame;
  state.node_tail = frame;
  state.used += node_frame_bytes;
  return frame;
}

series_frame* new_series_frame() {
  uint32_t room = state.next_frame_size;
  auto* frame = static_cast<series_frame*>(vm_alloc(sizeof(series_frame) + room));
  frame->next = frame->prev = nullptr;
  frame->size = static_cast<uint32_t>(sizeof(series_frame)) + room;
  frame->heap = frame->start();
  frame->tail = frame->start() + room;
  if (state.next_frame_size < state.maximum_frame_size)
    state.next_frame_size = std::min(state.next_frame_size * 2, state.maximum_frame_size);
  link_series_frame(frame);
  return frame;
}

big_frame* new_big_frame(size_t bytes) {
  auto* frame = static_cast<big_frame*>(vm_alloc(sizeof(big_frame) + bytes));
  *frame = {nullptr, nullptr, sizeof(big_frame) + bytes};
  big_frame** link = &state.big_head;
  while (*link) link = &(*link)->next;
  *link = frame;
  return frame;
}

void release_node_frame(node_frame* frame) {
  if (frame->prev)
    frame->prev->next = frame->next;
  else
    state.node_head = frame->next;
  if (frame->next)
    frame->next->prev = frame->prev;
  else
    state.node_tail = frame->prev;
  if (state.node_current == frame) state.node_current = state.node_tail;
  state.used -= node_frame_bytes;
  give_back_place(frame->first / node_frame_stride);
}

void release_series_frame(series_frame* frame) {
  if (frame->prev)
    frame->prev->next = frame->next;
  else
    state.series_head = frame->next;
  if (frame->next)
    frame->next->prev = frame->prev;
  else
    state.series_tail = frame->prev;
  if (state.series_current == frame) state.series_current = state.series_tail;
  vm_free(frame);
}

void release_big_frame(big_frame* frame) {
  big_frame** link = &state.big_head;
  while (*link && *link != frame) link = &(*link)->next;
  if (*link) *link = frame->next;
  vm_free(frame);
}

void sweep_node_frames() {
  node_frame* with_room = nullptr;
  for (node_frame* frame = state.node_head; frame;) {
    node_frame* next = frame->next;
    if (frame->used == 0 || frame->retiring) {
      release_node_frame(frame);
    } else {
      if (!with_room && frame->used < frame->capacity) with_room = frame;
      frame->steady_history = (frame->steady_history << 1) | (frame->previous_used == frame->used ? 1 : 0);
      frame->previous_used = frame->used;
    }
    frame = next;
  }
  if (with_room) state.node_current = with_room;
}

void sweep_big_frames() {
  for (big_frame* frame = state.big_head; frame;) {
    big_frame* next = frame->next;
    series_buffer* buffer = frame->buffer();
    if (buffer->flags & series_flag::marked) {
      buffer->flags &= ~series_flag::marked;
    } else {
      if (buffer->node && buffer_of(buffer->node) == buffer) free_node(buffer->node);
      release_big_frame(frame);
    }
    frame = next;
  }
}

bool live_node_p(uint64_t id) {
  if (id < node_frame_stride || id >= uint64_t{space.made} * node_frame_stride) return false;
  auto node = static_cast<node_id>(id);
  node_frame* frame = node_frame_of(node);
  if (frame->capacity == 0 || node < frame->first) return false;
  uintptr_t slot = node_table[node];
  return slot != 0 && (slot & 1) == 0;
}

}  // namespace memory

using memory::state;

node_id alloc_node() {
  node_frame* frame = state.node_current;
  if (!frame || frame->free == 0) [[unlikely]]
    frame = memory::take_node_frame();
  node_id node = frame->free;
  frame->free = static_cast<node_id>(memory::node_table[node] >> 1);
  memory::node_table[node] = 0;
  ++frame->used;
  return node;
}

// A node that is already free is left alone, so a second free cannot loop the free list.
void free_node(node_id node) {
  uintptr_t& slot = memory::node_table[node];
  if (slot & 1) return;
  node_frame* frame = node_frame_of(node);
  slot = (uintptr_t{frame->free} << 1) | 1;
  frame->free = node;
  --frame->used;
}

series_buffer* alloc_series_buffer(uint32_t count, uint32_t unit, int32_t offset_mode) {
  uint64_t bytes = uint64_t{count} * unit;
  if (bytes > max_series_size) [[unlikely]]
    memory::no_memory();
  auto size = static_cast<uint32_t>(round_up(bytes, 16));
  uint32_t need = size + buffer_overhead;
  memory::stress_point();
  uint32_t flags = unit | series_flag::in_use | series_flag::allocated;
  uint8_t* place;
  series_frame* frame = state.series_current;
  if (need < state.maximum_frame_size && frame && frame->free_bytes() > need) [[likely]] {
    place = frame->heap;
    frame->heap += need;
  } else if (need >= state.maximum_frame_size) {
    place = memory::place_in_big_frame(need);
    flags |= series_flag::big;
  } else {
    place = memory::place_in_other_frame(need);
  }
  auto* buffer = reinterpret_cast<series_buffer*>(place);
  buffer->node = 0;
  buffer->size = size;
  if (offset_mode == -1) {
    flags |= series_flag::head_insertion;
    buffer->offset = size >> 1;
  } else {
    buffer->offset = offset_mode < 0 ? 0 : std::min(static_cast<uint32_t>(offset_mode), size);
  }
  buffer->flags = flags;
  buffer->tail = buffer->offset;
  return buffer;
}

series_buffer* grow_in_place(node_id node, uint32_t size) {
  memory::stress_point();
  series_buffer* buffer = buffer_of(node);
  series_frame* frame = state.series_current;
  if (!frame || buffer->offset != 0 || size < buffer->size || size + buffer_overhead >= state.maximum_frame_size)
    return nullptr;
  if (buffer->flags & (series_flag::big | series_flag::fixed)) return nullptr;
  uint32_t more = size - buffer->size;
  if (reinterpret_cast<uint8_t*>(next_buffer(buffer)) != frame->heap || frame->free_bytes() <= more) return nullptr;
  frame->heap += more;
  buffer->size = size;
  return buffer;
}

void fill_bytes(uint8_t* first, uint8_t* end, uint8_t byte) {
  if (end > first) std::memset(first, byte, static_cast<size_t>(end - first));
}

}  // namespace tav
