// logic!: true and false, the truth tests of conditionals, and the logic operators.
#include <string>

#include "datatypes/actions.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/random.hpp"
#include "runtime/series.hpp"

namespace tav::logic {

cell true_value = value_of(true);
cell false_value = value_of(false);

namespace {

// The logic operators read both operands from the argument stack.
cell* combine(action_slot slot, uint32_t (*op)(uint32_t, uint32_t)) {
  cell* value1 = stack::argument(0);
  cell* value2 = stack::argument(1);
  if (value2->type() != TYPE_LOGIC)
    actions::expect_arg(static_cast<uint32_t>(slot), value2->type(), "value2");
  value1->payload1 = op(value1->payload1, value2->payload1) & 1;
  return value1;
}

}  // namespace

cell* box(bool flag) { return stack::set_last(value_of(flag)); }

cell* push(bool flag) { return stack::push_copy(value_of(flag)); }

cell* make_in(cell& block, bool flag) {
  cell* slot = alloc_block_tail(block);
  *slot = value_of(flag);
  return slot;
}

bool true_p() {
  const cell& value = *stack::arguments;
  if (value.type() == TYPE_UNSET) fire(error_id::script_no_return);
  return !false_p(value);
}

bool top_true_p() { return !false_p(*stack::last_pushed()); }

bool top_false_p() { return false_p(*stack::last_pushed()); }

bool cell_true_p(const cell& value, bool check_unset, const cell& argument) {
  if (check_unset && value.type() == TYPE_UNSET) fire(error_id::script_no_value, argument);
  return !false_p(value);
}

cell* to(cell*, cell* spec, int32_t) {
  if (spec->type() == TYPE_LOGIC) return spec;
  return spec->type() == TYPE_NONE ? &false_value : &true_value;
}

cell* make(cell* prototype, cell* spec, int32_t type) {
  switch (spec->type()) {
    case TYPE_INTEGER: return scalar::integer_value(*spec) != 0 ? &true_value : &false_value;
    case TYPE_FLOAT:
    case TYPE_PERCENT: return scalar::float_value(*spec) != 0.0 ? &true_value : &false_value;  // NaN is true
    default: return to(prototype, spec, type);
  }
}

cell* random(cell* value, bool seed, bool secure, bool) {
  if (seed) {
    rng::seed(static_cast<int32_t>(value->payload1));
    return unset::box();
  }
  int32_t draw = secure ? rng::secure_next() : rng::next();
  return box(draw > 1073741823);
}

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) {
  bool flag = get(*value);
  text::append_c_string(*buffer, flag ? "true" : "false");
  return limit - (flag ? 4 : 5);
}

int32_t mold(cell* value, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  bool flag = get(*value);
  const char* text = all ? (flag ? "#(true)" : "#(false)") : (flag ? "true" : "false");
  text::append_c_string(*buffer, text);
  return limit - static_cast<int32_t>(std::char_traits<char>::length(text));
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  if (value2->type() != TYPE_LOGIC) return actions::not_comparable;
  return actions::equality_only(op, static_cast<int32_t>(value1->payload1) - static_cast<int32_t>(value2->payload1));
}

cell* and_() {
  return combine(action_slot::and_, [](uint32_t a, uint32_t b) { return a & b; });
}

cell* complement(cell* value) {
  value->payload1 ^= 1;
  return value;
}

cell* or_() {
  return combine(action_slot::or_, [](uint32_t a, uint32_t b) { return a | b; });
}

cell* xor_() {
  return combine(action_slot::xor_, [](uint32_t a, uint32_t b) { return a ^ b; });
}

void init() {
  datatype::register_type(TYPE_LOGIC, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, &random, unsupported, &to, &form, &mold, unsupported, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, &and_, &complement, &or_, &xor_,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::logic
