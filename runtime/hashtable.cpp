// Hash tables: creation, probing, growth, the hash! position index, integer-keyed entries,
// symbol interning and the collector's marking and sweeping.
#include "runtime/hashtable.hpp"

#include "runtime/collector.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#include "runtime/array.hpp"
#include "runtime/case_folding.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/murmur.hpp"
#include "runtime/series.hpp"

namespace tav::hashtable {

compare_fn compare_hook = default_compare;
preprocess_fn preprocess_key_hook = default_preprocess_key;
node_id symbol_table = 0;

namespace {

// The type ids this module tells apart.
namespace type {
enum : uint8_t {
  datatype = 1, unset = 2, none = 3, logic = 4, block = 5, paren = 6, string = 7, file = 8, url = 9,
  char_ = 10, integer = 11, float_ = 12, symbol = 13, word = 15, set_word = 16, lit_word = 17,
  get_word = 18, refinement = 19, issue = 20, native = 21, action = 22, op = 23, function = 24,
  path = 25, lit_path = 26, set_path = 27, get_path = 28, routine = 29, triple = 31, object = 32,
  typeset = 33, error = 34, hash = 36, pair = 37, percent = 38, tuple = 39, map = 40, binary = 41,
  time = 43, tag = 44, email = 45, handle = 46, date = 47, port = 48, money = 49, ref = 50,
  point2d = 51, point3d = 52, image = 53, event = 54,
};
}  // namespace type

constexpr double load_factor = 0.77;
constexpr uint8_t all_empty = 0xAA;      // four buckets per byte, each flagged empty
constexpr uint32_t no_bucket = 0xFFFFFFFF;
constexpr uint32_t shift_limit = 30000;
constexpr uint32_t max_buckets = 1u << 28;  // keeps every array inside the largest buffer
constexpr uint32_t money_sign = 0x4000;
constexpr uint32_t entry_live = 2;  // header of a used entry's head cell (kinds 3-4)
constexpr uint32_t owner_cell = 2;  // owners table: cells of an entry are key, value, owner, word

// Node ids never move in this build, so the count of cycles that moved nodes stays 0 and a
// stamp is always this.
constexpr uint32_t node_epoch = 1;

bool word_type_p(uint8_t t) { return t >= type::word && t <= type::issue; }
bool string_type_p(uint8_t t) {
  return t == type::string || t == type::file || t == type::url || t == type::tag || t == type::email ||
         t == type::ref;
}
// Keys whose hash involves a node id.
bool node_hash_p(uint8_t t) {
  return t == type::block || t == type::paren || (t >= type::native && t <= type::get_path) || t == type::object ||
         t == type::error || t == type::hash || t == type::map || t == type::port || t == type::image ||
         t == type::event;
}

[[gnu::cold, noreturn]] void too_large() { fire(error_id::internal_no_memory); }

// ---- Sizes -------------------------------------------------------------------------------

uint32_t next_pow2(uint64_t v) {
  if (v > max_buckets) too_large();
  return std::max<uint32_t>(4, std::bit_ceil(static_cast<uint32_t>(std::max<uint64_t>(v, 1))));
}
uint32_t bound_at_creation(uint32_t buckets) { return static_cast<uint32_t>(buckets * load_factor); }
uint32_t bound_after_resize(uint32_t buckets) { return static_cast<uint32_t>(buckets * load_factor + 0.5); }

// ---- Flags -------------------------------------------------------------------------------

uint32_t flag_bits(const uint32_t* flags, uint32_t i) { return (flags[i >> 4] >> ((i & 15) << 1)) & 3; }
bool empty_p(const uint32_t* flags, uint32_t i) { return flag_bits(flags, i) & 2; }
bool in_use_p(const uint32_t* flags, uint32_t i) { return flag_bits(flags, i) == 0; }
void set_in_use(uint32_t* flags, uint32_t i) { flags[i >> 4] &= ~(3u << ((i & 15) << 1)); }
void set_deleted(uint32_t* flags, uint32_t i) { flags[i >> 4] |= 1u << ((i & 15) << 1); }

// ---- Access ------------------------------------------------------------------------------

record* rec(node_id table) { return reinterpret_cast<record*>(buffer_of(table)->data()); }
uint32_t* words(node_id node) { return reinterpret_cast<uint32_t*>(buffer_of(node)->data()); }

// Raw pointers into a table's series; open again after anything that allocates.
struct view {
  record* r;
  uint32_t* flags;
  int32_t* keys;
  cell* cells;      // the block from its head
  uint32_t length;  // cells in the block
  uint8_t* bytes() const { return reinterpret_cast<uint8_t*>(cells); }
};

[[gnu::always_inline]] inline view open(node_id table) {
  record* r = rec(table);
  series_buffer* block = buffer_of(r->block);
  return {r, words(r->flags), reinterpret_cast<int32_t*>(words(r->keys)), block->cells(), block->count()};
}

[[gnu::always_inline]] inline uint32_t chain_of(const record& r, int32_t key) { return words(r.chains)[uint32_t(-key) - 1]; }

// The items of a hash! bucket: its one position, or its chain.
struct positions_span {
  const uint32_t* chain;  // null for a single position
  uint32_t count;
  uint32_t single;
  const uint32_t* begin() const { return chain ? chain : &single; }
  const uint32_t* end() const { return begin() + count; }
  uint32_t operator[](uint32_t i) const { return begin()[i]; }
};
[[gnu::always_inline]] inline positions_span bucket_positions(const record& r, const int32_t* keys, uint32_t b) {
  if (keys[b] >= 0) return {nullptr, 1, static_cast<uint32_t>(keys[b])};
  series_buffer* chain = buffer_of(chain_of(r, keys[b]));
  return {reinterpret_cast<const uint32_t*>(chain->head()), chain->used() / 4, 0};
}

// The block position whose cell stands for a bucket's key (kinds 0-2).
[[gnu::always_inline]] inline uint32_t key_position(const record& r, const int32_t* keys, uint32_t b) {
  if (keys[b] >= 0) [[likely]]
    return static_cast<uint32_t>(keys[b]);
  // A chain in use is never empty: its bucket is freed with its last position.
  return *reinterpret_cast<const uint32_t*>(buffer_of(chain_of(r, keys[b]))->head());
}

[[gnu::always_inline]] inline cell* entry_at(const view& v, int32_t offset) { return reinterpret_cast<cell*>(v.bytes() + offset); }

// ---- Probing -----------------------------------------------------------------------------

struct probe_result {
  uint32_t bucket;  // the match; on a miss the first deleted bucket met, else the empty one
  bool found;
};

// Quadratic probing; the walk also ends when it comes back to its first bucket (then a miss
// may answer no_bucket).
template <class Match>
[[gnu::always_inline]] inline probe_result probe(const uint32_t* flags, uint32_t buckets, uint32_t hash, Match match) {
  uint32_t mask = buckets - 1, b = hash & mask, first = b, step = 0, free = no_bucket;
  for (;;) {
    uint32_t bits = flag_bits(flags, b);
    if (bits & 2) return {free != no_bucket ? free : b, false};
    if (bits & 1) {
      if (free == no_bucket) free = b;
    } else if (match(b)) {
      return {b, true};
    }
    b = (b + ++step) & mask;
    if (b == first) return {free, false};
  }
}

// The bucket holding a matching key, or no_bucket. Lookups remember no deleted bucket, so
// their walk is the shorter one.
template <class Match>
[[gnu::always_inline]] inline uint32_t lookup(const uint32_t* flags, uint32_t buckets, uint32_t hash, Match match) {
  uint32_t mask = buckets - 1, b = hash & mask, first = b, step = 0;
  for (;;) {
    uint32_t bits = flag_bits(flags, b);
    if (bits == 0 && match(b)) return b;
    if (bits & 2) return no_bucket;
    b = (b + ++step) & mask;
    if (b == first) return no_bucket;
  }
}

// Stores a key at a probed miss.
void occupy(view& v, uint32_t bucket, int32_t key) {
  if (empty_p(v.flags, bucket)) ++v.r->used;
  set_in_use(v.flags, bucket);
  v.keys[bucket] = key;
  ++v.r->count;
}

// A map! keeps each bucket's hash beside its key, so that growth and rebuilds never hash a key
// again and probes compare hashes before keys.
[[gnu::always_inline]] inline uint32_t* map_hashes(const record& r) {
  return r.kind == map_kind ? reinterpret_cast<uint32_t*>(buffer_of(r.positions)->data()) : nullptr;
}

// ---- Hashing helpers ---------------------------------------------------------------------

uint32_t fold_upper(uint32_t c) {
  if (c < 0x80) return c - ((c - 'a' < 26u) ? 32u : 0u);
  return case_folding::change_char(c, true);
}

template <class Unit>
uint32_t mix_units(uint32_t h, const uint8_t* data, uint32_t n, bool case_sensitive) {
  const Unit* units = reinterpret_cast<const Unit*>(data);
  if (case_sensitive)
    for (uint32_t i = 0; i < n; ++i) h = murmur::mix(h, units[i]);
  else
    for (uint32_t i = 0; i < n; ++i) h = murmur::mix(h, fold_upper(units[i]));
  return h;
}

// Characters from the value's head to the tail of its series.
struct text_run {
  const uint8_t* data;
  uint32_t count;
  uint32_t unit;
};
text_run text_of(const cell& value) {
  if (value.payload2 == 0) return {nullptr, 0, 1};
  series_buffer* buffer = buffer_of(value.payload2);
  uint32_t total = buffer->count();
  uint32_t head = std::min(value.payload1, total);
  return {buffer->head() + head * buffer->unit(), total - head, buffer->unit()};
}

uint32_t unit_at(const text_run& t, uint32_t i) {
  switch (t.unit) {
    case 1: return t.data[i];
    case 2: {
      uint16_t u;
      std::memcpy(&u, t.data + i * 2, 2);
      return u;
    }
    default: {
      uint32_t u;
      std::memcpy(&u, t.data + i * 4, 4);
      return u;
    }
  }
}

uint32_t string_hash(const cell& value, bool case_sensitive) {
  text_run t = text_of(value);
  uint32_t h = murmur_seed;
  switch (t.unit) {
    case 1: h = mix_units<uint8_t>(h, t.data, t.count, case_sensitive); break;
    case 2: h = mix_units<uint16_t>(h, t.data, t.count, case_sensitive); break;
    default: h = mix_units<uint32_t>(h, t.data, t.count, case_sensitive); break;
  }
  return murmur::finish(h, t.count * 4);
}

// A-Z to a-z in each byte of a 32-bit block, other bytes (UTF-8 ones too) untouched.
uint32_t lower_ascii4(uint32_t block) {
  uint32_t seven = block & 0x7F7F7F7F;
  uint32_t above_z = seven + 0x25252525;
  uint32_t from_a = seven + 0x3F3F3F3F;
  uint32_t upper = ~block & (from_a ^ above_z) & 0x80808080;
  return block | (upper >> 2);
}

uint8_t lower_ascii(uint8_t c) { return static_cast<uint8_t>(uint32_t{c} - 'A' < 26u ? c + 32 : c); }

uint32_t name_hash(const uint8_t* bytes, uint32_t length) {
  uint32_t h = murmur_seed, blocks = length / 4;
  for (uint32_t i = 0; i < blocks; ++i) {
    uint32_t block;
    std::memcpy(&block, bytes + i * 4, 4);
    h = murmur::mix(h, lower_ascii4(block));
  }
  uint8_t tail[3] = {};
  for (uint32_t i = 0; i < (length & 3); ++i) tail[i] = lower_ascii(bytes[blocks * 4 + i]);
  h = murmur::mix_tail(h, tail, length & 3);
  return murmur::finish(h, length);
}

bool same_ignoring_ascii_case(const uint8_t* a, const uint8_t* b, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    if (lower_ascii(a[i]) != lower_ascii(b[i])) return false;
  return true;
}

struct name_bytes {
  const uint8_t* data;
  uint32_t length;
};
name_bytes name_of(const cell& symbol) {
  if (symbol.payload3 == 0) return {nullptr, 0};
  series_buffer* buffer = buffer_of(symbol.payload3);
  return {buffer->head(), buffer->used()};
}

uint32_t payload_hash(const cell& value, uint32_t first_word, uint32_t length) {
  uint32_t payload[3] = {value.payload1, value.payload2, value.payload3};
  return murmur3_32(payload + first_word, length);
}

// ---- Key equality ------------------------------------------------------------------------

uint32_t symbol_of(const cell& key, uint32_t position) {
  return key.type() == type::symbol ? position + 1 : key.payload2;
}

// Symbols: records compare their names, words their symbol ids (resolved unless exact).
bool symbol_key_equal(const cell& stored, uint32_t stored_position, const cell& key, uint32_t key_position,
                      bool exact) {
  if (stored.type() == type::symbol && key.type() == type::symbol) {
    name_bytes a = name_of(stored), b = name_of(key);
    if (a.length != b.length) return false;
    return exact ? std::memcmp(a.data, b.data, a.length) == 0 : same_ignoring_ascii_case(a.data, b.data, a.length);
  }
  uint32_t s = symbol_of(stored, stored_position), k = symbol_of(key, key_position);
  return s == k || (!exact && symbol_resolve(s) == symbol_resolve(k));
}

// Equality under an equality op. Integers and characters are equal exactly when their values
// are, whatever the comparison installed, so they skip the call.
[[gnu::always_inline]] inline bool key_equal(const cell& a, const cell& b, int32_t op) {
  if ((a.type() == type::integer || a.type() == type::char_) && a.type() == b.type()) return a.payload2 == b.payload2;
  return compare_hook(a, b, op) != 0;
}

[[gnu::always_inline]] inline bool hash_key_equal(const cell& stored, const cell& key) {
  return stored.type() == key.type() && key_equal(stored, key, 0);
}

// ---- Arrays of the hash! kind ------------------------------------------------------------

uint32_t positions_capacity(const record& r) { return buffer_of(r.positions)->size / 4; }

// The per-position bucket words cover position `last`; grown to twice that, 0xFF-filled.
void ensure_positions(node_id table, uint32_t last) {
  record* r = rec(table);
  if (last < positions_capacity(*r)) return;
  uint64_t bytes = (uint64_t{last} + 1) * 8;
  if (bytes > max_series_size) too_large();
  expand_series_filled(buffer_of(r->positions), static_cast<int64_t>(bytes), 0xFF);
}

uint32_t* positions_of(const record& r) { return words(r.positions); }

void refresh_positions(node_id table) {
  view v = open(table);
  uint32_t* positions = positions_of(*v.r);
  uint32_t capacity = positions_capacity(*v.r);
  for (uint32_t b = 0; b < v.r->buckets; ++b) {
    if (!in_use_p(v.flags, b)) continue;
    for (uint32_t p : bucket_positions(*v.r, v.keys, b))
      if (p < capacity) positions[p] = b + 1;
  }
}

// ---- Creation pieces ---------------------------------------------------------------------

node_id new_flags(uint32_t buckets) { return alloc_bytes_filled(buckets / 4, all_empty); }
node_id new_keys(uint32_t buckets) { return alloc_bytes_filled(buckets * 4, 0); }

void hash_grow(node_id table);
void keyed_grow(node_id table);
int32_t put_hash(node_id table, uint32_t position);
int32_t put_block_key(node_id table, uint32_t position, uint32_t* existing);

// Stores a key known to be absent (kinds 1-2), growing first when at the bound.
void insert_new(node_id table, uint32_t hash, uint32_t position) {
  if (rec(table)->used >= rec(table)->upper_bound) keyed_grow(table);
  view v = open(table);
  probe_result at = probe(v.flags, v.r->buckets, hash, [](uint32_t) { return false; });
  occupy(v, at.bucket, static_cast<int32_t>(position));
  if (uint32_t* hashes = map_hashes(*v.r)) hashes[at.bucket] = hash;
}

uint32_t block_key_hash(const cell& key) { return hash_value(key); }

// ---- hash! ------------------------------------------------------------------------------

int32_t put_hash(node_id table, uint32_t position) {
  record* r = rec(table);
  if (r->used >= r->upper_bound) {
    hash_grow(table);
    return 2;
  }
  ensure_positions(table, position);
  view v = open(table);
  const cell key = v.cells[position];
  if (node_hash_p(key.type())) v.r->stamp = node_epoch;
  probe_result at = probe(v.flags, v.r->buckets, hash_value(key), [&](uint32_t b) {
    return hash_key_equal(v.cells[key_position(*v.r, v.keys, b)], key);
  });
  if (!at.found) {
    occupy(v, at.bucket, static_cast<int32_t>(position));
    positions_of(*v.r)[position] = at.bucket + 1;
    return 0;
  }
  node_id chain;
  if (v.keys[at.bucket] >= 0) {
    int32_t first = v.keys[at.bucket];
    chain = array::make(4, 4);
    array::append_int(chain, first);
    node_id chains = rec(table)->chains;
    array::append_ptr(chains, chain);
    reinterpret_cast<int32_t*>(words(rec(table)->keys))[at.bucket] = -static_cast<int32_t>(array::length(chains));
  } else {
    chain = chain_of(*v.r, v.keys[at.bucket]);
  }
  array::append_int(chain, static_cast<int32_t>(position));
  positions_of(*rec(table))[position] = at.bucket + 1;
  return 1;
}

void hash_grow(node_id table) {
  record* r = rec(table);
  rebuild(table, 2 * r->count < r->buckets ? r->buckets - 1 : r->buckets + 1);
}

// Removes one position's entry from a hash!, repairing its chain.
void delete_position(node_id table, uint32_t position) {
  view v = open(table);
  if (position >= positions_capacity(*v.r)) return;
  uint32_t* positions = positions_of(*v.r);
  uint32_t b = positions[position] - 1;
  positions[position] = no_bucket;
  if (b >= v.r->buckets || !in_use_p(v.flags, b)) return;
  int32_t key = v.keys[b];
  if (key >= 0) {
    if (static_cast<uint32_t>(key) != position) return;
    set_deleted(v.flags, b);
    --v.r->count;
    return;
  }
  node_id chain = chain_of(*v.r, key);
  int32_t at = array::find_int(chain, static_cast<int32_t>(position));
  if (at < 0) return;
  array::remove_at(chain, static_cast<uint32_t>(at), 4);
  if (array::length(chain) == 0) {
    set_deleted(v.flags, b);
    --v.r->count;
  }
}

// Applies `move` to every stored position of a hash!.
template <class Move>
void remap_positions(node_id table, Move move) {
  view v = open(table);
  for (uint32_t b = 0; b < v.r->buckets; ++b) {
    if (!in_use_p(v.flags, b)) continue;
    if (v.keys[b] >= 0) {
      v.keys[b] = static_cast<int32_t>(move(static_cast<uint32_t>(v.keys[b])));
      continue;
    }
    node_id chain = chain_of(*v.r, v.keys[b]);
    auto* items = reinterpret_cast<uint32_t*>(array::data(chain));
    for (uint32_t i = 0, n = array::length(chain); i < n; ++i) items[i] = move(items[i]);
  }
}

cell* find_in_hash(node_id table, const cell& key, uint32_t start, int32_t skip, int32_t op, bool last,
                   bool reverse) {
  view v = open(table);
  uint32_t bucket = lookup(v.flags, v.r->buckets, hash_value(key), [&](uint32_t b) {
    return hash_key_equal(v.cells[key_position(*v.r, v.keys, b)], key);
  });
  if (bucket == no_bucket) return nullptr;
  // The bucket's own position already compared equal under op 0.
  uint32_t compared = op == 0 ? key_position(*v.r, v.keys, bucket) : no_bucket;
  uint32_t step = skip > 1 ? static_cast<uint32_t>(skip) : 1;
  uint32_t best = no_bucket;
  for (uint32_t p : bucket_positions(*v.r, v.keys, bucket)) {
    if (p >= v.length) continue;
    uint32_t distance = reverse ? start - p : p - start;
    bool wanted = (reverse ? p < start : p >= start) && (step == 1 || distance % step == 0);
    if (!wanted) continue;
    bool better = best == no_bucket || (reverse || last ? p > best : p < best);
    if (better && (p == compared || key_equal(v.cells[p], key, op))) best = p;
  }
  return best == no_bucket ? nullptr : v.cells + best;
}

// ---- map! and symbols --------------------------------------------------------------------

// Kinds 1-2: the equality a put uses (map!: op 2; symbols: exact).
bool keyed_equal(const view& v, uint32_t stored, const cell& key, uint32_t key_position) {
  if (v.r->kind == map_kind) return key_equal(v.cells[stored], key, 2);
  return symbol_key_equal(v.cells[stored], stored, key, key_position, true);
}

int32_t put_block_key(node_id table, uint32_t position, uint32_t* existing) {
  if (rec(table)->used >= rec(table)->upper_bound) keyed_grow(table);
  view v = open(table);
  const cell key = v.cells[position];
  const uint32_t hash = block_key_hash(key);
  const uint32_t* hashes = map_hashes(*v.r);
  probe_result at = probe(v.flags, v.r->buckets, hash, [&](uint32_t b) {
    return (!hashes || hashes[b] == hash) && keyed_equal(v, static_cast<uint32_t>(v.keys[b]), key, position);
  });
  if (at.found) {
    if (existing) *existing = static_cast<uint32_t>(v.keys[at.bucket]);
    return 1;
  }
  occupy(v, at.bucket, static_cast<int32_t>(position));
  if (uint32_t* stored = map_hashes(*v.r)) stored[at.bucket] = hash;
  return 0;
}

void keyed_grow(node_id table) {
  record* r = rec(table);
  bool sparse = 2 * r->count < r->buckets;
  if (r->kind == map_kind) {
    resize(table, r->buckets + 1);
  } else {
    resize(table, 16 * (sparse ? r->buckets - 1 : r->buckets + 1));
  }
}

// Moves the buckets of a kind 0-2 table in place to `buckets` (khash's scheme).
void resize_in_place(node_id table, uint32_t buckets) {
  record* r = rec(table);
  uint32_t old_buckets = r->buckets;
  uint32_t bound = bound_after_resize(buckets);
  uint32_t in_use = r->kind == map_kind ? r->used : r->count;
  if (in_use >= bound) return;
  node_id flags = new_flags(buckets);
  if (buckets > old_buckets) {
    series_buffer* keys = buffer_of(rec(table)->keys);
    if (keys->size < buckets * 4) expand_series(keys, buckets * 4);
    if (rec(table)->kind == map_kind) {
      series_buffer* hashes = buffer_of(rec(table)->positions);
      if (hashes->size < buckets * 4) expand_series(hashes, buckets * 4);
    }
  }
  view v = open(table);
  uint32_t* old_flags = v.flags;
  uint32_t* fresh = words(flags);
  uint32_t* hashes = map_hashes(*v.r);
  uint32_t mask = buckets - 1, moved = 0;
  auto hash_of = [&](int32_t key) { return block_key_hash(v.cells[key_position(*v.r, &key, 0)]); };
  for (uint32_t j = 0; j < old_buckets; ++j) {
    if (!in_use_p(old_flags, j)) continue;
    int32_t key = v.keys[j];
    uint32_t hash = hashes ? hashes[j] : hash_of(key);
    set_deleted(old_flags, j);
    ++moved;
    for (;;) {
      uint32_t i = hash & mask, step = 0;
      while (!empty_p(fresh, i)) i = (i + ++step) & mask;
      set_in_use(fresh, i);
      if (i < old_buckets && in_use_p(old_flags, i)) {
        std::swap(key, v.keys[i]);
        if (hashes)
          std::swap(hash, hashes[i]);
        else
          hash = hash_of(key);
        set_deleted(old_flags, i);
      } else {
        v.keys[i] = key;
        if (hashes) hashes[i] = hash;
        break;
      }
    }
  }
  v.r->flags = flags;
  v.r->buckets = buckets;
  v.r->upper_bound = bound;
  v.r->used = moved;
  buffer_of(v.r->keys)->tail = buckets * 4;
  if (v.r->kind == hash_kind) refresh_positions(table);
}

// ---- Kinds 3-4 ---------------------------------------------------------------------------

uint32_t entry_size(const record& r) { return r.positions; }

probe_result probe_entry(const view& v, uint32_t key) {
  return probe(v.flags, v.r->buckets, murmur::pointer_hash(key),
               [&](uint32_t b) { return entry_at(v, v.keys[b])->payload1 == key; });
}

[[gnu::always_inline]] inline uint32_t entry_bucket(const view& v, uint32_t key) {
  return lookup(v.flags, v.r->buckets, murmur::pointer_hash(key),
                [&](uint32_t b) { return entry_at(v, v.keys[b])->payload1 == key; });
}

// The live entries copied into a new block in their order and hashed into new arrays.
void rehash_entries(node_id table, uint32_t request) {
  uint32_t buckets = next_pow2(request);
  uint32_t bound = bound_after_resize(buckets);
  record* r = rec(table);
  if (r->count >= bound) return;
  uint32_t size = entry_size(*r), cells_per_entry = size / 16;
  node_id block = alloc_cells(std::max(r->count, 1u) * cells_per_entry);
  node_id flags = new_flags(buckets);
  node_id keys = new_keys(buckets);
  view v = open(table);
  series_buffer* fresh = buffer_of(block);
  uint32_t* fresh_flags = words(flags);
  auto* fresh_keys = reinterpret_cast<int32_t*>(words(keys));
  uint32_t used = v.length * 16, count = 0;
  for (uint32_t offset = 0; offset + size <= used; offset += size) {
    const cell* entry = entry_at(v, static_cast<int32_t>(offset));
    if (entry->header != entry_live) continue;
    uint32_t at = fresh->tail;
    std::memcpy(fresh->data() + at, entry, size);
    fresh->tail += size;
    uint32_t i = murmur::pointer_hash(entry->payload1) & (buckets - 1), step = 0;
    while (!empty_p(fresh_flags, i)) i = (i + ++step) & (buckets - 1);
    set_in_use(fresh_flags, i);
    fresh_keys[i] = static_cast<int32_t>(at);
    ++count;
  }
  *v.r = record{count, size, 0, flags, keys, block, count, buckets, bound, v.r->kind, node_epoch};
}

void grow_entries(node_id table) {
  record* r = rec(table);
  rehash_entries(table, 2 * r->count < r->buckets ? r->buckets - 1 : r->buckets + 1);
}

// ---- Symbols -----------------------------------------------------------------------------

uint32_t resolve_in(node_id table, uint32_t symbol) {
  series_buffer* block = buffer_of(rec(table)->block);
  if (symbol == 0 || symbol > block->count()) return symbol;
  auto alias = static_cast<int32_t>(block->cells()[symbol - 1].payload1);
  return alias > 0 ? static_cast<uint32_t>(alias) : symbol;
}

uint32_t new_symbol(node_id table, const uint8_t* bytes, uint32_t length, int32_t alias) {
  node_id name = alloc_bytes(length + 1);
  series_buffer* buffer = buffer_of(name);
  if (length) std::memcpy(buffer->data(), bytes, length);
  buffer->data()[length] = 0;
  buffer->tail = length;
  series_buffer* block = buffer_of(rec(table)->block);
  uint32_t position = block->count();
  *alloc_tail(block) = cell{type::symbol, static_cast<uint32_t>(alias), 0, name};
  return position;
}

// ---- Default hooks -----------------------------------------------------------------------

bool same_text(const cell& a, const cell& b, bool case_sensitive) {
  text_run x = text_of(a), y = text_of(b);
  if (x.count != y.count) return false;
  for (uint32_t i = 0; i < x.count; ++i) {
    uint32_t p = unit_at(x, i), q = unit_at(y, i);
    if (p != q && (case_sensitive || fold_upper(p) != fold_upper(q))) return false;
  }
  return true;
}

}  // namespace

record& record_of(node_id table) { return *rec(table); }

int32_t default_compare(const cell& a, const cell& b, int32_t op) {
  if (op == 9) return a.header == b.header && a.payload1 == b.payload1 && a.payload2 == b.payload2 &&
                      a.payload3 == b.payload3;
  if (word_type_p(a.type()) && word_type_p(b.type()))
    return op == 2 ? a.payload2 == b.payload2 : symbol_resolve(a.payload2) == symbol_resolve(b.payload2);
  if (a.type() != b.type()) return 0;
  if (string_type_p(a.type())) return same_text(a, b, op == 2);
  return a.payload1 == b.payload1 && a.payload2 == b.payload2 && a.payload3 == b.payload3;
}

void default_preprocess_key(cell& key) {
  if (key.type() >= type::word && key.type() <= type::get_word) set_type(key, type::set_word);
}

uint32_t murmur3_32(const void* bytes, uint32_t length) { return murmur::hash(bytes, length, murmur_seed); }

uint32_t hash_value(const cell& key, bool case_sensitive) {
  switch (key.type()) {
    case type::unset: return 0xFFFFFFFE;
    case type::none: return 0xFFFFFFFF;
    case type::datatype: case type::logic: case type::object: case type::error: case type::port:
      return murmur::pointer_hash(key.payload1);
    case type::char_: case type::integer: case type::map: case type::handle: case type::event:
      return murmur::pointer_hash(key.payload2);
    case type::native: case type::action:
      return murmur::pointer_hash(key.payload3);
    case type::word: case type::set_word: case type::lit_word: case type::get_word: case type::refinement:
    case type::issue:
      return murmur::pointer_hash(symbol_resolve(key.payload2));
    case type::block: case type::paren: case type::path: case type::lit_path: case type::set_path:
    case type::get_path: case type::hash: case type::point2d: case type::image:
      return payload_hash(key, 0, 8);
    case type::float_: case type::percent: case type::time: {
      // 0.0 and -0.0 are equal under every equality, so they hash alike.
      cell normal = key;
      if (normal.payload2 == 0 && (normal.payload3 & 0x7FFFFFFF) == 0) normal.payload3 = 0;
      return payload_hash(normal, 1, 8);
    }
    case type::pair:
      return payload_hash(key, 1, 8);
    // A point3D! keeps its three components in the three payload words.
    case type::point3d: case type::op: case type::function: case type::triple: case type::typeset:
    case type::date:
      return payload_hash(key, 0, 12);
    case type::tuple:
      return payload_hash(key, 0, std::min<uint32_t>((key.header >> 19) & 15, 12));
    case type::binary: {
      if (key.payload2 == 0) return murmur3_32(nullptr, 0);
      series_buffer* buffer = buffer_of(key.payload2);
      uint32_t head = std::min(key.payload1, buffer->used());
      return murmur3_32(buffer->head() + head, buffer->used() - head);
    }
    case type::money: {
      cell normal = key;
      // -$0 equals $0, so a zero amount hashes without its sign.
      bool zero = (key.payload1 & ~0xFFu) == 0 && key.payload2 == 0 && key.payload3 == 0;
      normal.header = type::money | (zero ? 0 : key.header & money_sign);
      return murmur3_32(&normal, sizeof normal);
    }
    case type::string: case type::file: case type::url: case type::tag: case type::email: case type::ref:
      return string_hash(key, case_sensitive);
    case type::symbol: {
      name_bytes name = name_of(key);
      return name_hash(name.data, name.length);
    }
    default: return 0;
  }
}

uint32_t symbol_resolve(uint32_t symbol) { return symbol_table ? resolve_in(symbol_table, symbol) : symbol; }

node_id create(uint32_t size, node_id block, uint32_t kind, uint32_t value_cells) {
  if (kind > owners_kind) fire(error_id::internal_not_done);
  if (kind == symbol_kind && block != 0 && value_cells == 2) return copy(block);
  if (kind == symbol_kind && size >= 4000) size *= 2;
  bool entries = kind >= integer_kind;
  uint32_t wanted = std::max(size, 4u);
  uint32_t buckets = next_pow2(static_cast<uint64_t>(wanted / load_factor));
  node_id table = alloc_bytes(sizeof(record));
  buffer_of(table)->tail = sizeof(record);
  record fields{};
  fields.kind = kind;
  fields.buckets = buckets;
  fields.upper_bound = bound_at_creation(buckets);
  if (entries) {
    fields.positions = 16 + 16 * value_cells;
    fields.stamp = node_epoch;
  }
  fields.flags = new_flags(buckets);
  fields.keys = new_keys(buckets);
  if (kind == map_kind) fields.positions = new_keys(buckets);
  if (kind == hash_kind) {
    fields.positions = alloc_bytes_filled(wanted * 4, 0xFF);
    fields.chains = array::make(4, 4);
  }
  bool given = block != 0 && !entries;
  fields.block = given ? block : alloc_cells(std::max(size, 1u));
  *rec(table) = fields;
  if (given) put_all(table, 0, kind == map_kind ? 2 : 1);
  return table;
}

int32_t put(node_id table, const cell* key) {
  record* r = rec(table);
  if (r->kind > symbol_kind) return 1;
  series_buffer* block = buffer_of(r->block);
  auto position = static_cast<uint32_t>(key - block->cells());
  if (position >= block->count()) return 1;
  if (r->kind == hash_kind) return put_hash(table, position);
  return put_block_key(table, position, nullptr);
}

void put_all(node_id table, uint32_t first, uint32_t step) {
  uint32_t kind = rec(table)->kind;
  if (kind > symbol_kind) return;
  if (kind != map_kind) {
    step = std::max(step, 1u);
    for (uint32_t p = first; p < buffer_of(rec(table)->block)->count(); p += step) {
      int32_t done = kind == hash_kind ? put_hash(table, p) : put_block_key(table, p, nullptr);
      if (done == 2) return;
    }
    return;
  }
  uint32_t p = first;
  while (p + 1 < buffer_of(rec(table)->block)->count()) {
    preprocess_key_hook(buffer_of(rec(table)->block)->cells()[p]);
    uint32_t existing = 0;
    if (put_block_key(table, p, &existing) == 0 || existing == p) {
      p += 2;
      continue;
    }
    series_buffer* block = buffer_of(rec(table)->block);
    cell* cells = block->cells();
    if (cells[existing + 1].header == 0) ++rec(table)->count;
    cells[existing + 1] = cells[p + 1];
    std::memmove(cells + p, cells + p + 2, (block->count() - p - 2) * sizeof(cell));
    block->tail -= 2 * sizeof(cell);
  }
}

cell* find(node_id table, const cell& key, uint32_t start, int32_t skip, int32_t op, bool last, bool reverse) {
  record* r = rec(table);
  if (r->kind == hash_kind) return find_in_hash(table, key, start, skip, op, last, reverse);
  if (r->kind > symbol_kind) return nullptr;
  view v = open(table);
  cell wanted = key;
  if (r->kind == map_kind) {
    if (wanted.type() >= type::word && wanted.type() <= type::get_word) set_type(wanted, type::set_word);
    const uint32_t hash = block_key_hash(wanted);
    const uint32_t* hashes = map_hashes(*r);
    uint32_t bucket = lookup(v.flags, r->buckets, hash, [&](uint32_t b) {
      return hashes[b] == hash && key_equal(v.cells[v.keys[b]], wanted, op);
    });
    return bucket != no_bucket ? v.cells + v.keys[bucket] : nullptr;
  }
  bool exact = op == 2 || op == 9;
  uint32_t bucket = lookup(v.flags, r->buckets, block_key_hash(wanted), [&](uint32_t b) {
    auto p = static_cast<uint32_t>(v.keys[b]);
    return symbol_key_equal(v.cells[p], p, wanted, no_bucket, exact);
  });
  return bucket != no_bucket ? v.cells + v.keys[bucket] : nullptr;
}

cell* find_next(node_id table, const cell& key, int32_t& saved, int32_t op) {
  record* r = rec(table);
  if (r->kind > symbol_kind) return nullptr;
  view v = open(table);
  cell wanted = key;
  if (r->kind == map_kind && wanted.type() >= type::word && wanted.type() <= type::get_word)
    set_type(wanted, type::set_word);
  uint32_t hash = block_key_hash(wanted);
  if (r->kind == hash_kind) {
    uint32_t bucket = lookup(v.flags, r->buckets, hash, [&](uint32_t b) {
      return hash_key_equal(v.cells[key_position(*v.r, v.keys, b)], wanted);
    });
    if (bucket == no_bucket) return nullptr;
    positions_span items = bucket_positions(*v.r, v.keys, bucket);
    for (uint32_t i = static_cast<uint32_t>(saved + 1); i < items.count; ++i) {
      uint32_t p = items[i];
      if (p < v.length && key_equal(v.cells[p], wanted, op)) {
        saved = static_cast<int32_t>(i);
        return v.cells + p;
      }
    }
    return nullptr;
  }
  uint32_t mask = r->buckets - 1;
  uint64_t steps = saved < 0 ? 0 : static_cast<uint64_t>(saved) + 1;
  uint32_t b = static_cast<uint32_t>((hash + steps * (steps + 1) / 2) & mask);
  bool exact = op == 2 || op == 9;
  for (; steps < r->buckets; b = (b + static_cast<uint32_t>(++steps)) & mask) {
    if (empty_p(v.flags, b)) return nullptr;
    if (!in_use_p(v.flags, b)) continue;
    auto p = static_cast<uint32_t>(v.keys[b]);
    bool equal = r->kind == map_kind ? key_equal(v.cells[p], wanted, op)
                                     : symbol_key_equal(v.cells[p], p, wanted, no_bucket, exact);
    if (equal) {
      saved = static_cast<int32_t>(steps);
      return v.cells + p;
    }
  }
  return nullptr;
}

void delete_at(node_id table, const cell* key) {
  record* r = rec(table);
  if (r->kind > symbol_kind) return;
  view v = open(table);
  auto position = static_cast<uint32_t>(key - v.cells);
  if (position >= v.length) return;
  if (r->kind == hash_kind) return delete_position(table, position);
  if (r->kind == map_kind) {
    if (position + 1 < v.length && v.cells[position + 1].header != 0) {
      v.cells[position + 1].header = 0;
      --r->count;
    }
    return;
  }
  uint32_t bucket = lookup(v.flags, r->buckets, block_key_hash(*key),
                           [&](uint32_t b) { return static_cast<uint32_t>(v.keys[b]) == position; });
  if (bucket == no_bucket) return;
  set_deleted(v.flags, bucket);
  --r->count;
}

void clear(node_id table) {
  record* r = rec(table);
  r->count = 0;
  r->used = 0;
  series_buffer* flags = buffer_of(r->flags);
  std::memset(flags->data(), all_empty, flags->size);
  if (r->kind == hash_kind) {
    array::clear(r->chains);
    series_buffer* positions = buffer_of(r->positions);
    std::memset(positions->data(), 0xFF, positions->size);
  }
  if (r->kind != hash_kind && r->kind != symbol_kind) {
    series_buffer* block = buffer_of(r->block);
    block->tail = block->offset;
  }
}

void clear_part(node_id table, uint32_t first, uint32_t count) {
  record* r = rec(table);
  uint32_t length = buffer_of(r->block)->count();
  if (first == 0 && count >= length) return clear(table);
  if (r->kind > symbol_kind) return;
  uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{first} + count, length));
  for (uint32_t p = first; p < end; ++p) {
    if (rec(table)->kind == hash_kind) {
      delete_position(table, p);
    } else if (rec(table)->kind == symbol_kind || p % 2 == 0) {
      delete_at(table, buffer_of(rec(table)->block)->cells() + p);
    }
  }
}

