// Reactive objects: assignments to a reactor field that one relation reads, while the relation
// table holds a thousand relations of other reactors (every assignment scans the table), beside
// the same assignments to a plain object field, to a reactor field with an empty table, and to
// one that no relation reads. Figures are microseconds per assignment, best of three runs of
// 100,000 assignments.
#include <cstdio>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;
using bench::time_tav;

constexpr double count = 1e5;

struct program {
  const char* name;
  const char* setup;  // run once before the row is timed
  const char* tav;    // the body of a loop of 100,000 passes
};

// A thousand relations, each of a reactor of its own, that no assignment below touches.
constexpr const char* others = "loop 1000 [x: reactor [v: 0] react/later [x/v + 1]]";

const program programs[] = {
    {"the loop alone", "", ""},
    {"plain object field", "o: make object! [a: 1]", "o/a: 5"},
    {"reactor field, empty table", "clear-reactions r: reactor [a: 1 b: 1 c: 0]", "r/a: 5"},
    {"reactor field, 1,000 others, none reads it", others, "r/b: 5"},
    {"reactor field, 1,000 others, one relation", "react [r/c: r/a + 1]", "r/a: 5"},
};

int run(void*) {
  boot::init_runtime();
  source::define_core();
  std::printf("%-44s %14s\n", "100,000 assignments", "us/assignment");
  for (const program& p : programs) {
    time_tav(p.setup, [](const std::function<void()>& once) {
      once();
      return 0.0;
    });
    std::string text = std::string("loop 100000 [") + p.tav + "]";
    const double seconds = time_tav(text.c_str());
    std::printf("%-44s %14.3f\n", p.name, seconds / count * 1e6);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return platform::start_up(argc, argv, run, nullptr); }
