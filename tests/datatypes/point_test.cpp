// point2D! and point3D!: construction, text, 32-bit arithmetic, tolerant comparison,
// rounding, path access and the unary actions.
#include "datatypes/point.hpp"

#include <cmath>

#include "datatypes/pair.hpp"
#include "runtime/random.hpp"
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
using testing::word_of;
using Point = testing::scalar_values;

cell p2(float x, float y) {
  cell value{TYPE_POINT2D, 0, 0, 0};
  point2D::make_at(value, x, y);
  return value;
}

cell p3(float x, float y, float z) {
  cell value{TYPE_POINT3D, 0, 0, 0};
  point3D::make_at(value, x, y, z);
  return value;
}

cell pair_of(int32_t x, int32_t y) {
  cell value{TYPE_PAIR, 0, 0, 0};
  pair::make_at(value, x, y);
  return value;
}

TEST_F(Point, Construction) {
  struct row {
    uint8_t type;
    cell spec;
    const char* expected;
  };
  const row rows[] = {
      {TYPE_POINT2D, block_of({integer_cell(1), integer_cell(2)}), "(1, 2)"},
      {TYPE_POINT2D, block_of({float_cell(0.1), integer_cell(2), string_of("extra")}), "(0.1, 2)"},
      {TYPE_POINT3D, block_of({integer_cell(1), integer_cell(2), float_cell(-3.5)}), "(1, 2, -3.5)"},
      {TYPE_POINT2D, integer_cell(7), "(7, 7)"},
      {TYPE_POINT3D, float_cell(1.5), "(1.5, 1.5, 1.5)"},
      {TYPE_POINT2D, pair_of(3, -4), "(3, -4)"},
      {TYPE_POINT3D, pair_of(1, 2), "(1, 2, 0)"},
      {TYPE_POINT3D, p2(1.5f, 2), "(1.5, 2, 0)"},
      {TYPE_POINT2D, p2(1, 2), "(1, 2)"},
      // 16777217 has no 32-bit float: the nearest is kept.
      {TYPE_POINT2D, integer_cell(16777217), "(1.677722e7, 1.677722e7)"},
  };
  for (const row& r : rows) {
    cell result = made(r.type, r.spec);
    EXPECT_EQ(result.type(), r.type);
    EXPECT_EQ(molded(result), r.expected);
  }
  struct bad {
    uint8_t type;
    cell spec;
    error_id expected;
  };
  const bad bads[] = {
      {TYPE_POINT3D, block_of({integer_cell(1), integer_cell(2)}), error_id::syntax_malconstruct},
      {TYPE_POINT2D, block_of({integer_cell(1), string_of("2")}), error_id::syntax_malconstruct},
      {TYPE_POINT2D, block_of({percent_cell(0.5), integer_cell(2)}), error_id::syntax_malconstruct},
      {TYPE_POINT2D, p3(1, 2, 3), error_id::script_bad_to_arg},
      {TYPE_POINT2D, percent_cell(0.5), error_id::script_bad_to_arg},
      {TYPE_POINT3D, testing::time_cell(1), error_id::script_bad_to_arg},
  };
  for (const bad& b : bads) EXPECT_EQ(fired_by([&] { made(b.type, b.spec); }), b.expected) << molded(b.spec);

  scanned() = p3(1, 2, 3);
  EXPECT_EQ(molded(made(TYPE_POINT3D, string_of("(1, 2, 3)"))), "(1, 2, 3)");
  EXPECT_EQ(fired_by([] { made(TYPE_POINT2D, string_of("(1, 2, 3)")); }), error_id::script_bad_to_arg);
}

TEST_F(Point, TextOfComponents) {
  EXPECT_EQ(molded(p2(0.1f, 2)), "(0.1, 2)");
  EXPECT_EQ(testing::formed(p3(-0.5f, 1e10f, 123456.7f)), "(-0.5, 1e10, 123456.7)");
  EXPECT_EQ(molded(p2(1e-20f, INFINITY)), "(0, 1.#INF)");
  float_::pretty_print = false;
  EXPECT_EQ(molded(p2(1e-20f, 0)), "(1e-20, 0)");
  float_::pretty_print = true;
}

