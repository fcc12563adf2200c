// Where the terminal GUI backend joins the print paths and the `wait` native. Until it
// installs its functions every hook does nothing.
#pragma once

namespace tav::tui {

struct backend_hooks {
  void (*before_print)();  // move below the UI area and give the terminal back to plain output
  void (*after_print)();   // take the terminal again and mark the screen for a full redraw
  void (*pump_events)();   // one non-blocking pass of the UI's event loop
};

inline backend_hooks hooks{};

inline void before_print() {
  if (hooks.before_print) hooks.before_print();
}
inline void after_print() {
  if (hooks.after_print) hooks.after_print();
}
inline void pump_events() {
  if (hooks.pump_events) hooks.pump_events();
}

}  // namespace tav::tui
