// Terminal widgets: making and destroying the widgets of a window of 200 faces, typing into a
// field (a character inserted at the caret, then taken back with Backspace), and frames of that
// window drawn through the widget classes' renderers into a terminal that only counts bytes.
// Beside the keystrokes: Python inserting and removing a character in a string at a caret, the
// least a Python text field does per key. Figures are best of three runs.
#include <cstdio>
#include <string>
#include <string_view>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "datatypes/block.hpp"
#include "datatypes/handle.hpp"
#include "runtime/platform.hpp"
#include "view/backends/terminal/face_access.hpp"
#include "view/backends/terminal/screen.hpp"
#include "view/backends/terminal/term_io.hpp"
#include "view/backends/terminal/widget.hpp"

namespace {

using namespace tav;

class counting_terminal final : public tui::term_io {
 public:
  size_t bytes = 0;
  void write(std::string_view out) override { bytes += out.size(); }
  long read(uint8_t*, size_t, int) override { return 0; }
  uint64_t now_ms() override { return 0; }
  bool window_size(int& c, int& r) override {
    c = 80;
    r = 24;
    return true;
  }
  bool take_resized() override { return false; }
  bool terminal_p() override { return true; }
  bool raw_on() override { return true; }
  void raw_off() override {}
  void flush_streams() override {}
  void sleep(int) override {}
  void set_leave_bytes(std::string_view) override {}
};

using bench::evaluate;

// A window face whose pane holds 200 faces of five types, 8 columns of 25 rows.
constexpr const char* window_source =
    "face-of: func [kind at] [make object! [type: kind offset: at size: 10x1 text: copy {item} "
    "image: none color: 0.0.128 data: none enabled?: true visible?: true selected: none flags: none options: none "
    "rate: none state: none pane: none font: none para: none parent: none]] "
    "types: [button field check group-box base] "
    "bench-pane: collect [repeat i 200 [keep face-of pick types i - 1 // 5 + 1 as-pair i - 1 // 8 * 10 i - 1 / 8]] "
    "bench-window: face-of 'window 0x0  bench-window/size: 80x24  bench-window/pane: bench-pane  bench-window";

void keep_handle(const cell& face, tui::widget_id id) {
  cell state;
  block::make_at(state, 2);
  cell handle_cell;
  handle::make_at(handle_cell, id, handle::CLASS_WINDOW);
  block::append_cell(state, handle_cell);
  tui::set_facet(face, tui::names().state, state);
}

tui::widget_id make_window(const cell& window) {
  const tui::widget_id root = tui::make_view(window, tui::no_widget);
  keep_handle(window, root);
  const cell pane = tui::facet_value(window, tui::names().pane);
  for (uint32_t i = 0; i < tui::block_length(pane); ++i) {
    const cell face = tui::block_values(pane)[i];
    keep_handle(face, tui::make_view(face, root));
  }
  tui::activate_window(tui::widget_of(root)->window);
  return root;
}

int run(void*) {
  boot::init_runtime();
  source::define_core();
  counting_terminal terminal;
  tui::set_io(&terminal);
  tui::enter_terminal_mode(true);
  const cell window = evaluate(window_source);
  std::printf("%-52s %12s\n", "terminal widgets", "us/op");

  constexpr int windows = 100;
  const double made = bench::best_of([&] {
    for (int i = 0; i < windows; ++i) {
      make_window(window);
      tui::destroy_widget(window);
    }
  });
  std::printf("%-52s %12.2f\n", "make and destroy a window of 200 widgets", made / windows * 1e6);

  const tui::widget_id root = make_window(window);
  const cell field = evaluate("f: make object! [type: 'field offset: 0x0 size: 60x1 text: copy {} image: none "
                              "color: none data: none enabled?: true visible?: true selected: none flags: none "
                              "options: none rate: none state: none pane: none font: none para: none parent: none]");
  const tui::widget_id entry = tui::make_view(field, root);
  for (char32_t ch : std::u32string(U"some text of forty characters in a fie"))
    tui::handle_widget_event(entry, {tui::widget_event::key, 0, 0, static_cast<int32_t>(ch)});
  for (int i = 0; i < 19; ++i) tui::handle_widget_event(entry, {tui::widget_event::key, 0, 0, -23});
  constexpr int keys = 100000;
  const double typed = bench::best_of([&] {
    for (int i = 0; i < keys / 2; ++i) {
      tui::handle_widget_event(entry, {tui::widget_event::key, 0, 0, 'x'});
      tui::handle_widget_event(entry, {tui::widget_event::key, 0, 0, 8});
    }
  });
  std::printf("%-52s %12.3f\n", "field keystroke, caret in a 38-character text", typed / keys * 1e6);
  const double python = bench::time_python(
      "s = \"some text of forty characters in a fie\"\ni = 19",
      "for _ in range(50000):\n        s = s[:i] + \"x\" + s[i:]\n        s = s[:i] + s[i + 1:]");
  if (python > 0) std::printf("%-52s %12.3f\n", "  python: insert and remove at a caret", python / keys * 1e6);

  constexpr int frames = 200;
  const double drawn = bench::best_of([&] {
    for (int i = 0; i < frames; ++i) {
      tui::screen.redraw = true;
      tui::render_frame();
    }
  });
  std::printf("%-52s %12.2f\n", "frame of the window, 80x24 cells, 201 widgets", drawn / frames * 1e6);
  std::printf("%-52s %12zu\n", "bytes written", terminal.bytes);
  tui::shutdown();
  tui::leave_terminal_mode();
  tui::set_io(nullptr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
