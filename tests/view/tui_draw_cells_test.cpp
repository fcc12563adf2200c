// The Draw dialect's shapes on cells: the cells lines, boxes, triangles, circles, ellipses and
// text paint for a face, clipped walks beside plain unclipped ones, the cost of huge shapes,
// and a face's draw block in a rendered frame.
#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "datatypes/handle.hpp"
#include "view/backends/terminal/draw.hpp"
#include "view/backends/terminal/draw_cells.hpp"
#include "view/backends/terminal/face_access.hpp"
#include "view/backends/terminal/widget.hpp"
#include "view/screen_fixture.hpp"

namespace tav::testing {
namespace {

using tui::cell_point;
using tui::make_color;
namespace kind = tui::color_kind;

constexpr uint32_t red = make_color(kind::indexed, 196);
constexpr uint32_t blue = make_color(kind::indexed, 21);
constexpr char32_t block_char = 0x2588;

using cell_set = std::set<std::pair<int, int>>;

cell_set row_span(int y, int x1, int x2) {
  cell_set cells;
  for (int x = x1; x <= x2; ++x) cells.insert({x, y});
  return cells;
}
cell_set column_span(int x, int y1, int y2) {
  cell_set cells;
  for (int y = y1; y <= y2; ++y) cells.insert({x, y});
  return cells;
}

// A face of the grid: its origin and its clip rectangle.
struct face_rect {
  int x, y, w, h;
};
constexpr face_rect whole_grid{0, 0, 80, 24};

class draw_cells_test : public screen_test {
 protected:
  static void blank(int w, int h) {
    tui::screen.width = w;
    tui::screen.height = h;
    tui::screen.cells.assign(static_cast<size_t>(w * h), tui::tui_cell{});
  }

  // The widget a face's run paints for.
  tui::widget_id painter = tui::no_widget;

  void SetUp() override {
    screen_test::SetUp();
    painter = tui::make_widget(none::value, tui::no_widget);
  }
  void TearDown() override {
    tui::free_widget(painter);
    screen_test::TearDown();
  }

  tui::draw_context face_context(face_rect face) const {
    tui::draw_context context;
    context.widget = painter;
    context.origin_x = face.x;
    context.origin_y = face.y;
    context.clip = tui::clip_rect{face.x, face.y, face.x + face.w, face.y + face.h};
    tui::draw_begin(context);
    return context;
  }

  // Runs the commands as a face's draw block on a blank 80x24 grid.
  void run(std::string_view commands, face_rect face = whole_grid) const {
    blank(80, 24);
    const cell block = loaded(commands);
    tui::draw_context context = face_context(face);
    tui::draw_parse(context, block, true);
  }

  // The cells a drawing changed.
  static cell_set painted() {
    cell_set cells;
    for (int y = 0; y < tui::screen.height; ++y)
      for (int x = 0; x < tui::screen.width; ++x)
        if (at(x, y).cp || at(x, y).bg || at(x, y).fg) cells.insert({x, y});
    return cells;
  }
};

TEST_F(draw_cells_test, shapes_paint_their_cells) {
  struct row {
    const char* commands;
    face_rect face;
    cell_set cells;
  };
  cell_set box_frame = row_span(1, 1, 3);
  box_frame.merge(row_span(3, 1, 3));
  box_frame.insert({{1, 2}, {3, 2}});
  const row rows[] = {
      {"line 0x0 4x2", whole_grid, {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}},
      // The walk is not symmetric: backwards it takes the other cells of each tie.
      {"line 4x2 0x0", whole_grid, {{4, 2}, {3, 1}, {2, 1}, {1, 0}, {0, 0}}},
      {"line 0x0 3x0 3x2", whole_grid, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}, {3, 2}}},
      // A segment coming in from beyond the grid is drawn where it enters, either way.
      {"line 100x0 0x0", whole_grid, row_span(0, 0, 79)},
      {"line -20x0 5x0", whole_grid, row_span(0, 0, 5)},
      {"line 0x30 0x20", whole_grid, column_span(0, 20, 23)},
      // At the face's origin and cut to its rectangle.
      {"line 0x0 4x2", {10, 5, 3, 2}, {{10, 5}, {11, 6}, {12, 6}}},
      {"line -2000000000x3 2000000000x3", whole_grid, row_span(3, 0, 79)},
      {"line (1.9, 0.5) (3.2, 0)", whole_grid, {{1, 0}, {2, 0}, {3, 0}}},
      {"box 1x1 3x3", whole_grid, box_frame},
      {"box 3x3 1x1 2", whole_grid, box_frame},
      {"pen off box 1x1 3x3", whole_grid, {}},
      // The right column and bottom row lie outside the face: not drawn.
      {"box 0x0 2x2", {5, 5, 2, 2}, {{5, 5}, {6, 5}, {5, 6}}},
      {"box -5x0 0x2", whole_grid, {}},
      {"ellipse 10x0 1x9", whole_grid, column_span(10, 1, 7)},
      {"ellipse 0x0 0x5", whole_grid, {}},
      {"ellipse 0x0 5x0", whole_grid, {}},
      {"circle 10x5 0", whole_grid, {}},
      {"circle 10x5 -3", whole_grid, {}},
      {"triangle 0x0 4x0 0x4", whole_grid, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {1, 3}, {2, 2}, {3, 1},
                                             {0, 1}, {0, 2}, {0, 3}, {0, 4}}},
      {"pen off triangle 0x0 4x0 0x4", whole_grid, {}},
      {"circle 40x12 100000000", whole_grid, {}},
  };
  for (const row& r : rows) {
    run(r.commands, r.face);
    EXPECT_EQ(painted(), r.cells) << r.commands;
  }
}

