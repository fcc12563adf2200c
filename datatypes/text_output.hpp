// Text output: the small set of string! operations that forming and molding values needs
// (making a string, appending characters, C text and other text, reading UTF-8, comparing).
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::text {

// An empty string! in the cell: Latin-1 units, room for `capacity` characters (0 counts as 1).
void make_at(cell& target, uint32_t capacity);
// Characters from the head to the tail (a head past the tail counts 0).
uint32_t length(const cell& string);
// Appends at the tail. A unit-1 text keeps unit 1 only for code points 0-127; wider code
// points widen the whole text first (to 2 up to 0xFFFF, else to 4).
void append_char(cell& string, uint32_t cp);
// Each byte becomes one code point.
void append_c_string(cell& string, const char* bytes);
void append_c_part(cell& string, const char* bytes, uint32_t count);
// Appends the characters of a text series from `head` to its tail.
void append_text(cell& string, node_id source, uint32_t head);
// Keeps the first `chars` characters after the head.
void truncate(cell& string, uint32_t chars);
// A new text series holding the UTF-8 bytes decoded (invalid bytes raise access/invalid-utf8).
node_id load_utf8(const uint8_t* bytes, size_t length);
// Compares two text series from their heads under a compare op: 0 equal, 1 or -1 for the
// order. Texts of different lengths are unequal at once under the equality ops; letters are
// folded to upper case except under ops 2 and 8.
int32_t compare(node_id node1, uint32_t head1, node_id node2, uint32_t head2, int32_t op);

}  // namespace tav::text
