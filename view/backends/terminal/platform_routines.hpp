// The routines of `system/view/platform` on the terminal: the glue between the GUI layer and
// the widgets, and the text metrics of rich-text faces.
#pragma once
#include <cstdint>

#include "boot/definitions.hpp"
#include "runtime/cell.hpp"

namespace tav::tui {

// The routines' built-ins, added with the GUI layer's.
const boot::builtin* platform_builtins(uint32_t& count);

// The text-box metrics of a rich-text face, codes 0 to 6: the answer in `result`. A box of
// another type raises script/face-type.
void text_box_layout(const cell& box, const cell& argument, int32_t type, cell& result);

// Installed by the event loop: runs it, answering whether it ended with windows left.
inline bool (*event_loop)(bool no_wait) = nullptr;
// Installed by the draw dialect: runs the commands on the image.
inline void (*draw_on_image)(const cell& image, const cell& commands) = nullptr;

}  // namespace tav::tui
