// path!, lit-path!, set-path! and get-path!: construction, conversion, copying and the text
// forms (elements joined by "/", decorated by mold only), and the registration of the four types.
#include "datatypes/path.hpp"

#include <algorithm>
#include <climits>

#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"

namespace tav {
namespace path {
namespace {

using series::buffer;
using series::head_of;
using series::node_of;

// The capacity a number asks make for; a float is truncated.
int32_t capacity_of(const cell& spec) {
  if (spec.type() == TYPE_INTEGER) return scalar::integer_value(spec);
  double size = scalar::float_value(spec);
  if (!(size > INT32_MIN - 1.0 && size < INT32_MAX + 1.0)) fire(error_id::script_out_of_range, spec);
  return static_cast<int32_t>(size);
}

cell* push_empty(int32_t capacity, uint8_t type) {
  cell* result = block::push_only(std::max(capacity, 1));
  set_type(*result, type);
  return result;
}

int32_t write_char(cell& output, uint32_t c, int32_t limit) {
  text::append_char(output, c);
  return limit - 1;
}

}  // namespace

void make_at(cell& target, int32_t capacity) {
  block::make_at(target, capacity);
  set_type(target, TYPE_PATH);
}

cell* push(cell& value, uint8_t type) {
  set_type(value, type);
  return stack::push_copy(value);
}

int32_t write(cell* value, cell* output, bool mold, bool only, bool all, bool flat, cell* part, int32_t limit,
              int32_t indent) {
  if (cycles::detect(*value, output->payload2, limit, mold)) return limit;
  cell path = *value;
  cycles::guard inside(node_of(path));
  int32_t total = static_cast<int32_t>(buffer(path)->count());
  for (int32_t i = std::max(head_of(path), 0); i < total; ++i) {
    if (part && limit < 1) break;
    cell element = buffer(path)->cells()[i];
    limit = mold ? actions::mold(&element, output, only, all, flat, part, limit, indent)
                 : actions::form(&element, output, part, limit);
    if (i + 1 < total) limit = write_char(*output, '/', limit);
  }
  return limit;
}

// ---- Handlers -------------------------------------------------------------------------------

cell* make(cell* prototype, cell* spec, int32_t type) {
  auto target = static_cast<uint8_t>(type);
  switch (spec->type()) {
    case TYPE_INTEGER:
    case TYPE_FLOAT:
    case TYPE_PERCENT: return push_empty(capacity_of(*spec), target);
    default:
      if (!series::any_block_p(spec->type())) {
        cell datatype;
        datatype::make_at(datatype, target);
        fire(error_id::script_bad_make_arg, datatype, *spec);
      }
      return block::to(prototype, spec, type);
  }
}

cell* to(cell* prototype, cell* spec, int32_t type) {
  switch (spec->type()) {
    case TYPE_OBJECT:
    case TYPE_TYPESET:
    case TYPE_MAP: {
      cell value = *spec;
      cell* result = push_empty(1, static_cast<uint8_t>(type));
      block::append_cell(*result, value);
      return result;
    }
    default: return block::to(prototype, spec, type);
  }
}

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit) {
  return write(value, buffer, false, false, false, false, part, limit, 0);
}

int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent) {
  return write(value, buffer, true, only, all, flat, part, limit, indent);
}

cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types) {
  uint8_t type = value->type();
  block::copy(value, result, part, deep, types);
  set_type(*result, type);
  return result;
}

void init() {
  datatype::register_type(TYPE_PATH, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, unsupported, inherit, &to, &form, &mold, inherit, unsupported, inherit,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      inherit, inherit, inherit, inherit, inherit, &copy, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, inherit, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace path

namespace {

// The variants differ from path! only in their mold: a mark before or after the elements,
// costing one unit of the budget.
int32_t mold_marked(cell* value, cell* output, const char* before, const char* after, bool only, bool all,
                    bool flat, cell* part, int32_t limit, int32_t indent) {
  if (*before) {
    text::append_c_string(*output, before);
    --limit;
  }
  limit = path::mold(value, output, only, all, flat, part, limit, indent);
  if (*after) {
    text::append_c_string(*output, after);
    --limit;
  }
  return limit;
}

template <class Mold>
void register_variant(uint8_t type, Mold mold) {
  datatype::register_type(type, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      inherit, inherit, inherit, inherit, inherit, mold, inherit, inherit, inherit,
      // absolute add divide multiply negate power remainder round subtract
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      // even? odd? and~ complement or~ xor~
      inherit, inherit, inherit, inherit, inherit, inherit,
      // append at back change clear copy find head head? index? insert length? move next
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit, inherit,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
      inherit,
      // create close delete modify open open? query read rename update write
      inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit, inherit));
}

}  // namespace

#define TAV_PATH_VARIANT_MODULE(space, type_id, before, after)                                                \
  namespace space {                                                                                         \
  int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit,         \
               int32_t indent) {                                                                            \
    return mold_marked(value, buffer, before, after, only, all, flat, part, limit, indent);                 \
  }                                                                                                         \
  void init() { register_variant(type_id, &mold); }                                                         \
  }
TAV_PATH_VARIANT_MODULE(lit_path, TYPE_LIT_PATH, "'", "")
TAV_PATH_VARIANT_MODULE(set_path, TYPE_SET_PATH, "", ":")
TAV_PATH_VARIANT_MODULE(get_path, TYPE_GET_PATH, ":", "")
#undef TAV_PATH_VARIANT_MODULE

}  // namespace tav
