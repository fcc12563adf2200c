// Repetition of a run of bytes by doubling copies.
#include "runtime/fill_duplicates.hpp"

#include <algorithm>
#include <cstring>

namespace tav {

uint8_t* fill_duplicates(uint8_t* buffer, size_t n, size_t m) {
  if (m <= 1) return buffer + n;
  size_t total = n * m;
  size_t filled = n;
  // Each copy reads only bytes already written, so source and destination never overlap.
  while (filled < total) {
    size_t run = std::min(filled, total - filled);
    std::memcpy(buffer + filled, buffer, run);
    filled += run;
  }
  return buffer + total;
}

}  // namespace tav
