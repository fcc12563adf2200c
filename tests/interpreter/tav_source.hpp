// Tav code for the interpreter's tests and benchmarks: source text loaded into blocks with its
// words interned, the start-up vocabulary, and helpers that define further words.
#pragma once
#include <cstdlib>
#include <cstring>
#include <string>

#include "boot/global_load.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "interpreter/transcode.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::source {

// ---- Reading --------------------------------------------------------------------------------

inline cell word_cell(const std::string& name, uint8_t type) {
  cell word;
  word::make_at(word, symbol::make(name.c_str()));
  set_type(word, type);
  return word;
}

// The block of the values in the text, its words interned.
inline cell load(const char* text) {
  return boot::load_global(reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(std::strlen(text)));
}

// The first value of the text.
inline cell first_of(const char* text) { return buffer_of(load(text).payload2)->cells()[0]; }

// ---- Words ----------------------------------------------------------------------------------

inline void define(const char* name, const cell& value) {
  cell word = word_cell(name, TYPE_WORD);
  context::set(word, value);
}

inline cell value_of(const char* name) { return *context::get(word_cell(name, TYPE_WORD)); }

inline cell made(uint8_t type, const cell& spec) {
  cell prototype;
  datatype::make_at(prototype, type);
  cell argument = spec;
  cell* result = actions::make(&prototype, &argument);
  cell made_value = *result;
  stack::top = stack::arguments;
  return made_value;
}

inline cell spec_and_index(const char* spec, int32_t index) {
  cell pair = first_of(spec);
  cell outer;
  block::make_at(outer, 2);
  block::append_cell(outer, pair);
  block::append_cell(outer, scalar::integer(index));
  return outer;
}

inline void define_native(const char* name, const char* spec) {
  for (uint32_t i = 1; i <= natives::native_count; ++i) {
    if (std::strcmp(natives::word_of(i), name) != 0) continue;
    define(name, made(TYPE_NATIVE, spec_and_index(spec, static_cast<int32_t>(i))));
    return;
  }
}

inline void define_action(const char* name, const char* spec) {
  for (uint32_t i = 1; i <= action_count; ++i) {
    if (std::strcmp(describe_action(i).word, name) != 0) continue;
    define(name, made(TYPE_ACTION, spec_and_index(spec, static_cast<int32_t>(i))));
    return;
  }
}

inline void define_op(const char* name, const char* source) { define(name, made(TYPE_OP, value_of(source))); }

// ---- Routines -------------------------------------------------------------------------------

// Routine code is registered once per process, however often the words are defined.
inline uint32_t code_index(routine::code code) {
  static routine::code codes[16];
  static uint32_t indexes[16];
  static uint32_t count = 0;
  for (uint32_t i = 0; i < count; ++i)
    if (codes[i] == code) return indexes[i];
  codes[count] = code;
  return indexes[count++] = routine::register_code(code);
}

// A routine! taking the addresses of its argument cells; it writes its result cell itself.
inline void define_routine(const char* name, const char* spec, routine::code code) {
  const cell spec_block = first_of(spec);
  uint32_t index = code_index(code);
  cell made_value = *routine::push(spec_block, nullptr, index, routine::returns_nothing, true);
  stack::top = stack::arguments;
  define(name, made_value);
}

// ---- The core -------------------------------------------------------------------------------

// The words start-up defines: datatypes, natives, actions, constants, typesets and operators.
inline void define_core() { boot::define_vocabulary(); }

// Evaluates the text for its effects (outside any try frame: an error ends the process).
inline void run_text(const char* text) {
  cell* base = stack::top;
  interpreter::do_block(load(text), false);
  stack::top = base;
}

}  // namespace tav::source
