// The cell screen: windows, focus, the frame cycle, the inline region and fullscreen.
#include "view/backends/terminal/screen.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "view/backends/terminal/term_io.hpp"
#include "view/backends/terminal/timers.hpp"

namespace tav::tui {
namespace {

widget_event_sender sender = nullptr;

void draw_nothing(int, int, widget_id) {}

// The widget's tree from the given origin of its parent.
void render_subtree(widget_id id, float origin_x, float origin_y) {
  const widget* record = widget_of(id);
  if (!record || record->flags & widget_flag::hidden) return;
  const float x = origin_x + record->x1, y = origin_y + record->y1;
  const int column = static_cast<int>(std::floor(x)), row = static_cast<int>(std::floor(y));
  if (record->renderer)
    record->renderer(column, row, id);
  else
    render_face(column, row, id, draw_flag::sgr);
  // Looked up again after each child: a record moves when another is made.
  for (size_t i = 0;; ++i) {
    const widget* parent = widget_of(id);
    if (!parent || i >= parent->children.size()) break;
    render_subtree(parent->children[i], x, y);
  }
}

bool text_entry_focused_p() {
  const widget* focused = widget_of(screen.focus);
  return focused && focused->flags & widget_flag::text_entry;
}

void free_records() {
  for (window_record* record : screen.windows) delete record;
  screen.windows.clear();
}

}  // namespace

screen_state screen;

void set_widget_event_sender(widget_event_sender replacement) { sender = replacement; }

bool send_widget_event(widget_id widget, uint32_t type, float x, float y, int32_t key) {
  return sender && widget_of(widget) && sender(widget, type, x, y, key);
}

void screen_init() {
  screen.windows.reserve(4);
  screen.captures.reserve(16);
  screen.output.reserve(2000);
}

// ---- Windows and focus --------------------------------------------------------------------

window_record* init_window(widget_id window) {
  widget* record = widget_of(window);
  if (!record) return nullptr;
  if (record->flags & widget_flag::fullscreen) screen.fullscreen = true;
  if (!screen.focus) screen.focus = window;
  auto* area = new window_record{record->x1, record->y1, record->x2, record->y2, window, no_widget, 0};
  screen.windows.push_back(area);
  record->window = area;
  record->renderer = draw_nothing;
  return area;
}

void activate_window(window_record* record) {
  if (!record) return;
  screen.current = record;
  // The widget the window remembers takes the focus back with its bit, which the focus of the
  // window shown meanwhile had cleared.
  const widget_id focus = record->focused ? record->focused : record->window;
  if (focus != screen.focus)
    if (widget* old = widget_of(screen.focus)) old->flags &= ~widget_flag::focused;
  screen.focus = focus;
  if (widget* now = widget_of(focus)) now->flags |= widget_flag::focused;
  if (record->text_entries == 0) hide_cursor();
  screen.hover = no_widget;
  screen.capture = no_widget;
  screen.captures.clear();
}

void close_window(widget_id window) {
  const auto found = std::find_if(screen.windows.begin(), screen.windows.end(),
                                  [&](const window_record* record) { return record->window == window; });
  if (found == screen.windows.end()) return;
  window_record* record = *found;
  screen.windows.erase(found);
  if (widget* owner = widget_of(window)) owner->window = nullptr;
  if (screen.current == record) screen.current = nullptr;
  delete record;
  if (!screen.windows.empty()) activate_window(screen.windows.back());
}

uint32_t window_count() { return static_cast<uint32_t>(screen.windows.size()); }

window_record* window_record_of(widget_id id) {
  const widget* root = widget_of(window_of(id));
  return root ? root->window : nullptr;
}

void set_focus(widget_id id, window_record* record) {
  const widget_id previous = screen.focus;
  if (widget* old = widget_of(previous)) {
    old->flags &= ~widget_flag::focused;
    send_widget_event(previous, widget_event::unfocus);
  }
  if (!record) record = screen.current;
  if (record) record->focused = id;
  screen.focus = id;
  if (widget* focused = widget_of(id)) {
    focused->flags |= widget_flag::focused;
    send_widget_event(id, widget_event::focus);
  }
}

void auto_focus(widget_id id) {
  const widget* record = widget_of(id);
  window_record* window = window_record_of(id);
  if (record && window && record->flags & widget_flag::focusable && !window->focused) set_focus(id, window);
}

void request_redraw(widget_id id) {
  if (!id) id = screen.focus;
  if (screen.current && window_of(id) == screen.current->window) screen.redraw = true;
}

// ---- The frame ----------------------------------------------------------------------------

void fit_scroll() {
  if (screen.fullscreen) {
    screen.inline_top = 0;
    screen.inline_left = 0;
  } else if (console.rows > 0 && console.rows < screen.inline_top + screen.height) {
    screen.inline_top = console.rows - screen.height;
  }
}

void fit_screen_buffer(window_record* record) {
  if (!console.ui_active || !record) return;
  const int width = std::max(0, std::min(console.columns, static_cast<int>(record->x2 - record->x1)));
  const int height = std::max(0, std::min(console.rows, static_cast<int>(record->y2 - record->y1)));
  const size_t needed = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (screen.cells.size() < needed) screen.cells.resize(needed);
  screen.width = width;
  screen.height = height;
}

void extend_window_area(window_record* record, const widget& child) {
  record->x1 = std::min(record->x1, child.x1);
  record->y1 = std::min(record->y1, child.y1);
  record->x2 = std::max(record->x2, child.x2);
  record->y2 = std::max(record->y2, child.y2);
}

void fit_window_buffer(widget_id window) {
  const widget* root = widget_of(window);
  if (!root || !root->window) return;
  window_record* record = root->window;
  record->x1 = root->x1;
  record->y1 = root->y1;
  record->x2 = root->x2;
  record->y2 = root->y2;
  for (widget_id child : root->children)
    if (const widget* item = widget_of(child)) extend_window_area(record, *item);
  fit_screen_buffer(record);
}

void render_tree(widget_id id) {
  const widget* record = widget_of(id);
  if (!record) return;
  float x = 0, y = 0;
  for (const widget* parent = widget_of(record->parent); parent; parent = widget_of(parent->parent)) {
    x += parent->x1;
    y += parent->y1;
  }
  render_subtree(id, x, y);
}

void render_frame() {
  fit_scroll();
  if (!screen.redraw) return;
  fit_screen_buffer(screen.current);
  std::fill_n(screen.cells.begin(), static_cast<size_t>(screen.width) * static_cast<size_t>(screen.height), tui_cell{});
  if (screen.current && screen.width > 0 && screen.height > 0) render_tree(screen.current->window);
  const bool text_entry = text_entry_focused_p();
  if (!text_entry) hide_cursor();
  io().flush_streams();
  flush_screen();
  if (text_entry) show_cursor();
  io().flush_streams();
  screen.redraw = false;
}

// ---- Display modes ------------------------------------------------------------------------

void enter_fullscreen() {
  if (!screen.fullscreen || screen.alt_screen) return;
  enter_alt_screen();
  screen.alt_screen = true;
}

void leave_fullscreen() {
  if (!screen.alt_screen) return;
  leave_alt_screen();
  screen.alt_screen = false;
}

void clear_terminal() {
  if (!screen.alt_screen) return;
  write_out("\033[2J");
  io().flush_streams();
}

void erase_inline_ui() {
  if (!screen.drawn) return;
  std::string bytes = "\r";
  if (screen.lines_up > 0) bytes += "\033[" + std::to_string(screen.lines_up) + "A";
  bytes += "\033[0J";
  write_out(bytes);
  screen.lines_up = 0;
}

void move_below_ui() {
  if (!screen.drawn) return;
  if (screen.caret_row > 0) cursor_down(screen.height - screen.lines_up);
  write_out("\r\n");
}

void resize_windows(int columns, int rows) {
  std::vector<widget_id> windows;
  for (const window_record* record : screen.windows) windows.push_back(record->window);
  for (widget_id window : windows)
    send_widget_event(window, widget_event::resize, static_cast<float>(columns), static_cast<float>(rows));
  if (screen.alt_screen) {
    screen.redraw = true;
    render_frame();
  }
}

void shutdown() {
  std::vector<widget_id> windows;
  for (const window_record* record : screen.windows) windows.push_back(record->window);
  free_records();
  for (widget_id window : windows) free_widget(window);
  clear_timers();
  screen.cells.clear();
  screen.cells.shrink_to_fit();
  screen.width = 0;
  screen.height = 0;
  screen.current = nullptr;
  screen.captures.clear();
  screen.output.clear();
  screen.redraw = false;
  screen.drawn = false;
  screen.lines_up = 0;
  screen.caret_column = -1;
  screen.caret_row = -1;
  screen.inline_top = 0;
  screen.inline_left = 0;
  screen.fullscreen = false;
  screen.alt_screen = false;
  screen.focus = no_widget;
  screen.hover = no_widget;
  screen.capture = no_widget;
  console.mouse_reporting = false;
}

}  // namespace tav::tui
