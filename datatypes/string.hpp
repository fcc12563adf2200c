// string!: text in one buffer of 1-, 2- or 4-byte units that widens when a wider character
// arrives, the string API the whole runtime builds and reads text with, and the string!
// handlers. file!, url!, tag!, email! and ref! share the layout and the API.
//
// A position is a unit index counted from the buffer's `offset`, as head indexes are. Calls
// that take or answer a `series_buffer*` may move the buffer (growth, widening): use the
// buffer they answer, or resolve the node again.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/case_folding.hpp"
#include "runtime/cell.hpp"
#include "runtime/memory.hpp"
#include "runtime/unicode.hpp"

namespace tav::string {

// ---- Reading ------------------------------------------------------------------------------

// Units from the head to the tail; a head past the tail (or below 0) counts as there.
uint32_t ts_length_p(const cell& string);
// Units from the buffer's offset to the tail.
uint32_t ts_abs_length_p(const cell& string);
// Moves the head by `count` only when that stays within the tail (the tail itself allowed);
// answers whether that position is at or past the tail, moved or not.
bool ts_skip(cell& string, int32_t count);
bool ts_next(cell& string);
// Address of the head unit. A head past the tail is first pulled back to it in the cell.
uint8_t* ts_head(cell& string);
uint8_t* ts_tail(const cell& string);
bool ts_tail_p(const cell& string);
// The code point at a position counted from the buffer's offset.
uint32_t ts_abs_at(const cell& string, uint32_t position);
inline uint32_t get_char(const uint8_t* address, uint32_t unit) { return unicode::get_unit(address, 0, unit); }
// The upper-case form comparisons fold a character to; ASCII without a table look-up.
inline uint32_t fold_upper(uint32_t cp) {
  if (cp < 128) return cp - 'a' < 26 ? cp - 32 : cp;
  return case_folding::change_char(cp, true);
}
// Units from the head to the first `cp`, or -1.
int32_t ts_find_char(const cell& string, uint32_t cp);
// Whether `cp` is at the head, head + step, head + 2 x step ... Unless `case_sensitive`,
// both sides are folded to upper case.
bool has_char_p(const cell& string, uint32_t cp, uint32_t step, bool case_sensitive);
// Whether the text from the head starts with exactly these bytes, each one code point.
bool equal_c_string_p(const cell& string, const char* bytes);

// ---- Making -------------------------------------------------------------------------------

// An empty string! of unit 1 with room for `capacity` units (0 counts as 1).
void ts_make_at(cell& target, uint32_t capacity);
void make_at(cell& target, uint32_t size, uint32_t unit);
// Empties the buffer in place: unit 1 again, nothing in use, head 0.
void ts_reset(cell& string);
// A copy of the cell on the argument stack.
cell* push(const cell& string);

// ---- Editing ------------------------------------------------------------------------------

// Grows the buffer, when needed, so that `units` units of its width fit from its offset;
// growth asks for twice the bytes needed. Too large raises internal/no-memory.
series_buffer* reserve(series_buffer* buffer, uint64_t units);
// Keeps the first `units` units when the buffer holds at least that many.
void truncate_at(series_buffer* buffer, uint32_t units);
// Removes `count` units at `position` (fewer when the tail comes first); nothing when the
// position is at or past the tail.
void remove_part(cell& string, uint32_t position, uint32_t count);
void remove_char(cell& string, uint32_t position);
// Appends at the tail. A unit-1 buffer keeps unit 1 only for code points 0-127; up to
// 0xFFFF it widens to 2, above to 4.
series_buffer* append_char_slow(series_buffer* buffer, uint32_t cp);
inline series_buffer* append_char(series_buffer* buffer, uint32_t cp) {
  if (cp <= 0x7F && buffer->unit() == 1 && buffer->tail < buffer->size) [[likely]] {
    buffer->data()[buffer->tail++] = static_cast<uint8_t>(cp);
    return buffer;
  }
  return append_char_slow(buffer, cp);
}
// Store one character, widening only when the code point needs it (unit 1 holds 0-255).
// `address` lies inside the buffer; it is recomputed when the buffer widens.
series_buffer* poke_char(series_buffer* buffer, uint8_t* address, uint32_t cp);
// At a position; at (or past) the tail the character is added there.
series_buffer* poke_char_at(series_buffer* buffer, uint32_t position, uint32_t cp);
// Makes room for one unit at the position (clamped to the tail) and stores the character.
series_buffer* insert_char(series_buffer* buffer, uint32_t position, uint32_t cp);
// Moves `count` characters from the source's head to the target's head, one at a time: each
// is inserted into the target (whose head moves past it) and removed from the source.
void move_part(cell& source, uint32_t count, cell& target);
// Widens the whole buffer to 2 or 4 bytes per unit (never narrows).
series_buffer* widen_to(series_buffer* buffer, uint32_t unit);
// Copies `count` units from `position` of the source into `target` at `at` (its tail grows
// when the copy passes it), converting them to `unit`, which must not be narrower than the
// source's. With a null target a new buffer of that unit is made for them. Answers the target.
series_buffer* copy_units(series_buffer* source, uint32_t position, uint32_t count, series_buffer* target,
                          uint32_t at, uint32_t unit);
// Exchanges the `bytes_a` bytes at `start` with the `bytes_b` bytes right after them, through
// one scratch buffer kept for reuse.
void swap_ranges(uint8_t* start, uint32_t bytes_a, uint32_t bytes_b);

enum class concat_mode : int32_t { append = 0, insert = 1, overwrite = 2 };
// Copies the source's characters from its head (at most `part` when 0 <= part < its length)
// into the target: at its tail, inserted at `position`, or written over the units from
// `position` (the tail moves only when the copy passes it). The target widens to the
// source's unit. A symbol! source is read through its spelling.
void concatenate(cell& target, const cell& source, int32_t part, uint32_t position, concat_mode mode);
inline void concatenate_default(cell& target, const cell& source, int32_t part, uint32_t position) {
  concatenate(target, source, part, position, concat_mode::overwrite);
}
// Each byte becomes one code point.
void append_c_string(cell& string, const char* bytes);
void append_c_part(cell& string, const char* bytes, uint32_t count);

// ---- Conversions --------------------------------------------------------------------------

// How raw bytes are encoded: nothing else is ever asked for.
enum class encoding : int32_t { utf8 = 0, utf16le = -1 };
// A string made from the bytes (UTF-16LE: `length` bytes, an odd last byte ignored) in the
// target cell, or with a null target in a new cell pushed on the argument stack.
cell* load_at(const uint8_t* bytes, size_t length, cell* target, encoding from);
// In a new cell at the tail of a block, of the root block, or on the argument stack.
cell* load_in(const uint8_t* bytes, size_t length, cell& block, encoding from);
cell* load_in_root(const uint8_t* bytes, size_t length, encoding from);
cell* load(const uint8_t* bytes, size_t length, encoding from);
// A new string pushed on the stack from the first `count` UTF-8 bytes at the series' head.
cell* make_from_utf8_series(const cell& series, uint32_t count);
// The number the bytes [start, end) spell.
double to_float(const uint8_t* start, const uint8_t* end);
// Upper-case hexadecimal digits in a static buffer, valid until the next call. Without
// `short_form` all 8 digits; with it no leading zeros (0 gives "00").
const char* byte_to_hex(uint8_t byte);
const char* to_hex(int32_t value, bool short_form);

// ---- Text output and comparison -----------------------------------------------------------

// Appends the character as molded text writes it: caret escapes for control characters,
// the double quote and the caret, hexadecimal ones for 30, 128-159 and, with `all`, for
// everything above 127.
void append_escaped_char(cell& buffer, uint32_t cp, bool all);
// Compares two texts from their heads (a symbol! through its spelling): 0 equal, 1 when value1
// is greater, -1 when lesser; letters fold to upper case except under ops 2 and 8. In prefix
// mode value2 is compared with the start of value1.
int32_t compare_strings(const cell& value1, const cell& value2, int32_t op, bool prefix);

// A sort comparator function! is called through this; the interpreter installs it. It calls
// `function` with the two values in a frame named <compare-callback> and answers the result.
using comparator_call = cell (*)(const cell& function, const cell& first, const cell& second);
void set_comparator_call(comparator_call call);

// ---- Match tests of PARSE ------------------------------------------------------------------

// Whether the character at the head is in the bitset (one beyond the bitset's bits is when
// the bitset is complemented); false at the tail.
bool match_bitset_p(const cell& string, const cell& bitset);
// Whether "<" stands at the head and ">" just after as many characters as the tag holds.
bool match_tag_p(const cell& string, const cell& tag);
// Whether a char!, a tag! (with its brackets) or a text value (string!, file!, url!, email!,
// ref!) stands at the head, compared under the op (letters fold unless it is 2).
bool match_value_p(const cell& string, const cell& value, int32_t op);

// ---- Handlers -----------------------------------------------------------------------------
// Handlers answer in the first argument's cell (make and to push a new value).

// A count or a size in a make spec gives an empty series of that capacity; a binary! target
// takes its other specs through binary!'s own conversion.
cell* make(cell* prototype, cell* spec, int32_t type);
cell* to(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back);
int32_t compare(cell* value1, cell* value2, int32_t op);
// append and insert; `part` (-1: all) counts characters of the text added.
cell* insert(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append);
// append without refinements where it is the simplest: the text of a string, file, url, email or
// ref from its index, copied to the tail of a string! nobody owns whose buffer has room for it
// in the same unit width. Answers false, having changed nothing, anywhere else.
bool append_in_place(cell& series, const cell& value);
cell* change(cell* series, cell* value, int32_t part, bool only, int32_t dup);
cell* find(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool any, cell* with,
           cell* skip, bool last, bool reverse, bool tail, bool match);
cell* select(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool any, cell* with,
             cell* skip, bool last, bool reverse);
cell* sort(cell* series, bool case_sensitive, cell* skip, cell* comparator, cell* part, bool all, bool reverse,
           bool stable);
cell* swap(cell* series1, cell* series2);
// Without a part one element: a char! of text, an integer! of a binary, a vector's element.
cell* take(cell* series, cell* part, bool deep, bool last);
cell* trim(cell* series, bool head, bool tail, bool auto_, bool lines, bool all, cell* with);
// The set operation `op` (see datatypes/set_ops.hpp) on the texts from their heads, records of
// `skip` characters (null: 1) known by their first one: a new string! in series1's cell.
cell* do_set_op(int32_t op, cell* series1, cell* series2, bool case_sensitive, cell* skip);
void init();

}  // namespace tav::string
