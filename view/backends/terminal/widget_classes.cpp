// Widgets made from faces: the class of each face type with its set-up, ui builder, renderer and
// handler; facet changes applied by change bits; destroying widgets and all that refers to them;
// images as half-block cells and timers from `rate`.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "console/char_width.hpp"
#include "datatypes/context.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/image.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "interpreter/library_calls.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"
#include "view/backends/terminal/face_access.hpp"
#include "view/backends/terminal/screen.hpp"
#include "view/backends/terminal/timers.hpp"
#include "view/backends/terminal/widget.hpp"

namespace tav::tui {
namespace {

namespace library = interpreter::library;

// `face-flag-bits` the widget takes, and the widget flag each one sets.
struct flag_row {
  uint32_t face_bit;
  uint32_t widget_bit;
};
constexpr flag_row widget_flag_rows[] = {{0x1, widget_flag::all_over},
                                         {0x2, widget_flag::focusable},
                                         {0x80000, widget_flag::password},
                                         {0x200000, widget_flag::fullscreen}};

// Change bits of a face's `state/2`: one per facet, by its position in the face.
namespace change {
inline constexpr uint32_t offset = 0x2;
inline constexpr uint32_t size = 0x4;
inline constexpr uint32_t image = 0x10;
inline constexpr uint32_t enabled = 0x100;
inline constexpr uint32_t visible = 0x200;
inline constexpr uint32_t selected = 0x400;
inline constexpr uint32_t flags = 0x800;
inline constexpr uint32_t rate = 0x10000;
inline constexpr uint32_t para = 0x40000;
}  // namespace change

constexpr int32_t key_up = -20, key_down = -21, key_right = -22, key_left = -23;

// ---- Reading faces ------------------------------------------------------------------------

uint32_t face_flag_bit(uint32_t symbol) {
  const backend_words& id = names();
  if (symbol == id.all_over) return 0x1;
  if (symbol == id.focusable) return 0x2;
  if (symbol == id.password) return 0x80000;
  if (symbol == id.fullscreen) return 0x200000;
  return 0;
}

// The widget flags a face's `flags` facet (a word or a block of words) asks for.
uint32_t widget_flags_of(const cell& flags) {
  uint32_t bits = 0;
  if (any_word_p(flags.type())) bits = face_flag_bit(word_symbol(flags));
  if (flags.type() == TYPE_BLOCK) {
    const cell* values = block_values(flags);
    for (uint32_t i = 0; i < block_length(flags); ++i) bits |= face_flag_bit(word_symbol(values[i]));
  }
  uint32_t result = 0;
  for (const flag_row& row : widget_flag_rows)
    if (bits & row.face_bit) result |= row.widget_bit;
  return result;
}

constexpr uint32_t face_flag_mask = widget_flag::all_over | widget_flag::focusable | widget_flag::password |
                                    widget_flag::fullscreen;

bool planar_p(const cell& value) { return value.type() == TYPE_PAIR || value.type() == TYPE_POINT2D; }

float planar_x(const cell& value) {
  return value.type() == TYPE_PAIR ? static_cast<float>(pair::x_of(value)) : point::component(value, 0);
}
float planar_y(const cell& value) {
  return value.type() == TYPE_PAIR ? static_cast<float>(pair::y_of(value)) : point::component(value, 1);
}

bool true_p(const cell& value) { return value.type() == TYPE_LOGIC && logic::get(value); }

// The value after `key` in the face's `options` block, or null.
const cell* option(const cell& face, uint32_t key) {
  const cell options = facet_value(face, names().options);
  if (options.type() != TYPE_BLOCK) return nullptr;
  const cell* values = block_values(options);
  const uint32_t length = block_length(options);
  for (uint32_t i = 0; i + 1 < length; ++i)
    if (word_p(values[i], key)) return &values[i + 1];
  return nullptr;
}

widget_class class_of_type(uint32_t type) {
  const backend_words& id = names();
  if (type == id.window) return widget_class::window;
  if (type == id.field) return widget_class::field;
  if (type == id.button) return widget_class::button;
  if (type == id.base) return widget_class::base;
  if (type == id.progress) return widget_class::progress;
  if (type == id.group_box) return widget_class::group_box;
  if (type == id.check) return widget_class::check;
  if (type == id.radio) return widget_class::radio;
  if (type == id.text_list) return widget_class::text_list;
  if (type == id.rich_text) return widget_class::rich_text;
  return widget_class::plain;
}

int widget_width(const widget& record) { return static_cast<int>(record.x2 - record.x1); }
int widget_height(const widget& record) { return static_cast<int>(record.y2 - record.y1); }

int char_cells(uint32_t cp) { return std::max(terminal::char_width(cp), 0); }

// ---- Timers -------------------------------------------------------------------------------

// The interval `rate` asks for: 0 for none; a value that is no rate raises invalid-facet-type.
uint32_t rate_interval(const cell& rate) {
  if (rate.type() == TYPE_NONE) return 0;
  if (rate.type() == TYPE_INTEGER && scalar::integer_value(rate) > 0)
    return static_cast<uint32_t>(1000 / scalar::integer_value(rate));
  if (rate.type() == TYPE_TIME) {
    const double seconds = scalar::float_value(rate);
    // A time too short for a millisecond still ticks on every pass.
    if (seconds > 0) return static_cast<uint32_t>(std::min(seconds * 1000, 4e9));
  }
  fire(error_id::script_invalid_facet_type, rate);
}

// ---- Ui builders --------------------------------------------------------------------------

library::entry builder_of(widget_class kind) {
  switch (kind) {
    case widget_class::progress: return library::entry::make_progress_ui;
    case widget_class::check: return library::entry::make_checkbox_ui;
    case widget_class::radio: return library::entry::make_radio_ui;
    default: return library::entry::make_text_list_ui;
  }
}

bool callable_p(const cell& value) {
  const uint8_t type = value.type();
  return type == TYPE_FUNCTION || type == TYPE_ROUTINE || type == TYPE_NATIVE || type == TYPE_ACTION;
}

// ---- Caret of a field ---------------------------------------------------------------------

// The field's `text`, made a string when it is not one.
cell field_text(const widget& record) {
  const cell text = facet_value(record.face, names().text);
  if (text.type() == TYPE_STRING) return text;
  cell made;
  string::make_at(made, 16, 1);
  set_facet(record.face, names().text, made);
  return made;
}

int text_cells(const std::u32string& text, size_t from, size_t to) {
  int cells = 0;
  for (size_t i = from; i < to && i < text.size(); ++i) cells += char_cells(text[i]);
  return cells;
}

// The caret after the characters that fit in `columns` cells.
caret_record caret_within(const std::u32string& text, int columns) {
  caret_record caret;
  for (char32_t ch : text) {
    const int w = char_cells(ch);
    if (caret.column + w > columns) break;
    ++caret.index;
    caret.column += w;
  }
  return caret;
}

void init_field(widget& record) {
  record.flags |= widget_flag::text_entry;
  const cell text = facet_value(record.face, names().text);
  if (text.type() != TYPE_STRING) return;
  const std::u32string chars = string_text(text);
  record.caret = caret_within(chars, widget_width(record));
  record.caret.width = text_cells(chars, 0, chars.size());
}

bool field_key(widget_id id, int32_t key) {
  widget* record = widget_of(id);
  cell text = field_text(*record);
  record = widget_of(id);
  caret_record& caret = record->caret;
  const std::u32string chars = string_text(text);
  // Measured again: a script may have changed the text since the last key.
  caret.index = std::clamp<int32_t>(caret.index, 0, static_cast<int32_t>(chars.size()));
  const auto at = static_cast<size_t>(caret.index);
  caret.column = text_cells(chars, 0, at);
  caret.width = text_cells(chars, 0, chars.size());
  if (key == 9 || key == 13 || key == 0 || key == 10) return false;
  if (key == 2 || key == key_left) {
    if (caret.index == 0) return true;
    --caret.index;
    caret.column -= char_cells(chars[at - 1]);
  } else if (key == 6 || key == key_right) {
    if (at >= chars.size()) return true;
    ++caret.index;
    caret.column += char_cells(chars[at]);
  } else if (key == 8 || key == 127) {
    if (caret.index == 0) return true;
    const int w = char_cells(chars[at - 1]);
    string::remove_char(text, text.payload1 + static_cast<uint32_t>(at) - 1);
    --caret.index;
    caret.column -= w;
    caret.width -= w;
  } else if (key < 32) {
    return false;
  } else {
    const int w = char_cells(static_cast<uint32_t>(key));
    if (widget_width(*record) - w < caret.width) return true;
    string::insert_char(buffer_of(text.payload2), text.payload1 + static_cast<uint32_t>(at), static_cast<uint32_t>(key));
    ++caret.index;
    caret.column += w;
    caret.width += w;
  }
  return true;
}

void field_click(widget_id id, float x) {
  widget* record = widget_of(id);
  const cell text = field_text(*record);
  record = widget_of(id);
  const caret_record fitted = caret_within(string_text(text), static_cast<int>(std::floor(x)));
  record->caret.index = fitted.index;
  record->caret.column = fitted.column;
}

// ---- Handlers -----------------------------------------------------------------------------

void handle_field(widget_id id, const widget_event_args& event) {
  if (event.type == widget_event::key) {
    if (field_key(id, event.key)) request_redraw(id);
  } else if (event.type == widget_event::click) {
    field_click(id, event.x);
    request_redraw(id);
  }
}

void handle_button(widget_id id, const widget_event_args& event) {
  if (event.type != widget_event::key || event.key != ' ') return;
  send_widget_event(id, widget_event::click);
  request_redraw(id);
}

void handle_check(widget_id id, const widget_event_args& event, bool radio) {
  if (event.type == widget_event::focus) {
    request_redraw(id);
    return;
  }
  if (event.type != widget_event::click && !(event.type == widget_event::key && event.key == ' ')) return;
  const cell face = widget_of(id)->face;
  const cell data = facet_value(face, names().data);
  bool checked = false;
  if (radio || data.type() == TYPE_NONE)
    checked = true;
  else if (data.type() == TYPE_LOGIC)
    checked = !logic::get(data);
  set_facet(face, names().data, logic::value_of(checked));
  build_ui(id);
  request_redraw(id);
  send_widget_event(id, widget_event::change);
}

void handle_text_list(widget_id id, const widget_event_args& event) {
  if (event.type == widget_event::focus) {
    build_ui(id);
    request_redraw(id);
    return;
  }
  widget* record = widget_of(id);
  const cell face = record->face;
  const int32_t count = item_count(facet_value(face, names().data));
  const cell old_selected = facet_value(face, names().selected);
  const int32_t old = old_selected.type() == TYPE_INTEGER ? scalar::integer_value(old_selected) : 0;
  int32_t selection = old;
  int32_t& first = record->data;
  if (event.type == widget_event::key && event.key == key_up) {
    if (selection > 1) --selection;
    if (selection - 1 < first && first > 0) --first;
  } else if (event.type == widget_event::key && event.key == key_down) {
    if (selection < count) ++selection;
    if (first < selection - widget_height(*record)) ++first;
  } else if (event.type == widget_event::click) {
    selection = first + static_cast<int32_t>(event.y) + 1;
    // The empty rows below the last entry pick nothing.
    if (selection > count) return;
  } else {
    return;
  }
  if (selection == old && old_selected.type() == TYPE_INTEGER) return;
  const bool done = send_widget_event(id, widget_event::select, 0, 0, selection);
  if (!widget_of(id)) return;
  const cell now = facet_value(face, names().selected);
  if (now.type() == old_selected.type() && (now.type() != TYPE_INTEGER || scalar::integer_value(now) == old)) {
    set_facet(face, names().selected, scalar::integer(selection));
    build_ui(id);
    request_redraw(id);
  }
  if (!done) send_widget_event(id, widget_event::change, 0, 0, selection);
}

// ---- Renderers ----------------------------------------------------------------------------

void render_field(int x, int y, widget_id id) {
  const widget* record = widget_of(id);
  render_face(x, y, id, draw_flag::sgr | (record->flags & widget_flag::password ? attr::masked : 0));
  record = widget_of(id);
  if (record && record->flags & widget_flag::focused) {
    screen.caret_column = x + record->caret.column;
    screen.caret_row = y;
  }
}

void render_focusable(int x, int y, widget_id id, uint32_t flags) {
  const bool focused = widget_of(id)->flags & widget_flag::focused;
  render_face(x, y, id, flags | (focused ? attr::reverse : 0));
}

void render_button(int x, int y, widget_id id) { render_focusable(x, y, id, draw_flag::sgr); }
void render_check(int x, int y, widget_id id) { render_focusable(x, y, id, draw_flag::sgr | draw_flag::no_text); }
void render_progress(int x, int y, widget_id id) { render_face(x, y, id, 0); }

void put(int x, int y, const clip_rect& clip, uint32_t cp, uint32_t fg, bool colored) {
  if (x < clip.x1 || x >= clip.x2 || y < clip.y1 || y >= clip.y2) return;
  tui_cell& target = screen.cells[static_cast<size_t>(y) * static_cast<size_t>(screen.width) + static_cast<size_t>(x)];
  target.cp = cp;
  target.attr = 0;
  if (colored) target.fg = fg;
}

void render_group_box(int x, int y, widget_id id) {
  render_face(x, y, id, draw_flag::no_text);
  const widget* record = widget_of(id);
  const clip_rect clip = clip_to_parents(x, y, id);
  if (clip.empty_p()) return;
  const cell face = record->face;
  const cell* corners = option(face, names().border_corners);
  const bool round = corners && word_p(*corners, names().round);
  const cell* border = option(face, names().border_color);
  const bool colored = border && border->type() == TYPE_TUPLE;
  const uint32_t fg = colored ? rgb_to_256(color_of_tuple(*border)) : 0;
  const int x2 = x + widget_width(*record) - 1, y2 = y + widget_height(*record) - 1;
  for (int i = x + 1; i < x2; ++i) {
    put(i, y, clip, 0x2500, fg, colored);
    put(i, y2, clip, 0x2500, fg, colored);
  }
  for (int j = y + 1; j < y2; ++j) {
    put(x, j, clip, 0x2502, fg, colored);
    put(x2, j, clip, 0x2502, fg, colored);
  }
  put(x, y, clip, round ? 0x256D : 0x250C, fg, colored);
  put(x2, y, clip, round ? 0x256E : 0x2510, fg, colored);
  put(x, y2, clip, round ? 0x2570 : 0x2514, fg, colored);
  put(x2, y2, clip, round ? 0x256F : 0x2518, fg, colored);
  const cell text = facet_value(face, names().text);
  if (text.type() != TYPE_STRING) return;
  text_style style;
  const cell font = facet_value(face, names().font);
  const cell font_color = facet_value(font, names().color);
  if (font_color.type() == TYPE_TUPLE) style.fg = rgb_to_256(color_of_tuple(font_color));
  // The title keeps the border's background.
  if (clip.y1 <= y && y < clip.y2 && clip.x1 <= x && x < clip.x2)
    style.bg = screen.cells[static_cast<size_t>(y) * static_cast<size_t>(screen.width) + static_cast<size_t>(x)].bg;
  render_text(string_text(text), x + 1, y, clip_rect{clip.x1, clip.y1, std::min(clip.x2, x2), clip.y2}, style,
              draw_flag::sgr);
}

void render_base(int x, int y, widget_id id) {
  const widget* record = widget_of(id);
  const cell* target = option(record->face, names().caret);
  if (!target || target->type() != TYPE_OBJECT) {
    render_face(x, y, id, draw_flag::sgr);
    return;
  }
  widget_of(id)->flags |= widget_flag::caret_only;
  widget* entry = widget_of(get_widget(*target));
  if (!entry) return;
  entry->flags |= widget_flag::text_entry;
  if (entry->flags & widget_flag::focused) {
    screen.caret_column = x;
    screen.caret_row = y;
  }
}

// ---- Making -------------------------------------------------------------------------------

void set_up_class(widget_id id) {
  widget* record = widget_of(id);
  switch (record->kind) {
    case widget_class::window:
      if (window_record* window = init_window(id)) fit_screen_buffer(window);
      break;
    case widget_class::field:
      init_field(*record);
      record->renderer = render_field;
      break;
    case widget_class::button: record->renderer = render_button; break;
    case widget_class::base: {
      const cell* target = option(record->face, names().caret);
      if (target && target->type() == TYPE_OBJECT) record->flags |= widget_flag::caret_only;
      record->renderer = render_base;
      break;
    }
    case widget_class::progress:
      record->renderer = render_progress;
      build_ui(id);
      break;
    case widget_class::group_box: record->renderer = render_group_box; break;
    case widget_class::check:
    case widget_class::radio:
      record->renderer = render_check;
      build_ui(id);
      break;
    case widget_class::text_list:
      record->data = 0;
      build_ui(id);
      break;
    case widget_class::rich_text:
      record->renderer = render_rich_text;
      layout_rich_text(id);
      break;
    case widget_class::plain: break;
  }
}

// Joins a widget to its window: the window's area grows over a direct child, a text entry is
// counted, a focusable widget takes the focus when the window has none.
void join_window(widget_id id) {
  const widget* record = widget_of(id);
  const widget_id window = window_of(id);
  const widget* root = widget_of(window);
  if (!root || !root->window || window == id) return;
  window_record* area = root->window;
  if (record->parent == window) extend_window_area(area, *record);
  if (record->flags & widget_flag::text_entry) ++area->text_entries;
  auto_focus(id);
}

void collect_subtree(widget_id id, std::vector<widget_id>& out) {
  out.push_back(id);
  const widget* record = widget_of(id);
  if (!record) return;
  for (widget_id child : std::vector<widget_id>(record->children)) collect_subtree(child, out);
}

// Everything that refers to a widget about to be freed lets it go.
void forget(widget_id id) {
  while (remove_timer(id)) {
  }
  if (screen.hover == id) screen.hover = no_widget;
  if (screen.capture == id) screen.capture = no_widget;
  std::erase(screen.captures, id);
  const widget* record = widget_of(id);
  if (record && record->flags & widget_flag::text_entry)
    if (window_record* area = window_record_of(id); area && area->text_entries > 0) --area->text_entries;
  for (window_record* area : screen.windows)
    if (area->focused == id) area->focused = area->window != id ? area->window : no_widget;
  if (screen.focus == id) {
    const widget_id window = window_of(id);
    screen.focus = window != id ? window : no_widget;
    if (widget* holder = widget_of(screen.focus)) holder->flags |= widget_flag::focused;
  }
}

// The slot of `system/view/auto-sync?`, or null.
cell* auto_sync() {
  const backend_words& id = names();
  cell* system = context::find_value(context::global, id.system);
  cell* view = system ? facet(*system, id.view) : nullptr;
  return view ? facet(*view, id.auto_sync) : nullptr;
}

// Frees the widget and those below it once nothing refers to them.
void free_view(widget_id target) {
  if (!widget_of(target)) return;
  std::vector<widget_id> subtree;
  collect_subtree(target, subtree);
  for (auto at = subtree.rbegin(); at != subtree.rend(); ++at) forget(*at);
  if (widget_of(target)->kind == widget_class::window) close_window(target);
  free_widget(target);
}

// A widget whose making failed is freed again.
class making {
 public:
  explicit making(widget_id id) : id_(id) {}
  ~making() {
    if (id_) free_view(id_);
  }
  making(const making&) = delete;
  making& operator=(const making&) = delete;
  void done() { id_ = no_widget; }

