// Garbage collector: roots and callbacks, the mark work list, the conservative stack scan that
// pins buffers, compaction of series frames (sliding, or evacuating in the test mode), and
// the heap check of the test modes.
#include "runtime/collector.hpp"

#include <pthread.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/externals.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/platform.hpp"
#include "runtime/poison.hpp"
#include "runtime/throw.hpp"


// The stack holds AddressSanitizer's redzones between locals: the scan reads them on purpose.
#define TAV_STACK_SCAN __attribute__((no_sanitize("address")))

namespace tav::collector {

statistics stats{0, 0, 5};
test_mode_flags test_modes{false, false};

namespace {

using memory::state;

// ---- Type ids of the values that refer to series -----------------------------------------
namespace type {
inline constexpr uint8_t function = 24;
inline constexpr uint8_t routine = 29;
inline constexpr uint8_t last = 54;  // event!
}  // namespace type

// What a cell refers to, by the type id in its header (payload words as the value layouts
// fix them). One table, read by the marker and by the heap check.
enum class refs : uint8_t {
  none,
  block,     // payload 2: block (0 for an empty path)
  string,    // payload 2: text; payload 3: conversion cache or 0
  symbol,    // payload 3: UTF-8 name; payload 2: string! spelling or 0
  context,   // payload 1: word-list hash table; payload 2: values, unless on the argument stack
  word,      // payload 1: bound context or 0
  native,    // payload 2: spec block; payload 3: extra block
  op,        // as native; made from a function or routine, payload 1 is its context
  function,  // payload 1: context; payload 2: spec; payload 3: more-series
  series,    // payload 2: data series
  object,    // payload 1: context; payload 3: on-change information or 0
  table,     // payload 2: block; payload 3: its hash table
  handle,    // payload 3: externals slot, or -1
  image,     // payload 2: image series or 0, then the image's own marking
  event,     // payload 2: a block when the header says so
};

constexpr std::array<refs, 256> reference_table = [] {
  std::array<refs, 256> table{};
  for (int id : {5, 6, 25, 26, 27, 28}) table[id] = refs::block;  // block, paren, the paths
  for (int id : {7, 8, 9, 44, 45, 50}) table[id] = refs::string;  // string, file, url, tag, email, ref
  table[13] = refs::symbol;
  table[14] = refs::context;
  // word .. refinement, and issue!, which has the same binding
  for (int id = 15; id <= 20; ++id) table[id] = refs::word;
  table[21] = table[22] = refs::native;                     // native, action
  table[23] = refs::op;
  table[24] = table[29] = refs::function;                    // function, routine
  for (int id : {30, 35, 41}) table[id] = refs::series;     // bitset, vector, binary
  for (int id : {32, 34, 48}) table[id] = refs::object;     // object, error, port
  table[36] = table[40] = refs::table;                       // hash, map
  table[46] = refs::handle;
  table[53] = refs::image;
  table[54] = refs::event;
  return table;
}();

// Hands every reference of the cell to the visitor: `series(node)`, `table(node)`,
// `external(index)`, `image(cell)`. Null nodes are handed on too; visitors skip them.
template <class Visitor>
[[gnu::always_inline]] inline void visit_references(const cell& value, Visitor& visit) {
  switch (reference_table[value.type()]) {
    case refs::none: return;
    case refs::block:
    case refs::series: visit.series(value.payload2); return;
    case refs::string: visit.series(value.payload2); visit.series(value.payload3); return;
    case refs::symbol: visit.series(value.payload3); visit.series(value.payload2); return;
    case refs::context:
      visit.table(value.payload1);
      if (!(value.header & cell_flag::stack_values)) visit.series(value.payload2);
      return;
    case refs::word: visit.series(value.payload1); return;
    case refs::op: {
      uint32_t source = (value.header & cell_flag::op_source_mask) >> 16;
      if (source == type::function || source == type::routine) visit.series(value.payload1);
      visit.series(value.payload2);
      visit.series(value.payload3);
      return;
    }
    case refs::native: visit.series(value.payload2); visit.series(value.payload3); return;
    case refs::function:
      visit.series(value.payload1);
      visit.series(value.payload2);
      visit.series(value.payload3);
      return;
    case refs::object: visit.series(value.payload1); visit.series(value.payload3); return;
    case refs::table: visit.series(value.payload2); visit.table(value.payload3); return;
    case refs::handle: visit.external(static_cast<int32_t>(value.payload3)); return;
    case refs::image:
      if (value.payload2) {
        visit.series(value.payload2);
        visit.image(value);
      }
      return;
    case refs::event:
      if (value.header & cell_flag::event_block) visit.series(value.payload2);
      return;
  }
  __builtin_unreachable();  // spares the range check of the jump table
}

// ---- Growable lists on the tracked heap ---------------------------------------------------
template <class T>
struct grow_list {
  T* items = nullptr;
  uint32_t count = 0;
  uint32_t capacity = 0;

