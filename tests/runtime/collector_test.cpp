// Garbage collector: roots, marking by type, the stack scan and pinning, compaction, the test
// modes and the heap check. Each test runs on a heap of its own (collector_fixture.hpp).
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "collector_fixture.hpp"
#include "runtime/collector.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/externals.hpp"
#include "runtime/memory.hpp"
#include "runtime/memory_stats.hpp"
#include "runtime/platform.hpp"
#include "runtime/series.hpp"

namespace tav {
namespace {

using testing::hidden;
using testing::make_text;
using testing::nodes_in_use;
using testing::scrub_stack;
using testing::text_of;
// Layouts and counts are exact here: no collection runs but those the tests ask for, and
// nothing moves unless a test evacuates.
class Collector : public testing::fresh_heap {
 protected:
  void SetUp() override {
    fresh_heap::SetUp();
    memory::state.stress_interval = 0;
    collector::test_modes.evacuate = false;
  }
};

constexpr uint32_t block_type = 5;
constexpr uint32_t string_type = 7;
constexpr uint32_t none_header = 3;

void collect() { collector::run(); }

cell block_cell(node_id node) { return {block_type, 0, node, 0}; }

void append(node_id block, const cell& value) { *alloc_tail(buffer_of(block)) = value; }

cell& cell_at(node_id block, uint32_t index) { return buffer_of(block)->cells()[index]; }

double bytes_in_use() { return memory_stats(0, 1); }

// Roots kept outside the machine stack, so that only the registration keeps them.
cell root;
node_id root_node;
std::array<cell, 3> root_range;

// ---- Reachability ----------------------------------------------------------------------------

[[gnu::noinline]] void make_garbage(int count) {
  node_id list = alloc_cells(4);
  for (int i = 0; i < count; ++i) append(list, {string_type, 0, make_text("garbage"), 0});
}

TEST_F(Collector, ReclaimsWhatNoRootReaches) {
  collector::scoped_root keep(&root);
  node_id kept = alloc_cells(3);
  for (const char* text : {"one", "two", "three"}) append(kept, {string_type, 0, make_text(text), 0});
  root = block_cell(kept);

  make_garbage(300);
  scrub_stack();
  uint32_t nodes_before = nodes_in_use();
  double bytes_before = bytes_in_use();
  uint32_t cycles = collector::stats.series_cycles;
  collect();

  EXPECT_EQ(collector::stats.series_cycles, cycles + 1);
  EXPECT_EQ(nodes_before - nodes_in_use(), 301u);
  EXPECT_EQ(nodes_in_use(), 4u);
  EXPECT_LE(bytes_in_use(), bytes_before - 301 * (16 + buffer_overhead));
  ASSERT_EQ(buffer_of(root.payload2)->count(), 3u);
  EXPECT_EQ(text_of(cell_at(root.payload2, 0).payload2), "one");
  EXPECT_EQ(text_of(cell_at(root.payload2, 2).payload2), "three");
  root = {none_header, 0, 0, 0};
}

[[gnu::noinline]] uint8_t* text_by_pointer(const char* text, hidden& node) {
  node_id series = make_text(text);
  node = hidden::of(series);
  return buffer_of(series)->data() + 2;
}

// Made out of line, so that no pointer into the buffer stays behind on the stack.
[[gnu::noinline]] node_id text_by_id(const char* text, hidden& place) {
  node_id series = make_text(text);
  place = hidden::of(buffer_of(series));
  return series;
}

TEST_F(Collector, LocalsKeepASeriesByNodeIdOrByAPointerIntoItsBuffer) {
  collector::test_modes.evacuate = true;  // everything that may move does
  hidden id_place{};
  node_id by_id = text_by_id("held by its node id", id_place);
  hidden pointer_node{};
  uint8_t* by_pointer = text_by_pointer("held by a pointer", pointer_node);
  hidden pointer_place = hidden::of(by_pointer - 2 - sizeof(series_buffer));
  scrub_stack();
  collect();

  EXPECT_EQ(text_of(by_id), "held by its node id");
  EXPECT_NE(buffer_of(by_id), id_place.pointer<series_buffer>());
  node_id pinned = pointer_node.node();
  ASSERT_TRUE(memory::live_node_p(pinned));
  EXPECT_EQ(buffer_of(pinned), pointer_place.pointer<series_buffer>());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(by_pointer), 15), "ld by a pointer");
  EXPECT_EQ(nodes_in_use(), 2u);
}

[[gnu::noinline]] uint8_t* big_by_pointer() {
  node_id big = alloc_bytes_filled(3 << 20, 'b');
  return buffer_of(big)->data() + 1000;
}

