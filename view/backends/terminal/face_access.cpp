// The backend's reading of faces: interned words and field slots.
#include "view/backends/terminal/face_access.hpp"

#include "datatypes/context.hpp"
#include "datatypes/map.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "runtime/memory.hpp"

namespace tav::tui {

const backend_words& names() {
  static const backend_words ids = [] {
    auto id = [](const char* name) { return symbol::resolve(symbol::make(name)); };
    return backend_words{
        id("type"),     id("offset"),    id("size"),      id("text"),      id("image"),     id("color"),
        id("data"),     id("enabled?"),  id("visible?"),  id("selected"),  id("flags"),     id("options"),
        id("rate"),     id("state"),     id("pane"),      id("font"),      id("para"),      id("parent"),
        id("window"),   id("field"),     id("button"),    id("base"),      id("progress"),  id("group-box"),
        id("check"),    id("radio"),     id("text-list"), id("rich-text"), id("screen"),    id("drop-list"),
        id("drop-down"), id("area"),     id("all-over"),  id("focusable"), id("password"),  id("fullscreen"),
        id("caret"),    id("border-corners"), id("round"), id("border-color"), id("remove"), id("clear"),
        id("take"),     id("move"),      id("poke"),      id("system"),    id("view"),      id("auto-sync?")};
  }();
  return ids;
}

cell* facet(const cell& object, uint32_t symbol) {
  if (object.type() != TYPE_OBJECT) return nullptr;
  return context::find_value(object::context_of(object), symbol);
}

cell facet_value(const cell& object, uint32_t symbol) {
  const cell* slot = facet(object, symbol);
  return slot ? *slot : none::value;
}

void set_facet(const cell& object, uint32_t symbol, const cell& value) {
  if (cell* slot = facet(object, symbol)) *slot = value;
}

uint32_t word_symbol(const cell& value) {
  return any_word_p(value.type()) ? symbol::resolve(word::symbol_of(value)) : 0;
}

bool word_p(const cell& value, uint32_t symbol) { return word_symbol(value) == symbol; }

const cell* block_values(const cell& block) { return buffer_of(block.payload2)->cells() + block.payload1; }

uint32_t block_length(const cell& block) {
  const uint32_t count = buffer_of(block.payload2)->count();
  return block.payload1 < count ? count - block.payload1 : 0;
}

std::u32string string_text(const cell& string) {
  std::u32string out;
  series_buffer* buffer = buffer_of(string.payload2);
  const uint32_t unit = buffer->unit();
  const uint8_t* head = buffer->head();
  for (uint32_t i = string.payload1; i < buffer->count(); ++i) out.push_back(string::get_char(head + i * unit, unit));
  return out;
}

int32_t item_count(const cell& data) {
  if (data.type() == TYPE_BLOCK || data.type() == TYPE_HASH) return static_cast<int32_t>(block_length(data));
  if (data.type() == TYPE_MAP) return static_cast<int32_t>(map::key_count(data));
  return 0;
}

}  // namespace tav::tui
