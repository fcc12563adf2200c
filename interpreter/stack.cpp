// Argument stack: fixed storage outside the collected frames, pushes and result handling.
#include "interpreter/stack.hpp"

#include <algorithm>

#include "runtime/collector.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/heap.hpp"

namespace tav::stack {

cell* bottom = nullptr;
cell* top = nullptr;
cell* arguments = nullptr;
cell* end = nullptr;

namespace {

// Room for the error value is made by giving back a few cells first.
[[gnu::cold, noreturn]] void overflow() {
  top = std::max(bottom, top - 4);
  cycles::reset();
  fire(error_id::internal_stack_overflow);
}

}  // namespace

void init() {
  if (!bottom) {
    bottom = static_cast<cell*>(heap_alloc_zeroed(sizeof(cell) * argument_capacity));
    end = bottom + argument_capacity;
    collector::register_callback([] { collector::mark_values(bottom, top); });
  }
  top = arguments = bottom;
}

cell* push_cell() {
  if (top + 1 >= end) overflow();
  return top++;
}

cell* push_copy(const cell& value) {
  cell copy = value;  // the value may sit in the cell about to be reserved
  cell* slot = push_cell();
  *slot = copy;
  return slot;
}

void pop_cells(uint32_t n) { top = (static_cast<uint32_t>(top - bottom) < n) ? bottom : top - n; }

cell* set_last(const cell& value) { return &copy_cell(value, *arguments); }

cell* set_last_keep(const cell& value) {
  set_last(value);
  top = arguments + 1;
  return arguments;
}

cell* reset_top() {
  top = arguments;
  return arguments;
}

cell* keep_result() {
  top = arguments + 1;
  return arguments;
}

cell* last_pushed() { return top == bottom ? bottom : top - 1; }

uint8_t top_type() { return last_pushed()->type(); }

}  // namespace tav::stack
