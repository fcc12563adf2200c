// The backend's terminal: the process's own on top of the console's tty calls, and the
// terminal control sequences.
#include "view/backends/terminal/term_io.hpp"

#include <time.h>

#include <charconv>
#include <cstdio>
#include <string>

#include "console/tty.hpp"
#include "runtime/console_out.hpp"
#include "view/backends/terminal/input.hpp"

namespace tav::tui {
namespace {

class system_terminal final : public term_io {
 public:
  void write(std::string_view bytes) override { terminal::tty::write_output(bytes.data(), bytes.size()); }
  long read(uint8_t* buffer, size_t size, int timeout_ms) override {
    return terminal::tty::read_input(buffer, size, timeout_ms);
  }
  uint64_t now_ms() override {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
  }
  bool window_size(int& columns, int& rows) override { return terminal::tty::window_size(columns, rows); }
  bool take_resized() override { return terminal::tty::take_resized(); }
  bool terminal_p() override { return terminal::tty::console_p(); }
  bool raw_on() override {
    terminal::tty::install_handlers();
    return terminal::tty::raw_on();
  }
  void raw_off() override { terminal::tty::raw_off(); }
  void flush_streams() override {
    console_out::flush();
    std::fflush(nullptr);
  }
};

system_terminal system_instance;
term_io* current = &system_instance;

// "\033[" n final, or "\033[?" n final.
void write_sequence(const char* lead, int n, char final) {
  char bytes[24];
  std::string_view head(lead);
  head.copy(bytes, head.size());
  char* end = std::to_chars(bytes + head.size(), bytes + sizeof bytes - 1, n).ptr;
  *end++ = final;
  write_out(std::string_view(bytes, static_cast<size_t>(end - bytes)));
}

}  // namespace

console_state console;

term_io& system_term_io() { return system_instance; }
term_io& io() { return *current; }
void set_io(term_io* replacement) { current = replacement ? replacement : &system_instance; }

void write_out(std::string_view bytes) { current->write(bytes); }
void dec_set(int mode) { write_sequence("\033[?", mode, 'h'); }
void dec_reset(int mode) { write_sequence("\033[?", mode, 'l'); }
void query_cursor() {
  write_out("\033[6n");
  input_buffer().expect_cursor_report();
}

void enter_alt_screen() {
  dec_set(1049);
  write_out("\033[2J");
}

void leave_alt_screen() { dec_reset(1049); }

void enable_mouse() {
  for (int mode : {1000, 1003, 1015, 1006}) dec_set(mode);
}

void disable_mouse() {
  for (int mode : {1000, 1003, 1015, 1006}) dec_reset(mode);
}

// Outside terminal mode the cursor is the console's own: the backend leaves it alone.
void hide_cursor() {
  if (!console.ui_active || console.cursor_hidden) return;
  dec_reset(25);
  console.cursor_hidden = true;
}

void show_cursor() {
  if (!console.ui_active || !console.cursor_hidden) return;
  dec_set(25);
  console.cursor_hidden = false;
}

void cursor_down(int lines) {
  if (lines >= 1) write_sequence("\033[", lines, 'B');
}

bool get_console_size() {
  console.columns = 80;
  console.rows = 24;
  int columns = 0;
  int rows = 0;
  if (!current->window_size(columns, rows) || columns < 1 || rows < 1) return false;
  console.columns = columns;
  console.rows = rows;
  return true;
}

void enter_terminal_mode(bool fullscreen) {
  if (!console.ui_active && current->terminal_p() && current->raw_on()) {
    get_console_size();
    console.ui_active = true;
  }
  if (console.ui_active && !fullscreen) query_cursor();
}

void leave_terminal_mode() {
  if (!console.ui_active) return;
  show_cursor();
  current->raw_off();
  console.ui_active = false;
}

}  // namespace tav::tui
