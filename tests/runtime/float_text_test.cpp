// Float text: the language's float layout, special forms, reading with its bounds and
// out-left count, and exact digits checked against the C library and exact decimal
// expansions of tricky values.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "runtime/float_text.hpp"

namespace tav {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double dbl_max = std::numeric_limits<double>::max();
constexpr double denorm_min = std::numeric_limits<double>::denorm_min();

uint64_t bits_of(double x) { return std::bit_cast<uint64_t>(x); }

struct read_result {
  double value;
  size_t left;
};

// The text goes into a buffer of exactly its length, so a read past the end is caught.
read_result read(const std::string& text, int extra_exponent = 0) {
  std::unique_ptr<char[]> exact(new char[text.size() + 1]);
  std::memcpy(exact.get(), text.data(), text.size());
  size_t left = 12345;
  double value = strtod(exact.get(), exact.get() + text.size(), extra_exponent, &left);
  return {value, left};
}

double c_strtod(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// ---------------------------------------------------------------------------------------
// Writing

TEST(FormFloat, Layout) {
  struct row {
    double value;
    int precision;
    bool keep_zero;
    const char* text;
  };
  const row rows[] = {
      {0.1, 0, true, "0.1"},
      {0.5, 0, true, "0.5"},
      {0.001, 0, true, "0.001"},
      {1.5, 0, true, "1.5"},
      {-1.5, 0, true, "-1.5"},
      {123.456, 0, true, "123.456"},
      {100.0, 0, true, "100.0"},
      {100.0, 0, false, "100"},
      {-100.0, 0, true, "-100.0"},
      {0.1 + 0.2, 0, true, "0.30000000000000004"},
      // fixed notation runs from E = -6 to E = 17
      {1e16, 0, true, "10000000000000000.0"},
      {12345678901234568.0, 0, true, "12345678901234568.0"},
      {1e17, 0, true, "1.0e17"},
      {1e17, 0, false, "1e17"},
      {123456789012345680.0, 0, true, "1.2345678901234568e17"},
      {1e18, 0, true, "1.0e18"},
      {1e18, 0, false, "1e18"},
      {0.000001, 0, true, "0.000001"},
      {1e-7, 0, true, "0.0000001"},
      {-1.25e-7, 0, true, "-0.000000125"},
      {1e-8, 0, true, "1.0e-8"},
      {1e-8, 0, false, "1e-8"},
      {-1.5e-8, 0, true, "-1.5e-8"},
      // zeros and special values
      {0.0, 0, true, "0.0"},
      {0.0, 0, false, "0"},
      {-0.0, 0, true, "-0.0"},
      {-0.0, 0, false, "-0"},
      {inf, 0, true, "1.#INF"},
      {-inf, 0, false, "-1.#INF"},
      {std::nan(""), 0, true, "1.#NaN"},
      {-std::nan(""), 0, true, "1.#NaN"},
      // extremes
      {dbl_max, 0, true, "1.7976931348623157e308"},
      {-dbl_max, 0, true, "-1.7976931348623157e308"},
      {0x1p-1022, 0, true, "2.2250738585072014e-308"},
      {denorm_min, 0, true, "5.0e-324"},
      {1e23, 0, true, "1.0e23"},
      {0x1p63, 0, true, "9.223372036854776e18"},
      {0x1p53, 0, true, "9007199254740992.0"},
      // the nearest 16 digits fall outside the narrow lower gap of this power of two
      {0x1p-1017, 0, true, "7.120236347223045e-307"},
      // a precision rounds once, ties to even, and drops trailing zeros
      {1.5, 6, false, "1.5"},
      {2.0, 6, false, "2"},
      {2.0, 6, true, "2.0"},
      {0.125, 2, false, "0.12"},
      {0.375, 2, false, "0.38"},
      {2.5, 1, false, "2"},
      {3.5, 1, false, "4"},
      {9.5, 1, false, "10"},
      {9.96, 2, true, "10.0"},
      {0.15, 1, false, "0.1"},  // 0.1499999...
      {96e16, 1, false, "1e18"},
      {123456.789, 6, false, "123457"},
      {0.1, 17, true, "0.10000000000000001"},
      {0.1, 22, true, "0.1000000000000000055511"},
      {1e22, 22, true, "1.0e22"},
      {1234.5, 22, true, "1234.5"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.value << " precision " << r.precision << " keep "
                                    << r.keep_zero);
    EXPECT_STREQ(form_float(r.value, r.precision, r.keep_zero), r.text);
  }
}

TEST(FormFloat, LongestTextsFitAndReadBack) {
  // The most digits a precision gives, in the forms with the most around them.
  const double values[] = {-1.2345678901234567e-6, -1.2345678901234567e-300, -123456.7891,
                           -0.1};
  for (double x : values) {
    SCOPED_TRACE(x);
    std::string text = form_float(x, 1000, true);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.*e", float_max_digits - 1, x);
    std::string expected_digits;
    for (char* c = expected + 1; *c != 'e'; ++c)
      if (*c != '.') expected_digits += *c;
    while (expected_digits.back() == '0') expected_digits.pop_back();
    std::string digits;
    for (char c : text.substr(0, text.find('e')))
      if (c >= '0' && c <= '9') digits += c;
    EXPECT_NE(digits.find(expected_digits), std::string::npos) << text;
    read_result back = read(text);
    EXPECT_EQ(back.value, x);
    EXPECT_EQ(back.left, 0u);
  }
}

TEST(FloatToDigits, ExponentSignAndLength) {
  struct row {
    double value;
    const char* text;
    int exponent, sign, length;
  };
  const row rows[] = {
      {0.5, "5", 0, 0, 1},
      {1234.5, "12345", 4, 0, 5},
      {-2.0, "2", 1, 1, 1},
      {0.00125, "125", -2, 0, 3},
      {inf, "1.#INF", float_exponent_special, 0, 6},
      {-inf, "-1.#INF", float_exponent_special, 1, 7},
      {-std::nan(""), "1.#NaN", float_exponent_special, 0, 6},
      {-0.0, "-0.0", float_exponent_zero, 1, 4},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.value);
    int exponent = 0, sign = -1, length = -1;
    const char* digits = float_to_digits(r.value, 0, &exponent, &sign, &length, true);
    EXPECT_STREQ(digits, r.text);
    EXPECT_EQ(exponent, r.exponent);
    EXPECT_EQ(sign, r.sign);
    EXPECT_EQ(length, r.length);
    if (r.exponent < float_exponent_zero) {
      EXPECT_EQ(digits[-1], '-');  // so that the caller can take the sign with the digits
    } else if (r.sign) {
      EXPECT_EQ(digits[0], '-');
    }
  }
}

// Shortest digits by an independent route: the correctly rounded digits of each length
// from printf, accepted when the C library reads them back to x; when the nearest of a
// length falls below a narrow lower gap, the next one up may still read back.
std::string reference_shortest(double x, int* exponent) {
  char text[64];
  for (int length = 1; length <= 17; ++length) {
    std::snprintf(text, sizeof text, "%.*e", length - 1, x);
    std::string digits;
    char* c = text;
    for (; *c != 'e'; ++c)
      if (*c != '.') digits += *c;
    int written_exponent = std::atoi(c + 1);
    double back = std::strtod(text, nullptr);
    if (back != x && back < x) {
      int i = length - 1;
      for (; i >= 0 && digits[i] == '9'; --i) digits[i] = '0';
      if (i < 0) {
        digits.insert(digits.begin(), '1');
        digits.pop_back();
        ++written_exponent;
      } else {
        ++digits[i];
      }
      std::string up = digits.substr(0, 1) + "." + digits.substr(1) + "e" +
                       std::to_string(written_exponent);
      back = std::strtod(up.c_str(), nullptr);
    }
    if (back == x) {
      while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
      *exponent = written_exponent + 1;
      return digits;
    }
  }
  ADD_FAILURE() << "no shortest digits for " << x;
  return "";
}

void expect_shortest(double x) {
  int expected_exponent = 0;
  std::string expected = reference_shortest(x, &expected_exponent);
  int exponent, sign, length;
  const char* digits = float_to_digits(x, 0, &exponent, &sign, &length, true);
  ASSERT_EQ(digits, expected) << std::hexfloat << x;
  ASSERT_EQ(exponent, expected_exponent) << std::hexfloat << x;
  ASSERT_EQ(length, static_cast<int>(expected.size()));
}

TEST(FloatToDigits, ShortestMatchesIndependentReference) {
  // Every power of two (where the gap below is half the gap above), both ends of every
  // binade's mantissa, and random bit patterns.
  for (int k = -1074; k <= 1023; ++k) {
    double power = std::ldexp(1.0, k);
    expect_shortest(power);
    if (k > -1074) expect_shortest(std::nextafter(power, 0.0));
  }
  std::mt19937_64 random(20240611);
  for (int i = 0; i < 20000; ++i) {
    double x = std::bit_cast<double>(random() & 0x7FFFFFFFFFFFFFFF);
    if (!std::isfinite(x) || x == 0) continue;
    expect_shortest(x);
  }
}

TEST(FloatToDigits, PrecisionMatchesCorrectlyRoundedPrintf) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    double x = std::bit_cast<double>(random() & 0x7FFFFFFFFFFFFFFF);
    if (!std::isfinite(x) || x == 0) continue;
    int precision = 1 + static_cast<int>(random() % float_max_digits);
    char text[64];
    std::snprintf(text, sizeof text, "%.*e", precision - 1, x);
    std::string expected;
    char* c = text;
    for (; *c != 'e'; ++c)
      if (*c != '.') expected += *c;
    while (expected.size() > 1 && expected.back() == '0') expected.pop_back();
    int exponent, sign, length;
    const char* digits = float_to_digits(x, precision, &exponent, &sign, &length, true);
    ASSERT_EQ(digits, expected) << std::hexfloat << x << " precision " << precision;
    ASSERT_EQ(exponent, std::atoi(c + 1) + 1);
  }
}

