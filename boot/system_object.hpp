// The `system` object as far as the runtime builds it before the boot image: the error
// catalog (system/catalog/errors), the error prototype (system/standard/error) and the
// system/state fields that error forming and stack capture read.
#pragma once

#include "runtime/cell.hpp"

namespace tav::system_object {

// The object, none until built.
extern cell value;

// Builds the object, sets the global word `system` to it and connects errors to it. Needs the
// symbol table and the global context.
void init();
// Builds the whole object from its Tav source over the partial one, once the vocabulary is
// defined, and reconnects errors to it.
void complete();
// Forgets the object, for a new symbol table and global context.
void forget();

}  // namespace tav::system_object
