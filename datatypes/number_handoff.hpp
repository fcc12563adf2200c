// Number hand-offs: what integer!, char!, float! and percent! ask of modules built apart from
// them (the lexer's number readers; the arithmetic, comparison and conversions of pair!,
// point, tuple!, date!, money! and vector! values). Each module installs its entries at start;
// a number operation that needs an entry not installed yet raises internal/not-done.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::handoff {

// ---- Number text ----------------------------------------------------------------------------

// A number read from `count` units of `unit` bytes (1, 2 or 4) at `start`; `error` stays 0 on
// success and becomes non-zero when the text is not such a number.
using integer_reader = int32_t (*)(const void* start, int32_t count, int32_t unit, int32_t* error);
using float_reader = double (*)(const void* start, int32_t count, int32_t unit, int32_t* error);
// The first value the lexer loads from a text cell, written to `first`: unset! when the text
// holds none, a value of no number type when the lexer stopped before the text's end.
using text_scanner = void (*)(const cell& text, cell& first);

extern integer_reader string_to_integer;
extern float_reader string_to_float;
extern text_scanner transcode_first;
// A money! read from a text cell as a money literal, or unset! when the text is not one.
using money_reader = cell (*)(const cell& text);
extern money_reader string_to_money;

// ---- Arithmetic with other types ------------------------------------------------------------

// The arithmetic of the type on the two argument cells at `stack::arguments`, the value of
// that type first, the number second; op codes 0 add .. 7 xor. Answers the result cell.
using do_math = cell* (*)(int32_t op);
extern do_math pair_do_math;
extern do_math point2d_do_math;
extern do_math point3d_do_math;
extern do_math tuple_do_math;
extern do_math date_do_math;
// Money arithmetic takes the operands in the order given (either may be the money!).
extern do_math money_do_math;
// The element-wise arithmetic of the vector with the scalar, in place; answers the vector.
using vector_math = cell* (*)(cell* vector, cell* scalar, int32_t op);
extern vector_math vector_do_math_op;

// ---- Money and date values ------------------------------------------------------------------

// -1, 0 or 1, or -2 when not comparable; the first cell is a money!.
using money_compare_fn = int32_t (*)(cell* money, cell* other, int32_t op);
extern money_compare_fn money_compare;
using money_from_integer_fn = cell (*)(int32_t value);
extern money_from_integer_fn money_from_integer;
using money_from_float_fn = cell (*)(double value, bool strict);
extern money_from_float_fn money_from_float;
// The integer part (out of the 32-bit range raises the money module's error) and the amount.
using money_to_integer_fn = int32_t (*)(const cell& money);
extern money_to_integer_fn money_to_integer;
using money_to_float_fn = double (*)(const cell& money);
extern money_to_float_fn money_to_float;
// The sign of a money! amount (-1, 0 or 1; a zero amount has sign 0 whatever its flag says)
// and its zero test.
using money_sign_fn = int32_t (*)(const cell& money);
extern money_sign_fn money_sign;
using money_zero_p_fn = bool (*)(const cell& money);
extern money_zero_p_fn money_zero_p;
using date_to_epoch_fn = int32_t (*)(const cell& date);
extern date_to_epoch_fn date_to_epoch;

[[gnu::cold, noreturn]] void not_installed();

// The entry, or internal/not-done when its module has not installed it.
template <class Entry>
Entry need(Entry entry) {
  if (!entry) [[unlikely]] not_installed();
  return entry;
}

}  // namespace tav::handoff
