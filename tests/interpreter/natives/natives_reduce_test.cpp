// reduce and compose, and the reduce/into core that C++ callers use.
#include <gtest/gtest.h>

#include "datatypes/block.hpp"
#include "interpreter/evaluation_fixture.hpp"
#include "interpreter/natives_reduce.hpp"
#include "runtime/collector.hpp"
#include "runtime/fire_helpers.hpp"

namespace tav {
namespace {

using Reduce = testing::evaluation;
using Compose = testing::evaluation;

TEST_F(Reduce, BlocksAndOtherValues) {
  expect_results({
      {"reduce [1 + 2 'a]", "[3 a]"},
      {"reduce []", "[]"},
      {"x: 5 reduce [x x * 2 [x]]", "[5 10 [x]]"},
      {"reduce next [1 2 + 3]", "[5]"},
      // A value that is no block is one expression.
      {"x: 7 reduce 'x", "7"},
      {"reduce 3", "3"},
      // Results keep no new-line marker.
      {"mold reduce [\n1\n2]", "\"[1 2]\""},
  });
  // A function value is the result as it is.
  const cell native = value_of("reduce :reduce");
  EXPECT_EQ(native.type(), TYPE_NATIVE);
  EXPECT_EQ(native.payload3, global("reduce").payload3);
}

TEST_F(Reduce, IntoAppendsAtTheTailAndInsertsElsewhere) {
  expect_results({
      // Appending leaves the result at the first new value.
      {"b: [0] r: reduce/into [1 + 1 3] tail b reduce [b index? r]", "[[0 2 3] 2]"},
      // Inserting leaves it behind the last value inserted.
      {"b: [0 9] r: reduce/into [1 + 1 3] next b reduce [b index? r]", "[[0 2 3 9] 4]"},
      {"b: [] reduce/into [[1 2]] b b", "[[1 2]]"},
      {"b: [0 9] reduce/into [[1 2]] next b b", "[0 [1 2] 9]"},
      {"b: [] r: reduce/into 1 + 1 b b", "[2]"},
  });
}

TEST_F(Reduce, AppendingIntoAFieldTellsItsOwnerOnce) {
  const char* object =
      "log: copy [] o: make object! [b: copy [0] on-deep-change*: func [owner word target action new index part] "
      "[append log reduce [action index part]]] ";
  EXPECT_EQ(result_of((std::string(object) + "reduce/into [1 2] tail o/b log").c_str()), "[insert 1 2]");
  EXPECT_EQ(result_of((std::string(object) + "reduce/into [] tail o/b log").c_str()), "[]");
  EXPECT_EQ(result_of((std::string(object) + "reduce/into [1] tail o/b o/b").c_str()), "[0 1]");
}

TEST_F(Reduce, ExitsAndErrorsLeaveTheReduction) {
  EXPECT_EQ(result_of("b: copy [] loop 1 [reduce/into [1 break 2] b] b"), "[1]");
  EXPECT_EQ(result_of("f: func [] [reduce [1 return 5 2]] f"), "5");
  EXPECT_EQ(error_of("reduce [1 1 / 0]"), error_id::math_zero_divide);
  EXPECT_EQ(result_of("catch [reduce [throw 4]]"), "4");
}

TEST_F(Reduce, TheCoreForCppCallers) {
  cell target;
  block::make_at(target, 4);
  collector::scoped_root root(&target);
  block::append_cell(target, scalar::integer(0));
  series::set_head(target, 1);
  cell out = target;
  natives::reduce_into(source::load("1 + 1 'w"), out);
  EXPECT_EQ(stack::pending.code, 0u);
  EXPECT_EQ(mold_of(block::value_of(target.payload2)), "[0 2 w]");
  EXPECT_EQ(series::head_of(out), 1) << "appending keeps the old tail";

  // An exit stays pending for the caller, the values before it kept.
  cell* base = stack::top;
  const uint32_t frames = stack::frame_count();
  value_of("b: copy [] loop 1 [append b 1]");  // loop exists and is bound
  out = target;
  series::set_head(out, 0);
  stack::push_loop_frame(words::body);
  const uint32_t loop = stack::frame_count() - 1;
  natives::reduce_into(source::load("7 break 8"), out);
  EXPECT_EQ(stack::take_exit(loop), code::break_);
  stack::pop_frame();
  stack::top = base;
  EXPECT_EQ(stack::frame_count(), frames);
  EXPECT_EQ(mold_of(block::value_of(target.payload2)), "[7 0 2 w]");
}

TEST_F(Compose, ParensSpliceNestAndVanish) {
  expect_results({
      {"compose [(1 + 2) ([a b]) [(3)]]", "[3 a b [(3)]]"},
      {"compose/only [([a b])]", "[[a b]]"},
      {"compose/deep [[(3)]]", "[[3]]"},
      {"compose/deep [[(3)] [[([x y])]]]", "[[3] [[x y]]]"},
      {"compose/deep/only [[([x y])]]", "[[[x y]]]"},
      {"compose [() ([]) (()) 1]", "[1]"},
      {"compose/only [([])]", "[[]]"},
      {"compose [(none) x]", "[none x]"},
      {"compose [(next [1 2 3])]", "[2 3]"},
      {"compose next [a (1)]", "[1]"},
      {"b: [x] compose/into [(1) 2] tail b", "[1 2]"},
      {"b: [x] compose/into [(1) 2] tail b b", "[x 1 2]"},
      {"b: [x] compose/into [(1) 2] b", "[x]"},
      {"b: [x y] head compose/into [([1 2]) 3] next b", "[x 1 2 3 y]"},
  });
  // A block composed or reduced into itself is walked as it was.
  EXPECT_EQ(result_of("b: [1 (2)] compose/into b tail b head b"), "[1 (2) 1 2]");
  EXPECT_EQ(result_of("b: [1 2] reduce/into b tail b head b"), "[1 2 1 2]");
  // The block given is not changed.
  EXPECT_EQ(result_of("b: [(1)] compose b b"), "[(1)]");
}

TEST_F(Compose, Faults) {
  EXPECT_EQ(error_of("compose [(1 / 0)]"), error_id::math_zero_divide);
  EXPECT_EQ(error_of("b: [[]] append/only pick b 1 pick b 1 compose/deep b"), error_id::internal_no_cycle);
  EXPECT_EQ(result_of("f: func [] [compose [(return 1)]] f"), "1");
  // Without the argument check a non-block is refused by the native itself.
  cell* base = stack::top;
  stack::arguments = stack::top;
  stack::push_copy(scalar::integer(1));
  const int32_t parameters[] = {0, -1, -1, -1};
  EXPECT_EQ(testing::fired_by([&] { natives::compose_stack(parameters); }), error_id::script_expect_val);
  EXPECT_EQ(mold_of(last_fired.args[0]), "block!");
  EXPECT_EQ(mold_of(last_fired.args[1]), "integer!");
  stack::arguments = stack::top = base;
}

}  // namespace
}  // namespace tav
