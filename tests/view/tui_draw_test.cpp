// The Draw dialect's walker: the pen, fill and font state a block leaves in its context, the
// protocol of its errors for a face's block and for a script's, and the face renderer running
// a face's `draw` block.
#include <string>
#include <string_view>

#include "datatypes/image.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/stdout_capture.hpp"
#include "view/backends/terminal/draw.hpp"
#include "view/backends/terminal/widget.hpp"
#include "view/screen_fixture.hpp"

namespace tav::testing {
namespace {

using tui::make_color;
namespace kind = tui::color_kind;

// 255.0.0, 0.0.255 and 0.255.0 in the 256-colour palette.
constexpr uint32_t red = make_color(kind::indexed, 196);
constexpr uint32_t blue = make_color(kind::indexed, 21);
constexpr uint32_t green = make_color(kind::indexed, 46);

constexpr std::string_view report_start = "*** Script Error: DRAW - invalid input at:";

class draw_test : public screen_test {
 protected:
  void SetUp() override {
    screen_test::SetUp();
    set_silent(false);
    evaluated("no-colour: make font! [] blue-font: make font! [color: 0.0.255]");
  }
  void TearDown() override {
    set_silent(false);
    screen_test::TearDown();
  }

  static void set_silent(bool on) { evaluated(on ? "system/view/silent?: true" : "system/view/silent?: false"); }

  // The context a block leaves, read as a script's block from a fresh start.
  static tui::draw_context run(std::string_view commands) {
    const cell block = loaded(commands);
    tui::draw_context context;
    tui::draw_begin(context);
    tui::draw_parse(context, block, false);
    tui::draw_end(context);
    return context;
  }

  // A shown window with one face made by `face`, each given its widget as showing does.
  tui::widget_id face_window(std::string_view face) {
    enter_terminal(20, 6);
    const tui::widget_id root = tui::make_view(evaluated("make face! [type: 'window size: 20x6]"), tui::no_widget);
    tui::activate_window(tui::widget_of(root)->window);
    tui::make_view(evaluated(face), root);
    tui::request_redraw(root);
    return root;
  }

