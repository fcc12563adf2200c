// Cycle stack: bounded depth, lookups, guards and the cycle markers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fire_helpers.hpp"
#include "collector_fixture.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/series.hpp"

namespace tav {
namespace {

using testing::fired_by;

class CycleStack : public testing::fresh_heap {
 protected:
  void SetUp() override {
    fresh_heap::SetUp();
    cycles::reset();
  }
  void TearDown() override {
    cycles::reset();
    fresh_heap::TearDown();
  }
};

TEST_F(CycleStack, TheThousandthNestedPushRaisesTooDeepAndEmptiesTheStack) {
  for (node_id n = 1; n <= 999; ++n) cycles::push(n);
  EXPECT_EQ(cycles::depth(), 999u);
  EXPECT_TRUE(cycles::find(999));
  EXPECT_EQ(fired_by([] { cycles::push(1000); }), error_id::internal_too_deep);
  EXPECT_EQ(error_code(error_id::internal_too_deep), 906u);
  EXPECT_EQ(cycles::depth(), 0u);
  EXPECT_FALSE(cycles::find(1));
}

TEST_F(CycleStack, PopsNeverGoBelowEmpty) {
  cycles::pop();
  EXPECT_EQ(cycles::depth(), 0u);
  for (node_id n : {7u, 8u, 9u}) cycles::push(n);
  cycles::pop();
  EXPECT_FALSE(cycles::find(9));
  EXPECT_TRUE(cycles::find(8));
  cycles::pop_n(5);
  EXPECT_EQ(cycles::depth(), 0u);
}

// Enters nodes n, n + 1, ... up to 9, failing inside node `failing`.
void nested_walk(node_id n, node_id failing) {
  cycles::guard entry(n);
  if (n == failing) fire(error_id::internal_no_cycle);
  if (n < 9) nested_walk(n + 1, failing);
}

TEST_F(CycleStack, GuardsUnwindWithAnError) {
  cycles::push(1);
  nested_walk(2, 0);
  EXPECT_EQ(cycles::depth(), 1u);
  EXPECT_EQ(fired_by([] { nested_walk(2, 5); }), error_id::internal_no_cycle);
  EXPECT_EQ(cycles::depth(), 1u);
  EXPECT_TRUE(cycles::find(1));
  EXPECT_FALSE(cycles::find(2));
}

std::string text_of(node_id text) {
  series_buffer* buffer = buffer_of(text);
  std::string out;
  for (uint32_t i = 0; i < buffer->count(); ++i) {
    uint32_t code = 0;
    std::memcpy(&code, buffer->head() + i * buffer->unit(), buffer->unit());
    out.push_back(static_cast<char>(code));
  }
  return out;
}

TEST_F(CycleStack, DetectAppendsTheMarkerOfTheType) {
  const node_id inner = 77;
  cycles::push(inner);
  struct row {
    uint8_t type;
    bool mold;
    const char* marker;
  };
  for (auto [type, mold, marker] : {
           row{5, true, "[...]"},
           row{36, true, "[...]"},
           row{6, true, "(...)"},
           row{40, true, "#[...]"},
           row{25, true, "..."},
           row{32, true, "make object! [...]"},
           row{5, false, "..."},
           row{32, false, "..."},
       }) {
    for (uint32_t unit : {1u, 2u, 4u}) {
      node_id out = alloc_by_unit(0, unit);
      const cell value = type == 32 ? cell{type, inner, 1, 0} : cell{type, 0, inner, 0};
      int32_t width = 100;
      EXPECT_TRUE(cycles::detect(value, out, width, mold));
      EXPECT_EQ(text_of(out), marker) << int{type} << " unit " << unit;
      EXPECT_EQ(width, 100 - static_cast<int32_t>(std::strlen(marker)));
    }
  }
}

TEST_F(CycleStack, DetectLeavesOtherValuesAlone) {
  cycles::push(77);
  node_id out = alloc_bytes(0);
  int32_t width = 10;
  EXPECT_FALSE(cycles::detect(cell{5, 0, 78, 0}, out, width, true));
  EXPECT_FALSE(cycles::detect(cell{32, 78, 77, 0}, out, width, true));  // an object's context is payload 1
  EXPECT_EQ(width, 10);
  EXPECT_EQ(buffer_of(out)->used(), 0u);
}

}  // namespace
}  // namespace tav