TEST_F(draw_cells_test, a_circle_is_an_ellipse_twice_as_wide_as_tall) {
  run("circle 10x5 2");
  const cell_set cells = painted();
  ASSERT_FALSE(cells.empty());
  int x1 = 99, x2 = -1, y1 = 99, y2 = -1;
  for (auto [x, y] : cells) {
    x1 = std::min(x1, x);
    x2 = std::max(x2, x);
    y1 = std::min(y1, y);
    y2 = std::max(y2, y);
    EXPECT_TRUE(cells.count({20 - x, y}) && cells.count({x, 10 - y})) << "symmetric about 10x5: " << x << "x" << y;
  }
  EXPECT_EQ(std::make_pair(x1, x2), std::make_pair(6, 14));
  EXPECT_EQ(std::make_pair(y1, y2), std::make_pair(3, 7));
  EXPECT_FALSE(cells.count({10, 5})) << "the centre is not part of the outline";
}

TEST_F(draw_cells_test, pen_and_fill_colours) {
  run("pen 255.0.0 line 0x0 2x0");
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(at(x, 0).cp, block_char);
    EXPECT_EQ(at(x, 0).fg, red);
    EXPECT_EQ(at(x, 0).bg, 0u);
  }
  run("pen 255.0.0 pen off line 0x0 2x0");
  EXPECT_EQ(painted(), row_span(0, 0, 2)) << "a line is drawn with the pen off";
  EXPECT_EQ(at(1, 0).fg, red);

  run("fill-pen 0.0.255 box 1x1 3x3");
  EXPECT_EQ(at(2, 2).bg, blue);
  EXPECT_EQ(at(2, 2).cp, U' ');
  EXPECT_EQ(at(1, 1).cp, 0x250Cu);
  EXPECT_EQ(at(3, 3).cp, 0x2518u);
  EXPECT_EQ(at(1, 1).bg, blue);
  run("pen 255.0.0 box 1x1 3x3");
  EXPECT_EQ(std::u32string(row_text(1).substr(1, 3)), U"┌─┐");
  EXPECT_EQ(std::u32string(row_text(2).substr(1, 3)), U"│ │");
  EXPECT_EQ(std::u32string(row_text(3).substr(1, 3)), U"└─┘");
  EXPECT_EQ(at(2, 2).cp, 0u) << "the inside is untouched";
  EXPECT_EQ(at(2, 1).fg, red);

  // Fill alone: spaces on the fill colour, no frame.
  run("pen off fill-pen 0.0.255 box 1x1 3x3");
  for (int y = 1; y <= 3; ++y)
    for (int x = 1; x <= 3; ++x) EXPECT_TRUE(at(x, y).cp == U' ' && at(x, y).bg == blue) << x << "x" << y;
  EXPECT_EQ(painted().size(), 9u);

  // A filled ellipse: spaces on the fill colour inside the outline, each row to the centre.
  run("pen 255.0.0 fill-pen 0.0.255 circle 10x5 2");
  EXPECT_EQ(at(10, 5).bg, blue);
  EXPECT_EQ(at(10, 5).cp, U' ');
  EXPECT_EQ(at(6, 5).cp, block_char);
  EXPECT_EQ(at(14, 5).cp, block_char);
  EXPECT_EQ(at(5, 5).bg, 0u);
  EXPECT_EQ(at(15, 5).bg, 0u);
}

