// Cell counting and the renderer: the cells texts take, and what a terminal shows after the
// renderer's bytes, read back from a model of the screen.
#include <gtest/gtest.h>

#include <string>

#include "console/cells.hpp"
#include "console/renderer.hpp"
#include "console/terminal.hpp"
#include "console/vt_screen.hpp"
#include "runtime/console_out.hpp"

namespace tav::testing {
namespace {

TEST(cells, texts_count_their_cells_from_the_cells_left_on_the_row) {
  const struct {
    std::u32string text;
    int left;
    int expected;
  } cases[] = {
      {U"\x1b[31m>> \x1b[0m", 80, 3},
      {U"e\u0301", 80, 1},
      {U"\t", 80, 4},
      {U"\u4E00", 1, 3},  // the last cell stays empty, the character takes two of the next row
      {U"\u4E00", 2, 2},
      {U"\U0001F300", 80, 2},
      {U"\U0001F600", 80, 2},
      {U"abc", 0, 3},
      {U"\x1b(B", 80, 0},
      {U"", 5, 0},
      {U"a\u4E00\u4E00", 4, 6},  // 1, 2, then 3 for the one that wraps
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(terminal::count_cells(c.text, c.left, {10}, &out), c.expected);
  }
}

TEST(cells, escape_sequences_are_copied_tabs_become_spaces_and_hidden_text_stars) {
  std::string out;
  terminal::count_cells(U"\x1b[1;32mok\tz", 80, {80}, &out);
  EXPECT_EQ(out, "\x1b[1;32mok    z");
  out.clear();
  EXPECT_EQ(terminal::count_cells(U"pa\u4E00\t", 80, {80, true}, &out), 4);
  EXPECT_EQ(out, "****");
}

struct drawn {
  vt_screen screen;
  terminal::renderer r;

