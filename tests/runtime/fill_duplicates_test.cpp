// Repetition of a run of bytes in place.
#include <gtest/gtest.h>

#include <string>

#include "runtime/fill_duplicates.hpp"

namespace tav {
namespace {

TEST(FillDuplicates, RepeatsTheRunToTheCountAndAnswersTheEnd) {
  uint8_t bytes[24] = {'a', 'b', 'c'};
  EXPECT_EQ(fill_duplicates(bytes, 3, 1), bytes + 3);
  EXPECT_EQ(bytes[3], 0);
  EXPECT_EQ(fill_duplicates(bytes, 3, 0), bytes + 3);
  EXPECT_EQ(fill_duplicates(bytes, 3, 7), bytes + 21);  // runs of 3, 6, 12, then a partial one
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 22), std::string("abcabcabcabcabcabcabc\0", 22));
}

}  // namespace
}  // namespace tav
