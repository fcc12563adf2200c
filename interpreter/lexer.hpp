// Lexer: the table-driven automaton over UTF-8 bytes and its driver in prescan, scan and
// load modes, the shared output cell buffer with its open-series markers, syntax errors,
// trace events, and the scratch area that string and binary sources are lexed from.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/errors.hpp"

namespace tav::lexer {

// Datatype ids the lexer names.
namespace type {
inline constexpr int32_t datatype = 1, unset = 2, none = 3, logic = 4, block = 5, paren = 6, string = 7,
                         file = 8, url = 9, character = 10, integer = 11, float_ = 12, word = 15,
                         set_word = 16, lit_word = 17, get_word = 18, refinement = 19, issue = 20,
                         path = 25, lit_path = 26, set_path = 27, get_path = 28, marker = 31, error = 34,
                         pair = 37, percent = 38, tuple = 39, map = 40, binary = 41, time = 43, tag = 44,
                         email = 45, date = 47, money = 49, ref = 50, point2d = 51, point3d = 52;
inline bool is_path(int32_t t) { return t >= path && t <= get_path; }
}  // namespace type

// An output cell: the value cell layout (header with the type in its low byte, three payload
// words). A marker (type 31) stands for an open series: word1 = cells back from the marker to
// the first cell of the previous open series, word2 = series type (a point counts its commas
// in the upper 16 bits), word3 = byte offset of the opening character.
struct out_cell {
  uint32_t header;
  uint32_t word1;
  uint32_t word2;
  uint32_t word3;
};
static_assert(sizeof(out_cell) == 16);

inline constexpr uint32_t new_line_flag = 0x40000000;
inline uint8_t cell_type(const out_cell& c) { return static_cast<uint8_t>(c.header); }

// Trace events, as bits of the event mask.
namespace event {
inline constexpr uint32_t prescan = 1, scan = 2, load = 4, open = 8, close = 16, error = 32;
inline constexpr uint32_t all = 0x3F;
}  // namespace event

struct lexer_state;

// One event as the trace callback sees it. `index` is where the source's index stands for
// the callback (a byte offset); when the callback changes it the lexer resumes there.
struct trace_event {
  uint32_t event;
  int32_t type;      // datatype id; 0 none; -n the n-th word of system/lexer/exit-states
  uint32_t index;
  uint32_t line;
  uint32_t start;    // the token's byte range [start, end)
  uint32_t end;
  int32_t cell;      // load events: output index of the new cell, else -1
};
// Answers false to stop the current step (see the driver).
using tracer_fn = bool (*)(lexer_state& ls, trace_event& e, void* context);

// Scanners and loaders: (state, token start, token end, accumulated flags, load flag).
using token_fn = void (*)(lexer_state& ls, uint32_t start, uint32_t end, uint32_t flags, bool load);

// What load mode plugs in; `init` installs the value loaders (lexer_loaders.hpp). Without
// them load mode checks tokens and structure but builds no values (closed series leave a
// cell of their type only).
//  - loaders: by terminal state - 66; called with load 0 to check a token (scan mode) and
//    with load 1 to append its value through `alloc_cell`. The entries start as the token
//    checks (char, file, binary, percent, point, tag, raw string), which a loader replaces
//    and calls first.
//  - close_series: builds the series of `type` from the cells after the marker at `marker`
//    and writes it into the marker's cell, keeping its header flags. A map checks its keys.
//  - construct: appends the value a `#(...)` construction names (a datatype id, or
//    true/false/none/unset as below).
enum class construct_value : uint8_t { datatype, truth, falsehood, none, unset };
struct value_hooks {
  token_fn loaders[36];
  void (*close_series)(lexer_state& ls, uint32_t marker, int32_t type);
  void (*construct)(lexer_state& ls, construct_value kind, int32_t datatype);
};
extern value_hooks hooks;

// One running lexer. Positions are byte offsets from `input`; output positions are indices
// into the shared output buffer, which moves when it grows.
struct lexer_state {
  lexer_state* child;
  lexer_state* parent;
  uint32_t head;          // first output cell of this run
  uint32_t series_start;  // first cell of the innermost open series (head when none is open)
  uint32_t tail;          // next free output cell
  const uint8_t* input;
  uint32_t input_end;     // byte length
  uint32_t position;
  uint32_t token_start;
  uint32_t token_end;
  uint32_t line;          // starts at 1
  uint32_t lines_crossed; // line feeds consumed by this token's scan, leading white space included
  int32_t scanner_type;   // -1 when none
  int32_t token_type;     // the result of the run
  uint32_t start_state;
  uint32_t previous_state;
  int32_t error_type;     // datatype recorded for the next syntax error
  int32_t last_type;
  uint32_t brace_start;
  uint32_t brace_depth;
  uint32_t brace_flags;
  uint32_t point_lines;   // lines crossed before a point's `(`
  uint32_t depth;         // open series
  tracer_fn tracer;
  void* tracer_context;
  uint32_t event_mask;
  bool load;
  bool prescan_only;
  bool one_value;
  bool stopped;           // a syntax error ended the run without raising
  bool source_is_string;  // positions shown to callbacks and the caller are in characters
  uint32_t cached_byte;   // last byte offset converted to characters, and its character count
  uint32_t cached_char;
};

struct run_options {
  bool one_value = false;
  bool scan = true;   // false: prescan only
  bool load = false;  // build values (needs scan)
  bool source_is_string = false;
  tracer_fn tracer = nullptr;
  void* tracer_context = nullptr;
  uint32_t event_mask = event::all;
};

struct run_result {
  int32_t type;       // datatype id of the last token (error! when a scan stopped on an error)
  uint32_t position;  // byte offset reached
  bool complete;      // false when an open series was left unclosed (scan: the type is error!)
};

// A lexer run over [text, text + length): linked at the end of the nesting chain on
// construction, unlinked on destruction, so its output cells stay readable in between.
// A language error (a syntax error in load mode, stack overflow, no memory) propagates out
// of `execute` through the system throw; the run is still unlinked by the destructor.
class run {
 public:
  run(const uint8_t* text, uint32_t length, const run_options& options);
  ~run();
  run(const run&) = delete;
  run& operator=(const run&) = delete;

