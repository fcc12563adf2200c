// string!: the unit storage of text, the string API that builds and edits it, and the
// registration of the datatype.
#include "datatypes/string.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/types.hpp"
#include "interpreter/stack.hpp"
#include "runtime/case_folding.hpp"
#include "runtime/errors.hpp"
#include "runtime/heap.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::string {
namespace {

uint32_t shift_of(uint32_t unit) { return static_cast<uint32_t>(std::countr_zero(unit)); }

// The head index as a count of units from the offset, with a negative one read as 0 and one
// past the tail read as the tail.
uint32_t clamped_head(const cell& string, uint32_t total) {
  auto head = static_cast<int32_t>(string.payload1);
  if (head < 0) return 0;
  return std::min(static_cast<uint32_t>(head), total);
}

void set_count(series_buffer* buffer, uint64_t units) {
  buffer->tail = buffer->offset + static_cast<uint32_t>(units << shift_of(buffer->unit()));
}

// Widening for a character stored in place: unit 1 holds Latin-1.
series_buffer* widen_for(series_buffer* buffer, uint32_t cp) {
  uint32_t needed = unicode::width_for(cp);
  return buffer->unit() < needed ? widen_to(buffer, needed) : buffer;
}

template <class From, class To>
void widen_copy(const uint8_t* from, uint8_t* to, uint32_t count) {
  const auto* in = reinterpret_cast<const From*>(from);
  auto* out = reinterpret_cast<To*>(to);
  for (uint32_t i = 0; i < count; ++i) out[i] = in[i];
}

// Converts `count` units between widths; `to` is never narrower than `from`.
void convert_units(const uint8_t* from, uint32_t from_unit, uint8_t* to, uint32_t to_unit, uint32_t count) {
  if (from_unit == to_unit)
    std::memmove(to, from, size_t{count} << shift_of(to_unit));
  else if (from_unit == 1)
    to_unit == 2 ? widen_copy<uint8_t, uint16_t>(from, to, count) : widen_copy<uint8_t, uint32_t>(from, to, count);
  else
    widen_copy<uint16_t, uint32_t>(from, to, count);
}

// The text a source cell stands for: a symbol! record reads through its spelling string.
cell text_of(const cell& source) {
  if (source.type() != TYPE_SYMBOL) return source;
  cell record = source;
  if (record.payload2 == 0) symbol::ensure_string(record);
  return cell{TYPE_STRING, 0, record.payload2, 0};
}

// The scratch buffer of swap_ranges, from the tracked heap.
inline constexpr uint32_t scratch_initial_size = 4096;
uint8_t* scratch = nullptr;
uint32_t scratch_size = 0;

void ensure_scratch() {
  if (scratch) return;
  scratch = static_cast<uint8_t*>(heap_alloc(scratch_initial_size));
  scratch_size = scratch_initial_size;
}

}  // namespace

// ---- Reading ------------------------------------------------------------------------------

uint32_t ts_length_p(const cell& string) {
  uint32_t total = buffer_of(string.payload2)->count();
  return total - clamped_head(string, total);
}

uint32_t ts_abs_length_p(const cell& string) { return buffer_of(string.payload2)->count(); }

bool ts_skip(cell& string, int32_t count) {
  int64_t total = buffer_of(string.payload2)->count();
  int64_t position = int64_t{static_cast<int32_t>(string.payload1)} + count;
  if (position >= 0 && position <= total) string.payload1 = static_cast<uint32_t>(position);
  return position >= total;
}

bool ts_next(cell& string) { return ts_skip(string, 1); }

uint8_t* ts_head(cell& string) {
  series_buffer* buffer = buffer_of(string.payload2);
  uint32_t total = buffer->count();
  if (static_cast<int32_t>(string.payload1) > static_cast<int32_t>(total)) string.payload1 = total;
  return buffer->head() + (clamped_head(string, total) << shift_of(buffer->unit()));
}

uint8_t* ts_tail(const cell& string) { return buffer_of(string.payload2)->end(); }

