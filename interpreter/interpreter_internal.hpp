// What the interpreter's modules share: reading code positions, word values, the trace event
// helpers and the cold error paths.
#pragma once
#include <algorithm>
#include <cstdint>

#include "datatypes/context.hpp"
#include "datatypes/types.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/stack.hpp"
#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace tav::interpreter::detail {

// ---- Code positions -------------------------------------------------------------------------

inline series_buffer* buffer_of_code(const code& source) { return buffer_of(source.block.payload2); }
// Where evaluation stops now: the end it was given, or the tail when the block shrank.
inline uint32_t limit_of(const code& source) { return std::min(source.end, buffer_of_code(source)->count()); }
inline bool at_end_p(const code& source, uint32_t index) { return index >= limit_of(source); }
inline const cell& cell_at(const code& source, uint32_t index) { return buffer_of_code(source)->cells()[index]; }

// ---- Words ----------------------------------------------------------------------------------

// The value cell of a word (unbound or unknown words raise through the context module).
inline cell* word_value(const cell& word) { return context::get(word); }

// ---- Callables ------------------------------------------------------------------------------

constexpr bool callable_p(uint8_t type) {
  return type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_FUNCTION || type == TYPE_ROUTINE;
}
// An op! as the callable it was made from: its type byte becomes the source's.
inline cell op_source(const cell& op) {
  cell source = op;
  set_type(source, static_cast<uint8_t>(op.header >> 16));
  return source;
}

// ---- Trace ----------------------------------------------------------------------------------

inline bool traced_p(const code* source) { return tracing && !(source && source->system); }
int32_t offset_in(const code* source, uint32_t index);
[[gnu::cold]] void trace(uint32_t event, const code* source, uint32_t index, const cell* value,
                         const cell* reference = nullptr);

// ---- Frame names ----------------------------------------------------------------------------

// A name that is not a word! names the call <anon>.
const cell& call_name(const cell* name);

// ---- Hooks ----------------------------------------------------------------------------------

// Connects the places where other modules call functions and evaluate blocks.
void install_call_hooks();

// ---- Errors ---------------------------------------------------------------------------------

[[gnu::cold, noreturn]] void no_value(const cell& word);

}  // namespace tav::interpreter::detail
