// Pointer maps: 32-bit keys to 32-bit values on the tracked heap, outside every series, with
// the bucket scheme of the hash tables. The collector remaps moved nodes with one.
#pragma once
#include <cstdint>

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
// The value word of the key, or null; valid until the next put.
uint32_t* get(pointer_map* map, uint32_t key);
void destroy(pointer_map* map);

}  // namespace pointer_maps
}  // namespace tav
