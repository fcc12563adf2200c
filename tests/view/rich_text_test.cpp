// Rich-text faces on cells: the text's cells on the face colour, the style runs that colour them
// and set their attributes, cut to the text, and the errors of a style block.
#include <string>
#include <vector>

#include "datatypes/context.hpp"
#include "view/backends/terminal/rich_text.hpp"
#include "view/screen_fixture.hpp"

namespace tav::testing {
namespace {

namespace attr = tui::attr;
constexpr uint32_t indexed = tui::color_kind::indexed;

uint32_t index_colour(uint32_t index) { return tui::make_color(indexed, index); }

class rich_text_cells : public screen_test {
 protected:
  std::vector<tui::tui_cell> buffer;

  // Lays out a rich-text face made from the given facets and draws its cells on a blank grid one row
  // high; answers whether the face had styled cells.
  bool render(const std::string& face_facets) {
    const cell face = evaluated("make face! [type: 'rich-text " + face_facets + "]");
    const bool styled = tui::layout_rich_text(buffer, face);
    tui::screen.width = 8;
    tui::screen.height = 1;
    tui::screen.cells.assign(8, tui::tui_cell{' ', 0, 0, 0});
    tui::render_text(std::span<const tui::tui_cell>(buffer), 0, 0, tui::clip_rect{0, 0, 8, 1}, 0);
    return styled;
  }

  // The id of the error laying out the face raises, or "" when none.
  std::string error_of(const std::string& face_facets) {
    const cell face = evaluated("make face! [type: 'rich-text " + face_facets + "]");
    if (!stack::catch_error(words::try_, false, [&] { tui::layout_rich_text(buffer, face); })) return "";
    cell word = global_word("failed");
    context::set(word, last_fired.value);
    return result_of("reduce [failed/id mold/flat failed/arg1]");
  }
};

TEST_F(rich_text_cells, runs_colour_and_mark_the_cells_of_the_text_they_cover) {
  struct row {
    const char* face;
    uint32_t attributes[4];
    uint32_t bg[4];
    uint32_t fg[4];
  };
  const uint32_t red = index_colour(196), blue = index_colour(21), white = index_colour(231);
  const row rows[] = {
      {"text: \"abcd\" data: [3x2 bold]", {0, 0, attr::bold, attr::bold}, {}, {}},
      // A run past the text is cut at its end.
      {"text: \"abcd\" data: [3x9 bold]", {0, 0, attr::bold, attr::bold}, {}, {}},
      {"text: \"abcd\" data: [1x2 backdrop 255.0.0]", {}, {red, red, 0, 0}, {}},
      // The line colour and kind after underline are skipped, not taken as the text colour.
      {"text: \"abcd\" data: [1x4 underline 0.0.255 'dashed]",
       {attr::underline, attr::underline, attr::underline, attr::underline}, {}, {}},
      {"text: \"abcd\" color: 255.255.255 data: [2x1 backdrop 255.0.0]", {}, {white, red, white, white}, {}},
      {"text: \"abcd\" data: [2x2 0.0.255 strike 1x1 italic \"Mono\" 12 1.5 border 4x1 backdrop blue]",
       {attr::italic, attr::strike, attr::strike, 0},
       {0, 0, 0, blue},
       {0, blue, blue, 0}},
      {"text: \"abcd\" data: [1x3 bold 2x3 italic strike 0.0.255 'solid]",
       {attr::bold, attr::bold | attr::italic | attr::strike, attr::bold | attr::italic | attr::strike,
        attr::italic | attr::strike},
       {},
       {}},
      // Runs starting before the text touch only its cells; styles before any run touch none.
      {"text: \"abcd\" data: [0x2 bold -5x3 italic 3x-1 underline]", {attr::bold, 0, 0, 0}, {}, {}},
      {"text: \"abcd\" data: [bold 255.0.0 backdrop 0.0.255]", {}, {}, {}},
      // One cell a character, also beyond U+FFFF; the text counts from its position.
      {"text: \"a\U0001D400bc\" data: [2x2 bold]", {0, attr::bold, attr::bold, 0}, {}, {}},
      {"text: next \"xabcd\" data: [1x1 bold]", {attr::bold, 0, 0, 0}, {}, {}},
      // A transparent face colour leaves the default background.
      {"text: \"abcd\" color: 1.2.3.255 data: [1x1 bold]", {attr::bold, 0, 0, 0}, {}, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.face);
    ASSERT_TRUE(render(r.face));
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(at(x, 0).attr, r.attributes[x]) << "cell " << x;
      EXPECT_EQ(at(x, 0).bg, r.bg[x]) << "cell " << x;
      EXPECT_EQ(at(x, 0).fg, r.fg[x]) << "cell " << x;
    }
    EXPECT_EQ(at(4, 0).attr, 0u);
    EXPECT_EQ(at(4, 0).cp, U' ');
  }
}

TEST_F(rich_text_cells, the_cells_hold_the_characters_and_without_styles_there_are_none) {
  ASSERT_TRUE(render("text: \"a\U0001F600b\" data: []"));
  EXPECT_EQ(buffer.size(), 3u);
  EXPECT_EQ(buffer[1].cp, 0x1F600u);
  EXPECT_EQ(row_text(0), U"a\U0001F600b    ");

  for (const char* face : {"text: \"\" data: [1x1 bold]", "text: \"ab\"", "data: [1x1 bold]",
                           "text: tail \"ab\" data: [1x1 bold]", "text: %ab data: [1x1 bold]"}) {
    SCOPED_TRACE(face);
    EXPECT_FALSE(render(face));
    EXPECT_TRUE(buffer.empty());
  }
}

TEST_F(rich_text_cells, the_buffer_keeps_its_storage_for_a_shorter_text) {
  ASSERT_TRUE(render("text: \"abcdef\" data: []"));
  const tui::tui_cell* storage = buffer.data();
  ASSERT_TRUE(render("text: \"ab\" data: [1x9 bold]"));
  EXPECT_EQ(buffer.data(), storage);
  EXPECT_EQ(buffer.size(), 2u);
  EXPECT_EQ(at(1, 0).attr, attr::bold);
  EXPECT_EQ(at(2, 0).attr, 0u);
}

TEST_F(rich_text_cells, a_value_that_is_no_style_raises_draw_invalid_at_it) {
  struct row {
    const char* face;
    const char* error;
  };
  const row rows[] = {
      {"text: \"abcd\" data: [1x1 backdrop \"x\"]", "[draw-invalid {[\"x\"]}]"},
      {"text: \"abcd\" data: [1x1 bold backdrop]", "[draw-invalid \"[]\"]"},
      {"text: \"abcd\" data: [1x1 backdrop undefined-colour]", "[draw-invalid \"[undefined-colour]\"]"},
      {"text: \"abcd\" data: [1x1 bold blink 2x1 italic]", "[draw-invalid \"[blink 2x1 italic]\"]"},
      {"text: \"abcd\" data: [1x1 %file]", "[draw-invalid \"[%file]\"]"},
      {"text: \"abcd\" data: [1x1 'bold]", "[draw-invalid \"['bold]\"]"},
      {"text: \"abcd\" data: [1x1 [bold]]", "[draw-invalid \"[[bold]]\"]"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.face);
    EXPECT_EQ(error_of(r.face), r.error);
  }
}

TEST_F(rich_text_cells, with_silent_errors_the_walk_ends_quietly_at_the_bad_value) {
  evaluated("system/view/silent?: true");
  const bool styled = render("text: \"abcd\" data: [1x1 bold 2x1 foo 3x1 italic]");
  evaluated("system/view/silent?: false");
  ASSERT_TRUE(styled);
  EXPECT_EQ(at(0, 0).attr, attr::bold);
  EXPECT_EQ(at(1, 0).attr, 0u);
  EXPECT_EQ(at(2, 0).attr, 0u);
}

// Through the widget: the class lays the cells out when it is made and when its ui is rebuilt,
// and draws them wrapped at the face's width in place of the text.
class rich_text_widget : public rich_text_cells {
 protected:
  tui::widget_id made = tui::no_widget;