  void push(T item) {
    if (count == capacity) grow();
    items[count++] = item;
  }
  T pop() { return items[--count]; }
  void grow() {
    capacity = capacity ? capacity * 2 : 1000;
    items = static_cast<T*>(heap_realloc(items, sizeof(T) * capacity));
  }
  T* begin() { return items; }
  T* end() { return items + count; }
};

enum class root_kind : uint8_t { cell, node, range };
struct root_entry {
  const void* place;
  uint32_t count;
  root_kind kind;
};

// A series frame's used region or a big frame's buffer, for lookups of machine words.
struct frame_span {
  uintptr_t start;
  uintptr_t end;
  series_frame* series;  // null for a big frame
};

grow_list<root_entry> roots;
void (*callbacks[callback_limit])() = {};
uint32_t callback_count = 0;
void (*sweeps[callback_limit])() = {};
uint32_t sweep_count = 0;
void (*hashtable_marker)(node_id) = nullptr;
void (*image_marker)(const cell&) = nullptr;

bool active = false;
std::atomic<bool> running{false};

grow_list<series_buffer*> work;          // marked cell buffers whose cells are still to mark
grow_list<series_buffer*> fixed_marked;  // their marks are cleared at the end of the cycle
grow_list<series_buffer*> pinned;        // ascending addresses
grow_list<frame_span> spans;             // ascending addresses
grow_list<series_frame*> old_frames;     // evacuation walks the frames as they were
uintptr_t spans_low = 0;
uintptr_t spans_high = 0;

// Node frames of the current memory state, by place: a word is a node only when its place
// belongs to a frame of this state.
grow_list<uint8_t> place_live;

// The same answer by groups of ids, without the division by the frame stride: a group lies
// wholly among the node slots of live frames, or outside them all, or is mixed (a frame
// header or a frame's edge falls in it) and asks `place_live`.
constexpr uint32_t node_group_shift = 8;
enum node_group : uint8_t { group_none, group_nodes, group_mixed };
grow_list<uint8_t> node_groups;

constexpr size_t move_threshold = 0xCCCD;  // a previous frame with this much room takes live runs
constexpr uint8_t poison_byte = 0xDB;
constexpr uint32_t filler_flags = series_flag::allocated | 1;

// ---- The view of the heap a cycle works with ------------------------------------------------
void refresh_view() {
  place_live.count = 0;
  node_groups.count = 0;
  for (node_frame* frame = state.node_head; frame; frame = frame->next) {
    uint32_t place = frame->first / node_frame_stride;
    while (place_live.count <= place) place_live.push(0);
    place_live.items[place] = 1;
    uint32_t low = place * node_frame_stride + node_frame_header_slots;
    uint32_t high = place * node_frame_stride + node_frame_stride;  // past the last slot
    uint32_t last_group = (high - 1) >> node_group_shift;
    while (node_groups.count <= last_group) node_groups.push(group_none);
    for (uint32_t group = (low - node_frame_header_slots) >> node_group_shift; group <= last_group; ++group) {
      bool whole = group << node_group_shift >= low && (group + 1) << node_group_shift <= high;
      node_groups.items[group] = whole ? group_nodes : group_mixed;
    }
  }

  spans.count = 0;
  for (series_frame* frame = state.series_head; frame; frame = frame->next)
    spans.push({reinterpret_cast<uintptr_t>(frame->start()), reinterpret_cast<uintptr_t>(frame->heap), frame});
  for (big_frame* frame = state.big_head; frame; frame = frame->next) {
    series_buffer* buffer = frame->buffer();
    auto start = reinterpret_cast<uintptr_t>(buffer);
    spans.push({start, start + buffer->size + buffer_overhead, nullptr});
  }
  std::sort(spans.begin(), spans.end(), [](const frame_span& a, const frame_span& b) { return a.start < b.start; });
  spans_low = spans.count ? spans.items[0].start : 0;
  spans_high = 0;
  for (const frame_span& span : spans) spans_high = std::max(spans_high, span.end);
}

[[gnu::noinline]] bool node_slot_p(uint32_t id) {
  uint32_t place = id / node_frame_stride;
  if (place >= place_live.count || !place_live.items[place]) return false;
  return id - place * node_frame_stride >= node_frame_header_slots;
}

inline bool node_live(uint32_t id) {
  uint32_t group = id >> node_group_shift;
  if (group >= node_groups.count) return false;
  uint8_t kind = node_groups.items[group];
  if (kind != group_nodes) [[unlikely]]
    if (kind == group_none || !node_slot_p(id)) return false;
  uintptr_t slot = memory::node_table[id];
  return slot != 0 && (slot & 1) == 0;
}

const frame_span* find_span(uintptr_t address) {
  if (address < spans_low || address >= spans_high) return nullptr;
  const frame_span* after = std::upper_bound(spans.begin(), spans.end(), address,
                                             [](uintptr_t a, const frame_span& span) { return a < span.start; });
  if (after == spans.begin()) return nullptr;
  const frame_span* span = after - 1;
  return address < span->end ? span : nullptr;
}

// ---- Marking --------------------------------------------------------------------------------
[[gnu::always_inline]] inline void mark_buffer(series_buffer* buffer) {
  const uint32_t flags = buffer->flags;
  if (flags & series_flag::marked) return;
  buffer->flags = flags | series_flag::marked;
  if (flags & series_flag::fixed) [[unlikely]]
    fixed_marked.push(buffer);
  if ((flags & series_flag::unit_mask) == 16) work.push(buffer);
}

[[gnu::always_inline]] inline void mark_series(node_id node) {
  if (node_live(node)) mark_buffer(buffer_of(node));
}

// Not skipped when the record is marked: the stack scan marks a record found there as a
// plain series, and the arrays would be lost.
void mark_table(node_id table) {
  if (!node_live(table)) return;
  if (hashtable_marker) hashtable_marker(table);
  mark_buffer(buffer_of(table));
}

// Words of one context and values of one series come in runs: an id met before in this cycle
// has been marked or found dead since, and marking only ever adds marks, so a small memory of
// recent ids skips the node lookups for them. It is cleared at the start of every cycle.
struct marker {
  static constexpr uint32_t recent_slots = 256;
  node_id recent[recent_slots];

