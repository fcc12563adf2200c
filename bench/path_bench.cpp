// Paths: selecting and storing through paths in a loop (block elements by index, by word and
// by a paren, object fields, a pair inside a block), each beside the same work in plain C++ and,
// when python3 is installed, in Python 3; each inside a loop of a million passes, the loop alone
// being the first line for reference. An
// argument runs only the programs whose name holds it; TAV_BENCH_NO_PYTHON=1 leaves Python out.
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_util.hpp"
#include "boot/startup.hpp"
#include "runtime/platform.hpp"

namespace {

using namespace tav;
using bench::best_of;
using bench::time_tav;

const char* only = nullptr;
constexpr double count = 1e6;

// The objects the statements work on, made once in Python as in Tav.
constexpr const char* python_setup =
    "class O:\n    def __init__(self): self.a = 1\no = O()\nb = [10, 20]\nw = {\"x\": 1, \"y\": 2}\np = [[1, 2]]";

double time_python(const char* statement) {
  return bench::time_python(python_setup, (std::string("for _ in range(1000000): ") + statement).c_str());
}

struct object_like {
  volatile long a = 1;
};
volatile long sink;
volatile long index_two = 1;

struct program {
  const char* name;
  const char* tav;  // the body of a loop of a million passes
  std::function<void()> cpp;
  const char* python;
};

object_like object;
long cells[2] = {10, 20};

const program programs[] = {
    {"the loop alone", "",
     [] {
       for (long i = 0; i < 1000000; ++i) sink = i;
     },
     "pass"},
    {"block element by index", "b/2",
     [] {
       for (long i = 0; i < 1000000; ++i) sink = cells[index_two];
     },
     "b[1]"},
    {"block element after a word", "w/y",
     [] {
       for (long i = 0; i < 1000000; ++i) sink = cells[index_two];
     },
     "w[\"y\"]"},
    {"block element by paren", "b/(1 + 1)",
     [] {
       for (long i = 0; i < 1000000; ++i) sink = cells[index_two * 2 - 1];
     },
     "b[1 + 1 - 1]"},
    {"object field", "o/a",
     [] {
       for (long i = 0; i < 1000000; ++i) sink = object.a;
     },
     "o.a"},
    {"object field set", "o/a: 5",
     [] {
       for (long i = 0; i < 1000000; ++i) object.a = 5;
     },
     "setattr(o, \"a\", 5)"},
    {"block element set", "b/2: 7",
     [] {
       for (long i = 0; i < 1000000; ++i) cells[index_two] = 7;
     },
     "b.__setitem__(1, 7)"},
    {"pair in a block, set in place", "p/1/y: 3",
     [] {
       for (long i = 0; i < 1000000; ++i) cells[index_two] = 3;
     },
     "p[0].__setitem__(1, 3)"},
};

int run(void*) {
  boot::init_runtime();
  source::define_core();
  time_tav("o: make object! [a: 1] b: [10 20] w: [x 1 y 2] p: [1x2]");
  std::printf("%-36s %12s %12s %12s %12s\n", "path (a million each)", "Tav M/s", "C++ M/s", "Python M/s",
              "Tav/Python");
  for (const program& p : programs) {
    if (only && !std::strstr(p.name, only)) continue;
    std::string text = std::string("loop 1000000 [") + p.tav + "]";
    double tav = time_tav(text.c_str());
    double cpp = best_of(p.cpp);
    double python = time_python(p.python);
    std::printf("%-36s %12.2f %12.1f", p.name, count / tav / 1e6, count / cpp / 1e6);
    if (python > 0) std::printf(" %12.2f %11.2fx", count / python / 1e6, python / tav);
    std::printf("\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) only = argv[1];
  return platform::start_up(argc, argv, run, nullptr);
}
