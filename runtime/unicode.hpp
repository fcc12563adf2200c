// Unicode conversion on buffers and code points: UTF-8 decoding (table-driven and
// validating), UTF-8 and UTF-16 encoding, in-place widening of 1/2/4-byte units, and the
// UTF-8 and UTF-16 loader cores that the string-level conversions wrap.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace tav {

// The destination of a loader or of an in-place case change: units of `width` bytes
// (1, 2 or 4) at `data`, `count` of them in use, room for `capacity`.
//
// When the units in use must change width or more room is needed, the code calls
// `make_room(sink, new_width, min_units)`: it must convert the `count` units in use to
// `new_width` (only ever wider, or any width when `count` is 0) and leave room for at least
// `min_units` units, then update `data`, `width` and `capacity`. A string-backed sink does
// this with its series expansion and `widen_units`; `context` is the caller's.
struct unit_sink {
  void* data;
  uint32_t width;
  size_t count;
  size_t capacity;
  void (*make_room)(unit_sink& sink, uint32_t new_width, size_t min_units);
  void* context;
};

namespace unicode {

// The two errors raised here carry their argument: access/invalid-utf8 a binary! of the
// bytes at the bad sequence (at most 4, never past the input), script/invalid-char the code
// point as an integer!. Raising the first allocates, so the memory manager must be up.

constexpr uint32_t max_code_point = 0x10FFFF;

// Byte classes (256 entries), then the transition rows: states are multiples of 12,
// 0 accepts and 12 rejects.
extern const std::array<uint8_t, 256 + 108> utf8_dfa;
inline constexpr uint8_t utf8_accept = 0;
inline constexpr uint8_t utf8_reject = 12;

// Decodes one character with the DFA. There is no end check: the text must be terminated.
// On an invalid sequence `cp` is -1 and the answer is just past the byte that made it
// invalid (a bad lead byte alone; a bad continuation byte with the bytes before it).
const uint8_t* fast_decode_utf8_char(const uint8_t* p, int32_t* cp);

// These never read at or past `end`; a sequence cut by `end` counts as one character.
size_t count_utf8_chars(const uint8_t* start, const uint8_t* end);
const uint8_t* skip_utf8_chars(const uint8_t* p, const uint8_t* end, size_t n);

// 4, 3 or 2 by the lead byte's top bits, else 0.
int utf8_lead_size(uint8_t byte);

// The validating decoder. `available` is in: bytes readable at `p`, out: bytes the
// character took. Answers -1 when the sequence needs more bytes than are available
// (`available` is left as it was). Invalid bytes raise access/invalid-utf8.
// Overlong forms are accepted, and so are surrogates except U+DC00-U+DCFF.
int32_t decode_utf8_char(const uint8_t* p, size_t* available);

// access/invalid-utf8 with a binary! of the (at most 4) bytes at the bad sequence.
[[noreturn, gnu::cold]] void raise_invalid_utf8(const uint8_t* p, size_t available);
// script/invalid-char with the code point as an integer!.
[[noreturn, gnu::cold]] void raise_invalid_char(uint32_t cp);

// Raise script/invalid-char for code points above 0x10FFFF.
int cp_utf8_size(uint32_t cp);
int cp_to_utf8(uint32_t cp, uint8_t* out);
// Writes byte k (1-based) of the sequence only when room >= k; answers the bytes written.
int cp_to_utf8_limited(uint32_t cp, uint8_t* out, size_t room);
// 1 below 0x10000, 2 (a surrogate pair) up to 0x10FFFF, 0 above.
int cp_to_utf16(uint32_t cp, uint16_t* out);

// UTF-8 bytes of `count` units of `width` bytes; raises script/invalid-char like cp_utf8_size.
size_t utf8_size_of_run(const void* units, size_t count, uint32_t width);
// Whether every byte is below 0x80.
bool ascii_p(const uint8_t* bytes, size_t count);
// Encodes units as UTF-8 into `out` (no terminator). With `crlf` each LF becomes CR LF.
// `out` needs utf8_size_of_run bytes, plus one per LF with `crlf`; 2, 3 or 4 bytes per unit
// for widths 1, 2 and 4 always suffice.
size_t encode_utf8(const void* units, size_t count, uint32_t width, uint8_t* out, bool crlf);
// Like encode_utf8 without line conversion, but stops at `room` bytes, possibly inside a
// sequence.
size_t encode_utf8_limited(const void* units, size_t count, uint32_t width, uint8_t* out, size_t room);

// UTF-16 units (terminator excluded) that encode_utf16 writes for these units.
size_t utf16_size_of_run(const void* units, size_t count, uint32_t width, bool crlf);
// Encodes units as UTF-16 into `out` (no terminator): code points above 0xFFFF become
// surrogate pairs, and with `crlf` a CR is put before each LF. Answers the units written, or
// -1, having written nothing useful, when a code point above 0x10FFFF is met.
ptrdiff_t encode_utf16(const void* units, size_t count, uint32_t width, uint16_t* out, bool crlf);

// Widens `count` units at `data` from `from` to `to` bytes in place, last unit first.
// The buffer must hold count x `to` bytes.
void widen_units(void* data, size_t count, uint32_t from, uint32_t to);

// Loads UTF-8 into `sink`, rewriting it from its start (`count` is set to 0 first): skips a
// leading byte-order mark when more than 2 bytes are given, with `line_flag` turns CR LF and
// lone CR into LF, and widens the sink as wider code points arrive. An incomplete final
// sequence stops the load; its byte count is the answer (for streaming callers). Invalid
// bytes raise access/invalid-utf8 (whatever was stored stays, `count` included).
size_t load_utf8(unit_sink& sink, const uint8_t* bytes, size_t length, bool line_flag);

// Width that UTF-16LE units need: 4 when any unit is a surrogate, else 2 when any is above
// 0xFF, else 1.
uint32_t utf16_width(const uint8_t* units, size_t count);
// Loads `count` UTF-16LE units (any alignment) into `sink`, rewriting it at the width that
// utf16_width gives. Pairs become one code point; a lone lead or trail surrogate is kept as
// its own code point. With `line_flag` every CR is dropped.
void load_utf16(unit_sink& sink, const uint8_t* units, size_t count, bool line_flag);

// Reads and writes one unit of a run of `width`-byte units.
inline uint32_t get_unit(const void* data, size_t index, uint32_t width) {
  switch (width) {
    case 1: return static_cast<const uint8_t*>(data)[index];
    case 2: return static_cast<const uint16_t*>(data)[index];
    default: return static_cast<const uint32_t*>(data)[index];
  }
}
inline void set_unit(void* data, size_t index, uint32_t width, uint32_t value) {
  switch (width) {
    case 1: static_cast<uint8_t*>(data)[index] = static_cast<uint8_t>(value); break;
    case 2: static_cast<uint16_t*>(data)[index] = static_cast<uint16_t>(value); break;
    default: static_cast<uint32_t*>(data)[index] = value; break;
  }
}
// Smallest width that holds a code point.
inline uint32_t width_for(uint32_t cp) { return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4; }

}  // namespace unicode
}  // namespace tav
