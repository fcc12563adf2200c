// MurmurHash3 x86_32 in pieces (block mixing, tail, finalizer) so that callers can feed it
// bytes, folded bytes or whole characters, and the pointer hash of 32-bit keys.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tav::murmur {

inline constexpr uint32_t c1 = 0xCC9E2D51;
inline constexpr uint32_t c2 = 0x1B873593;

inline uint32_t scramble(uint32_t k) {
  k *= c1;
  k = std::rotl(k, 15);
  return k * c2;
}

// One 32-bit block into the running state.
inline uint32_t mix(uint32_t h, uint32_t block) {
  h ^= scramble(block);
  h = std::rotl(h, 13);
  return h * 5 + 0xE6546B64;
}

// The 1 to 3 bytes after the last whole block, little-endian.
inline uint32_t mix_tail(uint32_t h, const uint8_t* tail, size_t n) {
  uint32_t k = 0;
  switch (n) {
    case 3: k ^= uint32_t{tail[2]} << 16; [[fallthrough]];
    case 2: k ^= uint32_t{tail[1]} << 8; [[fallthrough]];
    case 1: k ^= tail[0]; return h ^ scramble(k);
    default: return h;
  }
}

inline uint32_t finish(uint32_t h, uint32_t length) {
  h ^= length;
  h ^= h >> 16;
  h *= 0x85EBCA6B;
  h ^= h >> 13;
  h *= 0xC2B2AE35;
  return h ^ (h >> 16);
}

inline uint32_t hash(const void* data, size_t length, uint32_t seed) {
  auto* bytes = static_cast<const uint8_t*>(data);
  uint32_t h = seed;
  size_t blocks = length / 4;
  for (size_t i = 0; i < blocks; ++i) {
    uint32_t block;
    std::memcpy(&block, bytes + i * 4, 4);
    h = mix(h, block);
  }
  h = mix_tail(h, bytes + blocks * 4, length & 3);
  return finish(h, static_cast<uint32_t>(length));
}

// Integer keys and node ids.
inline uint32_t pointer_hash(uint32_t k) {
  uint32_t x = (k ^ (k >> 16)) * 0x85EBCA6B;
  x ^= x >> 13;
  x *= 0xC2B2AE35;
  return x ^ (x >> 16);
}

}  // namespace tav::murmur
