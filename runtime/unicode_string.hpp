// Unicode conversion of string values: loading UTF-8 and UTF-16 into string series,
// encoding strings to UTF-8 and UTF-16 through each value's conversion cache, and the
// in-place widening of a series from 1 to 2 or 4 and from 2 to 4 bytes per character.
//
// Loaders answer the node of the string series they filled; make the value with
// `string_cell::make`. Pointers answered into a conversion cache stay valid until the next
// conversion of the same value or the next allocation, whichever comes first.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"
#include "runtime/unicode.hpp"

namespace tav::unicode {

// Widen the whole used part of a series in place, expanding it first when its data area
// from `offset` is smaller than the units at the new width plus one more unit; then the
// new unit is set in the flags. Answer the buffer, which may have moved.
series_buffer* latin1_to_ucs2(series_buffer* buffer);
series_buffer* latin1_to_ucs4(series_buffer* buffer);
series_buffer* ucs2_to_ucs4(series_buffer* buffer);

// A unit sink over a text series: its units from `offset` to `tail`, room up to the end of
// the data area. The sink grows and widens the series itself; `close_string_sink` stores
// the units in use back as the series' tail.
unit_sink string_sink(node_id node);
void close_string_sink(const unit_sink& sink);

// UTF-8 into the series `target` (rewritten from its start) or, when `target` is 0, into a
// new string of width 1. A leading byte-order mark is skipped; with `line_flag` CR LF and
// a lone CR become LF. An incomplete final sequence stops the load and its byte count goes
// to `left`. Invalid bytes raise access/invalid-utf8 with what was decoded before them kept.
node_id load_utf8(const uint8_t* bytes, size_t length, node_id target, size_t* left, bool line_flag);
// Into the series of a given string value, without line conversion.
node_id load_utf8_series(const uint8_t* bytes, size_t length, const cell& string, size_t* left);
// Into a new string, without line conversion; an incomplete final sequence is dropped.
node_id load_utf8_new(const uint8_t* bytes, size_t length);

// `count` UTF-16LE units (any alignment; none when `count` is 0) into `target` or a new
// string, at the width the units need (a new empty string is width 2 with room for one
// unit). Pairs become one code point, a lone surrogate stays as its own; with `line_flag`
// every CR is dropped.
node_id load_utf16(const uint8_t* units, size_t count, node_id target, bool line_flag);

// The string from its head as NUL-terminated UTF-8 in the value's conversion cache.
// `length` in: the most characters to take, -1 for all; out: the bytes, terminator left
// out. With `crlf` each LF becomes CR LF. A code point above 0x10FFFF raises
// script/invalid-char.
uint8_t* to_utf8_part(cell& string, int64_t* length, bool crlf);
uint8_t* to_utf8(cell& string, int64_t* length);
// Into a caller's buffer, which must hold 4 bytes per character taken plus the terminator.
// Answers the bytes written, terminator left out.
size_t to_utf8_buffer(const cell& string, uint8_t* out, int64_t max_units, bool terminate);
// Writes whole characters only, never more than `room` bytes in all: with `terminate` the
// terminator takes one of them. Answers the bytes written, terminator left out.
size_t to_utf8_limited(const cell& string, uint8_t* out, size_t room, int64_t max_units, bool terminate);

// The string from its head as 0-terminated UTF-16 in the value's conversion cache; code
// points above 0xFFFF become surrogate pairs. `length` in: the most characters, -1 for all;
// out: the units written, terminator left out. With `crlf` a CR goes before each LF.
// Answers null when a code point above 0x10FFFF is met.
uint16_t* to_utf16_part(cell& string, int64_t* length, bool crlf);
// The whole string from its head, LF as CR LF.
uint16_t* to_utf16(cell& string);

}  // namespace tav::unicode
