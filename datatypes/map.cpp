// map!: key normalisation, live and deleted pairs, the actions, extend and the foreach step,
// and the text forms.
#include "datatypes/map.hpp"

#include <algorithm>
#include <climits>
#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/series.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"
#include "datatypes/runtime_words.hpp"
#include "runtime/series.hpp"

namespace tav::map {
namespace {

using scalar_support::datatype_of;

inline node_id block_of(const cell& map) { return map.payload2; }
inline node_id table_of(const cell& map) { return map.payload3; }
inline cell block_cell(const cell& map) { return cell{TYPE_BLOCK, 0, block_of(map), 0}; }
inline cell* cells_of(const cell& map) { return buffer_of(block_of(map))->cells(); }
inline uint32_t cell_count(const cell& map) { return buffer_of(block_of(map))->count(); }
inline bool live_p(const cell* key) { return key[1].header != 0; }

bool plain_word_type_p(uint8_t type) { return type >= TYPE_WORD && type <= TYPE_GET_WORD; }

bool copied_key_p(uint8_t type) {
  return series::any_string_p(type) || type == TYPE_BINARY;
}

int32_t lookup_op(bool case_sensitive, bool same) {
  return same ? actions::op::same : case_sensitive ? actions::op::strict_equal : actions::op::equal;
}

// Series keys become copies so that later changes of the caller's series do not reach the map.
void preprocess_key(cell& key, const cell* path) {
  uint8_t type = key.type();
  if (plain_word_type_p(type)) {
    set_type(key, TYPE_SET_WORD);
    return;
  }
  if (!valid_key_type_p(type)) fire(error_id::script_invalid_path, path ? *path : key, datatype_of(type));
  if (!copied_key_p(type)) return;
  cell source = key, copied;
  actions::copy(&source, &copied, nullptr, false, nullptr);
  clear_new_line(copied);
  key = copied;
}

void preprocess_hook(cell& key) { preprocess_key(key, nullptr); }

// The stored key cell equal to `key` under `op`, deleted or live, or null.
cell* lookup(const cell& map, const cell& key, int32_t op) { return hashtable::find(table_of(map), key, 0, 1, op); }

cell* live_value(const cell& map, const cell& key, int32_t op) {
  cell* found = lookup(map, key, op);
  return found && live_p(found) ? found + 1 : nullptr;
}

// Stores a value under a key: a new key is normalised (the path names it in errors) and appended
// with an unset value first; a deleted pair is revived. Answers the value cell in the block.
cell* set_value(const cell& map_given, const cell& key_given, const cell& value_given, int32_t op, const cell* path) {
  const cell map = map_given, value = value_given;
  cell* found = lookup(map, key_given, op);
  uint32_t position;
  if (!found) {
    cell key = key_given;
    clear_new_line(key);
    preprocess_key(key, path);
    cell pairs = block_cell(map);
    block::append_cell(pairs, key);
    cell* added = block::append_cell(pairs, unset::value);
    position = static_cast<uint32_t>(added - cells_of(map)) - 1;
    hashtable::put(table_of(map), cells_of(map) + position);
  } else {
    position = static_cast<uint32_t>(found - cells_of(map));
    if (!live_p(found)) ++hashtable::record_of(table_of(map)).count;
  }
  cell* target = cells_of(map) + position + 1;
  *target = value;
  clear_new_line(*target);
  return target;
}

cell* answer(cell* slot, const cell& value) {
  *slot = value;
  return slot;
}

// ---- Text ---------------------------------------------------------------------------------------

int32_t write_text(cell& output, const char* text, int32_t limit) {
  text::append_c_string(output, text);
  return limit - static_cast<int32_t>(std::strlen(text));
}

int32_t write_char(cell& output, uint32_t c, int32_t limit) {
  text::append_char(output, c);
  return limit - 1;
}

bool more_live_pairs_p(const cell& map, uint32_t from) {
  for (uint32_t i = from; i + 1 < cell_count(map); i += 2)
    if (live_p(cells_of(map) + i)) return true;
  return false;
}

// The pairs of a map, key and value molded; `wrote` tells whether anything was written.
int32_t write_pairs(const cell& map, cell& output, bool flat, cell* part, int32_t limit, bool indent, int32_t level,
                    bool& wrote) {
  wrote = false;
  if (cycles::detect(map, output.payload2, limit, true)) {
    wrote = true;
    return limit;
  }
  if (key_count(map) == 0) return limit;
  cycles::guard inside(block_of(map));
  uint32_t separator = flat ? ' ' : '\n';
  if (indent) limit = write_char(output, '\n', limit);
  for (uint32_t i = 0; i + 1 < cell_count(map); i += 2) {
    if (!live_p(cells_of(map) + i)) continue;
    if (part && limit < 1) break;
    if (indent)
      for (int32_t n = 0; n < level; ++n) limit = write_text(output, "    ", limit);
    cell key = cells_of(map)[i];
    limit = actions::mold(&key, &output, false, false, flat, part, limit, level);
    limit = write_char(output, ' ', limit);
    cell value = cells_of(map)[i + 1];
    limit = actions::mold(&value, &output, false, false, flat, part, limit, level);
    wrote = true;
    if (indent || more_live_pairs_p(map, i + 2)) limit = write_char(output, separator, limit);
  }
  return limit;
}

// ---- Comparison -----------------------------------------------------------------------------

int32_t sign(int64_t n) { return n < 0 ? -1 : n > 0 ? 1 : 0; }

bool values_equal(const cell& a, const cell& b, int32_t op) {
  cell first = a, second = b;
  return actions::compare(&first, &second, op);
}

// Every live key of a has a key in b whose value is equal; strictly, one key compared
// case-sensitively, else any key equal under `=`.
bool pairs_equal(const cell& a, const cell& b, int32_t op) {
  bool strict = op == actions::op::strict_equal;
  int32_t value_op = strict ? actions::op::strict_equal : actions::op::equal;
  for (uint32_t i = 0; i + 1 < cell_count(a); i += 2) {
    if (!live_p(cells_of(a) + i)) continue;
    const cell key = cells_of(a)[i], value = cells_of(a)[i + 1];
    if (strict) {
      cell* found = live_value(b, key, value_op);
      if (!found || !values_equal(value, *found, value_op)) return false;
      continue;
    }
    bool matched = false;
    int32_t saved = -1;
    while (cell* found = hashtable::find_next(table_of(b), key, saved, value_op)) {
      if (!live_p(found)) continue;
      const cell other = found[1];
      if (values_equal(value, other, value_op)) {
        matched = true;
        break;
      }
    }
    if (!matched) return false;
  }
  return true;
}

// ---- Making -------------------------------------------------------------------------------------

[[gnu::cold, noreturn]] void bad_to_arg(const cell& spec) { fire(error_id::script_bad_to_arg, datatype_of(TYPE_MAP), spec); }

cell* make_from_pairs(const cell& spec) {
  int32_t length = std::max(block::ts_length_p(spec), 0);
  if (length & 1) fire(error_id::script_invalid_arg, spec);
  cell* result = block::clone(spec, false, false);
  cell* cells = buffer_of(result->payload2)->cells();
  for (int32_t i = 0; i < length; ++i) clear_new_line(cells[i]);
  make_at(*result, result->payload2, static_cast<uint32_t>(length));
  return result;
}

cell* make_sized(const cell& spec) {
  int64_t pairs;
  if (spec.type() == TYPE_INTEGER) {
    pairs = scalar::integer_value(spec);
  } else {
    double size = scalar::float_value(spec);
    if (!(size > -2147483649.0 && size < 2147483648.0)) fire(error_id::script_out_of_range, spec);
    pairs = static_cast<int64_t>(size);
  }
  if (pairs < 0) fire(error_id::script_out_of_range, spec);
  cell* result = stack::push_cell();
  *result = unset::value;
  make_at(*result, 0, static_cast<uint32_t>(std::min<int64_t>(std::max<int64_t>(pairs, 1) * 2, INT32_MAX)));
  return result;
}

cell* make_or_to(cell* spec_given, bool to) {
  const cell spec = *spec_given;
  switch (spec.type()) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: return make_from_pairs(spec);
    case TYPE_INTEGER:
    case TYPE_FLOAT:
      if (to) bad_to_arg(spec);
      return make_sized(spec);
    case TYPE_MAP: {
      cell* result = stack::push_cell();
      *result = unset::value;
      cell source = spec;
      return copy(&source, result, nullptr, false, nullptr);
    }
    default: bad_to_arg(spec);
  }
}

bool field_p(int32_t field, uint32_t symbol) {
  auto name = static_cast<uint32_t>(field);
  return name == symbol || symbol::resolve(name) == symbol::resolve(symbol);
}

cell new_block(uint32_t size) {
  cell block;
  block::make_at(block, static_cast<int32_t>(size));
  return block;
}

}  // namespace

