// Widget timers: periodic records that send a `time` event to their widget. The event loop
// ticks them with the time that passed.
#pragma once
#include <cstdint>
#include <vector>

#include "view/backends/terminal/widget.hpp"

namespace tav::tui {

struct widget_timer {
  uint32_t interval_ms;
  uint32_t elapsed_ms;
  bool one_shot;
  bool done;  // a one-shot timer that fired never fires again
  widget_id widget;
};

const std::vector<widget_timer>& timers();
// Appends a periodic timer.
void add_timer(widget_id widget, uint32_t interval_ms);
// Removes the widget's last timer; answers whether there was one.
bool remove_timer(widget_id widget);
// Adds the time to every timer in list order; each one due fires once (its surplus is
// dropped) by sending `time` to its widget.
void fire_timers(uint32_t elapsed_ms);
void clear_timers();

// Installed by the event loop: leaves one level of it.
inline void (*leave_loop)() = nullptr;

}  // namespace tav::tui
