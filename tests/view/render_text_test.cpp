// Text into the grid: clipping, wrapping, wide characters, SGR escapes in face text, and faces
// with their colours, alignment, hint and password masking.
#include <string>

#include "view/screen_fixture.hpp"

namespace tav::testing {
namespace {

using tui::make_color;
namespace kind = tui::color_kind;
namespace attr = tui::attr;
namespace flag = tui::widget_flag;
constexpr uint32_t sgr = tui::draw_flag::sgr;
constexpr uint32_t wrap = tui::draw_flag::wrap;

class render_text_test : public screen_test {
 protected:
  // A blank grid of w x h.
  static void blank(int w, int h) {
    tui::screen.width = w;
    tui::screen.height = h;
    tui::screen.cells.assign(static_cast<size_t>(w * h), tui::tui_cell{' ', 0, 0, 0});
  }
  static tui::clip_rect whole() { return {0, 0, tui::screen.width, tui::screen.height}; }
};

TEST_F(render_text_test, sgr_escapes_style_the_text_and_are_not_drawn) {
  blank(5, 1);
  tui::render_text(U"\033[31mabc\033[0mde", 0, 0, whole(), {}, sgr);
  EXPECT_EQ(row_text(0), U"abcde");
  for (int x = 0; x < 3; ++x) EXPECT_EQ(at(x, 0).fg, make_color(kind::slot16, 1));
  EXPECT_EQ(at(3, 0).fg, 0u);
  tui::flush_screen();
  EXPECT_EQ(terminal.take(), "\r\033[0J\033[31mabc\033[39mde");

  // Without the flag the escape is a character like any other.
  blank(5, 1);
  tui::render_text(U"\033[1mx", 0, 0, whole(), {}, 0);
  EXPECT_EQ(at(0, 0).cp, 0x1Bu);
}

TEST_F(render_text_test, sgr_parameters_set_and_clear_the_running_style) {
  struct row {
    const char32_t* text;
    uint32_t fg, bg, attributes;
  };
  const row rows[] = {
      {U"\033[91mx", make_color(kind::slot16, 11), 0, 0},
      {U"\033[97mx", make_color(kind::slot16, 17), 0, 0},
      {U"\033[39mx", make_color(kind::slot16, 9), 0, 0},
      {U"\033[44;107mx", 0, make_color(kind::slot16, 17), 0},
      {U"\033[38;5;200mx", make_color(kind::indexed, 200), 0, 0},
      {U"\033[48;5;17mx", 0, make_color(kind::indexed, 17), 0},
      {U"\033[1;2;3mx", 0, 0, attr::bold | attr::dim | attr::italic},
      {U"\033[1;4m\033[21mx", 0, 0, attr::underline},
      {U"\033[5;7;8m\033[9m\033[25;28mx", 0, 0, attr::reverse | attr::strike},
      {U"\033[1;31m\033[0mx", 0, 0, 0},
      {U"\033[1;31m\033[mx", 0, 0, 0},
      {U"\033[38mx", 0, 0, 0},
      {U"\033[6;48;200mx", 0, 0, 0},
      // A fourth parameter starts the list over: 38;2;1 is dropped, 2;3 apply.
      {U"\033[38;2;1;2;3mx", 0, 0, attr::dim | attr::italic},
      {U"\033[2J\033[5;5H\033[Kx", 0, 0, 0},
  };
  for (const row& r : rows) {
    blank(3, 1);
    tui::render_text(r.text, 0, 0, whole(), {}, sgr);
    const std::u32string text(r.text);
    SCOPED_TRACE(std::string(text.begin() + 1, text.end()));
    EXPECT_EQ(row_text(0), U"x  ");
    EXPECT_EQ(at(0, 0).fg, r.fg);
    EXPECT_EQ(at(0, 0).bg, r.bg);
    EXPECT_EQ(at(0, 0).attr, r.attributes);
  }
  // A sequence cut off at the end of the text draws nothing.
  blank(3, 1);
  tui::render_text(U"ab\033[3", 0, 0, whole(), {}, sgr);
  EXPECT_EQ(row_text(0), U"ab ");
}

TEST_F(render_text_test, a_wide_character_needs_both_cells_inside_the_clip) {
  blank(4, 1);
  tui::render_text(U"\u4e00", 0, 0, {0, 0, 1, 1}, {}, 0);
  EXPECT_EQ(row_text(0), U"    ");
  tui::render_text(U"\u4e00", 0, 0, {0, 0, 2, 1}, {}, 0);
  EXPECT_EQ(at(0, 0).cp, 0x4E00u);
  EXPECT_EQ(at(1, 0).attr, attr::continuation);
  tui::flush_screen();
  EXPECT_EQ(terminal.take(), "\r\033[0J\xe4\xb8\x80  ");
  // Its last cell past the right edge: not drawn, and the line ends there.
  blank(4, 1);
  tui::render_text(U"ab\u4e00c", 1, 0, {0, 0, 4, 1}, {}, 0);
  EXPECT_EQ(row_text(0), U" ab ");
}

TEST_F(render_text_test, text_is_clipped_on_every_side) {
  blank(6, 3);
  // From above and left of the clip: the first line and the first column are consumed.
  tui::render_text(U"012345\nabcdef\nABCDEF\nzzz", -1, -1, {1, 0, 4, 2}, {}, 0);
  EXPECT_EQ(row_text(0), U" cde  ");
  EXPECT_EQ(row_text(1), U" CDE  ");
  EXPECT_EQ(row_text(2), U"      ");
}

TEST_F(render_text_test, wrapping_continues_at_the_start_column_on_the_next_line) {
  blank(5, 4);
  tui::render_text(U"abcdefg\nhi", 1, 0, {0, 0, 4, 4}, {}, wrap);
  EXPECT_EQ(row_text(0), U" abc ");
  EXPECT_EQ(row_text(1), U" def ");
  EXPECT_EQ(row_text(2), U" g   ");
  EXPECT_EQ(row_text(3), U" hi  ");
  // A wide character that does not fit goes whole to the next line.
  blank(3, 2);
  tui::render_text(U"ab\u4e00", 0, 0, whole(), {}, wrap);
  EXPECT_EQ(row_text(0), U"ab ");
  EXPECT_EQ(at(0, 1).cp, 0x4E00u);
  // A line that fills the width exactly is followed by the next without an empty one.
  blank(3, 3);
  tui::render_text(U"abc\nd", 0, 0, whole(), {}, wrap);
  EXPECT_EQ(row_text(0), U"abc");
  EXPECT_EQ(row_text(1), U"d  ");
  // Without wrapping the rest of the line is skipped.
  blank(3, 2);
  tui::render_text(U"abcdef\ngh", 0, 0, whole(), {}, 0);
  EXPECT_EQ(row_text(0), U"abc");
  EXPECT_EQ(row_text(1), U"gh ");
  // Lines above the clip count their wrapped lines.
  blank(3, 2);
  tui::render_text(U"abcdefgh", 0, -1, whole(), {}, wrap);
  EXPECT_EQ(row_text(0), U"def");
  EXPECT_EQ(row_text(1), U"gh ");
}

TEST_F(render_text_test, styled_cells_keep_their_colours_and_take_the_added_bits) {
  blank(4, 1);
  const tui::tui_cell cells[] = {{'a', 1, 2, attr::bold}, {'b', 3, 4, 0}};
  tui::render_text(cells, 1, 0, whole(), attr::reverse);
  EXPECT_EQ(row_text(0), U" ab ");
  EXPECT_EQ(at(1, 0).bg, 1u);
  EXPECT_EQ(at(1, 0).fg, 2u);
  EXPECT_EQ(at(1, 0).attr, attr::bold | attr::reverse);
  EXPECT_EQ(at(2, 0).attr, attr::reverse);
}

TEST_F(render_text_test, measuring_counts_the_widest_line_and_the_lines) {
  struct row {
    const char32_t* text;
    int width;
    uint32_t flags;
    int columns, lines;
  };
  const row rows[] = {
      {U"", 10, 0, 0, 0},          {U"abc", 10, 0, 3, 1},          {U"ab\nabcd\n", 10, 0, 4, 3},
      {U"\u4e00\u4e00", 10, 0, 4, 1}, {U"abcdefg", 3, wrap, 3, 3},  {U"\033[31mab", 10, sgr, 2, 1},
      {U"abcdefg", 3, 0, 7, 1},
  };
  for (const row& r : rows) {
    int columns = -1, lines = -1;
    tui::measure_text(r.text, r.width, r.flags, columns, lines);
    EXPECT_EQ(columns, r.columns) << r.width;
    EXPECT_EQ(lines, r.lines) << r.width;
  }
}

TEST_F(render_text_test, a_face_fills_its_rectangle_and_draws_its_text_in_its_colours) {
  enter_terminal(80, 24);
  const tui::widget_id root = window(6, 2);
  const cell face = evaluated("make object! [text: {ab} color: 255.0.0 font: make object! [color: 0.0.255] para: none]");
  const tui::widget_id child = add(root, 1, 0, 4, 2, face);
  blank(6, 2);
  tui::render_face(1, 0, child, sgr | attr::dim);
  EXPECT_EQ(row_text(0), U" ab   ");
  EXPECT_EQ(at(1, 0).bg, make_color(kind::indexed, 196));
  EXPECT_EQ(at(1, 0).fg, make_color(kind::indexed, 21));
  EXPECT_EQ(at(1, 0).attr, attr::dim);
  EXPECT_EQ(at(4, 1).bg, make_color(kind::indexed, 196));  // filled
  EXPECT_EQ(at(5, 1).bg, 0u);                             // outside
  EXPECT_EQ(at(0, 0).bg, 0u);

  // A transparent colour keeps the terminal's default.
  const cell clear = evaluated("make object! [text: {ab} color: 255.0.0.255]");
  tui::widget_of(child)->face = clear;
  tui::render_face(1, 0, child, sgr);
  EXPECT_EQ(at(1, 0).bg, 0u);
}

TEST_F(render_text_test, alignment_shifts_the_whole_text) {
  enter_terminal(80, 24);
  const tui::widget_id root = window(7, 4);
  const tui::widget_id child = add(root, 0, 0, 7, 4);
  struct row {
    const char* para;
    const char32_t* rows[4];
  };
  // Every line starts at the same column, however long it is.
  const row rows[] = {
      {"none", {U"ab     ", U"abcd   ", U"       ", U"       "}},
      {"make object! [align: 'center]", {U" ab    ", U" abcd  ", U"       ", U"       "}},
      {"make object! [align: 'right v-align: 'bottom]", {U"       ", U"       ", U"   ab  ", U"   abcd"}},
      {"make object! [align: 'left v-align: 'middle]", {U"       ", U"ab     ", U"abcd   ", U"       "}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.para);
    tui::widget_of(child)->face = evaluated(std::string("make object! [text: {ab^/abcd} para: ") + r.para + "]");
    blank(7, 4);
    tui::render_face(0, 0, child, sgr);
    for (int y = 0; y < 4; ++y) EXPECT_EQ(row_text(y), r.rows[y]);
  }
  // wrap? in the para wraps at the widget's edge.
  tui::widget_of(child)->face = evaluated("make object! [text: {abcdefghij} para: make object! [wrap?: true]]");
  blank(7, 4);
  tui::render_face(0, 0, child, sgr);
  EXPECT_EQ(row_text(0), U"abcdefg");
  EXPECT_EQ(row_text(1), U"hij    ");
}

TEST_F(render_text_test, hint_password_ui_and_no_text) {
  enter_terminal(80, 24);
  const tui::widget_id root = window(8, 1);
  const tui::widget_id child = add(root, 0, 0, 8, 1);
  terminal.take();

  tui::widget_of(child)->face = evaluated("make object! [text: {} options: [hint: {name}]]");
  blank(8, 1);
  tui::render_face(0, 0, child, sgr);
  EXPECT_EQ(row_text(0), U"name    ");
  EXPECT_EQ(at(0, 0).attr, attr::dim);

  tui::widget_of(child)->face = evaluated("make object! [text: {abc} options: [hint: {name}]]");
  blank(8, 1);
  tui::render_face(0, 0, child, sgr | attr::masked);
  tui::flush_screen();
  EXPECT_EQ(terminal.take(), "\r\033[0J***     ");

  tui::widget_of(child)->ui = evaluated("{[x]}");
  blank(8, 1);
  tui::render_face(0, 0, child, sgr | tui::draw_flag::no_text);
  EXPECT_EQ(row_text(0), U"[x]     ");
  tui::widget_of(child)->ui = none::value;
}

TEST_F(render_text_test, a_face_is_cut_to_its_parent_and_to_the_grid) {
  enter_terminal(80, 24);
  const tui::widget_id root = window(10, 3);
  const tui::widget_id panel = add(root, 2, 1, 4, 1);
  const tui::widget_id inner = add(panel, 2, 0, 6, 3, evaluated("make object! [text: {abcdef} color: 0.0.0]"));
  tui::screen.width = 10;
  tui::screen.height = 3;
  const tui::clip_rect clip = tui::clip_to_parents(4, 1, inner);
  EXPECT_EQ(clip.x1, 4);
  EXPECT_EQ(clip.y1, 1);
  EXPECT_EQ(clip.x2, 6);
  EXPECT_EQ(clip.y2, 2);

  // Direct children of the window are cut only by the grid, and never below 0.
  const tui::widget_id wide = add(root, -3, 1, 20, 5);
  const tui::clip_rect grid_clip = tui::clip_to_parents(-3, 1, wide);
  EXPECT_EQ(grid_clip.x1, 0);
  EXPECT_EQ(grid_clip.x2, 10);
  EXPECT_EQ(grid_clip.y2, 3);
  tui::free_widget(wide);

  blank(10, 3);
  tui::request_redraw(root);
  tui::render_frame();
  EXPECT_EQ(row_text(1), U"    ab    ");
  EXPECT_EQ(at(4, 1).bg, make_color(kind::indexed, 16));
  EXPECT_EQ(at(6, 1).bg, 0u);

  // An empty clip draws nothing at all.
  blank(10, 3);
  tui::render_face(12, 0, inner, sgr);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(row_text(y), U"          ");
}

TEST_F(render_text_test, image_cells_follow_each_other_at_the_widget_width) {
  enter_terminal(80, 24);
  const tui::widget_id root = window(4, 2);
  const tui::widget_id image = add(root, 1, 0, 2, 2);
  tui::widget_of(image)->cells = {{'a', 5, 6, 0}, {'b', 5, 6, 0}, {'c', 5, 6, 0}, {'d', 5, 6, 0}};
  tui::widget_of(image)->face = evaluated("make object! [text: none]");
  blank(4, 2);
  tui::render_face(1, 0, image, 0);
  EXPECT_EQ(row_text(0), U" ab ");
  EXPECT_EQ(row_text(1), U" cd ");
  EXPECT_EQ(at(2, 1).fg, 6u);
}

}  // namespace
}  // namespace tav::testing