// ---- Helpers --------------------------------------------------------------------------------------

bool valid_key_type_p(uint8_t type) {
  switch (type) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_CHAR: case TYPE_INTEGER: case TYPE_FLOAT:
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT:
    case TYPE_ISSUE: case TYPE_PAIR: case TYPE_PERCENT: case TYPE_TUPLE: case TYPE_BINARY: case TYPE_TIME:
    case TYPE_TAG: case TYPE_EMAIL: case TYPE_DATE: case TYPE_MONEY: case TYPE_REF: case TYPE_POINT2D:
    case TYPE_POINT3D:
      return true;
    default: return false;
  }
}

uint32_t key_count(const cell& map) { return hashtable::record_of(table_of(map)).count; }

void make_at(cell& target, node_id block, uint32_t size) {
  if (!block) {
    block::make_at(target, static_cast<int32_t>(size));
    block = target.payload2;
  }
  target = cell{TYPE_BLOCK, 0, block, 0};
  // The table is sized for the pairs the cells hold, not for every cell.
  node_id table = hashtable::create(std::max(size / 2, 1u), block, hashtable::map_kind);
  target = cell{TYPE_MAP, 0, block, table};
}

cell* extend(cell* map, const cell& pairs_given, bool case_sensitive) {
  const cell pairs = pairs_given;
  int32_t length = std::max(block::ts_length_p(pairs), 0);
  if (length & 1) fire(error_id::script_invalid_arg, pairs);
  const cell target = *map;
  uint64_t room = (uint64_t{cell_count(target)} + static_cast<uint32_t>(length)) * sizeof(cell);
  series_buffer* held = buffer_of(block_of(target));
  if (held->offset + room > held->size) expand_series(held, static_cast<int64_t>(held->offset + room));
  int32_t op = case_sensitive ? actions::op::strict_equal : actions::op::equal;
  uint32_t first = static_cast<uint32_t>(std::max(series::head_of(pairs), 0));
  for (uint32_t i = 0; i < static_cast<uint32_t>(length); i += 2) {
    const cell* cells = buffer_of(pairs.payload2)->cells() + first + i;
    const cell key = cells[0], value = cells[1];
    set_value(target, key, value, op, &pairs);
  }
  return map;
}