  run_result execute();
  lexer_state& state() { return ls_; }
  const out_cell* cells() const;  // this run's output, valid until the next allocation
  uint32_t cell_count() const { return ls_.tail - ls_.head; }

 private:
  lexer_state ls_;
};

inline run_result transcode(const uint8_t* text, uint32_t length, const run_options& options) {
  run r(text, length, options);
  return r.execute();
}

// Source text in the scratch area: a binary's bytes copied, or a string's units encoded as
// UTF-8, followed by a NUL. The scratch area is used as a stack, so a nested run (from a
// callback) takes the space after its parent's text; the destructor gives it back.
class source_text {
 public:
  source_text(const uint8_t* bytes, uint32_t length);
  source_text(const void* units, uint32_t count, uint32_t width);  // width 1, 2 or 4
  // Text that is the lexer's input as it stands, a zero byte after it: read where it is.
  struct in_place_t {};
  static constexpr in_place_t in_place{};
  source_text(uint8_t* text, uint32_t length, in_place_t);
  ~source_text();
  source_text(const source_text&) = delete;
  source_text& operator=(const source_text&) = delete;

  const uint8_t* data() const { return data_; }
  uint32_t size() const { return size_; }

 private:
  uint8_t* data_;
  uint32_t size_;
  size_t saved_fill_;
  uint8_t* temporary_;
};

// Character count of the text before `byte_offset` (string sources), cached per run.
uint32_t char_offset(lexer_state& ls, uint32_t byte_offset);
// Byte offset of the character at `char_offset`.
uint32_t byte_offset(const lexer_state& ls, uint32_t char_offset);

// The arguments of the last syntax error, which it is raised with as values (the run's input
// and output are gone once `fire` unwinds):
//   invalid      arg1 line_text, arg2 the datatype word of `datatype`, arg3 quote
//   missing      arg1 line_text, arg2 `missing` as a char!, arg3 quote
//   malconstruct arg1 line_text, arg2 quote
//   bad-char     arg1 line_text, arg2 quote
// line_text is "(line N)"; the quote is UTF-8 whole characters from where the error starts,
// taken while fewer than 30 bytes have been, up to a line feed or the input end.
struct syntax_error_record {
  error_id id;
  int32_t datatype;
  uint32_t missing;
  uint32_t line;
  char line_text[24];
  uint8_t quote[36];
  uint32_t quote_length;
};
extern syntax_error_record last_syntax_error;

// Open series a run may hold; one more raises internal/stack-overflow.
inline constexpr uint32_t max_depth = 100000;

// Allocates the output buffer and the scratch area; runs also do it on first use.
void init();

// Cells of every live run, outermost first (the collector marks them): nested runs append
// after their parent's tail, so this is one range.
const out_cell* live_cells(uint32_t& count);

}  // namespace tav::lexer
