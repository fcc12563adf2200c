// Small helpers the benchmarks share: timing and reproducible sample data.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tav::bench {

using clock_type = std::chrono::steady_clock;

inline double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

inline double mb_per_s(size_t bytes, double seconds) { return double(bytes) / (1 << 20) / seconds; }

// Bytes from a fixed xorshift sequence, the same on every run.
inline std::vector<uint8_t> random_sample(size_t n) {
  std::vector<uint8_t> out(n);
  uint64_t x = 0x9E3779B97F4A7C15ull;
  for (auto& b : out) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    b = uint8_t(x >> 24);
  }
  return out;
}

}  // namespace tav::bench