 private:
  widget_id id_;
};

void remove_from_parent_block(const cell& owner, const cell& face) {
  const cell parent = facet_value(owner, names().parent);
  if (parent.type() != TYPE_BLOCK) return;
  series_buffer* buffer = buffer_of(parent.payload2);
  for (uint32_t i = parent.payload1; i < buffer->count(); ++i) {
    const cell& value = buffer->cells()[i];
    if (value.type() == TYPE_OBJECT && value.payload1 == face.payload1) {
      cell block = parent;
      block.payload1 = i;
      series::close_gap(block.payload2, i, 1);
      break;
    }
  }
}

}  // namespace

widget_id get_widget(const cell& face) {
  const cell state = facet_value(face, names().state);
  if (state.type() != TYPE_BLOCK || block_length(state) == 0) return no_widget;
  const cell handle = block_values(state)[0];
  if (handle.type() != TYPE_HANDLE || handle::class_of(handle) != handle::CLASS_WINDOW) return no_widget;
  return widget_of(handle::id_of(handle)) ? handle::id_of(handle) : no_widget;
}

widget_id make_view(const cell& face_value, widget_id parent) {
  const cell face = face_value;
  const backend_words& id = names();
  const cell rate = facet_value(face, id.rate);
  const uint32_t interval = rate_interval(rate);

  uint32_t flags = widget_flags_of(facet_value(face, id.flags));
  const uint32_t type = word_symbol(facet_value(face, id.type));
  if (cell* offset = facet(face, id.offset); offset && offset->type() == TYPE_PAIR)
    point2D::make_at(*offset, planar_x(*offset), planar_y(*offset));
  if (type == id.window) {
    cell origin = none::value;
    set_facet(face, id.offset, *pair::make_at(origin, 0, 0));
  }
  const cell offset = facet_value(face, id.offset), size = facet_value(face, id.size);
  if (size.type() == TYPE_PAIR) flags |= widget_flag::size_pair;
  if (!true_p(facet_value(face, id.visible))) flags |= widget_flag::hidden;
  if (!true_p(facet_value(face, id.enabled))) flags |= widget_flag::disabled;

  const widget_id made = make_widget(face, parent);
  widget* record = widget_of(made);
  record->type = type;
  record->kind = class_of_type(type);
  record->flags = flags;
  if (planar_p(offset)) {
    record->x1 = planar_x(offset);
    record->y1 = planar_y(offset);
  }
  record->x2 = record->x1 + (planar_p(size) ? planar_x(size) : 0);
  record->y2 = record->y1 + (planar_p(size) ? planar_y(size) : 0);
  making guard(made);
  set_up_class(made);
  if (widget_of(parent)) {
    join_window(made);
    const cell image = facet_value(face, id.image);
    if (image.type() == TYPE_IMAGE) update_image(made, image);
  }
  if (interval) add_timer(made, interval);
  guard.done();
  return made;
}

void update_rate(widget_id id, const cell& rate) {
  const uint32_t interval = rate_interval(rate);
  while (remove_timer(id)) {
  }
  if (interval && widget_of(id)) add_timer(id, interval);
}

void update_image(widget_id id, const cell& image_value) {
  widget* record = widget_of(id);
  if (!record) return;
  record->cells.clear();
  const cell image = image_value;
  const int w = widget_width(*record), h = widget_height(*record);
  if (image.type() != TYPE_IMAGE || w <= 0 || h <= 0 || image::count_of(image) == 0 || !image::pixels_of(image)) return;
  cell* base = stack::top;
  const cell scaled = *image::resize(image, static_cast<uint32_t>(w), static_cast<uint32_t>(2 * h));
  const uint32_t* pixels = image::pixels_of(scaled);
  std::vector<tui_cell> cells(static_cast<size_t>(w) * static_cast<size_t>(h));
  const bool true_color = screen.color_mode == 4;
  auto color = [&](uint32_t pixel) {
    const uint32_t r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
    return true_color ? make_color(color_kind::true_rgb, r << 16 | g << 8 | b) : rgb_to_256(r | g << 8 | b << 16);
  };
  for (int row = 0; row < h; ++row)
    for (int column = 0; column < w; ++column) {
      const uint32_t upper = pixels[static_cast<size_t>(2 * row) * static_cast<size_t>(w) + static_cast<size_t>(column)];
      const uint32_t lower = pixels[static_cast<size_t>(2 * row + 1) * static_cast<size_t>(w) + static_cast<size_t>(column)];
      tui_cell& target = cells[static_cast<size_t>(row) * static_cast<size_t>(w) + static_cast<size_t>(column)];
      target = upper >> 24 == 0 ? tui_cell{U' ', 0, 0, 0} : tui_cell{0x2584, color(upper), color(lower), 0};
    }
  stack::top = base;
  if (widget* owner = widget_of(id)) owner->cells = std::move(cells);
}

void build_ui(widget_id id) {
  const widget* record = widget_of(id);
  if (!record) return;
  const widget_class kind = record->kind;
  if (kind != widget_class::progress && kind != widget_class::check && kind != widget_class::radio &&
      kind != widget_class::text_list) {
    if (kind == widget_class::rich_text) layout_rich_text(id);
    return;
  }
  const library::entry entry = builder_of(kind);
  // Faces show no ui text until the terminal helpers define their builders.
  if (!callable_p(library::value_of(entry))) return;
  const cell face = record->face;
  cell* base = stack::top;
  library::call(entry, &face, 1);
  const cell result = *(stack::top - 1);
  stack::top = base;
  widget* built = widget_of(id);
  if (built && (kind == widget_class::check || kind == widget_class::radio) && result.type() == TYPE_STRING)
    built->ui = result;
}

void handle_widget_event(widget_id id, const widget_event_args& event) {
  const widget* record = widget_of(id);
  if (!record) return;
  switch (record->kind) {
    case widget_class::field: handle_field(id, event); break;
    case widget_class::button: handle_button(id, event); break;
    case widget_class::check: handle_check(id, event, false); break;
    case widget_class::radio: handle_check(id, event, true); break;
    case widget_class::text_list: handle_text_list(id, event); break;
    default: break;
  }
}

void update_view(const cell& face_value) {
  const cell face = face_value;
  const backend_words& id = names();
  const widget_id target = get_widget(face);
  if (!target) return;
  const cell state = facet_value(face, id.state);
  const cell bits_cell = block_length(state) > 1 ? block_values(state)[1] : none::value;
  const uint32_t bits = bits_cell.type() == TYPE_INTEGER ? static_cast<uint32_t>(scalar::integer_value(bits_cell)) : 0;
  if (bits & change::rate) update_rate(target, facet_value(face, id.rate));
  widget* record = widget_of(target);
  if (bits & change::offset) {
    const cell offset = facet_value(face, id.offset);
    if (planar_p(offset)) {
      const float dx = planar_x(offset) - record->x1, dy = planar_y(offset) - record->y1;
      record->x1 += dx;
      record->y1 += dy;
      record->x2 += dx;
      record->y2 += dy;
    }
  }
  if (bits & change::size) {
    const cell size = facet_value(face, id.size);
    if (planar_p(size)) {
      record->x2 = record->x1 + planar_x(size);
      record->y2 = record->y1 + planar_y(size);
    }
    if (record->kind == widget_class::window) fit_window_buffer(target);
  }
  if (bits & change::selected && record->kind == widget_class::window) {
    const widget_id chosen = get_widget(facet_value(face, id.selected));
    set_focus(chosen ? chosen : target, record->window);
  }
  record = widget_of(target);
  // A focus actor may have destroyed the view.
  if (!record) return;
  if (bits & change::enabled)
    record->flags = true_p(facet_value(face, id.enabled)) ? record->flags & ~widget_flag::disabled
                                                           : record->flags | widget_flag::disabled;
  if (bits & change::visible)
    record->flags = true_p(facet_value(face, id.visible)) ? record->flags & ~widget_flag::hidden
                                                           : record->flags | widget_flag::hidden;
  if (bits & change::flags) {
    const uint32_t wanted = widget_flags_of(facet_value(face, id.flags));
    const uint32_t changeable = widget_flag::all_over | widget_flag::password;
    record->flags = (record->flags & ~changeable) | (wanted & changeable);
  }
  if (bits & change::image) update_image(target, facet_value(face, id.image));

  // The builders set facets of the face: they must not show it again.
  const cell saved = auto_sync() ? *auto_sync() : none::value;
  if (cell* sync = auto_sync()) *sync = logic::value_of(false);
  struct restore {
    cell value;
    ~restore() {
      // Looked up again: the builder may have grown the object.
      if (cell* sync = auto_sync()) *sync = value;
    }
  } restoring{saved};
  build_ui(target);
  request_redraw(target);
  const cell now = facet_value(face, id.state);
  if (now.type() == TYPE_BLOCK && block_length(now) > 1)
    buffer_of(now.payload2)->cells()[now.payload1 + 1] = scalar::integer(0);
}

void on_change_facet(const cell& face_value, const cell& word, const cell& series_value, const cell& action,
                     [[maybe_unused]] const cell& added, int32_t index, int32_t part) {
  const cell face = face_value;
  const backend_words& id = names();
  const widget_id target = get_widget(face);
  if (!target) return;
  const uint32_t type = word_symbol(facet_value(face, id.type));
  const uint32_t what = word_symbol(action);
  if (word_p(word, id.data) && type == id.text_list) {
    if (series_value.type() != TYPE_BLOCK && series_value.type() != TYPE_HASH) return;
    if (what == id.remove || what == id.clear || what == id.take || what == id.move) {
      widget* record = widget_of(target);
      if (record->data > index) record->data = index;
      const cell selected = facet_value(face, id.selected);
      if (selected.type() == TYPE_INTEGER) {
        const int32_t count = item_count(facet_value(face, id.data));
        const int32_t cap = std::max(0, count - part);
        if (scalar::integer_value(selected) > cap) set_facet(face, id.selected, scalar::integer(cap));
      }
    }
  } else if ((type == id.drop_list || type == id.drop_down) && part == 0) {
    return;
  }
  update_view(face);
}

void destroy_widget(const cell& face_value) {
  const cell face = face_value;
  const backend_words& id = names();
  const widget_id target = get_widget(face);
  if (!target) return;
  // Cleared first: a face found again in its own pane is left alone.
  set_facet(face, id.state, none::value);
  remove_from_parent_block(facet_value(face, id.font), face);
  const cell font = facet_value(face, id.font);
  if (const cell parents = facet_value(font, id.parent); parents.type() == TYPE_BLOCK && block_length(parents) == 0)
    set_facet(font, id.state, none::value);
  remove_from_parent_block(facet_value(face, id.para), face);
  for (uint32_t i = 0;; ++i) {
    const cell pane = facet_value(face, id.pane);
    if (pane.type() != TYPE_BLOCK || i >= block_length(pane)) break;
    const cell child = block_values(pane)[i];
    if (child.type() == TYPE_OBJECT) destroy_widget(child);
  }
  free_view(target);
}

void destroy_view(const cell& face, bool empty) {
  destroy_widget(face);
  if (empty && leave_loop) leave_loop();
  if (window_count() > 0 && screen.current) screen.redraw = true;
}

}  // namespace tav::tui
