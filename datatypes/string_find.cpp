// Searching text: find and select on strings (and on the binaries and vectors that inherit
// them, with their own units), path access on text, and the match tests PARSE runs on text.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "datatypes/actions.hpp"
#include "datatypes/bitset.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/vector.hpp"
#include "datatypes/word.hpp"
#include "runtime/case_folding.hpp"
#include "runtime/errors.hpp"
#include "runtime/string_cell.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::string {
namespace {

[[gnu::cold, noreturn]] void invalid_refine_arg(const char* refinement, const cell& value) {
  fire(error_id::script_invalid_refine_arg, *word::load(refinement), value);
}

// Latin-1 code units mapped so that two of them are equal exactly when they fold to the same
// upper-case character: each one to the smallest unit folding like it.
const std::array<uint8_t, 256>& latin1_fold_classes() {
  static const std::array<uint8_t, 256> classes = [] {
    std::array<uint8_t, 256> result{};
    for (uint32_t c = 0; c < 256; ++c) {
      uint32_t upper = case_folding::change_char(c, true);
      uint32_t first = c;
      for (uint32_t d = 0; d < c; ++d) {
        if (case_folding::change_char(d, true) == upper) {
          first = d;
          break;
        }
      }
      result[c] = static_cast<uint8_t>(first);
    }
    return result;
  }();
  return classes;
}

inline bool same_char(uint32_t a, uint32_t b, bool fold) { return a == b || (fold && fold_upper(a) == fold_upper(b)); }

// The candidates of one search: `first`, then every `step` units (negative backwards) while
// they stay on `last`'s side; with `only_first` the first one alone.
struct candidates {
  int64_t first;
  int64_t last;
  int64_t step;
  bool only_first;
  bool done(int64_t p) const { return step > 0 ? p > last : p < last; }
};

// A candidate is looked at further only when its first unit matches, folded or not.
template <class H, class P>
int64_t scan_units(const H* hay, const P* pattern, uint32_t length, const candidates& at, bool fold) {
  uint32_t first = pattern[0];
  uint32_t first_folded = fold ? fold_upper(first) : first;
  for (int64_t p = at.first; !at.done(p); p += at.step) {
    uint32_t c = hay[p];
    if (c == first || (fold && fold_upper(c) == first_folded)) {
      uint32_t j = 1;
      while (j < length && same_char(hay[p + j], pattern[j], fold)) ++j;
      if (j == length) return p;
    }
    if (at.only_first) break;
  }
  return -1;
}

// Latin-1 in Latin-1, forwards one unit at a time: the library's search, or, with folding,
// a scan through the fold classes that only looks further at a matching first unit.
int64_t scan_latin1_forward(const uint8_t* hay, const uint8_t* pattern, uint32_t length, int64_t first,
                            int64_t last, bool fold) {
  if (!fold) {
    const void* found = memmem(hay + first, static_cast<size_t>(last - first) + length, pattern, length);
    return found ? static_cast<const uint8_t*>(found) - hay : -1;
  }
  const auto& classes = latin1_fold_classes();
  auto rest_matches = [&](int64_t p) {
    uint32_t j = 1;
    while (j < length && classes[hay[p + j]] == classes[pattern[j]]) ++j;
    return j == length;
  };
  int64_t p = first;
#if defined(__SSE2__)
  // An ASCII letter folds with its other case only: 16 candidates at a time are those whose
  // byte with the 0x20 bit set is the lower-case letter.
  uint8_t lower = pattern[0] | 0x20;
  if (lower >= 'a' && lower <= 'z') {
    const __m128i case_bit = _mm_set1_epi8(0x20);
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(lower));
    for (; p + 16 <= last + 1; p += 16) {
      __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + p));
      auto hits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(bytes, case_bit), wanted)));
      for (; hits; hits &= hits - 1)
        if (rest_matches(p + std::countr_zero(hits))) return p + std::countr_zero(hits);
    }
  }
#endif
  uint8_t lead = classes[pattern[0]];
  for (; p <= last; ++p)
    if (classes[hay[p]] == lead && rest_matches(p)) return p;
  return -1;
}

