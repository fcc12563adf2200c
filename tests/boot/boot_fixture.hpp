// Shared by the start-up tests: text loaded into the global context, and the molded result of
// running it, or "error <id>" when it raises an error.
#pragma once
#include <string>
#include <string_view>

#include "boot/global_load.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/value_fixture.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"

namespace tav::testing {

inline cell loaded(std::string_view text) {
  return boot::load_global(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
}

inline std::string result_of(std::string_view text) {
  const cell block = loaded(text);
  cell* base = stack::top;
  std::string result;
  if (stack::catch_error(words::try_, false, [&] { interpreter::do_block(block, false); }))
    result = std::string("error ") + error_info(last_fired.id).word;
  else
    result = molded(*stack::last_pushed());
  stack::top = base;
  return result;
}

}  // namespace tav::testing
