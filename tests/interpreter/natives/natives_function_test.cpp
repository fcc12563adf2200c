// func, function, does and has; switch and case; do on every kind of value.
#include <gtest/gtest.h>

#include "boot/system_object.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "interpreter/functions_fixture.hpp"

namespace tav {
namespace {

using Functions = testing::functions;
using Selection = testing::functions;
using Do = testing::functions;

std::string spec_of(const cell& function) { return testing::molded(cell{TYPE_BLOCK, 0, function::spec_of(function), 0}); }

TEST_F(Functions, MakersAndTheirLocals) {
  struct row {
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{"f: func [a b] [a - b] f 10 4", "6"},
           row{"f: does [1 + 1] f", "2"},
           row{"f: has [a] [a: 5 a * 2] f", "10"},
           // Locals leave the global words alone.
           row{"x: 0 f: function [] [x: 1] f x", "0"},
           row{"x: 0 f: function [] [if true [x: 1 y: 2]] f x", "0"},
           row{"a: 1 f: has [a] [a: 5] f a", "1"},
           // A word listed after /extern stays global.
           row{"x: 0 f: function [/extern x] [x: 1 y: 2] f x", "1"},
           row{"x: 0 f: func [] [x: 1] f x", "1"},
           // The body is copied: changing the block given does not change the function.
           row{"b: [1] f: does b append b 2 f", "1"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
  EXPECT_EQ(spec_of(value_of("does [1]")), "[]");
  EXPECT_EQ(spec_of(value_of("has [a] [a]")), "[/local a]");
  EXPECT_EQ(spec_of(value_of("function [a] [b: a c: b]")), "[a /local b c]");
  EXPECT_EQ(spec_of(value_of("function [a /extern c] [b: a c: b]")), "[a /local b]");
  // function works on a copy of any spec it is given.
  EXPECT_EQ(result_of("s: [a] function s [b: 1] s"), "[a]");
}

TEST_F(Functions, SpecFaults) {
  struct row {
    const char* code;
    error_id error;
  };
  for (const row& r : {
           row{"func [a a] []", error_id::script_dup_vars},
           row{"func [1] []", error_id::script_bad_func_def},
           row{"has [a a] []", error_id::script_dup_vars},
           row{"function [x: 1] []", error_id::script_bad_func_def},
           row{"f: func [a] [a] f", error_id::script_no_arg},
       }) {
    EXPECT_EQ(error_of(r.code), r.error) << r.code;
  }
}

TEST_F(Selection, Switch) {
  struct row {
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{"switch 2 [1 [10] 2 3 [20] 4 [30]]", "20"},
           row{"switch 5 [1 [10]]", "none"},
           row{"switch/default 5 [1 [10]] [99]", "99"},
           row{"switch/default 1 [1 [10]] [99]", "10"},
           // Only values of exactly the value's type are candidates.
           row{"switch 1 [1.0 [10] 1 [20]]", "20"},
           row{"switch 1.0 [1 [10]]", "none"},
           row{"switch 'a [b [10] a [20]]", "20"},
           // A block never matches, neither as the value nor as a case.
           row{"switch [1] [[1] [10]]", "none"},
           row{"switch 1 [1]", "none"},
           row{"n: 0 switch 1 [1 [n: n + 1] 1 [n: n + 10]] n", "1"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
}

TEST_F(Selection, Case) {
  struct row {
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{"case [false [1] true [2]]", "2"},
           row{"case [true 1 + 1 true [3]]", "2"},
           row{"case [1 = 2 [1] 2 = 2 [2] true [3]]", "2"},
           row{"case []", "none"},
           row{"case [false [1] none [2]]", "none"},
           row{"case/all [true [1] false [2]]", "none"},
           row{"case/all [true [1] true [2]]", "2"},
           row{"n: 0 case/all [true [n: n + 1] false [n: n + 5] true [n: n + 10]] n", "11"},
           row{"n: 0 case [true [n: n + 1] true [n: n + 10]] n", "1"},
           // The value after a false condition is stepped over, not evaluated.
           row{"n: 0 case [false (n: 5) true [n]]", "0"},
           row{"n: 0 loop 5 [n: n + 1 case [n = 2 [break]]] n", "2"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
  EXPECT_EQ(error_of("case [true]"), error_id::script_need_value);
  EXPECT_EQ(last_fired.args[0].type(), TYPE_WORD);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "case");
  EXPECT_EQ(error_of("case [false [1] true]"), error_id::script_need_value);
  EXPECT_EQ(error_of("case [() [1]]"), error_id::script_no_value);
}

TEST_F(Do, EveryKindOfValue) {
  struct row {
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{"do [1 + 2]", "3"},
           row{"do \"1 + 2\"", "3"},
           row{"do \"x: 4 x * x\"", "16"},
           row{"do []", "unset"},
           row{"do 5", "5"},
           row{"x: 7 do 'x", "7"},
           row{"f: does [8] do :f", "8"},
           row{"b: [(1 + 2)] do b/1", "3"},
           row{"o: make object! [a: 4] do 'o/a", "4"},
           row{"b: [1 + 1 2 + 2] do/next b 'p", "2"},
           row{"b: [1 + 1 2 + 2] do/next b 'p p", "[2 + 2]"},
           row{"b: [1 + 1 2 + 2] do/next next next next b 'p p", "[]"},
           row{"do/next [] 'p p", "[]"},
           row{"n: 0 loop 3 [n: n + 1 do [break]] n", "1"},
           row{"f: func [] [do [return 5] 6] f", "5"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
  EXPECT_EQ(value_of("do/next [] 'p").type(), TYPE_UNSET);
  EXPECT_EQ(error_of("do %no-such-script-here.tav"), error_id::access_cannot_open);
  EXPECT_EQ(result_of("do/expand [#if true [1 + 1]]"), "2");
  EXPECT_EQ(error_of("do \"1 +\""), error_id::script_no_arg);
}

TEST_F(Do, TraceIsInstalledForTheEvaluationOnly) {
  EXPECT_EQ(result_of("events: 0 t: func [e c o v r f] [events: events + 1] do/trace [negate 3] :t"), "-3");
  EXPECT_GT(scalar::integer_value(global("events")), 2);
  EXPECT_FALSE(interpreter::trace_installed);
  EXPECT_FALSE(interpreter::tracing);
  // A path reports its entry, each element fetched and used, and its exit.
  EXPECT_EQ(result_of("events: 0 x: 6 do/trace [x] :t"), "6");
  int32_t word_events = scalar::integer_value(global("events"));
  EXPECT_EQ(result_of("events: 0 b: [5 [6]] do/trace [b/2/1] :t"), "6");
  // enter, fetch b, fetch and push 2, fetch and push 1, exit; no push of the result as a word has
  EXPECT_EQ(scalar::integer_value(global("events")), word_events + 7 - 1);
  // An error ends the evaluation and the trace with it.
  EXPECT_EQ(error_of("t: func [e c o v r f] [] do/trace [zz] :t"), error_id::script_no_value);
  EXPECT_FALSE(interpreter::trace_installed);
  EXPECT_FALSE(interpreter::tracing);
}

class DoErrors : public testing::functions {
 protected:
  void SetUp() override {
    testing::functions::SetUp();
    system_object::init();
  }
  void TearDown() override {
    system_object::forget();
    testing::functions::TearDown();
  }
};

// An error! is raised again as the error it holds, with its arguments.
TEST_F(DoErrors, AnErrorValueIsRaised) {
  EXPECT_EQ(error_of("do make error! [math zero-divide]"), error_id::math_zero_divide);
  EXPECT_EQ(error_of("e: make error! [script no-value] e/arg1: 'thing do e"), error_id::script_no_value);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "thing");
  EXPECT_EQ(error_of("e: make error! [script no-value] e/type: 'nonsense do e"), error_id::script_no_value);
}

}  // namespace
}  // namespace tav
