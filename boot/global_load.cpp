// Loading text as code of the global context: the lexer's values with their words bound there.
#include "boot/global_load.hpp"

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

}  // namespace

void bind_global(const cell& block) {
  // A work list instead of recursion: loaded data may nest deeper than the machine stack allows.
  // Only node ids are kept here; the series stay reachable through `block`.
  std::vector<node_id> pending{block.payload2};
  std::vector<uint32_t> starts{block.payload1};
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
        cell bound;
        word::make_at(bound, word::symbol_of(value));  // may allocate: the buffer is fetched again
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
