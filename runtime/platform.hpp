// Platform layer: process start-up (runtime thread, signals, arguments) and the thin
// table of operating-system services the runtime calls by name.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tav {

// The process-wide record start-up fills. `thrown_code` lives beside it (runtime/throw.hpp).
struct system_state_record {
  int argument_count;
  char** arguments;  // UTF-8, ends with a null entry; blocks of the tracked heap
  uint32_t reserved;
};
extern system_state_record system_state;

namespace platform {

// Bounds of the runtime thread's machine stack (low address first) and its guard zone.
struct stack_bounds {
  char* low;
  char* high;
  char* guard_low;
  char* guard_high;
};
const stack_bounds& runtime_stack();
bool on_runtime_thread();

// Prepares the process (signals on an alternate stack, SIGPIPE ignored, UTF-8 arguments)
// and runs `body` on the runtime thread with its large, lazily committed stack. Answers
// the status `body` returned.
int start_up(int argc, char** argv, int (*body)(void*), void* context);

// Called by the SIGINT handler before the silent exit; the terminal layer sets it.
void set_interrupt_hook(void (*hook)());
// Gives the terminal back its modes: called on every way out of the process (the exit, the
// fatal report, SIGINT). The terminal layer sets it; it must be safe in a signal handler.
void set_terminal_restorer(void (*hook)());
void restore_terminal();
// Ends the process at once with `status`: no exit handlers, no flushing. Safe in a signal
// handler.
[[noreturn]] void end_process(int status);

void* allocate_pages(size_t size, bool executable);  // throws code 0x7FFFFFF7 on failure
void free_pages(void* address, size_t size);         // throws code 0x7FFFFFF6 on failure
size_t page_size();
// An address range that holds no memory until parts of it are committed (read/write).
void* reserve_pages(size_t size);                     // throws code 0x7FFFFFF7 on failure
void commit_pages(void* address, size_t size);        // throws code 0x7FFFFFF7 on failure
// Gives committed pages back to the system; they stay readable and read as zeros.
void discard_pages(void* address, size_t size);

// The current directory as a tracked-heap UTF-8 buffer (caller frees); `length` gets the
// byte count without the terminator. Null when it cannot be read.
char* get_current_dir(size_t& length);
bool set_current_dir(const char* path);
bool set_env(const char* name, const char* value);  // a null value deletes
// The value's length in bytes; the value is copied when it fits (terminator included),
// else only the needed size is answered. 0 when unset.
size_t get_env(const char* name, char* buffer, size_t buffer_size);

// Fills the buffer from the kernel's cryptographically secure source; raises
// internal/feature-na when the source is unavailable.
void random_bytes(uint8_t* buffer, size_t n);

void sleep(double seconds);
double get_time(bool precise);  // seconds since midnight UTC
uint32_t get_date(bool utc);    // year << 17 | month << 12 | day << 7 | zone
uint32_t get_date_at(int64_t unix_seconds, bool utc);
uint32_t pack_zone(int minutes_east);

void init();

}  // namespace platform
}  // namespace tav
