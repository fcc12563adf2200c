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

// The tied values, then the bodies they were found in (which keeps every keyed node alive).
cell tied_values{TYPE_NONE, 0, 0, 0};

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

// The value of a word bound in the global context: at its cached slot while that slot still
// holds the word's own symbol, else found by its symbol.
const cell* global_value(const cell& word) {
  const int32_t index = word::index_of(word);
  if (index >= 0 && static_cast<uint32_t>(index) < context::word_count(context::global) &&
      word::symbol_of(*context::word_at(context::global, static_cast<uint32_t>(index))) == word::symbol_of(word))
    return context::value_at(context::global, static_cast<uint32_t>(index));
  return context::find_value(context::global, word::symbol_of(word));
}

// A word of the global context that holds a callable now is tied at its place.
void tie_word(node_id node, uint32_t index, const cell& word, std::vector<tie>& found) {
  if (word.payload1 != context::global) return;
  const cell* value = global_value(word);
  if (!value || !tied_kind_p(value->type())) return;
  const cell held = *value;
  block::append_cell(tied_values, held);
  found.push_back({key_of(node, index), buffer_of(tied_values.payload2)->count() - 1});
}

// Every block and paren of the bodies, and the head of every path, walked without recursion
// through a block of the series still to see, which starts with the bodies.
void tie_bodies(const cell& pending, std::vector<tie>& found) {
  for (uint32_t next = 0; next < buffer_of(pending.payload2)->count(); ++next) {
    const cell series = buffer_of(pending.payload2)->cells()[next];
    // Loaded source is a tree: no series is met twice.
    const node_id node = series.payload2;
    for (uint32_t i = 0; i < buffer_of(node)->count(); ++i) {
      const cell value = buffer_of(node)->cells()[i];
      switch (value.type()) {
        case TYPE_WORD:
        case TYPE_GET_WORD:
          if (series.type() != TYPE_PATH || i == 0) tie_word(node, i, value, found);
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

}  // namespace

void tie_system_code(const cell& functions) {
  static bool rooted = false;
  if (!rooted) collector::add_root(&tied_values);
  rooted = true;
  table.assign(128, tie{0, 0});
  tie_count = 0;
  block::make_at(tied_values, 256);
  const cell list = functions;
  cell* saved = stack::top;
  cell* pending = stack::push_cell();  // rooted while the walk allocates
  *pending = none::value;
  block::make_at(*pending, static_cast<int32_t>(buffer_of(list.payload2)->count()) * 4);
  for (uint32_t i = 0; i < buffer_of(list.payload2)->count(); ++i) {
    const cell function = buffer_of(list.payload2)->cells()[i];
    const cell body = function::running_body(function);
    if (body.type() != TYPE_BLOCK || !system_code_p(body)) continue;
    block::append_cell(tied_values, body);
    block::append_cell(*pending, body);
  }
  // The table is sized once for every tie found rather than grown as they come.
  std::vector<tie> found;
  tie_bodies(*pending, found);
  stack::top = saved;
  size_t size = 128;
  while (size < 2 * (found.size() + 1)) size *= 2;
  table.assign(size, tie{0, 0});
  for (const tie& entry : found) put(entry.key, entry.value);
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
