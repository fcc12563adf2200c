// The start-up vocabulary: the global words of the language as far as the runtime defines them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/cell.hpp"

namespace tav::boot {

// Decodes the boot image, whose global definitions set every datatype word and the action and
// native words bound to their table indexes with their specs; then defines, in this order,
// `datatype!`, `none`, `true` and `false`, the constants, the named typesets, the named colours,
// the phases and the infix operators. Needs the runtime initialised.
void define_vocabulary();

// The layers above start-up define theirs through this step, which runs once the system
// object is complete. Installed by the program before start-up.
void set_upper_definitions(void (*step)());

// The Tav source the vocabulary's values are made from: one parenthesised expression per
// definition that is made from source, in definition order. The image holds it as its first
// block.
const std::string& vocabulary_source();

// The names of the Tav sources of start-up (boot/<name>.tav or library/<name>.tav), in the order
// the image holds their blocks after the first: the phase sources, then those run once the
// system object stands.
const std::vector<std::string>& boot_source_names();

// The block of the named source from the image decoded last, or of the generated definitions
// under the name "vocabulary"; words bound to the global context.
cell source_block(const char* name);

// Pushes a block holding, for every datatype word, action word and native word in table order,
// the word and its value: what the image defines globally.
void push_global_definitions();

}  // namespace tav::boot
