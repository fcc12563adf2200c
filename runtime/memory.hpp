// Memory manager: series buffers, the node table, and the node, series and big frames that
// hold them. Nothing is freed one by one; the collector reclaims through the hooks below.
//
// What a collection works with:
//   - every live buffer is reached from exactly one node (`buffer->node`, and the node's slot
//     holds the buffer's address); an abandoned buffer has node 0 and no `in_use` bit;
//   - series frames (`state.series_head`, address order) hold buffers end to end from
//     `start()` to `heap`; big frames (`state.big_head`) hold one buffer each, flagged `big`;
//     fixed buffers (flag `fixed`) live on the tracked heap and are never moved;
//   - the mark is `series_flag::marked`; it must be clear on every buffer outside a cycle;
//   - moving a live buffer means copying it and calling `set_buffer(buffer->node, new place)`;
//   - dead nodes go back with `free_node`; `sweep_big_frames` and `sweep_node_frames` do the
//     frame upkeep after marking; `state.collections` counts completed cycles;
//   - allocation calls `memory::run_collector()` where it would collect: the collector sets
//     `memory::collect_hook`. `state.stress_interval` (TAV_GC_STRESS) adds a call at every
//     Nth buffer allocation in non-release builds.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav {

// Bits of a buffer's `flags` word.
namespace series_flag {
inline constexpr uint32_t unit_mask = 0x1F;             // bytes per unit: 1, 2, 4, 8 or 16
inline constexpr uint32_t in_use = 0x80000000;          // cleared when an expansion abandons the buffer
inline constexpr uint32_t allocated = 0x20000000;       // set on every buffer the allocator makes
inline constexpr uint32_t head_insertion = 0x10000000;  // `offset` started at the middle of the data area
inline constexpr uint32_t marked = 0x08000000;          // collector mark, clear outside a collection
inline constexpr uint32_t big = 0x01000000;             // the buffer lives alone in a big frame
inline constexpr uint32_t fixed = 0x00100000;           // on the tracked heap, outside every frame, never moved
inline constexpr uint32_t owned = 0x00020000;           // an owner object watches changes
inline constexpr uint32_t system_code = 0x00040000;     // a block of a boot-made function body; copies lose it
inline constexpr uint32_t not_quick = 0x00080000;       // a hint: the block did not hold one quick value when run
}  // namespace series_flag

// A 20-byte header, then `size` bytes of data, then 4 spare bytes that belong to the buffer.
// `offset` and `tail` are byte offsets from the data start: the used data is
// [data + offset, data + tail), and a value's head index counts units from `offset`.
// The data is only 4-byte aligned: wider items go through memcpy.
struct series_buffer {
  uint32_t flags;
  node_id node;   // the node that owns the buffer; 0 once the buffer is abandoned
  uint32_t size;  // capacity of the data area in bytes, a multiple of 16
  uint32_t offset;
  uint32_t tail;

  uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
  const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(this + 1); }
  uint32_t unit() const { return flags & series_flag::unit_mask; }
  uint32_t used() const { return tail - offset; }
  uint32_t count() const { return used() >> std::countr_zero(unit()); }  // units in use
  uint8_t* head() { return data() + offset; }
  uint8_t* end() { return data() + tail; }
  cell* cells() { return reinterpret_cast<cell*>(head()); }  // unit-16 buffers only
};
static_assert(sizeof(series_buffer) == 20);

// Header, data and spare bytes: a buffer of `size` bytes occupies size + 24 bytes of its frame.
inline constexpr uint32_t buffer_overhead = 24;
// The largest data area a buffer may have; offsets and sizes stay 32-bit.
inline constexpr uint64_t max_series_size = 0x7FFFFFF0;

inline series_buffer* next_buffer(series_buffer* buffer) {
  return reinterpret_cast<series_buffer*>(reinterpret_cast<uint8_t*>(buffer) + buffer->size + buffer_overhead);
}

// ---- The node table ----------------------------------------------------------------------
// One reserved address range of 64-bit slots that never moves; a node id is the index of its
// slot, so resolving a node is one load. The range is cut into node frames of `node_frame_stride`
// slots each: the frame header fills the first `node_frame_header_slots` slots (id 0 is thus
// never a node), the frame's nodes the rest. A slot holds:
//   - the address of its buffer while the node lives (even, non-zero);
//   - 0 between `alloc_node` and the pairing with a buffer;
//   - (next free id << 1) | 1 while free (next free id 0 ends the frame's free list).
// Node ids never change while the node lives; moving a buffer rewrites only its slot.
inline constexpr uint32_t node_frame_capacity = 10000;
inline constexpr uint32_t node_frame_header_slots = 8;
inline constexpr uint32_t node_frame_stride = node_frame_capacity + node_frame_header_slots;
// Frames the range has room for (260 million nodes); fewer when the address space is limited.
inline constexpr uint32_t node_frame_limit = 26000;

