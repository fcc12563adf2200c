// Ownership tracking: the owners table, deep binding and unbinding of owned values, and the
// change reports that reach an owner's on-deep-change* handler.
#include "datatypes/ownership.hpp"

#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/hashtable.hpp"

namespace tav::ownership {

node_id table = 0;

namespace {

constexpr uint32_t initial_entries = 64;
constexpr uint32_t entry_cells = 3;  // the value as bound, the owner, the word

bool any_block_p(uint8_t type) {
  return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH || (type >= TYPE_PATH && type <= TYPE_GET_PATH);
}

bool ownable_p(uint8_t type) {
  switch (type) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH:
    case TYPE_HASH:
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF:
    case TYPE_BINARY:
    case TYPE_VECTOR:
    case TYPE_IMAGE:
    case TYPE_BITSET:
    case TYPE_OBJECT: return true;
    default: return false;
  }
}

bool owner_mark_p(node_id context) { return (context::cell_of(context)->header & cell_flag::owned) != 0; }

void mark_table() {
  if (!table) return;
  hashtable::mark(table, hashtable::marker{collector::mark_node, [](cell* first, cell* last) {
                                             collector::mark_values(first, last);
                                           }});
}

void sweep_table() {
  if (table) hashtable::sweep(table);
}

// The owner's context must not take itself as owned, wherever it is met inside its fields.
void bind_deep(const cell& value, const cell& owner, const cell& word) {
  uint8_t type = value.type();
  if (!ownable_p(type)) return;
  node_id node = key_of(value);
  if (!node || (type == TYPE_OBJECT && node == owner.payload1)) return;
  if (!(buffer_of(node)->flags & series_flag::owned)) {
    buffer_of(node)->flags |= series_flag::owned;
    const cell entry[entry_cells] = {value, owner, word};
    hashtable::put_key(table, node, entry);
  }
  if (any_block_p(type)) {
    if (cycles::find(node)) return;
    cycles::guard walking(node);
    for (uint32_t i = value.payload1; i < buffer_of(node)->count(); ++i) {
      const cell item = buffer_of(node)->cells()[i];
      bind_deep(item, owner, word);
    }
  } else if (type == TYPE_OBJECT) {
    if (owner_mark_p(node) || cycles::find(node)) return;
    cycles::guard walking(node);
    for (uint32_t i = 0; i < context::word_count(node); ++i) {
      const cell* slot = context::value_at(node, i);
      if (!slot) break;
      const cell field = *slot;
      const cell field_word = *context::word_at(node, i);
      bind_deep(field, owner, field_word);
    }
  }
}

void unbind_deep(const cell& value) {
  uint8_t type = value.type();
  if (!ownable_p(type)) return;
  node_id node = key_of(value);
  if (!node) return;
  if (buffer_of(node)->flags & series_flag::owned) {
    buffer_of(node)->flags &= ~series_flag::owned;
    if (cell* entry = lookup(node)) {
      for (uint32_t i = 0; i < entry_cells; ++i) entry[i] = unset::value;
      hashtable::delete_key(table, node);
    }
  }
  if (any_block_p(type)) {
    if (cycles::find(node)) return;
    cycles::guard walking(node);
    for (uint32_t i = value.payload1; i < buffer_of(node)->count(); ++i) {
      const cell item = buffer_of(node)->cells()[i];
      unbind_deep(item);
    }
  } else if (type == TYPE_OBJECT) {
    if (owner_mark_p(node) || cycles::find(node)) return;
    cycles::guard walking(node);
    for (uint32_t i = 0; i < context::word_count(node); ++i) {
      const cell* slot = context::value_at(node, i);
      if (!slot) break;
      const cell field = *slot;
      unbind_deep(field);
    }
  }
}

}  // namespace

void init() {
  static bool registered = false;
  if (!registered) {
    collector::register_callback(mark_table);
    collector::register_sweep(sweep_table);
    registered = true;
  }
  table = 0;
  table = hashtable::create(initial_entries, 0, hashtable::owners_kind, entry_cells);
}

node_id key_of(const cell& value) {
  uint8_t type = value.type();
  if (!ownable_p(type)) return 0;
  return type == TYPE_OBJECT ? value.payload1 : value.payload2;
}

cell* lookup(node_id node) { return table && node ? hashtable::get_key(table, node) : nullptr; }

const cell* owner_of(const cell& value) {
  if (!detail::flagged_p(value)) return nullptr;
  cell* entry = lookup(key_of(value));
  return entry ? entry + 1 : nullptr;
}

void bind(const cell& value, const cell& owner, const cell& word) {
  const cell kept_owner = owner;
  bind_deep(value, kept_owner, word);
  context::cell_of(kept_owner.payload1)->header |= cell_flag::owned;
}

void bind_spec(const cell& value, const cell& spec_value) {
  const cell spec = spec_value;
  series_buffer* cells = buffer_of(spec.payload2);
  if (cells->count() < spec.payload1 + 2 || cells->cells()[spec.payload1].type() != TYPE_OBJECT ||
      !any_word_p(cells->cells()[spec.payload1 + 1].type()))
    fire(error_id::script_invalid_arg, spec);
  const cell owner = cells->cells()[spec.payload1], word = cells->cells()[spec.payload1 + 1];
  bind(value, owner, word);
}

void unbind(const cell& value) { unbind_deep(value); }

void own_fields(const cell& owner) {
  const cell kept_owner = owner;
  node_id context = kept_owner.payload1;
  context::cell_of(context)->header |= cell_flag::owned;
  cycles::guard walking(context);
  for (uint32_t i = 0; i < context::word_count(context); ++i) {
    const cell* slot = context::value_at(context, i);
    if (!slot) break;
    const cell field = *slot;
    const cell field_word = *context::word_at(context, i);
    bind_deep(field, kept_owner, field_word);
  }
}

namespace detail {

bool report(const cell& value, const cell& action, const cell& new_value, int32_t index, int32_t part) {
  cell* entry = lookup(key_of(value));
  if (!entry) return false;
  // The owner cell kept in its context is the one whose handlers are current.
  const cell owner = *context::self_of(entry[1].payload1);
  if (owner.type() != TYPE_OBJECT || object::info_of(owner) == 0) return false;
  const cell word = entry[2];
  const cell target = value, what = action, added = new_value;
  object::fire_on_deep_change(owner, word, target, what, added, index, part);
  return true;
}

bool report_symbol(const cell& value, uint32_t action, const cell& new_value, int32_t index, int32_t part) {
  if (!lookup(key_of(value))) return false;
  cell word;
  word::make_at(word, action);
  return report(value, word, new_value, index, part);
}

}  // namespace detail

}  // namespace tav::ownership
