// Gzip framing: members of a header, a raw deflate stream, and a trailer holding the
// CRC-32 and the length of the member's data.
#pragma once
#include <optional>

#include "io/deflate.hpp"

namespace tav::gzip {

constexpr size_t framing_size = 18;
// A trailer's size is only a claim: no deflate stream expands more than 1,032 times, and
// no result may exceed this size.
constexpr size_t max_expansion = 1032;
constexpr size_t max_size = 0x7FFFFFFF;

// Both take the output capacity in `length` and return in it the bytes written or needed.
// compress answers ok, too_small, or malformed when the capacity cannot even hold the
// framing (the length then holds input length + 18).
codec_status compress(uint8_t* output, size_t& length, const uint8_t* input, size_t input_length);

// Decodes every member in turn (zero bytes between and after members are skipped) into
// one output, checking each member's CRC-32 and length. With too_small the length holds
// the sum of all members' sizes. Answers malformed for a bad header, trailer or claimed size,
// and passes on the codes of deflate::inflate.
codec_status decompress(uint8_t* output, size_t& length, const uint8_t* input, size_t input_length);

// The size that the last trailer of the input claims, or nothing when the input is too short
// or the claim cannot be true of it; a first guess at the output size.
std::optional<size_t> claimed_size(const uint8_t* input, size_t input_length);

}  // namespace tav::gzip
