// Dispatch records: the stack of event data with generation-checked references.
#include "view/backends/terminal/dispatch_records.hpp"

#include "datatypes/values.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"

namespace tav::tui {
namespace {

event_data records[record_capacity];
// The faces again, as one range of cells the collector marks: a record's face stays alive while
// its dispatch runs even when its widget goes away.
cell faces[record_capacity];
uint16_t generations[record_capacity];
uint32_t top = 0;

// Generation 0 is never handed out, so no reference is 0.
uint16_t next_generation(uint16_t generation) {
  generation = static_cast<uint16_t>((generation + 1) & generation_mask);
  return generation ? generation : 1;
}

}  // namespace

void init_records() {
  static bool rooted = false;
  if (rooted) return;
  rooted = true;
  for (uint32_t slot = 0; slot < record_capacity; ++slot) {
    faces[slot] = none::value;
    generations[slot] = 1;
  }
  collector::add_root_range(faces, record_capacity);
}

uint32_t push_record(const event_data& data) {
  init_records();
  if (top == record_capacity) fire(error_id::internal_stack_overflow);
  const uint32_t slot = top++;
  records[slot] = data;
  faces[slot] = data.face;
  return slot << generation_bits | generations[slot];
}

void pop_record() {
  if (top == 0) return;
  const uint32_t slot = --top;
  faces[slot] = none::value;
  records[slot].face = none::value;
  generations[slot] = next_generation(generations[slot]);
}

const event_data* record_of(uint32_t reference) {
  const uint32_t slot = reference >> generation_bits;
  if (slot >= top || generations[slot] != (reference & generation_mask)) return nullptr;
  return &records[slot];
}

uint32_t depth() { return top; }

}  // namespace tav::tui
