// Unicode conversion of string values: the string-backed unit sink, widening of series,
// the UTF-8 and UTF-16 loaders into strings and the encoders into the conversion cache.
#include "runtime/unicode_string.hpp"

#include <algorithm>

#include "runtime/errors.hpp"
#include "runtime/series.hpp"
#include "runtime/string_cell.hpp"

namespace tav::unicode {
namespace {

uint32_t room_of(const series_buffer* buffer) { return buffer->size - buffer->offset; }

[[noreturn, gnu::cold]] void no_memory() { fire(error_id::internal_no_memory); }

// A count of units as the allocator takes it; anything past the largest buffer cannot be.
uint32_t checked_units(uint64_t count) {
  if (count > max_series_size) no_memory();
  return static_cast<uint32_t>(count);
}

series_buffer* widen_series(series_buffer* buffer, uint32_t to) {
  uint32_t from = buffer->unit();
  if (from >= to) return buffer;
  uint32_t units = buffer->count();
  uint64_t need = (uint64_t{units} + 1) * to;
  // Measured from `offset`, not from the data start: a buffer made for head insertion
  // has only the upper half of its area for the units.
  if (room_of(buffer) < need) buffer = expand_series(buffer, static_cast<int64_t>(need));
  widen_units(buffer->head(), units, from, to);
  buffer->flags = (buffer->flags & ~series_flag::unit_mask) | to;
  buffer->tail = buffer->offset + units * to;
  return buffer;
}

node_id sink_node(const unit_sink& sink) {
  return static_cast<node_id>(reinterpret_cast<uintptr_t>(sink.context));
}

void point_sink(unit_sink& sink, series_buffer* buffer) {
  sink.data = buffer->head();
  sink.width = buffer->unit();
  sink.capacity = room_of(buffer) / sink.width;
}

void grow_string(unit_sink& sink, uint32_t new_width, size_t min_units) {
  series_buffer* buffer = buffer_of(sink_node(sink));
  buffer->tail = buffer->offset + static_cast<uint32_t>(sink.count * sink.width);
  uint64_t units = std::max<uint64_t>(min_units, sink.count + (new_width > sink.width));
  uint64_t need = units * new_width;
  if (room_of(buffer) < need) {
    if (need > max_series_size) no_memory();
    buffer = expand_series(buffer, static_cast<int64_t>(need));
  }
  if (new_width > sink.width) {
    buffer = widen_series(buffer, new_width);
  } else if (new_width != sink.width) {  // only while no unit is in use
    buffer->flags = (buffer->flags & ~series_flag::unit_mask) | new_width;
  }
  point_sink(sink, buffer);
}

// Stores the units in use as the tail however the load ends, an error included.
struct sink_closer {
  const unit_sink& sink;
  ~sink_closer() { close_string_sink(sink); }
};

// The units of a string from its head (clipped to the tail), at most `max_units` of them
// when that is not negative.
struct text_run {
  const uint8_t* units;
  size_t count;
  uint32_t width;
};

text_run run_of(const cell& string, int64_t max_units) {
  series_buffer* buffer = buffer_of(string_cell::node(string));
  uint32_t width = buffer->unit();
  int64_t total = buffer->count();
  int64_t head = std::clamp<int64_t>(string_cell::head(string), 0, total);
  int64_t count = total - head;
  if (max_units >= 0 && max_units < count) count = max_units;
  return {buffer->head() + head * width, static_cast<size_t>(count), width};
}

// The value's conversion cache with room for `bytes`, made or grown as needed. Its old
// contents are not kept. This allocates: resolve the string again afterwards.
uint8_t* cache_of(cell& string, uint64_t bytes) {
  uint32_t size = checked_units(bytes);
  node_id cache = string_cell::cache(string);
  if (cache == 0) {
    cache = alloc_bytes(size);
    string.payload3 = cache;
  } else if (buffer_of(cache)->size < size) {
    expand_series_core(buffer_of(cache), size);
  }
  series_buffer* buffer = buffer_of(cache);
  buffer->offset = buffer->tail = 0;
  return buffer->data();
}

void set_cache_tail(const cell& string, uint32_t bytes) { buffer_of(string_cell::cache(string))->tail = bytes; }

}  // namespace

series_buffer* latin1_to_ucs2(series_buffer* buffer) { return widen_series(buffer, 2); }
series_buffer* latin1_to_ucs4(series_buffer* buffer) { return widen_series(buffer, 4); }
series_buffer* ucs2_to_ucs4(series_buffer* buffer) { return widen_series(buffer, 4); }

unit_sink string_sink(node_id node) {
  unit_sink sink{};
  sink.count = buffer_of(node)->count();
  sink.make_room = grow_string;
  sink.context = reinterpret_cast<void*>(static_cast<uintptr_t>(node));
  point_sink(sink, buffer_of(node));
  return sink;
}

void close_string_sink(const unit_sink& sink) {
  series_buffer* buffer = buffer_of(sink_node(sink));
  buffer->tail = buffer->offset + static_cast<uint32_t>(sink.count * sink.width);
}

node_id load_utf8(const uint8_t* bytes, size_t length, node_id target, size_t* left, bool line_flag) {
  node_id node = target ? target : alloc_by_unit(checked_units(std::max<size_t>(length, 1)), 1);
  unit_sink sink = string_sink(node);
  sink_closer closer{sink};
  size_t rest = unicode::load_utf8(sink, bytes, length, line_flag);
  if (left) *left = rest;
  return node;
}

node_id load_utf8_series(const uint8_t* bytes, size_t length, const cell& string, size_t* left) {
  return load_utf8(bytes, length, string_cell::node(string), left, false);
}

node_id load_utf8_new(const uint8_t* bytes, size_t length) { return load_utf8(bytes, length, 0, nullptr, false); }

node_id load_utf16(const uint8_t* units, size_t count, node_id target, bool line_flag) {
  node_id node = target;
  if (node == 0) {
    if (count == 0) return alloc_by_unit(1, 2);
    node = alloc_by_unit(checked_units(count), utf16_width(units, count));
  }
  unit_sink sink = string_sink(node);
  sink_closer closer{sink};
  unicode::load_utf16(sink, units, count, line_flag);
  return node;
}

uint8_t* to_utf8_part(cell& string, int64_t* length, bool crlf) {
  text_run run = run_of(string, *length);
  // Enough for the widest character of each width, or for CR LF in place of LF.
  uint64_t per_unit = run.width == 1 ? 2 : run.width == 2 ? 3 : 4;
  uint8_t* out = cache_of(string, (run.count + 1) * per_unit);
  run = run_of(string, *length);
  size_t written = encode_utf8(run.units, run.count, run.width, out, crlf);
  out[written] = 0;
  set_cache_tail(string, static_cast<uint32_t>(written));
  *length = static_cast<int64_t>(written);
  return out;
}

uint8_t* to_utf8(cell& string, int64_t* length) { return to_utf8_part(string, length, false); }

size_t to_utf8_buffer(const cell& string, uint8_t* out, int64_t max_units, bool terminate) {
  text_run run = run_of(string, max_units);
  size_t written = encode_utf8(run.units, run.count, run.width, out, false);
  if (terminate) out[written] = 0;
  return written;
}

// A character cut inside its sequence would leave invalid UTF-8 behind, so the output ends
// before the first one that does not fit whole.
size_t to_utf8_limited(const cell& string, uint8_t* out, size_t room, int64_t max_units, bool terminate) {
  text_run run = run_of(string, max_units);
  size_t budget = terminate && room > 0 ? room - 1 : room;
  size_t written = 0;
  for (size_t i = 0; i < run.count; ++i) {
    uint32_t cp = get_unit(run.units, i, run.width);
    auto size = static_cast<size_t>(cp_utf8_size(cp));
    if (size > budget - written) break;
    written += static_cast<size_t>(cp_to_utf8(cp, out + written));
  }
  if (terminate && room > 0) out[written] = 0;
  return written;
}

uint16_t* to_utf16_part(cell& string, int64_t* length, bool crlf) {
  int64_t max_units = *length;
  text_run run = run_of(string, max_units);
  // Room for a CR before every LF and a pair for every code point above 0xFFFF, whether or
  // not the line flag asks for the CRs.
  uint64_t units = utf16_size_of_run(run.units, run.count, run.width, true) + 1;
  auto* out = reinterpret_cast<uint16_t*>(cache_of(string, units * 2));
  run = run_of(string, max_units);
  ptrdiff_t written = encode_utf16(run.units, run.count, run.width, out, crlf);
  if (written < 0) {
    out[0] = 0;
    *length = 0;
    return nullptr;
  }
  out[written] = 0;
  set_cache_tail(string, static_cast<uint32_t>(written * 2));
  *length = written;
  return out;
}

uint16_t* to_utf16(cell& string) {
  int64_t length = -1;
  return to_utf16_part(string, &length, true);
}

}  // namespace tav::unicode
