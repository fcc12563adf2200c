// Tokenizer helpers: the lexer's number rules applied to text of any unit size (1, 2 or 4
// bytes per character) without running the lexer, for `to` conversions; and the decimal
// number automaton the lexer's float and percent loaders check their tokens with.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::tokenizer {

// Longer number texts are never numbers.
inline constexpr uint32_t max_number_length = 312;

// Error codes the helpers leave in their `error` argument (0 on success).
inline constexpr int32_t not_a_number = -1;
inline constexpr int32_t overflow = -2;

// True when the bytes spell a decimal: optional sign, digits with `'` between them, one `.`
// or `,`, an optional exponent `e`/`E` with an optional sign. At most 312 bytes.
bool number_syntax_p(const uint8_t* text, uint32_t length);

// Optional sign, decimal digits, `'` skipped anywhere. Another character: not_a_number; a
// value outside 32 bits: overflow. Only "-2147483648" (a minus sign) gives the minimum.
int32_t string_to_integer(const void* start, int32_t count, int32_t unit, int32_t* error);
// A decimal as `number_syntax_p` reads it, `,` standing for `.`, correctly rounded; a failure
// answers a quiet NaN with not_a_number.
double string_to_float(const void* start, int32_t count, int32_t unit, int32_t* error);
// Optional sign, optional three-letter currency code, `$`, digits with `'` and one `.` or
// `,`. The amount goes to the money constructor; a failure leaves `error` set and the cell
// unset.
cell string_to_money(const void* start, int32_t count, int32_t unit, int32_t* error);

bool ascii_letter_p(uint32_t c);
// Subtracts 32 from every byte above 96 of the NUL-terminated text (currency codes are
// letters); answers the text.
char* uppercase_ascii(char* text);

// The money constructor the money! module installs: a money! made from the ASCII text
// [start, end) of digits with `'` separators (`point` at the decimal separator, or null), the
// sign and an upper-case currency code (null for none). Answers false, leaving `out` alone,
// when the currency is unknown. Not installed, a money amount raises internal/not-done.
using money_from_string_fn = bool (*)(cell& out, bool negative, const char* currency, const uint8_t* start,
                                      const uint8_t* point, const uint8_t* end);
extern money_from_string_fn money_from_string;

}  // namespace tav::tokenizer
