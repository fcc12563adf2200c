// Rounding of float-based numbers: a double rounded in place to a multiple of a step with
// seven rounding modes, the engine behind round on float!, percent!, integer! and others.
#include <cmath>

#include "datatypes/actions.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/word.hpp"
#include "runtime/errors.hpp"

namespace tav::float_ {
namespace {

[[gnu::cold, noreturn]] void money_scale() {
  cell type;
  datatype::make_at(type, TYPE_MONEY);
  fire(error_id::script_not_related, *word::load("round"), type);
}

// The step read from the scale: an integer! by its value, a float-based scale by its double.
double step_of(const cell& scale) {
  switch (scale.type()) {
    case TYPE_INTEGER: return std::fabs(static_cast<double>(integer::get(scale)));
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: return abs(get(scale));
    case TYPE_MONEY: money_scale();
    default: actions::expect_arg(static_cast<uint32_t>(action_slot::round), scale.type(), "scale");
  }
}

struct modes {
  bool even, down, half_down, floor, ceiling, half_ceiling;
};

// The quotient rounded to a whole number by the first rule that applies; the tie rules
// decide only exact halves.
double rounded(double q, const modes& m) {
  double a = std::fabs(q);
  double h = std::floor(a) + 0.5;
  auto toward = [q](double v) { return q < 0 ? -std::floor(v) : std::floor(v); };
  auto away = [q](double v) { return q < 0 ? -std::ceil(v) : std::ceil(v); };
  if (m.down) return toward(a);
  if (m.floor) return std::floor(q);
  if (m.ceiling) return std::ceil(q);
  if (a > h) return away(a);
  if (a < h) return toward(a);
  if (m.even) return std::fmod(a, 2.0) < 1.0 ? toward(a) : away(a);
  if (m.half_down) return toward(a);
  if (m.half_ceiling) return std::ceil(q);
  return away(a);
}

}  // namespace

cell* round(cell* n, cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling, bool half_ceiling) {
  if (scale && scale->type() == TYPE_MONEY) money_scale();
  double d = get(*n);
  bool percent = n->type() == TYPE_PERCENT;
  double s = percent ? 0.01 : 1.0;
  if (scale) {
    s = step_of(*scale);
    if (percent) s /= 100.0;
  }
  // A step below the precision of d (a zero step too) leaves it as it is.
  if (s <= std::fabs(d) * 0x1p-53) return n;

  modes m{even, down, half_down, floor, ceiling, half_ceiling};
  double result;
  if (s >= 1.0) {
    result = rounded(d / s, m) * s;
    if (std::fabs(result) >= largest) fire(error_id::math_overflow);
  } else {
    int e;
    double mantissa = std::frexp(s, &e);
    double t, q;
    if (e <= -1022) {  // a subnormal step: scale d up first so that nothing underflows
      t = 1.0 / mantissa;
      q = std::ldexp(d, -e) * t;
    } else {
      e = 0;
      t = 1.0 / s;
      q = d * t;
    }
    result = std::ldexp(rounded(q, m) / t, e);
  }

  if (!scale) {
    set(*n, result);
  } else if (scale->type() == TYPE_INTEGER) {
    if (!int32_range_p(result)) fire(error_id::math_overflow);
    integer::make_at(*n, static_cast<int32_t>(result));
  } else {
    make_at(*n, result, scale->type());
  }
  return n;
}

}  // namespace tav::float_
