// Math natives: the sign and zero tests, max and min over every comparable value, bit shifts,
// hexadecimal issues, trigonometry in degrees or radians, logarithms, powers and square
// roots, the NaN test and the size of a file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "datatypes/actions.hpp"
#include "datatypes/any_string.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/string.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/heap.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_negative_p = 49, index_positive_p = 50, index_max = 51, index_min = 52, index_shift = 53,
                   index_to_hex = 54, index_sine = 55, index_cosine = 56, index_tangent = 57, index_arcsine = 58,
                   index_arccosine = 59, index_arctangent = 60, index_arctangent2 = 61, index_nan_p = 62,
                   index_log_2 = 63, index_log_10 = 64, index_log_e = 65, index_exp = 66, index_square_root = 67,
                   index_sign_p = 97, index_zero_p = 100, index_size_p = 101;

constexpr double pi = 3.141592653589793;

// ---- Shared argument readers ----------------------------------------------------------------

// Argument 0 as a float!: an integer! gets the same value, a percent! keeps its fraction.
double float_arg() {
  cell& value = *stack::argument(0);
  if (value.type() == TYPE_INTEGER) float_::make_at(value, integer::get(value));
  set_type(value, TYPE_FLOAT);
  return float_::get(value);
}

double float_of(const cell& value) {
  return value.type() == TYPE_INTEGER ? integer::get(value) : float_::get(value);
}

// An integer!'s value, or a float truncated toward zero; NaN, infinities and values outside the
// 32-bit range raise script/type-limit rather than wrap.
int32_t integer_of(const cell& value) {
  if (value.type() == TYPE_INTEGER) return integer::get(value);
  if (integer::float_out_of_range_p(value))
    fire(error_id::script_type_limit, scalar_support::datatype_of(TYPE_INTEGER));
  return static_cast<int32_t>(float_::get(value));
}

bool present(const int32_t* parameters, uint32_t refinement) { return parameters[refinement] >= 0; }

void box_float(double x) {
  cell result;
  float_::make_at(result, x);
  stack::set_last_keep(result);
}

// ---- Sign tests -----------------------------------------------------------------------------

[[gnu::cold, noreturn]] void sign_arg_error(uint32_t index, const cell& value) {
  fire(error_id::script_expect_arg, *word::load(word_of(index)), scalar_support::datatype_of(value.type()),
       *word::load("number"));
}

// -1, 0 or 1; a NaN has sign 0.
int32_t sign_of(uint32_t index, const cell& value) {
  switch (value.type()) {
    case TYPE_INTEGER: {
      const int32_t n = integer::get(value);
      return (n > 0) - (n < 0);
    }
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: {
      const double x = float_::get(value);
      return (x > 0.0) - (x < 0.0);
    }
    case TYPE_MONEY: return handoff::need(handoff::money_sign)(value);
    default: sign_arg_error(index, value);
  }
}

// ---- max and min ----------------------------------------------------------------------------

bool number_p(uint8_t type) { return type == TYPE_INTEGER || type == TYPE_FLOAT || type == TYPE_PERCENT; }

bool nan_number_p(const cell& value) {
  return (value.type() == TYPE_FLOAT || value.type() == TYPE_PERCENT) && float_::nan_p(float_::get(value));
}

bool compound_p(uint8_t type) {
  return type == TYPE_PAIR || type == TYPE_POINT2D || type == TYPE_POINT3D || type == TYPE_TUPLE;
}

template <class T>
T pick_greater_lesser(T own, T other, bool max) {
  return max ? (other > own ? other : own) : (other < own ? other : own);
}

// A point's component against the other side's: a NaN there wins.
float point_component(float own, float other, bool max) {
  return float_::nan32_p(other) ? other : pick_greater_lesser(own, other, max);
}

uint32_t point_size(uint8_t type) { return type == TYPE_POINT3D ? 3 : 2; }

cell pair_as_point2D(const cell& pair) {
  cell point = pair;
  point2D::make_at(point, static_cast<float>(pair::x_of(pair)), static_cast<float>(pair::y_of(pair)));
  return point;
}

