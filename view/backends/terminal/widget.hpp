// Widget records: the backend's record behind each face, in one table addressed by ids that
// name nothing once their record is freed.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/cell.hpp"

namespace tav::tui {

// `slot << 12 | generation`; 0 is no widget.
using widget_id = uint32_t;
inline constexpr widget_id no_widget = 0;

// One character cell of the screen: a code point (0 shows as a space), background and
// foreground colours (`tui-color`: kind in the top byte, value below) and attribute bits.
struct tui_cell {
  uint32_t cp;
  uint32_t bg;
  uint32_t fg;
  uint32_t attr;
};
static_assert(sizeof(tui_cell) == 16);

namespace attr {
inline constexpr uint32_t blink = 0x1;
inline constexpr uint32_t bold = 0x2;
inline constexpr uint32_t dim = 0x4;
inline constexpr uint32_t reverse = 0x8;
inline constexpr uint32_t underline = 0x10;
inline constexpr uint32_t strike = 0x40;
inline constexpr uint32_t italic = 0x100;
inline constexpr uint32_t hidden = 0x200;
inline constexpr uint32_t continuation = 0x400;
inline constexpr uint32_t masked = 0x800;
}  // namespace attr

namespace widget_flag {
inline constexpr uint32_t size_pair = 0x10000;
inline constexpr uint32_t hidden = 0x20000;
inline constexpr uint32_t disabled = 0x40000;
inline constexpr uint32_t all_over = 0x100000;
inline constexpr uint32_t text_entry = 0x200000;
inline constexpr uint32_t focusable = 0x400000;
inline constexpr uint32_t captured = 0x1000000;
inline constexpr uint32_t focused = 0x2000000;
inline constexpr uint32_t password = 0x10000000;
inline constexpr uint32_t fullscreen = 0x40000000;
inline constexpr uint32_t caret_only = 0x80000000;
}  // namespace widget_flag

// Event types widgets receive and send.
namespace widget_event {
inline constexpr uint32_t down = 1;
inline constexpr uint32_t click = 9;
inline constexpr uint32_t key = 13;
inline constexpr uint32_t focus = 17;
inline constexpr uint32_t unfocus = 18;
inline constexpr uint32_t select = 25;
inline constexpr uint32_t change = 26;
inline constexpr uint32_t resize = 30;
inline constexpr uint32_t time = 33;
}  // namespace widget_event

// What a widget's own handler is given: the event type, the position relative to the widget,
// and the key (a character, or a special-key code below 0).
struct widget_event_args {
  uint32_t type = 0;
  float x = 0;
  float y = 0;
  int32_t key = 0;
};

// The class a face's `type` gives its widget: it chooses the ui builder, the renderer and the
// handler. Faces of other types are plain faces.
enum class widget_class : uint8_t {
  plain,
  window,
  field,
  button,
  base,
  progress,
  group_box,
  check,
  radio,
  text_list,
  rich_text,
};

// The caret of a field: index in characters, column in cells, and the text's width in cells.
struct caret_record {
  int32_t index = 0;
  int32_t column = 0;
  int32_t width = 0;
};

struct window_record;

// Draws a widget at a screen position; null draws the face with its SGR escapes.
using widget_renderer = void (*)(int x, int y, widget_id widget);

struct widget {
  uint32_t type = 0;  // the face's type word, resolved
  widget_class kind = widget_class::plain;
  uint32_t flags = 0;
  float x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // in cells, relative to the parent
  widget_id parent = no_widget;
  std::vector<widget_id> children;  // the widgets of the face's pane, in drawing order
  std::vector<tui_cell> cells;      // owned cells of an image, row after row
  cell face;                        // a copy of the face object, kept alive by the table
  cell ui;                          // the ui string of the widget builders, or none
  std::vector<tui_cell> styled;     // the styled cells of a rich-text, laid out by its class
  window_record* window = nullptr;  // class data of a window
  caret_record caret;               // class data of a field
  int32_t data = 0;                 // class data of the other classes: a text-list's first visible index
  widget_renderer renderer = nullptr;
};

// A zeroed record with the face and parent (appended to the parent's children).
widget_id make_widget(const cell& face, widget_id parent);
// Has the collector mark every live widget's face and ui; once, at the backend's start-up or
// with the first widget.
void register_widget_marker();
// The record, or null when the id names none.
widget* widget_of(widget_id id);
// Frees the widget and its children; the parent forgets it.
void free_widget(widget_id id);
uint32_t live_widgets();

// The window widget at the root of the widget's tree.
widget_id window_of(widget_id id);

// ---- Widgets of faces (widget_classes.cpp) --------------------------------------------------
// A face reaches its widget through the handle! in the first value of its `state` block.

// The widget of a face: no_widget when its `state` holds no widget handle, or one of a freed
// widget.
widget_id get_widget(const cell& face);
// Makes the widget of a face under a parent widget (no_widget for a window) and sets up its
// class. A bad `rate` raises script/invalid-facet-type before anything is made.
widget_id make_view(const cell& face, widget_id parent);
// Applies the change bits of the face's `state` block to its widget, then clears them.
void update_view(const cell& face);
// An in-place change of a facet series; `added` is none when nothing was inserted.
void on_change_facet(const cell& face, const cell& word, const cell& series, const cell& action, const cell& added,
                     int32_t index, int32_t part);
// Frees the widgets of the face and its pane, and everything that refers to them.
void destroy_widget(const cell& face);
// `empty` tells that an event loop waits on the face: one loop level is left.
void destroy_view(const cell& face, bool empty);
// Starts, restarts or removes the widget's timer; a bad value raises script/invalid-facet-type.
void update_rate(widget_id id, const cell& rate);
// The image as owned cells of the widget, two pixels a cell; none frees them.
void update_image(widget_id id, const cell& image);
// Runs the class's ui builder.
void build_ui(widget_id id);
// The class's own reaction to an event, which the routing runs before it dispatches the event
// to the GUI layer.
void handle_widget_event(widget_id id, const widget_event_args& event);

// ---- The rich-text class (rich_text_class.cpp) ----------------------------------------------

// Lays the face's text and styles out into the widget's styled cells.
void layout_rich_text(widget_id id);
// Draws the styled cells, or the plain face when there are none.
void render_rich_text(int x, int y, widget_id id);

}  // namespace tav::tui
