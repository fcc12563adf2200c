// Float text: reading decimal text into doubles and writing doubles as digits and as the
// language's float text. The exact digit work is the standard library's (shortest
// round-trip and correctly rounded in both directions); the forms around it are ours.
#include "runtime/float_text.hpp"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

namespace tav {
namespace {

constexpr uint64_t sign_bit = uint64_t{1} << 63;
constexpr uint64_t fraction_bits = (uint64_t{1} << 52) - 1;
constexpr uint64_t quiet_nan_bits = 0x7FF8000000000000;
constexpr double infinity = std::numeric_limits<double>::infinity();

// '-' and then the digits. form_float edits them in place, so beside the 30 digits there
// is room for "0." and six zeros in front or a point and "e-324" behind.
constexpr size_t text_size = 48;
char text[text_size] = "-";
char* const digits = text + 1;

// Exact as doubles, so one multiplication or division by them rounds once.
constexpr double powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int max_exact_power = 22;
constexpr int max_exact_digits = 15;

// A midpoint between two doubles has at most 767 significant digits, so past this many
// only whether the remaining digits are all zero can change the rounding.
constexpr int max_significant = 800;
// Larger written exponents give infinity or zero whatever the digits are.
constexpr int64_t exponent_cap = 1000000;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return ((c | 0x20) >= 'a') && ((c | 0x20) <= 'z'); }

struct significand {
  char digits[max_significant + 16];  // room for the sticky digit and "e-1124"
  int count = 0;
  bool dropped_nonzero = false;

  void take(const char* from, const char* to) {
    for (; from < to; ++from) {
      if (count < max_significant)
        digits[count++] = *from;
      else if (*from != '0')
        dropped_nonzero = true;
    }
  }

  // Trailing zeros go; digits dropped past the limit leave one nonzero digit in their place,
  // which sits on the same side of every rounding boundary as they did.
  void finish() {
    if (dropped_nonzero) {
      digits[count++] = '1';
      return;
    }
    while (count > 0 && digits[count - 1] == '0') --count;
  }
};

// The value digits x 10^exponent, positive, correctly rounded.
double scale(significand& s, int64_t exponent) {
  if (s.count <= max_exact_digits) {
    uint64_t integer = 0;
    for (int i = 0; i < s.count; ++i)
      integer = integer * 10 + static_cast<uint64_t>(s.digits[i] - '0');
    double m = static_cast<double>(integer);  // below 2^53, so exact
    if (exponent >= 0 && exponent <= max_exact_power) return m * powers_of_ten[exponent];
    if (exponent < 0 && exponent >= -max_exact_power) return m / powers_of_ten[-exponent];
    // A short significand can take part of the power exactly before the last rounding.
    int64_t spare = max_exact_digits - s.count;
    if (exponent > max_exact_power && exponent <= max_exact_power + spare)
      return m * powers_of_ten[exponent - max_exact_power] * powers_of_ten[max_exact_power];
  }
  char* end = s.digits + s.count;
  *end++ = 'e';
  end = std::to_chars(end, s.digits + sizeof s.digits, exponent).ptr;
  double value = 0;
  std::errc error = std::from_chars(s.digits, end, value, std::chars_format::general).ec;
  // Out of range either way: a value of 0.1 or more overflowed, a smaller one underflowed.
  if (error == std::errc::result_out_of_range) return exponent + s.count > 0 ? infinity : 0.0;
  return value;
}

void set_left(size_t* out_left, const char* used_end, const char* end) {
  if (out_left) *out_left = static_cast<size_t>(end - used_end);
}

}  // namespace

