// Rich-text faces on cells: the styled-cell buffer of a rich-text face, one cell a character of
// its text, and the style runs of its `data` block applied to those cells.
#pragma once
#include <span>
#include <vector>

#include "runtime/cell.hpp"
#include "view/backends/terminal/widget.hpp"

namespace tav::tui {

// Lays out the styled cells of a rich-text face into `buffer`: one cell a character of `text`
// from its position, on the background of the face colour `color` (a tuple; anything else
// leaves the default) in the default foreground, then the runs of `data`. Answers false with
// the buffer empty when `text` is not a string with characters or `data` not a block: such a
// face shows its text plainly. The buffer keeps its storage from one layout to the next.
bool layout_rich_text(std::vector<tui_cell>& buffer, const cell& text, const cell& data, const cell& color);
// The same from the face's `text`, `data` and `color` facets.
bool layout_rich_text(std::vector<tui_cell>& buffer, const cell& face);

// Applies the runs of a style block, from its position, to the cells of a text, one cell a
// character: a pair start x length chooses the cells, tuples colour them, words add attributes.
// A value that is no style raises draw-invalid at it; with system/view/silent? on, the walk
// ends there quietly instead.
void draw_rich_text_styles(std::span<tui_cell> cells, const cell& styles);

}  // namespace tav::tui
