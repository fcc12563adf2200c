// Event routing on real widgets: bytes go into the input buffer, and a recording
// `system/view/awake` logs "type text-of-face" for every event it is given and answers what
// `routing-react` answers. Faces carry their name in a `name` field.
#include <string>

#include "datatypes/block.hpp"
#include "datatypes/handle.hpp"
#include "interpreter/library_calls.hpp"
#include "view/backends/terminal/face_access.hpp"
#include "view/backends/terminal/routing.hpp"
#include "view/backends/terminal/widget.hpp"
#include "view/screen_fixture.hpp"
#include "view/widget_fixture.hpp"

namespace tav::testing {
namespace {

namespace flag = tui::widget_flag;

class routing_test : public screen_test {
 protected:
  static void SetUpTestSuite() {
    screen_test::SetUpTestSuite();
    evaluated(
        "set/any 'saved-view get/any in system 'view  destroy-view: :saved-view/platform/destroy-view "
        "routing-log: copy []  routing-react: func [e] [none] "
        "system/view: make object! [awake: func [event [event!] /with face] ["
        "  append routing-log rejoin [event/type { } event/face/name]  routing-react event]]");
    interpreter::library::fill();
  }
  static void TearDownTestSuite() {
    evaluated("set/any in system 'view get/any 'saved-view  none");
    interpreter::library::fill();
  }
  void SetUp() override {
    screen_test::SetUp();
    tui::reset_routing();
    tui::input_buffer() = tui::input_decoder{};
    react("none");
    evaluated("clear routing-log");
  }
  void TearDown() override {
    tui::input_buffer().reset();
    screen_test::TearDown();
  }

  // The body of `routing-react`, which sees the event as `e`.
  static void react(const std::string& body) { evaluated("routing-react: func [e] [" + body + "]"); }
  static std::string log() { return result_of("also routing-log routing-log: copy []"); }

  // A face kept in the global word `name`.
  static cell face(const std::string& name, const std::string& type, const std::string& extra) {
    return evaluated(name + ": " + face_source(type, "10x1", "name: {" + name + "} " + extra));
  }

  static tui::widget_id show(const cell& made, tui::widget_id parent) { return show_widget(made, parent); }

  static tui::widget_id open_window() {
    const tui::widget_id id = show(face("W", "window", "size: 20x5"), tui::no_widget);
    tui::activate_window(tui::widget_of(id)->window);
    return id;
  }

  static void feed(std::string_view bytes) {
    tui::input_buffer().append(bytes);
    tui::process_input();
  }

