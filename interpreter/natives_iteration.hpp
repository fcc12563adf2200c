// Series iteration: the step routines that foreach, forall and remove-each share with compiled
// loops, and the multiple assignment that set shares with them.
//
// The natives keep their state on the argument stack just below the loop frame's arguments, so
// the steps find it at fixed places while the loop frame is the current frame:
//   cell -1  the loop word, or the block of loop words;
//   cell -2  the series walked, its head index the cursor (forall: the series as the loop started);
//   cell -3  remove-each only: an integer! holding the record size.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::natives {

// True while the series' head index lies before its tail.
bool series_more_p(const cell& series);

// One loop word: when the cursor is before the tail the word is set to the value there (a block's
// cell, a string's char!, a binary's integer!, a vector's element) and the cursor moves on.
// Answers whether it was before the tail.
bool foreach_next();
// n loop words: set to the n values from the cursor (none past the tail); the cursor moves on by
// n, also at the tail. Answers whether it was before the tail.
bool foreach_next_block(int32_t n);
// Sets `count` words of the block: from the values of a block-family value (none past its tail)
// unless `only`, else each to the value itself. A block value's words must all be words, and
// without `any` none of its values may be unset!; `some` leaves a word alone whose value would
// be none.
void set_many(const cell& words, const cell& value, int32_t count, bool any, bool only, bool some);
// Word i of the block to element i of the series from its head (none past the tail).
void set_words_from(const cell& words, const cell& series, int32_t count);
// After a pass of remove-each: when the body's value (the loop frame's result) is neither none
// nor false, the n values of the pass are removed and the cursor stays where they were.
void remove_each_next(int32_t n);
// Re-reads the loop word's series, which must still be the series the loop started on (else
// script/bad-loop-series); with `advance` moves it on by one in place. Answers whether it is
// then at its tail.
bool forall_next(bool advance);
// The loop word back at the series as the loop started.
void forall_end();

}  // namespace tav::natives
