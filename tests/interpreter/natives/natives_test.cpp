// The natives table and the calling convention, the conditional and loop natives with their
// truth tests and counts, and break, continue, throw and catch.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "interpreter/evaluation_fixture.hpp"
#include "runtime/fire_helpers.hpp"

namespace tav {
namespace {

using source::load;

class Natives : public testing::evaluation {
 protected:
  void SetUp() override {
    evaluation::SetUp();
    // try/all: the code of the error it stops, else the block's value.
    source::define_routine("try-all", "[block [block!]]", [](cell* arguments) -> routine::answer {
      const cell block = arguments[0];
      if (stack::catch_error(words::try_, true, [&] { interpreter::do_block(block, true); }))
        arguments[0] = scalar::integer(static_cast<int32_t>(error_code(last_fired.id)));
      return {};
    });
    source::define("nan", scalar::float_cell(std::numeric_limits<double>::quiet_NaN()));
    source::define("infinity", scalar::float_cell(std::numeric_limits<double>::infinity()));
  }
};

TEST_F(Natives, TheTableHoldsEveryNativeAtItsIndex) {
  EXPECT_EQ(natives::next_free, 108u);
  for (uint32_t i = 108; i <= natives::table_slots; ++i) EXPECT_EQ(natives::table[i], nullptr) << i;
  EXPECT_EQ(natives::table[1], &natives::if_stack);
  EXPECT_EQ(natives::table[10], &natives::forever_stack);
  EXPECT_EQ(natives::table[77], &natives::break_stack);
  EXPECT_EQ(natives::table[82], &natives::catch_stack);
  EXPECT_EQ(natives::table[107], &natives::apply_stack);
  EXPECT_STREQ(natives::word_of(1), "if");
  EXPECT_STREQ(natives::word_of(62), "NaN?");
  EXPECT_STREQ(natives::word_of(107), "apply");
  ASSERT_EQ(natives::print_buffer.type(), TYPE_BLOCK);
  EXPECT_GE(buffer_of(natives::print_buffer.payload2)->size, 32 * sizeof(cell));

  // A native made with index 1 is `if` whatever its word.
  source::define("when", source::made(TYPE_NATIVE, source::spec_and_index("[cond [any-type!] body [block!]]", 1)));
  EXPECT_EQ(result_of("when 1 [2]"), "2");
  // Index 105 is `recycle` under any word: one collection, answering the memory in use.
  source::define("sweep", source::made(TYPE_NATIVE, source::spec_and_index("[/on /off]", 105)));
  EXPECT_EQ(result_of("type? sweep"), "integer!");
}

TEST_F(Natives, TheCheckFlagChecksArgumentsBeforeAnyEvaluation) {
  value_of("loop 1 []");  // the interpreter has met loop and knows its argument types
  cell* base = stack::top;
  stack::arguments = stack::top;
  stack::push_copy(source::first_of("\"x\""));
  stack::push_copy(source::first_of("[n: 1]"));
  const int32_t checked[] = {1};
  EXPECT_EQ(testing::fired_by([&] { natives::loop_stack(checked); }), error_id::script_expect_arg);
  EXPECT_STREQ(natives::word_of(8), "loop");
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "loop");
  EXPECT_EQ(mold_of(last_fired.args[1]), "string!");
  EXPECT_EQ(testing::spelling_of(last_fired.args[2]), "count");
  EXPECT_EQ(global("n").type(), TYPE_UNSET) << "nothing was evaluated";
  stack::arguments = stack::top = base;
}

TEST_F(Natives, Conditionals) {
  struct row {
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{"if () [1]", "1"},  // unset is true to the lenient test
           row{"if 0 [1]", "1"},
           row{"if none [1]", "none"},
           row{"if false [1]", "none"},
           row{"if 1 < 2 [3 4]", "4"},
           row{"unless false [1]", "1"},
           row{"unless 0 [1]", "none"},
           row{"either 0 [1] [2]", "1"},
           row{"either none [1] [2]", "2"},
           row{"either false [1] [2]", "2"},
           row{"any []", "none"},
           row{"all []", "none"},
           row{"any [none false 3 4]", "3"},
           row{"any [none false]", "none"},
           row{"any [()]", "unset"},
           row{"all [1 2 3]", "3"},
           row{"all [1 none 3]", "none"},
           row{"all [1 + 1 2 * 3]", "6"},
           row{"n: 0 all [false n: 1] n", "0"},
           // Blocks held by words, and an operator after the last block, which takes that block.
           row{"a: [1] b: [2] either false a b", "2"},
           row{"a: [1] either true a [2]", "1"},
           row{"a: [1] if true a", "1"},
           row{"either true [1] [2] 3", "3"},
           row{"x: either true [1] [2]", "1"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
  EXPECT_EQ(error_of("either () [1] [2]"), error_id::script_no_return);
  EXPECT_EQ(error_of("a: [1] b: [2] either () a b"), error_id::script_no_return);
  ASSERT_TRUE(error_of("add [1] 1"));
  EXPECT_EQ(error_of("if true [1] + 1"), error_of("add [1] 1"));
  EXPECT_EQ(error_of("either true [1] [2] + 1"), error_of("add [2] 1"));
  EXPECT_EQ(error_of("either true [1] (2)"), error_id::script_expect_arg);
  EXPECT_EQ(error_of("either true [1]"), error_id::script_no_arg);
  // An error inside a branch is raised in the conditional's call.
  EXPECT_EQ(error_of("either true [nothing-here] [2]"), error_id::script_no_value);
  EXPECT_EQ(testing::spelling_of(last_fired.where), "either");
  EXPECT_EQ(error_of("unless false [nothing-here]"), error_id::script_no_value);
  EXPECT_EQ(testing::spelling_of(last_fired.where), "unless");
}

TEST_F(Natives, Loops) {
  struct row {
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{"n: 0 loop 3 [n: n + 1]", "3"},
           row{"n: 0 loop 2.9 [n: n + 1] n", "2"},
           row{"loop -1 [1]", "none"},
           row{"loop 0 [1]", "none"},
           row{"loop -0.5 [1]", "none"},
           row{"loop 5 [break]", "unset"},
           row{"loop 5 [break/return 3]", "3"},
           row{"n: 0 loop 3 [n: n + 1 continue n: 100] n", "3"},
           row{"n: 0 repeat i 3 [n: n + 1 i: 100] n", "3"},
           row{"repeat i 3 [] i", "3"},
           row{"repeat i 3 [i * 10]", "30"},
           row{"repeat i 2.9 [i]", "2"},
           row{"repeat i 0 [1]", "none"},
           row{"n: 0 while [n < 3] [n: n + 1] n", "3"},
           row{"while [true] [break/return 5]", "unset"},
           row{"n: 0 while [n < 3] [n: n + 1]", "unset"},
           row{"n: 0 until [n: n + 1 n >= 3]", "true"},
           row{"n: 0 until [n: n + 1 if n < 3 [continue] n]", "3"},
           row{"n: 0 forever [n: n + 1 if n = 5 [break]] n", "5"},
           row{"forever [break/return 7]", "7"},
           row{"catch [loop 3 [throw 7]]", "7"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
  // break inside try/all is an error there, and the loop goes on.
  EXPECT_EQ(integer::get(value_of("loop 3 [try-all [break]]")), static_cast<int32_t>(error_code(error_id::throw_break_)));
  // The word of repeat is not local: it keeps the last count.
  value_of("i: 0 repeat i 4 []");
  EXPECT_EQ(mold_of(global("i")), "4");
}

TEST_F(Natives, LoopErrors) {
  struct row {
    const char* code;
    error_id error;
  };
  for (const row& r : {
           row{"loop nan [1]", error_id::script_out_of_range},
           row{"loop infinity [1]", error_id::script_out_of_range},
           row{"loop 10000000000.0 [1]", error_id::script_out_of_range},
           row{"repeat i nan [1]", error_id::script_out_of_range},
           row{"repeat i -3000000000.0 [1]", error_id::script_out_of_range},
           row{"while [break] [1]", error_id::throw_while_cond},
           row{"while [()] [1]", error_id::script_no_return},
           row{"until [()]", error_id::script_no_return},
           row{"break", error_id::throw_break_},
           row{"continue", error_id::throw_continue_},
           row{"loop \"x\" [1]", error_id::script_expect_arg},
           row{"repeat 1 2 [1]", error_id::script_expect_arg},
       }) {
    EXPECT_EQ(error_of(r.code), r.error) << r.code;
  }
}

TEST_F(Natives, CatchAndThrow) {
  struct row {
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{"catch [throw 1]", "1"},
           row{"catch [1 + 1]", "2"},
           row{"catch [throw 1 2]", "1"},
           row{"catch [catch/name [throw/name 1 'a] 'b]", "1"},
           row{"catch/name [throw/name 1 'a] [x a]", "1"},
           row{"catch [catch/name [throw 1] 'a]", "1"},
           row{"n: 0 loop 3 [n: n + 1 catch [break]] n", "1"},
           row{"f: func [] [throw 4] catch [f]", "4"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
  EXPECT_EQ(error_of("throw 1"), error_id::throw_throw_);
  EXPECT_EQ(error_of("catch/name [throw/name 1 'a] 'b"), error_id::throw_throw_);
  EXPECT_EQ(error_of("catch/name [throw/name 1 'a] [b 1]"), error_id::script_invalid_refine_arg);
}

TEST_F(Natives, LoopCountHelpers) {
  cell value = scalar::float_cell(-2.7);
  natives::coerce_value(value);
  EXPECT_EQ(value.type(), TYPE_INTEGER);
  EXPECT_EQ(integer::get(value), -2);
  cell text = source::first_of("\"x\"");
  natives::coerce_value(text);
  EXPECT_EQ(text.type(), TYPE_STRING) << "other values are left alone";
  cell big = scalar::float_cell(2147483648.0);
  EXPECT_EQ(testing::fired_by([&] { natives::coerce_value(big); }), error_id::script_out_of_range);

  value_of("k: 41");
  cell word = source::word_cell("k", TYPE_WORD);
  natives::repeat_step(word);
  EXPECT_EQ(mold_of(global("k")), "42");
}

}  // namespace
}  // namespace tav