TEST(FormFloat, RoundTripsThroughReading) {
  std::mt19937_64 random(99);
  for (int i = 0; i < 20000; ++i) {
    double x = std::bit_cast<double>(random());
    if (std::isnan(x)) continue;
    std::string text = form_float(x, 0, i % 2 == 0);
    read_result back = read(text);
    ASSERT_EQ(bits_of(back.value), bits_of(x)) << text;
    ASSERT_EQ(back.left, 0u) << text;
  }
}

// ---------------------------------------------------------------------------------------
// Reading

TEST(Strtod, FormsAndBytesLeft) {
  struct row {
    const char* text;
    double value;
    size_t left;
  };
  const row rows[] = {
      {"1.5", 1.5, 0},
      {"+2", 2.0, 0},
      {"-2.25", -2.25, 0},
      {".5", 0.5, 0},
      {"5.", 5.0, 0},
      {"0001.25", 1.25, 0},
      {"-000.000125", -0.000125, 0},
      {"1E3", 1000.0, 0},
      {"1e+3", 1000.0, 0},
      {"25e-3", 0.025, 0},
      {"123456789012345678901234567890", 123456789012345678901234567890.0, 0},
      {"1.5abc", 1.5, 3},
      {"1e", 1.0, 1},
      {"1e+", 1.0, 2},
      {"1e5x", 1e5, 1},
      {"1.2.3", 1.2, 2},
      // nothing to read: the whole range is left
      {"", 0.0, 0},
      {"-", 0.0, 1},
      {".", 0.0, 1},
      {"-.e5", 0.0, 4},
      {"abc", 0.0, 3},
      // out of range
      {"1e400", inf, 0},
      {"-1e400", -inf, 0},
      {"1e-400", 0.0, 0},
      {"1e99999999999999999999999", inf, 0},
      {"1e-99999999999999999999999", 0.0, 0},
      {"0e99999999999999999999999", 0.0, 0},
      {"0.0000000000000000000000000000000000001e99999999", inf, 0},
      // special forms
      {"1.#INF", inf, 0},
      {"-1.#INF", -inf, 0},
      {"+1.#inf", inf, 0},
      {"1.#INFINITY", inf, 0},
      {"1.#INF x", inf, 2},
      {"01.#INF", inf, 0},
      {"0.#INF", 0.0, 4},  // the 0 is a skipped leading zero: no special form
      {"11.#INF", 11.0, 4},
      {"1.#", 1.0, 1},
      {"1.#x", 1.0, 2},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    read_result got = read(r.text);
    EXPECT_EQ(bits_of(got.value), bits_of(r.value));
    EXPECT_EQ(got.left, r.left);
  }
}

