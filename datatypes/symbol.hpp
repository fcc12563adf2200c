// Symbol table: interning of word spellings and their case aliases.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::symbol {

// The table is the hash table over the names (`hashtable::symbol_table`, a collector root)
// whose block holds the symbol records: header 13, payload 1 the alias (-1 none), payload 2
// the node of the spelling string (0 until first needed), payload 3 the node of the UTF-8
// name followed by a NUL. A symbol's id is its record's 1-based position.
inline constexpr uint32_t initial_capacity = 4000;

// A fresh, empty table.
void init_table();
// Counts the tables made: a symbol id read from a cache is only good for the table it came from.
uint32_t generation();
node_id records();
uint32_t count();

// The id of the spelling: an exact spelling answers its own id; a spelling that differs from
// an existing one only in ASCII letter case becomes a new symbol aliased to it.
uint32_t make(const char* name);
uint32_t make_from_buffer(const uint8_t* bytes, size_t length);
// The UTF-8 text of a string! from its head.
uint32_t make_from_string(const cell& string);
// Any spelling that matches an existing symbol when case is ignored answers that symbol.
uint32_t make_caseless(const char* name);

// The record of the symbol, its spelling string built first when missing.
cell* get(uint32_t id);
// Builds the spelling string (decoded once from the UTF-8 name) and keeps it.
void ensure_string(cell& record);
// The record without building the spelling.
cell* record(uint32_t id);
// The id case variants share: the alias when there is one, else the id.
uint32_t resolve(uint32_t id);
int32_t get_alias(uint32_t id);
// The UTF-8 name, NUL-terminated; valid until the next allocation.
const char* name(uint32_t id);
size_t name_length(uint32_t id);

int32_t compare(cell* value1, cell* value2, int32_t op);
void init();

}  // namespace tav::symbol
