// foreach, forall and remove-each, and the step routines they keep their state for.
#include <gtest/gtest.h>

#include "datatypes/block.hpp"
#include "evaluation_fixture.hpp"
#include "interpreter/natives_iteration.hpp"

namespace tav {
namespace {

using Foreach = testing::evaluation;
using Forall = testing::evaluation;
using RemoveEach = testing::evaluation;

struct row {
  const char* code;
  const char* molded;
};

struct fault {
  const char* code;
  error_id error;
};

TEST_F(Foreach, WalksEveryKindOfSeries) {
  for (const row& r : {
           row{"r: copy [] foreach [a b] [1 2 3] [append r b] r", "[2 none]"},
           row{"r: copy [] foreach [a b] [1 2 3] [append r a] r", "[1 3]"},
           row{"foreach x [1 2 3] [x * 10]", "30"},
           row{"foreach x [] [1]", "unset"},
           row{"n: 0 foreach x [] [n: 1] n", "0"},
           row{"r: copy [] foreach x next [1 2 3] [append r x] r", "[2 3]"},
           row{"r: copy [] foreach x [a (b) \"c\" [d]] [append/only r x] r", "[a (b) \"c\" [d]]"},
           row{"r: copy [] foreach c \"aé\" [append r c] r", "[#\"a\" #\"é\"]"},
           row{"r: copy [] foreach [a b] \"abc\" [append r b] r", "[#\"b\" none]"},
           row{"r: copy [] foreach b #{01FF} [append r b] r", "[1 255]"},
           row{"r: copy [] foreach [a: b] [1 2] [append r b] r", "[2]"},
           // The series given is not moved.
           row{"b: [1 2] foreach x b [] b", "[1 2]"},
           // The loop word keeps the last value.
           row{"foreach x [1 2] [] x", "2"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
}

TEST_F(Foreach, BreakContinueAndOtherExits) {
  for (const row& r : {
           row{"foreach x [1 2 3] [if x = 2 [break] x]", "unset"},
           row{"foreach x [1 2 3] [if x = 2 [break/return x * 7]]", "14"},
           row{"n: 0 foreach x [1 2 3] [if x = 2 [continue] n: n + x] n", "4"},
           row{"catch [foreach x [1 2 3] [if x = 2 [throw x]]]", "2"},
           row{"f: func [] [foreach x [1 2 3] [if x = 2 [return x * 100]] 0] f", "200"},
           row{"n: 0 foreach x [1 2] [foreach y [1 2 3] [if y = 2 [break] n: n + 1]] n", "2"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
}

TEST_F(Foreach, TheSeriesMayChangeUnderTheLoop) {
  for (const row& r : {
           row{"b: [1 2 3] n: 0 foreach x b [n: n + 1 clear b] n", "1"},
           // Growing moves the buffer; the loop follows the series, not the buffer.
           row{"b: [1] n: 0 foreach x b [n: n + 1 if n = 1 [loop 200 [append b 0]]] n", "201"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
}

TEST_F(Foreach, Faults) {
  for (const fault& f : {
           fault{"foreach [] [1] []", error_id::script_invalid_arg},
           fault{"foreach [a 1] [1] []", error_id::script_invalid_arg},
           fault{"foreach x [1 2] [x / 0]", error_id::math_zero_divide},
           fault{"foreach x 5 []", error_id::script_expect_arg},
       }) {
    EXPECT_EQ(error_of(f.code), f.error) << f.code;
  }
  // The words block changed by the body: the step finds the missing word instead of reading past
  // the tail.
  EXPECT_EQ(error_of("w: [a b] do compose/only [foreach (w) [1 2 3 4] [clear w]]"), error_id::script_invalid_arg);
}

TEST_F(Forall, MovesTheWordAndPutsItBack) {
  for (const row& r : {
           row{"s: [1 2 3] forall s [if s/1 = 2 [break]] s", "[2 3]"},
           row{"s: next [1 2 3] r: copy [] forall s [append r s/1] reduce [s r]", "[[2 3] [2 3]]"},
           row{"s: [1 2] forall s [s/1 * 10]", "20"},
           row{"s: \"abc\" n: 0 forall s [n: n + 1] reduce [n s]", "[3 \"abc\"]"},
           row{"s: [1 2 3] n: 0 forall s [if s/1 = 2 [continue] n: n + s/1] n", "4"},
           row{"s: tail [1] n: 0 forall s [n: 1] reduce [n s]", "[0 []]"},
           // A body that moves the word on itself skips what it passed.
           row{"s: [1 2 3 4] r: copy [] forall s [append r s/1 s: next s] r", "[1 3]"},
           // The series may grow while the word walks it.
           row{"s: [1] n: 0 forall s [n: n + 1 if n = 1 [loop 200 [append s 0]]] n", "201"},
           row{"s: [1 2] forall s [append s 3 if 5 < length? head s [break]] head s", "[1 2 3 3 3 3]"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
}

TEST_F(Forall, Faults) {
  for (const fault& f : {
           fault{"s: [1 2] forall s [s: [3 4]]", error_id::script_bad_loop_series},
           fault{"s: [1 2] forall s [s: 5]", error_id::script_bad_loop_series},
           fault{"s: [1 2] forall s [s: \"ab\"]", error_id::script_bad_loop_series},
           fault{"s: 5 forall s []", error_id::script_expect_arg},
       }) {
    EXPECT_EQ(error_of(f.code), f.error) << f.code;
  }
  error_of("s: 5 forall s []");
  EXPECT_EQ(mold_of(last_fired.args[0]), "forall");
  EXPECT_EQ(mold_of(last_fired.args[1]), "integer!");
  EXPECT_EQ(mold_of(last_fired.args[2]), "word");
}

TEST_F(RemoveEach, RemovesWhatTheBodyAccepts) {
  for (const row& r : {
           row{"x: [1 2 3 4] remove-each [a b] x [a = 3] x", "[1 2]"},
           row{"x: [1 2 3 4 5] remove-each v x [v > 2] x", "[1 2]"},
           row{"x: [1 2 3] remove-each [a b] x [true] x", "[]"},
           row{"x: [1 2 3] remove-each v next x [v = 2]", "[3]"},
           row{"x: [1 2 3] remove-each v next x [v = 2] x", "[1 3]"},
           row{"s: \"a-b-c\" remove-each c s [c = #\"-\"] s", "\"abc\""},
           row{"x: [1 2 3] remove-each v x [none] x", "[1 2 3]"},
           row{"x: [1 2 3] remove-each [] x [true] x", "[1 2 3]"},
           // continue keeps the pass's values, break ends the loop without removing.
           row{"x: [1 2 3] remove-each v x [if v = 2 [continue] true] x", "[2]"},
           row{"x: [1 2 3] remove-each v x [if v = 2 [break] true] x", "[2 3]"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
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
