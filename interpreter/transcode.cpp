// Transcode: lexer runs that answer values, the trace callback adapter, and the core of the
// `transcode` native.
#include "interpreter/transcode.hpp"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "datatypes/block.hpp"
#include "datatypes/function.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/lexer_internal.hpp"
#include "interpreter/lexer_loaders.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"
#include "runtime/string_cell.hpp"
#include "runtime/unicode.hpp"

namespace tav::lexer {
namespace {

callback_caller call_callback = nullptr;

struct event_name {
  uint32_t bit;
  const char* name;
};
constexpr event_name event_names[] = {{event::prescan, "prescan"}, {event::scan, "scan"},   {event::load, "load"},
                                      {event::open, "open"},       {event::close, "close"}, {event::error, "error"}};

// The type argument of a token without a datatype (-n): entry n of the lexer's exit states,
// a datatype or, for the four tokens that name none, a word.
struct exit_state {
  uint8_t type;
  const char* word;
};
constexpr exit_state exit_states[] = {
    {0, "eof"},        {TYPE_ERROR, nullptr},   {TYPE_BLOCK, nullptr},   {TYPE_BLOCK, nullptr},
    {TYPE_PAREN, nullptr}, {TYPE_PAREN, nullptr}, {TYPE_STRING, nullptr}, {TYPE_STRING, nullptr},
    {TYPE_MAP, nullptr},   {TYPE_PATH, nullptr},  {TYPE_DATATYPE, nullptr}, {0, "comment"},
    {TYPE_STRING, nullptr}, {TYPE_WORD, nullptr}, {TYPE_ISSUE, nullptr},  {TYPE_INTEGER, nullptr},
    {TYPE_REFINEMENT, nullptr}, {TYPE_CHAR, nullptr}, {TYPE_FILE, nullptr}, {TYPE_BINARY, nullptr},
    {TYPE_PERCENT, nullptr}, {TYPE_FLOAT, nullptr}, {TYPE_FLOAT, nullptr}, {TYPE_TUPLE, nullptr},
    {TYPE_DATE, nullptr},  {TYPE_PAIR, nullptr},  {TYPE_TIME, nullptr},   {TYPE_MONEY, nullptr},
    {TYPE_TAG, nullptr},   {TYPE_URL, nullptr},   {TYPE_EMAIL, nullptr},  {0, "hex"},
    {0, "rawstring"},      {TYPE_REF, nullptr},
};

cell word_named(const char* name) {
  cell word;
  word::make_at(word, symbol::make(name));
  return word;
}

cell type_argument(int32_t type) {
  cell value = none::value;
  if (type > 0) {
    datatype::make_at(value, static_cast<uint8_t>(type));
  } else if (type < 0 && static_cast<size_t>(-type) <= std::size(exit_states)) {
    const exit_state& state = exit_states[-type - 1];
    if (state.word)
      value = word_named(state.word);
    else
      datatype::make_at(value, state.type);
  }
  return value;
}

bool function_p(const cell& value) { return value.type() == TYPE_FUNCTION || value.type() == TYPE_ROUTINE; }

// What a traced run knows of its caller's values: on the machine stack, so the collector
// sees them.
struct trace_context {
  cell callback;
  cell source;  // its index at the first byte lexed
};

bool notify_tracer(lexer_state& ls, trace_event& e, void* context) {
  auto& trace = *static_cast<trace_context*>(context);
  const char* name = "error";
  for (const event_name& n : event_names)
    if (n.bit == e.event) name = n.name;
  // Character positions are counted on from the last one: ascending order keeps that cheap.
  uint32_t start = char_offset(ls, e.start), end = char_offset(ls, e.end);
  uint32_t at = e.index == e.start ? start : e.index == e.end ? end : char_offset(ls, e.index);
  bool positioned = trace.source.type() != TYPE_NONE;
  uint32_t base = trace.source.payload1;
  cell arguments[5];
  arguments[0] = word_named(name);
  arguments[1] = trace.source;
  if (positioned) arguments[1].payload1 = base + at;
  arguments[2] = type_argument(e.type);
  arguments[3] = scalar::integer(static_cast<int32_t>(e.line));
  if (e.cell >= 0) {
    const out_cell& c = output_base[e.cell];
    arguments[4] = cell{c.header, c.word1, c.word2, c.word3};
  } else {
    arguments[4] = cell{TYPE_PAIR, 0, start + 1, end + 1};
  }
  cell answer = handoff::need(call_callback)(trace.callback, arguments);
  uint32_t moved = arguments[1].payload1;
  if (positioned && moved != base + at) e.index = byte_offset(ls, moved > base ? moved - base : 0);
  return !logic::false_p(answer);
}

bool same_name(uint32_t symbol, const char* name) {
  const char* spelling = symbol::name(symbol);
  for (; *name; ++name, ++spelling)
    if ((*spelling | 0x20) != *name) return false;
  return *spelling == 0;
}

}  // namespace

void set_callback_caller(callback_caller caller) { call_callback = caller; }

uint32_t event_mask(const cell& callback) {
  if (!function_p(callback) || !function::more_of(callback)) return event::all;
  cell body = *function::more_cell(callback, function::more_body);
  if (body.type() != TYPE_BLOCK || block::ts_length_p(body) <= 0) return event::all;
  cell first = *block::ts_head(body);
  if (first.type() != TYPE_BLOCK) return event::all;
  uint32_t mask = 0;
  for (int32_t i = 0, n = block::ts_length_p(first); i < n; ++i) {
    const cell& value = block::ts_head(first)[i];
    if (value.type() != TYPE_WORD) continue;
    for (const event_name& n : event_names)
      if (same_name(word::symbol_of(value), n.name)) mask |= n.bit;
  }
  return mask;
}

int32_t transcode(cell& output, const uint8_t* text, uint32_t length, const load_options& options,
                  uint32_t* position) {
  run_options o;
  o.one_value = options.one_value;
  o.scan = options.scan;
  o.load = options.load;
  o.source_is_string = options.source && string_cell::any_string_p(options.source->type());
  trace_context trace{};
  if (options.callback && function_p(*options.callback)) {
    trace.callback = *options.callback;
    trace.source = options.source ? *options.source : none::value;
    o.tracer = notify_tracer;
    o.tracer_context = &trace;
    o.event_mask = event_mask(*options.callback);
  }
  run r(text, length, o);
  run_result result = r.execute();
  lexer_state& ls = r.state();
  if (series_open(ls)) {
    output = none::value;
  } else if (ls.load) {
    uint32_t count = ls.tail - ls.head;
    if (options.one_value && count >= 1) {
      if (options.target)
        append_cells(*options.target, ls.head, 1);
      else
        output = *reinterpret_cast<const cell*>(output_base + ls.head);
    } else if (options.target) {
      append_cells(*options.target, ls.head, count);
    } else {
      output = take_run_cells(ls, TYPE_BLOCK);
    }
  }
  if (position) *position = char_offset(ls, result.position);
  return result.type;
}

int32_t transcode_string(cell& output, const cell& string, int32_t count, const load_options& options,
                         uint32_t* position) {
  series_buffer* buffer = buffer_of(string_cell::node(string));
  uint32_t unit = buffer->unit(), total = buffer->count();
  uint32_t head = std::min<uint32_t>(string.payload1, total);
  uint32_t available = total - head;
  uint32_t taken = count < 0 ? available : std::min<uint32_t>(static_cast<uint32_t>(count), available);
  load_options o = options;
  o.source = &string;
  uint8_t* units = buffer->head() + head * unit;
  // Byte-wide ASCII to the tail is already the lexer's input, and is read in place when no
  // callback can run to change it: the pointers held while the run lasts pin the buffer, and
  // the byte after the tail, room the buffer always has, ends the text.
  if (unit == 1 && taken == available && !options.callback && unicode::ascii_p(units, taken)) {
    units[taken] = 0;
    source_text text(units, taken, source_text::in_place);
    return transcode(output, text.data(), text.size(), o, position);
  }
  source_text text(units, taken, unit);
  return transcode(output, text.data(), text.size(), o, position);
}

}  // namespace tav::lexer

