// Checksums computed by our own code: CRC-32, the Internet checksum and Adler-32.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tav::digest {

// CRC-32 with the reflected polynomial 0xEDB88320 (zlib's and gzip's); 0 for no bytes.
uint32_t crc32(const uint8_t* bytes, size_t length);

// The Internet checksum: ones' complement of the ones' complement sum of big-endian
// 16-bit words, an odd last byte padded with a zero low byte.
uint16_t tcp_checksum(const uint8_t* bytes, size_t length);

// Adler-32 (a starts at 1, b at 0, both modulo 65521); 1 for no bytes.
uint32_t adler32(const uint8_t* bytes, size_t length);

}  // namespace tav::digest
