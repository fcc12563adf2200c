// point2D! and point3D!: points of 32-bit floats written (x, y) and (x, y, z), one family
// of actions for two and three components; also the floating fallback of pair! arithmetic.
#pragma once
#include <cstdint>
#include <cstring>

#include "runtime/cell.hpp"

namespace tav {

namespace point {
// Component i (0 x, 1 y, 2 z) of a point cell: binary32 images in payloads 1 to 3.
inline float component(const cell& value, uint32_t i) {
  uint32_t image = i == 0 ? value.payload1 : i == 1 ? value.payload2 : value.payload3;
  float result;
  std::memcpy(&result, &image, sizeof result);
  return result;
}
inline void set_component(cell& value, uint32_t i, float x) {
  uint32_t image;
  std::memcpy(&image, &x, sizeof image);
  (i == 0 ? value.payload1 : i == 1 ? value.payload2 : value.payload3) = image;
}
}  // namespace point

namespace point2D {

cell* make_at(cell& target, float x, float y);  // the type byte set, flags kept
cell* push(float x, float y);
// A float!'s double rounded to 32 bits, or an integer! converted.
float get_float32(const cell& value);
// 1 for x, 2 for y. Another word raises script/cannot-use when `second` is a point2D!, else
// script/invalid-path naming `second` as the path.
int32_t get_named_index(const cell& word, const cell& second);
// The arithmetic on the two argument cells, the point first (also the result).
cell* do_math(int32_t op);
// The compare action's handler: `op` as the compare action gives it.
int32_t compare(cell* value1, cell* value2, int32_t op);
// Registers point2D! with its actions.
void init();

}  // namespace point2D

namespace point3D {

cell* make_at(cell& target, float x, float y, float z);
cell* push(float x, float y, float z);
float get_float32(const cell& value);
// 1, 2, 3 for x, y, z; other words as for point2D!.
int32_t get_named_index(const cell& word, const cell& second);
cell* do_math(int32_t op);
// Registers point3D! with its actions.
void init();

}  // namespace point3D

}  // namespace tav
