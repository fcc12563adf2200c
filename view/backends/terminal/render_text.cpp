// Drawing into the cell grid: filling, the layout of text and styled cells with clipping,
// wrapping and wide characters, the SGR escapes a face's text may carry, and faces.
#include <algorithm>
#include <string>

#include "console/char_width.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/types.hpp"
#include "datatypes/word.hpp"
#include "runtime/memory.hpp"
#include "view/backends/terminal/draw.hpp"
#include "view/backends/terminal/screen.hpp"

namespace tav::tui {
namespace {

constexpr uint32_t added_attributes = attr::dim | attr::reverse | attr::masked;
constexpr char32_t escape = 0x1B;

// The words a face is read with, interned on first use.
struct face_words {
  uint32_t color, font, para, text, options, hint, align, v_align, wrap, center, right, middle, bottom;
};

const face_words& words() {
  static const face_words ids = [] {
    auto id = [](const char* name) { return symbol::resolve(symbol::make(name)); };
    return face_words{id("color"),   id("font"),  id("para"),   id("text"),   id("options"),
                      id("hint"),    id("align"), id("v-align"), id("wrap?"), id("center"),
                      id("right"),   id("middle"), id("bottom")};
  }();
  return ids;
}

bool object_p(const cell& value) { return value.type() == TYPE_OBJECT; }

// The field of an object, or null.
const cell* field(const cell& object, uint32_t symbol) {
  if (!object_p(object)) return nullptr;
  return context::find_value(object::context_of(object), symbol);
}

bool word_is_p(const cell* value, uint32_t symbol) {
  return value && any_word_p(value->type()) && symbol::resolve(word::symbol_of(*value)) == symbol;
}

// The characters of a string from its head.
void read_text(const cell& string, std::u32string& out) {
  out.clear();
  series_buffer* buffer = buffer_of(string.payload2);
  const uint32_t unit = buffer->unit();
  const uint32_t count = buffer->count();
  const uint8_t* head = buffer->head();
  for (uint32_t i = string.payload1; i < count; ++i) out.push_back(string::get_char(head + i * unit, unit));
}

bool text_p(const cell* value) { return value && series::any_string_p(value->type()); }

// The string after the key `hint` in an options block, or null.
const cell* hint_of(const cell& face) {
  const cell* options = field(face, words().options);
  if (!options || options->type() != TYPE_BLOCK) return nullptr;
  series_buffer* buffer = buffer_of(options->payload2);
  const cell* values = buffer->cells();
  for (uint32_t i = options->payload1; i + 1 < buffer->count(); ++i)
    if (word_is_p(&values[i], words().hint) && text_p(&values[i + 1])) return &values[i + 1];
  return nullptr;
}

void put_cell(int x, int y, uint32_t cp, uint32_t bg, uint32_t fg, uint32_t attributes) {
  screen.cells[static_cast<size_t>(y) * static_cast<size_t>(screen.width) + static_cast<size_t>(x)] =
      tui_cell{cp, bg, fg, attributes};
}

// One character of a layout: where it goes and whether it is drawn.
struct layout {
  const clip_rect& clip;
  int x;
  bool wrap;
  int column;
  int row;
  bool skipping = false;  // past the right edge, until the next line feed

  void line_feed() {
    ++row;
    column = x;
    skipping = false;
  }

  // Answers whether a character of `width` cells is stored, and where; moves past it.
  bool place(int width, int& at_column, int& at_row) {
    if (wrap && column + width > clip.x2 && column > x) line_feed();
    at_column = column;
    at_row = row;
    const bool inside = row >= clip.y1 && row < clip.y2 && at_column >= clip.x1 && at_column + width <= clip.x2;
    column += width;
    // A full line wraps only when another character comes: a line feed right after it does
    // not leave an empty line.
    if (column >= clip.x2 && !wrap) skipping = true;
    return inside;
  }

