// Rounding of float-based numbers: the seven modes, steps of every size, the scale's type
// taken by the result, percent steps, and the overflow and pass-through cases.
#include <cmath>
#include <limits>
#include <string>

#include "number_helpers.hpp"

namespace tav {
namespace {

using testing::fired_by;
using testing::float_cell;
using testing::int_cell;
using testing::percent_cell;
using testing::rounded;
using modes = testing::round_modes;
using Rounding = testing::number_values;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

TEST_F(Rounding, ModesWithoutScale) {
  struct row {
    double x;
    modes m;
    double expected;
  };
  for (const row& r : {
           row{2.5, {}, 3.0},
           row{-2.5, {}, -3.0},
           row{2.4999999999999996, {}, 2.0},
           row{2.5, {.even = true}, 2.0},
           row{3.5, {.even = true}, 4.0},
           row{-2.5, {.even = true}, -2.0},
           row{2.6, {.even = true}, 3.0},
           row{2.5, {.half_down = true}, 2.0},
           row{-2.5, {.half_down = true}, -2.0},
           row{-2.5, {.half_ceiling = true}, -2.0},
           row{2.5, {.half_ceiling = true}, 3.0},
           row{-2.7, {.down = true}, -2.0},
           row{-2.2, {.floor = true}, -3.0},
           row{-2.7, {.ceiling = true}, -2.0},
           row{2.1, {.ceiling = true}, 3.0},
           // down, floor and ceiling win over the tie rules, in that order.
           row{-2.5, {.down = true, .floor = true}, -2.0},
           row{-2.5, {.floor = true, .ceiling = true}, -3.0},
           row{2.5, {.even = true, .ceiling = true}, 3.0},
           row{1e300, {}, 1e300},
           row{inf, {}, inf},
           row{-inf, {.floor = true}, -inf},
       }) {
    cell result = rounded(float_cell(r.x));
    if (r.m.even || r.m.down || r.m.half_down || r.m.floor || r.m.ceiling || r.m.half_ceiling)
      result = rounded(float_cell(r.x), nullptr, r.m);
    EXPECT_EQ(result.type(), TYPE_FLOAT) << r.x;
    EXPECT_EQ(float_::get(result), r.expected) << r.x;
  }
  EXPECT_TRUE(std::isnan(float_::get(rounded(float_cell(nan)))));
}

TEST_F(Rounding, ToAScaleTakesTheScalesType) {
  struct row {
    cell value, scale;
    modes m;
    const char* expected;  // the result molded, then its type
  };
  for (const row& r : {
           row{float_cell(17.0), int_cell(5), {}, "15 integer!"},
           row{float_cell(17.5), float_cell(5.0), {}, "20.0 float!"},
           row{float_cell(17.5), int_cell(-5), {}, "20 integer!"},
           row{float_cell(1234.5678), float_cell(0.01), {}, "1234.57 float!"},
           row{float_cell(1.26), percent_cell(0.1), {}, "130% percent!"},
           row{float_cell(7.3), testing::time_cell(2.0), {}, "8.0 time!"},
           row{float_cell(-7.5), float_cell(0.5), {.down = true}, "-7.5 float!"},
           row{float_cell(-7.4), float_cell(0.5), {.floor = true}, "-7.5 float!"},
           row{float_cell(0.125), float_cell(0.25), {.even = true}, "0.0 float!"},
           row{float_cell(0.375), float_cell(0.25), {.even = true}, "0.5 float!"},
           row{percent_cell(0.12345), float_cell(0.1), {}, "0.123 float!"},
           row{float_cell(3e-310), float_cell(1e-310), {}, "3.0e-310 float!"},
           row{float_cell(2.6e-310), float_cell(1e-310), {}, "3.0e-310 float!"},
           // A zero step, or one below the value's precision, answers the value as it was.
           row{float_cell(2.5), int_cell(0), {}, "2.5 float!"},
           row{float_cell(0.0), float_cell(0.0), {}, "0.0 float!"},
           row{float_cell(1e300), float_cell(1.0), {}, "1.0e300 float!"},
           row{float_cell(2147483647.4), int_cell(1), {}, "2147483647 integer!"},
           row{float_cell(-2147483648.0), int_cell(1), {}, "-2147483648 integer!"},
       }) {
    cell scale = r.scale;
    cell result = rounded(r.value, &scale, r.m);
    // time! has no text of its own here: show its seconds.
    std::string shown = result.type() == TYPE_TIME
                            ? testing::molded(float_cell(float_::get(result))) + " time!"
                            : testing::molded(result) + " " + testing::molded(testing::datatype_cell(result.type()));
    EXPECT_EQ(shown, r.expected) << testing::molded(r.value) << " " << testing::molded(r.scale);
  }
}

TEST_F(Rounding, PercentStepsArePercentPoints) {
  cell result = rounded(percent_cell(0.12345));
  EXPECT_EQ(testing::molded(result), "12%");
  EXPECT_EQ(result.type(), TYPE_PERCENT);
  EXPECT_EQ(testing::molded(rounded(percent_cell(0.125), nullptr, {.even = true})), "12%");
  cell two = float_cell(2.0);
  EXPECT_EQ(testing::molded(rounded(percent_cell(0.125), &two)), "0.12");
  // An integer scale makes an integer of the fraction.
  cell two_points = int_cell(2);
  EXPECT_EQ(testing::molded(rounded(percent_cell(0.125), &two_points)), "0");
}

TEST_F(Rounding, Errors) {
  cell step = float_cell(1e308);
  EXPECT_EQ(fired_by([&] { rounded(float_cell(1.7e308), &step); }), error_id::math_overflow);
  EXPECT_EQ(fired_by([&] { rounded(float_cell(-1.7e308), &step); }), error_id::math_overflow);
  // An integer result that does not fit in 32 bits.
  cell one = int_cell(1);
  EXPECT_EQ(fired_by([&] { rounded(float_cell(3e9), &one); }), error_id::math_overflow);
  EXPECT_EQ(fired_by([&] { rounded(float_cell(-2147483649.0), &one); }), error_id::math_overflow);
  cell money{TYPE_MONEY, 0, 0, 0};
  EXPECT_EQ(fired_by([&] { rounded(float_cell(1.5), &money); }), error_id::script_not_related);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "round");
  EXPECT_EQ(last_fired.args[1].payload1, TYPE_MONEY);
  cell text = testing::text_cell("1");
  EXPECT_EQ(fired_by([&] { rounded(float_cell(1.5), &text); }), error_id::script_expect_arg);
}

}  // namespace
}  // namespace tav
