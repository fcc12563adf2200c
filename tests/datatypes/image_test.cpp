// image!: bitmaps in the externals registry freed with their values, the collection that
// growing bitmaps bring about, the size limits checked before anything is allocated, image
// signatures and nearest-neighbour scaling.
#include "datatypes/image.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "datatypes/binary.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/externals.hpp"
#include "runtime/fire_helpers.hpp"

namespace tav {
namespace {

uint32_t image_slots() {
  uint32_t count = 0;
  for (int32_t i = externals::state.live_head; i != -1; i = externals::state.slots[i].next)
    if ((externals::state.slots[i].type & externals::type_mask) == image::external_type()) ++count;
  return count;
}

using testing::fired_by;

// The most bytes live bitmaps held while 10,000 images of 100x100 were made and dropped.
[[gnu::noinline]] size_t most_while_making() {
  size_t most = 0;
  for (int k = 0; k < 10000; ++k) {
    image::make_image(100, 100, nullptr, nullptr, nullptr);
    most = std::max(most, image::live_bitmap_bytes());
  }
  return most;
}

// The stack scan keeps what stale words name: the frames the loop left are wiped first.
[[gnu::noinline]] void wipe_stack() {
  volatile uint8_t room[1 << 16];
  for (auto& b : room) b = 0;
}

TEST(Image, BitmapsOfLostImagesAreFreedWhileALoopMakesNewOnes) {
  wipe_stack();
  collector::run();
  const uint32_t before = image_slots();
  // 400 MB were made; the collections that growth brings about keep them near the step.
  EXPECT_LT(most_while_making(), size_t{100} << 20);
  for (int k = 0; k < 2; ++k) {
    wipe_stack();
    collector::run();
  }
  // The machine stack is scanned conservatively: a stale word the wipe cannot reach (a register
  // saved by some frame) may still name the last image made. Any further one was lost.
  EXPECT_LE(image_slots(), before + 1);
}

TEST(Image, AnImageHeldOnlyByItsNodeOnTheMachineStackKeepsItsPixels) {
  volatile node_id node = image::make_node(3, 2);
  image::pixels_of(image::make_at(node))[5] = 0x12345678;
  collector::run();
  collector::run();
  const cell image = image::make_at(node);
  ASSERT_NE(image::bitmap_of(image), nullptr);
  EXPECT_EQ(image::bitmap_of(image)->width, 3u);
  EXPECT_EQ(image::pixels_of(image)[5], 0x12345678u);
}

TEST(Image, SizesBeyondTheLimitsRaiseBeforeAnythingIsAllocated) {
  struct row {
    int64_t width, height;
    std::optional<error_id> expected;
  };
  const cell spec = cell{TYPE_NONE, 0, 0, 0};
  for (const row& r : {row{70000, 1, error_id::script_invalid_arg}, row{1, 65536, error_id::script_invalid_arg},
                       row{20000, 20000, error_id::internal_no_memory},
                       row{65535, 65535, error_id::internal_no_memory}, row{16384, 16384, std::nullopt},
                       row{-5, 70000, error_id::script_invalid_arg}, row{-5, -5, std::nullopt}}) {
    const size_t live = image::live_bitmap_bytes();
    EXPECT_EQ(fired_by([&] { image::check_size(r.width, r.height, spec); }), r.expected)
        << r.width << "x" << r.height;
    EXPECT_LE(image::live_bitmap_bytes(), live);
  }
}

TEST(Image, KnownFormatsAreRecognisedByTheirFirstBytes) {
  struct row {
    std::initializer_list<uint8_t> bytes;
    bool known;
  };
  for (const row& r : {
           row{{0x89, 'P', 'N', 'G', 13, 10}, true}, row{{0xFF, 0xD8, 0xFF, 0xE0}, true}, row{{'B', 'M', 0}, true},
           row{{'G', 'I', 'F', '8', '9', 'a'}, true}, row{{'G', 'I', 'F', '8', '7', 'a'}, true},
           row{{'G', 'I', 'F', '8', '8', 'a'}, false}, row{{'G', 'I', 'F', '8', '9'}, false},
           row{{'I', 'I', '*', 0}, true}, row{{'M', 'M', 0, '*'}, true}, row{{'I', 'I', '*'}, false},
           row{{0xFF, 0xD8}, false}, row{{'B'}, false}, row{{}, false}}) {
    const cell* binary = binary::load(r.bytes.begin(), r.bytes.size());
    EXPECT_EQ(image::known_format_p(*binary), r.known) << r.bytes.size();
    stack::pop_cells(1);
  }
  // From the binary's index, not its first byte.
  const uint8_t shifted[] = {0, 'B', 'M'};
  cell* binary = binary::load(shifted, 3);
  binary->payload1 = 1;
  EXPECT_TRUE(image::known_format_p(*binary));
  stack::pop_cells(1);
}

TEST(Image, ResizeTakesTheNearestSourcePixelFromTheLeftAndTop) {
  cell source = image::make_image(3, 2, nullptr, nullptr, nullptr);
  cell* held = stack::push_copy(source);
  for (uint32_t i = 0; i < 6; ++i) image::pixels_of(*held)[i] = i;
  const cell wide = *image::resize(*held, 6, 1);
  const uint32_t expected_wide[] = {0, 0, 1, 1, 2, 2};
  EXPECT_EQ(std::memcmp(image::pixels_of(wide), expected_wide, sizeof expected_wide), 0);
  const cell small = *image::resize(*held, 2, 2);
  const uint32_t expected_small[] = {0, 1, 3, 4};
  EXPECT_EQ(std::memcmp(image::pixels_of(small), expected_small, sizeof expected_small), 0);
  EXPECT_EQ(image::resize(*held, 0, 4)->payload2, 0u);
  stack::pop_cells(4);
}

}  // namespace
}  // namespace tav
