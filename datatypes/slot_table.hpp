// Slot table: value cells addressed by small integers, for code that needs a stable number for
// a value. A stored value is kept alive: the table's block is a collector root. Free cells form
// a list threaded through them.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::slot_table {

inline constexpr int32_t initial_capacity = 100;

// The block of the table; a free cell is an integer! holding the index of the next free cell
// (-1 ends the list).
extern cell table;
// Index of the first free cell, -1 when none is free.
extern int32_t first_free;

// Makes the block with every cell free (once the block datatype exists).
void init();
// Copies the value into the first free cell and answers its slot number (index + 1). A full
// table doubles its capacity and threads the new half into the free list first.
int32_t store(const cell& value);
// The cell of a slot number; a number outside the table raises script/out-of-range.
cell* get(int32_t slot);
// Slot 0 does nothing; any other slot becomes the first free cell. A number outside the table
// raises script/out-of-range.
void free(int32_t slot);

}  // namespace tav::slot_table
