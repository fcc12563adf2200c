// The terminal as the backend sees it: every system call of the backend goes through one
// `term_io`, so that tests run the backend on a scripted terminal. Above it, the terminal
// control writes and the console state that the screen and the event loop share.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tav::tui {

class term_io {
 public:
  virtual ~term_io() = default;
  // Whole writes: partial writes and interruptions are retried.
  virtual void write(std::string_view bytes) = 0;
  // Waits at most `timeout_ms` for input and reads what has come: the count, 0 when the time
  // ran out, below 0 at the end or on failure.
  virtual long read(uint8_t* buffer, size_t size, int timeout_ms) = 0;
  // A monotonic clock in milliseconds.
  virtual uint64_t now_ms() = 0;
  virtual bool window_size(int& columns, int& rows) = 0;
  // The window changed size since the last call.
  virtual bool take_resized() = 0;
  // Standard input is a terminal: only then is terminal mode entered.
  virtual bool terminal_p() = 0;
  // Raw key input, restored on every way out of the program.
  virtual bool raw_on() = 0;
  virtual void raw_off() = 0;
  // Everything printed before is written before a frame.
  virtual void flush_streams() = 0;
  // Waits without reading input (standard input is no terminal).
  virtual void sleep(int ms) = 0;
  // The bytes that give the screen back when the program ends while raw input is on.
  virtual void set_leave_bytes(std::string_view bytes) = 0;
};

// The process's terminal.
term_io& system_term_io();
// The terminal the backend uses: the process's unless another is set (null restores it).
term_io& io();
void set_io(term_io* replacement);

// Console state of the backend.
struct console_state {
  bool ui_active = false;      // terminal mode: raw input, the cursor modes written
  bool cursor_hidden = false;  // mode 25 reset
  bool mouse_reporting = false;
  int columns = -1;  // -1 until the size is read
  int rows = -1;
};
extern console_state console;

void write_out(std::string_view bytes);
void dec_set(int mode);
void dec_reset(int mode);
void query_cursor();
void enter_alt_screen();
void leave_alt_screen();
void enable_mouse();
void disable_mouse();
// Written only in terminal mode, and each only when the cursor changes.
void hide_cursor();
void show_cursor();
void cursor_down(int lines);

// Reads the window's size into `console`: 80 x 24 and false when it cannot be read.
bool get_console_size();
// Terminal mode when standard input is a terminal; then, unless the shown window is on the
// alternate screen, asks where the cursor is (the inline interface starts there). Without a
// terminal nothing is written: no one would answer.
void enter_terminal_mode(bool fullscreen);
// Shows the cursor again and restores the key input, only in terminal mode.
void leave_terminal_mode();

}  // namespace tav::tui