void rebuild(node_id table, uint32_t count) {
  record* r = rec(table);
  if (r->kind > symbol_kind) return;
  uint32_t length = buffer_of(r->block)->count();
  // Every cell of the block is put again, so the new size must hold them all.
  count = std::max(count, length);
  uint32_t buckets = next_pow2(static_cast<uint64_t>(std::ceil(count * 1.5)));
  node_id flags = new_flags(buckets);
  node_id keys = new_keys(buckets);
  if (r->kind == hash_kind) {
    if (length) ensure_positions(table, length - 1);
    r = rec(table);
    series_buffer* positions = buffer_of(r->positions);
    std::memset(positions->data(), 0xFF, positions->size);
    array::clear(r->chains);
  }
  node_id hashes = r->kind == map_kind ? new_keys(buckets) : 0;
  r = rec(table);
  if (hashes) r->positions = hashes;
  r->flags = flags;
  r->keys = keys;
  r->buckets = buckets;
  r->upper_bound = bound_at_creation(buckets);
  r->count = r->used = r->stamp = 0;
  uint32_t step = r->kind == map_kind ? 2 : 1;
  for (uint32_t p = 0; p < length; p += step) {
    if (rec(table)->kind == hash_kind) {
      put_hash(table, p);
      continue;
    }
    put_block_key(table, p, nullptr);
    // A map! pair deleted before keeps its place in the index but not in the count.
    if (step == 2 && (p + 1 >= length || buffer_of(rec(table)->block)->cells()[p + 1].header == 0))
      --rec(table)->count;
  }
}

