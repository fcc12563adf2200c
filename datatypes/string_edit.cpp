// Editing text: append, insert, change, take, trim and swap on strings, the set operations on
// text, and make and to. Every edit reports to the string's owner before and after.
#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <type_traits>
#include <vector>

#include "datatypes/actions.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/series.hpp"
#include "datatypes/set_ops.hpp"
#include "datatypes/string.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/case_folding.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"
#include "runtime/string_cell.hpp"

namespace tav::string {
namespace {

using scalar_support::datatype_of;

uint32_t shift_of(uint32_t unit) { return static_cast<uint32_t>(std::countr_zero(unit)); }

uint32_t count_of(const cell& string) { return buffer_of(string.payload2)->count(); }

uint32_t clamped_head(const cell& string) {
  return static_cast<uint32_t>(std::clamp<int64_t>(static_cast<int32_t>(string.payload1), 0, count_of(string)));
}

void set_count(series_buffer* buffer, uint64_t units) {
  buffer->tail = buffer->offset + static_cast<uint32_t>(units << shift_of(buffer->unit()));
}

// Text values whose characters are copied as they are (a tag! brings its angle brackets).
bool plain_text_p(uint8_t type) {
  return type == TYPE_STRING || type == TYPE_FILE || type == TYPE_URL || type == TYPE_EMAIL || type == TYPE_REF;
}

bool spread_block_p(uint8_t type) { return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH; }

// Cuts what was formed from unit `start` on to `part` characters.
void cut_to(cell& target, uint32_t start, int32_t part) {
  if (part >= 0) truncate_at(buffer_of(target.payload2), start + static_cast<uint32_t>(part));
}

// Appends the text of the value once at the tail; `part` (-1: all) counts characters.
void append_once(cell& target, const cell& value, int32_t part, bool only) {
  uint32_t start = count_of(target);
  uint8_t type = value.type();
  if (plain_text_p(type)) {
    concatenate(target, value, part, 0, concat_mode::append);
  } else if (type == TYPE_CHAR) {
    append_char(buffer_of(target.payload2), char_::get(value));
  } else if (type == TYPE_TAG) {
    int32_t budget = part < 0 ? INT32_MAX : part;
    if (budget-- > 0) append_char(buffer_of(target.payload2), '<');
    if (budget > 0) {
      uint32_t length = ts_length_p(value);
      concatenate(target, value, budget, 0, concat_mode::append);
      budget -= static_cast<int32_t>(std::min<uint32_t>(length, static_cast<uint32_t>(budget)));
    }
    if (budget > 0) append_char(buffer_of(target.payload2), '>');
  } else if (spread_block_p(type) && !only && value.payload2) {
    // One budget for all the elements; what the last one formed beyond it is cut off.
    node_id node = value.payload2;
    cell budget_cell = scalar::integer(part);
    int32_t budget = part < 0 ? INT32_MAX : part;
    for (uint32_t i = clamped_head(value); i < buffer_of(node)->count() && budget > 0; ++i) {
      cell element = buffer_of(node)->cells()[i];
      budget = actions::form(&element, &target, part < 0 ? nullptr : &budget_cell, budget);
    }
    cut_to(target, start, part);
  } else {
    cell copy = value;
    cell budget_cell = scalar::integer(part);
    actions::form(&copy, &target, part < 0 ? nullptr : &budget_cell, part < 0 ? INT32_MAX : part);
    cut_to(target, start, part);
  }
}

// Repeats the `count` units before the tail until they stand there `dup` times, by block
// copies that double each time.
void repeat_tail(cell& target, uint32_t count, int32_t dup) {
  if (dup <= 1 || count == 0) return;
  series_buffer* buffer = buffer_of(target.payload2);
  uint32_t total = buffer->count();
  uint64_t final_count = total + uint64_t{count} * static_cast<uint32_t>(dup - 1);
  if ((final_count << shift_of(buffer->unit())) > max_series_size) {
    truncate_at(buffer, total - count);  // the one copy made goes again
    fire(error_id::internal_no_memory);
  }
  buffer = reserve(buffer, final_count);
  uint32_t shift = shift_of(buffer->unit());
  uint8_t* first = buffer->head() + (size_t{total - count} << shift);
  size_t done = size_t{count} << shift;
  size_t whole = done * static_cast<uint32_t>(dup);
  while (done < whole) {
    size_t chunk = std::min(done, whole - done);
    std::memcpy(first + done, first, chunk);
    done += chunk;
  }
  set_count(buffer, final_count);
}

// Appends the value's text `dup` times at the tail and answers the units added. For a text
// the target is widened and grown once to its final size first.
uint32_t append_text(cell& target, const cell& value, int32_t part, bool only, int32_t dup) {
  if (dup < 1) return 0;
  uint32_t before = count_of(target);
  if (plain_text_p(value.type())) {
    uint64_t length = ts_length_p(value);
    if (part >= 0) length = std::min<uint64_t>(length, static_cast<uint32_t>(part));
    series_buffer* buffer = widen_to(buffer_of(target.payload2), buffer_of(value.payload2)->unit());
    reserve(buffer, before + length * static_cast<uint32_t>(dup));
  }
  append_once(target, value, part, only);
  uint32_t once = count_of(target) - before;
  repeat_tail(target, once, dup);
  return count_of(target) - before;
}

// The common append, a whole text to a string nobody owns: one copy at the tail, the target
// widened and grown as needed.
void append_whole_text(cell& target, const cell& value) {
  series_buffer* source = buffer_of(value.payload2);
  uint32_t start = clamped_head(value);
  uint32_t count = source->count() - start;
  if (count == 0) return;
  series_buffer* buffer = buffer_of(target.payload2);
  const uint32_t unit = source->unit();
  const uint32_t bytes = count << shift_of(unit);
  if (buffer->unit() == unit && uint64_t{buffer->tail} + bytes <= buffer->size) [[likely]] {
    // From the same buffer the copied units lie before the tail, clear of where they go.
    std::memcpy(buffer->end(), source->head() + (start << shift_of(unit)), bytes);
    buffer->tail += bytes;
    return;
  }
  copy_units(source, start, count, buffer, buffer->count(), unit);
}

// For an owned series the new text is made beforehand, so that the owner hears of the change
// before the series changes and with its true size.
struct new_text {
  cell value;  // what is added: the value itself, or the text made of it
  int32_t part;
  bool only;
  int64_t count;  // units that will be added, -1 when not known before
};

new_text prepare(const cell& series, const cell& value, int32_t part, bool only, int32_t dup) {
  if (!ownership::detail::flagged_p(series)) return {value, part, only, -1};
  cell made = unset::value;
  text::make_at(made, 16);
  append_once(made, value, part, only);
  return {made, -1, false, int64_t{ts_length_p(made)} * std::max(dup, 0)};
}

// Rotates the `count` units at the tail to `at`.
void rotate_into_place(cell& series, uint32_t at, uint32_t count) {
  series_buffer* buffer = buffer_of(series.payload2);
  uint32_t total = buffer->count();
  uint32_t shift = shift_of(buffer->unit());
  swap_ranges(buffer->head() + (size_t{at} << shift), (total - count - at) << shift, count << shift);
}

// ---- Trimming -----------------------------------------------------------------------------

// Whitespace of the head and tail passes.
bool blank_p(uint32_t cp) {
  if (cp >= 1 && cp <= 32) return true;
  switch (cp) {
    case 133: case 160: case 5760: case 6158: case 8232: case 8233: case 8239: case 8287: case 12288: return true;
    default: return cp >= 8192 && cp <= 8202;
  }
}

// Whitespace inside lines: tab, space and the wide spaces, no other control character.
bool line_blank_p(uint32_t cp) { return cp == '\t' || cp == ' ' || (cp >= 133 && blank_p(cp)); }

// The units of a string from a position, read and written in place.
struct unit_view {
  uint8_t* data;
  uint32_t unit;
  uint32_t get(uint32_t i) const { return unicode::get_unit(data, i, unit); }
  void set(uint32_t i, uint32_t cp) const { unicode::set_unit(data, i, unit, cp); }
};

unit_view view_of(const cell& series) {
  series_buffer* buffer = buffer_of(series.payload2);
  return {buffer->head(), buffer->unit()};
}

// Keeps the units of [from, total) for which `keep` holds, in order; answers the new count.
template <class Keep>
uint32_t compact(const cell& series, uint32_t from, Keep keep) {
  unit_view units = view_of(series);
  uint32_t total = count_of(series);
  uint32_t w = from;
  for (uint32_t r = from; r < total; ++r) {
    uint32_t cp = units.get(r);
    if (keep(cp)) units.set(w++, cp);
  }
  return w;
}

// The characters of the with argument: few of them in a small table, more in a sorted list.
class char_set {
 public:
  explicit char_set(const cell* with) {
    if (!with) {
      for (uint32_t cp : {9u, 10u, 13u, 32u}) add(cp);
      return;
    }
    switch (with->type()) {
      case TYPE_CHAR: add(char_::get(*with)); return;
      case TYPE_INTEGER: add(static_cast<uint32_t>(integer::get(*with))); return;
      case TYPE_BINARY: {
        series_buffer* buffer = buffer_of(with->payload2);
        for (uint32_t i = clamped_head(*with); i < buffer->count(); ++i) add(buffer->head()[i]);
        return;
      }
      default:
        if (!string_cell::any_string_p(with->type())) fire(error_id::script_invalid_arg, *with);
        for (uint32_t i = clamped_head(*with); i < count_of(*with); ++i) add(ts_abs_at(*with, i));
        std::sort(many_.begin(), many_.end());
    }
  }

