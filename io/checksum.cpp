// Checksums computed by our own code: CRC-32, the Internet checksum and Adler-32.
#include "io/checksum.hpp"

#include <array>
#include <bit>
#include <cstring>

namespace tav::digest {
namespace {

static_assert(std::endian::native == std::endian::little, "the CRC word step reads little-endian words");

constexpr uint32_t crc_polynomial = 0xEDB88320;

// Row 0 is the byte-at-a-time table; row k gives the effect of a byte followed by k zero
// bytes, so sixteen rows fold two 64-bit words per step with the same result.
using crc_tables = std::array<std::array<uint32_t, 256>, 16>;

constexpr crc_tables make_crc_tables() {
  crc_tables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ crc_polynomial : c >> 1;
    t[0][i] = c;
  }
  for (size_t k = 1; k < 16; ++k)
    for (size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

constexpr crc_tables crc_table = make_crc_tables();

constexpr uint32_t adler_modulus = 65521;
// Chunk length after which both sums are reduced; small enough that b cannot wrap.
constexpr size_t adler_chunk = 3854;

}  // namespace

uint32_t crc32(const uint8_t* bytes, size_t length, uint32_t previous) {
  uint32_t crc = ~previous;
  const auto& t = crc_table;
  for (; length >= 16; bytes += 16, length -= 16) {
    uint64_t low, high;
    std::memcpy(&low, bytes, 8);
    std::memcpy(&high, bytes + 8, 8);
    low ^= crc;
    crc = t[15][low & 0xFF] ^ t[14][(low >> 8) & 0xFF] ^ t[13][(low >> 16) & 0xFF] ^
          t[12][(low >> 24) & 0xFF] ^ t[11][(low >> 32) & 0xFF] ^ t[10][(low >> 40) & 0xFF] ^
          t[9][(low >> 48) & 0xFF] ^ t[8][low >> 56] ^ t[7][high & 0xFF] ^ t[6][(high >> 8) & 0xFF] ^
          t[5][(high >> 16) & 0xFF] ^ t[4][(high >> 24) & 0xFF] ^ t[3][(high >> 32) & 0xFF] ^
          t[2][(high >> 40) & 0xFF] ^ t[1][(high >> 48) & 0xFF] ^ t[0][high >> 56];
  }
  for (; length > 0; ++bytes, --length) crc = (crc >> 8) ^ t[0][(crc ^ *bytes) & 0xFF];
  return ~crc;
}

uint16_t tcp_checksum(const uint8_t* bytes, size_t length) {
  tcp_sum state;
  tcp_add(state, bytes, length);
  return tcp_finish(state);
}

// A 32-bit sum would lose carries past about 128 KB of data; 64 bits cannot overflow for
// anything a file system holds. An odd byte was added as a word's high byte, so the next
// piece's first byte is that word's low byte.
void tcp_add(tcp_sum& state, const uint8_t* bytes, size_t length) {
  if (state.odd && length > 0) {
    state.sum += *bytes++;
    --length;
    state.odd = false;
  }
  for (; length >= 2; bytes += 2, length -= 2) state.sum += uint32_t{bytes[0]} << 8 | bytes[1];
  if (length) {
    state.sum += uint32_t{bytes[0]} << 8;
    state.odd = true;
  }
}

uint16_t tcp_finish(const tcp_sum& state) {
  uint64_t sum = state.sum;
  while (sum >> 16) sum = (sum >> 16) + (sum & 0xFFFF);
  return static_cast<uint16_t>(~sum);
}

uint32_t adler32(const uint8_t* bytes, size_t length, uint32_t previous) {
  uint32_t a = previous & 0xFFFF, b = previous >> 16;
  while (length > 0) {
    size_t chunk = length < adler_chunk ? length : adler_chunk;
    length -= chunk;
    // Sixteen bytes add 16a plus a weighted byte sum to b: the same totals as one byte
    // at a time, without the serial dependence of b on each new a.
    for (; chunk >= 16; chunk -= 16, bytes += 16) {
      uint32_t sum = 0, weighted = 0;
      for (uint32_t i = 0; i < 16; ++i) {
        sum += bytes[i];
        weighted += (16 - i) * bytes[i];
      }
      b += 16 * a + weighted;
      a += sum;
    }
    for (; chunk > 0; --chunk, ++bytes) {
      a += *bytes;
      b += a;
    }
    a %= adler_modulus;
    b %= adler_modulus;
  }
  return b << 16 | a;
}

}  // namespace tav::digest