struct node_frame {
  node_frame* next;  // list in creation order
  node_frame* prev;
  uint32_t capacity;  // node slots; 0 marks a released frame whose place is free for reuse
  node_id free;       // first free node, 0 when the frame is full
  uint32_t used;      // nodes in use
  uint32_t created;   // collection count when the frame was made
  uint32_t previous_used;   // `used` at the end of the previous collection
  uint32_t steady_history;  // bit 0 set when `used` did not change in the last collection
  uint32_t retiring;        // never set here: nodes do not move, so frames are never emptied by force
  node_id first;            // id of the frame's first node
};
static_assert(sizeof(node_frame) <= node_frame_header_slots * sizeof(uint64_t));

namespace memory {
extern uintptr_t* node_table;
}

inline series_buffer* buffer_of(node_id node) { return reinterpret_cast<series_buffer*>(memory::node_table[node]); }
inline void set_buffer(node_id node, series_buffer* buffer) { memory::node_table[node] = reinterpret_cast<uintptr_t>(buffer); }
inline node_frame* node_frame_of(node_id node) {
  return reinterpret_cast<node_frame*>(memory::node_table + (node / node_frame_stride) * node_frame_stride);
}

// ---- Series and big frames ---------------------------------------------------------------
// A series frame: this header, then buffers laid end to end from `start()` up to `heap`;
// [heap, tail) is free. Walk it with `first_buffer` and `next_buffer` while below `heap`.
struct alignas(16) series_frame {
  series_frame* next;  // list in ascending address order
  series_frame* prev;
  uint32_t size;  // header included
  uint8_t* heap;  // first free byte
  uint8_t* tail;  // end of the region

  uint8_t* start() { return reinterpret_cast<uint8_t*>(this + 1); }
  const uint8_t* start() const { return reinterpret_cast<const uint8_t*>(this + 1); }
  series_buffer* first_buffer() { return reinterpret_cast<series_buffer*>(start()); }
  size_t room() const { return static_cast<size_t>(tail - start()); }
  size_t free_bytes() const { return static_cast<size_t>(tail - heap); }
};

// A big frame holds exactly one buffer, right after this header.
struct alignas(16) big_frame {
  big_frame* next;  // singly linked, in creation order
  big_frame* prev;  // always null
  uint64_t size;    // header included

  series_buffer* buffer() { return reinterpret_cast<series_buffer*>(this + 1); }
};

// A raw pointer into a series frame found on the machine stack, and where it was found.
struct raw_pointer {
  uintptr_t value;
  uintptr_t* slot;
};

struct memory_state {
  size_t used = 0;  // bytes held by all frames, page-rounded
  node_frame* node_head = nullptr;
  node_frame* node_tail = nullptr;
  node_frame* node_current = nullptr;
  series_frame* series_head = nullptr;
  series_frame* series_current = nullptr;
  series_frame* series_tail = nullptr;
  uint32_t initial_frame_size = 0x100000;
  uint32_t next_frame_size = 0x100000;
  uint32_t maximum_frame_size = 0x200000;  // also the need from which buffers go to big frames
  big_frame* big_head = nullptr;
  raw_pointer* pointers = nullptr;  // the collector's list, from the tracked heap
  raw_pointer* pointers_end = nullptr;
  uint32_t pointer_capacity = 0;
  uint32_t collections = 0;  // completed collection cycles; the collector counts them
  size_t live_after_collection = 0;  // `used` when the last cycle ended
  uint32_t stress_interval = 0;  // test modes: collect at every Nth buffer allocation (0 = never)
  uint32_t stress_countdown = 0;
  bool ready = false;
};

// Where start-up finds the boot data, and whether the block compressor packed it.
struct boot_data_descriptor {
  const uint8_t* data;
  size_t size;
  bool compressed;
};

