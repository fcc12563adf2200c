// money! arithmetic: exact sums, differences, products, quotients and remainders of the
// 22-digit amounts (computed on the digits as one integer, truncating toward zero), the mixed
// arithmetic of money with integers and floats, and rounding.
#include <cmath>

#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/money.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"

namespace tav::money {
namespace {

using scalar_support::datatype_of;

[[gnu::cold, noreturn]] void type_limit() { fire(error_id::script_type_limit, datatype_of(TYPE_MONEY)); }

// Sign classes of a pair of operands: (sign1 + 1) * 16 + (sign2 + 1).
constexpr int32_t both_negative = 0, negative_positive = 2, first_zero_low = 16, both_zero = 17,
                  first_zero_high = 18, positive_negative = 32, both_positive = 34;

int32_t sign_class(const cell& a, const cell& b) { return (sign_p(a) + 1) * 16 + (sign_p(b) + 1); }
bool second_zero_p(int32_t c) { return c == 1 || c == both_zero || c == 33; }
bool first_zero_p(int32_t c) { return c == first_zero_low || c == both_zero || c == first_zero_high; }

void copy_amount(cell& a, const cell& b) {
  set_digits(a, digits(b));
  set_sign(a, get_sign(b));
}

// The money value of an operand; other types raise script/invalid-type.
cell operand(const cell& value) {
  switch (value.type()) {
    case TYPE_MONEY: return value;
    case TYPE_INTEGER: return make_integer(integer::get(value));
    case TYPE_FLOAT:
    case TYPE_PERCENT: return make_float(float_::get(value), false);
    default: fire(error_id::script_invalid_type, datatype_of(value.type()));
  }
}

// A money amount no larger than the money range, for rounding scales.
cell scale_of(const cell* scale) {
  if (!scale) return make_integer(1);
  switch (scale->type()) {
    case TYPE_MONEY: return *scale;
    case TYPE_INTEGER: return make_integer(integer::get(*scale));
    case TYPE_FLOAT: return make_float(float_::get(*scale), true);
    default: fire(error_id::script_not_related, datatype_of(scale->type()), stack::caller_word());
  }
}

}  // namespace

void add_amounts(cell& a, const cell& b) {
  int32_t c = sign_class(a, b);
  if (second_zero_p(c)) return;
  if (first_zero_p(c)) return copy_amount(a, b);
  cell magnitude = b;
  if (c == negative_positive) {
    // -x + y = y - x
    cell minuend = b;
    clear_sign(a);
    subtract_amounts(minuend, a);
    return copy_amount(a, minuend);
  }
  if (c == positive_negative) {
    clear_sign(magnitude);
    return subtract_amounts(a, magnitude);
  }
  if (get_digit(digits(a), 1) + get_digit(digits(b), 1) >= 10) type_limit();
  wide sum = get_amount(a) + get_amount(b);
  if (sum >= digit_limit) type_limit();
  set_amount(a, sum);
}

void subtract_amounts(cell& a, const cell& b) {
  int32_t c = sign_class(a, b);
  if (c == 1 || c == 33) return;
  if (first_zero_p(c)) {
    copy_amount(a, b);
    return flip_sign(a);
  }
  cell magnitude = b;
  clear_sign(magnitude);
  if (c == negative_positive) {
    clear_sign(a);
    add_amounts(a, magnitude);
    set_sign(a, 1);
    return;
  }
  if (c == positive_negative) return add_amounts(a, magnitude);
  bool less = compare_amounts(a, b) < 0;
  wide x = get_amount(a), y = get_amount(b);
  set_amount(a, x >= y ? x - y : y - x);
  set_sign(a, less);
}

void multiply_amounts(cell& a, const cell& b) {
  int32_t c = sign_class(a, b);
  if (c == 1 || c == 33) return copy_amount(a, b);
  if (first_zero_p(c)) return;
  bool negative = c == negative_positive || c == positive_negative;
  if (significant_digits(digits(a)) + significant_digits(digits(b)) > 28) type_limit();
  // Below 10^28 after the check: the digits of the exact product, ten of them decimals.
  wide product = get_amount(a) * get_amount(b);
  if (product >= digit_limit * scale) type_limit();
  wide result = product / scale;
  if (result == 0) type_limit();
  set_amount(a, result);
  set_sign(a, negative);
}

void divide_amounts(cell& a, const cell& b, bool remainder) {
  int32_t c = sign_class(a, b);
  if (second_zero_p(c)) fire(error_id::math_zero_divide);
  if (first_zero_p(c)) return;
  bool negative = remainder ? get_sign(a) : c == negative_positive || c == positive_negative;
  wide x = get_amount(a), y = get_amount(b);
  if (remainder) {
    set_amount(a, x % y);
    set_sign(a, negative);
    return;
  }
  // Refuses some quotients that would fit by one digit, as the digit loops do.
  if (significant_digits(digits(a)) + 6 - significant_digits(digits(b)) > digit_count) type_limit();
  wide quotient = x * scale / y;
  if (quotient == 0 || quotient >= digit_limit) type_limit();
  set_amount(a, quotient);
  set_sign(a, negative);
}

void do_op(cell& a, const cell& b, int32_t op) {
  switch (op) {
    case op::add: return add_amounts(a, b);
    case op::subtract: return subtract_amounts(a, b);
    case op::multiply: return multiply_amounts(a, b);
    case op::divide: return divide_amounts(a, b, false);
    default: return divide_amounts(a, b, true);
  }
}

cell* do_math(int32_t math_op) {
  cell* left = stack::argument(0);
  cell* right = stack::argument(1);
  bool left_money = left->type() == TYPE_MONEY, right_money = right->type() == TYPE_MONEY;
  if (math_op < op::add || math_op > op::remainder) fire(error_id::script_invalid_type, datatype_of(left->type()));
  if ((math_op == op::multiply && left_money && right_money) ||
      ((math_op == op::divide || math_op == op::remainder) && !left_money && right_money))
    fire(error_id::script_invalid_type, datatype_of(left->type()));
  cell a = operand(*left), b = operand(*right);
  if (!same_currency_p(a, b, false)) fire(error_id::script_wrong_denom, a, b);
  uint32_t currency = get_currency(b) ? get_currency(b) : get_currency(a);
  do_op(a, b, math_op);
  if (math_op == op::divide && left_money && right_money) return stack::set_last(scalar::float_cell(to_float(a)));
  set_currency(a, currency);
  return stack::set_last(a);
}

cell* add() { return do_math(op::add); }
cell* divide() { return do_math(op::divide); }
cell* multiply() { return do_math(op::multiply); }
cell* remainder() { return do_math(op::remainder); }
cell* subtract() { return do_math(op::subtract); }

cell* round(cell* n, cell* scale_cell, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling) {
  if (zero_p(*n)) return n;
  cell s = scale_of(scale_cell);
  clear_sign(s);
  if (zero_p(s)) return n;
  cell m = *n;
  clear_sign(m);
  cell r = m;
  divide_amounts(r, s, true);
  // A multiple of the scale stays as it is, whichever way it would round.
  if (zero_p(r)) return n;
  cell u = s;
  subtract_amounts(u, r);
  bool tie = compare_amounts(r, u) == 0;
  bool negative = get_sign(*n);
  bool cut;
  if (down)
    cut = true;
  else if (floor)
    cut = !negative;
  else if (ceiling)
    cut = negative;
  else if (even && tie)
    cut = (get_amount(m) - get_amount(r)) / get_amount(s) % 2 == 0;  // the lower multiple is even
  else if (half_down && tie)
    cut = true;
  else if (half_ceiling && tie)
    cut = negative;
  else
    cut = compare_amounts(r, u) < 0;
  if (cut)
    subtract_amounts(m, r);
  else
    add_amounts(m, u);
  set_sign(m, negative);
  set_digits(*n, digits(m));
  set_sign(*n, negative);
  return n;
}

}  // namespace tav::money
