// Base-N encodings: bytes to text and text to bytes in bases 2, 16, 58 and 64, on raw memory.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::binary {

// The encoders write into a destination that the caller sized: 8 characters per byte
// (base 2), 2 per byte (bases 16 and 58), 4 per 3 bytes rounded up (base 64). Each answers
// the end of the text written. Base 16 writes upper case; base 64 pads with "=" and never
// breaks lines.
uint8_t* encode_2(uint8_t* destination, const uint8_t* source, size_t count);
uint8_t* encode_16(uint8_t* destination, const uint8_t* source, size_t count);
uint8_t* encode_58(uint8_t* destination, const uint8_t* source, size_t count);
uint8_t* encode_64(uint8_t* destination, const uint8_t* source, size_t count);

// The decoders read `count` characters of `unit` bytes each (1, 2 or 4) and answer the node of
// a new byte buffer whose tail marks the bytes produced, or the null node, with no buffer left
// in use, when the text is not valid in the base. In every base ";" starts a comment that
// runs to the next line feed. A code point above 127 is never a digit: it fails the decoding.
// Base 2 and base 16 skip every character up to space; bases 58 and 64 skip backspace, tab,
// line feed, form feed, carriage return, space and apostrophe. Base 16 drops a lone last
// digit and base 64 an unpadded last group; base 2 fails on a bit count that is not a
// multiple of 8, base 64 on "=" after fewer than two digits of a group, and stops at the
// first "=". The source may lie in a series buffer: the caller keeps it in a local.
node_id decode_2(const void* source, size_t count, uint32_t unit);
node_id decode_16(const void* source, size_t count, uint32_t unit);
node_id decode_58(const void* source, size_t count, uint32_t unit);
node_id decode_64(const void* source, size_t count, uint32_t unit);

// Upper-case hexadecimal digits, and the value of a hexadecimal digit of either case (255 for
// any other code point).
inline constexpr char hex_digits[] = "0123456789ABCDEF";
uint8_t hex_digit_value(uint32_t cp);

}  // namespace tav::binary