// Each component of the point against the number, or against the same component of a point of
// the same kind.
cell point_max_min(const cell& point, const cell& other, bool max) {
  cell result = point;
  const bool per_component = other.type() == point.type();
  const float number = per_component ? 0.0f : point2D::get_float32(other);
  for (uint32_t i = 0; i < point_size(point.type()); ++i) {
    const float theirs = per_component ? point::component(other, i) : number;
    point::set_component(result, i, point_component(point::component(point, i), theirs, max));
  }
  return result;
}

cell pair_max_min(const cell& pair, const cell& other, bool max) {
  cell result = pair;
  if (other.type() == TYPE_PAIR) {
    pair::make_at(result, pick_greater_lesser(pair::x_of(pair), pair::x_of(other), max),
                  pick_greater_lesser(pair::y_of(pair), pair::y_of(other), max));
    return result;
  }
  if (other.type() == TYPE_POINT2D) return point_max_min(pair_as_point2D(pair), other, max);
  if (other.type() == TYPE_FLOAT && integer::float_out_of_range_p(other)) {
    cell point;
    const float both = point2D::get_float32(other);
    point2D::make_at(point, both, both);
    return pair_max_min(pair, point, max);
  }
  const int32_t number = integer_of(other);
  pair::make_at(result, pick_greater_lesser(pair::x_of(pair), number, max),
                pick_greater_lesser(pair::y_of(pair), number, max));
  return result;
}

cell tuple_max_min(const cell& tuple, const cell& other, bool max) {
  cell result = tuple;
  uint8_t* bytes = tuple::bytes_of(result);
  const uint32_t length = tuple::length_of(tuple);
  if (other.type() == TYPE_TUPLE) {
    for (uint32_t i = 0; i < length; ++i) bytes[i] = pick_greater_lesser(bytes[i], tuple::bytes_of(other)[i], max);
    return result;
  }
  const auto number = static_cast<uint8_t>(std::clamp(integer_of(other), 0, 255));
  for (uint32_t i = 0; i < length; ++i) bytes[i] = pick_greater_lesser(bytes[i], number, max);
  return result;
}

// True with `result` set when the pair of types has a component-wise rule; `first` is the
// compound value.
bool component_max_min(const cell& first, const cell& other, bool max, cell& result) {
  const uint8_t type = first.type(), other_type = other.type();
  const bool scalar = other_type == TYPE_INTEGER || other_type == TYPE_FLOAT;
  switch (type) {
    case TYPE_PAIR:
      if (!scalar && other_type != TYPE_PAIR && other_type != TYPE_POINT2D) return false;
      result = pair_max_min(first, other, max);
      return true;
    case TYPE_POINT2D:
      if (other_type == TYPE_PAIR) {
        result = point_max_min(first, pair_as_point2D(other), max);
        return true;
      }
      [[fallthrough]];
    case TYPE_POINT3D:
      if (!scalar && other_type != type) return false;
      result = point_max_min(first, other, max);
      return true;
    case TYPE_TUPLE:
      if (!scalar && !(other_type == TYPE_TUPLE && tuple::length_of(other) == tuple::length_of(first))) return false;
      result = tuple_max_min(first, other, max);
      return true;
    default: return false;
  }
}

// The greater (max) or lesser value of the first two arguments, left in argument 0.
void max_min_core(bool max) {
  cell* value1 = stack::argument(0);
  cell* value2 = stack::argument(1);
  if (nan_number_p(*value1) && number_p(value2->type())) return;
  if (nan_number_p(*value2) && number_p(value1->type())) {
    *value1 = *value2;
    return;
  }
  cell first = *value1, other = *value2;
  if (compound_p(other.type()) && (first.type() == TYPE_INTEGER || first.type() == TYPE_FLOAT)) std::swap(first, other);
  cell result;
  if (component_max_min(first, other, max, result)) {
    *value1 = result;
    return;
  }
  const bool lesser = actions::compare(value1, value2, actions::op::lesser);
  if (max == lesser) *value1 = *value2;
}

