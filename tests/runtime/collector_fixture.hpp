// Test fixture: a memory manager of its own (see memory_fixture.hpp) with the collector
// running on it, a registry of externals of its own, and the test modes of the process (the
// heap check always on).
// Roots that other code registered lead into the process-wide frames, which this heap's
// collector does not see, so they mark nothing here.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "memory_fixture.hpp"
#include "runtime/collector.hpp"
#include "runtime/externals.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"

namespace tav::testing {

// Overwrites the stack below the caller, where finished calls left node ids and pointers.
// Left out of AddressSanitizer's instrumentation, so that no redzone keeps old words.
[[gnu::noinline]] __attribute__((no_sanitize("address"))) inline void scrub_stack() {
  volatile uint64_t area[8192];
  for (auto& word : area) word = 0;
}

// Under TAV_GC_STRESS the private heap collects as often as the process-wide one does.
class fresh_heap : public fresh_memory {
 protected:
  void SetUp() override {
    uint32_t stress = memory::state.stress_interval;
    fresh_memory::SetUp();
    memory::state.stress_interval = memory::state.stress_countdown = stress;
    saved_externals_ = externals::state;
    externals::init();
    saved_modes_ = collector::test_modes;
    collector::test_modes.verify = true;
    saved_active_ = collector::active_p();
    collector::set_active(true);
    memory::collect_hook = collector::run;
    scrub_stack();  // what earlier tests left where this one's frames will be
  }

  void TearDown() override {
    collector::set_active(saved_active_);
    collector::test_modes = saved_modes_;
    heap_free(externals::state.types);
    heap_free(externals::state.slots);
    externals::state = saved_externals_;
    heap_free(memory::state.pointers);
    fresh_memory::TearDown();
  }

 private:
  externals::registry saved_externals_{};
  collector::test_mode_flags saved_modes_{};
  bool saved_active_ = false;
};

// Keeps a node id or an address out of the collector's sight: a stack word holding the
// complement names no node and points nowhere.
struct hidden {
  uintptr_t bits;
  static hidden of(uintptr_t value) { return {~value}; }
  static hidden of(const void* address) { return {~reinterpret_cast<uintptr_t>(address)}; }
  node_id node() const { return static_cast<node_id>(~bits); }
  template <class T>
  T* pointer() const {
    return reinterpret_cast<T*>(~bits);
  }
};

inline uint32_t nodes_in_use() {
  uint32_t used = 0;
  for (node_frame* frame = memory::state.node_head; frame; frame = frame->next) used += frame->used;
  return used;
}

// A byte series holding the text (with its bytes in use).
inline node_id make_text(const char* text) {
  auto n = static_cast<uint32_t>(std::strlen(text));
  node_id node = alloc_bytes(n);
  std::memcpy(alloc_tail_bytes(buffer_of(node), n), text, n);
  return node;
}

// Where the series' buffer is, hidden; out of line, so that the address stays off the caller's
// frame.
[[gnu::noinline]] inline hidden place_of(node_id node) { return hidden::of(buffer_of(node)); }

inline std::string text_of(node_id node) {
  series_buffer* buffer = buffer_of(node);
  return std::string(reinterpret_cast<const char*>(buffer->head()), buffer->used());
}

}  // namespace tav::testing