  drawn(int columns, int rows, int start_column) : screen(columns, rows) {
    screen.x = start_column;
    r.start(columns, start_column);
  }
  void redraw(std::u32string_view prompt, std::u32string_view line, size_t caret, bool full = true) {
    screen.feed(r.redraw(prompt, line, caret, full));
  }
};

TEST(renderer, a_line_exactly_filling_the_row_leaves_the_cursor_at_column_0_below) {
  drawn d(10, 5, 0);
  d.redraw(U">> ", U"abcdefg", 7);
  EXPECT_EQ(d.screen.row(0), ">> abcdefg");
  EXPECT_EQ(d.screen.x, 0);
  EXPECT_EQ(d.screen.y, 1);
  // Typing on goes on that row, and moving left goes back up.
  d.redraw(U">> ", U"abcdefgh", 8);
  EXPECT_EQ(d.screen.row(1), "h         ");
  d.redraw(U">> ", U"abcdefgh", 6, false);
  EXPECT_EQ(d.screen.x, 9);
  EXPECT_EQ(d.screen.y, 0);
}

TEST(renderer, the_line_feed_at_the_last_row_scrolls_and_the_text_stays_whole) {
  drawn d(10, 2, 0);
  d.screen.feed("\r\n");
  d.redraw(U">> ", U"abcdefg", 7);
  EXPECT_EQ(d.screen.row(0), ">> abcdefg");
  EXPECT_EQ(d.screen.y, 1);
  d.redraw(U">> ", U"abcdefg", 0, false);
  EXPECT_EQ(d.screen.x, 3);
  EXPECT_EQ(d.screen.y, 0);
}

TEST(renderer, a_wide_character_with_one_cell_left_is_drawn_at_the_next_row_start) {
  drawn d(10, 5, 0);
  d.redraw(U">> ", U"abcdef\u4E00x", 7);
  EXPECT_EQ(d.screen.row(0), ">> abcdef ");
  EXPECT_EQ(d.screen.row(1), "\u4E00x       ");
  EXPECT_EQ(d.screen.x, 2);
  EXPECT_EQ(d.screen.y, 1);
  // The caret before it stands at the next row's start too.
  d.redraw(U">> ", U"abcdef\u4E00x", 6, false);
  EXPECT_EQ(d.screen.x, 0);
  EXPECT_EQ(d.screen.y, 1);
}

TEST(renderer, a_tab_shows_as_four_spaces_and_moves_the_caret_four_cells) {
  drawn d(20, 3, 0);
  d.redraw(U"> ", U"a\tb", 2);
  EXPECT_EQ(d.screen.row(0), "> a    b            ");
  EXPECT_EQ(d.screen.x, 7);
}

TEST(renderer, a_prompt_started_at_column_3_wraps_3_cells_earlier) {
  drawn d(10, 5, 3);
  d.screen.x = 0;
  d.screen.feed("abc");
  d.redraw(U">> ", U"1234567", 7);
  EXPECT_EQ(d.screen.row(0), "abc>> 1234");
  EXPECT_EQ(d.screen.row(1), "567       ");
  EXPECT_EQ(d.screen.x, 3);
  EXPECT_EQ(d.screen.y, 1);
}

TEST(renderer, a_redraw_after_a_shorter_edit_blanks_what_the_longer_text_left) {
  drawn d(8, 5, 0);
  d.redraw(U"> ", U"abcdefghij", 10);
  EXPECT_EQ(d.screen.row(1), "ghij    ");
  d.redraw(U"> ", U"abc", 1);
  EXPECT_EQ(d.screen.row(0), "> abc   ");
  EXPECT_EQ(d.screen.row(1), "        ");
  EXPECT_EQ(d.screen.x, 3);
  EXPECT_EQ(d.screen.y, 0);
  // Enter takes the cursor to column 0 of the text's last row.
  d.screen.feed(d.r.redraw(U"> ", U"abcdefghij", 3, true));
  d.screen.feed(d.r.to_last_row());
  EXPECT_EQ(d.screen.x, 0);
  EXPECT_EQ(d.screen.y, 1);
}

// Typing at the end writes one character each time; the screen and the cursor end as a full
// redraw leaves them, through row ends, a wide character at the edge and a scroll.
TEST(renderer, characters_appended_one_by_one_show_as_a_full_redraw_does) {
  const std::u32string typed = U"abcdefg\u4E00hijklmn\u4E00\u4E00op";
  for (int start : {0, 3}) {
    drawn by_key(10, 3, start), whole(10, 3, start);
    by_key.redraw(U">> ", U"", 0);
    for (size_t n = 1; n <= typed.size(); ++n) {
      const std::string bytes = by_key.r.append(typed.substr(0, n));
      // Within a row only the character itself is written, with no cursor movement.
      if (n == 2) {
        EXPECT_EQ(bytes, "b");
      }
      by_key.screen.feed(bytes);
      whole.redraw(U">> ", typed.substr(0, n), n);
      for (int row = 0; row < 3; ++row) EXPECT_EQ(by_key.screen.row(row), whole.screen.row(row)) << n << " " << row;
      EXPECT_EQ(by_key.screen.x, whole.screen.x) << n;
      EXPECT_EQ(by_key.screen.y, whole.screen.y) << n;
    }
  }
}

TEST(renderer, removing_the_last_character_blanks_the_rows_the_text_leaves) {
  drawn d(8, 5, 0);
  d.redraw(U"> ", U"abcdefg", 7);
  EXPECT_EQ(d.screen.row(1), "g       ");
  // The caret goes back to the end of the first row, which is full: row 1 must go blank.
  d.screen.feed(d.r.erased_end(U"> ", U"abcdef"));
  EXPECT_EQ(d.screen.row(0), "> abcdef");
  EXPECT_EQ(d.screen.row(1), "        ");
  EXPECT_EQ(d.screen.x, 0);
  EXPECT_EQ(d.screen.y, 1);
  d.screen.feed(d.r.erased_end(U"> ", U"abcde"));
  EXPECT_EQ(d.screen.row(0), "> abcde ");
  EXPECT_EQ(d.screen.x, 7);
  EXPECT_EQ(d.screen.y, 0);
}

// Terminals that keep a scroll-back move the whole screen into it on an erase to the end of the
// screen from its first cell: a one-row text redrawn there erases its own row only.
TEST(renderer, a_one_row_redraw_erases_no_more_than_its_row) {
  terminal::renderer r;
  r.start(20, 0);
  r.redraw(U">> ", U"abc", 3, true);
  const std::string bytes = r.redraw(U">> ", U"aXbc", 2, true);
  EXPECT_EQ(bytes.find("\x1b[J"), std::string::npos);
  EXPECT_NE(bytes.find("\x1b[K"), std::string::npos);
  EXPECT_EQ(r.erased_end(U">> ", U"aXb").find("\x1b[J"), std::string::npos);
}

// A terminal that wraps its text again when it narrows keeps the cursor on its character; the
// renderer counts the rows again and goes on from there.
TEST(renderer, after_the_window_narrows_redraws_stand_on_the_rewrapped_rows) {
  drawn d(20, 5, 0);
  d.redraw(U">> ", U"abcdefghijklmno", 15);
  vt_screen narrowed(10, 5);
  narrowed.feed(">> abcdefghijklmno");
  ASSERT_EQ(narrowed.x, 8);
  ASSERT_EQ(narrowed.y, 1);
  d.r.reflow(10, U">> ", U"abcdefghijklmno", 15);
  narrowed.feed(d.r.append(U"abcdefghijklmnop"));
  narrowed.feed(d.r.redraw(U">> ", U"abcdefghijklmnop", 0, true));
  EXPECT_EQ(narrowed.row(0), ">> abcdefg");
  EXPECT_EQ(narrowed.row(1), "hijklmnop ");
  EXPECT_EQ(narrowed.row(2), "          ");
  EXPECT_EQ(narrowed.x, 3);
  EXPECT_EQ(narrowed.y, 0);
}

TEST(renderer, the_colour_of_a_prompt_takes_no_cells) {
  drawn d(20, 3, 0);
  d.redraw(U"\x1b[31m>> \x1b[0m", U"", 0);
  EXPECT_EQ(d.screen.x, 3);
  EXPECT_EQ(d.r.caret(), 3);
}

TEST(output_column, the_output_layer_counts_cells_since_its_last_line_feed) {
  console_out::set_width_function(terminal::cell_width);
  print_c_string("\n");
  EXPECT_EQ(console_out::column(), 0u);
  print_c_string("abc");
  EXPECT_EQ(console_out::column(), 3u);
  print_c_string("\x1b[31m\xe4\xb8\x80\x1b[0m\xcc\x81");
  EXPECT_EQ(console_out::column(), 5u);
  print_c_string("\x1b]0;title\x07z\r");
  EXPECT_EQ(console_out::column(), 0u);
  // After `prin "abc"` an edit's prompt starts at column 3.
  print_c_string("abc");
  terminal::renderer& r = terminal::start_edit();
  r.redraw(U">> ", U"x", 1, true);
  EXPECT_EQ(r.caret(), 7);
  print_c_string("\n");
}

}  // namespace
}  // namespace tav::testing
