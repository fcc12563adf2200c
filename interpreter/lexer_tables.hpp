// Lexer tables: character classes with their flags, the transition table of the token
// grammar, and the per-state and per-class byte tables, as generated code.
#pragma once
#include <cstdint>

namespace tav::lexer {

#include "interpreter/lexer_tables.inc"

// Flags of `lex_classes` that the scanners test.
namespace lex_flag {
inline constexpr uint32_t class_mask = 0x000000FF;
inline constexpr uint32_t high_byte = 0x00000100;   // set by the driver: a byte of the token is 80-FF
inline constexpr uint32_t brace_line = 0x00020000;  // brace flags only: a `{` token crossed a line
inline constexpr uint32_t percent = 0x00040000;
inline constexpr uint32_t greater = 0x00080000;
inline constexpr uint32_t less = 0x00100000;
inline constexpr uint32_t sign = 0x00200000;
inline constexpr uint32_t nul = 0x00400000;
inline constexpr uint32_t sharp = 0x00800000;
inline constexpr uint32_t exponent = 0x01000000;
inline constexpr uint32_t quote = 0x02000000;
inline constexpr uint32_t colon = 0x04000000;
inline constexpr uint32_t comma = 0x08000000;
inline constexpr uint32_t dot = 0x10000000;
inline constexpr uint32_t caret = 0x20000000;
inline constexpr uint32_t lead2 = 0x40000000;  // lead bytes C2-EF
inline constexpr uint32_t lead4 = 0x80000000;  // lead bytes F0-F7
inline constexpr uint32_t leads = lead2 | lead4;
}  // namespace lex_flag

// Unit size a text token needs: 1, 2 or 4 bytes per character.
inline uint32_t unit_size(uint32_t flags) {
  uint32_t size = 1u << (flags >> 30);
  return size > 4 ? 4 : size;
}

// Terminal states that the driver and the scanners name.
namespace terminal {
inline constexpr uint32_t end = 66;
inline constexpr uint32_t error = 67;
inline constexpr uint32_t block_open = 68;
inline constexpr uint32_t block_close = 69;
inline constexpr uint32_t paren_open = 70;
inline constexpr uint32_t paren_close = 71;
inline constexpr uint32_t brace_open = 72;
inline constexpr uint32_t brace_close = 73;
inline constexpr uint32_t map_open = 74;
inline constexpr uint32_t path_slash = 75;
inline constexpr uint32_t construct = 76;
inline constexpr uint32_t comment = 77;
inline constexpr uint32_t comma = 78;
inline constexpr uint32_t string = 79;
inline constexpr uint32_t word = 80;
inline constexpr uint32_t issue = 81;
inline constexpr uint32_t character = 84;
inline constexpr uint32_t file = 85;
inline constexpr uint32_t binary = 86;
inline constexpr uint32_t percent = 87;
inline constexpr uint32_t point = 93;
inline constexpr uint32_t tag = 96;
inline constexpr uint32_t raw_string = 100;
inline constexpr uint32_t last = 101;
inline constexpr uint32_t count = last - lex_first_terminal + 1;
}  // namespace terminal

// Start states of a token besides 0.
namespace start {
inline constexpr uint32_t brace_string = 4;
inline constexpr uint32_t point = 35;
inline constexpr uint32_t path_element = 59;
}  // namespace start

}  // namespace tav::lexer
