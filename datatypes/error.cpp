// Error values: catalog lookups by word and code, the fields made from a spec, and forming.
#include "datatypes/error.hpp"

#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/console_out.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/memory.hpp"

namespace tav::error {
namespace {

constexpr cell none_cell{TYPE_NONE, 0, 0, 0};
constexpr int32_t unlimited = 2147483647;
constexpr uint32_t near_width = 40;

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

cell category_word(error_category category) { return unbound_word(error_category_word(category)); }

cell id_word(error_id id) { return unbound_word(error_info(id).word); }

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
  message_writer(fields, string, category == error_category::syntax).write(error_info(id).message);

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

}  // namespace tav::error
