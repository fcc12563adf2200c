// System throw, catch slots and the numbered runtime-error report.
#include "runtime/throw.hpp"

#include <signal.h>

#include <cstdio>
#include <new>

#include "runtime/console_out.hpp"
#include "runtime/heap.hpp"
#include "runtime/platform.hpp"

extern "C" char __executable_start;

namespace tav {

uint32_t thrown_code = 0;

namespace {

struct numbered_message {
  uint32_t number;
  const char* text;
};

constexpr numbered_message messages[] = {
    {1, "access violation"},
    {2, "invalid alignment"},
    {3, "breakpoint"},
    {4, "single step"},
    {5, "bounds exceeded"},
    {6, "float denormal operan"},
    {7, "float divide by zero"},
    {8, "float inexact result"},
    {9, "float invalid operation"},
    {10, "float overflow"},
    {11, "float stack check"},
    {12, "float underflow"},
    {13, "integer divide by zero"},
    {14, "integer overflow"},
    {15, "privileged instruction"},
    {16, "invalid virtual address"},
    {17, "illegal instruction"},
    {18, "non-continuable exception"},
    {19, "stack error or overflow"},
    {20, "invalid disposition"},
    {21, "guard page"},
    {22, "invalid handle"},
    {23, "illegal operand"},
    {24, "illegal addressing mode"},
    {25, "illegal trap"},
    {26, "coprocessor error"},
    {27, "non-existent physical address"},
    {28, "object specific hardware error"},
    {29, "hardware memory error consumed AR"},
    {30, "hardware memory error consumed AO"},
    {31, "privileged register"},
    {32, "segmentation fault"},
    {33, "FPU error"},
    {34, "Bus error"},
    {94, "out of memory"},
    {95, "no CATCH for THROW"},
    {98, "assertion failed"},
    {99, "unknown error"},
    {100, "no value matched in CASE"},
    {101, "no value matched in SWITCH"},
};

}  // namespace

void system_throw() { throw system_throw_signal{}; }

void system_throw(uint32_t code) {
  thrown_code = code;
  throw system_throw_signal{};
}

const char* runtime_error_message(uint32_t number) {
  for (const auto& m : messages)
    if (m.number == number) return m.text;
  return "unknown error code!";
}

uint32_t load_offset(const void* address) {
  auto base = reinterpret_cast<uintptr_t>(&__executable_start);
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address) - base);
}

// Called from signal handlers too, so the report allocates nothing. A print the fault cut
// short leaves its text pending; it is written ahead of the report. The report runs the
// output listeners and the terminal backend's hooks: when one of them faults in turn, the
// second call writes what is pending and ends the process with the first number.
TAV_SIGNAL_SAFE void runtime_error(uint32_t number, const void* address) {
  static volatile sig_atomic_t ending = 0;
  static volatile uint32_t first_number = 0;
  if (ending) {
    console_out::flush();
    platform::end_process(static_cast<int>(first_number & 0xFF));
  }
  first_number = number;
  ending = 1;
  platform::restore_terminal();
  console_out::dropping_failures = true;
  if (number != 0) {
    std::fflush(stdout);
    print_line({print_item::of_text("\n*** Runtime Error "), print_item::of_integer(static_cast<int32_t>(number)),
                print_item::of_text(": "), print_item::of_text(runtime_error_message(number)),
                print_item::of_text("\n*** at: "), print_item::of_hex(load_offset(address)), print_item::of_text("h")});
  }
  std::fflush(stdout);
  std::fflush(stderr);
  heap_free_all();
  platform::end_process(static_cast<int>(number & 0xFF));
}

[[gnu::noinline]] void runtime_error(uint32_t number) { runtime_error(number, __builtin_return_address(0)); }

[[gnu::noinline]] void top_level_catch() {
  if (thrown_code == code::quit) runtime_error(0, nullptr);
  runtime_error(95, __builtin_return_address(0));
}

int run_with_top_level_catch(int (*body)(void*), void* context) {
  try {
    return body(context);
  } catch (const system_throw_signal&) {
    top_level_catch();
  } catch (const std::bad_alloc&) {
    // Memory ran out outside any native call, where no language error could be raised.
    runtime_error(94);
  }
}

}  // namespace tav
