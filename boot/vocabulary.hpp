// The start-up vocabulary: the global words of the language as far as the runtime defines them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "boot/boot_image.hpp"
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

// Decodes the image into the root block as start-up does (its global definitions are set, its
// sources kept for `source_block`) and defines nothing more.
void load_boot_image(const image_bytes& image);

// The names of the Tav sources (boot/<name>.tav and library/<name>.tav) that the image decoded
// last holds, in its order.
const std::vector<std::string>& boot_source_names();

// The block of the named source from the image decoded last, or of the generated definitions
// under the name "vocabulary"; words bound to the global context. A missing one ends the program
// as runtime error 98 (`source_block`) or answers false (`find_source_block`).
cell source_block(const char* name);
bool find_source_block(const char* name, cell& block);

// Pushes a block holding, for every datatype word, action word and native word in table order,
// the word and its value: what the image defines globally.
void push_global_definitions();

}  // namespace tav::boot
