// The terminal's system calls: termios, TIOCGWINSZ, poll, and the signals that must not leave
// the terminal in raw mode.
#include "console/tty.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/platform.hpp"

namespace tav::terminal::tty {
namespace {

termios saved{};
volatile sig_atomic_t raw = 0;
volatile sig_atomic_t resized = 0;
char leave_bytes[64];
volatile sig_atomic_t leave_length = 0;

// Signal handlers run this: tcsetattr is async-signal-safe.
void restore() {
  if (!raw) return;
  raw = 0;
  for (ssize_t at = 0, n = 0; at < leave_length; at += n) {
    n = ::write(STDOUT_FILENO, leave_bytes + at, static_cast<size_t>(leave_length - at));
    if (n < 0 && errno == EINTR) n = 0;
    else if (n <= 0) break;
  }
  ::tcsetattr(STDIN_FILENO, TCSADRAIN, &saved);
}

void on_resize(int) { resized = 1; }

// The terminal first, then the signal's own action, as if no handler had been there.
void on_end(int signal) {
  restore();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// A signal ignored when the program started stays ignored, as `nohup` expects.
void handle_unless_ignored(int signal, const struct sigaction& action) {
  struct sigaction current{};
  if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return;
  ::sigaction(signal, &action, nullptr);
}

bool size_of(int fd, int& columns, int& rows) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0) return false;
  columns = size.ws_col;
  rows = size.ws_row;
  return true;
}

}  // namespace

bool console_p() { return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1; }

bool raw_on() {
  if (raw) return true;
  termios mode{};
  if (::tcgetattr(STDIN_FILENO, &mode) != 0) return false;
  saved = mode;
  mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
  mode.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | BRKINT | ISTRIP);
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  if (::tcsetattr(STDIN_FILENO, TCSADRAIN, &mode) != 0) return false;
  raw = 1;
  return true;
}

void raw_off() { restore(); }

bool raw_p() { return raw != 0; }

void set_leave_bytes(const char* bytes, size_t length) {
  leave_length = 0;
  length = length < sizeof leave_bytes ? length : sizeof leave_bytes - 1;
  for (size_t i = 0; i < length; ++i) leave_bytes[i] = bytes[i];
  leave_length = static_cast<sig_atomic_t>(length);
}

void install_handlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  platform::set_terminal_restorer(restore);
  struct sigaction action{};
  sigemptyset(&action.sa_mask);
  action.sa_handler = on_end;
  handle_unless_ignored(SIGTERM, action);
  handle_unless_ignored(SIGHUP, action);
  action.sa_handler = on_resize;
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGWINCH, &action, nullptr);
}

bool window_size(int& columns, int& rows) {
  return size_of(STDOUT_FILENO, columns, rows) || size_of(STDIN_FILENO, columns, rows);
}

bool take_resized() {
  if (!resized) return false;
  resized = 0;
  return true;
}

long read_input(uint8_t* buffer, size_t size, int timeout_ms) {
  for (;;) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    int ready = ::poll(&input, 1, timeout_ms);
    if (ready < 0 && errno == EINTR) {
      if (timeout_ms < 0) continue;
      return 0;
    }
    if (ready < 0) return -1;
    if (ready == 0) return 0;
    ssize_t n = ::read(STDIN_FILENO, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n <= 0 ? -1 : static_cast<long>(n);
  }
}

void write_output(const char* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = ::write(STDOUT_FILENO, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    bytes += n;
    length -= static_cast<size_t>(n);
  }
}

}  // namespace tav::terminal::tty
