// money!: a signed decimal amount of 17 integer and 5 fraction digits, packed as BCD inside
// the cell, with an optional currency taken from system/locale/currencies/list; its digit
// helpers, conversions, text and exact arithmetic.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::money {

// The cell: header bit 14 the negative flag; byte 4 (low byte of payload 1) the currency
// index, 0 for none, else the 1-based position in the currency list; bytes 5 to 15 the 22 BCD
// digits, most significant first (digit 1 the high nibble of byte 5). The amount is the digits
// as an integer divided by 10^5. The byte layout is stored as it stands by the binary codec.
inline constexpr uint32_t sign_mask = 0x4000;
inline constexpr uint32_t sign_shift = 14;
inline constexpr int32_t digit_count = 22;
inline constexpr int32_t integer_digits = 17;
inline constexpr int32_t fraction_digits = 5;
inline constexpr int32_t digit_bytes = 11;
inline constexpr int32_t largest_fraction = 99999;

// The digits as one integer (the amount times 10^5); always below 10^22 < 2^74.
__extension__ typedef unsigned __int128 wide;
inline constexpr uint64_t scale = 100000;
inline constexpr wide digit_limit = wide{10000000000000000000ull} * 1000;  // 10^22

// ---- Cell and digit helpers -------------------------------------------------------------------

inline uint32_t get_sign(const cell& m) { return (m.header & sign_mask) >> sign_shift; }
inline cell& set_sign(cell& m, uint32_t negative) {
  m.header = (m.header & ~sign_mask) | (negative ? sign_mask : 0);
  return m;
}
inline void flip_sign(cell& m) { m.header ^= sign_mask; }
inline void clear_sign(cell& m) { m.header &= ~sign_mask; }
inline uint32_t get_currency(const cell& m) { return m.payload1 & 0xFF; }
inline cell& set_currency(cell& m, uint32_t index) {
  m.payload1 = (m.payload1 & ~0xFFu) | (index & 0xFF);
  return m;
}
inline uint8_t* digits(cell& m) { return reinterpret_cast<uint8_t*>(&m) + 5; }
inline const uint8_t* digits(const cell& m) { return reinterpret_cast<const uint8_t*>(&m) + 5; }
void set_digits(cell& m, const uint8_t* bytes);
// Byte-wise order of two digit areas (a magnitude order): negative, 0 or positive.
int32_t compare_digits(const uint8_t* digits1, const uint8_t* digits2);
// Payload words 1 to 3 zeroed: no currency, all digits 0.
void clear(cell& m);
// Digit i, 1-based.
inline uint32_t get_digit(const uint8_t* d, int32_t i) {
  uint8_t byte = d[(i - 1) >> 1];
  return (i & 1) ? byte >> 4 : byte & 0x0F;
}
void set_digit(uint8_t* d, int32_t i, uint32_t digit);
// Digits from the first non-zero one through digit 22; 1 for zero.
int32_t significant_digits(const uint8_t* d);
bool zero_digits_p(const uint8_t* d);

wide get_amount(const cell& m);
// Writes an amount below 10^22 into the digits, sign and currency untouched.
void set_amount(cell& m, wide amount);

// -1, 0 or 1; a zero amount has sign 0 whatever its flag says.
int32_t sign_p(const cell& m);
inline bool zero_p(const cell& m) { return sign_p(m) == 0; }
inline bool negative_p(const cell& m) { return sign_p(m) < 0; }
inline bool positive_p(const cell& m) { return sign_p(m) > 0; }
// The signed order of two amounts, currencies ignored.
int32_t compare_amounts(const cell& m1, const cell& m2);
// Not strict: either has no currency, or both the same. Strict: the same index (0 only with 0).
bool same_currency_p(const cell& m1, const cell& m2, bool strict);

// ---- Currencies --------------------------------------------------------------------------------

// The 1-based position in system/locale/currencies/list of the word with the symbol (case
// variants alike), or -1 when absent.
int32_t currency_index(uint32_t symbol);
// The same for a three-letter spelling, compared without regard to ASCII case.
int32_t currency_index_of_text(const char* text);
// The word at that position of the list, none when there is none.
cell currency_code(uint32_t index);
cell code_of(const cell& m);
cell* amount_of(const cell& m);  // pushed, the currency dropped

// ---- Constructors and conversions ------------------------------------------------------------

// The lexer's and the tokenizer's constructor: [start, end) holds the digits with `'` between
// them and the decimal separator at `point` (or null); `currency` is three letters or null.
// Answers false, `out` untouched, for an unknown currency or more than 17 integer digits;
// fraction digits past the fifth are dropped.
bool from_string(cell& out, bool negative, const char* currency, const uint8_t* start, const uint8_t* point,
                 const uint8_t* end);
cell from_binary(bool negative, uint32_t currency, const uint8_t* bytes);
cell make_integer(int32_t n);
cell* from_integer(int32_t n);  // pushed
// Raises script/type-limit with integer! outside the 32-bit range; the fraction is cut.
int32_t to_integer(const cell& m);
// The shortest digits that read back to `x`, cut to five decimals; strict refuses more than
// five. Not finite, non-zero below 1e-5 or 1e17 and more raise script/bad-make-arg.
cell make_float(double x, bool strict);
cell* from_float(double x, bool strict);  // pushed
// Correctly rounded.
double to_float(const cell& m);
// Writes the text form; answers the part budget less what was written.
int32_t serialize(const cell& m, cell& buffer, int32_t part, bool all, bool grouping);

// ---- Arithmetic ------------------------------------------------------------------------------

namespace op {
inline constexpr int32_t add = 0, subtract = 1, multiply = 2, divide = 3, remainder = 4;
}
// The core operations on two money cells, the result in `a` (script/type-limit with money! on
// overflow and on a non-zero result that truncates to zero, math/zero-divide).
void add_amounts(cell& a, const cell& b);
void subtract_amounts(cell& a, const cell& b);
void multiply_amounts(cell& a, const cell& b);
void divide_amounts(cell& a, const cell& b, bool remainder);
void do_op(cell& a, const cell& b, int32_t op);
// The operands are the first two argument cells, either may be the money!; the result goes to
// the first.
cell* do_math(int32_t op);

// ---- Actions ---------------------------------------------------------------------------------

cell* make(cell* prototype, cell* spec, int32_t type);
cell* random(cell* value, bool seed, bool secure, bool only);
cell* to(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* absolute();
cell* add();
cell* divide();
cell* multiply();
cell* negate(cell* number);
cell* remainder();
cell* round(cell* n, cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling, bool half_ceiling);
cell* subtract();
bool even_p(cell* number);
bool odd_p(cell* number);
cell* pick(cell* series, int32_t index, cell* index_cell);
void init();

}  // namespace tav::money
