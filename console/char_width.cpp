// Character display width from two range tables made from the Unicode character data.
#include "console/char_width.hpp"

#include <iterator>

namespace tav::terminal {
namespace {

#include "console/width_tables.inc"

}  // namespace

bool char_in_ranges_p(uint32_t cp, const uint32_t* table, size_t entries) {
  if (entries < 2 || cp < table[0] || cp > table[entries - 1]) return false;
  // The pairs are sorted and disjoint: the last pair whose low bound is not above cp decides.
  size_t low = 0, high = entries / 2;
  while (high - low > 1) {
    size_t middle = (low + high) / 2;
    if (table[2 * middle] <= cp)
      low = middle;
    else
      high = middle;
  }
  return cp <= table[2 * low + 1];
}

int char_width(uint32_t cp) {
  if (cp == 0) return 0;
  if (cp < 32 || (cp >= 127 && cp < 160)) return 1;
  if (char_in_ranges_p(cp, zero_width_ranges, std::size(zero_width_ranges))) return 0;
  if (char_in_ranges_p(cp, wide_ranges, std::size(wide_ranges))) return 2;
  return 1;
}

range_table zero_width_table() { return {zero_width_ranges, std::size(zero_width_ranges)}; }
range_table wide_table() { return {wide_ranges, std::size(wide_ranges)}; }

}  // namespace tav::terminal
