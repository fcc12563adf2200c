// Function calls: refinements given by path (functions in spec order, natives in path order),
// apply's argument forms, argument types and modes, locals, recursion and its limit, return and
// exit, compiled bodies, and the places where C++ code calls functions back.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "datatypes/error.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/object.hpp"
#include "evaluation_fixture.hpp"

namespace tav {
namespace {

using source::load;

class Calls : public testing::evaluation {
 protected:
  // What `path 1 2 3` does once paths evaluate: the function named by the path's first word,
  // the path's other elements as refinements, the arguments from the code.
  static outcome call_path(const char* path_text, const char* code_text, uint32_t mode = 0) {
    const cell path = source::first_of(path_text);
    const cell code = load(code_text);
    const bool refined = path.type() == TYPE_PATH;
    const cell first = refined ? buffer_of(path.payload2)->cells()[0] : path;
    cell* base = stack::top;
    outcome result{none::value, std::nullopt};
    uint32_t consumed = 0;
    bool stopped = stack::catch_error(words::try_, false, [&] {
      const cell callable = *context::get(first);
      const interpreter::code source = interpreter::code_of(code);
      interpreter::call_options options;
      options.push = true;
      options.name = &first;
      if (refined) {
        options.path = &path;
        options.path_index = 1;
      }
      options.mode = mode;
      consumed = interpreter::apply_block(callable, &source, 0, options);
    });
    if (stopped) {
      result.error = last_fired.id;
    } else {
      result.value = *stack::last_pushed();
      EXPECT_EQ(consumed, buffer_of(code.payload2)->count()) << path_text << " " << code_text;
    }
    stack::top = base;
    return result;
  }

  static std::string path_result(const char* path, const char* code, uint32_t mode = 0) {
    outcome result = call_path(path, code, mode);
    EXPECT_FALSE(result.error) << path << " " << code << " raised " << error_info(*result.error).word;
    return mold_of(result.value);
  }

  static std::string error_text() {
    cell fields[error::field_count];
    error::fields_of(last_fired, fields);
    cell text;
    text::make_at(text, 64);
    error::form_fields(fields, text, INT32_MAX, 0);
    std::string whole = testing::text_of(text);
    return whole.substr(0, whole.find('\n'));
  }
};

TEST_F(Calls, FunctionsTakeRefinementsInSpecOrder) {
  EXPECT_EQ(result_of("f: func [a /b c /d e] [reduce [a b c d e]] f/d/b 1 2 3"), "[1 true 3 true 2]");
  EXPECT_EQ(error_of("g: func [/b] [] g/b/b"), error_id::script_dup_refine);
  EXPECT_EQ(path_result("f/d/b", "1 2 3"), "[1 true 3 true 2]");
  EXPECT_EQ(path_result("f/b", "1 2"), "[1 true 2 false none]");
  EXPECT_EQ(path_result("f", "1"), "[1 false none false none]");
  EXPECT_EQ(result_of("f 1"), "[1 false none false none]");
  // A get-word element names the refinement and takes its state from the word's value; the
  // arguments of a refinement that is off are fetched and dropped.
  value_of("b: true d: none");
  EXPECT_EQ(path_result("f/:d/:b", "1 2 3"), "[1 true 3 false none]");
}

TEST_F(Calls, RefinementErrors) {
  value_of("f: func [/b x] [x]");
  struct row {
    const char* path;
    const char* code;
    error_id error;
  };
  for (const row& r : {
           row{"f/b/b", "1 2", error_id::script_dup_refine},
           row{"f/z", "", error_id::script_no_refine},
           row{"f/2", "", error_id::script_bad_refine},
           row{"f/b", "", error_id::script_no_arg},
       }) {
    EXPECT_EQ(call_path(r.path, r.code).error, r.error) << r.path;
  }
  call_path("f/z", "");
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "f");
  EXPECT_EQ(testing::spelling_of(last_fired.args[1]), "z");
}

// A native stands in at a slot whose own native is not built yet, and notes what it is given.
struct native_call {
  std::vector<int32_t> parameters;
  std::vector<int32_t> arguments;
} noted;

void noting_native(const int32_t* parameters) {
  noted.parameters.assign(parameters, parameters + 3);
  noted.arguments.clear();
  for (cell* value = stack::arguments; value < stack::top; ++value) noted.arguments.push_back(integer::get(*value));
  *stack::arguments = none::value;
}

TEST_F(Calls, NativesTakeRefinementArgumentsInPathOrder) {
  source::define_native("call", "[a /x p /y q r]");
  natives::table[99] = noting_native;
  struct row {
    const char* path;
    const char* code;
    std::vector<int32_t> parameters;
    std::vector<int32_t> arguments;
  };
  for (const row& r : {
           row{"call/y/x", "1 2 3 4", {0, 3, 1}, {1, 2, 3, 4}},
           row{"call/x/y", "1 2 3 4", {0, 1, 2}, {1, 2, 3, 4}},
           row{"call", "1", {0, -1, -1}, {1}},
       }) {
    noted = {};
    EXPECT_FALSE(call_path(r.path, r.code).error) << r.path;
    EXPECT_EQ(noted.parameters, r.parameters) << r.path;
    EXPECT_EQ(noted.arguments, r.arguments) << r.path;
  }
  EXPECT_EQ(call_path("call/x/x", "1 2 3").error, error_id::script_dup_refine);
}

TEST_F(Calls, ApplyForms) {
  value_of("f: func [a /b c /d e] [reduce [a b c d e]]");
  struct row {
    uint32_t mode;
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{2, "1 /d true 5", "[1 false none true 5]"},
           row{2, "1 /b false 9", "[1 false none false none]"},
           row{2, "1 /d", "[1 false none false none]"},
           row{1, "1 true 3 false 4", "[1 true 3 false none]"},
           row{1, "1", "[1 false none false none]"},
           row{5, "1 true (1 + 2) false", "[1 true 3 false none]"},
           row{6, "(0 + 1) /b true (2)", "[1 true 2 false none]"},
       }) {
    EXPECT_EQ(path_result("f", r.code, r.mode), r.molded) << r.mode << " " << r.code;
  }
  EXPECT_EQ(call_path("f", "1 2", 1).error, error_id::script_expect_arg) << "a state must be a logic!";
}

