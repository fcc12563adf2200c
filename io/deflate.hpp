// Raw deflate streams: the single-block fixed-code compressor and the decompressor of
// stored, fixed and dynamic blocks, both working between caller-supplied buffers.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tav {

// Result codes shared by the raw codec and the zlib and gzip framing.
enum class codec_status : uint32_t {
  ok = 0,
  too_small = 1,       // the output did not fit; the length holds the size needed
  malformed = 2,       // framing: bad header, check value or size, or too short
  truncated = 3,       // the input ends inside a block
  reserved_block = 4,  // a block header with the reserved type 3
  too_far = 5,         // a distance reaches back before the output start
  bad_code = 6,        // a Huffman table or a decoded symbol that the format forbids
};

namespace deflate {

// On entry `length` is the output capacity; on return the size of the whole stream.
// Nothing is written at or past the capacity: with too_small the caller may call again
// with the reported length. `output` may be null when the capacity is 0.
codec_status compress(uint8_t* output, size_t& length, const uint8_t* input, size_t input_length);

// The largest stream `compress` can make from `input_length` bytes (every byte a 9-bit
// literal, plus the block header and the end-of-block code).
constexpr size_t compress_bound(size_t input_length) { return (9 * input_length + 10 + 7) / 8; }

// On entry `length` is the output capacity; on return the bytes produced, or with
// too_small the full decoded size (the decoder goes on counting past the capacity).
// `output` may be null when the capacity is 0. `consumed`, when given, receives the input
// bytes up to the end of the final block, so that what follows the stream can be found.
codec_status inflate(uint8_t* output, size_t& length, const uint8_t* input, size_t input_length,
                     size_t* consumed = nullptr);

}  // namespace deflate
}  // namespace tav
