// The seed word of the string hash, fixed once at start-up before the first table is built.
#include "runtime/hash_seed.hpp"

namespace tav::hashtable {

uint32_t murmur_seed = 0;

}  // namespace tav::hashtable
