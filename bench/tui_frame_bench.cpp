// Frames of the terminal backend's cell screen: an 80x24 and a 200x60 window of borders,
// coloured text, wide characters and reverse-video rows, drawn through the widget tree and
// flushed into a terminal that only counts bytes; beside Python's curses painting the same
// cells on a pseudo-terminal and redrawing them whole (clearok, refresh) each frame.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_util.hpp"
#include "view/backends/terminal/screen.hpp"
#include "view/backends/terminal/term_io.hpp"

namespace {

using namespace tav;

class counting_terminal final : public tui::term_io {
 public:
  size_t bytes = 0;
  int columns = 80, rows = 24;
  void write(std::string_view out) override { bytes += out.size(); }
  long read(uint8_t*, size_t, int) override { return 0; }
  uint64_t now_ms() override { return 0; }
  bool window_size(int& c, int& r) override {
    c = columns;
    r = rows;
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

struct text_op {
  int x, y;
  std::u32string text;
  tui::text_style style;
};

std::vector<text_op> ops;
int frame_w = 0, frame_h = 0;

constexpr std::u32string_view wide = U"漢字テスト";

uint32_t indexed(int n) { return n < 0 ? 0 : tui::make_color(tui::color_kind::indexed, static_cast<uint32_t>(n)); }

std::u32string ascii(const std::string& text) { return std::u32string(text.begin(), text.end()); }

// The same cells as the curses program's frame_ops.
void build_ops(int w, int h) {
  ops.clear();
  for (int y = 1; y < h - 1; ++y) {
    if (y % 4 == 0) {
      std::string text;
      char row[16];
      std::snprintf(row, sizeof row, "row %3d ", y);
      while (static_cast<int>(text.size()) < w) text += row;
      ops.push_back({1, y, ascii(text.substr(0, static_cast<size_t>(w - 2))), {0, 0, tui::attr::reverse}});
      continue;
    }
    for (int x = 1, i = 0; x < w - 1; ++i) {
      std::u32string text;
      int width;
      if (i % 3 == 2) {
        text = std::u32string(wide) + U" ";
        width = 2 * static_cast<int>(wide.size()) + 1;
      } else {
        text = ascii("item" + std::to_string(y * 7 + i) + " ");
        width = static_cast<int>(text.size());
      }
      const int room = w - 1 - x;
      if (width > room) {
        if (i % 3 == 2) {
          text = std::u32string(wide.substr(0, static_cast<size_t>(room / 2)));
          width = 2 * static_cast<int>(text.size());
        } else {
          text.resize(static_cast<size_t>(room));
          width = room;
        }
      }
      if (!text.empty())
        ops.push_back({x, y, text, {indexed(i % 3 == 0 ? 236 : -1), indexed(16 + (y * 11 + i * 5) % 216), 0}});
      x += std::max(width, 1);
    }
  }
}

void draw_box(int x, int y, int w, int h, tui::text_style style) {
  const tui::clip_rect clip{0, 0, tui::screen.width, tui::screen.height};
  std::u32string edge(static_cast<size_t>(w), U'─');
  edge.front() = U'┌';
  edge.back() = U'┐';
  tui::render_text(edge, x, y, clip, style, 0);
  edge.front() = U'└';
  edge.back() = U'┘';
  tui::render_text(edge, x, y + h - 1, clip, style, 0);
  for (int row = y + 1; row < y + h - 1; ++row) {
    tui::render_text(U"│", x, row, clip, style, 0);
    tui::render_text(U"│", x + w - 1, row, clip, style, 0);
  }
}

void render_rows(int, int, tui::widget_id) {
  const tui::clip_rect clip{0, 0, tui::screen.width, tui::screen.height};
  for (const text_op& op : ops) tui::render_text(op.text, op.x, op.y, clip, op.style, 0);
}

void render_border(int, int, tui::widget_id) { draw_box(0, 0, frame_w, frame_h, {0, indexed(33), 0}); }

void render_panel(int x, int y, tui::widget_id id) {
  const tui::widget& panel = *tui::widget_of(id);
  const int w = static_cast<int>(panel.x2 - panel.x1), h = static_cast<int>(panel.y2 - panel.y1);
  const tui::text_style style{indexed(17), indexed(255), 0};
  tui::fill_cells(x + 1, y + 1, w - 2, h - 2, style.bg);
  draw_box(x, y, w, h, style);
  const tui::clip_rect clip{0, 0, tui::screen.width, tui::screen.height};
  tui::render_text(U"Panel 一二三", x + 2, y + 1, clip, {style.bg, style.fg, tui::attr::bold}, 0);
}

tui::widget_id add(tui::widget_id parent, float x, float y, float w, float h, tui::widget_renderer renderer) {
  const tui::widget_id id = tui::make_widget(none::value, parent);
  tui::widget& record = *tui::widget_of(id);
  record.x1 = x;
  record.y1 = y;
  record.x2 = x + w;
  record.y2 = y + h;
  record.renderer = renderer;
  return id;
}

struct figures {
  double us_per_frame;
  double bytes_per_frame;
};

figures run_ours(int w, int h, int frames) {
  counting_terminal terminal;
  terminal.columns = w;
  terminal.rows = h;
  tui::set_io(&terminal);
  tui::enter_terminal_mode(true);
  frame_w = w;
  frame_h = h;
  build_ops(w, h);
  const tui::widget_id root = tui::make_widget(none::value, tui::no_widget);
  tui::widget_of(root)->x2 = static_cast<float>(w);
  tui::widget_of(root)->y2 = static_cast<float>(h);
  tui::activate_window(tui::init_window(root));
  add(root, 0, 0, static_cast<float>(w), static_cast<float>(h), render_rows);
  add(root, 0, 0, static_cast<float>(w), static_cast<float>(h), render_border);
  add(root, static_cast<float>(w / 2), static_cast<float>(h / 4), static_cast<float>(w / 3), static_cast<float>(h / 2),
      render_panel);
  tui::screen.redraw = true;
  tui::render_frame();  // the grid and the output buffer reach their size once
  terminal.bytes = 0;
  const auto start = bench::clock_type::now();
  for (int i = 0; i < frames; ++i) {
    tui::screen.redraw = true;
    tui::render_frame();
  }
  const double seconds = bench::seconds_since(start);
  const figures result{seconds / frames * 1e6, static_cast<double>(terminal.bytes) / frames};
  tui::shutdown();
  tui::leave_terminal_mode();
  tui::set_io(nullptr);
  return result;
}

// The curses program's figures, or a negative time when it cannot run.
figures run_curses(int w, int h, int frames) {
  std::string script = __FILE__;
  script = script.substr(0, script.rfind('/') + 1) + "tui_curses.py";
  const std::string command =
      "python3 " + script + " " + std::to_string(w) + " " + std::to_string(h) + " " + std::to_string(frames);
  FILE* pipe = ::popen(command.c_str(), "r");
  figures result{-1, 0};
  if (!pipe) return result;
  if (std::fscanf(pipe, "%lf %lf", &result.us_per_frame, &result.bytes_per_frame) != 2) result.us_per_frame = -1;
  ::pclose(pipe);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int curses_frames = argc > 2 ? std::atoi(argv[2]) : 1000;
  std::printf("%-8s %14s %14s %14s %14s %8s\n", "frame", "us/frame", "bytes/frame", "curses us", "curses bytes",
              "ratio");
  for (auto [w, h] : {std::pair{80, 24}, std::pair{200, 60}}) {
    const figures ours = run_ours(w, h, frames);
    const figures peer = run_curses(w, h, curses_frames);
    char size[16];
    std::snprintf(size, sizeof size, "%dx%d", w, h);
    if (peer.us_per_frame < 0)
      std::printf("%-8s %14.2f %14.0f %14s %14s %8s\n", size, ours.us_per_frame, ours.bytes_per_frame, "-", "-", "-");
    else
      std::printf("%-8s %14.2f %14.0f %14.2f %14.0f %8.1f\n", size, ours.us_per_frame, ours.bytes_per_frame,
                  peer.us_per_frame, peer.bytes_per_frame, peer.us_per_frame / ours.us_per_frame);
  }
  std::printf("(%d frames of ours, %d of curses on a pseudo-terminal with TERM=xterm-256color)\n", frames,
              curses_frames);
  return 0;
}
