// Rich-text faces on cells: the cells of the text on the face colour, and the walk over the
// style runs that colours them and sets their attribute bits.
#include "view/backends/terminal/rich_text.hpp"

#include <algorithm>

#include "boot/system_object.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"
#include "view/backends/terminal/screen.hpp"

namespace tav::tui {
namespace {

// The words the walk and the layout read, interned on first use.
struct rich_text_words {
  uint32_t bold, italic, underline, strike, border, backdrop, text, data, color, view, silent;
};

const rich_text_words& words() {
  static const rich_text_words ids = [] {
    auto id = [](const char* name) { return symbol::resolve(symbol::make(name)); };
    return rich_text_words{id("bold"),  id("italic"), id("underline"), id("strike"), id("border"), id("backdrop"),
                           id("text"),  id("data"),   id("color"),     id("view"),   id("silent?")};
  }();
  return ids;
}

uint32_t word_symbol(const cell& value) { return symbol::resolve(word::symbol_of(value)); }

// The value a word holds, or null when it holds none: asking never raises an error.
const cell* held_value(const cell& value) {
  if (value.payload1 == 0 || word::index_of(value) < 0) return nullptr;
  if (!context::values(value.payload1)) return nullptr;
  if (static_cast<uint32_t>(word::index_of(value)) >= context::word_count(value.payload1)) return nullptr;
  return context::get(value);
}

// A tuple, or a word that holds one.
const cell* colour_of(const cell& value) {
  if (value.type() == TYPE_TUPLE) return &value;
  if (value.type() != TYPE_WORD) return nullptr;
  const cell* held = held_value(value);
  return held && held->type() == TYPE_TUPLE ? held : nullptr;
}

const cell* field(const cell& object, uint32_t symbol) {
  if (object.type() != TYPE_OBJECT) return nullptr;
  return context::find_value(object::context_of(object), symbol);
}

bool silent_p() {
  const cell* view = field(system_object::value, words().view);
  const cell* silent = view ? field(*view, words().silent) : nullptr;
  return silent && silent->type() != TYPE_UNSET && !logic::false_p(*silent);
}

// The style block's error at `position` (its tail when the block has ended); answers only when
// errors are silent, and the walk then ends.
void styles_invalid(const cell& styles, uint32_t position) {
  if (silent_p()) return;
  cell at = styles;
  at.payload1 = position;
  fire(error_id::script_draw_invalid, at);
}

// The cells [start, start + length) that lie in the text.
std::span<tui_cell> run_cells(std::span<tui_cell> cells, int64_t start, int64_t length) {
  const int64_t count = static_cast<int64_t>(cells.size());
  const int64_t first = std::clamp<int64_t>(start, 0, count);
  const int64_t last = std::clamp<int64_t>(start + std::max<int64_t>(length, 0), first, count);
  return cells.subspan(static_cast<size_t>(first), static_cast<size_t>(last - first));
}

}  // namespace

void draw_rich_text_styles(std::span<tui_cell> cells, const cell& styles) {
  const rich_text_words& id = words();
  series_buffer* buffer = buffer_of(styles.payload2);
  const cell* values = buffer->cells();
  const uint32_t tail = buffer->count();
  std::span<tui_cell> run;
  const auto add_attribute = [&](uint32_t bits) {
    for (tui_cell& c : run) c.attr |= bits;
  };
  for (uint32_t i = styles.payload1; i < tail; ++i) {
    const cell& value = values[i];
    switch (value.type()) {
      case TYPE_PAIR:
        run = run_cells(cells, static_cast<int64_t>(pair::x_of(value)) - 1, pair::y_of(value));
        continue;
      case TYPE_TUPLE: {
        const uint32_t fg = rgb_to_256(color_of_tuple(value));
        for (tui_cell& c : run) c.fg = fg;
        continue;
      }
      case TYPE_STRING:
      case TYPE_INTEGER:
      case TYPE_FLOAT:
        continue;  // a font's name or size: the terminal has one font
      case TYPE_WORD:
        break;
      default:
        return styles_invalid(styles, i);
    }
    const uint32_t symbol = word_symbol(value);
    if (symbol == id.backdrop) {
      const cell* colour = i + 1 < tail ? colour_of(values[i + 1]) : nullptr;
      if (!colour) return styles_invalid(styles, i + 1);
      const uint32_t bg = rgb_to_256(color_of_tuple(*colour));
      for (tui_cell& c : run) c.bg = bg;
      ++i;
      continue;
    }
    if (symbol == id.bold) {
      add_attribute(attr::bold);
      continue;
    }
    if (symbol == id.italic) {
      add_attribute(attr::italic);
      continue;
    }
    if (symbol != id.underline && symbol != id.strike && symbol != id.border) return styles_invalid(styles, i);
    if (symbol == id.underline) add_attribute(attr::underline);
    if (symbol == id.strike) add_attribute(attr::strike);
    // A line's colour and its kind ('dashed ...) may follow: the cells cannot show them.
    if (i + 1 < tail && values[i + 1].type() == TYPE_TUPLE) ++i;
    if (i + 1 < tail && values[i + 1].type() == TYPE_LIT_WORD) ++i;
  }
}

bool layout_rich_text(std::vector<tui_cell>& buffer, const cell& text, const cell& data, const cell& color) {
  buffer.clear();
  if (text.type() != TYPE_STRING || data.type() != TYPE_BLOCK) return false;
  series_buffer* string = buffer_of(text.payload2);
  const uint32_t count = string->count();
  if (text.payload1 >= count) return false;
  const uint32_t unit = string->unit();
  const uint8_t* head = string->head();
  const uint32_t bg = color.type() == TYPE_TUPLE ? rgb_to_256(color_of_tuple(color)) : 0;
  buffer.reserve(count - text.payload1);
  for (uint32_t i = text.payload1; i < count; ++i)
    buffer.push_back(tui_cell{string::get_char(head + i * unit, unit), bg, 0, 0});
  draw_rich_text_styles(buffer, data);
  return true;
}

bool layout_rich_text(std::vector<tui_cell>& buffer, const cell& face) {
  const rich_text_words& id = words();
  const cell* text = field(face, id.text);
  const cell* data = field(face, id.data);
  const cell* color = field(face, id.color);
  return layout_rich_text(buffer, text ? *text : none::value, data ? *data : none::value,
                          color ? *color : none::value);
}

}  // namespace tav::tui
