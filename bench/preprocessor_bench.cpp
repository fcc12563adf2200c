// The preprocessor's price at a script's start: `expand-directives` over a 1 MB script without
// directives beside `load` of the same text, in the same run. Goal: the expansion takes no
// longer than the load. A parse that only enters every block and paren shows the floor any
// expansion by one parse stands on. The same expansion with ten named and ten pattern macros
// registered (none of them matching) tries every rule at every value; goal: within three times
// the expansion without macros.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;

// Code as scripts have it: definitions, calls with operators, nested blocks and parens, paths,
// strings and literals, one statement a line.
std::string make_script(size_t size) {
  std::mt19937 rng(7);
  const char* const words[] = {"total", "items", "name", "index", "result", "count", "value", "buffer"};
  std::string s = "Tav [title: \"sample\"]\n";
  s.reserve(size + 256);
  while (s.size() < size) {
    const char* a = words[rng() % std::size(words)];
    const char* b = words[rng() % std::size(words)];
    const std::string n = std::to_string(rng() % 1000);
    switch (rng() % 6) {
      case 0: s += std::string(a) + "-fn: func [" + a + " " + b + " /local t] [t: " + a + " + " + b + " * " + n + "]"; break;
      case 1: s += std::string("either ") + a + " > " + n + " [print [\"big\" " + a + "]] [append " + b + " " + n + "]"; break;
      case 2: s += std::string("foreach ") + a + " " + b + " [if find [" + n + " " + a + "] " + a + " [break]]"; break;
      case 3: s += std::string(a) + ": " + b + "/" + a + "/(" + n + " + 1)"; break;
      case 4: s += std::string("repend ") + a + " [" + n + "x" + n + " %file-" + n + ".txt #" + b + " 'lit " + n + ".5]"; break;
      default: s += std::string("case [") + a + " = " + n + " [" + b + "] true [(" + a + ")]]"; break;
    }
    s += '\n';
  }
  return s;
}

int run(void*) {
  boot::init_runtime();
  source::define_core();
  const std::string text = make_script(1 << 20);
  char path[] = "/tmp/tav-preprocessor-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return 1;
  close(fd);
  source::run_text(("text: read %" + std::string(path) + " code: load text").c_str());
  unlink(path);
  const double mb = static_cast<double>(text.size()) / (1 << 20);

  // Best times, taken in turns so that the load of a shared machine falls on both.
  source::run_text("stops: make typeset! [issue! block! paren!]");
  source::run_text(
      "defs: copy [] repeat i 10 ["
      "  repend defs [#macro to set-word! rejoin [\"mac-\" i] 'func [a b] [reduce [b a]]]"
      "  repend defs [#macro either odd? i [to lit-word! rejoin [\"pat-\" i]] [reduce [integer! to lit-word! rejoin [\"unit-\" i]]]"
      "    'func [s e] [s/1]]"
      "]");
  const char* const programs[] = {"load text", "expand-directives/clean code",
                                  "parse code walk: [while [to stops [into walk | skip]] to end]",
                                  "expand-directives/clean copy/deep defs expand-directives code"};
  double best[4] = {1e30, 1e30, 1e30, 1e30};
  for (int round = 0; round < 11; ++round)
    for (size_t i = 0; i < 4; ++i) {
      source::run_text("recycle");
      best[i] = std::min(best[i], bench::time_tav(programs[i], [](const std::function<void()>& run) {
        auto start = bench::clock_type::now();
        run();
        return bench::seconds_since(start);
      }));
    }
  std::printf("%.1f MB script without directives, best of eleven runs taken in turns\n", mb);
  std::printf("  load text                       %9.1f ms\n", best[0] * 1e3);
  std::printf("  expand-directives code          %9.1f ms   %+6.1f%% time against the load (goal: <= 0)\n",
              best[1] * 1e3, (best[1] / best[0] - 1) * 100);
  std::printf("  a parse entering every block    %9.1f ms\n", best[2] * 1e3);
  std::printf("  with 10 named, 10 pattern macros %8.1f ms   %6.2fx the expansion without (goal: <= 3)\n",
              best[3] * 1e3, best[3] / best[1]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return tav::platform::start_up(argc, argv, run, nullptr); }