void resize(node_id table, uint32_t request) {
  if (rec(table)->kind > symbol_kind) return rehash_entries(table, request);
  resize_in_place(table, next_pow2(request));
}

int32_t shift_index(node_id table, int32_t delta, uint32_t from, uint32_t count, bool adjust_positions) {
  if (count > shift_limit) return 1;
  if (rec(table)->kind != hash_kind || delta == 0) return 0;
  remap_positions(table, [&](uint32_t p) { return p >= from ? static_cast<uint32_t>(p + delta) : p; });
  if (!adjust_positions) return 0;
  uint32_t d = delta > 0 ? static_cast<uint32_t>(delta) : static_cast<uint32_t>(-int64_t{delta});
  if (delta > 0) ensure_positions(table, std::max(buffer_of(rec(table)->block)->count(), from) + d);
  record* r = rec(table);
  uint32_t capacity = positions_capacity(*r);
  uint32_t* positions = positions_of(*r);
  if (from >= capacity) return 0;
  if (delta > 0) {
    std::memmove(positions + from + d, positions + from, (capacity - from - d) * 4);
    std::fill(positions + from, positions + from + d, no_bucket);
  } else {
    uint32_t kept = from + d < capacity ? capacity - from - d : 0;
    std::memmove(positions + from, positions + from + d, kept * 4);
    std::fill(positions + from + kept, positions + capacity, no_bucket);
  }
  return 0;
}

