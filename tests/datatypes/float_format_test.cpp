// Text of float-based numbers: form through the general-format writer with its noise
// re-format, pretty zeros and exponent layout; mold of float! through the round-trip writer.
#include <limits>
#include <string>

#include "number_helpers.hpp"

namespace tav {
namespace {

using testing::float_cell;
using FloatText = testing::number_values;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

TEST_F(FloatText, FormAndMoldOfFloat) {
  struct row {
    double x;
    const char* formed;
    const char* molded;
  };
  for (const row& r : {
           row{0.1 + 0.2, "0.3", "0.30000000000000004"},
           row{434.99999999999994, "435.0", "434.99999999999994"},
           row{1e16, "1.0e16", "10000000000000000.0"},
           row{1e17, "1.0e17", "1.0e17"},
           row{1e20, "1.0e20", "1.0e20"},
           row{1e-7, "1.0e-7", "0.0000001"},
           row{1e-8, "1.0e-8", "1.0e-8"},
           row{1.5e-7, "1.5e-7", "0.00000015"},
           row{123.0, "123.0", "123.0"},
           row{-2.5, "-2.5", "-2.5"},
           row{0.0001, "0.0001", "0.0001"},
           row{1.0 / 3.0, "0.3333333333333333", "0.3333333333333333"},
           row{2.0 / 3.0, "0.6666666666666666", "0.6666666666666666"},
           row{1e300 * 10, "1.0e301", "1.0e301"},
           row{1.7976931348623157e308, "1.797693134862316e308", "1.7976931348623157e308"},
           row{0.0, "0.0", "0.0"},
           row{-0.0, "0.0", "-0.0"},
           row{1e-20, "0.0", "1.0e-20"},
           row{inf, "1.#INF", "1.#INF"},
           row{-inf, "-1.#INF", "-1.#INF"},
           row{nan, "1.#NaN", "1.#NaN"},
       }) {
    EXPECT_EQ(testing::formed(float_cell(r.x)), r.formed) << r.molded;
    EXPECT_EQ(testing::molded(float_cell(r.x)), r.molded) << r.formed;
  }
}

TEST_F(FloatText, NoiseIsHiddenOnlyAtTheLastDigits) {
  struct row {
    double x;
    const char* formed;
  };
  for (const row& r : {
           row{0.30000000000000004 * 3, "0.9"},        // 0.9000000000000001
           row{1.0000000000000002, "1.0"},             // ends in 02: kept as 1.0 by %.16g
           row{100.00000000000001, "100.0"},           // 01 at the end
           row{123456.78901234567, "123456.7890123457"},  // no noise pattern: all digits stay
           row{-434.99999999999994, "-435.0"},
           row{1.2345678901234567e-5, "1.234567890123457e-5"},
       }) {
    EXPECT_EQ(testing::formed(float_cell(r.x)), r.formed) << r.x;
  }
}

TEST_F(FloatText, PrettyPrintOff) {
  float_::pretty_print = false;
  EXPECT_EQ(testing::formed(float_cell(-0.0)), "-0.0");
  EXPECT_EQ(testing::formed(float_cell(1e-20)), "9.999999999999999e-21");
  EXPECT_EQ(testing::formed(float_cell(434.99999999999994)), "434.9999999999999");
  EXPECT_EQ(testing::formed(testing::percent_cell(1e-20)), "1e-18%");
  EXPECT_STREQ(float_::format(1e-20, 5), "1e-20");
}

TEST_F(FloatText, EveryKind) {
  struct row {
    double x;
    int32_t kind;
    const char* expected;
  };
  for (const row& r : {
           row{0.1f, 0, "0.1"},
           row{16777216.0, 0, "1.677722e7"},
           row{1677721.0, 0, "1677721.0"},
           row{1e20, 0, "1.0e20"},
           row{12.5, 2, "12.5%"},
           row{12.5, 3, "12.5%"},
           row{1e-20, 3, "0%"},
           row{1.5, 4, "1.5"},
           row{12.0, 4, "12"},
           row{59.9999999, 4, "60"},
           row{1e-20, 4, "0.0"},
           row{2.0, 5, "2"},
           row{2.5, 5, "2.5"},
           row{1e-20, 5, "0"},
           row{1e20, 5, "1e20"},
       }) {
    EXPECT_STREQ(float_::format(r.x, r.kind), r.expected) << r.x << " kind " << r.kind;
  }
}

TEST_F(FloatText, BudgetCountsTheText) {
  cell buffer;
  text::make_at(buffer, 8);
  cell value = float_cell(0.1 + 0.2);
  EXPECT_EQ(float_::form(&value, &buffer, nullptr, 10), 7);
  EXPECT_EQ(float_::mold(&value, &buffer, false, false, false, nullptr, 10, 0), -9);
  EXPECT_EQ(testing::text_of(buffer), "0.30.30000000000000004");
}

}  // namespace
}  // namespace tav
