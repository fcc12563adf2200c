// Shapes of the Draw dialect on cells: a face of 200x60 whose draw block holds 1,000 lines, 200
// boxes, 200 ellipses and 100 triangles (some reaching past the face), drawn 1,000 times into
// the grid; beside it the same block only read and checked, as for an image. Best of three runs.
#include <cstdio>
#include <functional>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/platform.hpp"
#include "view/backends/terminal/draw.hpp"
#include "datatypes/values.hpp"
#include "view/backends/terminal/screen.hpp"
#include "view/backends/terminal/widget.hpp"

namespace {

using namespace tav;

constexpr int runs = 1000;

// Points a little beyond the face on every side, from a fixed seed.
const char* block_source =
    "random/seed 82 "
    "pt: func [] [as-pair (random 240) - 20 (random 80) - 10] "
    "size: func [] [as-pair random 60 random 30] "
    "lines: make block! 3000 repeat i 1000 [append lines reduce ['line pt pt]] "
    "boxes: make block! 600 repeat i 200 [append boxes reduce ['box pt pt]] "
    "ellipses: make block! 600 repeat i 200 [append ellipses reduce ['ellipse pt size]] "
    "triangles: make block! 400 repeat i 100 [append triangles reduce ['triangle pt pt pt]] "
    "shapes: compose [pen 255.0.0 fill-pen 0.0.255 (lines) fill-pen off (boxes) fill-pen 0.128.0 (ellipses) "
    "(triangles)] "
    "shapes";

using bench::evaluate;

// A run with a widget paints; without one it only reads and checks.
double time_blocks(const cell& block, tui::widget_id widget) {
  return bench::best_of([&] {
    for (int i = 0; i < runs; ++i) {
      tui::draw_context context;
      context.clip = tui::clip_rect{0, 0, 200, 60};
      context.widget = widget;
      tui::draw_begin(context);
      tui::draw_parse(context, block, true);
    }
  });
}

int run(void*) {
  boot::init_runtime();
  source::define_core();
  tui::screen.width = 200;
  tui::screen.height = 60;
  tui::screen.cells.assign(200 * 60, tui::tui_cell{});
  const cell block = evaluate(block_source);
  const tui::widget_id face = tui::make_widget(none::value, tui::no_widget);
  const double drawn = time_blocks(block, face);
  const double checked = time_blocks(block, tui::no_widget);
  std::printf("a draw block of 1,000 lines, 200 boxes, 200 ellipses and 100 triangles on a 200x60 face:\n");
  std::printf("  %-34s %10.1f us per block\n", "drawn into the grid", drawn / runs * 1e6);
  std::printf("  %-34s %10.1f us per block\n", "read and checked only", checked / runs * 1e6);
  // Each kind alone, with the pens of the whole block; `piece` holds the block.
  const char* parts[][2] = {{"1,000 lines", "piece: compose [pen 255.0.0 (lines)]"},
                            {"200 boxes, frames only", "piece: compose [pen 255.0.0 (boxes)]"},
                            {"200 ellipses, filled", "piece: compose [pen 255.0.0 fill-pen 0.128.0 (ellipses)]"},
                            {"100 triangles, filled", "piece: compose [pen 255.0.0 fill-pen 0.128.0 (triangles)]"}};
  for (const auto& part : parts) {
    const cell piece = evaluate(part[1]);
    std::printf("  %-34s %10.1f us per block\n", part[0], time_blocks(piece, face) / runs * 1e6);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