[[gnu::noinline]] hidden dead_big_frame() {
  node_id big = alloc_bytes(3 << 20);
  for (big_frame* frame = memory::state.big_head; frame; frame = frame->next)
    if (frame->buffer()->node == big) return hidden::of(frame);
  return hidden::of(nullptr);
}

bool mapped_p(const void* address) {
  unsigned char residency;
  auto page = reinterpret_cast<uintptr_t>(address) & ~(platform::page_size() - 1);
  return ::mincore(reinterpret_cast<void*>(page), platform::page_size(), &residency) == 0 || errno != ENOMEM;
}

TEST_F(Collector, BigFramesAreKeptByPointersAndUnmappedWhenDead) {
  uint8_t* big = big_by_pointer();
  hidden dead = dead_big_frame();
  ASSERT_NE(dead.pointer<big_frame>(), nullptr);
  ASSERT_TRUE(mapped_p(dead.pointer<big_frame>()));
  scrub_stack();
  collect();

  EXPECT_FALSE(mapped_p(dead.pointer<big_frame>()));
  ASSERT_NE(memory::state.big_head, nullptr);
  EXPECT_EQ(memory::state.big_head->next, nullptr);
  EXPECT_EQ(memory::state.big_head->buffer()->data() + 1000, big);
  EXPECT_EQ(big[0], 'b');
  EXPECT_EQ(big[(3 << 20) - 1001], 'b');
}

// ---- Marking by type ---------------------------------------------------------------------------

struct marking_row {
  const char* what;
  uint32_t header;
  std::array<bool, 3> bait;  // payload words given a series of their own
  std::array<bool, 3> kept;  // those that must survive
};

using hidden_baits = std::array<hidden, 3>;

// Where the value under test sits: each place is walked by a loop of its own.
enum class route { cell_root, in_block, in_range };

[[gnu::noinline]] hidden_baits arm(const marking_row& row, route way) {
  hidden_baits baits{};
  std::array<uint32_t, 3> payload{};
  for (int i = 0; i < 3; ++i) {
    if (!row.bait[i]) continue;
    uint32_t type = row.header & 0xFF;
    // A hash! or map! names its hash table in payload 3, a context its word list in payload 1.
    bool table = (i == 2 && (type == 36 || type == 40)) || (i == 0 && type == 14);
    payload[i] = table ? hashtable::create(0, 0, hashtable::integer_kind) : alloc_bytes(16);
    baits[i] = hidden::of(payload[i]);
  }
  const cell value{row.header, payload[0], payload[1], payload[2]};
  switch (way) {
    case route::cell_root: root = value; break;
    case route::in_block: {
      node_id holder = alloc_cells(1);
      append(holder, value);
      root = block_cell(holder);
      break;
    }
    case route::in_range: root_range[1] = value; break;
  }
  return baits;
}

