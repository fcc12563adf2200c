// Control-flow natives: break, continue, exit, return and throw leave the normal flow as
// pending exits aimed at their frame; catch stops throws.
#include "datatypes/runtime_words.hpp"
#include "datatypes/values.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_break = 77, index_continue = 78, index_exit = 79, index_return = 80, index_throw = 81,
                   index_catch = 82;

// The cell of a refinement's first argument, or null when the refinement is absent.
cell* refinement_argument(int32_t position) { return position < 0 ? nullptr : stack::argument(static_cast<uint32_t>(position)); }

}  // namespace

// break /return value
void break_stack(const int32_t* parameters) {
  check_arguments(index_break, parameters);
  const cell* value = refinement_argument(parameters[1]);
  stack::throw_break(value != nullptr, false, value);
}

void continue_stack(const int32_t* parameters) {
  check_arguments(index_continue, parameters);
  stack::throw_break(false, true, nullptr);
}

void exit_stack(const int32_t* parameters) {
  check_arguments(index_exit, parameters);
  stack::throw_return(nullptr);
}

// return value
void return_stack(const int32_t* parameters) {
  check_arguments(index_return, parameters);
  stack::throw_return(stack::argument(0));
}

// throw value /name word
void throw_stack(const int32_t* parameters) {
  check_arguments(index_throw, parameters);
  if (interpreter::tracing) interpreter::notify_tracer(interpreter::event::throw_, nullptr, -1, stack::argument(0), nullptr);
  const cell* name = refinement_argument(parameters[1]);
  if (!name) *stack::argument(1) = unset::value;
  stack::throw_value(*stack::argument(0), name);
}

// catch block /name word-or-block: the block's value, or the value of a throw it stops.
void catch_stack(const int32_t* parameters) {
  check_arguments(index_catch, parameters);
  const cell block = *stack::argument(0);
  const cell* filter = refinement_argument(parameters[1]);
  bool caught = stack::catch_throw(words::catch_, filter, [&] { interpreter::do_block(block, true); });
  if (caught) {
    stack::set_last_keep(stack::pending.value);
    if (interpreter::tracing)
      interpreter::notify_tracer(interpreter::event::catch_, nullptr, -1, stack::arguments, nullptr);
    return;
  }
  if (stack::pending.code) return;
  stack::set_last_keep(*stack::last_pushed());
}

}  // namespace tav::natives
