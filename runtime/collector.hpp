// Garbage collector: marking from registered roots, the mark callbacks and a conservative
// scan of the machine stack, then compaction of the series frames.
//
// How other subsystems keep their values alive:
//   - a global cell, node id or fixed array of cells: register it once with `add_root`
//     (`remove_root` takes it back, `scoped_root` does both for a C++ scope);
//   - anything whose extent changes (a stack from its bottom to its top, a list of frames):
//     register a mark callback that calls `mark_values`, `mark_cell` or `mark_block` each cycle;
//   - locals of C++ code on the runtime thread need nothing: a 32-bit word on the machine stack
//     equal to a live node id keeps that node, and a pointer into a series buffer keeps the
//     buffer and pins it where it is. Values in C++ heap containers are NOT seen: register them.
// Node ids never change; buffers move unless pinned, so keep nodes (or stack-held pointers)
// across anything that may allocate.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::collector {

struct statistics {
  uint32_t series_cycles;  // completed cycles
  uint32_t nodes_cycles;   // cycles that moved nodes: always 0, node ids never move here
  uint32_t idle_depth;     // setting kept for the library, 5 at start
};
extern statistics stats;

// Maximum number of mark callbacks (and, separately, of sweep callbacks).
inline constexpr uint32_t callback_limit = 100;

// Zeroes the counters, sets the idle depth and becomes the memory manager's collection hook.
// The collector stays disabled until `set_active(true)`. Needs `memory::init` first.
void init();
void set_active(bool on);
bool active_p();
bool running_p();  // true while a cycle runs

// One cycle when the collector is active and no cycle is running; otherwise nothing.
void run();

// ---- Roots --------------------------------------------------------------------------------
// Registered places are read at every cycle, so they may change between cycles. A null node
// or a cell without references marks nothing.
void add_root(cell* root);
void add_root(node_id* root);
void add_root_range(cell* first, uint32_t count);
// Forgets the registration made with this address (the last one, when made twice).
void remove_root(const void* root);

// Registration for the extent of a C++ scope.
class scoped_root {
 public:
  explicit scoped_root(cell* root) : root_(root) { add_root(root); }
  explicit scoped_root(node_id* root) : root_(root) { add_root(root); }
  ~scoped_root() { remove_root(root_); }
  scoped_root(const scoped_root&) = delete;
  scoped_root& operator=(const scoped_root&) = delete;

 private:
  const void* root_;
};

// Called at every cycle after the registered roots, in registration order. More than
// `callback_limit` registrations end the process (runtime error 98). Callbacks and the
// markers below run in the middle of a cycle: they must neither allocate series nor raise
// errors (a series made then would be unmarked, and a cycle left halfway keeps its marks).
void register_callback(void (*mark)());
// Called after marking is complete and before compaction: the place for weak tables to drop
// entries whose series are not marked (`marked_p`). The same limit applies.
void register_sweep(void (*sweep)());

// ---- Marking, for mark callbacks and the markers of other modules ------------------------
// Only meaningful inside a cycle. Nothing here recurses: the contents of newly marked cell
// buffers go on a work list that the cycle drains. Ids that name no live node are ignored.
bool mark_node(node_id node);  // the buffer alone; true when it was not marked before
void mark_block(node_id node);  // the buffer and, for a cell buffer, every cell in use
void mark_block_cell(const cell& block);  // `mark_block` of payload 2
void mark_context(node_id context);       // the context record, its word list and values
void mark_cell(const cell& value);        // whatever the value refers to, by its type
void mark_values(const cell* first, const cell* last);  // every cell of [first, last)
void clear_mark(node_id node);
bool marked_p(node_id node);

// Markers that belong to other modules. The hash-table marker gets a table's node each time
// a value leads to the table and marks the record, its arrays and its block (marking what is
// marked already changes nothing): the record alone may carry the mark before, when its id or
// a pointer into it was found on the machine stack. Until one is installed a table is marked
// as a plain series. The image marker runs for each marked image! cell with a node, after
// the node.
void set_hashtable_marker(void (*mark)(node_id table));
void set_image_marker(void (*mark)(const cell& image));

// ---- Test modes ---------------------------------------------------------------------------
// `init` sets them from TAV_GC_EVACUATE and TAV_GC_VERIFY in builds with TAV_TEST_MODES;
// TAV_GC_STRESS belongs to the memory manager.
struct test_mode_flags {
  bool evacuate;  // move every unpinned buffer at each cycle, poison or unmap what is left
  bool verify;    // check the heap before and after each cycle, end the process on a fault
};
extern test_mode_flags test_modes;

// Walks the frames and the node table (and the cells of every live cell buffer): answers null
// when the heap is sound, else a description of the first fault found. `after_cycle` also
// requires that no buffer carries the mark.
const char* check_heap(bool after_cycle);

}  // namespace tav::collector
