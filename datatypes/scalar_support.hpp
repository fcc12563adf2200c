// Helpers shared by the number and compound scalar types (and the datatypes whose errors name the
// same cells): the cells errors name, and telling an owner that a path assignment changed a
// value in place.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::scalar_support {

// The action words of the math op codes (add 0 ... xor~ 7), as errors name them.
inline constexpr const char* math_words[] = {"add", "subtract", "multiply", "divide", "remainder", "or~", "and~", "xor~"};

cell word_named(const char* text);
cell datatype_of(uint8_t type);
// The path an error names: the path being evaluated, or none outside path evaluation.
cell path_or_none(const cell* path);

// Who hears of a value changed in place through a path. An object that reached the value
// through a field word gets its change handler called with the word, the old and the new
// value; any other container goes to the ownership check with the word set-path, the value
// stored, the field index and a part of 1. The object module installs the handler call;
// until it does, no object has handlers to call.
using object_change_fn = void (*)(cell& object, const cell& word, const cell& old_value, const cell& new_value);
extern object_change_fn object_change;

// Called by an eval-path handler after it stored `value` into field `field` of `parent`;
// `old_value` is the parent as it was. Nothing happens unless the path asked to store back.
void notify_owner(cell* container, cell* previous, const cell& old_value, const cell& parent, const cell& value,
                  int32_t field, bool store_back);

}  // namespace tav::scalar_support
