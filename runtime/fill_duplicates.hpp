// Repetition of a run of bytes in place: how /dup of append and insert fills its copies.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tav {

// Repeats the first n bytes of `buffer` so that n x m bytes are filled, copying runs that
// double in length each time and a last partial run; answers the end address. m of 1 (or 0)
// copies nothing and answers buffer + n.
uint8_t* fill_duplicates(uint8_t* buffer, size_t n, size_t m);

}  // namespace tav
