// Error values: catalog lookups by word and code, the fields made from a spec, forming, and
// the error! datatype over the system's error prototype and catalog.
#include "datatypes/error.hpp"

#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/console_out.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"
#include "runtime/throw.hpp"

namespace tav::error {
namespace {

constexpr cell none_cell{TYPE_NONE, 0, 0, 0};
constexpr int32_t unlimited = 2147483647;
constexpr uint32_t near_width = 40;

// The system objects errors read: system/catalog/errors, system/standard/error, system/state.
cell catalog_object = none_cell, prototype_object = none_cell, state_object = none_cell, spare_no_memory = none_cell;

// The word naming field `index` of the object's context, bound to it.
cell field_word(const cell& object, uint32_t index) {
  node_id context = object.payload1;
  uint32_t symbol = word::symbol_of(*context::word_at(context, index));
  return word::make_cell(TYPE_WORD, context, symbol, static_cast<int32_t>(index));
}

// Spellings of a symbol and a catalog word are the same when they differ at most in ASCII
// letter case, which is what makes two symbols case variants of one another.
bool spelled_p(uint32_t symbol, const char* word) {
  if (symbol == 0 || !hashtable::symbol_table || symbol > symbol::count()) return false;
  size_t length = symbol::name_length(symbol);
  if (std::strlen(word) != length) return false;
  const char* name = symbol::name(symbol);
  for (size_t i = 0; i < length; ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(name[i]) != word[i]) return false;
  }
  return true;
}

cell unbound_word(const char* spelling) {
  return word::make_cell(TYPE_WORD, 0, symbol::make(spelling), static_cast<int32_t>(word::unresolved));
}

[[noreturn]] void invalid_spec_field(const char* field_name) {
  fire(error_id::script_invalid_spec_field, unbound_word(field_name));
}

error_id first_id_of(error_category category) {
  for (uint16_t i = 0; i < static_cast<uint16_t>(error_id::count); ++i)
    if (error_info(static_cast<error_id>(i)).category == category) return static_cast<error_id>(i);
  return error_id::count;
}

void set_code(cell* fields, error_id id) {
  fields[field::code] = scalar::integer(static_cast<int32_t>(error_code(id)));
}

// The category and id the fields name, when both are catalog words.
bool resolve(const cell* fields, error_category& category, error_id& id) {
  if (!any_word_p(fields[field::type].type()) || !category_of(word::symbol_of(fields[field::type]), category))
    return false;
  if (!any_word_p(fields[field::id].type())) return false;
  id = id_in(category, word::symbol_of(fields[field::id]));
  return id != error_id::count;
}

// An error whose type or id names nothing becomes internal/invalid-error naming the bad word.
void repair(cell* fields) {
  error_category category;
  bool category_known =
      any_word_p(fields[field::type].type()) && category_of(word::symbol_of(fields[field::type]), category);
  fields[field::arg1] = category_known ? fields[field::id] : fields[field::type];
  fields[field::type] = category_word(error_category::internal);
  fields[field::id] = id_word(error_id::internal_invalid_error);
}

// ---- Message templates --------------------------------------------------------------------
// The catalog writes each template in the language's syntax: a string, a block of strings and
// argument words (`:arg1` or `arg1`), or a single word.

uint32_t field_of_word(const char* start, size_t length) {
  if (length == 4 && std::strncmp(start, "arg", 3) == 0 && start[3] >= '1' && start[3] <= '3')
    return field::arg1 + static_cast<uint32_t>(start[3] - '1');
  return field_count;
}

class message_writer {
 public:
  message_writer(cell* fields, cell& string, bool formed) : fields_(fields), string_(string), formed_(formed) {}

  // A template of the live catalog: a string, a block of strings and argument words, or a word.
  void write_value(const cell& message) {
    if (message.type() == TYPE_STRING) {
      text::append_text(string_, message.payload2, message.payload1);
    } else if (message.type() == TYPE_BLOCK) {
      // The buffer is looked up again at each part: forming an argument may allocate.
      const cell block = message;
      for (uint32_t i = block.payload1; i < buffer_of(block.payload2)->count(); ++i) {
        if (i > block.payload1) text::append_char(string_, ' ');
        const cell part = buffer_of(block.payload2)->cells()[i];
        if (part.type() == TYPE_STRING)
          text::append_text(string_, part.payload2, part.payload1);
        else
          argument(argument_index(part));
      }
    } else if (any_word_p(message.type())) {
      const uint32_t index = argument_index(message);
      cell copy = index < field_count ? fields_[index] : message;
      actions::form(&copy, &string_, nullptr, unlimited);
    } else {
      cell copy = message;
      actions::form(&copy, &string_, nullptr, unlimited);
    }
  }

