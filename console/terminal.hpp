// Console terminal layer: what the console knows of its terminal (whether there is one, its
// size), the key reader of the line editor, the UTF-8 reader of input that is no terminal, and
// the console's routines that reach them.
#pragma once
#include <cstdint>

#include <string>

#include "console/renderer.hpp"
#include "runtime/cell.hpp"

namespace tav::terminal {

// True when standard input and output are both terminals; true until `init` has looked.
bool console_p();

// Looks at the standard streams and, on a terminal, reads the window size.
void init();

// Reads the window size into the columns and rows and into system/console/size. Answers -1
// when it cannot be read (they keep their values) or when the width is 0 (it becomes 80), else
// 0. Columns and rows are -1 until first read.
int read_window_size();
int columns();
int rows();

// The next key of the terminal in raw mode: a code point or a key code (console/keys.hpp);
// the window size is read again first when it changed since the last key.
int32_t read_key();

// A new edit: the editor's renderer starts at the column the output has reached, on a row of
// the window's width (80 while it is unknown).
renderer& start_edit();
// One redraw's bytes, after everything printed before them, in one write.
void draw(const std::string& bytes);

// One character of input that is no terminal, read one byte at a time so that a process the
// script starts gets the rest: -1 at the end of the input or on a byte that starts no
// character; a sequence that is no UTF-8 raises access/invalid-utf8.
int32_t read_stdin_char();

// Appends the characters of standard input to `string` up to a line feed (not kept) or the
// end of the input; a carriage return before the line feed stays. Answers false when the input
// had ended before this line: nothing was read.
bool stdin_readline(cell& string);

// Registers the console's built-ins and its start-up definitions; the program calls it once
// before start-up.
void install();

}  // namespace tav::terminal
