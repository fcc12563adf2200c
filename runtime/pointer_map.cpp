// Pointer maps on the tracked heap: creation, put with growth, lookup.
#include "runtime/pointer_map.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "runtime/errors.hpp"
#include "runtime/heap.hpp"
#include "runtime/murmur.hpp"

namespace tav::pointer_maps {
namespace {

constexpr double load_factor = 0.77;
constexpr uint32_t max_buckets = 1u << 28;

uint32_t next_pow2(uint64_t v) {
  if (v > max_buckets) fire(error_id::internal_no_memory);
  return std::max<uint32_t>(4, std::bit_ceil(static_cast<uint32_t>(std::max<uint64_t>(v, 1))));
}

using detail::flag_bits;
void set_in_use(uint32_t* flags, uint32_t i) { flags[i >> 4] &= ~(3u << ((i & 15) << 1)); }

// At least one 32-bit word, so that four buckets still have a whole flags word.
uint32_t* new_flags(uint32_t buckets) {
  uint32_t bytes = std::max(buckets / 4, 4u);
  auto* flags = static_cast<uint32_t*>(heap_alloc(bytes));
  std::memset(flags, 0xAA, bytes);
  return flags;
}

// The bucket holding the key, or the one to take for it.
uint32_t probe(const pointer_map& map, uint32_t key, bool& found) {
  uint32_t mask = map.buckets - 1, b = murmur::pointer_hash(key) & mask, first = b, step = 0, free = ~0u;
  found = false;
  for (;;) {
    uint32_t bits = flag_bits(map.flags, b);
    if (bits & 2) break;
    if (bits & 1) {
      if (free == ~0u) free = b;
    } else if (map.pairs[2 * b] == key) {
      found = true;
      return b;
    }
    b = (b + ++step) & mask;
    if (b == first) return free;
  }
  return free != ~0u ? free : b;
}

void rehash(pointer_map* map, uint32_t request) {
  uint32_t buckets = next_pow2(request);
  uint32_t* flags = new_flags(buckets);
  auto* pairs = static_cast<uint32_t*>(heap_alloc(uint64_t{buckets} * 8));
  for (uint32_t b = 0; b < map->buckets; ++b) {
    if (flag_bits(map->flags, b) != 0) continue;
    uint32_t key = map->pairs[2 * b];
    uint32_t i = murmur::pointer_hash(key) & (buckets - 1), step = 0;
    while (!(flag_bits(flags, i) & 2)) i = (i + ++step) & (buckets - 1);
    set_in_use(flags, i);
    pairs[2 * i] = key;
    pairs[2 * i + 1] = map->pairs[2 * b + 1];
  }
  heap_free(map->flags);
  heap_free(map->pairs);
  map->flags = flags;
  map->pairs = pairs;
  map->buckets = buckets;
  map->used = map->count;
  map->upper_bound = static_cast<uint32_t>(buckets * load_factor + 0.5);
}

}  // namespace

pointer_map* create(uint32_t size) {
  auto* map = static_cast<pointer_map*>(heap_alloc(sizeof(pointer_map)));
  uint32_t buckets = next_pow2(static_cast<uint64_t>(std::max(size, 4u) / load_factor));
  *map = pointer_map{0, new_flags(buckets), static_cast<uint32_t*>(heap_alloc(uint64_t{buckets} * 8)), 0, buckets,
                     static_cast<uint32_t>(buckets * load_factor)};
  return map;
}

bool put(pointer_map* map, uint32_t key, uint32_t value) {
  if (map->used >= map->upper_bound)
    rehash(map, 2 * map->count < map->buckets ? map->buckets - 1 : map->buckets + 1);
  bool found;
  uint32_t b = probe(*map, key, found);
  if (!found) {
    if (flag_bits(map->flags, b) & 2) ++map->used;
    set_in_use(map->flags, b);
    map->pairs[2 * b] = key;
    ++map->count;
  }
  map->pairs[2 * b + 1] = value;
  return !found;
}

void destroy(pointer_map* map) {
  if (!map) return;
  heap_free(map->flags);
  heap_free(map->pairs);
  heap_free(map);
}

}  // namespace tav::pointer_maps