namespace tav::natives {
namespace {

bool source_p(const cell& value) { return value.type() == TYPE_STRING || value.type() == TYPE_BINARY; }

uint32_t units_after_head(const cell& series) {
  series_buffer* buffer = buffer_of(series.payload2);
  uint32_t count = buffer->count();
  return series.payload1 < count ? count - series.payload1 : 0;
}

uint32_t part_length(const cell& source, const cell* part, uint32_t available) {
  if (!part) return available;
  int64_t length;
  if (part->type() == TYPE_INTEGER) {
    length = scalar::integer_value(*part);
  } else if (part->type() == source.type()) {
    length = int64_t{static_cast<int32_t>(part->payload1)} - static_cast<int32_t>(source.payload1);
  } else if (source_p(*part) || string_cell::any_string_p(part->type())) {
    fire(error_id::script_not_same_type);
  } else {
    fire(error_id::script_invalid_part, *part);
  }
  return static_cast<uint32_t>(std::clamp<int64_t>(length, 0, available));
}

cell type_value(int32_t type) {
  cell value = none::value;
  if (type < 0) type = TYPE_ERROR;
  if (type > 0) datatype::make_at(value, static_cast<uint8_t>(type));
  return value;
}

cell pair_block(const cell& first, const cell& second) {
  cell result;
  block::make_at(result, 2);
  block::append_cell(result, first);
  block::append_cell(result, second);
  return result;
}

}  // namespace

void transcode(const cell& source, const transcode_refinements& refinements, cell& result) {
  if (!source_p(source)) fire(error_id::script_invalid_arg, source);
  if (refinements.into && refinements.into->type() != TYPE_BLOCK) fire(error_id::script_invalid_arg, *refinements.into);
  bool typed = refinements.prescan || refinements.scan;
  uint32_t length = part_length(source, refinements.part, units_after_head(source));
  if (length == 0 && typed) {
    result = none::value;
    return;
  }
  lexer::load_options options;
  options.one_value = refinements.next || refinements.one || refinements.scan;
  options.scan = !refinements.prescan;
  options.load = !refinements.scan;
  options.callback = refinements.trace;
  options.target = refinements.into;

  cell from = source;  // where the lexed text starts
  cell output = none::value;
  uint32_t reached = 0;
  int32_t type;
  if (source.type() == TYPE_BINARY) {
    const uint8_t* bytes = buffer_of(source.payload2)->head() + source.payload1;
    if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
      from.payload1 += 3;
      length -= 3;
      bytes += 3;
    }
    options.source = &from;
    lexer::source_text text(bytes, length);
    type = lexer::transcode(output, text.data(), text.size(), options, &reached);
  } else {
    options.source = &from;
    type = lexer::transcode_string(output, from, static_cast<int32_t>(length), options, &reached);
  }

  if (refinements.into) {
    result = *refinements.into;
    return;
  }
  cell first = typed ? type_value(type) : output;
  if (refinements.next && (!refinements.one || refinements.scan)) {
    cell rest = from;
    rest.payload1 += reached;
    result = pair_block(first, rest);
    return;
  }
  result = first;
}

}  // namespace tav::natives