// The fill spans of a triangle, whatever the order of its vertices.
TEST_F(draw_cells_test, triangle_fill_spans_do_not_depend_on_vertex_order) {
  std::vector<std::string> points = {"0x0", "4x0", "0x4"};
  std::sort(points.begin(), points.end());
  cell_set expected;
  for (int y = 0; y < 4; ++y) expected.merge(row_span(y, 0, 4 - y));
  do {
    const std::string commands = "pen off fill-pen 0.0.255 triangle " + points[0] + " " + points[1] + " " + points[2];
    run(commands);
    EXPECT_EQ(painted(), expected) << commands;
  } while (std::next_permutation(points.begin(), points.end()));

  // A triangle with a slanted short edge on both sides, cut by a face.
  cell_set spans;
  points = {"2x0", "8x4", "0x8"};
  std::sort(points.begin(), points.end());
  bool first = true;
  do {
    run("pen off fill-pen 0.0.255 triangle " + points[0] + " " + points[1] + " " + points[2], {1, 1, 6, 5});
    if (first) spans = painted();
    first = false;
    EXPECT_EQ(painted(), spans);
  } while (std::next_permutation(points.begin(), points.end()));
  for (auto [x, y] : spans) EXPECT_TRUE(x >= 1 && x < 7 && y >= 1 && y < 6) << x << "x" << y;
  EXPECT_FALSE(spans.empty());
}

// ---- Clipped walks beside plain ones -----------------------------------------------------------

struct plain_grid {
  int w, h;
  tui::clip_rect area;
  std::vector<tui::tui_cell> cells;
  plain_grid(int width, int height, tui::clip_rect a) : w(width), h(height), area(a), cells(static_cast<size_t>(w * h)) {}
  tui::tui_cell* at(int64_t x, int64_t y) {
    if (x < area.x1 || x >= area.x2 || y < area.y1 || y >= area.y2) return nullptr;
    return &cells[static_cast<size_t>(y * w + x)];
  }
};

// The walk of a line on an unbounded plane, every cell inside the area plotted.
void plain_line(plain_grid& grid, int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t colour) {
  const int64_t dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  const int64_t dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int64_t err = dx + dy;
  for (;;) {
    if (tui::tui_cell* c = grid.at(x0, y0)) {
      c->cp = block_char;
      c->fg = colour;
    }
    if (x0 == x1 && y0 == y1) return;
    const int64_t e2 = 2 * err;
    if (e2 >= dy) {
      if (x0 == x1) return;
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      if (y0 == y1) return;
      err += dx;
      y0 += sy;
    }
  }
}

void plain_plot(plain_grid& grid, int64_t cx, int64_t px, int64_t py, const tui::draw_context& context) {
  if (tui::tui_cell* c = grid.at(px, py); c && context.pen_on) {
    c->cp = block_char;
    c->fg = context.pen_color;
  }
  if (!context.fill_on || px == cx) return;
  for (int64_t x = px < cx ? px + 1 : px - 1;; x += px < cx ? 1 : -1) {
    if (tui::tui_cell* c = grid.at(x, py)) {
      c->cp = ' ';
      c->bg = context.fill_color;
    }
    if (x == cx) break;
  }
}

