// Compression by method (raw deflate, zlib, gzip) from byte buffer to byte buffer: sizes the
// output, calls the codec, and raises script error invalid-data when it refuses the input.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tav::compression {

enum class method : uint8_t { deflate, zlib, gzip };

// No result may exceed this size.
constexpr size_t max_output = 0x7FFFFFFF;

std::vector<uint8_t> compress(method how, const uint8_t* input, size_t length);

// `size`, when larger than the input, is taken as the expected output size for deflate
// and zlib; gzip sizes its output from the trailer.
std::vector<uint8_t> decompress(method how, const uint8_t* input, size_t length, size_t size = 0);

}  // namespace tav::compression
