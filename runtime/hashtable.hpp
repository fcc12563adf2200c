// Hash tables: one open-addressing design (two flag bits per bucket, quadratic probing, a load
// bound of 0.77, resizing in place) for the five kinds of index: hash! blocks, map! blocks,
// symbols (the symbol table and context word lists), integer keys, and the owners table.
//
// Every part of a table is a series reached through a node, so a table is a node id and
// moves with the collector. Raw pointers answered here (records, cells) are valid until the
// next allocation.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/hash_seed.hpp"

namespace tav::hashtable {

enum kind : uint32_t {
  hash_kind = 0,     // hash!: positions of the block's cells, duplicates chained
  map_kind = 1,      // map!: positions of the keys of a key/value block
  symbol_kind = 2,   // the symbol table and context word lists
  integer_kind = 3,  // 32-bit keys, entries in the table's own block
  owners_kind = 4,   // the owners table: keys are series nodes
};

// The record: a 44-byte byte series, eleven 32-bit words.
struct record {
  uint32_t count;      // keys stored (hash!: buckets in use; map!: live keys)
  uint32_t positions;  // hash!: node of the per-position bucket words; map!: node of the per-bucket
                       // hashes; kinds 3-4: entry size
  node_id chains;      // hash!: raw array of the duplicate chains' nodes
  node_id flags;       // two bits per bucket: 2 empty, 1 deleted, 0 in use
  node_id keys;        // per bucket: block index (or -chain for hash!); kinds 3-4: entry byte offset
  node_id block;
  uint32_t used;       // buckets in use or deleted: the growth trigger
  uint32_t buckets;    // a power of two, at least 4
  uint32_t upper_bound;
  uint32_t kind;
  // Set when the hashes depend on where nodes are. Node ids never change in this build, so
  // no stamped table can go stale and the stamp is never checked; it is kept for the layout.
  uint32_t stamp;
};
static_assert(sizeof(record) == 44);

record& record_of(node_id table);

// ---- Hooks for the layers above ----------------------------------------------------------
// Key equality of hash! and map! tables: answers 1 when the values are equal under the
// compare op (0 `=`, 2 `==`, 9 sameness, 12 find equality), else 0, as `actions::compare`
// does. The default knows integer-like scalars, word types (aliases equal except under
// op 2) and the string family (case-insensitive except under op 2); the datatypes install
// the real comparison here.
using compare_fn = int32_t (*)(const cell& a, const cell& b, int32_t op);
extern compare_fn compare_hook;
int32_t default_compare(const cell& a, const cell& b, int32_t op);

// Normalises a new map! key in place before it is stored (the map datatype installs its
// own: copying string keys, refusing unusable types). It may allocate. The default turns
// the four plain word types into set-word! and keeps everything else.
using preprocess_fn = void (*)(cell& key);
extern preprocess_fn preprocess_key_hook;
void default_preprocess_key(cell& key);

// ---- Hashing -----------------------------------------------------------------------------
// MurmurHash3 x86_32 of bytes with the start-up seed.
uint32_t murmur3_32(const void* bytes, uint32_t length);
// The hash of a key cell by its type. Text is folded to upper case unless case-sensitive,
// one character per 32-bit block, so widths 1, 2 and 4 hash alike.
uint32_t hash_value(const cell& key, bool case_sensitive = false);

// ---- Tables over blocks and tables of their own ------------------------------------------
// A table for `size` keys. Kinds 0-2 given a block index it from its head (map!: every
// second cell, keys normalised and repeated keys merged as `put_all` does). Kinds 3-4, or no
// block: a new block of `size` cells; `value_cells` are the value cells per entry of kinds
// 3-4. A symbol table given a block and 2 value cells copies the table the block names.
node_id create(uint32_t size, node_id block, uint32_t kind, uint32_t value_cells = 0);

// Indexes a cell of the table's block (kinds 0-2). Answers 0 when a new key was stored, 1
// when an equal key was there (hash!: the position joined its chain; map! and symbols:
// nothing stored), 2 when the put grew a hash! by rebuilding: every cell of the block is
// then indexed, the ones after `key` too.
int32_t put(node_id table, const cell* key);
// Puts every `step`th cell from `first` (map!: keys only, every new key normalised through
// the hook; a key equal under op 2 to a stored one gives it its value and its pair leaves
// the block).
void put_all(node_id table, uint32_t first, uint32_t step);

// The key cell in the block equal to `key` under `op`, or null. hash!: among the equal keys
// whose distance from `start` is a multiple of `skip`, the lowest at or after `start`; with
// `last` the highest of those; with `reverse` the highest before `start`. map!: word types
// look up their set-word! key. Symbols: op 2 compares symbol ids, others resolved ids.
cell* find(node_id table, const cell& key, uint32_t start = 0, int32_t skip = 1, int32_t op = 0, bool last = false,
           bool reverse = false);
// Resumable search: `saved` -1 starts, and each answer updates it (hash!: the item of the
// chain; map! and symbols: probe steps taken); null when no further equal key exists.
cell* find_next(node_id table, const cell& key, int32_t& saved, int32_t op = 0);

// Removes the entry of a cell of the block. map!: the pair stays indexed, its value cell's
// header becomes 0 and the count drops (a later put of the key may revive it).
void delete_at(node_id table, const cell* key);
// Empties the index. The block of kinds 1, 3 and 4 is emptied too; the block of a hash! or
// a symbol table belongs to its datatype.
void clear(node_id table);
// Removes the entries of `count` positions from `first`; the whole table when that covers
// every cell of the block.
void clear_part(node_id table, uint32_t first, uint32_t count);
// Kinds 0-2: new arrays for at least `count` keys and every cell of the block put again.
void rebuild(node_id table, uint32_t count);
// Kinds 0-2 move their keys in place to the new bucket count; kinds 3-4 rehash their live
// entries into a new block. Nothing happens when the keys would not fit below the bound.
void resize(node_id table, uint32_t request);

// hash!: after `count` cells were inserted (delta > 0) or removed (delta < 0, entries
// already deleted) at `from`, stored positions at or after `from` move by delta; with
// `adjust_positions` the per-position bucket words move along. Answers 1 and changes nothing
// when count exceeds 30,000 (the caller rebuilds), else 0.
int32_t shift_index(node_id table, int32_t delta, uint32_t from, uint32_t count, bool adjust_positions);
// hash!: the run of `count` cells at `from` now starts at `to`; the cells between moved over.
void move_index(node_id table, uint32_t from, uint32_t to, uint32_t count);

// A copy of the record and its arrays. The copy indexes `block` when given, else a copy of
// the table's block.
node_id copy(node_id table, node_id block = 0);

// ---- Kinds 3-4 ---------------------------------------------------------------------------
// The entry's first value cell, made (values unset, or copied from `values`) when the key is
// new; existing values are overwritten only by given `values`.
cell* put_key(node_id table, uint32_t key, const cell* values = nullptr);
cell* get_key(node_id table, uint32_t key);
bool delete_key(node_id table, uint32_t key);

// ---- Symbols -----------------------------------------------------------------------------
// Symbol table: the id (block position + 1) of a UTF-8 spelling. Exact bytes answer their
// id; a spelling found only ignoring ASCII case answers that symbol's id when `caseless`,
// else becomes a new symbol aliased to it; an unknown spelling becomes a symbol with alias
// -1. A symbol record: header 13, payload 1 alias, payload 2 0 (spelling string made
// later), payload 3 a byte series of the name with a NUL after its tail.
int32_t intern_string(node_id table, const uint8_t* bytes, uint32_t length, bool caseless);
// Context word lists: the index of the symbol's word (case variants match when
// `case_insensitive`, an exact spelling preferred), or -1. With a context node, a missing
// symbol is appended as a word! bound to it; its index goes to `out_index` (a found one's
// too) and -1 is answered.
int32_t find_symbol(node_id table, uint32_t symbol, bool case_insensitive, node_id context, int32_t* out_index);

// The symbol table the runtime interns into (0 until made), and the canonical id of a
// symbol: its alias when it has one, else itself.
extern node_id symbol_table;
uint32_t symbol_resolve(uint32_t symbol);

// ---- Collector support -------------------------------------------------------------------
// What the collector lends the marking: `mark_node` sets a node's mark and answers true when
// it was not set before; `mark_cells` marks the values of [first, last), which lie in a
// buffer already marked.
struct marker {
  bool (*mark_node)(node_id node);
  void (*mark_cells)(cell* first, cell* last);
};
// Marks the record and every array; kind 4 also the key series of each live entry (with its
// cells when it holds cells); last the block, with its cells when newly marked. The arrays are
// marked even when the record was marked already (as a plain series, from the machine stack).
void mark(node_id table, const marker& with);
// Hands the collector the marker of tables, so that a cycle walks their arrays.
void init();
// After marking, by the series mark bits: deletes each live entry of the owners table whose
// key series, or owner's context, is unmarked, clearing its head cell. Other kinds: nothing.
void sweep(node_id table);
// Tables hold nothing outside their series.
inline void release(node_id) {}

}  // namespace tav::hashtable
