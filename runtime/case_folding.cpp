// Case folding: the case pair lists, the direct BMP tables derived from them at compile
// time (read-only data, no start-up work), and the mapping of code points and unit runs.
#include "runtime/case_folding.hpp"

#include <algorithm>
#include <array>

namespace tav::case_folding {
namespace {

#include "runtime/case_tables.inc"

// Every BMP mapping stays inside the BMP, so 16-bit entries do; 0 means no mapping.
using bmp_table = std::array<uint16_t, 0x10000>;

template <size_t N>
constexpr bmp_table make_table(const case_pair (&list)[N]) {
  bmp_table table{};
  for (const case_pair& pair : list) table[pair.from] = static_cast<uint16_t>(pair.to);
  return table;
}

constexpr bool stays_in_bmp(std::span<const case_pair> list) {
  for (const case_pair& pair : list)
    if (pair.from > 0xFFFF || pair.to > 0xFFFF || pair.to == 0) return false;
  return true;
}
static_assert(stays_in_bmp(upper_bmp_pairs) && stays_in_bmp(lower_bmp_pairs));

constexpr bmp_table upper_table = make_table(upper_bmp_pairs);
constexpr bmp_table lower_table = make_table(lower_bmp_pairs);

uint32_t change_astral(uint32_t cp, std::span<const case_pair> list) {
  auto found = std::lower_bound(list.begin(), list.end(), cp,
                                [](const case_pair& pair, uint32_t key) { return pair.from < key; });
  return found != list.end() && found->from == cp ? found->to : cp;
}

}  // namespace

pair_lists pairs() { return {upper_bmp_pairs, lower_bmp_pairs, upper_astral_pairs, lower_astral_pairs}; }

uint32_t change_char(uint32_t cp, bool to_upper) {
  if (cp <= 0xFFFF) {
    uint32_t mapped = (to_upper ? upper_table : lower_table)[cp];
    return mapped != 0 ? mapped : cp;
  }
  return change_astral(cp, to_upper ? std::span<const case_pair>(upper_astral_pairs)
                                     : std::span<const case_pair>(lower_astral_pairs));
}

void change_units(unit_sink& sink, size_t start, size_t count, bool to_upper) {
  for (size_t i = start; i < start + count; ++i) {
    uint32_t mapped = change_char(unicode::get_unit(sink.data, i, sink.width), to_upper);
    uint32_t needed = unicode::width_for(mapped);
    if (needed > sink.width) sink.make_room(sink, needed, sink.capacity);
    unicode::set_unit(sink.data, i, sink.width, mapped);
  }
}

}  // namespace tav::case_folding
