// event!: type, key and flag words, the fields read from the cell, from the dispatch record or
// from a made event's block, and the six actions the type supports.
#include "view/backends/terminal/event_type.hpp"

#include <cmath>
#include <iterator>

#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"
#include "view/backends/terminal/dispatch_records.hpp"

namespace tav::event {
namespace {

// By id, from 1.
constexpr const char* type_names[type_count] = {
    "down",     "up",    "mid-down", "mid-up",  "alt-down",  "alt-up",   "aux-down", "aux-up", "click",
    "dbl-click", "wheel", "over",    "key",     "key-down",  "key-up",   "ime",      "focus",  "unfocus",
    "enter",    "zoom",  "pan",      "rotate",  "two-tap",   "press-tap", "select",  "change", "menu",
    "close",    "move",  "resize",   "moving",  "resizing",  "time",     "drawing",  "scroll"};

struct named_code {
  int32_t code;
  const char* name;
};
constexpr named_code special_keys[] = {
    {-20, "up"},      {-21, "down"},     {-22, "right"},     {-23, "left"},       {-24, "end"},
    {-25, "home"},    {-26, "insert"},   {-27, "delete"},    {-28, "page-up"},    {-29, "page-down"},
    {-31, "F1"},      {-32, "F2"},       {-33, "F3"},        {-34, "F4"},         {-35, "F5"},
    {-36, "F6"},      {-37, "F7"},       {-38, "F8"},        {-39, "F9"},         {-40, "F10"},
    {-41, "F11"},     {-42, "F12"}};

struct named_bit {
  uint32_t bit;
  const char* name;
};
// In the order of the flags block; `command` is read by `make` only.
constexpr named_bit flag_words[] = {{flag::away, "away"},         {flag::down, "down"},
                                    {flag::mid_down, "mid-down"}, {flag::alt_down, "alt-down"},
                                    {flag::aux_down, "aux-down"}, {flag::control, "control"},
                                    {flag::shift, "shift"},       {flag::alt, "alt"},
                                    {flag::command, "command"}};
constexpr size_t block_flag_count = 8;

enum field : int32_t {
  f_type = 1, f_face, f_window, f_offset, f_key, f_picked, f_flags,
  f_away, f_down, f_mid_down, f_alt_down, f_aux_down, f_ctrl, f_shift, f_orientation
};
constexpr int32_t field_count = 15;
constexpr const char* field_names[field_count] = {
    "type", "face", "window", "offset", "key", "picked", "flags", "away?", "down?",
    "mid-down?", "alt-down?", "aux-down?", "ctrl?", "shift?", "orientation"};
// The flag bit of the logic fields away? to shift?.
constexpr uint32_t field_bits[] = {flag::away, flag::down, flag::mid_down, flag::alt_down,
                                   flag::aux_down, flag::control, flag::shift};

// Resolved symbols, filled by bind_words.
uint32_t type_symbols[type_count];
uint32_t key_symbols[std::size(special_keys)];
uint32_t flag_symbols[std::size(flag_words)];
uint32_t field_symbols[field_count];
bool bound = false;

// Reused by every read of `flags`.
cell flags_block{TYPE_NONE, 0, 0, 0};

// The block a made event keeps.
enum data_index : uint32_t { d_face, d_window, d_offset, d_picked, data_count };

void ensure_bound() {
  if (!bound) bind_words();
}

uint32_t resolved(const char* name) { return symbol::resolve(symbol::make(name)); }

uint32_t resolved_word(const cell& word) { return symbol::resolve(word::symbol_of(word)); }

int32_t field_of_word(const cell& word) {
  if (!plain_word_p(word.type())) return 0;
  ensure_bound();
  const uint32_t symbol = resolved_word(word);
  for (int32_t i = 0; i < field_count; ++i)
    if (field_symbols[i] == symbol) return i + 1;
  return 0;
}

cell datatype_value() { return scalar_support::datatype_of(TYPE_EVENT); }

// ---- Reading the fields ---------------------------------------------------------------------

bool made_p(const cell& event) { return event.header & cell_flag::event_block; }

// Value i of a made event's block; none for an event made without one.
cell made_datum(const cell& event, uint32_t i) {
  if (!made_p(event)) return none::value;
  series_buffer* buffer = buffer_of(event.payload2);
  return i < buffer->count() ? buffer->cells()[i] : none::value;
}

const tui::event_data* record_of(const cell& event) {
  if (made_p(event) || event.payload2 == 0) return nullptr;
  return tui::record_of(event.payload2);
}

cell* push_type(const cell& event) {
  const uint32_t id = type_id_of(event);
  if (id < 1 || id > type_count) return none::push();
  ensure_bound();
  return word::push_global(type_symbols[id - 1]);
}

int32_t truncated(float coordinate) {
  if (!(std::fabs(coordinate) < 2147483520.0f)) return 0;
  return static_cast<int32_t>(coordinate);
}

cell* push_char(int32_t code) {
  if (code < 1 || static_cast<uint32_t>(code) > char_::max_code_point) return none::push();
  return char_::push(static_cast<uint32_t>(code));
}

cell* push_key(const cell& event) {
  if (made_p(event) || event.payload2 == 0) return push_char(static_cast<int32_t>(flags_of(event) & flag::key_mask));
  const tui::event_data* record = record_of(event);
  if (!record) return none::push();
  if (!(flags_of(event) & flag::special_key)) return push_char(record->key);
  ensure_bound();
  for (size_t i = 0; i < std::size(special_keys); ++i)
    if (special_keys[i].code == record->key) return word::push_global(key_symbols[i]);
  return none::push();
}

cell* push_picked(const cell& event) {
  if (made_p(event)) return stack::push_copy(made_datum(event, d_picked));
  const tui::event_data* record = record_of(event);
  if (!record) return none::push();
  if (type_id_of(event) == type_wheel) return float_::push(record->wheel);
  return integer::push(record->key);
}

cell* push_offset(const cell& event) {
  if (made_p(event)) return stack::push_copy(made_datum(event, d_offset));
  const tui::event_data* record = record_of(event);
  if (!record) return none::push();
  return pair::push(truncated(record->x), truncated(record->y));
}

cell* push_face(const cell& event) {
  if (made_p(event)) return stack::push_copy(made_datum(event, d_face));
  const tui::event_data* record = record_of(event);
  return record ? stack::push_copy(record->face) : none::push();
}

cell* push_flags(const cell& event) {
  ensure_bound();
  flags_block.payload1 = 0;
  block::ts_clear(flags_block);
  for (size_t i = 0; i < block_flag_count; ++i)
    if (flags_of(event) & flag_words[i].bit) word::make_in(flags_block, flag_symbols[i]);
  return stack::push_copy(flags_block);
}

cell* push_field(const cell& event, int32_t field) {
  switch (field) {
    case f_type: return push_type(event);
    case f_face: return push_face(event);
    case f_offset: return push_offset(event);
    case f_key: return push_key(event);
    case f_picked: return push_picked(event);
    case f_flags: return push_flags(event);
    case f_window:
    case f_orientation: return none::push();
    default: return logic::push((flags_of(event) & field_bits[field - f_away]) != 0);
  }
}

// ---- Making ---------------------------------------------------------------------------------

struct made_fields {
  uint32_t type = 0;
  uint32_t flags = 0;
  bool has_data = false;
  cell data[data_count] = {none::value, none::value, cell{TYPE_PAIR, 0, 0, 0}, none::value};
};

[[gnu::cold, noreturn]] void invalid_arg(const cell& value) { fire(error_id::script_invalid_arg, value); }

uint32_t type_from(const cell& value) {
  if (value.type() != TYPE_WORD && value.type() != TYPE_LIT_WORD) fire(error_id::script_not_event_type, value);
  const uint32_t id = word_to_type(value);
  if (!id) fire(error_id::script_not_event_type, value);
  return id;
}

uint32_t flags_from(const cell& block) {
  if (block.type() != TYPE_BLOCK) invalid_arg(block);
  ensure_bound();
  uint32_t flags = 0;
  series_buffer* buffer = buffer_of(block.payload2);
  for (uint32_t i = block.payload1; i < buffer->count(); ++i) {
    const cell word = buffer->cells()[i];
    if (word.type() != TYPE_WORD) continue;
    for (size_t k = 0; k < std::size(flag_words); ++k)
      if (flag_symbols[k] == resolved_word(word)) flags |= flag_words[k].bit;
  }
  return flags;
}

void store_datum(made_fields& made, uint32_t index, const cell& value) {
  made.data[index] = value;
  made.has_data = true;
}

void take_field(made_fields& made, const cell& name, const cell& value) {
  switch (field_of_word(name)) {
    case f_type: made.type = type_from(value); break;
    case f_key:
      if (value.type() != TYPE_CHAR) invalid_arg(value);
      made.flags |= char_::get(value) & flag::key_mask;
      break;
    case f_flags: made.flags |= flags_from(value); break;
    case f_face:
    case f_window:
      if (value.type() != TYPE_OBJECT && value.type() != TYPE_NONE) invalid_arg(value);
      store_datum(made, field_of_word(name) == f_face ? d_face : d_window, value);
      break;
    case f_offset:
      if (value.type() != TYPE_PAIR && value.type() != TYPE_POINT2D) invalid_arg(value);
      store_datum(made, d_offset, value);
      break;
    case f_picked:
      if (value.type() != TYPE_INTEGER) invalid_arg(value);
      store_datum(made, d_picked, value);
      break;
    default: break;  // fields that cannot be given, and unknown words
  }
}

// A word or get-word stands for its value.
cell looked_up(const cell& value) {
  if (value.type() != TYPE_WORD && value.type() != TYPE_GET_WORD) return value;
  return *context::get(value);
}

}  // namespace

cell make_dispatched(uint32_t type_id, uint32_t record, uint32_t flags) {
  return cell{TYPE_EVENT, type_id, record, flags};
}

uint32_t word_to_type(const cell& word) {
  if (!plain_word_p(word.type())) return 0;
  ensure_bound();
  const uint32_t symbol = resolved_word(word);
  for (uint32_t i = 0; i < type_count; ++i)
    if (type_symbols[i] == symbol) return i + 1;
  return 0;
}

void bind_words() {
  for (uint32_t i = 0; i < type_count; ++i) type_symbols[i] = resolved(type_names[i]);
  for (size_t i = 0; i < std::size(special_keys); ++i) key_symbols[i] = resolved(special_keys[i].name);
  for (size_t i = 0; i < std::size(flag_words); ++i) flag_symbols[i] = resolved(flag_words[i].name);
  for (int32_t i = 0; i < field_count; ++i) field_symbols[i] = resolved(field_names[i]);
  bound = true;
  if (flags_block.type() == TYPE_BLOCK) return;
  static bool rooted = false;
  if (!rooted) collector::add_root(&flags_block);
  rooted = true;
  block::make_at(flags_block, 4);
}

// ---- Actions --------------------------------------------------------------------------------

cell* make(cell*, cell* spec, int32_t) {
  if (spec->type() != TYPE_BLOCK) fire(error_id::script_bad_make_arg, datatype_value(), *spec);
  made_fields made;
  const cell source = *spec;
  for (uint32_t i = source.payload1; i + 1 < buffer_of(source.payload2)->count(); ++i) {
    const cell name = buffer_of(source.payload2)->cells()[i];
    if (name.type() != TYPE_SET_WORD) continue;
    take_field(made, name, looked_up(buffer_of(source.payload2)->cells()[i + 1]));
    ++i;
  }
  cell* result = stack::push_cell();
  *result = make_dispatched(made.type, 0, made.flags);
  if (!made.has_data) return result;
  cell* data = stack::push_cell();
  block::make_at(*data, data_count);
  for (const cell& value : made.data) block::append_cell(*data, value);
  result->header |= cell_flag::event_block;
  result->payload2 = data->payload2;
  stack::top = data;
  return result;
}

int32_t form(cell*, cell* buffer, cell*, int32_t limit) {
  text::append_c_string(*buffer, "event");
  return limit - 5;
}

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(value, buffer, part, limit);
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, bool, bool, bool,
                bool) {
  const int32_t field = field_of_word(*element);
  if (!field) fire(error_id::script_invalid_path, scalar_support::path_or_none(path), *element);
  if (!value) return push_field(*parent, field);
  if (field != f_type) fire(error_id::script_bad_path_set, scalar_support::path_or_none(path), *element);
  if (value->type() != TYPE_WORD) fire(error_id::script_bad_path_set, scalar_support::path_or_none(path), *value);
  const uint32_t id = word_to_type(*value);
  if (!id) fire(error_id::script_not_event_type, *value);
  parent->payload1 = id;
  return value;
}

int32_t compare(cell*, cell* value2, int32_t op) {
  if (value2->type() != TYPE_EVENT) return actions::not_comparable;
  return actions::equality_only(op, 0);
}

cell* pick(cell* series, int32_t index, cell* index_cell) {
  if (index_cell && plain_word_p(index_cell->type())) {
    index = field_of_word(*index_cell);
    if (!index) fire(error_id::script_cannot_use, *index_cell, *series);
  } else if (index < 1 || index > field_count) {
    fire(error_id::script_out_of_range, index_cell ? *index_cell : scalar::integer(index));
  }
  return push_field(*series, index);
}

void init() {
  datatype::register_type(TYPE_EVENT, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, unsupported, unsupported, &form, &mold, &eval_path, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      &pick, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::event