void max_min(uint32_t index, const int32_t* parameters, bool max) {
  check_arguments(index, parameters);
  max_min_core(max);
  stack::keep_result();
}

// ---- Trigonometry ---------------------------------------------------------------------------

// Argument 0 in radians: degrees are first folded by `mode` (2 sine, 1 cosine, 0 tangent).
double trig_arg(const int32_t* parameters, int mode) {
  const double x = float_arg();
  return present(parameters, 1) ? x : normalize_angle(x, mode);
}

void sine_cosine(uint32_t index, const int32_t* parameters, bool sine) {
  check_arguments(index, parameters);
  const double x = trig_arg(parameters, sine ? 2 : 1);
  const double result = sine ? std::sin(x) : std::cos(x);
  box_float(float_::abs(result) < float_::epsilon ? 0.0 : result);
}

double to_degrees(const int32_t* parameters, double radians) {
  return present(parameters, 1) ? radians : radians * 180 / pi;
}

void arc(uint32_t index, const int32_t* parameters, double (*function)(double)) {
  check_arguments(index, parameters);
  box_float(to_degrees(parameters, function(float_arg())));
}

// ---- Logarithms and powers ------------------------------------------------------------------

void float_function(uint32_t index, const int32_t* parameters, double (*function)(double)) {
  check_arguments(index, parameters);
  box_float(function(float_arg()));
}

double log_2(double x) { return std::log(x) / 0.6931471805599453; }
double exp_e(double x) { return std::pow(2.718281828459045, x); }
double log_e(double x) { return std::log(x); }
double log_10(double x) { return std::log10(x); }
double square_root(double x) { return std::sqrt(x); }
double arcsine(double x) { return std::asin(x); }
double arccosine(double x) { return std::acos(x); }
double arctangent(double x) { return std::atan(x); }

// ---- zero? ----------------------------------------------------------------------------------

bool zero_core(const cell& value) {
  switch (value.type()) {
    case TYPE_MONEY: return handoff::need(handoff::money_zero_p)(value);
    case TYPE_CHAR:
    case TYPE_INTEGER: return value.payload2 == 0;
    case TYPE_TIME:
    case TYPE_PERCENT:
    case TYPE_FLOAT: return float_::get(value) == 0.0;
    case TYPE_PAIR: return pair::x_of(value) == 0 && pair::y_of(value) == 0;
    case TYPE_POINT2D:
    case TYPE_POINT3D:
      for (uint32_t i = 0; i < point_size(value.type()); ++i)
        if (point::component(value, i) != 0.0f) return false;
      return true;
    case TYPE_TUPLE: return tuple::zero_p(value);
    default: return false;
  }
}

// ---- size? ----------------------------------------------------------------------------------

// The size of the file in bytes, or none for a directory, a file that cannot be opened or one
// whose size cannot be read. A FIFO is opened without waiting for a writer.
cell file_size(cell& file) {
  const char* path = file::to_os_path(file);
  struct stat info;
  if (::stat(path, &info) == 0 && S_ISDIR(info.st_mode)) return none::value;
  const int descriptor = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return none::value;
  const bool read = ::fstat(descriptor, &info) == 0;
  ::close(descriptor);
  if (!read || S_ISDIR(info.st_mode)) return none::value;
  if (info.st_size > INT32_MAX) fire(error_id::script_type_limit, scalar_support::datatype_of(TYPE_INTEGER));
  return scalar::integer(static_cast<int32_t>(info.st_size));
}

}  // namespace

void negative_p_stack(const int32_t* parameters) {
  check_arguments(index_negative_p, parameters);
  stack::set_last_keep(logic::value_of(sign_of(index_negative_p, *stack::argument(0)) < 0));
}

void positive_p_stack(const int32_t* parameters) {
  check_arguments(index_positive_p, parameters);
  stack::set_last_keep(logic::value_of(sign_of(index_positive_p, *stack::argument(0)) > 0));
}

void sign_p_stack(const int32_t* parameters) {
  check_arguments(index_sign_p, parameters);
  stack::set_last_keep(scalar::integer(sign_of(index_sign_p, *stack::argument(0))));
}

