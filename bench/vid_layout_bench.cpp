// VID layout: `layout` of a block of 200 faces (40 rows of a label, a field and a button, a grid
// panel of 40 labels, a tab panel of two pages of 18 faces), 100 times, in milliseconds per layout;
// beside the same screen built with urwid (Columns, Pile and GridFlow of the same widgets, rendered
// once to a canvas of 80 columns) when its Python module is installed. Figures are best of three.
#include <cstdio>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "boot/vocabulary.hpp"
#include "library/routines.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

constexpr const char* screen_source =
    "screen: make block! 400 "
    "repeat i 40 [append screen compose/deep [text (rejoin [{Label } i]) field 20 (form i) "
    "button {OK} [print (i)] return]] "
    "grid: make block! 80 repeat i 40 [append grid compose [text (form i)]] "
    "append screen compose/deep [panel 4 [(grid)] return] "
    "one: make block! 40 two: make block! 40 "
    "repeat i 18 [append one compose [text (form i) return] append two compose [field (form i) return]] "
    "append screen compose/deep/only [tab-panel [{One} (one) {Two} (two)]] "
    "count: func [f /local n] [n: 0 if block? f/pane [foreach x f/pane [n: n + 1 + count x]] n]";

constexpr const char* urwid_setup =
    "import urwid\n"
    "def screen():\n"
    "    rows = [urwid.Columns([urwid.Text(\"Label %d\" % i), urwid.Edit(\"\", str(i)), urwid.Button(\"OK\")])"
    " for i in range(1, 41)]\n"
    "    grid = urwid.GridFlow([urwid.Text(str(i)) for i in range(1, 41)], 10, 1, 1, \"left\")\n"
    "    one = urwid.Pile([urwid.Text(str(i)) for i in range(1, 19)])\n"
    "    two = urwid.Pile([urwid.Edit(\"\", str(i)) for i in range(1, 19)])\n"
    "    return urwid.Pile(rows + [grid, urwid.Columns([one, two])])\n";

int run(void*) {
  boot::init_runtime();
  boot::define_vocabulary();
  bench::evaluate(screen_source);
  const cell faces = bench::evaluate("count layout screen");
  std::printf("%-56s %12s\n", "VID layout", "ms/layout");

  constexpr int layouts = 100;
  const double tav_time = bench::time_tav("loop 100 [layout screen]");
  const double tav_ms = tav_time / layouts * 1e3;
  std::printf("%-56s %12.2f\n", "layout of 200 faces (rows, grid panel, tab panel)", tav_ms);
  std::printf("%-56s %12d\n", "  faces in the tree", static_cast<int>(static_cast<int32_t>(faces.payload2)));

  if (bench::time_command("python3 -c 'import urwid; print(0)'") < 0) {
    std::printf("  urwid: the python3-urwid module is not installed; Tav's time alone\n");
    return 0;
  }
  const double urwid_time = bench::time_python(
      urwid_setup, "for _ in range(100):\n        screen().render((80,))");
  if (urwid_time <= 0) {
    std::printf("  urwid: the peer program failed; Tav's time alone\n");
    return 0;
  }
  const double urwid_ms = urwid_time / layouts * 1e3;
  std::printf("%-56s %12.2f\n", "  urwid: the same widgets built and rendered at 80 columns", urwid_ms);
  std::printf("%-56s %12.2f\n", "  ratio tav / urwid", tav_ms / urwid_ms);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  library::install();
  return platform::start_up(argc, argv, run, nullptr);
}
