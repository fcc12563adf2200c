// Comparison and type natives: equal? to greater-or-equal? through the compare action, the
// identity test same?, not and type?.
#include "datatypes/actions.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/values.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_same_p = 32, index_logic_not = 33, index_type_p = 34;

// The compare action's entry reads both arguments and leaves the logic! result; the check flag
// has nothing to check, as every comparison takes any two values.
void compare_with(int32_t op) { actions::entry::compare(&op); }

bool series_p(uint8_t type) {
  switch (type) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH:
    case TYPE_HASH: case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
    case TYPE_BINARY: case TYPE_VECTOR: case TYPE_IMAGE: return true;
    default: return false;
  }
}

bool same_money_p(const cell& value1, const cell& value2) {
  if (!handoff::money_compare) handoff::not_installed();
  cell a = value1, b = value2;
  return handoff::money_compare(&a, &b, actions::op::same) == 0;
}

}  // namespace

void equal_p_stack(const int32_t*) { compare_with(actions::op::equal); }
void not_equal_p_stack(const int32_t*) { compare_with(actions::op::not_equal); }
void strict_equal_p_stack(const int32_t*) { compare_with(actions::op::strict_equal); }
void lesser_p_stack(const int32_t*) { compare_with(actions::op::lesser); }
void greater_p_stack(const int32_t*) { compare_with(actions::op::greater); }
void lesser_or_equal_p_stack(const int32_t*) { compare_with(actions::op::lesser_or_equal); }
void greater_or_equal_p_stack(const int32_t*) { compare_with(actions::op::greater_or_equal); }

bool same_core(const cell& value1, const cell& value2) {
  const uint8_t type = value1.type();
  if (type != value2.type()) return false;
  if (series_p(type)) return value1.payload1 == value2.payload1 && value1.payload2 == value2.payload2;
  switch (type) {
    case TYPE_DATATYPE:
    case TYPE_LOGIC:
    case TYPE_OBJECT: return value1.payload1 == value2.payload1;
    case TYPE_CHAR:
    case TYPE_INTEGER:
    case TYPE_BITSET: return value1.payload2 == value2.payload2;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_PAIR:
    case TYPE_TIME: return value1.payload2 == value2.payload2 && value1.payload3 == value2.payload3;
    case TYPE_TUPLE: {
      if (tuple::length_of(value1) != tuple::length_of(value2)) return false;
      cell a = value1, b = value2;
      return tuple::compare(&a, &b, actions::op::same) == 0;
    }
    case TYPE_NONE:
    case TYPE_UNSET: return true;
    case TYPE_MONEY: return same_money_p(value1, value2);
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_POINT2D: return value1.payload1 == value2.payload1 && value1.payload2 == value2.payload2;
    case TYPE_OP: return value1.payload2 == value2.payload2 && value1.payload3 == value2.payload3;
    default:
      return value1.payload1 == value2.payload1 && value1.payload2 == value2.payload2 &&
             value1.payload3 == value2.payload3;
  }
}

void same_p_stack(const int32_t* parameters) {
  check_arguments(index_same_p, parameters);
  stack::set_last_keep(logic::value_of(same_core(*stack::argument(0), *stack::argument(1))));
}

void logic_not_stack(const int32_t* parameters) {
  check_arguments(index_logic_not, parameters);
  stack::set_last_keep(logic::value_of(logic::false_p(*stack::argument(0))));
}

// type? value /word
void type_p_stack(const int32_t* parameters) {
  check_arguments(index_type_p, parameters);
  const uint8_t type = stack::argument(0)->type();
  if (parameters[1] >= 0) {
    stack::set_last_keep(datatype::type_name_table[type].word);
    return;
  }
  cell datatype;
  datatype::make_at(datatype, type);
  stack::set_last_keep(datatype);
}

}  // namespace tav::natives
