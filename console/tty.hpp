// The terminal's system calls: detection, raw key input and its restoration on every way out,
// the window size and its changes, reading key bytes with a time-out, and writing.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tav::terminal::tty {

// Standard input and output are both terminals: only then are editing sequences written.
bool console_p();

// Raw key input on standard input: no line discipline, no echo, no signal keys, no flow
// control, no CR/LF translation; output processing kept. Answers false when standard input
// is no terminal or refuses it. `raw_off` restores the modes saved by `raw_on`; it is safe in
// a signal handler and does nothing when raw mode is off.
bool raw_on();
void raw_off();
bool raw_p();
// Bytes written to standard output just before raw mode is given back on a way out of the
// program (the exit, the fatal report, the signals): what puts the screen back as the user had
// it. At most 63 bytes; an empty text writes nothing.
void set_leave_bytes(const char* bytes, size_t length);

// Raw mode for a scope: restored however the scope is left.
struct raw_mode {
  raw_mode() : on(raw_on()) {}
  ~raw_mode() {
    if (on) raw_off();
  }
  raw_mode(const raw_mode&) = delete;
  raw_mode& operator=(const raw_mode&) = delete;
  bool on;
};

// Installs, once, the restoration of the terminal at exit, in the fatal report, on SIGINT,
// and on SIGTERM and SIGHUP before their default action (unless the program started with them
// ignored); and the resize flag on SIGWINCH.
void install_handlers();

// The window's size from standard output, else standard input; false when neither tells.
bool window_size(int& columns, int& rows);
// Set by SIGWINCH; `take_resized` answers it and clears it.
bool take_resized();

// Reads up to `size` bytes of standard input, waiting at most `timeout_ms` (-1: as long as it
// takes). Answers the count, 0 when the time ran out, below 0 at the end or on failure.
long read_input(uint8_t* buffer, size_t size, int timeout_ms);

// Writes all the bytes to standard output, as one write where the system allows.
void write_output(const char* bytes, size_t length);

}  // namespace tav::terminal::tty