void move_index(node_id table, uint32_t from, uint32_t to, uint32_t count) {
  if (rec(table)->kind != hash_kind || from == to || count == 0) return;
  uint32_t low = std::min(from, to), high = std::max(from, to) + count;
  auto moved = [&](uint32_t p) -> uint32_t {
    if (p < low || p >= high) return p;
    if (p >= from && p < from + count) return p - from + to;
    return to < from ? p + count : p - count;
  };
  remap_positions(table, moved);
  ensure_positions(table, high - 1);
  uint32_t* positions = positions_of(*rec(table));
  auto* saved = static_cast<uint32_t*>(heap_alloc((high - low) * 4));
  std::memcpy(saved, positions + low, (high - low) * 4);
  for (uint32_t p = low; p < high; ++p) positions[moved(p)] = saved[p - low];
  heap_free(saved);
}

node_id copy(node_id table, node_id block) {
  record fields = *rec(table);
  fields.flags = copy_series(buffer_of(fields.flags));
  fields.keys = copy_series(buffer_of(fields.keys));
  fields.block = block ? block : copy_series(buffer_of(fields.block));
  if (fields.kind == map_kind) fields.positions = copy_series(buffer_of(fields.positions));
  if (fields.kind == hash_kind) {
    fields.positions = copy_series(buffer_of(fields.positions));
    node_id source_chains = fields.chains;
    uint32_t n = array::length(source_chains);
    fields.chains = array::make(std::max(n, 4u), 4);
    for (uint32_t i = 1; i <= n; ++i) array::append_ptr(fields.chains, array::copy(array::pick_ptr(source_chains, i)));
  }
  node_id fresh = alloc_bytes(sizeof(record));
  buffer_of(fresh)->tail = sizeof(record);
  *rec(fresh) = fields;
  return fresh;
}

