// Symbol table: interning of word spellings and their case aliases.
#include "datatypes/symbol.hpp"

#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/text_output.hpp"
#include "runtime/collector.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::symbol {
namespace {

constexpr cell unset_cell{unset_header, 0, 0, 0};

// The collector's root for the table: a hash! value naming it, so that the table is walked as
// a table (record, arrays, and the records in its block with their names and spellings).
cell table_root{0, 0, 0, 0};
uint32_t tables_made = 0;

uint32_t intern(const uint8_t* bytes, size_t length, bool caseless) {
  return static_cast<uint32_t>(
      hashtable::intern_string(hashtable::symbol_table, bytes, static_cast<uint32_t>(length), caseless));
}

const uint8_t* as_bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

// The spelling string of a symbol record, or of the symbol a word names.
node_id spelling_of(cell& value) {
  cell* source = value.type() == TYPE_SYMBOL ? &value : get(value.payload2);
  ensure_string(*source);
  return source->payload2;
}

}  // namespace

void init_table() {
  if (table_root.header == 0) collector::add_root(&table_root);
  table_root = unset_cell;
  hashtable::symbol_table = 0;
  node_id block = alloc_cells(initial_capacity);
  hashtable::symbol_table = hashtable::create(initial_capacity, block, hashtable::symbol_kind);
  table_root = cell{TYPE_HASH, 0, 0, hashtable::symbol_table};
  ++tables_made;
}

uint32_t generation() { return tables_made; }

node_id records() { return hashtable::record_of(hashtable::symbol_table).block; }

uint32_t count() { return buffer_of(records())->count(); }

uint32_t make(const char* name) { return intern(as_bytes(name), std::strlen(name), false); }

uint32_t make_from_buffer(const uint8_t* bytes, size_t length) { return intern(bytes, length, false); }

uint32_t make_from_string(const cell& string) {
  cell copy = string;  // the conversion cache is the value's own
  int64_t length = -1;
  const uint8_t* bytes = unicode::to_utf8(copy, &length);
  return intern(bytes, static_cast<size_t>(length), false);
}

uint32_t make_caseless(const char* name) { return intern(as_bytes(name), std::strlen(name), true); }

cell* record(uint32_t id) { return buffer_of(records())->cells() + (id - 1); }

cell* get(uint32_t id) {
  cell* found = record(id);
  ensure_string(*found);
  return record(id);
}

void ensure_string(cell& record) {
  if (record.payload2) return;
  series_buffer* name_buffer = buffer_of(record.payload3);
  node_id spelling = unicode::load_utf8_new(name_buffer->head(), name_buffer->used());
  record.payload2 = spelling;
}

uint32_t resolve(uint32_t id) { return hashtable::symbol_resolve(id); }

int32_t get_alias(uint32_t id) { return static_cast<int32_t>(record(id)->payload1); }

const char* name(uint32_t id) { return reinterpret_cast<const char*>(buffer_of(record(id)->payload3)->head()); }

size_t name_length(uint32_t id) { return buffer_of(record(id)->payload3)->used(); }

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != TYPE_SYMBOL && !any_word_p(value2->type())) return actions::not_comparable;
  node_id spelling1 = spelling_of(*value1);
  node_id spelling2 = spelling_of(*value2);
  return text::compare(spelling1, 0, spelling2, 0, op);
}

void init() {
  datatype::register_type(TYPE_SYMBOL, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, &compare,
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

}  // namespace tav::symbol
