// pair!: two 32-bit integers written 3x4 (sizes, offsets), with component-wise integer
// arithmetic that falls back to point2D! when a result does not fit or is not whole.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::pair {

// pair! cell: x in payload 2, y in payload 3, both signed.
inline int32_t x_of(const cell& value) { return static_cast<int32_t>(value.payload2); }
inline int32_t y_of(const cell& value) { return static_cast<int32_t>(value.payload3); }

cell* make_at(cell& target, int32_t x, int32_t y);  // the type byte set, flags kept
cell* push(int32_t x, int32_t y);
cell* new_in_block(cell& block, int32_t x, int32_t y);
// An integer!'s value, or a float-based value's double truncated toward zero.
int32_t get_int(const cell& value);
// 1 for x, 2 for y. Another word raises script/cannot-use when `second` is a pair!, else
// script/invalid-path naming `second` as the path.
int32_t get_named_index(const cell& word, const cell& second);
// Argument cell n of the current call (0 the first) becomes a point2D! of its coordinates.
void to_point2D_slot(uint32_t n);
// The arithmetic on the two argument cells, the pair first (also the result).
cell* do_math(int32_t op);

cell* make(cell* prototype, cell* spec, int32_t type);
cell* random(cell* value, bool seed, bool secure, bool only);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* absolute();
cell* add();
cell* divide();
cell* multiply();
cell* negate(cell* number);
cell* remainder();
cell* round(cell* n, cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling, bool half_ceiling);
cell* subtract();
cell* and_();
cell* or_();
cell* xor_();
cell* pick(cell* series, int32_t index, cell* index_cell);
cell* reverse(cell* series, cell* part, cell* skip);
void init();

}  // namespace tav::pair
