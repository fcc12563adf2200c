// Checksums computed by our own code: CRC-32, the Internet checksum and Adler-32.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tav::digest {

// CRC-32 with the reflected polynomial 0xEDB88320 (zlib's and gzip's); 0 for no bytes. The
// CRC of data read in pieces is each piece's call fed the previous result.
uint32_t crc32(const uint8_t* bytes, size_t length, uint32_t previous = 0);

// The Internet checksum: ones' complement of the ones' complement sum of big-endian
// 16-bit words, an odd last byte padded with a zero low byte.
uint16_t tcp_checksum(const uint8_t* bytes, size_t length);

// The Internet checksum of data read in pieces of any length.
struct tcp_sum {
  uint64_t sum = 0;
  bool odd = false;  // the last byte added was the high byte of a word
};
void tcp_add(tcp_sum& state, const uint8_t* bytes, size_t length);
uint16_t tcp_finish(const tcp_sum& state);

// Adler-32 (a starts at 1, b at 0, both modulo 65521); 1 for no bytes. Data read in pieces
// feeds each call the previous result.
uint32_t adler32(const uint8_t* bytes, size_t length, uint32_t previous = 1);

}  // namespace tav::digest
