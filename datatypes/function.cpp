// function! and routine!: building functions from a spec and a body, spec validation, the
// locals collection of `function`, the routine table, and the actions of both types.
#include "datatypes/function.hpp"

#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"

namespace tav {

namespace {

constexpr cell unset_cell{unset_header, 0, 0, 0};

// ---- Blocks through the raw series API ------------------------------------------------------

cell new_block(uint32_t capacity) { return cell{TYPE_BLOCK, 0, alloc_cells(capacity ? capacity : 1), 0}; }

uint32_t tail_of(const cell& block) { return buffer_of(block.payload2)->count(); }

cell* cells_of(const cell& block) { return buffer_of(block.payload2)->cells(); }

void append(const cell& block, const cell& value) {
  const cell copy = value;  // the value may live in the buffer that grows
  *alloc_block_tail(block) = copy;
}

void clip_head(cell& block) {
  uint32_t tail = tail_of(block);
  if (block.payload1 > tail) block.payload1 = tail;
}


// A new block (index 0, the source's type) holding the cells from the head to the tail; with
// `deep` nested blocks, parens and paths are copied too.
cell copy_block(const cell& source, bool deep) {
  cell copy = *block::clone(source, deep, true);
  stack::pop_cells(1);
  return copy;
}

bool same_symbol_p(uint32_t a, uint32_t b) { return a == b || symbol::resolve(a) == symbol::resolve(b); }

bool word_named_p(const cell& value, uint8_t type, uint32_t symbol) {
  return value.type() == type && same_symbol_p(word::symbol_of(value), symbol);
}

uint32_t local_symbol() { return word::symbol_of(words::local); }

bool local_refinement_p(const cell& value) { return word_named_p(value, TYPE_REFINEMENT, local_symbol()); }

[[gnu::cold, noreturn]] void bad_func_def(const cell& value) { fire(error_id::script_bad_func_def, value); }

// ---- Spec validation ------------------------------------------------------------------------

bool argument_word_p(uint8_t type) { return type == TYPE_WORD || type == TYPE_LIT_WORD || type == TYPE_GET_WORD; }

void check_type_block(const cell& types) {
  for (uint32_t i = types.payload1; i < tail_of(types); ++i) {
    const cell element = cells_of(types)[i];
    if (element.type() == TYPE_DATATYPE || element.type() == TYPE_TYPESET) continue;
    if (element.type() != TYPE_WORD) fire(error_id::script_invalid_type_spec, element);
    const cell value = *context::get(element);
    if (value.type() == TYPE_UNSET) fire(error_id::script_no_value, element);
    if (!function::type_spec_value_p(value)) fire(error_id::script_invalid_type_spec, element);
  }
}

bool after_refinement_ok_p(uint8_t type) {
  return argument_word_p(type) || type == TYPE_REFINEMENT || type == TYPE_SET_WORD || type == TYPE_STRING;
}

void check_duplicates(const cell& spec, uint32_t first) {
  for (uint32_t i = first; i < tail_of(spec); ++i) {
    const cell later = cells_of(spec)[i];
    if (!argument_word_p(later.type()) && later.type() != TYPE_REFINEMENT) continue;
    uint32_t name = symbol::resolve(word::symbol_of(later));
    for (uint32_t j = first; j < i; ++j) {
      const cell& earlier = cells_of(spec)[j];
      if (!argument_word_p(earlier.type()) && earlier.type() != TYPE_REFINEMENT) continue;
      if (symbol::resolve(word::symbol_of(earlier)) == name) fire(error_id::script_dup_vars, later);
    }
  }
}

// ---- Locals collection ------------------------------------------------------------------------

struct collection {
  cell result;
  cell ignore;
};

bool ignored_p(const collection& into, uint32_t symbol) {
  for (uint32_t i = 0; i < tail_of(into.ignore); ++i) {
    const cell& name = cells_of(into.ignore)[i];
    if (name.type() == TYPE_WORD && same_symbol_p(word::symbol_of(name), symbol)) return true;
  }
  return false;
}

void collect(collection& into, const cell& found) {
  if (ignored_p(into, word::symbol_of(found))) return;
  cell name = found;
  name.header = TYPE_WORD;
  append(into.result, name);
  append(into.ignore, name);
}

bool loop_word_p(const cell& value, bool with_repeat) {
  if (value.type() != TYPE_WORD) return false;
  uint32_t name = word::symbol_of(value);
  return same_symbol_p(name, symbols::foreach) || same_symbol_p(name, symbols::remove_each) ||
         (with_repeat && same_symbol_p(name, symbols::repeat));
}

void collect_body(collection& into, const cell& block) {
  node_id node = block.payload2;
  if (cycles::find(node)) return;
  cycles::guard walking(node);
  for (uint32_t i = block.payload1; i < buffer_of(node)->count(); ++i) {
    const cell value = buffer_of(node)->cells()[i];
    if (value.type() == TYPE_SET_WORD) collect(into, value);
    if (loop_word_p(value, true) && i + 1 < buffer_of(node)->count()) {
      const cell next = buffer_of(node)->cells()[i + 1];
      if (next.type() == TYPE_BLOCK && loop_word_p(value, false)) {
        for (uint32_t j = next.payload1; j < tail_of(next); ++j) {
          const cell element = cells_of(next)[j];
          if (argument_word_p(element.type())) collect(into, element);
        }
      }
      if (next.type() == TYPE_WORD || next.type() == TYPE_SET_WORD) collect(into, next);
    }
    if (value.type() == TYPE_BLOCK || value.type() == TYPE_PAREN) collect_body(into, value);
  }
}

// The /extern refinement as `find` would meet it first among the words of its spec, or -1.
int32_t extern_position(const cell& spec) {
  for (uint32_t i = spec.payload1; i < tail_of(spec); ++i) {
    const cell& value = cells_of(spec)[i];
    if (!any_word_p(value.type()) || !same_symbol_p(word::symbol_of(value), word::symbol_of(refinements::extern_))) continue;
    return value.type() == TYPE_REFINEMENT ? static_cast<int32_t>(i) : -1;
  }
  return -1;
}

void normalise_ignore_list(const cell& ignore, bool with_extern) {
  for (uint32_t i = 0; i < tail_of(ignore); ++i) {
    cell& value = cells_of(ignore)[i];
    switch (value.type()) {
      case TYPE_SET_WORD:
      case TYPE_LIT_WORD:
      case TYPE_GET_WORD:
      case TYPE_REFINEMENT: set_type(value, TYPE_WORD); break;
      case TYPE_WORD:
      case TYPE_BLOCK:
      case TYPE_STRING: break;
      default:
        if (with_extern) fire(error_id::script_bad_func_extern, value);
    }
  }
}

// ---- Text forms -----------------------------------------------------------------------------

int32_t append_fixed(cell& buffer, const char* text, int32_t limit) {
  text::append_c_string(buffer, text);
  return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t mold_block(node_id node, cell* buffer, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  cell block{TYPE_BLOCK, 0, node, 0};
  return actions::mold(&block, buffer, false, all, flat, part, limit, indent);
}

// Equality codes order two callables by their record; no other ordering exists.
int32_t order_by(uint32_t a, uint32_t b, int32_t op) {
  switch (op) {
    case actions::op::equal:
    case actions::op::not_equal:
    case actions::op::strict_equal:
    case actions::op::sort:
    case actions::op::case_sort:
    case actions::op::same:
    case actions::op::find: return a < b ? -1 : (a > b ? 1 : 0);
    default: return actions::not_comparable;
  }
}

}  // namespace

namespace function {

cell* more_cell(const cell& function, uint32_t index) { return buffer_of(more_of(function))->cells() + index; }

const cell& running_body(const cell& function) {
  const cell* more = buffer_of(more_of(function))->cells();
  return more[more_code].type() == TYPE_BLOCK ? more[more_code] : more[more_body];
}

node_id push(const cell& spec_value, const cell& body_value, node_id context, int32_t code, int32_t extra,
             uint32_t flags) {
  cell spec = spec_value, body = body_value;
  clip_head(spec);
  clip_head(body);
  if (spec.payload1 > 0) spec = copy_block(spec, false);
  node_id more = alloc_unset_cells(more_cells);
  buffer_of(more)->tail = buffer_of(more)->offset + more_cells * static_cast<uint32_t>(sizeof(cell));
  bool made_here = context == 0;
  if (made_here) context = context::make(spec, true, false, context::kind_function);
  cell* function = stack::push_cell();
  *function = cell{TYPE_FUNCTION | flags, context, spec.payload2, more};
  *context::self_of(context) = *function;
  cell copy = copy_block(body, true);
  buffer_of(more)->cells()[more_body] = copy;
  if (code) buffer_of(more)->cells()[more_code] = scalar::integer(code);
  if (extra) buffer_of(more)->cells()[more_extra] = scalar::integer(extra);
  if (made_here) context::bind(copy, context, false);
  return context;
}

node_id push_system(const cell& spec_value, const cell& body_value, uint32_t flags) {
  cell spec = spec_value, body = body_value;
  clip_head(spec);
  if (spec.payload1 > 0) spec = copy_block(spec, false);
  node_id more = alloc_unset_cells(more_cells);
  buffer_of(more)->tail = buffer_of(more)->offset + more_cells * static_cast<uint32_t>(sizeof(cell));
  node_id context = context::make(spec, true, false, context::kind_function);
  cell* function = stack::push_cell();
  *function = cell{TYPE_FUNCTION | flags, context, spec.payload2, more};
  *context::self_of(context) = *function;
  buffer_of(more)->cells()[more_code] = body;
  context::bind(body, context, false);
  const cell shown = copy_block(body, true);
  buffer_of(more)->cells()[more_body] = shown;
  return context;
}

uint32_t validate(const cell& spec_value) {
  cell spec = spec_value;
  clip_head(spec);
  uint32_t i = spec.payload1, tail = tail_of(spec);
  uint32_t flags = 0;
  if (i < tail && cells_of(spec)[i].type() == TYPE_BLOCK) {
    const cell attributes = cells_of(spec)[i];
    for (uint32_t k = attributes.payload1; k < tail_of(attributes); ++k) {
      const cell& attribute = cells_of(attributes)[k];
      if (attribute.type() != TYPE_WORD) bad_func_def(spec_value);
      if (same_symbol_p(word::symbol_of(attribute), symbols::trace)) flags |= flag_trace;
      if (same_symbol_p(word::symbol_of(attribute), symbols::no_trace)) flags |= flag_no_trace;
    }
    ++i;
  }
  uint32_t first = i;
  bool return_seen = false, local_seen = false;
  auto type_at = [&](uint32_t k) -> uint8_t { return k < tail ? cells_of(spec)[k].type() : 0; };
  for (; i < tail; ++i) {
    const cell value = cells_of(spec)[i];
    switch (value.type()) {
      case TYPE_WORD:
      case TYPE_LIT_WORD:
      case TYPE_GET_WORD:
        if (local_seen && value.type() != TYPE_WORD) bad_func_def(spec_value);
        if (type_at(i + 1) == TYPE_STRING && type_at(i + 2) == TYPE_BLOCK) bad_func_def(spec_value);
        if (return_seen && !local_seen) bad_func_def(spec_value);
        if (type_at(i + 1) == TYPE_BLOCK) check_type_block(cells_of(spec)[++i]);
        break;
      case TYPE_STRING: break;
      case TYPE_SET_WORD:
        if (!same_symbol_p(word::symbol_of(value), symbols::return_) || return_seen || local_seen)
          bad_func_def(spec_value);
        if (type_at(i + 1) != TYPE_BLOCK) bad_func_def(spec_value);
        if (i + 2 < tail && type_at(i + 2) != TYPE_REFINEMENT && type_at(i + 2) != TYPE_STRING)
          bad_func_def(spec_value);
        return_seen = true;
        ++i;
        break;
      case TYPE_REFINEMENT:
        if (local_refinement_p(value)) {
          local_seen = true;
        } else if (return_seen || local_seen) {
          bad_func_def(spec_value);
        }
        if (i + 1 < tail && !after_refinement_ok_p(type_at(i + 1))) bad_func_def(spec_value);
        break;
      default: bad_func_def(spec_value);
    }
  }
  check_duplicates(spec, first);
  return flags;
}

cell collect_words(cell& spec, const cell& body) {
  collection into{new_block(8), copy_block(spec, false)};
  int32_t at = extern_position(spec);
  if (at >= 0) {
    uint32_t i = static_cast<uint32_t>(at) + 1;
    while (i < tail_of(spec) && cells_of(spec)[i].type() == TYPE_WORD) ++i;
    if (i < tail_of(spec) && local_refinement_p(cells_of(spec)[i])) {
      for (; i < tail_of(spec); ++i)
        if (cells_of(spec)[i].type() == TYPE_WORD) append(into.result, cells_of(spec)[i]);
    }
    series_buffer* buffer = buffer_of(spec.payload2);
    buffer->tail = buffer->offset + static_cast<uint32_t>(at) * static_cast<uint32_t>(sizeof(cell));
  }
  normalise_ignore_list(into.ignore, at >= 0);
  collect_body(into, body);
  if (tail_of(into.result) == 0) return into.result;
  if (count_locals(spec.payload2, spec.payload1, true) == -1) append(spec, refinements::local);
  series_buffer* result = buffer_of(into.result.payload2);
  for (uint32_t i = 0; i < result->count(); ++i) {
    if (!same_symbol_p(word::symbol_of(result->cells()[i]), local_symbol())) continue;
    std::memmove(result->cells() + i, result->cells() + i + 1, (result->count() - i - 1) * sizeof(cell));
    result->tail -= sizeof(cell);
    break;
  }
  for (uint32_t i = 0; i < tail_of(into.result); ++i) append(spec, cells_of(into.result)[i]);
  return into.result;
}

int32_t count_locals(node_id spec, uint32_t start, bool ask) {
  series_buffer* buffer = buffer_of(spec);
  for (uint32_t i = start; i < buffer->count(); ++i) {
    if (!local_refinement_p(buffer->cells()[i])) continue;
    int32_t count = 1;
    for (uint32_t k = i + 1; k < buffer->count(); ++k)
      if (buffer->cells()[k].type() == TYPE_WORD) ++count;
    return count;
  }
  return ask ? -1 : 0;
}

cell copy_deep(const cell& block) { return copy_block(block, true); }

void init_locals(int32_t n) {
  logic::push(false);
  for (int32_t i = 1; i < n; ++i) none::push();
}

bool type_spec_value_p(const cell& value) {
  return value.type() == TYPE_DATATYPE || value.type() == TYPE_TYPESET || value.type() == TYPE_WORD;
}


cell* make(cell*, cell* spec, int32_t) {
  cell value = *spec;
  if (value.type() != TYPE_BLOCK) bad_func_def(value);
  clip_head(value);
  if (tail_of(value) - value.payload1 < 2) bad_func_def(value);
  const cell function_spec = cells_of(value)[value.payload1];
  const cell body = cells_of(value)[value.payload1 + 1];
  if (function_spec.type() != TYPE_BLOCK || body.type() != TYPE_BLOCK) bad_func_def(value);
  uint32_t flags = validate(function_spec);
  push(function_spec, body, 0, 0, 0, flags);
  return stack::top - 1;
}

cell* reflect(cell* value, int32_t field) {
  auto name = static_cast<uint32_t>(field);
  cell answer;
  if (same_symbol_p(name, symbols::spec)) {
    answer = cell{TYPE_BLOCK, 0, spec_of(*value), 0};
  } else if (same_symbol_p(name, symbols::body)) {
    answer = *more_cell(*value, more_body);
  } else if (same_symbol_p(name, symbols::words)) {
    node_id context = context_of(*value);
    answer = new_block(context::word_count(context));
    for (uint32_t i = 0; i < context::word_count(context); ++i) {
      cell word = *context::word_at(context, i);
      word.header = TYPE_WORD;
      word.payload1 = context;
      append(answer, word);
    }
  } else {
    fire(error_id::internal_not_done);
  }
  return stack::set_last(answer);
}

int32_t form(cell*, cell* buffer, cell*, int32_t limit) { return append_fixed(*buffer, "?function?", limit); }

int32_t mold(cell* value, cell* buffer, bool, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  const cell function = *value;
  limit = append_fixed(*buffer, "func ", limit);
  limit = mold_block(spec_of(function), buffer, all, flat, part, limit, indent);
  cell body = *more_cell(function, more_body);
  if (body.type() != TYPE_BLOCK) return append_fixed(*buffer, " none", limit);
  return actions::mold(&body, buffer, false, all, flat, part, limit, indent);
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != value1->type()) return actions::not_comparable;
  return order_by(more_of(*value1), more_of(*value2), op);
}

void init() {
  datatype::register_type(TYPE_FUNCTION, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, &reflect, unsupported, &form, &mold, unsupported, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace function

namespace routine {

namespace {

code codes[code_capacity + 1] = {};
uint32_t code_count = 0;
cell running_routine{TYPE_NONE, 0, 0, 0};

[[gnu::cold, noreturn]] void expect_arg(const cell& name, uint8_t type, const cell& argument) {
  cell datatype;
  datatype::make_at(datatype, type);
  fire(error_id::script_expect_arg, name, datatype, argument);
}

// The check of one argument against the first word of its type block.
void check_argument(const cell& name, const cell& argument_word, const cell& types, const cell& value) {
  if (tail_of(types) <= types.payload1) return;
  const cell first = cells_of(types)[types.payload1];
  if (first.type() != TYPE_WORD) fire(error_id::script_invalid_type_spec, first);
  if (same_symbol_p(word::symbol_of(first), symbols::any_type_type)) return;
  const cell kind = *context::get(first);
  bool admitted = kind.type() == TYPE_TYPESET ? typeset::has_type(kind, value.type())
                                             : kind.type() == TYPE_DATATYPE && kind.payload1 == value.type();
  if (!admitted) expect_arg(name, value.type(), argument_word);
}

}  // namespace

uint32_t register_code(code entry) {
  if (code_count == code_capacity) fire(error_id::internal_not_done);
  codes[++code_count] = entry;
  return code_count;
}

code code_at(uint32_t index) { return index >= 1 && index <= code_count ? codes[index] : nullptr; }

const cell& running() { return running_routine; }

cell* push(const cell& spec_value, const cell* body, uint32_t code_index, int32_t return_type, bool cell_addresses) {
  cell spec = spec_value;
  node_id more = alloc_unset_cells(function::more_cells);
  buffer_of(more)->tail = buffer_of(more)->offset + function::more_cells * static_cast<uint32_t>(sizeof(cell));
  node_id context = context::make(spec, true, false, context::kind_function);
  series_buffer* cells = buffer_of(more);
  cells->cells()[function::more_body] = body ? *body : none::value;
  cells->cells()[function::more_code] = scalar::integer(static_cast<int32_t>(code_index));
  cells->cells()[function::more_extra] = scalar::integer(return_type);
  uint32_t header = TYPE_ROUTINE | (cell_addresses ? cell_flag::routine : 0);
  cell* routine = stack::push_cell();
  *routine = cell{header, context, spec.payload2, more};
  set_arity(*routine);
  return routine;
}

uint32_t get_header_field(const cell& routine) { return (routine.header & arity_mask) >> arity_shift; }

void set_arity(cell& routine) {
  series_buffer* spec = buffer_of(function::spec_of(routine));
  uint32_t count = 0;
  for (uint32_t i = 0; i < spec->count(); ++i)
    if (spec->cells()[i].type() == TYPE_WORD) ++count;
  if (count > 31) count = 31;
  routine.header = (routine.header & ~arity_mask) | (count << arity_shift);
}

void call(const cell& routine_value, const cell& name_value) {
  const cell routine = routine_value, name = name_value;
  cell* arguments = stack::arguments;
  const cell code_cell = *function::more_cell(routine, function::more_code);
  code entry = code_at(static_cast<uint32_t>(scalar::integer_value(code_cell)));
  if (!entry) fire(error_id::internal_not_done);
  // Shared routine code reads this before it calls anything that could run another routine.
  running_routine = routine;
  if (routine.header & cell_flag::routine) {
    entry(arguments);
    return;
  }
  // The arguments and their type blocks, up to the first refinement or set-word.
  series_buffer* spec = buffer_of(function::spec_of(routine));
  int32_t positions[32];
  uint32_t count = 0;
  for (uint32_t i = 0; i < spec->count() && count < 32; ++i) {
    uint8_t type = spec->cells()[i].type();
    if (type == TYPE_REFINEMENT || type == TYPE_SET_WORD) break;
    if (argument_word_p(type)) positions[count++] = static_cast<int32_t>(i);
  }
  for (uint32_t k = count; k-- > 0;) {
    auto at = static_cast<uint32_t>(positions[k]);
    if (at + 1 >= spec->count() || spec->cells()[at + 1].type() != TYPE_BLOCK) continue;
    const cell argument_word = spec->cells()[at], types = spec->cells()[at + 1];
    check_argument(name, argument_word, types, arguments[k]);
  }
  answer result = entry(arguments);
  int32_t return_type = scalar::integer_value(*function::more_cell(routine, function::more_extra));
  switch (return_type) {
    case TYPE_LOGIC: *arguments = logic::value_of(result.word != 0); break;
    case TYPE_INTEGER: *arguments = scalar::integer(result.word); break;
    case TYPE_FLOAT: *arguments = scalar::float_cell(result.real); break;
    default: break;
  }
}

int32_t form(cell*, cell* buffer, cell*, int32_t limit) { return append_fixed(*buffer, "?routine?", limit); }

int32_t mold(cell* value, cell* buffer, bool, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  const cell routine = *value;
  limit = append_fixed(*buffer, "routine ", limit);
  limit = mold_block(function::spec_of(routine), buffer, all, flat, part, limit, indent);
  cell body = *function::more_cell(routine, function::more_body);
  if (body.type() != TYPE_BLOCK) limit = append_fixed(*buffer, " ", limit);
  return actions::mold(&body, buffer, false, all, flat, part, limit, indent);
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != value1->type()) return actions::not_comparable;
  return order_by(function::more_of(*value1), function::more_of(*value2), op);
}

void init() {
  datatype::register_type(TYPE_ROUTINE, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      unsupported, unsupported, inherit, unsupported, &form, &mold, unsupported, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace routine

}  // namespace tav
