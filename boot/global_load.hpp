// Loading text as code of the global context: the lexer's values with their words bound there.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::boot {

// The block of the values of the UTF-8 text; every word in it and in its blocks, parens and
// paths is bound to the global context, which gets a slot for each word it did not have. A
// syntax error is raised as the lexer raises it.
cell load_global(const uint8_t* text, uint32_t length);

// Binds the words of the block and of its nested blocks, parens and paths as above.
void bind_global(const cell& block);

}  // namespace tav::boot
