// Line editor: reads one line for `ask` and `input`, edited in place on a terminal (keys,
// history, hidden input, wrapping over rows), or one line of UTF-8 text from input that is no
// terminal.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::terminal::editor {

// Makes the saved line (empty) the first time; the console's init calls it.
void init_globals();

// The string to edit (its index is where the line starts) and the history, newest first.
void setup(const cell& line, const cell& history);

// Reads the line into the string given to `setup`. On a terminal the prompt is shown and the
// terminal is in raw mode only until the edit ends, however it ends; otherwise no prompt is
// shown and one line of standard input is appended.
void edit(const cell& prompt, bool hidden);

// Registers the routines `_set-buffer-history`, `_read-input` and `_terminate-console`.
void install();

}  // namespace tav::terminal::editor
