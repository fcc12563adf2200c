// Dispatch records: the event data of the events being dispatched, on a small stack that the
// sender pushes and pops around each dispatch, so nested dispatches each have their own.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::tui {

// What an event! reads while its dispatch runs: the face of the target widget, the position
// in cells relative to it, the key code (a character, a special-key code, or the picked value
// of select and change events) and the wheel delta.
struct event_data {
  cell face;
  float x;
  float y;
  int32_t key;
  float wheel;
};

// An event! keeps `slot:20 | generation:12` of its record. A record's generation changes when
// it is popped, so a reference kept past its dispatch finds nothing instead of a later record.
inline constexpr uint32_t generation_bits = 12;
inline constexpr uint32_t generation_mask = (1u << generation_bits) - 1;
inline constexpr uint32_t record_capacity = 256;

// Pushes a copy of the data and answers its reference; nesting deeper than the capacity
// raises internal/stack-overflow.
uint32_t push_record(const event_data& data);
// Pops the innermost record.
void pop_record();
// The record of a reference while its dispatch runs, else null.
const event_data* record_of(uint32_t reference);
uint32_t depth();

// The collector's roots: the faces of the pushed records.
void init_records();

// Pushes on construction, pops on destruction, also when an error unwinds the dispatch.
class dispatch_scope {
 public:
  explicit dispatch_scope(const event_data& data) : reference_(push_record(data)) {}
  ~dispatch_scope() { pop_record(); }
  dispatch_scope(const dispatch_scope&) = delete;
  dispatch_scope& operator=(const dispatch_scope&) = delete;
  uint32_t reference() const { return reference_; }

 private:
  uint32_t reference_;
};

}  // namespace tav::tui
