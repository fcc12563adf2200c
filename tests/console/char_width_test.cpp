// Character display width: the widths of a table of code points and the shape of both range
// tables.
#include <gtest/gtest.h>

#include <cstdint>

#include "console/char_width.hpp"

namespace tav::testing {
namespace {

TEST(char_width, widths_of_marks_controls_wide_and_plain_characters) {
  const struct {
    uint32_t cp;
    int width;
  } cases[] = {
      {'a', 1},     {0x0301, 0},  {0x4E00, 2},  {0xFF01, 2},  {0x1F600, 2}, {9, 1},       {0x7F, 1},
      {0xA0, 1},    {0x200B, 1},  {0, 0},       {0x00AD, 1},  {0x200D, 1},  {0x0600, 0},  {0x1160, 0},
      {0x11FF, 0},  {0x1100, 2},  {0x115F, 2},  {0xAC00, 2},  {0x20000, 2}, {0x2FFFD, 2}, {0x2FFFE, 1},
      {0x3FFFD, 2}, {0xE0100, 0}, {0xE01EF, 0}, {0xE01F0, 1}, {0x1FAF6, 2}, {0x1FAF7, 1}, {0x9F, 1},
      {0x10FFFF, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(terminal::char_width(c.cp), c.width) << std::hex << c.cp;
}

TEST(char_width, tables_are_sorted_disjoint_pairs_with_the_stated_ends) {
  const terminal::range_table zero = terminal::zero_width_table(), wide = terminal::wide_table();
  EXPECT_EQ(zero.entries, 2u * 349);
  EXPECT_EQ(wide.entries, 2u * 122);
  EXPECT_EQ(zero.pairs[0], 0x300u);
  EXPECT_EQ(zero.pairs[1], 0x36Fu);
  EXPECT_EQ(zero.pairs[zero.entries - 2], 0xE0100u);
  EXPECT_EQ(zero.pairs[zero.entries - 1], 0xE01EFu);
  EXPECT_EQ(wide.pairs[0], 0x1100u);
  EXPECT_EQ(wide.pairs[1], 0x115Fu);
  EXPECT_EQ(wide.pairs[wide.entries - 4], 0x20000u);
  EXPECT_EQ(wide.pairs[wide.entries - 3], 0x2FFFDu);
  EXPECT_EQ(wide.pairs[wide.entries - 2], 0x30000u);
  EXPECT_EQ(wide.pairs[wide.entries - 1], 0x3FFFDu);
  EXPECT_EQ(wide.pairs[wide.entries - 6], 0x1FAF0u);
  EXPECT_EQ(wide.pairs[wide.entries - 5], 0x1FAF6u);
  for (const terminal::range_table& t : {zero, wide})
    for (size_t i = 0; i + 1 < t.entries; ++i) {
      // A range's low bound is not above its high one; the next range starts past a gap.
      if (i % 2 == 0)
        EXPECT_LE(t.pairs[i], t.pairs[i + 1]) << i;
      else
        EXPECT_LT(t.pairs[i] + 1, t.pairs[i + 1]) << i;
    }
}

// The search against a scan of every pair: each bound, and the code points beside each bound.
TEST(char_width, range_search_agrees_with_a_scan_at_every_bound) {
  const terminal::range_table wide = terminal::wide_table();
  auto scanned = [&](uint32_t cp) {
    for (size_t i = 0; i < wide.entries; i += 2)
      if (wide.pairs[i] <= cp && cp <= wide.pairs[i + 1]) return true;
    return false;
  };
  for (size_t i = 0; i < wide.entries; ++i)
    for (uint32_t cp : {wide.pairs[i] - 1, wide.pairs[i], wide.pairs[i] + 1})
      EXPECT_EQ(terminal::char_in_ranges_p(cp, wide.pairs, wide.entries), scanned(cp)) << std::hex << cp;
  EXPECT_FALSE(terminal::char_in_ranges_p(5, wide.pairs, 0));
}

}  // namespace
}  // namespace tav::testing