  // A press or release of the left button at a 1-based column and row.
  static void mouse(int column, int row, bool release, int button = 0) {
    feed("\x1b[<" + std::to_string(button) + ";" + std::to_string(column) + ";" + std::to_string(row) +
         (release ? "m" : "M"));
  }
};

TEST_F(routing_test, a_key_goes_out_as_key_down_then_key_then_to_the_widgets_handler) {
  const tui::widget_id root = open_window();
  const cell field = face("F", "field", "text: copy {}");
  const tui::widget_id id = show(field, root);
  tui::set_focus(id);
  log();

  feed("x");
  EXPECT_EQ(log(), "[\"key-down F\" \"key F\"]");
  react("if e/type = 'key-down ['done]");
  feed("y");
  EXPECT_EQ(log(), "[\"key-down F\"]");
  react("if e/type = 'key ['done]");
  feed("y");
  EXPECT_EQ(log(), "[\"key-down F\" \"key F\"]");
  // Only `done` stops a key: `stop` lets it go on to the handler.
  react("'stop");
  feed("z");
  EXPECT_EQ(log(), "[\"key-down F\" \"key F\"]");
  EXPECT_EQ(molded(tui::facet_value(field, tui::names().text)), "\"xz\"");

  // Back-tab, F5, Enter and Backspace as the key and flags the GUI layer reads.
  react("if e/type = 'key [append/only routing-log reduce [e/key copy e/flags]]  none");
  feed("\x1b[Z\x1b[15~\n\x08");
  EXPECT_EQ(log(),
            "[\"key-down F\" \"key F\" [#\"^-\" [shift]] \"key-down F\" \"key F\" [F5 []] "
            "\"key-down F\" \"key F\" [#\"^M\" []] \"key-down F\" \"key F\" [#\"^~\" []]]");
  EXPECT_TRUE(tui::widget_of(id)->flags & flag::focused);
  EXPECT_EQ(molded(tui::facet_value(field, tui::names().text)), "\"x\"");  // the backspace

  // A disabled widget gets nothing; without a focus the key is dropped.
  tui::widget_of(id)->flags |= flag::disabled;
  feed("q");
  tui::screen.focus = tui::no_widget;
  feed("q");
  EXPECT_EQ(log(), "[]");
  EXPECT_EQ(molded(tui::facet_value(field, tui::names().text)), "\"x\"");
}

TEST_F(routing_test, an_actor_that_destroys_the_target_ends_its_delivery) {
  const tui::widget_id root = open_window();
  const tui::widget_id button = show(face("B", "button", ""), root);
  tui::set_focus(button);
  log();
  // Space makes the button's handler send `click`; closing the window first leaves no handler.
  react("if e/type = 'key-down [destroy-view W false]  none");
  feed(" ");
  EXPECT_EQ(log(), "[\"key-down B\"]");
  EXPECT_EQ(tui::widget_of(root), nullptr);
  EXPECT_EQ(tui::widget_of(button), nullptr);
  EXPECT_EQ(tui::depth(), 0u);

  // A face that removes itself while its `key` runs.
  const tui::widget_id again = open_window();
  const tui::widget_id other = show(face("C", "button", ""), again);
  tui::set_focus(other);
  log();
  react("if e/type = 'key [destroy-view C false]  none");
  feed(" ");
  EXPECT_EQ(log(), "[\"key-down C\" \"key C\"]");
  EXPECT_EQ(tui::widget_of(other), nullptr);
}

TEST_F(routing_test, keys_and_moves_after_the_focused_and_hovered_widget_is_gone) {
  const tui::widget_id root = open_window();
  const cell field = face("F", "field", "offset: 2x1 size: 6x1");
  const tui::widget_id id = show(field, root);
  tui::set_focus(id);
  feed("\x1b[<35;4;2M");  // a move onto the field
  EXPECT_EQ(tui::screen.hover, id);
  log();
  tui::destroy_widget(field);
  feed("k\x1b[<35;5;2M");
  EXPECT_EQ(log(), "[\"key-down W\" \"key W\" \"over W\"]");
  EXPECT_EQ(tui::screen.hover, root);
}

TEST_F(routing_test, a_mouse_report_split_over_two_reads_is_one_down_relative_to_the_window) {
  open_window();
  react("if e/type = 'down [append routing-log e/offset]  none");
  feed("\x1b[<0;1");
  EXPECT_EQ(log(), "[]");
  feed("0;5M");
  EXPECT_EQ(log(), "[\"down W\" 9x4]");
  // With the interface two rows down the console, the same report is two rows higher.
  tui::screen.inline_top = 2;
  mouse(10, 5, true);
  mouse(10, 5, false);
  EXPECT_EQ(log(), "[\"up W\" \"click W\" \"down W\" 9x2]");
  mouse(10, 5, true);
  log();

  // The other buttons and the modifier bits of the button byte.
  react("append/only routing-log copy e/flags  none");
  mouse(1, 3, false, 2 + 4 + 16);  // right with shift and control
  mouse(1, 3, true, 2 + 8);        // its release with alt
  mouse(1, 3, false, 1);
  EXPECT_EQ(log(), "[\"alt-down W\" [control shift] \"alt-up W\" [alt] \"mid-down W\" []]");
}

TEST_F(routing_test, a_cursor_report_moves_the_interface_only_when_one_was_asked_for) {
  open_window();
  tui::screen.inline_top = 7;
  feed("\x1b[1;2R");
  EXPECT_EQ(tui::screen.inline_top, 7);
  enter_terminal();
  tui::enter_terminal_mode(false);  // inline: asks where the cursor is
  EXPECT_EQ(terminal.take(), "\x1b[6n");
  EXPECT_EQ(tui::input_buffer().reports_expected(), 1u);
  feed("\x1b[1;2R");
  EXPECT_EQ(tui::screen.inline_top, 0);
  EXPECT_EQ(tui::screen.inline_left, 1);
  EXPECT_EQ(tui::input_buffer().reports_expected(), 0u);
  EXPECT_EQ(log(), "[]");
}

TEST_F(routing_test, the_wheel_goes_from_the_deepest_widget_outwards_until_one_answers_done) {
  const tui::widget_id root = open_window();
  const tui::widget_id panel = show(face("P", "panel", "offset: 2x1 size: 10x4"), root);
  show(face("L", "text-list", "offset: 1x1 size: 5x2 data: [{a} {b}]"), panel);
  log();
  react("if e/type = 'wheel [append routing-log e/picked]  none");
  feed("\x1b[<65;5;4M");
  EXPECT_EQ(log(), "[\"wheel L\" -1.0 \"wheel P\" -1.0 \"wheel W\" -1.0]");
  react("if all [e/type = 'wheel e/face = L] ['done]");
  feed("\x1b[<64;5;4M");
  EXPECT_EQ(log(), "[\"wheel L\"]");
}

TEST_F(routing_test, clicks_become_double_clicks_within_500_ms_of_the_loop_counter) {
  const tui::widget_id root = open_window();
  show(face("B", "button", "offset: 2x1 size: 6x1"), root);
  log();
  react("if e/face = W [remove back tail routing-log]  none");
  auto click = [] {
    mouse(4, 2, false);
    for (int pass = 0; pass < 5; ++pass) tui::advance_click_counter();
    mouse(4, 2, true);
    for (int pass = 0; pass < 5; ++pass) tui::advance_click_counter();
  };
  click();
  EXPECT_EQ(log(), "[\"down B\" \"up B\" \"click B\"]");
  click();
  EXPECT_EQ(log(), "[\"down B\" \"up B\" \"click B\" \"dbl-click B\"]");
  click();
  EXPECT_EQ(log(), "[\"down B\" \"up B\" \"click B\"]");
  // 528 ms after a release is too late for a double click.
  for (int pass = 0; pass < 16; ++pass) tui::advance_click_counter();
  click();
  EXPECT_EQ(log(), "[\"down B\" \"up B\" \"click B\"]");

  // A release outside the pressed button sends it no `click`.
  for (int pass = 0; pass < 30; ++pass) tui::advance_click_counter();
  mouse(4, 2, false);
  mouse(15, 4, true);
  EXPECT_EQ(log(), "[\"down B\"]");
}

TEST_F(routing_test, a_held_button_moves_with_the_down_flag_and_the_captured_widget_follows) {
  const tui::widget_id root = open_window();
  const tui::widget_id button = show(face("B", "button", "offset: 2x1 size: 6x1 flags: [all-over]"), root);
  ASSERT_TRUE(tui::widget_of(button)->flags & flag::all_over);
  feed("\x1b[<35;4;2M");  // hover the button
  log();
  react("if e/type = 'over [append routing-log reduce [e/offset e/down? e/away?]]  none");
  mouse(4, 2, false);
  feed("\x1b[<32;15;4M");  // drag out of it to the window
  EXPECT_EQ(log(),
            "[\"down B\" \"down W\" \"over B\" 1x0 true true \"over B\" 12x2 true false]");
  EXPECT_TRUE(tui::widget_of(button)->flags & flag::captured);
  mouse(15, 4, true);
  EXPECT_EQ(log(), "[\"up W\" \"click W\" \"up B\"]");
}

TEST_F(routing_test, errors_and_throws_of_actors_end_at_the_dispatch) {
  const tui::widget_id root = open_window();
  const cell field = face("F", "field", "text: copy {}");
  tui::set_focus(show(field, root));
  log();
  cell* const top = stack::top;
  for (const char* body : {"if e/type = 'key-down [1 / 0]", "if e/type = 'key-down [throw 'away]",
                           "if e/type = 'key-down [throw/name 1 'console]", "if e/type = 'key-down [break]"}) {
    react(body);
    feed("a");
    EXPECT_EQ(log(), "[\"key-down F\" \"key F\"]") << body;
    EXPECT_EQ(stack::pending.code, 0u) << body;
    EXPECT_EQ(stack::top, top) << body;
  }
  EXPECT_EQ(molded(tui::facet_value(field, tui::names().text)), "\"aaaa\"");
}

TEST_F(routing_test, the_gui_layers_awake_prints_an_actors_error_and_takes_the_next_event) {
  evaluated("recording-view: system/view  system/view: saved-view");
  interpreter::library::fill();
  const tui::widget_id root = open_window();
  const cell field = face("F", "field",
                          "text: copy {} actors: make object! ["
                          "on-key-down: func [face event] [if event/key = #\"x\" [1 / 0]] "
                          "on-key: func [face event] [if event/key = #\"d\" ['done]]]");
  tui::set_focus(show(field, root));
  ::testing::internal::CaptureStdout();
  feed("xdy");
  const std::string printed = ::testing::internal::GetCapturedStdout();
  evaluated("system/view: recording-view");
  interpreter::library::fill();
  EXPECT_NE(printed.find("zero"), std::string::npos) << printed;
  // The key whose key-down failed still reached the field; `done` from on-key kept "d" away.
  EXPECT_EQ(molded(tui::facet_value(field, tui::names().text)), "\"xy\"");
}

}  // namespace
}  // namespace tav::testing
