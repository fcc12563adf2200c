// Percent-encoding of URL text: the character classes, "%XX" pairs, and the encoder and
// decoder cores over raw text that url! values, `enhex` and `dehex` wrap.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/unicode.hpp"

namespace tav::url {

// Encoding modes. The strict mode keeps only - . 0-9 A-Z _ a-z ~ as they are; every other
// mode keeps the URL class, which adds ! # $ & ' ( ) * + , / : = ? @. A byte of 128 and above
// is always encoded.
inline constexpr uint32_t strict_mode = 0xFE;
inline constexpr uint32_t url_mode = 0xFF;

// True when the byte stands for itself in the mode's encoding.
bool plain_p(uint8_t byte, uint32_t mode);

// Writes the byte itself, or "%" and two upper-case hex digits; answers the characters
// written (1 or 3).
size_t encode_char(uint8_t byte, uint32_t mode, uint8_t* out);

// Characters that `encode` writes for `count` units of `width` bytes (1, 2 or 4).
size_t encoded_size(const void* units, size_t count, uint32_t width, uint32_t mode);
// Encodes the UTF-8 form of the units byte by byte through `encode_char`; `out` must hold
// `encoded_size` characters. Answers the end of the text written. A code point above
// 0x10FFFF raises script/invalid-char, as any conversion to UTF-8 does.
uint8_t* encode(const void* units, size_t count, uint32_t width, uint32_t mode, uint8_t* out);

// Reads one "%XX" (hex digits of either case) from [p, end) into `out`; false, leaving `out`
// alone, when the text there is not one.
bool decode_pair(const uint8_t* p, const uint8_t* end, uint8_t* out);

// Percent-decoding, appended to `sink` from its `count` on. A "%XX" pair is one byte: a byte
// below 128 or one that cannot start a UTF-8 sequence is a code point by itself; a lead byte
// takes the pairs that follow it, and the sequence they make, when it is well-formed UTF-8,
// is one code point. Anything else (a "%" not followed by two hex digits, a sequence cut
// short or ill-formed) stays as the text it was. Never more code points come out than
// characters go in, so room for that many is made at the start.
//   `decode` reads units of `width` bytes (the text of a string);
//   `decode_utf8` reads UTF-8 bytes, raising access/invalid-utf8 on ill-formed raw text.
void decode(const void* units, size_t count, uint32_t width, unit_sink& sink);
void decode_utf8(const uint8_t* bytes, size_t length, unit_sink& sink);

}  // namespace tav::url
