// Zlib framing: a two-byte header, a raw deflate stream and the Adler-32 of the data.
#pragma once
#include "io/deflate.hpp"

namespace tav::zlib {

constexpr size_t framing_size = 6;

// Both take the output capacity in `length` and return in it the bytes written or needed.
// compress answers ok, too_small, or malformed when the capacity cannot even hold the
// framing (the length then holds input length + 6).
codec_status compress(uint8_t* output, size_t& length, const uint8_t* input, size_t input_length);
// Answers malformed for a bad header or check value or input shorter than the framing,
// and passes on the codes of deflate::inflate.
codec_status decompress(uint8_t* output, size_t& length, const uint8_t* input, size_t input_length);

}  // namespace tav::zlib