  [[gnu::always_inline]] void series(node_id node) {
    node_id& seen = recent[node % recent_slots];
    if (seen == node) return;
    seen = node;
    mark_series(node);
  }
  void table(node_id node) { mark_table(node); }
  void external(int32_t index) {
    if (index >= 0) externals::mark(index, nullptr);
  }
  void image(const cell& value) {
    if (image_marker) image_marker(value);
  }
};

marker cycle_marker;

inline void mark_one(const cell& value) { visit_references(value, cycle_marker); }

// Words are most of the cells of code and of word lists: they are taken before the switch.
[[gnu::always_inline]] inline void mark_cells(const cell* value, const cell* end) {
  for (; value < end; ++value) {
    const refs kind = reference_table[value->type()];
    if (kind == refs::word)
      cycle_marker.series(value->payload1);
    else if (kind != refs::none)
      visit_references(*value, cycle_marker);
  }
}

void drain() {
  while (work.count) {
    series_buffer* buffer = work.pop();
    auto* first = reinterpret_cast<const cell*>(buffer->head());
    mark_cells(first, first + buffer->used() / sizeof(cell));
  }
}

void mark_roots() {
  for (const root_entry& root : roots) {
    switch (root.kind) {
      case root_kind::cell: mark_one(*static_cast<const cell*>(root.place)); break;
      case root_kind::node: mark_series(*static_cast<const node_id*>(root.place)); break;
      case root_kind::range: {
        auto* first = static_cast<const cell*>(root.place);
        mark_cells(first, first + root.count);
        break;
      }
    }
  }
  for (uint32_t i = 0; i < callback_count; ++i)
    if (callbacks[i]) callbacks[i]();
  drain();
}

// ---- The machine stack ----------------------------------------------------------------------
void record_pointer(uintptr_t value, uintptr_t* slot) {
  if (state.pointers_end == state.pointers + state.pointer_capacity) {
    size_t used = static_cast<size_t>(state.pointers_end - state.pointers);
    state.pointer_capacity += memory::pointer_list_step;
    state.pointers =
        static_cast<raw_pointer*>(heap_realloc(state.pointers, sizeof(raw_pointer) * state.pointer_capacity));
    state.pointers_end = state.pointers + used;
  }
  *state.pointers_end++ = {value, slot};
}

// Every aligned 32-bit word that names a live node marks it (node ids are 32-bit, so one may
// sit in either half of a 64-bit slot); every aligned 64-bit word that points into a series
// frame or a big buffer is recorded for pinning.
TAV_STACK_SCAN void scan_stack(const uint8_t* low, const uint8_t* high) {
  auto first = round_up(reinterpret_cast<uintptr_t>(low), sizeof(uintptr_t));
  auto* slot = reinterpret_cast<uintptr_t*>(first);
  auto* end = reinterpret_cast<uintptr_t*>(reinterpret_cast<uintptr_t>(high) & ~uintptr_t{7});
  for (; slot < end; ++slot) {
    uintptr_t word = *slot;
    auto low_half = static_cast<uint32_t>(word);
    auto high_half = static_cast<uint32_t>(word >> 32);
    if (node_live(low_half)) mark_series(low_half);
    if (node_live(high_half)) mark_series(high_half);
    if (word >= spans_low && word < spans_high) record_pointer(word, slot);
  }
}

// Marks the buffer each recorded pointer points into; series-frame buffers are also pinned.
void pin_recorded() {
  pinned.count = 0;
  std::sort(state.pointers, state.pointers_end,
            [](const raw_pointer& a, const raw_pointer& b) { return a.value < b.value; });
  const frame_span* walked = nullptr;
  series_buffer* buffer = nullptr;
  for (raw_pointer* entry = state.pointers; entry < state.pointers_end; ++entry) {
    const frame_span* span = find_span(entry->value);
    if (!span) continue;
    if (!span->series) {
      mark_buffer(reinterpret_cast<series_buffer*>(span->start));
      continue;
    }
    if (span != walked) {
      walked = span;
      buffer = span->series->first_buffer();
    }
    while (reinterpret_cast<uintptr_t>(next_buffer(buffer)) <= entry->value) buffer = next_buffer(buffer);
    if (pinned.count == 0 || pinned.items[pinned.count - 1] != buffer) pinned.push(buffer);
    mark_buffer(buffer);
  }
  state.pointers_end = state.pointers;
}

const uint8_t* stack_top() {
  if (platform::on_runtime_thread()) return reinterpret_cast<const uint8_t*>(platform::runtime_stack().high);
  thread_local const uint8_t* top = nullptr;
  if (!top) {
    pthread_attr_t attributes;
    void* address = nullptr;
    size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
      pthread_attr_getstack(&attributes, &address, &size);
      pthread_attr_destroy(&attributes);
    }
    top = static_cast<const uint8_t*>(address) + size;
  }
  return top;
}

// ---- Compaction -------------------------------------------------------------------------------
void release_node(series_buffer* buffer) {
  node_id node = buffer->node;
  if (node && (buffer->flags & series_flag::in_use) && buffer_of(node) == buffer) free_node(node);
}

void write_filler(uint8_t* place, uint32_t size) {
  auto* filler = reinterpret_cast<series_buffer*>(place);
  *filler = {filler_flags, 0, size, 0, 0};
  if (test_modes.evacuate) std::memset(filler->data(), poison_byte, size + 4);
  TAV_POISON(filler->data(), size + 4);
}

// The room before a pinned buffer becomes one or two dead buffers, so the frame still parses.
// Every footprint is 8 more than a multiple of 16, so the gap is too or is a multiple of 16;
// in the second case it spans at least two footprints, room for two fillers.
void fill_gap(uint8_t* from, uint8_t* to) {
  if (static_cast<size_t>(to - from) % 16 == 0) {
    write_filler(from, 0);
    from += buffer_overhead;
  }
  write_filler(from, static_cast<uint32_t>(to - from) - buffer_overhead);
}

class pin_cursor {
 public:
  bool pinned_p(series_buffer* buffer) {
    while (next_ < pinned.count && pinned.items[next_] < buffer) ++next_;
    return next_ < pinned.count && pinned.items[next_] == buffer;
  }

