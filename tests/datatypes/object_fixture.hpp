// Test fixture for objects, functions and ownership: the value model with the runtime's own
// words and a fresh owners table, blocks built from C++ values, and stand-ins for the two
// interpreter steps objects use: evaluating a spec block (set-words take the value after
// them) and calling a handler function (each call is logged as a block of its arguments).
#pragma once
#include <initializer_list>

#include "datatypes/function.hpp"
#include "datatypes/object.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/runtime_words.hpp"
#include "runtime/collector.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/fire_helpers.hpp"
#include "value_fixture.hpp"

namespace tav::testing {

// Every handler call as a block: the handler, the frame name, the locals count as integer!,
// then the arguments.
inline cell call_log{unset_header, 0, 0, 0};

inline cell block_of(std::initializer_list<cell> values) {
  cell block{TYPE_BLOCK, 0, alloc_cells(static_cast<uint32_t>(values.size()) + 1), 0};
  for (const cell& value : values) *alloc_block_tail(block) = value;
  return block;
}

inline uint32_t length_of(const cell& block) { return buffer_of(block.payload2)->count() - block.payload1; }
inline cell at(const cell& block, uint32_t i) { return buffer_of(block.payload2)->cells()[block.payload1 + i]; }

inline cell word_of(const char* name, uint8_t type = TYPE_WORD) {
  cell word = global_word(name);
  set_type(word, type);
  return word;
}
inline cell set_word(const char* name) { return word_of(name, TYPE_SET_WORD); }
inline cell refinement(const char* name) { return word_of(name, TYPE_REFINEMENT); }
inline cell integer(int32_t value) { return scalar::integer(value); }
inline cell logic_of(bool flag) { return logic::value_of(flag); }

// Stands in for the interpreter on object spec blocks: each set-word (and the set-words
// chained after it) takes the next value that is not a set-word, a lit-word as a word.
inline void evaluate_assignments(const cell& block) {
  uint32_t tail = buffer_of(block.payload2)->count();
  for (uint32_t i = block.payload1; i < tail; ++i) {
    cell target = buffer_of(block.payload2)->cells()[i];
    if (target.type() != TYPE_SET_WORD) continue;
    uint32_t next = i + 1;
    while (next < tail && buffer_of(block.payload2)->cells()[next].type() == TYPE_SET_WORD) ++next;
    cell value = next < tail ? buffer_of(block.payload2)->cells()[next] : none::value;
    if (value.type() == TYPE_LIT_WORD) set_type(value, TYPE_WORD);
    context::set(target, value);
  }
}

inline void log_call(const cell& function, const cell& name, const cell* arguments, uint32_t count, int32_t locals) {
  cell entry = block_of({function, name, integer(locals)});
  for (uint32_t i = 0; i < count; ++i) *alloc_block_tail(entry) = arguments[i];
  *alloc_block_tail(call_log) = entry;
}

// While no block! mold is registered, a plain one stands in so that the molds of functions
// and natives, which write their spec and body as blocks, can be checked: "[" the elements
// molded with a space between them "]".
inline int32_t block_mold_stand_in(cell* value, cell* buffer, bool, bool all, bool flat, cell* part, int32_t limit,
                                   int32_t indent) {
  const cell block = *value;
  text::append_c_string(*buffer, "[");
  --limit;
  for (uint32_t i = block.payload1; i < buffer_of(block.payload2)->count(); ++i) {
    if (i > block.payload1) {
      text::append_c_string(*buffer, " ");
      --limit;
    }
    cell element = buffer_of(block.payload2)->cells()[i];
    limit = actions::mold(&element, buffer, false, all, flat, part, limit, indent);
  }
  text::append_c_string(*buffer, "]");
  return limit - 1;
}

inline erased_handler& block_mold_slot() {
  return datatype::action_table[TYPE_BLOCK * datatype::row_stride + static_cast<uint32_t>(action_slot::mold) - 1];
}

class object_values : public fresh_values {
 protected:
  void SetUp() override {
    fresh_values::SetUp();
    context::collecting_at_start = true;
    init_runtime_words();
    init_refinement_values();
    context::collecting_at_start = false;
    ownership::init();
    static bool rooted = false;
    if (!rooted) collector::add_root(&call_log);
    rooted = true;
    call_log = block_of({});
    object::evaluate_spec_hook = evaluate_assignments;
    object::call_function_hook = log_call;
    if (!block_mold_slot()) {
      block_mold_slot() = reinterpret_cast<erased_handler>(&block_mold_stand_in);
      standing_in_ = true;
    }
  }

  void TearDown() override {
    object::evaluate_spec_hook = nullptr;
    object::call_function_hook = nullptr;
    call_log = cell{unset_header, 0, 0, 0};
    if (standing_in_) block_mold_slot() = nullptr;
    fresh_values::TearDown();
  }

  bool standing_in_ = false;

  uint32_t calls() const { return length_of(call_log); }
  cell call(uint32_t i) const { return at(call_log, i); }
  // Argument k of logged call i.
  cell argument(uint32_t i, uint32_t k) const { return at(call(i), 3 + k); }

  static cell datatype_value(uint8_t type) { return datatype_cell(type); }

  // make <prototype> <spec>: a datatype! prototype for object!.
  static cell make(const cell& prototype, const cell& spec) {
    cell p = prototype, s = spec;
    return *actions::make(&p, &s);
  }
  static cell make_object(std::initializer_list<cell> spec) { return make(datatype_cell(TYPE_OBJECT), block_of(spec)); }

  // A function! made from a spec and a body.
  static cell function_of(const cell& spec, const cell& body) {
    function::push(spec, body, 0, 0, 0, 0);
    cell made = *(stack::top - 1);
    stack::pop_cells(1);
    return made;
  }
  static cell handler() {
    return function_of(block_of({word_of("owner"), word_of("word"), word_of("target"), word_of("action"),
                                 word_of("new"), word_of("index"), word_of("part")}),
                       block_of({}));
  }

  static cell field(const cell& object, const char* name) { return *object::select_word(object, global_word(name)); }

  static std::string mold_with(const cell& value, bool only, bool all, bool flat) {
    return text_of(
        call_entry(actions::entry::mold, {value}, {only ? 0 : -1, all ? 0 : -1, flat ? 0 : -1, -1}));
  }
};

}  // namespace tav::testing