TEST(Strtod, NaNIsQuietAndPositive) {
  for (const char* text : {"1.#NaN", "-1.#NaN", "1.#nan", "-9.#N"}) {
    SCOPED_TRACE(text);
    read_result got = read(text);
    EXPECT_EQ(bits_of(got.value), 0x7FF8000000000000u);
    EXPECT_EQ(got.left, 0u);
  }
}

TEST(Strtod, SignedZeroAndNullLeft) {
  EXPECT_EQ(bits_of(read("-0").value), bits_of(-0.0));
  EXPECT_EQ(bits_of(read("-0.000e5").value), bits_of(-0.0));
  const char text[] = "2.5";
  EXPECT_EQ(strtod(text, text + 3, 0, nullptr), 2.5);
}

TEST(Strtod, StopsAtTheEndOfTheRange) {
  // The bytes after the range would change the value if they were read.
  const char text[] = "1.25e3#INF";
  size_t left = 99;
  EXPECT_EQ(strtod(text, text + 3, 0, &left), 1.2);
  EXPECT_EQ(left, 0u);
  EXPECT_EQ(strtod(text, text + 5, 0, &left), 1.25);
  EXPECT_EQ(left, 1u);
  EXPECT_EQ(strtod(text + 7, text + 10, 0, &left), 0.0);
  EXPECT_EQ(left, 3u);
}