 private:
  uint32_t next_ = 0;
};

// Consecutive live buffers bound for consecutive places move with one memmove.
class run_mover {
 public:
  void add(series_buffer* buffer, uint8_t* destination, size_t length) {
    auto* source = reinterpret_cast<uint8_t*>(buffer);
    if (length_ && from_ + length_ == source && to_ + length_ == destination) {
      length_ += length;
      return;
    }
    flush();
    from_ = source;
    to_ = destination;
    length_ = length;
  }

  void flush() {
    if (length_ && to_ != from_) {
      std::memmove(to_, from_, length_);
      for (uint8_t* at = to_; at < to_ + length_;) {
        auto* moved = reinterpret_cast<series_buffer*>(at);
        auto* old = reinterpret_cast<series_buffer*>(at - to_ + from_);
        if (moved->node && buffer_of(moved->node) == old) set_buffer(moved->node, moved);
        at = reinterpret_cast<uint8_t*>(next_buffer(moved));
      }
    }
    length_ = 0;
  }

 private:
  uint8_t* from_ = nullptr;
  uint8_t* to_ = nullptr;
  size_t length_ = 0;
};

bool last_frame_p(series_frame* frame) { return frame->next == nullptr && frame->prev == nullptr; }

void release_if_empty(series_frame* frame, bool keep_last) {
  if (frame->heap != frame->start()) return;
  if (keep_last ? frame->next == nullptr : last_frame_p(frame)) return;
  memory::release_series_frame(frame);
}

// Clears the marks of the live buffers from `at` up to the first dead one, which it answers.
uint8_t* keep_live_run(uint8_t* at, const uint8_t* end) {
  while (at < end) {
    auto* buffer = reinterpret_cast<series_buffer*>(at);
    if (!(buffer->flags & series_flag::marked)) break;
    buffer->flags &= ~series_flag::marked;
    at += buffer->size + buffer_overhead;
  }
  return at;
}

// Slides the live buffers down over the dead ones, or into the free end of the previous frame
// when that has fair room. Pinned buffers stay; the room before them becomes fillers.
void slide_frame(series_frame* frame, pin_cursor& pins) {
  uint8_t* end = frame->heap;
  TAV_UNPOISON(frame->start(), static_cast<size_t>(end - frame->start()));
  series_frame* previous = frame->prev;
  bool into_previous = previous && previous->free_bytes() >= move_threshold;
  uint8_t* cursor = frame->start();
  run_mover run;
  for (uint8_t* at = frame->start(); at < end;) {
    auto* buffer = reinterpret_cast<series_buffer*>(at);
    size_t length = buffer->size + buffer_overhead;
    at += length;
    if (!(buffer->flags & series_flag::marked)) {
      release_node(buffer);
      continue;
    }
    buffer->flags &= ~series_flag::marked;
    if (cursor == reinterpret_cast<uint8_t*>(buffer) && !into_previous) {
      // Nothing dead before it yet: it stays, pinned or not, and so does the live run after it.
      at = keep_live_run(at, end);
      cursor = at;
      continue;
    }
    if (pins.pinned_p(buffer)) {
      run.flush();
      if (cursor < reinterpret_cast<uint8_t*>(buffer)) fill_gap(cursor, reinterpret_cast<uint8_t*>(buffer));
      cursor = at;
      continue;
    }
    if (into_previous && previous->free_bytes() >= length) {
      run.add(buffer, previous->heap, length);
      previous->heap += length;
      continue;
    }
    into_previous = false;
    run.add(buffer, cursor, length);
    cursor += length;
  }
  run.flush();
  frame->heap = cursor;
  release_if_empty(frame, true);
}

series_frame* to_space(series_frame* current, size_t length) {
  if (current && current->free_bytes() >= length) return current;
  state.next_frame_size = state.maximum_frame_size;
  return memory::new_series_frame();
}

// Every live buffer that is not pinned moves to a fresh frame; what it leaves is filled with
// the poison byte, and frames left empty go back to the system, so a stale pointer reads
// poison or faults.
void evacuate_frames(pin_cursor& pins) {
  old_frames.count = 0;
  for (series_frame* frame = state.series_head; frame; frame = frame->next) old_frames.push(frame);
  series_frame* destination = nullptr;
  for (series_frame* frame : old_frames) {
    uint8_t* end = frame->heap;
    TAV_UNPOISON(frame->start(), static_cast<size_t>(end - frame->start()));
    uint8_t* cursor = frame->start();
    for (uint8_t* at = frame->start(); at < end;) {
      auto* buffer = reinterpret_cast<series_buffer*>(at);
      size_t length = buffer->size + buffer_overhead;
      at += length;
      if (!(buffer->flags & series_flag::marked)) {
        release_node(buffer);
        continue;
      }
      buffer->flags &= ~series_flag::marked;
      if (pins.pinned_p(buffer)) {
        if (cursor < reinterpret_cast<uint8_t*>(buffer)) fill_gap(cursor, reinterpret_cast<uint8_t*>(buffer));
        cursor = at;
        continue;
      }
      destination = to_space(destination, length);
      auto* moved = reinterpret_cast<series_buffer*>(destination->heap);
      std::memcpy(moved, buffer, length);
      destination->heap += length;
      if (moved->node && buffer_of(moved->node) == buffer) set_buffer(moved->node, moved);
    }
    frame->heap = cursor;
    std::memset(cursor, poison_byte, static_cast<size_t>(end - cursor));
  }
  for (series_frame* frame : old_frames) release_if_empty(frame, false);
}

void compact() {
  pin_cursor pins;
  if (test_modes.evacuate) {
    evacuate_frames(pins);
    return;
  }
  for (series_frame* frame = state.series_head; frame;) {
    series_frame* next = frame->next;
    slide_frame(frame, pins);
    frame = next;
  }
}

// ---- The heap check ---------------------------------------------------------------------------
char check_report[256];

[[gnu::format(printf, 1, 2)]] const char* fault(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(check_report, sizeof check_report, format, arguments);
  va_end(arguments);
  return check_report;
}

bool unit_p(uint32_t unit) { return unit == 1 || unit == 2 || unit == 4 || unit == 8 || unit == 16; }

const char* check_buffer(const series_buffer* buffer, bool after_cycle) {
  const void* at = buffer;
  if (!(buffer->flags & series_flag::allocated)) return fault("buffer %p: not made by the allocator", at);
  if (!unit_p(buffer->unit())) return fault("buffer %p: unit %u", at, buffer->unit());
  if (buffer->size % 16) return fault("buffer %p: size %u", at, buffer->size);
  if (buffer->offset > buffer->tail || buffer->tail > buffer->size)
    return fault("buffer %p: offset %u, tail %u, size %u", at, buffer->offset, buffer->tail, buffer->size);
  if (buffer->node && (!node_live(buffer->node) || buffer_of(buffer->node) != buffer))
    return fault("buffer %p: node %u does not lead back to it", at, buffer->node);
  if (after_cycle && (buffer->flags & series_flag::marked)) return fault("buffer %p: mark left after the cycle", at);
  return nullptr;
}

struct reference_check {
  const char* problem = nullptr;
  const cell* value = nullptr;

