// The random generator behind every `random` action, and its secure variant.
#pragma once
#include <cstdint>

namespace tav::rng {

inline constexpr int32_t start_seed = 19650218;
inline constexpr uint32_t string_hash_seed = 0x0055660C;

// Seeds the generator with the start seed and fixes the string hash's seed word.
void init();
void seed(int32_t s);
// Draw in 0..2,147,483,647.
int32_t next();
// Draw in 0..2,147,483,647 from the secure source; leaves the generator untouched.
int32_t secure_next();
// 0 for 0; uniform in 1..n for n > 0; the negated result for |n| when n < 0.
int32_t random_int(bool secure, int32_t n);

}  // namespace tav::rng
