// Paths and parens: path!, lit-path!, set-path! and get-path! (blocks of path elements with
// their own text forms) and paren! (a block whose contents are evaluated when met as code).
//
// Each is a block cell (see datatypes/block.hpp) of another type byte; a path's fourth word is
// left to the interpreter as a cache. Everything not declared here is block!'s.
#pragma once
#include <cstdint>

#include "datatypes/types.hpp"
#include "runtime/cell.hpp"

namespace tav {

namespace path {

// An empty path! in the cell with room for `capacity` cells (below 1: 1).
void make_at(cell& target, int32_t capacity);
// Gives the cell the type and pushes a copy of it.
cell* push(cell& value, uint8_t type = TYPE_PATH);

// The elements joined by "/", each formed or molded (with the caller's flags); a path already
// being written is replaced by the cycle marker. Answers the budget left.
int32_t write(cell* value, cell* buffer, bool mold, bool only, bool all, bool flat, cell* part, int32_t limit,
              int32_t indent);

cell* make(cell* prototype, cell* spec, int32_t type);
cell* to(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types);
void init();

}  // namespace path

#define TAV_PATH_VARIANT(space, type_id)                                                                     \
  namespace space {                                                                                        \
  inline cell* push(cell& value) { return path::push(value, type_id); }                                    \
  int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit,        \
               int32_t indent);                                                                            \
  void init();                                                                                             \
  }
TAV_PATH_VARIANT(lit_path, TYPE_LIT_PATH)
TAV_PATH_VARIANT(set_path, TYPE_SET_PATH)
TAV_PATH_VARIANT(get_path, TYPE_GET_PATH)
#undef TAV_PATH_VARIANT

namespace paren {

// Gives the cell the paren! type and pushes a copy of it.
cell* push(cell& value);

int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
void init();

}  // namespace paren

}  // namespace tav