TEST_F(Collector, EachTypeMarksTheSeriesItRefersTo) {
  constexpr uint32_t stack_values = cell_flag::stack_values;
  constexpr uint32_t event_block = cell_flag::event_block;
  const marking_row rows[] = {
      {"block!", 5, {0, 1, 0}, {0, 1, 0}},
      {"set-path!: payload 3 is a cache word", 27, {0, 1, 1}, {0, 1, 0}},
      {"string! and its conversion cache", 7, {0, 1, 1}, {0, 1, 1}},
      {"ref!", 50, {0, 1, 1}, {0, 1, 1}},
      {"symbol: name and spelling", 13, {0, 1, 1}, {0, 1, 1}},
      {"context!: word list and values", 14, {1, 1, 0}, {1, 1, 0}},
      {"context! with values on the argument stack", 14 | stack_values, {1, 1, 0}, {1, 0, 0}},
      {"word!: its context", 15, {1, 0, 0}, {1, 0, 0}},
      {"refinement!", 19, {1, 0, 0}, {1, 0, 0}},
      {"issue!: bound like a word", 20, {1, 0, 0}, {1, 0, 0}},
      {"native!: spec and extra, not the code index", 21, {1, 1, 1}, {0, 1, 1}},
      {"op! of an action", 23 | (22u << 16), {1, 1, 1}, {0, 1, 1}},
      {"op! of a function: its context too", 23 | (24u << 16), {1, 1, 1}, {1, 1, 1}},
      {"op! of a routine", 23 | (29u << 16), {1, 1, 1}, {1, 1, 1}},
      {"function!", 24, {1, 1, 1}, {1, 1, 1}},
      {"routine!", 29 | cell_flag::routine, {1, 1, 1}, {1, 1, 1}},
      {"bitset!", 30, {0, 1, 0}, {0, 1, 0}},
      {"binary!: payload 3 is nothing", 41, {0, 1, 1}, {0, 1, 0}},
      {"object!: context and on-change, not the class id", 32, {1, 1, 1}, {1, 0, 1}},
      {"port!", 48, {1, 1, 1}, {1, 0, 1}},
      {"hash!: block and table", 36, {0, 1, 1}, {0, 1, 1}},
      {"map!", 40, {0, 1, 1}, {0, 1, 1}},
      {"image!", 53, {0, 1, 0}, {0, 1, 0}},
      {"event! holding a block", 54 | event_block, {0, 1, 0}, {0, 1, 0}},
      {"event! without the block flag", 54, {0, 1, 0}, {0, 0, 0}},
      {"integer!", 11, {0, 1, 1}, {0, 0, 0}},
      {"pair!", 37, {0, 1, 1}, {0, 0, 0}},
  };
  collector::scoped_root keep(&root);
  root_range.fill({none_header, 0, 0, 0});
  collector::add_root_range(root_range.data(), 3);
  const char* route_names[] = {"as a root", "in a block", "in a range of roots"};
  for (route way : {route::cell_root, route::in_block, route::in_range}) {
    for (const marking_row& row : rows) {
      hidden_baits baits = arm(row, way);
      scrub_stack();
      collect();
      for (int i = 0; i < 3; ++i) {
        if (!row.bait[i]) continue;
        EXPECT_EQ(memory::live_node_p(baits[i].node()), row.kept[i])
            << row.what << " " << route_names[static_cast<int>(way)] << ", payload " << i + 1;
      }
      root = root_range[1] = {none_header, 0, 0, 0};
      collect();
    }
  }
  collector::remove_root(root_range.data());
}

TEST_F(Collector, BlocksNestedAHundredThousandDeepAreMarkedWithoutRecursion) {
  collector::scoped_root keep(&root);
  node_id inner = alloc_cells(1);
  for (int depth = 0; depth < 100000; ++depth) {
    node_id outer = alloc_cells(1);
    append(outer, block_cell(inner));
    inner = outer;
  }
  root = block_cell(inner);
  inner = 0;

  // On a thread whose whole stack is 256 KB: one machine frame per level would not fit.
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 256 << 10);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attributes, [](void*) -> void* { collect(); return nullptr; }, nullptr),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);

  EXPECT_EQ(nodes_in_use(), 100001u);
  int depth = 0;
  for (node_id block = root.payload2; buffer_of(block)->count() == 1; block = cell_at(block, 0).payload2) ++depth;
  EXPECT_EQ(depth, 100000);
  root = {none_header, 0, 0, 0};
}

// ---- Registered roots, callbacks and the markers of other modules ---------------------------

[[gnu::noinline]] std::array<hidden, 4> arm_every_kind_of_root() {
  node_id inner = make_text("inside");
  root = {string_type, 0, make_text("cell root"), 0};
  root_node = alloc_cells(1);
  append(root_node, {string_type, 0, inner, 0});
  root_range = {cell{none_header, 0, 0, 0}, block_cell(alloc_cells(1)), cell{none_header, 0, 0, 0}};
  return {hidden::of(root.payload2), hidden::of(root_node), hidden::of(inner), hidden::of(root_range[1].payload2)};
}

// Out of line: reading the values leaves their nodes and buffer pointers on the frame.
[[gnu::noinline]] void expect_every_kind_of_root_held(const std::array<hidden, 4>& kept) {
  for (hidden node : kept) EXPECT_TRUE(memory::live_node_p(node.node()));
  EXPECT_EQ(text_of(root.payload2), "cell root");
  EXPECT_EQ(text_of(cell_at(root_node, 0).payload2), "inside");
}

TEST_F(Collector, RegisteredRootsKeepTheirValuesUntilRemoved) {
  collector::add_root(&root);
  collector::add_root(&root_node);
  collector::add_root_range(root_range.data(), 3);
  std::array<hidden, 4> kept = arm_every_kind_of_root();
  scrub_stack();
  collect();
  expect_every_kind_of_root_held(kept);

  collector::remove_root(&root);
  collector::remove_root(&root_node);
  collector::remove_root(root_range.data());
  scrub_stack();
  collect();
  for (hidden node : kept) EXPECT_FALSE(memory::live_node_p(node.node()));
}

uintptr_t callback_target = 0;  // complement of the node the callback keeps
bool seen_running = false;
uint32_t cycles_seen_inside = 0;

