// The terminal backend's own start-up, run by the platform object's `init`.
#pragma once
#include "runtime/cell.hpp"

namespace tav::tui {

// Sets the platform object's version, build and product, takes the colour mode from the
// terminal helpers' probe, readies the screen's lists and has the collector mark the widgets.
void start_backend(const cell& platform);

}  // namespace tav::tui
