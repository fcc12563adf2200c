// time!: construction, the h:mm:ss text, fields, arithmetic that stays in time, parity and
// rounding.
#include "datatypes/time.hpp"

#include "scalar_fixture.hpp"

namespace tav {
namespace {

using testing::block_of;
using testing::call_entry;
using testing::compared;
using testing::float_cell;
using testing::fired_by;
using testing::integer_cell;
using testing::made;
using testing::math;
using testing::molded;
using testing::path_read;
using testing::path_set;
using testing::percent_cell;
using testing::picked;
using testing::rounded;
using testing::string_of;
using testing::time_cell;
using testing::word_of;
using Time = testing::scalar_values;

TEST_F(Time, Construction) {
  struct row {
    cell spec;
    const char* expected;
  };
  const row rows[] = {
      {block_of({integer_cell(1), integer_cell(30)}), "1:30:00"},
      {block_of({integer_cell(1), integer_cell(2), float_cell(3.5)}), "1:02:03.5"},
      {block_of({integer_cell(-1), integer_cell(30)}), "-1:30:00"},
      {block_of({integer_cell(0), integer_cell(90), integer_cell(75)}), "1:31:15"},
      {block_of({integer_cell(5)}), "5:00:00"},
      {block_of({}), "0:00:00"},
      {integer_cell(90), "0:01:30"},
      {integer_cell(-3600), "-1:00:00"},
      {float_cell(1.5), "0:00:01.5"},
      {percent_cell(0.5), "0:00:00.5"},
      {time_cell(61), "0:01:01"},
  };
  for (const row& r : rows) {
    cell result = made(TYPE_TIME, r.spec);
    EXPECT_EQ(result.type(), TYPE_TIME);
    EXPECT_EQ(molded(result), r.expected);
    EXPECT_EQ(molded(testing::converted(TYPE_TIME, r.spec)), r.expected);
  }
  const cell bads[] = {
      block_of({integer_cell(1), integer_cell(-30)}),
      block_of({integer_cell(1), integer_cell(2), integer_cell(-3)}),
      block_of({integer_cell(1), integer_cell(2), integer_cell(3), integer_cell(4)}),
      block_of({float_cell(1.5), integer_cell(2)}),
      block_of({integer_cell(1), float_cell(2.5)}),
      block_of({integer_cell(1), string_of("2")}),
      testing::char_cell('a'),
      none::value,
  };
  for (const cell& spec : bads) {
    EXPECT_EQ(fired_by([&] { made(TYPE_TIME, spec); }), error_id::script_bad_to_arg) << molded(spec);
    EXPECT_EQ(last_fired.args[0].payload1, TYPE_TIME);
  }
}

TEST_F(Time, ConstructionFromTextTakesTheScannedTime) {
  scanned() = time_cell(5400);
  cell text = string_of("1:30");
  set_type(text, TYPE_TAG);
  EXPECT_EQ(molded(made(TYPE_TIME, text)), "1:30:00");
  EXPECT_EQ(scanned_text(), "1:30");
  scanned() = integer_cell(1);
  cell other = string_of("1");
  EXPECT_EQ(fired_by([&] { made(TYPE_TIME, other); }), error_id::script_bad_to_arg);
  EXPECT_EQ(last_fired.args[1].type(), TYPE_STRING);
  EXPECT_EQ(last_fired.args[1].payload2, other.payload2);
}

TEST_F(Time, Text) {
  struct row {
    double seconds;
    const char* expected;
  };
  const row rows[] = {
      {5.25, "0:00:05.25"},
      {1e-9, "0:00:00"},
      {-1800, "-0:30:00"},
      {360000, "100:00:00"},
      {59.9999999, "0:00:60"},
      {3723.7, "1:02:03.7"},
      {-3723.7, "-1:02:03.7"},
      {12.125, "0:00:12.125"},
      {1e15, "277777777777:46:40"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(molded(time_cell(r.seconds)), r.expected);
    EXPECT_EQ(testing::formed(time_cell(r.seconds)), r.expected);
  }
  cell limited = call_entry(actions::entry::form, {time_cell(-3723.5), integer_cell(4)}, {1});
  EXPECT_EQ(testing::text_of(limited), "-1:0");
}

TEST_F(Time, FieldsByPickAndPath) {
  cell t = time_cell(-5400);  // -1:30:00
  EXPECT_EQ(scalar::integer_value(path_read(t, word_of("hour"))), -1);
  EXPECT_EQ(scalar::integer_value(path_read(t, word_of("Minute"))), 30);
  cell second = picked(t, word_of("second"));
  EXPECT_EQ(second.type(), TYPE_FLOAT);
  EXPECT_EQ(float_::get(second), 0.0);
  EXPECT_EQ(float_::get(picked(time_cell(3723.5), integer_cell(3))), 3.5);
  EXPECT_EQ(scalar::integer_value(picked(time_cell(3723.5), integer_cell(2))), 2);

  struct row {
    double seconds;
    const char* field;
    cell value;
    const char* expected;
  };
  const row rows[] = {
      {5400, "minute", integer_cell(45), "1:45:00"},
      {5400, "hour", integer_cell(3), "3:30:00"},
      {5400, "second", float_cell(2.5), "1:30:02.5"},
      {5402.5, "second", integer_cell(0), "1:30:00"},
      {3723, "hour", integer_cell(100), "100:02:03"},
  };
  for (const row& r : rows) EXPECT_EQ(molded(path_set(time_cell(r.seconds), word_of(r.field), r.value)), r.expected);
  EXPECT_EQ(molded(path_set(time_cell(5400), integer_cell(2), integer_cell(5))), "1:05:00");

  EXPECT_EQ(fired_by([&] { path_set(t, word_of("hour"), float_cell(1.5)); }), error_id::script_invalid_arg);
  EXPECT_EQ(fired_by([&] { path_set(t, word_of("minute"), string_of("1")); }), error_id::script_invalid_arg);
  EXPECT_EQ(fired_by([&] { path_read(t, word_of("day")); }), error_id::script_invalid_path);
  EXPECT_EQ(fired_by([&] { path_read(t, integer_cell(4)); }), error_id::script_invalid_path);
  EXPECT_EQ(fired_by([&] { picked(t, word_of("day")); }), error_id::script_cannot_use);
  EXPECT_EQ(fired_by([&] { picked(t, integer_cell(4)); }), error_id::script_out_of_range);
  EXPECT_EQ(time::get_named_index(word_of("day"), integer_cell(1)), -1);
}

TEST_F(Time, ArithmeticStaysInTime) {
  struct row {
    int32_t op;
    cell value1, value2;
    uint8_t type;
    const char* expected;
  };
  const row rows[] = {
      {math_op::divide, time_cell(3600), time_cell(1800), TYPE_FLOAT, "2.0"},
      {math_op::divide, time_cell(3600), integer_cell(2), TYPE_TIME, "0:30:00"},
      {math_op::add, time_cell(3600), integer_cell(2), TYPE_TIME, "1:00:02"},
      {math_op::subtract, time_cell(3600), time_cell(1800.5), TYPE_TIME, "0:29:59.5"},
      {math_op::multiply, time_cell(1800), float_cell(2.5), TYPE_TIME, "1:15:00"},
      {math_op::multiply, integer_cell(2), time_cell(3600), TYPE_TIME, "2:00:00"},
      {math_op::remainder, time_cell(3700), time_cell(3600), TYPE_TIME, "0:01:40"},
  };
  for (const row& r : rows) {
    cell result = math(r.op, r.value1, r.value2);
    EXPECT_EQ(result.type(), r.type) << r.expected;
    EXPECT_EQ(molded(result), r.expected);
  }
  cell date{TYPE_DATE, 0, 0, 0};
  EXPECT_EQ(fired_by([] { math(math_op::multiply, time_cell(3600), time_cell(3600)); }),
            error_id::script_not_related);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "multiply");
  EXPECT_EQ(fired_by([&] { math(math_op::subtract, time_cell(3600), date); }), error_id::script_not_related);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "subtract");
  EXPECT_EQ(last_fired.args[1].payload1, TYPE_TIME);
  EXPECT_EQ(fired_by([] { call_entry(actions::entry::power, {time_cell(2), integer_cell(2)}); }),
            error_id::script_expect_arg);
}

TEST_F(Time, InheritedNumberActions) {
  EXPECT_EQ(molded(call_entry(actions::entry::negate, {time_cell(90)})), "-0:01:30");
  EXPECT_EQ(molded(call_entry(actions::entry::absolute, {time_cell(-90)})), "0:01:30");
  EXPECT_TRUE(compared(actions::op::equal, time_cell(3600), float_cell(3600.0)));
  EXPECT_FALSE(compared(actions::op::strict_equal, time_cell(3600), float_cell(3600.0)));
  EXPECT_TRUE(compared(actions::op::lesser, time_cell(59), time_cell(60)));
}

TEST_F(Time, ParityOfTheSecondsWithinTheMinute) {
  struct row {
    double seconds;
    bool even;
  };
  const row rows[] = {{3602, true}, {3603, false}, {2.9999999, false}, {-3, false}, {-2, true}, {62, true}};
  for (const row& r : rows) {
    EXPECT_EQ(logic::get(call_entry(actions::entry::even_p, {time_cell(r.seconds)})), r.even) << r.seconds;
    EXPECT_EQ(logic::get(call_entry(actions::entry::odd_p, {time_cell(r.seconds)})), !r.even) << r.seconds;
  }
}

TEST_F(Time, RoundingIsInSeconds) {
  cell five = time_cell(5), minute = integer_cell(60), tenth = float_cell(0.1);
  struct row {
    double seconds;
    const cell* scale;
    testing::round_modes modes;
    const char* expected;
  };
  const row rows[] = {
      {3723.7, nullptr, {}, "1:02:04"},
      {3723.7, &five, {}, "1:02:05"},
      {3723.7, &minute, {}, "1:02:00"},
      {3750, &minute, {}, "1:03:00"},
      {3750, &minute, {.down = true}, "1:02:00"},
      {3723.75, &tenth, {}, "1:02:03.8"},
      {-3723.5, nullptr, {}, "-1:02:04"},
      // Beyond 32-bit integers an integer! scale keeps the value whole.
      {1e10, &minute, {}, "2777777:47:00"},
  };
  for (const row& r : rows) {
    cell result = rounded(time_cell(r.seconds), r.scale, r.modes);
    EXPECT_EQ(result.type(), TYPE_TIME);
    EXPECT_EQ(molded(result), r.expected);
  }
}

}  // namespace
}  // namespace tav
