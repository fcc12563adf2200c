// Test fixture: each test gets a memory manager of its own. The process-wide state is set
// aside, a fresh one installed, and afterwards every frame the test made is released and the
// old state (with the collector hook) put back. No collector runs inside: the roots live in
// the process-wide frames, so tests here check the allocator itself. Errors raised meanwhile
// make no error! value: the error prototype lives in the process-wide frames.
#pragma once
#include <gtest/gtest.h>

#include "runtime/errors.hpp"
#include "runtime/memory.hpp"

namespace tav::testing {

class fresh_memory : public ::testing::Test {
 protected:
  void SetUp() override {
    memory::init();
    saved_state_ = memory::state;
    saved_hook_ = memory::collect_hook;
    memory::state = memory_state{};
    memory::state.ready = true;
    memory::collect_hook = nullptr;
    saved_builder_ = set_value_builder(nullptr);
  }

  void TearDown() override {
    memory::free_all();
    memory::state = saved_state_;
    memory::collect_hook = saved_hook_;
    set_value_builder(saved_builder_);
  }

 private:
  memory_state saved_state_;
  void (*saved_hook_)() = nullptr;
  value_builder saved_builder_ = nullptr;
};

// True when the buffer lies inside the frame's used region.
inline bool inside(series_frame* frame, const series_buffer* buffer) {
  auto* at = reinterpret_cast<const uint8_t*>(buffer);
  return at >= frame->start() && at < frame->heap;
}

}  // namespace tav::testing
