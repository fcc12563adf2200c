// Test helpers: run code that may raise a language error and report which one it raised.
#pragma once
#include <optional>

#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/throw.hpp"

namespace tav::testing {

// The id `fire` raised inside `body`, or nothing when `body` returned normally. Outside any
// call frame the error reaches this catch slot as it is; with frames on the call stack the
// body runs inside an unnamed try frame, as `try` would run it.
template <class Body>
std::optional<error_id> fired_by(Body&& body) {
  if (stack::frame_count() != 0) {
    stack::position at = stack::here();
    if (stack::catch_error(cell{}, false, [&] { body(); })) return last_fired.id;
    stack::restore(at);
    return std::nullopt;
  }
  return catch_slot(
      code::error,
      [&]() -> std::optional<error_id> {
        body();
        return std::nullopt;
      },
      [](uint32_t) -> std::optional<error_id> { return last_fired.id; });
}

}  // namespace tav::testing