void plain_ellipse(plain_grid& grid, int64_t cx, int64_t cy, int64_t rx, int64_t ry, const tui::draw_context& context) {
  int64_t x = -rx, y = 0;
  int64_t dx = (2 * x + 1) * ry * ry, dy = x * x, err = dx + dy;
  while (x <= 0) {
    plain_plot(grid, cx, cx - x, cy + y, context);
    plain_plot(grid, cx, cx + x, cy + y, context);
    plain_plot(grid, cx, cx + x, cy - y, context);
    plain_plot(grid, cx, cx - x, cy - y, context);
    const int64_t e2 = 2 * err;
    if (e2 >= dx) {
      ++x;
      dx += 2 * ry * ry;
      err += dx;
    }
    if (e2 <= dy) {
      ++y;
      dy += 2 * rx * rx;
      err += dy;
    }
  }
  for (y = y + 1; y < ry; ++y) {
    plain_plot(grid, cx, cx, cy + y, context);
    plain_plot(grid, cx, cx, cy - y, context);
  }
}

// Every cell of the box's rectangle visited, fill first, then the frame by position.
void plain_box(plain_grid& grid, int64_t x1, int64_t y1, int64_t x2, int64_t y2, const tui::draw_context& context) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (x1 > context.clip.x2 - context.clip.x1 || x2 <= 0 || y1 > context.clip.y2 - context.clip.y1 || y2 <= 0) return;
  const int64_t left = x1 + context.origin_x, top = y1 + context.origin_y;
  const int64_t right = std::min<int64_t>(x2 + context.origin_x, grid.w - 1);
  const int64_t bottom = std::min<int64_t>(y2 + context.origin_y, grid.h - 1);
  for (int64_t row = std::max<int64_t>(top, context.origin_y); row <= bottom; ++row)
    for (int64_t column = std::max<int64_t>(left, context.origin_x); column <= right; ++column) {
      tui::tui_cell* c = grid.at(column, row);
      if (!c) continue;
      if (context.fill_on) {
        c->cp = ' ';
        c->bg = context.fill_color;
      }
      if (!context.pen_on) continue;
      const bool l = column == left, r = column == right, t = row == top, b = row == bottom;
      const char32_t cp = l && t ? 0x250C : r && t ? 0x2510 : l && b ? 0x2514 : r && b ? 0x2518 : l || r ? 0x2502
                          : t || b ? 0x2500 : 0;
      if (!cp) continue;
      c->cp = cp;
      c->fg = context.pen_color;
    }
}

bool same_cells(const std::vector<tui::tui_cell>& a, const std::vector<tui::tui_cell>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const tui::tui_cell& p, const tui::tui_cell& q) {
    return p.cp == q.cp && p.fg == q.fg && p.bg == q.bg && p.attr == q.attr;
  });
}

TEST_F(draw_cells_test, clipped_walks_paint_the_cells_of_the_whole_walk) {
  std::mt19937 random(82);
  auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  constexpr int w = 30, h = 20;
  for (int round = 0; round < 4500; ++round) {
    tui::draw_context context;
    context.origin_x = between(-5, 25);
    context.origin_y = between(-5, 15);
    context.clip = {between(-2, 20), between(-2, 12), between(5, 34), between(3, 24)};
    context.pen_color = red;
    context.fill_color = blue;
    context.pen_on = between(0, 3) != 0;
    context.fill_on = between(0, 1);
    const tui::clip_rect area{std::max(context.clip.x1, 0), std::max(context.clip.y1, 0), std::min(context.clip.x2, w),
                              std::min(context.clip.y2, h)};
    plain_grid expected(w, h, area);
    std::vector<tui::tui_cell> cells(static_cast<size_t>(w * h));
    const tui::cell_grid grid{cells.data(), w, h};
    const int kind = round % 3;
    std::string shape;
    if (kind == 0) {
      const cell_point from{between(-60, 60), between(-60, 60)}, to{between(-60, 60), between(-60, 60)};
      shape = "line " + std::to_string(from.x) + "x" + std::to_string(from.y) + " " + std::to_string(to.x) + "x" +
              std::to_string(to.y);
      tui::draw_line_cells(grid, context, from, to);
      plain_line(expected, from.x + context.origin_x, from.y + context.origin_y, to.x + context.origin_x,
                 to.y + context.origin_y, context.pen_color);
    } else if (kind == 1) {
      const cell_point from{between(-40, 40), between(-30, 30)}, to{between(-40, 40), between(-30, 30)};
      shape = "box " + std::to_string(from.x) + "x" + std::to_string(from.y) + " " + std::to_string(to.x) + "x" +
              std::to_string(to.y);
      tui::draw_box_cells(grid, context, from, to);
      plain_box(expected, from.x, from.y, to.x, to.y, context);
    } else {
      const cell_point centre{between(-30, 40), between(-30, 40)};
      const int rx = between(0, 30), ry = between(0, 30);
      shape = "ellipse " + std::to_string(centre.x) + "x" + std::to_string(centre.y) + " " + std::to_string(rx) + " " +
              std::to_string(ry);
      tui::draw_ellipse_cells(grid, context, centre, rx, ry);
      plain_ellipse(expected, centre.x + context.origin_x, centre.y + context.origin_y, rx, ry, context);
    }
    ASSERT_TRUE(same_cells(cells, expected.cells))
        << shape << " at " << context.origin_x << "x" << context.origin_y << " clip " << context.clip.x1 << " "
        << context.clip.y1 << " " << context.clip.x2 << " " << context.clip.y2 << " pen " << context.pen_on
        << " fill " << context.fill_on;
  }
}

