// Lexer internals shared by the driver and the scanners: the output buffer operations,
// series nesting, syntax errors, trace notification and the token checks.
#pragma once
#include <cstdint>

#include "interpreter/lexer.hpp"
#include "interpreter/lexer_tables.hpp"

namespace tav::lexer {

// Codes of `syntax_error` besides a datatype id.
namespace code {
inline constexpr int32_t bad_char = -1;
inline constexpr int32_t bad_construction = -2;
inline constexpr int32_t missing_mismatch = -3;  // a closing byte met the wrong series
inline constexpr int32_t missing_at_end = -4;
}  // namespace code

// A syntax error start that stands for the opening of the innermost open series.
inline constexpr uint32_t from_open_series = 0xFFFFFFFF;

extern out_cell* output_base;

// Gives back the output buffer's memory above `cells` (never below a size that ordinary loads
// fit in): the cells there must be taken already.
void trim_output(uint32_t cells);

// Appends one cell (unset, with the new-line flag when the token crossed a line).
uint32_t alloc_cell(lexer_state& ls);

inline bool series_open(const lexer_state& ls) { return ls.series_start > ls.head; }
inline uint32_t innermost_marker(const lexer_state& ls) { return ls.series_start - 1; }
inline int32_t innermost_type(const lexer_state& ls) {
  return series_open(ls) ? static_cast<int32_t>(output_base[innermost_marker(ls)].word2 & 0xFFFF) : 0;
}

// `opening` is the byte offset of the opening character, `end` the token's end for events.
// Answers false when the trace callback cancelled the opening.
bool open_series(lexer_state& ls, int32_t type, uint32_t opening, uint32_t end);
// `closing` is the series type a closing token stands for, or -1 for a plain path end.
void close_series(lexer_state& ls, int32_t closing);
// Drops every open series of the run (before an error is raised).
void close_all(lexer_state& ls);

[[noreturn]] void syntax_error(lexer_state& ls, uint32_t start, uint32_t end, int32_t code);

// Sends an event when a tracer is set and asks for it; any other event counts as true.
bool notify(lexer_state& ls, uint32_t event, int32_t type, uint32_t index, uint32_t start, uint32_t end,
            int32_t cell = -1);
inline bool wants(const lexer_state& ls, uint32_t event) { return ls.tracer && (ls.event_mask & event); }

// The scanners, by terminal state - 66 (null where a terminal has none).
extern const token_fn scanners[terminal::count];

// True when the bytes after a `(` at `after` read as a point (a comma comes first).
bool point_ahead(const lexer_state& ls, uint32_t after);
// Ends the path element before the current position, or closes the path.
void path_end(lexer_state& ls);
// Skips the delimiter code points at the start of a word token; answers the new start.
uint32_t skip_leading_delimiters(lexer_state& ls, uint32_t start, uint32_t end);

// Decodes one UTF-8 character of [p, end) strictly; answers the byte count, 0 when invalid.
uint32_t decode_utf8(const uint8_t* p, const uint8_t* end, uint32_t* cp);
// Decodes the escape whose `^` is at p; answers the byte count, 0 when invalid.
uint32_t decode_escape(const uint8_t* p, const uint8_t* end, uint32_t* cp);
// Checks the text between [start, end): escapes when `flags` has `^`, and the UTF-8.
// Raises invalid `type` quoting from `quote_from`.
void check_text(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, int32_t type, uint32_t quote_from);

// The token checks that the loaders of these terminals start from: each steps over the
// bytes its token takes past the byte that ended it.
void check_char(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load);
void check_file(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load);
void check_binary(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load);
void check_percent(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load);
void check_point(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load);
void check_tag(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load);
void check_raw_string(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load);

// The numbers of a point token [start, end) (start after the `(`, end at the `)`): their
// byte ranges, two or three. Raises invalid point2D! or point3D! on a broken structure.
struct point_parts {
  uint32_t count;
  uint32_t start[3];
  uint32_t end[3];
};
point_parts split_point(lexer_state& ls, uint32_t start, uint32_t end);

}  // namespace tav::lexer