namespace memory {

inline constexpr uint32_t pointer_list_step = 1000;  // entries, at start and per growth
// A frame found after a collection is used only with at least this many free bytes.
inline constexpr size_t reuse_threshold = 0xCCCC;
// Pacing: while the frames hold less than the floor, every new series frame and every big frame
// is preceded by a collection. Above it, a collection is due only once the heap has grown to
// `growth_factor` times what the last collection left, so a growing live heap is not marked
// whole at every new 2 MB frame and the heap stays within that factor of the live data.
inline constexpr size_t pacing_floor = 0x800000;
inline constexpr size_t growth_factor = 2;

extern memory_state state;
extern boot_data_descriptor boot_descriptor;  // set by start-up before `init`
extern const uint8_t* boot_data;              // the usable boot data, after `init`
extern size_t boot_data_size;

// Called wherever an allocation would collect. The collector installs its cycle here (and
// decides itself whether it is enabled); while none is installed, allocation just goes on.
extern void (*collect_hook)();
inline void run_collector() {
  if (collect_hook) collect_hook();
}

// Set while start-up makes the vocabulary, which keeps nearly all it makes: collecting then
// would mark it all and free little.
extern bool startup_growing;

// True when making room for `need` more bytes should start with a collection.
inline bool collection_due_p(size_t need) {
  if (startup_growing && state.used + need < pacing_floor) return false;
  return state.used < pacing_floor || state.used + need >= state.live_after_collection * growth_factor;
}
// The collector calls this at the end of each cycle: what the frames hold then sets the budget.
inline void note_collection() { state.live_after_collection = state.used; }

// Once per process; later calls do nothing. Reads TAV_GC_STRESS in non-release builds.
void init();
// Test modes: while held, TAV_GC_STRESS forces no collection. Start-up holds it unless
// TAV_GC_STRESS_STARTUP is set (one test stresses the whole start-up; every other one stresses
// what runs after it). Answers whether it was held before.
bool hold_stress(bool held);
// Holds it while start-up runs, unless TAV_GC_STRESS_STARTUP is set, and restores it after.
class startup_stress_hold {
 public:
  startup_stress_hold();
  ~startup_stress_hold() { hold_stress(was_held_); }
  startup_stress_hold(const startup_stress_hold&) = delete;
  startup_stress_hold& operator=(const startup_stress_hold&) = delete;

 private:
  bool was_held_;
};
// While held, a heap under the pacing floor grows without collections; the state before is
// restored after, so holds nest.
class startup_growth_hold {
 public:
  startup_growth_hold() : was_(startup_growing) { startup_growing = true; }
  ~startup_growth_hold() { startup_growing = was_; }
  startup_growth_hold(const startup_growth_hold&) = delete;
  startup_growth_hold& operator=(const startup_growth_hold&) = delete;

 private:
  bool was_;
};
// Releases every node, series and big frame.
void free_all();

// Page-rounded blocks of virtual memory; the size is kept in front of the block. Failure
// raises internal/no-memory (allocation) or internal/wrong-mem (release).
void* vm_alloc(size_t size);
void vm_free(void* block);

node_frame* new_node_frame();
series_frame* new_series_frame();
big_frame* new_big_frame(size_t bytes);

// Collector support: unlink and return to the system (the tail becomes current when the
// current frame goes). A released node frame must hold no live node.
void release_node_frame(node_frame* frame);
void release_series_frame(series_frame* frame);
void release_big_frame(big_frame* frame);
// After each collection: releases empty node frames, picks the current one, keeps history.
void sweep_node_frames();
// After marking: big frames whose buffer is unmarked are released and their nodes freed;
// marked ones have the mark cleared.
void sweep_big_frames();

// True when `id` names a live node (for the collector's scan of machine words).
bool live_node_p(uint64_t id);

}  // namespace memory

node_id alloc_node();
void free_node(node_id node);
// A buffer without node, of round16(count x unit) bytes. Offset mode -1 places `offset` at
// size / 2 (head insertion); any other m places it at m. May run a collection.
series_buffer* alloc_series_buffer(uint32_t count, uint32_t unit, int32_t offset_mode);
// Grows the buffer of `node` to a data area of `size` bytes (a multiple of 16, not below its
// size) where it lies, when it starts at its data start and is the last buffer of the current
// series frame with the room after it: nothing is copied or abandoned. Answers the buffer, or
// null when it cannot grow there. May run a collection in the test modes, as an allocation would.
series_buffer* grow_in_place(node_id node, uint32_t size);
void fill_bytes(uint8_t* first, uint8_t* end, uint8_t byte);

}  // namespace tav