TEST_F(draw_cells_test, huge_shapes_cost_only_the_cells_they_may_touch) {
  std::vector<tui::tui_cell> cells(80 * 24);
  const tui::cell_grid grid{cells.data(), 80, 24};
  tui::draw_context context = face_context(whole_grid);

  EXPECT_LE(tui::draw_line_cells(grid, context, {-2000000000, 3}, {2000000000, 3}), 80u);
  EXPECT_LE(tui::draw_line_cells(grid, context, {INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}), 24u);
  EXPECT_EQ(tui::draw_line_cells(grid, context, {INT32_MIN, 30}, {INT32_MAX, 30}), 0u);
  // A steep line through the grid from far above and below.
  std::fill(cells.begin(), cells.end(), tui::tui_cell{});
  EXPECT_LE(tui::draw_line_cells(grid, context, {39, -2000000000}, {41, 2000000000}), 24u);
  for (int y = 0; y < 24; ++y) EXPECT_EQ(cells[static_cast<size_t>(y * 80 + 40)].cp, block_char) << y;

  std::fill(cells.begin(), cells.end(), tui::tui_cell{});
  context.fill_on = 1;
  context.fill_color = blue;
  EXPECT_LT(tui::draw_circle_cells(grid, context, {40, 12}, 100000000), 100u);
  EXPECT_LT(tui::draw_circle_cells(grid, context, {40, 12}, INT32_MAX), 100u);
  // Inside a circle far larger than the grid every cell is filled and none is outline.
  for (const tui::tui_cell& c : cells) ASSERT_TRUE(c.cp == U' ' && c.bg == blue);
  EXPECT_LT(tui::draw_ellipse_cells(grid, context, {40, 12}, 0, INT32_MAX), 30u);
  EXPECT_LT(tui::draw_ellipse_box_cells(grid, context, {-1000000000, -500000000}, {2000000080, 1000000024}), 100u);
}

// ---- Text -------------------------------------------------------------------------------------

TEST_F(draw_cells_test, text_is_placed_in_the_face_and_coloured_by_pen_or_font) {
  evaluated("red-font: make font! [color: 255.0.0]");
  run("pen 0.0.255 text 1x0 \"ab\"", {2, 1, 10, 3});
  EXPECT_EQ(painted(), (cell_set{{3, 1}, {4, 1}}));
  EXPECT_EQ(at(3, 1).cp, U'a');
  EXPECT_EQ(at(4, 1).cp, U'b');
  EXPECT_EQ(at(3, 1).fg, blue);

  run("font red-font pen 0.0.255 text 0x0 \"x\"");
  EXPECT_EQ(at(0, 0).fg, red) << "a font colour holds against later pens";
  run("pen 0.0.255 pen off text 0x0 \"x\"");
  EXPECT_EQ(at(0, 0).fg, 0u) << "pen off: the default colour";

  // SGR escapes are read; the cells keep their background.
  run("fill-pen 0.0.255 pen off box 0x0 5x1 text 0x0 \"^[[31mab\"");
  EXPECT_EQ(row_text(0).substr(0, 3), U"ab ");
  EXPECT_EQ(at(0, 0).fg, make_color(kind::slot16, 1));
  EXPECT_EQ(at(1, 0).bg, blue);

  // Cut at the clip, wrapping onto the face's next row.
  run("text 0x0 \"abcdef\"", {10, 5, 4, 1});
  EXPECT_EQ(painted(), row_span(5, 10, 13));
  EXPECT_EQ(std::u32string(row_text(5).substr(10, 4)), U"abcd");
  run("text 0x0 \"abcdef\"", {10, 5, 4, 2});
  EXPECT_EQ(std::u32string(row_text(6).substr(10, 4)), U"ef  ");
  run("text -2x0 \"abcdef\"", {10, 5, 8, 1});
  EXPECT_EQ(std::u32string(row_text(5).substr(10, 4)), U"cdef");
}

