// Test fixture of the compound scalar types: the number values with the runtime's own words
// (the field words x, y, hour and so on), a text scanner the test controls, and helpers that
// build values and run actions.
#pragma once
#include <cmath>
#include <cstring>
#include <string>

#include "datatypes/runtime_words.hpp"
#include "datatypes/scalar_support.hpp"
#include "number_helpers.hpp"
#include "runtime/random.hpp"

namespace tav::testing {

class scalar_values : public number_values {
 protected:
  void SetUp() override {
    number_values::SetUp();
    context::collecting_at_start = true;
    init_runtime_words();
    context::collecting_at_start = false;
    float_::pretty_print = true;
    handoff::transcode_first = &scan;
    scanned() = unset::value;
  }

  void TearDown() override {
    scalar_support::object_change = nullptr;
    number_values::TearDown();
  }

  // What the text scanner answers next: the lexer is a neighbour, so the conversions from text
  // are shown against a scanner that answers a given value and keeps the text it was handed.
  static cell& scanned() {
    static cell value;
    return value;
  }
  static std::string& scanned_text() {
    static std::string text;
    return text;
  }

 private:
  static void scan(const cell& text, cell& first) {
    scanned_text() = text_of(text);
    first = scanned();
  }
};

inline cell integer_cell(int32_t n) { return scalar::integer(n); }

inline cell string_of(const char* utf8) {
  node_id node = text::load_utf8(reinterpret_cast<const uint8_t*>(utf8), std::strlen(utf8));
  return cell{TYPE_STRING, 0, node, 0};
}

inline cell issue_of(const char* spelling) {
  cell word;
  word::make_at(word, symbol::make(spelling));
  set_type(word, TYPE_ISSUE);
  return word;
}

inline cell word_of(const char* spelling) { return global_word(spelling); }

inline bool compared(int32_t op, const cell& value1, const cell& value2) {
  return logic::get(call_entry(actions::entry::compare, {value1, value2}, {op}));
}

// Path access as the eval-path action's entry runs it.
inline cell path_read(const cell& parent, const cell& element) {
  return call_entry(actions::entry::eval_path, {parent, element}, {0});
}

// Answers the parent as the assignment left it; the value stored is also the action's answer.
inline cell path_set(const cell& parent, const cell& element, const cell& value) {
  cell target = parent, selector = element, stored = value;
  cell* answer = actions::eval_path(&target, &selector, &stored, nullptr, nullptr, nullptr, -1, false, false, true,
                                    false);
  EXPECT_EQ(answer, &stored);
  return target;
}

inline cell picked(const cell& value, const cell& index) { return call_entry(actions::entry::pick, {value, index}); }

}  // namespace tav::testing