template <class H>
int64_t scan_pattern(const H* hay, const uint8_t* pattern, uint32_t unit, uint32_t length, const candidates& at,
                     bool fold) {
  switch (unit) {
    case 1:
      if constexpr (sizeof(H) == 1) {
        if (at.step == 1 && !at.only_first) return scan_latin1_forward(hay, pattern, length, at.first, at.last, fold);
      }
      return scan_units(hay, pattern, length, at, fold);
    case 2: return scan_units(hay, reinterpret_cast<const uint16_t*>(pattern), length, at, fold);
    default: return scan_units(hay, reinterpret_cast<const uint32_t*>(pattern), length, at, fold);
  }
}

template <class H>
int64_t scan_bitset(const H* hay, const cell& bits, const candidates& at) {
  for (int64_t p = at.first; !at.done(p); p += at.step) {
    if (bitset::member_p(bits, hay[p])) return p;
    if (at.only_first) break;
  }
  return -1;
}

int64_t scan_vector(const cell& vector, double wanted, const candidates& at) {
  series_buffer* buffer = buffer_of(vector.payload2);
  uint8_t element = vector::element_type(vector);
  uint32_t unit = buffer->unit();
  for (int64_t p = at.first; !at.done(p); p += at.step) {
    if (vector::read_number(buffer->head() + p * unit, unit, element) == wanted) return p;
    if (at.only_first) break;
  }
  return -1;
}

// What a search looks for.
struct pattern {
  enum kind_t { units, element, bitset, number } kind = units;
  const uint8_t* data = nullptr;  // units: the pattern's first unit
  uint32_t unit = 1;
  uint32_t length = 1;            // units: the pattern's length; else 1
  uint32_t cp = 0;                // element
  cell bits{};                    // bitset
  double value = 0;               // number (vector elements)
};

// The text form of a value, made in `holder`.
void form_into(cell& holder, const cell& value) {
  text::make_at(holder, 16);
  cell copy = value;
  actions::form(&copy, &holder, nullptr, INT32_MAX);
}

void units_from_head(pattern& what, cell& text) {
  series_buffer* buffer = buffer_of(text.payload2);
  what.unit = buffer->unit();
  what.length = ts_length_p(text);
  what.data = ts_head(text);
}

// The UTF-8 bytes of a text, for searching a binary.
void utf8_of(pattern& what, cell& text) {
  int64_t length = -1;
  what.data = unicode::to_utf8(text, &length);
  what.unit = 1;
  what.length = static_cast<uint32_t>(length);
}

bool searched_as_text_p(uint8_t type) {
  return type == TYPE_STRING || type == TYPE_FILE || type == TYPE_URL || type == TYPE_EMAIL || type == TYPE_REF;
}

// Works out the pattern of `value` for a search in `series`; `holder` keeps any text made for
// it reachable. The pattern's addresses stay valid while nothing else is allocated.
pattern pattern_of(const cell& series, const cell& value, cell& holder) {
  pattern what;
  uint8_t haystack = series.type();
  uint8_t type = value.type();
  bool bytes = haystack == TYPE_BINARY;

  if (haystack == TYPE_VECTOR &&
      (type == TYPE_INTEGER || type == TYPE_CHAR || type == TYPE_FLOAT || type == TYPE_PERCENT)) {
    what.kind = pattern::number;
    what.value = type == TYPE_INTEGER ? integer::get(value)
                 : type == TYPE_CHAR  ? static_cast<double>(char_::get(value))
                                      : scalar::float_value(value);
    return what;
  }
  switch (type) {
    case TYPE_CHAR:
      what.kind = pattern::element;
      what.cp = char_::get(value);
      return what;
    case TYPE_BITSET:
      what.kind = pattern::bitset;
      what.bits = value;
      return what;
    case TYPE_INTEGER:
      if (bytes) {
        what.kind = pattern::element;
        what.cp = static_cast<uint32_t>(integer::get(value));
        return what;
      }
      break;
    case TYPE_BINARY:
      if (!bytes) fire(error_id::script_invalid_arg, value);
      holder = value;
      units_from_head(what, holder);
      return what;
    case TYPE_WORD:
      holder = cell{TYPE_STRING, 0, symbol::get(word::symbol_of(value))->payload2, 0};
      bytes ? utf8_of(what, holder) : units_from_head(what, holder);
      return what;
    default:
      if (searched_as_text_p(type)) {
        holder = value;
        bytes ? utf8_of(what, holder) : units_from_head(what, holder);
        return what;
      }
      break;
  }
  form_into(holder, value);
  bytes ? utf8_of(what, holder) : units_from_head(what, holder);
  return what;
}

