// The line editor's model driven by key scripts: the key table, history browsing, what enters
// the history, hidden input and the saved line, with what each key asks of the screen.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "console/edit_model.hpp"
#include "console/keys.hpp"
#include "datatypes/block.hpp"
#include "datatypes/string.hpp"
#include "runtime/collector.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode.hpp"

namespace tav::testing {
namespace {

using terminal::edit_step;
constexpr int32_t ctrl_a = 1, ctrl_b = 2, ctrl_c = 3, ctrl_d = 4, ctrl_e = 5, ctrl_f = 6, ctrl_k = 11,
                  ctrl_n = 14, ctrl_p = 16, tab = 9, del = 127;
constexpr int32_t left = terminal::key_left, right = terminal::key_right, up = terminal::key_up,
                  down = terminal::key_down, home = terminal::key_home, end = terminal::key_end,
                  enter = terminal::key_enter, bs = terminal::key_backspace, esc = terminal::key_escape;

terminal::edit_cells& rooted_cells() {
  static terminal::edit_cells cells{};
  static const bool rooted = (collector::add_root_range(&cells.line, 3), true);
  (void)rooted;
  return cells;
}

void fill(cell& string, std::u32string_view text) {
  string::ts_make_at(string, 1);
  for (char32_t c : text) string::append_char(buffer_of(string.payload2), c);
}

std::u32string text_of(const cell& string) {
  std::u32string out;
  series_buffer* b = buffer_of(string.payload2);
  for (uint32_t i = string.payload1; i < b->count(); ++i) out += static_cast<char32_t>(unicode::get_unit(b->head(), i, b->unit()));
  return out;
}

// An edit of `line` (the caret at its end) with the history's entries, newest first.
struct editing {
  terminal::edit_cells& cells = rooted_cells();
  terminal::edit_model model{cells};
  cell returned{};  // the caller's string, which ask returns

  editing(std::u32string_view line, std::initializer_list<std::u32string_view> history, bool hidden = false,
          std::u32string_view saved = U"", uint32_t saved_caret = 0) {
    block::make_at(cells.history, 4);
    for (std::u32string_view entry : history) {
      cell string;
      fill(string, entry);
      block::append_cell(cells.history, string);
    }
    fill(cells.saved, saved);
    cells.saved.payload1 = saved_caret;
    fill(cells.line, U"");
    returned = cells.line;
    model.setup(cells.line, cells.history);
    model.begin(hidden);
    for (char32_t c : line) model.key(static_cast<int32_t>(c));
  }

  std::vector<edit_step> press(std::initializer_list<int32_t> keys) {
    std::vector<edit_step> steps;
    for (int32_t key : keys) steps.push_back(model.key(key));
    return steps;
  }

