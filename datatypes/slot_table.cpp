// Slot table: storing, reading and freeing numbered cells through a free list.
#include "datatypes/slot_table.hpp"

#include "datatypes/block.hpp"
#include "datatypes/values.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/series.hpp"

namespace tav::slot_table {

cell table{};
int32_t first_free = -1;

namespace {

series_buffer* table_buffer() { return buffer_of(table.payload2); }

// Cells [from, to) become free, each leading to the next and the last to `then`.
void thread(int32_t from, int32_t to, int32_t then) {
  cell* cells = table_buffer()->cells();
  for (int32_t i = from; i < to; ++i) cells[i] = scalar::integer(i + 1 < to ? i + 1 : then);
}

int32_t index_of(int32_t slot) {
  if (slot < 1 || slot > static_cast<int32_t>(table_buffer()->count()))
    fire(error_id::script_out_of_range, scalar::integer(slot));
  return slot - 1;
}

}  // namespace

void init() {
  static bool rooted = false;
  if (!rooted) collector::add_root(&table);
  rooted = true;
  block::make_at(table, initial_capacity);
  block::set_tail_at(table, initial_capacity);
  thread(0, initial_capacity, -1);
  first_free = 0;
}

int32_t store(const cell& value) {
  cell copy = value;
  if (first_free < 0) {
    auto capacity = static_cast<int32_t>(table_buffer()->count());
    expand_series(table_buffer(), int64_t{capacity} * 2 * static_cast<int64_t>(sizeof(cell)));
    block::set_tail_at(table, static_cast<uint32_t>(capacity) * 2);
    thread(capacity, capacity * 2, -1);
    first_free = capacity;
  }
  int32_t index = first_free;
  cell* slot = table_buffer()->cells() + index;
  first_free = scalar::integer_value(*slot);
  *slot = copy;
  return index + 1;
}

cell* get(int32_t slot) { return table_buffer()->cells() + index_of(slot); }

void free(int32_t slot) {
  if (slot == 0) return;
  int32_t index = index_of(slot);
  table_buffer()->cells()[index] = scalar::integer(first_free);
  first_free = index;
}

}  // namespace tav::slot_table
