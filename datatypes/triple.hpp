// triple! and ref!: the runtime's record of three integers, and the text type written with
// a leading at sign.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav {

namespace triple {

// triple! cell: three signed integers in payloads 1 to 3, meaning what their maker says.
inline int32_t a_of(const cell& value) { return static_cast<int32_t>(value.payload1); }
inline int32_t b_of(const cell& value) { return static_cast<int32_t>(value.payload2); }
inline int32_t c_of(const cell& value) { return static_cast<int32_t>(value.payload3); }
cell* make_at(cell& target, int32_t a, int32_t b, int32_t c);
cell* push(int32_t a, int32_t b, int32_t c);

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
void init();

}  // namespace triple

namespace ref {

// A copy of the ref! cell on the argument stack.
cell* push(const cell& value);

int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
// Inherits from string!, which must be registered first.
void init();

}  // namespace ref

}  // namespace tav