bool set_many(const cell& words_given, cell& map, int32_t count) {
  const cell words = words_given;
  series_buffer* list = buffer_of(words.payload2);
  for (int32_t i = 0; i < count; ++i) {
    const cell& word = list->cells()[words.payload1 + static_cast<uint32_t>(i)];
    if (!plain_word_type_p(word.type())) fire(error_id::script_invalid_arg, word);
  }
  uint32_t at = map.payload1;
  while (at + 1 < cell_count(map) && !live_p(cells_of(map) + at)) {
    at += 2;
    map.payload1 = at;
  }
  bool any = false;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t position = at + static_cast<uint32_t>(i);
    cell value = none::value;
    if (position < cell_count(map)) {
      value = cells_of(map)[position];
      if (value.type() == TYPE_SET_WORD) set_type(value, TYPE_WORD);
      clear_new_line(value);
      any = true;
    }
    cell word = buffer_of(words.payload2)->cells()[words.payload1 + static_cast<uint32_t>(i)];
    context::set(word, value);
  }
  return any;
}

// ---- Handlers -------------------------------------------------------------------------------

cell* make(cell*, cell* spec, int32_t) { return make_or_to(spec, false); }

cell* reflect(cell* value, int32_t field) {
  const cell map = *value;
  bool words = field_p(field, symbols::words), values = field_p(field, symbols::values);
  bool body = field_p(field, symbols::body);
  if (!words && !values && !body) fire(error_id::internal_not_done);
  cell result = new_block(key_count(map) * (body ? 2 : 1));
  for (uint32_t i = 0; i + 1 < cell_count(map); i += 2) {
    if (!live_p(cells_of(map) + i)) continue;
    cell key = cells_of(map)[i], item = cells_of(map)[i + 1];
    if (words && key.type() == TYPE_SET_WORD) set_type(key, TYPE_WORD);
    if (body) key.header |= cell_flag::new_line;
    if (words || body) block::append_cell(result, key);
    if (values || body) block::append_cell(result, item);
  }
  return answer(value, result);
}

cell* to(cell*, cell* spec, int32_t) { return make_or_to(spec, true); }

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit) {
  bool wrote;
  return write_pairs(*value, *buffer, false, part, limit, false, 0, wrote);
}

