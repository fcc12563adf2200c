// Contexts: word lists and value slots, lookup and binding of words, the global context
// and the root block.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::context {

inline constexpr uint32_t kind_global = 0, kind_function = 1, kind_object = 2;
inline constexpr uint32_t kind_shift = 11;
inline constexpr uint32_t global_capacity = 4000;
inline constexpr uint32_t root_capacity = 8697;

// Runtime roots: the root block (a fixed block! that keeps values reachable), the global
// context's node, and the start-up collection flag under which interned words are also
// appended to the root block.
extern cell root;
extern node_id global;
extern bool collecting_at_start;

// Makes the root block and the global context (4,000 slots), and makes them collector roots.
// Called again, it empties the root block and makes a new, empty global context.
void init_global();

// The two cells of a context series: the context! cell and `self`.
cell* cell_of(node_id context);
cell* self_of(node_id context);
uint32_t kind_of(node_id context);
// Node of the word list (a hash table of kind symbol) and of its block of word cells.
node_id word_list(node_id context);
node_id words_block(node_id context);
uint32_t word_count(node_id context);
// Word cell / value cell N (0-based). Values of a frame context live on the argument stack
// while its function runs; without a frame they are null.
cell* word_at(node_id context, uint32_t index);
cell* values(node_id context);
cell* value_at(node_id context, uint32_t index);

node_id create(uint32_t size, bool frame, bool flag, node_id source, uint32_t kind);
node_id make(const cell& spec, bool frame, bool flag, uint32_t kind);
node_id clone(cell& owner, uint32_t kind);

int32_t find_word(node_id context, uint32_t symbol, bool case_insensitive);
int32_t find_or_add(node_id context, uint32_t symbol, bool case_insensitive, int32_t& index);
int32_t add_word(node_id context, const cell& word);
cell* add_with(node_id context, const cell& word, const cell& value);
cell* put(node_id context, const cell& word, const cell& value);
cell* add_global(uint32_t symbol, bool case_insensitive, bool fresh_copy);
// The value of the symbol (case variants match), null when absent; a frame context is
// looked up in the global context.
cell* find_value(node_id context, uint32_t symbol);

cell* get_in(const cell& word, node_id context);
cell* get(const cell& word);
cell* set_in(cell& word, const cell& value, node_id context, bool notify);
cell* set(cell& word, const cell& value);
void set_local(node_id context, uint32_t index);
cell word_for_symbol(node_id context, uint32_t symbol);
int32_t bind_word(node_id context, cell& word);
cell* bind(cell& block, node_id context, bool self_handling);
bool collect_set_words(node_id context, cell& block);

// The owner's on-change hook: called by `set_in` when an object with change handling is
// written through a word (word, old value, new value).
using change_notifier = void (*)(node_id context, const cell& word, const cell& old_value, const cell& new_value);
void set_change_notifier(change_notifier notifier);

void init();

}  // namespace tav::context
