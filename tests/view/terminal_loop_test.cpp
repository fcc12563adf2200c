// The event loop on a scripted terminal and clock: frame pacing and timers, terminal mode and
// mouse modes around the outer loop, nested loops, throws out of a pass, the print hooks.
#include "view/backends/terminal/event_loop.hpp"

#include <functional>
#include <string>
#include <vector>

#include "runtime/throw.hpp"
#include "screen_fixture.hpp"
#include "view/backends/terminal/input.hpp"
#include "view/backends/terminal/timers.hpp"

namespace tav::testing {
namespace {

// Each `time` event: the clock when it came and the widget; the test's reaction runs after.
struct time_event {
  uint64_t clock;
  tui::widget_id widget;
};
std::vector<time_event> fired;
std::function<void(const time_event&)> on_time;
fake_term_io* clock_source = nullptr;

bool record_time(tui::widget_id widget, uint32_t type, float, float, int32_t) {
  if (type != tui::widget_event::time) return false;
  fired.push_back({clock_source->clock, widget});
  if (on_time) on_time(fired.back());
  return false;
}

size_t position(const std::string& text, std::string_view part) { return text.find(part); }

class terminal_loop : public screen_test {
 protected:
  void SetUp() override {
    terminal = fake_term_io{};
    screen_test::SetUp();
    tui::install_event_loop();
    tui::input_buffer().reset();
    tui::loop_depth = 0;
    fired.clear();
    on_time = nullptr;
    clock_source = &terminal;
    tui::set_widget_event_sender(record_time);
  }
  void TearDown() override {
    if (std::exchange(view_replaced, false)) evaluated("system/view: loop-test-view");
    on_time = nullptr;
    tui::input_buffer().reset();
    screen_test::TearDown();
  }
  bool view_replaced = false;
  // Ends the running loop at the n-th time event.
  static void leave_at(size_t n) {
    on_time = [n](const time_event&) {
      if (fired.size() == n) tui::leave_loop_level();
    };
  }
  void set_mouse_event(bool on) {
    if (!view_replaced) evaluated("loop-test-view: system/view");
    view_replaced = true;
    evaluated(std::string("system/view: make loop-test-view [platform: make object! [mouse-event?: ") +
              (on ? "true" : "false") + "] screens: []]");
  }
};

TEST_F(terminal_loop, idle_passes_tick_33_ms_and_timers_fire_once_their_interval_is_reached) {
  struct row {
    bool terminal;
    uint32_t interval;
    std::vector<uint64_t> at;  // the clock at each firing: the passes times 33
  };
  const row rows[] = {
      {true, 100, {132, 264}},
      {false, 100, {132, 264}},  // no terminal: the pass sleeps instead of waiting on input
      {true, 250, {264, 528, 792, 1056}},  // the surplus beyond 250 is dropped
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.interval);
    SetUp();
    terminal.terminal = r.terminal;
    terminal.chunks.push_back("x");  // never read without a terminal
    const tui::widget_id w = window(10, 2);
    tui::add_timer(w, r.interval);
    leave_at(r.at.size());
    tui::run_event_loop(false);
    std::vector<uint64_t> clocks;
    for (const time_event& e : fired) clocks.push_back(e.clock);
    EXPECT_EQ(clocks, r.at);
    EXPECT_EQ(tui::loop_depth, 0);
    EXPECT_EQ(terminal.chunks.empty(), r.terminal);
    EXPECT_EQ(terminal.sleeps > 0, !r.terminal);
    if (!r.terminal) {
      EXPECT_EQ(position(terminal.written, "\033[6n"), std::string::npos);
      EXPECT_EQ(position(terminal.written, "\033[?25l"), std::string::npos);
    }
    TearDown();
  }
}

TEST_F(terminal_loop, a_slow_pass_makes_the_next_one_not_wait_and_ticks_its_time) {
  const tui::widget_id w = window(10, 2);
  tui::add_timer(w, 33);
  tui::add_timer(w, 83);  // 33 of the first pass, then the 50 it took
  on_time = [this](const time_event&) {
    if (fired.size() == 1) terminal.clock += 50;
    if (fired.size() == 4) tui::leave_loop_level();
  };
  tui::run_event_loop(false);
  ASSERT_EQ(fired.size(), 4u);
  EXPECT_EQ(fired[0].clock, 33u);
  EXPECT_EQ(fired[1].clock, 83u);  // the 33 ms timer again, without a wait
  EXPECT_EQ(fired[2].clock, 83u);  // the 83 ms one in the same pass
  EXPECT_EQ(fired[3].clock, 116u);
}

TEST_F(terminal_loop, input_that_cuts_a_wait_short_is_drawn_when_that_frame_ends) {
  const tui::widget_id w = window(10, 2);
  tui::add_timer(w, 33);
  terminal.arrival_ms = 10;
  terminal.chunks.push_back("a");  // 10 ms into the first wait
  leave_at(3);
  tui::run_event_loop(false);
  std::vector<uint64_t> clocks;
  for (const time_event& e : fired) clocks.push_back(e.clock);
  // The pass the key woke at 10 ms ticks 10; the next waits the 23 left, not a whole frame.
  EXPECT_EQ(clocks, (std::vector<uint64_t>{33, 66, 99}));
  EXPECT_TRUE(terminal.chunks.empty());
}

TEST_F(terminal_loop, a_no_wait_pass_without_input_does_nothing_and_with_input_makes_one_pass) {
  enter_terminal();
  const tui::widget_id w = window(10, 2);
  tui::add_timer(w, 10);
  tui::request_redraw();
  terminal.take();
  EXPECT_FALSE(tui::pump_loop());
  EXPECT_EQ(terminal.clock, 0u);
  EXPECT_TRUE(terminal.written.empty());
  EXPECT_TRUE(fired.empty());

  terminal.chunks.push_back("a");
  EXPECT_TRUE(tui::pump_loop());
  EXPECT_EQ(fired.size(), 1u);
  EXPECT_EQ(tui::loop_depth, 0);
  EXPECT_TRUE(tui::console.ui_active);  // a pump never leaves terminal mode

  tui::leave_terminal_mode();
  terminal.chunks.push_back("a");
  EXPECT_FALSE(tui::pump_loop());  // outside terminal mode nothing is pumped
  EXPECT_TRUE(fired.size() == 1u && terminal.chunks.size() == 1u);
}

TEST_F(terminal_loop, the_outer_loop_switches_the_mouse_modes_and_gives_the_terminal_back) {
  for (const bool mouse : {true, false}) {
    SCOPED_TRACE(mouse);
    SetUp();
    set_mouse_event(mouse);
    tui::screen.fullscreen = true;
    const tui::widget_id w = window(10, 2);
    tui::add_timer(w, 33);
    std::string leave_bytes_inside;
    bool raw_inside = false;
    on_time = [&](const time_event&) {
      leave_bytes_inside = terminal.leave_bytes;
      raw_inside = terminal.raw;
      tui::leave_loop_level();
    };
    tui::run_event_loop(false);
    const std::string& out = terminal.written;
    EXPECT_TRUE(raw_inside);
    EXPECT_FALSE(terminal.raw);
    EXPECT_FALSE(tui::console.ui_active);
    EXPECT_NE(position(out, "\033[?1049h\033[2J"), std::string::npos);
    EXPECT_NE(position(out, "\033[?1049l"), std::string::npos);
    EXPECT_EQ(position(out, "\033[6n"), std::string::npos);  // fullscreen: no inline start asked
    EXPECT_TRUE(terminal.leave_bytes.empty());
    if (mouse) {
      const std::string on = "\033[?1000h\033[?1003h\033[?1015h\033[?1006h";
      const std::string off = "\033[?1000l\033[?1003l\033[?1015l\033[?1006l";
      EXPECT_NE(position(out, on), std::string::npos);
      EXPECT_LT(position(out, on), position(out, off));
      EXPECT_LT(position(out, off), position(out, "\033[?1049l"));
      EXPECT_EQ(leave_bytes_inside.find(off + "\033[?1049l"), 0u);
    } else {
      EXPECT_EQ(position(out, "1000"), std::string::npos);
      EXPECT_EQ(leave_bytes_inside.find("\033[?1049l"), 0u);
    }
    EXPECT_FALSE(tui::console.cursor_hidden);
    TearDown();
  }
}

TEST_F(terminal_loop, a_nested_loop_keeps_terminal_mode_and_returns_to_the_outer_one) {
  const tui::widget_id outer = window(10, 2);
  tui::add_timer(outer, 33);
  std::string pending_in_nested;
  bool raw_after_nested = false;
  int depth_in_nested = 0;
  on_time = [&](const time_event& e) {
    if (e.widget == outer && fired.size() == 1) {
      const tui::widget_id modal = window(5, 1);
      tui::add_timer(modal, 33);
      tui::input_buffer().append("\033[");  // a cut-off sequence left from before
      tui::run_event_loop(false);
      pending_in_nested += "|" + std::string(tui::input_buffer().pending());
      raw_after_nested = terminal.raw && tui::console.ui_active;
    } else if (e.widget != outer) {
      if (tui::loop_depth != 2) return;  // its timer ticks in the outer loop's pass too
      depth_in_nested = tui::loop_depth;
      pending_in_nested = std::string(tui::input_buffer().pending());
      tui::leave_loop_level();
    } else if (fired.size() >= 4) {
      tui::leave_loop_level();
    }
  };
  tui::run_event_loop(false);
  EXPECT_EQ(depth_in_nested, 2);
  EXPECT_EQ(pending_in_nested, "|");  // emptied on entry and on exit
  EXPECT_TRUE(raw_after_nested);
  EXPECT_EQ(tui::loop_depth, 0);
  EXPECT_GE(fired.size(), 4u);  // the outer loop went on after the modal one
  EXPECT_FALSE(terminal.raw);
}

TEST_F(terminal_loop, a_throw_out_of_a_pass_ends_one_level_and_quit_gives_the_terminal_back) {
  const tui::widget_id w = window(10, 2);
  tui::add_timer(w, 33);
  on_time = [](const time_event&) { system_throw(code::throw_); };
  tui::run_event_loop(false);
  EXPECT_EQ(fired.size(), 1u);
  EXPECT_EQ(tui::loop_depth, 0);

  SetUp();
  set_mouse_event(true);
  const tui::widget_id again = window(10, 2);
  tui::add_timer(again, 33);
  on_time = [](const time_event&) { system_throw(code::quit); };
  bool passed_on = false;
  try {
    tui::run_event_loop(false);
  } catch (const system_throw_signal&) {
    passed_on = thrown_code == code::quit;
  }
  EXPECT_TRUE(passed_on);
  EXPECT_EQ(tui::loop_depth, 0);
  EXPECT_FALSE(terminal.raw);
  EXPECT_NE(position(terminal.written, "\033[?1006l"), std::string::npos);
  EXPECT_TRUE(terminal.leave_bytes.empty());
}

TEST_F(terminal_loop, printing_erases_the_inline_interface_and_asks_for_it_again_below) {
  tui::step_before_print();
  tui::step_after_print();
  EXPECT_TRUE(terminal.written.empty());  // outside terminal mode nothing steps aside

  enter_terminal();
  tui::screen.drawn = true;
  tui::screen.lines_up = 2;
  tui::step_before_print();
  EXPECT_EQ(terminal.take(), "\r\033[2A\033[0J");
  EXPECT_FALSE(tui::screen.drawn);
  EXPECT_GE(terminal.flushes, 1);
  const uint32_t reports = tui::input_buffer().reports_expected();
  tui::step_after_print();
  EXPECT_EQ(terminal.take(), "\033[6n");
  EXPECT_TRUE(tui::screen.redraw);
  EXPECT_EQ(tui::input_buffer().reports_expected(), reports + 1);
}

}  // namespace
}  // namespace tav::testing