template <class H>
int64_t run_search(const H* hay, const pattern& what, const candidates& at, bool fold) {
  switch (what.kind) {
    case pattern::element: return scan_units(hay, &what.cp, 1, at, fold);
    case pattern::bitset: return scan_bitset(hay, what.bits, at);
    default: return scan_pattern(hay, what.data, what.unit, what.length, at, fold);
  }
}

int64_t search(const cell& series, const pattern& what, const candidates& at, bool fold) {
  if (what.kind == pattern::number) return scan_vector(series, what.value, at);
  series_buffer* buffer = buffer_of(series.payload2);
  const uint8_t* hay = buffer->head();
  switch (buffer->unit()) {
    case 1: return run_search(hay, what, at, fold);
    case 2: return run_search(reinterpret_cast<const uint16_t*>(hay), what, at, fold);
    case 4: return run_search(reinterpret_cast<const uint32_t*>(hay), what, at, fold);
    default: return -1;  // 64-bit elements hold only numbers
  }
}

// The units a /part covers from the head: an integer! count, or a position in the same
// series of the same type (backwards under /reverse).
int64_t part_count(const cell& series, const cell& part, bool reverse) {
  if (part.type() == TYPE_INTEGER) return integer::get(part);
  if (part.type() == series.type() && part.payload2 == series.payload2) {
    int64_t from = static_cast<int32_t>(series.payload1);
    int64_t to = static_cast<int32_t>(part.payload1);
    return reverse ? from - to : to - from;
  }
  invalid_refine_arg("part", part);
}

struct found_at {
  int64_t position;  // -1: not found
  int64_t end;       // the answer of /tail
  int64_t length;    // units matched
};

// The search shared by find and select; the series cell is left untouched.
found_at locate(const cell& series, const cell& value, const cell* part, bool case_sensitive, bool same, bool any,
                const cell* with, const cell* skip, bool last, bool reverse, bool match) {
  constexpr found_at none_found{-1, -1, 0};
  series_buffer* buffer = buffer_of(series.payload2);
  int64_t total = buffer->count();
  int64_t head = std::clamp<int64_t>(static_cast<int32_t>(series.payload1), 0, total);
  if (total == 0 || (!reverse && head >= total)) return none_found;
  if (any || with) fire(error_id::internal_not_done);

  int64_t step = 1;
  if (skip) {
    if (skip->type() != TYPE_INTEGER) invalid_refine_arg("skip", *skip);
    step = integer::get(*skip);
    if (step < 1) fire(error_id::script_out_of_range, *skip);
  }
  int64_t room = reverse ? head : total - head;
  int64_t count = room;
  if (part) {
    count = part_count(series, *part, reverse);
    if (count < 1) return none_found;
    count = std::min(count, room);
  }
  int64_t low = reverse ? head - count : head;
  int64_t high = reverse ? head : head + count;

  cell holder = unset::value;
  pattern what = pattern_of(series, value, holder);
  int64_t length = what.length;
  if (length == 0 || high - low < length) return none_found;

  candidates at = last || reverse ? candidates{high - length, low, -step, match}
                                  : candidates{low, high - length, step, match};
  bool fold = string_cell::any_string_p(series.type()) && !case_sensitive && !same;
  int64_t position = search(series, what, at, fold);
  if (position < 0) return none_found;
  int64_t end = position + length;
  if (what.kind != pattern::units && !reverse) end = position + step;
  return {position, std::min(end, total), length};
}