bool ts_tail_p(const cell& string) {
  series_buffer* buffer = buffer_of(string.payload2);
  return static_cast<int32_t>(string.payload1) >= static_cast<int32_t>(buffer->count());
}

uint32_t ts_abs_at(const cell& string, uint32_t position) {
  series_buffer* buffer = buffer_of(string.payload2);
  return unicode::get_unit(buffer->head(), position, buffer->unit());
}

int32_t ts_find_char(const cell& string, uint32_t cp) {
  series_buffer* buffer = buffer_of(string.payload2);
  uint32_t total = buffer->count();
  uint32_t head = clamped_head(string, total);
  uint32_t unit = buffer->unit();
  for (uint32_t i = head; i < total; ++i)
    if (unicode::get_unit(buffer->head(), i, unit) == cp) return static_cast<int32_t>(i - head);
  return -1;
}

bool has_char_p(const cell& string, uint32_t cp, uint32_t step, bool case_sensitive) {
  series_buffer* buffer = buffer_of(string.payload2);
  uint32_t total = buffer->count();
  uint32_t unit = buffer->unit();
  if (step == 0) step = 1;
  if (!case_sensitive) cp = case_folding::change_char(cp, true);
  for (uint32_t i = clamped_head(string, total); i < total; i += step) {
    uint32_t c = unicode::get_unit(buffer->head(), i, unit);
    if (!case_sensitive) c = case_folding::change_char(c, true);
    if (c == cp) return true;
  }
  return false;
}

bool equal_c_string_p(const cell& string, const char* bytes) {
  series_buffer* buffer = buffer_of(string.payload2);
  uint32_t total = buffer->count();
  uint32_t i = clamped_head(string, total);
  for (const char* p = bytes; *p; ++p, ++i) {
    if (i >= total || unicode::get_unit(buffer->head(), i, buffer->unit()) != static_cast<uint8_t>(*p)) return false;
  }
  return true;
}

// ---- Making -------------------------------------------------------------------------------

void ts_make_at(cell& target, uint32_t capacity) { make_at(target, capacity ? capacity : 1, 1); }

void make_at(cell& target, uint32_t size, uint32_t unit) {
  target = cell{unset_header, 0, 0, 0};  // the cell holds nothing stale while the buffer is made
  node_id node = alloc_by_unit(size ? size : 1, unit);
  target = cell{TYPE_STRING, 0, node, 0};
}

void ts_reset(cell& string) {
  series_buffer* buffer = buffer_of(string.payload2);
  buffer->flags = (buffer->flags & ~series_flag::unit_mask) | 1;
  buffer->tail = buffer->offset;
  string.payload1 = 0;
}

cell* push(const cell& string) { return stack::push_copy(string); }

// ---- Editing ------------------------------------------------------------------------------

series_buffer* reserve(series_buffer* buffer, uint64_t units) {
  uint64_t bytes = units << shift_of(buffer->unit());
  if (buffer->offset + bytes <= buffer->size) return buffer;
  if (bytes > max_series_size) fire(error_id::internal_no_memory);
  // The grown buffer starts its data at offset 0.
  return expand_series(buffer, static_cast<int64_t>(std::min<uint64_t>(bytes * 2, max_series_size)));
}

void truncate_at(series_buffer* buffer, uint32_t units) {
  if (buffer->count() >= units) set_count(buffer, units);
}

void remove_part(cell& string, uint32_t position, uint32_t count) {
  series_buffer* buffer = buffer_of(string.payload2);
  uint32_t total = buffer->count();
  if (position >= total) return;
  count = std::min(count, total - position);
  uint32_t shift = shift_of(buffer->unit());
  uint8_t* at = buffer->head() + (position << shift);
  std::memmove(at, at + (count << shift), (total - position - count) << shift);
  set_count(buffer, total - count);
}

void remove_char(cell& string, uint32_t position) { remove_part(string, position, 1); }

