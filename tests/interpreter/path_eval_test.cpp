// Path evaluation: selecting through blocks, objects and scalars, parens and get-words as
// selectors, set-paths storing through the last container, functions called with the path's
// refinements, and the errors of each step.
#include <gtest/gtest.h>

#include "functions_fixture.hpp"

namespace tav {
namespace {

using Paths = testing::functions;

TEST_F(Paths, SelectAndStore) {
  struct row {
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{"b: [10 20] b/(1 + 1)", "20"},
           row{"b: [10 20] b/2", "20"},
           row{"b: [10 20] n: 1 b/:n", "10"},
           row{"b: [x 1 y 2] b/y", "2"},
           row{"b: [1 [2 3]] b/2/1", "2"},
           row{"b: [10 20] :b/1", "10"},
           row{"b: [10 20] b/3", "none"},
           row{"o: make object! [a: 1] o/a: 5 o/a", "5"},
           row{"o: make object! [a: 1] o/a: 5", "5"},
           row{"o: make object! [b: [1 2]] o/b/2: 7 o/b", "[1 7]"},
           row{"o: make object! [i: make object! [j: 3]] o/i/j", "3"},
           row{"b: [1 2] b/1: 9 b", "[9 2]"},
           row{"b: [x 1] b/x: 5 b", "[x 5]"},
           // A scalar changed in place stays changed where it is kept.
           row{"b: [1x2] b/1/y: 5 b", "[1x5]"},
           row{"o: make object! [p: 1x2] o/p/x: 7 o/p", "7x2"},
           row{"'a/b/c", "a/b/c"},
           row{"b: [10 20] b/1 + 1", "11"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
}

TEST_F(Paths, FunctionsTakeTheFollowingElementsAsRefinements) {
  EXPECT_EQ(result_of("append/only [1] [2 3]"), "[1 [2 3]]");
  EXPECT_EQ(result_of("append/dup/only [] [a] 2"), "[[a] [a]]");
  EXPECT_EQ(result_of("f: func [a /twice] [either twice [a * 2] [a]] f/twice 4"), "8");
  EXPECT_EQ(result_of("f: func [a /twice] [either twice [a * 2] [a]] f 4"), "4");
  // A function reached inside an object is called with the arguments after the path.
  EXPECT_EQ(result_of("o: make object! [f: func [x] [x * 2]] o/f 4"), "8");
  EXPECT_EQ(result_of("o: make object! [f: func [x /more] [either more [x + 100] [x]]] o/f/more 1"), "101");
  // A get-path yields the function without calling it.
  EXPECT_EQ(value_of("o: make object! [f: func [x] [x]] :o/f").type(), TYPE_FUNCTION);
}

TEST_F(Paths, Errors) {
  struct row {
    const char* code;
    error_id error;
  };
  for (const row& r : {
           row{":append/only", error_id::script_invalid_path_get},
           row{"append/only: 1", error_id::script_invalid_path_set},
           row{"zz/1", error_id::script_unset_path},
           row{"b: [1] b/()", error_id::script_invalid_path},
           row{"b: [1] b/x: 2", error_id::script_bad_path_set},
           row{"append/bogus [] 1", error_id::script_no_refine},
           row{"append/only/only [] 1", error_id::script_dup_refine},
           row{"o: make object! [a: 1] o/z: 2", error_id::script_invalid_path},
           row{"n: 1 n/1", error_id::script_bad_path_type},
           row{"do make path! 0", error_id::script_empty_path},
           row{"do make path! [1 2]", error_id::script_word_first},
           row{"b: [1] b/(zz)", error_id::script_no_value},
       }) {
    EXPECT_EQ(error_of(r.code), r.error) << r.code;
  }
  EXPECT_EQ(error_of(":append/only"), error_id::script_invalid_path_get);
  EXPECT_EQ(last_fired.args[0].type(), TYPE_GET_PATH);
}

// A paren selector that leaves an exit pending stops the path there.
TEST_F(Paths, ExitsFromParensPassThrough) {
  EXPECT_EQ(result_of("b: [1 2] n: 0 loop 3 [n: n + 1 b/(break)] n"), "1");
  EXPECT_EQ(result_of("f: func [] [b: [1 2] b/(return 7) 0] f"), "7");
}

}  // namespace
}  // namespace tav
