// The event loop on the backend's terminal.
#include "view/backends/terminal/event_loop.hpp"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "datatypes/context.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/throw.hpp"
#include "runtime/tui_hooks.hpp"
#include "view/backends/terminal/face_access.hpp"
#include "view/backends/terminal/input.hpp"
#include "view/backends/terminal/platform_routines.hpp"
#include "view/backends/terminal/routing.hpp"
#include "view/backends/terminal/screen.hpp"
#include "view/backends/terminal/term_io.hpp"
#include "view/backends/terminal/timers.hpp"

namespace tav::tui {

int loop_depth = 0;

namespace {

inline constexpr size_t read_size = 4096;
inline constexpr int report_wait_ms = 100;

uint32_t word(const char* name) { return symbol::resolve(symbol::make(name)); }

// The value of system/view/<name>, or null.
cell* view_field(const char* name) {
  const backend_words& id = names();
  cell* system = context::find_value(context::global, id.system);
  cell* view = system ? facet(*system, id.view) : nullptr;
  return view ? facet(*view, word(name)) : nullptr;
}

bool mouse_event_p() {
  cell* platform = view_field("platform");
  if (!platform) return false;
  const cell value = facet_value(*platform, word("mouse-event?"));
  return value.type() == TYPE_LOGIC && logic::get(value);
}

// What an abrupt end of the program writes to give the screen back, kept up to date with the
// modes switched on.
void note_leave_bytes() {
  std::string bytes;
  if (console.mouse_reporting) bytes += "\033[?1000l\033[?1003l\033[?1015l\033[?1006l";
  if (screen.alt_screen) bytes += "\033[?1049l";
  if (console.cursor_hidden) bytes += "\033[?25h";
  io().set_leave_bytes(bytes);
}

void append_input(const uint8_t* bytes, long n) {
  input_buffer().append(std::string_view(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n)));
}

// Reads what is waiting, without waiting; the count of bytes. Outside terminal mode standard
// input belongs to the script and is not read.
long read_console_input(bool process) {
  if (!console.ui_active) return 0;
  uint8_t bytes[read_size];
  long total = 0;
  for (;;) {
    const long n = io().read(bytes, sizeof bytes, 0);
    if (n <= 0) return total;
    if (process) append_input(bytes, n);
    total += n;
  }
}

// Waits up to `ms` for input, which is taken into the input buffer; a resize wakes the wait
// and is handled. Without terminal mode the time is slept. Answers whether input cut it short.
bool wait_input(int ms) {
  if (!console.ui_active) {
    io().sleep(ms);
    return false;
  }
  const uint64_t end = io().now_ms() + static_cast<uint64_t>(ms);
  for (;;) {
    const uint64_t now = io().now_ms();
    if (now >= end) return false;
    uint8_t bytes[read_size];
    const long n = io().read(bytes, sizeof bytes, static_cast<int>(end - now));
    if (io().take_resized()) on_resize();
    if (n > 0) {
      append_input(bytes, n);
      return true;
    }
    if (n < 0) {  // the terminal went away: nothing more will come
      const uint64_t later = io().now_ms();
      if (later < end) io().sleep(static_cast<int>(end - later));
      return false;
    }
  }
}

// At the end of the outer loop: the cursor reports still on their way are awaited a little,
// then whatever came is dropped, so none reaches the line editor.
void drain_input() {
  input_decoder& buffer = input_buffer();
  const uint64_t end = io().now_ms() + report_wait_ms;
  std::vector<input_item> items;
  while (console.ui_active && buffer.reports_expected() > 0) {
    const uint64_t now = io().now_ms();
    if (now >= end) break;
    uint8_t bytes[read_size];
    const long n = io().read(bytes, sizeof bytes, static_cast<int>(end - now));
    if (n < 0) break;
    if (n > 0) append_input(bytes, n);
    buffer.process(items);
  }
  read_console_input(false);
  buffer.reset();
}

void enter_outer_loop() {
  enter_terminal_mode(screen.fullscreen);
  enter_fullscreen();
  const bool mouse = mouse_event_p();
  if (mouse != console.mouse_reporting) {
    console.mouse_reporting = mouse;
    mouse ? enable_mouse() : disable_mouse();
  }
  note_leave_bytes();
}

// Gives the terminal back; `orderly` also moves below the interface and shuts the screen down.
void leave_outer_loop(bool orderly) {
  if (orderly) move_below_ui();
  if (console.mouse_reporting) {
    console.mouse_reporting = false;
    disable_mouse();
  }
  leave_fullscreen();
  show_cursor();
  io().set_leave_bytes({});
  if (orderly) drain_input();
  leave_terminal_mode();
  if (orderly) shutdown();
}

// The exits a pass stops: the language's and errors. Others (quit) go on to the top.
bool stopped_p(uint32_t code) { return code >= code::throw_ && code <= code::error; }

// One pass after the read: wait out the frame, then timers, the frame, the input. Answers the
// time it took. Input that cuts a wait short leaves that frame's end in `frame_end`: the next
// pass waits only for the rest of it, so what the input changed is drawn when that frame ends
// rather than a whole frame later. Idle passes stay 33 ms apart.
int run_pass(int elapsed, uint64_t& frame_end) {
  int tick = elapsed;
  if (elapsed <= frame_ms) {
    const uint64_t before = io().now_ms();
    int wait = frame_ms - elapsed;
    if (frame_end) wait = std::min(wait, frame_end > before ? static_cast<int>(frame_end - before) : 0);
    frame_end = wait_input(wait) ? before + static_cast<uint64_t>(wait) : 0;
    tick = elapsed + static_cast<int>(io().now_ms() - before);
  } else {
    frame_end = 0;
  }
  if (console.ui_active && io().take_resized()) on_resize();
  const uint64_t start = io().now_ms();
  fire_timers(static_cast<uint32_t>(tick));
  render_frame();
  process_input();
  advance_click_counter();
  return static_cast<int>(io().now_ms() - start);
}

// Keeps the depth and, for the outer loop, the terminal on every way out.
struct loop_scope {
  int saved_depth;
  bool outer;
  bool finished = false;
  ~loop_scope() {
    loop_depth = saved_depth;
    if (outer && !finished) leave_outer_loop(false);
  }
};

}  // namespace