  bool done() const { return row >= clip.y2; }
};

void store(int x, int y, int width, uint32_t cp, uint32_t bg, uint32_t fg, uint32_t attributes) {
  put_cell(x, y, cp, bg, fg, attributes);
  for (int i = 1; i < width; ++i) put_cell(x + i, y, 0, bg, fg, attributes | attr::continuation);
}

// The width the layout gives a character; characters of no width are not stored.
int width_of(uint32_t cp) { return terminal::char_width(cp); }

int widget_width(const widget& record) { return static_cast<int>(record.x2 - record.x1); }
int widget_height(const widget& record) { return static_cast<int>(record.y2 - record.y1); }

// The position of a widget on the screen: its origin and those of its ancestors.
void screen_position(widget_id id, float& x, float& y) {
  x = 0;
  y = 0;
  for (widget* record = widget_of(id); record; record = widget_of(record->parent)) {
    x += record->x1;
    y += record->y1;
  }
}

}  // namespace

void fill_cells(int x, int y, int w, int h, uint32_t bg) {
  const int x2 = std::min(x + w, screen.width), y2 = std::min(y + h, screen.height);
  for (int row = std::max(y, 0); row < y2; ++row)
    for (int column = std::max(x, 0); column < x2; ++column) {
      tui_cell& cell = screen.cells[static_cast<size_t>(row) * static_cast<size_t>(screen.width) + static_cast<size_t>(column)];
      cell.cp = ' ';
      cell.bg = bg;
    }
}

void apply_sgr(int parameter, text_style& style) {
  static constexpr uint32_t attribute_of[10] = {0,         attr::bold, attr::dim,    attr::italic, attr::underline,
                                                attr::blink, 0,        attr::reverse, attr::hidden, attr::strike};
  if (parameter == 0) {
    style = text_style{};
  } else if (parameter >= 1 && parameter <= 9) {
    style.attr |= attribute_of[parameter];
  } else if (parameter >= 21 && parameter <= 29) {
    style.attr &= ~attribute_of[parameter - 20];
  } else if ((parameter >= 30 && parameter <= 37) || parameter == 39) {
    style.fg = make_color(color_kind::slot16, static_cast<uint32_t>(parameter - 30));
  } else if ((parameter >= 40 && parameter <= 47) || parameter == 49) {
    style.bg = make_color(color_kind::slot16, static_cast<uint32_t>(parameter - 40));
  } else if (parameter >= 90 && parameter <= 97) {
    style.fg = make_color(color_kind::slot16, static_cast<uint32_t>(parameter - 80));
  } else if (parameter >= 100 && parameter <= 107) {
    style.bg = make_color(color_kind::slot16, static_cast<uint32_t>(parameter - 90));
  }
}

size_t parse_ansi_text(std::u32string_view text, size_t at, text_style& style) {
  size_t i = at + 1;
  if (i >= text.size() || text[i] != U'[') return i;
  ++i;
  int parameters[3];
  int count = 0;
  bool digits = false;
  int value = 0;
  for (; i < text.size(); ++i) {
    const char32_t ch = text[i];
    if (ch >= U'0' && ch <= U'9') {
      value = std::min(value * 10 + static_cast<int>(ch - U'0'), 100000);
      digits = true;
      continue;
    }
    if (ch != U';') break;
    if (count == 3) count = 0;  // a fourth parameter starts the list over
    parameters[count++] = value;
    value = 0;
    digits = false;
  }
  if (digits || count > 0) {
    if (count == 3) count = 0;
    parameters[count++] = value;
  }
  if (i >= text.size()) return i;
  if (text[i] == U'm') {
    if (count == 3 && parameters[1] == 5 && (parameters[0] == 38 || parameters[0] == 48)) {
      const uint32_t color = make_color(color_kind::indexed, static_cast<uint32_t>(parameters[2] & 0xFF));
      (parameters[0] == 38 ? style.fg : style.bg) = color;
    } else if (count == 0) {
      apply_sgr(0, style);  // ESC [ m is a reset, as on every terminal
    } else {
      for (int p = 0; p < count; ++p) apply_sgr(parameters[p], style);
    }
  }
  return i + 1;
}

void render_text(std::u32string_view text, int x, int y, const clip_rect& clip, text_style style, uint32_t flags) {
  if (clip.empty_p()) return;
  const uint32_t added = flags & added_attributes;
  const bool sgr = flags & draw_flag::sgr;
  layout at{clip, x, (flags & draw_flag::wrap) != 0, x, y};
  for (size_t i = 0; i < text.size() && !at.done(); ++i) {
    const char32_t ch = text[i];
    if (ch == U'\n') {
      at.line_feed();
      continue;
    }
    if (sgr && ch == escape) {
      i = parse_ansi_text(text, i, style) - 1;
      continue;
    }
    if (at.skipping) continue;
    const int width = width_of(ch);
    if (width <= 0) continue;
    int column = 0, row = 0;
    if (at.place(width, column, row)) store(column, row, width, ch, style.bg, style.fg, style.attr | added);
  }
}

void render_text(std::span<const tui_cell> cells, int x, int y, const clip_rect& clip, uint32_t flags) {
  if (clip.empty_p()) return;
  const uint32_t added = flags & added_attributes;
  layout at{clip, x, (flags & draw_flag::wrap) != 0, x, y};
  for (const tui_cell& cell : cells) {
    if (at.done()) break;
    if (cell.cp == U'\n') {
      at.line_feed();
      continue;
    }
    if (at.skipping) continue;
    const int width = width_of(cell.cp ? cell.cp : U' ');
    if (width <= 0) continue;
    int column = 0, row = 0;
    if (at.place(width, column, row))
      store(column, row, width, cell.cp, cell.bg, cell.fg, (cell.attr & ~attr::continuation) | added);
  }
}

void measure_text(std::u32string_view text, int width, uint32_t flags, int& columns, int& lines) {
  const bool sgr = flags & draw_flag::sgr;
  const bool wrap = flags & draw_flag::wrap;
  text_style ignored;
  columns = 0;
  lines = text.empty() ? 0 : 1;
  int column = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t ch = text[i];
    if (ch == U'\n') {
      ++lines;
      column = 0;
      continue;
    }
    if (sgr && ch == escape) {
      i = parse_ansi_text(text, i, ignored) - 1;
      continue;
    }
    const int w = std::max(width_of(ch), 0);
    if (wrap && column > 0 && column + w > width) {
      ++lines;
      column = 0;
    }
    column += w;
    columns = std::max(columns, wrap ? std::min(column, width) : column);
  }
}

