// Tracked process heap and the numeric helpers of the lowest layer.
#include "runtime/heap.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "runtime/throw.hpp"

namespace tav {

heap_list tracked_heap{nullptr, nullptr};

namespace {

heap_block* header_of(void* pointer) { return static_cast<heap_block*>(pointer) - 1; }

void* data_of(heap_block* block) { return block + 1; }

void append(heap_block* block, size_t size) {
  block->previous = tracked_heap.tail;
  block->next = nullptr;
  block->size = static_cast<uint32_t>(size);
  if (tracked_heap.tail)
    tracked_heap.tail->next = block;
  else
    tracked_heap.head = block;
  tracked_heap.tail = block;
}

void unlink(heap_block* block) {
  if (block->previous)
    block->previous->next = block->next;
  else
    tracked_heap.head = block->next;
  if (block->next)
    block->next->previous = block->previous;
  else
    tracked_heap.tail = block->previous;
}

bool on_list(heap_block* block) {
  for (heap_block* b = tracked_heap.head; b; b = b->next)
    if (b == block) return true;
  return false;
}

[[gnu::cold, noreturn]] void out_of_memory(const void* caller) { runtime_error(94, caller); }

}  // namespace

[[gnu::noinline]] void* heap_alloc(size_t size) {
  auto* block = static_cast<heap_block*>(std::malloc(size + sizeof(heap_block)));
  if (!block) out_of_memory(__builtin_return_address(0));
  append(block, size);
  return data_of(block);
}

[[gnu::noinline]] void* heap_alloc_zeroed(size_t size) {
  auto* block = static_cast<heap_block*>(std::malloc(size + sizeof(heap_block)));
  if (!block) out_of_memory(__builtin_return_address(0));
  append(block, size);
  std::memset(data_of(block), 0, size);
  return data_of(block);
}

void* heap_try_alloc(size_t size) {
  if (size > UINT32_MAX - sizeof(heap_block)) return nullptr;  // the header keeps a 32-bit size
  auto* block = static_cast<heap_block*>(std::malloc(size + sizeof(heap_block)));
  if (!block) return nullptr;
  append(block, size);
  return data_of(block);
}

// A pointer that is not on the list is ignored, so the list is searched before unlinking.
void heap_free(void* pointer) {
  if (!pointer) return;
  heap_block* block = header_of(pointer);
  if (!on_list(block)) return;
  unlink(block);
  std::free(block);
}

[[gnu::noinline]] void* heap_realloc(void* pointer, size_t size) {
  if (!pointer) return heap_alloc(size);
  if (size == 0) {
    heap_free(pointer);
    return nullptr;
  }
  heap_block* old = header_of(pointer);
  heap_block* previous = old->previous;
  heap_block* next = old->next;
  auto* block = static_cast<heap_block*>(std::realloc(old, size + sizeof(heap_block)));
  if (!block) out_of_memory(__builtin_return_address(0));
  block->size = static_cast<uint32_t>(size);
  if (previous)
    previous->next = block;
  else
    tracked_heap.head = block;
  if (next)
    next->previous = block;
  else
    tracked_heap.tail = block;
  return data_of(block);
}

void heap_free_all() {
  heap_block* block = tracked_heap.head;
  tracked_heap = {nullptr, nullptr};
  while (block) {
    heap_block* next = block->next;
    std::free(block);
    block = next;
  }
}

size_t heap_block_count() {
  size_t n = 0;
  for (heap_block* b = tracked_heap.head; b; b = b->next) ++n;
  return n;
}

double normalize_angle(double degrees, int mode) {
  double x = std::fmod(degrees, 360.0);
  if (x > 180 || x < -180) x += x < 0 ? 360 : -360;
  if (x > 90 || x < -90) {
    if (mode == 0)
      x += x < 0 ? 180 : -180;
    else if (mode == 2)
      x = (x < 0 ? -180 : 180) - x;
  }
  return x * std::numbers::pi / 180.0;
}

}  // namespace tav
