// object!: class ids, the on-change info and its handlers, making, construct, copying with
// rebinding, set on many fields, path access, the text forms, comparison and reflection.
#include "datatypes/object.hpp"

#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"

namespace tav::object {

uint32_t class_counter = class_counter_start;
spec_evaluator evaluate_spec_hook = nullptr;
function_caller call_function_hook = nullptr;

namespace {

constexpr uint32_t empty_slots = 4;
constexpr uint32_t info_cells = 2;
constexpr uint32_t position_shift = 16;
constexpr uint32_t locals_mask = 0xFFFF;

// ---- Fields ---------------------------------------------------------------------------------

uint32_t field_count(node_id context) { return context::word_count(context); }

cell* field_at(node_id context, uint32_t index) { return context::value_at(context, index); }

bool same_symbol_p(uint32_t a, uint32_t b) { return a == b || symbol::resolve(a) == symbol::resolve(b); }

// The slot of the field named by the symbol (case variants match), or -1.
int32_t find_field(node_id context, uint32_t symbol) {
  int32_t position = context::find_word(context, symbol, true);
  return position < 0 ? -1 : word::index_of(*context::word_at(context, static_cast<uint32_t>(position)));
}

uint32_t on_change_symbol() { return word::symbol_of(words::on_change); }
uint32_t on_deep_change_symbol() { return word::symbol_of(words::on_deep_change); }

bool handler_word_p(const cell& word) {
  uint32_t name = word::symbol_of(word);
  return same_symbol_p(name, on_change_symbol()) || same_symbol_p(name, on_deep_change_symbol());
}

bool callable_p(uint8_t type) { return type == TYPE_FUNCTION || type == TYPE_ROUTINE; }

// Sets a field by slot, marking its word as set.
void store_field(node_id context, uint32_t slot, const cell& value) {
  const cell copy = value;
  *field_at(context, slot) = copy;
  context::word_at(context, slot)->header |= cell_flag::field_set;
}

cell datatype_of(const cell& value) {
  cell type;
  datatype::make_at(type, value.type());
  return type;
}

// The word `part`, as copy/part's refusal names it.
cell part_word() {
  cell word = refinements::part;
  set_type(word, TYPE_WORD);
  return word;
}

// ---- The on-change info ---------------------------------------------------------------------

cell info_entry(node_id context, int32_t slot) {
  if (slot < 0) return cell{TYPE_PAIR, 0, no_handler << position_shift, 0};
  const cell handler = *field_at(context, static_cast<uint32_t>(slot));
  node_id spec = function::spec_of(handler);
  auto locals = static_cast<uint32_t>(function::count_locals(spec, 0, false));
  return cell{TYPE_PAIR, 0, (static_cast<uint32_t>(slot) << position_shift) | (locals & locals_mask), spec};
}

node_id new_info(const cell& on_change, const cell& on_deep_change) {
  node_id info = alloc_unset_cells(info_cells);
  series_buffer* buffer = buffer_of(info);
  buffer->tail = buffer->offset + info_cells * static_cast<uint32_t>(sizeof(cell));
  buffer->cells()[on_change_info] = on_change;
  buffer->cells()[on_deep_change_info] = on_deep_change;
  return info;
}

// The handler's local slots; a handler with another spec than the one counted before is
// counted again and the info rewritten.
int32_t handler_locals(node_id info, uint32_t which, const cell& handler) {
  cell& entry = buffer_of(info)->cells()[which];
  node_id spec = function::spec_of(handler);
  if (entry.payload3 != spec) {
    auto locals = static_cast<uint32_t>(function::count_locals(spec, 0, false));
    entry.payload2 = (entry.payload2 & ~locals_mask) | (locals & locals_mask);
    entry.payload3 = spec;
  }
  return static_cast<int32_t>(entry.payload2 & locals_mask);
}

void call_handler(const cell& handler, const cell& name, const cell* arguments, uint32_t count, int32_t locals) {
  if (!call_function_hook) fire(error_id::internal_not_done);
  call_function_hook(handler, name, arguments, count, locals);
}

// ---- Copying --------------------------------------------------------------------------------

bool copied_series_p(uint8_t type) {
  switch (type) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH:
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF: return true;
    default: return false;
  }
}

bool copyable_p(uint8_t type) {
  return copied_series_p(type) || type == TYPE_HASH || type == TYPE_BINARY || type == TYPE_VECTOR ||
         type == TYPE_IMAGE || type == TYPE_BITSET || type == TYPE_OBJECT || type == TYPE_ERROR || type == TYPE_MAP;
}

bool in_types_p(const cell& types, uint8_t type) {
  if (types.type() == TYPE_DATATYPE) return types.payload1 == type;
  return typeset::has_type(types, type);
}

// The copy action's answer for the value, made on the stack and left in `value`.
void copy_value(cell& value, bool deep, cell* types) {
  cell* result = stack::push_cell();
  *result = unset::value;
  cell* answer = actions::copy(&value, result, nullptr, deep, types);
  value = *answer;
  stack::pop_cells(1);
}

// The target gets a copy of the object with a new context holding the same values.
void copy_fields(const cell& source, cell& target) {
  target = source;
  target.payload3 = 0;
  node_id from = source.payload1;
  node_id to = context::clone(target, context::kind_object);
  for (uint32_t i = 0; i < field_count(from); ++i) {
    const cell* value = field_at(from, i);
    *field_at(to, i) = value ? *value : unset::value;
  }
  *context::self_of(to) = target;
}

void rebind_functions(node_id context) {
  for (uint32_t i = 0; i < field_count(context); ++i) {
    cell value = *field_at(context, i);
    if (value.type() != TYPE_FUNCTION) continue;
    rebind_function(value, context);
    *field_at(context, i) = value;
  }
}

void copy_series_fields(node_id context, bool deep, cell* types) {
  for (uint32_t i = 0; i < field_count(context); ++i) {
    cell value = *field_at(context, i);
    bool copied = types ? in_types_p(*types, value.type()) && copyable_p(value.type()) : copied_series_p(value.type());
    if (!copied) continue;
    copy_value(value, deep, types);
    *field_at(context, i) = value;
  }
}

void copy_into(const cell& object, cell& target, bool deep, cell* types) {
  const cell source = object;
  copy_fields(source, target);
  node_id context = target.payload1;
  rebind_functions(context);
  if (types) {
    if (cycles::find(source.payload1)) fire(error_id::internal_no_cycle);
    cycles::guard walking(source.payload1);
    copy_series_fields(context, deep, types);
  } else if (deep) {
    copy_series_fields(context, true, nullptr);
  }
}

// Adds the fields of `source` to the object by name with its values, series copied; answers
// whether fields were added. Functions are rebound by the caller once every field is there.
bool extend_from(const cell& object, const cell& source_value) {
  const cell source = source_value;
  node_id context = context_of(object), from = context_of(source);
  uint32_t before = field_count(context);
  for (uint32_t i = 0; i < field_count(from); ++i) {
    const cell word = *context::word_at(from, i);
    cell value = *field_at(from, i);
    if (copied_series_p(value.type())) copy_value(value, false, nullptr);
    context::put(context, word, value);
  }
  return field_count(context) > before;
}

// ---- construct --------------------------------------------------------------------------------

cell constructed_value(const cell& value, bool only) {
  if (only || value.type() != TYPE_WORD) return value;
  uint32_t name = word::symbol_of(value);
  if (same_symbol_p(name, symbols::true_) || same_symbol_p(name, symbols::yes) || same_symbol_p(name, symbols::on))
    return logic::value_of(true);
  if (same_symbol_p(name, symbols::false_) || same_symbol_p(name, symbols::no) || same_symbol_p(name, symbols::off))
    return logic::value_of(false);
  if (same_symbol_p(name, symbols::none)) return none::value;
  return value;
}

// ---- Text forms -------------------------------------------------------------------------------

int32_t append_text(cell& output, const char* text, int32_t limit) {
  text::append_c_string(output, text);
  return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t new_line(cell& output, int32_t indent, int32_t limit) {
  limit = append_text(output, "\n", limit);
  for (int32_t i = 0; i < indent; ++i) limit = append_text(output, "    ", limit);
  return limit;
}

int32_t write_value(const cell& field_value, cell& output, bool all, bool flat, cell* part, int32_t limit,
                    int32_t indent, bool mold) {
  cell value = field_value;
  if (value.header == 0) return append_text(output, "unset", limit);
  if (cycles::detect(value, output.payload2, limit, mold)) return limit;
  if (!mold) return actions::form(&value, &output, part, limit);
  if (value.type() == TYPE_WORD) limit = append_text(output, "'", limit);
  return actions::mold(&value, &output, false, all, flat, part, limit, indent);
}

// ---- Comparison -------------------------------------------------------------------------------

bool number_p(uint8_t type) { return type == TYPE_INTEGER || type == TYPE_FLOAT || type == TYPE_PERCENT; }

int32_t sign(int64_t difference) { return difference < 0 ? -1 : (difference > 0 ? 1 : 0); }

int32_t compare_fields(node_id context1, node_id context2, int32_t op) {
  for (uint32_t i = 0; i < field_count(context1); ++i) {
    uint32_t name1 = symbol::resolve(word::symbol_of(*context::word_at(context1, i)));
    uint32_t name2 = symbol::resolve(word::symbol_of(*context::word_at(context2, i)));
    if (name1 != name2) return name1 < name2 ? -1 : 1;
    cell value1 = *field_at(context1, i), value2 = *field_at(context2, i);
    uint8_t type1 = value1.type(), type2 = value2.type();
    bool alike = type1 == type2 || (any_word_p(type1) && any_word_p(type2)) || (number_p(type1) && number_p(type2));
    if (!alike) return type1 < type2 ? -1 : 1;
    int32_t order = actions::compare_value(&value1, &value2, op);
    if (order != 0) return order;
  }
  return 0;
}

// ---- Path access ------------------------------------------------------------------------------

[[gnu::cold, noreturn]] void path_error(error_id id, const cell* path, const cell& element) {
  fire(id, path ? *path : none::value, element);
}

// What a missing or unset field gives: unset for a get-path at its last element, an error
// otherwise.
cell* missing_field(const cell* path, const cell& element, bool get, bool last) {
  if (get && last) return &unset::value;
  path_error(last ? error_id::script_invalid_path : error_id::script_unset_path, path, element);
}

// The slot the element names in the context, binding the element to it; -1 when absent.
int32_t element_slot(cell& element, node_id context) {
  if (element.payload1 == context && word::index_of(element) >= 0 &&
      static_cast<uint32_t>(word::index_of(element)) < field_count(context) &&
      same_symbol_p(word::symbol_of(*context::word_at(context, static_cast<uint32_t>(word::index_of(element)))),
                    word::symbol_of(element)))
    return word::index_of(element);
  if (element.payload1 == context && word::index_of(element) == -1) return -1;  // self
  return context::bind_word(context, element);
}

// ---- Reflection -------------------------------------------------------------------------------

cell new_block(uint32_t capacity) { return cell{TYPE_BLOCK, 0, alloc_cells(capacity ? capacity : 1), 0}; }

void append(const cell& block, const cell& value) {
  const cell copy = value;
  *alloc_block_tail(block) = copy;
}

cell field_word(node_id context, uint32_t index, uint8_t type) {
  cell word = *context::word_at(context, index);
  word.header = type;
  word.payload1 = context;
  word.payload3 = index;
  return word;
}

}  // namespace

uint32_t next_class_id() { return ++class_counter; }

cell* push(node_id context, uint32_t class_id, node_id info) {
  cell* object = stack::push_cell();
  *object = make_cell(context, class_id, info);
  *context::self_of(context) = *object;
  return object;
}

cell* init_push(node_id context, uint32_t class_id) {
  cell* values = context::cell_of(context);
  if (values->payload2 && buffer_of(values->payload2)->count() == 0) {
    while (buffer_of(context::cell_of(context)->payload2)->count() < field_count(context))
      alloc_tail(buffer_of(context::cell_of(context)->payload2));
  }
  return push(context, class_id, 0);
}

void make_at(cell& target, uint32_t slots) {
  node_id context = context::create(slots, false, true, 0, context::kind_object);
  target = make_cell(context, next_class_id(), 0);
  *context::self_of(context) = target;
}

node_id init_events(node_id context, int32_t on_change, int32_t on_change_locals, int32_t on_deep_change,
                    int32_t on_deep_change_locals) {
  auto entry = [&](int32_t slot, int32_t locals) {
    if (slot < 0) return cell{TYPE_PAIR, 0, no_handler << position_shift, 0};
    const cell* handler = field_at(context, static_cast<uint32_t>(slot));
    node_id spec = handler && callable_p(handler->type()) ? function::spec_of(*handler) : 0;
    return cell{TYPE_PAIR, 0, (static_cast<uint32_t>(slot) << position_shift) | (static_cast<uint32_t>(locals) & locals_mask),
                spec};
  };
  node_id info = new_info(entry(on_change, on_change_locals), entry(on_deep_change, on_deep_change_locals));
  cell* owner = context::self_of(context);
  if (owner->type() == TYPE_OBJECT) {
    owner->payload3 = info;
    if (on_deep_change >= 0) ownership::own_fields(*owner);
  }
  return info;
}

cell* get_values(const cell& object) { return context::values(context_of(object)); }

cell* select_word(const cell& object, const cell& word) {
  int32_t slot = find_field(context_of(object), word::symbol_of(word));
  return slot < 0 ? &none::value : field_at(context_of(object), static_cast<uint32_t>(slot));
}

bool word_of_class_p(const cell& word, uint32_t class_id) {
  if (!word.payload1) return false;
  const cell* value = context::get(word);
  return value->type() == TYPE_OBJECT && class_of(*value) == class_id;
}

bool value_of_class_p(node_id context, uint32_t index, uint32_t class_id) {
  const cell* value = field_at(context, index);
  return value && value->type() == TYPE_OBJECT && class_of(*value) == class_id;
}

void fire_on_change(const cell& object_value, const cell& word_value, const cell& old_value, const cell& new_value) {
  const cell object = object_value;
  node_id info = info_of(object);
  if (!info) return;
  uint32_t position = buffer_of(info)->cells()[on_change_info].payload2 >> position_shift;
  if (position == no_handler) return;
  node_id context = context_of(object);
  const cell handler = *field_at(context, position);
  if (handler.type() != TYPE_FUNCTION) fire(error_id::script_invalid_obj_evt, handler);
  int32_t locals = handler_locals(info, on_change_info, handler);
  cell word = word_value;
  if (word.payload1 != context) context::bind_word(context, word);
  const cell arguments[3] = {word, old_value, new_value};
  call_handler(handler, words::on_change, arguments, 3, locals);
}

void fire_on_change_top(const cell& object, const cell& word) {
  const cell old_value = stack::top[-2], new_value = stack::top[-1];
  fire_on_change(object, word, old_value, new_value);
}

void fire_on_change_word(const cell& word) {
  if (!word.payload1) return;
  const cell owner = *context::self_of(word.payload1);
  if (owner.type() == TYPE_OBJECT) fire_on_change_top(owner, word);
}

void fire_on_deep_change(const cell& owner_value, const cell& word, const cell& target, const cell& action,
                         const cell& new_value, int32_t index, int32_t part) {
  const cell owner = owner_value;
  node_id info = info_of(owner);
  if (!info) fire(error_id::script_invalid_obj_evt, owner);
  uint32_t position = buffer_of(info)->cells()[on_deep_change_info].payload2 >> position_shift;
  if (position == no_handler) return;
  const cell handler = *field_at(context_of(owner), position);
  if (handler.type() != TYPE_FUNCTION) return;
  int32_t locals = handler_locals(info, on_deep_change_info, handler);
  const cell added = new_value.type() == TYPE_UNSET ? none::value : new_value;
  const cell arguments[7] = {owner, word, target, action, added, scalar::integer(index), scalar::integer(part)};
  call_handler(handler, words::on_deep_change, arguments, 7, locals);
}

void discover_handlers(cell& object) {
  node_id context = context_of(object);
  int32_t on_change = find_field(context, on_change_symbol());
  int32_t on_deep_change = find_field(context, on_deep_change_symbol());
  for (int32_t slot : {on_change, on_deep_change}) {
    if (slot < 0) continue;
    const cell handler = *field_at(context, static_cast<uint32_t>(slot));
    if (!callable_p(handler.type()))
      fire(error_id::script_bad_field_set, field_word(context, static_cast<uint32_t>(slot), TYPE_WORD),
           datatype_of(handler));
  }
  object.payload3 = 0;
  if (on_change >= 0 || on_deep_change >= 0)
    object.payload3 = new_info(info_entry(context, on_change), info_entry(context, on_deep_change));
  *context::self_of(context) = object;
  if (on_deep_change >= 0) ownership::own_fields(object);
}

int32_t serialize(const cell& object_value, cell& output, bool only, bool all, bool flat, cell* part, int32_t limit,
                  int32_t indent, bool mold) {
  const cell object = object_value;
  node_id context = context_of(object);
  cycles::guard walking(context);
  bool first = true;
  for (uint32_t i = 0; i < field_count(context) && limit > 0; ++i) {
    cell word = *context::word_at(context, i);
    if (!all && handler_word_p(word)) continue;
    if (flat) {
      if (!first) limit = append_text(output, " ", limit);
    } else if (!first || (mold && !only)) {
      limit = new_line(output, indent, limit);
    } else {
      for (int32_t k = 0; k < indent; ++k) limit = append_text(output, "    ", limit);
    }
    first = false;
    word.header = TYPE_WORD;
    limit = actions::form(&word, &output, part, limit);
    limit = append_text(output, ": ", limit);
    const cell* value = field_at(context, i);
    limit = write_value(value ? *value : unset::value, output, all, flat, part, limit, indent, mold);
  }
  return limit;
}

void set_many(const cell& object_value, const cell& value_given, bool any, bool only, bool some) {
  const cell object = object_value, source = value_given;
  node_id context = context_of(object);
  bool from_block = !only && source.type() == TYPE_BLOCK;
  bool from_object = !only && source.type() == TYPE_OBJECT;
  // The value for field i, or null when an object source lacks the field.
  auto value_for = [&](uint32_t i) -> const cell* {
    if (from_block) {
      uint32_t at = source.payload1 + i;
      return at < buffer_of(source.payload2)->count() ? buffer_of(source.payload2)->cells() + at : &none::value;
    }
    if (from_object) {
      int32_t slot = find_field(context_of(source), word::symbol_of(*context::word_at(context, i)));
      return slot < 0 ? nullptr : field_at(context_of(source), static_cast<uint32_t>(slot));
    }
    return &source;
  };
  if (!any && !only && !some) {
    for (uint32_t i = 0; i < field_count(context); ++i) {
      const cell* value = value_for(i);
      if (value && value->type() == TYPE_UNSET)
        fire(error_id::script_need_value, field_word(context, i, TYPE_WORD));
    }
  }
  bool notify = info_of(object) != 0;
  for (uint32_t i = 0; i < field_count(context); ++i) {
    const cell word = field_word(context, i, TYPE_WORD);
    if (notify && handler_word_p(word)) continue;
    const cell* found = value_for(i);
    if (!found || (some && found->type() == TYPE_NONE)) continue;
    const cell value = *found;
    if (!notify) {
      store_field(context, i, value);
      continue;
    }
    cell* old_value = stack::push_copy(*field_at(context, i));
    store_field(context, i, value);
    fire_on_change(object, word, *old_value, value);
    stack::pop_cells(1);
  }
}

cell* construct(const cell& spec_value, const cell* prototype, bool only) {
  const cell spec = spec_value;
  cell* result = stack::push_cell();
  *result = unset::value;
  if (prototype) {
    const cell source = *prototype;
    copy_fields(source, *result);
  } else {
    make_at(*result, empty_slots);
  }
  node_id context = context_of(*result);
  uint32_t before = field_count(context);
  uint32_t tail = buffer_of(spec.payload2)->count();
  for (uint32_t i = spec.payload1; i < tail; ++i) {
    const cell word = buffer_of(spec.payload2)->cells()[i];
    if (word.type() != TYPE_SET_WORD) continue;
    uint32_t next = i + 1;
    while (next < tail && buffer_of(spec.payload2)->cells()[next].type() == TYPE_SET_WORD) ++next;
    const cell value = next < tail ? constructed_value(buffer_of(spec.payload2)->cells()[next], only) : none::value;
    context::put(context, word, value);
  }
  if (prototype) {
    rebind_functions(context);
    if (field_count(context) > before) result->payload2 = next_class_id();
  }
  discover_handlers(*result);
  return result;
}

cell* copy_object(const cell& object, bool deep, const cell* types) {
  const cell source = object;
  cell filter = types ? *types : unset::value;
  cell* result = stack::push_cell();
  *result = unset::value;
  copy_into(source, *result, deep, types ? &filter : nullptr);
  discover_handlers(*result);
  return result;
}

void rebind_function(cell& function_value, node_id context) {
  const cell function = function_value;
  const cell body = *function::more_cell(function, function::more_body);
  if (body.type() != TYPE_BLOCK) fire(error_id::script_bad_func_def, function);
  cell copy = function::copy_deep(body);
  context::bind(copy, context, true);
  const cell spec{TYPE_BLOCK, 0, function::spec_of(function), 0};
  uint32_t flags = function.header & (function::flag_trace | function::flag_no_trace);
  function::push(spec, copy, 0, 0, 0, flags);
  function_value = *(stack::top - 1);
  stack::pop_cells(1);
}

// ---- Handlers -------------------------------------------------------------------------------

cell* make(cell* prototype, cell* spec_value, int32_t) {
  const cell spec = *spec_value;
  bool from_prototype = prototype->type() == TYPE_OBJECT;
  cell* result = stack::push_cell();
  *result = unset::value;
  if (from_prototype) {
    const cell source = *prototype;
    copy_fields(source, *result);
  } else {
    make_at(*result, empty_slots);
  }
  node_id context = context_of(*result);
  if (spec.type() == TYPE_OBJECT) {
    if (extend_from(*result, spec) && from_prototype) result->payload2 = next_class_id();
    rebind_functions(context);
  } else if (spec.type() == TYPE_BLOCK) {
    cell block = spec;
    bool added = context::collect_set_words(context, block);
    if (from_prototype) {
      rebind_functions(context);
      if (added) result->payload2 = next_class_id();
    }
    *context::self_of(context) = *result;
    context::bind(block, context, true);
    if (block.payload1 < buffer_of(block.payload2)->count()) {
      if (!evaluate_spec_hook) fire(error_id::internal_not_done);
      evaluate_spec_hook(block);
    }
    for (uint32_t i = 0; i < field_count(context); ++i) {
      context::word_at(context, i)->header &= ~cell_flag::field_set;
      if (cell* value = field_at(context, i)) clear_new_line(*value);
    }
  } else {
    cell type;
    datatype::make_at(type, TYPE_OBJECT);
    fire(error_id::syntax_malconstruct, type, spec);
  }
  discover_handlers(*result);
  return result;
}

cell* reflect(cell* value, int32_t field) {
  const cell object = *value;
  node_id context = context_of(object);
  auto name = static_cast<uint32_t>(field);
  uint32_t count = field_count(context);
  cell answer;
  if (same_symbol_p(name, word::symbol_of(words::changed))) {
    answer = new_block(count);
    for (uint32_t i = 0; i < count; ++i)
      if (context::word_at(context, i)->header & cell_flag::field_set) append(answer, field_word(context, i, TYPE_WORD));
  } else if (same_symbol_p(name, symbols::class_)) {
    answer = scalar::integer(static_cast<int32_t>(class_of(object)));
  } else if (same_symbol_p(name, symbols::words)) {
    answer = new_block(count);
    for (uint32_t i = 0; i < count; ++i) append(answer, field_word(context, i, TYPE_WORD));
  } else if (same_symbol_p(name, symbols::values)) {
    answer = cell{TYPE_BLOCK, 0, context::cell_of(context)->payload2, 0};
  } else if (same_symbol_p(name, symbols::body)) {
    answer = new_block(count * 2);
    for (uint32_t i = 0; i < count; ++i) {
      cell word = field_word(context, i, TYPE_SET_WORD);
      word.header |= cell_flag::new_line;
      append(answer, word);
      cell field = *field_at(context, i);
      clear_new_line(field);
      if (field.type() == TYPE_WORD) set_type(field, TYPE_LIT_WORD);
      if (field.type() == TYPE_PATH) set_type(field, TYPE_LIT_PATH);
      append(answer, field);
    }
  } else if (same_symbol_p(name, symbols::owner)) {
    answer = logic::value_of((context::cell_of(context)->header & cell_flag::owned) != 0);
  } else if (same_symbol_p(name, symbols::events_p)) {
    answer = logic::value_of(info_of(object) != 0);
  } else {
    fire(error_id::internal_not_done);
  }
  return stack::set_last(answer);
}

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit) {
  return serialize(*value, *buffer, false, false, false, part, limit, 0, false);
}

