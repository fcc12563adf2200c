// The boot image embedded in the program: its header, and its global definitions decoded in boot
// mode into a fresh global context.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "boot/boot_image.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/action_list.hpp"
#include "datatypes/context.hpp"
#include "datatypes/native.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/types.hpp"
#include "datatypes/value_fixture.hpp"
#include "io/tavbin.hpp"

#include "datatypes/action_specs.inc"
#include "interpreter/native_specs.inc"

namespace tav::testing {
namespace {

struct spec_row {
  uint32_t index;
  const char* word;
};
#define TAV_SPEC_ROW(index, word, spec) spec_row{index, word},
const spec_row native_rows[] = {TAV_NATIVE_SPECS(TAV_SPEC_ROW)};
const spec_row action_rows[] = {TAV_ACTION_SPECS(TAV_SPEC_ROW)};
#undef TAV_SPEC_ROW

TEST(boot_image, starts_with_the_magic_version_1_and_compact_symbol_flags) {
  const boot::image_bytes image = boot::boot_image();
  ASSERT_NE(image.data, nullptr);
  ASSERT_GT(image.length, 8u);
  const uint8_t header[8] = {0x54, 0x41, 0x56, 0x42, 0x49, 0x4E, 0x01, 0x05};
  EXPECT_EQ(std::memcmp(image.data, header, 8), 0);
}

// The value a global word holds in the current global context, or unset.
cell global_value(const char* name) {
  const int32_t at = context::find_word(context::global, symbol::make(name), false);
  return at < 0 ? cell{TYPE_UNSET, 0, 0, 0} : *context::value_at(context::global, static_cast<uint32_t>(at));
}

// Every fault found, one per line; empty when the decoded definitions are exactly the tables'.
std::string faults_of_a_fresh_decode() {
  context::init_global();
  const boot::image_bytes image = boot::boot_image();
  tavbin::boot_load(image.data, image.length);
  std::string faults;
  uint32_t expected = 0;
  for (uint32_t id = 1; id < type_table_size; ++id) {
    const char* name = describe_type(static_cast<uint8_t>(id)).name;
    if (!name || id == TYPE_DATATYPE) continue;
    ++expected;
    const cell value = global_value(name);
    if (value.type() != TYPE_DATATYPE || value.payload1 != id) faults += std::string(name) + " is not its datatype\n";
  }
  auto callables = [&](const spec_row* rows, size_t count, uint8_t type) {
    for (size_t i = 0; i < count; ++i) {
      ++expected;
      const cell value = global_value(rows[i].word);
      if (value.type() != type || native::index_of(value) != rows[i].index)
        faults += std::string(rows[i].word) + " does not hold its index " + std::to_string(rows[i].index) + "\n";
    }
  };
  callables(action_rows, std::size(action_rows), TYPE_ACTION);
  callables(native_rows, std::size(native_rows), TYPE_NATIVE);
  // Words of the sources are in the context too, but hold nothing yet.
  uint32_t defined = 0;
  for (uint32_t i = 0; i < context::word_count(context::global); ++i)
    if (context::value_at(context::global, i)->type() != TYPE_UNSET) ++defined;
  if (defined != expected)
    faults += std::to_string(defined) + " words defined, " + std::to_string(expected) + " expected\n";
  return faults;
}

// In a child process: the fresh global context is not the one the other tests run on.
TEST(boot_image, defines_exactly_the_datatype_action_and_native_words_with_their_indexes) {
  EXPECT_EQ(std::size(action_rows), 59u);
  EXPECT_EQ(std::size(native_rows), 107u);
  EXPECT_EXIT(
      {
        const std::string faults = faults_of_a_fresh_decode();
        std::fputs(faults.c_str(), stderr);
        std::fflush(stderr);
        std::_Exit(faults.empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tav::testing
