// Call and argument stacks: fixed storage outside the collected frames, frame pushes and pops,
// the caller lookup and traces, and the walks of the non-local exits.
#include "interpreter/stack.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "runtime/console_out.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/heap.hpp"
#include "runtime/series.hpp"

namespace tav::stack {

cell* bottom = nullptr;
cell* top = nullptr;
cell* arguments = nullptr;
cell* end = nullptr;

call_frame* call_bottom = nullptr;
call_frame* call_top = nullptr;
call_frame* call_end = nullptr;
uint32_t throw_call_top = 0;
folded_operator folded{nullptr, 0};

pending_exit pending{};

namespace {

constexpr cell none_cell{TYPE_NONE, 0, 0, 0};
constexpr cell unset_cell{unset_header, 0, 0, 0};

// Room for the error value is made by giving back a few cells first.
[[gnu::cold, noreturn]] void overflow(uint32_t give_back) {
  top = std::max(bottom, top - give_back);
  cycles::reset();
  fire(error_id::internal_stack_overflow);
}

// ---- Frame names ----------------------------------------------------------------------------

bool known_symbol_p(uint32_t symbol) {
  return symbol != 0 && hashtable::symbol_table != 0 && symbol <= symbol::count();
}

bool spelled_p(uint32_t symbol, const char* spelling) {
  return symbol::name_length(symbol) == std::strlen(spelling) && std::strcmp(symbol::name(symbol), spelling) == 0;
}

// Anonymous functions and bodies are left out of every lookup and trace, and so are frames
// pushed without a name.
bool skipped_p(uint32_t symbol) {
  return !known_symbol_p(symbol) || spelled_p(symbol, "<body>") || spelled_p(symbol, "<anon>");
}

// The frame's name word, bound in `context` when that is a context holding the name (a frame
// named `self` keeps a block there instead).
cell name_word(uint32_t symbol, node_id context) {
  cell word = word::make_cell(TYPE_WORD, context, symbol, static_cast<int32_t>(word::unresolved));
  if (context && context::cell_of(context)->type() == TYPE_CONTEXT) context::bind_word(context, word);
  return word;
}

cell unbound_word(const char* spelling) {
  return word::make_cell(TYPE_WORD, 0, symbol::make(spelling), static_cast<int32_t>(word::unresolved));
}

// The frames a trace names, from the bottom up to `recorded_top`; level 1 keeps the names
// whose value is a function!.
template <class Visit>
void each_traced(int32_t level, uint32_t recorded_top, Visit&& visit) {
  uint32_t last = std::min(recorded_top, frame_count());
  for (uint32_t i = 0; i < last; ++i) {
    const call_frame& frame = call_bottom[i];
    if (skipped_p(frame.symbol)) continue;
    cell word = name_word(frame.symbol, frame.name_context);
    if (level == 1) {
      const cell* value = word.payload1 && context::cell_of(word.payload1)->type() == TYPE_CONTEXT
                              ? context::find_value(word.payload1, frame.symbol)
                              : nullptr;
      if (!value || value->type() != TYPE_FUNCTION) continue;
    }
    visit(word);
  }
}

// ---- Frames ---------------------------------------------------------------------------------

inline void restore_context(const call_frame& frame) {
  if (frame.kind() == kind::call && frame.function_context)
    context::cell_of(frame.function_context)->payload2 = frame.saved_values;
}

// ---- Uncaught errors ------------------------------------------------------------------------

[[noreturn]] void end_process(int status) {
  console_out::flush();
  std::fflush(stdout);
  std::fflush(stderr);
  heap_free_all();
  _exit(status);
}

[[gnu::cold, noreturn]] void report_uncaught() {
  // An error met while forming the report would come back here: the first report is all.
  static bool reporting = false;
  if (reporting) end_process(-2 & 0xFF);
  reporting = true;
  cell fields[error::field_count];
  error::fields_of(last_fired, fields);
  error::print_fields(fields, 0);
  end_process(-2 & 0xFF);
}

// ---- Catch filters --------------------------------------------------------------------------

bool same_symbol_p(uint32_t a, uint32_t b) { return a == b || symbol::resolve(a) == symbol::resolve(b); }

// Whether the catch frame takes a throw of this name: without a filter any throw; with one,
// a named throw whose word is the filter word or one of the filter block's words.
bool filter_accepts(const call_frame& frame, const cell* name) {
  if (!frame.function_context) return true;
  const cell& filter = bottom[frame.function_context - 1];
  bool named = name && any_word_p(name->type());
  if (any_word_p(filter.type())) return named && same_symbol_p(word::symbol_of(filter), word::symbol_of(*name));
  if (filter.type() != TYPE_BLOCK) return false;
  series_buffer* buffer = buffer_of(filter.payload2);
  for (uint32_t i = filter.payload1; i < buffer->count(); ++i) {
    const cell& element = buffer->cells()[i];
    if (!any_word_p(element.type())) fire(error_id::script_invalid_refine_arg, unbound_word("name"), filter);
    if (named && same_symbol_p(word::symbol_of(element), word::symbol_of(*name))) return true;
  }
  return false;
}

void set_pending(uint32_t code, const call_frame* target, const cell& value, const cell& name) {
  pending.code = code;
  pending.target = frame_index(target);
  pending.value = value;
  pending.name = name;
}

// ---- Collector ------------------------------------------------------------------------------

void mark_frames() {
  for (const call_frame* frame = call_bottom; frame < call_top; ++frame) {
    collector::mark_context(frame->name_context);
    if (frame->kind() != kind::call || !frame->function_context) continue;
    collector::mark_context(frame->function_context);
    if (!(context::cell_of(frame->function_context)->header & cell_flag::stack_values))
      collector::mark_block(frame->saved_values);
  }
}

void mark_stacks() {
  collector::mark_values(bottom, top);
  mark_frames();
  collector::mark_cell(pending.value);
  collector::mark_cell(pending.name);
}

}  // namespace

void init() {
  if (!bottom) {
    bottom = static_cast<cell*>(heap_alloc_zeroed(sizeof(cell) * argument_capacity));
    end = bottom + argument_capacity;
    call_bottom = static_cast<call_frame*>(heap_alloc_zeroed(sizeof(call_frame) * call_capacity));
    call_end = call_bottom + call_capacity;
    collector::register_callback(mark_stacks);
    set_error_raiser(throw_error);
  }
  top = arguments = bottom;
  folded = {nullptr, 0};
  call_top = call_bottom;
  throw_call_top = 0;
  pending = pending_exit{0, 0, unset_cell, none_cell};
}

// ---- Argument cells -------------------------------------------------------------------------

cell* push_cell() {
  if (top + 1 >= end) [[unlikely]] overflow(4);
  return top++;
}

cell* push_copy(const cell& value) {
  cell copy = value;  // the value may sit in the cell about to be reserved
  cell* slot = push_cell();
  *slot = copy;
  return slot;
}

void pop_cells(uint32_t n) { top = (static_cast<uint32_t>(top - bottom) < n) ? bottom : top - n; }

cell* set_last(const cell& value) { return &copy_cell(value, *arguments); }

cell* set_last_keep(const cell& value) {
  set_last(value);
  top = arguments + 1;
  return arguments;
}

cell* reset_top() {
  top = arguments;
  return arguments;
}

cell* keep_result() {
  top = arguments + 1;
  return arguments;
}

void keep_error_result() {
  if (last_pushed()->type() == TYPE_ERROR) set_last(*last_pushed());
  top = arguments + 1;
}

cell* last_pushed() { return top == bottom ? bottom : top - 1; }

uint8_t top_type() { return last_pushed()->type(); }

// ---- Pushes ---------------------------------------------------------------------------------

void detail::call_overflow() { overflow(5); }

call_frame* push_call_frame(const cell& name, node_id function_context) {
  call_frame* frame = push_frame(name, kind::call << frame_flag::kind_shift);
  if (function_context) {
    frame->function_context = function_context;
    frame->saved_values = context::cell_of(function_context)->payload2;
  }
  return frame;
}

call_frame* push_try_frame(const cell& name) { return push_frame(name, kind::try_ << frame_flag::kind_shift); }

call_frame* push_try_all_frame(const cell& name) { return push_frame(name, kind::try_all << frame_flag::kind_shift); }

call_frame* push_catch_frame(const cell& name, const cell* filter) {
  call_frame* frame = push_frame(name, kind::catch_ << frame_flag::kind_shift);
  if (filter) frame->function_context = index_of(filter) + 1;
  return frame;
}

call_frame* push_loop_frame(const cell& name) { return push_frame(name, kind::loop << frame_flag::kind_shift); }

call_frame* push_function_frame(const cell& name, node_id function_context) {
  context::cell_of(function_context)->payload2 = index_of(arguments) + 1;
  return push_frame(name, (kind::native << frame_flag::kind_shift) | frame_flag::body);
}

// ---- Pops -----------------------------------------------------------------------------------

void pop_frame_drop() {
  restore_context(call_top[-1]);
  top = detail::unlink();
  if (call_top == call_bottom) top = arguments = bottom;
}

void pop_call_frame() {
  restore_context(call_top[-1]);
  pop_frame();
}

void pop_call_frame_last() {
  restore_context(call_top[-1]);
  pop_frame_last();
}

void pop_call_frame_reset() {
  restore_context(call_top[-1]);
  pop_frame_reset();
}

// ---- Flags and queries ----------------------------------------------------------------------

void set_call_top(call_frame* frame) { call_top = frame; }

void set_body_flag(bool flag) {
  call_frame* frame = call_top - 1;
  frame->header = flag ? frame->header | frame_flag::body : frame->header & ~frame_flag::body;
}

void set_interpreted_flag() { call_top[-1].header |= frame_flag::interpreted; }

call_frame* set_body_flag_below() {
  if (frame_count() < 2) return nullptr;
  call_frame* frame = call_top - 2;
  if (frame->body_p()) return nullptr;
  frame->header |= frame_flag::body;
  return frame;
}

void clear_body_flag(call_frame* frame) {
  if (frame) frame->header &= ~frame_flag::body;
}

bool eval_p(const call_frame* frame, bool one_frame) {
  const call_frame* from = frame ? frame : call_top;
  for (const call_frame* f = from; f-- > call_bottom;) {
    if (f->interpreted_p()) return true;
    if (one_frame) return false;
  }
  return false;
}

cell caller_word() {
  call_frame* from = call_top;
  if (throw_call_top) {
    from = call_bottom + std::min(throw_call_top, frame_count());
    throw_call_top = 0;
  } else if (folded.name && folded.frames == frame_count()) {
    return name_word(word::symbol_of(*folded.name), folded.name->payload1);
  }
  for (const call_frame* frame = from; frame-- > call_bottom;)
    if (!skipped_p(frame->symbol)) return name_word(frame->symbol, frame->name_context);
  if (!word::ready_p()) return none_cell;
  cell not_found;
  word::make_at(not_found, symbol::make("<not-found>"));
  return not_found;
}

void collect_calls(cell& block) {
  if (frame_count() < 2) return;
  for (uint32_t i = frame_count() - 1; i > 0; --i) {
    const call_frame& frame = call_bottom[i];
    if (skipped_p(frame.symbol)) continue;
    node_id context = frame.kind() == kind::call && frame.function_context ? frame.function_context : context::global;
    cell name = name_word(frame.symbol, context);
    cell index = scalar::integer(static_cast<int32_t>(frame.saved_arguments()));
    *alloc_block_tail(block) = name;
    *alloc_block_tail(block) = index;
  }
}

void trace_words(int32_t level, cell& block, uint32_t recorded_top) {
  each_traced(level, recorded_top, [&](const cell& word) { *alloc_block_tail(block) = word; });
}

int32_t form_trace(int32_t level, uint32_t recorded_top, cell& string, int32_t limit) {
  uint32_t start = text::length(string);
  each_traced(level, recorded_top, [&](const cell& word) {
    cell copy = word;
    actions::form(&copy, &string, nullptr, limit);
    text::append_char(string, ' ');
  });
  return limit - static_cast<int32_t>(text::length(string) - start);
}

// ---- Positions ------------------------------------------------------------------------------

position here() { return position{frame_count(), index_of(arguments), index_of(top)}; }

void restore(const position& at) {
  while (frame_count() > at.frames) {
    --call_top;
    restore_context(*call_top);
  }
  arguments = bottom + at.arguments;
  top = bottom + at.top;
}

// ---- Non-local exits ------------------------------------------------------------------------

// The names of the calls an error was raised in, taken before unwinding removes them. An error
// met while taking them leaves the position as it is.
void record_raised_stack() {
  static bool recording = false;
  if (recording || last_fired.value.type() != TYPE_ERROR) return;
  recording = true;
  const fired_error raised = last_fired;
  try {
    error::record_stack(raised.value);
  } catch (const system_throw_signal&) {
  }
  last_fired = raised;
  recording = false;
}

void throw_error() {
  if (call_top == call_bottom) {
    build_fired_value();
    system_throw(code::error);
  }
  if (last_fired.where.type() == TYPE_NONE) last_fired.where = caller_word();
  if (last_fired.stack.type() != TYPE_BLOCK) last_fired.stack = scalar::integer(static_cast<int32_t>(frame_count()));
  build_fired_value();
  record_raised_stack();
  for (const call_frame* frame = call_top; frame-- > call_bottom;) {
    uint32_t k = frame->kind();
    if (k == kind::try_ || k == kind::try_all) system_throw(code::error);
  }
  report_uncaught();
}

void throw_break(bool with_value, bool continue_, const cell* value) {
  for (const call_frame* frame = call_top; frame-- > call_bottom;) {
    if (frame->kind() == kind::try_all) break;
    if (frame->kind() != kind::loop) continue;
    bool result = with_value && !continue_ && value;
    set_pending(continue_ ? code::continue_ : code::break_, frame, result ? *value : unset_cell, none_cell);
    return;
  }
  fire(continue_ ? error_id::throw_continue_ : error_id::throw_break_);
}

void throw_return(const cell* value) {
  const call_frame* from = call_top == call_bottom ? call_top : call_top - 1;
  for (const call_frame* frame = from; frame-- > call_bottom;) {
    if (frame->kind() == kind::try_all) break;
    if (!frame->body_p()) continue;
    set_pending(value ? code::return_ : code::exit, frame, value ? *value : unset_cell, none_cell);
    return;
  }
  fire(error_id::throw_return_);
}

void throw_value(const cell& value, const cell* name) {
  cell thrown = value;  // the value may sit where the error is built
  uint32_t below = frame_count() ? frame_count() - 1 : 0;
  if (!throw_call_top) throw_call_top = below;
  for (const call_frame* frame = call_bottom + below; frame-- > call_bottom;) {
    if (frame->kind() == kind::try_all) break;
    if (frame->kind() != kind::catch_ || !filter_accepts(*frame, name)) continue;
    set_pending(code::throw_, frame, thrown, name ? *name : none_cell);
    return;
  }
  fire(error_id::throw_throw_, thrown);
}

uint32_t take_exit(uint32_t index) {
  if (!pending.code || pending.target != index) return 0;
  uint32_t taken = pending.code;
  pending.code = 0;
  // The recorded position belongs to this throw; a later error must not name its frames.
  if (taken == code::throw_) throw_call_top = 0;
  return taken;
}

void raise_pending() {
  if (pending.code) system_throw(pending.code);
}

void unwind_until(uint32_t wanted, bool keep) {
  call_frame* start = call_top;
  while (call_top > call_bottom) {
    --call_top;
    restore_context(*call_top);
    if (call_top->kind() == wanted || call_top->kind() == kind::try_all) break;
  }
  bool popped = call_top != start;
  if (keep && popped) ++call_top;
  if (!popped) {
    top = arguments + 1;
  } else if (call_top == call_bottom) {
    arguments = top = bottom;
  } else {
    top = arguments + 1;
    arguments = bottom + call_top->saved_arguments();
  }
  if (!keep && popped) ++call_top;
}

void unwind_to(uint32_t wanted) {
  call_frame* start = call_top;
  cell* result = arguments;
  unwind_until(wanted, false);
  if (call_top == call_bottom) return;
  // The found frame's own first cell: the saved arguments of the frame above it, or the
  // current ones when it was the top frame.
  cell* own = call_top < start ? bottom + call_top->saved_arguments() : result;
  copy_cell(*result, *own);
  arguments = top = own;
}

void unwind_to_loop(bool keep) { unwind_until(kind::loop, keep); }

}  // namespace tav::stack
