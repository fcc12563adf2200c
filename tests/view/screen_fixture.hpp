// The cell screen on a scripted terminal: written bytes captured, input given in chunks, a
// clock that moves only when told or waited on, a window size to report.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <utility>

#include "boot/boot_fixture.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/values.hpp"
#include "view/backends/terminal/screen.hpp"
#include "view/backends/terminal/term_io.hpp"

namespace tav::testing {

class fake_term_io final : public tui::term_io {
 public:
  std::string written;
  int writes = 0;
  std::deque<std::string> chunks;  // one chunk arrives per read
  int arrival_ms = 0;                // how far into a wait each chunk arrives
  uint64_t clock = 0;
  int columns = 80;
  int rows = 24;
  bool size_known = true;
  bool resized = false;
  bool terminal = true;
  bool raw = false;
  int flushes = 0;
  int sleeps = 0;
  std::string leave_bytes;  // what an abrupt exit would write

  void write(std::string_view bytes) override {
    written.append(bytes);
    ++writes;
  }
  long read(uint8_t* buffer, size_t size, int timeout_ms) override {
    if (chunks.empty() || timeout_ms < arrival_ms) {
      if (timeout_ms > 0) clock += static_cast<uint64_t>(timeout_ms);
      return 0;
    }
    clock += static_cast<uint64_t>(arrival_ms);
    std::string& chunk = chunks.front();
    const size_t n = std::min(size, chunk.size());
    std::memcpy(buffer, chunk.data(), n);
    chunk.erase(0, n);
    if (chunk.empty()) chunks.pop_front();
    return static_cast<long>(n);
  }
  uint64_t now_ms() override { return clock; }
  bool window_size(int& c, int& r) override {
    c = columns;
    r = rows;
    return size_known;
  }
  bool take_resized() override { return std::exchange(resized, false); }
  bool terminal_p() override { return terminal; }
  bool raw_on() override { return raw = terminal; }
  void raw_off() override { raw = false; }
  void flush_streams() override { ++flushes; }
  void sleep(int ms) override {
    if (ms > 0) clock += static_cast<uint64_t>(ms);
    ++sleeps;
  }
  void set_leave_bytes(std::string_view bytes) override { leave_bytes = bytes; }

  std::string take() { return std::exchange(written, {}); }
};

// Each test starts with an empty screen on a fresh fake terminal, and leaves nothing behind.
class screen_test : public ::testing::Test {
 protected:
  fake_term_io terminal;

  static void SetUpTestSuite() { boot::define_vocabulary(); }

  void SetUp() override {
    tui::set_io(&terminal);
    tui::console = tui::console_state{};
    tui::shutdown();
    tui::set_widget_event_sender(nullptr);
  }
  void TearDown() override {
    tui::shutdown();
    tui::console = tui::console_state{};
    tui::set_widget_event_sender(nullptr);
    tui::set_io(nullptr);
  }

  // Terminal mode on a console of the given size, with nothing written yet.
  void enter_terminal(int columns = 80, int rows = 24) {
    terminal.columns = columns;
    terminal.rows = rows;
    tui::enter_terminal_mode(true);
    terminal.take();
  }

  static tui::widget_id add(tui::widget_id parent, float x, float y, float w, float h, const cell& face = none::value,
                            uint32_t flags = 0) {
    const tui::widget_id id = tui::make_widget(face, parent);
    tui::widget* record = tui::widget_of(id);
    record->x1 = x;
    record->y1 = y;
    record->x2 = x + w;
    record->y2 = y + h;
    record->flags = flags;
    return id;
  }

  // A shown window of w x h cells.
  static tui::widget_id window(float w, float h, uint32_t flags = 0) {
    const tui::widget_id id = add(tui::no_widget, 0, 0, w, h, none::value, flags);
    tui::activate_window(tui::init_window(id));
    return id;
  }

  // A grid of the given rows as plain cells, without a window.
  static void grid(std::initializer_list<std::u32string_view> rows) {
    tui::screen.height = static_cast<int>(rows.size());
    tui::screen.width = static_cast<int>(rows.begin()->size());
    tui::screen.cells.assign(static_cast<size_t>(tui::screen.width * tui::screen.height), tui::tui_cell{});
    size_t i = 0;
    for (std::u32string_view row : rows)
      for (char32_t ch : row) tui::screen.cells[i++].cp = ch;
  }

  static tui::tui_cell& at(int x, int y) {
    return tui::screen.cells[static_cast<size_t>(y * tui::screen.width + x)];
  }

  // The characters of a grid row, continuation cells left out, code point 0 as a space.
  static std::u32string row_text(int y) {
    std::u32string text;
    for (int x = 0; x < tui::screen.width; ++x)
      if (!(at(x, y).attr & tui::attr::continuation)) text.push_back(at(x, y).cp ? at(x, y).cp : U' ');
    return text;
  }
};

// The value the code answers, for faces made in Tav.
inline cell evaluated(std::string_view code) {
  const cell block = loaded(code);
  cell* base = stack::top;
  interpreter::do_block(block, false);
  const cell result = *stack::last_pushed();
  stack::top = base;
  return result;
}

}  // namespace tav::testing
