// Definitions written in Tav: the routines and functions of a start-up phase made from their
// spec and body blocks and bound to the C++ built-ins named in the source.
#pragma once
#include <cstdint>

#include "datatypes/function.hpp"
#include "runtime/cell.hpp"

namespace tav::boot {

// One definition of a phase block, as written:
//   name: routine [spec] [body] built-in
//   name: func [spec] [body]            (or followed by the name of a compiled built-in)
//   name: :other                        (an alias: the word takes the value other holds)
struct definition_form {
  cell name;     // set-word!
  bool routine;  // else a function
  cell alias;    // get-word! of an alias, else none
  cell spec;
  cell body;
  cell builtin;  // word!, or none when the function has no built-in
};

// Reads the definition at `index` of the phase block into `form` and answers the index after it;
// answers the block's tail at its end. A definition not written as above ends the program with
// runtime error 98.
uint32_t read_definition(const cell& phase, uint32_t index, definition_form& form);

// Makes every definition of a loaded phase block, in order, and sets each on its global word.
// Bodies are taken over as they are and marked as system code; their argument lists are built
// from the typesets of now. A built-in name that is not registered ends the program with
// runtime error 98.
void define_phase(const cell& phase);

// Runs a loaded source block as code of the system: the functions it makes from its own blocks
// are system code, tied with the others at the next `end_definitions`.
void run_system_source(const cell& source);

// A vocabulary's definitions begin: the functions of an earlier one are forgotten. When they
// end, the calls in the functions made since are tied to the callables their words name then,
// and the library functions that native code calls by name are taken from their words.
void begin_definitions();
void end_definitions();

// The registered built-ins by name, start-up's own then the added ones: `builtin_count()` of them.
uint32_t builtin_count();
const char* builtin_name(uint32_t index);

// A routine built-in: its name in the sources, its code, and what it keeps of its body when a
// routine is made with it (null: nothing).
struct builtin {
  const char* name;
  routine::code code;
  void (*prepare)(cell& routine, const cell& body);
};
// The layers above start-up add their built-ins through this, once each, before they define
// their phases; sources name them as they name start-up's own.
void add_builtins(const builtin* rows, uint32_t count);

// Pushes the object! over the global context (class id -1), which is also put in the global
// context's self slot.
void push_system_words();

}  // namespace tav::boot
