// Cycle stack: nodes of the values a deep walk is inside, and the markers it prints for them.
#include "runtime/cycle_stack.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "runtime/errors.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"

namespace tav::cycles {
namespace {

node_id entries[capacity];
uint32_t top = 0;  // next free entry

// Type ids whose markers differ from the plain "...".
constexpr uint8_t block_type = 5;
constexpr uint8_t paren_type = 6;
constexpr uint8_t object_type = 32;
constexpr uint8_t hash_type = 36;
constexpr uint8_t map_type = 40;

std::string_view marker(uint8_t type, bool mold) {
  if (!mold) return "...";
  switch (type) {
    case block_type:
    case hash_type: return "[...]";
    case paren_type: return "(...)";
    case map_type: return "#[...]";
    case object_type: return "make object! [...]";
    default: return "...";
  }
}

// The markers are ASCII, so they fit text of any unit width.
void append_ascii(node_id text, std::string_view chars) {
  uint32_t unit = buffer_of(text)->unit();
  uint8_t* place = alloc_tail_bytes(buffer_of(text), static_cast<uint32_t>(chars.size()) * unit);
  for (char c : chars) {
    uint32_t code = static_cast<uint8_t>(c);
    std::memcpy(place, &code, unit);  // little-endian: the low bytes come first
    place += unit;
  }
}

}  // namespace

void push(node_id node) {
  entries[top++] = node;
  if (top == capacity) {
    reset();
    fire(error_id::internal_too_deep);
  }
}

void pop() {
  if (top > 0) --top;
}

void pop_n(uint32_t n) { top -= std::min(n, top); }

void reset() { top = 0; }

bool find(node_id node) { return std::find(entries, entries + top, node) != entries + top; }

uint32_t depth() { return top; }

bool detect(const cell& value, node_id output, int32_t& width, bool mold) {
  node_id node = value.type() == object_type ? value.payload1 : value.payload2;
  if (!find(node)) return false;
  std::string_view text = marker(value.type(), mold);
  append_ascii(output, text);
  width -= static_cast<int32_t>(text.size());
  return true;
}

}  // namespace tav::cycles
