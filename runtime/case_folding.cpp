// Case folding: the case pair lists, the direct BMP tables derived from them at compile
// time (read-only data, no start-up work), and the mapping of code points and unit runs.
#include "runtime/case_folding.hpp"

#include <algorithm>
#include <array>

#include "runtime/errors.hpp"
#include "runtime/string_cell.hpp"
#include "runtime/unicode_string.hpp"

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

size_t part_count(const cell& value, const cell* part, int64_t head, int64_t rest) {
  if (part == nullptr) return static_cast<size_t>(rest);
  int64_t count;
  if (part->type() == string_cell::integer_type) {
    count = static_cast<int32_t>(part->payload2);
  } else if (part->type() == value.type() && string_cell::node(*part) == string_cell::node(value)) {
    count = string_cell::head(*part) - head;
  } else {
    fire(error_id::script_invalid_part, *part);
  }
  return static_cast<size_t>(std::clamp<int64_t>(count, 0, rest));
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

cell& change_case(cell& value, const cell* part, bool to_upper) {
  if (value.type() == string_cell::char_type) {
    value.payload2 = change_char(value.payload2, to_upper);
    return value;
  }
  if (!string_cell::any_string_p(value.type())) fire(error_id::script_invalid_arg, value);
  unit_sink sink = unicode::string_sink(string_cell::node(value));
  auto total = static_cast<int64_t>(sink.count);
  int64_t head = string_cell::head(value);
  if (head > total) {
    head = total;
    value.payload1 = static_cast<uint32_t>(head);
  }
  head = std::max<int64_t>(head, 0);
  size_t count = part_count(value, part, head, total - head);
  change_units(sink, static_cast<size_t>(head), count, to_upper);
  unicode::close_string_sink(sink);
  return value;
}

}  // namespace tav::case_folding
