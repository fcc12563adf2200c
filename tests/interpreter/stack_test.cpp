// Argument stack: pushes up to the last usable cell, overflow, and the result-slot moves.
#include <gtest/gtest.h>

#include "interpreter/stack.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/fire_helpers.hpp"

namespace tav {
namespace {

using testing::fired_by;

cell integer(uint32_t value) { return cell{11, 0, value, 0}; }

TEST(ArgumentStack, OverflowGivesBackCellsAndRaises) {
  stack::init();
  for (uint32_t i = 0; i < stack::argument_capacity - 1; ++i) stack::push_copy(integer(i));
  EXPECT_EQ(stack::top, stack::end - 1);
  cycles::push(7);
  EXPECT_EQ(fired_by([] { stack::push_cell(); }), error_id::internal_stack_overflow);
  EXPECT_EQ(stack::top, stack::end - 5);
  EXPECT_EQ(cycles::depth(), 0u);
  stack::init();
  EXPECT_EQ(stack::top, stack::bottom);
}

TEST(ArgumentStack, ResultSlotMoves) {
  stack::init();
  stack::push_copy(integer(1));
  stack::arguments = stack::top;
  stack::push_copy(integer(2));
  stack::push_copy(integer(3));
  EXPECT_EQ(stack::last_pushed()->payload2, 3u);
  EXPECT_EQ(stack::top_type(), 11);
  stack::set_last_keep(integer(9));
  EXPECT_EQ(stack::top, stack::arguments + 1);
  EXPECT_EQ(stack::arguments->payload2, 9u);
  EXPECT_EQ(stack::reset_top(), stack::arguments);
  EXPECT_EQ(stack::top, stack::arguments);
  stack::pop_cells(50);
  EXPECT_EQ(stack::top, stack::bottom);
  EXPECT_EQ(stack::last_pushed(), stack::bottom);
  // A value taken from the cell about to be reserved is copied first.
  stack::top = stack::bottom;
  *stack::bottom = integer(4);
  EXPECT_EQ(stack::push_copy(*stack::bottom)->payload2, 4u);
}

}  // namespace
}  // namespace tav