bool run_event_loop(bool no_wait) {
  const bool nested = no_wait || window_count() > 1;
  loop_scope scope{loop_depth, !nested};
  if (!no_wait) ++loop_depth;
  if (!nested) enter_outer_loop();
  else if (!no_wait) input_buffer().reset();
  bool has_input = false;
  int elapsed = 0;
  uint64_t frame_end = 0;
  do {
    const stack::position at = stack::here();
    bool thrown = false;
    try {
      has_input = read_console_input(true) > 0;
      if (no_wait && !has_input) break;
      elapsed = run_pass(elapsed, frame_end);
    } catch (const system_throw_signal&) {
      if (!stopped_p(thrown_code)) throw;
      stack::restore(at);
      stack::pending.code = 0;
      thrown = true;
      elapsed = 0;
      frame_end = 0;
    }
    if (thrown) leave_loop_level();
    if (!nested) note_leave_bytes();
  } while (!no_wait && loop_depth > scope.saved_depth);
  if (nested) {
    if (!no_wait) {
      read_console_input(false);
      input_buffer().reset();
    }
  } else {
    leave_outer_loop(true);
  }
  scope.finished = true;
  return has_input;
}

bool pump_loop() { return console.ui_active && run_event_loop(true); }

void leave_loop_level() { --loop_depth; }

void step_before_print() {
  if (!console.ui_active) return;
  erase_inline_ui();
  screen.drawn = false;
  io().flush_streams();
}

void step_after_print() {
  if (!console.ui_active) return;
  io().flush_streams();
  screen.redraw = true;
  if (!screen.alt_screen) query_cursor();
}

void on_resize() {
  get_console_size();
  if (cell* screens = view_field("screens"); screens && series::any_block_p(screens->type()) && block_length(*screens) > 0) {
    const cell first = block_values(*screens)[0];
    if (first.type() == TYPE_OBJECT) {
      cell size;
      pair::make_at(size, console.columns, console.rows);
      set_facet(first, names().size, size);
    }
  }
  if (console.ui_active) resize_windows(console.columns, console.rows);
}

void install_event_loop() {
  event_loop = run_event_loop;
  leave_loop = leave_loop_level;
  hooks.before_print = step_before_print;
  hooks.after_print = step_after_print;
  hooks.pump_events = [] { pump_loop(); };
}

}  // namespace tav::tui
