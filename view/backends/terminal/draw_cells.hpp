// The Draw dialect's shapes on cells: lines, boxes, triangles, circles, ellipses and text put
// into a cell grid by a run's pen and fill. Every shape is placed at the face's origin and cut
// to the face's clip rectangle and to the grid; a walk starts where its shape enters that area
// and ends where it leaves, so far-away or huge shapes cost only the cells they may touch.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "view/backends/terminal/draw.hpp"

namespace tav::tui {

// A row-major grid of cells.
struct cell_grid {
  tui_cell* cells;
  int width;
  int height;
  tui_cell& at(int64_t x, int64_t y) const {
    return cells[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
};
// The screen's grid.
cell_grid screen_grid();

struct cell_point {
  int64_t x;
  int64_t y;
};

inline constexpr char32_t full_block = 0x2588;

// Coordinates are relative to the context's origin. The walks answer how many steps they took.

// The Bresenham walk from (x0, y0) to (x1, y1): full blocks in the pen colour, pen on or off.
uint64_t draw_line_cells(cell_grid grid, const draw_context& context, cell_point from, cell_point to);
// The frame of box-drawing characters with the pen on, a fill of spaces with the fill on.
void draw_box_cells(cell_grid grid, const draw_context& context, cell_point from, cell_point to);
void draw_triangle_cells(cell_grid grid, const draw_context& context, cell_point a, cell_point b, cell_point c);
// An ellipse of radii rx and ry around (cx, cy): outline points in the pen colour, each row
// filled toward the centre column with the fill on.
uint64_t draw_ellipse_cells(cell_grid grid, const draw_context& context, cell_point centre, int64_t rx, int64_t ry);
// A circle of `radius` rows: an ellipse twice as wide, since cells are about twice as tall.
uint64_t draw_circle_cells(cell_grid grid, const draw_context& context, cell_point centre, int64_t radius);
// The ellipse inside the box of top-left `corner` and `size`.
uint64_t draw_ellipse_box_cells(cell_grid grid, const draw_context& context, cell_point corner, cell_point size);
// A string laid out from `at` in the text colour (or the pen's), SGR escapes read, wrapping
// within the clip; the cells keep their background. Drawn into the screen's grid.
void draw_text_cells(const draw_context& context, cell_point at, std::u32string_view text);
// A widget's styled cells in their own colours, laid out from `at` with the alignment bits
// (only wrapping applies). Drawn into the screen's grid.
void draw_styled_cells(const draw_context& context, cell_point at, std::span<const tui_cell> cells, uint32_t alignment);
// The foreground a string is drawn in.
uint32_t text_foreground(const draw_context& context);

}  // namespace tav::tui
