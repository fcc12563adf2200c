// Test helpers: run code that may raise a language error and report which one it raised.
#pragma once
#include <optional>

#include "runtime/errors.hpp"
#include "runtime/throw.hpp"

namespace tav::testing {

// The id `fire` raised inside `body`, or nothing when `body` returned normally.
template <class Body>
std::optional<error_id> fired_by(Body&& body) {
  return catch_slot(
      code::error,
      [&]() -> std::optional<error_id> {
        body();
        return std::nullopt;
      },
      [](uint32_t) -> std::optional<error_id> { return last_fired.id; });
}

}  // namespace tav::testing
