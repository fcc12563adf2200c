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

// Event types the screen sends to widgets.
namespace widget_event {
inline constexpr uint32_t focus = 17;
inline constexpr uint32_t unfocus = 18;
inline constexpr uint32_t resize = 30;
}  // namespace widget_event

struct window_record;

// Draws a widget at a screen position; null draws the face with its SGR escapes.
using widget_renderer = void (*)(int x, int y, widget_id widget);

struct widget {
  uint32_t type = 0;  // the face's type word, resolved
  uint32_t flags = 0;
  float x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // in cells, relative to the parent
  widget_id parent = no_widget;
  std::vector<widget_id> children;  // the widgets of the face's pane, in drawing order
  std::vector<tui_cell> cells;      // owned cells of an image, row after row
  cell face;                        // a copy of the face object, kept alive by the table
  cell ui;                          // the ui string of the widget builders, or none
  window_record* window = nullptr;  // class data of a window
  int32_t data = 0;                 // class data of the other classes
  widget_renderer renderer = nullptr;
};

// A zeroed record with the face and parent (appended to the parent's children).
widget_id make_widget(const cell& face, widget_id parent);
// The record, or null when the id names none.
widget* widget_of(widget_id id);
// Frees the widget and its children; the parent forgets it.
void free_widget(widget_id id);
uint32_t live_widgets();

// The window widget at the root of the widget's tree.
widget_id window_of(widget_id id);

}  // namespace tav::tui
