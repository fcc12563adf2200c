// Lexer value loaders: what load mode plugs into the lexer (a loader per value token, the
// series built when a bracket closes, the values of constructions), the syntax error raised
// with its argument values, and the value-level helpers transcode shares with them.
#pragma once
#include <cstdint>

#include "interpreter/lexer.hpp"
#include "runtime/cell.hpp"

namespace tav::lexer {

// Installs the loaders into the lexer's hooks and the lexer's readers into the seams the
// number and word modules left for them. Once, from `init`.
void install_loaders();

// A new series of `type` (block layout) holding copies of the output cells [first, first +
// count); its capacity is at least one cell.
cell cells_to_block(uint32_t first, uint32_t count, uint8_t type);
// The cells of a run that is the innermost one and holds no open series, moved into a new
// series of `type` (block layout); the run is left holding none.
cell take_run_cells(lexer_state& ls, uint8_t type);
// Appends copies of the output cells [first, first + count) at the tail of a block.
void append_cells(cell& block, uint32_t first, uint32_t count);

// Raises the syntax error of the record with its arguments built as values.
[[noreturn]] void fire_syntax_error(const syntax_error_record& record);

// The first value the text of a string! holds (from its head): unset! when it holds none;
// none! when it does not read as exactly one value (a syntax error, or more after it).
void load_first_value(const cell& text, cell& first);
// The values of a string! from its head in a new block (`to block!` of a string).
void load_block(const cell& text, cell& result);

}  // namespace tav::lexer