// The exact decimal of m x 2^e, as digits and a decimal exponent: "Ne-k" or "N".
struct exact_decimal {
  std::string digits;  // integer digits, most significant first
  int exponent;        // value = digits x 10^exponent
};

exact_decimal exact(uint64_t mantissa, int two_exponent) {
  std::vector<int> number;  // least significant first
  for (uint64_t m = mantissa; m; m /= 10) number.push_back(static_cast<int>(m % 10));
  // 2^-k = 5^k x 10^-k
  int factor = two_exponent >= 0 ? 2 : 5;
  for (int i = 0; i < std::abs(two_exponent); ++i) {
    int carry = 0;
    for (int& digit : number) {
      int product = digit * factor + carry;
      digit = product % 10;
      carry = product / 10;
    }
    if (carry) number.push_back(carry);
  }
  exact_decimal result{"", two_exponent >= 0 ? 0 : two_exponent};
  for (auto d = number.rbegin(); d != number.rend(); ++d) result.digits += char('0' + *d);
  return result;
}

// One less in the last digit, borrowing as needed.
std::string decrement(std::string digits) {
  size_t i = digits.size() - 1;
  for (; digits[i] == '0'; --i) digits[i] = '9';
  --digits[i];
  return digits;
}

// Exactly halfway from a finite double x to the next one up.
exact_decimal midpoint_above(double x) {
  uint64_t b = bits_of(x);
  int biased = static_cast<int>(b >> 52);
  uint64_t m = b & ((uint64_t{1} << 52) - 1);
  if (biased) m |= uint64_t{1} << 52;
  int e = (biased ? biased : 1) - 1075;
  return exact(2 * m + 1, e - 1);
}