  void series(node_id node) {
    if (node && !problem && !node_live(node)) problem = fault("cell of type %u refers to dead node %u", value->type(), node);
  }
  void table(node_id node) { series(node); }
  void external(int32_t) {}
  void image(const cell&) {}
};

const char* check_cells(series_buffer* buffer) {
  auto* value = reinterpret_cast<const cell*>(buffer->head());
  auto* end = reinterpret_cast<const uint8_t*>(buffer->end());
  reference_check check;
  for (; reinterpret_cast<const uint8_t*>(value + 1) <= end; ++value) {
    if (value->type() > type::last) return fault("cell of node %u has type id %u", buffer->node, value->type());
    check.value = value;
    visit_references(*value, check);
    if (check.problem) return check.problem;
  }
  return nullptr;
}

const char* check_series_frames(bool after_cycle) {
  for (series_frame* frame = state.series_head; frame; frame = frame->next) {
    if (frame->heap < frame->start() || frame->heap > frame->tail)
      return fault("series frame %p: heap outside the frame", static_cast<void*>(frame));
    for (uint8_t* at = frame->start(); at < frame->heap;) {
      auto* buffer = reinterpret_cast<series_buffer*>(at);
      if (at + buffer_overhead > frame->heap || reinterpret_cast<uint8_t*>(next_buffer(buffer)) > frame->heap)
        return fault("series frame %p: buffer %p runs past the heap", static_cast<void*>(frame), at);
      if (buffer->flags & (series_flag::big | series_flag::fixed))
        return fault("buffer %p: placement flags in a series frame", at);
      if (const char* problem = check_buffer(buffer, after_cycle)) return problem;
      at = reinterpret_cast<uint8_t*>(next_buffer(buffer));
    }
  }
  for (big_frame* frame = state.big_head; frame; frame = frame->next) {
    if (!(frame->buffer()->flags & series_flag::big))
      return fault("big frame %p: buffer without the big flag", static_cast<void*>(frame));
    if (const char* problem = check_buffer(frame->buffer(), after_cycle)) return problem;
  }
  return nullptr;
}

const char* check_nodes(bool after_cycle) {
  for (node_frame* frame = state.node_head; frame; frame = frame->next) {
    uint32_t used = 0;
    for (node_id node = frame->first; node < frame->first + frame->capacity; ++node) {
      uintptr_t slot = memory::node_table[node];
      if (slot & 1) continue;
      ++used;
      if (slot == 0) continue;
      auto* buffer = reinterpret_cast<series_buffer*>(slot);
      if (!find_span(slot)) {
        if (!(buffer->flags & series_flag::fixed)) return fault("node %u leads outside every frame", node);
        if (const char* problem = check_buffer(buffer, after_cycle)) return problem;
      }
      if (buffer->node != node) return fault("node %u leads to a buffer of node %u", node, buffer->node);
      if (after_cycle && (buffer->flags & series_flag::marked)) return fault("node %u: mark left after the cycle", node);
      if (buffer->unit() == 16 && (buffer->flags & series_flag::in_use))
        if (const char* problem = check_cells(buffer)) return problem;
    }
    if (used != frame->used) return fault("node frame of node %u counts %u used, holds %u", frame->first, frame->used, used);
  }
  return nullptr;
}

[[gnu::cold, noreturn]] void heap_fault(const char* problem, bool after_cycle) {
  std::fprintf(stderr, "*** heap check %s collection %u: %s\n", after_cycle ? "after" : "before", stats.series_cycles,
               problem);
  std::abort();
}

void verify(bool after_cycle) {
  if (const char* problem = check_heap(after_cycle)) heap_fault(problem, after_cycle);
}

// ---- One cycle ------------------------------------------------------------------------------
void clear_fixed_marks() {
  for (series_buffer* buffer : fixed_marked) buffer->flags &= ~series_flag::marked;
  fixed_marked.count = 0;
}

[[gnu::noinline]] void do_cycle(const uint8_t* stack_low) {
  running.store(true, std::memory_order_seq_cst);
  refresh_view();
  if (test_modes.verify) verify(false);

  std::memset(cycle_marker.recent, 0, sizeof cycle_marker.recent);
  mark_roots();
  scan_stack(stack_low, stack_top());
  pin_recorded();
  drain();
  for (uint32_t i = 0; i < sweep_count; ++i)
    if (sweeps[i]) sweeps[i]();

  compact();
  memory::sweep_big_frames();
  clear_fixed_marks();
  memory::sweep_node_frames();
  memory::note_collection();
  ++stats.series_cycles;
  ++state.collections;
  if (test_modes.verify) {
    refresh_view();
    verify(true);
  }
  running.store(false, std::memory_order_seq_cst);
  externals::sweep();
}

// The callee-saved registers are spilled into this frame (and the jump buffer) before the
// scan, which starts here: the collector's own deeper frames hold no roots.
[[gnu::noinline]] void cycle_from_here() {
  __builtin_unwind_init();
  std::jmp_buf registers;
  setjmp(registers);
  do_cycle(reinterpret_cast<const uint8_t*>(&registers));
}

bool read_switch(const char* name) {
  const char* value = std::getenv(name);
  return value && *value && std::strcmp(value, "0") != 0;
}

}  // namespace

