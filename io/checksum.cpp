// CRC-32 and Adler-32: table-driven CRC with the reflected polynomial 0xEDB88320,
// Adler-32 modulo 65521.
#include "io/checksum.hpp"

#include <array>

namespace tav::checksum {
namespace {

constexpr std::array<uint32_t, 256> make_crc_table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> crc_table = make_crc_table();

constexpr uint32_t adler_modulus = 65521;
// The most bytes whose sums cannot overflow 32 bits before a reduction.
constexpr size_t adler_chunk = 5552;

}  // namespace

uint32_t crc32(const uint8_t* bytes, size_t length, uint32_t initial) {
  uint32_t crc = ~initial;
  for (size_t i = 0; i < length; ++i) crc = (crc >> 8) ^ crc_table[(crc ^ bytes[i]) & 0xFF];
  return ~crc;
}

uint32_t adler32(const uint8_t* bytes, size_t length, uint32_t initial) {
  uint32_t a = initial & 0xFFFF, b = initial >> 16;
  while (length > 0) {
    size_t n = length < adler_chunk ? length : adler_chunk;
    length -= n;
    while (n--) {
      a += *bytes++;
      b += a;
    }
    a %= adler_modulus;
    b %= adler_modulus;
  }
  return (b << 16) | a;
}

}  // namespace tav::checksum