void mark_target() {
  if (!callback_target) return;
  seen_running = collector::running_p();
  collector::run();  // refused: a cycle is running
  cycles_seen_inside = collector::stats.series_cycles;
  collector::mark_block(static_cast<node_id>(~callback_target));
}

TEST_F(Collector, CallbacksMarkDuringTheCycleAndCannotStartAnother) {
  static bool registered = false;
  if (!registered) collector::register_callback(mark_target);
  registered = true;
  node_id target = alloc_cells(1);
  append(target, {string_type, 0, make_text("reached by the callback"), 0});
  callback_target = ~uintptr_t{target};
  hidden target_hidden = hidden::of(target);
  target = 0;
  scrub_stack();
  uint32_t cycles = collector::stats.series_cycles;
  collect();
  callback_target = 0;

  EXPECT_TRUE(seen_running);
  EXPECT_FALSE(collector::running_p());
  EXPECT_EQ(cycles_seen_inside, cycles);
  EXPECT_EQ(collector::stats.series_cycles, cycles + 1);
  ASSERT_TRUE(memory::live_node_p(target_hidden.node()));
  EXPECT_EQ(text_of(cell_at(target_hidden.node(), 0).payload2), "reached by the callback");
}

TEST(CollectorLimits, MoreThanAHundredCallbacksEndTheProcess) {
  EXPECT_EXIT(
      {
        for (uint32_t i = 0; i <= collector::callback_limit; ++i) collector::register_callback(nullptr);
      },
      ::testing::ExitedWithCode(98), "");
}

int table_calls = 0;
uintptr_t table_extra = 0;  // complement of a node only the table marker knows
int image_calls = 0;

void fake_table_marker(node_id table) {
  ++table_calls;
  collector::mark_node(table);
  collector::mark_node(static_cast<node_id>(~table_extra));
}

void count_image_marks(const cell& image) {
  if (image.type() == 53) ++image_calls;
}

[[gnu::noinline]] hidden arm_tables() {
  node_id table = alloc_bytes(44);
  table_extra = ~uintptr_t{alloc_bytes(16)};
  node_id holder = alloc_cells(5);
  append(holder, {14, table, alloc_cells(1), 0});                // context!: word list
  append(holder, {36, 0, alloc_cells(1), table});                // hash! sharing the table
  append(holder, {53, 0, alloc_bytes(16), 0});                   // image!
  append(holder, {53, 0, 0, 0});                                 // image! without a node
  append(holder, {53 | cell_flag::new_line, 0, alloc_bytes(16), 0});
  root = block_cell(holder);
  return hidden::of(table);
}

TEST_F(Collector, TableAndImageMarkersAreCalledForTheirValues) {
  collector::scoped_root keep(&root);
  collector::set_hashtable_marker(fake_table_marker);
  collector::set_image_marker(count_image_marks);
  hidden table = arm_tables();
  scrub_stack();
  table_calls = image_calls = 0;
  collect();
  collector::set_hashtable_marker(nullptr);
  collector::set_image_marker(nullptr);

  EXPECT_EQ(table_calls, 2);  // once per value that leads to the table
  EXPECT_EQ(image_calls, 2);  // once per image! cell with a node
  EXPECT_TRUE(memory::live_node_p(table.node()));
  EXPECT_TRUE(memory::live_node_p(static_cast<node_id>(~table_extra)));
  root = {none_header, 0, 0, 0};
}

// A word list named by a hash! cell in a block; the arrays are known to the table alone.
[[gnu::noinline]] std::array<hidden, 2> arm_word_list() {
  node_id table = hashtable::create(8, 0, hashtable::symbol_kind);
  node_id holder = alloc_cells(1);
  append(holder, {36, 0, 0, table});
  return {hidden::of(table), hidden::of(holder)};
}

TEST_F(Collector, ATableFirstMetOnTheMachineStackKeepsItsArrays) {
  hashtable::init();
  std::array<hidden, 2> made = arm_word_list();
  scrub_stack();
  // Both ids sit on the stack: the scan marks the record as a plain series before the block's
  // cells lead to the table.
  volatile node_id table = made[0].node();
  volatile node_id holder = made[1].node();
  collect();
  hashtable::record r = hashtable::record_of(table);
  for (node_id array : {r.flags, r.keys, r.block}) EXPECT_TRUE(memory::live_node_p(array)) << array;
  EXPECT_EQ(hashtable::find_symbol(table, 1, false, 0, nullptr), -1);
  EXPECT_TRUE(memory::live_node_p(holder));
}

