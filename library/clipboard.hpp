// The bodies of read-clipboard and write-clipboard: text, file lists and images exchanged with
// the desktop clipboard.
#pragma once

#include "runtime/cell.hpp"

namespace tav::library::clipboard {

// The clipboard's content into `result`: a string!, a block! of file!, an image!, none when it
// holds nothing usable, false when it cannot be reached or its data cannot be had.
void read(cell& result);
// Puts a string!, a block! of files, an image! on the clipboard, or clears it for none; any
// other value raises script/invalid-arg before the clipboard is touched. False on failure.
bool write(const cell& data);

}  // namespace tav::library::clipboard
