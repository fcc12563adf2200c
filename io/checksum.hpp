// CRC-32 (gzip, zlib) and Adler-32 (zlib): running checksums over byte buffers.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tav::checksum {

// `initial` is the result of a previous call, so a long input may be fed in pieces;
// 0 starts a fresh CRC-32 and 1 a fresh Adler-32.
uint32_t crc32(const uint8_t* bytes, size_t length, uint32_t initial = 0);
uint32_t adler32(const uint8_t* bytes, size_t length, uint32_t initial = 1);

}  // namespace tav::checksum
