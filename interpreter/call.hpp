// Calls entered from the interpreter's other modules without apply_block's options.
#pragma once
#include <cstdint>

#include "interpreter/interpreter.hpp"

namespace tav::interpreter::detail {

// The options of a call by a path written in code, for the forms the general fetching handles.
inline call_options path_options(const cell& path, uint32_t path_index, const cell& name, bool push) {
  call_options options;
  options.push = push;
  options.name = &name;
  options.path = &path;
  options.path_index = path_index;
  return options;
}

// A call by `path` written in code at `index - 1`, its head naming `callable` (called `name`),
// the path's elements from `path_index` on its refinements: untraced and without apply's forms
// or a method's object, it fetches and calls without going through apply_block.
uint32_t call_by_path(const cell& callable, const code& source, uint32_t index, const cell& path, uint32_t path_index,
                      const cell& name, bool push);

}  // namespace tav::interpreter::detail