void max_stack(const int32_t* parameters) { max_min(index_max, parameters, true); }
void min_stack(const int32_t* parameters) { max_min(index_min, parameters, false); }

// shift data bits /left /logical: never a C++ shift by 32 or more, and the left and logical
// shifts work on the unsigned bits.
void shift_stack(const int32_t* parameters) {
  check_arguments(index_shift, parameters);
  const int32_t data = integer::get(*stack::argument(0));
  const int32_t bits = std::max(integer::get(*stack::argument(1)), 0);
  const auto unsigned_data = static_cast<uint32_t>(data);
  int32_t result;
  if (present(parameters, 1))
    result = bits > 31 ? 0 : static_cast<int32_t>(unsigned_data << bits);
  else if (present(parameters, 2))
    result = bits > 31 ? 0 : static_cast<int32_t>(unsigned_data >> bits);
  else
    result = bits > 31 ? (data < 0 ? -1 : 0) : data >> bits;
  stack::set_last_keep(scalar::integer(result));
}

// to-hex value /size length: the last `length` of the 8 upper-case digits, as an issue!.
void to_hex_stack(const int32_t* parameters) {
  check_arguments(index_to_hex, parameters);
  const char* digits = string::to_hex(integer::get(*stack::argument(0)), false);
  if (present(parameters, 1)) {
    const cell& length = *stack::argument(static_cast<uint32_t>(parameters[1]));
    const int32_t keep = integer::get(length);
    if (keep <= 0) fire(error_id::script_invalid_arg, length);
    digits += 8 - std::min(keep, 8);
  }
  cell result;
  issue::make_at(result, digits);
  stack::set_last_keep(result);
}

void sine_stack(const int32_t* parameters) { sine_cosine(index_sine, parameters, true); }
void cosine_stack(const int32_t* parameters) { sine_cosine(index_cosine, parameters, false); }

void tangent_stack(const int32_t* parameters) {
  check_arguments(index_tangent, parameters);
  const double x = trig_arg(parameters, 0);
  if (x == pi / 2)
    box_float(std::numeric_limits<double>::infinity());
  else if (x == -pi / 2)
    box_float(-std::numeric_limits<double>::infinity());
  else
    box_float(std::tan(x));
}

void arcsine_stack(const int32_t* parameters) { arc(index_arcsine, parameters, arcsine); }
void arccosine_stack(const int32_t* parameters) { arc(index_arccosine, parameters, arccosine); }
void arctangent_stack(const int32_t* parameters) { arc(index_arctangent, parameters, arctangent); }

void arctangent2_stack(const int32_t* parameters) {
  check_arguments(index_arctangent2, parameters);
  const double y = float_of(*stack::argument(0)), x = float_of(*stack::argument(1));
  box_float(to_degrees(parameters, std::atan2(y, x)));
}

void nan_p_stack(const int32_t* parameters) {
  check_arguments(index_nan_p, parameters);
  const cell& value = *stack::argument(0);
  stack::set_last_keep(logic::value_of(value.type() != TYPE_INTEGER && float_::nan_p(float_::get(value))));
}

void log_2_stack(const int32_t* parameters) { float_function(index_log_2, parameters, log_2); }
void log_10_stack(const int32_t* parameters) { float_function(index_log_10, parameters, log_10); }
void log_e_stack(const int32_t* parameters) { float_function(index_log_e, parameters, log_e); }
void exp_stack(const int32_t* parameters) { float_function(index_exp, parameters, exp_e); }
void square_root_stack(const int32_t* parameters) { float_function(index_square_root, parameters, square_root); }

void zero_p_stack(const int32_t* parameters) {
  check_arguments(index_zero_p, parameters);
  stack::set_last_keep(logic::value_of(zero_core(*stack::argument(0))));
}

void size_p_stack(const int32_t* parameters) {
  check_arguments(index_size_p, parameters);
  stack::set_last_keep(file_size(*stack::argument(0)));
}

}  // namespace tav::natives
