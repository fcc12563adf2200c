// Counting the terminal cells a text takes while it is put into the bytes of a redraw.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tav::terminal {

// The width used for wrapping: the display width, except the pictographs U+1F300-U+1F5FF,
// which terminals draw two cells wide whatever their East Asian width says.
int cell_width(uint32_t cp);

struct cell_count {
  int columns;          // cells of a whole row, at least 1
  bool hidden = false;  // each character is drawn as "*"
};

// Appends `text` to `out` as UTF-8 (when `out` is not null) and answers the cells it takes,
// counting whole rows, when `left` cells are left on the current row. A TAB is put as four
// spaces; an escape sequence (ESC, then "[" or "(" with digits and ";" up to the first other
// character) is copied and takes no cell; a wide character with one cell left leaves that cell
// empty and takes two cells of the next row, so it adds three.
int count_cells(std::u32string_view text, int left, const cell_count& how, std::string* out);

}  // namespace tav::terminal
