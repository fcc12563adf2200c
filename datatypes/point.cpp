// point2D! and point3D!: construction, 32-bit float arithmetic, tolerant comparison,
// rounding, path access and text, written once for two and three components.
#include "datatypes/point.hpp"

#include <cmath>
#include <cstring>
#include <utility>

#include "datatypes/actions.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/random.hpp"
#include "runtime/series.hpp"

namespace tav {
namespace {
namespace family {

using point::component;
using point::set_component;
using scalar_support::datatype_of;
using scalar_support::word_named;

template <uint32_t N>
constexpr uint8_t point_type = N == 2 ? TYPE_POINT2D : TYPE_POINT3D;

// Components past the point's own are zero.
template <uint32_t N>
cell* store(cell& target, const float* c) {
  set_type(target, point_type<N>);
  target.payload3 = 0;
  for (uint32_t i = 0; i < N; ++i) set_component(target, i, c[i]);
  return &target;
}

template <uint32_t N>
cell* push_point(const float* c) {
  cell* slot = stack::push_cell();
  *slot = cell{point_type<N>, 0, 0, 0};
  return store<N>(*slot, c);
}

float get_float32(const cell& value) {
  if (value.type() == TYPE_INTEGER) return static_cast<float>(integer::get(value));
  return static_cast<float>(float_::get(value));
}

bool number_p(uint8_t type) { return type == TYPE_INTEGER || type == TYPE_FLOAT; }

// The component a word names: 1 x, 2 y, 3 z (points of three only); 0 for any other word.
template <uint32_t N>
int32_t component_of_word(const cell& word) {
  if (!plain_word_p(word.type())) return 0;
  uint32_t symbol = symbol::resolve(word::symbol_of(word));
  if (symbol == symbol::resolve(symbols::x)) return 1;
  if (symbol == symbol::resolve(symbols::y)) return 2;
  if (N == 3 && symbol == symbol::resolve(symbols::z)) return 3;
  return 0;
}

template <uint32_t N>
int32_t get_named_index(const cell& word, const cell& second) {
  if (int32_t index = component_of_word<N>(word)) return index;
  if (second.type() == point_type<N>) fire(error_id::script_cannot_use, word, second);
  fire(error_id::script_invalid_path, second, word);
}

[[gnu::cold, noreturn]] void bad_to_arg(int32_t type, const cell& spec) {
  fire(error_id::script_bad_to_arg, datatype_of(static_cast<uint8_t>(type)), spec);
}

template <uint32_t N>
cell* from_block(const cell& spec) {
  series_buffer* buffer = buffer_of(spec.payload2);
  uint32_t count = buffer->count(), head = spec.payload1;
  if (head >= count || count - head < N) fire(error_id::syntax_malconstruct, spec);
  const cell* values = buffer->cells() + head;
  float c[3] = {};
  for (uint32_t i = 0; i < N; ++i) {
    if (!number_p(values[i].type())) fire(error_id::syntax_malconstruct, spec);
    c[i] = get_float32(values[i]);
  }
  return push_point<N>(c);
}

template <uint32_t N>
cell* from_text(const cell& spec, int32_t type) {
  handoff::text_scanner scan = handoff::need(handoff::transcode_first);
  cell* first = stack::push_cell();
  *first = unset::value;
  scan(spec, *first);
  if (first->type() != point_type<N>) bad_to_arg(type, spec);
  return first;
}

template <uint32_t N>
cell* make(cell* spec, int32_t type) {
  float c[3] = {};
  switch (spec->type()) {
    case TYPE_INTEGER:
    case TYPE_FLOAT: {
      float x = get_float32(*spec);
      for (uint32_t i = 0; i < N; ++i) c[i] = x;
      return push_point<N>(c);
    }
    case TYPE_BLOCK: return from_block<N>(*spec);
    case TYPE_PAIR:
      c[0] = static_cast<float>(pair::x_of(*spec));
      c[1] = static_cast<float>(pair::y_of(*spec));
      return push_point<N>(c);
    case TYPE_STRING: return from_text<N>(*spec, type);
    default:
      if (spec->type() == point_type<N>) return spec;
      if (N == 3 && spec->type() == TYPE_POINT2D) {
        c[0] = component(*spec, 0);
        c[1] = component(*spec, 1);
        return push_point<N>(c);
      }
      bad_to_arg(type, *spec);
  }
}

template <uint32_t N>
cell* do_math(int32_t op) {
  cell* left = stack::argument(0);
  cell* right = stack::argument(1);
  float r[3] = {};
  uint8_t type = right->type();
  if (type == point_type<N>) {
    for (uint32_t i = 0; i < N; ++i) r[i] = component(*right, i);
  } else if (N == 2 && type == TYPE_PAIR) {
    r[0] = static_cast<float>(pair::x_of(*right));
    r[1] = static_cast<float>(pair::y_of(*right));
  } else if (type == TYPE_INTEGER) {
    for (uint32_t i = 0; i < N; ++i) r[i] = static_cast<float>(integer::get(*right));
  } else if (type == TYPE_FLOAT || type == TYPE_PERCENT) {
    float f = static_cast<float>(float_::get(*right));
    if (op == math_op::multiply || op == math_op::divide) {
      for (uint32_t i = 0; i < N; ++i) {
        double x = component(*left, i);
        set_component(*left, i, static_cast<float>(op == math_op::multiply ? x * f : x / f));
      }
      return left;
    }
    for (uint32_t i = 0; i < N; ++i) r[i] = f;
  } else {
    fire(error_id::script_invalid_type, datatype_of(type));
  }
  for (uint32_t i = 0; i < N; ++i)
    set_component(*left, i, static_cast<float>(float_::do_math_op(component(*left, i), r[i], op)));
  return left;
}

uint32_t image_of(float x) {
  uint32_t image;
  std::memcpy(&image, &x, sizeof image);
  return image;
}

template <uint32_t N>
int32_t compare(cell* value1, cell* value2, int32_t op) {
  cell converted;
  if (N == 2 && value2->type() == TYPE_PAIR) {
    float c[3] = {static_cast<float>(pair::x_of(*value2)), static_cast<float>(pair::y_of(*value2)), 0};
    converted = cell{TYPE_POINT2D, 0, 0, 0};
    store<2>(converted, c);
    value2 = &converted;
  }
  if (value2->type() != point_type<N>) return actions::not_comparable;
  switch (op) {
    case actions::op::equal:
    case actions::op::not_equal:
      for (uint32_t i = 0; i < N; ++i)
        if (!float_::almost_equal32_p(component(*value1, i), component(*value2, i))) return 1;
      return 0;
    case actions::op::strict_equal:
      for (uint32_t i = 0; i < N; ++i)
        if (!(component(*value1, i) == component(*value2, i))) return 1;
      return 0;
    case actions::op::same:
      for (uint32_t i = 0; i < N; ++i)
        if (image_of(component(*value1, i)) != image_of(component(*value2, i))) return 1;
      return 0;
    default: break;
  }
  float d = 0.0f;
  for (uint32_t i = 0; i < N; ++i) {
    d = component(*value1, i) - component(*value2, i);
    if (!float_::almost_equal32_p(d, 0.0f)) break;
  }
  return d < 0.0f ? -1 : d > 0.0f ? 1 : 0;
}

// The scale of component i when the scale gives one per component, else null.
template <uint32_t N>
bool per_component_scale(const cell& scale, uint32_t i, cell& out) {
  uint8_t type = scale.type();
  double step;
  if (type == TYPE_PAIR && N == 2) {
    step = i == 0 ? pair::x_of(scale) : pair::y_of(scale);
  } else if (type == TYPE_POINT2D || (type == TYPE_POINT3D && N == 2)) {
    step = i < 2 ? component(scale, i) : 0.0;  // a zero step leaves z as it is
  } else if (type == TYPE_POINT3D) {
    step = component(scale, i);
  } else {
    return false;
  }
  out = scalar::float_cell(step);
  return true;
}

template <uint32_t N>
cell* round(cell* n, cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling) {
  if (scale && scale->type() == TYPE_MONEY)
    fire(error_id::script_not_related, word_named("round"), datatype_of(TYPE_MONEY));
  for (uint32_t i = 0; i < N; ++i) {
    cell step;
    cell* step_cell = scale;
    if (scale && per_component_scale<N>(*scale, i, step)) {
      step_cell = &step;
    } else if (scale && scale->type() == TYPE_INTEGER) {
      // The same step as a double: an integer! step would truncate the result to 32 bits.
      step = scalar::float_cell(integer::get(*scale));
      step_cell = &step;
    }
    cell value = scalar::float_cell(component(*n, i));
    float_::round(&value, step_cell, even, down, half_down, floor, ceiling, half_ceiling);
    double rounded = value.type() == TYPE_INTEGER ? integer::get(value) : float_::get(value);
    set_component(*n, i, static_cast<float>(rounded));
  }
  return n;
}

template <uint32_t N>
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous,
                bool store_back) {
  int32_t index = 0;
  if (element->type() == TYPE_INTEGER) {
    int32_t i = integer::get(*element);
    if (i >= 1 && i <= static_cast<int32_t>(N)) index = i;
  } else {
    index = component_of_word<N>(*element);
  }
  if (!index) fire(error_id::script_invalid_path, scalar_support::path_or_none(path), *element);
  if (!value) return float_::push(component(*parent, static_cast<uint32_t>(index - 1)));
  if (!number_p(value->type())) fire(error_id::script_invalid_type, datatype_of(value->type()));
  cell old_value = *parent;
  set_component(*parent, static_cast<uint32_t>(index - 1), get_float32(*value));
  scalar_support::notify_owner(container, previous, old_value, *parent, *value, index, store_back);
  return value;
}

template <uint32_t N>
cell* pick(cell* series, int32_t index, cell* index_cell) {
  if (index_cell && plain_word_p(index_cell->type())) index = get_named_index<N>(*index_cell, *series);
  if (index < 1 || index > static_cast<int32_t>(N))
    fire(error_id::script_out_of_range, index_cell ? *index_cell : scalar::integer(index));
  return float_::push(component(*series, static_cast<uint32_t>(index - 1)));
}

template <uint32_t N>
cell* random(cell* value, bool seed, bool secure) {
  if (seed) {
    rng::seed(static_cast<int32_t>(hashtable::murmur3_32(reinterpret_cast<const uint8_t*>(value) + 4, 4 * N)));
    *value = unset::value;
    return value;
  }
  for (uint32_t i = 0; i < N; ++i) {
    float x = component(*value, i);
    if (x == 0.0f) continue;
    cell drawn = scalar::float_cell(x);
    float_::random(&drawn, false, secure, false);
    set_component(*value, i, static_cast<float>(float_::get(drawn)));
  }
  return value;
}

template <uint32_t N>
int32_t form(cell* value, cell* buffer, int32_t limit) {
  uint32_t before = text::length(*buffer);
  text::append_char(*buffer, '(');
  for (uint32_t i = 0; i < N; ++i) {
    if (i) text::append_c_string(*buffer, ", ");
    text::append_c_string(*buffer, float_::format(component(*value, i), 5));
  }
  text::append_char(*buffer, ')');
  return limit - static_cast<int32_t>(text::length(*buffer) - before);
}

template <uint32_t N>
cell* absolute() {
  cell* value = stack::argument(0);
  for (uint32_t i = 0; i < N; ++i) set_component(*value, i, std::fabs(component(*value, i)));
  return value;
}

template <uint32_t N>
cell* negate(cell* value) {
  for (uint32_t i = 0; i < N; ++i) set_component(*value, i, 0.0f - component(*value, i));
  return value;
}

// x and the last component change places.
template <uint32_t N>
cell* reverse(cell* value) {
  float first = component(*value, 0);
  set_component(*value, 0, component(*value, N - 1));
  set_component(*value, N - 1, first);
  return value;
}

// The action handlers of the point type with N components, in the signatures of the action
// table, and its registration.
template <uint32_t N>
struct handlers {
  static cell* do_math_op(int32_t op) { return family::do_math<N>(op); }
  static cell* make(cell*, cell* spec, int32_t type) { return family::make<N>(spec, type); }
  static cell* random(cell* value, bool seed, bool secure, bool) { return family::random<N>(value, seed, secure); }
  static int32_t form(cell* value, cell* buffer, cell*, int32_t limit) { return family::form<N>(value, buffer, limit); }
  static int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell*, int32_t limit, int32_t) {
    return family::form<N>(value, buffer, limit);
  }
  static cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous,
                         int32_t, bool, bool, bool, bool store_back) {
    return family::eval_path<N>(parent, element, value, path, container, previous, store_back);
  }
  static int32_t compare(cell* value1, cell* value2, int32_t op) { return family::compare<N>(value1, value2, op); }
  static cell* absolute() { return family::absolute<N>(); }
  static cell* add() { return do_math_op(math_op::add); }
  static cell* divide() { return do_math_op(math_op::divide); }
  static cell* multiply() { return do_math_op(math_op::multiply); }
  static cell* negate(cell* number) { return family::negate<N>(number); }
  static cell* remainder() { return do_math_op(math_op::remainder); }
  static cell* round(cell* n, cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
                     bool half_ceiling) {
    return family::round<N>(n, scale, even, down, half_down, floor, ceiling, half_ceiling);
  }
  static cell* subtract() { return do_math_op(math_op::subtract); }
  static cell* pick(cell* series, int32_t index, cell* index_cell) { return family::pick<N>(series, index, index_cell); }
  static cell* reverse(cell* series, cell*, cell*) { return family::reverse<N>(series); }

