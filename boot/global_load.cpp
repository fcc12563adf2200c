// Loading text as code of the global context: the lexer's values with their words bound there.
#include "boot/global_load.hpp"

#include <array>
#include <vector>

#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/transcode.hpp"
#include "runtime/series.hpp"

namespace tav::boot {
namespace {

bool container_p(uint8_t type) {
  return type == TYPE_BLOCK || type == TYPE_PAREN || (type >= TYPE_PATH && type <= TYPE_GET_PATH);
}

bool bindable_p(uint8_t type) { return type >= TYPE_WORD && type <= TYPE_REFINEMENT; }

// Global slots of the symbols met lately: loaded code says the same words again and again.
// A symbol keeps its slot while a block is bound, since binding only ever adds words.
class slot_cache {
 public:
  cell bound(uint32_t symbol) {
    entry& e = entries_[symbol & (size - 1)];
    if (e.symbol != symbol) {
      cell word;
      word::make_at(word, symbol);
      e = {symbol, word.payload1, word.payload3};
    }
    return word::make_cell(TYPE_WORD, e.context, symbol, static_cast<int32_t>(e.slot));
  }

 private:
  static constexpr uint32_t size = 1024;
  struct entry {
    uint32_t symbol;  // 0: none, as no symbol has that id
    node_id context;
    uint32_t slot;
  };
  std::array<entry, size> entries_{};
};

}  // namespace

void bind_global(const cell& block) {
  // A work list instead of recursion: loaded data may nest deeper than the machine stack allows.
  // Only node ids are kept here; the series stay reachable through `block`.
  std::vector<node_id> pending{block.payload2};
  std::vector<uint32_t> starts{block.payload1};
  slot_cache slots;
  while (!pending.empty()) {
    const node_id series = pending.back();
    const uint32_t start = starts.back();
    pending.pop_back();
    starts.pop_back();
    for (uint32_t i = start; i < buffer_of(series)->count(); ++i) {
      const cell value = buffer_of(series)->cells()[i];
      if (container_p(value.type())) {
        pending.push_back(value.payload2);
        starts.push_back(value.payload1);
      } else if (bindable_p(value.type())) {
        cell bound = slots.bound(word::symbol_of(value));  // may allocate: the buffer is fetched again
        cell& target = buffer_of(series)->cells()[i];
        target.payload1 = bound.payload1;
        target.payload3 = bound.payload3;
      }
    }
  }
}

cell load_global(const uint8_t* text, uint32_t length) {
  cell block = none::value;
  lexer::load_options options;
  lexer::transcode(block, text, length, options, nullptr);
  if (block.type() != TYPE_BLOCK) return block;
  bind_global(block);
  return block;
}

}  // namespace tav::boot