TEST(Strtod, HalfwayCasesRoundToEven) {
  // Each exact midpoint reads as the neighbour with the even mantissa; a hair below or
  // above it (far past 800 significant digits) settles to that side.
  const double values[] = {0.0,        denorm_min,  0x1p-1022 - denorm_min,
                           0.1,        1.0,         0x1p53,
                           1e23,       1.5e300,     dbl_max};
  for (double x : values) {
    double next = std::nextafter(x, inf);
    double even = (bits_of(x) & 1) == 0 ? x : next;
    exact_decimal mid = midpoint_above(x);
    std::string exponent = "e" + std::to_string(mid.exponent);
    std::string lower = decrement(mid.digits) + "." + std::string(900, '9') + exponent;
    std::string halfway = mid.digits + "." + std::string(900, '0') + exponent;
    std::string upper = mid.digits + "." + std::string(900, '0') + "1" + exponent;
    SCOPED_TRACE(testing::Message() << std::hexfloat << x << " midpoint " << mid.digits
                                    << exponent);
    EXPECT_EQ(bits_of(read(mid.digits + exponent).value), bits_of(even));
    EXPECT_EQ(bits_of(read(halfway).value), bits_of(even));
    EXPECT_EQ(bits_of(read(lower).value), bits_of(x));
    EXPECT_EQ(bits_of(read(upper).value), bits_of(next));
    EXPECT_EQ(read(upper).left, 0u);
  }
}

TEST(Strtod, TrickyValues) {
  struct row {
    const char* text;
    double value;
  };
  const row rows[] = {
      {"0.1", 0x1.999999999999ap-4},
      {"1e23", 0x1.52d02c7e14af6p+76},
      {"9007199254740993", 0x1p53},
      {"9007199254740995", 0x1.0000000000002p53},
      {"9007199254740993.0000000000000000000001", 0x1.0000000000001p53},
      {"2.2250738585072011e-308", 0x0.fffffffffffffp-1022},
      {"2.2250738585072012e-308", 0x1p-1022},
      {"4.9406564584124654e-324", denorm_min},
      {"2.4703282292062327e-324", 0.0},
      {"2.4703282292062328e-324", denorm_min},
      {"1.7976931348623157e308", dbl_max},
      {"1.7976931348623158e308", dbl_max},
      {"1.7976931348623159e308", inf},
      {"123456789012345e22", 123456789012345e22},  // exact power applied in two steps
      {"1e37", 1e37},
      {"0.000000000000000000000000000000000000000000000000000000000000000000001", 1e-69},
      {"8.5e-323", 0x0.0000000000011p-1022},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(bits_of(read(r.text).value), bits_of(r.value));
  }
}

TEST(Strtod, PercentDividesByHundredWithOneRounding) {
  // Each value here differs from reading the text and then dividing by 100.
  struct row {
    const char* text;
    double fraction;
  };
  const row rows[] = {
      {"0.7", 0.007}, {"1.1", 0.011}, {"0.57", 0.0057},
      {"8.2", 0.082}, {"33.3", 0.333}, {"1.005", 0.01005},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    ASSERT_NE(c_strtod(r.text) / 100, r.fraction);
    EXPECT_EQ(bits_of(read(r.text, -2).value), bits_of(r.fraction));
  }
  EXPECT_EQ(read("12.5", -2).value, 0.125);
  EXPECT_EQ(read("1e-322", -2).value, 0.0);
  EXPECT_EQ(read("-1.#INF", -2).value, -inf);
}

TEST(Strtod, MatchesTheCLibraryOnRandomTexts) {
  std::mt19937_64 random(12345);
  auto digits = [&](size_t count) {
    std::string s;
    for (size_t i = 0; i < count; ++i) s += char('0' + random() % 10);
    return s;
  };
  for (int i = 0; i < 30000; ++i) {
    size_t whole = random() % 22, fraction = random() % 22;
    if (i % 50 == 0) fraction = 300 + random() % 1200;
    if (whole + fraction == 0) whole = 1;
    std::string mantissa = (random() % 2 ? "-" : "") + digits(whole);
    if (fraction) mantissa += "." + digits(fraction);
    int exponent = static_cast<int>(random() % 700) - 350;
    std::string text = mantissa + "e" + std::to_string(exponent);
    SCOPED_TRACE(text);
    read_result got = read(text);
    ASSERT_EQ(bits_of(got.value), bits_of(c_strtod(text)));
    ASSERT_EQ(got.left, 0u);
    double percent = c_strtod(mantissa + "e" + std::to_string(exponent - 2));
    ASSERT_EQ(bits_of(read(text, -2).value), bits_of(percent));
  }
}

}  // namespace
}  // namespace tav