TEST_F(Point, Arithmetic) {
  struct row {
    int32_t op;
    cell value1, value2;
    const char* expected;
  };
  const row rows[] = {
      {math_op::add, p2(1.5f, 2.5f), integer_cell(1), "(2.5, 3.5)"},
      {math_op::multiply, p2(1, 2), float_cell(2.0), "(2, 4)"},
      {math_op::divide, p2(1, -2), integer_cell(0), "(1.#INF, -1.#INF)"},
      {math_op::divide, p2(3, 6), percent_cell(0.5), "(6, 12)"},
      {math_op::subtract, p2(1, 2), pair_of(1, 1), "(0, 1)"},
      {math_op::remainder, p3(7, -7, 7.5f), integer_cell(2), "(1, -1, 1.5)"},
      {math_op::add, p3(1, 2, 3), p3(0.5f, 0.5f, 0.5f), "(1.5, 2.5, 3.5)"},
      {math_op::subtract, p2(1, 2), float_cell(0.5), "(0.5, 1.5)"},
      // Rounded to 32 bits after each operation.
      {math_op::add, p2(16777216, 0), integer_cell(1), "(1.677722e7, 1)"},
      // A number on the left changes places with the point.
      {math_op::multiply, integer_cell(3), p2(1, 2), "(3, 6)"},
      {math_op::add, float_cell(0.5), p3(1, 2, 3), "(1.5, 2.5, 3.5)"},
  };
  for (const row& r : rows) EXPECT_EQ(molded(math(r.op, r.value1, r.value2)), r.expected);

  EXPECT_EQ(fired_by([] { math(math_op::add, p3(1, 2, 3), pair_of(1, 2)); }), error_id::script_invalid_type);
  EXPECT_EQ(fired_by([] { math(math_op::add, p3(1, 2, 3), p2(1, 2)); }), error_id::script_invalid_type);
  EXPECT_EQ(fired_by([] { math(math_op::add, p2(1, 2), string_of("1")); }), error_id::script_invalid_type);
  EXPECT_EQ(fired_by([] { math(math_op::subtract, float_cell(1.0), p2(1, 2)); }), error_id::script_not_related);
  EXPECT_EQ(last_fired.args[1].payload1, TYPE_POINT2D);
  EXPECT_EQ(fired_by([] { math(math_op::and_, p2(1, 2), p2(1, 2)); }), error_id::script_expect_arg);
}

TEST_F(Point, ComparisonToleratesLastPlaces) {
  float near_one = std::nextafter(std::nextafter(1.0f, 2.0f), 2.0f);
  EXPECT_TRUE(compared(actions::op::equal, p2(1, 2), p2(near_one, 2)));
  EXPECT_FALSE(compared(actions::op::strict_equal, p2(1, 2), p2(near_one, 2)));
  EXPECT_FALSE(compared(actions::op::equal, p2(1, 2), p2(1.001f, 2)));
  EXPECT_TRUE(compared(actions::op::strict_equal, p3(1, 2, 3), p3(1, 2, 3)));
  EXPECT_TRUE(compared(actions::op::equal, p2(0.0f, 1), p2(-0.0f, 1)));
  EXPECT_FALSE(compared(actions::op::same, p2(0.0f, 1), p2(-0.0f, 1)));
  EXPECT_FALSE(compared(actions::op::equal, p2(NAN, 1), p2(NAN, 1)));
  // x decides first; y only when the x difference is nothing.
  EXPECT_TRUE(compared(actions::op::lesser, p2(1, 5), p2(2, 0)));
  EXPECT_TRUE(compared(actions::op::lesser, p2(1, 1), p2(near_one, 2)));
  EXPECT_TRUE(compared(actions::op::greater, p3(1, 2, 4), p3(1, 2, 3)));
  EXPECT_TRUE(compared(actions::op::equal, p2(3, 4), pair_of(3, 4)));
  EXPECT_FALSE(compared(actions::op::equal, p3(3, 4, 0), p2(3, 4)));
  EXPECT_FALSE(compared(actions::op::equal, p2(3, 4), integer_cell(3)));
}

