// Test fixture of the text types: the value model with the runtime's own words, and helpers
// that build strings, files, URLs, tags and emails from UTF-8 and read them back.
#pragma once
#include <cstring>
#include <string>

#include "datatypes/runtime_words.hpp"
#include "datatypes/string.hpp"
#include "value_fixture.hpp"

namespace tav::testing {

class text_values : public fresh_values {
 protected:
  void SetUp() override {
    fresh_values::SetUp();
    context::collecting_at_start = true;
    init_runtime_words();
    context::collecting_at_start = false;
  }
};

namespace texts {

// A text value of the type holding the UTF-8 text, its head at `head`.
inline cell text_value(const char* utf8, uint8_t type = TYPE_STRING, uint32_t head = 0) {
  node_id node = unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(utf8), std::strlen(utf8));
  return cell{type, head, node, 0};
}

inline uint32_t unit_of(const cell& value) { return buffer_of(value.payload2)->unit(); }

// The whole text of a series from its buffer's start, whatever its head.
inline std::string whole_text(const cell& value) {
  cell from_start = value;
  from_start.payload1 = 0;
  return text_of(from_start);
}

inline cell integer(int32_t value) { return scalar::integer(value); }
inline cell character(uint32_t cp) { return cell{TYPE_CHAR, 0, cp, 0}; }

// A block! of the values.
inline cell block_of_values(std::initializer_list<cell> values) {
  cell block = cell{TYPE_BLOCK, 0, alloc_cells(static_cast<uint32_t>(values.size())), 0};
  for (const cell& value : values) *alloc_block_tail(block) = value;
  return block;
}

}  // namespace texts
}  // namespace tav::testing
