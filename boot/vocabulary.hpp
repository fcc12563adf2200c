// The start-up vocabulary: the global words of the language as far as the runtime defines them.
#pragma once
#include <cstdint>
#include <string>

namespace tav::boot {

// Defines, in this order: every datatype word, the action and native words bound to their
// table indexes with their specs, `datatype!`, `none`, `true` and `false`, the constants, the
// named typesets, the named colours and the infix operators. Needs the runtime initialised.
void define_vocabulary();

// The layers above start-up define theirs through this step, which runs once the system
// object is complete. Installed by the program before start-up.
void set_upper_definitions(void (*step)());

// The Tav source the vocabulary's values are made from: one parenthesised expression per
// definition that is made from source, in definition order.
const std::string& vocabulary_source();

}  // namespace tav::boot