TEST_F(draw_cells_test, a_face_given_to_text_draws_its_styled_cells) {
  enter_terminal(20, 6);
  const tui::widget_id root = tui::make_view(evaluated("make face! [type: 'window size: 20x6]"), tui::no_widget);
  tui::activate_window(tui::widget_of(root)->window);
  const cell shown = evaluated("shown: make face! [type: 'rich-text size: 5x1 text: {hi}]");
  const tui::widget_id id = tui::make_view(shown, root);
  evaluated("shown/state: reduce [none]");
  cell handle;
  handle::make_at(handle, id, handle::CLASS_WINDOW);
  buffer_of(tui::facet_value(shown, tui::names().state).payload2)->cells()[0] = handle;
  tui::widget_of(id)->styled = {{U'h', 0, red, tui::attr::bold}, {U'i', 0, blue, 0}};
  const uint32_t live = tui::live_widgets();

  blank(20, 6);
  tui::draw_context context = face_context({2, 2, 10, 2});
  tui::draw_parse(context,
                  evaluated("reduce ['text 1x0 shown 'text 0x1 make face! [type: 'rich-text text: {no}] "
                            "'text 0x1 other: make face! [type: 'window offset: 5x5 text: {no}]]"),
                  true);
  EXPECT_EQ(at(3, 2).cp, U'h');
  EXPECT_EQ(at(3, 2).fg, red);
  EXPECT_EQ(at(3, 2).attr, tui::attr::bold);
  EXPECT_EQ(at(4, 2).fg, blue);
  EXPECT_EQ(row_text(3), std::u32string(20, U' ')) << "a face without styled cells draws nothing";
  EXPECT_EQ(tui::live_widgets(), live) << "the widget made for drawing is freed";
  EXPECT_EQ(result_of("other/offset"), "5x5") << "no window is made for drawing";
  EXPECT_EQ(tui::window_count(), 1u);
  tui::free_widget(root);
}

// ---- In a frame ------------------------------------------------------------------------------

TEST_F(draw_cells_test, a_faces_draw_block_paints_the_frame) {
  enter_terminal(20, 6);
  const tui::widget_id root = tui::make_view(evaluated("make face! [type: 'window size: 20x6]"), tui::no_widget);
  tui::activate_window(tui::widget_of(root)->window);
  tui::make_view(evaluated("make face! [type: 'base offset: 2x1 size: 6x3 "
                           "draw: [pen 255.0.0 line 0x0 9x0 box 1x1 3x2 line 0x0 -5x0]]"),
                 root);
  tui::request_redraw(root);
  tui::render_frame();
  EXPECT_EQ(row_text(1), U"  ██████            ");
  EXPECT_EQ(row_text(2), U"   ┌─┐              ");
  EXPECT_EQ(row_text(3), U"   └─┘              ");
  EXPECT_EQ(at(2, 1).fg, red);
  EXPECT_NE(terminal.take().find("\033[38;5;196m██████"), std::string::npos);
  tui::free_widget(root);

  // An image's draw block is read and checked; nothing reaches the grid.
  blank(20, 6);
  evaluated("draw make image! 4x4 [pen 255.0.0 line 0x0 9x0 fill-pen 0.0.255 box 0x0 5x5 text 0x0 {x}]");
  EXPECT_TRUE(painted().empty());
}

}  // namespace
}  // namespace tav::testing