cell* put_key(node_id table, uint32_t key, const cell* values) {
  record* r = rec(table);
  if (r->kind < integer_kind) return nullptr;
  if (r->used >= r->upper_bound) grow_entries(table);
  view v = open(table);
  uint32_t size = entry_size(*v.r), value_count = size / 16 - 1;
  probe_result at = probe_entry(v, key);
  if (at.found) {
    cell* first = entry_at(v, v.keys[at.bucket]) + 1;
    if (values) std::copy(values, values + value_count, first);
    return first;
  }
  series_buffer* block = buffer_of(v.r->block);
  uint32_t offset = block->tail - block->offset;
  auto* entry = reinterpret_cast<cell*>(alloc_tail_bytes(block, size));
  entry[0] = cell{entry_live, key, 0, 0};
  for (uint32_t i = 1; i <= value_count; ++i) entry[i] = values ? values[i - 1] : cell{unset_header, 0, 0, 0};
  v = open(table);
  occupy(v, at.bucket, static_cast<int32_t>(offset));
  return entry_at(v, static_cast<int32_t>(offset)) + 1;
}

cell* get_key(node_id table, uint32_t key) {
  if (rec(table)->kind < integer_kind) return nullptr;
  view v = open(table);
  uint32_t bucket = entry_bucket(v, key);
  return bucket != no_bucket ? entry_at(v, v.keys[bucket]) + 1 : nullptr;
}