  std::vector<std::u32string> history() const {
    std::vector<std::u32string> out;
    series_buffer* b = buffer_of(cells.history.payload2);
    for (uint32_t i = 0; i < b->count(); ++i) out.push_back(text_of(b->cells()[i]));
    return out;
  }
};

TEST(edit_model, keys_edit_the_line_and_move_the_caret) {
  const struct {
    std::u32string line;
    std::vector<int32_t> keys;
    std::u32string expected;
    uint32_t caret;
    edit_step last;
  } cases[] = {
      {U"abc", {left, left, 'X'}, U"aXbc", 2, edit_step::redraw},
      {U"hello world", {ctrl_a, right, right, right, right, right, ctrl_k}, U"hello", 5, edit_step::redraw},
      {U"hello", {home, ctrl_f, ctrl_b, ctrl_e, right}, U"hello", 5, edit_step::nothing},
      {U"abc", {left, ctrl_d}, U"ab", 2, edit_step::redraw},  // Ctrl-D inside the line deletes
      {U"abc", {ctrl_d}, U"abc", 3, edit_step::nothing},      // at the end of a line it does nothing
      {U"abc", {home, terminal::key_delete}, U"bc", 0, edit_step::redraw},
      {U"abc", {terminal::key_delete}, U"abc", 3, edit_step::nothing},
      {U"abc", {left, bs}, U"ac", 1, edit_step::redraw},
      {U"abc", {bs}, U"ab", 2, edit_step::erased_end},
      {U"abc", {del}, U"ab", 2, edit_step::erased_end},
      {U"", {bs, left, ctrl_k}, U"", 0, edit_step::nothing},
      {U"ab", {home, 'x'}, U"xab", 1, edit_step::redraw},
      {U"ab", {0xE9}, U"ab\xe9", 3, edit_step::appended},
      {U"a", {U'\U0001F600', U'\u4E00'}, U"a\U0001F600\u4E00", 3, edit_step::appended},
      {U"a", {tab}, U"a\t", 2, edit_step::appended},  // no completion: TAB is a character
      {U"ab", {left, terminal::key_insert, terminal::key_page_up, terminal::key_page_down, 0, 7, 31}, U"ab", 1,
       edit_step::nothing},
      {U"abc", {left, left, end}, U"abc", 3, edit_step::redraw},
  };
  for (const auto& c : cases) {
    editing e(c.line, {});
    edit_step last = edit_step::nothing;
    for (int32_t key : c.keys) last = e.model.key(key);
    EXPECT_EQ(e.model.text(), c.expected) << "keys after " << c.keys.size();
    EXPECT_EQ(e.model.caret(), c.caret);
    EXPECT_EQ(last, c.last);
    // The caller's string holds the same text from its own head, whatever the caret.
    EXPECT_EQ(text_of(e.returned), c.expected);
  }
}

TEST(edit_model, ending_keys_give_the_line_the_console_acts_on) {
  const struct {
    std::u32string line;
    std::vector<int32_t> keys;
    std::u32string expected;
  } cases[] = {
      {U"", {ctrl_d}, U"q"},
      {U"abc", {ctrl_c}, U"q"},
      {U"ab", {left, esc}, U"ab\x1b"},           // Esc appends at the end, wherever the caret is
      {U"abc", {terminal::key_failed}, U"q"},    // the terminal went away
      {U"abc", {left, enter}, U"abc"},
  };
  for (const auto& c : cases) {
    editing e(c.line, {});
    edit_step last = edit_step::nothing;
    for (int32_t key : c.keys) last = e.model.key(key);
    EXPECT_EQ(last, edit_step::done);
    EXPECT_EQ(text_of(e.returned), c.expected);
  }
}

TEST(edit_model, up_moves_before_it_shows_and_down_after) {
  const struct {
    std::vector<int32_t> keys;
    std::vector<std::u32string> shown;
  } cases[] = {
      {{up, up, down, down, down}, {U"B", U"A", U"A", U"B", U""}},
      {{up, up, up, up}, {U"B", U"A", U"", U""}},
      {{down, up}, {U"", U"B"}},
      {{ctrl_p, ctrl_p, ctrl_n}, {U"B", U"A", U"A"}},
  };
  for (const auto& c : cases) {
    editing e(U"typed", {U"B", U"A"});
    for (size_t i = 0; i < c.keys.size(); ++i) {
      EXPECT_EQ(e.model.key(c.keys[i]), edit_step::redraw);
      EXPECT_EQ(e.model.text(), c.shown[i]) << "key " << i;
      EXPECT_EQ(e.model.caret(), c.shown[i].size());
    }
  }
  editing empty(U"", {});
  empty.press({up});
  EXPECT_EQ(empty.model.text(), U"");
}

TEST(edit_model, enter_stores_the_returned_string_itself_unless_it_repeats_the_newest_entry) {
  const struct {
    std::u32string line;
    bool hidden;
    std::vector<std::u32string> history;
  } cases[] = {
      {U"x", false, {U"x", U"y"}},       // equal to the newest entry: stored once
      {U"X", false, {U"X", U"x", U"y"}}, // another case is another line
      {U"y", false, {U"y", U"x", U"y"}}, // only the newest entry counts
      {U"", false, {U"x", U"y"}},
      {U"secret", true, {U"x", U"y"}},
  };
  for (const auto& c : cases) {
    editing e(c.line, {U"x", U"y"}, c.hidden);
    EXPECT_EQ(e.press({enter}).back(), edit_step::done);
    EXPECT_EQ(e.history(), c.history) << "line " << c.line.size();
  }
  editing e(U"new", {});
  e.press({left, enter});
  const cell entry = buffer_of(e.cells.history.payload2)->cells()[0];
  EXPECT_EQ(entry.payload2, e.returned.payload2);
  EXPECT_EQ(entry.payload1, 0u);
}

TEST(edit_model, a_browsed_entry_is_copied_so_editing_it_leaves_the_history_as_it_was) {
  editing e(U"", {U"B", U"A"});
  e.press({up, up, bs, 'Z', enter});
  EXPECT_EQ(text_of(e.returned), U"Z");
  EXPECT_EQ(e.history(), (std::vector<std::u32string>{U"Z", U"B", U"A"}));
}

TEST(edit_model, the_saved_line_starts_the_edit_and_enter_or_esc_empties_it) {
  for (int32_t ending : {enter, esc}) {
    editing e(U"", {}, false, U"abc", 1);
    EXPECT_EQ(e.model.text(), U"abc");
    EXPECT_EQ(e.model.caret(), 1u);
    e.press({'x', ending});
    EXPECT_EQ(text_of(e.returned).substr(0, 4), U"axbc");
    EXPECT_EQ(text_of(e.cells.saved), U"");
  }
  // Ctrl-C keeps it for the next edit.
  editing kept(U"", {}, false, U"abc", 3);
  kept.press({ctrl_c});
  cell saved = kept.cells.saved;
  saved.payload1 = 0;
  EXPECT_EQ(text_of(saved), U"abc");
}

TEST(edit_model, hidden_input_edits_as_any_other) {
  editing e(U"pw", {}, true);
  EXPECT_TRUE(e.model.hidden());
  EXPECT_EQ(e.press({left, 'x', end, '!'}), (std::vector<edit_step>{edit_step::cursor, edit_step::redraw,
                                                                     edit_step::redraw, edit_step::appended}));
  EXPECT_EQ(e.model.text(), U"pxw!");
}

TEST(edit_model, a_long_line_survives_collections_while_it_grows_and_widens) {
  editing e(U"", {});
  std::u32string expected;
  for (int i = 0; i < 600; ++i) {
    const char32_t c = i == 300 ? U'\U0001F600' : static_cast<char32_t>('a' + i % 26);
    e.model.key(static_cast<int32_t>(c));
    expected += c;
  }
  e.press({home, 'Z'});
  expected.insert(0, 1, U'Z');
  EXPECT_EQ(e.model.text(), expected);
  EXPECT_EQ(e.model.caret(), 1u);
}


// A completion's line replaces the edited one in the caller's string, the caret at the line's
// index (never past its end); a listing leaves the caret at its end.
TEST(edit_model, a_completed_line_replaces_the_text_and_places_the_caret) {
  struct row {
    std::u32string_view typed, completed;
    uint32_t index, caret;
  };
  for (const row& c : {row{U"zqb + 1", U"zqbb + 1", 4, 4}, row{U"append/o", U"append/only", 11, 11},
                       row{U"x", U"\u00e9t\u00e9", 1, 1}, row{U"ab", U"abc", 9, 3}}) {
    editing e(c.typed, {});
    cell completed;
    fill(completed, c.completed);
    completed.payload1 = c.index;
    e.model.replace(completed);
    EXPECT_EQ(text_of(e.returned), c.completed);
    EXPECT_EQ(e.model.caret(), c.caret) << std::string(c.typed.begin(), c.typed.end());
    EXPECT_EQ(e.press({'!'}).back(), c.caret == c.completed.size() ? edit_step::appended : edit_step::redraw);
  }
  editing e(U"zqa", {});
  e.model.show(U"zqa1 zqa2 ");
  EXPECT_EQ(e.model.text(), U"zqa1 zqa2 ");
  EXPECT_EQ(e.model.caret(), 10u);
}

}  // namespace
}  // namespace tav::testing
