// Block decompressor: the decoder of the runtime's own bit-level LZ77 format, used for
// compressed boot data and compressed TAVBIN payloads. There is no encoder at run time.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tav {

// The stream starts with two 32-bit little-endian words: N, the bytes of block data that
// follow this header, and S, the size of the decompressed data.
struct compressed_header {
  uint32_t compressed_size;
  uint32_t uncompressed_size;
};

inline constexpr size_t compressed_header_size = 8;
inline constexpr uint32_t max_compressed_block = 0x100000;
inline constexpr uint32_t max_uncompressed_size = 0x7FFFFFFF;
// The decoder accepts up to S + 8 bytes of output, so buffers are made that much larger.
inline constexpr size_t decompress_slack = 8;

// Reads the header of a stream of `in_length` bytes. False when the header is cut short,
// S is above 2^31 - 1 or the N bytes of block data do not fit in the input.
bool read_compressed_header(const uint8_t* in, size_t in_length, compressed_header* header);

// Decodes a whole stream into `out`, which has room for `out_length` bytes. Answers false
// on any fault of the stream (nothing is read outside the `in_length` input bytes and
// nothing written outside the output); `produced` receives the number of bytes written.
bool decompress_block(const uint8_t* in, size_t in_length, uint8_t* out, size_t out_length,
                      size_t* produced = nullptr);

// A new tracked-heap buffer of S + 8 bytes holding the decoded data, or null when the
// stream is faulty or the buffer cannot be had. `out_size`, when given, receives the
// number of decoded bytes (the sum of the block lengths).
uint8_t* decompress(const uint8_t* in, size_t in_length, uint32_t* out_size);

namespace compressor {
// Releases a buffer made by `decompress`.
void free_buffer(void* buffer);
}  // namespace compressor

}  // namespace tav
