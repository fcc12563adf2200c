// try, uppercase and lowercase, and the compound constructors.
#include <gtest/gtest.h>

#include <limits>

#include "interpreter/evaluation_fixture.hpp"

namespace tav {
namespace {

class TryNative : public testing::evaluation {
 protected:
  void SetUp() override {
    evaluation::SetUp();
    source::define("nan", scalar::float_cell(std::numeric_limits<double>::quiet_NaN()));
    source::define("infinity", scalar::float_cell(std::numeric_limits<double>::infinity()));
  }
};
using CaseNatives = TryNative;
using Constructors = TryNative;

TEST_F(TryNative, StopsErrorsAndLetsOtherExitsPass) {
  expect_results({
      {"try [1 + 1]", "2"},
      {"try []", "unset"},
      {"e: try [1 / 0] e/id", "zero-divide"},
      {"e: try/all [return 1] e/id", "return"},
      {"catch [try [throw 5]]", "5"},
      {"e: try/all [throw 5] e/id", "throw"},
      {"n: 0 loop 3 [n: n + 1 try [break]] n", "1"},
      {"n: 0 loop 3 [n: n + 1 try/all [break]] n", "3"},
      {"f: func [] [try [return 3] 4] f", "3"},
      {"e: try [try [1 / 0] 2 / 0] e/id", "zero-divide"},
      {"try [try [1 / 0] 7]", "7"},
      // An error! value that is the block's value is the result too.
      {"e1: try [1 / 0] e2: try [e1] e2/id", "zero-divide"},
  });
}

// The calls are recorded where the error is raised, before the try unwinds them.
TEST_F(TryNative, KeepRecordsTheCalls) {
  expect_results({
      {"e: try [1 / 0] e/stack", "[]"},
      {"e: try/keep [1 / 0] e/stack", "[]"},
      {"f: func [] [1 / 0] e: try/keep [f] e/stack", "[f]"},
      {"f: func [] [1 / 0] g: func [] [f] e: try [g] e/stack", "[g f]"},
      {"f: func [] [1 / 0] g: func [] [try [f]] e: g e/stack", "[g f]"},
  });
}

TEST_F(CaseNatives, ChangeTextInPlace) {
  expect_results({
      {"uppercase \"abcé\"", "\"ABCÉ\""},
      {"lowercase \"ÀBC\"", "\"àbc\""},
      {"s: \"abc\" uppercase next s s", "\"aBC\""},
      {"uppercase/part \"abc\" 2", "\"ABc\""},
      {"uppercase/part \"abc\" 1.9", "\"Abc\""},
      {"uppercase/part \"abc\" -1", "\"abc\""},
      {"uppercase/part \"abc\" 10", "\"ABC\""},
      {"s: \"abc\" uppercase/part s next next s", "\"ABc\""},
      {"uppercase #\"a\"", "#\"A\""},
      {"lowercase #\"Z\"", "#\"z\""},
      // A character whose other case needs wider units widens the string.
      {"uppercase \"aÿ\"", "\"AŸ\""},
      {"uppercase/part \"abc\" nan", "\"abc\""},
  });
  EXPECT_EQ(error_of("uppercase/part \"abc\" \"x\""), error_id::script_invalid_part);
}

TEST_F(Constructors, PairsPointsAndMoney) {
  expect_results({
      {"as-pair 1.9 -1.9", "1x-1"},
      {"as-pair 3 4", "3x4"},
      {"as-pair 2147483647.9 -2147483648.9", "2147483647x-2147483648"},
  });
  for (const char* code : {"as-pair 3e9 0", "as-pair 0 -2147483649.0", "as-pair nan 0", "as-pair 0 infinity"})
    EXPECT_EQ(error_of(code), error_id::script_invalid_arg) << code;
  const cell point = value_of("as-point2D 1 2.5");
  EXPECT_EQ(point.type(), TYPE_POINT2D);
  EXPECT_EQ(mold_of(point), mold_of(value_of("make point2D! [1 2.5]")));
  const cell point3 = value_of("as-point3D 1 0.1 -3");
  EXPECT_EQ(point3.type(), TYPE_POINT3D);
  EXPECT_EQ(mold_of(point3), mold_of(value_of("make point3D! [1 0.1 -3]")));
  expect_results({
      {"as-money 'EUR 1", "EUR$1.00"},
      {"as-money 'usd -2.5", "-USD$2.50"},
  });
  EXPECT_EQ(error_of("as-money 'XYZ 1"), error_id::script_bad_denom);
  EXPECT_EQ(mold_of(last_fired.args[0]), "XYZ");
  EXPECT_EQ(error_of("as-money 'EUR 1.123456"), error_id::script_bad_make_arg);
}

}  // namespace
}  // namespace tav