  void write(const char* t) {
    if (*t == '"') {
      quoted(t);
    } else if (*t == '[') {
      block(t + 1);
    } else {
      const cell& value = fields_[field_of_word(t, std::strlen(t))];
      if (value.type() == TYPE_STRING) {
        text::append_text(string_, value.payload2, value.payload1);
      } else {
        cell copy = value;
        actions::form(&copy, &string_, nullptr, unlimited);
      }
    }
  }

 private:
  // Answers the character after the closing quote.
  const char* quoted(const char* t) {
    const char* close = std::strchr(t + 1, '"');
    text::append_c_part(string_, t + 1, static_cast<uint32_t>(close - t - 1));
    return close + 1;
  }

  void block(const char* t) {
    bool first = true;
    for (;;) {
      while (*t == ' ') ++t;
      if (*t == ']' || *t == '\0') return;
      if (!first) text::append_char(string_, ' ');
      first = false;
      if (*t == '"') {
        t = quoted(t);
        continue;
      }
      if (*t == ':') ++t;
      const char* start = t;
      while (*t && *t != ' ' && *t != ']') ++t;
      argument(field_of_word(start, static_cast<size_t>(t - start)));
    }
  }

  static uint32_t argument_index(const cell& part) {
    if (!any_word_p(part.type())) return field_count;
    const uint32_t symbol = symbol::resolve(word::symbol_of(part));
    for (uint32_t k = 0; k < 3; ++k) {
      const char name[] = {'a', 'r', 'g', static_cast<char>('1' + k), '\0'};
      if (symbol == symbol::resolve(symbol::make(name))) return field::arg1 + k;
    }
    return field_count;
  }

  void argument(uint32_t index) {
    cell value = index < field_count ? fields_[index] : none_cell;
    if (formed_) {
      actions::form(&value, &string_, nullptr, unlimited);
    } else {
      actions::mold(&value, &string_, false, false, false, nullptr, unlimited, 0);
    }
  }

  cell* fields_;
  cell& string_;
  bool formed_;
};

// Molded without its outer brackets, on one line, and no more than `near_width` characters.
void append_cut(cell& string, const cell& value) {
  uint32_t start = text::length(string);
  cell copy = value;
  cell part = scalar::integer(static_cast<int32_t>(near_width));
  actions::mold(&copy, &string, true, false, true, &part, static_cast<int32_t>(near_width), 0);
  text::truncate(string, start + near_width);
}

void append_where(cell& string, const cell& where) {
  cell copy = where;
  if (any_word_p(where.type())) {
    actions::form(&copy, &string, nullptr, unlimited);
  } else if (where.type() == TYPE_STRING) {
    text::append_text(string, where.payload2, where.payload1);
  } else {
    text::append_c_string(string, "???");
  }
}

}  // namespace

// ---- The catalog by words and codes ---------------------------------------------------------

bool category_of(uint32_t symbol, error_category& category) {
  for (uint32_t c = 0; c < error_category_count; ++c) {
    if (!spelled_p(symbol, error_category_word(static_cast<error_category>(c)))) continue;
    category = static_cast<error_category>(c);
    return true;
  }
  return false;
}

error_id id_in(error_category category, uint32_t symbol) {
  for (uint16_t i = 0; i < static_cast<uint16_t>(error_id::count); ++i) {
    const error_entry& entry = error_info(static_cast<error_id>(i));
    if (entry.category == category && spelled_p(symbol, entry.word)) return static_cast<error_id>(i);
  }
  return error_id::count;
}

error_id id_of_code(int32_t code) {
  if (code < 0 || static_cast<uint32_t>(code / 100) >= error_category_count) return error_id::count;
  error_id first = first_id_of(static_cast<error_category>(code / 100));
  if (first == error_id::count) return error_id::count;
  uint32_t index = static_cast<uint32_t>(first) + static_cast<uint32_t>(code % 100);
  if (index >= static_cast<uint32_t>(error_id::count)) return error_id::count;
  auto id = static_cast<error_id>(index);
  return error_info(id).category == error_info(first).category ? id : error_id::count;
}

cell category_word(error_category category) {
  if (!connected_p()) return unbound_word(error_category_word(category));
  return field_word(catalog_object, static_cast<uint32_t>(category));
}

