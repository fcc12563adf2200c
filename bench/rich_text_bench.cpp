// Rich text: `rtd-layout/only` of a source of twelve styled pieces, beside the least any layout
// of it does in Tav (its strings appended into one text); and the styled cells of a rich-text
// face of 4,000 characters with 400 bold runs, beside the same cells without runs and beside
// Python building such cells as lists and marking the runs. Figures are best of three runs.
#include <cstdio>
#include <vector>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "boot/vocabulary.hpp"
#include "library/routines.hpp"
#include "runtime/platform.hpp"
#include "view/backends/terminal/rich_text.hpp"

namespace {

using namespace tav;

using bench::evaluate;

constexpr const char* layout_source =
    "source: [{Hello } b {world} /b 255.0.0 [{red } i [{italic}]] f [{Mono} 12] {font} /f bg #00FF00 {x} /bg "
    "u/s/blue [{path}] <b> {tag} </b> {plain} strike [{gone}] underline {under} /underline {tail}]";

int run(void*) {
  boot::init_runtime();
  boot::define_vocabulary();
  evaluate(layout_source);
  std::printf("%-56s %12s\n", "rich text", "us/op");

  constexpr int layouts = 2000;
  const double laid = bench::time_tav("loop 2000 [rtd-layout/only source]");
  std::printf("%-56s %12.2f\n", "rtd-layout/only, 12 styled pieces, 11 runs", laid / layouts * 1e6);
  const double floor = bench::time_tav("loop 2000 [t: make string! 100 foreach v source [if string? v [append t v]]]");
  std::printf("%-56s %12.2f\n", "  tav: the same strings appended, nothing parsed", floor / layouts * 1e6);

  const cell face = evaluate(
      "runs: make block! 800 repeat i 400 [append runs as-pair i - 1 * 10 + 1 8 append runs 'bold] "
      "make object! [text: append/dup make string! 4000 {x} 4000 data: runs color: 255.255.255]");
  const cell plain = evaluate("make object! [text: append/dup make string! 4000 {x} 4000 data: [] color: 255.255.255]");
  std::vector<tui::tui_cell> cells;
  constexpr int repeats = 1000;
  const double styled = bench::best_of([&] {
    for (int i = 0; i < repeats; ++i) tui::layout_rich_text(cells, face);
  });
  std::printf("%-56s %12.2f\n", "styled cells of 4000 characters, 400 bold runs", styled / repeats * 1e6);
  const double bare = bench::best_of([&] {
    for (int i = 0; i < repeats; ++i) tui::layout_rich_text(cells, plain);
  });
  std::printf("%-56s %12.2f\n", "  the same cells without runs", bare / repeats * 1e6);
  const double python = bench::time_python(
      "text = \"x\" * 4000\nruns = [(i * 10, 8) for i in range(400)]",
      "for _ in range(100):\n"
      "        cells = [[c, 231, 0, 0] for c in text]\n"
      "        for s, n in runs:\n"
      "            for c in cells[s:s + n]: c[3] |= 2");
  if (python > 0) std::printf("%-56s %12.2f\n", "  python: the cells as lists, the runs marked", python / 100 * 1e6);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  library::install();
  return platform::start_up(argc, argv, run, nullptr);
}
