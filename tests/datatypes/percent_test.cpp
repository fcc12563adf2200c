// percent!: its text, and the float! behaviour it inherits with its own result types.
#include <string>

#include "number_helpers.hpp"

namespace tav {
namespace {

using testing::percent_cell;
using Percents = testing::number_values;

TEST_F(Percents, Text) {
  struct row {
    double fraction;
    const char* text;
  };
  for (const row& r : {
           row{0.125, "12.5%"},
           row{0.0, "0%"},
           row{-0.0, "0%"},
           row{1e-20, "0%"},
           row{0.5, "50%"},
           row{1.0, "100%"},
           row{-0.0725, "-7.25%"},
           row{0.001, "0.1%"},
           row{0.07, "7%"},
           row{1e20, "1e22%"},
           row{1.0 / 3.0, "33.33333333333%"},
       }) {
    EXPECT_EQ(testing::formed(percent_cell(r.fraction)), r.text) << r.fraction;
    EXPECT_EQ(testing::molded(percent_cell(r.fraction)), r.text) << r.fraction;
  }
}

TEST_F(Percents, InheritsFromFloat) {
  // Every action percent! takes from float! answers a percent!.
  cell half = percent_cell(0.5);
  EXPECT_TRUE(testing::same_bits(testing::call_entry(actions::entry::negate, {half}), percent_cell(-0.5)));
  EXPECT_TRUE(testing::same_bits(testing::math(0, half, testing::int_cell(1)), percent_cell(1.5)));
  EXPECT_TRUE(testing::same_bits(testing::math(2, half, testing::int_cell(2)), percent_cell(1.0)));
  EXPECT_TRUE(testing::same_bits(testing::math(2, testing::int_cell(2), half), testing::float_cell(1.0)));
  cell point_five = testing::float_cell(0.5);
  EXPECT_TRUE(actions::compare(&half, &point_five, actions::op::equal));
  EXPECT_FALSE(actions::compare(&half, &point_five, actions::op::strict_equal));
  EXPECT_EQ(testing::fired_by([&] { testing::call_entry(actions::entry::complement, {half}); }),
            error_id::script_expect_arg);
}

}  // namespace
}  // namespace tav
