// The terminal backend's own start-up, run by the platform object's `init`.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::tui {

// Sets the platform object's version, build and product, keeps the colour mode the terminal
// helpers' probe answered (2 or 4), readies the screen's lists and has the collector mark the
// widgets.
void start_backend(const cell& platform, int32_t probed_color_mode);

}  // namespace tav::tui
