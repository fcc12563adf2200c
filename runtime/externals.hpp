// Externals registry: operating-system objects held by values, each in a numbered slot with
// the release routine of its type; the collector releases the objects whose slot it did not
// mark.
#pragma once
#include <cstdint>

namespace tav::externals {

inline constexpr uint32_t type_capacity = 20;
inline constexpr uint32_t initial_slots = 1000;

// Bits of a slot's type word.
inline constexpr uint32_t type_mask = 0xFF;
inline constexpr uint32_t free_bit = 0x40000000;
inline constexpr uint32_t mark_bit = 0x80000000;

using release_routine = void (*)(void* object);

struct handle_type {
  const char* name;
  release_routine release;
};

struct slot {
  uint32_t type;  // type word
  void* object;
  int32_t next;  // free list or live list; -1 ends either
};

struct registry {
  handle_type* types;  // `type_capacity` entries, numbered from 1
  uint32_t type_count;
  slot* slots;
  uint32_t capacity;
  int32_t free_head;
  int32_t live_head;
};
extern registry state;

// Makes the type table and a slot table of `initial_slots` free slots (tracked heap).
void init();
// Appends a type and answers its number (1-based). More than `type_capacity` types end the
// process (runtime error 98).
uint32_t register_type(const char* name, release_routine release);
// Takes a free slot for the object and answers its index; the table doubles when the last
// free slot is taken.
int32_t store(void* object, uint32_t type_word);
// With `release`, the object goes to its type's routine first; the slot becomes free. An index
// that names no live slot is ignored.
void remove(int32_t index, bool release);
// Sets the slot's mark (and stores the object when one is given); true when it was not set.
// An index that names no live slot answers false.
bool mark(int32_t index, void* object);
// After a collection's marking: marked slots lose the mark and stay, the others are released
// and freed. The release routines run after the registry is consistent again, so they may
// allocate (and collect).
void sweep();

}  // namespace tav::externals
