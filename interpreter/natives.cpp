// Natives table: registration of the 107 entries in their fixed order, the check-flag argument
// checks and the loop-count helpers.
#include "interpreter/natives.hpp"

#include <iterator>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/native.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "io/tavbin.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"

namespace tav::natives {

entry table[table_slots + 1] = {};
uint32_t next_free = 1;
cell print_buffer{unset_header, 0, 0, 0};

namespace {

constexpr entry entries_in_order[] = {
#define TAV_NATIVE_ENTRY(index, name, word) &name##_stack,
    TAV_NATIVES(TAV_NATIVE_ENTRY)
#undef TAV_NATIVE_ENTRY
};
static_assert(std::size(entries_in_order) == native_count);

constexpr const char* words_in_order[] = {
#define TAV_NATIVE_WORD(index, name, word) word,
    TAV_NATIVES(TAV_NATIVE_WORD)
#undef TAV_NATIVE_WORD
};

// Each index appears once and in order.
constexpr bool indexes_in_order() {
  uint32_t expected = 1;
#define TAV_NATIVE_INDEX(index, name, word) \
  if (index != expected++) return false;
  TAV_NATIVES(TAV_NATIVE_INDEX)
#undef TAV_NATIVE_INDEX
  return true;
}
static_assert(indexes_in_order());

// The native! values the interpreter has built argument lists for, by index.
cell known[table_slots + 1];

}  // namespace

const char* word_of(uint32_t index) { return index >= 1 && index <= native_count ? words_in_order[index - 1] : ""; }

void init() {
  static bool rooted = false;
  if (!rooted) {
    collector::add_root(&print_buffer);
    collector::add_root_range(known, table_slots + 1);
    rooted = true;
  }
  for (cell& value : known) value = none::value;
  for (entry& slot : table) slot = nullptr;
  next_free = 1;
  cell buffer;
  block::make_at(buffer, 32);
  *alloc_block_tail(context::root) = buffer;
  print_buffer = buffer;
  register_entries(native_count, entries_in_order);
  tavbin::set_natives_bound([] { return next_free; });
}

void register_entries(uint32_t count, const entry* entries) {
  for (uint32_t i = 0; i < count; ++i) table[next_free++] = entries[i];
}

// ---- Argument checks ------------------------------------------------------------------------

void note_arguments(uint32_t index, const cell& native) {
  if (index >= 1 && index <= table_slots) known[index] = native;
}

void check_typesets(uint32_t index, const int32_t* parameters) {
  if (index < 1 || index > table_slots || known[index].type() != TYPE_NATIVE) return;
  const cell native = known[index];
  const cell list = interpreter::build_arguments(native);
  uint32_t position = 0;  // among its spec's words, for the error
  int32_t next = 0;       // argument cell of the next fixed argument, -1 while a refinement is absent
  uint32_t refinement = 0;
  for (uint32_t i = 0; i < buffer_of(list.payload2)->count(); ++i) {
    const cell entry = buffer_of(list.payload2)->cells()[i];
    if (entry.type() == TYPE_REFINEMENT) {
      next = parameters[++refinement];
      ++position;
      continue;
    }
    if (entry.type() != TYPE_TYPESET || ((entry.header >> 20) & 3) == 3) continue;
    ++position;
    if (next < 0) continue;
    const cell& value = stack::arguments[next++];
    if (typeset::has_type(entry, value.type())) continue;
    cell datatype, argument = none::value;
    datatype::make_at(datatype, value.type());
    series_buffer* spec = buffer_of(native::spec_of(native));
    uint32_t seen = 0;
    for (uint32_t k = 0; k < spec->count(); ++k) {
      uint8_t type = spec->cells()[k].type();
      if (type != TYPE_WORD && type != TYPE_GET_WORD && type != TYPE_LIT_WORD && type != TYPE_REFINEMENT) continue;
      if (++seen == position) {
        argument = spec->cells()[k];
        set_type(argument, TYPE_WORD);
      }
    }
    fire(error_id::script_expect_arg, *word::load(word_of(index)), datatype, argument);
  }
}

// ---- Loop counts ----------------------------------------------------------------------------

void coerce_value(cell& value) {
  if (value.type() != TYPE_FLOAT) return;
  if (integer::float_out_of_range_p(value)) fire(error_id::script_out_of_range, value);
  value = scalar::integer(static_cast<int32_t>(scalar::float_value(value)));
}

void coerce_counter() { coerce_value(*stack::argument(0)); }

void repeat_step(cell& word) {
  cell* value = context::get(word);
  if (value->type() != TYPE_INTEGER) return;
  value->payload2 += 1;
  if (word.payload1 && context::kind_of(word.payload1) == context::kind_object) {
    const cell stepped = *value;
    context::set(word, stepped);
  }
}

}  // namespace tav::natives
