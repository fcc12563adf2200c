// The Draw dialect's shapes on cells. Each walk works in grid coordinates (the face's origin
// added) and is bounded by the area it may write, the clip rectangle cut to the grid.
#include "view/backends/terminal/draw_cells.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

namespace tav::tui {
namespace {

using wide = __int128;

// The cells a drawing may write, x2 and y2 excluded.
struct area {
  int64_t x1, y1, x2, y2;
  bool inside_p(int64_t x, int64_t y) const { return x >= x1 && x < x2 && y >= y1 && y < y2; }
  bool row_p(int64_t y) const { return y >= y1 && y < y2; }
};

area area_of(cell_grid grid, const draw_context& context) {
  return area{std::max<int64_t>(context.clip.x1, 0), std::max<int64_t>(context.clip.y1, 0),
              std::min<int64_t>(context.clip.x2, grid.width), std::min<int64_t>(context.clip.y2, grid.height)};
}

cell_point on_grid(const draw_context& context, cell_point point) {
  return cell_point{point.x + context.origin_x, point.y + context.origin_y};
}

template <typename T>
T floor_div_as(T a, T b) {
  const T q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool fits_64_p(wide value) { return value >= INT64_MIN && value <= INT64_MAX; }

// 128-bit division is a library call: the quotients of lines of ordinary lengths are taken in
// 64 bits.
wide floor_div(wide a, wide b) {
  if (fits_64_p(a) && fits_64_p(b)) return floor_div_as<int64_t>(static_cast<int64_t>(a), static_cast<int64_t>(b));
  return floor_div_as<wide>(a, b);
}
wide ceil_div(wide a, wide b) { return -floor_div(-a, b); }

void pen_cell(tui_cell& cell, uint32_t colour) {
  cell.cp = full_block;
  cell.fg = colour;
}

void fill_cell(tui_cell& cell, uint32_t colour) {
  cell.cp = ' ';
  cell.bg = colour;
}

// The offsets k along the line's major axis whose cell lies in [lo, hi] on an axis walked
// from `start` in direction `step`.
void axis_range(int64_t start, int64_t step, int64_t lo, int64_t hi, wide& first, wide& last) {
  if (step > 0) {
    first = static_cast<wide>(lo) - start;
    last = static_cast<wide>(hi) - start;
  } else {
    first = static_cast<wide>(start) - hi;
    last = static_cast<wide>(start) - lo;
  }
}

// ---- Ellipses -----------------------------------------------------------------------------

struct ellipse_painter {
  cell_grid grid;
  area bounds;
  const draw_context& context;
  int64_t cx;

  // With `fill` false the row has been filled from a point farther out already.
  void plot(int64_t px, int64_t py, bool fill = true) const {
    if (!bounds.row_p(py)) return;
    if (context.pen_on && bounds.inside_p(px, py)) pen_cell(grid.at(px, py), context.pen_color);
    if (!fill || !context.fill_on || px == cx) return;
    // The row from the point (excluded) to the centre column (included).
    int64_t from = px < cx ? px + 1 : cx;
    int64_t to = px < cx ? cx : px - 1;
    from = std::max(from, bounds.x1);
    to = std::min(to, bounds.x2 - 1);
    for (int64_t x = from; x <= to; ++x) fill_cell(grid.at(x, py), context.fill_color);
  }
};

}  // namespace

cell_grid screen_grid() { return cell_grid{screen.cells.data(), screen.width, screen.height}; }

// The cell of step k on the major axis a lies at a0 + sa * k, and on the minor axis at
// b0 + sb * floor((2k * Db + Da) / (2 * Da)) (Da >= Db): the walk is entered at the first k
// inside the area, in the state the whole walk has there, and left after the last.
uint64_t draw_line_cells(cell_grid grid, const draw_context& context, cell_point from, cell_point to) {
  const area bounds = area_of(grid, context);
  if (bounds.x1 >= bounds.x2 || bounds.y1 >= bounds.y2) return 0;
  const cell_point p0 = on_grid(context, from), p1 = on_grid(context, to);
  const int64_t dx = p1.x >= p0.x ? p1.x - p0.x : p0.x - p1.x;
  const int64_t dy = p1.y >= p0.y ? p1.y - p0.y : p0.y - p1.y;
  const int64_t sx = p0.x < p1.x ? 1 : -1, sy = p0.y < p1.y ? 1 : -1;
  const bool x_major = dx >= dy;
  const int64_t major = x_major ? dx : dy, minor = x_major ? dy : dx;

  wide first = 0, last = 0, minor_first = 0, minor_last = 0;
  if (x_major) {
    axis_range(p0.x, sx, bounds.x1, bounds.x2 - 1, first, last);
    axis_range(p0.y, sy, bounds.y1, bounds.y2 - 1, minor_first, minor_last);
  } else {
    axis_range(p0.y, sy, bounds.y1, bounds.y2 - 1, first, last);
    axis_range(p0.x, sx, bounds.x1, bounds.x2 - 1, minor_first, minor_last);
  }
  first = std::max<wide>(first, 0);
  last = std::min<wide>(last, major);
  minor_first = std::max<wide>(minor_first, 0);
  minor_last = std::min<wide>(minor_last, minor);
  if (minor_first > minor_last) return 0;
  if (minor > 0) {
    first = std::max(first, ceil_div((2 * minor_first - 1) * major, 2 * static_cast<wide>(minor)));
    last = std::min(last, ceil_div((2 * minor_last + 1) * major, 2 * static_cast<wide>(minor)) - 1);
  }
  if (first > last) return 0;

  // Along the major axis every step moves one cell; the minor axis moves when the remainder
  // of 2k * Db + Da over 2 * Da wraps, the same cells as the walk's error term chooses.
  const wide numerator = 2 * first * minor + major;
  const int64_t twice_major = 2 * major, twice_minor = 2 * minor;
  const wide j = major > 0 ? floor_div(numerator, twice_major) : 0;
  int64_t remainder = major > 0 ? static_cast<int64_t>(numerator - j * twice_major) : 0;
  const int64_t sa = x_major ? sx : sy, sb = x_major ? sy : sx;
  int64_t a = (x_major ? p0.x : p0.y) + sa * static_cast<int64_t>(first);
  int64_t b = (x_major ? p0.y : p0.x) + sb * static_cast<int64_t>(j);
  const uint64_t steps = static_cast<uint64_t>(last - first) + 1;
  for (uint64_t step = 0; step < steps; ++step) {
    const int64_t x = x_major ? a : b, y = x_major ? b : a;
    if (bounds.inside_p(x, y)) pen_cell(grid.at(x, y), context.pen_color);
    a += sa;
    remainder += twice_minor;
    const int64_t carry = remainder >= twice_major;
    remainder -= carry * twice_major;
    b += carry * sb;
  }
  return steps;
}

void draw_box_cells(cell_grid grid, const draw_context& context, cell_point from, cell_point to) {
  int64_t x1 = from.x, y1 = from.y, x2 = to.x, y2 = to.y;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  const int64_t clip_width = static_cast<int64_t>(context.clip.x2) - context.clip.x1;
  const int64_t clip_height = static_cast<int64_t>(context.clip.y2) - context.clip.y1;
  if (x1 > clip_width || x2 <= 0 || y1 > clip_height || y2 <= 0) return;
  if (!context.pen_on && !context.fill_on) return;
  const area bounds = area_of(grid, context);
  const int64_t left = x1 + context.origin_x, top = y1 + context.origin_y;
  const int64_t right = std::min<int64_t>(x2 + context.origin_x, grid.width - 1);
  const int64_t bottom = std::min<int64_t>(y2 + context.origin_y, grid.height - 1);
  const int64_t column_from = std::max({left, static_cast<int64_t>(context.origin_x), bounds.x1});
  const int64_t column_to = std::min(right, bounds.x2 - 1);
  const int64_t row_from = std::max({top, static_cast<int64_t>(context.origin_y), bounds.y1});
  const int64_t row_to = std::min(bottom, bounds.y2 - 1);
  if (row_from > row_to || column_from > column_to) return;
  if (context.fill_on)
    for (int64_t row = row_from; row <= row_to; ++row)
      for (int64_t column = column_from; column <= column_to; ++column) fill_cell(grid.at(column, row), context.fill_color);
  if (!context.pen_on) return;
  // Only the frame's cells are visited: corners, then sides, then the top and bottom rows.
  auto frame = [&](int64_t column, int64_t row) {
    const bool left_p = column == left, right_p = column == right, top_p = row == top, bottom_p = row == bottom;
    char32_t cp = 0x2500;
    if (left_p && top_p) cp = 0x250C;
    else if (right_p && top_p) cp = 0x2510;
    else if (left_p && bottom_p) cp = 0x2514;
    else if (right_p && bottom_p) cp = 0x2518;
    else if (left_p || right_p) cp = 0x2502;
    tui_cell& cell = grid.at(column, row);
    cell.cp = cp;
    cell.fg = context.pen_color;
  };
  for (int64_t row = row_from; row <= row_to; ++row) {
    if (row == top || row == bottom) {
      for (int64_t column = column_from; column <= column_to; ++column) frame(column, row);
      continue;
    }
    if (left >= column_from && left <= column_to) frame(left, row);
    if (right != left && right >= column_from && right <= column_to) frame(right, row);
  }
}

void draw_triangle_cells(cell_grid grid, const draw_context& context, cell_point a, cell_point b, cell_point c) {
  cell_point points[3] = {on_grid(context, a), on_grid(context, b), on_grid(context, c)};
  std::stable_sort(std::begin(points), std::end(points),
                   [](const cell_point& p, const cell_point& q) { return p.y < q.y; });
  const cell_point top = points[0], middle = points[1], bottom = points[2];
  const area bounds = area_of(grid, context);
  if (context.fill_on && bounds.x1 < bounds.x2) {
    const int64_t height = bottom.y - top.y, upper = middle.y - top.y;
    const int64_t i_from = std::max<int64_t>(0, bounds.y1 - top.y);
    const int64_t i_to = std::min<int64_t>(height, bounds.y2 - top.y);
    for (int64_t i = i_from; i < i_to; ++i) {
      const bool second = i > upper || middle.y == top.y;
      const double di = static_cast<double>(i);
      const int64_t long_edge =
          top.x + static_cast<int64_t>(std::trunc(static_cast<double>(bottom.x - top.x) * di / static_cast<double>(height)));
      const int64_t short_edge =
          second ? middle.x + static_cast<int64_t>(std::trunc(static_cast<double>(bottom.x - middle.x) *
                                                              static_cast<double>(i - upper) /
                                                              static_cast<double>(bottom.y - middle.y)))
                 : top.x + static_cast<int64_t>(
                               std::trunc(static_cast<double>(middle.x - top.x) * di / static_cast<double>(upper)));
      const int64_t from = std::max(std::min(long_edge, short_edge), bounds.x1);
      const int64_t to = std::min(std::max(long_edge, short_edge), bounds.x2 - 1);
      for (int64_t x = from; x <= to; ++x) fill_cell(grid.at(x, top.y + i), context.fill_color);
    }
  }
  if (!context.pen_on) return;
  // The outline's points are on the grid already: drawn from an origin of 0.
  draw_context outline = context;
  outline.origin_x = 0;
  outline.origin_y = 0;
  draw_line_cells(grid, outline, top, middle);
  draw_line_cells(grid, outline, middle, bottom);
  draw_line_cells(grid, outline, bottom, top);
}

// The midpoint walk of one quadrant, mirrored to the other three. The terms grow as the cube
// of the radii, hence 128 bits. The walk ends once both rows cy + y and cy - y have left the
// area, since y never decreases.
uint64_t draw_ellipse_cells(cell_grid grid, const draw_context& context, cell_point centre, int64_t rx, int64_t ry) {
  const area bounds = area_of(grid, context);
  if (bounds.x1 >= bounds.x2 || bounds.y1 >= bounds.y2 || rx < 0 || ry < 0) return 0;
  const cell_point at = on_grid(context, centre);
  const int64_t cx = at.x, cy = at.y;
  const ellipse_painter painter{grid, bounds, context, cx};
  auto rows_left = [&](int64_t y) { return cy + y >= bounds.y2 && cy - y < bounds.y1; };

  const wide rx2 = static_cast<wide>(rx) * rx, ry2 = static_cast<wide>(ry) * ry;
  int64_t x = -rx, y = 0;
  wide dx = (2 * static_cast<wide>(x) + 1) * ry2;
  wide dy = static_cast<wide>(x) * x;
  wide err = dx + dy;
  uint64_t steps = 0;
  // The first point of a row is its outermost: its fill covers those of the row's later points.
  bool new_row = true;
  while (x <= 0) {
    if (rows_left(y)) return steps;
    ++steps;
    painter.plot(cx - x, cy + y, new_row);
    painter.plot(cx + x, cy + y, new_row);
    painter.plot(cx + x, cy - y, new_row);
    painter.plot(cx - x, cy - y, new_row);
    const wide e2 = 2 * err;
    new_row = false;
    if (e2 >= dx) {
      ++x;
      dx += 2 * ry2;
      err += dx;
    }
    if (e2 <= dy) {
      ++y;
      dy += 2 * rx2;
      err += dy;
      new_row = true;
    }
  }
  // A flat ellipse's tips: the centre column, only over the rows inside the area.
  if (!bounds.inside_p(cx, bounds.y1) || !context.pen_on) return steps;
  const int64_t below_from = bounds.y1 - cy, below_to = bounds.y2 - 1 - cy;
  const int64_t above_from = cy - (bounds.y2 - 1), above_to = cy - bounds.y1;
  const int64_t from = std::max(y + 1, std::min(below_from, above_from));
  const int64_t to = std::min(ry - 1, std::max(below_to, above_to));
  for (int64_t tip = from; tip <= to; ++tip) {
    ++steps;
    painter.plot(cx, cy + tip);
    painter.plot(cx, cy - tip);
  }
  return steps;
}

uint64_t draw_circle_cells(cell_grid grid, const draw_context& context, cell_point centre, int64_t radius) {
  if (radius <= 0) return 0;
  return draw_ellipse_cells(grid, context, centre, 2 * radius, radius);
}

uint64_t draw_ellipse_box_cells(cell_grid grid, const draw_context& context, cell_point corner, cell_point size) {
  if (size.x < 1 || size.y < 1) return 0;
  const auto rx = static_cast<int64_t>(std::trunc((static_cast<double>(size.x) + 0.5) / 2));
  const auto ry = static_cast<int64_t>(std::trunc((static_cast<double>(size.y) + 0.5) / 2));
  return draw_ellipse_cells(grid, context, cell_point{corner.x + rx, corner.y + ry}, rx, ry);
}

uint32_t text_foreground(const draw_context& context) {
  if (context.font_color_set) return context.text_color;
  return context.pen_on ? context.pen_color : 0;
}

namespace {

// The area as a clip rectangle and the start held near the grid (the layout counts columns in
// int); false when nothing can be drawn.
bool text_frame(const draw_context& context, cell_point at, clip_rect& clip, int& x, int& y) {
  const cell_grid grid = screen_grid();
  const area bounds = area_of(grid, context);
  if (bounds.x1 >= bounds.x2 || bounds.y1 >= bounds.y2) return false;
  clip = clip_rect{static_cast<int>(bounds.x1), static_cast<int>(bounds.y1), static_cast<int>(bounds.x2),
                   static_cast<int>(bounds.y2)};
  constexpr int64_t far = INT_MAX / 4;
  const cell_point start = on_grid(context, at);
  x = static_cast<int>(std::clamp<int64_t>(start.x, -far, far));
  y = static_cast<int>(std::clamp<int64_t>(start.y, -far, far));
  return true;
}

}  // namespace

void draw_text_cells(const draw_context& context, cell_point at, std::u32string_view text) {
  clip_rect clip{};
  int x = 0, y = 0;
  if (!text_frame(context, at, clip, x, y)) return;
  text_style style;
  style.fg = text_foreground(context);
  render_text(text, x, y, clip, style,
              context.attr_flags | draw_flag::sgr | draw_flag::wrap | draw_flag::keep_background);
}

void draw_styled_cells(const draw_context& context, cell_point at, std::span<const tui_cell> cells, uint32_t alignment) {
  clip_rect clip{};
  int x = 0, y = 0;
  if (!text_frame(context, at, clip, x, y)) return;
  render_text(cells, x, y, clip, context.attr_flags | draw_flag::sgr | (alignment & draw_flag::wrap));
}

}  // namespace tav::tui
