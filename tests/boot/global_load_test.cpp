// Loading text as global code: every word, at any depth, is bound to its global slot.
#include <gtest/gtest.h>

#include <string>

#include "boot/global_load.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/value_fixture.hpp"
#include "interpreter/load_helpers.hpp"

namespace tav::testing {
namespace {

class global_load : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { boot::define_vocabulary(); }
};

cell global_slot_word(const cell& word) {
  cell bound;
  word::make_at(bound, word::symbol_of(word));
  return bound;
}

// More words than the binder remembers slots for, met again in blocks and paths: each one
// gets the slot of its own name (case variants share theirs), never one remembered for another.
TEST_F(global_load, every_word_gets_the_slot_of_its_name) {
  constexpr int distinct = 1500;
  std::string text = "Fooo fooo FOOO ";
  for (int i = 0; i < distinct; ++i) text += "w" + std::to_string(i) + ' ';
  text += "[";
  for (int i = distinct - 1; i >= 0; --i) text += "(w" + std::to_string(i) + ") 'w" + std::to_string(i) + ' ';
  text += "] a/w7/w1031: ";
  const cell block = boot::load_global(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
  ASSERT_EQ(block.type(), TYPE_BLOCK);

  uint32_t checked = 0;
  auto check = [&](const cell& word) {
    cell expected = global_slot_word(word);
    EXPECT_EQ(word.payload1, context::global) << spelling_of(word);
    EXPECT_EQ(word.payload3, expected.payload3) << spelling_of(word);
    ++checked;
  };
  for (uint32_t i = 0; i < 3 + distinct; ++i) check(item(block, i));
  EXPECT_EQ(item(block, 0).payload3, item(block, 1).payload3);
  EXPECT_EQ(item(block, 1).payload3, item(block, 2).payload3);
  EXPECT_NE(item(block, 3).payload3, item(block, 4).payload3);
  const cell nested = item(block, 3 + distinct);
  for (uint32_t i = 0; i < count_of(nested); ++i) {
    const cell value = item(nested, i);
    check(value.type() == TYPE_PAREN ? item(value, 0) : value);
  }
  const cell path = item(block, 4 + distinct);
  ASSERT_EQ(path.type(), TYPE_SET_PATH);
  for (uint32_t i = 0; i < count_of(path); ++i) check(item(path, i));
  EXPECT_EQ(checked, 3 + 3 * distinct + 3u);
}

}  // namespace
}  // namespace tav::testing
