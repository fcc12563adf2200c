// Reduction: the expressions of a block evaluated into a block of their results, the core that
// `reduce/into` and the output natives share.
#pragma once

#include "runtime/cell.hpp"

namespace tav::natives {

// What `reduce/into value out` does, for C++ callers. A block! is evaluated one expression at a
// time; a function value is taken as it is; any other value is evaluated as one expression.
// Each result, its new-line marker cleared, goes into `out` (any block type): appended when
// `out` stands at its tail on entry, else inserted at its position. `out` is then left where
// reduce/into leaves its result: at the first new value after appending, behind the last
// inserted value after inserting. An exit met on the way (break, return, throw ...) is left
// pending with the values added so far kept; the stacks stand as on entry.
void reduce_into(const cell& value, cell& out);

}  // namespace tav::natives
