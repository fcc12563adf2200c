// Ownership tracking: the change reports that in-place series edits send to the object that
// owns the series.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::ownership {

// Reports an in-place change of `value` (`action` is the action's word, `new_value`
// what goes in, `index` and `part` the range) and answers whether an owner heard of it; a
// modifying action that got true reports again after the change with the past-tense word.
// Owner objects do not exist yet, so no series has an owner to hear of it.
inline bool check(const cell& value, const cell& action, const cell& new_value, int32_t index, int32_t part) {
  (void)value;
  (void)action;
  (void)new_value;
  (void)index;
  (void)part;
  return false;
}

}  // namespace tav::ownership