void init() {
  stats = {0, 0, 5};
#ifdef TAV_TEST_MODES
  test_modes = {read_switch("TAV_GC_EVACUATE"), read_switch("TAV_GC_VERIFY")};
#else
  (void)read_switch;
#endif
  memory::collect_hook = run;
}

void set_active(bool on) { active = on; }
bool active_p() { return active; }
bool running_p() { return running.load(std::memory_order_seq_cst); }

void run() {
  if (!active || running_p() || !state.ready) return;
  cycle_from_here();
}

void add_root(cell* root) { roots.push({root, 1, root_kind::cell}); }
void add_root(node_id* root) { roots.push({root, 1, root_kind::node}); }
void add_root_range(cell* first, uint32_t count) { roots.push({first, count, root_kind::range}); }

void remove_root(const void* root) {
  for (uint32_t i = roots.count; i-- > 0;) {
    if (roots.items[i].place != root) continue;
    std::memmove(roots.items + i, roots.items + i + 1, sizeof(root_entry) * (roots.count - i - 1));
    --roots.count;
    return;
  }
}

void register_callback(void (*mark)()) {
  if (callback_count == callback_limit) runtime_error(98);
  callbacks[callback_count++] = mark;
}

void register_sweep(void (*sweep)()) {
  if (sweep_count == callback_limit) runtime_error(98);
  sweeps[sweep_count++] = sweep;
}