// A new value of the series' element at `position`: a char! of text, an integer! of a byte,
// the element of a vector.
cell element_value(cell& series, int64_t position) {
  series_buffer* buffer = buffer_of(series.payload2);
  switch (series.type()) {
    case TYPE_BINARY: return scalar::integer(buffer->head()[position]);
    case TYPE_VECTOR: {
      cell at = series;
      at.payload1 = static_cast<uint32_t>(position);
      return *actions::pick(&at, 1, nullptr);
    }
    default: return char_::value_of(unicode::get_unit(buffer->head(), static_cast<size_t>(position), buffer->unit()));
  }
}

}  // namespace

cell* find(cell* series, cell* value, cell* part, bool, bool case_sensitive, bool same, bool any, cell* with,
           cell* skip, bool last, bool reverse, bool tail, bool match) {
  found_at found = locate(*series, *value, part, case_sensitive, same, any, with, skip, last, reverse, match);
  if (found.position < 0) {
    *series = none::value;
    return series;
  }
  series->payload1 = static_cast<uint32_t>(tail ? found.end : found.position);
  return series;
}

cell* select(cell* series, cell* value, cell* part, bool, bool case_sensitive, bool same, bool any, cell* with,
             cell* skip, bool last, bool reverse) {
  found_at found = locate(*series, *value, part, case_sensitive, same, any, with, skip, last, reverse, false);
  // The unit just after what matched, whatever the skip.
  int64_t after = found.position + found.length;
  if (found.position < 0 || after >= ts_abs_length_p(*series)) {
    *series = none::value;
    return series;
  }
  *series = element_value(*series, after);
  return series;
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, bool case_sensitive,
                bool, bool, bool) {
  if (element->type() == TYPE_INTEGER) {
    int32_t index = integer::get(*element);
    if (!value) return actions::pick(parent, index, element);
    actions::poke(parent, index, value, element);
    return value;
  }
  cell where = path ? *path : none::value;
  if (element->type() == TYPE_WORD) fire(error_id::script_invalid_path, where, *element);
  if (!value)
    return select(parent, element, nullptr, false, case_sensitive, false, false, nullptr, nullptr, false, false);
  cell found = *parent;
  find(&found, element, nullptr, false, case_sensitive, false, false, nullptr, nullptr, false, false, false, false);
  if (found.type() == TYPE_NONE) fire(error_id::script_bad_path_set, where, *element);
  actions::poke(&found, 2, value, nullptr);
  return value;
}

// ---- Match tests ----------------------------------------------------------------------------

bool match_bitset_p(const cell& string, const cell& bitset) {
  if (ts_tail_p(string)) return false;
  cell at = string;
  uint32_t cp = get_char(ts_head(at), buffer_of(string.payload2)->unit());
  return bitset::member_p(bitset, cp);
}

bool match_tag_p(const cell& string, const cell& tag) {
  int64_t head = std::max(static_cast<int32_t>(string.payload1), 0);
  int64_t total = ts_abs_length_p(string);
  int64_t close = head + 1 + ts_length_p(tag);
  return close < total && ts_abs_at(string, static_cast<uint32_t>(head)) == '<' &&
         ts_abs_at(string, static_cast<uint32_t>(close)) == '>';
}

bool match_value_p(const cell& string, const cell& value, int32_t op) {
  switch (value.type()) {
    case TYPE_CHAR: {
      if (ts_tail_p(string)) return false;
      cell at = string;
      uint32_t cp = get_char(ts_head(at), buffer_of(string.payload2)->unit());
      return same_char(cp, char_::get(value), op != actions::op::strict_equal);
    }
    case TYPE_TAG: {
      if (!match_tag_p(string, value)) return false;
      cell inside = string;
      inside.payload1 = static_cast<uint32_t>(std::max(static_cast<int32_t>(string.payload1), 0) + 1);
      return compare_strings(inside, value, op, true) == 0;
    }
    default: return searched_as_text_p(value.type()) && compare_strings(string, value, op, true) == 0;
  }
}

}  // namespace tav::string
