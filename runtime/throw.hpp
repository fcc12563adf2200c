// System throw: the lowest layer of non-local control, the catch-slot threshold rule,
// and the fatal runtime-error report.
#pragma once
#include <cstdint>

// Code that runs on the signal stack or ends the process is left out of AddressSanitizer's
// instrumentation, which would otherwise take the signal stack for a corrupt thread stack.
#define TAV_SIGNAL_SAFE __attribute__((no_sanitize("address")))

namespace tav {

// Codes carried by the system throw. Comparison is always unsigned.
namespace code {
inline constexpr uint32_t error = 0x7FFFFFFF;
inline constexpr uint32_t break_ = 0x7FFFFFFE;
inline constexpr uint32_t continue_ = 0x7FFFFFFD;
inline constexpr uint32_t return_ = 0x7FFFFFFC;
inline constexpr uint32_t exit = 0x7FFFFFFB;
inline constexpr uint32_t throw_ = 0x7FFFFFFA;
inline constexpr uint32_t integer_power_overflow = 0x7FFFFFF9;
inline constexpr uint32_t page_alloc_failed = 0x7FFFFFF7;
inline constexpr uint32_t page_free_failed = 0x7FFFFFF6;
inline constexpr uint32_t quit = 0x0BADCAFE;
inline constexpr uint32_t lexer_stop = 10;
inline constexpr uint32_t top_level = 0xFFFFFFFF;
}  // namespace code

// The pending code of the last system throw; it stays set for the catcher to read and clear.
extern uint32_t thrown_code;

// What the system throw raises. It carries nothing: the code stays in `thrown_code`.
struct system_throw_signal {};

[[noreturn]] void system_throw();
[[noreturn]] void system_throw(uint32_t code);

// True when a catch slot with this threshold stops the pending code.
inline bool catch_accepts(uint32_t threshold) { return thrown_code <= threshold; }

// A catch slot: runs `body`; a system throw whose code is not above `threshold` is
// handed to `handler(code)`, any other code passes on to the next outer slot.
template <class Body, class Handler>
auto catch_slot(uint32_t threshold, Body&& body, Handler&& handler) -> decltype(body()) {
  try {
    return body();
  } catch (const system_throw_signal&) {
    if (!catch_accepts(threshold)) throw;
    return handler(thrown_code);
  }
}

// Prints the numbered report (nothing for code 0), frees the tracked heap and ends the
// process with `number` as its status. `address` is shown relative to the load base.
[[noreturn]] void runtime_error(uint32_t number, const void* address);
[[noreturn]] void runtime_error(uint32_t number);  // at the caller's address

const char* runtime_error_message(uint32_t number);

// Offset of a code address from the executable's load base, as the report shows it.
uint32_t load_offset(const void* address);

// The outermost slot's handler: quit ends silently, anything else is "no CATCH for THROW".
[[noreturn]] void top_level_catch();

// Runs `body` inside the outermost catch slot (threshold 0xFFFFFFFF) and answers its status.
int run_with_top_level_catch(int (*body)(void*), void* context);

}  // namespace tav
