// Contexts: word lists and value slots, lookup and binding of words, the global context
// and the root block.
#include "datatypes/context.hpp"

#include <algorithm>

#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"
#include "runtime/series.hpp"

namespace tav::context {

cell root{unset_header, 0, 0, 0};
node_id global = 0;
bool collecting_at_start = false;

namespace {

change_notifier notify_change = nullptr;

constexpr cell unset_cell{unset_header, 0, 0, 0};

bool frame_p(const cell& context) { return (context.header & cell_flag::stack_values) != 0; }

// Symbols are the same when they are the same id or case variants of one another.
inline bool same_symbol_p(uint32_t a, uint32_t b) { return a == b || symbol::resolve(a) == symbol::resolve(b); }

uint32_t values_length(node_id context) {
  const cell& record = *cell_of(context);
  if (frame_p(record)) return word_count(context);
  return record.payload2 ? buffer_of(record.payload2)->count() : 0;
}

void append_value(node_id context, const cell& value) {
  const cell& record = *cell_of(context);
  if (frame_p(record)) return;
  cell copy = value;  // the value may live in the buffer that grows
  *alloc_tail(buffer_of(record.payload2)) = copy;
}

// The slot of the word found at `position` of the word list: its own index, which for a
// global word added for a case variant is the slot of that variant.
int32_t slot_at(node_id context, int32_t position) {
  return word::index_of(*word_at(context, static_cast<uint32_t>(position)));
}

// The block of word cells of a word list. The list's record is read in place: this is on the
// path of every word access.
series_buffer* words_of(const cell& record) {
  return buffer_of(reinterpret_cast<const hashtable::record*>(buffer_of(record.payload1)->head())->block);
}

// The word's cached index when the word list holds the word's symbol (or a case variant)
// there, else -1. A cached index is never trusted alone: the word may belong elsewhere.
int32_t cached_slot(const cell& word, const cell& record) {
  int32_t index = word::index_of(word);
  if (index < 0) return -1;
  series_buffer* words = words_of(record);
  if (static_cast<uint32_t>(index) >= words->count()) return -1;
  uint32_t stored = word::symbol_of(words->cells()[index]);
  return same_symbol_p(stored, word::symbol_of(word)) ? index : -1;
}

// The slot a word names in the context: the cached index when it holds, else the slot found
// by looking the symbol up, else -1.
int32_t checked_slot(const cell& word, node_id context) {
  int32_t slot = cached_slot(word, *cell_of(context));
  if (slot >= 0) return slot;
  int32_t position = find_word(context, word::symbol_of(word), true);
  return position < 0 ? -1 : slot_at(context, position);
}

// A values block shorter than the slot (values not yet written by their creator) is
// extended with unset cells, so that a write never lands past its tail.
void reach_slot(node_id context, int32_t slot) {
  if (frame_p(*cell_of(context))) return;
  while (values_length(context) <= static_cast<uint32_t>(slot)) append_value(context, unset_cell);
}

uint32_t self_symbol() { return symbol::make("self"); }

bool block_like_p(uint8_t type) {
  switch (type) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH:
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH: return true;
    default: return false;
  }
}

void bind_block(node_id series, uint32_t head, node_id context, uint32_t self) {
  if (!series || cycles::find(series)) return;
  cycles::guard walking(series);
  uint32_t count = buffer_of(series)->count();
  for (uint32_t i = head; i < count; ++i) {
    cell& value = buffer_of(series)->cells()[i];
    uint8_t type = value.type();
    if (block_like_p(type)) {
      bind_block(value.payload2, value.payload1, context, self);
    } else if (type >= TYPE_WORD && type <= TYPE_REFINEMENT) {
      if (type == TYPE_WORD && self && word::symbol_of(value) == self) {
        value.payload1 = context;
        value.payload3 = word::unresolved;
      } else {
        bind_word(context, value);
      }
    }
  }
}

}  // namespace

void init_global() {
  if (root.payload2) {
    series_buffer* kept = buffer_of(root.payload2);
    kept->tail = kept->offset;
  } else {
    collector::add_root(&root);
    collector::add_root(&global);
    root = cell{TYPE_BLOCK, 0, alloc_fixed_series(root_capacity, sizeof(cell), 0), 0};
  }
  global = 0;
  global = create(global_capacity, false, false, 0, kind_global);
}

cell* cell_of(node_id context) { return buffer_of(context)->cells(); }

cell* self_of(node_id context) { return buffer_of(context)->cells() + 1; }

uint32_t kind_of(node_id context) { return (cell_of(context)->header & cell_flag::context_kind_mask) >> kind_shift; }

node_id word_list(node_id context) { return cell_of(context)->payload1; }

node_id words_block(node_id context) { return hashtable::record_of(word_list(context)).block; }

uint32_t word_count(node_id context) { return buffer_of(words_block(context))->count(); }

cell* word_at(node_id context, uint32_t index) { return buffer_of(words_block(context))->cells() + index; }

cell* values(node_id context) {
  const cell& record = *cell_of(context);
  if (frame_p(record)) return record.payload2 ? stack::bottom + (record.payload2 - 1) : nullptr;
  return record.payload2 ? buffer_of(record.payload2)->cells() : nullptr;
}