  static void register_as(uint8_t type) {
    datatype::register_type(type, datatype::actions_row(
        // make random reflect to form mold eval-path set-path compare
        &make, &random, unsupported, &make, &form, &mold, &eval_path, unsupported, &compare,
        // absolute add divide multiply negate power remainder round subtract
        &absolute, &add, &divide, &multiply, &negate, unsupported, &remainder, &round, &subtract,
        // even? odd? and~ complement or~ xor~
        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
        // append at back change clear copy find head head? index? insert length? move next
        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
        // pick poke put remove reverse select sort skip swap tail tail? take trim
        &pick, unsupported, unsupported, unsupported, &reverse, unsupported, unsupported, unsupported, unsupported,
        unsupported, unsupported, unsupported, unsupported,
        // create close delete modify open open? query read rename update write
        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
        unsupported, unsupported, unsupported));
  }
};

}  // namespace family
}  // namespace

// ---- point2D! -----------------------------------------------------------------------------

namespace point2D {

cell* make_at(cell& target, float x, float y) {
  float c[3] = {x, y, 0};
  return family::store<2>(target, c);
}

cell* push(float x, float y) {
  float c[3] = {x, y, 0};
  return family::push_point<2>(c);
}

float get_float32(const cell& value) { return family::get_float32(value); }
int32_t get_named_index(const cell& word, const cell& second) { return family::get_named_index<2>(word, second); }
cell* do_math(int32_t op) { return family::do_math<2>(op); }
int32_t compare(cell* value1, cell* value2, int32_t op) { return family::compare<2>(value1, value2, op); }

void init() {
  family::handlers<2>::register_as(TYPE_POINT2D);
  handoff::point2d_do_math = &do_math;
}

}  // namespace point2D

// ---- point3D! -----------------------------------------------------------------------------

namespace point3D {

cell* make_at(cell& target, float x, float y, float z) {
  float c[3] = {x, y, z};
  return family::store<3>(target, c);
}

cell* push(float x, float y, float z) {
  float c[3] = {x, y, z};
  return family::push_point<3>(c);
}

float get_float32(const cell& value) { return family::get_float32(value); }
int32_t get_named_index(const cell& word, const cell& second) { return family::get_named_index<3>(word, second); }
cell* do_math(int32_t op) { return family::do_math<3>(op); }

void init() {
  family::handlers<3>::register_as(TYPE_POINT3D);
  handoff::point3d_do_math = &do_math;
}

}  // namespace point3D

}  // namespace tav
