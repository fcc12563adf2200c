// The cell screen: the bytes of a frame inline and fullscreen, the inline region, windows,
// focus and the cursor, terminal mode, and shutdown.
#include <string>
#include <vector>

#include "view/screen_fixture.hpp"

namespace tav::testing {
namespace {

using tui::make_color;
namespace kind = tui::color_kind;
namespace flag = tui::widget_flag;

TEST_F(screen_test, one_row_flushes_its_colours_and_a_final_reset) {
  grid({U"abc"});
  for (int x = 0; x < 3; ++x) at(x, 0).fg = make_color(kind::slot16, 1);
  tui::flush_screen();
  EXPECT_EQ(terminal.take(), "\r\033[0J\033[31mabc\033[39m");
  EXPECT_EQ(terminal.writes, 1);
  EXPECT_TRUE(tui::screen.drawn);
  EXPECT_EQ(tui::screen.lines_up, 0);
}

TEST_F(screen_test, rows_are_separated_and_a_redraw_goes_back_up_first) {
  grid({U"ab", U"cd"});
  tui::flush_screen();
  EXPECT_EQ(terminal.take(), "\r\033[0Jab\033[49m\r\ncd");
  EXPECT_EQ(tui::screen.lines_up, 1);
  tui::flush_screen();
  EXPECT_EQ(terminal.take(), "\r\033[1A\033[0Jab\033[49m\r\ncd");

  tui::screen.fullscreen = true;
  tui::flush_screen();
  EXPECT_EQ(terminal.take(), "\033[Hab\033[49m\r\ncd");
}

TEST_F(screen_test, a_background_ends_at_each_row_and_is_set_again) {
  grid({U"a", U"b"});
  at(0, 0).bg = at(0, 1).bg = make_color(kind::indexed, 21);
  tui::flush_screen();
  EXPECT_EQ(terminal.take(), "\r\033[0J\033[48;5;21ma\033[49m\r\n\033[48;5;21mb\033[49m");
}

TEST_F(screen_test, masked_wide_and_empty_cells_are_written_as_they_show) {
  grid({U"x\u4e00?yz"});
  at(2, 0) = tui::tui_cell{0, 0, 0, tui::attr::continuation};
  at(3, 0).attr = tui::attr::masked;
  at(4, 0).cp = 0;
  tui::flush_screen();
  EXPECT_EQ(terminal.take(), "\r\033[0Jx\xe4\xb8\x80* ");
}

TEST_F(screen_test, an_empty_grid_writes_nothing) {
  tui::flush_screen();
  EXPECT_EQ(terminal.writes, 0);
  EXPECT_FALSE(tui::screen.drawn);
}

TEST_F(screen_test, the_caret_of_a_focused_text_entry_places_the_cursor) {
  const tui::widget_id root = window(4, 5);
  const tui::widget_id entry = add(root, 0, 2, 4, 1, none::value, flag::text_entry);
  tui::screen.focus = entry;
  grid({U"aaaa", U"bbbb", U"cccc", U"dddd", U"eeee"});
  tui::screen.caret_row = 2;
  tui::screen.caret_column = 3;
  tui::flush_screen();
  const std::string bytes = terminal.take();
  EXPECT_EQ(bytes.substr(bytes.size() - 9), "\r\033[2A\033[3C");
  EXPECT_EQ(tui::screen.lines_up, 2);
  tui::move_below_ui();
  EXPECT_EQ(terminal.take(), "\033[3B\r\n");

  // Without a caret the cursor stays at the end of the last row.
  tui::screen.caret_row = -1;
  tui::flush_screen();
  EXPECT_EQ(tui::screen.lines_up, 4);
  terminal.take();
  tui::move_below_ui();
  EXPECT_EQ(terminal.take(), "\r\n");
}

TEST_F(screen_test, the_inline_region_scrolls_up_to_fit_the_console) {
  enter_terminal(80, 24);
  grid({U"a", U"b", U"c", U"d", U"e"});
  struct row {
    int top;
    bool fullscreen;
    int expected;
  };
  for (const row& r : {row{23, false, 19}, row{19, false, 19}, row{3, false, 3}, row{23, true, 0}}) {
    tui::screen.inline_top = r.top;
    tui::screen.inline_left = 7;
    tui::screen.fullscreen = r.fullscreen;
    tui::fit_scroll();
    EXPECT_EQ(tui::screen.inline_top, r.expected) << r.top;
    EXPECT_EQ(tui::screen.inline_left, r.fullscreen ? 0 : 7);
  }
  // A console of unknown size moves nothing.
  tui::console.rows = -1;
  tui::screen.fullscreen = false;
  tui::screen.inline_top = 23;
  tui::fit_scroll();
  EXPECT_EQ(tui::screen.inline_top, 23);
}

TEST_F(screen_test, erasing_the_interface_goes_back_to_its_first_line) {
  tui::erase_inline_ui();
  EXPECT_EQ(terminal.writes, 0);  // nothing drawn, nothing to erase
  tui::move_below_ui();
  EXPECT_EQ(terminal.writes, 0);

  tui::screen.drawn = true;
  tui::screen.lines_up = 4;
  tui::erase_inline_ui();
  EXPECT_EQ(terminal.take(), "\r\033[4A\033[0J");
  EXPECT_EQ(tui::screen.lines_up, 0);
  // A one-line interface is cleared too.
  tui::erase_inline_ui();
  EXPECT_EQ(terminal.take(), "\r\033[0J");
}

TEST_F(screen_test, a_frame_draws_the_tree_of_the_current_window) {
  enter_terminal(80, 24);
  const tui::widget_id root = window(6, 2);
  const cell face = evaluated("make object! [text: {abc} color: none font: none para: none options: none]");
  add(root, 1, 1, 3, 1, face);
  tui::request_redraw(root);
  tui::render_frame();
  EXPECT_EQ(tui::screen.width, 6);
  EXPECT_EQ(tui::screen.height, 2);
  EXPECT_EQ(row_text(0), U"      ");
  EXPECT_EQ(row_text(1), U" abc  ");
  const std::string bytes = terminal.take();
  EXPECT_EQ(bytes, "\033[?25l\r\033[0J      \033[49m\r\n abc  ");
  EXPECT_FALSE(tui::screen.redraw);

  // No redraw asked: no frame.
  tui::render_frame();
  EXPECT_EQ(terminal.writes, 2);
}

TEST_F(screen_test, later_faces_paint_over_earlier_ones_and_hidden_ones_are_skipped) {
  enter_terminal(80, 24);
  const tui::widget_id root = window(5, 1);
  add(root, 0, 0, 5, 1, evaluated("make object! [text: {aaaaa}]"));
  add(root, 1, 0, 2, 1, evaluated("make object! [text: {bb}]"));
  const tui::widget_id group = add(root, 3, 0, 2, 1, evaluated("make object! [text: {cc}]"), flag::hidden);
  add(group, 0, 0, 1, 1, evaluated("make object! [text: {d}]"));
  tui::request_redraw(root);
  tui::render_frame();
  EXPECT_EQ(row_text(0), U"abbaa");
}

TEST_F(screen_test, a_window_larger_than_the_console_is_cut_to_it) {
  enter_terminal(30, 10);
  const tui::widget_id root = window(20, 4);
  add(root, 5, 2, 40, 20);
  tui::fit_window_buffer(root);
  EXPECT_EQ(tui::screen.width, 30);
  EXPECT_EQ(tui::screen.height, 10);
  const tui::window_record& area = *tui::screen.current;
  EXPECT_EQ(area.x2, 45);
  EXPECT_EQ(area.y2, 22);
  // Smaller again: the grid keeps its room and takes the new size.
  tui::widget_of(root)->x2 = 4;
  tui::widget_of(root)->y2 = 3;
  tui::widget_of(root)->children.clear();
  tui::fit_window_buffer(root);
  EXPECT_EQ(tui::screen.width, 4);
  EXPECT_EQ(tui::screen.height, 3);
  EXPECT_GE(tui::screen.cells.size(), 300u);
}

TEST_F(screen_test, without_terminal_mode_no_grid_is_sized_and_nothing_is_written) {
  terminal.terminal = false;
  tui::enter_terminal_mode(false);
  EXPECT_FALSE(tui::console.ui_active);
  const tui::widget_id root = window(10, 3);
  add(root, 0, 0, 10, 1, evaluated("make object! [text: {abc}]"), flag::focusable);
  tui::request_redraw(root);
  tui::render_frame();
  tui::leave_terminal_mode();
  EXPECT_EQ(terminal.writes, 0);
  EXPECT_EQ(tui::screen.width, 0);
  EXPECT_FALSE(terminal.raw);
}

TEST_F(screen_test, terminal_mode_reads_the_size_and_asks_for_the_cursor) {
  terminal.columns = 132;
  terminal.rows = 40;
  tui::enter_terminal_mode(false);
  EXPECT_TRUE(tui::console.ui_active);
  EXPECT_TRUE(terminal.raw);
  EXPECT_EQ(tui::console.columns, 132);
  EXPECT_EQ(tui::console.rows, 40);
  EXPECT_EQ(terminal.take(), "\033[6n");
  tui::enter_terminal_mode(true);  // already on; fullscreen asks nothing
  EXPECT_EQ(terminal.writes, 1);

  tui::hide_cursor();
  tui::hide_cursor();
  EXPECT_EQ(terminal.take(), "\033[?25l");
  tui::leave_terminal_mode();
  EXPECT_EQ(terminal.take(), "\033[?25h");
  EXPECT_FALSE(terminal.raw);
  EXPECT_FALSE(tui::console.ui_active);
  tui::show_cursor();
  EXPECT_EQ(terminal.writes, 3);

  terminal.size_known = false;
  EXPECT_FALSE(tui::get_console_size());
  EXPECT_EQ(tui::console.columns, 80);
  EXPECT_EQ(tui::console.rows, 24);
}

TEST_F(screen_test, control_sequences) {
  tui::enable_mouse();
  EXPECT_EQ(terminal.take(), "\033[?1000h\033[?1003h\033[?1015h\033[?1006h");
  tui::disable_mouse();
  EXPECT_EQ(terminal.take(), "\033[?1000l\033[?1003l\033[?1015l\033[?1006l");
  tui::cursor_down(0);
  tui::cursor_down(12);
  EXPECT_EQ(terminal.take(), "\033[12B");

  tui::enter_fullscreen();
  EXPECT_EQ(terminal.written, "");  // no fullscreen window
  tui::screen.fullscreen = true;
  tui::enter_fullscreen();
  tui::enter_fullscreen();
  EXPECT_EQ(terminal.take(), "\033[?1049h\033[2J");
  tui::clear_terminal();
  EXPECT_EQ(terminal.take(), "\033[2J");
  tui::leave_fullscreen();
  tui::leave_fullscreen();
  EXPECT_EQ(terminal.take(), "\033[?1049l");
  tui::clear_terminal();
  EXPECT_EQ(terminal.take(), "");
}

// The events the screen sends, in order.
std::vector<std::string> sent;
bool record_event(tui::widget_id widget, uint32_t type, float x, float y, int32_t) {
  sent.push_back(std::to_string(widget) + " " + std::to_string(type) + " " + std::to_string(static_cast<int>(x)) + "x" +
                 std::to_string(static_cast<int>(y)));
  return false;
}

TEST_F(screen_test, moving_the_focus_sends_unfocus_then_focus) {
  sent.clear();
  tui::set_widget_event_sender(record_event);
  const tui::widget_id root = window(10, 2);
  const tui::widget_id a = add(root, 0, 0, 5, 1, none::value, flag::focusable);
  const tui::widget_id b = add(root, 5, 0, 5, 1, none::value, flag::focusable);
  EXPECT_EQ(tui::screen.focus, root);  // the first window takes the focus

  tui::auto_focus(a);
  tui::auto_focus(b);  // the window has its focus already
  const auto s = [](tui::widget_id w, int type) { return std::to_string(w) + " " + std::to_string(type) + " 0x0"; };
  EXPECT_EQ(sent, (std::vector<std::string>{s(root, 18), s(a, 17)}));
  sent.clear();
  tui::set_focus(b);
  EXPECT_EQ(sent, (std::vector<std::string>{s(a, 18), s(b, 17)}));
  EXPECT_FALSE(tui::widget_of(a)->flags & flag::focused);
  EXPECT_TRUE(tui::widget_of(b)->flags & flag::focused);
  EXPECT_EQ(tui::screen.focus, b);
  EXPECT_EQ(tui::screen.current->focused, b);

  sent.clear();
  tui::resize_windows(100, 30);
  EXPECT_EQ(sent, (std::vector<std::string>{std::to_string(root) + " 30 100x30"}));
}

TEST_F(screen_test, windows_keep_their_focus_and_closing_one_activates_the_last) {
  const tui::widget_id first = window(10, 2);
  const tui::widget_id field = add(first, 0, 0, 5, 1, none::value, flag::focusable);
  tui::set_focus(field);
  const tui::widget_id second = window(8, 1);
  EXPECT_EQ(tui::window_count(), 2u);
  EXPECT_EQ(tui::screen.focus, second);
  tui::screen.hover = field;
  tui::screen.capture = field;
  tui::screen.captures.push_back(field);

  tui::close_window(second);
  tui::free_widget(second);
  EXPECT_EQ(tui::window_count(), 1u);
  EXPECT_EQ(tui::screen.current->window, first);
  EXPECT_EQ(tui::screen.focus, field);
  EXPECT_EQ(tui::screen.hover, tui::no_widget);
  EXPECT_EQ(tui::screen.capture, tui::no_widget);
  EXPECT_TRUE(tui::screen.captures.empty());

  // A redraw is asked only for a widget of the current window.
  const tui::widget_id other = add(tui::no_widget, 0, 0, 1, 1);
  tui::request_redraw(other);
  EXPECT_FALSE(tui::screen.redraw);
  tui::request_redraw();
  EXPECT_TRUE(tui::screen.redraw);
  tui::free_widget(other);
}

TEST_F(screen_test, a_window_shown_again_gives_the_focus_back_to_the_widget_that_had_it) {
  const tui::widget_id first = window(10, 2);
  const tui::widget_id button = add(first, 0, 0, 5, 1, none::value, flag::focusable);
  tui::set_focus(button);
  const tui::widget_id second = window(8, 1);
  const tui::widget_id inner = add(second, 0, 0, 5, 1, none::value, flag::focusable);
  tui::set_focus(inner, tui::widget_of(second)->window);
  EXPECT_FALSE(tui::widget_of(button)->flags & flag::focused);
  EXPECT_FALSE(tui::widget_of(first)->flags & flag::focused);

  tui::free_view(inner);  // as the window's own widgets go first when it is destroyed
  tui::close_window(second);
  tui::free_widget(second);
  EXPECT_EQ(tui::screen.focus, button);
  EXPECT_TRUE(tui::widget_of(button)->flags & flag::focused);
  EXPECT_FALSE(tui::widget_of(first)->flags & flag::focused);

  // Showing a window without a focused child focuses the window and takes the bit away.
  const tui::widget_id third = window(4, 1);
  EXPECT_EQ(tui::screen.focus, third);
  EXPECT_TRUE(tui::widget_of(third)->flags & flag::focused);
  EXPECT_FALSE(tui::widget_of(button)->flags & flag::focused);
  tui::activate_window(tui::widget_of(first)->window);
  EXPECT_TRUE(tui::widget_of(button)->flags & flag::focused);
  EXPECT_FALSE(tui::widget_of(third)->flags & flag::focused);
  tui::close_window(third);
  tui::free_widget(third);
}

TEST_F(screen_test, the_cursor_shows_only_while_a_text_entry_has_the_focus) {
  enter_terminal(80, 24);
  const tui::widget_id root = window(10, 2);
  EXPECT_EQ(terminal.take(), "\033[?25l");  // the window counts no text entry
  const tui::widget_id button = add(root, 0, 0, 5, 1, none::value, flag::focusable);
  const tui::widget_id field = add(root, 5, 0, 5, 1, none::value, flag::focusable | flag::text_entry);
  tui::screen.current->text_entries = 1;

  const auto frame = [&] {
    tui::request_redraw(root);
    tui::render_frame();
    const std::string bytes = terminal.take();
    return std::to_string(static_cast<int>(bytes.find("\033[?25l") != std::string::npos)) +
           std::to_string(static_cast<int>(bytes.find("\033[?25h") != std::string::npos));
  };
  tui::set_focus(button);
  EXPECT_EQ(frame(), "00");  // hidden already
  tui::set_focus(field);
  EXPECT_EQ(frame(), "01");
  EXPECT_EQ(frame(), "00");
  tui::set_focus(button);
  EXPECT_EQ(frame(), "10");
  EXPECT_EQ(frame(), "00");
}

TEST_F(screen_test, without_terminal_mode_activating_a_window_writes_nothing) {
  window(10, 2);
  tui::request_redraw();
  tui::render_frame();
  tui::leave_terminal_mode();
  EXPECT_EQ(terminal.writes, 0);
  EXPECT_FALSE(tui::console.cursor_hidden);
}

TEST_F(screen_test, shutdown_leaves_nothing_and_the_next_frame_writes_nothing) {
  const uint32_t before = tui::live_widgets();
  enter_terminal(80, 24);
  const tui::widget_id root = window(6, 2, flag::fullscreen);
  const tui::widget_id child = add(root, 0, 0, 3, 1, evaluated("make object! [text: {x}]"), flag::focusable);
  tui::set_focus(child);
  tui::screen.hover = child;
  tui::screen.capture = child;
  tui::screen.captures.push_back(child);
  tui::request_redraw();
  tui::render_frame();
  EXPECT_EQ(terminal.take().substr(0, 9), "\033[?25l\033[H");

  tui::shutdown();
  EXPECT_EQ(tui::window_count(), 0u);
  EXPECT_EQ(tui::screen.current, nullptr);
  EXPECT_EQ(tui::screen.focus, tui::no_widget);
  EXPECT_EQ(tui::screen.hover, tui::no_widget);
  EXPECT_EQ(tui::screen.capture, tui::no_widget);
  EXPECT_TRUE(tui::screen.captures.empty());
  EXPECT_EQ(tui::screen.width * tui::screen.height, 0);
  EXPECT_TRUE(tui::screen.cells.empty());
  EXPECT_FALSE(tui::screen.fullscreen);
  EXPECT_EQ(tui::live_widgets(), before);
  EXPECT_EQ(tui::widget_of(child), nullptr);

  tui::screen.redraw = true;
  tui::render_frame();
  tui::flush_screen();
  EXPECT_EQ(terminal.written, "");
}

}  // namespace
}  // namespace tav::testing