  bool has(uint32_t cp) const {
    if (many_.empty()) return std::find(few_.begin(), few_.begin() + few_count_, cp) != few_.begin() + few_count_;
    return std::binary_search(many_.begin(), many_.end(), cp);
  }

 private:
  void add(uint32_t cp) {
    if (many_.empty() && few_count_ < few_.size()) {
      few_[few_count_++] = cp;
      return;
    }
    if (many_.empty()) many_.assign(few_.begin(), few_.end());
    many_.push_back(cp);
  }

  std::array<uint32_t, 4> few_{};
  uint32_t few_count_ = 0;
  std::vector<uint32_t> many_;
};

uint32_t trim_with(const cell& series, uint32_t from, const cell* with) {
  char_set set(with);
  return compact(series, from, [&](uint32_t cp) { return !set.has(cp); });
}

uint32_t trim_lines(const cell& series, uint32_t from) {
  unit_view units = view_of(series);
  uint32_t total = count_of(series);
  uint32_t w = from;
  bool text_seen = false, gap = false;
  for (uint32_t r = from; r < total; ++r) {
    uint32_t cp = units.get(r);
    if (blank_p(cp)) {
      gap = text_seen;
      continue;
    }
    if (gap) units.set(w++, ' ');
    gap = false;
    units.set(w++, cp);
    text_seen = true;
  }
  return w;
}

// With neither end asked for: both ends, the blanks starting each line and those before each
// line feed; a line feed among the trailing blanks comes back once.
uint32_t trim_head_tail(const cell& series, uint32_t from, bool head, bool tail) {
  unit_view units = view_of(series);
  uint32_t total = count_of(series);
  uint32_t first = from, end = total;
  if (head || !tail)
    while (first < end && blank_p(units.get(first))) ++first;
  if (tail || !head)
    while (end > first && blank_p(units.get(end - 1))) --end;
  bool line_feed_back = false;
  if (!head && !tail)
    for (uint32_t i = end; i < total && !line_feed_back; ++i) line_feed_back = units.get(i) == '\n';

  uint32_t w = from;
  if (head || tail) {
    for (uint32_t r = first; r < end; ++r) units.set(w++, units.get(r));
    return w;
  }
  bool line_start = true;
  int64_t pending = -1;  // first of the blanks not yet written
  for (uint32_t r = first; r < end; ++r) {
    uint32_t cp = units.get(r);
    if (cp == '\n') {
      units.set(w++, cp);
      pending = -1;
      line_start = true;
    } else if (line_blank_p(cp)) {
      if (!line_start && pending < 0) pending = r;
    } else {
      for (int64_t k = pending; k >= 0 && k < r; ++k) units.set(w++, units.get(static_cast<uint32_t>(k)));
      pending = -1;
      units.set(w++, cp);
      line_start = false;
    }
  }
  if (line_feed_back) units.set(w++, '\n');
  return w;
}

// ---- Set operations -----------------------------------------------------------------------

// Code points seen: a table for Latin-1, open addressing beyond it.
class code_point_set {
 public:
  // True when the code point was not there yet.
  bool insert(uint32_t cp) {
    if (cp < 256) [[likely]] {
      bool fresh = !latin1_[cp];
      latin1_[cp] = true;
      return fresh;
    }
    return insert_wide(cp);
  }
  bool has(uint32_t cp) const {
    if (cp < 256) [[likely]] return latin1_[cp];
    return has_wide(cp);
  }

