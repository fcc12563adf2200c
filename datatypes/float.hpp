// float! and percent!: the 64-bit double of the language, the numeric hub that decides the
// type of mixed arithmetic, the tolerant comparisons, rounding and the text of doubles.
#pragma once
#include <cstdint>

#include "datatypes/types.hpp"
#include "runtime/cell.hpp"

namespace tav {

namespace float_ {

inline constexpr double largest = 1.7976931348623157e308;
inline constexpr double epsilon = 2.220446049250313e-16;  // 2^-52

// float!, percent! and time! cells: the low half of the double in payload 2, the high half in 3.
double get(const cell& value);
void make_at(cell& target, double x, uint8_t type = TYPE_FLOAT);
cell* new_in_block(cell& block, uint32_t high, uint32_t low);
cell* push(double x);
cell* push64(uint32_t high, uint32_t low);
cell* box(double x);  // into the result slot
// Keeps the header: a cell of another type carrying a double for the arithmetic.
void set(cell& target, double x);

uint64_t bits_of(double x);
double from_bits(uint64_t bits);
double abs(double x);  // the sign bit cleared, also of -0.0 and NaNs
bool nan_p(double x);
bool nan32_p(float x);
bool special_p(double x);  // an infinity or a NaN
// Within 2^-52 of each other, or at most 10 units in the last place apart; never for a NaN.
bool almost_equal_p(double a, double b);
bool almost_equal32_p(float a, float b);

// Truncation toward zero to 32 bits where no range check is wanted: NaN and values outside
// the range give -2147483648.
int32_t truncate_to_int32(double x);
// Whether x truncated toward zero fits in 32 bits (never for a NaN). Callers that convert a
// double to an integer raise their own range error when it does not.
bool int32_range_p(double x);

// The pure arithmetic behind every float-based type; op codes 0 to 4 (others raise
// script/cannot-use). Remainder by an infinity keeps a finite dividend.
double do_math_op(double x, double y, int32_t op);
// The mixed arithmetic on the two argument cells: the left one a float!, percent!, time! or
// integer!. Answers the result slot.
cell* do_math(int32_t op);

// The text of a double as printed outside mold of float!; kinds: 0 32-bit vector float,
// 1 float!, 2 32-bit vector percent, 3 percent!, 4 seconds of a time!, 5 point coordinate
// (percent kinds take the value times 100). A static buffer, valid until the next call.
const char* format(double x, int32_t kind);
// Pretty zeros and the re-format that hides binary noise; on at start.
extern bool pretty_print;
// Switched with system/options/float/full?; nothing in the formatter reads it.
extern bool full_support;

cell* make(cell* prototype, cell* spec, int32_t type);
cell* random(cell* value, bool seed, bool secure, bool only);
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
// Rounds n's double in place to a multiple of the step (1, 0.01 for percent!, or |scale|).
cell* round(cell* n, cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling, bool half_ceiling);
cell* subtract();
bool even_p(cell* number);
bool odd_p(cell* number);
void init();

}  // namespace float_

namespace percent {

void make_at64(cell& target, uint32_t high, uint32_t low);
cell* new_in_block(cell& block, uint32_t high, uint32_t low);

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
void init();

}  // namespace percent

}  // namespace tav
