// Test fixture for the series and block tests: the value model, blocks built from lists of
// cells, the text of molded values, and the integer! handlers these tests lean on.
#pragma once
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>

#include "datatypes/block.hpp"
#include "datatypes/series.hpp"
#include "runtime/fire_helpers.hpp"
#include "value_fixture.hpp"

namespace tav::testing {

namespace integer_stand_in {

// Until the integer! module is part of the build its row is empty; these few handlers let the
// block tests compare and print integers. A registered integer! keeps its own handlers.
inline int32_t compare(cell* a, cell* b, int32_t op) {
  if (b->type() != TYPE_INTEGER) return actions::not_comparable;
  int32_t x = scalar::integer_value(*a), y = scalar::integer_value(*b);
  if (op == actions::op::not_equal || op == actions::op::equal || op == actions::op::strict_equal ||
      op == actions::op::find || op == actions::op::same)
    return x == y ? 0 : 1;
  return x < y ? -1 : x > y ? 1 : 0;
}

inline int32_t form(cell* value, cell* buffer, cell*, int32_t limit) {
  char digits[16];
  int n = std::snprintf(digits, sizeof digits, "%d", scalar::integer_value(*value));
  text::append_c_string(*buffer, digits);
  return limit - n;
}

inline int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(value, buffer, part, limit);
}

inline void install() {
  erased_handler* row = datatype::action_table + TYPE_INTEGER * datatype::row_stride;
  auto put = [&](action_slot slot, erased_handler handler) {
    erased_handler& entry = row[static_cast<uint32_t>(slot) - 1];
    if (!entry) entry = handler;
  };
  put(action_slot::compare, reinterpret_cast<erased_handler>(&compare));
  put(action_slot::form, reinterpret_cast<erased_handler>(&form));
  put(action_slot::mold, reinterpret_cast<erased_handler>(&mold));
}

}  // namespace integer_stand_in

class block_values : public fresh_values {
 protected:
  void SetUp() override {
    fresh_values::SetUp();
    integer_stand_in::install();
  }
};

inline cell integer(int32_t n) { return scalar::integer(n); }

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

inline cell string_of(const char* text_bytes) {
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