bool delete_key(node_id table, uint32_t key) {
  if (rec(table)->kind < integer_kind) return false;
  view v = open(table);
  uint32_t bucket = entry_bucket(v, key);
  if (bucket == no_bucket) return false;
  *entry_at(v, v.keys[bucket]) = cell{0, 0, 0, 0};
  set_deleted(v.flags, bucket);
  --v.r->count;
  return true;
}

int32_t intern_string(node_id table, const uint8_t* bytes, uint32_t length, bool caseless) {
  uint32_t hash = name_hash(bytes, length);
  view v = open(table);
  uint32_t variant = 0;
  uint32_t bucket = lookup(v.flags, v.r->buckets, hash, [&](uint32_t b) {
    name_bytes name = name_of(v.cells[v.keys[b]]);
    if (name.length != length) return false;
    if (std::memcmp(name.data, bytes, length) == 0) return true;
    if (variant == 0 && same_ignoring_ascii_case(name.data, bytes, length))
      variant = static_cast<uint32_t>(v.keys[b]) + 1;
    return false;
  });
  if (bucket != no_bucket) return v.keys[bucket] + 1;
  // Aliases always name the first spelling, so that resolving takes one step.
  uint32_t canonical = variant ? resolve_in(table, variant) : 0;
  if (caseless && canonical) return static_cast<int32_t>(canonical);
  uint32_t position = new_symbol(table, bytes, length, canonical ? static_cast<int32_t>(canonical) : -1);
  insert_new(table, hash, position);
  return static_cast<int32_t>(position + 1);
}