int32_t mold(cell* value, cell* buffer, bool only, bool, bool flat, cell* part, int32_t limit, int32_t indent) {
  if (cycles::detect(*value, buffer->payload2, limit, true)) return limit;
  if (!only) limit = write_text(*buffer, "#[", limit);
  bool wrote;
  limit = write_pairs(*value, *buffer, flat, part, limit, !only && !flat, indent + 1, wrote);
  if (only) return limit;
  if (wrote && !flat)
    for (int32_t n = 0; n < indent; ++n) limit = write_text(*buffer, "    ", limit);
  return write_char(*buffer, ']', limit);
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, bool case_sensitive,
                bool, bool, bool) {
  int32_t op = lookup_op(case_sensitive, false);
  if (value) {
    set_value(*parent, *element, *value, op, path);
    return value;
  }
  cell* found = live_value(*parent, *element, op);
  return found ? found : &none::value;
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != TYPE_MAP) return actions::not_comparable;
  const cell a = *value1, b = *value2;
  if (op == actions::op::sort || op == actions::op::case_sort) return sign(int64_t{block_of(a)} - block_of(b));
  bool equality = op == actions::op::equal || op == actions::op::not_equal || op == actions::op::strict_equal ||
                  op == actions::op::same || op == actions::op::find;
  if (!equality) return actions::not_comparable;
  if (block_of(a) == block_of(b) && a.payload1 == b.payload1) return 0;
  if (op == actions::op::same) return -1;
  if (cycles::find(block_of(a))) return cycles::find(block_of(b)) ? 0 : -1;
  if (key_count(a) != key_count(b)) return 1;
  if (key_count(a) == 0) return 0;
  cycles::guard inside_a(block_of(a));
  cycles::guard inside_b(block_of(b));
  return pairs_equal(a, b, op) ? 0 : 1;
}

cell* clear(cell* series) {
  hashtable::clear(table_of(*series));
  return series;
}

cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types) {
  (void)part;
  const cell source = *value;
  bool guarded = deep && types;
  if (guarded) {
    if (cycles::find(block_of(source))) fire(error_id::internal_no_cycle);
    cycles::push(block_of(source));
  }
  struct popper {
    bool active;
    ~popper() {
      if (active) cycles::pop();
    }
  } pop_after{guarded};
  // The copy stays in its stack cell while values are copied into it: a table is held whole
  // only through a map cell.
  cell* copied = block::clone(block_cell(source), deep && !types, false);
  node_id table = hashtable::copy(table_of(source), copied->payload2);
  *copied = cell{TYPE_MAP, 0, copied->payload2, table};
  if (types) {
    series_buffer* buffer = buffer_of(copied->payload2);
    block::copy_typed_values(buffer->cells() + 1, buffer->cells() + buffer->count(), 2, deep, *types);
  }
  const cell made = *copied;
  stack::pop_cells(1);
  return answer(result, made);
}

cell* find(cell* series, cell* value, cell*, bool, bool case_sensitive, bool same, bool, cell*, cell*, bool, bool,
           bool, bool) {
  cell* found = lookup(*series, *value, lookup_op(case_sensitive, same));
  if (!found || !live_p(found)) return &none::value;
  cell key = *found;
  if (key.type() == TYPE_SET_WORD) set_type(key, TYPE_WORD);
  clear_new_line(key);
  return answer(series, key);
}

int32_t length_p(cell* series) { return static_cast<int32_t>(key_count(*series)); }

cell* put(cell* series, cell* key, cell* value, bool case_sensitive) {
  set_value(*series, *key, *value, lookup_op(case_sensitive, false), key);
  return value;
}

cell* remove(cell* series, cell* part, cell* key) {
  (void)part;
  if (!key) fire(error_id::script_missing_arg);
  cell* found = lookup(*series, *key, actions::op::strict_equal);
  if (found && live_p(found)) hashtable::delete_at(table_of(*series), found);
  return series;
}

cell* select(cell* series, cell* value, cell*, bool, bool case_sensitive, bool same, bool, cell*, cell*, bool, bool) {
  cell* found = live_value(*series, *value, lookup_op(case_sensitive, same));
  return found ? found : &none::value;
}

void init() {
  hashtable::preprocess_key_hook = preprocess_hook;
  datatype::register_type(TYPE_MAP, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, &reflect, &to, &form, &mold, &eval_path, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, &clear, &copy, &find, unsupported, unsupported,
      unsupported, unsupported, &length_p, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, &put, &remove, unsupported, &select, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::map
