// Text output: the string operations that forming and molding values are written with
// (making the output string, appending characters, C text and other text, reading UTF-8,
// comparing), each the string API's own.
#pragma once
#include <cstddef>
#include <cstdint>

#include "datatypes/string.hpp"
#include "datatypes/types.hpp"
#include "runtime/cell.hpp"
#include "runtime/memory.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::text {

// An empty string! in the cell: Latin-1 units, room for `capacity` characters (0 counts as 1).
inline void make_at(cell& target, uint32_t capacity) { tav::string::ts_make_at(target, capacity); }
// Characters from the head to the tail (a head past the tail counts 0).
inline uint32_t length(const cell& out) { return tav::string::ts_length_p(out); }
// Appends at the tail. A unit-1 text keeps unit 1 only for code points 0-127; wider code
// points widen the whole text first (to 2 up to 0xFFFF, else to 4).
inline void append_char(cell& out, uint32_t cp) { tav::string::append_char(buffer_of(out.payload2), cp); }
// Each byte becomes one code point.
inline void append_c_string(cell& out, const char* bytes) { tav::string::append_c_string(out, bytes); }
inline void append_c_part(cell& out, const char* bytes, uint32_t count) {
  tav::string::append_c_part(out, bytes, count);
}
// Appends the characters of a text series from `head` to its tail.
inline void append_text(cell& out, node_id source, uint32_t head) {
  tav::string::concatenate(out, cell{TYPE_STRING, head, source, 0}, -1, 0, tav::string::concat_mode::append);
}
// Keeps the first `chars` characters after the head.
inline void truncate(cell& out, uint32_t chars) {
  uint32_t head = tav::string::ts_abs_length_p(out) - tav::string::ts_length_p(out);
  tav::string::truncate_at(buffer_of(out.payload2), head + chars);
}
// A new text series holding the UTF-8 bytes decoded (invalid bytes raise access/invalid-utf8).
inline node_id load_utf8(const uint8_t* bytes, size_t length) { return unicode::load_utf8_new(bytes, length); }
// Compares two text series from their heads under a compare op: 0 equal, 1 or -1 for the
// order. Texts of different lengths are unequal at once under the equality ops; letters are
// folded to upper case except under ops 2 and 8.
inline int32_t compare(node_id node1, uint32_t head1, node_id node2, uint32_t head2, int32_t op) {
  return tav::string::compare_strings(cell{TYPE_STRING, head1, node1, 0}, cell{TYPE_STRING, head2, node2, 0}, op,
                                      false);
}

}  // namespace tav::text
