// Float text: exact conversion between 64-bit doubles and decimal text (correctly rounded
// reading, shortest round-trip or fixed-precision writing) and the language's float layout.
#pragma once
#include <cstddef>

namespace tav {

// Decimal exponents `float_to_digits` answers for values that have no digits.
inline constexpr int float_exponent_special = 9999;  // infinity or NaN
inline constexpr int float_exponent_zero = 9998;

// Most significant digits `float_to_digits` writes; a larger precision asks for this many.
inline constexpr int float_max_digits = 30;

// Reads the number in [start, end), correctly rounded to nearest, with `extra_exponent`
// added to its decimal exponent (a percent reads with -2: one rounding of value / 100).
// `out_left` (may be null) receives the count of bytes after the last one used: the whole
// range when no number starts it. Too large reads as infinity, too small as zero.
double strtod(const char* start, const char* end, int extra_exponent, size_t* out_left);

// The decimal digits of `value`: shortest that read back to it when precision <= 0, else at
// most `precision` significant digits correctly rounded, trailing zeros dropped; value is
// 0.d1d2... x 10^out_exponent. Infinity, NaN and zero answer their whole text instead, with
// float_exponent_special or float_exponent_zero. The text lives in a static buffer, valid
// until the next conversion, and the byte in front of the digits is always '-'.
const char* float_to_digits(double value, int precision, int* out_exponent, int* out_sign,
                            int* out_length, bool keep_zero);

// The text form of `value` as the language writes it: fixed notation for decimal exponents
// -6..17, scientific outside; a point with nothing after it becomes ".0" with keep_zero and
// is dropped without. Same static buffer as `float_to_digits`.
const char* form_float(double value, int precision, bool keep_zero);

}  // namespace tav
