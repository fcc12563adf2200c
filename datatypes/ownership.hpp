// Ownership tracking: the change reports that in-place series edits send to the object that
// owns the series, and the owners table behind them.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace tav::ownership {

// The owners table: a hash table of the owners kind keyed by the node of each owned series
// (an object's context node for an object), with three cells per entry: the value as it was
// bound, the owner object! and the word of the owner's field that holds it. A collector root.
extern node_id table;

// Makes the table (again: a fresh, empty one) and, the first time, registers its marking
// and its sweep with the collector.
void init();

// The node an owned value is known by: an object's context, any other value's series.
node_id key_of(const cell& value);

// The entry's first cell (the value as bound; the owner and the word follow), or null when
// the node is not owned.
cell* lookup(node_id node);
// The owner object recorded for the value, or null.
const cell* owner_of(const cell& value);

// Binds the value and everything it holds (blocks deeply, an object's fields) to the owner's
// field `word`, then marks the owner's context as an owner. A value already owned keeps its
// first owner; a block holding itself is walked once.
void bind(const cell& value, const cell& owner, const cell& word);
// Binds the value to the owner of a block [owner word] (an object! and a word); any other
// block raises script/invalid-arg.
void bind_spec(const cell& value, const cell& spec);
// Removes the ownership of the value and of what it holds; an object that is an owner itself
// keeps its own fields.
void unbind(const cell& value);
// Makes the object the owner of every field value.
void own_fields(const cell& owner);

namespace detail {
bool report(const cell& value, const cell& action, const cell& new_value, int32_t index, int32_t part);
bool report_symbol(const cell& value, uint32_t action, const cell& new_value, int32_t index, int32_t part);
// Whether the value's buffer carries the owned flag; the one test on every series edit.
inline bool flagged_p(const cell& value) {
  node_id node = key_of(value);
  return node != 0 && (buffer_of(node)->flags & series_flag::owned) != 0;
}
}  // namespace detail

// Reports an in-place change of `value` (`action` the action word, or its symbol; `new_value`
// what goes in, none when nothing does; `index` and `part` the range) to the owner's
// `on-deep-change*` and answers whether an owner with change handlers heard of it. A modifying
// action that got true reports again after the change with the past-tense word.
inline bool check(const cell& value, const cell& action, const cell& new_value, int32_t index, int32_t part) {
  return detail::flagged_p(value) && detail::report(value, action, new_value, index, part);
}
inline bool check(const cell& value, uint32_t action, const cell& new_value, int32_t index, int32_t part) {
  return detail::flagged_p(value) && detail::report_symbol(value, action, new_value, index, part);
}

}  // namespace tav::ownership
