// Tracked heap and the numeric helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "runtime/heap.hpp"

namespace tav {
namespace {

TEST(TrackedHeap, ListFollowsAllocFreeAndRealloc) {
  size_t before = heap_block_count();
  heap_block* old_tail = tracked_heap.tail;
  void* a = heap_alloc(10);
  void* b = heap_alloc_zeroed(20);
  EXPECT_EQ(heap_block_count(), before + 2);
  EXPECT_EQ(static_cast<unsigned char*>(b)[19], 0);
  EXPECT_EQ(tracked_heap.tail, static_cast<heap_block*>(b) - 1);

  b = heap_realloc(b, 1 << 20);  // large enough to move
  EXPECT_EQ(tracked_heap.tail, static_cast<heap_block*>(b) - 1);
  EXPECT_EQ(tracked_heap.tail->previous, static_cast<heap_block*>(a) - 1);
  EXPECT_EQ(tracked_heap.tail->size, 1u << 20);

  heap_free(b);  // freeing the tail makes its predecessor the tail
  EXPECT_EQ(tracked_heap.tail, static_cast<heap_block*>(a) - 1);
  heap_free(a);
  EXPECT_EQ(tracked_heap.tail, old_tail);
  EXPECT_EQ(heap_block_count(), before);
}

TEST(TrackedHeap, ReallocOfNullAllocatesAndOfZeroFrees) {
  size_t before = heap_block_count();
  void* p = heap_realloc(nullptr, 32);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(heap_block_count(), before + 1);
  EXPECT_EQ(heap_realloc(p, 0), nullptr);
  EXPECT_EQ(heap_block_count(), before);
}

TEST(TrackedHeap, TryAllocAnswersNullInsteadOfEnding) {
  size_t before = heap_block_count();
  EXPECT_EQ(heap_try_alloc(size_t{1} << 40), nullptr);  // beyond the header's 32-bit size
  EXPECT_EQ(heap_block_count(), before);
  void* p = heap_try_alloc(100);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(tracked_heap.tail, static_cast<heap_block*>(p) - 1);
  EXPECT_EQ(tracked_heap.tail->size, 100u);
  heap_free(p);
  EXPECT_EQ(heap_block_count(), before);
}

TEST(TrackedHeap, PointerNotOnTheListIsIgnored) {
  size_t before = heap_block_count();
  alignas(16) char outside[64] = {};
  heap_free(outside + 16);
  EXPECT_EQ(heap_block_count(), before);
}

TEST(TrackedHeap, FreeAllEmptiesTheList) {
  heap_list saved = tracked_heap;  // keep the process's own blocks out of this test
  tracked_heap = {nullptr, nullptr};
  heap_alloc(8);
  heap_alloc(8);
  heap_free_all();
  EXPECT_EQ(tracked_heap.head, nullptr);
  EXPECT_EQ(tracked_heap.tail, nullptr);
  tracked_heap = saved;
}

TEST(Numeric, RoundUpAndNormalizeAngle) {
  EXPECT_EQ(round_up(1, 16), 16u);
  EXPECT_EQ(round_up(32, 16), 32u);
  struct row {
    double degrees;
    int mode;
    double expected;
  };
  for (auto [degrees, mode, expected] : {row{270, 0, -90}, row{150, 2, 30}, row{150, 1, 150}, row{-150, 0, 30},
                                         row{-150, 2, -30}, row{720 + 45, 0, 45}}) {
    EXPECT_NEAR(normalize_angle(degrees, mode), expected * std::numbers::pi / 180, 1e-12) << degrees << " " << mode;
  }
}

}  // namespace
}  // namespace tav
