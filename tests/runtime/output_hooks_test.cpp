// Output hooks: the printer lists, their growth and order, the default string printer and
// the terminal backend's hooks around printing.
#include "runtime/output_hooks.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_fixture.hpp"
#include "runtime/console_out.hpp"
#include "runtime/heap.hpp"
#include "runtime/series.hpp"
#include "runtime/tui_hooks.hpp"
#include "runtime/unicode.hpp"
#include "stdout_capture.hpp"

namespace tav {
namespace {

using output_hooks::default_printer;
using testing::output_of;

std::vector<int> calls;

template <int N>
void value_printer(const cell&, bool newline) {
  calls.push_back(newline ? N + 100 : N);
}

template <int N>
void raw_printer(const char*, size_t, int) {
  calls.push_back(N);
}

// Each test starts from freshly initialised lists; the process's own come back afterwards.
class OutputHooks : public testing::fresh_memory {
 protected:
  void SetUp() override {
    fresh_memory::SetUp();
    saved_ = output_hooks::state;
    output_hooks::state = {};
    output_hooks::init();
    calls.clear();
  }
  void TearDown() override {
    heap_free(output_hooks::state.values.entries);
    heap_free(output_hooks::state.raws.entries);
    output_hooks::state = saved_;
    tui::hooks = {};
    fresh_memory::TearDown();
  }

  static std::vector<output_hooks::value_printer> values() {
    auto& list = output_hooks::state.values;
    return {list.entries, list.entries + list.count};
  }