int releases = 0;
int token = 0;
void count_release(void* object) {
  EXPECT_EQ(object, &token);
  ++releases;
}

TEST_F(Collector, AnExternalIsReleasedOnceByTheFirstCycleThatDoesNotMarkIt) {
  collector::scoped_root keep(&root);
  uint32_t type = externals::register_type("test", count_release);
  int32_t slot = externals::store(&token, type);
  root = {46, 0, 0, static_cast<uint32_t>(slot)};
  releases = 0;
  collect();
  collect();
  EXPECT_EQ(releases, 0);

  root = {46, 0, 0, static_cast<uint32_t>(-1)};  // a handle without a slot marks nothing
  collect();
  EXPECT_EQ(releases, 1);
  collect();
  EXPECT_EQ(releases, 1);
  EXPECT_NE(externals::state.slots[slot].type & externals::free_bit, 0u);
}

// ---- Compaction -------------------------------------------------------------------------------

// Buffers in allocation order: `dead` dead texts, the pinned one, a dead one, a live one.
[[gnu::noinline]] uint8_t* pinned_layout(int dead, hidden& pinned_node, node_id& live) {
  for (int i = 0; i < dead; ++i) make_text("dead");
  node_id pinned = make_text("pinned");
  pinned_node = hidden::of(pinned);
  make_text("dead");
  live = make_text("live");
  return buffer_of(pinned)->data();
}

void slide_around_a_pinned_buffer(int dead) {
  hidden pinned_node{};
  node_id live = 0;
  uint8_t* pinned = pinned_layout(dead, pinned_node, live);
  auto* pinned_buffer = reinterpret_cast<series_buffer*>(pinned - sizeof(series_buffer));
  scrub_stack();
  collect();

  series_frame* frame = memory::state.series_head;
  ASSERT_EQ(buffer_of(pinned_node.node()), pinned_buffer);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(pinned), 6), "pinned");
  // The dead room before it is now dead fillers; the live buffer slid down right after it.
  auto* first = frame->first_buffer();
  EXPECT_EQ(first->node, 0u);
  EXPECT_EQ(first->flags & series_flag::in_use, 0u);
  EXPECT_EQ(first->size, dead == 1 ? 16u : 0u);
  EXPECT_EQ(next_buffer(dead == 1 ? first : next_buffer(first)), pinned_buffer);
  EXPECT_EQ(buffer_of(live), next_buffer(pinned_buffer));
  EXPECT_EQ(text_of(live), "live");
  EXPECT_EQ(frame->heap, reinterpret_cast<uint8_t*>(next_buffer(buffer_of(live))));
  EXPECT_EQ(collector::check_heap(true), nullptr);
}

// The layout's texts in allocation order after the block that holds the live ones ('L'), with
// the place each got.
[[gnu::noinline]] void lay_out(const char* layout, std::array<hidden, 8>& places) {
  node_id holder = alloc_cells(8);
  root = block_cell(holder);
  for (int i = 0; layout[i]; ++i) {
    node_id text = make_text(layout[i] == 'L' ? "live" : "dead");
    places[i] = hidden::of(buffer_of(text));
    if (layout[i] == 'L') append(holder, {string_type, 0, text, 0});
  }
}

// Out of line, so that the places it looks at stay off the caller's frame.
[[gnu::noinline]] void expect_slid(const char* layout, const std::array<hidden, 8>& places) {
  series_frame* frame = memory::state.series_head;
  series_buffer* holder = buffer_of(root.payload2);
  ASSERT_EQ(holder, frame->first_buffer()) << layout;
  series_buffer* expected = next_buffer(holder);
  bool dead_before = false;
  for (uint32_t i = 0, live = 0; layout[i]; ++i) {
    if (layout[i] == 'D') {
      dead_before = true;
      continue;
    }
    node_id text = cell_at(root.payload2, live++).payload2;
    EXPECT_EQ(buffer_of(text), expected) << layout << ", text " << i;
    if (!dead_before) {
      EXPECT_EQ(buffer_of(text), places[i].pointer<series_buffer>()) << layout << ", text " << i;
    }
    EXPECT_EQ(text_of(text), "live") << layout << ", text " << i;
    expected = next_buffer(buffer_of(text));
  }
  EXPECT_EQ(frame->heap, reinterpret_cast<uint8_t*>(expected)) << layout;
  EXPECT_EQ(collector::check_heap(true), nullptr) << layout;
}

