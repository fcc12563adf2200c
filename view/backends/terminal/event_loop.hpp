// The backend's event loop: passes of one frame (33 ms) that read the terminal, fire the
// widgets' timers, redraw the screen and route the input; nested loops for modal windows; the
// terminal mode around the outermost loop; and the hooks through which printing steps around
// an interface on screen.
#pragma once

#include <cstdint>

namespace tav::tui {

inline constexpr int frame_ms = 33;

// The number of loops running.
extern int loop_depth;

// Runs the loop until its level is left; with `no_wait`, one pass at most, and none when no
// input is waiting. Answers whether the last read brought input.
bool run_event_loop(bool no_wait);
// One no-wait pass while terminal mode is on; false at once otherwise.
bool pump_loop();
// Ends the innermost running loop.
void leave_loop_level();
// Steps around the inline interface: erase it and flush before printing; after it, ask for a
// full redraw below the printed text. Both do nothing outside terminal mode.
void step_before_print();
void step_after_print();
// Reads the terminal's size; sets the first screen face's size and, in terminal mode, sends
// `resize` to the windows.
void on_resize();
// Installs the loop as the platform's and the print paths' hooks.
void install_event_loop();

}  // namespace tav::tui