cell id_word(error_id id) {
  if (!connected_p()) return unbound_word(error_info(id).word);
  const cell category = *context::value_at(catalog_object.payload1, static_cast<uint32_t>(error_info(id).category));
  return field_word(category, error_position(id));
}

cell get_call_argument(uint32_t n) {
  cell name = stack::caller_word();
  node_id context = name.payload1;
  if (!any_word_p(name.type()) || !context || context::cell_of(context)->type() != TYPE_CONTEXT) return none_cell;
  const cell* value = context::find_value(context, word::symbol_of(name));
  if (!value) return none_cell;
  switch (value->type()) {
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_OP: case TYPE_FUNCTION: case TYPE_ROUTINE: break;
    default: return none_cell;
  }
  series_buffer* spec = buffer_of(value->payload2);
  for (uint32_t i = 0; i < spec->count(); ++i) {
    const cell& element = spec->cells()[i];
    uint8_t type = element.type();
    bool counted = type == TYPE_WORD || type == TYPE_LIT_WORD || type == TYPE_GET_WORD || type == TYPE_REFINEMENT;
    if (counted && n-- == 0) return element;
  }
  return none_cell;
}

// ---- Making ---------------------------------------------------------------------------------

void clear_fields(cell* fields) {
  for (uint32_t i = 0; i < field_count; ++i) fields[i] = none_cell;
}

bool fill_fields(cell* fields, const cell& spec) {
  switch (spec.type()) {
    case TYPE_INTEGER: {
      error_id id = id_of_code(scalar::integer_value(spec));
      if (id == error_id::count) fire(error_id::script_out_of_range, spec);
      fields[field::code] = spec;
      fields[field::type] = category_word(error_info(id).category);
      fields[field::id] = id_word(id);
      return true;
    }
    case TYPE_BLOCK: {
      series_buffer* buffer = buffer_of(spec.payload2);
      uint32_t count = buffer->count() > spec.payload1 ? buffer->count() - spec.payload1 : 0;
      cell first = count > 0 ? buffer->cells()[spec.payload1] : none_cell;
      if (first.type() == TYPE_SET_WORD) return false;
      if (first.type() != TYPE_WORD) {
        if (count == 0) fire(error_id::internal_invalid_error);
        fire(error_id::internal_invalid_error, first);
      }
      error_category category;
      if (!category_of(word::symbol_of(first), category)) invalid_spec_field("type");
      if (count < 2) invalid_spec_field("id");
      cell second = buffer_of(spec.payload2)->cells()[spec.payload1 + 1];
      if (second.type() != TYPE_WORD) fire(error_id::script_invalid_arg, second);
      error_id id = id_in(category, word::symbol_of(second));
      if (id == error_id::count) invalid_spec_field("id");
      fields[field::type] = first;
      fields[field::id] = second;
      set_code(fields, id);
      return true;
    }
    case TYPE_STRING:
      fields[field::type] = category_word(error_category::user);
      fields[field::id] = id_word(error_id::user_message);
      fields[field::arg1] = spec;
      set_code(fields, error_id::user_message);
      return true;
    default: {
      cell type = cell{TYPE_DATATYPE, TYPE_ERROR, 0, 0};
      fire(error_id::script_bad_make_arg, type, spec);
    }
  }
}

void complete_fields(cell* fields) {
  error_category category;
  const cell& type = fields[field::type];
  if (type.type() != TYPE_WORD || !category_of(word::symbol_of(type), category)) invalid_spec_field("type");
  const cell& id_cell = fields[field::id];
  error_id id = id_cell.type() == TYPE_WORD ? id_in(category, word::symbol_of(id_cell)) : error_id::count;
  if (id == error_id::count) invalid_spec_field("id");
  set_code(fields, id);
}

void fields_of(const fired_error& error, cell* fields) {
  clear_fields(fields);
  set_code(fields, error.id);
  fields[field::type] = category_word(error_info(error.id).category);
  fields[field::id] = id_word(error.id);
  for (uint32_t i = 0; i < error.arg_count && i < 3; ++i) fields[field::arg1 + i] = error.args[i];
  fields[field::near] = error.near;
  fields[field::where] = error.where;
  fields[field::stack] = error.stack;
}

// The template a script may have changed in system/catalog/errors, null before it is connected.
const cell* live_message(error_id id) {
  if (!connected_p()) return nullptr;
  const cell category = *context::value_at(catalog_object.payload1, static_cast<uint32_t>(error_info(id).category));
  if (category.type() != TYPE_OBJECT) return nullptr;
  return context::value_at(category.payload1, error_position(id));
}

