// PARSE engine: matches an input series against a block of rules with an explicit state machine
// and two stacks of its own, so that nested rules cost stack entries, never machine-stack frames.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::parser {

// Comparison modes: letters fold, or compare exactly.
inline constexpr int32_t mode_caseless = 0;
inline constexpr int32_t mode_case = 2;

// Once, after the runtime words: the keyword table and the two stacks (collector roots).
void init();

// Matches `input` (from its head) against `rules`. `limit` is the index where the input ends
// for the match (-1: its tail). Answers true when the rules matched and consumed the input up
// to its end, false otherwise, or the block a collect at the rules' top level made. With a
// trace `callback` (a function!) every step is reported to it; an answer of false ends the
// run at once with the match flag of that moment. A run started from inside a rule works on fresh stack space above the outer
// run's entries and leaves them as they were.
//
// A language exit (break, continue, return, exit, throw) raised in a paren is left pending and
// the run answers false; errors pass on as exceptions. Both ways the stacks are back where they
// stood when the run started.
cell run_rules(const cell& input, const cell& rules, int32_t mode, int32_t limit, const cell* callback);

// Repeated literals are counted by loops over the input (on by default). Tests switch them off
// to check that the state machine's passes give the same results.
void set_counting_loops(bool on);

}  // namespace tav::parser
