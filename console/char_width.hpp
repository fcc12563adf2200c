// Character display width: how many terminal cells a code point takes.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tav::terminal {

// Whether `cp` lies in one of the (low, high) pairs of a range table of `entries` words
// (twice the number of ranges), both ends included.
bool char_in_ranges_p(uint32_t cp, const uint32_t* table, size_t entries);

// 0 for NUL and the marks that join the character before them, 1 for control characters and
// most others, 2 for the East Asian wide and fullwidth characters.
int char_width(uint32_t cp);

// The two tables, for their tests.
struct range_table {
  const uint32_t* pairs;
  size_t entries;
};
range_table zero_width_table();
range_table wide_table();

}  // namespace tav::terminal
