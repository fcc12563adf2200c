// Raw arrays: growable vectors of bytes and 32-bit items.
#include <gtest/gtest.h>

#include <cstring>

#include "fire_helpers.hpp"
#include "collector_fixture.hpp"
#include "runtime/array.hpp"
#include "runtime/memory.hpp"

namespace tav {
namespace {

using testing::fired_by;
using RawArray = testing::fresh_heap;

node_id ints(std::initializer_list<int32_t> values) {
  node_id a = array::make(static_cast<uint32_t>(values.size()), 4);
  for (int32_t v : values) array::append_int(a, v);
  return a;
}

TEST_F(RawArray, MakeGivesRoomForTheItems) {
  EXPECT_EQ(buffer_of(array::make(0, 1))->size, 16u);
  EXPECT_EQ(buffer_of(array::make(0, 4))->size, 16u);
  node_id a = array::make(5, 4);
  EXPECT_EQ(buffer_of(a)->size, 32u);
  EXPECT_EQ(array::length(a), 0u);
  EXPECT_EQ(array::flags(a) & series_flag::unit_mask, 4u);
}

TEST_F(RawArray, FindAnswersByteOffsetsNotPositions) {
  node_id a = ints({10, 20, 30, 20});
  EXPECT_EQ(array::length(a), 4u);
  EXPECT_EQ(array::find_int(a, 10), 0);
  EXPECT_EQ(array::find_int(a, 20), 4);
  EXPECT_EQ(array::find_int(a, 99), -1);
  EXPECT_EQ(array::pick_int(a, 1), 10);
  EXPECT_EQ(array::pick_int(a, 4), 20);
  array::poke_int(a, 2, -7);
  EXPECT_EQ(array::pick_int(a, 2), -7);
  EXPECT_EQ(array::find_int(a, 20), 12);
}

TEST_F(RawArray, PositionsOutsideTheItemsRaisePastEnd) {
  node_id a = ints({1, 2});
  for (uint32_t position : {0u, 3u, 0xFFFFFFFFu}) {
    EXPECT_EQ(fired_by([&] { array::pick_int(a, position); }), error_id::script_past_end) << position;
    EXPECT_EQ(fired_by([&] { array::poke_int(a, position, 5); }), error_id::script_past_end) << position;
  }
  EXPECT_EQ(array::pick_int(a, 2), 2);
}

TEST_F(RawArray, PointerItemsAppendFindAndRemove) {
  node_id a = array::make(2, 4);
  for (uint32_t r : {100u, 200u, 300u, 200u}) array::append_ptr(a, r);  // grows past its room
  EXPECT_EQ(array::length(a), 4u);
  EXPECT_EQ(array::find_ptr(a, 200), 4);
  EXPECT_EQ(array::pick_ptr(a, 3), 300u);

  array::remove_ptr(a, 200);  // only the first
  EXPECT_EQ(array::length(a), 3u);
  EXPECT_EQ(array::pick_ptr(a, 2), 300u);
  EXPECT_EQ(array::pick_ptr(a, 3), 200u);

  array::remove_ptr(a, 999);
  EXPECT_EQ(array::length(a), 3u);
  EXPECT_EQ(array::pick_ptr(a, 1), 100u);
}

TEST_F(RawArray, SetLengthSetsTheCount) {
  node_id a = ints({1, 2, 3, 4, 5});
  array::set_length(a, 3);
  EXPECT_EQ(array::length(a), 3u);
  EXPECT_EQ(array::pick_int(a, 3), 3);
  array::set_length(a, 0);
  EXPECT_EQ(array::length(a), 0u);

  // Growing past the room expands, and the new items read as zero.
  node_id b = array::make(2, 4);
  std::memset(buffer_of(b)->data(), 0x77, 8);
  array::set_length(b, 12);
  EXPECT_EQ(array::length(b), 12u);
  for (uint32_t i = 1; i <= 12; ++i) EXPECT_EQ(array::pick_int(b, i), 0) << i;

  node_id bytes = array::make(4, 1);
  array::set_length(bytes, 4);
  EXPECT_EQ(array::length(bytes), 4u);
}

TEST_F(RawArray, BytesAppendAndRemoveAt) {
  node_id a = array::make(4, 1);
  array::append_bytes(a, "hello world", 11);
  array::append_byte(a, '!');
  EXPECT_EQ(array::length(a), 12u);
  array::remove_at(a, 5, 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(array::data(a)), array::length(a)), "hello!");
  array::remove_at(a, 4, 100);  // cut at the end
  EXPECT_EQ(std::string(reinterpret_cast<char*>(array::data(a)), array::length(a)), "hell");
  array::remove_at(a, 9, 1);  // past the end: nothing
  EXPECT_EQ(array::length(a), 4u);
  array::clear(a);
  EXPECT_EQ(array::length(a), 0u);
}

TEST_F(RawArray, CopyIsIndependent) {
  node_id a = ints({4, 5});
  node_id b = array::copy(a);
  EXPECT_NE(a, b);
  array::append_int(b, 6);
  array::poke_int(b, 1, 9);
  EXPECT_EQ(array::length(a), 2u);
  EXPECT_EQ(array::pick_int(a, 1), 4);
  EXPECT_EQ(array::length(b), 3u);
  EXPECT_EQ(array::pick_int(b, 2), 5);
}

}  // namespace
}  // namespace tav
