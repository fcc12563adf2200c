// Set operations: the one core behind union, intersect, unique, difference and exclude, which
// checks the two operands and hands them to the set operation of the first one's type.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::set_ops {

// Operation codes, shared with the set operations of each type.
inline constexpr int32_t unique = 8, union_ = 9, intersect = 10, exclude = 11, difference = 12;

// The operation on the current call's argument 0 and, except for unique, argument 1: `/case`
// makes the comparisons strict, `skip` (null without /skip) is the record size. The operands
// must agree in type (a block! and a hash! do), else script/expect-val; a type without a set
// operation raises script/expect-arg. The new set replaces argument 0, which is answered.
cell* set_op(bool case_sensitive, cell* skip, int32_t code);

// Whether a bitset! is complemented (holds every number beyond its bits); any other value
// raises script/expect-arg.
bool complement_p(const cell& bits);

}  // namespace tav::set_ops
