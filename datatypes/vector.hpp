// vector!: packed numbers of one element type (8-, 16- or 32-bit integers or characters, 32- or
// 64-bit floats or percents), their element readers and writers, and the element-wise
// arithmetic other number types hand over to.
//
// A vector! cell is {35, head index, node, element type}: the element type is char!, integer!,
// float! or percent!; the buffer's unit is the element size in bytes. Elements are
// little-endian and only 4-byte aligned, so they are read and written through memcpy.
#pragma once
#include <cstdint>
#include <cstring>

#include "datatypes/types.hpp"
#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace tav::vector {

inline uint8_t element_type(const cell& vector) { return static_cast<uint8_t>(vector.payload3); }
inline bool float_type_p(uint8_t type) { return type == TYPE_FLOAT || type == TYPE_PERCENT; }

// An integer element sign-extended from its size; a char! element read unsigned, as code
// points are never negative.
inline int32_t read_integer(const uint8_t* p, uint32_t unit, bool chars) {
  switch (unit) {
    case 1: return chars ? int32_t{*p} : int32_t{static_cast<int8_t>(*p)};
    case 2: {
      uint16_t bits;
      std::memcpy(&bits, p, 2);
      return chars ? int32_t{bits} : int32_t{static_cast<int16_t>(bits)};
    }
    default: {
      int32_t value;
      std::memcpy(&value, p, 4);
      return value;
    }
  }
}
// A float element widened to double when it is 32 bits.
inline double read_float(const uint8_t* p, uint32_t unit) {
  if (unit == 8) {
    double value;
    std::memcpy(&value, p, 8);
    return value;
  }
  float value;
  std::memcpy(&value, p, 4);
  return value;
}
// Any element as a double (a percent as its fraction).
inline double read_number(const uint8_t* p, uint32_t unit, uint8_t type) {
  return float_type_p(type) ? read_float(p, unit) : read_integer(p, unit, type == TYPE_CHAR);
}

// The element at the address as a value of the element type.
cell get_value(const uint8_t* address, uint32_t unit, uint8_t type);
// Stores a char! or integer! value's low bits, or a float! or percent! value's double (rounded
// to 32 bits when the unit is 4); any other value raises script/invalid-type.
void set_value(uint8_t* address, const cell& value, uint32_t unit);
// Turns `block` into a new block! holding the elements from the head index.
cell* to_block(const cell& vector, cell& block);
// Turns the cell into an empty vector! with room for `count` elements (the allocator's default
// when 0); a size past 32 bits raises internal/no-memory.
cell* make_at(cell& target, uint32_t count, uint8_t type, uint32_t unit);
// Adds the value (of the element type, else script/invalid-arg) at the tail.
void append_value(cell& vector, const cell& value);
// append_value for every cell of the block from its index.
void append_values(cell& vector, const cell& block);
// Writes the elements from the head index, one space apart; answers the remaining budget.
int32_t form_values(const cell& vector, cell& buffer, bool mold, bool part, int32_t budget);
// Element-wise arithmetic of the vector with a number, in place; op codes 0 add .. 7 xor.
cell* do_math_op(int32_t op, cell* vector, cell* scalar);

cell* make(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* add();
cell* divide();
cell* multiply();
cell* remainder();
cell* subtract();
cell* and_();
cell* or_();
cell* xor_();
// Insert, and append when `append` is true.
cell* insert(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append);
cell* change(cell* series, cell* value, int32_t part, bool only, int32_t dup);
void init();

}  // namespace tav::vector
