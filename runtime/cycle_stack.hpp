// Cycle stack: the nodes of the series and contexts a deep walk (mold, form, compare) is
// inside, so that a value containing itself is recognised instead of walked forever.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::cycles {

// Entries; the push that would fill the last one empties the stack and raises
// internal/too-deep, so at most capacity - 1 nodes are ever held.
inline constexpr uint32_t capacity = 1000;

void push(node_id node);
void pop();  // nothing on an empty stack
void pop_n(uint32_t n);
void reset();
bool find(node_id node);
uint32_t depth();

// When the value's series (or an object's context) is on the stack: appends the cycle
// marker ("[...]", "(...)", "#[...]", "make object! [...]" when molding, else "...") to the
// text series `output`, subtracts its length from `width` and answers true.
bool detect(const cell& value, node_id output, int32_t& width, bool mold);

// Holds one entry for the extent of a walk, also when an error unwinds through it.
class guard {
 public:
  explicit guard(node_id node) { push(node); }
  ~guard() { pop(); }
  guard(const guard&) = delete;
  guard& operator=(const guard&) = delete;
};

}  // namespace tav::cycles
