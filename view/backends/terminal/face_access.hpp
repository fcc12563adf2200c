// Reading and writing the facets of a face from the backend: the words it is read with and the
// value slots of its fields. Writes go straight into the slot, without change handlers.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/cell.hpp"

namespace tav::tui {

// Symbols of the words the backend reads faces with, interned on first use.
struct backend_words {
  uint32_t type, offset, size, text, image, color, data, enabled, visible, selected, flags, options, rate, state,
      pane, font, para, parent;
  uint32_t window, field, button, base, progress, group_box, check, radio, text_list, rich_text, screen, drop_list,
      drop_down, area;
  uint32_t all_over, focusable, password, fullscreen;
  uint32_t caret, border_corners, round, border_color;
  uint32_t remove, clear, take, move, poke;
  uint32_t system, view, auto_sync;
};
const backend_words& names();

// The value slot of an object's field, or null when the value is no object or has no such field.
cell* facet(const cell& object, uint32_t symbol);
// The facet's value, none when absent.
cell facet_value(const cell& object, uint32_t symbol);
void set_facet(const cell& object, uint32_t symbol, const cell& value);

// The resolved symbol of a word-like value, 0 for any other value.
uint32_t word_symbol(const cell& value);
bool word_p(const cell& value, uint32_t symbol);

// Series helpers for blocks and strings from their index.
const cell* block_values(const cell& block);
uint32_t block_length(const cell& block);
std::u32string string_text(const cell& string);
// The number of values a text-list shows: the length of a block or hash, a map's entries.
int32_t item_count(const cell& data);

}  // namespace tav::tui