cell* value_at(node_id context, uint32_t index) {
  cell* first = values(context);
  return first ? first + index : nullptr;
}

node_id create(uint32_t size, bool frame, bool flag, node_id source, uint32_t kind) {
  if (size == 0) size = 1;
  node_id context = alloc_unset_cells(2);
  buffer_of(context)->tail = buffer_of(context)->offset + 2 * sizeof(cell);
  node_id value_block = frame ? 0 : alloc_unset_cells(size);
  node_id words = source ? hashtable::copy(word_list(source)) : hashtable::create(size, 0, hashtable::symbol_kind);
  uint32_t header = TYPE_CONTEXT | (kind << kind_shift);
  if (frame) header |= cell_flag::stack_values;
  if (flag) header |= cell_flag::object_context;
  *cell_of(context) = cell{header, words, value_block, 0};
  return context;
}

node_id make(const cell& spec, bool frame, bool flag, uint32_t kind) {
  auto word_type_p = [](uint8_t type) {
    return type == TYPE_WORD || type == TYPE_GET_WORD || type == TYPE_LIT_WORD || type == TYPE_REFINEMENT;
  };
  uint32_t met = 0;
  series_buffer* spec_buffer = buffer_of(spec.payload2);
  for (uint32_t i = spec.payload1; i < spec_buffer->count(); ++i)
    if (word_type_p(spec_buffer->cells()[i].type())) ++met;
  node_id context = create(met, frame, flag, 0, kind);
  for (uint32_t i = spec.payload1; i < buffer_of(spec.payload2)->count(); ++i) {
    const cell value = buffer_of(spec.payload2)->cells()[i];
    if (!word_type_p(value.type())) continue;
    int32_t added;
    find_or_add(context, word::symbol_of(value), true, added);
  }
  if (!frame) {
    series_buffer* value_block = buffer_of(cell_of(context)->payload2);
    value_block->tail = value_block->offset + met * sizeof(cell);
  }
  return context;
}

node_id clone(cell& owner, uint32_t kind) {
  node_id source = owner.payload1;
  uint32_t count = word_count(source);
  const cell& record = *cell_of(source);
  node_id copy = create(count, frame_p(record), (record.header & cell_flag::object_context) != 0, source, kind);
  for (uint32_t i = 0; i < count; ++i) word_at(copy, i)->payload1 = copy;
  // Values written by index stay reachable: the block has its full length from the start.
  if (!frame_p(*cell_of(copy))) {
    series_buffer* value_block = buffer_of(cell_of(copy)->payload2);
    value_block->tail = value_block->offset + count * sizeof(cell);
  }
  owner.payload1 = copy;
  return copy;
}

int32_t find_word(node_id context, uint32_t symbol, bool case_insensitive) {
  return hashtable::find_symbol(word_list(context), symbol, case_insensitive, 0, nullptr);
}

int32_t find_or_add(node_id context, uint32_t symbol, bool case_insensitive, int32_t& index) {
  return hashtable::find_symbol(word_list(context), symbol, case_insensitive, context, &index);
}

int32_t add_word(node_id context, const cell& word) {
  int32_t index;
  int32_t found = find_or_add(context, word::symbol_of(word), true, index);
  if (found >= 0) return slot_at(context, found);
  append_value(context, unset_cell);
  return index;
}

cell* add_with(node_id context, const cell& word, const cell& value) {
  int32_t index;
  if (find_or_add(context, word::symbol_of(word), true, index) >= 0) return nullptr;
  append_value(context, value);
  return value_at(context, static_cast<uint32_t>(index));
}

cell* put(node_id context, const cell& word, const cell& value) {
  int32_t index;
  int32_t found = find_or_add(context, word::symbol_of(word), true, index);
  if (found >= 0) {
    cell* slot = value_at(context, static_cast<uint32_t>(slot_at(context, found)));
    if (slot) *slot = value;
    return slot;
  }
  append_value(context, value);
  return value_at(context, static_cast<uint32_t>(index));
}

cell* add_global(uint32_t symbol, bool case_insensitive, bool fresh_copy) {
  // A spelling added for a case variant shares the variant's slot; find it before adding.
  int32_t match = -1;
  if (!case_insensitive && symbol::get_alias(symbol) > 0) {
    int32_t position = find_word(global, symbol, true);
    if (position >= 0) match = slot_at(global, position);
  }
  int32_t index;
  int32_t found = find_or_add(global, symbol, case_insensitive, index);
  if (found >= 0) {
    cell* word = word_at(global, static_cast<uint32_t>(found));
    if (!(case_insensitive && fresh_copy && word::symbol_of(*word) != symbol)) return word;
    cell copy = *word;
    copy.payload2 = symbol;
    cell* kept = alloc_block_tail(root);
    *kept = copy;
    return kept;
  }
  if (match >= 0) word_at(global, static_cast<uint32_t>(index))->payload3 = static_cast<uint32_t>(match);
  append_value(global, unset_cell);
  return word_at(global, static_cast<uint32_t>(index));
}

