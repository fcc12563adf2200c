// The terminal helpers' text builders on real widgets: the focus and the first visible entry of a
// text list; and the backend's start-up, which takes its colour mode from the helpers' probe.
#include <cstdlib>
#include <string>

#include "datatypes/block.hpp"
#include "datatypes/handle.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/library_calls.hpp"
#include "view/backends/terminal/backend_start.hpp"
#include "view/backends/terminal/face_access.hpp"
#include "view/backends/terminal/widget.hpp"
#include "view/screen_fixture.hpp"
#include "view/widget_fixture.hpp"

namespace tav::testing {
namespace {

class terminal_helpers : public screen_test {
 protected:
  // The helpers as start-up defines them, in place of the routines-only object of the phases.
  void SetUp() override {
    screen_test::SetUp();
    evaluated("saved-helpers: get/any 'TUI-helpers  none");
    const cell source = boot::source_block("view/backends/terminal/helpers");
    cell* base = stack::top;
    interpreter::do_block(source, false);
    stack::top = base;
    interpreter::library::fill();
  }
  void TearDown() override {
    evaluated("set/any 'TUI-helpers get/any 'saved-helpers  none");
    interpreter::library::fill();
    screen_test::TearDown();
  }

  static cell face(const std::string& type, const std::string& extra) {
    return evaluated(face_source(type, "10x3", extra));
  }

  static tui::widget_id show(const cell& made, tui::widget_id parent) { return show_widget(made, parent); }

  static tui::widget_id open_window() {
    const tui::widget_id id = show(face("window", "size: 20x10"), tui::no_widget);
    tui::activate_window(tui::widget_of(id)->window);
    return id;
  }

  static std::u32string text_of(const cell& made) {
    return tui::string_text(tui::facet_value(made, tui::names().text));
  }
  static std::string selected_of(const cell& made) { return molded(tui::facet_value(made, tui::names().selected)); }
};

TEST_F(terminal_helpers, a_text_list_highlights_its_selection_only_with_the_focus) {
  const tui::widget_id root = open_window();
  const cell list = face("text-list", "data: [\"a\" \"b\" \"c\" \"d\" \"e\"]");
  const tui::widget_id id = show(list, root);
  EXPECT_EQ(text_of(list), U"a\nb\nc\nd\ne\n");
  EXPECT_EQ(selected_of(list), "none");

  tui::set_focus(id);
  tui::build_ui(id);
  EXPECT_EQ(selected_of(list), "1");
  EXPECT_EQ(text_of(list), U"\x1b[7ma\n\x1b[27mb\nc\nd\ne\n");

  // Past the last entry: the last one, written back.
  tui::set_facet(list, tui::names().selected, scalar::integer(9));
  tui::build_ui(id);
  EXPECT_EQ(selected_of(list), "5");
  EXPECT_EQ(text_of(list), U"a\nb\nc\nd\n\x1b[7me\n\x1b[27m");

  // Scrolled by two: the lines start at the third entry.
  tui::widget_of(id)->data = 2;
  tui::build_ui(id);
  EXPECT_EQ(text_of(list), U"c\nd\n\x1b[7me\n\x1b[27m");

  // The focus gone, no line is highlighted and the selection stays.
  tui::set_focus(root);
  tui::build_ui(id);
  EXPECT_EQ(text_of(list), U"c\nd\ne\n");
  EXPECT_EQ(selected_of(list), "5");
}

TEST_F(terminal_helpers, the_widgets_of_progress_bars_and_checks_show_the_helpers_texts) {
  const tui::widget_id root = open_window();
  const cell bar = face("progress", "size: 7x1 data: 0.5");
  show(bar, root);
  EXPECT_EQ(text_of(bar), U"[###  ]");
  const cell check = face("check", "text: \"On\" data: true");
  EXPECT_EQ(molded(tui::widget_of(show(check, root))->ui), "\"🞕 On\"");
  const cell radio = face("radio", "text: \"x\"");
  EXPECT_EQ(molded(tui::widget_of(show(radio, root))->ui), "\"○ x\"");
}

TEST_F(terminal_helpers, the_backend_start_takes_the_probed_colour_mode_and_sets_the_platform_version) {
  const char* saved = std::getenv("COLORTERM");
  const std::string kept = saved ? saved : "";
  const cell platform = evaluated("make object! [version: build: product: none]");
  const struct {
    const char* colorterm;
    int mode;
  } cases[] = {{"256", 2}, {"truecolor", 4}, {"24bit", 4}};
  for (const auto& c : cases) {
    setenv("COLORTERM", c.colorterm, 1);
    tui::screen.color_mode = 0;
    tui::start_backend(platform, result_of("TUI-helpers/check-color-support") == "2" ? 2 : 4);
    EXPECT_EQ(tui::screen.color_mode, c.mode) << c.colorterm;
  }
  saved ? setenv("COLORTERM", kept.c_str(), 1) : unsetenv("COLORTERM");
  EXPECT_EQ(molded(platform), "make object! [\n    version: 10.10.10\n    build: 1000\n    product: 0\n]");
}

}  // namespace
}  // namespace tav::testing
