// Memory statistics: the bytes in use, the detail block per frame, and numbers as integer!
// or float!.
#include <gtest/gtest.h>

#include <cstring>

#include "collector_fixture.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"
#include "runtime/memory_stats.hpp"
#include "runtime/series.hpp"

namespace tav {
namespace {

constexpr uint8_t block_type = 5;
constexpr uint8_t integer_type = 11;
constexpr uint8_t float_type = 12;

// Counts must not change behind the test's back: no collection unless asked for, and no
// evacuation (which leaves fillers before pinned buffers).
class MemoryStats : public testing::fresh_heap {
 protected:
  void SetUp() override {
    fresh_heap::SetUp();
    memory::state.stress_interval = 0;
    collector::test_modes.evacuate = false;
  }
};

cell* cells_of(node_id block) { return buffer_of(block)->cells(); }
uint32_t count_of(node_id block) { return buffer_of(block)->count(); }
int32_t integer_at(node_id block, uint32_t i) { return static_cast<int32_t>(cells_of(block)[i].payload2); }

TEST_F(MemoryStats, ModeOneCountsNodesUsedRoomAndBigFramesWhole) {
  node_id first = alloc_bytes(16);  // the node and series frames exist from here on
  double before = memory_stats(0, 1);
  EXPECT_GT(before, 0);
  EXPECT_EQ(before, static_cast<double>(static_cast<int64_t>(before)));

  node_id text = alloc_bytes(100);
  EXPECT_EQ(memory_stats(0, 1) - before, 112 + buffer_overhead + sizeof(uintptr_t));
  node_id big = alloc_bytes(3 << 20);
  ASSERT_NE(memory::state.big_head, nullptr);
  EXPECT_EQ(memory_stats(0, 1) - before,
            112 + buffer_overhead + memory::state.big_head->size + 2 * sizeof(uintptr_t));
  EXPECT_NE(first + text + big, 0u);
}

TEST_F(MemoryStats, DetailHoldsATriplePerFrameABigFrameListAndTheTotals) {
  node_id result = alloc_cells(4);
  alloc_bytes(3 << 20);
  alloc_bytes(1000);
  EXPECT_EQ(memory_stats(result, 2), 0);

  ASSERT_EQ(count_of(result), 5u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(cells_of(result)[i].type(), block_type);
    EXPECT_EQ(cells_of(result)[i].header & cell_flag::new_line, 0u);
  }
  node_id nodes = cells_of(result)[0].payload2;
  node_id series = cells_of(result)[1].payload2;
  node_id bigs = cells_of(result)[2].payload2;

  uint32_t node_frames = 0, series_frames = 0;
  for (node_frame* f = memory::state.node_head; f; f = f->next) ++node_frames;
  for (series_frame* f = memory::state.series_head; f; f = f->next) ++series_frames;
  ASSERT_EQ(count_of(nodes), node_frames);
  ASSERT_EQ(count_of(series), series_frames);
  for (node_id list : {nodes, series}) {
    for (uint32_t i = 0; i < count_of(list); ++i) {
      const cell& triple = cells_of(list)[i];
      EXPECT_NE(triple.header & cell_flag::new_line, 0u);
      ASSERT_EQ(count_of(triple.payload2), 3u);
      int32_t free = integer_at(triple.payload2, 0), used = integer_at(triple.payload2, 1);
      int32_t total = integer_at(triple.payload2, 2);
      EXPECT_EQ(free + used, total);
      EXPECT_GT(used, 0);
      if (list == nodes) {
        EXPECT_EQ(total, 10000);
      }
    }
  }
  ASSERT_EQ(count_of(bigs), 1u);
  EXPECT_EQ(cells_of(bigs)[0].type(), integer_type);
  EXPECT_NE(cells_of(bigs)[0].header & cell_flag::new_line, 0u);
  EXPECT_EQ(static_cast<uint64_t>(integer_at(bigs, 0)), memory::state.big_head->size);

  // All frames and the tracked heap, then the tracked heap alone.
  EXPECT_EQ(cells_of(result)[3].type(), integer_type);
  EXPECT_GT(integer_at(result, 4), 0);
  EXPECT_GT(integer_at(result, 3) - integer_at(result, 4), static_cast<int32_t>(memory::state.big_head->size));
}

TEST_F(MemoryStats, NoCollectionRunsWhileTheFramesAreWalked) {
  node_id result = alloc_cells(4);
  memory::state.stress_interval = memory::state.stress_countdown = 1;
  uint32_t cycles = collector::stats.series_cycles;
  memory_stats(result, 3);  // mode 3 is mode 2
  EXPECT_EQ(collector::stats.series_cycles, cycles);
  EXPECT_EQ(count_of(result), 5u);
  EXPECT_TRUE(collector::active_p());
  alloc_bytes(16);
  EXPECT_EQ(collector::stats.series_cycles, cycles + 1);
}

TEST_F(MemoryStats, NumbersAboveTheIntegerRangeBecomeFloats) {
  struct row {
    double value;
    uint8_t type;
  };
  const row rows[] = {{0, integer_type}, {12345, integer_type}, {2147483647.0, integer_type},
                      {2147483648.0, float_type}, {5e12, float_type}};
  node_id block = alloc_cells(4);
  for (const row& r : rows) number_in(block, r.value);
  ASSERT_EQ(count_of(block), 5u);
  for (uint32_t i = 0; i < 5; ++i) {
    const cell& number = cells_of(block)[i];
    EXPECT_EQ(number.type(), rows[i].type) << rows[i].value;
    double read;
    if (number.type() == integer_type) {
      read = static_cast<int32_t>(number.payload2);
    } else {
      uint64_t bits = uint64_t{number.payload3} << 32 | number.payload2;
      std::memcpy(&read, &bits, sizeof read);
    }
    EXPECT_EQ(read, rows[i].value);
  }
}

}  // namespace
}  // namespace tav
