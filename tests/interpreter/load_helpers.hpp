// Test helpers for load mode: text loaded into a block, the values of a block read back,
// text forms of loaded values, and a deep comparison of two loaded blocks.
#pragma once
#include <cstring>
#include <string>
#include <string_view>

#include "datatypes/value_fixture.hpp"
#include "interpreter/transcode.hpp"
#include "runtime/fire_helpers.hpp"

namespace tav::testing {

inline cell load_text(std::string_view text) {
  cell block = none::value;
  lexer::load_options options;
  lexer::transcode(block, reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()), options,
                   nullptr);
  return block;
}

inline uint32_t count_of(const cell& block) { return buffer_of(block.payload2)->count() - block.payload1; }
inline cell item(const cell& block, uint32_t i) { return buffer_of(block.payload2)->cells()[block.payload1 + i]; }

// The one value a text loads as.
inline cell load_one(std::string_view text) {
  cell block = load_text(text);
  EXPECT_EQ(block.type(), TYPE_BLOCK) << text;
  EXPECT_EQ(count_of(block), 1u) << text;
  return count_of(block) ? item(block, 0) : none::value;
}

inline cell text_value(std::string_view text, uint8_t type = TYPE_STRING) {
  cell string;
  tav::string::load_at(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &string,
                       tav::string::encoding::utf8);
  set_type(string, type);
  return string;
}

inline bool block_family_p(uint8_t type) { return type == TYPE_BLOCK || type == TYPE_PAREN || (type >= 25 && type <= 28); }

// Mold text; blocks, parens and paths are written here from their elements' molds (one space
// between elements, no line breaks), constructions in their #(...) form.
inline std::string mold_of(const cell& value) {
  uint8_t type = value.type();
  if (block_family_p(type)) {
    bool path = type >= 25;
    std::string text = type == TYPE_BLOCK ? "[" : type == TYPE_PAREN ? "(" : type == 26 ? "'" : type == 28 ? ":" : "";
    for (uint32_t i = 0; i < count_of(value); ++i) {
      if (i) text += path ? "/" : " ";
      text += mold_of(item(value, i));
    }
    text += type == TYPE_BLOCK ? "]" : type == TYPE_PAREN ? ")" : type == 27 ? ":" : "";
    return text;
  }
  bool construct = type == TYPE_DATATYPE || type == TYPE_LOGIC || type == TYPE_NONE || type == TYPE_UNSET;
  return molded(value, construct);
}

inline std::string mold_all(const cell& block) {
  std::string text;
  for (uint32_t i = 0; i < count_of(block); ++i) {
    if (i) text += ' ';
    text += mold_of(item(block, i));
  }
  return text;
}

// Same type and same value: text by code points, words by spelling, series element by
// element, anything else by its payload.
inline bool same_loaded(const cell& a, const cell& b) {
  if (a.type() != b.type()) return false;
  uint8_t type = a.type();
  if (block_family_p(type)) {
    if (count_of(a) != count_of(b)) return false;
    for (uint32_t i = 0; i < count_of(a); ++i)
      if (!same_loaded(item(a, i), item(b, i))) return false;
    return true;
  }
  if (type == TYPE_STRING || (type >= 8 && type <= 9) || type == TYPE_TAG || type == TYPE_EMAIL || type == TYPE_REF)
    return text_of(a) == text_of(b);
  if (any_word_p(type)) return spelling_of(a) == spelling_of(b);
  if (type == TYPE_BINARY) {
    series_buffer* x = buffer_of(a.payload2);
    series_buffer* y = buffer_of(b.payload2);
    return x->used() == y->used() && std::memcmp(x->head(), y->head(), x->used()) == 0;
  }
  return (a.header & ~cell_flag::new_line) == (b.header & ~cell_flag::new_line) && a.payload1 == b.payload1 && a.payload2 == b.payload2 && a.payload3 == b.payload3;
}

}  // namespace tav::testing
