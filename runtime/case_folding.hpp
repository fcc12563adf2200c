// Case folding: simple one-to-one upper and lower case mapping of code points, the
// in-place case change of a run of string units, and of char! and string values.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "runtime/cell.hpp"
#include "runtime/unicode.hpp"

namespace tav {

struct case_pair {
  uint32_t from;
  uint32_t to;
  friend constexpr bool operator==(const case_pair&, const case_pair&) = default;
};

namespace case_folding {

// The source pair lists, ascending by code point: inside the BMP and above it.
struct pair_lists {
  std::span<const case_pair> upper_bmp, lower_bmp, upper_astral, lower_astral;
};
pair_lists pairs();

// Unmapped code points come back unchanged.
uint32_t change_char(uint32_t cp, bool to_upper);

// Maps `count` units of `sink` from unit `start` in place. A mapped code point too wide for
// the sink's units widens all its units first (through `make_room`, keeping the capacity).
void change_units(unit_sink& sink, size_t start, size_t count, bool to_upper);

// Changes a char! or the characters of a string value from its head, in place; a string
// widens when a mapped character needs it. A head past the tail is first moved to the
// tail. `part` (null for none) limits the characters: an integer! count, or a position in
// the same series of the same type; any other part raises script/invalid-part. Counts are
// kept between 0 and the characters left. Answers the value.
cell& change_case(cell& value, const cell* part, bool to_upper);

}  // namespace case_folding
}  // namespace tav
