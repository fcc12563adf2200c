// Transcode: the lexer run over text that answers values (a block, one value, or appended to
// a target block), with a trace callback function called at the lexer's events; and the
// core of the `transcode` native with all its refinements.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::lexer {

struct load_options {
  bool one_value = false;
  bool scan = true;         // false: prescan only
  bool load = true;         // build values (needs scan)
  const cell* callback = nullptr;  // function! or routine! called at events, or null
  const cell* source = nullptr;    // string! or binary! the text came from, for positions
  cell* target = nullptr;          // block! the values are appended to, or null
};

// Lexes [text, text + length) and answers the type of the last token (error! when a scan
// stopped on an error). When loading, `output` receives the block of values, or with
// `one_value` the first value itself (a target block receives them instead); a run left with
// an open series that raised nothing makes it none. `position` (may be null) receives where
// the run stopped: a byte offset, or a character count for a string! source.
int32_t transcode(cell& output, const uint8_t* text, uint32_t length, const load_options& options,
                  uint32_t* position);
// The text of a string! from its head, at most `count` characters (all when negative).
int32_t transcode_string(cell& output, const cell& string, int32_t count, const load_options& options,
                         uint32_t* position);

// The trace callback's events from the first value of its body: a block of the event words
// prescan, scan, load, open, close and error; any other first value, or none, asks for all.
uint32_t event_mask(const cell& callback);

// Calls a function! or routine! with the five arguments (event, input, type, line, token)
// and answers its result; the call may leave a moved `input` in arguments[1]. The
// interpreter installs it; without it a traced run raises internal/not-done.
using callback_caller = cell (*)(const cell& callback, cell (&arguments)[5]);
void set_callback_caller(callback_caller caller);

}  // namespace tav::lexer

namespace tav::natives {

struct transcode_refinements {
  bool next = false;     // a block of the first value (or type) and the source moved past it
  bool one = false;      // the first value alone
  bool prescan = false;  // token boundaries and types only
  bool scan = false;     // checked tokens, their type, no values
  const cell* part = nullptr;   // integer! count, or a position in a series of the source's type
  cell* into = nullptr;         // block! the values are appended to
  const cell* trace = nullptr;  // function! or routine! [event input type line token]
};

// `transcode` on a string! or binary! source; the result goes to `result`. A binary starting
// with the UTF-8 byte order mark is lexed without it. A /part count past the rest of the
// source is clamped to it.
void transcode(const cell& source, const transcode_refinements& refinements, cell& result);

}  // namespace tav::natives
