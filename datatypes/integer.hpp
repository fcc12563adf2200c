// integer! and char!: the 32-bit integer with its overflow and division rules, and the code
// point built on it.
#pragma once
#include <cstdint>

#include "datatypes/types.hpp"
#include "runtime/cell.hpp"

namespace tav {

// Arithmetic op codes shared by every number type.
namespace math_op {
inline constexpr int32_t add = 0, subtract = 1, multiply = 2, divide = 3, remainder = 4, or_ = 5, and_ = 6,
                         xor_ = 7;
}  // namespace math_op

namespace integer {

// integer! cell: the signed value in payload 2.
inline int32_t get(const cell& value) { return static_cast<int32_t>(value.payload2); }
void make_at(cell& target, int32_t value);
cell* make_in(cell& block, int32_t value);
cell* push(int32_t value);
cell* box(int32_t value);  // into the result slot
// The first argument of the current call; the safe form answers 0 for another type.
int32_t get_arg();
int32_t get_arg_safe();

// Decimal text in a static buffer, valid until the next call.
const char* to_c_string(int32_t value);
int32_t sign(int32_t value);
// The most negative value raises math/overflow.
int32_t abs(int32_t value);
// For a float! (or percent!) cell: above 2147483647.0, below -2147483648.0, or NaN.
bool float_out_of_range_p(const cell& value);
// The first (up to 4) bytes from a binary!'s head, big-endian.
int32_t from_binary(const cell& binary);
// An issue!'s spelling as hexadecimal: at most 8 digits, else script/invalid-data.
int32_t from_issue(const cell& issue);
int32_t from_money(const cell& money);

// The arithmetic core. With a result cell, add, subtract and multiply past 32 bits and a
// divide that is not exact make it a float! of the exact result (answering 0), and an integer
// result is also stored in its payload 2; without one an overflow raises math/overflow and a
// divide truncates. Divide and remainder raise math/zero-divide, and math/overflow for the
// most negative value by -1.
int32_t do_math_op(int32_t op, int32_t left, int32_t right, cell* result);
// The action-level arithmetic on the two argument cells; answers the result slot.
cell* do_math(int32_t op);
// base ^ exponent (exponent >= 0) by squaring; an overflow throws code::integer_power_overflow.
int32_t power_core(int32_t base, int32_t exponent);

cell* make(cell* prototype, cell* spec, int32_t type);
cell* random(cell* value, bool seed, bool secure, bool only);
cell* to(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* absolute();
cell* add();
cell* divide();
cell* multiply();
cell* negate(cell* number);
cell* power();
cell* remainder();
cell* round(cell* n, cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling, bool half_ceiling);
cell* subtract();
bool even_p(cell* number);
bool odd_p(cell* number);
cell* and_();
cell* complement(cell* value);
cell* or_();
cell* xor_();
void init();

}  // namespace integer

namespace char_ {

inline constexpr uint32_t max_code_point = 0x10FFFF;

// char! cell: the code point in payload 2.
inline uint32_t get(const cell& value) { return value.payload2; }
inline cell value_of(uint32_t cp) { return cell{TYPE_CHAR, 0, cp, 0}; }
cell* make_in(cell& block, uint32_t cp);
cell* push(uint32_t cp);

// The arithmetic on the two argument cells, the char! first; answers the result slot.
cell* do_math(int32_t op);

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
void init();

}  // namespace char_

}  // namespace tav
