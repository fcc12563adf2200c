// Ties of system code: the callables that the words of boot-made function bodies named when
// start-up ended, kept beside the code (never in its cells), so a script that redefines `append`
// or `to` changes nothing that the system's own functions do.
#include <bit>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/function.hpp"
#include "datatypes/values.hpp"
#include "interpreter/interpreter_internal.hpp"
#include "runtime/collector.hpp"
#include "runtime/series.hpp"

namespace tav::interpreter {
namespace {

// The tied values.
cell tied_values{TYPE_NONE, 0, 0, 0};
// The function list walked so far and the bodies found in it, which keep every keyed node alive;
// start-up ties after each of its steps, and each tying walks only the functions added since.
cell walked_list{TYPE_NONE, 0, 0, 0};
cell walked_bodies{TYPE_NONE, 0, 0, 0};
uint32_t walked = 0;
// Where the walked bodies hold a word or get-word of the global context, and its slot there.
struct place {
  uint64_t key;
  uint32_t slot;
};
std::vector<place> places;

// Open addressing over (node, index) keys; a slot's value is an index into `tied_values`.
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

// The table is sized for every place before any goes in, so it never fills.
void put(uint64_t key, uint32_t value) {
  size_t at = slot_of(key);
  while (table[at].key) at = (at + 1) & (table.size() - 1);
  table[at] = {key, value};
  ++tie_count;
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
  if (slot >= 0) places.push_back({key_of(node, index), static_cast<uint32_t>(slot)});
}

// A place whose global word holds a callable now is tied.
void tie_place(const place& at) {
  const cell* values = context::values(context::global);
  if (!values || !tied_kind_p(values[at.slot].type())) return;
  const cell held = values[at.slot];
  block::append_cell(tied_values, held);
  put(at.key, buffer_of(tied_values.payload2)->count() - 1);
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
    places.clear();
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

}  // namespace

void tie_system_code(const cell& functions) {
  static bool rooted = false;
  if (!rooted) {
    collector::add_root(&tied_values);
    collector::add_root(&walked_list);
    collector::add_root(&walked_bodies);
  }
  rooted = true;
  tie_count = 0;
  table.clear();
  walk_new_functions(functions);
  size_t size = 128;
  while (size < 2 * (places.size() + 1)) size *= 2;
  table.assign(size, tie{0, 0});
  block::make_at(tied_values, static_cast<int32_t>(places.size() / 2 + 16));
  for (const place& at : places) tie_place(at);
}

cell* detail::tied_value(node_id node, uint32_t index) {
  if (!tie_count) return nullptr;
  const uint64_t key = key_of(node, index);
  for (size_t at = slot_of(key);; at = (at + 1) & (table.size() - 1)) {
    if (table[at].key == key) return buffer_of(tied_values.payload2)->cells() + table[at].value;
    if (!table[at].key) return nullptr;
  }
}

}  // namespace tav::interpreter
