// The Draw dialect on cells: the state of one run, the walker that reads a commands block,
// checks every command's arguments and keeps the pen, fill and font state, the dialect's
// errors, and the entries of the face renderer and of the platform's `draw-image`.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "view/backends/terminal/screen.hpp"
#include "view/backends/terminal/widget.hpp"

namespace tav::tui {

// One run's state, owned by its caller; nested blocks share it, and `push` saves nothing.
// Colours are `tui-color` values, already converted from the dialect's tuples.
struct draw_context {
  widget_id widget = no_widget;  // none: the block is read and checked, no cell changes
  int origin_x = 0;
  int origin_y = 0;
  clip_rect clip{0, 0, 0, 0};
  uint32_t pen_on = 1;
  uint32_t pen_color = 0;
  uint32_t fill_color = 0;
  uint32_t fill_on = 0;
  uint32_t text_color = 0;
  uint32_t font_color_set = 0;
  uint32_t attr_flags = 0;  // of the face being drawn
};

// Pen on in the default colour, fill off, no font colour; the rest is the caller's.
void draw_begin(draw_context& context);
void draw_end(draw_context& context);

// Reads the block from its position to its tail. A malformed block raises its error as the
// `catch_p` protocol says: a face's block (true) prints it and ends the frame with the
// thrown-error code; a script's (false) raises it. With system/view/silent? on nothing is
// printed or raised: the run ends with the thrown-error code, or with code 1 for a script's.
void draw_parse(draw_context& context, const cell& commands, bool catch_p);

// The commands run for an image (the platform's `draw-image`): read and checked completely,
// nothing drawn. A draw error reaches the caller; a silent one ends the run and returns
// normally.
void draw(const cell& image, const cell& commands);

// The face's `draw` facet, when a non-empty block, run on the face's widget drawn at (x, y)
// within the clip, with the attribute flags the face itself is drawn with.
void draw_face(int x, int y, widget_id widget, const clip_rect& clip, uint32_t attr_flags);

// The draw error for the value at `position` of the commands block (its tail when the block
// has ended); never returns.
[[noreturn]] void draw_invalid(const cell& commands, uint32_t position, bool catch_p);

// Takes the symbols of the dialect's words; called once the start-up has interned them.
void bind_draw_words();

}  // namespace tav::tui
