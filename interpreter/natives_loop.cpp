// Conditional and loop natives: if, unless, either, any, all, while, until, loop, repeat and
// forever. The loops run their body in a loop frame that break and continue are aimed at.
#include <algorithm>

#include "datatypes/context.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/values.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/interpreter_internal.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/natives_loop.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"
#include "runtime/throw.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_if = 1, index_unless = 2, index_either = 3, index_any = 4, index_all = 5, index_while = 6,
                   index_until = 7, index_loop = 8, index_repeat = 9, index_forever = 10;

using loop::after;
using loop::after_pass;
using loop::run;
using loop::push_loop_frame;
using loop::set_loop_word;

cell* argument(uint32_t i) { return stack::argument(i); }

void box_none() {
  stack::top = stack::arguments;
  none::box();
}

// The count of loop and repeat, from the argument cell (a float is truncated first).
int32_t count_in(cell& value) {
  coerce_value(value);
  return integer::get(value);
}

}  // namespace

// ---- Conditionals ---------------------------------------------------------------------------

void if_stack(const int32_t* parameters) {
  check_arguments(index_if, parameters);
  if (logic::false_p(*argument(0))) return box_none();
  const cell block = *argument(1);
  interpreter::do_block(block, true);
}

void unless_stack(const int32_t* parameters) {
  check_arguments(index_unless, parameters);
  if (!logic::false_p(*argument(0))) return box_none();
  const cell block = *argument(1);
  interpreter::do_block(block, true);
}

void either_stack(const int32_t* parameters) {
  check_arguments(index_either, parameters);
  const cell& condition = *argument(0);
  if (condition.type() == TYPE_UNSET) [[unlikely]]
    fire(error_id::script_no_return);
  const cell block = *argument(logic::false_p(condition) ? 2 : 1);
  interpreter::do_block(block, true);
}

void run_conditional(uint32_t index, const cell* blocks) {
  const cell& condition = *argument(0);
  if (index == index_either) {
    if (condition.type() == TYPE_UNSET) [[unlikely]]
      fire(error_id::script_no_return);
    const cell block = blocks[logic::false_p(condition) ? 1 : 0];
    interpreter::do_framed_body(block, true);
    return;
  }
  if (logic::false_p(condition) == (index == index_if)) return box_none();
  const cell block = blocks[0];
  interpreter::do_framed_body(block, true);
}

// The first value that is neither none nor false; none when there is none.
void any_stack(const int32_t* parameters) {
  check_arguments(index_any, parameters);
  const cell block = *stack::push_copy(*argument(0));
  const interpreter::code source = interpreter::code_of(block);
  cell* base = stack::top;
  uint32_t index = block.payload1;
  while (index < interpreter::detail::limit_of(source)) {
    index = interpreter::do_next(source, index, false);
    if (stack::pending.code) [[unlikely]] return;
    if (!logic::false_p(*argument(0))) return;
    stack::top = base;
  }
  box_none();
}

// None at the first value that is none or false, or for an empty block; else the last value.
void all_stack(const int32_t* parameters) {
  check_arguments(index_all, parameters);
  const cell block = *stack::push_copy(*argument(0));
  const interpreter::code source = interpreter::code_of(block);
  cell* base = stack::top;
  uint32_t index = block.payload1;
  if (index >= interpreter::detail::limit_of(source)) return box_none();
  while (index < interpreter::detail::limit_of(source)) {
    index = interpreter::do_next(source, index, false);
    if (stack::pending.code) [[unlikely]] return;
    if (logic::false_p(*argument(0))) return box_none();
    stack::top = base;
  }
}

// ---- Loops ----------------------------------------------------------------------------------

void while_stack(const int32_t* parameters) {
  check_arguments(index_while, parameters);
  const cell condition = *argument(0), body = *argument(1);
  uint32_t frame = push_loop_frame();
  for (;;) {
    run(condition, true);
    if (stack::pending.code) [[unlikely]] {
      uint32_t taken = stack::take_exit(frame);
      if (taken == code::break_ || taken == code::continue_) fire(error_id::throw_while_cond);
      stack::pop_frame();
      return;
    }
    if (!logic::true_p()) break;
    run(body, true);
    after next = after_pass(frame);
    if (next == after::leave) return;
    if (next == after::stop) break;
  }
  stack::pop_frame();
  stack::top = stack::arguments;
  unset::box();
}

void until_stack(const int32_t* parameters) {
  check_arguments(index_until, parameters);
  const cell body = *argument(0);
  uint32_t frame = push_loop_frame();
  for (;;) {
    run(body, true);
    if (stack::pending.code) [[unlikely]] {
      uint32_t taken = stack::take_exit(frame);
      if (taken == code::continue_) continue;
      if (taken == code::break_) {
        stack::set_last_keep(stack::pending.value);
        break;
      }
      stack::pop_frame();
      return;
    }
    if (logic::true_p()) break;
  }
  stack::pop_frame_last();
}

void loop_stack(const int32_t* parameters) {
  check_arguments(index_loop, parameters);
  int32_t count = count_in(*argument(0));
  if (count <= 0) return box_none();
  const cell body = *argument(1);
  uint32_t frame = push_loop_frame();
  for (; count > 0; --count) {
    run(body, true);
    after next = after_pass(frame);
    if (next == after::leave) return;
    if (next == after::stop) break;
  }
  stack::pop_frame_last();
}

// repeat :word value body: the value's cell counts the passes from 1 and the word is set to it
// before each pass; what the body does to the word does not change the number of passes.
void repeat_stack(const int32_t* parameters) {
  check_arguments(index_repeat, parameters);
  cell* counter = argument(1);
  int32_t count = count_in(*counter);
  if (count <= 0) return box_none();
  cell word = *argument(0);
  const cell body = *argument(2);
  counter->payload2 = 1;
  uint32_t frame = push_loop_frame();
  for (; count > 0; --count) {
    const cell value = *counter;
    set_loop_word(word, value);
    run(body, true);
    after next = after_pass(frame);
    if (next == after::leave) return;
    if (next == after::stop) break;
    ++counter->payload2;
  }
  stack::pop_frame_last();
}

void forever_stack(const int32_t* parameters) {
  check_arguments(index_forever, parameters);
  const cell body = *argument(0);
  uint32_t frame = push_loop_frame();
  for (;;) {
    run(body, false);
    after next = after_pass(frame);
    if (next == after::leave) return;
    if (next == after::stop) break;
  }
  stack::pop_frame_last();
}

}  // namespace tav::natives
