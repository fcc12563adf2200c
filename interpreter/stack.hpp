// Argument stack: the cells of every running call's arguments, intermediate values and
// results. A call's first argument cell is also its result slot.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::stack {

// The last cell is never handed out, so at most capacity - 1 cells are in use.
inline constexpr uint32_t argument_capacity = 20000;

extern cell* bottom;
extern cell* top;        // next free cell
extern cell* arguments;  // first cell of the current call: its first argument and its result
extern cell* end;        // one past the storage

// Takes fresh storage (once) and empties the stack. The storage never moves.
void init();

// Reserves the cell at the top and answers it; a full stack raises internal/stack-overflow.
cell* push_cell();
cell* push_copy(const cell& value);
// Never below the bottom.
void pop_cells(uint32_t n);
// Copies the value into the current result slot.
cell* set_last(const cell& value);
// set_last, then the top just above the result slot.
cell* set_last_keep(const cell& value);
cell* reset_top();    // top := arguments
cell* keep_result();  // top := arguments + 1
// The cell below the top, or the bottom when nothing is pushed.
cell* last_pushed();
uint8_t top_type();

// Argument i of the current call.
inline cell* argument(uint32_t i) { return arguments + i; }

}  // namespace tav::stack
