// get, set, bind, in, construct and value?.
#include <gtest/gtest.h>

#include "interpreter/evaluation_fixture.hpp"

namespace tav {
namespace {

using WordNatives = testing::evaluation;

TEST_F(WordNatives, Get) {
  expect_results({
      {"x: 5 get 'x", "5"},
      {"get/any 'never-set-here", "unset"},
      {"o: make object! [a: 1 b: [2]] get o", "[1 [2]]"},
      {"o: make object! [a: 1 b: [2]] get 'o/b", "[2]"},
      {"b: [x 7] get 'b/x", "7"},
  });
  EXPECT_EQ(error_of("get 'never-set-here"), error_id::script_no_value);
  EXPECT_EQ(mold_of(last_fired.args[0]), "never-set-here");
}

TEST_F(WordNatives, Set) {
  expect_results({
      {"set 'x 5", "5"},
      {"set 'x 5 x", "5"},
      {"set [a b] [1] b", "none"},
      {"set [a b] [1 2] reduce [a b]", "[1 2]"},
      {"set [a b] [1 2 3]", "[1 2 3]"},
      {"set [a b] 5 reduce [a b]", "[5 5]"},
      {"b: 7 set/some [a b] reduce [1 none] reduce [a b]", "[1 7]"},
      {"set/only [a b] [1 2] reduce [a b]", "[[1 2] [1 2]]"},
      {"set [a: :b 'c] [1 2 3] reduce [a b c]", "[1 2 3]"},
      {"set next [a b] [1 2] b", "1"},
      {"set/any 'x () value? 'x", "false"},
      {"set/any [a b] reduce [1 ()] value? 'b", "false"},
      {"o: make object! [a: 1] set 'o/a 5 o/a", "5"},
      {"b: [1 2] set 'b/2 9 b", "[1 9]"},
      {"o: make object! [a: 1 b: 2] set o [7 8] reduce [o/a o/b]", "[7 8]"},
      {"o: make object! [a: 1 b: 2] set o 0 reduce [o/a o/b]", "[0 0]"},
  });
  expect_errors({
      {"set 'x ()", error_id::script_need_value},
      {"set [a b] reduce [1 ()]", error_id::script_need_value},
      {"set [a 1] [1 2]", error_id::script_invalid_arg},
      {"set [a 1] 3", error_id::script_invalid_arg},
  });
  // Nothing is set when a value is missing.
  EXPECT_EQ(result_of("a: 0 b: 0 try [set [a b] reduce [1 ()]] a"), "0");
  EXPECT_EQ(value_of("f: func [] [1] get 'f").type(), TYPE_FUNCTION);
}

TEST_F(WordNatives, Bind) {
  expect_results({
      {"a: 1 o: make object! [a: 10] b: [a] bind b o do b", "10"},
      {"a: 1 o: make object! [a: 10] b: [[a]] c: bind/copy b o reduce [do pick b 1 do pick c 1]", "[1 10]"},
      {"a: 1 o: make object! [a: 10] get bind 'a o", "10"},
      {"a: 1 o: make object! [z: 10] get bind 'a o", "1"},
      {"a: 1 o: make object! [a: 10 w: 'a] do bind [a] o/w", "10"},
      // A word of the object given that lies deep in the block is bound too.
      {"a: 1 o: make object! [a: 10] b: [x [y (a)]] bind b o do pick pick b 2 2", "10"},
  });
}

TEST_F(WordNatives, InAndConstruct) {
  expect_results({
      {"o: make object! [a: 10] get in o 'a", "10"},
      {"o: make object! [a: 10] in o 'zz", "none"},
      {"o: make object! [a: 10] get in o /a", "10"},
      {"in :reduce /into", "into"},
      {"in :reduce 'zz", "none"},
      {"f: func [x] [] in :f 'x", "x"},
      {"o: construct [a: 1 b: 2] reduce [o/a o/b]", "[1 2]"},
      {"o: construct [a: 1 + 2] o/a", "1"},
      {"o: construct [a: b: 5] reduce [o/a o/b]", "[5 5]"},
      {"p: construct [a: 1] o: construct/with [b: 2] p reduce [o/a o/b p/a]", "[1 2 1]"},
  });
}

TEST_F(WordNatives, ValueP) {
  expect_results({
      {"value? 'no-such-word-xyz", "false"},
      {"value? 'reduce", "true"},
      {"x: none value? 'x", "true"},
  });
  // A word bound nowhere has no value; asking raises nothing.
  cell word = source::word_cell("loose", TYPE_WORD);
  word.payload1 = 0;
  source::define("loose-word", word);
  EXPECT_EQ(result_of("value? loose-word"), "false");
}

}  // namespace
}  // namespace tav
