// Tracked process heap: every block the runtime takes outside its memory frames sits on
// one list and is released at once when the process ends. Also two numeric helpers.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tav {

// Two 64-bit links make the header 32 bytes here, keeping the data 16-byte aligned.
struct alignas(16) heap_block {
  heap_block* previous;
  heap_block* next;
  uint32_t size;      // bytes requested, header excluded
  uint32_t reserved;  // never written
};
static_assert(sizeof(heap_block) == 32);

struct heap_list {
  heap_block* head;
  heap_block* tail;
};

extern heap_list tracked_heap;

void* heap_alloc(size_t size);
void* heap_alloc_zeroed(size_t size);
// As heap_alloc, but answers null when the memory cannot be had instead of ending the process.
void* heap_try_alloc(size_t size);
void heap_free(void* pointer);
void* heap_realloc(void* pointer, size_t size);
void heap_free_all();
size_t heap_block_count();

// (value + alignment - 1) with the low bits cleared; alignment is a power of two.
constexpr uint64_t round_up(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) & ~(alignment - 1);
}

// Degrees to radians folded into the range the trigonometric natives expect.
// Mode 0 folds into [-90, 90] by adding or subtracting 180, mode 2 reflects around +-180.
double normalize_angle(double degrees, int mode);

}  // namespace tav