TEST_F(Collector, LiveBuffersBeforeTheFirstDeadOneStayAndTheOthersSlideDownInOrder) {
  collector::scoped_root keep(&root);
  for (const char* layout : {"LLL", "LLDL", "DLL", "LDLDL", "LLLDD", "DDD", "DLDLLD"}) {
    root = {none_header, 0, 0, 0};
    scrub_stack();
    collect();
    std::array<hidden, 8> places{};
    lay_out(layout, places);
    scrub_stack();
    collect();
    expect_slid(layout, places);
  }
  root = {none_header, 0, 0, 0};
}

TEST_F(Collector, LiveBuffersSlideAroundAPinnedOneAfterOneDeadBuffer) { slide_around_a_pinned_buffer(1); }

TEST_F(Collector, LiveBuffersSlideAroundAPinnedOneAfterTwoDeadBuffers) { slide_around_a_pinned_buffer(2); }

TEST_F(Collector, LiveBuffersMoveIntoThePreviousFrameWhenItHasRoom) {
  collector::set_active(false);  // build two full frames without collecting
  node_id first = make_text("first");
  for (int i = 0; i < 9; ++i) alloc_bytes(100000);
  alloc_bytes(200000);
  node_id second = make_text("second");
  series_frame* low = memory::state.series_head;
  ASSERT_NE(low->next, nullptr);
  series_frame* high = low->next;
  collector::set_active(true);
  scrub_stack();
  collect();

  EXPECT_TRUE(testing::inside(low, buffer_of(first)));
  EXPECT_TRUE(testing::inside(low, buffer_of(second)));
  EXPECT_EQ(memory::state.series_tail, high);
  EXPECT_EQ(high->heap, high->start());  // emptied, kept as the last frame
  EXPECT_EQ(text_of(first), "first");
  EXPECT_EQ(text_of(second), "second");
}

[[gnu::noinline]] uint8_t* pinned_then_moving(node_id& moving, hidden& place) {
  uint8_t* pinned = buffer_of(make_text("pinned"))->data();
  moving = make_text("moving");
  place = hidden::of(buffer_of(moving));
  return pinned;
}

TEST_F(Collector, EvacuationMovesEveryUnpinnedBufferAndPoisonsItsPlace) {
  collector::test_modes.evacuate = true;
  node_id moving = 0;
  hidden place{};
  uint8_t* pinned = pinned_then_moving(moving, place);
  scrub_stack();
  collect();

  hidden moved = testing::place_of(moving);
  EXPECT_NE(moved.bits, place.bits);
  EXPECT_EQ(text_of(moving), "moving");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(pinned), 6), "pinned");
  // The pinned buffer keeps its frame mapped; the room after it is poison.
  std::string left(place.pointer<char>(), sizeof(series_buffer) + 16);
  EXPECT_EQ(left, std::string(left.size(), '\xDB'));

  scrub_stack();
  collect();
  EXPECT_NE(testing::place_of(moving).bits, moved.bits);
  EXPECT_EQ(text_of(moving), "moving");
}

[[gnu::noinline]] void arm_every_kind_of_buffer(node_id& fixed) {
  fixed = alloc_fixed_series(4, 16, 0);
  node_id holder = alloc_cells(4);
  append(holder, {string_type, 0, alloc_bytes(3 << 20), 0});  // a big frame
  append(holder, {string_type, 0, make_text("framed"), 0});
  append(holder, block_cell(fixed));
  root = block_cell(holder);
}

TEST_F(Collector, NoBufferKeepsTheMarkAfterACycle) {
  collector::scoped_root keep(&root);
  node_id fixed = 0;
  arm_every_kind_of_buffer(fixed);
  uint8_t* pinned = buffer_of(make_text("pinned"))->data();
  collect();
  EXPECT_EQ(collector::check_heap(true), nullptr);
  EXPECT_EQ(buffer_of(fixed)->flags & series_flag::marked, 0u);
  EXPECT_EQ(memory::state.big_head->buffer()->flags & series_flag::marked, 0u);
  EXPECT_EQ(reinterpret_cast<series_buffer*>(pinned - sizeof(series_buffer))->flags & series_flag::marked, 0u);
  root = {none_header, 0, 0, 0};
}

TEST_F(Collector, StressModeCollectsAtEveryAllocationAndLosesNothing) {
  collector::test_modes.evacuate = true;
  memory::state.stress_interval = memory::state.stress_countdown = 1;
  uint32_t cycles = collector::stats.series_cycles;
  node_id list = alloc_cells(2);
  for (int i = 0; i < 200; ++i) append(list, {string_type, 0, make_text(std::to_string(i).c_str()), 0});
  memory::state.stress_interval = 0;

  EXPECT_GE(collector::stats.series_cycles - cycles, 201u);
  ASSERT_EQ(buffer_of(list)->count(), 200u);
  for (uint32_t i = 0; i < 200; ++i) EXPECT_EQ(text_of(cell_at(list, i).payload2), std::to_string(i));
}