int32_t find_symbol(node_id table, uint32_t symbol, bool case_insensitive, node_id context, int32_t* out_index) {
  uint32_t canonical = symbol_resolve(symbol);
  uint32_t hash = murmur::pointer_hash(canonical);
  view v = open(table);
  int32_t variant = -1;
  uint32_t bucket = lookup(v.flags, v.r->buckets, hash, [&](uint32_t b) {
    uint32_t stored = v.cells[v.keys[b]].payload2;
    if (stored == symbol) return true;
    if (case_insensitive && variant < 0 && symbol_resolve(stored) == canonical) variant = v.keys[b];
    return false;
  });
  int32_t index = bucket != no_bucket ? v.keys[bucket] : variant;
  if (index >= 0 || context == 0) {
    if (out_index && index >= 0) *out_index = index;
    return index;
  }
  series_buffer* block = buffer_of(v.r->block);
  uint32_t position = block->count();
  *alloc_tail(block) = cell{type::word, context, symbol, position};
  insert_new(table, hash, position);
  if (out_index) *out_index = static_cast<int32_t>(position);
  return -1;
}

void mark(node_id table, const marker& with) {
  with.mark_node(table);
  record* r = rec(table);
  if (r->kind == hash_kind) {
    with.mark_node(r->positions);
    with.mark_node(r->chains);
    for (uint32_t i = 1, n = array::length(r->chains); i <= n; ++i) with.mark_node(array::pick_ptr(r->chains, i));
  }
  if (r->kind == map_kind) with.mark_node(r->positions);
  with.mark_node(r->flags);
  with.mark_node(r->keys);
  view v = open(table);
  if (r->kind == owners_kind) {
    for (uint32_t b = 0; b < r->buckets; ++b) {
      if (!in_use_p(v.flags, b)) continue;
      node_id key = entry_at(v, v.keys[b])->payload1;
      if (key == 0 || !with.mark_node(key)) continue;
      series_buffer* owned = buffer_of(key);
      if (owned->unit() == 16) with.mark_cells(owned->cells(), owned->cells() + owned->count());
    }
  }
  if (with.mark_node(r->block)) with.mark_cells(v.cells, v.cells + v.length);
}

void sweep(node_id table) {
  record* r = rec(table);
  if (r->kind != owners_kind) return;
  auto unmarked = [](node_id node) { return node != 0 && !(buffer_of(node)->flags & series_flag::marked); };
  bool has_owner = entry_size(*r) / 16 > owner_cell;
  view v = open(table);
  for (uint32_t b = 0; b < r->buckets; ++b) {
    if (!in_use_p(v.flags, b)) continue;
    cell* entry = entry_at(v, v.keys[b]);
    if (!unmarked(entry->payload1) && !(has_owner && unmarked(entry[owner_cell].payload1))) continue;
    *entry = cell{0, 0, 0, 0};
    set_deleted(v.flags, b);
    --r->count;
  }
}

void init() {
  collector::set_hashtable_marker([](node_id table) {
    mark(table, marker{collector::mark_node, [](cell* first, cell* last) { collector::mark_values(first, last); }});
  });
}

}  // namespace tav::hashtable