cell* find_value(node_id context, uint32_t symbol) {
  if (frame_p(*cell_of(context))) context = global;
  int32_t position = find_word(context, symbol, true);
  if (position < 0) return nullptr;
  return value_at(context, static_cast<uint32_t>(slot_at(context, position)));
}

cell* get_in(const cell& word, node_id context) {
  if (word::index_of(word) == -1) [[unlikely]] {
    if (word::symbol_of(word) == self_symbol() && word.payload1) return self_of(word.payload1);
    fire(error_id::script_no_value, word);
  }
  if (!context) [[unlikely]] fire(error_id::script_not_defined, word);
  const cell& record = *cell_of(context);
  uint32_t length;
  cell* first;
  if (frame_p(record)) {
    first = record.payload2 ? stack::bottom + (record.payload2 - 1) : nullptr;
    length = word_count(context);
  } else {
    series_buffer* value_block = record.payload2 ? buffer_of(record.payload2) : nullptr;
    first = value_block ? value_block->cells() : nullptr;
    length = value_block ? value_block->count() : 0;
  }
  if (!first) [[unlikely]] fire(error_id::script_not_in_context, word);
  int32_t slot = cached_slot(word, record);
  if (slot < 0) [[unlikely]] slot = checked_slot(word, context);
  if (slot < 0 || static_cast<uint32_t>(slot) >= length) [[unlikely]] fire(error_id::script_no_value, word);
  return first + slot;
}

cell* get(const cell& word) { return get_in(word, word.payload1); }

namespace {

cell* set_slow(cell& word, const cell& value, node_id context, bool notify) {
  int32_t slot = checked_slot(word, context);
  if (slot < 0) slot = add_word(context, word);
  word.payload3 = static_cast<uint32_t>(slot);
  if (!values(context)) fire(error_id::script_not_defined, word);
  reach_slot(context, slot);
  cell* target = values(context) + slot;
  if (frame_p(*cell_of(context))) return &copy_cell(value, *target);
  if (kind_of(context) == kind_object) {
    word_at(context, static_cast<uint32_t>(slot))->header |= cell_flag::field_set;
    const cell& owner = *self_of(context);
    if (notify && notify_change && owner.payload3 != 0) {
      cell* saved_top = stack::top;
      cell* old_value = stack::push_copy(*target);
      cell new_value = value;
      *value_at(context, static_cast<uint32_t>(slot)) = new_value;
      notify_change(context, word, *old_value, new_value);
      stack::top = saved_top;
      return value_at(context, static_cast<uint32_t>(slot));
    }
  }
  return &copy_cell(value, *target);
}

}  // namespace

cell* set_in(cell& word, const cell& value, node_id context, bool notify) {
  if (!context) [[unlikely]] fire(error_id::script_not_defined, word);
  const cell& record = *cell_of(context);
  int32_t slot = cached_slot(word, record);
  // The plain case: a global or function-less context, the word at its slot.
  if (slot >= 0 && !frame_p(record) && ((record.header & cell_flag::context_kind_mask) >> kind_shift) != kind_object &&
      record.payload2) {
    series_buffer* value_block = buffer_of(record.payload2);
    if (static_cast<uint32_t>(slot) < value_block->count()) return &copy_cell(value, value_block->cells()[slot]);
  }
  return set_slow(word, value, context, notify);
}

cell* set(cell& word, const cell& value) { return set_in(word, value, word.payload1, true); }

void set_local(node_id context, uint32_t index) {
  if (kind_of(context) == kind_object) word_at(context, index)->header |= cell_flag::field_set;
  cell* slot = value_at(context, index);
  if (slot) *slot = *stack::last_pushed();
}

cell word_for_symbol(node_id context, uint32_t symbol) {
  int32_t position = find_word(context, symbol, false);
  if (position >= 0) return *word_at(context, static_cast<uint32_t>(position));
  return *word::load_symbol(symbol);
}

int32_t bind_word(node_id context, cell& word) {
  int32_t position = find_word(context, word::symbol_of(word), true);
  if (position < 0) return -1;
  int32_t slot = slot_at(context, position);
  word.payload1 = context;
  word.payload3 = static_cast<uint32_t>(slot);
  return slot;
}

cell* bind(cell& block, node_id context, bool self_handling) {
  bind_block(block.payload2, block.payload1, context, self_handling ? self_symbol() : 0);
  return &block;
}

bool collect_set_words(node_id context, cell& block) {
  uint32_t count = buffer_of(block.payload2)->count();
  if (block.payload1 > count) block.payload1 = count;
  uint32_t before = word_count(context);
  for (uint32_t i = block.payload1; i < buffer_of(block.payload2)->count(); ++i) {
    const cell value = buffer_of(block.payload2)->cells()[i];
    if (value.type() == TYPE_SET_WORD) add_word(context, value);
  }
  return word_count(context) > before;
}

void set_change_notifier(change_notifier notifier) { notify_change = notifier; }

void init() {
  datatype::register_type(TYPE_CONTEXT, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // absolute add divide multiply negate power remainder round subtract
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported,
      // even? odd? and~ complement or~ xor~
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
}

}  // namespace tav::context
