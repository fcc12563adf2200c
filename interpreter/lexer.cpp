// Lexer driver: the automaton loop, the nesting of series in the shared output buffer,
// syntax errors, trace events, the nesting chain of runs and the scratch area.
#include "interpreter/lexer.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "interpreter/lexer_internal.hpp"
#include "interpreter/lexer_loaders.hpp"
#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "runtime/throw.hpp"
#include "runtime/unicode.hpp"

namespace tav::lexer {
namespace {

constexpr uint32_t initial_cells = 1000;
constexpr uint32_t max_cells = 1u << 27;
// The output buffer keeps this many cells (4 MB) however much is taken out of it: loads of up
// to that size do not grow it again each time.
constexpr uint32_t kept_cells = 1u << 18;
constexpr size_t scratch_capacity = 100000;

uint32_t output_size = 0;
uint8_t* scratch = nullptr;
size_t scratch_fill = 0;
lexer_state* innermost = nullptr;

value_hooks initial_hooks() {
  value_hooks h{};
  h.loaders[terminal::character - lex_first_terminal] = check_char;
  h.loaders[terminal::file - lex_first_terminal] = check_file;
  h.loaders[terminal::binary - lex_first_terminal] = check_binary;
  h.loaders[terminal::percent - lex_first_terminal] = check_percent;
  h.loaders[terminal::point - lex_first_terminal] = check_point;
  h.loaders[terminal::tag - lex_first_terminal] = check_tag;
  h.loaders[terminal::raw_string - lex_first_terminal] = check_raw_string;
  return h;
}

// Prescan runs no loaders, but a token that ends past its terminal byte must still be
// stepped over, or the next token would start inside it.
token_fn extent_check(uint32_t next) {
  switch (next) {
    case terminal::character: return check_char;
    case terminal::file: return check_file;
    case terminal::binary: return check_binary;
    case terminal::percent: return check_percent;
    case terminal::point: return check_point;
    case terminal::tag: return check_tag;
    case terminal::raw_string: return check_raw_string;
    default: return nullptr;
  }
}

[[gnu::cold]] void grow_output() {
  if (output_size >= max_cells) fire(error_id::internal_no_memory);
  uint32_t size = output_size * 2;
  output_base = static_cast<out_cell*>(heap_realloc(output_base, size_t{size} * sizeof(out_cell)));
  output_size = size;
}

void finish_close(lexer_state& ls, uint32_t marker, int32_t type) {
  uint32_t back = output_base[marker].word1;
  if (ls.load && hooks.close_series) {
    hooks.close_series(ls, marker, type);
  } else {
    out_cell& c = output_base[marker];
    c = {(c.header & ~0xFFu) | static_cast<uint32_t>(type), 0, 0, 0};
  }
  ls.tail = marker + 1;
  ls.series_start = marker - back;
  --ls.depth;
  ls.token_type = type;
  ls.start_state = type::is_path(innermost_type(ls)) ? start::path_element : 0;
}

void drop_innermost(lexer_state& ls) {
  uint32_t marker = innermost_marker(ls);
  ls.series_start = marker - output_base[marker].word1;
  ls.tail = marker;
  --ls.depth;
}

void record_quote(const lexer_state& ls, uint32_t start) {
  uint32_t taken = 0;
  uint32_t p = start;
  while (p < ls.input_end && taken < 30 && ls.input[p] != '\n') {
    uint32_t n = static_cast<uint32_t>(unicode::utf8_lead_size(ls.input[p]));
    if (n == 0) n = 1;
    if (n > ls.input_end - p) n = ls.input_end - p;
    std::memcpy(last_syntax_error.quote + taken, ls.input + p, n);
    taken += n;
    p += n;
  }
  last_syntax_error.quote_length = taken;
}

uint32_t missing_character(const lexer_state& ls, int32_t open_type, int32_t code) {
  uint32_t missing = (open_type == type::block || open_type == type::map) ? ']' : ')';
  if (code == code::missing_mismatch) {
    uint32_t at = ls.token_end < ls.input_end ? ls.token_end : ls.token_end - 1;
    if (ls.input_end > 0 && ls.input[at] == missing) missing = missing == ']' ? '[' : '(';
  }
  return missing;
}

error_id error_for(int32_t code) {
  switch (code) {
    case code::bad_char: return error_id::syntax_bad_char;
    case code::bad_construction: return error_id::syntax_malconstruct;
    case code::missing_mismatch:
    case code::missing_at_end: return error_id::syntax_missing;
    default: return error_id::syntax_invalid;
  }
}

[[noreturn]] void stop_run(lexer_state& ls) {
  ls.stopped = true;
  system_throw(tav::code::lexer_stop);
}

// Value tokens: the scanner or the loader checks, then with events, the loader builds.
void process_value(lexer_state& ls, uint32_t next, uint32_t start, uint32_t end, uint32_t flags) {
  uint32_t t = next - lex_first_terminal;
  token_fn scanner = scanners[t];
  token_fn loader = hooks.loaders[t];
  bool scan_events = wants(ls, event::scan);
  if (!ls.load || scanner || scan_events) {
    if (scanner) {
      scanner(ls, start, end, flags, false);
      end = ls.token_end;  // a word may have been cut
    } else if (loader) {
      loader(ls, start, end, flags, false);
    }
  }
  if (ls.scanner_type > 0) ls.token_type = ls.scanner_type;
  uint32_t shown_start = next == terminal::point ? start - 1 : start;
  bool load_now = ls.load;
  if (scan_events) load_now = notify(ls, event::scan, ls.token_type, ls.position, shown_start, ls.position) && load_now;
  if (!load_now || !loader) return;
  uint32_t before = ls.tail;
  loader(ls, start, end, flags, true);
  if (ls.tail > before && wants(ls, event::load) &&
      !notify(ls, event::load, ls.token_type, ls.position, shown_start, ls.position, static_cast<int32_t>(ls.tail - 1)))
    ls.tail = ls.tail - 1;
}

bool one_value_done(const lexer_state& ls, uint32_t next) {
  if (ls.token_type <= 0 || ls.start_state == start::path_element || ls.brace_depth != 0 ||
      next == terminal::path_slash)
    return false;
  uint32_t n = ls.tail - ls.head;
  return n == 0 || (n == 1 && cell_type(output_base[ls.head]) != type::marker);
}

// Transition rows as offsets (next state x 64), so that the byte loop's chain of
// dependent loads needs no multiply and a state is one shift away.
constexpr uint32_t row_shift = 6;
constexpr auto lex_rows = [] {
  std::array<uint16_t, lex_state_count << row_shift> rows{};
  for (uint32_t s = 0; s < lex_state_count; ++s)
    for (uint32_t c = 0; c < lex_class_count; ++c)
      rows[(s << row_shift) + c] = static_cast<uint16_t>(lex_transitions[s][c] << row_shift);
  return rows;
}();
constexpr uint32_t terminal_row = lex_first_terminal << row_shift;

// Per state, the classes that keep it: a run of such bytes needs no transition lookups.
constexpr auto lex_keeps = [] {
  std::array<uint64_t, lex_state_count> keeps{};
  for (uint32_t s = 0; s < lex_state_count; ++s)
    for (uint32_t c = 0; c < lex_class_count; ++c)
      if (lex_transitions[s][c] == s) keeps[s] |= uint64_t{1} << c;
  return keeps;
}();

struct scanned_token {
  uint32_t next;
  uint32_t previous;
  uint32_t start;
  uint32_t end;
  uint32_t lines;
  uint32_t flags;
};

// Runs the automaton from `state` at `pos` to the byte that leads into a terminal state.
// Within a token the bytes that keep the current state are taken in a run without
// transition lookups; white space before a token is such a run in state 0.
inline scanned_token scan_token(const uint8_t* in, uint32_t pos, uint32_t input_end, uint32_t state) {
  const uint8_t* p = in + pos;
  const uint8_t* const e = in + input_end;
  uint32_t lines = 0, flags = 0, high = 0;
  if (state == 0) {
    while (p != e) {
      uint32_t cls = lex_classes[*p] & lex_flag::class_mask;
      if (!((lex_keeps[0] >> cls) & 1)) break;
      lines += lex_lines[cls];
      ++p;
    }
  }
  uint32_t start = static_cast<uint32_t>(p - in);
  uint32_t row = state << row_shift, next_row;
  for (;;) {
    if (p == e) {
      next_row = lex_rows[row + lex_class_count - 1];
      break;
    }
    uint32_t entry = lex_classes[*p];
    flags |= entry;
    high |= *p;
    next_row = lex_rows[row + (entry & lex_flag::class_mask)];
    if (next_row >= terminal_row) break;
    lines += lex_lines[entry & lex_flag::class_mask];
    ++p;
    if (next_row == row) {  // the state keeps: take the run of bytes that keep it without lookups
      uint64_t keep = lex_keeps[row >> row_shift];
      while (p != e) {
        entry = lex_classes[*p];
        uint32_t cls = entry & lex_flag::class_mask;
        if (!((keep >> cls) & 1)) break;
        flags |= entry;
        high |= *p;
        lines += lex_lines[cls];
        ++p;
      }
    }
    row = next_row;
  }
  flags &= ~lex_flag::class_mask;
  if (high & 0x80) flags |= lex_flag::high_byte;
  return {next_row >> row_shift, row >> row_shift, start, static_cast<uint32_t>(p - in), lines, flags};
}

void run_fsm(lexer_state& ls) {
  const uint32_t input_end = ls.input_end;
  uint32_t carried_lines = 0;  // line feeds before Unicode white space, for the token after it
  do {
    const uint32_t entry_state = ls.start_state;
    scanned_token token = scan_token(ls.input, ls.position, input_end, entry_state);
    uint32_t next = token.next, start = token.start, pos = token.end, flags = token.flags;
    ls.line += token.lines;
    ls.lines_crossed = token.lines + carried_lines;
    carried_lines = 0;
    ls.position = ls.token_end = pos;
    ls.token_start = start;
    ls.previous_state = token.previous;
    ls.scanner_type = -1;
    ls.token_type = lex_types[next];

    if (ls.prescan_only && next <= terminal::string) scanners[next - lex_first_terminal](ls, start, pos, flags, false);

    // Unicode spaces read as a word by the automaton are white space: the token is lexed
    // again from the first byte after them, which need not belong to a word.
    if (next == terminal::word && (flags & lex_flag::leads)) {
      uint32_t rest = skip_leading_delimiters(ls, start, pos);
      if (rest != start) {
        if (rest < input_end) {
          ls.position = rest;
          carried_lines = ls.lines_crossed;
          continue;
        }
        next = terminal::end;
        ls.token_type = 0;
      }
    }

    if (ls.tracer && entry_state != start::brace_string &&
        !(next == terminal::paren_open && point_ahead(ls, pos + 1))) {
      int32_t shown = ls.token_type ? ls.token_type : -static_cast<int32_t>(next - 65);
      uint32_t s = start, e = pos;
      if (next == terminal::error && ls.brace_depth) s = ls.brace_start;
      if (next == terminal::point) {
        s = start - 1;
        e = pos < input_end ? pos + 1 : pos;
      }
      if (!notify(ls, event::prescan, shown, shown > 0 ? pos : start, s, e)) {
        if (ls.position == pos && start == pos && pos < input_end) ++ls.position;  // an empty token: step over its byte
        continue;
      }
    }

    if (ls.prescan_only) {
      if (token_fn check = extent_check(next)) check(ls, start, pos, flags, false);
    } else if (next <= terminal::comma) {
      scanners[next - lex_first_terminal](ls, start, pos, flags, ls.load);
    } else {
      process_value(ls, next, start, pos, flags);
    }

    if (ls.start_state == start::path_element && next != terminal::path_slash && next != terminal::error) path_end(ls);

    if ((ls.one_value || ls.prescan_only) && one_value_done(ls, next)) return;
    ls.last_type = ls.token_type;
  } while (ls.position < input_end);

  if (ls.start_state == start::brace_string && ls.last_type <= 0)
    syntax_error(ls, ls.brace_start, input_end, type::string);
}

}  // namespace

out_cell* output_base = nullptr;
value_hooks hooks = initial_hooks();
syntax_error_record last_syntax_error{};

void init() {
  if (!output_base) {
    output_base = static_cast<out_cell*>(heap_alloc(size_t{initial_cells} * sizeof(out_cell)));
    output_size = initial_cells;
    // Output cells have the value-cell layout: the values of live runs are collector roots.
    collector::register_callback([] {
      uint32_t count = 0;
      const auto* first = reinterpret_cast<const cell*>(live_cells(count));
      collector::mark_values(first, first + count);
    });
    install_loaders();
  }
  if (!scratch) scratch = static_cast<uint8_t*>(heap_alloc(scratch_capacity));
}

void trim_output(uint32_t cells) {
  cells = std::max(cells, kept_cells);
  if (cells >= output_size) return;
  output_base = static_cast<out_cell*>(heap_realloc(output_base, size_t{cells} * sizeof(out_cell)));
  output_size = cells;
}

uint32_t alloc_cell(lexer_state& ls) {
  if (ls.tail >= output_size) grow_output();
  output_base[ls.tail] = {static_cast<uint32_t>(type::unset) | (ls.lines_crossed ? new_line_flag : 0), 0, 0, 0};
  return ls.tail++;
}

bool notify(lexer_state& ls, uint32_t event, int32_t type, uint32_t index, uint32_t start, uint32_t end, int32_t cell) {
  if (!wants(ls, event)) return true;
  trace_event e{event, type, index, ls.line, start, end, cell};
  bool answer = ls.tracer(ls, e, ls.tracer_context);
  if (e.index != index) ls.position = e.index < ls.input_end ? e.index : ls.input_end;
  return answer;
}

bool open_series(lexer_state& ls, int32_t type, uint32_t opening, uint32_t end) {
  if (innermost_type(ls) == type::point2d) syntax_error(ls, opening, end, type::point2d);
  if (ls.depth >= max_depth) fire(error_id::internal_stack_overflow);
  if (!notify(ls, event::open, type, opening, opening, end)) return false;
  uint32_t marker = alloc_cell(ls);
  out_cell& c = output_base[marker];
  c.header = (c.header & ~0xFFu) | static_cast<uint32_t>(type::marker);
  c.word1 = marker - ls.series_start;
  c.word2 = static_cast<uint32_t>(type);
  c.word3 = opening;
  ls.series_start = marker + 1;
  ++ls.depth;
  ls.start_state = 0;
  return true;
}

void close_series(lexer_state& ls, int32_t closing) {
  bool open = series_open(ls);
  int32_t open_type = innermost_type(ls);
  if (wants(ls, event::close)) {
    int32_t shown = (closing < 0 || (closing == type::block && open_type == type::map)) ? open_type : closing;
    uint32_t opening = open ? output_base[innermost_marker(ls)].word3 : ls.token_start;
    if (!notify(ls, event::close, shown, ls.token_end, opening, ls.token_end)) {
      ls.start_state = 0;
      return;
    }
  }
  if (!open) {
    ls.error_type = closing;
    syntax_error(ls, from_open_series, ls.token_end, code::missing_mismatch);
  }
  int32_t type = closing < 0 ? open_type : closing;
  if (type != open_type && !(closing == type::block && open_type == type::map) &&
      !(closing == type::set_path && open_type == type::path)) {
    ls.error_type = open_type;
    syntax_error(ls, from_open_series, ls.token_end, code::missing_mismatch);
  }
  if (closing == type::block && open_type == type::map) {
    type = type::map;
    if (ls.load && ((ls.tail - ls.series_start) & 1)) syntax_error(ls, from_open_series, ls.token_end, type::map);
  }
  finish_close(ls, innermost_marker(ls), type);
}

void close_all(lexer_state& ls) {
  while (series_open(ls)) {
    int32_t t = innermost_type(ls);
    if (t == type::block || t == type::paren)
      finish_close(ls, innermost_marker(ls), t);
    else
      drop_innermost(ls);
  }
}

void syntax_error(lexer_state& ls, uint32_t start, uint32_t end, int32_t code) {
  if (!ls.load) {
    ls.token_type = type::error;
    stop_run(ls);
  }
  if (start == from_open_series) start = series_open(ls) ? output_base[innermost_marker(ls)].word3 : 0;
  if (wants(ls, event::error)) {
    int32_t shown = code > 0                ? code
                    : ls.error_type > 0     ? ls.error_type
                    : ls.token_type > 0     ? ls.token_type
                    : ls.scanner_type > 0   ? ls.scanner_type
                                            : type::error;
    if (type::is_path(innermost_type(ls)) && innermost_marker(ls) == ls.tail - 1)
      finish_close(ls, innermost_marker(ls), innermost_type(ls));
    if (!notify(ls, event::error, shown, end, start, end)) stop_run(ls);
  }
  syntax_error_record& r = last_syntax_error;
  record_quote(ls, start);
  r.line = ls.line;
  std::snprintf(r.line_text, sizeof r.line_text, "(line %u)", ls.line);
  int32_t recorded = ls.error_type;
  ls.error_type = 0;
  r.missing = 0;
  if (code == code::missing_mismatch || code == code::missing_at_end) r.missing = missing_character(ls, recorded, code);
  if (type::is_path(recorded)) code = code::bad_char;
  r.datatype = code > 0 ? code : 0;
  r.id = error_for(code);
  close_all(ls);
  fire_syntax_error(r);
}

run::run(const uint8_t* text, uint32_t length, const run_options& options) : ls_{} {
  init();
  uint32_t base = innermost ? innermost->tail : 0;
  ls_.parent = innermost;
  if (innermost) innermost->child = &ls_;
  innermost = &ls_;
  ls_.head = ls_.series_start = ls_.tail = base;
  ls_.input = text;
  ls_.input_end = length;
  ls_.line = 1;
  ls_.scanner_type = -1;
  ls_.load = options.scan && options.load;
  ls_.prescan_only = !options.scan;
  ls_.one_value = options.one_value;
  ls_.source_is_string = options.source_is_string;
  ls_.tracer = options.tracer;
  ls_.tracer_context = options.tracer_context;
  ls_.event_mask = options.event_mask;
}

run::~run() {
  innermost = ls_.parent;
  if (innermost)
    innermost->child = nullptr;
  else
    trim_output(kept_cells);
}

const out_cell* run::cells() const { return output_base + ls_.head; }

run_result run::execute() {
  lexer_state& ls = ls_;
  auto stopped = [&](uint32_t) { thrown_code = 0; ls.stopped = true; };
  catch_slot(tav::code::lexer_stop, [&] { run_fsm(ls); }, stopped);
  bool complete = !ls.stopped;
  if (!ls.stopped && ls.prescan_only && ls.start_state == start::path_element && type::is_path(innermost_type(ls))) {
    ls.token_type = innermost_type(ls);
  } else if (!ls.stopped && series_open(ls)) {
    complete = false;
    ls.error_type = innermost_type(ls);
    catch_slot(tav::code::lexer_stop, [&] { syntax_error(ls, from_open_series, ls.input_end, code::missing_at_end); }, stopped);
  }
  return {ls.token_type, ls.position, complete};
}

source_text::source_text(const uint8_t* bytes, uint32_t length) : saved_fill_(scratch_fill), temporary_(nullptr) {
  init();
  size_t need = size_t{length} + 1;
  if (scratch_capacity - scratch_fill >= need) {
    data_ = scratch + scratch_fill;
    scratch_fill += need;
  } else {
    data_ = temporary_ = static_cast<uint8_t*>(heap_alloc(need));
  }
  if (length) std::memcpy(data_, bytes, length);
  data_[length] = 0;
  size_ = length;
}

source_text::source_text(const void* units, uint32_t count, uint32_t width)
    : saved_fill_(scratch_fill), temporary_(nullptr) {
  init();
  size_t need = size_t{count} * (width == 4 ? 4 : width + 1) + 1;
  if (scratch_capacity - scratch_fill >= need) {
    data_ = scratch + scratch_fill;
    scratch_fill += need;
  } else {
    data_ = temporary_ = static_cast<uint8_t*>(heap_alloc(need));
  }
  size_t size;
  try {
    size = unicode::encode_utf8(units, count, width, data_, false);  // raises on a code point above 10FFFF
  } catch (...) {
    scratch_fill = saved_fill_;
    if (temporary_) heap_free(temporary_);
    throw;
  }
  data_[size] = 0;
  size_ = static_cast<uint32_t>(size);
}

source_text::source_text(uint8_t* text, uint32_t length, in_place_t)
    : data_(text), size_(length), saved_fill_(scratch_fill), temporary_(nullptr) {}

source_text::~source_text() {
  scratch_fill = saved_fill_;
  if (temporary_) heap_free(temporary_);
}

uint32_t char_offset(lexer_state& ls, uint32_t byte_offset) {
  if (!ls.source_is_string) return byte_offset;
  if (byte_offset > ls.input_end) byte_offset = ls.input_end;
  uint32_t from = 0, chars = 0;
  if (byte_offset >= ls.cached_byte) {
    from = ls.cached_byte;
    chars = ls.cached_char;
  }
  chars += static_cast<uint32_t>(unicode::count_utf8_chars(ls.input + from, ls.input + byte_offset));
  ls.cached_byte = byte_offset;
  ls.cached_char = chars;
  return chars;
}

uint32_t byte_offset(const lexer_state& ls, uint32_t char_offset) {
  if (!ls.source_is_string) return char_offset < ls.input_end ? char_offset : ls.input_end;
  const uint8_t* p = unicode::skip_utf8_chars(ls.input, ls.input + ls.input_end, char_offset);
  return static_cast<uint32_t>(p - ls.input);
}

const out_cell* live_cells(uint32_t& count) {
  if (!innermost) {
    count = 0;
    return output_base;
  }
  const lexer_state* outer = innermost;
  while (outer->parent) outer = outer->parent;
  count = innermost->tail - outer->head;
  return output_base + outer->head;
}

}  // namespace tav::lexer
