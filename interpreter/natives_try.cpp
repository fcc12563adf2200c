// try, the case-changing natives uppercase and lowercase, and the compound constructors
// as-pair, as-point2D, as-point3D and as-money.
#include <cmath>

#include "datatypes/error.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/money.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/interpreter_internal.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "runtime/case_folding.hpp"
#include "runtime/errors.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_try = 70, index_uppercase = 71, index_lowercase = 72, index_as_pair = 73,
                   index_as_point2d = 74, index_as_point3d = 75, index_as_money = 76;

cell* refinement_argument(int32_t position) {
  return position < 0 ? nullptr : stack::argument(static_cast<uint32_t>(position));
}

// The error a try stopped becomes its result; /keep records the calls it was raised in.
void keep_error(bool keep) {
  const cell error = last_fired.value;
  if (keep && error.type() == TYPE_ERROR) error::capture_stack(error, true);
  stack::set_last_keep(error);
}

void change_case(const int32_t* parameters, bool to_upper) {
  cell* part = refinement_argument(parameters[1]);
  // A float limit counts whole characters.
  if (part && (part->type() == TYPE_FLOAT || part->type() == TYPE_PERCENT)) {
    const double limit = float_::get(*part);
    *part = scalar::integer(std::isnan(limit)        ? 0
                            : limit >= 2147483647.0  ? 2147483647
                            : limit <= -2147483648.0 ? -2147483647 - 1
                                                     : static_cast<int32_t>(limit));
  }
  case_folding::change_case(*stack::argument(0), part, to_upper);
  stack::keep_result();
}

// A coordinate of as-pair: an integer as it is, a float truncated toward zero; one that is not
// finite, or whose whole part does not fit in 32 bits, is an invalid argument.
int32_t pair_coordinate(const cell& value) {
  if (value.type() != TYPE_FLOAT) return scalar::integer_value(value);
  const double whole = std::trunc(float_::get(value));
  if (!(whole >= -2147483648.0 && whole <= 2147483647.0)) fire(error_id::script_invalid_arg, value);
  return static_cast<int32_t>(whole);
}

float point_coordinate(const cell& value) {
  if (value.type() == TYPE_FLOAT) return static_cast<float>(float_::get(value));
  return static_cast<float>(scalar::integer_value(value));
}

}  // namespace

// try block /all /keep: the block's value, or the error! that stopped it.
void try_stack(const int32_t* parameters) {
  check_arguments(index_try, parameters);
  const bool all = parameters[1] >= 0, keep = parameters[2] >= 0;
  const cell block = *stack::argument(0);
  if (stack::catch_error(words::try_, all, [&] { interpreter::do_block(block, true); })) return keep_error(keep);
  if (stack::pending.code) return;
  stack::set_last_keep(*stack::last_pushed());
}

void try_error_stack(bool keep) {
  const cell error = *stack::last_pushed();
  if (keep && error.type() == TYPE_ERROR) error::capture_stack(error, true);
  const uint32_t throw_symbol = word::symbol_of(words::throw_);
  if (error.type() == TYPE_ERROR && interpreter::detail::same_symbol_p(error::get_type(error), throw_symbol) &&
      interpreter::detail::same_symbol_p(error::get_id(error), throw_symbol))
    stack::throw_error();
  stack::set_last_keep(error);
}

// uppercase string /part limit
void uppercase_stack(const int32_t* parameters) {
  check_arguments(index_uppercase, parameters);
  change_case(parameters, true);
}

// lowercase string /part limit
void lowercase_stack(const int32_t* parameters) {
  check_arguments(index_lowercase, parameters);
  change_case(parameters, false);
}

void as_pair_stack(const int32_t* parameters) {
  check_arguments(index_as_pair, parameters);
  const int32_t x = pair_coordinate(*stack::argument(0)), y = pair_coordinate(*stack::argument(1));
  cell result = none::value;
  pair::make_at(result, x, y);
  stack::set_last_keep(result);
}

void as_point2d_stack(const int32_t* parameters) {
  check_arguments(index_as_point2d, parameters);
  cell result = none::value;
  point2D::make_at(result, point_coordinate(*stack::argument(0)), point_coordinate(*stack::argument(1)));
  stack::set_last_keep(result);
}

void as_point3d_stack(const int32_t* parameters) {
  check_arguments(index_as_point3d, parameters);
  cell result = none::value;
  point3D::make_at(result, point_coordinate(*stack::argument(0)), point_coordinate(*stack::argument(1)),
                   point_coordinate(*stack::argument(2)));
  stack::set_last_keep(result);
}

// as-money currency amount: the currency must be one the locale lists.
void as_money_stack(const int32_t* parameters) {
  check_arguments(index_as_money, parameters);
  const cell& currency = *stack::argument(0);
  int32_t index = money::currency_index(word::symbol_of(currency));
  if (index < 0) fire(error_id::script_bad_denom, currency);
  const cell& amount = *stack::argument(1);
  cell result = amount.type() == TYPE_INTEGER ? money::make_integer(integer::get(amount))
                                              : money::make_float(float_::get(amount), true);
  money::set_currency(result, static_cast<uint32_t>(index));
  stack::set_last_keep(result);
}

}  // namespace tav::natives