node_id text_of_length(uint32_t length, uint8_t byte) {
  node_id text = alloc_bytes_filled(length, byte);
  buffer_of(text)->tail = buffer_of(text)->offset + length;
  return text;
}

// Half of what is made stays live: the live heap grows to 40 MB among as much garbage.
TEST_F(Collector, AGrowingHeapIsCollectedAsItDoublesAndKeepsWithinTwiceItsLiveData) {
  collector::scoped_root keep(&root);
  collector::test_modes.verify = false;  // a heap check at each cycle would dwarf the test
  node_id list = alloc_cells(4);
  root = block_cell(list);
  uint32_t cycles = collector::stats.series_cycles;
  size_t peak = 0;
  for (uint32_t i = 0; i < 40000; ++i) {
    append(root.payload2, {string_type, 0, text_of_length(1000, static_cast<uint8_t>('a' + i % 26)), 0});
    text_of_length(1000, 'x');
    peak = std::max(peak, memory::state.used);
  }
  cycles = collector::stats.series_cycles - cycles;
  collect();
  const size_t live = memory::state.used;

  // A collection at every new 2 MB frame would be about forty of them.
  EXPECT_GE(cycles, 4u);
  EXPECT_LE(cycles, 12u);
  EXPECT_GE(live, 40000u * 1000);
  EXPECT_LE(peak, 2 * live + 4 * size_t{memory::state.maximum_frame_size});
  ASSERT_EQ(buffer_of(root.payload2)->count(), 40000u);
  for (uint32_t i : {0u, 12345u, 39999u}) {
    series_buffer* text = buffer_of(cell_at(root.payload2, i).payload2);
    EXPECT_EQ(text->used(), 1000u);
    EXPECT_EQ(text->head()[999], 'a' + i % 26);
  }
  root = {none_header, 0, 0, 0};
}

// In a frame of its own, so that no local of the test keeps the block's node.
[[gnu::noinline]] void build_large_heap() {
  root = block_cell(alloc_cells(4));
  for (uint32_t i = 0; i < 24000; ++i) {
    append(root.payload2, {string_type, 0, text_of_length(1000, 'a'), 0});
    text_of_length(500, 'x');
  }
  append(root.payload2, {string_type, 0, text_of_length(3 << 20, 'b'), 0});  // a big frame too
}

// Once a large heap is dropped, one collection gives its frames back and sets the next budget
// from what it left, not from the large figure before it.
TEST_F(Collector, ADroppedLargeHeapComesBackToWithinTwiceItsLiveDataAfterOneCollection) {
  collector::scoped_root keep(&root);
  collector::test_modes.verify = false;
  node_id small = alloc_cells(4);
  root_node = small;
  collector::scoped_root keep_small(&root_node);
  for (uint32_t i = 0; i < 100; ++i) append(small, {string_type, 0, text_of_length(100, 's'), 0});

  build_large_heap();
  collect();
  const size_t large = memory::state.used;
  ASSERT_GE(large, 24000u * 1000);

  root = {none_header, 0, 0, 0};
  scrub_stack();
  collect();
  const size_t heap = memory::state.used;
  const double live = bytes_in_use();
  EXPECT_LE(static_cast<double>(heap), 2 * live + static_cast<double>(memory::pacing_floor)) << large;
  EXPECT_EQ(memory::state.live_after_collection, heap);
  EXPECT_TRUE(memory::collection_due_p(heap + memory::pacing_floor)) << "the budget follows the small heap";
  EXPECT_LT(2 * (heap + memory::pacing_floor), large);
  ASSERT_EQ(buffer_of(small)->count(), 100u);
  EXPECT_EQ(buffer_of(cell_at(small, 99).payload2)->head()[99], 's');
  root_node = 0;
}

// What makes the stress run of the suites mean something: their private heaps collect too.
using UnderStressSwitch = testing::fresh_heap;

TEST_F(UnderStressSwitch, EveryNthAllocationCollects) {
  uint32_t interval = memory::state.stress_interval;
  if (interval == 0) GTEST_SKIP() << "TAV_GC_STRESS is not set";
  uint32_t cycles = collector::stats.series_cycles;
  for (uint32_t i = 0; i < interval * 3; ++i) alloc_bytes(16);
  EXPECT_GE(collector::stats.series_cycles - cycles, 3u);
}

