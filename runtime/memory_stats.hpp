// Memory statistics: the bytes the runtime holds, as one total or as a block of detail per
// frame, for the stats native.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav {

// Mode 1 answers the bytes in use: nodes in use, the used part of every series frame and
// every big frame whole. Mode 2 or more appends the detail to the block (nodes of `block`)
// and answers 0: a block of [free used total] node triples per node frame, one of
// [free used total] byte triples per series frame, one of big-frame sizes, then the bytes of
// all frames plus the tracked heap, then the tracked heap alone. Sizes are those of this
// build (8-byte node slots, its frame headers). No collection runs meanwhile.
double memory_stats(node_id block, int mode);

// Appends the number as integer! up to 2,147,483,647, beyond as float!.
void number_in(node_id block, double value);

}  // namespace tav
