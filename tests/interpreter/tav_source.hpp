// Tav code for the interpreter's tests and benchmark: source text loaded into blocks with its
// words interned, and the words of the core the programs call, defined as start-up would define
// them: the natives with their specs, the arithmetic actions and their operators, the typesets,
// and the series actions and natives the tests use.
#pragma once
#include <cstdlib>
#include <cstring>
#include <string>

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

// Every word of the block and of the blocks, parens and paths in it bound to the global
// context, added there when new, as loading source for the user context does.
inline void intern(const cell& block) {
  for (uint32_t i = block.payload1; i < buffer_of(block.payload2)->count(); ++i) {
    const cell value = buffer_of(block.payload2)->cells()[i];
    uint8_t type = value.type();
    if (type >= TYPE_WORD && type <= TYPE_REFINEMENT) {
      cell bound;
      word::make_at(bound, word::symbol_of(value));
      cell& target = buffer_of(block.payload2)->cells()[i];
      target.payload1 = bound.payload1;
      target.payload3 = bound.payload3;
    } else if (type == TYPE_BLOCK || type == TYPE_PAREN || (type >= TYPE_PATH && type <= TYPE_GET_PATH)) {
      intern(value);
    }
  }
}

// The block of the values in the text, its words interned.
inline cell load(const char* text) {
  cell block = none::value;
  lexer::load_options options;
  lexer::transcode(block, reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(std::strlen(text)), options,
                   nullptr);
  intern(block);
  return block;
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

inline cell typeset_of(std::initializer_list<uint8_t> types) {
  cell set = typeset::empty();
  for (uint8_t type : types) typeset::add_bit(set, type);
  return set;
}

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

inline void define_core() {
  for (uint8_t type = 1; type <= datatype::max_type_id; ++type) {
    if (!describe_type(type).name) continue;
    cell value;
    datatype::make_at(value, type);
    define(describe_type(type).name, value);
  }
  define("none", none::value);
  define("true", logic::value_of(true));
  define("false", logic::value_of(false));
  define("any-type!", typeset_of({1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24,
                                  25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45,
                                  46, 47, 48, 49, 50, 51, 52, 53, 54, TYPE_UNSET}));
  define("number!", typeset_of({TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT}));
  define("any-block!", typeset_of({TYPE_BLOCK, TYPE_PAREN, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH,
                                   TYPE_HASH}));
  define("any-string!", typeset_of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF}));
  define("series!", typeset_of({TYPE_BLOCK, TYPE_PAREN, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH,
                                TYPE_HASH, TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF,
                                TYPE_BINARY, TYPE_VECTOR, TYPE_IMAGE}));
  define("any-word!", typeset_of({TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT,
                                  TYPE_ISSUE}));
  define("any-path!", typeset_of({TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH}));
  define("any-object!", typeset_of({TYPE_OBJECT, TYPE_ERROR, TYPE_PORT}));
  define("any-function!", typeset_of({TYPE_NATIVE, TYPE_ACTION, TYPE_OP, TYPE_FUNCTION, TYPE_ROUTINE}));

  define_native("if", "[cond [any-type!] then-blk [block!]]");
  define_native("unless", "[cond [any-type!] then-blk [block!]]");
  define_native("either", "[cond [any-type!] true-blk [block!] false-blk [block!]]");
  define_native("any", "[conds [block!]]");
  define_native("all", "[conds [block!]]");
  define_native("while", "[cond [block!] body [block!]]");
  define_native("until", "[body [block!]]");
  define_native("loop", "[count [integer! float!] body [block!]]");
  define_native("repeat", "[:word [word!] value [integer! float!] body [block!]]");
  define_native("forever", "[body [block!]]");
  define_native("break", "[/return value [any-type!]]");
  define_native("continue", "[]");
  define_native("exit", "[]");
  define_native("return", "[value [any-type!]]");
  define_native("throw", "[value [any-type!] /name word [word!]]");
  define_native("catch", "[block [block!] /name word [word! block!]]");
  define_native("equal?", "[value1 [any-type!] value2 [any-type!]]");
  define_native("not-equal?", "[value1 [any-type!] value2 [any-type!]]");
  define_native("lesser?", "[value1 [any-type!] value2 [any-type!]]");
  define_native("greater?", "[value1 [any-type!] value2 [any-type!]]");
  define_native("lesser-or-equal?", "[value1 [any-type!] value2 [any-type!]]");
  define_native("greater-or-equal?", "[value1 [any-type!] value2 [any-type!]]");
  define_native("strict-equal?", "[value1 [any-type!] value2 [any-type!]]");
  define_native("same?", "[value1 [any-type!] value2 [any-type!]]");
  define_native("not", "[value [any-type!]]");
  define_native("type?", "[value [any-type!] /word]");
  define_native("print", "[value [any-type!]]");
  define_native("prin", "[value [any-type!]]");
  define_native("stats", "[/show /info]");

  define_action("add", "[value1 [number!] value2 [number!]]");
  define_action("subtract", "[value1 [number!] value2 [number!]]");
  define_action("multiply", "[value1 [number!] value2 [number!]]");
  define_action("divide", "[value1 [number!] value2 [number!]]");
  define_action("absolute", "[value [number!]]");
  define_action("negate", "[number [number!]]");
  define_op("+", "add");
  define_op("-", "subtract");
  define_op("*", "multiply");
  define_op("/", "divide");
  define_op("=", "equal?");
  define_op("<>", "not-equal?");
  define_op("==", "strict-equal?");
  define_op("=?", "same?");
  define_op("<", "lesser?");
  define_op(">", "greater?");
  define_op("<=", "lesser-or-equal?");
  define_op(">=", "greater-or-equal?");

  define_native("func", "[spec [block!] body [block!]]");
  define_native("do", "[value [any-type!] /expand /args arg /next position [word!] /trace callback [function!]]");
  define_action("make", "[type spec]");
  // Series actions with their whole specs: the entries read one position per refinement.
  define_action("append", "[series [any-type!] value [any-type!] /part length /only /dup count]");
  define_action("insert", "[series [any-type!] value [any-type!] /part length /only /dup count]");
  define_action("copy", "[value [any-type!] /part length /deep /types kind]");
  define_action("remove", "[series [any-type!] /part length /key key-arg]");
  define_action("pick", "[series [any-type!] index [any-type!]]");
  define_action("mold", "[value [any-type!] /only /all /flat /part limit]");
  for (const char* name : {"head", "tail", "next", "back", "index?", "length?", "tail?", "clear"})
    define_action(name, "[series [any-type!]]");
  define_native("foreach", "[:word [word! block!] series [series! map!] body [block!]]");
  define_native("forall", "[:word [word!] body [block!]]");
  define_native("remove-each", "[:word [word! block!] data [series!] body [block!]]");
  define_native("get", "[word [any-word! any-path! object!] /any /case]");
  define_native("set", "[word [any-word! block! object! any-path!] value [any-type!] /any /case /only /some]");
  define_native("bind", "[word [block! any-word!] context [any-word! any-object! function!] /copy]");
  define_native("in", "[object [any-object! any-function!] word [any-word! refinement!]]");
  define_native("construct", "[block [block!] /with object [object!] /only]");
  define_native("value?", "[value [word!]]");
  define_native("try", "[block [block!] /all /keep]");
  define_native("uppercase", "[string [any-string! char!] /part limit [number! any-string!]]");
  define_native("lowercase", "[string [any-string! char!] /part limit [number! any-string!]]");
  define_native("as-pair", "[x [integer! float!] y [integer! float!]]");
  define_native("as-point2D", "[x [integer! float!] y [integer! float!]]");
  define_native("as-point3D", "[x [integer! float!] y [integer! float!] z [integer! float!]]");
  define_native("as-money", "[currency [word!] amount [integer! float!]]");
  define_native("reduce", "[value [any-type!] /into out [any-block!]]");
  define_native("compose", "[value [block!] /deep /only /into out [any-block!]]");
}


// Evaluates the text for its effects (outside any try frame: an error ends the process).
inline void run_text(const char* text) {
  cell* base = stack::top;
  interpreter::do_block(load(text), false);
  stack::top = base;
}

}  // namespace tav::source