  void TearDown() override {
    tui::free_widget(made);
    rich_text_cells::TearDown();
  }

  // Makes the widget of the face `f` of Tav and draws it on a blank grid of w x h.
  void draw(int w, int h) {
    if (!made) made = tui::make_view(evaluated("f"), tui::no_widget);
    tui::screen.width = w;
    tui::screen.height = h;
    tui::screen.cells.assign(static_cast<size_t>(w * h), tui::tui_cell{' ', 0, 0, 0});
    tui::widget_of(made)->renderer(0, 0, made);
  }
};

TEST_F(rich_text_widget, draws_its_styled_cells_wrapped_at_its_width) {
  evaluated("f: make face! [type: 'rich-text size: 2x2 color: 255.255.255 text: \"abcd\" data: [3x2 bold 1x1 backdrop 255.0.0]]");
  draw(4, 3);
  EXPECT_EQ(row_text(0), U"ab  ");
  EXPECT_EQ(row_text(1), U"cd  ");
  EXPECT_EQ(at(0, 0).bg, index_colour(196));
  EXPECT_EQ(at(1, 0).bg, index_colour(231));
  EXPECT_EQ(at(0, 1).attr, attr::bold);
  EXPECT_EQ(at(1, 1).attr, attr::bold);
  EXPECT_EQ(at(0, 0).attr, 0u);
  EXPECT_EQ(at(2, 0).bg, 0u);  // outside the face
  EXPECT_EQ(at(0, 2).cp, U' ');

  // New styles reach the cells when the ui is rebuilt, as a change of `data` does.
  evaluated("f/data: [1x1 italic]");
  tui::build_ui(made);
  draw(4, 3);
  EXPECT_EQ(at(0, 0).attr, attr::italic);
  EXPECT_EQ(at(0, 0).bg, index_colour(231));
  EXPECT_EQ(at(0, 1).attr, 0u);
}

TEST_F(rich_text_widget, without_styles_it_shows_its_text_as_a_plain_face) {
  evaluated("f: make face! [type: 'rich-text size: 4x1 text: \"^(1B)[1mab\" data: none]");
  draw(4, 1);
  EXPECT_TRUE(tui::widget_of(made)->styled.empty());
  // Flags 0: the escape is a character like any other.
  EXPECT_EQ(at(0, 0).cp, 0x1Bu);
  EXPECT_EQ(at(0, 0).attr, 0u);
}

TEST_F(rich_text_widget, bad_styles_raise_draw_invalid_and_leave_no_widget) {
  evaluated("f: make face! [type: 'rich-text size: 4x1 text: \"abcd\" data: [1x1 backdrop \"x\"]]");
  const uint32_t before = tui::live_widgets();
  const cell face = evaluated("f");
  EXPECT_TRUE(stack::catch_error(words::try_, false, [&] { tui::make_view(face, tui::no_widget); }));
  EXPECT_EQ(last_fired.id, error_id::script_draw_invalid);
  EXPECT_EQ(tui::live_widgets(), before);
}

}  // namespace
}  // namespace tav::testing
