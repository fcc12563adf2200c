// Test fixture: the value model as start-up leaves it (every datatype registered, an empty
// argument stack), with an empty symbol table and a new global context of its own. It runs
// in the process-wide memory, with the collector as the test run switched it on, so that
// the stress modes reach these tests.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "boot/system_object.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::testing {

class fresh_values : public ::testing::Test {
 protected:
  // The ground every case stands on is made without a collection at each step, as start-up
  // makes it; the start-up and script tests build it under collector stress.
  void SetUp() override {
    const memory::startup_stress_hold held;
    datatype::register_all();
    actions::init();
    stack::init();
    fresh_tables();
    datatype::make_words();
  }

  void TearDown() override {
    context::collecting_at_start = false;
    stack::init();
  }

  // An empty symbol table and a new global context, as at start-up before any word.
  void fresh_tables() {
    system_object::forget();
    symbol::init_table();
    context::init_global();
  }
};

// The text of a string! from its head, as UTF-8.
inline std::string text_of(const cell& string) {
  cell copy = string;
  int64_t length = -1;
  const uint8_t* bytes = unicode::to_utf8(copy, &length);
  return std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
}

// Runs a stack entry as a call with these arguments and integer parameters; answers the
// result slot.
inline cell call_entry(actions::stack_entry entry, std::initializer_list<cell> arguments,
                       std::initializer_list<int32_t> positions = {}) {
  stack::arguments = stack::top = stack::bottom;
  for (const cell& value : arguments) stack::push_copy(value);
  std::vector<int32_t> parameters(positions);
  parameters.resize(16, -1);
  entry(parameters.data());
  return *stack::arguments;
}

inline std::string formed(const cell& value) { return text_of(call_entry(actions::entry::form, {value}, {-1})); }

inline std::string molded(const cell& value, bool all = false) {
  return text_of(call_entry(actions::entry::mold, {value}, {-1, all ? 0 : -1, -1, -1}));
}

// A global word! of the spelling.
inline cell global_word(const char* name) {
  cell word;
  word::make_at(word, symbol::make(name));
  return word;
}

inline cell datatype_cell(uint8_t type) {
  cell value;
  datatype::make_at(value, type);
  return value;
}

// The spelling of a word cell.
inline std::string spelling_of(const cell& word) {
  return std::string(symbol::name(word::symbol_of(word)), symbol::name_length(word::symbol_of(word)));
}

}  // namespace tav::testing
