// Externals registry: type table, slot table with its free and live lists, and the sweep.
#include "runtime/externals.hpp"

#include "runtime/heap.hpp"
#include "runtime/throw.hpp"

namespace tav::externals {

registry state{};

namespace {

constexpr uint32_t type_of(uint32_t type_word) { return type_word & type_mask; }

// Chains [first, end) as free slots, the last one ending the list.
void chain_free(uint32_t first, uint32_t end) {
  for (uint32_t i = first; i < end; ++i) state.slots[i] = {free_bit, nullptr, static_cast<int32_t>(i + 1)};
  state.slots[end - 1].next = -1;
}

void grow() {
  uint32_t old = state.capacity;
  state.capacity = old * 2;
  state.slots = static_cast<slot*>(heap_realloc(state.slots, sizeof(slot) * state.capacity));
  chain_free(old, state.capacity);
}

bool live_p(int32_t index) {
  return index >= 0 && static_cast<uint32_t>(index) < state.capacity && !(state.slots[index].type & free_bit);
}

void release_object(uint32_t type_word, void* object) {
  uint32_t type = type_of(type_word);
  if (type >= 1 && type <= state.type_count && state.types[type - 1].release) state.types[type - 1].release(object);
}

void unlink_live(int32_t index) {
  int32_t* link = &state.live_head;
  while (*link != -1 && *link != index) link = &state.slots[*link].next;
  if (*link == index) *link = state.slots[index].next;
}

void push_free(int32_t index) {
  state.slots[index] = {free_bit, nullptr, state.free_head};
  state.free_head = index;
}

}  // namespace

void init() {
  state.types = static_cast<handle_type*>(heap_alloc_zeroed(sizeof(handle_type) * type_capacity));
  state.type_count = 0;
  state.capacity = initial_slots;
  state.slots = static_cast<slot*>(heap_alloc(sizeof(slot) * initial_slots));
  chain_free(0, initial_slots);
  state.free_head = 0;
  state.live_head = -1;
}

uint32_t register_type(const char* name, release_routine release) {
  if (state.type_count == type_capacity) runtime_error(98);
  state.types[state.type_count++] = {name, release};
  return state.type_count;
}

int32_t store(void* object, uint32_t type_word) {
  int32_t index = state.free_head;
  if (state.slots[index].next == -1) {
    grow();
    state.slots[index].next = static_cast<int32_t>(state.capacity / 2);
  }
  state.free_head = state.slots[index].next;
  state.slots[index] = {type_word & ~(free_bit | mark_bit), object, state.live_head};
  state.live_head = index;
  return index;
}

void remove(int32_t index, bool release) {
  if (!live_p(index)) return;
  slot taken = state.slots[index];
  unlink_live(index);
  push_free(index);
  if (release) release_object(taken.type, taken.object);
}

bool mark(int32_t index, void* object) {
  if (!live_p(index)) return false;
  slot& s = state.slots[index];
  bool fresh = !(s.type & mark_bit);
  s.type |= mark_bit;
  if (object) s.object = object;
  return fresh;
}

// The unmarked slots leave the live list for a private one first: a release routine that
// allocates may run a whole collection, which must find the registry consistent.
void sweep() {
  int32_t doomed = -1;
  int32_t* link = &state.live_head;
  while (*link != -1) {
    int32_t index = *link;
    slot& s = state.slots[index];
    if (s.type & mark_bit) {
      s.type &= ~mark_bit;
      link = &s.next;
    } else {
      *link = s.next;
      s.type |= free_bit;  // neither live nor on the free list until released
      s.next = doomed;
      doomed = index;
    }
  }
  while (doomed != -1) {
    int32_t index = doomed;
    slot taken = state.slots[index];
    doomed = taken.next;
    push_free(index);
    release_object(taken.type, taken.object);
  }
}

}  // namespace tav::externals
