// Event routing: decoded input to the widgets it concerns (keys to the focused widget, the
// mouse to the widgets under the pointer, with hover, capture, clicks and double clicks), and
// every event into the GUI layer's `awake`.
#pragma once
#include <cstdint>

#include "view/backends/terminal/dispatch_records.hpp"
#include "view/backends/terminal/input.hpp"
#include "view/backends/terminal/widget.hpp"

namespace tav::tui {

namespace widget_event {
inline constexpr uint32_t up = 2;
inline constexpr uint32_t dbl_click = 10;
inline constexpr uint32_t wheel = 11;
inline constexpr uint32_t over = 12;
inline constexpr uint32_t key_down = 14;
}  // namespace widget_event

// The state of the pointer between events.
struct routing_state {
  float last_x = 0;  // where the last move ended, relative to the hovered widget
  float last_y = 0;
  int last_button_state = 1;  // 0 pressed, 1 released
  int click_state = 0;        // 2 after a click, 10 after a double click, else 0
  int click_counter = 0;      // milliseconds since the last release, up to 800
};
extern routing_state routing;

// Appends a code point as UTF-8; above 0x10FFFF raises script/invalid-char.
void input_append_char(uint32_t code_point);
// Decodes what the buffer holds and routes each item in order.
void process_input();
// The event loop's pass: while a click waits for its double, its counter runs on, up to 800.
void advance_click_counter(int ms = 33);

// Key routing to the widget (the focused one when none): `key-down`, `key`, then the widget's
// own handler, each only when `awake` did not answer `done` to the one before.
bool send_key_event(widget_id widget, int32_t character, int32_t special);
// `send_widget_event` (screen.hpp) goes through the routing once it is installed: the widget's
// handler, then the GUI layer when the widget has a face; nothing for a disabled widget.
// `select` and `change` are value events: they carry their value and skip the handler.
bool send_value_event(uint32_t type, widget_id widget, int32_t value);
bool send_mouse_event(uint32_t type, widget_id widget, float x, float y, uint32_t flags);
// Builds the event! and calls `system/view/awake` with it in a frame that stops every
// unwinding: errors, break, throw and the rest end there. True when `awake` answered `done`.
bool dispatch_event(uint32_t type, const event_data& data, uint32_t flags);

// A mouse report as the terminal sent it (button byte, 1-based column and row).
void route_mouse_report(int32_t button_byte, int32_t column, int32_t row, bool release);

// Forgets the pointer and click state; installs the routing as the screen's event sender.
void reset_routing();

}  // namespace tav::tui