double strtod(const char* start, const char* end, int extra_exponent, size_t* out_left) {
  const char* p = start;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';

  bool seen_digit = false;
  while (p < end && *p == '0') {
    ++p;
    seen_digit = true;
  }
  const char* whole = p;
  while (p < end && is_digit(*p)) ++p;
  const char* whole_end = p;

  // One significant digit, ".#", then I or N: the written forms of infinity and NaN.
  if (whole_end - whole == 1 && end - p >= 3 && p[0] == '.' && p[1] == '#') {
    char kind = static_cast<char>(p[2] | 0x20);
    if (kind == 'i' || kind == 'n') {
      p += 3;
      while (p < end && is_letter(*p)) ++p;
      set_left(out_left, p, end);
      if (kind == 'n') return std::bit_cast<double>(quiet_nan_bits);
      return negative ? -infinity : infinity;
    }
  }

  const char* fraction = p;
  const char* fraction_end = p;
  if (p < end && *p == '.') {
    fraction = ++p;
    while (p < end && is_digit(*p)) ++p;
    fraction_end = p;
  }
  if (!seen_digit && whole == whole_end && fraction == fraction_end) {
    set_left(out_left, start, end);
    return 0.0;
  }

  int64_t written = 0;
  if (p < end && (*p | 0x20) == 'e') {
    const char* q = p + 1;
    bool negative_exponent = false;
    if (q < end && (*q == '+' || *q == '-')) negative_exponent = *q++ == '-';
    if (q < end && is_digit(*q)) {
      for (; q < end && is_digit(*q); ++q)
        if (written < exponent_cap) written = written * 10 + (*q - '0');
      if (negative_exponent) written = -written;
      p = q;
    }
  }
  set_left(out_left, p, end);

  // value = 0.d1d2... x 10^point
  int64_t point = whole_end - whole;
  if (whole == whole_end)
    for (; fraction < fraction_end && *fraction == '0'; ++fraction) --point;
  significand s;
  s.take(whole, whole_end);
  s.take(fraction, fraction_end);
  s.finish();

  double magnitude;
  int64_t exponent = point + written + extra_exponent;
  if (s.count == 0 || exponent < -323)  // below 1e-324, under half the least subnormal
    magnitude = 0.0;
  else if (exponent > 309)  // at least 1e309
    magnitude = infinity;
  else
    magnitude = scale(s, exponent - s.count);
  return negative ? -magnitude : magnitude;
}

const char* float_to_digits(double value, int precision, int* out_exponent, int* out_sign,
                            int* out_length, bool keep_zero) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  bool negative = (bits & sign_bit) != 0;
  uint64_t magnitude_bits = bits & ~sign_bit;

  const char* special = nullptr;
  if ((magnitude_bits >> 52) == 0x7FF) {
    bool nan = (magnitude_bits & fraction_bits) != 0;
    special = nan ? "1.#NaN" : "1.#INF";
    negative = negative && !nan;
    *out_exponent = float_exponent_special;
  } else if (magnitude_bits == 0) {
    special = keep_zero ? "0.0" : "0";
    *out_exponent = float_exponent_zero;
  }
  *out_sign = negative;
  if (special) {
    size_t length = std::strlen(special);
    std::memcpy(digits, special, length + 1);
    *out_length = static_cast<int>(length) + negative;
    return negative ? text : digits;
  }

  // The library writes d[.ddd]e±x: one digit before the point, so x + 1 is our exponent.
  double magnitude = std::bit_cast<double>(magnitude_bits);
  char scratch[64];
  char* scratch_end = scratch + sizeof scratch;
  std::to_chars_result written =
      precision <= 0
          ? std::to_chars(scratch, scratch_end, magnitude, std::chars_format::scientific)
          : std::to_chars(scratch, scratch_end, magnitude, std::chars_format::scientific,
                          (precision < float_max_digits ? precision : float_max_digits) - 1);
  const char* s = scratch;
  int count = 0;
  digits[count++] = *s++;
  if (*s == '.')
    for (++s; *s != 'e'; ++s) digits[count++] = *s;
  ++s;
  if (*s == '+') ++s;
  int exponent = 0;
  std::from_chars(s, written.ptr, exponent);
  while (count > 1 && digits[count - 1] == '0') --count;
  digits[count] = '\0';

  *out_exponent = exponent + 1;
  *out_length = count;
  return digits;
}

const char* form_float(double value, int precision, bool keep_zero) {
  int exponent, sign, count;
  const char* special = float_to_digits(value, precision, &exponent, &sign, &count, keep_zero);
  if (exponent >= float_exponent_zero) return special;

  char* end;
  bool scientific = exponent > 17 || exponent < -6;
  if (scientific) {
    std::memmove(digits + 2, digits + 1, static_cast<size_t>(count - 1));
    digits[1] = '.';
    end = digits + count + 1;
  } else if (exponent <= 0) {
    int shift = 2 - exponent;
    std::memmove(digits + shift, digits, static_cast<size_t>(count));
    digits[0] = '0';
    digits[1] = '.';
    std::memset(digits + 2, '0', static_cast<size_t>(-exponent));
    end = digits + shift + count;
  } else if (exponent < count) {
    std::memmove(digits + exponent + 1, digits + exponent, static_cast<size_t>(count - exponent));
    digits[exponent] = '.';
    end = digits + count + 1;
  } else {
    std::memset(digits + count, '0', static_cast<size_t>(exponent - count));
    digits[exponent] = '.';
    end = digits + exponent + 1;
  }
  if (end[-1] == '.') {
    if (keep_zero)
      *end++ = '0';
    else
      --end;
  }
  if (scientific) {
    *end++ = 'e';
    end = std::to_chars(end, text + text_size - 1, exponent - 1).ptr;
  }
  *end = '\0';
  return sign ? text : digits;
}

}  // namespace tav
