// Function-making, selection and do natives: func, function, does and has make function!
// values; switch and case choose a block to evaluate; do evaluates any value.
#include "datatypes/block.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/series.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/cell_helpers.hpp"
#include "interpreter/interpreter_internal.hpp"
#include "interpreter/library_calls.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/transcode.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"

namespace tav::natives {

cell* system_functions_made = nullptr;

namespace {

constexpr uint32_t index_func = 14, index_function = 15, index_does = 16, index_has = 17, index_switch = 18,
                   index_case = 19, index_do = 20;

cell* refinement_argument(int32_t position) {
  return position < 0 ? nullptr : stack::argument(static_cast<uint32_t>(position));
}

void clip_head(cell& block) {
  auto tail = static_cast<int32_t>(series::buffer(block)->count());
  if (series::head_of(block) > tail) series::set_head(block, tail);
}

// A system function binds its body in place: a body that already runs one is copied instead.
bool system_body_p(const cell& body) {
  if (!system_functions_made || body.payload1 != 0 || !interpreter::system_code_p(body)) return false;
  const cell list = *system_functions_made;
  for (uint32_t i = 0; i < buffer_of(list.payload2)->count(); ++i)
    if (function::running_body(buffer_of(list.payload2)->cells()[i]).payload2 == body.payload2) return false;
  return true;
}

// func's work, shared by its siblings: the new function! becomes the result.
void make_function(cell spec, cell body) {
  clip_head(spec);
  clip_head(body);
  uint32_t flags = function::validate(spec);
  if (system_body_p(body)) {
    function::push_system(spec, body, flags);
    block::append_cell(*system_functions_made, *stack::last_pushed());
  } else {
    function::push(spec, body, 0, 0, 0, flags);
  }
  const cell made = *stack::last_pushed();
  stack::set_last_keep(made);
}

// ---- do -------------------------------------------------------------------------------------

// A trace this call installed is taken down however the evaluation ends; after an error the
// callback is not called again.
struct trace_guard {
  bool installed = false;
  ~trace_guard() {
    if (installed && interpreter::trace_installed) interpreter::tracing = interpreter::trace_installed = false;
  }
};

// The preprocessor's directives applied to a deep copy of the code, so the caller's block keeps
// them for its next run. The copy takes the place of do's argument, which keeps it while it runs.
cell expanded(const cell& code) {
  cell* base = stack::top;
  cell* source = stack::push_copy(code);
  cell* arguments = stack::push_copy(none::value);
  stack::push_copy(none::value);
  stack::push_copy(logic::value_of(false));
  block::copy(source, arguments, nullptr, true, nullptr);
  interpreter::library::call(interpreter::library::entry::expand, arguments, 3);
  *stack::argument(0) = *arguments;
  stack::top = base;
  return *stack::argument(0);
}

// A block, paren or hash! as code: the whole of it, or with a position word one expression.
void do_code(cell code, const cell* position_word, bool expand) {
  clip_head(code);
  if (expand) code = expanded(code);
  if (!position_word) {
    interpreter::do_block(code, true);
    return;
  }
  cell word = *position_word;
  uint32_t at = interpreter::do_next_value(code);
  if (stack::pending.code) return;
  series::set_head(code, static_cast<int32_t>(at));
  context::set(word, code);
}

// Text loads unbound: its words are bound in the global context, which gains those it lacks,
// before the code runs.
void bind_global(const cell& block) {
  node_id node = block.payload2;
  if (cycles::find(node)) return;
  cycles::guard walking(node);
  for (uint32_t i = 0; i < buffer_of(node)->count(); ++i) {
    const cell value = buffer_of(node)->cells()[i];
    uint8_t type = value.type();
    if (series::any_block_p(type)) {
      bind_global(value);
    } else if (type >= TYPE_WORD && type <= TYPE_REFINEMENT && !value.payload1) {
      cell bound;
      word::make_at(bound, word::symbol_of(value));
      cell& slot = buffer_of(node)->cells()[i];
      slot.payload1 = bound.payload1;
      slot.payload3 = bound.payload3;
    }
  }
}

// Any other value as one expression: a word is looked up, a function called.
void do_value(const cell& value) {
  cell holder;
  block::make_at(holder, 1);
  block::append_cell(holder, value);
  interpreter::do_next(interpreter::code_of(holder), 0, false);
}

// Raises an error! value as the language error it holds: its catalog entry found by its type
// and id words (else by its code), its arguments and what it says of where it happened.
[[noreturn]] void raise_error_value(const cell& value) {
  const cell raised = value;
  const cell* fields = error::fields(raised);
  error_id id = error_id::count;
  error_category category;
  if (error::category_of(error::get_type(raised), category)) id = error::id_in(category, error::get_id(raised));
  if (id == error_id::count && fields[error::field::code].type() == TYPE_INTEGER)
    id = error::id_of_code(scalar::integer_value(fields[error::field::code]));
  if (id == error_id::count) fire(error_id::internal_invalid_error, fields[error::field::id]);
  clear_fired();
  last_fired.id = id;
  last_fired.arg_count = 3;
  for (uint32_t i = 0; i < 3; ++i) last_fired.args[i] = fields[error::field::arg1 + i];
  last_fired.near = fields[error::field::near];
  // An error made where no code was running, or by hand without one, is near the code raising it.
  if (last_fired.near.type() != TYPE_BLOCK && last_fired.near.type() != TYPE_PAREN && interpreter::current_record)
    last_fired.near = interpreter::current_record->block;
  last_fired.where = fields[error::field::where];
  last_fired.value = raised;
  stack::throw_error();
}

}  // namespace

// func spec body
void func_stack(const int32_t* parameters) {
  check_arguments(index_func, parameters);
  make_function(*stack::argument(0), *stack::argument(1));
}

// function spec body /extern: the set-words of the body become locals of a copy of its spec.
void function_stack(const int32_t* parameters) {
  check_arguments(index_function, parameters);
  cell spec = *stack::argument(0);
  const cell body = *stack::argument(1);
  clip_head(spec);
  cell copy = *block::clone(spec, false, false);
  function::collect_words(copy, body);
  make_function(copy, body);
}

// does body
void does_stack(const int32_t* parameters) {
  check_arguments(index_does, parameters);
  const cell body = *stack::argument(0);
  cell spec;
  block::make_at(spec, 1);
  make_function(spec, body);
}

// has vars body: the vars become locals.
void has_stack(const int32_t* parameters) {
  check_arguments(index_has, parameters);
  cell vars = *stack::argument(0);
  const cell body = *stack::argument(1);
  clip_head(vars);
  cell spec = *block::clone(vars, false, false);
  block::insert_value(spec, refinements::local, false, true);
  make_function(spec, body);
}

// switch value cases /default case: the block after the first case of the value's own type
// equal to it.
void switch_stack(const int32_t* parameters) {
  check_arguments(index_switch, parameters);
  const cell* given = refinement_argument(parameters[1]);
  const cell fallback = given ? *given : none::value;
  const cell found = *switch_lookup(true, true);
  stack::reset_top();
  if (found.type() == TYPE_BLOCK) {
    interpreter::do_block(found, true);
  } else if (fallback.type() == TYPE_BLOCK) {
    interpreter::do_block(fallback, true);
  } else {
    none::box();
  }
}

// case cases /all: the block (or value) after the first truthy condition; with /all after
// each, the last one counting only when its condition was the last tested.
void case_stack(const int32_t* parameters) {
  check_arguments(index_case, parameters);
  const bool all = parameters[1] >= 0;
  cell cases = *stack::argument(0);
  clip_head(cases);
  if (block::ts_tail_p(cases)) {
    none::box();
    return;
  }
  stack::push_copy(cases);
  stack::push_native_frame(words::anon);
  none::push();  // the frame's result until a branch is taken
  const interpreter::code source = interpreter::code_of(cases);
  cell* const conditions = stack::top;
  uint32_t at = series::head_of(cases);
  bool matched = false;
  while (!interpreter::detail::at_end_p(source, at)) {
    matched = false;
    at = interpreter::do_next(source, at, true);
    if (stack::pending.code) [[unlikely]] {
      stack::pop_frame();
      return;
    }
    if (interpreter::detail::at_end_p(source, at)) fire(error_id::script_need_value, global_words::case_);
    const bool truthy = logic::cell_true_p(*stack::last_pushed(), true, global_words::case_);
    stack::top = conditions;
    if (!truthy) {
      ++at;
      continue;
    }
    const cell branch = interpreter::detail::cell_at(source, at);
    if (branch.type() == TYPE_BLOCK) {
      interpreter::do_block(branch, true);
      ++at;
    } else {
      at = interpreter::do_next(source, at, false);
    }
    stack::top = conditions;
    if (stack::pending.code) [[unlikely]] {
      stack::pop_frame();
      return;
    }
    matched = true;
    if (!all) break;
  }
  stack::pop_frame_last();
  if (!matched) none::box();
}

// do value /expand /args arg /next position /trace callback
void do_stack(const int32_t* parameters) {
  check_arguments(index_do, parameters);
  const bool expand = parameters[1] >= 0;
  const cell* position_word = refinement_argument(parameters[3]);
  const cell* callback = refinement_argument(parameters[4]);
  const cell value = *stack::argument(0);

  trace_guard trace;
  if (callback && !interpreter::trace_installed) {
    const cell tracer = *callback;
    interpreter::start_trace(tracer);
    trace.installed = true;
  }

  bool raise = false;  // an error! is raised once the trace, when one was installed here, is down
  switch (value.type()) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: do_code(value, position_word, expand); break;
    case TYPE_STRING: {
      cell loaded = none::value;
      lexer::transcode_string(loaded, value, -1, lexer::load_options{}, nullptr);
      bind_global(loaded);
      do_code(loaded, position_word, expand);
      break;
    }
    // Scripts run through the library's do-file, after its preprocessor.
    case TYPE_FILE:
    case TYPE_URL: fire(error_id::internal_not_done);
    case TYPE_PATH: interpreter::do_path(nullptr, 0, value, false, false, false); break;
    case TYPE_ERROR: raise = true; break;
    default: do_value(value); break;
  }

  if (trace.installed && interpreter::trace_installed) {
    const stack::pending_exit saved = stack::pending;
    stack::pending.code = 0;
    interpreter::end_trace();
    stack::pending = saved;
  }
  if (raise) raise_error_value(value);
}

}  // namespace tav::natives
