// money!: the digit helpers, the conversions at the edges of their ranges, and the exact
// arithmetic checked against a digit-by-digit model of long-hand decimal arithmetic.
#include "datatypes/money.hpp"

#include <cmath>
#include <random>
#include <string>

#include "scalar_fixture.hpp"

namespace tav {
namespace {

using testing::fired_by;
using Money = testing::scalar_values;
using money::wide;

// An amount from its text of hundred-thousandths (up to 22 digits) and a sign.
cell amount(const std::string& digits, bool negative = false) {
  cell m{TYPE_MONEY, 0, 0, 0};
  wide value = 0;
  for (char c : digits) value = value * 10 + static_cast<uint32_t>(c - '0');
  money::set_amount(m, value);
  money::set_sign(m, negative);
  return m;
}

std::string digits_of(const cell& m) {
  std::string text;
  for (int32_t i = 1; i <= money::digit_count; ++i) text += static_cast<char>('0' + money::get_digit(money::digits(m), i));
  return text;
}

TEST(MoneyDigits, AmountsPackAsBcdMostSignificantFirst) {
  cell m = amount("1234567890123456789012");
  EXPECT_EQ(digits_of(m), "1234567890123456789012");
  const uint8_t* d = money::digits(m);
  EXPECT_EQ(d[0], 0x12);
  EXPECT_EQ(d[10], 0x12);
  // Digit 18 (tenths) is bits 8-11 of payload 3.
  cell half = amount("50000");
  EXPECT_EQ(half.payload3 & 0xFFFF0F00u, 0x500u);
  money::set_currency(m, 7);
  EXPECT_EQ(m.payload1 & 0xFF, 7u);
  EXPECT_EQ(money::get_amount(m), money::get_amount(amount("1234567890123456789012")));
  money::set_digit(money::digits(m), 22, 9);
  EXPECT_EQ(digits_of(m), "1234567890123456789019");
}

TEST(MoneyDigits, SignificantDigitsAndSigns) {
  struct row {
    const char* digits;
    int32_t significant;
  };
  for (const row& r : {row{"0", 1}, row{"1", 1}, row{"9", 1}, row{"10", 2}, row{"100000", 6},
                       row{"1234567890123456789012", 22}, row{"123456789012345678901", 21}}) {
    EXPECT_EQ(money::significant_digits(money::digits(amount(r.digits))), r.significant) << r.digits;
  }
  EXPECT_EQ(money::sign_p(amount("0", true)), 0);
  EXPECT_EQ(money::sign_p(amount("1", true)), -1);
  EXPECT_EQ(money::sign_p(amount("1")), 1);
  struct order {
    cell a, b;
    int32_t expected;
  };
  for (const order& o : {order{amount("5"), amount("3"), 1}, order{amount("5", true), amount("3", true), -1},
                         order{amount("0", true), amount("0"), 0}, order{amount("1", true), amount("0"), -1},
                         order{amount("2"), amount("9", true), 1}}) {
    EXPECT_EQ(money::compare_amounts(o.a, o.b), o.expected) << digits_of(o.a) << " " << digits_of(o.b);
  }
}

TEST_F(Money, IntegersAtTheEdgesOfTheRange) {
  cell lowest = money::make_integer(INT32_MIN);
  EXPECT_EQ(digits_of(lowest), "0000000214748364800000");
  EXPECT_EQ(money::get_sign(lowest), 1u);
  EXPECT_EQ(money::to_integer(lowest), INT32_MIN);
  EXPECT_EQ(money::to_integer(amount("214748364799999")), INT32_MAX);
  EXPECT_EQ(money::to_integer(amount("214748364899999", true)), INT32_MIN);
  EXPECT_EQ(money::to_integer(amount("99999", true)), 0);
  for (const cell& m : {amount("214748364800000"), amount("214748364900000", true), amount("9999999999999999999999")})
    EXPECT_EQ(fired_by([&] { money::to_integer(m); }), error_id::script_type_limit) << digits_of(m);
  EXPECT_EQ(last_fired.args[0].payload1, TYPE_INTEGER);
}

TEST_F(Money, FloatsTakeTheirShortestDigits) {
  struct row {
    double x;
    bool strict;
    const char* digits;
  };
  for (const row& r : {row{0.1, true, "10000"}, row{1e-5, true, "1"}, row{123456789.125, true, "12345678912500"},
                       row{1e16, true, "1000000000000000000000"}, row{1.123456, false, "112345"},
                       row{0.3, true, "30000"}, row{99999999999999984.0, true, "9999999999999998000000"}}) {
    EXPECT_EQ(digits_of(money::make_float(r.x, r.strict)), std::string(22 - std::strlen(r.digits), '0') + r.digits)
        << r.x;
  }
  EXPECT_EQ(money::get_sign(money::make_float(-2.5, true)), 1u);
  for (double x : {1.123456, 1e-6, 1e17, -1e17, std::nan(""), HUGE_VAL})
    EXPECT_EQ(fired_by([&] { money::make_float(x, true); }), error_id::script_bad_make_arg) << x;
  // The way back is correctly rounded, never a division in doubles.
  for (double x : {0.1, 0.3, 1.1, 12345.67891, 99999999999999.99, 0.00007})
    EXPECT_EQ(money::to_float(money::make_float(x, true)), x) << x;
  EXPECT_EQ(money::to_float(amount("9999999999999999999999", true)), -99999999999999999.99999);
}

// ---- A digit-by-digit model of the arithmetic -----------------------------------------------

// Digits 1..32 of a work area, most significant first; a cell's 22 digits are positions 1..22.
struct digits_model {
  int d[33] = {};
  bool negative = false;
};

digits_model model_of(const cell& m) {
  digits_model x;
  for (int32_t i = 1; i <= 22; ++i) x.d[i] = static_cast<int>(money::get_digit(money::digits(m), i));
  x.negative = money::get_sign(m);
  return x;
}

bool model_zero(const digits_model& x) {
  for (int i = 1; i <= 22; ++i)
    if (x.d[i]) return false;
  return true;
}

int model_sign(const digits_model& x) { return model_zero(x) ? 0 : x.negative ? -1 : 1; }

int model_significant(const digits_model& x) {
  for (int i = 1; i <= 22; ++i)
    if (x.d[i]) return 23 - i;
  return 1;
}

// Magnitude order of positions 1..n.
int model_compare(const int* a, const int* b, int n) {
  for (int i = 1; i <= n; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

enum class outcome { value, limit, zero_divide };

outcome model_add(digits_model& a, digits_model b);

outcome model_subtract(digits_model& a, digits_model b) {
  int sa = model_sign(a), sb = model_sign(b);
  if (sa == 0) {
    a = b;
    a.negative = !b.negative;
    return outcome::value;
  }
  if (sb == 0) return outcome::value;
  if (sa != sb) {
    bool negative = sa < 0;
    a.negative = b.negative = false;
    outcome o = model_add(a, b);
    a.negative = negative;
    return o;
  }
  int order = model_compare(a.d, b.d, 22);
  bool less = sa > 0 ? order < 0 : order > 0;
  const digits_model& big = order >= 0 ? a : b;
  const digits_model& small = order >= 0 ? b : a;
  digits_model result;
  int borrow = 0;
  for (int i = 22; i >= 1; --i) {
    int v = big.d[i] - small.d[i] - borrow;
    borrow = v < 0;
    result.d[i] = v < 0 ? v + 10 : v;
  }
  result.negative = less;
  a = result;
  return outcome::value;
}

outcome model_add(digits_model& a, digits_model b) {
  int sa = model_sign(a), sb = model_sign(b);
  if (sb == 0) return outcome::value;
  if (sa == 0) {
    a = b;
    return outcome::value;
  }
  if (sa != sb) {
    // A negative and a positive: the difference of the magnitudes.
    if (sa < 0) {
      digits_model positive = b;
      a.negative = false;
      outcome o = model_subtract(positive, a);
      a = positive;
      return o;
    }
    b.negative = false;
    return model_subtract(a, b);
  }
  if (a.d[1] + b.d[1] >= 10) return outcome::limit;
  int carry = 0;
  for (int i = 22; i >= 1; --i) {
    int v = a.d[i] + b.d[i] + carry;
    carry = v / 10;
    a.d[i] = v % 10;
  }
  return carry ? outcome::limit : outcome::value;
}

outcome model_multiply(digits_model& a, const digits_model& b) {
  int sa = model_sign(a), sb = model_sign(b);
  if (sa == 0) return outcome::value;
  if (sb == 0) {
    a = b;
    return outcome::value;
  }
  int na = model_significant(a), nb = model_significant(b);
  if (na + nb > 28) return outcome::limit;
  int area[33] = {};
  for (int j = 22; j > 22 - nb; --j) {
    int carry = 0, i = 22;
    for (; i > 22 - na; --i) {
      int v = a.d[i] * b.d[j] + area[i + j - 16] + carry;
      carry = v / 10;
      area[i + j - 16] = v % 10;
    }
    area[i + j - 16] += carry;
  }
  if (area[1]) return outcome::limit;
  digits_model result;
  for (int i = 1; i <= 22; ++i) result.d[i] = area[i + 1];
  if (model_zero(result)) return outcome::limit;
  result.negative = sa != sb;
  a = result;
  return outcome::value;
}

// Long division by repeated subtraction of the 27-digit dividend (the amount times 10^5, or the
// amount itself for a remainder) by the divisor.
outcome model_divide(digits_model& a, const digits_model& b, bool remainder) {
  int sa = model_sign(a), sb = model_sign(b);
  if (sb == 0) return outcome::zero_divide;
  if (sa == 0) return outcome::value;
  int na = model_significant(a), nb = model_significant(b);
  if (!remainder && na + 6 - nb > 22) return outcome::limit;
  constexpr int width = 27;
  int dividend[width + 1] = {}, quotient[width + 1] = {};
  int shift = remainder ? 0 : 5;
  for (int i = 1; i <= 22; ++i) dividend[i + 5 - shift] = a.d[i];
  int divisor[width + 1] = {};
  for (int i = 1; i <= 22; ++i) divisor[i + 5] = b.d[i];
  int top = width - nb + 1;  // the divisor's first digit
  for (int k = top - 1; k >= 0; --k) {
    // The divisor moved k places toward the most significant end sits under positions
    // top-k..width-k; subtract while the window is not below it.
    for (;;) {
      int window_order = 0;
      for (int i = 1; i <= width && !window_order; ++i) {
        int aligned = i + k <= width ? divisor[i + k] : 0;
        if (dividend[i] != aligned) window_order = dividend[i] < aligned ? -1 : 1;
      }
      if (window_order < 0) break;
      int borrow = 0;
      for (int i = width; i >= 1; --i) {
        int aligned = i + k <= width ? divisor[i + k] : 0;
        int v = dividend[i] - aligned - borrow;
        borrow = v < 0;
        dividend[i] = v < 0 ? v + 10 : v;
      }
      ++quotient[width - k];
    }
  }
  digits_model result;
  if (remainder) {
    for (int i = 1; i <= 22; ++i) result.d[i] = dividend[i + 5];
    result.negative = a.negative;
  } else {
    for (int i = 1; i <= 5; ++i)
      if (quotient[i]) return outcome::limit;
    for (int i = 1; i <= 22; ++i) result.d[i] = quotient[i + 5];
    if (model_zero(result)) return outcome::limit;
    result.negative = sa != sb;
  }
  a = result;
  return outcome::value;
}

outcome model_op(digits_model& a, const digits_model& b, int32_t op) {
  switch (op) {
    case money::op::add: return model_add(a, b);
    case money::op::subtract: return model_subtract(a, b);
    case money::op::multiply: return model_multiply(a, b);
    case money::op::divide: return model_divide(a, b, false);
    default: return model_divide(a, b, true);
  }
}

// Amounts of every length, zeros and edge digits included.
cell random_amount(std::mt19937_64& rng) {
  int length = static_cast<int>(rng() % 23);
  std::string digits;
  int kind = static_cast<int>(rng() % 8);
  for (int i = 0; i < length; ++i) {
    char c = static_cast<char>('0' + rng() % 10);
    if (kind == 0) c = '9';
    if (kind == 1 && i > 0) c = '0';
    digits += c;
  }
  if (digits.empty()) digits = "0";
  return amount(digits, rng() % 2);
}

TEST_F(Money, ArithmeticMatchesTheDigitModel) {
  std::mt19937_64 rng(20261210);
  const char* names[] = {"add", "subtract", "multiply", "divide", "remainder"};
  for (int round = 0; round < 20000; ++round) {
    cell a = random_amount(rng), b = random_amount(rng);
    for (int32_t op = money::op::add; op <= money::op::remainder; ++op) {
      digits_model expected = model_of(a);
      outcome o = model_op(expected, model_of(b), op);
      cell result = a;
      auto fired = fired_by([&] { money::do_op(result, b, op); });
      std::string where = std::string(names[op]) + " " + (money::get_sign(a) ? "-" : "") + digits_of(a) + " " +
                          (money::get_sign(b) ? "-" : "") + digits_of(b);
      if (o == outcome::limit) {
        ASSERT_EQ(fired, error_id::script_type_limit) << where;
        continue;
      }
      if (o == outcome::zero_divide) {
        ASSERT_EQ(fired, error_id::math_zero_divide) << where;
        continue;
      }
      ASSERT_FALSE(fired) << where;
      digits_model got = model_of(result);
      ASSERT_EQ(model_compare(got.d, expected.d, 22), 0) << where << " gives " << digits_of(result);
      ASSERT_EQ(got.negative, expected.negative) << where;
    }
  }
}

}  // namespace
}  // namespace tav
