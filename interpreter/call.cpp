// Function calls: argument lists built from specs and cached with the callable, argument
// fetching from code, refinements by path or by apply's forms, and the calls of natives,
// actions, functions and routines; the places where C++ code calls functions back.
#include <cstring>
#include <new>

#include "datatypes/actions.hpp"
#include "datatypes/any_string.hpp"
#include "datatypes/block.hpp"
#include "datatypes/function.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/port.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/call.hpp"
#include "interpreter/interpreter_internal.hpp"
#include "interpreter/library_calls.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/transcode.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"

namespace tav::interpreter {

namespace {

constexpr cell none_cell{TYPE_NONE, 0, 0, 0};

// ---- Argument lists -------------------------------------------------------------------------
//
// The list holds, in spec order, a typeset! per argument (its mode in header bits 20-21), a
// refinement! per refinement (payload 3: for natives and actions its number from 1, for
// functions and routines its place in the frame), then an integer! with the locals count
// (functions, routines) or the refinement count (natives, actions) when above 0. The cell that
// caches the list also keeps a summary of it in payload 3, so that the common call reads no more
// than its argument typesets, and in payload 1 the frame cells after the mandatory arguments when
// no refinement is given: bit i set for a false (a refinement), clear for a none (its argument).

namespace mode {
inline constexpr uint32_t shift = 20;
inline constexpr uint32_t evaluated = 0, get_word = 1, lit_word = 2, returns = 3;
}  // namespace mode

namespace summary {
inline constexpr uint32_t mandatory_mask = 0xFF;   // arguments before the first refinement
inline constexpr uint32_t refinements = 0x100;     // its spec has refinements
inline constexpr uint32_t plain = 0x200;           // every mandatory argument is evaluated
inline constexpr uint32_t off_shift = 10;          // frame cells after the mandatory arguments when
inline constexpr uint32_t off_mask = 0x3F;         //   no refinement is given, 0 when above 32
inline constexpr uint32_t off_limit = 32;
inline constexpr uint32_t count_shift = 16;        // the list's trailing count
}  // namespace summary

constexpr uint32_t parameter_limit = 64;

inline uint32_t mode_of(const cell& typeset) { return (typeset.header >> mode::shift) & 3; }

inline bool native_like_p(uint8_t type) { return type == TYPE_NATIVE || type == TYPE_ACTION; }

cell* cached_list_cell(const cell& callable) {
  if (native_like_p(callable.type())) return buffer_of(native::more_of(callable))->cells() + native::more_arguments;
  return function::more_cell(callable, function::more_arguments);
}

bool same_symbol_p(uint32_t a, uint32_t b) { return a == b || symbol::resolve(a) == symbol::resolve(b); }

bool local_refinement_p(const cell& value) {
  return value.type() == TYPE_REFINEMENT && same_symbol_p(word::symbol_of(value), word::symbol_of(words::local));
}

bool return_word_p(const cell& value) { return same_symbol_p(word::symbol_of(value), symbols::return_); }

inline cell* list_cells(const cell& list) { return buffer_of(list.payload2)->cells(); }
inline uint32_t list_length(const cell& list) { return detail::cells_in(buffer_of(list.payload2)); }

// The typeset of an argument: from its type block when a non-empty one follows, else every
// datatype but unset!.
void append_typeset(cell& list, node_id spec, uint32_t i, uint32_t argument_mode) {
  series_buffer* buffer = buffer_of(spec);
  const cell next = i + 1 < buffer->count() ? buffer->cells()[i + 1] : none_cell;
  bool typed = next.type() == TYPE_BLOCK && next.payload1 < buffer_of(next.payload2)->count();
  cell* added = typed ? typeset::from_block(list, next) : typeset::make_default(list);
  added->header |= argument_mode << mode::shift;
}

// ---- Errors ---------------------------------------------------------------------------------

// The word at `position` among its spec's words, get-words, lit-words and refinements (the
// order of the callable's context), as a word!.
cell argument_word(const cell& callable, uint32_t position) {
  series_buffer* spec = buffer_of(native::spec_of(callable));
  uint32_t seen = 0;
  for (uint32_t i = 0; i < spec->count(); ++i) {
    cell value = spec->cells()[i];
    uint8_t type = value.type();
    if (type != TYPE_WORD && type != TYPE_GET_WORD && type != TYPE_LIT_WORD && type != TYPE_REFINEMENT) continue;
    if (seen++ == position) {
      set_type(value, TYPE_WORD);
      return value;
    }
  }
  return none_cell;
}

[[gnu::cold, noreturn]] void no_arg(const cell& name, const cell& callable, uint32_t position) {
  fire(error_id::script_no_arg, name, argument_word(callable, position));
}

[[gnu::cold, noreturn]] void expect_arg(const cell& name, const cell& callable, uint32_t position, uint8_t type) {
  cell datatype;
  datatype::make_at(datatype, type);
  fire(error_id::script_expect_arg, name, datatype, argument_word(callable, position));
}

inline void check_type(const cell& typeset, const cell& value, const cell& name, const cell& callable,
                       uint32_t position) {
  if (!detail::admits(typeset, value.type())) [[unlikely]]
    expect_arg(name, callable, position, value.type());
}

// ---- Frames ---------------------------------------------------------------------------------

// Restores the function context's values reference however the body ends.
struct values_guard {
  node_id context;
  uint32_t saved;
  explicit values_guard(node_id function_context) : context(function_context) {
    cell& record = buffer_of(context)->cells()[0];
    saved = record.payload2;
    record.payload2 = stack::index_of(stack::arguments) + 1;
  }
  ~values_guard() { buffer_of(context)->cells()[0].payload2 = saved; }
};

struct tracing_guard {
  bool active;
  bool saved = tracing;
  explicit tracing_guard(bool restore) : active(restore) {}
  ~tracing_guard() {
    if (active) tracing = saved;
  }
};

// ---- Fetching -------------------------------------------------------------------------------

// What a function's frame holds after its mandatory arguments when no refinement is given: false
// for each refinement and none for each of its arguments, as the list's summary spells them.
[[gnu::always_inline]] inline void push_refinements_off(const cell& list, uint32_t mandatory) {
  constexpr cell false_cell{TYPE_LOGIC, 0, 0, 0};
  const uint32_t count = (list.payload3 >> summary::off_shift) & summary::off_mask;
  if (count && stack::top + count < stack::end) [[likely]] {
    static constexpr cell off[2] = {{TYPE_NONE, 0, 0, 0}, false_cell};
    cell* at = stack::top;
    for (uint32_t i = 0, falses = list.payload1; i < count; ++i, falses >>= 1) at[i] = off[falses & 1];
    stack::top = at + count;
    return;
  }
  const cell* entries = list_cells(list);
  const uint32_t length = list_length(list);
  for (uint32_t i = mandatory; i < length; ++i) {
    const cell& entry = entries[i];
    if (entry.type() == TYPE_REFINEMENT)
      detail::push(false_cell);
    else if (entry.type() == TYPE_TYPESET && mode_of(entry) != mode::returns)
      detail::push(none_cell);
  }
}

// The locals of a frame: the first false, the others none (as function::init_locals).
inline void push_locals(uint32_t count) {
  constexpr cell false_cell{TYPE_LOGIC, 0, 0, 0};
  detail::push(false_cell);
  for (uint32_t i = 1; i < count; ++i) detail::push(none_cell);
}

// A native's or action's parameters before its refinements are fetched: no check, every
// refinement off.
inline void clear_parameters(int32_t* parameters, uint32_t count) {
  // The common counts are covered by one fixed-size store, which needs no call of memset.
  constexpr uint32_t fixed = 16;
  static_assert(fixed + 1 <= parameter_limit);
  parameters[0] = 0;
  std::fill_n(parameters + 1, fixed, -1);
  for (uint32_t i = fixed + 1; i <= count; ++i) parameters[i] = -1;
}

// One evaluated argument, pushed: untraced, through the path of call_from_code's arguments.
[[gnu::always_inline]] inline uint32_t argument_expression(const code& source, uint32_t index, uint32_t flags) {
  if (tracing) [[unlikely]]
    return do_expression(source, index, flags);
  return detail::evaluate_argument(source, index, (flags & flag::no_infix) != 0);
}

// The cell just pushed is taken off again.
inline void drop_pushed() { --stack::top; }

struct fetch {
  const cell& callable;
  const code* source;
  const call_options& options;
  const cell& name;
  int32_t* parameters;  // natives and actions: [0] the check flag, then one per refinement
  bool function_like;
};

// One argument from the code, pushed, by its mode; answers the index after what it consumed.
uint32_t fetch_one(const fetch& f, uint32_t index, uint32_t argument_mode, uint32_t position) {
  if (!f.source || detail::at_end_p(*f.source, index)) {
    // apply's forms may give fewer arguments than its spec has.
    if (f.options.mode == 0) no_arg(f.name, f.callable, position);
    none::push();
    return index;
  }
  const code& source = *f.source;
  if (argument_mode == mode::evaluated) {
    uint32_t flags = flag::push | (f.options.infix ? flag::no_infix : 0);
    if (!(f.options.mode & 4)) return argument_expression(source, index, flags);
    code one = source;
    one.end = std::min(source.end, index + 1);
    return do_expression(one, index, flags);
  }
  const cell value = detail::cell_at(source, index);
  if (detail::traced_p(&source)) [[unlikely]]
    detail::trace(event::fetch, &source, index, &value);
  if (argument_mode == mode::get_word) {
    stack::push_copy(value);
  } else {
    switch (value.type()) {
      case TYPE_PAREN:
        stack::push_frame(words::anon, (stack::kind::native << stack::frame_flag::kind_shift) |
                                           (source.system ? 0 : stack::frame_flag::interpreted));
        do_block(value, true);
        stack::pop_frame();
        break;
      case TYPE_GET_WORD: stack::push_copy(*context::get(value)); break;
      case TYPE_GET_PATH: return do_path(&source, index + 1, value, false, true, true);
      default: stack::push_copy(value); break;
    }
  }
  if (detail::traced_p(&source)) [[unlikely]]
    detail::trace(event::push, &source, index, stack::last_pushed());
  return index + 1;
}

// The common call: mandatory arguments evaluated one after another, no refinement given.
uint32_t fetch_plain(const fetch& f, const cell& list, uint32_t index) {
  const uint32_t summary_bits = list.payload3;
  const uint32_t mandatory = summary_bits & summary::mandatory_mask;
  const uint32_t flags = flag::push | (f.options.infix ? flag::no_infix : 0);
  uint32_t k = 0;
  if (f.options.infix && mandatory > 0) {
    check_type(list_cells(list)[0], *stack::arguments, f.name, f.callable, 0);
    k = 1;
  }
  for (; k < mandatory; ++k) {
    if (!f.source || detail::at_end_p(*f.source, index)) [[unlikely]]
      no_arg(f.name, f.callable, k);
    index = argument_expression(*f.source, index, flags);
    if (stack::pending.code) [[unlikely]] return index;
    check_type(list_cells(list)[k], stack::top[-1], f.name, f.callable, k);
  }
  if ((summary_bits & summary::refinements) && f.function_like) push_refinements_off(list, mandatory);
  return index;
}

// The refinement's entry in the list, found by its symbol; -1 when there is none.
int32_t find_refinement(const cell& list, const cell& element) {
  const uint32_t symbol = word::symbol_of(element);
  const cell* entries = list_cells(list);
  const uint32_t length = list_length(list);
  for (uint32_t i = 0; i < length; ++i) {
    const cell& entry = entries[i];
    if (entry.type() == TYPE_REFINEMENT && same_symbol_p(word::symbol_of(entry), symbol)) return static_cast<int32_t>(i);
  }
  return -1;
}

// Position of a list entry among the callable's context words (for error messages).
uint32_t position_of(const cell& list, uint32_t entry) {
  uint32_t position = 0;
  const cell* entries = list_cells(list);
  for (uint32_t i = 0; i < entry; ++i) {
    const cell& c = entries[i];
    if (c.type() == TYPE_REFINEMENT || (c.type() == TYPE_TYPESET && mode_of(c) != mode::returns)) ++position;
  }
  return position;
}

// The second pass: refinements named by a path's elements, or given in the code in apply's
// sequential form, with their arguments.
uint32_t fetch_refinements(const fetch& f, const cell& list, uint32_t index, uint32_t& counter, bool has_refinements,
                           uint32_t element_index) {
  const call_options& o = f.options;
  const bool sequential = !o.path;
  for (;;) {
    cell element;
    if (sequential) {
      if (!f.source || detail::at_end_p(*f.source, index)) break;
      element = detail::cell_at(*f.source, index);
    } else {
      series_buffer* path = buffer_of(o.path->payload2);
      if (element_index >= path->count()) break;
      element = path->cells()[element_index++];
    }
    uint8_t type = element.type();
    bool refinement_p = type == TYPE_GET_WORD || (sequential ? type == TYPE_REFINEMENT : type == TYPE_WORD);
    if (!refinement_p) {
      if (!has_refinements && o.mode > 0) break;
      fire(error_id::script_bad_refine, element);
    }

    bool on = true;
    if (sequential) {
      ++index;
      if (detail::at_end_p(*f.source, index)) {
        on = false;
      } else {
        index = do_expression(*f.source, index, flag::push);
        if (stack::pending.code) [[unlikely]] return index;
        on = logic::cell_true_p(stack::top[-1], true, element);
        stack::pop_cells(1);
      }
    } else if (type == TYPE_GET_WORD) {
      on = !logic::false_p(*context::get(element));
    }

    int32_t found = find_refinement(list, element);
    if (found < 0) fire(error_id::script_no_refine, f.name, element);
    const auto at = static_cast<uint32_t>(found);
    const cell entry = list_cells(list)[at];
    const cell& source_value = o.path ? *o.path : element;
    if (f.function_like) {
      cell& state = stack::arguments[entry.payload3];
      if (state.type() != TYPE_LOGIC || logic::get(state)) fire(error_id::script_dup_refine, source_value);
      state = logic::value_of(on);
    } else if (on) {
      int32_t& slot = f.parameters[entry.payload3];
      if (slot != -1) fire(error_id::script_dup_refine, source_value);
      slot = static_cast<int32_t>(counter);
    }

    uint32_t frame_place = entry.payload3 + 1;
    uint32_t position = position_of(list, at) + 1;
    // The list's buffer stays where it is while these are held (the collector pins it).
    const cell* entries = list_cells(list);
    const uint32_t length = list_length(list);
    for (uint32_t k = at + 1; k < length; ++k, ++frame_place, ++position) {
      const cell typeset = entries[k];
      if (typeset.type() != TYPE_TYPESET || mode_of(typeset) == mode::returns) break;
      if ((o.mode & 4) && !on) {
        ++index;
        continue;
      }
      index = fetch_one(f, index, mode_of(typeset), position);
      if (stack::pending.code) [[unlikely]] return index;
      if (!on) {
        drop_pushed();
        continue;
      }
      check_type(typeset, stack::top[-1], f.name, f.callable, position);
      ++counter;
      if (f.function_like) {
        stack::arguments[frame_place] = stack::top[-1];
        drop_pushed();
      }
    }
  }
  return index;
}

// Every form of argument fetching: the arguments go on the stack in the order the callee reads
// them, refinement positions into `parameters` for natives and actions.
uint32_t fetch_general(const fetch& f, const cell& list, uint32_t index) {
  const call_options& o = f.options;
  bool active = true, has_refinements = false;
  uint32_t counter = 0, position = 0;
  for (uint32_t k = 0; k < list_length(list); ++k) {
    const cell entry = list_cells(list)[k];
    if (entry.type() == TYPE_TYPESET) {
      uint32_t argument_mode = mode_of(entry);
      if (argument_mode == mode::returns) continue;
      if (active) {
        bool end = !f.source || detail::at_end_p(*f.source, index);
        if (end && o.mode > 0) {
          none::push();
        } else if (end && argument_mode == mode::lit_word && typeset::has_type(entry, TYPE_UNSET)) {
          unset::push();
        } else if (!(o.infix && counter == 0)) {
          index = fetch_one(f, index, argument_mode, position);
          if (stack::pending.code) [[unlikely]] return index;
        }
        check_type(entry, stack::top[-1], f.name, f.callable, position);
        ++counter;
      } else {
        if (f.function_like) none::push();
        if (o.mode == 1 && !o.path) {
          index = fetch_one(f, index, argument_mode, position);
          if (stack::pending.code) [[unlikely]] return index;
          stack::pop_cells(1);
        }
      }
      ++position;
    } else if (entry.type() == TYPE_REFINEMENT) {
      has_refinements = true;
      ++position;
      if (o.mode > 0 && !o.path) {
        bool end = !f.source || detail::at_end_p(*f.source, index);
        if (end || (o.mode & 2)) {
          if (f.function_like) logic::push(false);
          active = false;
        } else {
          index = do_expression(*f.source, index, flag::push);
          if (stack::pending.code) [[unlikely]] return index;
          const cell state = stack::top[-1];
          if (state.type() != TYPE_LOGIC) expect_arg(f.name, f.callable, position - 1, state.type());
          active = logic::get(state);
          if (!f.function_like) {
            if (active) f.parameters[entry.payload3] = static_cast<int32_t>(counter);
            stack::pop_cells(1);
          }
        }
      } else {
        if (f.function_like) logic::push(false);
        active = false;
      }
    }
  }
  if (o.path || (o.mode & 2)) index = fetch_refinements(f, list, index, counter, has_refinements, o.path_index);
  return index;
}

// ---- Calling --------------------------------------------------------------------------------

[[gnu::cold, noreturn]] void not_done() { fire(error_id::internal_not_done); }

// A native or action whose C++ containers cannot get memory raises internal/no-memory like any
// other failure of the call, instead of letting std::bad_alloc end the process.
[[gnu::cold, noreturn]] void native_out_of_memory() { fire(error_id::internal_no_memory); }

void call_native(const cell& callable, const int32_t* parameters) {
  uint32_t index = native::index_of(callable);
  try {
    if (callable.type() == TYPE_NATIVE) {
      if (index < 1 || index > natives::table_slots || !natives::table[index]) not_done();
      natives::table[index](parameters);
      return;
    }
    if (index < 1 || index > action_count || !actions::action_entries[index - 1]) not_done();
    actions::action_entries[index - 1](parameters + 1);
  } catch (const std::bad_alloc&) {
    native_out_of_memory();
  }
}

// Compiled bodies by index.
constexpr uint32_t compiled_capacity = 256;
compiled_body compiled_bodies[compiled_capacity + 1] = {};
uint32_t compiled_count = 0;

// A compiled body pushes its own frame (with the body flag) where the next frame goes; a return
// or exit aimed at it ends there.
void run_compiled(const cell& function, node_id object_context, int32_t index) {
  if (index < 1 || static_cast<uint32_t>(index) > compiled_count) not_done();
  compiled_body body = compiled_bodies[index];
  values_guard values(function::context_of(function));
  uint32_t body_frame = stack::frame_count();
  detail::catch_exits([&] { body(object_context == context::global ? 0 : object_context); });
  if (stack::pending.code && stack::take_exit(body_frame)) {
    stack::set_last_keep(stack::pending.value);
    stack::pop_frame_last();
  }
}

// The values of a frame made from C++: the given arguments for the mandatory ones (none for
// those not given), false for each refinement and none for its arguments, then the locals.
void push_frame_values(const cell& function, const cell* arguments, uint32_t count) {
  const cell list = build_arguments(function);
  uint32_t given = 0;
  bool mandatory = true;
  for (uint32_t i = 0; i < list_length(list); ++i) {
    const cell entry = list_cells(list)[i];
    if (entry.type() == TYPE_REFINEMENT) {
      mandatory = false;
      logic::push(false);
    } else if (entry.type() == TYPE_TYPESET && mode_of(entry) != mode::returns) {
      stack::push_copy(mandatory && given < count ? arguments[given++] : none_cell);
    }
  }
  int32_t locals = static_cast<int32_t>(list.payload3 >> summary::count_shift);
  if (locals > 0) function::init_locals(locals);
}

// An interpreted function without trace attributes, called untraced: its body evaluated with the
// context's values on the frame, a return or exit aimed at the frame taken here. Anything else
// goes through call_function.
[[gnu::always_inline]] inline void run_function(const cell& function, const cell& name) {
  cell* more = buffer_of(function.payload3)->cells();
  const cell& code_cell = more[function::more_code];
  const cell body = code_cell.type() == TYPE_BLOCK ? code_cell : more[function::more_body];
  if ((function.header & (function::flag_trace | function::flag_no_trace)) || body.type() != TYPE_BLOCK ||
      (code_cell.type() == TYPE_INTEGER && code_cell.payload2 != 0)) [[unlikely]] {
    call_function(function, 0, name, 0);
    return;
  }
  values_guard values(function.payload1);
  stack::call_frame* frame = stack::call_top - 1;
  frame->header |= stack::frame_flag::body;
  detail::catch_exits([&] { do_framed_body(body, true); });
  frame->header &= ~stack::frame_flag::body;
  if (stack::pending.code && stack::take_exit(stack::frame_index(frame))) [[unlikely]]
    detail::set_result(stack::pending.value);
}

// A function or routine whose arguments are on the frame: its `count` locals, then its body.
[[gnu::always_inline]] inline void run_with_locals(const cell& callable, const cell& name, uint32_t count) {
  if (count > 0) push_locals(count);
  if (callable.type() == TYPE_FUNCTION)
    run_function(callable, name);
  else
    call_routine(callable, name);
}

// ---- Callbacks ------------------------------------------------------------------------------

// The kinds of callbacks, each with its bit in system/state/callbacks/bits: tracing stays on in
// a callback only when its bit is set there.
namespace callback {
inline constexpr uint32_t lexer = 1, parse = 2, sort = 4, change = 8, deep = 16;
}

// A function or routine called back from C++ with these values: its result is answered; with
// `written_back` the frame's first `count` cells are copied back into `arguments` first (a
// callback may move the input it was given).
cell call_back(const cell& callable_value, const cell& name_value, cell* arguments, uint32_t count, uint32_t kind,
               bool written_back) {
  const cell callable = callable_value, name = name_value;
  cell* saved = stack::top;
  stack::push_copy(callable);
  if (callable.type() == TYPE_ROUTINE) {
    stack::push_native_frame(name);
    for (uint32_t i = 0; i < count; ++i) stack::push_copy(arguments[i]);
    call_routine(callable, name);
  } else {
    stack::push_frame(name, stack::kind::call << stack::frame_flag::kind_shift);
    push_frame_values(callable, arguments, count);
    call_function(callable, 0, name, kind);
  }
  if (written_back)
    for (uint32_t i = 1; i < count; ++i) arguments[i] = stack::arguments[i];
  const cell answer = *stack::arguments;
  stack::pop_frame();
  stack::top = saved;
  stack::raise_pending();
  return answer;
}

void evaluate_object_spec(const cell& block) {
  cell* saved = stack::top;
  do_block(block, false);
  stack::top = saved;
  stack::raise_pending();
}

void call_handler(const cell& function, const cell& name, const cell* arguments, uint32_t count, int32_t) {
  cell values[8];
  count = std::min<uint32_t>(count, 8);
  for (uint32_t i = 0; i < count; ++i) values[i] = arguments[i];
  bool deep = word::symbol_of(name) == word::symbol_of(words::on_deep_change);
  call_back(function, name, values, count, deep ? callback::deep : callback::change, false);
}

cell call_actor(const cell& function, const cell& name, cell* arguments, uint32_t count) {
  return call_back(function, name, arguments, count, 0, false);
}

cell call_comparator(const cell& function, const cell& first, const cell& second) {
  cell arguments[2] = {first, second};
  return call_back(function, words::compare_callback, arguments, 2, callback::sort, false);
}

cell call_lexer_callback(const cell& callback, cell (&arguments)[5]) {
  return call_back(callback, words::lexer_callback, arguments, 5, callback::lexer, true);
}

const cell* system_object = nullptr;

// The bits of system/state/callbacks/bits, 0 while that object is not built.
uint32_t bits_of_callbacks() {
  if (!system_object) return 0;
  cell value = *system_object;
  for (const char* field : {"state", "callbacks", "bits"}) {
    if (value.type() != TYPE_OBJECT) return 0;
    value = *object::select_word(value, *word::load(field));
  }
  return value.type() == TYPE_INTEGER ? static_cast<uint32_t>(integer::get(value)) : 0;
}

}  // namespace

// ---- Public ---------------------------------------------------------------------------------

void register_system_object(const cell* system) { system_object = system; }

cell call_parse_callback(const cell& callback, cell (&arguments)[5]) {
  return call_back(callback, words::parse_callback, arguments, 5, callback::parse, false);
}

namespace {

// The summary of the frame cells push_refinements_off pushes, read from the list's entries.
void note_refinements_off(cell& list, uint32_t mandatory) {
  const cell* entries = list_cells(list);
  const uint32_t length = list_length(list);
  uint32_t count = 0, falses = 0;
  for (uint32_t i = mandatory; i < length; ++i) {
    const cell& entry = entries[i];
    const bool refinement = entry.type() == TYPE_REFINEMENT;
    if (!refinement && (entry.type() != TYPE_TYPESET || mode_of(entry) == mode::returns)) continue;
    if (count == summary::off_limit) return;
    if (refinement) falses |= 1u << count;
    ++count;
  }
  list.payload1 = falses;
  list.payload3 |= count << summary::off_shift;
}

}  // namespace

cell build_arguments(const cell& callable_value) {
  const cell callable = callable_value;
  {
    const cell cached = *cached_list_cell(callable);
    if (cached.type() == TYPE_BLOCK) return cached;
  }
  const bool native_like = native_like_p(callable.type());
  const node_id spec = native::spec_of(callable);
  cell list;
  block::make_at(list, static_cast<int32_t>(buffer_of(spec)->count()) + 1);
  uint32_t mandatory = 0, refinement_count = 0, locals = 0, place = 0;
  bool refined = false, plain = true, in_locals = false;
  for (uint32_t i = 0; i < buffer_of(spec)->count(); ++i) {
    cell value = buffer_of(spec)->cells()[i];
    switch (value.type()) {
      case TYPE_WORD:
      case TYPE_GET_WORD:
      case TYPE_LIT_WORD: {
        ++place;
        if (in_locals) {
          if (value.type() == TYPE_WORD) ++locals;
          break;
        }
        uint32_t argument_mode = value.type() == TYPE_WORD       ? mode::evaluated
                                 : value.type() == TYPE_GET_WORD ? mode::get_word
                                                                 : mode::lit_word;
        append_typeset(list, spec, i, argument_mode);
        if (!refined) {
          ++mandatory;
          if (argument_mode != mode::evaluated) plain = false;
        }
        break;
      }
      case TYPE_SET_WORD:
        if (!return_word_p(value)) fire(error_id::script_bad_func_def, value);
        if (in_locals) {
          in_locals = false;
          break;
        }
        append_typeset(list, spec, i, mode::returns);
        break;
      case TYPE_REFINEMENT:
        if (local_refinement_p(value)) {
          in_locals = true;
          locals = 1;
          ++place;
          break;
        }
        refined = true;
        value.payload1 = 0;
        value.payload3 = native_like ? ++refinement_count : place;
        ++place;
        block::append_cell(list, value);
        break;
      default: break;
    }
  }
  uint32_t count = native_like ? refinement_count : locals;
  if (count > 0) block::append_cell(list, scalar::integer(static_cast<int32_t>(count)));
  if (mandatory > summary::mandatory_mask || refinement_count + 1 >= parameter_limit) plain = false;
  if (native_like && refinement_count + 1 >= parameter_limit) fire(error_id::script_bad_func_def, cell{TYPE_BLOCK, 0, spec, 0});
  list.payload3 = std::min(mandatory, summary::mandatory_mask) | (refined ? summary::refinements : 0) |
                  (plain ? summary::plain : 0) | (count << summary::count_shift);
  if (refined && !native_like) note_refinements_off(list, mandatory);
  *cached_list_cell(callable) = list;
  if (callable.type() == TYPE_NATIVE) natives::note_arguments(native::index_of(callable), callable);
  return list;
}

namespace {

// Every call: traced, through apply's forms, with refinements or with a method's object.
uint32_t apply_general(const cell& callable_value, const code* source, uint32_t index, const call_options& options) {
  const cell callable = callable_value;
  const cell& name = detail::call_name(options.name);
  const bool traced = detail::traced_p(source);
  if (traced) [[unlikely]] {
    // An operator's left operand lies at the top, not yet counted: the callback's cells go above it.
    if (options.infix) ++stack::top;
    // The reference is what the code named the call by: the word, path or value before the
    // position, or the name an apply or a path gives.
    const cell reference = source && options.mode == 0 && index > 0 && index <= detail::cells_in(detail::buffer_of_code(*source))
                               ? detail::cell_at(*source, index - 1)
                           : options.name ? *options.name
                                          : callable;
    detail::trace(event::open, source, index, &reference, &name);
    if (options.infix) --stack::top;
  }
  cell* slot = options.infix ? nullptr : detail::push(callable);
  const uint8_t type = callable.type();
  const bool function_like = type == TYPE_FUNCTION || type == TYPE_ROUTINE;
  const uint32_t interpreted = source && source->system ? 0 : stack::frame_flag::interpreted;
  stack::push_frame(name, ((function_like && type == TYPE_FUNCTION ? stack::kind::call : stack::kind::native)
                           << stack::frame_flag::kind_shift) |
                              interpreted);
  // The left operand of an operator is its first argument already; building the list may use
  // the stack above it.
  if (options.infix) ++stack::top;
  const cell cached = detail::more_cell(callable, 1);
  const cell list = cached.type() == TYPE_BLOCK ? cached : build_arguments(callable);

  int32_t parameters[parameter_limit];
  const uint32_t count = list.payload3 >> summary::count_shift;
  if (!function_like) {
    clear_parameters(parameters, count);
  }
  const fetch f{callable, source, options, name, parameters, function_like};
  if (options.mode == 0 && (list.payload3 & summary::plain)) {
    index = fetch_plain(f, list, index);
    if (options.path && !stack::pending.code) {
      uint32_t counter = list.payload3 & summary::mandatory_mask;
      index = fetch_refinements(f, list, index, counter, (list.payload3 & summary::refinements) != 0,
                                options.path_index);
    }
  } else {
    index = fetch_general(f, list, index);
  }

  if (!stack::pending.code) [[likely]] {
    if (traced) [[unlikely]]
      detail::trace(event::call, options.mode > 0 ? nullptr : source, index, &callable, &name);
    if (!function_like) {
      call_native(callable, parameters);
    } else {
      if (count > 0) push_locals(count);
      if (type == TYPE_FUNCTION) {
        node_id object_context =
            options.object && options.object->type() == TYPE_OBJECT ? object::context_of(*options.object) : 0;
        if (object_context || tracing)
          call_function(callable, object_context, name, 0);
        else
          run_function(callable, name);
      } else {
        call_routine(callable, name);
      }
    }
  }

  options.push ? stack::pop_frame() : stack::pop_frame_last();
  if (traced) [[unlikely]]
    detail::trace(event::return_, source, index, stack::last_pushed(), &name);
  if (slot) {
    stack::top = slot + 1;
    *slot = slot[1];
  }
  return index;
}

// The list entry of the refinement spelled with exactly this symbol; `length` when none is.
inline uint32_t refinement_entry(const cell* entries, uint32_t from, uint32_t length, uint32_t symbol) {
  for (uint32_t k = from; k < length; ++k)
    if (entries[k].type() == TYPE_REFINEMENT && word::symbol_of(entries[k]) == symbol) return k;
  return length;
}

// Turns the refinement at `place` on (its frame cell, or its parameter with the count of
// arguments before its own); false when it is on already.
inline bool take_refinement(bool function_like, int32_t* parameters, uint32_t place, uint32_t counter) {
  if (function_like) {
    cell& state = stack::arguments[place];
    if (state.type() != TYPE_LOGIC || logic::get(state)) return false;
    state = logic::value_of(true);
    return true;
  }
  int32_t& slot = parameters[place];
  if (slot != -1) return false;
  slot = static_cast<int32_t>(counter);
  return true;
}

// What a callable called by a path takes from the code: its mandatory arguments as
// call_from_code takes them, then the refinements the path names with their arguments. A word
// spelled as one of the list's refinements is taken here; the first element that is anything
// else (a get-word, another spelling, an unknown or repeated refinement) hands the rest of the
// path to fetch_refinements, which gives the results and errors of every other form. An exit
// left pending ends the fetching.
[[gnu::always_inline]] inline uint32_t path_arguments(const cell& callable, const code& source, uint32_t index,
                                                      const cell& path_cell, uint32_t path_index, bool push,
                                                      const cell& list, const cell& name, int32_t* parameters,
                                                      bool function_like) {
  const uint32_t mandatory = list.payload3 & summary::mandatory_mask;
  // The list's buffer stays where it is while these are held (the collector pins it).
  const cell* entries = list_cells(list);
  const uint32_t length = list_length(list);
  for (uint32_t k = 0; k < mandatory; ++k) {
    const uint32_t next = detail::evaluate_argument(source, index, false);
    if (next == detail::no_argument) [[unlikely]]
      no_arg(name, callable, k);
    index = next;
    if (stack::pending.code) [[unlikely]] return index;
    check_type(entries[k], stack::top[-1], name, callable, k);
  }
  if (function_like && (list.payload3 & summary::refinements)) push_refinements_off(list, mandatory);
  for (uint32_t i = path_index, counter = mandatory;; ++i) {
    series_buffer* path = buffer_of(path_cell.payload2);
    if (i >= detail::cells_in(path)) return index;
    const cell& element = path->cells()[i];
    const uint32_t at =
        element.type() == TYPE_WORD ? refinement_entry(entries, mandatory, length, word::symbol_of(element)) : length;
    if (at == length || !take_refinement(function_like, parameters, entries[at].payload3, counter)) [[unlikely]] {
      const call_options options = detail::path_options(path_cell, path_index, name, push);
      const fetch f{callable, &source, options, name, parameters, function_like};
      return fetch_refinements(f, list, index, counter, true, i);
    }
    for (uint32_t k = at + 1; k < length; ++k) {
      const cell& typeset = entries[k];
      const uint32_t argument_mode = mode_of(typeset);
      if (typeset.type() != TYPE_TYPESET || argument_mode == mode::returns) break;
      if (argument_mode == mode::evaluated) [[likely]] {
        const uint32_t next = detail::evaluate_argument(source, index, false);
        if (next == detail::no_argument) [[unlikely]]
          no_arg(name, callable, position_of(list, k));
        index = next;
      } else {
        const call_options options = detail::path_options(path_cell, path_index, name, push);
        const fetch f{callable, &source, options, name, parameters, function_like};
        index = fetch_one(f, index, argument_mode, position_of(list, k));
      }
      if (stack::pending.code) [[unlikely]] return index;
      if (!detail::admits(typeset, stack::top[-1].type())) [[unlikely]]
        expect_arg(name, callable, position_of(list, k), stack::top[-1].type());
      ++counter;
      if (function_like) {
        stack::arguments[entries[at].payload3 + (k - at)] = stack::top[-1];
        drop_pushed();
      }
    }
  }
}

}  // namespace

// A call by a path written in code, without apply's forms or a method's object.
uint32_t detail::call_by_path(const cell& callable_value, const code& source, uint32_t index, const cell& path,
                              uint32_t path_index, const cell& name, bool push) {
  const cell callable = callable_value;
  const cell list = detail::more_cell(callable, 1);
  if (tracing || list.type() != TYPE_BLOCK || !(list.payload3 & summary::plain)) [[unlikely]]
    return apply_general(callable, &source, index, detail::path_options(path, path_index, name, push));
  cell* slot = detail::push(callable);
  const uint8_t type = callable.type();
  const bool function_like = type == TYPE_FUNCTION || type == TYPE_ROUTINE;
  const uint32_t kind = type == TYPE_FUNCTION ? stack::kind::call : stack::kind::native;
  stack::push_frame(name, (kind << stack::frame_flag::kind_shift) | (source.system ? 0 : stack::frame_flag::interpreted));
  const uint32_t count = list.payload3 >> summary::count_shift;
  int32_t parameters[parameter_limit];
  if (!function_like) {
    clear_parameters(parameters, count);
  }
  index = path_arguments(callable, source, index, path, path_index, push, list, name, parameters, function_like);
  if (!stack::pending.code) [[likely]] {
    if (!function_like) {
      call_native(callable, parameters);
    } else {
      run_with_locals(callable, name, count);
    }
  }
  push ? stack::pop_frame() : stack::pop_frame_last();
  stack::top = slot + 1;
  *slot = slot[1];
  return index;
}

uint32_t apply_block(const cell& callable, const code* source, uint32_t index, const call_options& options) {
  if (source && options.mode == 0 && !options.object) {
    if (!options.path)
      return detail::call_from_code(callable, *source, index, options.push, detail::call_name(options.name),
                                    options.infix);
    if (!options.infix)
      return detail::call_by_path(callable, *source, index, *options.path, options.path_index,
                                  detail::call_name(options.name), options.push);
  }
  return apply_general(callable, source, index, options);
}

// The common call, untraced: the callable's mandatory arguments evaluated from the code, its
// refinements off.
uint32_t detail::call_from_code(const cell& callable_value, const code& source, uint32_t index, bool push,
                                const cell& name, bool infix) {
  const cell callable = callable_value;
  const cell list = detail::more_cell(callable, 1);
  if (tracing || list.type() != TYPE_BLOCK || !(list.payload3 & summary::plain)) [[unlikely]] {
    call_options options;
    options.push = push;
    options.infix = infix;
    options.name = &name;
    return apply_general(callable, &source, index, options);
  }
  cell* slot = infix ? nullptr : detail::push(callable);
  const uint8_t type = callable.type();
  const uint32_t kind = type == TYPE_FUNCTION ? stack::kind::call : stack::kind::native;
  stack::push_frame(name, (kind << stack::frame_flag::kind_shift) | (source.system ? 0 : stack::frame_flag::interpreted));
  const uint32_t mandatory = list.payload3 & summary::mandatory_mask;
  uint32_t k = 0;
  if (infix) {
    ++stack::top;
    if (mandatory > 0) check_type(list_cells(list)[0], *stack::arguments, name, callable, 0);
    k = 1;
  }
  // if, unless and either whose blocks are written in the code take them from there.
  const bool conditional = type == TYPE_NATIVE && native::index_of(callable) <= natives::last_conditional && !infix;
  bool fetched = true;
  // The list's buffer stays where it is while this pointer is held (the collector pins it).
  const cell* typesets = list_cells(list);
  for (; k < mandatory; ++k) {
    const uint32_t next = detail::evaluate_argument(source, index, infix);
    if (next == detail::no_argument) [[unlikely]]
      no_arg(name, callable, k);
    index = next;
    if (stack::pending.code) [[unlikely]] {
      fetched = false;
      break;
    }
    check_type(typesets[k], stack::top[-1], name, callable, k);
    if (k == 0 && conditional && detail::blocks_at_p(detail::view_of(source), index, mandatory - 1)) {
      const cell* blocks = detail::view_of(source).cells + index;
      index += mandatory - 1;
      natives::run_conditional(native::index_of(callable), blocks);
      fetched = false;
      break;
    }
  }
  if (fetched) [[likely]] {
    const uint32_t count = list.payload3 >> summary::count_shift;
    if (type == TYPE_FUNCTION || type == TYPE_ROUTINE) {
      if (list.payload3 & summary::refinements) push_refinements_off(list, mandatory);
      run_with_locals(callable, name, count);
    } else {
      int32_t parameters[parameter_limit];
      clear_parameters(parameters, count);
      call_native(callable, parameters);
    }
  }
  push ? stack::pop_frame() : stack::pop_frame_last();
  if (slot) {
    stack::top = slot + 1;
    *slot = slot[1];
  }
  return index;
}

uint32_t detail::operate(const cell& callable, const code& source, uint32_t index, const cell& name, cell* start,
                         bool push, uint32_t kind, int32_t code) {
  const cell list = detail::more_cell(callable, 1);
  if (list.type() != TYPE_BLOCK || !(list.payload3 & summary::plain) || (list.payload3 & summary::mandatory_mask) != 2)
      [[unlikely]] {
    stack::top = start;
    return call_from_code(callable, source, index, push, name, true);
  }
  check_type(list_cells(list)[0], *start, name, callable, 0);
  stack::top = start + 1;
  {
    // A missing right operand is reported while the operator still names the failing call.
    const stack::folded_operator_guard open(name);
    index = detail::evaluate_argument(source, index, true);
    if (index == detail::no_argument) [[unlikely]]
      no_arg(name, callable, 1);
  }
  if (stack::pending.code) [[unlikely]] return index;
  if (detail::apply_fast(kind, code, *start, start[1])) {
    stack::top = start + 1;
    return index;
  }
  // The full call, its two operands in place as its arguments.
  stack::top = start;
  stack::push_frame(name, (stack::kind::native << stack::frame_flag::kind_shift) |
                              (source.system ? 0 : stack::frame_flag::interpreted));
  stack::top = start + 2;
  check_type(list_cells(list)[1], start[1], name, callable, 1);
  int32_t parameters[parameter_limit];
  clear_parameters(parameters, list.payload3 >> summary::count_shift);
  call_native(callable, parameters);
  push ? stack::pop_frame() : stack::pop_frame_last();
  return index;
}

void call_function(const cell& function_value, node_id object_context, const cell& name, uint32_t callback_kind) {
  const cell function = function_value;
  const bool saved_tracing = tracing;
  bool callback_traced = false;
  if (tracing && callback_kind) {
    if (bits_of_callbacks() & callback_kind)
      callback_traced = true;
    else
      tracing = false;
  }
  const cell code_cell = detail::more_cell(function, function::more_code);
  if (code_cell.type() == TYPE_INTEGER && integer::get(code_cell) != 0) [[unlikely]] {
    if (!object_context || object_context == context::global) {
      const cell extra = *function::more_cell(function, function::more_extra);
      if (extra.type() == TYPE_INTEGER)
        object_context = static_cast<node_id>(extra.payload2);
      else if (any_word_p(name.type()) && name.payload1)
        object_context = name.payload1;
    }
    run_compiled(function, object_context, integer::get(code_cell));
  } else {
    const cell body = function::running_body(function);
    // A call of system code is seen from outside only, as a call of compiled code would be.
    if (callback_traced && body.type() == TYPE_BLOCK && system_code_p(body)) callback_traced = false;
    if (callback_traced) detail::trace(event::call, nullptr, 0, &function, &name);
    do_body(function, body, name);
    if (callback_traced) detail::trace(event::return_, nullptr, 0, stack::arguments, &name);
  }
  if (callback_kind) tracing = saved_tracing;
}

void do_body(const cell& function_value, const cell& body_value, const cell& name) {
  const cell function = function_value, body = body_value;
  values_guard values(function::context_of(function));
  const uint32_t frame = stack::frame_count() - 1;
  stack::call_bottom[frame].header |= stack::frame_flag::body;
  const bool system = body.type() == TYPE_BLOCK && system_code_p(body);
  const bool flagged = (function.header & (function::flag_trace | function::flag_no_trace)) != 0;
  // System code runs as compiled code does, which leaves the tracing state as its body set it
  // (`trace false` inside traced code turns the events off past its own return).
  tracing_guard trace_state(flagged || !system);
  if (flagged) [[unlikely]]
    tracing = (function.header & function::flag_no_trace) ? false : trace_installed;
  if (tracing && !system) [[unlikely]]
    detail::trace(event::prolog, nullptr, 0, &function, &name);
  if (body.type() == TYPE_BLOCK) [[likely]] {
    detail::catch_exits([&] { do_block(body, true); });
  } else {
    detail::set_result(none_cell);
  }
  if (tracing && !system) [[unlikely]]
    detail::trace(event::epilog, nullptr, 0, stack::arguments, &name);
  stack::call_bottom[frame].header &= ~stack::frame_flag::body;
  if (stack::pending.code && stack::take_exit(frame)) stack::set_last_keep(stack::pending.value);
}

void call_routine(const cell& routine, const cell& name) { routine::call(routine, name); }

uint32_t register_compiled(compiled_body body) {
  if (compiled_count == compiled_capacity) not_done();
  compiled_bodies[++compiled_count] = body;
  return compiled_count;
}

// The URL actions learn a URL's parts from the library's parser, called as a compiled call.
static cell* parse_url(const cell& url) {
  library::call(library::entry::parse_url, &url, 1);
  return stack::top - 1;
}

namespace detail {
void install_call_hooks() {
  url::parse_url = parse_url;
  object::evaluate_spec_hook = evaluate_object_spec;
  object::call_function_hook = call_handler;
  port::call_actor_hook = call_actor;
  string::set_comparator_call(call_comparator);
  block::set_comparator_call(call_comparator);
  lexer::set_callback_caller(call_lexer_callback);
}
}  // namespace detail

}  // namespace tav::interpreter