 private:
  static constexpr uint32_t empty = 0xFFFFFFFF;
  static size_t hash(uint32_t cp) { return (cp * 0x9E3779B1u) >> 7; }

  [[gnu::noinline]] bool insert_wide(uint32_t cp) {
    if ((used_ + 1) * 4 > slots_.size() * 3) grow();
    return place(cp);
  }
  [[gnu::noinline]] bool has_wide(uint32_t cp) const {
    if (slots_.empty()) return false;
    size_t mask = slots_.size() - 1;
    for (size_t i = hash(cp) & mask;; i = (i + 1) & mask) {
      if (slots_[i] == empty) return false;
      if (slots_[i] == cp) return true;
    }
  }

  bool place(uint32_t cp) {
    size_t mask = slots_.size() - 1;
    for (size_t i = hash(cp) & mask;; i = (i + 1) & mask) {
      if (slots_[i] == cp) return false;
      if (slots_[i] == empty) {
        slots_[i] = cp;
        ++used_;
        return true;
      }
    }
  }
  void grow() {
    std::vector<uint32_t> old = std::move(slots_);
    slots_.assign(std::max<size_t>(64, old.size() * 2), empty);
    used_ = 0;
    for (uint32_t cp : old)
      if (cp != empty) place(cp);
  }

  std::array<bool, 256> latin1_{};
  std::vector<uint32_t> slots_;
  size_t used_ = 0;
};

struct record_walk {
  node_id node;
  uint32_t head;
  uint32_t total;
};

record_walk walk_of(const cell& series) { return {series.payload2, clamped_head(series), count_of(series)}; }

inline uint32_t key_of(uint32_t cp, bool case_sensitive) { return case_sensitive ? cp : fold_upper(cp); }

// Runs `run` on the units as uint8_t, uint16_t or uint32_t (const as the bytes are).
template <class Byte, class Run>
auto with_units(Byte* data, uint32_t unit, Run run) {
  constexpr bool read_only = std::is_const_v<Byte>;
  using U16 = std::conditional_t<read_only, const uint16_t, uint16_t>;
  using U32 = std::conditional_t<read_only, const uint32_t, uint32_t>;
  switch (unit) {
    case 1: return run(data);
    case 2: return run(reinterpret_cast<U16*>(data));
    default: return run(reinterpret_cast<U32*>(data));
  }
}

// The first characters of the records of a series.
void collect_keys(code_point_set& keys, const record_walk& walk, uint32_t step, bool case_sensitive) {
  series_buffer* buffer = buffer_of(walk.node);
  const uint8_t* data = buffer->head();
  with_units(data, buffer->unit(), [&](auto* units) {
    for (uint32_t i = walk.head; i < walk.total; i += step) keys.insert(key_of(units[i], case_sensitive));
  });
}

// What a walk keeps: records whose key is (or is not) among the other series' keys, and is not
// yet in the result.
struct record_filter {
  const code_point_set* other;  // null: no test
  bool keep_found;
  bool case_sensitive;
};

// The key of every Latin-1 unit, looked up instead of folded one by one.
struct latin1_keys {
  uint32_t of[256];
  explicit latin1_keys(bool case_sensitive) {
    for (uint32_t c = 0; c < 256; ++c) of[c] = key_of(c, case_sensitive);
  }
};

template <class In, class Out>
uint32_t copy_new_records(const In* in, const record_walk& walk, uint32_t step, const record_filter& filter,
                          code_point_set& seen, Out* out, uint32_t written) {
  [[maybe_unused]] latin1_keys keys(filter.case_sensitive);
  for (uint32_t i = walk.head; i < walk.total; i += step) {
    uint32_t key;
    if constexpr (sizeof(In) == 1)
      key = keys.of[in[i]];
    else
      key = key_of(in[i], filter.case_sensitive);
    if (filter.other && filter.other->has(key) != filter.keep_found) continue;
    if (!seen.insert(key)) continue;
    for (uint32_t k = i, end = std::min(i + step, walk.total); k < end; ++k) out[written++] = static_cast<Out>(in[k]);
  }
  return written;
}

uint32_t walk_records(const record_walk& walk, uint32_t step, const record_filter& filter, code_point_set& seen,
                      node_id result, uint32_t written) {
  series_buffer* source = buffer_of(walk.node);
  series_buffer* target = buffer_of(result);
  const uint8_t* from = source->head();
  return with_units(from, source->unit(), [&](auto* in) {
    return with_units(target->head(), target->unit(),
                      [&](auto* out) { return copy_new_records(in, walk, step, filter, seen, out, written); });
  });
}

}  // namespace

// ---- Handlers -----------------------------------------------------------------------------

cell* make(cell* prototype, cell* spec, int32_t type) {
  if (spec->type() == TYPE_INTEGER || spec->type() == TYPE_FLOAT) {
    double size = spec->type() == TYPE_INTEGER ? integer::get(*spec) : scalar::float_value(*spec);
    if (!(size >= 0) || size > INT32_MAX) fire(error_id::script_out_of_range, *spec);
    cell* result = stack::push_cell();
    *result = unset::value;
    *result = cell{static_cast<uint8_t>(type), 0, alloc_by_unit(static_cast<uint32_t>(size), 1), 0};
    return result;
  }
  if (type == TYPE_BINARY) {
    if (spec->type() == TYPE_MONEY) fire(error_id::script_bad_make_arg, datatype_of(TYPE_BINARY), *spec);
    return binary::to(prototype, spec, type);
  }
  return to(prototype, spec, type);
}

cell* to(cell*, cell* spec, int32_t type) {
  uint8_t from = spec->type();
  if (from == TYPE_NONE) fire(error_id::script_bad_to_arg, datatype_of(static_cast<uint8_t>(type)), *spec);
  cell* result = stack::push_cell();
  *result = unset::value;
  if (string_cell::any_string_p(from)) {
    series_buffer* source = buffer_of(spec->payload2);
    uint32_t head = clamped_head(*spec);
    series_buffer* copy = copy_units(source, head, source->count() - head, nullptr, 0, source->unit());
    *result = cell{TYPE_STRING, 0, copy->node, 0};
  } else if (from == TYPE_BINARY) {
    uint32_t bytes = count_of(*spec) - clamped_head(*spec);
    *result = *make_from_utf8_series(*spec, bytes);
    stack::pop_cells(1);
  } else {
    text::make_at(*result, 16);
    if (from == TYPE_REFINEMENT && type != TYPE_STRING)
      actions::mold(spec, result, false, false, false, nullptr, INT32_MAX, 0);
    else
      append_once(*result, *spec, -1, false);
  }
  set_type(*result, static_cast<uint8_t>(type));
  return result;
}

bool append_in_place(cell& series, const cell& value) {
  if (series.type() != TYPE_STRING || !plain_text_p(value.type())) return false;
  series_buffer* buffer = buffer_of(series.payload2);
  series_buffer* source = buffer_of(value.payload2);
  const uint32_t unit = source->unit();
  const uint32_t count = source->count();
  const auto head = static_cast<int32_t>(value.payload1);
  const uint32_t start = head < 0 ? 0 : std::min(static_cast<uint32_t>(head), count);
  const uint32_t bytes = (count - start) << shift_of(unit);
  if ((buffer->flags & series_flag::owned) || buffer->unit() != unit || uint64_t{buffer->tail} + bytes > buffer->size)
    return false;
  // From the same buffer the copied units lie before the tail, clear of where they go.
  std::memcpy(buffer->end(), source->head() + (start << shift_of(unit)), bytes);
  buffer->tail += bytes;
  return true;
}

cell* insert(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append) {
  if (append && part < 0 && dup == 1 && plain_text_p(value->type()) && !ownership::detail::flagged_p(*series)) {
    append_whole_text(*series, *value);
    return series;
  }
  uint32_t total = count_of(*series);
  uint32_t at = append ? total : clamped_head(*series);
  new_text added = prepare(*series, *value, part, only, dup);
  bool owned = false;
  if (added.count >= 0)
    owned = append ? ownership::check(*series, words::append, *value, static_cast<int32_t>(at),
                                      static_cast<int32_t>(added.count))
                   : ownership::check(*series, symbols::insert, *value, static_cast<int32_t>(at),
                                      static_cast<int32_t>(added.count));
  uint32_t count = append_text(*series, added.value, added.part, added.only, dup);
  if (at < total) rotate_into_place(*series, at, count);
  if (owned) {
    if (append)
      ownership::check(*series, words::appended, *value, static_cast<int32_t>(at), static_cast<int32_t>(count));
    else
      ownership::check(*series, words::inserted, *value, static_cast<int32_t>(at), static_cast<int32_t>(count));
  }
  if (!append) series->payload1 = at + count;
  return series;
}

cell* change(cell* series, cell* value, int32_t part, bool only, int32_t dup) {
  uint32_t total = count_of(*series);
  uint32_t at = clamped_head(*series);
  new_text added = prepare(*series, *value, -1, only, dup);
  bool owned = added.count >= 0 && ownership::check(*series, words::change, *value, static_cast<int32_t>(at),
                                                    static_cast<int32_t>(added.count));
  uint32_t count = append_text(*series, added.value, added.part, added.only, dup);
  uint32_t rest = total - at;
  uint32_t replaced = part >= 0 ? std::min(static_cast<uint32_t>(part), rest) : std::min(count, rest);
  series_buffer* buffer = buffer_of(series->payload2);
  uint32_t shift = shift_of(buffer->unit());
  if (replaced == count) {
    // Written over in place: the new text moves from the tail onto the replaced units.
    std::memcpy(buffer->head() + (size_t{at} << shift), buffer->head() + (size_t{total} << shift),
                size_t{count} << shift);
    set_count(buffer, total);
  } else {
    swap_ranges(buffer->head() + (size_t{at + replaced} << shift), (rest - replaced) << shift, count << shift);
    remove_part(*series, at, replaced);
  }
  if (owned) ownership::check(*series, words::changed, *value, static_cast<int32_t>(at), static_cast<int32_t>(count));
  series->payload1 = at + count;
  return series;
}

cell* swap(cell* series1, cell* series2) {
  uint8_t type2 = series2->type();
  if (!string_cell::any_string_p(type2) && type2 != TYPE_BINARY) fire(error_id::script_invalid_arg, *series2);
  if (ts_tail_p(*series1) || ts_tail_p(*series2)) return series1;
  uint32_t at1 = clamped_head(*series1), at2 = clamped_head(*series2);
  uint32_t cp1 = ts_abs_at(*series1, at1), cp2 = ts_abs_at(*series2, at2);
  bool owned1 = ownership::check(*series1, words::swap, *series2, static_cast<int32_t>(at1), 1);
  bool owned2 = ownership::check(*series2, words::swap, *series1, static_cast<int32_t>(at2), 1);
  // A binary keeps one byte per unit: it takes the low byte of a wider character.
  auto store = [](const cell& series, uint32_t at, uint32_t cp) {
    if (series.type() == TYPE_BINARY) cp &= 0xFF;
    poke_char_at(buffer_of(series.payload2), at, cp);
  };
  store(*series1, at1, cp2);
  store(*series2, at2, cp1);
  if (owned1) ownership::check(*series1, words::swaped, *series2, static_cast<int32_t>(at1), 1);
  if (owned2) ownership::check(*series2, words::swaped, *series1, static_cast<int32_t>(at2), 1);
  return series1;
}

cell* take(cell* series, cell* part, bool deep, bool last) {
  series::take(series, part, deep, last);
  if (part || series->type() == TYPE_NONE) return series;
  *series = *series::element_at(*series, 0);
  return series;
}

cell* trim(cell* series, bool head, bool tail, bool auto_, bool lines, bool all, cell* with) {
  if (auto_ && !all && !with) fire(error_id::internal_not_done);
  uint32_t from = clamped_head(*series);
  uint32_t total = count_of(*series);
  bool owned = ownership::check(*series, words::trim, none::value, static_cast<int32_t>(from),
                                static_cast<int32_t>(total - from));
  uint32_t kept;
  if (all || with)
    kept = trim_with(*series, from, with);
  else if (lines)
    kept = trim_lines(*series, from);
  else
    kept = trim_head_tail(*series, from, head, tail);
  set_count(buffer_of(series->payload2), kept);
  if (owned)
    ownership::check(*series, words::trimmed, none::value, static_cast<int32_t>(from),
                     static_cast<int32_t>(total - from));
  return series;
}

cell* do_set_op(int32_t op, cell* series1, cell* series2, bool case_sensitive, cell* skip) {
  uint32_t step = 1;
  if (skip) {
    if (skip->type() != TYPE_INTEGER || integer::get(*skip) < 1)
      fire(error_id::script_invalid_refine_arg, *word::load("skip"), *skip);
    step = static_cast<uint32_t>(integer::get(*skip));
  }
  bool both = op == set_ops::union_ || op == set_ops::difference;
  bool tested = op == set_ops::intersect || op == set_ops::exclude || op == set_ops::difference;
  record_walk walks[2] = {walk_of(*series1), series2 ? walk_of(*series2) : record_walk{0, 0, 0}};
  uint32_t unit = buffer_of(walks[0].node)->unit();
  uint64_t room = walks[0].total - walks[0].head;
  if (both) {
    unit = std::max(unit, buffer_of(walks[1].node)->unit());
    room += walks[1].total - walks[1].head;
  }
  node_id result = alloc_by_unit(static_cast<uint32_t>(std::min<uint64_t>(room, max_series_size)), unit);

  code_point_set in_other[2];
  if (tested) collect_keys(in_other[0], walks[1], step, case_sensitive);
  if (op == set_ops::difference) collect_keys(in_other[1], walks[0], step, case_sensitive);
  code_point_set seen;
  uint32_t written = 0;
  record_filter first{tested ? &in_other[0] : nullptr, op == set_ops::intersect, case_sensitive};
  written = walk_records(walks[0], step, first, seen, result, written);
  if (both) {
    record_filter second{op == set_ops::difference ? &in_other[1] : nullptr, false, case_sensitive};
    written = walk_records(walks[1], step, second, seen, result, written);
  }
  series_buffer* buffer = buffer_of(result);
  set_count(buffer, written);
  *series1 = cell{TYPE_STRING, 0, result, 0};
  return series1;
}

}  // namespace tav::string