// ---- Text form ------------------------------------------------------------------------------

int32_t form_fields(cell* fields, cell& string, int32_t limit, int32_t stack_trace_level) {
  uint32_t start = text::length(string);
  error_category category;
  error_id id;
  if (!resolve(fields, category, id)) {
    repair(fields);
    resolve(fields, category, id);
  }
  text::append_c_string(string, "*** ");
  text::append_c_string(string, error_category_text(category));
  text::append_c_string(string, ": ");
  message_writer writer(fields, string, category == error_category::syntax);
  const cell* message = live_message(id);
  if (message)
    writer.write_value(cell(*message));
  else
    writer.write(error_info(id).message);

  text::append_c_string(string, "\n*** Where: ");
  append_where(string, fields[field::where]);
  text::append_c_string(string, "\n*** Near : ");
  append_cut(string, fields[field::near]);

  const cell& stack = fields[field::stack];
  if (stack_trace_level > 0 && stack.type() == TYPE_INTEGER) {
    text::append_c_string(string, "\n*** Stack: ");
    stack::form_trace(stack_trace_level, static_cast<uint32_t>(scalar::integer_value(stack)), string, unlimited);
  } else if (stack_trace_level > 0 && stack.type() == TYPE_BLOCK) {
    text::append_c_string(string, "\n*** Stack: ");
    cell copy = stack;
    actions::form(&copy, &string, nullptr, unlimited);
  }
  if (fields[field::files].type() == TYPE_BLOCK) {
    text::append_c_string(string, "\n*** Files: ");
    append_cut(string, fields[field::files]);
  }
  return limit - static_cast<int32_t>(text::length(string) - start);
}

void print_fields(cell* fields, int32_t stack_trace_level) {
  cell string;
  text::make_at(string, 128);
  form_fields(fields, string, unlimited, stack_trace_level);
  series_buffer* buffer = buffer_of(string.payload2);
  print_string(buffer->head(), buffer->used(), buffer->unit(), true);
}

// ---- The system objects errors read ----------------------------------------------------------

namespace {

void root_system_cells() {
  static bool rooted = false;
  if (rooted) return;
  rooted = true;
  collector::add_root(&catalog_object);
  collector::add_root(&prototype_object);
  collector::add_root(&state_object);
  collector::add_root(&spare_no_memory);
}

// Copies the prototype into a new context (nothing is pushed: `fire` uses it on a full stack).
cell new_error() {
  if (!connected_p()) fire(error_id::internal_not_done);
  cell error = object::make_cell(prototype_object.payload1, error_class, 0, TYPE_ERROR);
  node_id from = prototype_object.payload1;
  node_id to = context::clone(error, context::kind_object);
  for (uint32_t i = 0; i < context::word_count(from); ++i) *context::value_at(to, i) = *context::value_at(from, i);
  *context::self_of(to) = error;
  return error;
}

const cell* state_field(const char* name) {
  if (!connected_p()) return nullptr;
  const cell& value = *object::select_word(state_object, unbound_word(name));
  return &value;
}

// While the value of a raised error is made, errors raised meanwhile get none; the first
// error is raised as it came. A no-memory error whose value cannot be made either gets the
// one made at start-up, so that a try still answers an error.
void build_value(fired_error& error) {
  static bool building = false;
  if (building || !connected_p()) return;
  building = true;
  const fired_error raised = error;
  try {
    cell value = value_of(raised);
    last_fired = raised;
    last_fired.value = value;
  } catch (const system_throw_signal&) {
    last_fired = raised;
    if (raised.id == error_id::internal_no_memory) last_fired.value = spare_no_memory;
  }
  building = false;
}

}  // namespace

void connect_system(const cell& catalog, const cell& prototype, const cell& state) {
  root_system_cells();
  catalog_object = catalog;
  prototype_object = prototype;
  state_object = state;
  fired_error no_memory{error_id::internal_no_memory, 0, {none_cell, none_cell, none_cell}, none_cell, none_cell,
                        none_cell, none_cell};
  spare_no_memory = value_of(no_memory);
  set_value_builder(build_value);
}

void disconnect_system() {
  catalog_object = prototype_object = state_object = spare_no_memory = none_cell;
  set_value_builder(nullptr);
}

bool connected_p() { return prototype_object.type() == TYPE_OBJECT; }

int32_t stack_trace_level() {
  const cell* level = state_field("stack-trace");
  return level && level->type() == TYPE_INTEGER ? scalar::integer_value(*level) : 0;
}

