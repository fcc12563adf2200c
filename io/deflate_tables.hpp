// Constant tables of the deflate bit stream shared by the compressor and the decompressor:
// length and distance bases with their extra-bit counts, and the fixed Huffman code lengths.
#pragma once
#include <array>
#include <cstdint>

namespace tav::deflate {

constexpr unsigned end_of_block = 256;
constexpr unsigned length_symbols = 29;    // 257..285
constexpr unsigned distance_symbols = 30;  // 0..29
constexpr unsigned max_match = 258;
constexpr unsigned window_size = 32768;

constexpr std::array<uint16_t, length_symbols> length_base = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, length_symbols> length_extra = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

constexpr std::array<uint16_t, distance_symbols> distance_base = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<uint8_t, distance_symbols> distance_extra = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Order in which a dynamic block header lists the code-length code lengths.
constexpr std::array<uint8_t, 19> code_length_order = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                                       11, 4,  12, 3, 13, 2, 14, 1, 15};

// Fixed literal/length code lengths: 8 for 0-143, 9 for 144-255, 7 for 256-279, 8 for 280-287.
constexpr unsigned fixed_length_bits(unsigned symbol) {
  return symbol < 144 ? 8 : symbol < 256 ? 9 : symbol < 280 ? 7 : 8;
}
constexpr unsigned fixed_distance_bits = 5;

// The low `bits` bits of `code` in the opposite order: Huffman codes are sent first bit
// first, into the low end of the bit accumulator.
constexpr uint32_t reverse_bits(uint32_t code, unsigned bits) {
  uint32_t reversed = 0;
  for (unsigned i = 0; i < bits; ++i) reversed |= ((code >> i) & 1u) << (bits - 1 - i);
  return reversed;
}

}  // namespace tav::deflate
