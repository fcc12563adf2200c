// foreach, forall and remove-each, and the step routines they keep their state for.
#include <gtest/gtest.h>

#include "datatypes/block.hpp"
#include "interpreter/evaluation_fixture.hpp"
#include "interpreter/natives_iteration.hpp"

namespace tav {
namespace {

using Foreach = testing::evaluation;
using Forall = testing::evaluation;
using RemoveEach = testing::evaluation;

TEST_F(Foreach, WalksEveryKindOfSeries) {
  expect_results({
      {"r: copy [] foreach [a b] [1 2 3] [append r b] r", "[2 none]"},
      {"r: copy [] foreach [a b] [1 2 3] [append r a] r", "[1 3]"},
      {"foreach x [1 2 3] [x * 10]", "30"},
      {"foreach x [] [1]", "unset"},
      {"n: 0 foreach x [] [n: 1] n", "0"},
      {"r: copy [] foreach x next [1 2 3] [append r x] r", "[2 3]"},
      {"r: copy [] foreach x [a (b) \"c\" [d]] [append/only r x] r", "[a (b) \"c\" [d]]"},
      {"r: copy [] foreach c \"aé\" [append r c] r", "[#\"a\" #\"é\"]"},
      {"r: copy [] foreach [a b] \"abc\" [append r b] r", "[#\"b\" none]"},
      {"r: copy [] foreach b #{01FF} [append r b] r", "[1 255]"},
      {"r: copy [] foreach [a: b] [1 2] [append r b] r", "[2]"},
      // The series given is not moved.
      {"b: [1 2] foreach x b [] b", "[1 2]"},
      // The loop word keeps the last value.
      {"foreach x [1 2] [] x", "2"},
  });
}

TEST_F(Foreach, BreakContinueAndOtherExits) {
  expect_results({
      {"foreach x [1 2 3] [if x = 2 [break] x]", "unset"},
      {"foreach x [1 2 3] [if x = 2 [break/return x * 7]]", "14"},
      {"n: 0 foreach x [1 2 3] [if x = 2 [continue] n: n + x] n", "4"},
      {"catch [foreach x [1 2 3] [if x = 2 [throw x]]]", "2"},
      {"f: func [] [foreach x [1 2 3] [if x = 2 [return x * 100]] 0] f", "200"},
      {"n: 0 foreach x [1 2] [foreach y [1 2 3] [if y = 2 [break] n: n + 1]] n", "2"},
  });
}

TEST_F(Foreach, TheSeriesMayChangeUnderTheLoop) {
  expect_results({
      {"b: [1 2 3] n: 0 foreach x b [n: n + 1 clear b] n", "1"},
      // Growing moves the buffer; the loop follows the series, not the buffer.
      {"b: [1] n: 0 foreach x b [n: n + 1 if n = 1 [loop 200 [append b 0]]] n", "201"},
  });
}

TEST_F(Foreach, Faults) {
  expect_errors({
      {"foreach [] [1] []", error_id::script_invalid_arg},
      {"foreach [a 1] [1] []", error_id::script_invalid_arg},
      {"foreach x [1 2] [x / 0]", error_id::math_zero_divide},
      {"foreach x 5 []", error_id::script_expect_arg},
  });
  // The words block changed by the body: the step finds the missing word instead of reading past
  // the tail.
  EXPECT_EQ(error_of("w: [a b] do compose/only [foreach (w) [1 2 3 4] [clear w]]"), error_id::script_invalid_arg);
}

TEST_F(Forall, MovesTheWordAndPutsItBack) {
  expect_results({
      {"s: [1 2 3] forall s [if s/1 = 2 [break]] s", "[2 3]"},
      {"s: next [1 2 3] r: copy [] forall s [append r s/1] reduce [s r]", "[[2 3] [2 3]]"},
      {"s: [1 2] forall s [s/1 * 10]", "20"},
      {"s: \"abc\" n: 0 forall s [n: n + 1] reduce [n s]", "[3 \"abc\"]"},
      {"s: [1 2 3] n: 0 forall s [if s/1 = 2 [continue] n: n + s/1] n", "4"},
      {"s: tail [1] n: 0 forall s [n: 1] reduce [n s]", "[0 []]"},
      // A body that moves the word on itself skips what it passed.
      {"s: [1 2 3 4] r: copy [] forall s [append r s/1 s: next s] r", "[1 3]"},
      // The series may grow while the word walks it.
      {"s: [1] n: 0 forall s [n: n + 1 if n = 1 [loop 200 [append s 0]]] n", "201"},
      {"s: [1 2] forall s [append s 3 if 5 < length? head s [break]] head s", "[1 2 3 3 3 3]"},
  });
}

TEST_F(Forall, Faults) {
  expect_errors({
      {"s: [1 2] forall s [s: [3 4]]", error_id::script_bad_loop_series},
      {"s: [1 2] forall s [s: 5]", error_id::script_bad_loop_series},
      {"s: [1 2] forall s [s: \"ab\"]", error_id::script_bad_loop_series},
      {"s: 5 forall s []", error_id::script_expect_arg},
  });
  error_of("s: 5 forall s []");
  EXPECT_EQ(mold_of(last_fired.args[0]), "forall");
  EXPECT_EQ(mold_of(last_fired.args[1]), "integer!");
  EXPECT_EQ(mold_of(last_fired.args[2]), "word");
}

TEST_F(RemoveEach, RemovesWhatTheBodyAccepts) {
  expect_results({
      {"x: [1 2 3 4] remove-each [a b] x [a = 3] x", "[1 2]"},
      {"x: [1 2 3 4 5] remove-each v x [v > 2] x", "[1 2]"},
      {"x: [1 2 3] remove-each [a b] x [true] x", "[]"},
      {"x: [1 2 3] remove-each v next x [v = 2]", "[3]"},
      {"x: [1 2 3] remove-each v next x [v = 2] x", "[1 3]"},
      {"s: \"a-b-c\" remove-each c s [c = #\"-\"] s", "\"abc\""},
      {"x: [1 2 3] remove-each v x [none] x", "[1 2 3]"},
      {"x: [1 2 3] remove-each [] x [true] x", "[1 2 3]"},
      // continue keeps the pass's values, break ends the loop without removing.
      {"x: [1 2 3] remove-each v x [if v = 2 [continue] true] x", "[2]"},
      {"x: [1 2 3] remove-each v x [if v = 2 [break] true] x", "[2 3]"},
  });
  EXPECT_EQ(error_of("remove-each [a 2] [1 2] [true]"), error_id::script_invalid_arg);
}

// The step routines as compiled loops call them, on state laid out below a loop frame.
TEST_F(Foreach, StepRoutinesReadTheStateBelowTheLoopFrame) {
  value_of("a: b: 0");
  cell* base = stack::top;
  stack::push_copy(source::first_of("[1 2 3]"));
  stack::push_copy(source::first_of("[a b]"));
  stack::push_loop_frame(words::body);
  EXPECT_TRUE(natives::foreach_next_block(2));
  EXPECT_EQ(scalar::integer_value(global("a")), 1);
  EXPECT_EQ(scalar::integer_value(global("b")), 2);
  EXPECT_TRUE(natives::foreach_next_block(2));
  EXPECT_EQ(scalar::integer_value(global("a")), 3);
  EXPECT_EQ(global("b").type(), TYPE_NONE);
  EXPECT_FALSE(natives::foreach_next_block(2));
  EXPECT_EQ(stack::arguments[-2].payload1, 6u) << "the cursor moves on at the tail too";
  stack::pop_frame();
  stack::top = base;
}

}  // namespace
}  // namespace tav
