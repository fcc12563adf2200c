// get, set, bind, in, construct and value?.
#include <gtest/gtest.h>

#include "evaluation_fixture.hpp"

namespace tav {
namespace {

using WordNatives = testing::evaluation;

struct row {
  const char* code;
  const char* molded;
};

struct fault {
  const char* code;
  error_id error;
};

TEST_F(WordNatives, Get) {
  for (const row& r : {
           row{"x: 5 get 'x", "5"},
           row{"get/any 'never-set-here", "unset"},
           row{"o: make object! [a: 1 b: [2]] get o", "[1 [2]]"},
           row{"o: make object! [a: 1 b: [2]] get 'o/b", "[2]"},
           row{"b: [x 7] get 'b/x", "7"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
  EXPECT_EQ(error_of("get 'never-set-here"), error_id::script_no_value);
  EXPECT_EQ(mold_of(last_fired.args[0]), "never-set-here");
}

TEST_F(WordNatives, Set) {
  for (const row& r : {
           row{"set 'x 5", "5"},
           row{"set 'x 5 x", "5"},
           row{"set [a b] [1] b", "none"},
           row{"set [a b] [1 2] reduce [a b]", "[1 2]"},
           row{"set [a b] [1 2 3]", "[1 2 3]"},
           row{"set [a b] 5 reduce [a b]", "[5 5]"},
           row{"b: 7 set/some [a b] reduce [1 none] reduce [a b]", "[1 7]"},
           row{"set/only [a b] [1 2] reduce [a b]", "[[1 2] [1 2]]"},
           row{"set [a: :b 'c] [1 2 3] reduce [a b c]", "[1 2 3]"},
           row{"set next [a b] [1 2] b", "1"},
           row{"set/any 'x () value? 'x", "false"},
           row{"set/any [a b] reduce [1 ()] value? 'b", "false"},
           row{"o: make object! [a: 1] set 'o/a 5 o/a", "5"},
           row{"b: [1 2] set 'b/2 9 b", "[1 9]"},
           row{"o: make object! [a: 1 b: 2] set o [7 8] reduce [o/a o/b]", "[7 8]"},
           row{"o: make object! [a: 1 b: 2] set o 0 reduce [o/a o/b]", "[0 0]"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
  for (const fault& f : {
           fault{"set 'x ()", error_id::script_need_value},
           fault{"set [a b] reduce [1 ()]", error_id::script_need_value},
           fault{"set [a 1] [1 2]", error_id::script_invalid_arg},
           fault{"set [a 1] 3", error_id::script_invalid_arg},
       }) {
    EXPECT_EQ(error_of(f.code), f.error) << f.code;
  }
  // Nothing is set when a value is missing.
  EXPECT_EQ(result_of("a: 0 b: 0 try [set [a b] reduce [1 ()]] a"), "0");
  EXPECT_EQ(value_of("f: func [] [1] get 'f").type(), TYPE_FUNCTION);
}

TEST_F(WordNatives, Bind) {
  for (const row& r : {
           row{"a: 1 o: make object! [a: 10] b: [a] bind b o do b", "10"},
           row{"a: 1 o: make object! [a: 10] b: [[a]] c: bind/copy b o reduce [do pick b 1 do pick c 1]", "[1 10]"},
           row{"a: 1 o: make object! [a: 10] get bind 'a o", "10"},
           row{"a: 1 o: make object! [z: 10] get bind 'a o", "1"},
           row{"a: 1 o: make object! [a: 10 w: 'a] do bind [a] o/w", "10"},
           // A word of the object given that lies deep in the block is bound too.
           row{"a: 1 o: make object! [a: 10] b: [x [y (a)]] bind b o do pick pick b 2 2", "10"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
}

TEST_F(WordNatives, InAndConstruct) {
  for (const row& r : {
           row{"o: make object! [a: 10] get in o 'a", "10"},
           row{"o: make object! [a: 10] in o 'zz", "none"},
           row{"o: make object! [a: 10] get in o /a", "10"},
           row{"in :reduce /into", "into"},
           row{"in :reduce 'zz", "none"},
           row{"f: func [x] [] in :f 'x", "x"},
           row{"o: construct [a: 1 b: 2] reduce [o/a o/b]", "[1 2]"},
           row{"o: construct [a: 1 + 2] o/a", "1"},
           row{"o: construct [a: b: 5] reduce [o/a o/b]", "[5 5]"},
           row{"p: construct [a: 1] o: construct/with [b: 2] p reduce [o/a o/b p/a]", "[1 2 1]"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
}

TEST_F(WordNatives, ValueP) {
  for (const row& r : {
           row{"value? 'no-such-word-xyz", "false"},
           row{"value? 'reduce", "true"},
           row{"x: none value? 'x", "true"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
  // A word bound nowhere has no value; asking raises nothing.
  cell word = source::word_cell("loose", TYPE_WORD);
  word.payload1 = 0;
  source::define("loose-word", word);
  EXPECT_EQ(result_of("value? loose-word"), "false");
}

}  // namespace
}  // namespace tav
