// Ties of system code: the callables that the words of boot-made function bodies named when
// start-up ended, kept beside the code (never in its cells), so a script that redefines `append`
// or `to` changes nothing that the system's own functions do.
#include <bit>
#include <cstring>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/function.hpp"
#include "datatypes/values.hpp"
#include "interpreter/interpreter_internal.hpp"
#include "runtime/collector.hpp"
#include "runtime/series.hpp"

namespace tav::interpreter {
namespace {

// The global context's values when start-up last tied: a place is tied to the value of its
// word's slot here when that is a callable.
cell tied_values{TYPE_NONE, 0, 0, 0};
// The function list walked so far and the bodies found in it, which keep every keyed node alive;
// start-up ties after each of its steps, and each tying walks only the functions added since.
cell walked_list{TYPE_NONE, 0, 0, 0};
cell walked_bodies{TYPE_NONE, 0, 0, 0};
uint32_t walked = 0;

// Open addressing over (node, index) keys, the places where the walked bodies hold a word or
// get-word of the global context; a slot's value is the word's slot there.
struct tie {
  uint64_t key;
  uint32_t value;
};
std::vector<tie> table;
uint32_t tie_count = 0;

uint64_t key_of(node_id node, uint32_t index) { return (static_cast<uint64_t>(node) << 32) | index; }

// The top bits of the product: lower ones would depend on the cell index alone, and the ties of
// every body at one index would share a probe chain.
size_t slot_of(uint64_t key) {
  return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - std::countr_zero(table.size())));
}

void grow();

void put(uint64_t key, uint32_t value) {
  if ((tie_count + 1) * 2 > table.size()) grow();
  size_t at = slot_of(key);
  while (table[at].key) at = (at + 1) & (table.size() - 1);
  table[at] = {key, value};
  ++tie_count;
}

void grow() {
  std::vector<tie> old(table.size() < 64 ? 128 : table.size() * 2, tie{0, 0});
  old.swap(table);
  tie_count = 0;
  for (const tie& entry : old)
    if (entry.key) put(entry.key, entry.value);
}

bool tied_kind_p(uint8_t type) {
  return type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_FUNCTION || type == TYPE_ROUTINE ||
         type == TYPE_OP;
}

// The slot of a word bound in the global context: its cached index while that slot holds the
// word's own symbol, else the slot found by its symbol; -1 when it has none. Global words are
// only ever added, so a slot once found stays the word's.
int32_t global_slot(const cell& word) {
  int32_t position = word::index_of(word);
  if (position < 0 || static_cast<uint32_t>(position) >= context::word_count(context::global) ||
      word::symbol_of(*context::word_at(context::global, static_cast<uint32_t>(position))) != word::symbol_of(word))
    position = context::find_word(context::global, word::symbol_of(word), true);
  return position < 0 ? -1 : word::index_of(*context::word_at(context::global, static_cast<uint32_t>(position)));
}

void add_place(node_id node, uint32_t index, const cell& word) {
  if (word.payload1 != context::global) return;
  const int32_t slot = global_slot(word);
  if (slot >= 0) put(key_of(node, index), static_cast<uint32_t>(slot));
}

// Every block and paren of the bodies, and the head of every path, walked without recursion
// through a block of the series still to see, which starts with the bodies.
void find_places(const cell& pending) {
  for (uint32_t next = 0; next < buffer_of(pending.payload2)->count(); ++next) {
    const cell series = buffer_of(pending.payload2)->cells()[next];
    // Loaded source is a tree: no series is met twice.
    const node_id node = series.payload2;
    for (uint32_t i = 0; i < buffer_of(node)->count(); ++i) {
      const cell value = buffer_of(node)->cells()[i];
      switch (value.type()) {
        case TYPE_WORD:
        case TYPE_GET_WORD:
          if (series.type() != TYPE_PATH || i == 0) add_place(node, i, value);
          break;
        case TYPE_BLOCK:
        case TYPE_PAREN:
        case TYPE_PATH:
        case TYPE_GET_PATH: block::append_cell(pending, value); break;
        default: break;
      }
    }
  }
}

// The system-code bodies of the functions added to the list since the last walk.
void walk_new_functions(const cell& list) {
  if (walked_list.type() != TYPE_BLOCK || walked_list.payload2 != list.payload2 ||
      walked > buffer_of(list.payload2)->count()) {
    walked = 0;
    table.assign(128, tie{0, 0});
    tie_count = 0;
    block::make_at(walked_bodies, 256);
  }
  walked_list = list;
  cell* saved = stack::top;
  cell* pending = stack::push_cell();  // rooted while the walk allocates
  *pending = none::value;
  block::make_at(*pending, 64);
  for (; walked < buffer_of(list.payload2)->count(); ++walked) {
    const cell function = buffer_of(list.payload2)->cells()[walked];
    const cell body = function::running_body(function);
    if (body.type() != TYPE_BLOCK || !system_code_p(body)) continue;
    block::append_cell(walked_bodies, body);
    block::append_cell(*pending, body);
  }
  find_places(*pending);
  stack::top = saved;
}

// The callables the global context's slots hold now; none in every other slot, so that
// nothing else is kept alive.
void take_values() {
  const node_id values = context::cell_of(context::global)->payload2;
  const uint32_t count = values ? buffer_of(values)->count() : 0;
  block::make_at(tied_values, static_cast<int32_t>(count));
  if (!count) return;
  cell* taken = buffer_of(tied_values.payload2)->cells();
  std::memcpy(taken, buffer_of(values)->cells(), count * sizeof(cell));
  for (uint32_t i = 0; i < count; ++i)
    if (!tied_kind_p(taken[i].type())) taken[i] = none::value;
  block::set_tail_at(tied_values, count);
}

}  // namespace

void tie_system_code(const cell& functions) {
  static bool rooted = false;
  if (!rooted) {
    collector::add_root(&tied_values);
    collector::add_root(&walked_list);
    collector::add_root(&walked_bodies);
  }
  rooted = true;
  tied_values = none::value;
  walk_new_functions(functions);
  take_values();
}

cell* detail::tied_value(node_id node, uint32_t index) {
  if (!tie_count || tied_values.type() != TYPE_BLOCK) return nullptr;
  const uint64_t key = key_of(node, index);
  for (size_t at = slot_of(key);; at = (at + 1) & (table.size() - 1)) {
    if (table[at].key == key) {
      series_buffer* values = buffer_of(tied_values.payload2);
      if (table[at].value >= values->count()) return nullptr;
      cell* value = values->cells() + table[at].value;
      return tied_kind_p(value->type()) ? value : nullptr;
    }
    if (!table[at].key) return nullptr;
  }
}

}  // namespace tav::interpreter
