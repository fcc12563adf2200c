// Test fixture for evaluation: the value model with the runtime's words, the natives table, the
// interpreter and the core words of tav_source.hpp; code is given as source text and evaluated
// inside a try frame, so that an error ends the evaluation and is reported to the test.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>

#include "boot/system_object.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/value_fixture.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/parse.hpp"
#include "interpreter/stack.hpp"
#include "interpreter/tav_source.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"

namespace tav::testing {

class evaluation : public fresh_values {
 protected:
  // The system object and the vocabulary are built under collector stress by the start-up and
  // script tests; here they are the ground every case stands on, made once per test without a
  // collection at each step.
  void SetUp() override {
    const memory::startup_stress_hold held;
    fresh_values::SetUp();
    context::collecting_at_start = true;
    init_runtime_words();
    init_refinement_values();
    system_object::init();
    context::collecting_at_start = false;
    ownership::init();
    natives::init();
    parser::init();
    interpreter::init();
    source::define_core();
  }

  void TearDown() override {
    natives::init();
    interpreter::init();
    fresh_values::TearDown();
  }

  struct outcome {
    cell value;
    std::optional<error_id> error;
  };

  // Evaluates the block inside a try frame; the stacks are as before afterwards.
  static outcome evaluate_block(const cell& block) {
    cell* base = stack::top;
    uint32_t frames = stack::frame_count();
    outcome result{none::value, std::nullopt};
    bool stopped = stack::catch_error(words::try_, false, [&] { interpreter::do_block(block, false); });
    if (stopped)
      result.error = last_fired.id;
    else
      result.value = *stack::last_pushed();
    stack::top = base;
    EXPECT_EQ(stack::frame_count(), frames);
    return result;
  }

  static outcome evaluate(const char* text) { return evaluate_block(source::load(text)); }

  // The value of code that must not raise an error.
  static cell value_of(const char* text) {
    outcome result = evaluate(text);
    EXPECT_FALSE(result.error) << text << " raised " << error_info(*result.error).word << " "
                               << (last_fired.arg_count > 0 ? molded(last_fired.args[0]) : "") << " "
                               << (last_fired.arg_count > 1 ? molded(last_fired.args[1]) : "") << " "
                               << (last_fired.arg_count > 2 ? molded(last_fired.args[2]) : "");
    return result.value;
  }

  static std::optional<error_id> error_of(const char* text) { return evaluate(text).error; }

  struct result_case {
    const char* code;
    const char* molded;
  };
  struct error_case {
    const char* code;
    error_id error;
  };
  // Each code's value molded, or the error it raises; a failure names the code.
  static void expect_results(std::initializer_list<result_case> cases) {
    for (const result_case& c : cases) EXPECT_EQ(result_of(c.code), c.molded) << c.code;
  }
  static void expect_errors(std::initializer_list<error_case> cases) {
    for (const error_case& c : cases) EXPECT_EQ(error_of(c.code), c.error) << c.code;
  }

  static std::string mold_of(const cell& value) { return molded(value); }
  static std::string result_of(const char* text) { return molded(value_of(text)); }

  static cell global(const char* name) { return source::value_of(name); }
};

}  // namespace tav::testing
