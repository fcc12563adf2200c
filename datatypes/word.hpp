// Words: the word cell shared by word!, set-word!, lit-word!, get-word!, refinement! and
// issue!, interning of global words, reading and writing a word's value, and the actions.
#pragma once
#include <cstdint>

#include "datatypes/types.hpp"
#include "runtime/cell.hpp"

namespace tav {

namespace word {

// Word cell: payload 1 the context node (0 unbound), payload 2 the symbol id, payload 3 the
// index in the context (-1 until resolved).
inline constexpr uint32_t unresolved = 0xFFFFFFFF;
inline cell make_cell(uint8_t type, node_id context, uint32_t symbol, int32_t index) {
  return cell{type, context, symbol, static_cast<uint32_t>(index)};
}
inline uint32_t symbol_of(const cell& word) { return word.payload2; }
inline int32_t index_of(const cell& word) { return static_cast<int32_t>(word.payload3); }

// True once global words can be made (the root block and global context exist).
bool ready_p();

// Interns a global word (case variants share their slot) and answers its word cell, which
// is valid until the next allocation.
cell* load(const char* name);
cell* load_symbol(uint32_t symbol);
// A word! bound in the global context: found there (case variants matching) or added.
void make_at(cell& target, uint32_t symbol);
cell* make_in(cell& block, uint32_t symbol);
cell* make_in_from_name(cell& block, const char* name);
cell* push_global(uint32_t symbol);
cell* push(const cell& word);
cell* local_at(node_id context, uint32_t index);
cell* push_local(node_id context, uint32_t index);
cell* get_in(node_id context, uint32_t index);
cell* get_local(node_id context, uint32_t index);
// Pushes a copy of the word's value; unset raises script/no-value.
cell* get(const cell& word);
// Word and value are the first two arguments; an unset value raises script/need-value.
cell* set();
cell* set_local(node_id context, uint32_t index);
cell* spelling(const cell& word);
cell* as_string(const cell& word);

cell* make(cell* prototype, cell* spec, int32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* index_p();
void init();

// The types whose compare handler answers "not equal", without raising, for any word kind as
// the second value under every equality op; a search for a word passes their values over.
// symbol! is not one of them (it compares spellings), nor a type with no handler (raises).
inline constexpr uint64_t unequal_to_words =
    uint64_t{1} << TYPE_DATATYPE | uint64_t{1} << TYPE_UNSET | uint64_t{1} << TYPE_NONE | uint64_t{1} << TYPE_LOGIC |
    uint64_t{1} << TYPE_BLOCK | uint64_t{1} << TYPE_PAREN | uint64_t{1} << TYPE_STRING | uint64_t{1} << TYPE_FILE |
    uint64_t{1} << TYPE_URL | uint64_t{1} << TYPE_CHAR | uint64_t{1} << TYPE_INTEGER | uint64_t{1} << TYPE_FLOAT |
    uint64_t{1} << TYPE_NATIVE | uint64_t{1} << TYPE_ACTION | uint64_t{1} << TYPE_OP | uint64_t{1} << TYPE_FUNCTION |
    uint64_t{1} << TYPE_PATH | uint64_t{1} << TYPE_LIT_PATH | uint64_t{1} << TYPE_SET_PATH |
    uint64_t{1} << TYPE_GET_PATH | uint64_t{1} << TYPE_ROUTINE | uint64_t{1} << TYPE_BITSET |
    uint64_t{1} << TYPE_OBJECT | uint64_t{1} << TYPE_TYPESET | uint64_t{1} << TYPE_ERROR | uint64_t{1} << TYPE_VECTOR |
    uint64_t{1} << TYPE_HASH | uint64_t{1} << TYPE_PAIR | uint64_t{1} << TYPE_PERCENT | uint64_t{1} << TYPE_TUPLE |
    uint64_t{1} << TYPE_MAP | uint64_t{1} << TYPE_BINARY | uint64_t{1} << TYPE_TIME | uint64_t{1} << TYPE_TAG |
    uint64_t{1} << TYPE_EMAIL | uint64_t{1} << TYPE_HANDLE | uint64_t{1} << TYPE_DATE | uint64_t{1} << TYPE_PORT |
    uint64_t{1} << TYPE_MONEY | uint64_t{1} << TYPE_REF | uint64_t{1} << TYPE_POINT2D | uint64_t{1} << TYPE_POINT3D |
    uint64_t{1} << TYPE_IMAGE;
inline bool may_equal_word_p(uint8_t type) { return type >= 64 || !(unequal_to_words >> type & 1); }

// Text to value: scans the text of a string! cell and writes the first value it holds into
// `first` (unset when none); installed by the lexer. Until then, converting text to a word
// raises internal/not-done.
using text_scanner = void (*)(const cell& text, cell& first);
void set_text_scanner(text_scanner scanner);

}  // namespace word

// The operations every word variant has, differing only in the type byte they write.
namespace word_variant {
cell* make_in(uint8_t type, cell& block, uint32_t symbol, node_id context, int32_t index);
// A global word of the spelling, given the type.
cell load(uint8_t type, const char* name);
cell* push(uint8_t type, const cell& word);
cell* push_local(uint8_t type, node_id context, uint32_t index);
cell* set();
cell* get(const cell& word);
// The text of the spelling with the variant's mark, using one unit of the budget for it.
int32_t mold(cell* value, cell* buffer, int32_t limit);
}  // namespace word_variant

#define TAV_WORD_VARIANT(space, type_id)                                                                             \
  namespace space {                                                                                                \
  inline cell* make_in(cell& block, uint32_t symbol, node_id context, int32_t index) {                            \
    return word_variant::make_in(type_id, block, symbol, context, index);                                          \
  }                                                                                                                \
  inline cell* push(const cell& word) { return word_variant::push(type_id, word); }                               \
  inline cell* push_local(node_id context, uint32_t index) {                                                      \
    return word_variant::push_local(type_id, context, index);                                                      \
  }                                                                                                                \
  inline cell* set() { return word_variant::set(); }                                                               \
  int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent); \
  void init();                                                                                                     \
  }
TAV_WORD_VARIANT(set_word, TYPE_SET_WORD)
TAV_WORD_VARIANT(lit_word, TYPE_LIT_WORD)
TAV_WORD_VARIANT(get_word, TYPE_GET_WORD)
TAV_WORD_VARIANT(refinement, TYPE_REFINEMENT)
#undef TAV_WORD_VARIANT

namespace set_word {
inline cell load(const char* name) { return word_variant::load(TYPE_SET_WORD, name); }
inline cell* get(const cell& word) { return word_variant::get(word); }
}  // namespace set_word
namespace lit_word {
inline cell load(const char* name) { return word_variant::load(TYPE_LIT_WORD, name); }
inline cell* get(const cell& word) { return word_variant::get(word); }
}  // namespace lit_word
namespace get_word {
inline cell load(const char* name) { return word_variant::load(TYPE_GET_WORD, name); }
// Pushes the value.
cell* get(const cell& word);
}  // namespace get_word
namespace refinement {
// An unbound refinement! appended to the root block.
cell* load(const char* name);
inline cell* get(const cell& word) { return word_variant::get(word); }
}  // namespace refinement

namespace issue {
// An issue! is bound to the global context with index -1.
cell* load_in(const char* name, cell& block);
// Into the root block while start-up collection is on, else pushed.
cell* load(const char* name);
void make_at(cell& target, const char* name);
cell* push(const cell& value);

cell* make(cell* prototype, cell* spec, int32_t type);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
int32_t compare(cell* value1, cell* value2, int32_t op);
void init();
}  // namespace issue

}  // namespace tav
