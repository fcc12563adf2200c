// Interpreter: block and expression evaluation, the infix lookahead with its fast paths, the
// current-block record errors take their `near` from, system code, and trace events.
#include "interpreter/interpreter.hpp"

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "datatypes/actions.hpp"
#include "datatypes/float.hpp"
#include "datatypes/function.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/native.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/call.hpp"
#include "interpreter/interpreter_internal.hpp"
#include "interpreter/natives.hpp"
#include "runtime/collector.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"

namespace tav::interpreter {

block_record* current_record = nullptr;
#ifdef TAV_TEST_MODES
bool fold_frames = true;
#endif
bool tracing = false;
bool trace_installed = false;

namespace {

constexpr cell unset_cell{unset_header, 0, 0, 0};
constexpr cell none_cell{TYPE_NONE, 0, 0, 0};

// ---- Trace state ----------------------------------------------------------------------------

cell trace_callback = none_cell;
uint32_t trace_mask = event::default_mask;
int32_t trace_locals = 0;

// The event words in bit order (init is bit 0).
constexpr uint32_t event_count = 16;
cell event_words[event_count];

uint32_t event_index(uint32_t event) { return static_cast<uint32_t>(__builtin_ctz(event)); }

// ---- The current-block record ---------------------------------------------------------------

// Links a record in for the evaluation of one block and unlinks it however the evaluation ends,
// so that an error caught further out names the code that was running there.
struct record_scope {
  block_record record;
  explicit record_scope(const cell& block) : record{block, current_record} { current_record = &record; }
  ~record_scope() { current_record = record.outer; }
  record_scope(const record_scope&) = delete;
  record_scope& operator=(const record_scope&) = delete;
};

// Errors take the record as their `near` when they are raised.
inline bool code_block_p(const cell& value) { return value.type() == TYPE_BLOCK || value.type() == TYPE_PAREN; }

void note_error(const fired_error&) {
  if (current_record && !code_block_p(last_fired.near)) last_fired.near = current_record->block;
  if (!tracing) return;
  // The callback may raise and catch errors of its own: the error being raised is kept on the
  // stack, where the collector sees it, and put back.
  const error_id id = last_fired.id;
  const uint32_t arg_count = last_fired.arg_count;
  cell* kept = stack::top;
  cell* const fields[] = {&last_fired.args[0], &last_fired.args[1], &last_fired.args[2], &last_fired.near,
                          &last_fired.where,   &last_fired.stack,   &last_fired.value};
  for (cell* field : fields) *stack::push_cell() = *field;
  detail::trace(event::error, nullptr, 0, nullptr);
  for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = kept[i];
  last_fired.id = id;
  last_fired.arg_count = arg_count;
  stack::top = kept;
}

// ---- Frames ---------------------------------------------------------------------------------

// Frames pushed while system code runs lack the interpreted flag.
inline uint32_t interpreted_bit(const code& source) { return source.system ? 0 : stack::frame_flag::interpreted; }

inline void push_native_frame(const code& source, const cell& name) {
  stack::push_frame(name, (stack::kind::native << stack::frame_flag::kind_shift) | interpreted_bit(source));
}

inline void pop_for(bool push) { push ? stack::pop_frame() : stack::pop_frame_last(); }

// ---- Results --------------------------------------------------------------------------------

inline void put_result(const code& source, uint32_t index, const cell& value, bool push) {
  if (push)
    detail::push(value);
  else
    detail::set_result(value);
  if (detail::traced_p(&source)) [[unlikely]]
    detail::trace(event::push, &source, index, stack::last_pushed());
}

// ---- Words ----------------------------------------------------------------------------------

// A word whose binding is not resolved yet: looked up by its symbol.
}  // namespace

[[gnu::noinline]] cell* detail::peek_by_symbol(const cell& word) {
  node_id context = word.payload1;
  if (!context) return nullptr;
  cell* values = context::values(context);
  if (!values) return nullptr;
  int32_t position = context::find_word(context, word::symbol_of(word), true);
  if (position < 0) return nullptr;
  auto slot = static_cast<uint32_t>(word::index_of(*context::word_at(context, static_cast<uint32_t>(position))));
  if (slot >= context::word_count(context)) return nullptr;
  // A global word added after its context's values were sized has no value cell yet.
  if (!(context::cell_of(context)->header & cell_flag::stack_values) &&
      slot >= buffer_of(context::cell_of(context)->payload2)->count())
    return nullptr;
  return values + slot;
}

namespace {

bool integer_order(int32_t op, int32_t a, int32_t b) {
  switch (op) {
    case actions::op::equal:
    case actions::op::strict_equal: return a == b;
    case actions::op::not_equal: return a != b;
    case actions::op::lesser: return a < b;
    case actions::op::lesser_or_equal: return a <= b;
    case actions::op::greater: return a > b;
    default: return a >= b;
  }
}

}  // namespace

// apply_fast beyond two integers that do not overflow: two floats, or an overflow, with the
// results of the full call (the left cell keeps its header flags as the arithmetic leaves them;
// an integer overflow gives the float). False, with nothing changed, for any other pair.
bool detail::apply_fast_other(uint32_t kind, int32_t code, cell& left, const cell& right) {
  uint8_t type = left.type();
  if (type != right.type() || (type != TYPE_INTEGER && type != TYPE_FLOAT)) return false;
  if (kind == fast_math && code == math_op::remainder) return false;
  if (kind == fast_compare) {
    bool answer;
    if (type == TYPE_INTEGER) {
      answer = integer_order(code, integer::get(left), integer::get(right));
    } else {
      cell a = left, b = right;
      answer = actions::compare(&a, &b, code);
    }
    left = logic::value_of(answer);
    return true;
  }
  if (type == TYPE_INTEGER) {
    int32_t a = integer::get(left), b = integer::get(right);
    int32_t result;
    bool overflow = code == math_op::add        ? __builtin_add_overflow(a, b, &result)
                    : code == math_op::subtract ? __builtin_sub_overflow(a, b, &result)
                                                : __builtin_mul_overflow(a, b, &result);
    if (overflow) [[unlikely]]
      integer::do_math_op(code, a, b, &left);
    else
      left.payload2 = static_cast<uint32_t>(result);
    return true;
  }
  float_::set(left, float_::do_math_op(float_::get(left), float_::get(right), code));
  return true;
}

namespace {

// ---- Expressions ----------------------------------------------------------------------------

// The set-word and its value are the frame's two cells; the value becomes the result. A word
// of an object goes through the context module, which tells the object of the change.
// The value cell a set-word writes directly: its context holds the word and is no object's.
inline cell* plain_slot(const cell& word) {
  cell* slot = detail::bound_value(word);
  if (!slot) return nullptr;
  const uint32_t kind =
      (buffer_of(word.payload1)->cells()[0].header & cell_flag::context_kind_mask) >> context::kind_shift;
  return kind == context::kind_object ? nullptr : slot;
}

inline void assign(const cell& word) {
  const cell value = stack::arguments[1];
  cell* slot = plain_slot(word);
  if (!slot || value.type() == TYPE_UNSET) [[unlikely]] {
    word::set();
    return;
  }
  *slot = value;
  *stack::arguments = value;
}

bool quick_paren_value(const cell& group, cell& result);

// A literal, a word holding a value or a paren holding one quick value (`parens`) at `index`,
// followed by operators that apply without a call: nothing in it can raise, run code or write
// anything. Its value goes to `result` and the index after it is answered, or the index of the
// first operator that needs its call, with `pending` saying so; 0 when the first value needs the
// full path.
struct operator_left {
  bool left = false;
  detail::found_operator found;
};
template <bool parens = true>
[[gnu::always_inline]] inline uint32_t quick_value(const code& source, const detail::view& code_view, uint32_t index,
                                                  cell& result, operator_left& pending) {
  const cell* value = &code_view.cells[index];
  if (!detail::self_evaluating.types[value->type()]) {
    if (value->type() == TYPE_WORD) {
      value = detail::bound_value(*value);
      if (!value || !detail::pushed_as_value.types[value->type()]) return 0;
    } else if (!parens || value->type() != TYPE_PAREN || !fold_frames || !quick_paren_value(*value, result)) {
      return 0;
    } else {
      value = &result;
    }
  }
  result = *value;
  for (++index; index < code_view.limit && code_view.cells[index].type() == TYPE_WORD; index += 2) {
    const detail::operator_step step = detail::fast_operator(source, code_view, index, result, pending.found);
    if (step == detail::operator_step::none) break;
    if (step == detail::operator_step::call) {
      pending.left = true;
      break;
    }
    pending.found = detail::found_operator{};
  }
  return index;
}

// The word of a set-word takes a value computed without a frame, when that is all the set-word
// does: its context holds the word and is no object's.
[[gnu::always_inline]] inline bool set_directly(const cell& word, const cell& value, bool push) {
  cell* slot = plain_slot(word);
  if (!slot) return false;
  *slot = value;
  cell* pushed = detail::push(value);
  if (!push) copy_cell(*pushed, *stack::arguments);
  return true;
}

// A set-word's frame holds the word and its value: the word is set unless an exit is pending.
inline uint32_t finish_set(const cell& word, uint32_t index, bool push) {
  if (stack::pending.code) [[unlikely]] {
    stack::pop_frame();
    return index;
  }
  assign(word);
  pop_for(push);
  return index;
}

// The rest of a set-word whose value so far is `left`, with an operator at `index` when `pending`
// says so: in the frame the full path has.
[[gnu::noinline]] uint32_t set_from(const code& source, uint32_t index, const cell& word, const cell& left,
                                    const operator_left& pending, bool push) {
  push_native_frame(source, word);
  detail::push(word);
  cell* start = detail::push(left);
  if (pending.left) {
    index = detail::operator_call(source, index, start, true, pending.found);
    if (!stack::pending.code && detail::word_at_p(source, index)) index = detail::infix_loop(source, index, start, true);
  }
  return finish_set(word, index, push);
}

uint32_t set_word(const code& source, uint32_t index, const cell& word, bool push) {
  if (!source.system && !tracing) {
    const detail::view code_view = detail::view_of(source);
    if (index + 1 < code_view.limit) {
      cell value;
      operator_left pending;
      const uint32_t next = quick_value(source, code_view, index + 1, value, pending);
      if (next) {
        if (!pending.left && set_directly(word, value, push)) return next;
        return set_from(source, next, word, value, pending, push);
      }
    }
  }
  push_native_frame(source, word);
  detail::push(word);
  if (detail::traced_p(&source)) [[unlikely]]
    detail::trace(event::push, &source, index, &word);
  if (detail::traced_p(&source)) [[unlikely]] {
    if (detail::at_end_p(source, index + 1)) fire(error_id::script_need_value, word);
    index = do_expression(source, index + 1, flag::push);
    if (!stack::pending.code) detail::trace(event::set, &source, index, stack::argument(1), &word);
  } else {
    index = detail::evaluate_argument(source, index + 1, false);
    if (index == detail::no_argument) [[unlikely]]
      fire(error_id::script_need_value, word);
  }
  return finish_set(word, index, push);
}

uint32_t set_path(const code& source, uint32_t index, const cell& path, bool push) {
  if (detail::traced_p(&source)) [[unlikely]]
    detail::trace(event::push, &source, index, &path);
  if (detail::at_end_p(source, index + 1)) fire(error_id::script_need_value, path);
  push_native_frame(source, words::set_path);
  index = do_expression(source, index + 1, flag::push);
  if (stack::pending.code) [[unlikely]] {
    stack::pop_frame();
    return index;
  }
  if (detail::traced_p(&source)) [[unlikely]]
    detail::trace(event::set, &source, index, stack::arguments, &path);
  index = do_path(&source, index, path, true, false, push);
  pop_for(push);
  return index;
}

bool fold_p();
[[gnu::always_inline]] inline void do_block_folded(const cell& block, bool chain);
inline void run_in_place(const cell& group);

// A paren's frame is named <body>, which every walk of the frames skips: untraced, the paren runs
// as a block whose result is pushed or goes to the result slot.
uint32_t paren(const code& source, uint32_t index, const cell& value, bool push) {
  if (fold_p()) [[likely]] {
    push ? do_block_folded(value, false) : run_in_place(value);
    return index + 1;
  }
  push_native_frame(source, words::body);
  do_block(value, true);
  pop_for(push);
  return index + 1;
}

bool system_issue_p(const code& source, uint32_t index, const cell& issue) {
  uint32_t name = symbol::resolve(word::symbol_of(issue));
  if (name != symbol::resolve(symbols::system) && name != symbol::resolve(symbols::system_global)) return false;
  return !detail::at_end_p(source, index + 1) && detail::cell_at(source, index + 1).type() == TYPE_BLOCK;
}

// ---- System code ----------------------------------------------------------------------------

void mark_deep(node_id node, uint32_t head) {
  if (!node || cycles::find(node)) return;
  cycles::guard walking(node);
  buffer_of(node)->flags |= series_flag::system_code;
  for (uint32_t i = head; i < buffer_of(node)->count(); ++i) {
    const cell value = buffer_of(node)->cells()[i];
    if (value.type() == TYPE_BLOCK || value.type() == TYPE_PAREN) mark_deep(value.payload2, value.payload1);
  }
}

}  // namespace

// ---- Shared helpers -------------------------------------------------------------------------

namespace detail {

int32_t offset_in(const code* source, uint32_t index) {
  if (!source) return -1;
  uint32_t head = source->block.payload1;
  if (index < head || index > buffer_of_code(*source)->count()) return -1;
  return static_cast<int32_t>(index - head);
}

void trace(uint32_t event, const code* source, uint32_t index, const cell* value, const cell* reference) {
  notify_tracer(event, source ? &source->block : nullptr, offset_in(source, index), value, reference);
}

const cell& call_name(const cell* name) { return name && name->type() == TYPE_WORD ? *name : words::anon; }

void no_value(const cell& word) { fire(error_id::script_no_value, word); }

// An operator called with its left operand at `start` and its right one from the code.
uint32_t call_operator(const code& source, uint32_t index, const cell& op, const cell& name, cell* start,
                       bool push) {
  if (traced_p(&source)) [[unlikely]]
    trace(event::fetch, &source, index, &name);
  stack::top = start;
  return call_from_code(op_source(op), source, index + 1, push, name, true);
}

// Each operator is applied to the result so far and one more operand. The caller has seen a
// word at `index`.
uint32_t infix_loop(const code& source, uint32_t index, cell* start, bool push) {
  for (;;) {
    const view code_view = view_of(source);
    found_operator found;
    switch (fast_operator(source, code_view, index, push ? *start : *stack::arguments, found)) {
      case operator_step::none: return index;
      case operator_step::applied:
        index += 2;
        if (index >= code_view.limit || code_view.cells[index].type() != TYPE_WORD) return index;
        continue;
      case operator_step::call: break;
    }
    index = operator_call(source, index, start, push, found);
    if (stack::pending.code || !word_at_p(source, index)) return index;
  }
}

uint32_t infix_call(const code& source, uint32_t index, cell* start, bool push, const found_operator& found) {
  index = operator_call(source, index, start, push, found);
  if (stack::pending.code || !word_at_p(source, index)) return index;
  return infix_loop(source, index, start, push);
}

}  // namespace detail

// ---- Public entry points --------------------------------------------------------------------

void init() {
  current_record = nullptr;
#ifdef TAV_TEST_MODES
  const char* fold = std::getenv("TAV_FOLD_FRAMES");
  fold_frames = !(fold && std::strcmp(fold, "0") == 0);
#endif
  trace_callback = none_cell;
  tracing = trace_installed = false;
  static bool rooted = false;
  if (!rooted) {
    collector::add_root(&trace_callback);
    collector::add_root_range(event_words, event_count);
    rooted = true;
  }
  const uint32_t symbols_in_order[event_count] = {
      word::symbol_of(words::init),   symbols::end,
      word::symbol_of(words::prolog), word::symbol_of(words::epilog),
      word::symbol_of(words::enter),  word::symbol_of(words::exit_),
      word::symbol_of(words::open),   word::symbol_of(words::return_),
      word::symbol_of(words::fetch),  word::symbol_of(words::push),
      symbols::set,                   word::symbol_of(words::call),
      word::symbol_of(words::error),  word::symbol_of(words::throw_),
      word::symbol_of(words::catch_), word::symbol_of(words::expr)};
  for (uint32_t i = 0; i < event_count; ++i) word::make_at(event_words[i], symbols_in_order[i]);
  set_fire_tracer(note_error);
  detail::install_call_hooks();
}

code code_of(const cell& block) {
  series_buffer* buffer = buffer_of(block.payload2);
  return code{block, detail::cells_in(buffer), (buffer->flags & series_flag::system_code) != 0};
}

void mark_system_code(const cell& block) { mark_deep(block.payload2, 0); }

bool system_code_p(const cell& block) { return (buffer_of(block.payload2)->flags & series_flag::system_code) != 0; }

namespace {

// The expressions of a block from `index` on, each starting with an empty frame; the record (null
// for system code) follows the expression being evaluated.
inline uint32_t run_expressions(const code& source, uint32_t index, block_record* record) {
  for (;;) {
    if (record) record->block.payload1 = index;
    index = do_expression(source, index, 0);
    if (stack::pending.code || index >= detail::limit_of(source)) return index;
    stack::top = stack::arguments;
  }
}

}  // namespace

namespace {

// An operator folded further out is not the innermost call while a block runs, as it is not when
// the block has its frame.
struct outer_operator_hidden {
  stack::folded_operator saved = stack::folded;
  outer_operator_hidden() { stack::folded = {nullptr, 0}; }
  ~outer_operator_hidden() { stack::folded = saved; }
  outer_operator_hidden(const outer_operator_hidden&) = delete;
  outer_operator_hidden& operator=(const outer_operator_hidden&) = delete;
};

// A block run without a frame of its own: its result slot opens at the top as a frame's would,
// and the caller's arguments come back as a pop would put them.
struct folded_scope {
  cell* caller_arguments;
  outer_operator_hidden hidden;
  folded_scope() : caller_arguments(stack::arguments) { stack::arguments = stack::top; }
  void pop(bool chain) {
    cell* callee = stack::arguments;
    stack::arguments = caller_arguments;
    stack::top = callee + 1;
    if (chain) copy_cell(*callee, *stack::arguments);
  }
  folded_scope(const folded_scope&) = delete;
  folded_scope& operator=(const folded_scope&) = delete;
};

// Untraced evaluation of a block inside some frame: its eval frame would only be skipped by every
// walk of the frames, so it is left out.
bool fold_p() { return fold_frames && !tracing && stack::call_top != stack::call_bottom; }

// Whether the callable is if, unless or either, with a value, a word or a paren first after it:
// only then can its condition be quick.
[[gnu::always_inline]] inline bool conditional_p(const cell& callable, const detail::view& code_view, uint32_t index) {
  if (callable.type() != TYPE_NATIVE || native::index_of(callable) - 1 >= natives::last_conditional ||
      index >= code_view.limit)
    return false;
  const uint8_t first = code_view.cells[index].type();
  return detail::self_evaluating.types[first] || first == TYPE_WORD || first == TYPE_PAREN;
}

// if, unless or either (`which`) whose condition at `index` is quick, its blocks written after
// it: the index after its blocks, with its condition and the block it runs (none when it runs
// none); 0, with nothing written, when its call must be made.
[[gnu::always_inline]] inline uint32_t quick_choice(const code& source, const detail::view& code_view, uint32_t index,
                                                   uint32_t which, cell& condition, cell& chosen) {
  operator_left pending;
  const uint32_t after = quick_value(source, code_view, index, condition, pending);
  const uint32_t count = which == natives::conditional_either ? 2 : 1;
  // The condition is any-type!; an unset one is either's error.
  if (!after || pending.left || condition.type() == TYPE_UNSET || !detail::blocks_at_p(code_view, after, count)) return 0;
  const bool true_p = !logic::false_p(condition);
  chosen = none_cell;
  if (which == natives::conditional_either || true_p == (which == natives::conditional_if))
    chosen = code_view.cells[after + (true_p ? 0 : count - 1)];
  return after + count;
}

// A block that holds one quick value, or a set-word of a plain context taking one, gives it as a
// folded block would, without opening a scope: nothing in it can raise or run code. Only one
// cell, or an odd number of them with an operator word second and no block last, can hold one.
// The value goes to `result` and the set-word's word is set; false, with nothing written, when
// the block holds anything else. A block found not to is marked (unless `mark` is off, for a
// caller that tries more), and not tried again: the mark only ever skips this shortcut, so a
// block changed since it was set still runs as it should.
template <bool mark = true>
[[gnu::always_inline]] inline bool quick_block_value(series_buffer* buffer, const code& source, cell& result) {
  if (buffer->flags & series_flag::not_quick) return false;
  const detail::view code_view{buffer->cells(), source.end};
  uint32_t head = source.block.payload1;
  const cell* target = code_view.cells[head].type() == TYPE_SET_WORD ? &code_view.cells[head++] : nullptr;
  const uint32_t length = source.end - head;
  operator_left pending;
  cell* slot = nullptr;
  if (length == 0 ||
      (length != 1 && (!(length & 1) || code_view.cells[head + 1].type() != TYPE_WORD ||
                       code_view.cells[source.end - 1].type() == TYPE_BLOCK)) ||
      quick_value<false>(source, code_view, head, result, pending) != source.end || pending.left ||
      (target && !(slot = plain_slot(*target)))) {
    if (mark) buffer->flags |= series_flag::not_quick;
    return false;
  }
  if (slot) *slot = result;
  return true;
}

// A paren holding one quick value and no set-word: its value, with nothing written. Only one
// level of parens is looked into.
[[gnu::noinline]] bool quick_paren_value(const cell& group, cell& result) {
  series_buffer* buffer = buffer_of(group.payload2);
  if (buffer->flags & (series_flag::system_code | series_flag::not_quick)) return false;
  const code source{group, detail::cells_in(buffer), false};
  if (group.payload1 >= source.end || buffer->cells()[group.payload1].type() == TYPE_SET_WORD) return false;
  return quick_block_value(buffer, source, result);
}

// A chosen block of interpreted code that quick_block_value answers.
[[gnu::always_inline]] inline bool quick_branch_value(const cell& block, cell& result) {
  series_buffer* buffer = buffer_of(block.payload2);
  const code branch{block, detail::cells_in(buffer), (buffer->flags & series_flag::system_code) != 0};
  return !branch.system && block.payload1 < branch.end && quick_block_value(buffer, branch, result);
}

// A value pushed as a folded block gives it.
[[gnu::always_inline]] inline void push_block_value(const cell& result, bool chain) {
  cell* pushed = stack::top;
  move_cell(*pushed, result);
  stack::top = pushed + 1;
  if (chain) copy_cell(*pushed, *stack::arguments);
}

// quick_block_value, its value pushed.
[[gnu::always_inline]] inline bool quick_block_p(series_buffer* buffer, const code& source, bool chain) {
  cell result;
  if (!quick_block_value(buffer, source, result)) return false;
  push_block_value(result, chain);
  return true;
}

// A chosen block that is not quick runs in the frame the conditional's call would have, with the
// condition as its argument.
[[gnu::noinline]] void run_chosen(const cell& native, const cell& name, const cell& condition, const cell& block,
                                  bool push) {
  const cell called = native, argument = condition, chosen = block;
  cell* slot = detail::push(called);
  stack::push_frame(name, (stack::kind::native << stack::frame_flag::kind_shift) | stack::frame_flag::interpreted);
  detail::push(argument);
  do_framed_body(chosen, true);
  pop_for(push);
  stack::top = slot + 1;
  *slot = slot[1];
}

// A block that holds nothing but a conditional whose condition is quick: a quick chosen block (or
// none) gives its value as quick_block_value does; any other chosen block runs in the scope the
// block would open, as the conditional's call would run it. False, with nothing done and the
// block marked, when the block holds anything else.
[[gnu::noinline]] bool conditional_block(const cell& block, series_buffer* buffer, const code& source, bool chain) {
  const detail::view code_view{buffer->cells(), source.end};
  const uint32_t head = block.payload1;
  const cell name = code_view.cells[head];
  const cell* native = name.type() == TYPE_WORD ? detail::bound_value(name) : nullptr;
  cell condition, chosen;
  if (!native || !conditional_p(*native, code_view, head + 1) ||
      quick_choice(source, code_view, head + 1, native::index_of(*native), condition, chosen) != source.end) {
    buffer->flags |= series_flag::not_quick;
    return false;
  }
  cell result = chosen;
  if (chosen.type() == TYPE_BLOCK && !quick_branch_value(chosen, result)) {
    const cell called = *native;
    folded_scope scope;
    record_scope record(block);
    run_chosen(called, name, condition, chosen, false);
    scope.pop(chain);
    return true;
  }
  push_block_value(result, chain);
  return true;
}

[[gnu::always_inline]] inline void do_block_folded(const cell& block, bool chain) {
  series_buffer* buffer = buffer_of(block.payload2);
  const code source{block, detail::cells_in(buffer), (buffer->flags & series_flag::system_code) != 0};
  if (!source.system && block.payload1 < source.end && !(buffer->flags & series_flag::not_quick)) {
    cell result;
    if (quick_block_value<false>(buffer, source, result)) {
      push_block_value(result, chain);
      return;
    }
    if (conditional_block(block, buffer, source, chain)) return;
  }
  folded_scope scope;
  uint32_t index = block.payload1;
  if (index >= source.end) {
    detail::set_result(unset_cell);
  } else if (source.system) {
    run_expressions(source, index, nullptr);
  } else {
    record_scope record(block);
    run_expressions(source, index, &record.record);
  }
  scope.pop(chain);
}

}  // namespace

namespace {

// A block in an eval frame of its own: traced, outside every frame, or with folding off.
[[gnu::noinline]] void do_block_framed(const cell& block, bool chain) {
  const series_buffer* buffer = buffer_of(block.payload2);
  const code source{block, detail::cells_in(buffer), (buffer->flags & series_flag::system_code) != 0};
  stack::push_frame(words::body, (stack::kind::eval << stack::frame_flag::kind_shift) | interpreted_bit(source));
  const bool traced = detail::traced_p(&source);
  if (traced) [[unlikely]]
    detail::trace(event::enter, &source, block.payload1, nullptr);
  uint32_t index = block.payload1;
  if (index >= source.end) {
    detail::set_result(unset_cell);
  } else if (source.system) {
    index = run_expressions(source, index, nullptr);
  } else {
    record_scope scope(block);
    index = run_expressions(source, index, &scope.record);
  }
  if (traced) [[unlikely]]
    detail::trace(event::exit, &source, index, stack::arguments);
  chain ? stack::pop_frame_last() : stack::pop_frame();
}

// A paren whose value goes to the result slot, at the start of an expression (the top is at the
// slot): a folded block would open its own slot right there, so its expressions write the result
// slot itself.
[[gnu::always_inline]] inline void run_in_place(const cell& group) {
  series_buffer* buffer = buffer_of(group.payload2);
  const code source{group, detail::cells_in(buffer), (buffer->flags & series_flag::system_code) != 0};
  if (source.system || group.payload1 >= source.end || stack::top != stack::arguments) [[unlikely]] {
    do_block_folded(group, true);
    return;
  }
  if (quick_block_p(buffer, source, true)) return;
  const outer_operator_hidden hidden;
  record_scope record(group);
  run_expressions(source, group.payload1, &record.record);
}

}  // namespace

void do_framed_body(const cell& block_value, bool chain) {
  const cell block = block_value;
  if (fold_frames && !tracing) [[likely]]
    do_block_folded(block, chain);
  else
    do_block_framed(block, chain);
}

void do_block(const cell& block_value, bool chain) {
  const cell block = block_value;
  if (fold_p()) [[likely]]
    do_block_folded(block, chain);
  else
    do_block_framed(block, chain);
}

// if, unless or either written with its blocks, whose condition is a quick value (nothing in it
// can raise or run code). A quick chosen block, or none chosen, gives its value without the frame,
// which would never be seen; any other chosen block runs in the frame the call would have, with
// the condition as its argument.
uint32_t detail::quick_conditional(const code& source, uint32_t index, const cell& native, const cell& name,
                                   bool push) {
  const detail::view code_view = detail::view_of(source);
  if (index >= code_view.limit || source.system || !fold_p()) return 0;
  cell condition, block;
  const uint32_t next = quick_choice(source, code_view, index, native::index_of(native), condition, block);
  if (!next) return 0;
  cell result = none_cell;
  if (block.type() == TYPE_BLOCK && !quick_branch_value(block, result)) {
    run_chosen(native, name, condition, block, push);
    return next;
  }
  cell* pushed = detail::push(result);
  if (!push) copy_cell(*pushed, *stack::arguments);
  return next;
}

namespace {

// The callable a path's first word (copied to `head`) holds, when it holds one: the path is a
// call.
[[gnu::always_inline]] inline const cell* path_callable(const cell& path, cell& head) {
  series_buffer* buffer = buffer_of(path.payload2);
  if (path.payload1 >= detail::cells_in(buffer)) return nullptr;
  head = buffer->cells()[path.payload1];
  if (head.type() != TYPE_WORD) return nullptr;
  const cell* slot = detail::bound_value(head);
  return slot && detail::callable_p(slot->type()) ? slot : nullptr;
}

// Every expression but an untraced value or word holding one.
[[gnu::noinline]] uint32_t evaluate_expression(const code& source, uint32_t index, uint32_t flags) {
  cell* start = stack::top;
  const cell value = detail::cell_at(source, index);
  const bool push = (flags & flag::push) != 0;
  if (detail::traced_p(&source)) [[unlikely]]
    detail::trace(event::fetch, &source, index, &value);
  switch (value.type()) {
    case TYPE_WORD: {
      const cell* slot = detail::code_word_value(source, index, value);
      uint8_t type = slot->type();
      if (detail::callable_p(type)) {
        index = detail::call_from_code(*slot, source, index + 1, push, value, false);
      } else if (type == TYPE_UNSET) [[unlikely]] {
        detail::no_value(value);
      } else if (type == TYPE_OP) [[unlikely]] {
        fire(error_id::script_no_op_arg, value);
      } else {
        put_result(source, index, *slot, push);
        ++index;
      }
      break;
    }
    case TYPE_SET_WORD: index = set_word(source, index, value, push); break;
    case TYPE_PAREN: index = paren(source, index, value, push); break;
    case TYPE_GET_WORD: {
      const cell* tied = source.system ? detail::tied_value(source.block.payload2, index) : nullptr;
      put_result(source, index, tied ? *tied : *context::get(value), push);
      ++index;
      break;
    }
    case TYPE_LIT_WORD: {
      cell word = value;
      word.header = TYPE_WORD;
      put_result(source, index, word, push);
      ++index;
      break;
    }
    case TYPE_PATH: index = do_path(&source, index + 1, value, false, false, push); break;
    case TYPE_GET_PATH: index = do_path(&source, index + 1, value, false, true, push); break;
    case TYPE_SET_PATH: index = set_path(source, index, value, push); break;
    case TYPE_LIT_PATH: {
      cell path = value;
      path.header = TYPE_PATH;
      path.payload3 = 0;
      put_result(source, index, path, push);
      ++index;
      break;
    }
    case TYPE_OP: fire(error_id::internal_not_done);
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_FUNCTION:
    case TYPE_ROUTINE:
      if (flags & flag::quote_functions) {
        put_result(source, index, value, push);
        ++index;
      } else {
        index = detail::call_from_code(value, source, std::min(index + 1, detail::limit_of(source)), push, words::anon,
                                       false);
      }
      break;
    case TYPE_ISSUE:
      if (system_issue_p(source, index, value)) fire(error_id::internal_tav_system);
      put_result(source, index, value, push);
      ++index;
      break;
    default:
      put_result(source, index, value, push);
      ++index;
      break;
  }
  if (!(flags & flag::no_infix) && !stack::pending.code && detail::word_at_p(source, index))
    index = detail::infix_loop(source, index, start, push);
  if (!push && detail::traced_p(&source)) [[unlikely]]
    detail::trace(event::expr, &source, index, stack::arguments);
  return index;
}

}  // namespace

uint32_t do_expression(const code& source, uint32_t index, uint32_t flags) {
  if (tracing) [[unlikely]]
    return evaluate_expression(source, index, flags);
  const bool push = (flags & flag::push) != 0;
  const detail::view code_view = detail::view_of(source);
  const cell* value = &code_view.cells[index];
  const uint8_t type = value->type();
  if (!detail::self_evaluating.types[type]) {
    cell* start = push ? stack::top : stack::arguments;
    if (type == TYPE_WORD) {
      // System code reads its words through their ties, on the general path.
      const cell* slot = source.system ? nullptr : detail::bound_value(*value);
      if (!slot) [[unlikely]]
        return evaluate_expression(source, index, flags);
      if (detail::pushed_as_value.types[slot->type()]) {
        value = slot;
        goto pushed;
      }
      if (!detail::callable_p(slot->type())) [[unlikely]]
        return evaluate_expression(source, index, flags);
      const cell name = *value;
      const uint32_t quick =
          conditional_p(*slot, code_view, index + 1) ? detail::quick_conditional(source, index + 1, *slot, name, push) : 0;
      index = quick ? quick : detail::call_from_code(*slot, source, index + 1, push, name, false);
    } else if (type == TYPE_SET_WORD) {
      const cell word = *value;
      index = set_word(source, index, word, push);
    } else if (type == TYPE_PAREN) {
      const cell group = *value;
      index = paren(source, index, group, push);
    } else if (type == TYPE_PATH) {
      const cell path = *value;
      cell head;
      const cell* slot = source.system ? nullptr : path_callable(path, head);
      index = slot ? detail::call_by_path(*slot, source, index + 1, path, path.payload1 + 1, head, push)
                   : do_path(&source, index + 1, path, false, false, push);
    } else {
      return evaluate_expression(source, index, flags);
    }
    if ((flags & flag::no_infix) || stack::pending.code || !detail::word_at_p(source, index)) return index;
    return detail::infix_loop(source, index, start, push);
  }
pushed:
  cell* start;
  if (push) {
    start = detail::push(*value);
  } else {
    detail::set_result(*value);
    start = stack::arguments;
  }
  ++index;
  if ((flags & flag::no_infix) || index >= code_view.limit || code_view.cells[index].type() != TYPE_WORD)
    return index;
  return detail::infix(source, code_view, index, start, push);
}

uint32_t do_next(const code& source, uint32_t index, bool push) {
  if (fold_p()) [[likely]] {
    folded_scope scope;
    index = do_expression(source, index, 0);
    scope.pop(!push);
    return index;
  }
  push_native_frame(source, words::body);
  index = do_expression(source, index, 0);
  push ? stack::pop_frame() : stack::pop_frame_last();
  return index;
}

uint32_t do_next_value(const cell& block) {
  const code source = code_of(block);
  uint32_t index = block.payload1;
  if (index >= detail::limit_of(source)) {
    stack::set_last_keep(unset_cell);
    return index;
  }
  if (source.system) return do_next(source, index, false);
  record_scope scope(block);
  return do_next(source, index, false);
}

cell current_block() { return current_record ? current_record->block : unset_cell; }

// ---- Trace events ---------------------------------------------------------------------------

namespace {

// The events a callback asks for: the words of a block that opens its body, else all of them.
uint32_t mask_of(const cell& callback) {
  const cell body = *function::more_cell(callback, function::more_body);
  if (body.type() != TYPE_BLOCK) return event::default_mask;
  series_buffer* buffer = buffer_of(body.payload2);
  if (body.payload1 >= buffer->count()) return event::default_mask;
  const cell first = buffer->cells()[body.payload1];
  if (first.type() != TYPE_BLOCK) return event::default_mask;
  uint32_t mask = 0;
  series_buffer* names = buffer_of(first.payload2);
  for (uint32_t i = first.payload1; i < names->count(); ++i) {
    const cell& name = names->cells()[i];
    if (name.type() != TYPE_WORD) continue;
    for (uint32_t e = 0; e < event_count; ++e)
      if (detail::same_symbol_p(word::symbol_of(name), word::symbol_of(event_words[e]))) mask |= 1u << e;
  }
  return mask;
}

bool reference_event_p(uint32_t event) {
  return event == event::set || event == event::epilog || event == event::prolog || event == event::return_ ||
         event == event::call || event == event::open;
}

}  // namespace

void start_trace(const cell& callback) {
  trace_callback = callback;
  trace_mask = mask_of(callback);
  trace_locals = function::count_locals(function::spec_of(callback), 0, false);
  trace_installed = tracing = true;
  notify_tracer(event::init, nullptr, -1, nullptr, nullptr);
}

void end_trace() {
  notify_tracer(event::end, nullptr, -1, nullptr, nullptr);
  trace_callback = none_cell;
  trace_installed = tracing = false;
}

void notify_tracer(uint32_t event, const cell* block, int32_t offset, const cell* value, const cell* reference) {
  if (!(trace_mask & event) || trace_callback.type() != TYPE_FUNCTION) return;
  const cell callback = trace_callback;
  const cell code_block = block ? *block : none_cell;
  const cell shown = value && value->type() != 0 ? *value : none_cell;
  const cell referenced = reference && reference_event_p(event) ? *reference : none_cell;
  auto argument_index = static_cast<int32_t>(stack::index_of(stack::arguments));
  auto depth = static_cast<int32_t>(stack::index_of(stack::top));
  cell* saved_top = stack::top;
  stack::call_frame* saved_call_top = stack::call_top;
  stack::push_cell()->header = TYPE_NONE;  // a spare cell above the caller's values

  const cell extra = *function::more_cell(callback, function::more_extra);
  node_id object_context = extra.type() == TYPE_INTEGER ? static_cast<node_id>(extra.payload2) : context::global;
  stack::push_call_frame(words::interp_callback, function::context_of(callback));
  stack::push_copy(event_words[event_index(event)]);
  stack::push_copy(code_block);
  stack::push_copy(scalar::integer(block ? offset : -1));
  stack::push_copy(shown);
  stack::push_copy(referenced);
  pair::push(argument_index, depth);
  if (trace_locals > 0) function::init_locals(trace_locals);

  // No events from inside the callback; a language exit out of it goes on at once, leaving
  // tracing off and the frame for the unwinding. The call that turned tracing off still reports
  // its return, after which tracing stays off.
  const bool was_tracing = tracing;
  tracing = false;
  call_function(callback, object_context, words::interp_callback, 0);
  stack::raise_pending();
  tracing = was_tracing;
  stack::pop_call_frame();
  stack::top = saved_top;
  stack::set_call_top(saved_call_top);
}

}  // namespace tav::interpreter
