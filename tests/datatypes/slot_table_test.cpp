// Slot table: numbered cells with a free list, growth, and values kept alive by the collector.
#include <gtest/gtest.h>

#include "datatypes/block.hpp"
#include "datatypes/slot_table.hpp"
#include "datatypes/values.hpp"
#include "runtime/collector_fixture.hpp"
#include "runtime/errors.hpp"
#include "runtime/fire_helpers.hpp"

namespace tav {
namespace {

class SlotTable : public ::testing::Test {
 protected:
  void SetUp() override { slot_table::init(); }
};

TEST_F(SlotTable, StoresInOrderGrowsAndReusesFreedSlots) {
  for (int32_t i = 1; i <= slot_table::initial_capacity; ++i) ASSERT_EQ(slot_table::store(scalar::integer(i * 10)), i);
  EXPECT_EQ(slot_table::first_free, -1);
  EXPECT_EQ(slot_table::store(scalar::integer(7)), 101);
  EXPECT_EQ(buffer_of(slot_table::table.payload2)->count(), 200u);
  EXPECT_EQ(scalar::integer_value(*slot_table::get(101)), 7);
  EXPECT_EQ(scalar::integer_value(*slot_table::get(5)), 50);

  slot_table::free(5);
  slot_table::free(0);
  EXPECT_EQ(slot_table::store(logic::value_of(true)), 5);
  EXPECT_EQ(slot_table::store(logic::value_of(false)), 102);
  EXPECT_EQ(slot_table::get(5)->type(), TYPE_LOGIC);

  EXPECT_EQ(testing::fired_by([] { slot_table::get(0); }), error_id::script_out_of_range);
  EXPECT_EQ(testing::fired_by([] { slot_table::get(201); }), error_id::script_out_of_range);
  EXPECT_EQ(testing::fired_by([] { slot_table::free(-3); }), error_id::script_out_of_range);
}

// A fresh table holding a new block; the ids of the block and the table leave this frame only
// masked, so that the stack scan cannot mistake them for references.
[[gnu::noinline]] int32_t table_with_a_block(node_id& masked_block) {
  slot_table::init();
  cell block;
  block::make_at(block, 2);
  block::append_cell(block, scalar::integer(42));
  masked_block = block.payload2 ^ 0x80000000u;
  return slot_table::store(block);
}

TEST(SlotTableRoot, KeepsItsValuesAlive) {
  node_id masked = 0;
  int32_t slot = table_with_a_block(masked);
  testing::scrub_stack();
  collector::run();
  collector::run();
  node_id node = masked ^ 0x80000000u;
  ASSERT_EQ(memory::node_table[node] & 1, 0u);  // a free node slot has its low bit set
  EXPECT_EQ(buffer_of(node)->node, node);
  EXPECT_EQ(slot_table::get(slot)->payload2, node);
  EXPECT_EQ(scalar::integer_value(buffer_of(node)->cells()[0]), 42);
  EXPECT_EQ(collector::check_heap(true), nullptr);
}

}  // namespace
}  // namespace tav
