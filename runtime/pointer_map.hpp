// Pointer maps: 32-bit keys to 32-bit values on the tracked heap, outside every series, with
// the bucket scheme of the hash tables. The collector remaps moved nodes with one.
#pragma once
#include <cstdint>

#include "runtime/murmur.hpp"

namespace tav {

struct pointer_map {
  uint32_t count;
  uint32_t* flags;  // two bits per bucket: 2 empty, 1 deleted, 0 in use
  uint32_t* pairs;  // per bucket: key, value
  uint32_t used;
  uint32_t buckets;
  uint32_t upper_bound;
};

namespace pointer_maps {

// Room for `size` keys below the bound.
pointer_map* create(uint32_t size);
// Stores the value under the key; answers true when the key was new.
bool put(pointer_map* map, uint32_t key, uint32_t value);
namespace detail {
inline uint32_t flag_bits(const uint32_t* flags, uint32_t i) { return (flags[i >> 4] >> ((i & 15) << 1)) & 3; }
}  // namespace detail

// The value word of the key, or null; valid until the next put. Inline: the collector asks
// once per node reference while nodes move.
inline uint32_t* get(pointer_map* map, uint32_t key) {
  uint32_t mask = map->buckets - 1, b = murmur::pointer_hash(key) & mask, first = b, step = 0;
  for (;;) {
    uint32_t bits = detail::flag_bits(map->flags, b);
    if (bits == 0 && map->pairs[2 * b] == key) return &map->pairs[2 * b + 1];
    if (bits & 2) return nullptr;
    b = (b + ++step) & mask;
    if (b == first) return nullptr;
  }
}
void destroy(pointer_map* map);

}  // namespace pointer_maps
}  // namespace tav