uint32_t text_align_flags(const cell& para) {
  const face_words& id = words();
  uint32_t flags = 0;
  const cell* align = field(para, id.align);
  if (word_is_p(align, id.center)) flags |= draw_flag::align_center;
  if (word_is_p(align, id.right)) flags |= draw_flag::align_right;
  const cell* v_align = field(para, id.v_align);
  if (word_is_p(v_align, id.middle)) flags |= draw_flag::align_middle;
  if (word_is_p(v_align, id.bottom)) flags |= draw_flag::align_bottom;
  const cell* wrap = field(para, id.wrap);
  if (wrap && wrap->type() == TYPE_LOGIC && wrap->payload1) flags |= draw_flag::wrap;
  return flags;
}

clip_rect clip_to_parents(int x, int y, widget_id id) {
  const widget* record = widget_of(id);
  if (!record) return clip_rect{0, 0, 0, 0};
  clip_rect clip{x, y, x + widget_width(*record), y + widget_height(*record)};
  const widget* parent = widget_of(record->parent);
  if (parent && parent->parent) {
    float px = 0, py = 0;
    screen_position(record->parent, px, py);
    clip.x1 = std::max(clip.x1, static_cast<int>(px));
    clip.y1 = std::max(clip.y1, static_cast<int>(py));
    clip.x2 = std::min(clip.x2, static_cast<int>(px) + widget_width(*parent));
    clip.y2 = std::min(clip.y2, static_cast<int>(py) + widget_height(*parent));
  }
  clip.x1 = std::max(clip.x1, 0);
  clip.y1 = std::max(clip.y1, 0);
  clip.x2 = std::min(clip.x2, screen.width);
  clip.y2 = std::min(clip.y2, screen.height);
  return clip;
}

namespace {

// The face's `text`, or its hint dimmed when it has no text, placed by the alignment.
void render_face_text(int x, int y, const widget& record, const clip_rect& clip, text_style style, uint32_t alignment,
                      uint32_t flags) {
  const face_words& names = words();
  const cell face = record.face;
  const int w = widget_width(record), h = widget_height(record);
  static std::u32string text;
  uint32_t text_flags = flags | (alignment & draw_flag::wrap);
  const cell* shown = field(face, names.text);
  if (text_p(shown)) read_text(*shown, text);
  if (!text_p(shown) || text.empty()) {
    shown = hint_of(face);
    if (!shown) return;
    read_text(*shown, text);
    text_flags |= attr::dim;
  }
  int columns = 0, lines = 0;
  measure_text(text, w, text_flags, columns, lines);
  int dx = 0, dy = 0;
  if (columns < w) dx = alignment & draw_flag::align_center ? (w - columns) / 2 : alignment & draw_flag::align_right ? w - columns : 0;
  if (lines < h) dy = alignment & draw_flag::align_middle ? (h - lines) / 2 : alignment & draw_flag::align_bottom ? h - lines : 0;
  render_text(text, x + dx, y + dy, clip, style, text_flags);
}

}  // namespace

void render_face(int x, int y, widget_id id, uint32_t flags) {
  const widget* record = widget_of(id);
  if (!record) return;
  const face_words& names = words();
  const cell face = record->face;
  text_style style;
  if (const cell* color = field(face, names.color); color && color->type() == TYPE_TUPLE)
    style.bg = rgb_to_256(color_of_tuple(*color));
  const cell* font = field(face, names.font);
  if (font && object_p(*font))
    if (const cell* color = field(*font, names.color); color && color->type() == TYPE_TUPLE)
      style.fg = rgb_to_256(color_of_tuple(*color));
  const cell* para = field(face, names.para);
  const uint32_t alignment = para ? text_align_flags(*para) : 0;

  const clip_rect clip = clip_to_parents(x, y, id);
  if (clip.empty_p()) return;
  fill_cells(clip.x1, clip.y1, clip.x2 - clip.x1, clip.y2 - clip.y1, style.bg);

  const int w = widget_width(*record);
  if (!record->cells.empty() && w > 0) {
    const std::span<const tui_cell> cells(record->cells);
    for (size_t row = 0; row * static_cast<size_t>(w) < cells.size(); ++row)
      render_text(cells.subspan(row * static_cast<size_t>(w), std::min(cells.size() - row * static_cast<size_t>(w), static_cast<size_t>(w))),
                  x, y + static_cast<int>(row), clip, flags);
  }
  static std::u32string text;
  if (text_p(&record->ui)) {
    read_text(record->ui, text);
    render_text(text, x, y, clip, style, flags);
  }
  if (!(flags & draw_flag::no_text)) render_face_text(x, y, *record, clip, style, alignment, flags);
  draw_face(x, y, id, clip, flags);
}

}  // namespace tav::tui
