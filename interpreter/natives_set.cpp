// Set-operation natives: union, intersect, unique, difference and exclude over the one set
// core, and complement? of bitsets.
#include "datatypes/set_ops.hpp"
#include "datatypes/values.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_union = 41, index_intersect = 42, index_unique = 43, index_difference = 44,
                   index_exclude = 45, index_complement_p = 46;

// set1 [set2] /case /skip size: the new set replaces argument 0 and is the result.
void set_native(uint32_t index, const int32_t* parameters, int32_t code) {
  check_arguments(index, parameters);
  cell* skip = parameters[2] < 0 ? nullptr : stack::argument(static_cast<uint32_t>(parameters[2]));
  set_ops::set_op(parameters[1] >= 0, skip, code);
  stack::keep_result();
}

}  // namespace

void union_stack(const int32_t* parameters) { set_native(index_union, parameters, set_ops::union_); }
void intersect_stack(const int32_t* parameters) { set_native(index_intersect, parameters, set_ops::intersect); }
void unique_stack(const int32_t* parameters) { set_native(index_unique, parameters, set_ops::unique); }
void difference_stack(const int32_t* parameters) { set_native(index_difference, parameters, set_ops::difference); }
void exclude_stack(const int32_t* parameters) { set_native(index_exclude, parameters, set_ops::exclude); }

void complement_p_stack(const int32_t* parameters) {
  check_arguments(index_complement_p, parameters);
  stack::set_last_keep(logic::value_of(set_ops::complement_p(*stack::argument(0))));
}

}  // namespace tav::natives