bool mark_node(node_id node) {
  if (!running_p() || !node_live(node)) return false;
  series_buffer* buffer = buffer_of(node);
  if (buffer->flags & series_flag::marked) return false;
  buffer->flags |= series_flag::marked;
  if (buffer->flags & series_flag::fixed) fixed_marked.push(buffer);
  return true;
}

void mark_block(node_id node) {
  if (running_p()) mark_series(node);
}

void mark_block_cell(const cell& block) { mark_block(block.payload2); }

void mark_context(node_id context) { mark_block(context); }

void mark_cell(const cell& value) {
  if (running_p()) mark_one(value);
}

void mark_values(const cell* first, const cell* last) {
  if (running_p()) mark_cells(first, last);
}

void clear_mark(node_id node) {
  if (memory::live_node_p(node)) buffer_of(node)->flags &= ~series_flag::marked;
}

bool marked_p(node_id node) { return memory::live_node_p(node) && (buffer_of(node)->flags & series_flag::marked); }

void set_hashtable_marker(void (*mark)(node_id)) { hashtable_marker = mark; }
void set_image_marker(void (*mark)(const cell&)) { image_marker = mark; }

const char* check_heap(bool after_cycle) {
  if (!running_p()) refresh_view();
  if (const char* problem = check_series_frames(after_cycle)) return problem;
  return check_nodes(after_cycle);
}

}  // namespace tav::collector