TEST_F(Point, RoundingPerComponent) {
  cell one = integer_cell(1), split = pair_of(1, 5), flat = p2(1, 1), tenth = float_cell(0.1);
  EXPECT_EQ(molded(rounded(p2(1.4f, 2.6f), &one)), "(1, 3)");
  EXPECT_EQ(molded(rounded(p2(1.26f, 7.5f), &split)), "(1, 10)");
  EXPECT_EQ(molded(rounded(p3(1.4f, 2.6f, 3.3f), &flat)), "(1, 3, 3.3)");
  EXPECT_EQ(molded(rounded(p2(1.26f, -7.5f))), "(1, -8)");
  EXPECT_EQ(molded(rounded(p2(2.5f, 3.5f), nullptr, {.even = true})), "(2, 4)");
  EXPECT_EQ(molded(rounded(p2(1.26f, 7.54f), &tenth)), "(1.3, 7.5)");
  // Magnitudes beyond 32-bit integers keep their value with an integer! scale.
  EXPECT_EQ(molded(rounded(p2(3e9f, -1e20f), &one)), "(3e9, -1e20)");
}

TEST_F(Point, PickPathsAndUnaryActions) {
  cell p = p2(1.5f, -2);
  cell x = picked(p, word_of("x"));
  EXPECT_EQ(x.type(), TYPE_FLOAT);
  EXPECT_EQ(float_::get(x), 1.5);
  EXPECT_EQ(float_::get(picked(p3(1, 2, 3), integer_cell(3))), 3.0);
  EXPECT_EQ(fired_by([&] { picked(p, word_of("z")); }), error_id::script_cannot_use);
  EXPECT_EQ(fired_by([&] { picked(p, integer_cell(3)); }), error_id::script_out_of_range);

  EXPECT_EQ(float_::get(path_read(p, word_of("y"))), -2.0);
  EXPECT_EQ(float_::get(path_read(p3(1, 2, 3), word_of("z"))), 3.0);
  EXPECT_EQ(molded(path_set(p, word_of("x"), integer_cell(2))), "(2, -2)");
  EXPECT_EQ(molded(path_set(p3(1, 2, 3), integer_cell(3), float_cell(0.25))), "(1, 2, 0.25)");
  EXPECT_EQ(fired_by([&] { path_set(p, word_of("x"), string_of("2")); }), error_id::script_invalid_type);
  EXPECT_EQ(fired_by([&] { path_read(p, word_of("z")); }), error_id::script_invalid_path);
  EXPECT_EQ(fired_by([&] { path_read(p, integer_cell(0)); }), error_id::script_invalid_path);

  EXPECT_EQ(molded(call_entry(actions::entry::reverse, {p3(1, 2, 3)}, {-1, -1})), "(3, 2, 1)");
  EXPECT_EQ(molded(call_entry(actions::entry::reverse, {p2(1, 2)}, {-1, -1})), "(2, 1)");
  EXPECT_EQ(molded(call_entry(actions::entry::negate, {p2(0, -2)})), "(0, 2)");
  EXPECT_FALSE(std::signbit(point::component(call_entry(actions::entry::negate, {p2(0, 1)}), 0)));
  EXPECT_EQ(molded(call_entry(actions::entry::absolute, {p3(-1, 2, -0.5f)})), "(1, 2, 0.5)");
}

TEST_F(Point, Random) {
  for (int round = 0; round < 50; ++round) {
    cell drawn = call_entry(actions::entry::random, {p2(10, 0)}, {-1, -1, -1});
    EXPECT_GE(point::component(drawn, 0), 0.0f);
    EXPECT_LE(point::component(drawn, 0), 10.0f);
    EXPECT_EQ(point::component(drawn, 1), 0.0f);
  }
  EXPECT_EQ(call_entry(actions::entry::random, {p3(1, 2, 3)}, {0, -1, -1}).type(), TYPE_UNSET);
  // The seed comes from the components: equal points give equal sequences.
  call_entry(actions::entry::random, {p2(1, 2)}, {0, -1, -1});
  int32_t first = rng::next();
  call_entry(actions::entry::random, {p2(1, 2)}, {0, -1, -1});
  EXPECT_EQ(rng::next(), first);
}

}  // namespace
}  // namespace tav
