// apply: functions by value, by word and by path, in the sequential and the all form.
#include <gtest/gtest.h>

#include "interpreter/functions_fixture.hpp"

namespace tav {
namespace {

using Apply = testing::functions;

TEST_F(Apply, FormsAndTargets) {
  struct row {
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{"apply :append [[] [1 2] /only true]", "[[1 2]]"},
           row{"apply :append [[] [1 2] /only false]", "[1 2]"},
           // Refinements after the last value given are off, their typed arguments none unchecked.
           row{"apply :append [[] 1]", "[1]"},
           row{"apply 'append [[] 1]", "[1]"},
           row{"f: func [a /r b [integer!]] [reduce [a r b]] apply :f [1]", "[1 false none]"},
           row{"f: func [a b] [a - b] apply 'f [5 2]", "3"},
           row{"f: func [a b] [a - b] apply :f [5 2]", "3"},
           row{"apply 'append/only [[] [1 2]]", "[[1 2]]"},
           row{"apply :+ [1 2]", "3"},
           row{"apply :append [[] [a] /dup true 3 /only true]", "[[a] [a] [a]]"},
           // Arguments are evaluated; missing ones are none.
           row{"apply :append [[] 1 + 1 /only false]", "[2]"},
           row{"f: func [a b] [reduce [a b]] apply :f [1]", "[1 none]"},
           // A refinement followed by false stays off and its arguments are none.
           row{"f: func [a /r b] [reduce [a r b]] apply :f [1 /r false]", "[1 false none]"},
           row{"f: func [a /r b] [reduce [a r b]] apply :f [1 /r true 2]", "[1 true 2]"},
           // The all form: every refinement's state in spec order, then its arguments.
           row{"f: func [a /r b /s] [reduce [a r b s]] apply/all :f [1 true 2 true]", "[1 true 2 true]"},
           row{"f: func [a /r b /s] [reduce [a r b s]] apply/all :f [1 false 2 true]", "[1 false none true]"},
           row{"apply/all :append [[] [1 2] false none true false none]", "[[1 2]]"},
           // /safer: every argument is one value of the block, never an expression.
           row{"x: 1 y: 2 f: func [a b] [reduce [a b]] apply/safer :f [x y]", "[1 2]"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
}

TEST_F(Apply, Errors) {
  EXPECT_EQ(error_of("apply 1 []"), error_id::script_invalid_arg);
  EXPECT_EQ(error_of("x: 1 apply 'x []"), error_id::script_invalid_arg);
  EXPECT_EQ(error_of("apply :append [[] 1 /bogus true]"), error_id::script_no_refine);
  EXPECT_EQ(error_of("apply/all :append [[] 1 1]"), error_id::script_expect_arg);
  // The operator is not taken into the first argument's expression.
  EXPECT_EQ(error_of("f: func [a b] [reduce [a b]] apply/safer :f [1 + 2]"), error_id::script_no_op_arg);
}

}  // namespace
}  // namespace tav