  // Renders the frame; answers whether it ended with the system throw, and what was printed.
  static bool render_throws(std::string& printed) {
    bool thrown = false;
    printed = output_of([&] {
      try {
        tui::render_frame();
      } catch (const system_throw_signal&) {
        thrown = true;
      }
    });
    return thrown;
  }
};

TEST_F(draw_test, pen_fill_and_font_state_after_a_block) {
  struct row {
    const char* commands;
    uint32_t pen_on, pen_color, fill_on, fill_color, text_color, font_color_set;
  };
  const row rows[] = {
      {"pen 255.0.0", 1, red, 0, 0, red, 0},
      {"pen off", 0, 0, 0, 0, 0, 0},
      {"pen off pen 0.0.255", 1, blue, 0, 0, blue, 0},
      {"pen 255.0.0.255", 1, 0, 0, 0, 0, 0},  // fully transparent is the default colour
      {"fill-pen 0.0.255", 1, 0, 1, blue, 0, 0},
      {"fill-pen 0.0.255 fill-pen off", 1, 0, 0, blue, 0, 0},
      // A font without a colour keeps the pen's colour for text, and later pens set it.
      {"pen 255.0.0 font no-colour", 1, red, 0, 0, red, 0},
      {"font no-colour pen 0.255.0", 1, green, 0, 0, green, 0},
      // A font colour holds the text colour against later pens, until a font without one.
      {"font blue-font pen 255.0.0", 1, red, 0, 0, blue, 1},
      {"pen 0.255.0 font blue-font pen 255.0.0", 1, red, 0, 0, blue, 1},
      {"font blue-font pen 255.0.0 font no-colour", 1, red, 0, 0, blue, 0},
      {"font blue-font font no-colour pen 0.255.0", 1, green, 0, 0, green, 0},
      // Nested blocks share the state; push saves nothing.
      {"push [pen 255.0.0 fill-pen 0.0.255]", 1, red, 1, blue, red, 0},
      {"rotate 30 [[pen off]] translate 1x1 [fill-pen 0.255.0]", 0, 0, 1, green, 0, 0},
      // Gradients, patterns and bitmaps change nothing.
      {"pen linear 255.0.0 0.0.255 fill-pen radial 255.0.0 0.0.255", 1, 0, 0, 0, 0, 0},
  };
  for (const row& r : rows) {
    const tui::draw_context c = run(r.commands);
    EXPECT_EQ(c.pen_on, r.pen_on) << r.commands;
    EXPECT_EQ(c.pen_color, r.pen_color) << r.commands;
    EXPECT_EQ(c.fill_on, r.fill_on) << r.commands;
    EXPECT_EQ(c.fill_color, r.fill_color) << r.commands;
    EXPECT_EQ(c.text_color, r.text_color) << r.commands;
    EXPECT_EQ(c.font_color_set, r.font_color_set) << r.commands;
  }
}

TEST_F(draw_test, every_run_begins_with_the_pen_on_and_nothing_else_set) {
  tui::draw_context context;
  context.pen_on = 0;
  context.pen_color = red;
  context.fill_on = 1;
  context.font_color_set = 1;
  context.origin_x = 3;
  tui::draw_begin(context);
  EXPECT_EQ(context.pen_on, 1u);
  EXPECT_EQ(context.pen_color, 0u);
  EXPECT_EQ(context.fill_on, 0u);
  EXPECT_EQ(context.font_color_set, 0u);
  EXPECT_EQ(context.origin_x, 3);  // the caller's
}

TEST_F(draw_test, a_scripts_block_raises_its_error_and_leaves_no_cycle_entry) {
  const cell image = evaluated("make image! 4x4");
  const cell block = loaded("pen 1.2.3 push [box 0x0 2x2 foo]");
  std::string printed;
  bool caught = false;
  printed = output_of([&] {
    caught = stack::catch_error(words::try_, false, [&] { tui::draw(image, block); });
  });
  ASSERT_TRUE(caught);
  EXPECT_EQ(last_fired.id, error_id::script_draw_invalid);
  EXPECT_EQ(molded(last_fired.args[0]), "[foo]");
  EXPECT_EQ(printed, "");
  EXPECT_EQ(cycles::depth(), 0u);

  // Silent: the run ends quietly and the caller goes on.
  set_silent(true);
  printed = output_of([&] {
    caught = stack::catch_error(words::try_, false, [&] { tui::draw(image, block); });
  });
  EXPECT_FALSE(caught);
  EXPECT_EQ(thrown_code, 0u);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(draw_test, a_faces_block_prints_its_error_and_ends_with_the_thrown_error_code) {
  for (bool silent : {false, true}) {
    set_silent(silent);
    const cell block = loaded("push [box 0x0 2x2 foo]");
    tui::draw_context context;
    std::string printed;
    bool thrown = false;
    printed = output_of([&] {
      try {
        tui::draw_parse(context, block, true);
      } catch (const system_throw_signal&) {
        thrown = true;
      }
    });
    EXPECT_TRUE(thrown) << silent;
    EXPECT_EQ(thrown_code, code::error) << silent;
    thrown_code = 0;
    EXPECT_EQ(cycles::depth(), 0u) << silent;
    if (silent) {
      EXPECT_EQ(printed, "");
    } else {
      EXPECT_EQ(printed.rfind(report_start, 0), 0u) << printed;
      EXPECT_NE(printed.find("[foo]"), std::string::npos) << printed;
    }
  }
}

TEST_F(draw_test, a_block_inside_itself_is_infinite_recursion) {
  const cell b = evaluated("b: copy [line 0x0 1x1] append/only b b");
  tui::draw_context context;
  const bool caught = stack::catch_error(words::try_, false, [&] { tui::draw_parse(context, b, false); });
  ASSERT_TRUE(caught);
  EXPECT_EQ(last_fired.id, error_id::script_draw_infinite);
  EXPECT_EQ(last_fired.args[0].payload2, b.payload2);
  EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(draw_test, rendering_a_face_with_a_bad_draw_block_abandons_the_frame) {
  for (bool silent : {false, true}) {
    set_silent(silent);
    const tui::widget_id root = face_window("make face! [type: 'base offset: 1x1 size: 6x3 draw: [box 0x0 2x2 foo]]");
    std::string printed;
    EXPECT_TRUE(render_throws(printed)) << silent;
    EXPECT_EQ(thrown_code, code::error) << silent;
    thrown_code = 0;
    EXPECT_EQ(cycles::depth(), 0u) << silent;
    EXPECT_TRUE(tui::screen.redraw) << "the frame is not finished";
    if (silent) {
      EXPECT_EQ(printed, "");
    } else {
      EXPECT_EQ(printed.rfind(report_start, 0), 0u) << printed;
      EXPECT_EQ(printed.find(report_start, 1), std::string::npos) << "one report: " << printed;
      EXPECT_NE(printed.find("[foo]"), std::string::npos) << printed;
    }
    tui::free_widget(root);
    tui::shutdown();
  }
}

// The block draws beside the face's text, which shows.
TEST_F(draw_test, rendering_a_face_with_a_good_draw_block_finishes_the_frame) {
  const tui::widget_id root = face_window(
      "make face! [type: 'base offset: 1x1 size: 6x3 text: {ab} draw: [pen 255.0.0 box 3x1 5x2 text 0x1 {x} "
      "push [line 4x4 5x5]]]");
  std::string printed;
  EXPECT_FALSE(render_throws(printed));
  EXPECT_EQ(printed, "");
  EXPECT_FALSE(tui::screen.redraw);
  EXPECT_NE(terminal.take().find("ab"), std::string::npos);
  tui::free_widget(root);
}

// Strings, images, fonts and set-words in a block made at run time, drawn while every
// allocation may collect (the stress run).
TEST_F(draw_test, a_block_holding_strings_and_images_runs_clean) {
  const std::string code =
      "pic: make image! 3x3 "
      "cmds: reduce ['pen 255.0.0 'text 0x0 copy {one} 'image pic 0x0 2x2 'font make font! [color: 0.0.255] "
      "to set-word! 'here 'push reduce ['text 1x1 append copy {tw} {o} 'fill-pen 'bitmap 'pic]] "
      "r: draw pic cmds "
      "reduce [same? r pic index? here length? cmds]";
  EXPECT_EQ(result_of(code), "[true 13 14]");
  const cell commands = evaluated("cmds");
  tui::draw_context context;
  tui::draw_begin(context);
  tui::draw_parse(context, commands, false);
  EXPECT_EQ(context.pen_color, red);
  EXPECT_EQ(context.text_color, blue);
  EXPECT_EQ(context.font_color_set, 1u);
  EXPECT_EQ(cycles::depth(), 0u);
}

}  // namespace
}  // namespace tav::testing