series_buffer* append_char_slow(series_buffer* buffer, uint32_t cp) {
  uint32_t needed = cp <= 0x7F ? 1 : cp <= 0xFFFF ? 2 : 4;
  if (buffer->unit() < needed) buffer = widen_to(buffer, needed);
  uint32_t unit = buffer->unit();
  if (buffer->tail + unit > buffer->size) buffer = reserve(buffer, uint64_t{buffer->count()} + 1);
  unicode::set_unit(buffer->end(), 0, unit, cp);
  buffer->tail += unit;
  return buffer;
}

series_buffer* poke_char(series_buffer* buffer, uint8_t* address, uint32_t cp) {
  uint32_t index = static_cast<uint32_t>(address - buffer->head()) >> shift_of(buffer->unit());
  buffer = widen_for(buffer, cp);
  unicode::set_unit(buffer->head(), index, buffer->unit(), cp);
  return buffer;
}

series_buffer* poke_char_at(series_buffer* buffer, uint32_t position, uint32_t cp) {
  buffer = widen_for(buffer, cp);
  uint32_t total = buffer->count();
  if (position >= total) {
    buffer = reserve(buffer, uint64_t{total} + 1);
    position = total;
    set_count(buffer, uint64_t{total} + 1);
  }
  unicode::set_unit(buffer->head(), position, buffer->unit(), cp);
  return buffer;
}

series_buffer* insert_char(series_buffer* buffer, uint32_t position, uint32_t cp) {
  buffer = widen_for(buffer, cp);
  uint32_t total = buffer->count();
  position = std::min(position, total);
  buffer = reserve(buffer, uint64_t{total} + 1);
  uint32_t shift = shift_of(buffer->unit());
  uint8_t* at = buffer->head() + (position << shift);
  std::memmove(at + (1u << shift), at, (total - position) << shift);
  unicode::set_unit(at, 0, buffer->unit(), cp);
  set_count(buffer, uint64_t{total} + 1);
  return buffer;
}

void move_part(cell& source, uint32_t count, cell& target) {
  node_id from = source.payload2;
  node_id to = target.payload2;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t head = clamped_head(source, buffer_of(from)->count());
    if (head >= buffer_of(from)->count()) break;
    uint32_t cp = ts_abs_at(source, head);
    auto at = static_cast<uint32_t>(std::max<int32_t>(static_cast<int32_t>(target.payload1), 0));
    insert_char(buffer_of(to), at, cp);
    bool same = from == to;
    if (same && at <= head) {
      // The insertion shifted the source's characters up by one.
      ++head;
      source.payload1 = head;
    }
    remove_char(source, head);
    if (same && head < at) --at;  // the removal shifted the target position down
    target.payload1 = at + 1;
  }
}

series_buffer* widen_to(series_buffer* buffer, uint32_t unit) {
  uint32_t from = buffer->unit();
  if (unit <= from) return buffer;
  if (from == 1) return unit == 2 ? unicode::latin1_to_ucs2(buffer) : unicode::latin1_to_ucs4(buffer);
  return unicode::ucs2_to_ucs4(buffer);
}

series_buffer* copy_units(series_buffer* source, uint32_t position, uint32_t count, series_buffer* target,
                          uint32_t at, uint32_t unit) {
  node_id source_node = source->node;
  if (!target) {
    target = buffer_of(alloc_by_unit(count ? count : 1, unit));
    at = 0;
  } else if (target->unit() < unit) {
    target = widen_to(target, unit);
  }
  uint32_t total = target->count();
  at = std::min(at, total);
  target = reserve(target, uint64_t{at} + count);
  source = buffer_of(source_node);
  uint32_t from_unit = source->unit();
  convert_units(source->head() + (position << shift_of(from_unit)), from_unit,
                target->head() + (at << shift_of(target->unit())), target->unit(), count);
  if (at + count > total) set_count(target, uint64_t{at} + count);
  return target;
}