 private:
  output_hooks::hook_state saved_{};
};

TEST_F(OutputHooks, InitRegistersTheDefaultPrinterOnly) {
  EXPECT_TRUE(output_hooks::state.ready);
  EXPECT_EQ(values(), std::vector<output_hooks::value_printer>{default_printer});
  EXPECT_EQ(output_hooks::state.values.capacity, 5u);
  EXPECT_EQ(output_hooks::state.raws.count, 0u);
  EXPECT_EQ(output_hooks::state.raws.capacity, 5u);
  output_hooks::init();
  EXPECT_EQ(values().size(), 1u);
}

TEST_F(OutputHooks, ListsGrowByFiveAndCallInRegistrationOrder) {
  output_hooks::unregister(default_printer, nullptr);
  output_hooks::register_(value_printer<1>, raw_printer<11>);
  output_hooks::register_(value_printer<2>, nullptr);
  output_hooks::register_(nullptr, raw_printer<12>);
  output_hooks::register_(value_printer<3>, nullptr);
  output_hooks::register_(value_printer<4>, nullptr);
  output_hooks::register_(value_printer<5>, nullptr);
  output_hooks::register_(value_printer<6>, nullptr);
  EXPECT_EQ(output_hooks::state.values.count, 6u);
  EXPECT_EQ(output_hooks::state.values.capacity, 10u);
  EXPECT_EQ(output_hooks::state.raws.count, 2u);
  EXPECT_EQ(output_hooks::state.raws.capacity, 5u);

  cell value{};
  output_hooks::print_value(value, true);
  output_hooks::print_value(value, false);
  output_hooks::print_raw("x", 1, 0);
  EXPECT_EQ(calls, (std::vector<int>{101, 102, 103, 104, 105, 106, 1, 2, 3, 4, 5, 6, 11, 12}));
}

TEST_F(OutputHooks, UnregisterRemovesTheFirstEntryOnly) {
  output_hooks::unregister(default_printer, nullptr);
  output_hooks::register_(value_printer<1>, raw_printer<11>);
  output_hooks::register_(value_printer<2>, raw_printer<12>);
  output_hooks::register_(value_printer<1>, raw_printer<11>);
  output_hooks::unregister(value_printer<1>, raw_printer<11>);
  output_hooks::unregister(value_printer<9>, nullptr);  // not registered: no change
  cell value{};
  output_hooks::print_value(value, false);
  output_hooks::print_raw("x", 1, 0);
  EXPECT_EQ(calls, (std::vector<int>{2, 1, 12, 11}));

  output_hooks::unregister(value_printer<2>, nullptr);
  output_hooks::unregister(value_printer<1>, nullptr);
  calls.clear();
  EXPECT_EQ(output_of([&] { output_hooks::print_value(value, true); }), "");
  EXPECT_TRUE(calls.empty());
}

void register_many(const cell&, bool) {
  calls.push_back(0);
  for (int i = 0; i < 6; ++i) output_hooks::register_(value_printer<7>, nullptr);
}

TEST_F(OutputHooks, APrinterMayGrowTheListWhileItIsCalled) {
  output_hooks::unregister(default_printer, nullptr);
  output_hooks::register_(register_many, nullptr);
  output_hooks::register_(value_printer<1>, nullptr);
  cell value{};
  output_hooks::print_value(value, false);
  // The list moved under the loop: the printers behind are read from its new place.
  EXPECT_EQ(output_hooks::state.values.capacity, 10u);
  EXPECT_EQ(calls, (std::vector<int>{0, 1, 7, 7, 7, 7, 7, 7}));
}

// A string! value over a buffer whose data starts mid-area, so the offset matters.
cell string_value(uint32_t unit, const std::vector<uint32_t>& code_points, uint32_t head) {
  node_id node = alloc_series(static_cast<uint32_t>(code_points.size()) + 8, unit, -1);
  series_buffer* buffer = buffer_of(node);
  for (size_t i = 0; i < code_points.size(); ++i) unicode::set_unit(buffer->head(), i, unit, code_points[i]);
  buffer->tail = buffer->offset + static_cast<uint32_t>(code_points.size() * unit);
  return cell{7, head, node, 0};
}

std::vector<uint32_t> code_points_of(const std::string& text) { return {text.begin(), text.end()}; }

TEST_F(OutputHooks, DefaultPrinterWritesTheStringFromItsHead) {
  struct row {
    uint32_t unit;
    std::vector<uint32_t> code_points;
    uint32_t head;
    bool newline;
    const char* expected;
  };
  const row rows[] = {
      {1, {'c', 'a', 'f', 0xE9}, 0, false, "caf\xC3\xA9"},
      {2, {'\x1B', '[', '1', 'm', 0x20AC}, 0, true, "\x1B[1m\xE2\x82\xAC\n"},
      {4, {'a', 0x1F600, 'b'}, 1, true, "\xF0\x9F\x98\x80" "b\n"},
      {2, {'a', 'b', 0x416}, 2, false, "\xD0\x96"},
      {1, code_points_of("ab"), 2, true, "\n"},  // head at the tail: only the line end
      {1, code_points_of("ab"), 9, false, ""},   // head beyond the tail: nothing
      {4, code_points_of("ab"), 5, true, "\n"},
  };
  for (const row& r : rows) {
    cell value = string_value(r.unit, r.code_points, r.head);
    EXPECT_EQ(output_of([&] { output_hooks::print_value(value, r.newline); }), r.expected)
        << "unit " << r.unit << " head " << r.head;
  }
}

TEST_F(OutputHooks, DefaultPrinterReportsAnUnknownUnitWidth) {
  node_id node = alloc_series(4, 8, 0);
  buffer_of(node)->tail = 16;
  cell value{7, 0, node, 0};
  EXPECT_EQ(output_of([&] { default_printer(value, false); }), "Error: unknown string encoding: 8\n");
}

// The terminal backend's hooks run around each print, with the text written in between.
testing::captured_stdout* capture = nullptr;
std::vector<std::string> hook_log;

void before() { hook_log.push_back("before at " + std::to_string(capture->size())); }
void after() { hook_log.push_back("after at " + std::to_string(capture->size())); }

TEST_F(OutputHooks, TerminalHooksRunBeforeAndAfterEachPrint) {
  tui::hooks = {before, after, nullptr};
  hook_log.clear();
  cell value = string_value(1, code_points_of("hello"), 0);
  {
    testing::captured_stdout captured;
    capture = &captured;
    output_hooks::print_value(value, true);
    print_items({print_item::of_integer(42)});
    print_line("!");
    capture = nullptr;
  }
  EXPECT_EQ(hook_log, (std::vector<std::string>{"before at 0", "after at 6", "before at 6", "after at 8",
                                                "before at 8", "after at 10"}));
}

}  // namespace
}  // namespace tav