int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  if (cycles::detect(*value, buffer->payload2, limit, true)) return limit;
  if (!only) limit = append_text(*buffer, "make object! [", limit);
  limit = serialize(*value, *buffer, only, all, flat, part, limit, indent + 1, true);
  if (only) return limit;
  if (!flat) limit = new_line(*buffer, indent, limit);
  return append_text(*buffer, "]", limit);
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, bool, bool get, bool last,
                bool) {
  if (!plain_word_p(element->type())) path_error(error_id::script_invalid_path, path, *element);
  const cell object = *parent;
  node_id context = context_of(object);
  int32_t slot = element_slot(*element, context);
  if (value) {
    if (slot < 0) path_error(error_id::script_invalid_path, path, *element);
    const cell new_value = *value;
    cell word = *element;
    if (!info_of(object)) return context::set_in(word, new_value, context, false);
    cell* old_value = stack::push_copy(*field_at(context, static_cast<uint32_t>(slot)));
    context::set_in(word, new_value, context, false);
    fire_on_change(object, word, *old_value, new_value);
    stack::pop_cells(1);
    return field_at(context, static_cast<uint32_t>(slot));
  }
  if (slot < 0) return missing_field(path, *element, get, last);
  cell* found = field_at(context, static_cast<uint32_t>(slot));
  if (found->type() == TYPE_UNSET) return missing_field(path, *element, get, last);
  return found;
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != value1->type()) return actions::not_comparable;
  node_id context1 = context_of(*value1), context2 = context_of(*value2);
  if (context1 == context2) return 0;
  if (op == actions::op::same) return -1;
  bool inside1 = cycles::find(context1), inside2 = cycles::find(context2);
  if (inside1 || inside2) return inside1 && inside2 ? 0 : -1;
  uint32_t count1 = field_count(context1), count2 = field_count(context2);
  if (count1 != count2) return sign(int64_t{count1} - count2);
  cycles::guard walking1(context1);
  cycles::guard walking2(context2);
  return compare_fields(context1, context2, op);
}

cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types) {
  if (part) fire(error_id::script_invalid_refine_arg, part_word(), *part);
  const cell source = *value;
  copy_into(source, *result, deep, types);
  discover_handlers(*result);
  return result;
}

cell* put(cell* series, cell* key, cell* value, bool) {
  if (key->type() != TYPE_WORD) fire(error_id::script_invalid_key_type, datatype_of(*key));
  cell element = *key;
  eval_path(series, &element, value, nullptr, nullptr, nullptr, -1, false, false, true, false);
  return value;
}

cell* select(cell* series, cell* value, cell*, bool, bool, bool, bool, cell*, cell*, bool, bool) {
  if (!plain_word_p(value->type())) fire(error_id::script_invalid_type, datatype_of(*value));
  return select_word(*series, *value);
}

cell* modify(cell* target, cell* field, cell* value, bool) {
  const cell object = *target;
  node_id context = context_of(object);
  uint32_t name = any_word_p(field->type()) ? word::symbol_of(*field) : 0;
  if (name && same_symbol_p(name, word::symbol_of(words::changed))) {
    if (value->type() != TYPE_NONE) fire(error_id::script_invalid_arg, *value);
    for (uint32_t i = 0; i < field_count(context); ++i) context::word_at(context, i)->header &= ~cell_flag::field_set;
  } else if (name && same_symbol_p(name, symbols::owner)) {
    ownership::own_fields(object);
  } else if (name && same_symbol_p(name, symbols::owned)) {
    if (value->type() == TYPE_NONE) {
      ownership::unbind(object);
    } else if (value->type() == TYPE_BLOCK) {
      ownership::bind_spec(object, *value);
    }
  }
  return target;
}

void init() {
  context::set_change_notifier([](node_id context, const cell& word, const cell& old_value, const cell& new_value) {
    const cell owner = *context::self_of(context);
    if (owner.type() == TYPE_OBJECT) fire_on_change(owner, word, old_value, new_value);
  });
  scalar_support::object_change = [](cell& owner, const cell& word, const cell& old_value, const cell& new_value) {
    fire_on_change(owner, word, old_value, new_value);
  };
  datatype::register_type(TYPE_OBJECT, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, &reflect, unsupported, &form, &mold, &eval_path, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, &copy, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, &put, unsupported, unsupported, &select, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, &modify, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::object
