// Helpers of the series and block tests: blocks built from lists of cells and the text of
// their elements.
#pragma once
#include <initializer_list>
#include <optional>
#include <string>

#include "datatypes/block.hpp"
#include "datatypes/series.hpp"
#include "runtime/fire_helpers.hpp"
#include "value_fixture.hpp"

namespace tav::testing {

using block_values = fresh_values;

inline cell int_value(int32_t n) { return scalar::integer(n); }

// A block! holding copies of the cells.
inline cell block_of(std::initializer_list<cell> values, uint8_t type = TYPE_BLOCK) {
  cell result;
  block::make_at(result, static_cast<int32_t>(values.size()));
  for (const cell& value : values) block::append_cell(result, value);
  set_type(result, type);
  return result;
}

// A block! of the integers from..to.
inline cell integers(int32_t from, int32_t to) {
  cell result;
  block::make_at(result, to - from + 1);
  for (int32_t n = from; n <= to; ++n) block::append_cell(result, scalar::integer(n));
  return result;
}

// A block! of global words, one per name.
inline cell words_of(std::initializer_list<const char*> names) {
  cell result;
  block::make_at(result, static_cast<int32_t>(names.size()));
  for (const char* name : names) block::append_cell(result, global_word(name));
  return result;
}

inline cell lit_word(const char* name) {
  cell word = global_word(name);
  set_type(word, TYPE_LIT_WORD);
  return word;
}

inline cell with_head(cell series, int32_t head) {
  series::set_head(series, head);
  return series;
}

inline cell with_new_line(cell value) {
  value.header |= cell_flag::new_line;
  return value;
}

inline cell latin1_text(const char* text_bytes) {
  cell result;
  text::make_at(result, 16);
  text::append_c_string(result, text_bytes);
  return result;
}

// The elements from the head, molded without the brackets.
inline std::string elements(const cell& block) {
  return text_of(call_entry(actions::entry::mold, {block}, {0, -1, -1, -1}));
}

}  // namespace tav::testing
