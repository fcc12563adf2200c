// The library's built-in routines, which its start-up sources bind by name.
#pragma once
#include <cstdint>

namespace tav::library {

// Adds the routines to start-up's built-ins; the program calls it once before start-up.
void install();

// The names the sources bind them by, `routine_count` of them.
extern const uint32_t routine_count;
const char* routine_name(uint32_t index);

}  // namespace tav::library
