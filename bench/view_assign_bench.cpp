// Facet assignment: `text` set 10,000 times on a field of a window shown with `view/no-wait`
// (the change handler, the change bits and the update of the field's widget each time), beside
// the same assignment on a face without a view, on a plain object, and Python setting an
// attribute through a property whose setter records the change. Figures are best of three runs.
#include <cstdio>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "boot/vocabulary.hpp"
#include "library/routines.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

using bench::evaluate;

constexpr int assignments = 10000;

void row(const char* name, double seconds) {
  std::printf("%-56s %12.2f\n", name, seconds / assignments * 1e6);
}

int run(void*) {
  boot::init_runtime();
  boot::define_vocabulary();
  evaluate(
      "a: copy {first text} b: copy {second text} "
      "f: make face! [type: 'field size: 10x1 offset: 1x1 text: copy {} flags: 'focusable] "
      "w: view/no-wait make face! [type: 'window size: 20x3 text: {bench} pane: reduce [f]] "
      "g: make face! [type: 'field size: 10x1 text: copy {}] "
      "o: make object! [text: none]");
  std::printf("%-56s %12s\n", "text assigned 10,000 times", "us/op");
  row("field of a shown window (view/no-wait)", bench::time_tav("loop 5000 [f/text: a f/text: b]"));
  row("  the same field type, no view", bench::time_tav("loop 5000 [g/text: a g/text: b]"));
  row("  a plain object's field", bench::time_tav("loop 5000 [o/text: a o/text: b]"));
  const double python = bench::time_python(
      "class Face:\n"
      "    def __init__(self): self._text = None; self.changed = 0\n"
      "    @property\n"
      "    def text(self): return self._text\n"
      "    @text.setter\n"
      "    def text(self, value): self._text = value; self.changed |= 4\n"
      "f = Face()\na = \"first text\"\nb = \"second text\"",
      "for _ in range(5000):\n        f.text = a\n        f.text = b");
  if (python > 0) row("  python: a property setter that records the change", python);
  evaluate("unview/all");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  library::install();
  return platform::start_up(argc, argv, run, nullptr);
}
