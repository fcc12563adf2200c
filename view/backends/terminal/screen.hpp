// The cell screen: the grid of character cells every frame is drawn into, the windows and the
// focus, the text layout and colours of faces, and the bytes that put the grid on the terminal,
// inline below the prompt or on the alternate screen.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "view/backends/terminal/widget.hpp"

namespace tav::tui {

// `tui-color` kinds, in the top byte.
namespace color_kind {
inline constexpr uint32_t default_color = 0;
inline constexpr uint32_t slot16 = 1;    // slot 0-17 of the 16-colour table
inline constexpr uint32_t indexed = 2;   // xterm 256-colour index
inline constexpr uint32_t true_rgb = 4;  // R in bits 16-23, G in 8-15, B in 0-7
}  // namespace color_kind
inline constexpr uint32_t make_color(uint32_t kind, uint32_t value) { return kind << 24 | (value & 0xFFFFFF); }

// Flags of the face and text drawing calls, beside the attribute bits 4, 8 and 0x800.
namespace draw_flag {
inline constexpr uint32_t align_right = 1;
inline constexpr uint32_t align_center = 2;
inline constexpr uint32_t align_middle = 4;
inline constexpr uint32_t align_bottom = 8;
inline constexpr uint32_t wrap = 32;
inline constexpr uint32_t sgr = 0x1000;     // the text may carry SGR escapes
inline constexpr uint32_t no_text = 0x2000;  // the `text` facet is not drawn
}  // namespace draw_flag

struct window_record {
  float x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // the area the window's widgets cover
  widget_id window = no_widget;
  widget_id focused = no_widget;
  uint32_t text_entries = 0;  // the cursor shows only when this is not zero
};

struct screen_state {
  std::vector<tui_cell> cells;  // row-major; only grows
  int width = 0;
  int height = 0;
  std::vector<window_record*> windows;
  window_record* current = nullptr;
  std::vector<widget_id> captures;
  std::string output;  // the bytes of one frame
  bool redraw = false;
  bool drawn = false;  // the inline interface is on the console
  int lines_up = 0;    // lines the terminal cursor stands below the interface's first line
  int caret_column = -1;
  int caret_row = -1;
  int inline_top = 0;
  int inline_left = 0;
  bool fullscreen = false;
  bool alt_screen = false;
  int color_mode = 0;  // 4: true colour
  widget_id focus = no_widget;
  widget_id hover = no_widget;
  widget_id capture = no_widget;
};
extern screen_state screen;

// Sends an event of the screen (focus, unfocus, resize) or of a widget's handler (click,
// change, select, time) to a widget: its own handler, then the GUI layer. The event routing
// installs the sender; until then events go nowhere. Answers true when an actor answered `done`.
using widget_event_sender = bool (*)(widget_id widget, uint32_t type, float x, float y, int32_t key);
void set_widget_event_sender(widget_event_sender sender);
bool send_widget_event(widget_id widget, uint32_t type, float x = 0, float y = 0, int32_t key = 0);

void screen_init();

// ---- Windows and focus --------------------------------------------------------------------
window_record* init_window(widget_id window);
void activate_window(window_record* record);
void close_window(widget_id window);
uint32_t window_count();
// The record of the window the widget lies in, or null.
window_record* window_record_of(widget_id widget);
void set_focus(widget_id widget, window_record* record = nullptr);
void auto_focus(widget_id widget);
void request_redraw(widget_id widget = no_widget);

// ---- The frame ----------------------------------------------------------------------------
void fit_scroll();
void fit_screen_buffer(window_record* record);
void extend_window_area(window_record* record, const widget& child);
void fit_window_buffer(widget_id window);
void render_frame();
void render_tree(widget_id widget);

// ---- Drawing into the grid ----------------------------------------------------------------
struct clip_rect {
  int x1, y1, x2, y2;  // x2 and y2 excluded
  bool empty_p() const { return x1 >= x2 || y1 >= y2; }
};
// The running style of a text: colours and attribute bits of the cells it draws.
struct text_style {
  uint32_t bg = 0;
  uint32_t fg = 0;
  uint32_t attr = 0;
};
void fill_cells(int x, int y, int w, int h, uint32_t bg);
// Lays out a text from (x, y) inside the clip; `flags` carries wrap, sgr and the attribute bits
// added to every character.
void render_text(std::u32string_view text, int x, int y, const clip_rect& clip, text_style style, uint32_t flags);
void render_text(std::span<const tui_cell> cells, int x, int y, const clip_rect& clip, uint32_t flags);
// Reads an SGR sequence at text[at] (the escape character) into the style; answers where the
// text goes on after it.
size_t parse_ansi_text(std::u32string_view text, size_t at, text_style& style);
void apply_sgr(int parameter, text_style& style);
// The width (widest line) and height in lines a text takes within `width` cells.
void measure_text(std::u32string_view text, int width, uint32_t flags, int& columns, int& lines);
// The face of the widget drawn at (x, y).
void render_face(int x, int y, widget_id widget, uint32_t flags);
// The alignment bits of a `para` object.
uint32_t text_align_flags(const cell& para);
clip_rect clip_to_parents(int x, int y, widget_id widget);

// ---- Colours and bytes --------------------------------------------------------------------
struct palette_entry {
  uint8_t nearest16;
  uint8_t r, g, b;
};
// The xterm palette: 16 basic colours, the 6 x 6 x 6 cube, the grey ramp.
extern const std::array<palette_entry, 256> tui_palette;
// A colour value (R low byte, then G, B, alpha in the top byte) as kind 2, or 0 when
// transparent (alpha 255).
uint32_t rgb_to_256(uint32_t color);
// A tuple's colour value: R, G, B and the fourth component as alpha (0 when absent).
uint32_t color_of_tuple(const cell& tuple);
void emit_color(std::string& out, uint32_t color, bool foreground);
void emit_cell_style(std::string& out, const tui_cell& previous, const tui_cell& next);
void flush_screen();

// ---- Display modes ------------------------------------------------------------------------
void enter_fullscreen();
void leave_fullscreen();
void clear_terminal();
void move_below_ui();
void erase_inline_ui();
void resize_windows(int columns, int rows);
void shutdown();

}  // namespace tav::tui
