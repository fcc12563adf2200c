// The seed word of the string hash, fixed once at start-up before the first table is built.
#pragma once
#include <cstdint>

namespace tav::hashtable {

extern uint32_t murmur_seed;

}  // namespace tav::hashtable
