// Externals registry: slots and their lists, growth, release through the types, the sweep.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "runtime/externals.hpp"
#include "runtime/heap.hpp"

namespace tav {
namespace {

// Each test gets a registry of its own; the process's one is put back afterwards.
class Externals : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = externals::state;
    externals::init();
    released.clear();
  }
  void TearDown() override {
    heap_free(externals::state.types);
    heap_free(externals::state.slots);
    externals::state = saved_;
  }

  static std::vector<void*> released;
  static void record(void* object) { released.push_back(object); }

  // Indexes on the live list, head first.
  static std::vector<int32_t> live() {
    std::vector<int32_t> indexes;
    for (int32_t i = externals::state.live_head; i != -1; i = externals::state.slots[i].next) indexes.push_back(i);
    return indexes;
  }

 private:
  externals::registry saved_{};
};

std::vector<void*> Externals::released;

int objects[8];

TEST_F(Externals, TypesAreNumberedFromOne) {
  EXPECT_EQ(externals::register_type("image", record), 1u);
  EXPECT_EQ(externals::register_type("other", nullptr), 2u);
  EXPECT_STREQ(externals::state.types[0].name, "image");
}

TEST_F(Externals, TakingTheLastFreeSlotDoublesTheTableAndKeepsEveryIndex) {
  uint32_t type = externals::register_type("image", record);
  std::vector<int32_t> indexes;
  std::vector<int> payload(1001);
  for (int i = 0; i < 999; ++i) indexes.push_back(externals::store(&payload[i], type));
  EXPECT_EQ(externals::state.capacity, 1000u);
  indexes.push_back(externals::store(&payload[999], type));
  EXPECT_EQ(externals::state.capacity, 2000u);
  indexes.push_back(externals::store(&payload[1000], type));

  EXPECT_EQ(std::set<int32_t>(indexes.begin(), indexes.end()).size(), 1001u);
  for (size_t i = 0; i < indexes.size(); ++i) {
    ASSERT_GE(indexes[i], 0);
    ASSERT_LT(indexes[i], 2000);
    EXPECT_EQ(externals::state.slots[indexes[i]].object, &payload[i]);
  }
  EXPECT_EQ(live().size(), 1001u);
}

TEST_F(Externals, RemovingRelinksTheLiveListAndReleasesOnlyWhenAsked) {
  uint32_t type = externals::register_type("image", record);
  int32_t a = externals::store(&objects[0], type);
  int32_t b = externals::store(&objects[1], type);
  int32_t c = externals::store(&objects[2], type);
  ASSERT_EQ(live(), (std::vector<int32_t>{c, b, a}));

  externals::remove(c, true);  // the head: its successor becomes the head
  EXPECT_EQ(live(), (std::vector<int32_t>{b, a}));
  externals::remove(a, false);  // after the head: the predecessor is relinked
  EXPECT_EQ(live(), (std::vector<int32_t>{b}));
  EXPECT_EQ(released, (std::vector<void*>{&objects[2]}));

  externals::remove(a, true);  // already free: nothing happens
  externals::remove(-1, true);
  externals::remove(5000, true);
  EXPECT_EQ(released.size(), 1u);
  EXPECT_EQ(externals::store(&objects[3], type), a);  // freed slots are taken first
}

TEST_F(Externals, MarkAnswersWhetherTheSlotWasUnmarkedAndMayReplaceTheObject) {
  uint32_t type = externals::register_type("image", record);
  int32_t slot = externals::store(&objects[0], type);
  EXPECT_TRUE(externals::mark(slot, nullptr));
  EXPECT_FALSE(externals::mark(slot, &objects[1]));
  EXPECT_EQ(externals::state.slots[slot].object, &objects[1]);
  EXPECT_FALSE(externals::mark(slot + 1, nullptr));  // a free slot
  EXPECT_FALSE(externals::mark(-1, nullptr));
}

TEST_F(Externals, SweepReleasesTheUnmarkedSlotsOnceAndKeepsTheMarkedOnes) {
  uint32_t type = externals::register_type("image", record);
  int32_t kept = externals::store(&objects[0], type);
  int32_t dropped = externals::store(&objects[1], type);
  int32_t untyped = externals::store(&objects[2], 0);  // type 0 releases nothing
  int32_t no_routine = externals::store(&objects[3], externals::register_type("bare", nullptr));
  externals::mark(kept, nullptr);
  externals::sweep();

  EXPECT_EQ(released, (std::vector<void*>{&objects[1]}));
  EXPECT_EQ(live(), (std::vector<int32_t>{kept}));
  EXPECT_EQ(externals::state.slots[kept].type & externals::mark_bit, 0u);
  for (int32_t slot : {dropped, untyped, no_routine}) EXPECT_NE(externals::state.slots[slot].type & externals::free_bit, 0u);

  externals::sweep();  // not marked again: released now, once
  EXPECT_EQ(released, (std::vector<void*>{&objects[1], &objects[0]}));
  EXPECT_TRUE(live().empty());
}

// A release routine may store new objects (growing the table) while the sweep is under way.
bool stored_during_release = false;
void store_more(void* object) {
  stored_during_release = true;
  for (int i = 0; i < 1500; ++i) externals::store(object, 0);
}

TEST_F(Externals, SweepToleratesReleaseRoutinesThatStore) {
  uint32_t type = externals::register_type("storing", store_more);
  externals::store(&objects[0], type);
  externals::store(&objects[1], type);
  externals::sweep();
  EXPECT_TRUE(stored_during_release);
  EXPECT_EQ(externals::state.capacity, 4000u);
  EXPECT_EQ(live().size(), 3000u);  // only what the routines stored
  stored_during_release = false;
}

}  // namespace
}  // namespace tav
