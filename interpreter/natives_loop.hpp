// Loop frames: how the loop and iteration natives run a body in a loop frame, and what a pass
// ends with when break, continue or an exit aimed further out arrives.
#pragma once
#include <cstdint>

#include "datatypes/context.hpp"
#include "datatypes/runtime_words.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/interpreter_internal.hpp"
#include "interpreter/stack.hpp"

namespace tav::natives::loop {

// Evaluates a block into the current frame's result slot; an exit that reached here as an
// exception is pending again when this returns.
inline void run(const cell& block, bool chain) {
  stack::top = stack::arguments;
  interpreter::detail::catch_exits([&] { interpreter::do_framed_body(block, chain); });
}

enum class after { next, stop, leave };

// What a pass of the loop in frame `frame` ends with: break stops the loop with its value as
// the loop's result, continue goes on (its result is unset), and an exit aimed further out
// removes the loop frame and travels on.
inline after after_pass(uint32_t frame) {
  if (!stack::pending.code) [[likely]] return after::next;
  uint32_t taken = stack::take_exit(frame);
  if (taken == code::break_ || taken == code::continue_) {
    stack::set_last_keep(stack::pending.value);
    return taken == code::break_ ? after::stop : after::next;
  }
  stack::pop_frame();
  return after::leave;
}

// Gives a loop's word its value for the next pass, as a set-word of it would: straight into its
// value cell when its context has one for it and is no object (whose fields tell of changes).
inline void set_loop_word(const cell& word, const cell& value) {
  if (cell* slot = interpreter::detail::bound_value(word)) [[likely]] {
    const uint32_t kind = (buffer_of(word.payload1)->cells()[0].header & cell_flag::context_kind_mask) >> context::kind_shift;
    if (kind != context::kind_object) {
      *slot = value;
      return;
    }
  }
  cell target = word;
  context::set(target, value);
}

inline uint32_t push_loop_frame() { return stack::frame_index(stack::push_loop_frame(words::body)); }

}  // namespace tav::natives::loop
