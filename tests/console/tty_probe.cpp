// A program on the terminal layer for the terminal tests: it starts as tav starts (signal
// handlers, runtime thread), switches the terminal to raw key input, prints "raw PID ready", then
// prints each key it reads with the window's width ("key CODE COLUMNS") until "q" or the end.
// Run with "guard", it leaves raw mode through its scope guard by a C++ exception and says
// whether the terminal was given back.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "boot/startup.hpp"
#include "console/keys.hpp"
#include "console/terminal.hpp"
#include "console/tty.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

void say(const char* text) { terminal::tty::write_output(text, std::strlen(text)); }

int probe(void* mode) {
  boot::init_runtime();
  terminal::init();
  if (std::strcmp(static_cast<const char*>(mode), "guard") == 0) {
    try {
      terminal::tty::raw_mode raw;
      say("guarded\r\n");
      throw std::runtime_error("unwinding");
    } catch (const std::runtime_error&) {
    }
    say(terminal::tty::raw_p() ? "still raw\r\n" : "restored\r\n");
    return 0;
  }
  terminal::tty::raw_mode raw;
  char line[64];
  std::snprintf(line, sizeof line, "raw %d ready\r\n", static_cast<int>(::getpid()));
  say(line);
  for (;;) {
    int32_t key = terminal::read_key();
    if (key == terminal::key_failed || key == 'q') return 0;
    std::snprintf(line, sizeof line, "key %d %d\r\n", static_cast<int>(key), terminal::columns());
    say(line);
  }
}

}  // namespace

int main(int argc, char** argv) {
  char keys_mode[] = "keys";
  void* mode = argc > 1 ? argv[1] : keys_mode;
  // Ends as tav ends: the terminal given back, then out without the C++ exit handlers.
  const int status = platform::start_up(argc, argv, probe, mode);
  platform::restore_terminal();
  _exit(status);
}
