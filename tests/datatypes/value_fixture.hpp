// Test fixture: a fresh memory manager with the value model on it (every datatype registered,
// an empty argument stack, an empty symbol table, the root block and the global context).
// Everything made is released afterwards and the process-wide memory state put back.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "io/random.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::testing {

class fresh_values : public ::testing::Test {
 protected:
  void SetUp() override {
    memory::init();
    saved_state_ = memory::state;
    saved_hook_ = memory::collect_hook;
    saved_root_ = context::root;
    saved_global_ = context::global;
    saved_symbols_ = hashtable::symbol_table;
    context::root = cell{unset_header, 0, 0, 0};
    context::global = 0;
    hashtable::symbol_table = 0;
    memory::state = memory_state{};
    memory::state.ready = true;
    memory::collect_hook = nullptr;
    rng::init();
    datatype::register_all();
    actions::init();
    stack::init();
    symbol::init_table();
    context::init_global();
    datatype::make_words();
  }

  void TearDown() override {
    release_root();
    context::collecting_at_start = false;
    memory::free_all();
    memory::state = saved_state_;
    memory::collect_hook = saved_hook_;
    // The runtime's own tables come back, so the collector finds them whole between tests.
    context::root = saved_root_;
    context::global = saved_global_;
    hashtable::symbol_table = saved_symbols_;
    stack::init();
  }

  // An empty symbol table and a new global context, as at start-up before any word.
  void fresh_tables() {
    release_root();
    symbol::init_table();
    context::init_global();
  }

 private:
  void release_root() {
    series_buffer* root = buffer_of(context::root.payload2);
    if (root->flags & series_flag::fixed) heap_free(root);
    context::root = cell{unset_header, 0, 0, 0};
  }

  memory_state saved_state_;
  void (*saved_hook_)() = nullptr;
  cell saved_root_{};
  node_id saved_global_ = 0;
  node_id saved_symbols_ = 0;
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