TEST_F(Calls, ArgumentsAndTheirTypes) {
  EXPECT_EQ(error_of("f: func [a b] [a] f 1"), error_id::script_no_arg);
  EXPECT_EQ(error_text(), "*** Script Error: f is missing its b argument");
  EXPECT_EQ(error_of("f: func [a [integer!]] [a] f \"x\""), error_id::script_expect_arg);
  EXPECT_EQ(testing::spelling_of(last_fired.args[0]), "f");
  EXPECT_EQ(mold_of(last_fired.args[1]), "string!");
  EXPECT_EQ(testing::spelling_of(last_fired.args[2]), "a");
  EXPECT_EQ(error_of("1 + \"x\""), error_id::script_expect_arg) << "an operator checks its right operand";

  struct row {
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{"f: func [:a] [a] f x", "x"},
           row{"f: func [:a b] [b] f (1) 2", "2"},
           row{"f: func ['a] [a] f (1 + 2)", "3"},
           row{"f: func ['a] [a] f x", "x"},
           row{"x: 5 f: func ['a] [a] f :x", "5"},
           row{"f: func ['a [any-type!]] [1] f", "1"},
           row{"f: func [a /local b c] [reduce [a b c]] f 1", "[1 none none]"},
           row{"g: func [/local x] [reduce [local x]] g", "[false none]"},
           row{"f: func [a b return: [integer!]] [b] f 1 2", "2"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
  EXPECT_EQ(error_of("f: func ['a] [1] f"), error_id::script_no_arg);
}

TEST_F(Calls, Recursion) {
  value_of("fib: func [n] [either n < 2 [n] [(fib n - 1) + fib n - 2]]");
  EXPECT_EQ(result_of("fib 25"), "75025");
  // Each call sees its own arguments again after an inner call returns.
  EXPECT_EQ(result_of("f: func [n] [if n > 0 [f n - 1] n] f 3"), "3");
}

TEST_F(Calls, RunawayRecursionOverflowsAndEvaluationGoesOn) {
  cell* base = stack::top;
  EXPECT_EQ(error_of("f: func [] [f] f"), error_id::internal_stack_overflow);
  EXPECT_EQ(error_of("g: func [a] [g a + 1] g 1"), error_id::internal_stack_overflow);
  EXPECT_EQ(stack::top, base);
  EXPECT_EQ(stack::frame_count(), 0u);
  EXPECT_EQ(result_of("h: func [n] [either n = 0 [0] [1 + h n - 1]] h 1000"), "1000");
}

TEST_F(Calls, ReturnAndExit) {
  struct row {
    const char* code;
    const char* molded;
  };
  for (const row& r : {
           row{"f: func [] [loop 2 [return 5] 0] f", "5"},
           row{"f: func [] [if true [return 1] 2] f", "1"},
           row{"f: func [] [exit 1] f", "unset"},
           row{"g: func [] [f: func [] [return 1] f 2] g", "2"},
           row{"f: func [a] [return a * 2] f 21", "42"},
           row{"f: func [] [while [true] [return 3]] f", "3"},
       }) {
    EXPECT_EQ(result_of(r.code), r.molded) << r.code;
  }
  EXPECT_EQ(error_of("return 1"), error_id::throw_return_);
  EXPECT_EQ(error_text(), "*** Throw Error: return or exit not in function");
  EXPECT_EQ(error_of("exit"), error_id::throw_return_);
  // break inside a function body called from a loop ends the loop.
  EXPECT_EQ(result_of("g: func [] [break] n: 0 loop 5 [n: n + 1 g] n"), "1");
}

TEST_F(Calls, CompiledBodies) {
  uint32_t index = interpreter::register_compiled([](node_id) {
    *stack::arguments = scalar::integer(integer::get(*stack::arguments) * 2);
  });
  function::push(source::first_of("[a]"), source::first_of("[]"), 0, static_cast<int32_t>(index), 0, 0);
  source::define("twice", stack::top[-1]);
  stack::pop_cells(1);
  EXPECT_EQ(result_of("twice 21"), "42");
}

// ---- Calls from C++ -------------------------------------------------------------------------

TEST_F(Calls, ObjectSpecsAreEvaluated) {
  cell object_type;
  datatype::make_at(object_type, TYPE_OBJECT);
  cell spec = load("a: 1 + 2 b: a * 2");
  cell object = *actions::make(&object_type, &spec);
  stack::top = stack::arguments;
  EXPECT_EQ(mold_of(*object::select_word(object, source::word_cell("b", TYPE_WORD))), "6");
}

TEST_F(Calls, HandlersGetTheirArgumentsAndLocals) {
  const cell arguments[3] = {scalar::integer(1), scalar::integer(2), scalar::integer(3)};
  struct row {
    const char* handler;
    const char* logged;
  };
  for (const row& r : {
           row{"func [a b c] [log: reduce [c b a]]", "[3 2 1]"},
           row{"func [a] [log: a]", "1"},
           row{"func [a b c d /x e] [log: reduce [d x e]]", "[none false none]"},
           row{"func [a b c /local t] [t: a + b log: t * c]", "9"},
       }) {
    cell* base = stack::top;
    object::call_function_hook(value_of(r.handler), words::on_change, arguments, 3, 0);
    EXPECT_EQ(stack::top, base) << r.handler;
    EXPECT_EQ(mold_of(global("log")), r.logged) << r.handler;
  }
}

TEST_F(Calls, SortComparatorsAreFunctions) {
  source::define_routine("sort-with", "[series comparator]", [](cell* arguments) -> routine::answer {
    actions::sort(&arguments[0], false, nullptr, &arguments[1], nullptr, false, false, false);
    return {};
  });
  EXPECT_EQ(result_of("sort-with [2 3 1] func [a b] [a > b]"), "[3 2 1]");
  EXPECT_EQ(result_of("sort-with \"bca\" func [a b] [a < b]"), "\"abc\"");
  // A break in the comparator crosses the sort's C++ code to reach the loop.
  EXPECT_EQ(result_of("n: 0 loop 3 [n: n + 1 sort-with [2 1] func [a b] [break]] n"), "1");
}

}  // namespace
}  // namespace tav