// ---- Node ids ----------------------------------------------------------------------------------

// Every id from 0 past the last place of this heap's node frames, handed to `mark_node` inside
// a cycle: only the node slots of this heap's frames that hold a buffer may answer, frame
// headers, free slots and other heaps' frames never.
struct id_probe {
  bool on;
  node_id end;
  uint32_t answered;
  uint32_t wrong;
  node_id first_wrong;
};
id_probe probe{};

bool buffer_node_of_this_heap_p(node_id id) {
  for (node_frame* frame = memory::state.node_head; frame; frame = frame->next) {
    if (id < frame->first || id >= frame->first + frame->capacity) continue;
    uintptr_t slot = memory::node_table[id];
    return slot != 0 && (slot & 1) == 0;
  }
  return false;
}

void probe_ids() {
  if (!probe.on) return;
  for (node_id id = 0; id < probe.end; ++id) {
    bool expected = buffer_node_of_this_heap_p(id) && !(buffer_of(id)->flags & series_flag::marked);
    bool answer = collector::mark_node(id);
    probe.answered += answer;
    if (answer != expected && probe.wrong++ == 0) probe.first_wrong = id;
  }
}

TEST_F(Collector, OnlyTheNodeSlotsOfThisHeapsFramesAreNodes) {
  static bool registered = false;
  if (!registered) collector::register_callback(probe_ids);
  registered = true;
  collector::set_active(false);  // the texts stay until the probing cycle
  constexpr uint32_t texts = node_frame_capacity + 100;
  for (uint32_t i = 0; i < texts; ++i) alloc_bytes(1);
  collector::set_active(true);
  uint32_t frames = 0;
  node_id end = 0;
  for (node_frame* frame = memory::state.node_head; frame; frame = frame->next, ++frames)
    end = std::max(end, frame->first - node_frame_header_slots + 2 * node_frame_stride);
  ASSERT_GE(frames, 2u);

  probe = {true, end, 0, 0, 0};
  scrub_stack();
  collect();
  probe.on = false;
  EXPECT_EQ(probe.wrong, 0u) << "first at id " << probe.first_wrong;
  EXPECT_GE(probe.answered, texts);
}

// ---- The heap check ---------------------------------------------------------------------------

TEST_F(Collector, TheHeapCheckFindsEachKindOfFault) {
  node_id text = make_text("sound");
  node_id other = make_text("other");
  node_id block = alloc_cells(1);
  append(block, {string_type, 0, text, 0});
  node_id never_made = memory::state.node_head->first + node_frame_capacity - 1;
  ASSERT_EQ(collector::check_heap(true), nullptr);

  struct row {
    const char* what;
    void (*corrupt)(node_id text, node_id other, node_id block, node_id never_made, bool undo);
    bool after_cycle;
    const char* expected;
  };
  const row rows[] = {
      {"tail past the size",
       [](node_id t, node_id, node_id, node_id, bool undo) { buffer_of(t)->tail = undo ? 5 : buffer_of(t)->size + 16; },
       false, "tail"},
      {"back-reference to another node",
       [](node_id t, node_id o, node_id, node_id, bool undo) { buffer_of(t)->node = undo ? t : o; }, false,
       "does not lead back"},
      {"cell with an unknown type id",
       [](node_id, node_id, node_id b, node_id, bool undo) { cell_at(b, 0).header = undo ? string_type : 60; }, false,
       "type id 60"},
      {"cell referring to a node that does not live",
       [](node_id t, node_id, node_id b, node_id n, bool undo) { cell_at(b, 0).payload2 = undo ? t : n; }, false,
       "dead node"},
      {"mark left after a cycle",
       [](node_id t, node_id, node_id, node_id, bool undo) {
         if (undo)
           buffer_of(t)->flags &= ~series_flag::marked;
         else
           buffer_of(t)->flags |= series_flag::marked;
       },
       true, "mark left"},
      {"node frame count off",
       [](node_id, node_id, node_id, node_id, bool undo) { memory::state.node_head->used += undo ? -1 : 1; }, false,
       "counts"},
  };
  for (const row& r : rows) {
    r.corrupt(text, other, block, never_made, false);
    const char* problem = collector::check_heap(r.after_cycle);
    r.corrupt(text, other, block, never_made, true);
    ASSERT_NE(problem, nullptr) << r.what;
    EXPECT_NE(std::string(problem).find(r.expected), std::string::npos) << r.what << ": " << problem;
    EXPECT_EQ(collector::check_heap(true), nullptr) << r.what;
  }
}

}  // namespace
}  // namespace tav