void swap_ranges(uint8_t* start, uint32_t bytes_a, uint32_t bytes_b) {
  if (bytes_a == 0 || bytes_b == 0) return;
  ensure_scratch();
  uint32_t smaller = std::min(bytes_a, bytes_b);
  uint32_t kept_size = scratch_size;
  if (smaller > scratch_size) {
    scratch = static_cast<uint8_t*>(heap_realloc(scratch, smaller));
    scratch_size = smaller;
  }
  if (bytes_a <= bytes_b) {
    std::memcpy(scratch, start, bytes_a);
    std::memmove(start, start + bytes_a, bytes_b);
    std::memcpy(start + bytes_b, scratch, bytes_a);
  } else {
    std::memcpy(scratch, start + bytes_a, bytes_b);
    std::memmove(start + bytes_b, start, bytes_a);
    std::memcpy(start, scratch, bytes_b);
  }
  if (scratch_size != kept_size) {
    scratch = static_cast<uint8_t*>(heap_realloc(scratch, kept_size));
    scratch_size = kept_size;
  }
}

void concatenate(cell& target, const cell& source, int32_t part, uint32_t position, concat_mode mode) {
  cell text = text_of(source);
  node_id from = text.payload2;
  uint32_t source_total = buffer_of(from)->count();
  uint32_t start = clamped_head(text, source_total);
  uint32_t count = source_total - start;
  if (part >= 0 && static_cast<uint32_t>(part) < count) count = static_cast<uint32_t>(part);
  if (count == 0) return;

  node_id to = target.payload2;
  series_buffer* buffer = widen_to(buffer_of(to), buffer_of(from)->unit());
  uint32_t total = buffer->count();
  uint32_t at = mode == concat_mode::append ? total : std::min(position, total);
  uint64_t final_count = mode == concat_mode::overwrite ? std::max<uint64_t>(total, uint64_t{at} + count)
                                                        : uint64_t{total} + count;
  buffer = reserve(buffer, final_count);
  series_buffer* source_buffer = buffer_of(from);
  uint32_t unit = buffer->unit();
  uint32_t shift = shift_of(unit);
  const uint8_t* copy_from = source_buffer->head() + (start << shift_of(source_buffer->unit()));

  // Inserting a buffer into itself: the gap would shift the very units being copied.
  std::vector<uint8_t> own_units;
  if (from == to && mode == concat_mode::insert) {
    own_units.assign(copy_from, copy_from + (size_t{count} << shift));
    copy_from = own_units.data();
  }
  uint8_t* place = buffer->head() + (at << shift);
  if (mode == concat_mode::insert) std::memmove(place + (count << shift), place, (total - at) << shift);
  convert_units(copy_from, source_buffer->unit(), place, unit, count);
  set_count(buffer, final_count);
}

void append_c_string(cell& string, const char* bytes) { append_c_part(string, bytes, std::strlen(bytes)); }

void append_c_part(cell& string, const char* bytes, uint32_t count) {
  series_buffer* buffer = buffer_of(string.payload2);
  bool ascii = std::all_of(bytes, bytes + count, [](char c) { return static_cast<uint8_t>(c) <= 0x7F; });
  if (!ascii) {
    for (uint32_t i = 0; i < count; ++i) buffer = append_char(buffer, static_cast<uint8_t>(bytes[i]));
    return;
  }
  uint32_t total = buffer->count();
  buffer = reserve(buffer, uint64_t{total} + count);
  for (uint32_t i = 0; i < count; ++i)
    unicode::set_unit(buffer->head(), total + i, buffer->unit(), static_cast<uint8_t>(bytes[i]));
  set_count(buffer, uint64_t{total} + count);
}

// ---- Registration -------------------------------------------------------------------------

void init() {
  ensure_scratch();
  datatype::register_type(TYPE_STRING, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, inherit, inherit, &to, &form, &mold, &eval_path, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      &insert, inherit, inherit, &change, inherit, inherit, &find, inherit, inherit, inherit, &insert, inherit,
      inherit, inherit,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      inherit, inherit, unsupported, inherit, inherit, &select, &sort, inherit, &swap, inherit, inherit, &take,
      &trim,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, inherit, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::string