// ---- error! values ----------------------------------------------------------------------------

cell* fields(const cell& error) { return context::values(error.payload1); }

cell* create(const cell& category, const cell& id, const cell* arg1, const cell* arg2, const cell* arg3) {
  cell spec{TYPE_BLOCK, 0, alloc_cells(2), 0};
  *alloc_block_tail(spec) = category;
  *alloc_block_tail(spec) = id;
  cell* prototype = stack::push_copy(none_cell);
  cell* result = make(prototype, &spec, TYPE_ERROR);
  const cell* args[3] = {arg1, arg2, arg3};
  for (uint32_t i = 0; i < 3; ++i)
    if (args[i]) fields(*result)[field::arg1 + i] = *args[i];
  *prototype = *result;
  stack::pop_cells(1);
  return prototype;
}

cell make_from_code(int32_t code) {
  cell value = new_error();
  fill_fields(fields(value), scalar::integer(code));
  return value;
}

cell value_of(const fired_error& error) {
  if (!connected_p()) return none_cell;
  cell value = new_error();
  fields_of(error, fields(value));
  return value;
}

void set_where(const cell& error, const cell& value) {
  cell& where = fields(error)[field::where];
  if (where.type() == TYPE_NONE) where = value;
}

uint32_t get_type(const cell& error) {
  const cell& type = fields(error)[field::type];
  return any_word_p(type.type()) ? word::symbol_of(type) : 0;
}

uint32_t get_id(const cell& error) {
  const cell& id = fields(error)[field::id];
  return any_word_p(id.type()) ? word::symbol_of(id) : 0;
}

void record_stack(const cell& error_value) {
  const cell error = error_value;
  if (error.type() != TYPE_ERROR || fields(error)[field::stack].type() != TYPE_INTEGER) return;
  int32_t level = stack_trace_level();
  auto recorded = static_cast<uint32_t>(scalar::integer_value(fields(error)[field::stack]));
  cell trace{TYPE_BLOCK, 0, alloc_cells(20), 0};
  stack::trace_words(level > 0 ? level : 1, trace, recorded);
  fields(error)[field::stack] = trace;
}

bool capture_stack(const cell& error_value, bool flag) {
  const cell error = error_value;
  if (error.type() != TYPE_ERROR) return flag;
  uint8_t stack = fields(error)[field::stack].type();
  if (stack != TYPE_INTEGER && stack != TYPE_BLOCK) return flag;
  record_stack(error);
  const cell* files = state_field("source-files");
  if (fields(error)[field::files].type() == TYPE_NONE && files && files->type() == TYPE_BLOCK &&
      buffer_of(files->payload2)->count() > files->payload1) {
    cell source = *files;
    cell* result = stack::push_copy(none_cell);
    cell copy = *actions::copy(&source, result, nullptr, false, nullptr);
    stack::pop_cells(1);
    fields(error)[field::files] = copy;
  }
  return true;
}

// ---- Handlers -------------------------------------------------------------------------------

cell* make(cell*, cell* spec_value, int32_t) {
  const cell spec = *spec_value;
  cell* result = stack::push_copy(new_error());
  if (fill_fields(fields(*result), spec)) return result;
  cell block = spec;
  context::bind(block, result->payload1, true);
  if (!object::evaluate_spec_hook) fire(error_id::internal_not_done);
  object::evaluate_spec_hook(block);
  complete_fields(fields(*result));
  return result;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) {
  const cell error = *value;
  return form_fields(fields(error), *buffer, limit, stack_trace_level());
}

int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  if (cycles::detect(*value, buffer->payload2, limit, true)) return limit;
  auto append = [&](const char* text) {
    text::append_c_string(*buffer, text);
    limit -= static_cast<int32_t>(std::strlen(text));
  };
  if (!only) append("make error! [");
  limit = object::serialize(*value, *buffer, only, all, flat, part, limit, indent + 1, true);
  if (only) return limit;
  if (!flat) {
    append("\n");
    for (int32_t i = 0; i < indent; ++i) append("    ");
  }
  append("]");
  return limit;
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back) {
  return object::eval_path(parent, element, value, path, container, previous, index, case_sensitive, get, last,
                           store_back);
}

int32_t compare(cell* value1, cell* value2, int32_t op) { return object::compare(value1, value2, op); }

void init() {
  datatype::register_type(TYPE_ERROR, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, inherit, unsupported, &form, &mold, &eval_path, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, inherit, inherit, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, unsupported, unsupported, unsupported, inherit, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::error
