// Text output: string! cells made, extended and compared a character at a time.
#include "datatypes/text_output.hpp"

#include <algorithm>
#include <cstring>

#include "datatypes/types.hpp"
#include "runtime/case_folding.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::text {
namespace {

uint32_t unit_shift(uint32_t unit) { return unit == 1 ? 0 : unit == 2 ? 1 : 2; }

uint32_t chars_from(node_id node, uint32_t head) {
  series_buffer* buffer = buffer_of(node);
  uint32_t count = buffer->count();
  return head < count ? count - head : 0;
}

series_buffer* widen(series_buffer* buffer, uint32_t unit) {
  if (buffer->unit() == 1) return unit == 2 ? unicode::latin1_to_ucs2(buffer) : unicode::latin1_to_ucs4(buffer);
  return unicode::ucs2_to_ucs4(buffer);
}

void put(node_id node, uint32_t cp) {
  series_buffer* buffer = buffer_of(node);
  uint32_t needed = cp <= 0x7F ? 1 : cp <= 0xFFFF ? 2 : 4;
  if (buffer->unit() < needed) buffer = widen(buffer, needed);
  uint32_t unit = buffer->unit();
  uint8_t* place = alloc_tail_bytes(buffer, unit);
  unicode::set_unit(place, 0, unit, cp);
}

}  // namespace

void make_at(cell& target, uint32_t capacity) {
  target = cell{unset_header, 0, 0, 0};
  node_id node = alloc_by_unit(capacity ? capacity : 1, 1);
  target = cell{TYPE_STRING, 0, node, 0};
}

uint32_t length(const cell& string) { return chars_from(string.payload2, string.payload1); }

void append_char(cell& string, uint32_t cp) { put(string.payload2, cp); }

void append_c_string(cell& string, const char* bytes) {
  for (const char* p = bytes; *p; ++p) put(string.payload2, static_cast<uint8_t>(*p));
}

void append_c_part(cell& string, const char* bytes, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) put(string.payload2, static_cast<uint8_t>(bytes[i]));
}

void append_text(cell& string, node_id source, uint32_t head) {
  uint32_t n = chars_from(source, head);
  for (uint32_t i = 0; i < n; ++i) {
    series_buffer* from = buffer_of(source);  // each put may allocate
    put(string.payload2, unicode::get_unit(from->head(), head + i, from->unit()));
  }
}

void truncate(cell& string, uint32_t chars) {
  series_buffer* buffer = buffer_of(string.payload2);
  uint32_t keep = string.payload1 + chars;
  if (keep < buffer->count()) buffer->tail = buffer->offset + (keep << unit_shift(buffer->unit()));
}

node_id load_utf8(const uint8_t* bytes, size_t length) { return unicode::load_utf8_new(bytes, length); }

int32_t compare(node_id node1, uint32_t head1, node_id node2, uint32_t head2, int32_t op) {
  if (op == 9) return node1 == node2 && head1 == head2 ? 0 : -1;
  bool equality = op == 0 || op == 1 || op == 2 || op == 12;
  if (equality && node1 == node2 && head1 == head2) return 0;
  uint32_t length1 = chars_from(node1, head1);
  uint32_t length2 = chars_from(node2, head2);
  if (length1 == 0 && length2 == 0) return 0;
  if ((equality && length1 != length2) || length2 == 0) return 1;
  series_buffer* buffer1 = buffer_of(node1);
  series_buffer* buffer2 = buffer_of(node2);
  bool fold = op != 2 && op != 8;
  uint32_t n = std::min(length1, length2);
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t c1 = unicode::get_unit(buffer1->head(), head1 + i, buffer1->unit());
    uint32_t c2 = unicode::get_unit(buffer2->head(), head2 + i, buffer2->unit());
    if (fold) {
      c1 = case_folding::change_char(c1, true);
      c2 = case_folding::change_char(c2, true);
    }
    if (c1 != c2) return c1 > c2 ? 1 : -1;
  }
  if (length1 == length2) return 0;
  return length1 > length2 ? 1 : -1;
}

}  // namespace tav::text
